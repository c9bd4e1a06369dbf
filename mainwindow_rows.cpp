// One watch-list row: its cells, what each keeps to sort by, and the
// renderers that update a single cell.
#include "mainwindow.h"

#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "myqwebview.h"
#include "rowwidgets.h"
#include "snipestore.h"
#include "timetext.h"
#include "userrolesorttablewidgetitem.h"
#include "watchlistcells.h"

#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <QUrl>

namespace {

QTableWidgetItem* sortItem(const QVariant& kept, const QString& text = QString())
{
    auto* item = new UserRoleSortTableWidgetItem(text);
    item->setData(Qt::UserRole, kept);
    return item;
}

void keepLabel(QTableWidgetItem* item, const QString& richText, const QFont& font)
{
    item->setData(RowWidgets::LabelRole, richText);
    item->setData(RowWidgets::WidthRole, RowWidgets::textWidth(richText, font));
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

    // The labels and the group combo come with the row's first showing
    // (RowWidgets): the items keep what they show.
    auto* nameItem = sortItem(name);
    const QString link =
        QStringLiteral("http://") +
        HostConfig::authority(HostConfig::ItemPage, kApp->country().value("domain").toString()) +
        QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=") + itemNumber;
    keepLabel(nameItem, WatchListCells::itemLinkLabel(link, name), table->font());

    auto* currentBidItem = sortItem(currentBid);
    keepLabel(currentBidItem, WatchListCells::currentBidLabel(currency, currentBid, bidCount),
              table->font());

    auto* shippingItem = new UserRoleSortTableWidgetItem();
    setShippingItem(shippingItem, currency, shipping);

    auto* userBidItem = sortItem(userBid);
    keepLabel(userBidItem,
              WatchListCells::userBidLabel(id, currency, userBid, nextBid, bidStatus, leadTime),
              table->font());

    auto* timeLeftItem = sortItem(endTime);
    auto* sellerItem = sortItem(seller, seller + QStringLiteral(" - ") + sellerScore);
    auto* groupItem = sortItem(groupId);

    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, StatusColumn, statusItem);
    table->setItem(row, ItemNumberColumn, numberItem);
    table->setItem(row, ItemNameColumn, nameItem);
    table->setItem(row, CurrentBidColumn, currentBidItem);
    table->setItem(row, ShippingColumn, shippingItem);
    table->setItem(row, MyBidColumn, userBidItem);
    table->setItem(row, GroupColumn, groupItem);
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

void MainWindow::refreshItemRow(int id)
{
    QTableWidget* table = tableWidget();
    int row = -1;
    for (int r = 0; r < table->rowCount() && row < 0; ++r) {
        const QTableWidgetItem* number = table->item(r, ItemNumberColumn);
        if (number && number->data(Qt::UserRole).toInt() == id)
            row = r;
    }
    if (row < 0)
        return;
    // Deleted by a command the file has yet to take.
    if (SnipeStore::instance()->pendingDeletes().contains(id)) {
        table->removeRow(row);
        return;
    }
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), id);
    {
        // Shown at the next change or refill when the file is held now.
        const DbHelper::ShortWait shortWait;
        if (!DbHelper::getItem(record))
            return;
    }
    SnipeStore::instance()->overlay(record);
    // Taken before any change: with sorting on, a new status moves the row.
    QTableWidgetItem* statusItem = table->item(row, StatusColumn);
    QTableWidgetItem* userBidItem = table->item(row, MyBidColumn);
    auto* userBidLabel = qobject_cast<QLabel*>(table->cellWidget(row, MyBidColumn));
    const auto value = [&record](const char* column) { return record.value(column); };
    const int bidStatus = value("bid_status").toInt();
    if (statusItem)
        setStatusItem(statusItem, bidStatus, value("user_relation").toString(),
                      TimeText::parse(value("end_time").toString()), value("is_reserve").toBool(),
                      value("is_reserve_met").toBool());
    if (!userBidItem)
        return;
    const double userBid = value("user_bid").toDouble();
    const QString label = WatchListCells::userBidLabel(id, value("currency").toString(), userBid,
                                                       value("next_bid").toDouble(), bidStatus,
                                                       value("lead_time").toInt());
    userBidItem->setData(Qt::UserRole, userBid);
    keepLabel(userBidItem, label, table->font());
    if (userBidLabel)
        userBidLabel->setText(label);
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
    QTableWidget* table = tableWidget();
    if (!table->findChild<RowWidgets*>(QString(), Qt::FindDirectChildrenOnly)) {
        auto* rowWidgets = new RowWidgets(table);
        connect(rowWidgets, &RowWidgets::itemLinkActivated, this, &MainWindow::itemLinkClicked);
        connect(rowWidgets, &RowWidgets::userBidLinkActivated, this,
                &MainWindow::userBidLinkClicked);
    }
    table->setSortingEnabled(false);
}

void MainWindow::endAppendingRows()
{
    QTableWidget* table = tableWidget();
    table->setSortingEnabled(true);
    if (auto* rowWidgets = table->findChild<RowWidgets*>(QString(), Qt::FindDirectChildrenOnly)) {
        rowWidgets->fitLabelColumns();
        rowWidgets->fillVisibleRows();
    }
}
