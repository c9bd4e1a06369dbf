// One watch-list row: its cells, what each keeps to sort by, and the
// renderers that update a single cell.
#include "mainwindow.h"

#include "clockmanager.h"
#include "groupcombobox.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "myqwebview.h"
#include "userrolesorttablewidgetitem.h"
#include "watchlistcells.h"

#include <QLabel>
#include <QTableWidget>
#include <QUrl>

namespace {

QLabel* richLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::RichText);
    return label;
}

QTableWidgetItem* sortItem(const QVariant& kept, const QString& text = QString())
{
    auto* item = new UserRoleSortTableWidgetItem(text);
    item->setData(Qt::UserRole, kept);
    return item;
}

} // namespace

void MainWindow::appendItem(int id, QString itemNumber, QString name, int bidCount,
                            QString currency, double currentBid, double nextBid, QDateTime endTime,
                            QString userRelation, int bidStatus, bool isReserve, bool isReserveMet,
                            double shipping, QString seller, QString sellerScore, double userBid,
                            int leadTime, int groupId)
{
    QTableWidget* table = tableWidget();
    // A caller that did not switch sorting off (or whose switch a refill in a
    // nested event loop undid) still gets a row whose cells stay together.
    const bool sorting = table->isSortingEnabled();
    if (sorting)
        beginAppendingRows();

    auto* statusItem = new QTableWidgetItem();
    setStatusItem(statusItem, bidStatus, userRelation, endTime, isReserve, isReserveMet);

    auto* numberItem = new QTableWidgetItem(itemNumber);
    numberItem->setData(Qt::UserRole, id);

    auto* nameItem = sortItem(name);
    const QString link =
        QStringLiteral("http://") +
        HostConfig::authority(HostConfig::ItemPage, kApp->country().value("domain").toString()) +
        QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=") + itemNumber;
    QLabel* nameLabel = richLabel(WatchListCells::itemLinkLabel(link, name));
    connect(nameLabel, &QLabel::linkActivated, this, &MainWindow::itemLinkClicked);

    auto* currentBidItem = sortItem(currentBid);
    QLabel* currentBidLabel =
        richLabel(WatchListCells::currentBidLabel(currency, currentBid, bidCount));

    auto* shippingItem = new UserRoleSortTableWidgetItem();
    setShippingItem(shippingItem, currency, shipping);

    auto* userBidItem = sortItem(userBid);
    auto* userBidLabel = new QLabel();
    setLabelUserBidItem(userBidLabel, id, currency, userBid, nextBid, bidStatus, leadTime);

    auto* timeLeftItem = sortItem(endTime);
    auto* sellerItem = sortItem(seller, seller + QStringLiteral(" - ") + sellerScore);
    auto* groupItem = sortItem(groupId);
    auto* groupCombo = new GroupComboBox(id, kApp->loginUser().value("id").toInt(), groupId, this);

    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, StatusColumn, statusItem);
    table->setItem(row, ItemNumberColumn, numberItem);
    table->setItem(row, ItemNameColumn, nameItem);
    table->setCellWidget(row, ItemNameColumn, nameLabel);
    table->setItem(row, CurrentBidColumn, currentBidItem);
    table->setCellWidget(row, CurrentBidColumn, currentBidLabel);
    table->setItem(row, ShippingColumn, shippingItem);
    table->setItem(row, MyBidColumn, userBidItem);
    table->setCellWidget(row, MyBidColumn, userBidLabel);
    table->setItem(row, GroupColumn, groupItem);
    table->setCellWidget(row, GroupColumn, groupCombo);
    table->setItem(row, TimeLeftColumn, timeLeftItem);
    table->setItem(row, SellerColumn, sellerItem);
    setTimeLeftText(timeLeftItem);

    if (sorting)
        endAppendingRows();
}

void MainWindow::setStatusItem(QTableWidgetItem* item, int bidStatus, QString relation,
                               QDateTime endTime, bool isReserve, bool isReserveMet)
{
    const bool ended = endTime < ClockManager::instance()->getClockTime();
    item->setText(WatchListCells::statusText(bidStatus, relation, ended, isReserve, isReserveMet));
    item->setData(Qt::UserRole,
                  WatchListCells::statusKey(bidStatus, relation, isReserve, isReserveMet));
}

void MainWindow::setShippingItem(QTableWidgetItem* item, QString currency, double shipping)
{
    item->setText(WatchListCells::shippingText(currency, shipping));
    item->setData(Qt::UserRole, shipping);
}

void MainWindow::setLabelUserBidItem(QLabel* label, int id, QString currency, double userBid,
                                     double nextBid, int bidStatus, int leadTime)
{
    label->setText(
        WatchListCells::userBidLabel(id, currency, userBid, nextBid, bidStatus, leadTime));
    label->setTextFormat(Qt::RichText);
    connect(label, &QLabel::linkActivated, this, &MainWindow::userBidLinkClicked,
            Qt::UniqueConnection);
}

void MainWindow::setTimeLeftText(QTableWidgetItem* item)
{
    WatchListCells::renderTimeLeft(item, ClockManager::instance()->getClockTime());
}

int MainWindow::findItemRow(QString itemNumber)
{
    QTableWidget* table = tableWidget();
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* item = table->item(row, ItemNumberColumn);
        if (item && item->text().compare(itemNumber, Qt::CaseInsensitive) == 0)
            return row;
    }
    return -1;
}

int MainWindow::selectedItemStatus()
{
    return statusCombo->currentData().toInt();
}

void MainWindow::itemLinkClicked(const QString& link)
{
    webView->setUrl(QUrl(link));
}

void MainWindow::beginAppendingRows()
{
    tableWidget()->setSortingEnabled(false);
}

void MainWindow::endAppendingRows()
{
    tableWidget()->setSortingEnabled(true);
}
