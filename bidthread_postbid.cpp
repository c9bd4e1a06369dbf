// What a snipe does once eBay has answered its bid: store the user's
// relation to the item, send the won or lost notice and keep the bidding
// group's win count.
#include "bidthread.h"

#include "bidlog.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "helper/itemhelper.h"
#include "hostconfig.h"
#include "smtp/mailhelper.h"
#include "snipestore.h"
#include "traymessenger.h"

#include <QSqlQuery>
#include <QStringList>
#include <QtDebug>

namespace {

bool isHighBidder(const QString& relation)
{
    return relation.compare(UserRelation::HighBidder, Qt::CaseInsensitive) == 0;
}

// Whether eBay's answer tells the outcome: won or lost.
bool isKnownRelation(const QString& relation)
{
    return isHighBidder(relation) ||
           relation.compare(UserRelation::OutBidder, Qt::CaseInsensitive) == 0 ||
           relation.compare(UserRelation::None, Qt::CaseInsensitive) == 0;
}

QString amount(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

void BidThread::postBidActions(bool ok, const QString& relation)
{
    guarded("postBidActions", [&] {
        qDebug().noquote() << logPrefix(clockTime()) << "postBidActions()" << ok << relation;
        // A failed look-up has shown its box; the row keeps its bid status.
        // A bid that left is settled by a later try (BidEngine).
        if (!ok) {
            end();
            return;
        }
        // Settled once: by this run or an earlier one, whatever happened in
        // between.
        QSqlRecord row;
        if (readRow(&row)) {
            m_itemRecord = row;
            if (row.value(QStringLiteral("outcome_settled")).toInt() >= OutcomeSettled) {
                tellSettled(row);
                end();
                return;
            }
        }
        if (!isKnownRelation(relation)) {
            // An error, or a word we do not know: neither a win nor a loss,
            // and nothing for the group to count; the user looks on eBay.
            showTrayMessage(QStringLiteral("Outcome unknown on item ") + itemNumber(),
                            QStringLiteral("eBay did not say whether you won this item.\r\n"
                                           "Item Name: ") +
                                m_itemRecord.value(QStringLiteral("name")).toString());
            m_relation = QString(UserRelation::Unknown);
            announceOutcome(QString(), {{QStringLiteral("user_relation"), m_relation}});
            return;
        }
        m_relation = relation;
        // The high bidder of an auction whose reserve was not met has won
        // nothing, and the stored flags are those of the last reload, before
        // the bid that may have met it: eBay's item data tells.
        if (m_itemRecord.value(QStringLiteral("is_reserve")).toBool()) {
            m_itemHelper->getItems(itemNumber());
            return;
        }
        announceOutcome(relation);
    });
}

void BidThread::reserveStateRead(bool ok)
{
    guarded("reserveStateRead", [&] {
        const ItemTO* item = ok && m_itemHelper->fetchedItems
                                 ? m_itemHelper->fetchedItems->value(itemNumber())
                                 : nullptr;
        // Unread (a box has said why, or eBay no longer knows the item), the
        // stored flags decide, as the list shows them.
        QVariantMap columns;
        if (item && item->bidCount() >= 0) {
            columns = {{QStringLiteral("is_reserve"), item->isReserve()},
                       {QStringLiteral("is_reserve_met"), item->isReserveMet()}};
            m_itemRecord.setValue(QStringLiteral("is_reserve"), item->isReserve());
            m_itemRecord.setValue(QStringLiteral("is_reserve_met"), item->isReserveMet());
        }
        announceOutcome(m_relation, columns);
    });
}

void BidThread::announceOutcome(const QString& relation, QVariantMap columns)
{
    columns.insert(QStringLiteral("user_relation"), m_relation);
    columns.insert(QStringLiteral("is_ended"), true);
    // A bid whose answer refused it, or left it open, stands as placed when
    // eBay names the user the high bidder: eBay took it after all. Only a
    // bid that left: one eBay's clock ended before its moment was not.
    if (m_bidLeft && isHighBidder(relation) &&
        m_itemRecord.value(QStringLiteral("bid_status")).toInt() == BidStatus::Failed) {
        columns.insert(QStringLiteral("bid_status"), BidStatus::Placed);
        columns.insert(QStringLiteral("error_message"), QVariant(QVariant::String));
    }
    const bool mailed = relation.isEmpty() ? false
                        : isWon(relation)  ? m_wonNotification
                                           : m_lostNotification;
    // Told at once when no mail is to go; otherwise once its exchange ends.
    columns.insert(QStringLiteral("outcome_settled"), mailed ? OutcomeSettled : OutcomeTold);
    const GroupOutcome group = groupOutcome(relation);
    SnipeStore* const snipeStore = SnipeStore::instance();
    // The cancellations go first: a kill before the settlement leaves the
    // group with no snipe to cancel when it is settled again.
    if (!group.cancelled.isEmpty() && !snipeStore->cancelItems(group.cancelled))
        storeRefused();
    for (auto it = columns.cbegin(); it != columns.cend(); ++it)
        m_itemRecord.setValue(it.key(), it.value());
    if (!snipeStore->settle(m_itemId, itemNumber(), columns, group.count >= 0 ? group.groupId : 0,
                            group.count))
        storeRefused();
    // The outcome's balloon first, the group's after it.
    if (relation.isEmpty())
        BidLog::instance()->recordTold(m_itemId);
    else
        sendNotification(relation);
    if (!group.cancelled.isEmpty())
        showGroupCancelled(group.groupName);
    end();
}

void BidThread::tellSettled(const QSqlRecord& row)
{
    // Settled by a run that ended before its notice went out.
    const BidLog::Entry entry = BidLog::instance()->entry(m_itemId);
    if (row.value(QStringLiteral("outcome_settled")).toInt() != OutcomeSettled || entry.told ||
        entry.telling)
        return;
    qDebug().noquote() << itemNumber() << "settled earlier; its notice goes now";
    const QString relation = row.value(QStringLiteral("user_relation")).toString();
    if (isKnownRelation(relation))
        sendNotification(relation, false);
    else
        BidLog::instance()->recordTold(m_itemId);
}

bool BidThread::isWon(const QString& relation) const
{
    return isHighBidder(relation) &&
           (!m_itemRecord.value(QStringLiteral("is_reserve")).toBool() ||
            m_itemRecord.value(QStringLiteral("is_reserve_met")).toBool());
}

BidThread::GroupOutcome BidThread::groupOutcome(const QString& relation)
{
    GroupOutcome outcome;
    const int groupId = m_itemRecord.value(QStringLiteral("group_id")).toInt();
    if (groupId <= 0)
        return outcome;
    QSqlRecord group = DbHelper::emptyRecord(QStringLiteral("groups"));
    group.setValue(QStringLiteral("id"), groupId);
    if (!DbHelper::getGroup(group))
        return outcome;
    outcome.groupId = groupId;
    outcome.groupName = group.value(QStringLiteral("name")).toString();

    QSqlQuery query;
    DbHelper::getItems(query, clockTime(), m_itemRecord.value(QStringLiteral("user_id")).toInt(),
                       groupId, ItemFilter::All);
    // Started snipes count with the scheduled ones: a snipe starts its bid
    // half a minute or more before its end, and one that has not sent its
    // bid yet must not buy what the group no longer wants. One whose bid has
    // left (in this run or an earlier one) cannot be recalled; its verdict
    // stands.
    SnipeStore* const snipeStore = SnipeStore::instance();
    QList<int> scheduled;
    while (query.next()) {
        const int id = query.value(QStringLiteral("id")).toInt();
        if (id == m_itemId)
            continue;
        // As the row will be once what the engine could not store yet is.
        const QVariant pending = snipeStore->pendingValue(id, QStringLiteral("bid_status"));
        const int status =
            (pending.isValid() ? pending : query.value(QStringLiteral("bid_status"))).toInt();
        if (status == BidStatus::Scheduled ||
            (status == BidStatus::Bidding && !BidLog::instance()->latestSent(id)))
            scheduled << id;
    }
    query.finish();

    // The count runs while the group still holds snipes to come.
    if (scheduled.isEmpty()) {
        outcome.count = 0;
        return outcome;
    }
    if (!isWon(relation))
        return outcome;
    const QVariant pendingCount = snipeStore->pendingGroupCount(groupId);
    outcome.count =
        (pendingCount.isValid() ? pendingCount : group.value(QStringLiteral("current_won")))
            .toInt() +
        1;
    if (outcome.count >= group.value(QStringLiteral("max_won")).toInt()) {
        outcome.count = 0;
        outcome.cancelled = scheduled;
    }
    return outcome;
}

void BidThread::handleGroup(const QString& relation)
{
    const GroupOutcome group = groupOutcome(relation);
    SnipeStore* const snipeStore = SnipeStore::instance();
    if (!group.cancelled.isEmpty() && !snipeStore->cancelItems(group.cancelled))
        storeRefused();
    // The count alone: the group's other columns belong to the group editor.
    if (group.count >= 0 && !snipeStore->writeGroupCount(group.groupId, group.count))
        storeRefused();
    if (!group.cancelled.isEmpty())
        showGroupCancelled(group.groupName);
}

void BidThread::showGroupCancelled(const QString& groupName)
{
    showTrayMessage(QStringLiteral("Remaining bids in group ") + groupName +
                        QStringLiteral(" are cancelled"),
                    QStringLiteral("Since you have won maximum auctions in the bidding group, "
                                   "the remaining scheduled bids have been cancelled."));
}

void BidThread::sendNotification(const QString& relation, bool withTray)
{
    const bool won = isWon(relation);
    const QString number = m_itemRecord.value(QStringLiteral("item_number")).toString();
    const QString name = m_itemRecord.value(QStringLiteral("name")).toString();
    if ((won && m_wonNotification) || (!won && m_lostNotification)) {
        // One pass: a title holding "%4" is not filled again.
        QStringList values{m_username, number, name,
                           amount(m_itemRecord.value(QStringLiteral("current_bid")).toDouble())};
        QString subject;
        QString body;
        if (won) {
            subject = QStringLiteral("Kestrova winning bid: ") + name;
            body = tr("Hi %1,\r\n\r\nCongratulations on winning this item!\r\n\r\nItem "
                      "Number:\t%2\r\nItem Name:\t%3\r\nPrice:\t%4\r\n\r\nRegards,\r\n");
        } else {
            values << amount(m_itemRecord.value(QStringLiteral("user_bid")).toDouble());
            subject = QStringLiteral("Kestrova lost bid: ") + name;
            body = tr("Hi %1,\r\n\r\nSorry you didn't win this item!\r\n\r\nItem "
                      "Number:\t%2\r\nItem Name:\t%3\r\nWinning Price:\t%4\r\nYour "
                      "Bid:\t%5\r\n\r\nRegards,\r\n");
        }
        // Told once the exchange has ended, on the mail's own thread: a
        // program killed before then sends the notice again at its next start.
        const int itemId = m_itemId;
        const int generation = BidLog::instance()->generation();
        BidLog::instance()->recordTelling(itemId);
        MailHelper::send(
            HostConfig::smtpRelay().account, QStringLiteral("Kestrova Bid Notification"),
            m_userEmail, subject, MailHelper::fill(body, values) + HostConfig::makerDomain(), false,
            [itemId, generation] { BidLog::instance()->recordTold(itemId, generation); });
    } else {
        BidLog::instance()->recordTold(m_itemId);
    }
    // Shown by the run that settled it; a later one only sends the mail.
    if (!withTray)
        return;
    if (won)
        showTrayMessage(QStringLiteral("Winning bid on item ") + number,
                        QStringLiteral("Congratulations on winning this item!\r\nItem Name: ") +
                            name);
    else
        showTrayMessage(QStringLiteral("Lost bid on item ") + number,
                        QStringLiteral("You didn't win this item!\r\nItem Name: ") + name);
}

void BidThread::showTrayMessage(const QString& title, const QString& msg,
                                QSystemTrayIcon::MessageIcon icon)
{
    if (m_mainWindow)
        m_mainWindow->showSysTrayMessage(title, msg, icon, 10000);
}
