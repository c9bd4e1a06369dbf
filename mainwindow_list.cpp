// The table shows the store: a refill reads it, a reload asks eBay for fresh
// data of the rows shown and stores it first, and the clock's tick keeps the
// time left running and the periodic reload coming.
#include "mainwindow.h"

#include "bidengine.h"
#include "bidlog.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "rowwidgets.h"
#include "smtp/mailhelper.h"
#include "snipestore.h"
#include "timetext.h"
#include "watchlistcells.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QtDebug>

namespace {

QString money(double value)
{
    return QString::number(value, 'f', 2);
}

// The mail (only when the user asked for it) returns at once; the tray
// message is shown either way.
void warnOfLowBid(MainWindow& window, const QSqlRecord& user, const ItemTO& item, double userBid)
{
    if (user.value("outbid_notification").toBool()) {
        const QString body = QCoreApplication::translate(
            "MainWindow",
            "Hi %1,\r\n\r\nYour scheduled bid is lower than the current bid! You need to raise "
            "your bid if you want to win the item.\r\n\r\nItem Number:\t%2\r\nItem "
            "Name:\t%3\r\nNext Bid:\t%4\r\nYour Bid:\t%5\r\n\r\nRegards,\r\n");
        const QStringList values{user.value("username").toString(), item.itemNumber(), item.name(),
                                 money(item.nextBid()), money(userBid)};
        MailHelper::send(HostConfig::smtpRelay().account,
                         QStringLiteral("Kestrova Bid Notification"),
                         user.value("email").toString(),
                         QStringLiteral("Kestrova low scheduled bid: ") + item.name(),
                         MailHelper::fill(body, values) + HostConfig::makerDomain(), false);
    }
    window.showSysTrayMessage(QStringLiteral("Low scheduled bid on item ") + item.itemNumber(),
                              QStringLiteral("Your scheduled bid is lower than the current bid! "
                                             "You need to raise your bid.\r\nItem Name: ") +
                                  item.name(),
                              QSystemTrayIcon::Warning, 10000);
}

} // namespace

void MainWindow::loadItemsFromDb()
{
    qDebug() << "load items from db";
    QTableWidget* table = tableWidget();
    beginAppendingRows();
    table->clearContents();
    table->setRowCount(0);
    // The price and My Bid labels hold two lines: rows tall enough for them.
    QLabel twoLineLabel(QStringLiteral("0<br/>0"));
    twoLineLabel.setFont(table->font());
    const int twoLines = twoLineLabel.sizeHint().height() + 2 * table->frameWidth();
    if (table->verticalHeader()->defaultSectionSize() < twoLines)
        table->verticalHeader()->setDefaultSectionSize(twoLines);

    QSqlQuery query;
    query.setForwardOnly(true);
    bool read = DbHelper::getItems(query, ClockManager::instance()->getClockTime(),
                                   kApp->loginUser().value("id").toInt(), selectedGroup(),
                                   selectedItemStatus());
    const QSqlRecord columns = query.record();
    const auto at = [&columns](const char* name) { return columns.indexOf(name); };
    const int id = at("id"), number = at("item_number"), name = at("name"),
              bidCount = at("bid_count"), currency = at("currency"), currentBid = at("current_bid"),
              nextBid = at("next_bid"), endTime = at("end_time"), relation = at("user_relation"),
              bidStatus = at("bid_status"), reserve = at("is_reserve"),
              reserveMet = at("is_reserve_met"), shipping = at("shipping"), seller = at("seller"),
              sellerScore = at("seller_score"), userBid = at("user_bid"),
              leadTime = at("lead_time"), groupId = at("group_id");
    // Rows whose writes wait for the file show what they will hold: the
    // snipe's progress, and what a reload read from eBay.
    const QHash<int, QVariantMap> kept = SnipeStore::instance()->pendingRows();
    // Deleted by a command the file has yet to take.
    const QSet<int> deleted = SnipeStore::instance()->pendingDeletes();
    QSqlRecord row;
    while (query.next()) {
        if (deleted.contains(query.value(id).toInt()))
            continue;
        const auto waiting = kept.constFind(query.value(id).toInt());
        const bool overlaid = waiting != kept.cend();
        if (overlaid) {
            row = query.record();
            for (auto column = waiting->cbegin(); column != waiting->cend(); ++column)
                row.setValue(column.key(), column.value());
        }
        const auto value = [&](int index) {
            return overlaid ? row.value(index) : query.value(index);
        };
        const QVariant storedShipping = value(shipping);
        appendItem(value(id).toInt(), value(number).toString(), value(name).toString(),
                   value(bidCount).toInt(), value(currency).toString(),
                   value(currentBid).toDouble(), value(nextBid).toDouble(),
                   TimeText::parse(value(endTime).toString()), value(relation).toString(),
                   value(bidStatus).toInt(), value(reserve).toBool(), value(reserveMet).toBool(),
                   storedShipping.isNull() ? -1.0 : storedShipping.toDouble(),
                   value(seller).toString(), value(sellerScore).toString(),
                   value(userBid).toDouble(), value(leadTime).toInt(), value(groupId).toInt());
    }
    // An empty list from a store that cannot be read would look like a
    // watch list that lost its items.
    if (!read || !DbHelper::readToTheEnd(query))
        storeUnreadable();
    else if (!bidEngine || !bidEngine->isUnreadable())
        unreadableShown = false;
    query.finish();

    // Widths follow what the rows in view show, their labels included.
    table->findChild<RowWidgets*>(QString(), Qt::FindDirectChildrenOnly)->fillVisibleRows();
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);
    endAppendingRows();
    qDebug() << "items loaded from db";
}

void MainWindow::reload()
{
    qDebug() << "reload started";
    QTableWidget* table = tableWidget();
    QStringList numbers;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (const QTableWidgetItem* item = table->item(row, ItemNumberColumn))
            numbers << item->text();
    }
    qDebug().noquote() << QString::number(numbers.size()) + QStringLiteral(" items in watch list");

    auto* helper = new ItemHelper(this);
    connect(helper, &ItemHelper::getItemsFinished, this, &MainWindow::reloadFinished);
    helper->getItems(numbers.join(QLatin1Char(',')));
}

void MainWindow::reloadFinished(bool ok)
{
    qDebug() << "reload finished";
    auto* helper = qobject_cast<ItemHelper*>(sender());
    if (!helper)
        return;
    QHash<QString, ItemTO*>* items = helper->fetchedItems;
    helper->deleteLater();
    // The item client has told the user what failed; the list stays as it was.
    if (!ok || !items)
        return;

    qDebug() << "update db";
    saveItemTOHash(items);
    loadItemsFromDb();
    qDebug() << "start update relations";
    // This reload's look-ups take the place of those an earlier one left
    // waiting: they ask the same of the rows as they are now.
    lookUps->dropWaiting();
    QTableWidget* table = tableWidget();
    for (int row = 0; row < table->rowCount(); ++row) {
        if (const QTableWidgetItem* item = table->item(row, ItemNumberColumn)) {
            getShipping(row, item->text());
            updateItemRelation(row, item->text());
        }
    }
}

void MainWindow::saveItemTOHash(QHash<QString, ItemTO*>* items)
{
    const QSqlRecord user = kApp->loginUser();
    SnipeStore* const keeper = SnipeStore::instance();
    // The rows as they will be: eBay's news is measured against what an
    // earlier reload read, also when the file has yet to take it.
    const QHash<int, QVariantMap> kept = keeper->pendingRows();
    QList<QPair<const ItemTO*, double>> lowBids; // fetched item, stored user bid
    QList<SnipeStore::ItemData> rows;
    bool scheduledEndMoved = false;
    {
        // Read in one go: one look at the file for the whole list.
        const DbHelper::ShortWait shortWait;
        QSqlDatabase store = QSqlDatabase::database();
        const bool reading = store.transaction();
        // Asking the store for the table's columns costs more than a row.
        const QSqlRecord emptyRow = DbHelper::emptyRecord(QStringLiteral("items"));
        for (auto it = items->cbegin(); it != items->cend(); ++it) {
            const ItemTO* fetched = it.value();
            QSqlRecord record = emptyRow;
            record.setValue(QStringLiteral("item_number"), fetched->itemNumber());
            record.setValue(QStringLiteral("user_id"), user.value("id"));
            if (!DbHelper::getItem(record))
                continue;
            const int id = record.value(QStringLiteral("id")).toInt();
            const QVariantMap waiting = kept.value(id);
            for (auto column = waiting.cbegin(); column != waiting.cend(); ++column)
                record.setValue(column.key(), column.value());

            // Due once, when the minimum next bid first passes the user's
            // bid; again only after the stored next bid has come back to or
            // below it. Only for a snipe still to come: a placed or failed one
            // is past raising.
            const bool scheduled =
                record.value(QStringLiteral("bid_status")).toInt() == BidStatus::Scheduled;
            const double userBid = record.value(QStringLiteral("user_bid")).toDouble();
            if (scheduled && userBid > 0 &&
                record.value(QStringLiteral("next_bid")).toDouble() <= userBid &&
                fetched->nextBid() > userBid && !fetched->isEnded()) {
                lowBids << qMakePair(fetched, userBid);
            }
            const QString endTime = TimeText::format(fetched->endTime());
            scheduledEndMoved =
                scheduledEndMoved ||
                (scheduled && record.value(QStringLiteral("end_time")).toString() != endTime);
            // eBay's data alone: the rest of the row is the user's and the
            // engine's, whose writes may wait for the file.
            rows << SnipeStore::ItemData{
                id,
                fetched->itemNumber(),
                {{QStringLiteral("name"), fetched->name()},
                 {QStringLiteral("is_ended"), fetched->isEnded()},
                 {QStringLiteral("bid_count"), fetched->bidCount()},
                 {QStringLiteral("current_bid"), fetched->currentBid()},
                 {QStringLiteral("next_bid"), fetched->nextBid()},
                 {QStringLiteral("currency"), fetched->currency()},
                 {QStringLiteral("end_time"), endTime},
                 {QStringLiteral("is_reserve"), fetched->isReserve()},
                 {QStringLiteral("is_reserve_met"), fetched->isReserveMet()},
                 {QStringLiteral("seller"), fetched->seller()},
                 {QStringLiteral("seller_score"), fetched->sellerScore()}}};
        }
        if (reading)
            store.commit();
    }
    // A file another program holds keeps it, as the snipes' writes, until
    // it takes it; the status bar says so, where a box at every refresh
    // would stand in front of every command.
    keeper->writeItemData(rows);
    // The engine reads its snipes only every few minutes: an end that came
    // earlier would be bid after it. It reads them as they will be, so also
    // when the file has yet to take the new end.
    if (scheduledEndMoved && bidEngine)
        bidEngine->loadBiddingItems();

    for (const auto& lowBid : qAsConst(lowBids))
        warnOfLowBid(*this, user, *lowBid.first, lowBid.second);
}

void MainWindow::getShipping(int, QString itemNumber)
{
    lookUps->enqueue(LookUpQueue::Shipping, itemNumber);
}

ItemHelper* MainWindow::sendLookUp(LookUpQueue::Kind kind, const QString& itemNumber)
{
    auto* helper = new ItemHelper(this);
    helper->setItemNumber(itemNumber);
    if (kind == LookUpQueue::Shipping) {
        connect(helper, &ItemHelper::getShippingFinished, this, &MainWindow::getShippingFinished);
        helper->getShipping(itemNumber);
    } else {
        connect(helper, &ItemHelper::getUserItemRelationFinished, this,
                &MainWindow::relationFinished);
        helper->getUserItemRelation(itemNumber);
    }
    return helper;
}

void MainWindow::getShippingFinished(bool, double shipping)
{
    // The amount alone decides: a failed or unreadable look-up gives -1.0,
    // which shows as unknown.
    auto* helper = qobject_cast<ItemHelper*>(sender());
    if (!helper)
        return;
    helper->deleteLater();
    // Signing in again: the row found by number may soon be another account's.
    if (!kApp->isSignedIn())
        return;
    QTableWidget* table = tableWidget();
    const int row = findItemRow(helper->itemNumber());
    if (row < 0)
        return;
    const QTableWidgetItem* numberItem = table->item(row, ItemNumberColumn);
    const int id = numberItem ? numberItem->data(Qt::UserRole).toInt() : 0;
    if (id == 0)
        return;
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), id);
    if (!DbHelper::getItem(record))
        return;
    if (QTableWidgetItem* shippingItem = table->item(row, ShippingColumn))
        setShippingItem(shippingItem, record.value(QStringLiteral("currency")).toString(),
                        shipping);
    // Waits briefly: refused, the row still shows the cost, and the next
    // reload asks again.
    const DbHelper::ShortWait shortWait;
    DbHelper::setItemColumns(id,
                             {{QStringLiteral("shipping"),
                               shipping >= 0 ? QVariant(shipping) : QVariant(QVariant::Double)}});
}

void MainWindow::updateItemRelation(int, QString itemNumber)
{
    lookUps->enqueue(LookUpQueue::Relation, itemNumber);
}

void MainWindow::relationFinished(bool ok, QString relation)
{
    auto* helper = qobject_cast<ItemHelper*>(sender());
    if (!helper)
        return;
    helper->deleteLater();
    // Signing in again: the cookies and the row found by number may already
    // be different accounts'.
    if (!ok || !kApp->isSignedIn())
        return;
    QTableWidget* table = tableWidget();
    const int row = findItemRow(helper->itemNumber());
    QTableWidgetItem* statusItem = row < 0 ? nullptr : table->item(row, StatusColumn);
    const QTableWidgetItem* timeLeftItem = row < 0 ? nullptr : table->item(row, TimeLeftColumn);
    if (!statusItem || !timeLeftItem)
        return;
    // Read before the status changes: with sorting on, the new status may
    // move the row.
    const QTableWidgetItem* numberItem = table->item(row, ItemNumberColumn);
    const QVariant id = numberItem ? numberItem->data(Qt::UserRole) : QVariant();

    const QDateTime endTime = timeLeftItem->data(Qt::UserRole).toDateTime();
    const WatchListCells::StatusKey key =
        WatchListCells::parseStatusKey(statusItem->data(Qt::UserRole).toString());
    if (key.bidStatus == BidStatus::Failed && id.isValid() &&
        endTime < ClockManager::instance()->getClockTime()) {
        // Not while the engine's writes of the row wait for the file: stored
        // after the look-up's, they would undo it, and until then the row is
        // what they hold, a failure, not won. The next reload's look-up
        // comes back to it. A bid whose outcome the engine has yet to settle
        // (the group's count, the notice) is the engine's.
        if (SnipeStore::instance()->hasPending(id.toInt()) ||
            BidLog::instance()->awaitsOutcome(id.toInt()) || storeTakenBid(id.toInt(), relation))
            return;
    }
    setStatusItem(statusItem, key.bidStatus, relation, endTime, key.isReserve, key.isReserveMet);
    if (!id.isValid())
        return;
    const DbHelper::ShortWait shortWait;
    DbHelper::setItemColumns(id.toInt(), {{QStringLiteral("user_relation"), relation}});
}

bool MainWindow::storeTakenBid(int id, const QString& relation)
{
    // A snipe whose answer from eBay left it open, ended with the user as the
    // high bidder: its bid was taken. Also for one the program was closed
    // on before it read the standing itself.
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), id);
    {
        const DbHelper::ShortWait shortWait;
        if (!DbHelper::getItem(record))
            return false;
    }
    if (!ItemHelper::wasTakenAfterAll(record.value(QStringLiteral("bid_status")).toInt(),
                                      record.value(QStringLiteral("error_message")).toString(),
                                      relation))
        return false;
    {
        const DbHelper::ShortWait shortWait;
        DbHelper::setItemColumns(id,
                                 {{QStringLiteral("user_relation"), relation},
                                  {QStringLiteral("bid_status"), BidStatus::Placed},
                                  {QStringLiteral("error_message"), QVariant(QVariant::String)}});
    }
    // As stored: refused now, the row still shows what the file holds.
    refreshItemRow(id);
    return true;
}

void MainWindow::onTimer()
{
    const int interval = kApp->loginUser().value("refresh_interval").toInt() * 60000;
    if (interval > 0) {
        refreshElapsedMs += ClockManager::instance()->clockResolution();
        if (refreshElapsedMs >= interval) {
            refreshElapsedMs = 0;
            reload();
        }
    }
    QTableWidget* table = tableWidget();
    const QDateTime now = ClockManager::instance()->getClockTime();
    for (int row = 0; row < table->rowCount(); ++row) {
        if (QTableWidgetItem* item = table->item(row, TimeLeftColumn))
            WatchListCells::renderTimeLeft(item, now);
    }
}
