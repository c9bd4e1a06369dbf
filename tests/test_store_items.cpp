#include "helper/dbhelper.h"
#include "helper/itemto.h"
#include "support/testmain.h"
#include "support/teststore.h"
#include "timetext.h"

#include <QSqlRecord>
#include <algorithm>

namespace {

// 02:30 on the day New York skips from 02:00 to 03:00: read as local time
// this text names no moment at all.
const QDateTime InGap(QDate(2026, 3, 8), QTime(2, 30, 0), Qt::UTC);

QSqlRecord itemRecord(int id)
{
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), id);
    return record;
}

QSqlRecord loadItem(int id)
{
    QSqlRecord record = itemRecord(id);
    if (!DbHelper::getItem(record))
        return QSqlRecord();
    return record;
}

// The item numbers a query lists, sorted.
QStringList itemNumbers(QSqlQuery& query)
{
    QStringList numbers;
    while (query.next())
        numbers << query.value(QStringLiteral("item_number")).toString();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

QStringList listed(const QDateTime& now, int userId, int groupId, int filter)
{
    QSqlQuery query;
    if (!DbHelper::getItems(query, now, userId, groupId, filter))
        return {QStringLiteral("statement failed")};
    return itemNumbers(query);
}

QStringList sorted(QStringList list)
{
    std::sort(list.begin(), list.end());
    return list;
}

QList<QVariantMap> allItems()
{
    return TestStore::rows(QStringLiteral("SELECT * FROM items ORDER BY id"));
}

} // namespace

class TestStoreItems : public QObject
{
    Q_OBJECT

private slots:
    void addedItemKeepsItsTextsTimesAndNulls()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const int user = TestStore::addUser(QStringLiteral("ann"));

        // Copied from a new item record, as the window does for a fetched item.
        ItemTO item;
        item.setItemNumber(QStringLiteral("110"));
        item.setUserId(user);
        item.setUserRelation(QStringLiteral("NONE"));
        item.setEndTime(InGap);
        item.setCurrentBid(12.5);
        QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
        record.setValue(QStringLiteral("item_number"), item.itemNumber());
        record.setValue(QStringLiteral("name"), item.name());
        record.setValue(QStringLiteral("user_id"), item.userId());
        record.setValue(QStringLiteral("user_relation"), item.userRelation());
        record.setValue(QStringLiteral("is_ended"), item.isEnded());
        record.setValue(QStringLiteral("bid_count"), item.bidCount());
        record.setValue(QStringLiteral("current_bid"), item.currentBid());
        record.setValue(QStringLiteral("next_bid"), item.nextBid());
        record.setValue(QStringLiteral("currency"), item.currency());
        record.setValue(QStringLiteral("end_time"), item.endTime());
        record.setValue(QStringLiteral("is_reserve"), item.isReserve());
        record.setValue(QStringLiteral("is_reserve_met"), item.isReserveMet());
        record.setValue(QStringLiteral("seller"), item.seller());
        record.setValue(QStringLiteral("seller_score"), item.sellerScore());
        QVERIFY(DbHelper::addItem(record));

        const QList<QVariantMap> rows = allItems();
        QCOMPARE(rows.size(), 1);
        const QVariantMap& row = rows.first();
        QCOMPARE(row.value(QStringLiteral("name")).toString(), QStringLiteral(""));
        QVERIFY(!row.value(QStringLiteral("name")).isNull());
        QVERIFY(!row.value(QStringLiteral("currency")).isNull());
        QVERIFY(row.value(QStringLiteral("seller")).isNull());
        QVERIFY(row.value(QStringLiteral("seller_score")).isNull());
        QCOMPARE(row.value(QStringLiteral("end_time")).toString(),
                 QStringLiteral("2026-03-08T02:30:00"));
        QCOMPARE(row.value(QStringLiteral("is_ended")).toInt(), 0);
        QCOMPARE(row.value(QStringLiteral("current_bid")).toDouble(), 12.5);
        // Not written on adding: no snipe, no group.
        QVERIFY(row.value(QStringLiteral("bid_status")).isNull());
        QVERIFY(row.value(QStringLiteral("group_id")).isNull());

        // Lookups by natural key, then by id; times come back as the same moment.
        QSqlRecord byKey = DbHelper::emptyRecord(QStringLiteral("items"));
        byKey.setValue(QStringLiteral("item_number"), QStringLiteral("110"));
        byKey.setValue(QStringLiteral("user_id"), user);
        QVERIFY(DbHelper::getItem(byKey));
        const int id = byKey.value(QStringLiteral("id")).toInt();
        QCOMPARE(id, row.value(QStringLiteral("id")).toInt());
        QCOMPARE(TimeText::parse(byKey.value(QStringLiteral("end_time")).toString()), InGap);
        QCOMPARE(loadItem(id).value(QStringLiteral("item_number")).toString(),
                 QStringLiteral("110"));
        QVERIFY(loadItem(id + 1).isEmpty());

        // A record whose texts were never filled in still makes a valid row.
        QSqlRecord bare = DbHelper::emptyRecord(QStringLiteral("items"));
        bare.setValue(QStringLiteral("item_number"), QStringLiteral("111"));
        bare.setValue(QStringLiteral("user_id"), user);
        QVERIFY(DbHelper::addItem(bare));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT name || '|' || user_relation FROM items "
                                                 "WHERE item_number = '111'"))
                     .toString(),
                 QStringLiteral("|"));

        // One row per item number and user.
        QVERIFY(!DbHelper::addItem(record));
        QCOMPARE(allItems().size(), 2);
        const int other = TestStore::addUser(QStringLiteral("bob"));
        record.setValue(QStringLiteral("user_id"), other);
        QVERIFY(DbHelper::addItem(record));
        QCOMPARE(allItems().size(), 3);
    }

    void setItemWritesEveryColumnByIdOrNaturalKey()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const int user = TestStore::addUser(QStringLiteral("ann"));
        const int group = TestStore::addGroup(user, QStringLiteral("Lenses"));
        const int id = TestStore::addItem(user, QStringLiteral("120"), InGap);
        const int untouched = TestStore::addItem(user, QStringLiteral("121"), InGap);
        const QVariantMap untouchedBefore = allItems().at(1);

        QSqlRecord record = loadItem(id);
        record.setValue(QStringLiteral("name"), QStringLiteral("A lens"));
        record.setValue(QStringLiteral("user_relation"), QStringLiteral("HIGHBIDDER"));
        record.setValue(QStringLiteral("is_ended"), true);
        record.setValue(QStringLiteral("bid_count"), 4);
        record.setValue(QStringLiteral("current_bid"), 20.5);
        record.setValue(QStringLiteral("next_bid"), 21.0);
        record.setValue(QStringLiteral("currency"), QStringLiteral("GBP"));
        record.setValue(QStringLiteral("end_time"), InGap.addDays(1));
        record.setValue(QStringLiteral("is_reserve"), 1);
        record.setValue(QStringLiteral("is_reserve_met"), 0);
        record.setValue(QStringLiteral("user_bid"), 30.0);
        record.setValue(QStringLiteral("lead_time"), 7);
        // Written as the same moment in UTC (EST is UTC-5).
        record.setValue(QStringLiteral("actual_bid_time"),
                        QDateTime(QDate(2026, 1, 15), QTime(9, 0, 5), Qt::LocalTime));
        record.setValue(QStringLiteral("bid_status"), BidStatus::Placed);
        record.setValue(QStringLiteral("error_message"), QStringLiteral("none"));
        record.setValue(QStringLiteral("group_id"), group);
        record.setValue(QStringLiteral("shipping"), 3.25);
        record.setValue(QStringLiteral("seller"), QStringLiteral("seller1"));
        record.setValue(QStringLiteral("seller_score"), QStringLiteral("99.5%"));
        record.setValue(QStringLiteral("notes"), QStringLiteral("check the glass"));
        // Neither is written: the row keeps its key.
        record.setValue(QStringLiteral("item_number"), QStringLiteral("999"));
        record.setValue(QStringLiteral("user_id"), user + 1);
        QVERIFY(DbHelper::setItem(record));

        const QVariantMap row = allItems().first();
        const QVariantMap expected{
            {QStringLiteral("id"), id},
            {QStringLiteral("item_number"), QStringLiteral("120")},
            {QStringLiteral("name"), QStringLiteral("A lens")},
            {QStringLiteral("user_id"), user},
            {QStringLiteral("user_relation"), QStringLiteral("HIGHBIDDER")},
            {QStringLiteral("is_ended"), 1},
            {QStringLiteral("bid_count"), 4},
            {QStringLiteral("current_bid"), 20.5},
            {QStringLiteral("next_bid"), 21.0},
            {QStringLiteral("currency"), QStringLiteral("GBP")},
            {QStringLiteral("end_time"), QStringLiteral("2026-03-09T02:30:00")},
            {QStringLiteral("is_reserve"), 1},
            {QStringLiteral("is_reserve_met"), 0},
            {QStringLiteral("user_bid"), 30.0},
            {QStringLiteral("lead_time"), 7},
            {QStringLiteral("actual_bid_time"), QStringLiteral("2026-01-15T14:00:05")},
            {QStringLiteral("bid_status"), 3},
            {QStringLiteral("error_message"), QStringLiteral("none")},
            {QStringLiteral("group_id"), group},
            {QStringLiteral("shipping"), 3.25},
            {QStringLiteral("seller"), QStringLiteral("seller1")},
            {QStringLiteral("seller_score"), QStringLiteral("99.5%")},
            {QStringLiteral("notes"), QStringLiteral("check the glass")},
            // The engine's alone: a row's copy never writes it.
            {QStringLiteral("outcome_settled"), row.value(QStringLiteral("outcome_settled"))}};
        QVERIFY(row.value(QStringLiteral("outcome_settled")).isNull());
        QCOMPARE(row, expected);
        QCOMPARE(allItems().at(1), untouchedBefore);

        // "No group" is NULL, whether the record says 0 or nothing.
        record.setValue(QStringLiteral("group_id"), 0);
        QVERIFY(DbHelper::setItem(record));
        QVERIFY(allItems().first().value(QStringLiteral("group_id")).isNull());
        record.setValue(QStringLiteral("group_id"), group);
        QVERIFY(DbHelper::setItem(record));
        record.setValue(QStringLiteral("group_id"), QVariant(QVariant::Int));
        QVERIFY(DbHelper::setItem(record));
        QVERIFY(allItems().first().value(QStringLiteral("group_id")).isNull());
        // A group that does not exist is refused.
        record.setValue(QStringLiteral("group_id"), group + 10);
        QVERIFY(!DbHelper::setItem(record));
        QVERIFY(allItems().first().value(QStringLiteral("group_id")).isNull());

        // Without an id the user's row with the item number is written.
        QSqlRecord byKey = DbHelper::emptyRecord(QStringLiteral("items"));
        byKey.setValue(QStringLiteral("item_number"), QStringLiteral("121"));
        byKey.setValue(QStringLiteral("user_id"), user);
        byKey.setValue(QStringLiteral("name"), QStringLiteral("By number"));
        QVERIFY(DbHelper::setItem(byKey));
        const QVariantMap second = allItems().at(1);
        QCOMPARE(second.value(QStringLiteral("id")).toInt(), untouched);
        QCOMPARE(second.value(QStringLiteral("name")).toString(), QStringLiteral("By number"));
        // A null relation is written as '' rather than failing the row.
        QCOMPARE(second.value(QStringLiteral("user_relation")).toString(), QStringLiteral(""));
        QVERIFY(!second.value(QStringLiteral("user_relation")).isNull());

        // No row matches: nothing changes, and the statement still ran.
        const QList<QVariantMap> before = allItems();
        byKey.setValue(QStringLiteral("item_number"), QStringLiteral("404"));
        QVERIFY(DbHelper::setItem(byKey));
        QSqlRecord nowhere = itemRecord(12345);
        QVERIFY(DbHelper::setItem(nowhere));
        QCOMPARE(allItems(), before);

        // The relation alone.
        QSqlRecord relation = itemRecord(id);
        relation.setValue(QStringLiteral("user_relation"), QStringLiteral("OUTBIDDER"));
        relation.setValue(QStringLiteral("name"), QStringLiteral("not written"));
        QVERIFY(DbHelper::setItemRelation(relation));
        QVariantMap relationExpected = before.first();
        relationExpected.insert(QStringLiteral("user_relation"), QStringLiteral("OUTBIDDER"));
        QCOMPARE(allItems().first(), relationExpected);
    }

    void cancelAndDeleteTakeOnlyAListOfIds()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const int user = TestStore::addUser(QStringLiteral("ann"));
        const int group = TestStore::addGroup(user, QStringLiteral("Lenses"));
        const QVariantMap snipe{
            {QStringLiteral("user_bid"), 10.0},
            {QStringLiteral("lead_time"), 5},
            {QStringLiteral("bid_status"), BidStatus::Failed},
            {QStringLiteral("group_id"), group},
            {QStringLiteral("actual_bid_time"), QStringLiteral("2026-03-08T02:29:55")},
            {QStringLiteral("error_message"), QStringLiteral("outbid")}};
        const int a = TestStore::addItem(user, QStringLiteral("1"), InGap, snipe);
        const int b = TestStore::addItem(user, QStringLiteral("2"), InGap, snipe);
        const int c = TestStore::addItem(user, QStringLiteral("3"), InGap, snipe);
        const QList<QVariantMap> before = allItems();

        const QStringList refused{QStringLiteral("1; DELETE FROM items"),
                                  QStringLiteral("1) OR (1 = 1"),
                                  QStringLiteral("1,"),
                                  QStringLiteral(",1"),
                                  QStringLiteral("1,,2"),
                                  QStringLiteral("1, 2"),
                                  QStringLiteral(" 1"),
                                  QStringLiteral("-1"),
                                  QStringLiteral("1.5"),
                                  QStringLiteral("id"),
                                  QStringLiteral("1\n")};
        for (const QString& ids : refused) {
            QVERIFY2(!DbHelper::cancelItems(ids), qPrintable(ids));
            QVERIFY2(!DbHelper::deleteItems(ids), qPrintable(ids));
            QVERIFY2(!DbHelper::deleteGroups(ids), qPrintable(ids));
        }
        QCOMPARE(allItems(), before);
        QCOMPARE(TestStore::value(QStringLiteral("SELECT count(*) FROM groups")).toInt(), 1);

        // Empty lists and ids of no row run and change nothing.
        QVERIFY(DbHelper::cancelItems(QString()));
        QVERIFY(DbHelper::deleteItems(QStringLiteral("")));
        QVERIFY(DbHelper::cancelItems(QStringLiteral("404,405")));
        QVERIFY(DbHelper::deleteItems(QStringLiteral("404")));
        QCOMPARE(allItems(), before);

        QVERIFY(DbHelper::cancelItems(QStringLiteral("%1,%2").arg(a).arg(b)));
        QList<QVariantMap> expected = before;
        for (int i : {0, 1}) {
            expected[i].insert(QStringLiteral("user_bid"), QVariant());
            expected[i].insert(QStringLiteral("lead_time"), QVariant());
            expected[i].insert(QStringLiteral("bid_status"), QVariant());
        }
        const QList<QVariantMap> cancelled = allItems();
        QCOMPARE(cancelled.size(), 3);
        for (int i = 0; i < 3; ++i) {
            for (auto it = expected[i].cbegin(); it != expected[i].cend(); ++it) {
                const QVariant actual = cancelled[i].value(it.key());
                QVERIFY2(actual.isNull() == it.value().isNull() &&
                             (actual.isNull() || actual == it.value()),
                         qPrintable(QStringLiteral("row %1 column %2").arg(i).arg(it.key())));
            }
        }

        QVERIFY(DbHelper::deleteItems(QStringLiteral("%1,%2").arg(a).arg(c)));
        QCOMPARE(TestStore::column(QStringLiteral("SELECT id FROM items")), QVariantList({b}));
    }

    void watchListFilters()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const int user = TestStore::addUser(QStringLiteral("ann"));
        const int other = TestStore::addUser(QStringLiteral("bob"));
        const int group = TestStore::addGroup(user, QStringLiteral("Lenses"), 2);
        QVERIFY(DbHelper::setGroupCurrentWon(group, 1));

        const QDateTime now = InGap;
        const QDateTime later = now.addSecs(3600);
        const QDateTime before = now.addSecs(-1);
        auto add = [&](const char* number, const QDateTime& end, const QVariant& status,
                       const char* relation, int groupId = 0) {
            QVariantMap more{{QStringLiteral("bid_status"), status},
                             {QStringLiteral("user_relation"), QLatin1String(relation)}};
            if (groupId > 0)
                more.insert(QStringLiteral("group_id"), groupId);
            return TestStore::addItem(user, QLatin1String(number), end, more) > 0;
        };
        const QVariant none;
        QVERIFY(add("watching", later, none, "NONE", group));
        QVERIFY(add("scheduled", later, BidStatus::Scheduled, "NONE", group));
        QVERIFY(add("scheduled-high-ended", before, BidStatus::Scheduled, "HIGHBIDDER"));
        QVERIFY(add("bidding", later, BidStatus::Bidding, "HIGHBIDDER"));
        QVERIFY(add("high-ends-now", now, none, "HIGHBIDDER"));
        QVERIFY(add("high-placed", later, BidStatus::Placed, "HIGHBIDDER"));
        QVERIFY(add("outbid", later, none, "OUTBIDDER", group));
        QVERIFY(add("won", before, BidStatus::Placed, "HIGHBIDDER", group));
        QVERIFY(add("lost", before, BidStatus::Failed, "OUTBIDDER"));
        QVERIFY(add("failed", before, BidStatus::Failed, "NONE"));
        QVERIFY(add("failed-running", later, BidStatus::Failed, "NONE"));
        QVERIFY(add("unknown", before, none, "Unknown"));
        QVERIFY(TestStore::addItem(other, QStringLiteral("not-mine"), later) > 0);

        const QStringList all =
            sorted({QStringLiteral("watching"), QStringLiteral("scheduled"),
                    QStringLiteral("scheduled-high-ended"), QStringLiteral("bidding"),
                    QStringLiteral("high-ends-now"), QStringLiteral("high-placed"),
                    QStringLiteral("outbid"), QStringLiteral("won"), QStringLiteral("lost"),
                    QStringLiteral("failed"), QStringLiteral("failed-running"),
                    QStringLiteral("unknown")});
        QCOMPARE(listed(now, user, 0, ItemFilter::All), all);
        QCOMPARE(listed(now, user, 0, 7), all);
        QCOMPARE(listed(now, user, 0, -1), all);
        QCOMPARE(listed(now, user, 0, ItemFilter::Watching),
                 QStringList{QStringLiteral("watching")});
        QCOMPARE(listed(now, user, 0, ItemFilter::BidScheduled),
                 sorted({QStringLiteral("scheduled"), QStringLiteral("scheduled-high-ended")}));
        QCOMPARE(listed(now, user, 0, ItemFilter::HighBidder),
                 sorted({QStringLiteral("high-ends-now"), QStringLiteral("high-placed")}));
        QCOMPARE(listed(now, user, 0, ItemFilter::OutBidder),
                 QStringList{QStringLiteral("outbid")});
        QCOMPARE(listed(now, user, 0, ItemFilter::Won), QStringList{QStringLiteral("won")});
        QCOMPARE(listed(now, user, 0, ItemFilter::DidNotWin),
                 sorted({QStringLiteral("lost"), QStringLiteral("failed")}));

        // The end second itself still counts as running; the next one as ended.
        const QDateTime next = now.addSecs(1);
        QCOMPARE(listed(next, user, 0, ItemFilter::HighBidder),
                 QStringList{QStringLiteral("high-placed")});
        QCOMPARE(listed(next, user, 0, ItemFilter::Won),
                 sorted({QStringLiteral("high-ends-now"), QStringLiteral("won")}));
        // The same moment given in local time lists the same rows.
        QCOMPARE(listed(now.toLocalTime(), user, 0, ItemFilter::HighBidder),
                 listed(now, user, 0, ItemFilter::HighBidder));
        QCOMPARE(listed(next.toLocalTime(), user, 0, ItemFilter::Won),
                 listed(next, user, 0, ItemFilter::Won));

        // One group only, with the group's columns joined.
        QCOMPARE(listed(now, user, group, ItemFilter::All),
                 sorted({QStringLiteral("watching"), QStringLiteral("scheduled"),
                         QStringLiteral("outbid"), QStringLiteral("won")}));
        QCOMPARE(listed(now, user, group, ItemFilter::Won), QStringList{QStringLiteral("won")});
        QSqlQuery joined;
        QVERIFY(DbHelper::getItems(joined, now, user, 0, ItemFilter::All));
        int seen = 0;
        while (joined.next()) {
            ++seen;
            const bool grouped = !joined.isNull(QStringLiteral("group_id"));
            QCOMPARE(joined.isNull(QStringLiteral("group_name")), !grouped);
            if (grouped) {
                QCOMPARE(joined.value(QStringLiteral("group_name")).toString(),
                         QStringLiteral("Lenses"));
                QCOMPARE(joined.value(QStringLiteral("max_won")).toInt(), 2);
                QCOMPARE(joined.value(QStringLiteral("current_won")).toInt(), 1);
            }
        }
        QCOMPARE(seen, all.size());
        QCOMPARE(listed(now, other, 0, ItemFilter::All), QStringList{QStringLiteral("not-mine")});
    }

    void biddingWindow()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const int user = TestStore::addUser(QStringLiteral("ann"));
        const int other = TestStore::addUser(QStringLiteral("bob"));
        const QDateTime now = InGap;
        const QVariantMap scheduled{{QStringLiteral("bid_status"), BidStatus::Scheduled}};
        QVERIFY(TestStore::addItem(user, QStringLiteral("in-600"), now.addSecs(600), scheduled) >
                0);
        QVERIFY(TestStore::addItem(user, QStringLiteral("out-601"), now.addSecs(601), scheduled) >
                0);
        QVERIFY(TestStore::addItem(user, QStringLiteral("in-300"), now.addSecs(300), scheduled) >
                0);
        QVERIFY(TestStore::addItem(user, QStringLiteral("ended-hour-ago"), now.addSecs(-3600),
                                   scheduled) > 0);
        QVERIFY(TestStore::addItem(user, QStringLiteral("bidding"), now.addSecs(100),
                                   {{QStringLiteral("bid_status"), BidStatus::Bidding}}) > 0);
        QVERIFY(TestStore::addItem(user, QStringLiteral("watching"), now.addSecs(100)) > 0);
        QVERIFY(TestStore::addItem(other, QStringLiteral("not-mine"), now.addSecs(100), scheduled) >
                0);

        for (const QDateTime& given : {now, now.toLocalTime()}) {
            QSqlQuery query;
            QVERIFY(DbHelper::getBiddingItems(query, user, 600, given));
            QStringList order;
            while (query.next())
                order << query.value(QStringLiteral("item_number")).toString();
            QCOMPARE(order, QStringList({QStringLiteral("in-600"), QStringLiteral("in-300"),
                                         QStringLiteral("ended-hour-ago")}));
        }
    }

    void groups()
    {
        TestStore store;
        QVERIFY(store.isReady());
        const int user = TestStore::addUser(QStringLiteral("ann"));
        const int other = TestStore::addUser(QStringLiteral("bob"));

        auto newGroup = [](const QString& name, int userId, int maxWon) {
            QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("groups"));
            record.setValue(QStringLiteral("name"), name);
            record.setValue(QStringLiteral("user_id"), userId);
            record.setValue(QStringLiteral("max_won"), maxWon);
            return record;
        };
        for (const QString& name : {QStringLiteral("lenses"), QStringLiteral("Bodies"),
                                    QStringLiteral("Zooms"), QStringLiteral("adapters")}) {
            QSqlRecord record = newGroup(name, user, 2);
            QVERIFY(DbHelper::addGroup(record));
        }
        QSqlRecord bobs = newGroup(QStringLiteral("LENSES"), other, 1);
        QVERIFY(DbHelper::addGroup(bobs));
        // Names are one per user regardless of case.
        QSqlRecord twin = newGroup(QStringLiteral("Lenses"), user, 3);
        QVERIFY(!DbHelper::addGroup(twin));

        QSqlQuery list;
        QVERIFY(DbHelper::getGroups(list, user));
        QStringList names;
        while (list.next())
            names << list.value(QStringLiteral("name")).toString();
        QCOMPARE(names, QStringList({QStringLiteral("adapters"), QStringLiteral("Bodies"),
                                     QStringLiteral("lenses"), QStringLiteral("Zooms")}));

        QSqlRecord lenses = newGroup(QStringLiteral("LeNsEs"), user, 0);
        QVERIFY(DbHelper::getGroup(lenses));
        QCOMPARE(lenses.value(QStringLiteral("name")).toString(), QStringLiteral("lenses"));
        QCOMPARE(lenses.value(QStringLiteral("max_won")).toInt(), 2);
        QCOMPARE(lenses.value(QStringLiteral("current_won")).toInt(), 0);
        const int lensesId = lenses.value(QStringLiteral("id")).toInt();
        QSqlRecord byId = DbHelper::emptyRecord(QStringLiteral("groups"));
        byId.setValue(QStringLiteral("id"), lensesId);
        QVERIFY(DbHelper::getGroup(byId));
        QCOMPARE(byId.value(QStringLiteral("name")).toString(), QStringLiteral("lenses"));
        QSqlRecord missing = newGroup(QStringLiteral("Tripods"), user, 1);
        QVERIFY(!DbHelper::getGroup(missing));

        // The win count has its own writer; the editor's save leaves it.
        QVERIFY(DbHelper::setGroupCurrentWon(lensesId, 1));
        QCOMPARE(TestStore::value(
                     QStringLiteral("SELECT current_won FROM groups WHERE id = %1").arg(lensesId))
                     .toInt(),
                 1);
        QCOMPARE(TestStore::value(QStringLiteral("SELECT sum(current_won) FROM groups")).toInt(),
                 1);
        lenses.setValue(QStringLiteral("name"), QStringLiteral("Primes"));
        lenses.setValue(QStringLiteral("max_won"), 3);
        lenses.setValue(QStringLiteral("current_won"), 0);
        QVERIFY(DbHelper::setGroup(lenses));
        QCOMPARE(TestStore::rows(QStringLiteral("SELECT name, max_won, current_won FROM groups "
                                                "WHERE id = %1")
                                     .arg(lensesId)),
                 QList<QVariantMap>({QVariantMap{{QStringLiteral("name"), QStringLiteral("Primes")},
                                                 {QStringLiteral("max_won"), 3},
                                                 {QStringLiteral("current_won"), 1}}}));
        lenses.setValue(QStringLiteral("name"), QStringLiteral("ZOOMS"));
        QVERIFY(!DbHelper::setGroup(lenses));

        // Deleting a group keeps its items, without a group.
        const int item = TestStore::addItem(user, QStringLiteral("7"), InGap,
                                            {{QStringLiteral("group_id"), lensesId}});
        QVERIFY(item > 0);
        QVERIFY(DbHelper::deleteGroups(QString::number(lensesId)));
        QVERIFY(!DbHelper::getGroup(byId));
        QCOMPARE(TestStore::value(QStringLiteral("SELECT count(*) FROM groups")).toInt(), 4);
        const QSqlRecord kept = loadItem(item);
        QVERIFY(!kept.isEmpty());
        QVERIFY(kept.value(QStringLiteral("group_id")).isNull());
    }
};

KESTROVA_TEST_MAIN(TestStoreItems)
#include "test_store_items.moc"
