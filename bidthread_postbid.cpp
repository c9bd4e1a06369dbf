// What a snipe does once eBay has answered its bid: store the user's
// relation to the item, send the won or lost notice and keep the bidding
// group's win count.
#include "bidthread.h"

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
        if (!ok) {
            end();
            return;
        }
        if (!isKnownRelation(relation)) {
            // An error, or a word we do not know: neither a win nor a loss,
            // and nothing for the group to count; the user looks on eBay.
            store({{QStringLiteral("user_relation"), QString(UserRelation::Unknown)}});
            showTrayMessage(QStringLiteral("Outcome unknown on item ") + itemNumber(),
                            QStringLiteral("eBay did not say whether you won this item.\r\n"
                                           "Item Name: ") +
                                m_itemRecord.value(QStringLiteral("name")).toString());
            handleGroup(relation);
            end();
            return;
        }
        QVariantMap columns{{QStringLiteral("user_relation"), relation}};
        // A bid whose answer left it open stands as placed when eBay names
        // the user the high bidder: the list then shows no failure beside
        // the win.
        if (ItemHelper::wasTakenAfterAll(
                m_itemRecord.value(QStringLiteral("bid_status")).toInt(),
                m_itemRecord.value(QStringLiteral("error_message")).toString(), relation)) {
            columns.insert(QStringLiteral("bid_status"), BidStatus::Placed);
            columns.insert(QStringLiteral("error_message"), QVariant(QVariant::String));
        }
        store(columns);
        // The high bidder of an auction whose reserve was not met has won
        // nothing, and the stored flags are those of the last reload, before
        // the bid that may have met it: eBay's item data tells.
        if (m_itemRecord.value(QStringLiteral("is_reserve")).toBool()) {
            m_relation = relation;
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
        if (item && item->bidCount() >= 0)
            store({{QStringLiteral("is_reserve"), item->isReserve()},
                   {QStringLiteral("is_reserve_met"), item->isReserveMet()}});
        announceOutcome(m_relation);
    });
}

void BidThread::announceOutcome(const QString& relation)
{
    sendNotification(relation);
    handleGroup(relation);
    end();
}

bool BidThread::isWon(const QString& relation) const
{
    return isHighBidder(relation) &&
           (!m_itemRecord.value(QStringLiteral("is_reserve")).toBool() ||
            m_itemRecord.value(QStringLiteral("is_reserve_met")).toBool());
}

void BidThread::handleGroup(const QString& relation)
{
    const int groupId = m_itemRecord.value(QStringLiteral("group_id")).toInt();
    if (groupId <= 0)
        return;
    QSqlRecord group = DbHelper::emptyRecord(QStringLiteral("groups"));
    group.setValue(QStringLiteral("id"), groupId);
    if (!DbHelper::getGroup(group))
        return;

    QSqlQuery query;
    DbHelper::getItems(query, clockTime(), m_itemRecord.value(QStringLiteral("user_id")).toInt(),
                       groupId, ItemFilter::All);
    // Started snipes count with the scheduled ones: a snipe starts its bid
    // half a minute or more before its end, and one that has not sent its
    // bid yet must not buy what the group no longer wants. One whose bid has
    // left cannot be recalled; its verdict stands.
    SnipeStore* const snipeStore = SnipeStore::instance();
    QList<int> scheduled;
    while (query.next()) {
        const int id = query.value(QStringLiteral("id")).toInt();
        // As the row will be once what the engine could not store yet is.
        const QVariant pending = snipeStore->pendingValue(id, QStringLiteral("bid_status"));
        const int status =
            (pending.isValid() ? pending : query.value(QStringLiteral("bid_status"))).toInt();
        if (status == BidStatus::Scheduled || (status == BidStatus::Bidding && !bidHasLeft(id)))
            scheduled << id;
    }
    query.finish();

    // The count runs while the group still holds snipes to come.
    if (scheduled.isEmpty()) {
        if (!snipeStore->writeGroupCount(groupId, 0))
            storeRefused();
        return;
    }
    if (!isWon(relation))
        return;
    const QVariant pendingCount = snipeStore->pendingGroupCount(groupId);
    int won = (pendingCount.isValid() ? pendingCount : group.value(QStringLiteral("current_won")))
                  .toInt() +
              1;
    if (won >= group.value(QStringLiteral("max_won")).toInt()) {
        won = 0;
        if (!snipeStore->cancelItems(scheduled))
            storeRefused();
        showTrayMessage(QStringLiteral("Remaining bids in group ") +
                            group.value(QStringLiteral("name")).toString() +
                            QStringLiteral(" are cancelled"),
                        QStringLiteral("Since you have won maximum auctions in the bidding group, "
                                       "the remaining scheduled bids have been cancelled."));
    }
    // The count alone: the group's other columns belong to the group editor.
    if (!snipeStore->writeGroupCount(groupId, won))
        storeRefused();
}

bool BidThread::bidHasLeft(int itemId) const
{
    if (!parent())
        return false;
    const QList<BidThread*> snipes =
        parent()->findChildren<BidThread*>(QString(), Qt::FindDirectChildrenOnly);
    for (const BidThread* snipe : snipes) {
        if (snipe->m_itemId == itemId && snipe->m_stage == Stage::Step2Sent)
            return true;
    }
    return false;
}

void BidThread::sendNotification(const QString& relation)
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
        MailHelper::send(HostConfig::smtpRelay().account,
                         QStringLiteral("Kestrova Bid Notification"), m_userEmail, subject,
                         MailHelper::fill(body, values) + HostConfig::makerDomain(), false);
    }
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
