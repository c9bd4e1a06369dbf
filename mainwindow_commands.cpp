// The window's commands on the selected items (snipe, cancel, delete), log
// out and in again, the failed snipe's "View error" link, the table's
// context menu and the group filter's contents.
#include "mainwindow.h"

#include "bidengine.h"
#include "clockmanager.h"
#include "groupcombobox.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "kestrovaapp.h"
#include "logindialog.h"
#include "messagebox.h"
#include "snipedialog.h"
#include "snipestore.h"
#include "timetext.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <QTableWidget>
#include <QtDebug>
#include <memory>

namespace {

// The row as it will be once the engine's writes that the store has yet to
// take are stored: a verdict, a reason, a group's cancellation.
QSqlRecord storedItem(int id)
{
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    if (id > 0) {
        record.setValue(QStringLiteral("id"), id);
        if (DbHelper::getItem(record))
            SnipeStore::instance()->overlay(record);
    }
    return record;
}

QList<int> idList(const QString& csv)
{
    QList<int> ids;
    for (const QString& id : csv.split(QLatin1Char(','), Qt::SkipEmptyParts))
        ids << id.toInt();
    return ids;
}

bool isStoredItem(const QSqlRecord& record)
{
    const QVariant id = record.value(QStringLiteral("id"));
    return !record.isEmpty() && !id.isNull() && id.toInt() >= 1;
}

bool hasEnded(const QSqlRecord& record)
{
    const QDateTime end = TimeText::parse(record.value(QStringLiteral("end_time")).toString());
    return end.isValid() && end < ClockManager::instance()->getClockTime();
}

int bidStatus(const QSqlRecord& record)
{
    return record.value(QStringLiteral("bid_status")).toInt();
}

// While a snipe dialog was open the engine may have started the snipe,
// finished it, or cancelled it on reaching its group's maximum of wins. A
// save then would put it back to "Scheduled", and it would be bid again.
bool engineHasTakenOver(const QSqlRecord& before, const QSqlRecord& now)
{
    const int status = bidStatus(now);
    return status == BidStatus::Bidding || status != bidStatus(before);
}

} // namespace

// ----- selection -------------------------------------------------------------

int MainWindow::getFirstSelectedRow()
{
    const QModelIndexList rows = tableWidget()->selectionModel()->selectedRows(0);
    return rows.isEmpty() ? -1 : rows.first().row();
}

int MainWindow::getFirstSelectedItemId()
{
    const int row = getFirstSelectedRow();
    if (row < 0)
        return 0;
    const QTableWidgetItem* cell = tableWidget()->item(row, ItemNumberColumn);
    return cell ? cell->data(Qt::UserRole).toInt() : 0;
}

QSqlRecord MainWindow::getFirstSelectedItem()
{
    return storedItem(getFirstSelectedItemId());
}

QString MainWindow::getSelectedItemIdCsv()
{
    QStringList ids;
    const QModelIndexList rows = tableWidget()->selectionModel()->selectedRows(0);
    for (const QModelIndex& index : rows) {
        if (const QTableWidgetItem* cell = tableWidget()->item(index.row(), ItemNumberColumn))
            ids << QString::number(cell->data(Qt::UserRole).toInt());
    }
    return ids.join(QLatin1Char(','));
}

// ----- group filter ------------------------------------------------------------

int MainWindow::selectedGroup()
{
    return groupCombo ? groupCombo->currentData(Qt::UserRole).toInt() : 0;
}

void MainWindow::loadToolbarGroupCombo(int groupId)
{
    // Refilling moves the current entry; the caller reloads the table when
    // it needs to, once.
    const auto indexChanged = QOverload<int>::of(&QComboBox::currentIndexChanged);
    disconnect(groupCombo, indexChanged, this, &MainWindow::loadItemsFromDb);
    groupCombo->clear();
    groupCombo->addItem(QStringLiteral("All"), 0);
    GroupComboBox::addGroups(groupCombo, kApp->loginUser().value(QStringLiteral("id")).toInt());
    groupCombo->setCurrentIndex(qMax(0, groupCombo->findData(groupId, Qt::UserRole)));
    connect(groupCombo, indexChanged, this, &MainWindow::loadItemsFromDb, Qt::UniqueConnection);
}

// ----- commands ------------------------------------------------------------------

void MainWindow::login()
{
    kApp->signOut();
    // The look-ups not yet sent would go out with whatever cookies the
    // sign-in leaves; the list's reload after it asks them all again.
    lookUps->dropWaiting();
    LoginDialog dialog;
    dialog.setAutoLogin(false);
    if (dialog.exec() != QDialog::Accepted) {
        QCoreApplication::quit();
        return;
    }
    // Look-ups sent so far went with the cookies of whoever held them then,
    // and their replies find their rows by item number: the account now
    // signed in may watch the same items. Without its number a reply finds
    // no row and changes nothing; it still ends as every reply does.
    const QList<ItemHelper*> helpers =
        findChildren<ItemHelper*>(QString(), Qt::FindDirectChildrenOnly);
    for (ItemHelper* helper : helpers)
        helper->setItemNumber(QString());
    // The previous account's snipes must not go out under the new one.
    bidEngine->loadBiddingItems();
    loadStartPage();
    loadToolbarGroupCombo(0);
    loadItemsFromDb();
    reload();
}

void MainWindow::snipe()
{
    const QSqlRecord before = getFirstSelectedItem();
    if (!isStoredItem(before)) {
        MessageBox::warning(this, tr("Edit Snipe"), tr("Select an item to snipe."));
        return;
    }
    if (hasEnded(before)) {
        MessageBox::warning(this, tr("Edit Snipe"), tr("Auction has ended for this item."));
        return;
    }
    SnipeDialog dialog(before, this);
    if (dialog.exec() != QDialog::Accepted)
        return;

    // Checked again when the write goes: the dialog ran an event loop, and
    // while the file is held the engine and the reload go on and may write
    // the row. Only the snipe's own columns are the user's.
    const int id = before.value(QStringLiteral("id")).toInt();
    const QVariantMap snipe{{QStringLiteral("user_bid"), dialog.userBid()},
                            {QStringLiteral("lead_time"), dialog.leadTime()},
                            {QStringLiteral("bid_status"), static_cast<int>(BidStatus::Scheduled)},
                            {QStringLiteral("group_id"), dialog.groupId() > 0
                                                             ? QVariant(dialog.groupId())
                                                             : QVariant(QVariant::Int)}};
    enum class Found { Snipeable, Ended, Started };
    auto found = std::make_shared<Found>(Found::Snipeable);
    auto kept = std::make_shared<bool>(false);
    // Judged on the row as it is when the write goes.
    const auto judge = [id, before, found] {
        const QSqlRecord row = storedItem(id);
        if (!isStoredItem(row))
            return false;
        *found = hasEnded(row)                     ? Found::Ended
                 : engineHasTakenOver(before, row) ? Found::Started
                                                   : Found::Snipeable;
        return true;
    };
    SnipeStore::instance()->writeForWindow(
        {id}, this,
        [id, snipe, found, judge] {
            return judge() && (*found != Found::Snipeable || DbHelper::setItemColumns(id, snipe));
        },
        [this, found, kept](bool written) {
            // The engine reads the row first: a box below stands as long as
            // the user leaves it, the snipe may be due before.
            bidEngine->loadBiddingItems();
            loadItemsFromDb();
            if (!written)
                MessageBox::databaseError(this, tr("The snipe could not be saved."));
            else if (*kept && *found == Found::Snipeable)
                MessageBox::warning(
                    this, tr("Edit Snipe"),
                    keptText(tr("The snipe is saved, and its bid goes out as changed.")));
            else if (*found == Found::Ended)
                MessageBox::warning(this, tr("Edit Snipe"), tr("Auction has ended for this item."));
            else if (*found == Found::Started)
                MessageBox::warning(
                    this, tr("Edit Snipe"),
                    tr("The snipe on this item has been started; it was not changed."));
        },
        [id, snipe, found, judge, kept] {
            if (judge() && *found == Found::Snipeable) {
                SnipeStore::instance()->writeItem(id, QString(), snipe);
                *kept = true;
            }
        });
}

QString MainWindow::keptText(const QString& what)
{
    return what + QStringLiteral("\n\n") +
           tr("The data file is held by another program: the change is written to it as soon "
              "as it can be, or at the next start.");
}

void MainWindow::cancel()
{
    // Read before the question: a reload while it is open refills the table
    // and clears the selection.
    const QSqlRecord first = getFirstSelectedItem();
    const QString ids = getSelectedItemIdCsv();
    if (!isStoredItem(first)) {
        MessageBox::warning(this, tr("Cancel Snipe"), tr("Select an item to cancel snipe."));
        return;
    }
    if (!(first.value(QStringLiteral("user_bid")).toDouble() > 0)) {
        MessageBox::warning(this, tr("Cancel Snipe"), tr("Select an item with scheduled snipe."));
        return;
    }
    if (MessageBox::question(
            this, tr("Cancel Snipe"),
            tr("Are you sure you want to cancel your snipe on the selected item(s)?"),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    // Looked at when the write goes, after the question's event loop let
    // the engine go on: a bid on its way to eBay cannot be recalled, and
    // eBay's verdict will be stored over a cancellation. A bid eBay has
    // taken stands at eBay: clearing its row would erase the only record of
    // it. The engine's kept writes of these rows go first: stored after the
    // cancellation, a Bidding mark would bring the snipe back.
    auto sent = std::make_shared<QStringList>();
    auto kept = std::make_shared<bool>(false);
    const auto cancellable = [this, ids, sent] {
        QList<int> cancelled;
        sent->clear();
        for (const int id : idList(ids)) {
            const QSqlRecord row = storedItem(id);
            if (bidEngine->hasSentBid(id) || bidStatus(row) == BidStatus::Placed)
                *sent << row.value(QStringLiteral("item_number")).toString();
            else
                cancelled << id;
        }
        return cancelled;
    };
    SnipeStore::instance()->writeForWindow(
        idList(ids), this,
        [cancellable] {
            QStringList cancelled;
            for (const int id : cancellable())
                cancelled << QString::number(id);
            return DbHelper::cancelItems(cancelled.join(QLatin1Char(',')));
        },
        [this, sent, kept](bool written) {
            bidEngine->loadBiddingItems();
            loadItemsFromDb();
            if (!written)
                MessageBox::databaseError(this, tr("The snipes could not be cancelled."));
            else if (*kept)
                MessageBox::warning(
                    this, tr("Cancel Snipe"),
                    keptText(tr("The snipes are cancelled: no bid goes out for them.")));
            if (written && !sent->isEmpty())
                MessageBox::warning(this, tr("Cancel Snipe"),
                                    tr("The bid on the following item(s) has already been sent "
                                       "to eBay and cannot be cancelled: %1")
                                        .arg(sent->join(QStringLiteral(", "))));
        },
        [cancellable, kept] {
            const QList<int> cancelled = cancellable();
            if (!cancelled.isEmpty()) {
                SnipeStore::instance()->cancelItems(cancelled);
                *kept = true;
            }
        });
}

void MainWindow::remove()
{
    const QString ids = getSelectedItemIdCsv();
    if (ids.isEmpty())
        return;
    if (MessageBox::question(this, tr("Delete Items"),
                             tr("Are you sure you want to delete the selected item(s)?"),
                             QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    // The rows' kept writes go first: stored after the delete they would
    // change nothing; refused, the delete would be refused too.
    auto kept = std::make_shared<bool>(false);
    SnipeStore::instance()->writeForWindow(
        idList(ids), this, [ids] { return DbHelper::deleteItems(ids); },
        [this, kept](bool written) {
            bidEngine->loadBiddingItems();
            loadItemsFromDb();
            if (!written)
                MessageBox::databaseError(this, tr("The items could not be deleted."));
            else if (*kept)
                MessageBox::warning(
                    this, tr("Delete Items"),
                    keptText(tr("The items are deleted: no bid goes out for them.")));
        },
        [ids, kept] {
            SnipeStore::instance()->deleteItems(idList(ids));
            *kept = true;
        });
}

void MainWindow::userBidLinkClicked(const QString& link)
{
    bool ok = false;
    const int id = link.toInt(&ok);
    if (!ok)
        return;
    const QSqlRecord row = storedItem(id);
    if (!isStoredItem(row))
        return;
    MessageBox::information(this, tr("Snipe Failed"),
                            tr("Item:\t%1\nBid:\tFailed\nError:\t%2")
                                .arg(row.value(QStringLiteral("item_number")).toString(),
                                     row.value(QStringLiteral("error_message")).toString()));
}

void MainWindow::tableWidgetContextMenuRequested(QPoint pos)
{
    const QModelIndex index = tableWidget()->indexAt(pos);
    if (index.row() < 0)
        return;
    qDebug() << index;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(snipeAction);
    menu->addAction(cancelSnipeAction);
    menu->addAction(groupAction);
    menu->addSeparator();
    menu->addAction(importAction);
    menu->addAction(deleteAction);
    menu->addSeparator();
    menu->addAction(reloadAction);
    menu->popup(tableWidget()->viewport()->mapToGlobal(pos));
}
