// The local eBay double as a program of its own: serves a few auctions that
// end minutes after it starts, so that the whole program can be tried on
// this machine without eBay. Start it, then start the program with the
// KESTROVA_HOSTS line it prints. Runs until interrupted.
//
//   ebaydouble [--ends-in S1,S2,S3] [--smtp-port N] [--showcase]
//              [--published-version V] [--time-unavailable]
//
// --ends-in: the three auctions end S1, S2 and S3 seconds after the start
// (default 180,300,480); --smtp-port: the notification relay the program is
// pointed at, on 127.0.0.1 (default: none, mail is refused at once);
// --showcase: three more auctions that ended a while ago (one the user won,
// one lost, one without a bid), for pictures of a lived-in watch list;
// --published-version: the version the maker's version file names;
// --time-unavailable: eBay's official time call answers 503, as when the
// service is down.
#include "ebaydouble.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}

EbayDouble::Auction auction(const QString& number, const QString& title, double price,
                            const QDateTime& end)
{
    EbayDouble::Auction a;
    a.itemNumber = number;
    a.title = title;
    a.currentPrice = price;
    a.minimumToBid = price + 0.5;
    a.bidCount = 3;
    a.endTime = end;
    return a;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption endsIn(QStringLiteral("ends-in"),
                                    QStringLiteral("Seconds from now the auctions end in."),
                                    QStringLiteral("S1,S2,S3"), QStringLiteral("180,300,480"));
    const QCommandLineOption smtpPort(QStringLiteral("smtp-port"),
                                      QStringLiteral("Port of the local notification relay."),
                                      QStringLiteral("N"));
    const QCommandLineOption showcase(QStringLiteral("showcase"),
                                      QStringLiteral("Add auctions that ended a while ago."));
    const QCommandLineOption published(QStringLiteral("published-version"),
                                       QStringLiteral("The version the version file names."),
                                       QStringLiteral("V"));
    parser.addOption(endsIn);
    parser.addOption(smtpPort);
    parser.addOption(showcase);
    parser.addOption(published);
    const QCommandLineOption timeUnavailable(QStringLiteral("time-unavailable"),
                                             QStringLiteral("The official time call answers 503."));
    parser.addOption(timeUnavailable);
    parser.process(app);
    QList<int> ends;
    for (const QString& part : parser.value(endsIn).split(QLatin1Char(',')))
        ends << part.toInt();
    if (ends.size() != 3 || ends.contains(0)) {
        std::fprintf(stderr, "ebaydouble: --ends-in takes three whole numbers of seconds\n");
        return 2;
    }

    EbayDouble::Options options;
    options.transferTimeoutMs = 30000;
    if (parser.isSet(smtpPort))
        options.smtpPort = parser.value(smtpPort).toInt();
    EbayDouble dbl(options);
    if (!dbl.isRunning()) {
        std::fprintf(stderr, "ebaydouble: %s\n", qPrintable(dbl.errorString()));
        return 1;
    }

    const QDateTime now = dbl.officialTime();
    dbl.addAuction(auction(QStringLiteral("110000000001"), QStringLiteral("Brass carriage clock"),
                           12.0, now.addSecs(ends.at(0))));
    EbayDouble::Auction reserve =
        auction(QStringLiteral("110000000002"), QStringLiteral("Victorian oak writing slope"), 45.0,
                now.addSecs(ends.at(1)));
    reserve.reserve = EbayDouble::Reserve::NotMet;
    reserve.shippingForm = EbayDouble::ShippingForm::SpanFreeCost;
    reserve.shippingText = QStringLiteral("FREE");
    dbl.addAuction(reserve);
    EbayDouble::Auction third =
        auction(QStringLiteral("110000000003"), QStringLiteral("Set of six crystal tumblers"), 8.5,
                now.addSecs(ends.at(2)));
    third.shippingForm = EbayDouble::ShippingForm::DivDetails;
    third.shippingText = QStringLiteral("\u00a34.95");
    third.viewerRelation = QStringLiteral("OUTBIDDER");
    dbl.addAuction(third);
    if (parser.isSet(showcase)) {
        EbayDouble::Auction won =
            auction(QStringLiteral("110000000004"), QStringLiteral("Folding rangefinder camera"),
                    151.0, now.addSecs(-2 * 3600));
        won.bidCount = 17;
        won.viewerRelation = QStringLiteral("HIGHBIDDER");
        dbl.addAuction(won);
        EbayDouble::Auction lost =
            auction(QStringLiteral("110000000005"), QStringLiteral("Vintage fountain pen"), 38.0,
                    now.addSecs(-3600));
        lost.bidCount = 9;
        lost.viewerRelation = QStringLiteral("OUTBIDDER");
        dbl.addAuction(lost);
        dbl.addAuction(auction(QStringLiteral("110000000006"),
                               QStringLiteral("Pair of brass candlesticks"), 22.0,
                               now.addSecs(-1800)));
    }
    if (parser.isSet(published))
        dbl.setPublishedVersion(parser.value(published));
    if (parser.isSet(timeUnavailable))
        dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi)
                       .whereQuery(QStringLiteral("GeteBayTime"))
                       .withStatus(503)
                       .always());
    dbl.setWatchingList({QStringLiteral("110000000001"), QStringLiteral("110000000002")});
    dbl.setBiddingList({QStringLiteral("110000000003")});

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    QObject::connect(&dbl, &EbayDouble::requestLogged, &app, [&dbl](int sequence) {
        const QList<EbayDouble::Request> logged = dbl.requests(
            [sequence](const EbayDouble::Request& r) { return r.sequence == sequence; });
        for (const EbayDouble::Request& r : logged) {
            std::fprintf(stderr, "%s %-9s %s %s%s%s\n",
                         qPrintable(r.officialTime.toString(Qt::ISODateWithMs)),
                         qPrintable(HostConfig::roleName(r.role)), r.method.constData(),
                         qPrintable(r.path), r.rawQuery.isEmpty() ? "" : "?",
                         r.rawQuery.constData());
        }
    });

    std::printf("KESTROVA_HOSTS=%s\n", qPrintable(dbl.hostsFilePath()));
    std::printf("# any user id and password sign in; auctions:\n");
    for (const EbayDouble::Auction& a : dbl.auctions())
        std::printf("#   %s  %-32s ends %s UTC\n", qPrintable(a.itemNumber), qPrintable(a.title),
                    qPrintable(a.endTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))));
    std::fflush(stdout);
    return app.exec();
}
