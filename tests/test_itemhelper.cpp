#include "clockmanager.h"
#include "helper/itemhelper.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/itemhelperrun.h"
#include "support/testmain.h"
#include "timetext.h"

#include <QPointer>

namespace {

const QDateTime Now(QDate(2026, 3, 8), QTime(2, 30, 0), Qt::UTC); // a New York DST gap

QDateTime utc(const QString& text)
{
    return QDateTime(QDate::fromString(text.left(10), Qt::ISODate),
                     QTime::fromString(text.mid(11, 8), QStringLiteral("hh:mm:ss")), Qt::UTC);
}

// A record the run's getItems fetched, or null.
const ItemTO* fetched(const ItemHelperRun& run, const QString& number)
{
    return run.helper.fetchedItems ? run.helper.fetchedItems->value(number) : nullptr;
}

QByteArray body(const QString& json)
{
    return json.toUtf8();
}

} // namespace

class TestItemHelper : public QObject
{
    Q_OBJECT

private slots:
    void ebayInABox()
    {
        // The double, the clock on its official time, and three items, one invalid.
        EbayDouble::Options options;
        options.officialTime = Now;
        EbayDouble dbl(options);
        EbayDouble::Auction lamp;
        lamp.itemNumber = QStringLiteral("110000000001");
        lamp.title = QStringLiteral("Brass lamp");
        lamp.endTime = dbl.officialTimeIn(20000);
        lamp.currentPrice = 12.5;
        lamp.minimumToBid = 13.0;
        lamp.bidCount = 2;
        dbl.addAuction(lamp);
        EbayDouble::Auction chair = lamp;
        chair.itemNumber = QStringLiteral("110000000002");
        chair.title = QStringLiteral("Oak chair");
        chair.endTime = Now.addSecs(-60);
        dbl.addAuction(chair);

        ClockManager clock;
        clock.updateTimeSync();
        QVERIFY(clock.isSynchronised());
        QVERIFY(qAbs(Now.msecsTo(clock.getClockTime())) < 2000);

        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        fetch.helper.getItems(QStringLiteral("110000000001,999,110000000002"));
        QVERIFY(fetch.wait());
        QVERIFY(fetch.arg(0).toBool());
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(fetch.helper.fetchedItems->size(), 3);
        const ItemTO* first = fetched(fetch, QStringLiteral("110000000001"));
        QVERIFY(first);
        QCOMPARE(first->name(), QStringLiteral("Brass lamp"));
        QCOMPARE(first->currentBid(), 12.5);
        QCOMPARE(first->nextBid(), 13.0);
        QCOMPARE(first->bidCount(), 2);
        QCOMPARE(first->endTime(), TimeText::parse(TimeText::format(lamp.endTime)));
        QVERIFY(!first->isEnded());
        QVERIFY(fetched(fetch, QStringLiteral("110000000002"))->isEnded());
        QCOMPARE(fetched(fetch, QStringLiteral("999"))->name(),
                 QStringLiteral("Invalid or non-existent item"));
        // The auction ends 20 s after the start on the synchronised clock.
        const qint64 left = clock.getClockTime().msecsTo(first->endTime());
        QVERIFY2(left > 17000 && left <= 20000, qPrintable(QString::number(left)));

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).command(), QStringLiteral("GeteBayTime"));
        QCOMPARE(log.at(1).command(), QStringLiteral("GetMultipleItems"));
        QCOMPARE(log.at(1).rawQuery,
                 QByteArray("callname=GetMultipleItems&responseencoding=JSON"
                            "&appid=Zuvadede-5b21-4c8e-93d0-7a1f4e62b8c9&siteid=3&version=705"
                            "&IncludeSelector=Details&ItemID=110000000001,999,110000000002"));
        QCOMPARE(log.at(1).header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
        QVERIFY(log.at(1).officialTime >= log.at(0).officialTime);
        QVERIFY(log.at(1).officialTime < Now.addSecs(5));
    }

    void everyFieldOfAFullReply()
    {
        EbayDouble dbl;
        dbl.freezeOfficialTime(Now);
        EbayDouble::Auction a;
        a.itemNumber = QStringLiteral("201");
        a.title = QStringLiteral("Caf\u00e9 table & chairs");
        a.currency = QStringLiteral("EUR");
        a.currentPrice = 99.99;
        a.minimumToBid = 101.0;
        a.bidCount = 17;
        a.endTime = Now; // equal to the reply time: not ended
        a.listingType = QStringLiteral("chinese");
        a.seller = QStringLiteral("oak_and_ash");
        a.feedbackScore = 1234;
        a.positiveFeedbackPercent = 99.5;
        a.reserve = EbayDouble::Reserve::NotMet;
        dbl.addAuction(a);
        EbayDouble::Auction b = a;
        b.itemNumber = QStringLiteral("202");
        b.endTime = Now.addSecs(-1); // one second earlier: ended
        b.listingType = QStringLiteral("FixedPriceItem");
        b.positiveFeedbackPercent = 0;
        b.reserve = EbayDouble::Reserve::Met;
        dbl.addAuction(b);
        EbayDouble::Auction c = a;
        c.itemNumber = QStringLiteral("203");
        c.positiveFeedbackPercent = -1; // absent
        c.reserve = EbayDouble::Reserve::None;
        dbl.addAuction(c);
        EbayDouble::Auction d = a;
        d.itemNumber = QStringLiteral("204");
        d.reserve = EbayDouble::Reserve::Null;
        dbl.addAuction(d);

        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        fetch.helper.getItems(QStringLiteral("201,202,203,204"));
        QVERIFY(fetch.wait());
        QVERIFY(fetch.arg(0).toBool());
        const ItemTO* item = fetched(fetch, QStringLiteral("201"));
        QVERIFY(item);
        QVERIFY(item->isAuction());
        QCOMPARE(item->itemNumber(), QStringLiteral("201"));
        QCOMPARE(item->name(), QStringLiteral("Caf\u00e9 table & chairs"));
        QCOMPARE(item->bidCount(), 17);
        QCOMPARE(item->currentBid(), 99.99);
        QCOMPARE(item->nextBid(), 101.0);
        QCOMPARE(item->currency(), QStringLiteral("EUR"));
        QCOMPARE(item->endTime(), Now);
        QCOMPARE(item->endTime().timeSpec(), Qt::UTC);
        QVERIFY(!item->isEnded());
        QCOMPARE(item->seller(), QStringLiteral("oak_and_ash"));
        QCOMPARE(item->sellerScore(), QStringLiteral("1234 | 99.5%"));
        QVERIFY(item->isReserve());
        QVERIFY(!item->isReserveMet());
        // Fields the fetch does not set keep a new record's values.
        const ItemTO fresh;
        QCOMPARE(item->id(), fresh.id());
        QCOMPARE(item->userRelation(), fresh.userRelation());
        QCOMPARE(item->userBid(), fresh.userBid());
        QCOMPARE(item->shipping(), fresh.shipping());
        QCOMPARE(item->notes(), fresh.notes());
        QCOMPARE(item->bidStatus(), fresh.bidStatus());

        item = fetched(fetch, QStringLiteral("202"));
        QVERIFY(!item->isAuction());
        QVERIFY(item->isEnded());
        QCOMPARE(item->sellerScore(), QStringLiteral("1234"));
        QVERIFY(item->isReserve());
        QVERIFY(item->isReserveMet());

        item = fetched(fetch, QStringLiteral("203"));
        QCOMPARE(item->sellerScore(), QStringLiteral("1234"));
        QVERIFY(!item->isReserve()); // no reserve counts as met
        QVERIFY(item->isReserveMet());

        item = fetched(fetch, QStringLiteral("204"));
        QVERIFY(!item->isReserve()); // null is no reserve, as absent
        QVERIFY(item->isReserveMet());
    }

    void repliesThatOnlyACustomBodyGives_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<QStringList>("names");

        const QString item = QStringLiteral(
            "{\"ItemID\":\"%1\",\"Title\":\"%2\",\"EndTime\":\"2026-03-09T00:00:00.000Z\","
            "\"ListingType\":\"Chinese\",\"Seller\":{\"UserID\":\"s\"}}");
        QTest::newRow("placeholders from the error value, empty parts dropped")
            << body(
                   QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00.000Z\",\"Ack\":"
                                  "\"PartialFailure\",\"Errors\":[{\"ErrorParameters\":[{\"Value\":"
                                  "\"111,,222,\"}]}],\"Item\":[%1]}")
                       .arg(item.arg(QStringLiteral("333"), QStringLiteral("Listed"))))
            << QStringList{QStringLiteral("111"), QStringLiteral("222"), QStringLiteral("333")}
            << QStringList{QStringLiteral("Invalid or non-existent item"),
                           QStringLiteral("Invalid or non-existent item"),
                           QStringLiteral("Listed")};
        QTest::newRow("a later duplicate wins")
            << body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"Success\","
                                   "\"Item\":[%1,%2]}")
                        .arg(item.arg(QStringLiteral("5"), QStringLiteral("Earlier")),
                             item.arg(QStringLiteral("5"), QStringLiteral("Later"))))
            << QStringList{QStringLiteral("5")} << QStringList{QStringLiteral("Later")};
        QTest::newRow("a listed item replaces its placeholder")
            << body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"Warning\","
                                   "\"Errors\":[{\"ErrorParameters\":[{\"Value\":\"5\"}]}],"
                                   "\"Item\":[%1]}")
                        .arg(item.arg(QStringLiteral("5"), QStringLiteral("Real"))))
            << QStringList{QStringLiteral("5")} << QStringList{QStringLiteral("Real")};
        QTest::newRow("Ack other than Success with an empty errors list")
            << body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"Failure\","
                                   "\"Errors\":[]}"))
            << QStringList{} << QStringList{};
        QTest::newRow("Ack other than Success without errors, with an empty parameter list")
            << body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"Failure\","
                                   "\"Errors\":[{\"ErrorParameters\":[]}]}"))
            << QStringList{} << QStringList{};
        QTest::newRow("Ack compared with case")
            << body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"success\","
                                   "\"Errors\":[{\"ErrorParameters\":[{\"Value\":\"77\"}]}]}"))
            << QStringList{QStringLiteral("77")}
            << QStringList{QStringLiteral("Invalid or non-existent item")};
        QTest::newRow("empty item list")
            << body(QStringLiteral(
                   "{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"Success\",\"Item\":[]}"))
            << QStringList{} << QStringList{};
        QTest::newRow("numbers sent as JSON numbers")
            << body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\",\"Ack\":\"Success\","
                                   "\"Item\":[{\"ItemID\":123456789012,\"Title\":\"N\"}]}"))
            << QStringList{QStringLiteral("123456789012")} << QStringList{QStringLiteral("N")};
    }

    void repliesThatOnlyACustomBodyGives()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, numbers);
        QFETCH(QStringList, names);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).withBody(reply, "application/json"));
        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        fetch.helper.getItems(QStringLiteral("1"));
        QVERIFY(fetch.wait());
        QVERIFY(fetch.arg(0).toBool());
        QCOMPARE(boxes.count(), 0);
        QVERIFY(fetch.helper.fetchedItems);
        QStringList keys = fetch.helper.fetchedItems->keys();
        keys.sort();
        QCOMPARE(keys, numbers);
        for (int i = 0; i < numbers.size(); ++i)
            QCOMPARE(fetched(fetch, numbers.at(i))->name(), names.at(i));
    }

    void numbersOutOfRangeOrOfTheWrongKind_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<int>("bidCount");
        QTest::addColumn<QString>("score");
        QTest::newRow("a percentage that rounds up counts")
            << "\"BidCount\":2,\"Seller\":{\"FeedbackScore\":10,\"PositiveFeedbackPercent\":0.6}"
            << 2 << "10 | 0.6%";
        QTest::newRow("a percentage as text is no integer")
            << "\"Seller\":{\"FeedbackScore\":10,\"PositiveFeedbackPercent\":\"99.5\"}" << 0
            << "10";
        QTest::newRow("beyond any integer")
            << "\"BidCount\":1e300,\"Seller\":{\"FeedbackScore\":-1e300,"
               "\"PositiveFeedbackPercent\":1e300}"
            << 0 << "0";
        QTest::newRow("beyond int") << "\"BidCount\":3000000000,\"Seller\":{\"FeedbackScore\":"
                                       "\"3000000000\"}"
                                    << 0 << "0";
    }

    void numbersOutOfRangeOrOfTheWrongKind()
    {
        QFETCH(QString, fields);
        QFETCH(int, bidCount);
        QFETCH(QString, score);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi)
                       .withBody(body(QStringLiteral("{\"Timestamp\":\"2026-03-08T02:30:00Z\","
                                                     "\"Ack\":\"Success\",\"Item\":[{\"ItemID\":"
                                                     "\"7\",%1}]}")
                                          .arg(fields)),
                                 "application/json"));
        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        fetch.helper.getItems(QStringLiteral("7"));
        QVERIFY(fetch.wait());
        const ItemTO* item = fetched(fetch, QStringLiteral("7"));
        QVERIFY(item);
        QCOMPARE(item->bidCount(), bidCount);
        QCOMPARE(item->sellerScore(), score);
    }

    void placeholderRecord()
    {
        EbayDouble dbl;
        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        fetch.helper.getItems(QStringLiteral("404"));
        QVERIFY(fetch.wait());
        const ItemTO* item = fetched(fetch, QStringLiteral("404"));
        QVERIFY(item);
        QVERIFY(!item->isAuction());
        QCOMPARE(item->bidCount(), -1);
        QCOMPARE(item->currentBid(), -1.0);
        QCOMPARE(item->nextBid(), -1.0);
        QCOMPARE(item->currency(), QStringLiteral(""));
        QCOMPARE(item->endTime(), utc(QStringLiteral("1970-01-01T12:00:00")));
        QVERIFY(item->isEnded());
        QVERIFY(!item->isReserve());
        QVERIFY(item->isReserveMet());
        QCOMPARE(item->seller(), QStringLiteral(""));
        QCOMPARE(item->sellerScore(), QStringLiteral(""));
    }

    void unreadableReplies_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("not JSON") << QByteArray("<html>Service unavailable</html>");
        QTest::newRow("no Timestamp") << QByteArray("{\"Ack\":\"Success\",\"Item\":[]}");
        QTest::newRow("null Timestamp") << QByteArray("{\"Timestamp\":null,\"Ack\":\"Success\"}");
        QTest::newRow("Timestamp not a time") << QByteArray("{\"Timestamp\":\"yesterday noon\"}");
    }

    void unreadableReplies()
    {
        QFETCH(QByteArray, reply);
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).withBody(reply, "application/json"));
        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        fetch.helper.getItems(QStringLiteral("1"));
        QVERIFY(fetch.wait());
        QVERIFY(!fetch.arg(0).toBool());
        QCOMPARE(fetch.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Item Error")}));
        QCOMPARE(boxes.last().request.text, QStringLiteral("Failed to parse item information."));
        QCOMPARE(boxes.last().request.icon, QMessageBox::Critical);
        QVERIFY(!boxes.last().request.parent);
        QVERIFY(!fetch.helper.fetchedItems);
    }

    void networkFailuresSignalFirstThenBox_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("errorText");
        QTest::newRow("HTTP 500") << "status"
                                  << "server replied: Internal Server Error";
        QTest::newRow("refused connection") << "refused"
                                            << "Connection refused";
        QTest::newRow("hung server") << "hang"
                                     << "The server did not answer within 0.5 seconds.";
    }

    void networkFailuresSignalFirstThenBox()
    {
        QFETCH(QString, failure);
        QFETCH(QString, errorText);
        EbayDouble::Options options;
        options.transferTimeoutMs = 500;
        EbayDouble dbl(options);
        if (failure == QLatin1String("status"))
            dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).withStatus(500));
        else if (failure == QLatin1String("refused"))
            dbl.refuse(HostConfig::ShoppingApi);
        else
            dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).hang());

        BoxRecorder boxes;
        boxes.setHoldMs(300); // a box that stands open must not hold the signal back
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        QElapsedTimer clock;
        clock.start();
        fetch.helper.getItems(QStringLiteral("1,2"));
        QVERIFY(fetch.wait());
        QVERIFY(clock.elapsed() < 5000);
        QVERIFY(!fetch.arg(0).toBool());
        QTRY_COMPARE(boxes.count(), 1);
        QCOMPARE(fetch.events,
                 (QStringList{QStringLiteral("signal"), QStringLiteral("box:Network Error")}));
        const QString text = boxes.last().request.text;
        QVERIFY2(text.startsWith(QLatin1String("Failed to retrieve item information.\n")),
                 qPrintable(text));
        QVERIFY2(text.contains(errorText), qPrintable(text));
        QCOMPARE(boxes.last().request.icon, QMessageBox::Critical);
        QVERIFY(!boxes.last().request.parent);
        QVERIFY(!fetch.helper.fetchedItems);
    }

    void receiverMayDisposeOfTheHelperInItsSlot()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).withStatus(503));
        BoxRecorder boxes;
        boxes.setHoldMs(100); // the box's nested loop must not delete the helper under it
        QPointer<ItemHelper> helper = new ItemHelper();
        bool result = true;
        connect(helper.data(), &ItemHelper::getItemsFinished, this, [&](bool ok) {
            result = ok;
            helper->deleteLater();
        });
        helper->getItems(QStringLiteral("1"));
        QTRY_COMPARE(boxes.count(), 1);
        QVERIFY(!result);
        QTRY_VERIFY(!helper);
        QCOMPARE(boxes.last().request.title, QStringLiteral("Network Error"));
    }

    void destroyedWhileWaitingSendsNothing()
    {
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi).hang());
        BoxRecorder boxes;
        int signalsSeen = 0;
        {
            ItemHelper helper;
            connect(&helper, &ItemHelper::getItemsFinished, this, [&] { ++signalsSeen; });
            helper.getItems(QStringLiteral("1"));
            QVERIFY(dbl.waitForRequests(1));
        }
        QTest::qWait(100);
        QCOMPARE(signalsSeen, 0);
        QCOMPARE(boxes.count(), 0);
    }

    void tagAndImportMarkBelongToTheCaller()
    {
        EbayDouble dbl;
        BoxRecorder boxes;
        ItemHelperRun fetch(boxes, &ItemHelper::getItemsFinished);
        QCOMPARE(fetch.helper.itemNumber(), QString());
        QVERIFY(!fetch.helper.isImport);
        QVERIFY(!fetch.helper.fetchedItems);
        // A fetch for other numbers leaves what the caller set as it was.
        fetch.helper.setItemNumber(QStringLiteral("42"));
        fetch.helper.isImport = true;
        fetch.helper.getItems(QStringLiteral("7"));
        QVERIFY(fetch.wait());
        QVERIFY(fetched(fetch, QStringLiteral("7")));
        QCOMPARE(fetch.helper.itemNumber(), QStringLiteral("42"));
        QVERIFY(fetch.helper.isImport);
    }
};

KESTROVA_TEST_MAIN(TestItemHelper)
#include "test_itemhelper.moc"
