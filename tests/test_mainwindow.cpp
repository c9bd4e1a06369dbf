#include "mainwindow.h"
#include "myqwebview.h"
#include "support/snipescene.h"
#include "support/testmain.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QTableWidget>
#include <QToolBar>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTitleHeadersAndStartPage()
    {
        SnipeScene scene;
        QVERIFY(scene.isReady());
        scene.signIn(QStringLiteral("bob"), QStringLiteral("ebay.de"));
        MainWindow window;
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Kestrova zAzu Rerizod Ozovov 4.1.0.2"));
        QStringList headers;
        for (int c = 0; c < window.tableWidget()->columnCount(); ++c)
            headers << window.tableWidget()->horizontalHeaderItem(c)->text();
        QCOMPARE(headers, QStringList({"Status", "Item Number", "Item Name", "Time Left",
                                       "Current Bid", "Shipping", "My Bid", "Group", "Seller"}));
        QVERIFY(scene.ebay().waitForRequest(
            [](const EbayDouble::Request& r) { return r.role == HostConfig::BrowserStart; }));
        window.grab().save(QStringLiteral("/tmp/frame/mainwindow.png"));
    }
};

KESTROVA_TEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
