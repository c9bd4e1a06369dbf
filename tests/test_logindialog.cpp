#include "helper/dbhelper.h"
#include "helper/loginhelper.h"
#include "kestrovaapp.h"
#include "logindialog.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/modaldriver.h"
#include "support/testmain.h"
#include "support/teststore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

using SignIns = QList<QPair<QString, int>>;

// A users row as a returning user left it; the password is stored enciphered
// when remembered.
int storeUser(const QString& name, const QString& password, int countryId = 19)
{
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue(QStringLiteral("username"), name);
    user.setValue(QStringLiteral("password"), password);
    user.setValue(QStringLiteral("remember_password"), password.isNull() ? 0 : 1);
    user.setValue(QStringLiteral("country_id"), countryId);
    if (!DbHelper::addUser(user))
        return -1;
    return TestStore::value(QStringLiteral("SELECT id FROM users WHERE username = '%1'").arg(name))
        .toInt();
}

// As start-up leaves it: stored, and the application object's copy loaded.
void setAutoLoginUser(int id)
{
    TestStore::exec(QStringLiteral("UPDATE setting SET auto_login_user_id = %1").arg(id));
    QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
    DbHelper::getSetting(setting);
    kApp->setSetting(setting);
}

QVariantMap userRow(const QString& name)
{
    const QList<QVariantMap> rows =
        TestStore::rows(QStringLiteral("SELECT * FROM users WHERE username = '%1'").arg(name));
    return rows.isEmpty() ? QVariantMap() : rows.first();
}

QString storedPassword(const QString& name)
{
    QSqlRecord user = DbHelper::emptyRecord(QStringLiteral("users"));
    user.setValue(QStringLiteral("username"), name);
    return DbHelper::getUser(user) ? user.value(QStringLiteral("password")).toString()
                                   : QStringLiteral("<no row>");
}

int storedAutoLoginUser()
{
    return TestStore::value(QStringLiteral("SELECT auto_login_user_id FROM setting")).toInt();
}

template <typename W> W* child(QWidget* dialog, const char* name)
{
    return dialog->findChild<W*>(QLatin1String(name));
}

QStringList entries(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// Does what a key or click starts, then waits until the dialog closed or a
// box was shown.
bool signIn(LoginDialog& dialog, const BoxRecorder& boxes, const std::function<void()>& start)
{
    QSignalSpy finished(&dialog, &QDialog::finished);
    start();
    for (int waited = 0; finished.isEmpty() && boxes.count() == 0 && waited < 100; ++waited)
        finished.wait(100);
    return !finished.isEmpty() || boxes.count() > 0;
}

bool pressOk(LoginDialog& dialog, const BoxRecorder& boxes)
{
    return signIn(dialog, boxes, [&dialog] {
        child<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
}

} // namespace

class TestLoginDialog : public QObject
{
    Q_OBJECT

private slots:
    void init() { HttpProbe::clearCookies(); }

    void signsInFirstOnTheHomeSite_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QList<int>>("progress");
        QTest::addColumn<SignIns>("signIns");
        QTest::addColumn<QStringList>("boxes");

        QTest::newRow("home site: one pass")
            << "ebay.co.uk"
            << "right" << QList<int>{50, 100, 0, 100} << SignIns{{"alice", 3}} << QStringList();
        QTest::newRow("another site: a second pass there")
            << "ebay.de"
            << "right" << QList<int>{25, 50, 75, 100, 0, 100}
            << SignIns{{"alice", 3}, {"alice", 77}} << QStringList();
        QTest::newRow("first pass refused: no second")
            << "ebay.de"
            << "wrong" << QList<int>{25, 50, 0} << SignIns()
            << QStringList{"Wrong Username or Password."};
    }

    void signsInFirstOnTheHomeSite()
    {
        QFETCH(QString, site);
        QFETCH(QString, password);
        QFETCH(QList<int>, progress);
        QFETCH(SignIns, signIns);
        QFETCH(QStringList, boxes);
        EbayDouble dbl;
        dbl.addAccount(QStringLiteral("alice"), QStringLiteral("right"));
        TestStore store;
        BoxRecorder recorder;

        LoginDialog dialog;
        dialog.show();
        child<QComboBox>(&dialog, "comboBoxUsername")->setEditText(QStringLiteral("alice"));
        child<QLineEdit>(&dialog, "lineEditPassword")->setText(password);
        auto* sites = child<QComboBox>(&dialog, "comboBoxCountry");
        sites->setCurrentIndex(sites->findText(site));
        auto* bar = child<QProgressBar>(&dialog, "progressBar");
        QList<int> seen;
        connect(bar, &QProgressBar::valueChanged, [&seen](int value) { seen << value; });
        QVERIFY(pressOk(dialog, recorder));

        QCOMPARE(seen, progress);
        QCOMPARE(dbl.signIns(), signIns);
        QCOMPARE(recorder.texts(), boxes);
        QStringList passDomains;
        const QList<EbayDouble::Request> posts = dbl.requests([](const EbayDouble::Request& r) {
            return r.role == HostConfig::SignIn && r.method == "POST";
        });
        for (const EbayDouble::Request& r : posts)
            passDomains << r.domain + QLatin1Char('/') + r.formValue(QStringLiteral("siteid"));
        if (boxes.isEmpty()) {
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(passDomains.last(),
                     site + QLatin1Char('/') + QString::number(signIns.last().second));
            QCOMPARE(kApp->country().value(QStringLiteral("domain")).toString(), site);
            QCOMPARE(kApp->loginUser().value(QStringLiteral("password")).toString(), password);
            QCOMPARE(userRow(QStringLiteral("alice")).value(QStringLiteral("country_id")),
                     kApp->country().value(QStringLiteral("id")));
        } else {
            QCOMPARE(passDomains, QStringList{QStringLiteral("ebay.co.uk/3")});
            QVERIFY(dialog.isVisible());
            QVERIFY(bar->isHidden());
            QVERIFY(child<QDialogButtonBox>(&dialog, "buttonBox")
                        ->button(QDialogButtonBox::Ok)
                        ->isEnabled());
            QVERIFY(userRow(QStringLiteral("alice")).isEmpty());
        }
    }

    // What is stored after a sign-in, by the two boxes and by who was the
    // automatic sign-in user before.
    void remembersAsTicked_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::addColumn<bool>("autoLogin");
        QTest::addColumn<QString>("autoBefore");
        QTest::addColumn<QString>("storedAfter");
        QTest::addColumn<QString>("autoAfter");

        QTest::newRow("remember") << true << false << ""
                                  << "secret"
                                  << "";
        QTest::newRow("unticked remember erases the stored password") << false << false << ""
                                                                      << ""
                                                                      << "";
        QTest::newRow("auto-login ticks remember") << false << true << ""
                                                   << "secret"
                                                   << "alice";
        QTest::newRow("auto-login unticked by its user") << true << false << "alice"
                                                         << "secret"
                                                         << "";
        QTest::newRow("another user's auto-login stays") << true << false << "bob"
                                                         << "secret"
                                                         << "bob";
    }

    void remembersAsTicked()
    {
        QFETCH(bool, remember);
        QFETCH(bool, autoLogin);
        QFETCH(QString, autoBefore);
        QFETCH(QString, storedAfter);
        QFETCH(QString, autoAfter);
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        QHash<QString, int> ids{{QString(), 0},
                                {"alice", storeUser("alice", "old")},
                                {"bob", storeUser("bob", "bobs")}};
        setAutoLoginUser(ids.value(autoBefore));

        LoginDialog dialog;
        dialog.show();
        auto* rememberBox = child<QCheckBox>(&dialog, "checkBoxRemember");
        auto* autoBox = child<QCheckBox>(&dialog, "checkBoxAutoLogin");
        QCOMPARE(child<QLineEdit>(&dialog, "lineEditPassword")->text(), QStringLiteral("old"));
        QCOMPARE(autoBox->isChecked(), autoBefore == "alice");
        child<QLineEdit>(&dialog, "lineEditPassword")->setText(QStringLiteral("secret"));
        autoBox->setChecked(autoLogin);
        if (autoLogin)
            QVERIFY(rememberBox->isChecked() && !rememberBox->isEnabled());
        else
            rememberBox->setChecked(remember);
        QVERIFY(pressOk(dialog, recorder));

        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(storedPassword("alice"), storedAfter);
        QCOMPARE(userRow("alice").value("remember_password").toBool(), !storedAfter.isEmpty());
        QCOMPARE(kApp->loginUser().value(QStringLiteral("password")).toString(),
                 QStringLiteral("secret"));
        QCOMPARE(storedAutoLoginUser(), ids.value(autoAfter));
        QCOMPARE(kApp->setting().value(QStringLiteral("auto_login_user_id")).toInt(),
                 ids.value(autoAfter));
    }

    // Enter in the user combo signs a typed name in; it is never inserted
    // as an entry without an id.
    void typedUserIsSignedInAndListedAfter()
    {
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        storeUser("alice", "a");
        storeUser("dave", "d");
        {
            LoginDialog dialog;
            dialog.show();
            auto* users = child<QComboBox>(&dialog, "comboBoxUsername");
            users->setEditText(QStringLiteral("carol"));
            child<QLineEdit>(&dialog, "lineEditPassword")->setText(QStringLiteral("c"));
            QVERIFY(signIn(dialog, recorder,
                           [users] { QTest::keyClick(users->lineEdit(), Qt::Key_Return); }));
            QCOMPARE(recorder.texts(), QStringList());
            QCOMPARE(entries(users), (QStringList{"alice", "dave"}));
        }
        QCOMPARE(dbl.signIns(), (SignIns{{"carol", 3}}));
        QCOMPARE(kApp->loginUser().value(QStringLiteral("id")), userRow("carol").value("id"));
        QCOMPARE(storedPassword("carol"), QStringLiteral("c"));
        LoginDialog later;
        QCOMPARE(entries(child<QComboBox>(&later, "comboBoxUsername")),
                 (QStringList{"alice", "carol", "dave"}));
    }

    void automaticSignIn_data()
    {
        QTest::addColumn<bool>("autoLogin");
        QTest::addColumn<int>("autoUser"); // 1: bob, else an id as it stands
        QTest::addColumn<QString>("bobsPassword");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("shownUser");
        QTest::addColumn<QStringList>("boxes");

        QTest::newRow("before the modal loop") << true << 1 << "pw" << true << "" << QStringList();
        QTest::newRow("off when logging out")
            << false << 1 << "pw" << false << "bob" << QStringList();
        QTest::newRow("remembered password empty")
            << true << 1 << "" << false << "bob" << QStringList{"Please enter your Password."};
        QTest::newRow("no automatic user")
            << true << 0 << "pw" << false << "alice" << QStringList();
        QTest::newRow("user not listed") << true << 99 << "pw" << false << "alice" << QStringList();
    }

    void automaticSignIn()
    {
        QFETCH(bool, autoLogin);
        QFETCH(int, autoUser);
        QFETCH(QString, bobsPassword);
        QFETCH(bool, accepted);
        QFETCH(QString, shownUser);
        QFETCH(QStringList, boxes);
        EbayDouble dbl;
        TestStore store;
        BoxRecorder recorder;
        storeUser("alice", "pa");
        const int bob = storeUser("bob", bobsPassword, 7);
        setAutoLoginUser(autoUser == 1 ? bob : autoUser);

        LoginDialog dialog;
        dialog.setAutoLogin(autoLogin);
        ModalDriver driver;
        if (!accepted) {
            driver.onNext<LoginDialog>([&](LoginDialog* up) {
                QCOMPARE(child<QComboBox>(up, "comboBoxUsername")->currentText(), shownUser);
                QCOMPARE(recorder.texts(), boxes);
                QCOMPARE(dbl.requests(HostConfig::SignIn).size(), 0);
                up->reject();
            });
        }
        QCOMPARE(dialog.exec(), int(accepted));
        QVERIFY(driver.allDone());
        if (accepted) {
            QCOMPARE(dbl.signIns(), (SignIns{{"bob", 3}, {"bob", 77}}));
            QCOMPARE(kApp->loginUser().value(QStringLiteral("username")).toString(),
                     QStringLiteral("bob"));
        }
    }

    void noStoredUsers()
    {
        EbayDouble dbl;
        TestStore store;
        LoginDialog dialog;
        dialog.setAutoLogin(true);
        ModalDriver driver;
        driver.onNext<LoginDialog>([](LoginDialog* up) {
            QCOMPARE(child<QComboBox>(up, "comboBoxUsername")->count(), 0);
            QCOMPARE(child<QLineEdit>(up, "lineEditPassword")->text(), QString());
            QVERIFY(!child<QCheckBox>(up, "checkBoxRemember")->isChecked());
            QVERIFY(!child<QCheckBox>(up, "checkBoxAutoLogin")->isChecked());
            QCOMPARE(child<QComboBox>(up, "comboBoxCountry")->currentText(),
                     QStringLiteral("ebay.com"));
            up->grab().save(QStringLiteral("/tmp/kestrova-logindialog.png"));
            up->reject();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(driver.allDone());
        QCOMPARE(dbl.requestCount(), 0);
    }

    // Cancel while a pass runs: its late answer signs nobody in.
    void cancelledWhileSigningIn()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::SignIn).whereMethod("POST").delayed(300));
        TestStore store;
        LoginDialog dialog;
        dialog.show();
        child<QComboBox>(&dialog, "comboBoxUsername")->setEditText(QStringLiteral("erin"));
        child<QLineEdit>(&dialog, "lineEditPassword")->setText(QStringLiteral("e"));
        auto* sites = child<QComboBox>(&dialog, "comboBoxCountry");
        sites->setCurrentIndex(sites->findText(QStringLiteral("ebay.co.uk")));
        auto* buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
        buttons->button(QDialogButtonBox::Ok)->click();
        QVERIFY(
            dbl.waitForRequest([](const EbayDouble::Request& r) { return r.method == "POST"; }));
        QSignalSpy passEnded(dialog.findChild<LoginHelper*>(), &LoginHelper::loginStep2Finished);
        buttons->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(passEnded.wait(5000));
        QCOMPARE(passEnded.first().first().toBool(), true);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(userRow(QStringLiteral("erin")).isEmpty());
    }
};

KESTROVA_TEST_MAIN(TestLoginDialog)
#include "test_logindialog.moc"
