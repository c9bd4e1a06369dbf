// The whole program as a person meets it: the built kestrova on a private X
// display with a tray host, against the ebaydouble program and a real SMTP
// server, driven only through real X input events. Pictures of every step
// go to endtoend-screens/ beside the test, so a failing run shows what the
// screen held.
#include "hostconfig.h"
#include "support/desktop.h"
#include "support/smtpserverprocess.h"
#include "support/xvfbsession.h"

#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

namespace {

const QString ItemByNumber = QStringLiteral("110000000001");
const QString ItemFromPage = QStringLiteral("110000000002");
// The first auction ends this long after the double starts: time enough to
// sign in, add two items, set a snipe and the preferences.
constexpr int FirstEndSecs = 100;
constexpr int LeadSecs = 4;

const QString LoginTitle = QStringLiteral("^Kestrova Login 4\\.1\\.0\\.2$");
const QString WindowTitle = QStringLiteral("^Kestrova zAzu Rerizod Ozovov 4\\.1\\.0\\.2$");

// Where a person points, in window coordinates, measured on the forms as
// they are laid out on this display (pictures in endtoend-screens/).
namespace At {
// Sign-in dialog
const QPoint UserCombo(160, 120);
const QPoint SiteCombo(230, 175);
const QPoint Remember(133, 204);
// Main window (800 x 600 at first start)
const QPoint FirstRow(150, 100);
const QPoint SnipeButton(68, 40);
const QPoint ReloadButton(248, 41);
const QPoint ItemNumberField(702, 201);
const QPoint AddEnteredButton(781, 201);
const QPoint AddBelowButton(151, 201);
const QPoint SecondPageLink(130, 300);
const QPoint FileMenu(20, 10);
const QPoint PreferencesEntry(60, 70);
// Snipe editor
const QPoint BidField(224, 186);
const QPoint UserLeadRadio(151, 246);
const QPoint LeadField(234, 246);
// Preferences
const QPoint WonBox(186, 218);
const QPoint EmailField(363, 277);
} // namespace At

QString sqlite(const QString& database, const QString& sql)
{
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {database, sql});
    process.waitForFinished(10000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir home;
    SmtpServerProcess relay;
    QProcess ebay;
    QString ebayLog;
    QString hostsFile;
    QProcess program;
    QString programErrors;
    QString screens;
    int shot = 0;
    QDateTime firstEnd; // on the double's clock

    QString databasePath() const
    {
        return home.path() + QStringLiteral("/data/Kestrova/zAzu Rerizod Ozovov/kvdata.dat");
    }
    QString settingsPath() const
    {
        return home.path() + QStringLiteral("/config/Kestrova/zAzu Rerizod Ozovov.conf");
    }

    void picture(const QString& name)
    {
        Desktop::screenshot(QStringLiteral("%1/%2-%3.png")
                                .arg(screens)
                                .arg(++shot, 2, 10, QLatin1Char('0'))
                                .arg(name));
    }

    bool startProgram()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                           home.path() + QStringLiteral("/config"));
        environment.insert(QStringLiteral("KESTROVA_HOSTS"), hostsFile);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        program.setProcessEnvironment(environment);
        programErrors.clear();
        program.start(QStringLiteral(KESTROVA_BINARY_DIR "/kestrova"), QStringList());
        return program.waitForStarted(10000);
    }

    bool quitProgram()
    {
        const QString window = Desktop::waitForWindow(WindowTitle, 5000);
        if (window.isEmpty())
            return false;
        // The shortcut goes to the window that has the keyboard focus; a
        // window just mapped may not have taken it yet, so a person would
        // press the keys again.
        for (int attempt = 0; attempt < 5 && program.state() != QProcess::NotRunning; ++attempt) {
            Desktop::click(window, 400, 590);
            Desktop::key(QStringLiteral("ctrl+q"));
            program.waitForFinished(3000);
        }
        if (program.state() != QProcess::NotRunning && !program.waitForFinished(10000))
            return false;
        programErrors += QString::fromLocal8Bit(program.readAllStandardError());
        // Its diagnostics go beside the pictures: they say why it did not end well.
        QFile log(QStringLiteral("%1/program-%2.log").arg(screens).arg(shot));
        if (log.open(QIODevice::WriteOnly))
            log.write(programErrors.toUtf8());
        return program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
    }

    // When the double received a logged request, on its official clock.
    static QDateTime arrival(const QString& line)
    {
        const QString text = line.section(QLatin1Char(' '), 0, 0); // "...T10:04:33.062Z"
        return QDateTime(QDate::fromString(text.left(10), Qt::ISODate),
                         QTime::fromString(text.mid(11, 12), Qt::ISODateWithMs), Qt::UTC);
    }

    // Log lines of the double for one kind of request, in order.
    QStringList logged(const QString& needle) const
    {
        QStringList lines;
        for (const QString& line : ebayLog.split(QLatin1Char('\n')))
            if (line.contains(needle))
                lines << line;
        return lines;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home.isValid());
        screens = QStringLiteral(KESTROVA_BINARY_DIR "/tests/endtoend-screens");
        QDir(screens).removeRecursively();
        QVERIFY(QDir().mkpath(screens));

        relay.setAccount(HostConfig::smtpRelay().account);
        QVERIFY(relay.start());

        connect(&ebay, &QProcess::readyReadStandardError, this,
                [this] { ebayLog += QString::fromUtf8(ebay.readAllStandardError()); });
        ebay.start(QStringLiteral(KESTROVA_BINARY_DIR "/tests/ebaydouble"),
                   {QStringLiteral("--ends-in"),
                    QStringLiteral("%1,%2,%3")
                        .arg(FirstEndSecs)
                        .arg(FirstEndSecs + 600)
                        .arg(FirstEndSecs + 900),
                    QStringLiteral("--smtp-port"), QString::number(relay.port())});
        QVERIFY(ebay.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(ebay.canReadLine(), 15000);
        const QString first = QString::fromUtf8(ebay.readLine()).trimmed();
        QVERIFY2(first.startsWith(QLatin1String("KESTROVA_HOSTS=")), qPrintable(first));
        hostsFile = first.section(QLatin1Char('='), 1);
        // "#   110000000001  Brass carriage clock   ends 2026-12-07 10:03:50 UTC"
        QTRY_VERIFY_WITH_TIMEOUT(ebay.canReadLine(), 5000);
        while (ebay.canReadLine() && !firstEnd.isValid()) {
            const QString line = QString::fromUtf8(ebay.readLine());
            if (line.contains(ItemByNumber)) {
                const QString text = line.section(QStringLiteral(" ends "), 1).left(19);
                firstEnd = QDateTime(QDate::fromString(text.left(10), Qt::ISODate),
                                     QTime::fromString(text.mid(11), Qt::ISODate), Qt::UTC);
            }
        }
        QVERIFY(firstEnd.isValid());
    }

    void cleanupTestCase()
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
        ebay.terminate();
        ebay.waitForFinished(5000);
    }

    void aUserSnipesAndWins()
    {
        // 1. First start: the sign-in dialog.
        QVERIFY(startProgram());
        QString login = Desktop::waitForWindow(LoginTitle);
        QVERIFY2(!login.isEmpty(), "the sign-in dialog never appeared");
        picture(QStringLiteral("sign-in"));
        Desktop::click(login, At::UserCombo.x(), At::UserCombo.y());
        Desktop::type(QStringLiteral("alice"));
        Desktop::key(QStringLiteral("Tab"));
        Desktop::type(QStringLiteral("s3cret"));
        Desktop::click(login, At::SiteCombo.x(), At::SiteCombo.y());
        // The list is in domain order: ebay.de stands five below ebay.com.
        for (int i = 0; i < 5; ++i)
            Desktop::key(QStringLiteral("Down"));
        Desktop::key(QStringLiteral("Return"));
        Desktop::click(login, At::Remember.x(), At::Remember.y());
        picture(QStringLiteral("sign-in-filled"));
        Desktop::key(QStringLiteral("Return"));

        const QString window = Desktop::waitForWindow(WindowTitle);
        QVERIFY2(!window.isEmpty(), "the main window never appeared");
        QVERIFY(!Desktop::hasWindow(LoginTitle));
        picture(QStringLiteral("window"));
        QCOMPARE(logged(QStringLiteral("POST /ws/eBayISAPI.dll?co_partnerId=2&siteid=")).size(), 2);
        QVERIFY(logged(QStringLiteral("siteid=77&UsingSSL=1")).size() == 1);

        // 2. An item by its number, and one from the page the browser shows.
        Desktop::click(window, At::ItemNumberField.x(), At::ItemNumberField.y());
        Desktop::type(ItemByNumber);
        Desktop::click(window, At::AddEnteredButton.x(), At::AddEnteredButton.y());
        QTRY_COMPARE_WITH_TIMEOUT(
            sqlite(databasePath(), QStringLiteral("SELECT count(*) FROM items")),
            QStringLiteral("1"), 15000);
        Desktop::click(window, At::SecondPageLink.x(), At::SecondPageLink.y());
        QTRY_VERIFY_WITH_TIMEOUT(!logged(QStringLiteral("GET /itm/") + ItemFromPage).isEmpty(),
                                 15000);
        QTest::qWait(500);
        Desktop::click(window, At::AddBelowButton.x(), At::AddBelowButton.y());
        QTRY_COMPARE_WITH_TIMEOUT(
            sqlite(databasePath(), QStringLiteral("SELECT group_concat(item_number) FROM (SELECT "
                                                  "item_number FROM items ORDER BY 1)")),
            ItemByNumber + QLatin1Char(',') + ItemFromPage, 15000);
        picture(QStringLiteral("two-items"));

        // 3. A snipe on the first item: the row that ends first.
        Desktop::click(window, At::FirstRow.x(), At::FirstRow.y());
        Desktop::click(window, At::SnipeButton.x(), At::SnipeButton.y());
        const QString editor = Desktop::waitForWindow(QStringLiteral("^Edit Snipe$"));
        QVERIFY2(!editor.isEmpty(), "the snipe editor never appeared");
        Desktop::doubleClick(editor, At::BidField.x(), At::BidField.y());
        Desktop::key(QStringLiteral("ctrl+a"));
        Desktop::type(QStringLiteral("25.00"));
        Desktop::click(editor, At::UserLeadRadio.x(), At::UserLeadRadio.y());
        Desktop::click(editor, At::LeadField.x(), At::LeadField.y());
        Desktop::key(QStringLiteral("ctrl+a"));
        Desktop::type(QString::number(LeadSecs));
        picture(QStringLiteral("snipe-editor"));
        Desktop::key(QStringLiteral("Return"));
        QTRY_COMPARE_WITH_TIMEOUT(
            sqlite(databasePath(),
                   QStringLiteral("SELECT user_bid || '|' || lead_time || '|' || bid_status "
                                  "FROM items WHERE item_number = '%1'")
                       .arg(ItemByNumber)),
            QStringLiteral("25.0|%1|1").arg(LeadSecs), 10000);
        picture(QStringLiteral("bid-scheduled"));

        // 4. Preferences: where the won notice goes.
        Desktop::click(window, At::FileMenu.x(), At::FileMenu.y());
        Desktop::click(window, At::PreferencesEntry.x(), At::PreferencesEntry.y());
        const QString preferences = Desktop::waitForWindow(QStringLiteral("^Preferences$"));
        QVERIFY2(!preferences.isEmpty(), "the preferences never appeared");
        Desktop::click(preferences, At::WonBox.x(), At::WonBox.y());
        Desktop::click(preferences, At::EmailField.x(), At::EmailField.y());
        Desktop::key(QStringLiteral("ctrl+a"));
        Desktop::type(QStringLiteral("alice@example.org"));
        picture(QStringLiteral("preferences"));
        Desktop::key(QStringLiteral("Return"));
        QTRY_COMPARE_WITH_TIMEOUT(
            sqlite(databasePath(), QStringLiteral("SELECT email || '|' || won_notification FROM "
                                                  "users WHERE username = 'alice'")),
            QStringLiteral("alice@example.org|1"), 10000);

        // 5. The auction ends on the double's clock: both bid steps went out
        // before the end, the row shows the win, a balloon and a mail say so.
        const int windowsBefore = Desktop::windowsOf(program.processId()).size();
        QTRY_VERIFY_WITH_TIMEOUT(!logged(QStringLiteral("mode=1")).isEmpty(),
                                 (FirstEndSecs + 10) * 1000);
        QCOMPARE(logged(QStringLiteral("MakeQuickBid&mode=0")).size(), 1);
        const qint64 leadMs = arrival(logged(QStringLiteral("mode=1")).first()).msecsTo(firstEnd);
        QVERIFY2(leadMs > (LeadSecs - 1) * 1000 && leadMs <= (LeadSecs + 1) * 1000,
                 qPrintable(QString::number(leadMs)));
        QTRY_VERIFY_WITH_TIMEOUT(relay.messages().size() == 1, (LeadSecs + 20) * 1000);
        const QString mail = QString::fromUtf8(relay.messages().first().content);
        QVERIFY2(
            mail.contains(QLatin1String("Subject: Kestrova winning bid: Brass carriage clock")),
            qPrintable(mail));
        QCOMPARE(relay.messages().first().recipients, QStringList{"alice@example.org"});
        QTRY_VERIFY_WITH_TIMEOUT(Desktop::windowsOf(program.processId()).size() > windowsBefore,
                                 5000);
        picture(QStringLiteral("won-balloon"));
        QTRY_COMPARE_WITH_TIMEOUT(
            sqlite(databasePath(),
                   QStringLiteral("SELECT bid_status || '|' || user_relation FROM items WHERE "
                                  "item_number = '%1'")
                       .arg(ItemByNumber)),
            QStringLiteral("3|HIGHBIDDER"), 10000);
        // The list shows the store as it was last read: reloading it shows the win.
        Desktop::click(window, At::ReloadButton.x(), At::ReloadButton.y());
        QTest::qWait(2000);
        picture(QStringLiteral("won-row"));

        // 6. Exit with the Quit shortcut: geometry written.
        QVERIFY2(quitProgram(), "the program did not end well: see its log beside the pictures");
        QSettings settings(settingsPath(), QSettings::IniFormat);
        QCOMPARE(settings.value(QStringLiteral("size")).toSize(), QSize(800, 600));
        QVERIFY(settings.contains(QStringLiteral("pos")));
        QCOMPARE(settings.value(QStringLiteral("maximized")).toBool(), false);

        // A second start: "Remember my password" was ticked, automatic sign-in
        // was not, so the dialog waits with the password filled in.
        QVERIFY(startProgram());
        login = Desktop::waitForWindow(LoginTitle);
        QVERIFY(!login.isEmpty());
        QTest::qWait(1000);
        QVERIFY2(!Desktop::hasWindow(WindowTitle), "signed in without being asked to");
        picture(QStringLiteral("second-start"));
        Desktop::click(login, 20, 250);
        Desktop::key(QStringLiteral("Return"));
        QVERIFY(!Desktop::waitForWindow(WindowTitle).isEmpty());
        QTest::qWait(1500);
        picture(QStringLiteral("second-window"));
        QVERIFY2(quitProgram(), "the program did not end well: see its log beside the pictures");

        // The store as the person left it.
        QCOMPARE(sqlite(databasePath(),
                        QStringLiteral("SELECT username || '|' || remember_password || '|' || "
                                       "(password != '') FROM users")),
                 QStringLiteral("alice|1|1"));
        QCOMPARE(sqlite(databasePath(), QStringLiteral("SELECT domain FROM countries WHERE id = "
                                                       "(SELECT country_id FROM users)")),
                 QStringLiteral("ebay.de"));
        QCOMPARE(
            sqlite(databasePath(), QStringLiteral("SELECT bid_status || '|' || user_bid || '|' || "
                                                  "(actual_bid_time IS NOT NULL) FROM items WHERE "
                                                  "item_number = '%1'")
                                       .arg(ItemByNumber)),
            QStringLiteral("3|25.0|1"));
    }
};

KESTROVA_TEST_MAIN_X(TestEndToEnd)
#include "test_endtoend.moc"
