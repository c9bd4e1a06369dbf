#include "descrypto.h"
#include "helper/dbhelper.h"
#include "sites.h"
#include "support/testmain.h"
#include "support/teststore.h"

#include <QRegularExpression>
#include <QSqlRecord>
#include <algorithm>

namespace {

QSqlRecord newUser(const QString& username, const QVariant& password)
{
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("users"));
    record.setValue(QStringLiteral("username"), username);
    record.setValue(QStringLiteral("password"), password);
    record.setValue(QStringLiteral("remember_password"), 1);
    record.setValue(QStringLiteral("country_id"), Sites::DefaultCountryId);
    return record;
}

QSqlRecord userByName(const QString& username)
{
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("users"));
    record.setValue(QStringLiteral("username"), username);
    return record;
}

bool addUser(QSqlRecord record)
{
    return DbHelper::addUser(record);
}

QString storedPassword(const QString& username)
{
    return TestStore::value(
               QStringLiteral("SELECT password FROM users WHERE username = '%1'").arg(username))
        .toString();
}

} // namespace

class TestStoreUsers : public QObject
{
    Q_OBJECT

private slots:
    void addGetSetRoundTripWithEncipheredPassword()
    {
        TestStore store;
        QVERIFY(store.isReady());

        QSqlRecord record = newUser(QStringLiteral("ann_b"), QStringLiteral("s3cret pass"));
        record.setValue(QStringLiteral("country_id"), QStringLiteral("19"));
        QVERIFY(DbHelper::addUser(record));
        // The new row's id is not put into the record: callers load it.
        QVERIFY(record.value(QStringLiteral("id")).isNull());

        const QString stored = storedPassword(QStringLiteral("ann_b"));
        QVERIFY2(QRegularExpression(QStringLiteral("\\A[0-9a-f]{48}\\z")).match(stored).hasMatch(),
                 qPrintable(stored));
        QCOMPARE(DesCrypto::DecryptFromHex(stored, DesCrypto::FirstKey, DesCrypto::SecondKey),
                 QStringLiteral("s3cret pass"));

        QSqlRecord loaded = userByName(QStringLiteral("ann_b"));
        QVERIFY(DbHelper::getUser(loaded));
        const int id = loaded.value(QStringLiteral("id")).toInt();
        QVERIFY(id > 0);
        QCOMPARE(loaded.value(QStringLiteral("password")).toString(),
                 QStringLiteral("s3cret pass"));
        QCOMPARE(loaded.value(QStringLiteral("remember_password")).toInt(), 1);
        QCOMPARE(loaded.value(QStringLiteral("country_id")).toInt(), 19);
        // What addUser does not write comes from the table's defaults.
        QCOMPARE(loaded.value(QStringLiteral("refresh_interval")).toInt(), 10);
        QCOMPARE(loaded.value(QStringLiteral("default_lead_time")).toInt(), 5);
        QCOMPARE(loaded.value(QStringLiteral("auto_detect_lead_time")).toInt(), 1);
        QVERIFY(loaded.value(QStringLiteral("email")).isNull());
        QCOMPARE(loaded.value(QStringLiteral("close_systray")).toInt(), 0);

        // Every column setUser writes, changed at once.
        const QString password = QStringLiteral("p\u00e4ss w\u00f6rd \u20ac8");
        loaded.setValue(QStringLiteral("username"), QStringLiteral("ann_c"));
        loaded.setValue(QStringLiteral("password"), password);
        loaded.setValue(QStringLiteral("remember_password"), 0);
        loaded.setValue(QStringLiteral("refresh_interval"), 0);
        loaded.setValue(QStringLiteral("default_lead_time"), 12);
        loaded.setValue(QStringLiteral("auto_detect_lead_time"), 0);
        loaded.setValue(QStringLiteral("email"), QStringLiteral("ann@example.org"));
        loaded.setValue(QStringLiteral("outbid_notification"), 1);
        loaded.setValue(QStringLiteral("won_notification"), 1);
        loaded.setValue(QStringLiteral("lost_notification"), 1);
        loaded.setValue(QStringLiteral("country_id"), 7);
        loaded.setValue(QStringLiteral("close_systray"), 1);
        QVERIFY(DbHelper::setUser(loaded));
        QVERIFY(storedPassword(QStringLiteral("ann_c")) != stored);

        QSqlRecord byId = DbHelper::emptyRecord(QStringLiteral("users"));
        byId.setValue(QStringLiteral("id"), id);
        QVERIFY(DbHelper::getUser(byId));
        QCOMPARE(byId.value(QStringLiteral("username")).toString(), QStringLiteral("ann_c"));
        QCOMPARE(byId.value(QStringLiteral("password")).toString(), password);
        QCOMPARE(byId.value(QStringLiteral("remember_password")).toInt(), 0);
        QCOMPARE(byId.value(QStringLiteral("refresh_interval")).toInt(), 0);
        QCOMPARE(byId.value(QStringLiteral("default_lead_time")).toInt(), 12);
        QCOMPARE(byId.value(QStringLiteral("auto_detect_lead_time")).toInt(), 0);
        QCOMPARE(byId.value(QStringLiteral("email")).toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(byId.value(QStringLiteral("outbid_notification")).toInt(), 1);
        QCOMPARE(byId.value(QStringLiteral("won_notification")).toInt(), 1);
        QCOMPARE(byId.value(QStringLiteral("lost_notification")).toInt(), 1);
        QCOMPARE(byId.value(QStringLiteral("country_id")).toInt(), 7);
        QCOMPARE(byId.value(QStringLiteral("close_systray")).toInt(), 1);
        QCOMPARE(TestStore::value(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
    }

    void emptyPasswordIsStoredAsEmptyText()
    {
        TestStore store;
        QVERIFY(store.isReady());
        QSqlRecord empty = newUser(QStringLiteral("empty"), QStringLiteral(""));
        QVERIFY(DbHelper::addUser(empty));
        // A record whose password was never filled in.
        QSqlRecord unset = newUser(QStringLiteral("unset"), QVariant());
        QVERIFY(DbHelper::addUser(unset));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT count(*) FROM users WHERE password = ''"))
                     .toInt(),
                 2);

        QSqlRecord loaded = userByName(QStringLiteral("unset"));
        QVERIFY(DbHelper::getUser(loaded));
        QCOMPARE(loaded.value(QStringLiteral("password")).toString(), QStringLiteral(""));
        QVERIFY(!loaded.value(QStringLiteral("password")).isNull());

        // Forgetting a password writes '' again, never NULL.
        loaded.setValue(QStringLiteral("password"), QStringLiteral("kept"));
        QVERIFY(DbHelper::setUser(loaded));
        QVERIFY(!storedPassword(QStringLiteral("unset")).isEmpty());
        loaded.setValue(QStringLiteral("password"), QVariant(QVariant::String));
        QVERIFY(DbHelper::setUser(loaded));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT password IS NOT NULL AND password = '' "
                                                 "FROM users WHERE username = 'unset'"))
                     .toInt(),
                 1);
    }

    void duplicateUserNameFailsAndChangesNothing()
    {
        TestStore store;
        QVERIFY(store.isReady());
        QSqlRecord first = newUser(QStringLiteral("ann"), QStringLiteral("first"));
        QVERIFY(DbHelper::addUser(first));
        const QString stored = storedPassword(QStringLiteral("ann"));

        QSqlRecord second = newUser(QStringLiteral("ann"), QStringLiteral("second"));
        second.setValue(QStringLiteral("country_id"), 3);
        QVERIFY(!DbHelper::addUser(second));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
        QCOMPARE(storedPassword(QStringLiteral("ann")), stored);
        QCOMPARE(TestStore::value(QStringLiteral("SELECT country_id FROM users")).toInt(), 20);

        // Renaming another user onto the name fails too.
        QVERIFY(addUser(newUser(QStringLiteral("bob"), QStringLiteral("b"))));
        QSqlRecord bob = userByName(QStringLiteral("bob"));
        QVERIFY(DbHelper::getUser(bob));
        bob.setValue(QStringLiteral("username"), QStringLiteral("ann"));
        QVERIFY(!DbHelper::setUser(bob));
        QCOMPARE(TestStore::column(QStringLiteral("SELECT username FROM users ORDER BY id")),
                 QVariantList({QStringLiteral("ann"), QStringLiteral("bob")}));
    }

    void lookupsFindNothingWithoutAKey()
    {
        TestStore store;
        QVERIFY(store.isReady());
        QVERIFY(addUser(newUser(QStringLiteral("ann"), QStringLiteral("a"))));

        QSqlRecord nothing = DbHelper::emptyRecord(QStringLiteral("users"));
        nothing.setValue(QStringLiteral("email"), QStringLiteral("untouched"));
        QVERIFY(!DbHelper::getUser(nothing));
        QCOMPARE(nothing.value(QStringLiteral("email")).toString(), QStringLiteral("untouched"));

        QSqlRecord missing = DbHelper::emptyRecord(QStringLiteral("users"));
        missing.setValue(QStringLiteral("id"), 99);
        missing.setValue(QStringLiteral("username"), QStringLiteral("ann"));
        QVERIFY(!DbHelper::getUser(missing)); // the id decides, not the name
        QVERIFY(missing.value(QStringLiteral("password")).isNull());

        // Updating a row that does not exist runs and changes nothing.
        missing.setValue(QStringLiteral("username"), QStringLiteral("ghost"));
        missing.setValue(QStringLiteral("password"), QStringLiteral("x"));
        QVERIFY(DbHelper::setUser(missing));
        QCOMPARE(TestStore::column(QStringLiteral("SELECT username FROM users")),
                 QVariantList({QStringLiteral("ann")}));
    }

    void usersAndCountriesAreListedInTheirOrder()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const QStringList names{QStringLiteral("bob"), QStringLiteral("Ann"),
                                QStringLiteral("alice"), QStringLiteral("Zed")};
        for (const QString& name : names)
            QVERIFY(addUser(newUser(name, QString())));

        QSqlQuery users;
        QVERIFY(DbHelper::getUsers(users));
        QStringList listed;
        while (users.next())
            listed << users.value(QStringLiteral("username")).toString();
        // Byte-wise: capitals first.
        QCOMPARE(listed, QStringList({QStringLiteral("Ann"), QStringLiteral("Zed"),
                                      QStringLiteral("alice"), QStringLiteral("bob")}));

        QSqlQuery countries;
        QVERIFY(DbHelper::getCountries(countries));
        QStringList domains;
        while (countries.next())
            domains << countries.value(QStringLiteral("domain")).toString();
        QStringList expected;
        for (const Site& site : Sites::all())
            expected << QLatin1String(site.domain);
        std::sort(expected.begin(), expected.end());
        QCOMPARE(domains, expected);
        QCOMPARE(domains.first(), QStringLiteral("befr.ebay.be"));
    }

    void countryLookupByIdOrSiteId()
    {
        TestStore store;
        QVERIFY(store.isReady());
        QSqlRecord country = DbHelper::emptyRecord(QStringLiteral("countries"));
        country.setValue(QStringLiteral("site_id"), 3);
        QVERIFY(DbHelper::getCountry(country));
        QCOMPARE(country.value(QStringLiteral("id")).toInt(), 19);
        QCOMPARE(country.value(QStringLiteral("name")).toString(),
                 QStringLiteral("United Kingdom"));
        QCOMPARE(country.value(QStringLiteral("domain")).toString(), Sites::homeDomain());

        country = DbHelper::emptyRecord(QStringLiteral("countries"));
        country.setValue(QStringLiteral("site_id"), 0);
        QVERIFY(DbHelper::getCountry(country));
        QCOMPARE(country.value(QStringLiteral("domain")).toString(), QStringLiteral("ebay.com"));

        country = DbHelper::emptyRecord(QStringLiteral("countries"));
        country.setValue(QStringLiteral("id"), 3);
        country.setValue(QStringLiteral("site_id"), 0); // the id decides
        QVERIFY(DbHelper::getCountry(country));
        QCOMPARE(country.value(QStringLiteral("domain")).toString(),
                 QStringLiteral("benl.ebay.be"));
        QCOMPARE(country.value(QStringLiteral("site_id")).toInt(), 123);

        country = DbHelper::emptyRecord(QStringLiteral("countries"));
        country.setValue(QStringLiteral("id"), 21);
        QVERIFY(!DbHelper::getCountry(country));
        country = DbHelper::emptyRecord(QStringLiteral("countries"));
        country.setValue(QStringLiteral("site_id"), 999);
        QVERIFY(!DbHelper::getCountry(country));
    }

    void settingRowReadAndAutoLoginWritten()
    {
        TestStore store;
        QVERIFY(store.isReady());
        QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
        QVERIFY(DbHelper::getSetting(setting));
        QCOMPARE(setting.value(QStringLiteral("id")).toInt(), 1);
        QCOMPARE(setting.value(QStringLiteral("db_version")).toInt(), 2);

        setting.setValue(QStringLiteral("auto_login_user_id"), 7);
        setting.setValue(QStringLiteral("db_version"), 9); // not written
        QVERIFY(DbHelper::setSetting(setting));
        QCOMPARE(TestStore::rows(QStringLiteral("SELECT * FROM setting")),
                 QList<QVariantMap>({QVariantMap{{QStringLiteral("id"), 1},
                                                 {QStringLiteral("db_version"), 2},
                                                 {QStringLiteral("auto_login_user_id"), 7}}}));

        QVERIFY(TestStore::exec(QStringLiteral("DELETE FROM setting")));
        QSqlRecord none = DbHelper::emptyRecord(QStringLiteral("setting"));
        QVERIFY(!DbHelper::getSetting(none));
    }
};

KESTROVA_TEST_MAIN(TestStoreUsers)
#include "test_store_users.moc"
