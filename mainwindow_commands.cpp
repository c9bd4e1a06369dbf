// The window's commands on the selected items (snipe, cancel, delete), log
// out and in again, the failed snipe's "View error" link, the table's
// context menu and the group filter's contents.
#include "mainwindow.h"

#include "bidengine.h"
#include "clockmanager.h"
#include "groupcombobox.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "logindialog.h"
#include "messagebox.h"
#include "snipedialog.h"
#include "timetext.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QMenu>
#include <QTableWidget>
#include <QtDebug>

namespace {

QSqlRecord storedItem(int id)
{
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    if (id > 0) {
        record.setValue(QStringLiteral("id"), id);
        DbHelper::getItem(record);
    }
    return record;
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

// While a snipe dialog was open the engine may have started the snipe, or
// finished it. A save then would put a snipe that is under way, or placed,
// back to "Scheduled", and it would be bid again.
bool engineHasTakenOver(const QSqlRecord& before, const QSqlRecord& now)
{
    const int status = bidStatus(now);
    if (status == BidStatus::Bidding)
        return true;
    return status != bidStatus(before) &&
           (status == BidStatus::Placed || status == BidStatus::Failed);
}

void showDatabaseError(QWidget* parent, const QString& what)
{
    MessageBox::warning(parent, MainWindow::tr("Database Error"),
                        what + QStringLiteral("\n\n") + DbHelper::lastError());
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
    LoginDialog dialog;
    dialog.setAutoLogin(false);
    if (dialog.exec() != QDialog::Accepted) {
        QCoreApplication::quit();
        return;
    }
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

    // The dialog ran an event loop: the engine and the reload may have
    // written the row meanwhile. Only the snipe's own columns are the user's.
    QSqlRecord row = storedItem(before.value(QStringLiteral("id")).toInt());
    if (!isStoredItem(row)) {
        loadItemsFromDb();
        return;
    }
    if (hasEnded(row)) {
        MessageBox::warning(this, tr("Edit Snipe"), tr("Auction has ended for this item."));
        loadItemsFromDb();
        return;
    }
    if (engineHasTakenOver(before, row)) {
        MessageBox::warning(this, tr("Edit Snipe"),
                            tr("The snipe on this item has been started; it was not changed."));
        loadItemsFromDb();
        return;
    }
    row.setValue(QStringLiteral("user_bid"), dialog.userBid());
    row.setValue(QStringLiteral("lead_time"), dialog.leadTime());
    row.setValue(QStringLiteral("bid_status"), static_cast<int>(BidStatus::Scheduled));
    row.setValue(QStringLiteral("group_id"),
                 dialog.groupId() > 0 ? QVariant(dialog.groupId()) : QVariant(QVariant::Int));
    if (!DbHelper::setItem(row))
        showDatabaseError(this, tr("The snipe could not be saved."));
    loadItemsFromDb();
    bidEngine->loadBiddingItems();
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
    if (!DbHelper::cancelItems(ids))
        showDatabaseError(this, tr("The snipes could not be cancelled."));
    loadItemsFromDb();
    bidEngine->loadBiddingItems();
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
    if (!DbHelper::deleteItems(ids))
        showDatabaseError(this, tr("The items could not be deleted."));
    loadItemsFromDb();
    bidEngine->loadBiddingItems();
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
