#ifndef WINDOWSCENE_H
#define WINDOWSCENE_H

#include "helper/itemhelper.h"
#include "mainwindow.h"
#include "support/boxrecorder.h"
#include "support/snipescene.h"
#include "support/watchlisttable.h"

#include <QtTest>
#include <memory>

// A signed-in user's main window over the local eBay double and a fresh
// store, its first load and reload done, every message box recorded. The
// watched numbers are offered by eBay and stored before the window is built.
class WindowScene
{
public:
    explicit WindowScene(const QStringList& watched = QStringList())
    {
        if (!snipes.isReady())
            return;
        snipes.signIn(QStringLiteral("bob"), QStringLiteral("ebay.co.uk"));
        for (const QString& number : watched) {
            offer(number);
            TestStore::addItem(snipes.userId(), number, snipes.ebay().auction(number).endTime);
        }
        window = std::make_unique<MainWindow>();
        ready = settle() && boxes.count() == 0;
        snipes.ebay().clearLog();
    }

    // An auction ending in an hour ("Chinese" is eBay's word for an auction).
    void offer(const QString& number, const QString& listingType = QStringLiteral("Chinese"))
    {
        EbayDouble::Auction auction = snipes.auction(number, 3600 * 1000);
        auction.listingType = listingType;
        snipes.ebay().addAuction(auction);
    }

    // Waits until the window has no request of its own outstanding.
    bool settle() { return WatchListTable::settle(*window); }

    QStringList storedNumbers() const
    {
        QStringList numbers;
        for (const QVariant& number :
             TestStore::column(QStringLiteral("SELECT item_number FROM items ORDER BY 1")))
            numbers << number.toString();
        return numbers;
    }

    // The table's item numbers, in number order.
    QStringList tableNumbers() const
    {
        QStringList numbers = WatchListTable::itemNumbers(*window);
        numbers.sort();
        return numbers;
    }

    SnipeScene snipes;
    BoxRecorder boxes;
    std::unique_ptr<MainWindow> window;
    bool ready = false;
};

#endif // WINDOWSCENE_H
