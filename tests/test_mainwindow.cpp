#include "bidthread.h"
#include "helper/dbhelper.h"
#include "helper/networkresource.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "myqwebview.h"
#include "snipestore.h"
#include "startup.h"
#include "support/boxrecorder.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "support/watchlisttable.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QWebPage>
#include <csignal>

namespace {

// What a menu or toolbar shows, in order: "|" for a separator, labels by
// text, other widgets and actions by object name (the page's own actions,
// which have none, by text).
QStringList describe(const QWidget* bar)
{
    QStringList items;
    const QList<QAction*> actions = bar->actions();
    for (QAction* action : actions) {
        auto* toolBar = qobject_cast<const QToolBar*>(bar);
        QWidget* widget = toolBar ? toolBar->widgetForAction(action) : nullptr;
        if (action->isSeparator())
            items << QStringLiteral("|");
        else if (auto* label = qobject_cast<QLabel*>(widget))
            items << label->text();
        else if (widget && !qobject_cast<QToolButton*>(widget))
            items << widget->objectName();
        else
            items << (action->objectName().isEmpty() ? action->text() : action->objectName());
    }
    return items;
}

// Windows that keep the program running: visible and without a parent.
int openWindows()
{
    int count = 0;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows)
        count += window->isVisible() && !window->parentWidget() &&
                 window->testAttribute(Qt::WA_QuitOnClose);
    return count;
}

MyQWebView* pageWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (auto* view = qobject_cast<MyQWebView*>(window))
            return view;
    }
    return nullptr;
}

QNetworkCookie sessionCookie()
{
    return QNetworkCookie(EbayDouble::sessionCookieName(), "signed-in");
}

bool carriesSessionCookie(const EbayDouble::Request& request)
{
    return request.header("Cookie").contains(
        sessionCookie().toRawForm(QNetworkCookie::NameAndValueOnly));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QSettings().clear();
        QVERIFY(m_scene.isReady());
        m_scene.ebay().clearScripts();
        m_scene.ebay().clearLog();
        TestStore::exec(QStringLiteral("UPDATE users SET close_systray = 0"));
        m_scene.signInAs(m_userId);
    }

    void initTestCase()
    {
        m_userId = m_scene.signIn(QStringLiteral("bob"), QStringLiteral("ebay.de"));
    }

    void showsTitleHeadersAndStartPage()
    {
        MainWindow window;
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Kestrova zAzu Rerizod Ozovov 4.1.0.2"));
        QStringList headers;
        for (int c = 0; c < window.tableWidget()->columnCount(); ++c)
            headers << window.tableWidget()->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, QStringList({"Status", "Item Number", "Item Name", "Time Left",
                                       "Current Bid", "Shipping", "My Bid", "Group", "Seller"}));
        QVERIFY(m_scene.ebay().waitForRequest(
            [](const EbayDouble::Request& r) { return r.role == HostConfig::BrowserStart; }));
        QTRY_VERIFY_WITH_TIMEOUT(!window.browser()->title().isEmpty(), 5000);
        QVERIFY(!window.findChild<QProgressBar*>()->isVisible());
    }

    void actionsMenusAndToolbars()
    {
        struct Row
        {
            const char* name;
            QString text;
            QString icon;
            QString statusTip;
            void (MainWindow::*slot)();
        };
        const Row rows[] = {
            {"logoutAction", "&Logout...", "login", "Logout and login as a different user.",
             &MainWindow::login},
            {"exitAction", "E&xit", "exit", "Exit Kestrova", &MainWindow::exit},
            {"watchAction", "&Add item below...", "up", "Add the current item to watch list",
             &MainWindow::watch},
            {"manualWatchAction", "&Add entered item...", "watch",
             "Add the entered item to watch list", &MainWindow::manualWatch},
            {"reloadAction", "&Reload...", "reload", "Reload the watch list", &MainWindow::reload},
            {"deleteAction", "&Delete...", "delete", "Delete the selected items in watch list",
             &MainWindow::remove},
            {"snipeAction", "&Snipe...", "play", "Snipe the selected item.", &MainWindow::snipe},
            {"cancelSnipeAction", "&Cancel Snipe...", "stop",
             "Cancel the snipe on the selected item.", &MainWindow::cancel},
            {"groupAction", "&Group...", "group", "Manage bidding groups.", &MainWindow::group},
            {"importAction", "&Import...", "import", "Import auctions from My eBay.",
             &MainWindow::import},
            {"aboutAction", "About &Kestrova zAzu Rerizod Ozovov", "about", "About Kestrova.",
             &MainWindow::aboutKestrova},
            {"preferencesAction", "Preferences...", "", "Edit Kestrova preferences.",
             &MainWindow::preferences},
            {"checkUpdateAction", "Check for update", "", "Check new version for Kestrova.",
             &MainWindow::checkUpdate},
        };
        MainWindow window;
        for (const Row& row : rows) {
            auto* action = window.findChild<QAction*>(QLatin1String(row.name));
            QVERIFY2(action, row.name);
            QCOMPARE(action->text(), row.text);
            QCOMPARE(action->statusTip(), row.statusTip);
            QCOMPARE(action->toolTip(), QString(row.text).remove(QLatin1Char('&')).remove("..."));
            QCOMPARE(action->shortcut(), row.slot == &MainWindow::exit
                                             ? QKeySequence(QKeySequence::Quit)
                                             : QKeySequence());
            if (row.icon.isEmpty()) {
                QVERIFY(action->icon().isNull());
            } else {
                const QImage icon = QImage(QStringLiteral(":/images/%1.png").arg(row.icon))
                                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
                QVERIFY2(!icon.isNull(), qPrintable(row.icon));
                QCOMPARE(action->icon().pixmap(24).toImage().convertToFormat(icon.format()), icon);
            }
            QVERIFY2(QObject::disconnect(action, &QAction::triggered, &window, row.slot), row.name);
        }

        QList<QStringList> menus;
        const QList<QAction*> menuActions = window.menuBar()->actions();
        for (QAction* menu : menuActions)
            menus << (QStringList(menu->text()) << describe(menu->menu()));
        QCOMPARE(menus, (QList<QStringList>{
                            {"&File", "logoutAction", "|", "preferencesAction", "exitAction"},
                            {"&Action", "snipeAction", "cancelSnipeAction", "groupAction", "|",
                             "importAction", "deleteAction", "|", "reloadAction"},
                            {"&Help", "aboutAction", "checkUpdateAction"}}));
        QCOMPARE(
            describe(window.findChild<QToolBar*>(QStringLiteral("mainToolBar"))),
            (QStringList{"logoutAction", "|", "snipeAction", "cancelSnipeAction", "groupAction",
                         "|", "importAction", "deleteAction", "|", "reloadAction", "|", " Status ",
                         "statusCombo", " ", "|", " Group ", "groupCombo"}));
        QCOMPARE(describe(window.findChild<QToolBar*>(QStringLiteral("browserToolBar"))),
                 (QStringList{"Go Back", "Go Forward", "Reload", "Stop", "watchAction", "",
                              "Item Number: ", "itemNumberEdit", "manualWatchAction"}));

        QStringList statuses;
        for (int i = 0; i < window.statusFilter()->count(); ++i) {
            QCOMPARE(window.statusFilter()->itemData(i), QVariant(i));
            statuses << window.statusFilter()->itemText(i);
        }
        QCOMPARE(statuses, (QStringList{"All", "Watching", "Bid Scheduled", "High Bidder",
                                        "Out Bidder", "Won", "Didn't Win"}));
        QCOMPARE(window.statusFilter()->currentIndex(), 0);
        QCOMPARE(window.selectedItemStatus(), 0);
        QCOMPARE(window.groupFilter()->currentText(), QStringLiteral("All"));
        QCOMPARE(window.selectedGroup(), 0);
    }

    void firstStartGeometryAndMove_data()
    {
        QTest::addColumn<QString>("stored"); // the settings file's values, or none
        QTest::newRow("empty settings store") << QString();
        QTest::newRow("unreadable values") << "nonsense";
    }
    void firstStartGeometryAndMove()
    {
        QFETCH(QString, stored);
        for (const char* key : {"pos", "size", "maximized"}) {
            if (!stored.isNull())
                QSettings().setValue(QLatin1String(key), stored);
        }
        MainWindow window;
        QCOMPARE(window.pos(), QPoint(100, 100));
        QCOMPARE(window.size(), QSize(800, 600));
        window.show();
        QVERIFY(!window.isMaximized());
        window.move(150, 160);
        QTRY_COMPARE(QSettings().value("pos").toPoint(), QPoint(150, 160));
        QCOMPARE(QSettings().value("size").toSize(), QSize(800, 600));
        QCOMPARE(QSettings().value("maximized").toBool(), false);
    }

    void closedMaximisedReopensMaximised()
    {
        {
            MainWindow window;
            window.show();
            window.resize(700, 500);
            window.move(150, 160);
            window.showMaximized();
            QTRY_VERIFY(window.isMaximized());
            QVERIFY(window.close());
        }
        QCOMPARE(QSettings().value("maximized").toBool(), true);
        MainWindow window;
        window.show();
        QTRY_VERIFY(window.isMaximized());
        window.showNormal();
        QTRY_COMPARE(window.size(), QSize(700, 500));
        QCOMPARE(window.pos(), QPoint(150, 160));
    }

    void closeButtonWithoutTrayEndsTheProgram_data()
    {
        QTest::addColumn<bool>("closeSystray");
        QTest::newRow("close_systray off") << false;
        QTest::newRow("close_systray on, no tray") << true;
    }
    void closeButtonWithoutTrayEndsTheProgram()
    {
        QFETCH(bool, closeSystray);
        TestStore::exec(
            QStringLiteral("UPDATE users SET close_systray = %1").arg(int(closeSystray)));
        m_scene.signInAs(m_userId);
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        MainWindow window;
        window.show();
        QTRY_VERIFY(QSettings().contains("pos"));
        QSettings().clear();
        QVERIFY(window.close());
        QCOMPARE(openWindows(), 0);
        QCOMPARE(QSettings().value("pos").toPoint(), window.pos());
        // Tray messages have nowhere to go and are dropped.
        window.showSysTrayMessage("Winning bid on item 1", "", QSystemTrayIcon::Information, 100);
    }

    void pageWindowsShareTheCookiesAndCloseWithExit()
    {
        NetworkResource::instance()->networkCookieJar()->setCookiesFromUrl(
            {sessionCookie()}, HostConfig::url(HostConfig::BrowserStart, QString(), "/"));
        // Every start page opens a window by script.
        m_scene.ebay().script(EbayDouble::Rule(HostConfig::BrowserStart)
                                  .whereQuery("opened")
                                  .always()
                                  .withBody("<html><body>Opened</body></html>"));
        m_scene.ebay().script(
            EbayDouble::Rule(HostConfig::BrowserStart)
                .always()
                .withBody("<html><body><script>window.open('/?opened');</script></body></html>"));
        MainWindow window;
        window.show();
        QVERIFY(pageWindowOpened());
        QPointer<MyQWebView> first = pageWindow();

        // The close button leaves the page's window, and the program, running.
        QVERIFY(window.close());
        QCOMPARE(openWindows(), 1);
        // Closing that window leaves the shared cookies to the next one.
        first->close();
        QTRY_VERIFY(!first);
        m_scene.ebay().clearLog();
        window.show();
        window.browser()->reload();
        QVERIFY(pageWindowOpened());
        QPointer<MyQWebView> second = pageWindow();

        window.findChild<QAction*>(QStringLiteral("exitAction"))->trigger();
        QCOMPARE(openWindows(), 0);
        QTRY_VERIFY(!second);
    }

    // SIGTERM while a Delete waits for a file another program holds: the
    // program's loop ends as with File > Exit, bidding ends at once (a snipe
    // due 4 s later is not bid), and the Delete is tried once more and kept
    // for the next start, with no box that nobody would see.
    void aCommandWaitingWhenTheProgramIsEndedIsKept()
    {
        TestStore::addItem(m_userId, "130000000001", QDateTime::currentDateTimeUtc().addDays(1));
        EbayDouble::Auction auction = m_scene.auction(QStringLiteral("130000000002"), 8000);
        const int snipe = m_scene.addSnipe(auction, 3);
        MainWindow window;
        window.show();
        QVERIFY(WatchListTable::settle(window));
        window.tableWidget()->selectRow(
            window.tableWidget()
                ->findItems(QStringLiteral("130000000001"), Qt::MatchExactly)
                .first()
                ->row());
        QTRY_COMPARE_WITH_TIMEOUT(SnipeScene::status(snipe), 2, 3000);
        ReadLock lock(DbHelper::databasePath());
        Startup::endOnSignals();
        BoxRecorder boxes;
        QObject user;
        QTimer::singleShot(0, &user,
                           [&] { window.findChild<QAction*>("deleteAction")->trigger(); });
        QTimer::singleShot(1000, &user, [] { ::raise(SIGTERM); });
        QTimer::singleShot(10000, &user, [] { QCoreApplication::quit(); });
        QElapsedTimer ending;
        ending.start();
        QApplication::exec();
        Startup::endBidding(window);
        std::signal(SIGTERM, SIG_DFL);
        QVERIFY2(ending.elapsed() < 3000, qPrintable(QString::number(ending.elapsed())));
        QCOMPARE(boxes.titles(), QStringList{"Delete Items"}); // the question alone
        QVERIFY(SnipeStore::instance()->describePending().contains(
            QStringLiteral("the deletion of 130000000001")));
        QCOMPARE(SnipeStore::instance()->pendingValue(snipe, "error_message").toString(),
                 BidThread::notSentReason());
        QVERIFY(QTest::qWaitFor([&] { return m_scene.ebay().officialTime() > auction.endTime; },
                                10000));
        QVERIFY(m_scene.requests(auction.itemNumber, QStringLiteral("MakeQuickBid1")).isEmpty());
    }

private:
    // A window the page opened has asked for its page with the cookie.
    bool pageWindowOpened()
    {
        return m_scene.ebay().waitForRequest([](const EbayDouble::Request& r) {
            return r.rawQuery == "opened" && carriesSessionCookie(r);
        }) && QTest::qWaitFor([] { return pageWindow() && pageWindow()->isVisible(); }, 5000);
    }

    SnipeScene m_scene;
    int m_userId = -1;
};

KESTROVA_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
