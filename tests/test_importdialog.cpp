#include "helper/dbhelper.h"
#include "importdialog.h"
#include "snipestore.h"
#include "support/modaldriver.h"
#include "support/readlock.h"
#include "support/testmain.h"
#include "support/windowscene.h"

#include <QCheckBox>
#include <QProgressBar>
#include <QPushButton>
#include <memory>

namespace {
const QString Watching = QStringLiteral("110000000001");
const QString Bidding = QStringLiteral("110000000002");
const QString FixedPrice = QStringLiteral("110000000003");
const QString Watched = QStringLiteral("110000000009");

template <typename Widget> Widget* part(QWidget* dialog, const char* name)
{
    return dialog->findChild<Widget*>(QLatin1String(name));
}
} // namespace

class TestImportDialog : public QObject
{
    Q_OBJECT

private slots:
    void importNeedsAList()
    {
        ImportDialog dialog;
        part<QCheckBox>(&dialog, "checkBoxImportWatching")->setChecked(false);
        QVERIFY(part<QPushButton>(&dialog, "pushButtonImport")->isEnabled());
        part<QCheckBox>(&dialog, "checkBoxImportBidding")->setChecked(false);
        QVERIFY(!part<QPushButton>(&dialog, "pushButtonImport")->isEnabled());
        part<QCheckBox>(&dialog, "checkBoxImportBidding")->setChecked(true);
        QVERIFY(part<QPushButton>(&dialog, "pushButtonImport")->isEnabled());
    }

    void import_data()
    {
        QTest::addColumn<bool>("watching");
        QTest::addColumn<bool>("bidding");
        QTest::addColumn<QStringList>("watchList");
        QTest::addColumn<QString>("failing");   // a request the double answers with an error
        QTest::addColumn<QStringList>("lists"); // My eBay containers asked for
        QTest::addColumn<int>("fetches");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QList<int>>("progress");
        const QStringList listed{Watching, FixedPrice, Watched};
        const QStringList both{"240", "240", "312", "312"};
        const QList<int> thirds{33, 66, 100};
        const QList<int> fifths{20, 40, 60, 80, 100};
        QTest::newRow("watching") << true << false << listed << "" << QStringList{"240", "240"} << 1
                                  << QStringList{Watching, Watched} << thirds;
        QTest::newRow("bidding") << false << true << listed << "" << QStringList{"312", "312"} << 1
                                 << QStringList{Bidding, Watched} << thirds;
        QTest::newRow("both") << true << true << listed << "" << both << 1
                              << QStringList{Watching, Bidding, Watched} << fifths;
        QTest::newRow("nothing new")
            << true << false << QStringList{Watched} << "" << QStringList{"240", "240"} << 0
            << QStringList{Watched} << thirds;
        QTest::newRow("watching list fails") << true << true << listed << "cid=240" << both << 1
                                             << QStringList{Bidding, Watched} << fifths;
        QTest::newRow("bidding list fails") << true << true << listed << "cid=312" << both << 1
                                            << QStringList{Watching, Watched} << fifths;
        QTest::newRow("item fetch fails") << true << true << listed << "GetMultipleItems" << both
                                          << 1 << QStringList{Watched} << fifths;
    }

    void import()
    {
        QFETCH(bool, watching);
        QFETCH(bool, bidding);
        QFETCH(QStringList, watchList);
        QFETCH(QString, failing);
        QFETCH(QStringList, lists);
        QFETCH(int, fetches);
        QFETCH(QStringList, stored);
        QFETCH(QList<int>, progress);
        WindowScene scene({Watched});
        QVERIFY(scene.ready);
        scene.offer(Watching);
        scene.offer(Bidding);
        scene.offer(FixedPrice, QStringLiteral("FixedPriceItem"));
        scene.snipes.ebay().setWatchingList(watchList);
        scene.snipes.ebay().setBiddingList({Bidding, Watched});
        if (!failing.isEmpty())
            scene.snipes.ebay().script(EbayDouble::Rule().whereQuery(failing).withStatus(500));

        ImportDialog dialog(scene.window.get());
        dialog.setMainWindow(scene.window.get());
        QList<int> shown;
        connect(part<QProgressBar>(&dialog, "progressBar"), &QProgressBar::valueChanged,
                [&shown](int value) { shown << value; });
        ModalDriver driver;
        driver.onNext<ImportDialog>([&](ImportDialog* d) {
            part<QCheckBox>(d, "checkBoxImportWatching")->setChecked(watching);
            part<QCheckBox>(d, "checkBoxImportBidding")->setChecked(bidding);
            part<QPushButton>(d, "pushButtonImport")->click();
        });
        QSignalSpy finished(scene.window.get(), &MainWindow::importFinished);
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QVERIFY(driver.allDone());
        QVERIFY(scene.settle());
        QCOMPARE(finished.count(), 1);
        QStringList asked;
        for (const EbayDouble::Request& request : scene.snipes.ebay().requests(HostConfig::MyEbay))
            asked << request.queryValue("cid") + request.queryValue("CustomizedContainer");
        QCOMPARE(asked, lists);
        QCOMPARE(scene.snipes.ebay().requests(HostConfig::ShoppingApi).size(), fetches);
        QCOMPARE(scene.storedNumbers(), stored);
        QCOMPARE(shown, progress);
        // Watched and fixed-price items go without a word; a failed request has its box.
        QCOMPARE(scene.boxes.titles(),
                 failing.isEmpty() ? QStringList() : QStringList{"Network Error"});
    }

    // A cancelled import adds nothing, though its fetch would be answered
    // while the next import's own fetch still runs.
    void cancelledImportAddsNothing()
    {
        WindowScene scene;
        QVERIFY(scene.ready);
        scene.offer(Watching);
        scene.offer(Bidding);
        EbayDouble& ebay = scene.snipes.ebay();
        ebay.setWatchingList({Watching});
        ebay.setBiddingList({Bidding});
        for (int delay : {1500, 3000})
            ebay.script(EbayDouble::Rule(HostConfig::ShoppingApi).delayed(delay));
        {
            ImportDialog cancelled(scene.window.get());
            cancelled.setMainWindow(scene.window.get());
            part<QCheckBox>(&cancelled, "checkBoxImportBidding")->setChecked(false);
            part<QPushButton>(&cancelled, "pushButtonImport")->click();
            QVERIFY(ebay.waitForRequests(3));
            part<QPushButton>(&cancelled, "pushButtonCancel")->click();
        }
        ImportDialog dialog(scene.window.get());
        dialog.setMainWindow(scene.window.get());
        ModalDriver driver;
        driver.onNext<ImportDialog>([](ImportDialog* d) {
            part<QCheckBox>(d, "checkBoxImportWatching")->setChecked(false);
            part<QPushButton>(d, "pushButtonImport")->click();
        });
        QCOMPARE(dialog.exec(), int(QDialog::Accepted));
        QCOMPARE(scene.storedNumbers(), QStringList{Bidding});
    }

    // Nor one cancelled while its items wait for a file another program
    // holds: what was fetched is not stored once the file is free.
    void importCancelledWhileItsItemsWaitAddsNothing()
    {
        WindowScene scene;
        QVERIFY(scene.ready);
        scene.offer(Watching);
        scene.snipes.ebay().setWatchingList({Watching});
        ImportDialog dialog(scene.window.get());
        dialog.setMainWindow(scene.window.get());
        part<QCheckBox>(&dialog, "checkBoxImportBidding")->setChecked(false);
        QSignalSpy waiting(SnipeStore::instance(), &SnipeStore::windowWaiting);
        auto lock = std::make_unique<ReadLock>(DbHelper::databasePath());
        part<QPushButton>(&dialog, "pushButtonImport")->click();
        QTRY_COMPARE(waiting.count(), 1);
        part<QPushButton>(&dialog, "pushButtonCancel")->click();
        lock.reset();
        QTRY_COMPARE(waiting.count(), 2);
        QVERIFY(scene.settle());
        QVERIFY(scene.storedNumbers().isEmpty());
        QCOMPARE(scene.boxes.count(), 0);
    }
};

KESTROVA_TEST_MAIN(TestImportDialog)
#include "test_importdialog.moc"
