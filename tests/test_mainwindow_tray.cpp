#include "mainwindow.h"
#include "support/snipescene.h"
#include "support/xvfbsession.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QSettings>

namespace {

// The texts of the balloon the tray icon shows, empty when none is up.
QStringList balloonTexts()
{
    QStringList texts;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (!window->isVisible() || qstrcmp(window->metaObject()->className(), "QBalloonTip"))
            continue;
        const QList<QLabel*> labels = window->findChildren<QLabel*>();
        for (const QLabel* label : labels)
            texts << label->text();
    }
    return texts;
}

} // namespace

class TestMainWindowTray : public QObject
{
    Q_OBJECT

private slots:
    void closeButtonHidesToTheTray_data()
    {
        QTest::addColumn<bool>("closeSystray");
        QTest::newRow("close_systray on") << true;
        QTest::newRow("close_systray off") << false;
    }
    void closeButtonHidesToTheTray()
    {
        QFETCH(bool, closeSystray);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        TestStore::exec(
            QStringLiteral("UPDATE users SET close_systray = %1").arg(int(closeSystray)));
        SnipeScene::signInAs(user);
        QSettings().clear();

        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSystemTrayIcon* tray = window.systemTrayIcon();
        QVERIFY(tray && tray->isVisible());
        QStringList menu;
        const QList<QAction*> entries = tray->contextMenu()->actions();
        for (const QAction* entry : entries)
            menu << entry->text();
        QCOMPARE(menu, (QStringList{"Restore Kestrova", "", "Exit"}));

        QSettings().clear();
        QCOMPARE(window.close(), !closeSystray);
        QVERIFY(!window.isVisible());
        QCOMPARE(QSettings().contains("pos"), !closeSystray);
        if (!closeSystray)
            return;

        tray->contextMenu()->actions().first()->trigger();
        QVERIFY(window.isVisible());
        window.close();
        QVERIFY(!window.isVisible());
        // Exit from the tray ends the program from its hidden state too.
        tray->contextMenu()->actions().last()->trigger();
        QVERIFY(QSettings().contains("pos"));
        QVERIFY(!window.isVisible());
    }

    void engineMessagesShowOnTheTrayIcon()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int bob = scene.signIn(QStringLiteral("bob"));
        // The win cancels the rest of its group: its balloon first, the
        // group's after it.
        const QVariantMap inGroup{{"group_id", TestStore::addGroup(bob, "Lamps")}};
        scene.addSnipe(scene.auction(QStringLiteral("110000000077"), 6000), 3, 20.0, inGroup);
        const int other = scene.addSnipe(scene.auction(QStringLiteral("110000000078"), 3600000), 3,
                                         20.0, inGroup);
        MainWindow window;
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(SnipeScene::status(other) == 0, 30000);
        QVERIFY(balloonTexts().contains("Winning bid on item 110000000077"));
        QTRY_VERIFY_WITH_TIMEOUT(
            balloonTexts().contains("Remaining bids in group Lamps are cancelled"), 15000);
    }

    // Run last: it runs the application's own event loop to its end.
    void hiddenInTheTrayRunsUntilExit()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int user = scene.signIn(QStringLiteral("bob"));
        TestStore::exec(QStringLiteral("UPDATE users SET close_systray = 1"));
        SnipeScene::signInAs(user);
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.close());

        bool ranOn = false;
        QTimer::singleShot(0, [] {
            // A box closed with no window visible.
            QDialog box;
            box.show();
            box.close();
        });
        QTimer::singleShot(500, &window, [&] {
            ranOn = true;
            window.systemTrayIcon()->contextMenu()->actions().last()->trigger();
        });
        QTimer bound;
        bound.callOnTimeout([] { QCoreApplication::exit(1); });
        bound.start(10000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(ranOn);
    }
};

KESTROVA_TEST_MAIN_X(TestMainWindowTray)
#include "test_mainwindow_tray.moc"
