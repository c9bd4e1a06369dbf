#include "helper/itemhelper.h"
#include "helper/loginhelper.h"
#include "helper/networkresource.h"
#include "hostconfig.h"
#include "sites.h"
#include "support/boxrecorder.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/testmain.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

namespace {

const QByteArray WatchingPerPage =
    "MyEbayBeta&CurrentPage=MyeBayNextWatching&SubmitAction.ItemsPerPageSave=x"
    "&CustomizedContainer=240&ItemsPerPage=200&ViewMYEBAY_NEXT_CONTAINER_CUSTOMIZE"
    "&ssPageName=STRK:MEWAX:COUNT:200&View=WatchingNext";
const QByteArray BiddingPerPage =
    "MyEbayBeta&CurrentPage=MyeBayNextBidding&SubmitAction.ItemsPerPageSave=x"
    "&CustomizedContainer=312&ItemsPerPage=200&ViewMYEBAY_NEXT_CONTAINER_CUSTOMIZE"
    "&ssPageName=STRK:MEBIDX:COUNT:200&View=BiddingNext";
const QByteArray WatchingPrintView =
    "MyEbayBeta&WatchingNext.Filter=All&GotoPage=1&View=WatchingNext&Column=EndTime"
    "&NewFilter=All&CurrentPage=MyeBayNextWatching&ssPageName=STRK:MEWAX:PRINT&StoreCatFilter=0"
    "&print=true&cid=240&FormatFilter=AllFormat";
const QByteArray BiddingPrintView =
    "MyEbayBeta&View=BiddingNext&Column=EndTime&NewFilter=All&BiddingNext.Filter=All"
    "&CurrentPage=MyeBayNextBidding&ssPageName=STRK:MEBIDX:PRINT&StoreCatFilter=0&print=true"
    "&cid=312&FormatFilter=AllFormat";

// The import dialog's side of the conversation: one helper, one request at a
// time, each answer noted in order with the boxes that follow it.
struct Importer
{
    ItemHelper helper;
    QStringList events;
    bool ok = false;
    QStringList numbers;

    explicit Importer(BoxRecorder& boxes)
    {
        boxes.setOnShow([this](const MessageBox::Request& box) {
            events << QStringLiteral("box:") + box.title;
        });
        QObject::connect(&helper, &ItemHelper::setWatchingCountPerPageFinished,
                         [this] { events << QStringLiteral("watching per page"); });
        QObject::connect(&helper, &ItemHelper::setBiddingCountPerPageFinished,
                         [this] { events << QStringLiteral("bidding per page"); });
        auto list = [this](const QString& name) {
            return [this, name](bool result, const QStringList& found) {
                ok = result;
                numbers = found;
                events << name;
            };
        };
        QObject::connect(&helper, &ItemHelper::getMyeBayWatchingItemNumbersFinished,
                         list(QStringLiteral("watching")));
        QObject::connect(&helper, &ItemHelper::getMyeBayBiddingItemNumbersFinished,
                         list(QStringLiteral("bidding")));
    }

    // Runs one operation and waits for its answer (and any box after it).
    bool run(void (ItemHelper::*operation)(), const QString& answer, int timeoutMs = 5000)
    {
        events.clear();
        numbers.clear();
        ok = false;
        (helper.*operation)();
        if (!QTest::qWaitFor([&] { return events.contains(answer); }, timeoutMs))
            return false;
        QTest::qWait(20);
        return events.count(answer) == 1;
    }
};

int openReplies()
{
    return NetworkResource::instance()
        ->networkAccessManager()
        ->findChildren<QNetworkReply*>()
        .size();
}

// Points the home site's item pages at a host with letters in its name, so
// that the case of the host in links shows. Nothing is fetched from it.
bool renameItemHost(const EbayDouble& dbl, QTemporaryDir& dir, const QString& host)
{
    QFile in(dbl.hostsFilePath());
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    QJsonObject roles = root.value(QStringLiteral("roles")).toObject();
    for (const QString& key :
         {QStringLiteral("item"), QStringLiteral("item@") + Sites::homeDomain()}) {
        QJsonObject entry = roles.value(key).toObject();
        entry.insert(QStringLiteral("host"), host);
        roles.insert(key, entry);
    }
    root.insert(QStringLiteral("roles"), roles);
    QFile out(dir.filePath(QStringLiteral("hosts.json")));
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(QJsonDocument(root).toJson());
    out.close();
    qputenv(HostConfig::OverrideVariable, QFile::encodeName(out.fileName()));
    HostConfig::reload();
    return true;
}

} // namespace

class TestItemHelperMyEbay : public QObject
{
    Q_OBJECT

private slots:
    void init() { HttpProbe::clearCookies(); }

    void importAfterSignIn()
    {
        EbayDouble dbl;
        dbl.setRequireSignIn(true);
        QStringList watching;
        for (int i = 0; i < 29; ++i)
            watching << QString::number(110000005000LL + i);
        watching << watching.at(3); // listed twice: kept twice
        dbl.setWatchingList(watching);
        dbl.setBiddingList({QStringLiteral("220000000001"), QStringLiteral("220000000002")});

        LoginHelper login;
        QSignalSpy signedIn(&login, &LoginHelper::loginStep2Finished);
        login.login(QStringLiteral("alice"), QStringLiteral("secret"), Sites::homeDomain(), 3);
        QVERIFY(signedIn.wait(5000));
        QVERIFY(signedIn.first().at(0).toBool());
        dbl.clearLog();

        BoxRecorder boxes;
        Importer import(boxes);
        QVERIFY(
            import.run(&ItemHelper::setWatchingCountPerPage, QStringLiteral("watching per page")));
        QVERIFY(import.run(&ItemHelper::getMyeBayWatchingItemNumbers, QStringLiteral("watching")));
        QVERIFY(import.ok);
        QCOMPARE(import.numbers, watching); // 30 on one page, the duplicate in its place
        QVERIFY(
            import.run(&ItemHelper::setBiddingCountPerPage, QStringLiteral("bidding per page")));
        QVERIFY(import.run(&ItemHelper::getMyeBayBiddingItemNumbers, QStringLiteral("bidding")));
        QVERIFY(import.ok);
        QCOMPARE(import.numbers,
                 (QStringList{QStringLiteral("220000000001"), QStringLiteral("220000000002")}));
        QCOMPARE(boxes.count(), 0);
        QCOMPARE(dbl.itemsPerPage(240), 200);
        QCOMPARE(dbl.itemsPerPage(312), 200);

        const QList<EbayDouble::Request> log = dbl.requests();
        QCOMPARE(log.size(), 4);
        const QList<QByteArray> queries{WatchingPerPage, WatchingPrintView, BiddingPerPage,
                                        BiddingPrintView};
        for (int i = 0; i < log.size(); ++i) {
            const EbayDouble::Request& request = log.at(i);
            QCOMPARE(request.role, HostConfig::MyEbay);
            QCOMPARE(request.port, dbl.port(HostConfig::MyEbay));
            QVERIFY(!request.tls);
            QCOMPARE(request.method, QByteArray("GET"));
            QCOMPARE(request.path, QStringLiteral("/ws/eBayISAPI.dll"));
            QCOMPARE(request.rawQuery, queries.at(i));
            QVERIFY(request.body.isEmpty());
            QCOMPARE(request.header("Content-Type"),
                     QByteArray("application/x-www-form-urlencoded"));
            QCOMPARE(request.signedInUser, QStringLiteral("alice"));
        }
    }

    void itemLinksOfThePrintView_data()
    {
        QTest::addColumn<QString>(
            "page"); // %1: the home item host as it stands in links, %2: the same in capitals
        QTest::addColumn<QStringList>("numbers");
        QTest::newRow("duplicates in page order")
            << "<a href=\"http://%1/itm/11?a\">x</a><a href=\"http://%1/itm/22?\">y</a>\n"
               "<a href=\"http://%1/itm/11?b\">x again</a>"
            << QStringList{"11", "22", "11"};
        QTest::newRow("host and path in any letter case")
            << "<A HREF=\"HTTP://%2/ITM/33?x\">a</A><a href=\"http://%1/Itm/44?\">b</a>"
            << QStringList{"33", "44"};
        QTest::newRow("other hosts ignored") << "<a href=\"http://www.example.org/itm/1?\">a</a>"
                                                "<a href=\"http://%1.evil.example/itm/2?\">b</a>"
                                                "<a href=\"http://evil.%1/itm/3?\">c</a>"
                                                "<a href=\"https://%1/itm/4?\">d</a>"
                                                "<a href=\"http://%1/itm/55?\">e</a>"
                                             << QStringList{"55"};
        QTest::newRow("only the number between /itm/ and ?")
            << "<a href=\"http://%1/itm/Brass-lamp/66?\">a</a>"
               "<a href=\"http://%1/itm/77\">b</a>"
               "<a href=\"http://%1/itm/88x?\">c</a>"
               "<a href=\"http://%1/itm/?99\">d</a>"
               "<a href=\"http://%1/itm/100?\">e</a>"
            << QStringList{"100"};
        QTest::newRow("no item links") << "<p>You are not watching any items.</p>" << QStringList{};
    }

    void itemLinksOfThePrintView()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, numbers);
        EbayDouble dbl;
        QTemporaryDir dir;
        QVERIFY(renameItemHost(dbl, dir, QStringLiteral("Items.Example.test")));
        const QString host = HostConfig::authority(HostConfig::ItemPage, Sites::homeDomain());
        QVERIFY(host.startsWith(QLatin1String("Items.Example.test:")));
        const QByteArray body = QString(page)
                                    .replace(QLatin1String("%2"), host.toUpper())
                                    .replace(QLatin1String("%1"), host)
                                    .toUtf8();
        dbl.script(EbayDouble::Rule(HostConfig::MyEbay).withBody(body).times(2));

        BoxRecorder boxes;
        Importer import(boxes);
        QVERIFY(import.run(&ItemHelper::getMyeBayWatchingItemNumbers, QStringLiteral("watching")));
        QVERIFY(import.ok);
        QCOMPARE(import.numbers, numbers);
        QVERIFY(import.run(&ItemHelper::getMyeBayBiddingItemNumbers, QStringLiteral("bidding")));
        QVERIFY(import.ok);
        QCOMPARE(import.numbers, numbers);
        QCOMPARE(boxes.count(), 0);
    }

    void emptyListOnTheDoublesOwnPage()
    {
        EbayDouble dbl; // its print view holds one link, to another host
        BoxRecorder boxes;
        Importer import(boxes);
        QVERIFY(import.run(&ItemHelper::getMyeBayBiddingItemNumbers, QStringLiteral("bidding")));
        QVERIFY(import.ok);
        QVERIFY(import.numbers.isEmpty());
        QCOMPARE(dbl.requests().last().rawQuery, BiddingPrintView);
    }

    void failedItemsPerPageStillAnswers_data()
    {
        QTest::addColumn<bool>("watching");
        QTest::addColumn<QString>("failure");
        QTest::newRow("watching, HTTP error") << true << "status";
        QTest::newRow("bidding, HTTP error") << false << "status";
        QTest::newRow("watching, refused") << true << "refused";
        QTest::newRow("bidding, hung") << false << "hang";
    }

    void failedItemsPerPageStillAnswers()
    {
        QFETCH(bool, watching);
        QFETCH(QString, failure);
        EbayDouble::Options options;
        options.transferTimeoutMs = 500;
        EbayDouble dbl(options);
        if (failure == QLatin1String("status"))
            dbl.script(EbayDouble::Rule(HostConfig::MyEbay).withStatus(500));
        else if (failure == QLatin1String("refused"))
            dbl.refuse(HostConfig::MyEbay);
        else
            dbl.script(EbayDouble::Rule(HostConfig::MyEbay).hang());
        const int repliesBefore = openReplies();

        BoxRecorder boxes;
        Importer import(boxes);
        if (watching)
            QVERIFY(import.run(&ItemHelper::setWatchingCountPerPage,
                               QStringLiteral("watching per page")));
        else
            QVERIFY(import.run(&ItemHelper::setBiddingCountPerPage,
                               QStringLiteral("bidding per page")));
        QCOMPARE(import.events.size(), 1);
        QCOMPARE(boxes.count(), 0);
        QTRY_COMPARE(openReplies(), repliesBefore); // the reply is freed
    }

    void failedListGivesItsBoxAfterTheSignal_data()
    {
        QTest::addColumn<bool>("watching");
        QTest::addColumn<QString>("failure");
        QTest::newRow("watching, HTTP error") << true << "status";
        QTest::newRow("bidding, HTTP error") << false << "status";
        QTest::newRow("watching, refused") << true << "refused";
        QTest::newRow("bidding, refused") << false << "refused";
    }

    void failedListGivesItsBoxAfterTheSignal()
    {
        QFETCH(bool, watching);
        QFETCH(QString, failure);
        EbayDouble dbl;
        dbl.setWatchingList({QStringLiteral("1")});
        dbl.setBiddingList({QStringLiteral("2")});
        if (failure == QLatin1String("status"))
            dbl.script(EbayDouble::Rule(HostConfig::MyEbay).withStatus(502));
        else
            dbl.refuse(HostConfig::MyEbay);

        BoxRecorder boxes;
        Importer import(boxes);
        const QString name = watching ? QStringLiteral("watching") : QStringLiteral("bidding");
        QVERIFY(import.run(watching ? &ItemHelper::getMyeBayWatchingItemNumbers
                                    : &ItemHelper::getMyeBayBiddingItemNumbers,
                           name));
        QVERIFY(!import.ok);
        QVERIFY(import.numbers.isEmpty());
        QCOMPARE(import.events, (QStringList{name, QStringLiteral("box:Network Error")}));
        const MessageBox::Request box = boxes.last().request;
        const QString expected = watching
                                     ? QStringLiteral("Failed to import My eBay Watch List.\n")
                                     : QStringLiteral("Failed to import My eBay Bidding List.\n");
        QVERIFY2(box.text.startsWith(expected), qPrintable(box.text));
        QVERIFY(box.text.size() > expected.size()); // the error text follows
        QCOMPARE(box.icon, QMessageBox::Critical);
        QVERIFY(!box.parent);
    }
};

KESTROVA_TEST_MAIN(TestItemHelperMyEbay)
#include "test_itemhelper_myebay.moc"
