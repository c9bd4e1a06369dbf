#include "aboutdialog.h"
#include "groupdialog.h"
#include "helper/dbhelper.h"
#include "mainwindow.h"
#include "preferencesdialog.h"
#include "support/boxrecorder.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/snipescene.h"
#include "support/xvfbsession.h"
#include "updatedialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <memory>

namespace {

// Triggers the window's action; the dialog it opens meets the driver's steps.
void run(MainWindow& window, const char* action, ModalDriver& driver)
{
    window.findChild<QAction*>(QLatin1String(action))->trigger();
    QVERIFY2(driver.allDone(), qPrintable(driver.failures().join(';')));
}

template <typename Widget> Widget* child(QWidget* parent, const char* name)
{
    return parent->findChild<Widget*>(QLatin1String(name));
}

} // namespace

class TestDialogCommands : public QObject
{
    Q_OBJECT

private slots:
    void groupFilterKeepsTheChosenGroupWhileItExists()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int bob = scene.signIn(QStringLiteral("bob"));
        TestStore::addGroup(bob, QStringLiteral("Cameras"));
        TestStore::addGroup(bob, QStringLiteral("Lenses"));
        BoxRecorder boxes;
        MainWindow window;
        QComboBox* filter = window.groupFilter();
        filter->setCurrentIndex(filter->findText(QStringLiteral("Lenses")));

        // Each time the first group is deleted: first the other, then the chosen one.
        ModalDriver driver;
        const auto deleteFirst = [](GroupDialog* dialog) {
            child<QTableWidget>(dialog, "tableWidget")->selectRow(0);
            child<QPushButton>(dialog, "pushButtonDelete")->click();
            dialog->close();
        };
        driver.onNext<GroupDialog>(deleteFirst);
        run(window, "groupAction", driver);
        QCOMPARE(filter->currentText(), QStringLiteral("Lenses"));
        QCOMPARE(filter->count(), 2);
        driver.onNext<GroupDialog>(deleteFirst);
        run(window, "groupAction", driver);
        QCOMPARE(filter->currentText(), QStringLiteral("All"));
        QCOMPARE(filter->count(), 1);
    }

    void preferencesAreSavedAndTakeEffect_data()
    {
        QTest::addColumn<bool>("autoLead");
        QTest::addColumn<int>("storedLead");
        QTest::addColumn<bool>("held"); // by another program until 1 s after OK
        QTest::newRow("own lead time") << false << 12 << false;
        QTest::newRow("automatic keeps the stored default") << true << 5 << false;
        QTest::newRow("the file held: Preferences opens again once saved") << false << 12 << true;
    }
    void preferencesAreSavedAndTakeEffect()
    {
        QFETCH(bool, autoLead);
        QFETCH(int, storedLead);
        QFETCH(bool, held);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        const int bob = scene.signIn(QStringLiteral("bob"));
        TestStore::exec(QStringLiteral("UPDATE users SET refresh_interval = 0"));
        SnipeScene::signInAs(bob);
        // Signed in with a password not to remember: only memory holds it.
        QSqlRecord user = kApp->loginUser();
        user.setValue(QStringLiteral("password"), QStringLiteral("typed secret"));
        kApp->setLoginUser(user);
        const QDateTime end = scene.ebay().officialTimeIn(3600 * 1000);
        scene.ebay().addAuction(scene.auction(QStringLiteral("110000000001"), 3600 * 1000));
        TestStore::addItem(bob, QStringLiteral("110000000001"), end);
        BoxRecorder boxes;
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const auto fetch = [](const EbayDouble::Request& r) {
            return r.command() == QLatin1String("GetMultipleItems");
        };
        QVERIFY(scene.ebay().waitForRequest(fetch)); // the window's first reload
        const auto reloadsAfterAMinute = [&] {
            scene.ebay().clearLog();
            for (int tick = 0; tick < 60; ++tick)
                QMetaObject::invokeMethod(&window, "onTimer");
            return scene.ebay().waitForRequest(fetch, 1000);
        };
        QVERIFY(!reloadsAfterAMinute());

        ModalDriver driver;
        driver.onNext<PreferencesDialog>([autoLead](PreferencesDialog* dialog) {
            child<QRadioButton>(dialog,
                                autoLead ? "radioButtonAutoDetect" : "radioButtonUserSpecified")
                ->setChecked(true);
            child<QLineEdit>(dialog, "lineEditLeadTime")->setText(QStringLiteral("12"));
            child<QLineEdit>(dialog, "lineEditRefreshRate")->setText(QStringLiteral("1"));
            child<QLineEdit>(dialog, "lineEditEmail")->setText(QStringLiteral("new@example.org"));
            child<QCheckBox>(dialog, "checkBoxLostBid")->setChecked(true);
            child<QCheckBox>(dialog, "checkBoxCloseToSysTray")->setChecked(true);
            child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
        std::unique_ptr<ReadLock> lock;
        if (held) {
            lock = std::make_unique<ReadLock>(DbHelper::databasePath());
            lock->releaseAfter(1000);
        }
        run(window, "preferencesAction", driver);
        auto* preferences = child<QAction>(&window, "preferencesAction");
        QCOMPARE(preferences->isEnabled(), !held);
        QTRY_VERIFY_WITH_TIMEOUT(preferences->isEnabled(), 3000);

        const QVariantMap stored =
            TestStore::rows(QStringLiteral("SELECT * FROM users WHERE id = %1").arg(bob)).value(0);
        const QVariantMap expected{{"auto_detect_lead_time", int(autoLead)},
                                   {"default_lead_time", storedLead},
                                   {"refresh_interval", 1},
                                   {"email", "new@example.org"},
                                   {"lost_notification", 1},
                                   {"close_systray", 1}};
        for (auto column = expected.cbegin(); column != expected.cend(); ++column) {
            QCOMPARE(stored.value(column.key()).toString(), column.value().toString());
            QCOMPARE(kApp->loginUser().value(column.key()).toString(), column.value().toString());
        }
        QCOMPARE(stored.value(QStringLiteral("password")).toString(), QString());
        QCOMPARE(kApp->loginUser().value(QStringLiteral("password")).toString(),
                 QStringLiteral("typed secret"));

        QVERIFY(reloadsAfterAMinute());
        QVERIFY(!window.close()); // hidden to the tray
        QVERIFY(!window.isVisible());
        QCOMPARE(boxes.count(), 0);
    }

    void failedSaveIsShownAndChangesNothing()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        const QSqlRecord before = kApp->loginUser();
        TestStore::exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON users BEGIN "
                                       "SELECT RAISE(ABORT, 'disk full'); END"));
        BoxRecorder boxes;
        MainWindow window;
        ModalDriver driver;
        driver.onNext<PreferencesDialog>([](PreferencesDialog* dialog) { dialog->accept(); });
        run(window, "preferencesAction", driver);
        QCOMPARE(boxes.titles(), QStringList{"Database Error"});
        QVERIFY(boxes.last().request.text.contains(QLatin1String("disk full")));
        QCOMPARE(kApp->loginUser(), before);
    }

    void helpCommands_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("published"); // "": the server cannot be reached
        QTest::addColumn<QString>("box");       // "": a dialog instead
        QTest::newRow("about") << "aboutAction"
                               << "4.1.0.2"
                               << "";
        QTest::newRow("newer") << "checkUpdateAction"
                               << "4.1.0.3"
                               << "";
        QTest::newRow("same") << "checkUpdateAction"
                              << "4.1.0.2"
                              << "No Update Available";
        QTest::newRow("unreachable") << "checkUpdateAction"
                                     << ""
                                     << "Update Check Failed";
        QTest::newRow("no version number") << "checkUpdateAction"
                                           << "latest"
                                           << "Update Check Failed";
    }
    void helpCommands()
    {
        QFETCH(QString, action);
        QFETCH(QString, published);
        QFETCH(QString, box);
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"));
        scene.ebay().setPublishedVersion(published);
        scene.ebay().refuse(HostConfig::MakerWeb, published.isEmpty());
        BoxRecorder boxes;
        MainWindow window;
        ModalDriver driver;
        if (action == QLatin1String("aboutAction"))
            driver.onNext<AboutDialog>([](AboutDialog* dialog) { dialog->accept(); });
        else if (box.isEmpty())
            driver.onNext<UpdateDialog>([](UpdateDialog* dialog) { dialog->accept(); });
        run(window, qPrintable(action), driver);
        QCOMPARE(boxes.titles(), box.isEmpty() ? QStringList() : QStringList{box});
    }
};

KESTROVA_TEST_MAIN_X(TestDialogCommands)
#include "test_dialogcommands.moc"
