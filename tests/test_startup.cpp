#include "bidengine.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "sites.h"
#include "snipestore.h"
#include "startup.h"
#include "support/boxrecorder.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/tempdatadir.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <csignal>
#include <sys/stat.h>

namespace {

// The five tables as a version-2 file must hold them in sqlite_master.
const QString SettingTable =
    QStringLiteral("CREATE TABLE setting (id INTEGER NOT NULL PRIMARY KEY, db_version INTEGER NOT "
                   "NULL DEFAULT 1, auto_login_user_id INTEGER DEFAULT 0)");
const QString UsersTableV1 = QStringLiteral(
    "CREATE TABLE users (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, username TEXT NOT NULL "
    "UNIQUE, password TEXT NOT NULL, remember_password INTEGER NOT NULL DEFAULT 0, "
    "refresh_interval INTEGER NOT NULL DEFAULT 10, default_lead_time INTEGER NOT NULL DEFAULT 5, "
    "auto_detect_lead_time INTEGER NOT NULL DEFAULT 1, email TEXT, outbid_notification INTEGER "
    "NOT NULL DEFAULT 0, won_notification INTEGER NOT NULL DEFAULT 0, lost_notification INTEGER "
    "NOT NULL DEFAULT 0, country_id INTEGER NOT NULL DEFAULT 20)");
const QString UsersTable =
    QString(UsersTableV1)
        .replace(QStringLiteral("DEFAULT 20)"),
                 QStringLiteral("DEFAULT 20, close_systray INTEGER NOT NULL DEFAULT 0)"));
const QString CountriesTable =
    QStringLiteral("CREATE TABLE countries (id INTEGER NOT NULL PRIMARY KEY, name TEXT NOT NULL, "
                   "domain TEXT NOT NULL, site_id INTEGER NOT NULL DEFAULT 0)");
const QString GroupsTable = QStringLiteral(
    "CREATE TABLE groups (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, name TEXT COLLATE NOCASE "
    "NOT NULL, user_id INTEGER NOT NULL, max_won INTEGER NOT NULL DEFAULT 1, current_won INTEGER "
    "NOT NULL DEFAULT 0, UNIQUE(name, user_id) ON CONFLICT ABORT)");
// Files written before the outcome of a bid had a column of its own.
const QString ItemsTableBefore = QStringLiteral(
    "CREATE TABLE items (id INTEGER NOT NULL PRIMARY KEY AUTOINCREMENT, item_number TEXT NOT "
    "NULL, name TEXT NOT NULL, user_id INTEGER NOT NULL REFERENCES users(id) ON UPDATE CASCADE ON "
    "DELETE SET NULL, user_relation TEXT NOT NULL, is_ended INTEGER, bid_count INTEGER, "
    "current_bid REAL, next_bid REAL, currency TEXT, end_time DATETIME, is_reserve INTEGER, "
    "is_reserve_met INTEGER, user_bid REAL, lead_time INTEGER, actual_bid_time TEXT, bid_status "
    "INTEGER, error_message TEXT, group_id INTEGER REFERENCES groups(id) ON UPDATE CASCADE ON "
    "DELETE SET NULL, shipping REAL, seller TEXT, seller_score TEXT, notes TEXT, "
    "UNIQUE(item_number, user_id) ON CONFLICT ABORT)");
const QString ItemsTable = QString(ItemsTableBefore)
                               .replace(QStringLiteral("notes TEXT, "),
                                        QStringLiteral("notes TEXT, outcome_settled INTEGER, "));

QString ifNotExists(QString table)
{
    return table.replace(QStringLiteral("CREATE TABLE "),
                         QStringLiteral("CREATE TABLE IF NOT EXISTS "));
}

// Statements that make a version-1 file as the previous release left it.
QStringList version1Statements()
{
    QStringList statements{ifNotExists(SettingTable),
                           QStringLiteral("INSERT OR REPLACE INTO setting (id, db_version, "
                                          "auto_login_user_id) VALUES (1, 1, 0)"),
                           ifNotExists(UsersTableV1), ifNotExists(CountriesTable)};
    for (const Site& site : Sites::all())
        statements << QStringLiteral("INSERT OR REPLACE INTO countries (id, name, domain, "
                                     "site_id) VALUES (%1, '%2', '%3', %4)")
                          .arg(site.id)
                          .arg(QLatin1String(site.name), QLatin1String(site.domain))
                          .arg(site.siteId);
    statements << ifNotExists(GroupsTable) << ifNotExists(ItemsTableBefore);
    return statements;
}

// Runs statements on the file through a connection of the test's own,
// as another program (or the previous release) would.
bool runOnFile(const QString& path, const QStringList& statements)
{
    const QString name = QStringLiteral("test-file");
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString& statement : statements) {
            if (ok && !query.exec(statement)) {
                qWarning().noquote() << statement << query.lastError().text();
                ok = false;
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// Everything a file holds: its schema and every row of every table.
QStringList dumpFile(const QString& path)
{
    const QString name = QStringLiteral("test-dump");
    QStringList dump;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (!db.open())
            return {QStringLiteral("cannot open")};
        QSqlQuery query(db);
        QStringList tables;
        query.exec(QStringLiteral("SELECT type, name, tbl_name, sql FROM sqlite_master ORDER BY "
                                  "type, name"));
        while (query.next()) {
            dump << QStringLiteral("%1 %2 %3: %4")
                        .arg(query.value(0).toString(), query.value(1).toString(),
                             query.value(2).toString(), query.value(3).toString());
            if (query.value(0).toString() == QLatin1String("table"))
                tables << query.value(1).toString();
        }
        for (const QString& table : tables) {
            query.exec(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" ORDER BY 1"));
            while (query.next()) {
                QStringList values;
                for (int i = 0; i < query.record().count(); ++i)
                    values << (query.isNull(i) ? QStringLiteral("NULL")
                                               : query.value(i).toString());
                dump << table + QStringLiteral(": ") + values.join(QLatin1Char('|'));
            }
        }
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return dump;
}

QVariant scalar(const QString& sql)
{
    QSqlQuery query;
    return query.exec(sql) && query.next() ? query.value(0) : QVariant();
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private:
    // A second start of the program on the same data directory.
    int restart()
    {
        TempDataDir::closeDatabase();
        return Startup::prepareStore();
    }

    static QStringList tableSql()
    {
        QStringList result;
        QSqlQuery query(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND "
                                       "name <> 'sqlite_sequence' ORDER BY rowid"));
        while (query.next())
            result << query.value(0).toString();
        return result;
    }

    static void prepareFile(const TempDataDir& dir, const QStringList& statements)
    {
        QVERIFY(QDir().mkpath(dir.dataLocation()));
        QVERIFY(runOnFile(dir.databasePath(), statements));
    }

private slots:
    void freshDataDirectoryGetsTheSchemaAndSeedRows()
    {
        TempDataDir dir;
        QVERIFY(!QDir(dir.dataLocation()).exists());
        kApp->setSetting(QSqlRecord());

        QCOMPARE(Startup::prepareStore(), 0);

        QVERIFY(QFile::exists(dir.databasePath()));
        QCOMPARE(DbHelper::databasePath(), dir.databasePath());
        QCOMPARE(tableSql(),
                 QStringList({SettingTable, UsersTable, CountriesTable, GroupsTable, ItemsTable}));

        QSqlQuery countries(QStringLiteral("SELECT id, name, domain, site_id FROM countries ORDER "
                                           "BY id"));
        int count = 0;
        while (countries.next()) {
            const Site& site = Sites::all().at(count++);
            QCOMPARE(countries.value(0).toInt(), site.id);
            QCOMPARE(countries.value(1).toString(), QLatin1String(site.name));
            QCOMPARE(countries.value(2).toString(), QLatin1String(site.domain));
            QCOMPARE(countries.value(3).toInt(), site.siteId);
        }
        QCOMPARE(count, 20);
        QCOMPARE(scalar(QStringLiteral("SELECT domain FROM countries WHERE id = 19")).toString(),
                 QStringLiteral("ebay.co.uk"));
        QCOMPARE(scalar(QStringLiteral("SELECT domain FROM countries WHERE id = 20")).toString(),
                 QStringLiteral("ebay.com"));

        QCOMPARE(scalar(QStringLiteral("SELECT id || ',' || db_version || ',' || "
                                       "auto_login_user_id FROM setting"))
                     .toString(),
                 QStringLiteral("1,2,0"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM setting")).toInt(), 1);
        QCOMPARE(scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);

        // The application object holds the setting row as a table record.
        const QSqlRecord setting = kApp->setting();
        QCOMPARE(setting.count(), 3);
        QCOMPARE(setting.value(QStringLiteral("id")).toInt(), 1);
        QCOMPARE(setting.value(QStringLiteral("db_version")).toInt(), 2);
        QCOMPARE(setting.value(QStringLiteral("auto_login_user_id")).toInt(), 0);
        QVERIFY(!setting.value(QStringLiteral("auto_login_user_id")).isNull());
    }

    void secondStartChangesNothingAndKeepsEditedRows()
    {
        TempDataDir dir;
        QCOMPARE(Startup::prepareStore(), 0);
        QSqlQuery edit;
        QVERIFY(edit.exec(QStringLiteral("UPDATE countries SET name = 'Blighty' WHERE id = 19")));
        QVERIFY(edit.exec(QStringLiteral("UPDATE setting SET auto_login_user_id = 5")));
        edit.finish();
        TempDataDir::closeDatabase();
        const QStringList before = dumpFile(dir.databasePath());

        QCOMPARE(restart(), 0);
        TempDataDir::closeDatabase();
        QCOMPARE(dumpFile(dir.databasePath()), before);
        QVERIFY(before.contains(QStringLiteral("countries: 19|Blighty|ebay.co.uk|3")));
        QCOMPARE(kApp->setting().value(QStringLiteral("auto_login_user_id")).toInt(), 5);
    }

    // The file holds the remembered passwords: it is its owner's alone,
    // whether this start made it or an older one left it readable by all.
    void dataFileIsItsOwnersAlone()
    {
        TempDataDir dir;
        const QByteArray folder = QFile::encodeName(dir.dataLocation());
        const QByteArray file = QFile::encodeName(dir.databasePath());
        const auto modes = [&] {
            struct stat f = {}, d = {};
            ::stat(folder.constData(), &d);
            ::stat(file.constData(), &f);
            return QString::number(d.st_mode & 0777, 8) + ' ' +
                   QString::number(f.st_mode & 0777, 8);
        };
        QCOMPARE(Startup::prepareStore(), 0);
        QCOMPARE(modes(), QStringLiteral("700 600"));
        QVERIFY(::chmod(folder.constData(), 0755) == 0 && ::chmod(file.constData(), 0644) == 0);
        QCOMPARE(restart(), 0);
        QCOMPARE(modes(), QStringLiteral("700 600"));
        QCOMPARE(kApp->setting().value(QStringLiteral("db_version")).toInt(), 2);
    }

    void version1FileIsUpgradedInPlace()
    {
        TempDataDir dir;
        QStringList statements = version1Statements();
        statements << QStringLiteral("INSERT INTO users (username, password) VALUES ('ann', '')")
                   << QStringLiteral("INSERT INTO groups (name, user_id, max_won, current_won) "
                                     "VALUES ('Lenses', 1, 2, 1)")
                   << QStringLiteral("INSERT INTO items (item_number, name, user_id, "
                                     "user_relation, end_time, group_id) VALUES ('123', 'A lens', "
                                     "1, 'NONE', '2026-03-08T02:30:00', 1)")
                   << QStringLiteral("UPDATE countries SET name = 'Blighty' WHERE id = 19");
        prepareFile(dir, statements);

        QCOMPARE(Startup::prepareStore(), 0);
        QCOMPARE(tableSql(),
                 QStringList({SettingTable, UsersTable, CountriesTable, GroupsTable, ItemsTable}));
        QCOMPARE(scalar(QStringLiteral("SELECT db_version FROM setting")).toInt(), 2);
        QCOMPARE(kApp->setting().value(QStringLiteral("db_version")).toInt(), 2);
        QCOMPARE(
            scalar(QStringLiteral("SELECT username || ':' || close_systray FROM users")).toString(),
            QStringLiteral("ann:0"));
        QCOMPARE(scalar(QStringLiteral("SELECT name || ':' || current_won FROM groups")).toString(),
                 QStringLiteral("Lenses:1"));
        QCOMPARE(scalar(QStringLiteral("SELECT end_time FROM items WHERE group_id = 1")).toString(),
                 QStringLiteral("2026-03-08T02:30:00"));
        // The upgrade leaves the sites alone.
        QCOMPARE(scalar(QStringLiteral("SELECT name FROM countries WHERE id = 19")).toString(),
                 QStringLiteral("Blighty"));

        TempDataDir::closeDatabase();
        const QStringList upgraded = dumpFile(dir.databasePath());
        QCOMPARE(restart(), 0);
        TempDataDir::closeDatabase();
        QCOMPARE(dumpFile(dir.databasePath()), upgraded);
    }

    void unknownVersionIsLeftAlone()
    {
        TempDataDir dir;
        prepareFile(dir, {ifNotExists(SettingTable),
                          QStringLiteral("INSERT INTO setting VALUES (1, 7, 3)")});
        const QStringList before = dumpFile(dir.databasePath());
        QCOMPARE(Startup::prepareStore(), 0);
        QCOMPARE(kApp->setting().value(QStringLiteral("db_version")).toInt(), 7);
        TempDataDir::closeDatabase();
        QCOMPARE(dumpFile(dir.databasePath()), before);
    }

    void failedSchemaCreationLeavesTheFileAsItWas()
    {
        TempDataDir dir;
        // An index already named like one of the tables makes the last
        // statement of the schema fail.
        prepareFile(dir, {QStringLiteral("CREATE TABLE notes (x TEXT)"),
                          QStringLiteral("CREATE INDEX items ON notes (x)")});
        const QStringList before = dumpFile(dir.databasePath());

        BoxRecorder boxes;
        QCOMPARE(Startup::prepareStore(), Startup::StoreFailureExitCode);
        QVERIFY2(DbHelper::lastError().contains(QLatin1String("items")),
                 qPrintable(DbHelper::lastError()));
        QCOMPARE(boxes.titles(), QStringList{"Database Error"});
        TempDataDir::closeDatabase();
        QCOMPARE(dumpFile(dir.databasePath()), before);

        // Once the conflict is gone the next start makes the whole schema.
        QVERIFY(runOnFile(dir.databasePath(), {QStringLiteral("DROP INDEX items")}));
        QCOMPARE(restart(), 0);
        QCOMPARE(tableSql(),
                 QStringList({QStringLiteral("CREATE TABLE notes (x TEXT)"), SettingTable,
                              UsersTable, CountriesTable, GroupsTable, ItemsTable}));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM countries")).toInt(), 20);
        QCOMPARE(scalar(QStringLiteral("SELECT db_version FROM setting")).toInt(), 2);
    }

    void failedVersion2StepLeavesTheFileAsItWas()
    {
        TempDataDir dir;
        QStringList statements = version1Statements();
        statements << QStringLiteral("INSERT INTO users (username, password) VALUES ('ann', '')")
                   // The version update is the step's last statement: the
                   // column is added before it fails.
                   << QStringLiteral("CREATE TRIGGER keep_version BEFORE UPDATE ON setting "
                                     "BEGIN SELECT RAISE(ABORT, 'version locked'); END");
        prepareFile(dir, statements);
        const QStringList before = dumpFile(dir.databasePath());

        BoxRecorder boxes;
        QCOMPARE(Startup::prepareStore(), Startup::StoreFailureExitCode);
        QVERIFY2(DbHelper::lastError().contains(QLatin1String("version locked")),
                 qPrintable(DbHelper::lastError()));
        QVERIFY(boxes.last().request.text.contains(QLatin1String("version locked")));
        TempDataDir::closeDatabase();
        QCOMPARE(dumpFile(dir.databasePath()), before);

        QVERIFY(runOnFile(dir.databasePath(), {QStringLiteral("DROP TRIGGER keep_version")}));
        QCOMPARE(restart(), 0);
        QCOMPARE(tableSql(),
                 QStringList({SettingTable, UsersTable, CountriesTable, GroupsTable, ItemsTable}));
        QCOMPARE(
            scalar(QStringLiteral("SELECT username || ':' || close_systray FROM users")).toString(),
            QStringLiteral("ann:0"));
        QCOMPARE(scalar(QStringLiteral("SELECT db_version FROM setting")).toInt(), 2);
    }

    void version2FileWithoutSettingRowComesBack()
    {
        TempDataDir dir;
        QCOMPARE(Startup::prepareStore(), 0);
        QSqlQuery edit;
        QVERIFY(edit.exec(QStringLiteral("INSERT INTO users (username, password, close_systray) "
                                         "VALUES ('ann', '', 1)")));
        QVERIFY(edit.exec(QStringLiteral("DELETE FROM setting")));
        edit.finish();

        QCOMPARE(restart(), 0);
        QCOMPARE(tableSql(),
                 QStringList({SettingTable, UsersTable, CountriesTable, GroupsTable, ItemsTable}));
        QCOMPARE(scalar(QStringLiteral("SELECT id || ',' || db_version || ',' || "
                                       "auto_login_user_id FROM setting"))
                     .toString(),
                 QStringLiteral("1,2,0"));
        QCOMPARE(
            scalar(QStringLiteral("SELECT username || ':' || close_systray FROM users")).toString(),
            QStringLiteral("ann:1"));
        QCOMPARE(scalar(QStringLiteral("SELECT count(*) FROM countries")).toInt(), 20);
        QCOMPARE(kApp->setting().value(QStringLiteral("db_version")).toInt(), 2);
    }

    void unopenableFileShowsTheBoxAndFails()
    {
        TempDataDir dir;
        // The data directory would have to be made under a regular file.
        QFile blocker(dir.root() + QStringLiteral("/data"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        BoxRecorder boxes;
        QCOMPARE(Startup::prepareStore(), Startup::StoreFailureExitCode);
        QCOMPARE(boxes.count(), 1);
        const MessageBox::Request& box = boxes.last().request;
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.parent, nullptr);
        QCOMPARE(box.title, QStringLiteral("Cannot open database"));
        QCOMPARE(box.text, QStringLiteral("Unable to establish a database connection. Please "
                                          "contact Kestrova support for help."));
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Abort));
        QVERIFY(!QFile::exists(dir.databasePath()));
    }

    // eBay's time unavailable at start-up: the snipe goes out on this
    // computer's clock, before the end.
    void snipesGoOnWhileEbaysTimeCannotBeRead()
    {
        TestStore store;
        EbayDouble ebay;
        ebay.script(EbayDouble::Rule(HostConfig::ShoppingApi)
                        .whereQuery(QStringLiteral("GeteBayTime"))
                        .withStatus(503)
                        .always());
        EbayDouble::Auction auction;
        auction.itemNumber = QStringLiteral("190000000001");
        auction.endTime = ebay.officialTimeIn(9000);
        ebay.addAuction(auction);
        const int user = TestStore::addUser(QStringLiteral("bob"));
        SnipeScene::signInAs(user);
        TestStore::addItem(user, auction.itemNumber, auction.endTime,
                           {{"user_bid", 20.0}, {"lead_time", 3}, {"bid_status", 1}});

        Startup::startClock();
        QVERIFY(!ClockManager::instance()->isSynchronised());
        BidEngine engine;
        ClockManager::instance()->attachListener(&engine, &BidEngine::onTimer);
        QVERIFY(ebay.waitForRequest(
            [](const EbayDouble::Request& r) { return r.queryValue("mode") == "1"; }, 15000));
        // The double records the bid once it has logged the request.
        QTRY_COMPARE_WITH_TIMEOUT(ebay.bids(auction.itemNumber).size(), 1, 2000);
        QVERIFY(ebay.bids(auction.itemNumber).first().officialTime < auction.endTime);
        kApp->setLoginUser(QSqlRecord());
    }

    // The program ends while another program holds the data file: a placed
    // verdict and a group's cancellation wait to be stored. The box stands
    // until the file takes them, or Quit Anyway keeps them for the next
    // start, which stores them before its engine reads the snipes; only when
    // even that cannot be written are they lost, and said to be.
    void quittingWithSnipesNotSaved_data()
    {
        QTest::addColumn<QString>("quit");
        QTest::newRow("the file is free while the box stands") << "wait";
        QTest::newRow("Quit Anyway: saved at the next start") << "anyway";
        QTest::newRow("Quit Anyway: nowhere to keep them") << "lost";
        QTest::newRow("killed: kept beside the file all along") << "killed";
    }
    void quittingWithSnipesNotSaved()
    {
        QFETCH(QString, quit);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QString placedNo = QStringLiteral("190000000011");
        const int placed =
            scene.addSnipe(scene.auction(placedNo, 600000), 3, 20.0, {{"bid_status", 2}});
        const int cancelled = scene.addSnipe(scene.auction("190000000012", 20000), 3);
        BoxRecorder boxes;
        auto lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        if (quit == "lost")
            QVERIFY(QDir().mkpath(SnipeStore::savedPath()));
        SnipeStore* store = SnipeStore::instance();
        store->writeItem(placed, placedNo,
                         {{"bid_status", 3}, {"error_message", QVariant(QVariant::String)}});
        store->cancelItems({cancelled});
        if (quit == "killed") {
            store->clear(); // all the program kept in memory
            lock.reset();
            QCOMPARE(restart(), 0);
            BidEngine engine;
            QVERIFY(engine.biddingItems().isEmpty()); // neither bid again
            QCOMPARE(SnipeScene::status(placed), 3);  // nor failed as unfinished
            QVERIFY(SnipeScene::column(cancelled, "bid_status").isNull());
            QVERIFY(!QFile::exists(SnipeStore::savedPath()));
            return;
        }
        if (quit == "wait") {
            boxes.setHoldMs(15000);
            lock->releaseAfter(1500);
        }
        QElapsedTimer quitting;
        quitting.start();
        Startup::finishStore();
        if (quit == "wait")
            QVERIFY(quitting.elapsed() < 6000); // closed by itself, not by the recorder
        QCOMPARE(boxes.titles().value(0), QStringLiteral("Snipes Not Saved"));
        QVERIFY(boxes.texts().value(0).contains(placedNo + ", 190000000012"));
        QVERIFY(boxes.texts().value(0).contains(QStringLiteral("database is locked")));
        if (quit == "lost") {
            QCOMPARE(boxes.titles(), (QStringList{"Snipes Not Saved", "Database Error"}));
            QVERIFY(boxes.texts().last().contains(QStringLiteral("are lost:\n") + placedNo));
            return;
        }
        QCOMPARE(boxes.count(), 1);
        if (quit == "anyway") {
            QCOMPARE(QFile::permissions(SnipeStore::savedPath()),
                     QFile::permissions(DbHelper::databasePath()));
            lock.reset();
            QCOMPARE(restart(), 0);
            BidEngine engine; // takes rows left at "Bidding" for unfinished ones
            QVERIFY(engine.biddingItems().isEmpty());
        }
        QCOMPARE(store->pendingCount(), 0);
        QVERIFY(!QFile::exists(SnipeStore::savedPath()));
        QCOMPARE(SnipeScene::status(placed), 3);
        QVERIFY(SnipeScene::column(placed, "error_message").isNull());
        QVERIFY(SnipeScene::column(cancelled, "bid_status").isNull());
        QVERIFY(SnipeScene::column(cancelled, "user_bid").isNull());
    }

    // The built program, run as a person would, on its own data directory;
    // ended by the system, by kill, by Ctrl+C or by a closed terminal.
    void programPreparesAnEmptyDataDirectory_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void programPreparesAnEmptyDataDirectory()
    {
        QFETCH(int, signal);
        TempDataDir dir;
        QProcess program;
        program.setProcessEnvironment(programEnvironment(dir));
        program.start(QStringLiteral(KESTROVA_BINARY_DIR "/kestrova"), QStringList());
        // Once the store is ready the program waits in its sign-in dialog.
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(dir.databasePath()) &&
                dumpFile(dir.databasePath()).contains(QStringLiteral("setting: 1|2|0")),
            20000);
        QCOMPARE(program.state(), QProcess::Running);
        // Ends as when the sign-in is cancelled.
        QVERIFY(::kill(pid_t(program.processId()), signal) == 0);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        const QStringList dump = dumpFile(dir.databasePath());
        QVERIFY(dump.contains(QStringLiteral("setting: 1|2|0")));
        QVERIFY(dump.contains(QStringLiteral("countries: 20|United States|ebay.com|0")));
        QVERIFY(dump.contains(QStringLiteral("table items items: ") + ItemsTable));
    }

    // Said in a box with the store's reason before the program ends; the
    // file is left as it was.
    void fileThatIsNotADatabaseIsShownAndKept()
    {
        TempDataDir dir;
        QVERIFY(QDir().mkpath(dir.dataLocation()));
        const QByteArray contents =
            QByteArray("These are my notes, not a database.\n").repeated(200);
        QFile file(dir.databasePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
        file.close();

        BoxRecorder boxes;
        QCOMPARE(Startup::prepareStore(), Startup::StoreFailureExitCode);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().request.icon, QMessageBox::Critical);
        QCOMPARE(boxes.last().request.title, QStringLiteral("Database Error"));
        QVERIFY(boxes.last().request.text.contains(dir.databasePath()));
        QVERIFY(boxes.last().request.text.contains(QLatin1String("file is not a database")));
        TempDataDir::closeDatabase();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), contents);
    }

    // The harness refuses, and reports, any external name the program looks up.
    void programThatLooksUpAnExternalNameIsCaught()
    {
        TempDataDir dir;
        QFile closed(TestHarness::closedHostsFile());
        QVERIFY(closed.open(QIODevice::ReadOnly));
        QJsonObject hosts = QJsonDocument::fromJson(closed.readAll()).object();
        QJsonObject roles = hosts.value(QStringLiteral("roles")).toObject();
        roles.insert(QStringLiteral("shopping"),
                     QJsonObject{{QStringLiteral("host"), QStringLiteral("api.kestrova.invalid")}});
        hosts.insert(QStringLiteral("roles"), roles);
        QFile external(dir.root() + QStringLiteral("/external-hosts.json"));
        QVERIFY(external.open(QIODevice::WriteOnly));
        external.write(QJsonDocument(hosts).toJson());
        external.close();

        QProcessEnvironment environment = programEnvironment(dir);
        environment.insert(QLatin1String(HostConfig::OverrideVariable), external.fileName());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(KESTROVA_BINARY_DIR "/kestrova"), QStringList());
        QStringList lookedUp;
        QTRY_VERIFY_WITH_TIMEOUT(!(lookedUp += TestHarness::takeExternalLookups()).isEmpty(),
                                 20000);
        program.kill();
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(lookedUp, QStringList{QStringLiteral("api.kestrova.invalid")});
    }

private:
    // The program as a person starts it, on its own data directory, every
    // host role on a closed local port.
    static QProcessEnvironment programEnvironment(const TempDataDir& dir)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.root() + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           dir.root() + QStringLiteral("/config"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QLatin1String(HostConfig::OverrideVariable),
                           TestHarness::closedHostsFile());
        return environment;
    }
};

KESTROVA_TEST_MAIN(TestStartup)
#include "test_startup.moc"
