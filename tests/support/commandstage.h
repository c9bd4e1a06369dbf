#ifndef COMMANDSTAGE_H
#define COMMANDSTAGE_H

#include "mainwindow.h"
#include "snipedialog.h"
#include "support/boxrecorder.h"
#include "support/snipescene.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>
#include <functional>
#include <memory>

// What the tests of the window's commands share: the window over the local
// eBay double, and a snipe as the snipe editor saves it.

inline const QVariantMap Sniped{{"user_bid", 20.0}, {"lead_time", 5}, {"bid_status", 1}};
inline const QVariantMap SnipedLeadOne{{"user_bid", 20.0}, {"lead_time", 1}, {"bid_status", 1}};

// The window after sign-in, on the double, its first reload from eBay done.
struct Stage
{
    explicit Stage(const EbayDouble::Options& options = EbayDouble::Options()) : scene(options)
    {
        userId = scene.signIn(QStringLiteral("bob"));
    }

    int watch(const QString& number, qint64 endInMs, const QVariantMap& more = QVariantMap(),
              int user = 0)
    {
        const EbayDouble::Auction auction = scene.auction(number, endInMs);
        scene.ebay().addAuction(auction);
        return TestStore::addItem(user ? user : userId, number, auction.endTime, more);
    }
    // True once the first reload has asked for each row's shipping and relation.
    bool open()
    {
        window.reset(new MainWindow);
        window->show();
        const int rows = table()->rowCount();
        return QTest::qWaitFor(
            [&] { return scene.ebay().requests(HostConfig::ItemPage).size() >= 2 * rows; });
    }
    QTableWidget* table() const { return window->tableWidget(); }
    // Waits until the auction has at most that long left on eBay's clock.
    bool leftAtMost(const QString& number, qint64 ms)
    {
        const QDateTime end = scene.ebay().auction(number).endTime;
        return QTest::qWaitFor([&] { return scene.ebay().officialTime().msecsTo(end) <= ms; },
                               40000);
    }
    void trigger(const char* action) const
    {
        window->findChild<QAction*>(QLatin1String(action))->trigger();
    }
    int row(int id) const
    {
        for (int r = 0; r < table()->rowCount(); ++r) {
            if (table()->item(r, MainWindow::ItemNumberColumn)->data(Qt::UserRole).toInt() == id)
                return r;
        }
        return -1;
    }
    void select(const QList<int>& ids) const
    {
        table()->clearSelection();
        for (const int id : ids)
            table()->selectionModel()->select(table()->model()->index(row(id), 0),
                                              QItemSelectionModel::Select |
                                                  QItemSelectionModel::Rows);
    }
    QString status(int id) const { return table()->item(row(id), 0)->text(); }
    // The snipes the engine holds.
    QStringList listed() const
    {
        QStringList numbers;
        const QList<ItemTO> items = window->engine()->biddingItems();
        for (const ItemTO& item : items)
            numbers << item.itemNumber();
        numbers.sort();
        return numbers;
    }

    SnipeScene scene;
    BoxRecorder boxes;
    int userId = 0;
    std::unique_ptr<MainWindow> window;
};

inline std::function<void(SnipeDialog*)> enterSnipe(const QString& bid, int lead)
{
    return [bid, lead](SnipeDialog* dialog) {
        dialog->findChild<QLineEdit*>("lineEditUserBidAmount")->setText(bid);
        dialog->findChild<QRadioButton*>("radioButtonUserSpecified")->setChecked(true);
        dialog->findChild<QLineEdit*>("lineEditLeadTime")->setText(QString::number(lead));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    };
}

#endif // COMMANDSTAGE_H
