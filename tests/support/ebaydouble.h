#ifndef EBAYDOUBLE_H
#define EBAYDOUBLE_H

#include "hostconfig.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QThread;
class EbayDoubleServer;
struct EbayDoubleState;

// eBay in a box: a real HTTP server on 127.0.0.1 that answers every request
// the program sends to eBay (Shopping API, sign-in, item pages, both bid
// flows, My eBay) and to the maker's web host, built from a catalogue of
// auctions that a test describes, on an official eBay clock that the test
// controls.
//
// Construction starts the server and points the whole program at it: it
// writes a host override file (every role, for every site and per site where
// the program picks a host by site), sets KESTROVA_HOSTS to it and calls
// HostConfig::reload(). Destruction stops the server and puts the previous
// override file back.
//
// Ports: one plain-HTTP port per role (Shopping API, My eBay, browser start
// page, thumbnails, maker); the sign-in role speaks TLS with a certificate
// made at start by the openssl command and signed by a CA that the override
// file names; sign-in, item and bid pages have one port per eBay site domain,
// so that a test sees which site a request went to (Request::domain).
// Every answer closes its connection ("Connection: close").
//
// Threads: the sockets run in a thread of the double's own, so that a busy
// or blocked test thread does not distort arrival times. Every public member
// is thread-safe; the catalogue, the log and the scripts may be read and
// changed while the server works.
//
// Cookies are host-only with Path=/ (no Domain, not Secure): Qt's jar
// matches by host and ignores the port, so cookies the TLS sign-in port sets
// come back on every plain-HTTP port of 127.0.0.1.
//
// What it answers (paths and queries as the program sends them):
//   shopping  /shopping?callname=GeteBayTime...       {"Timestamp":"...Z","Ack":"Success",...}
//             /shopping?callname=GetMultipleItems...&ItemID=a,b  items of the catalogue;
//             unknown numbers in Errors[0].ErrorParameters[0].Value, Ack "PartialFailure"
//             or "Failure"
//   signin    GET  /ws/eBayISAPI.dll?SignIn              sign-in page, visit cookie
//             POST /ws/eBayISAPI.dll?co_partnerId=2&siteid=N&UsingSSL=1  form userid/pass:
//             accepted (session cookie, signIns()) or "Your user ID or password is incorrect."
//   item      /ws/eBayISAPI.dll?ViewItemLite&item=N&dl=5  {"ViewItemLiteResponse":{...}}
//             /ws/eBayISAPI.dll?ViewItem&item=N           page with the postage cost
//             /itm/N                                       item page
//   bid       /ws/eBayISAPI.dll?MakeQuickBid&mode=0...    JsonStep1 page
//             /ws/eBayISAPI.dll?MakeQuickBid&mode=1...    JsonStep2 JSON
//             /ws/eBayISAPI.dll?MakeBid&item=N&maxbid=B   HtmlStep1 page
//             /ws/eBayISAPI.dll?MfcISAPICommand=MakeBid&...  HtmlStep2 page
//   myebay    /ws/eBayISAPI.dll?MyEbayBeta&...SubmitAction.ItemsPerPageSave=x&
//             CustomizedContainer=240|312&ItemsPerPage=200...  saves the page size
//             /ws/eBayISAPI.dll?MyEbayBeta&...print=true&cid=240|312...  print view with
//             links href="http://<home item authority>/itm/<N>?..." (and one link
//             elsewhere that is not an item link)
//   browser   anything: a start page
//   thumbnail /pict/N.jpg: thumbnail()
//   maker     /version.xml: <Kestrova4Ver>setPublishedVersion()</Kestrova4Ver>; else a page
// Anything else: 404. Timestamps are taken when the answer is written (after
// a scripted delay); a bid's verdict is judged at its arrival.
//
// Typical use in a test:
//   EbayDouble dbl;                                   // installed for the test's scope
//   EbayDouble::Auction a;
//   a.itemNumber = "110000000001";
//   a.endTime = dbl.officialTimeIn(20000);           // ends 20 s from now on eBay's clock
//   dbl.addAuction(a);
//   dbl.script(EbayDouble::Rule(HostConfig::BidPage).whereQuery("mode=1").delayed(300));
//   ... drive the program ...
//   QVERIFY(dbl.waitForRequest([](const EbayDouble::Request& r) {
//       return r.command() == "MakeQuickBid" && r.queryValue("mode") == "1"; }));
//   QCOMPARE(dbl.bids("110000000001").last().verdict, QString("CONFIRMBID"));
class EbayDouble : public QObject
{
    Q_OBJECT

public:
    // ----- catalogue -------------------------------------------------------

    enum class Reserve {
        None,   // "ReserveMet" left out: no reserve
        NotMet, // "ReserveMet": false
        Met,    // "ReserveMet": true
        Null    // "ReserveMet": null
    };

    // Where the ViewItem page puts the postage cost.
    enum class ShippingForm {
        SpanCost,     // <span id="fshippingCost" class="notranslate sh-cst "><span>TEXT</span>
        SpanFreeCost, // <span id="fshippingCost" class="notranslate sh-fr-cst "><span>TEXT</span>
        DivDetails,   // <div class="sh-ShipDtls sh_Prcpad">TEXT</div>
        ServiceCost, // <span class="vi-is1-sh-srvcCost vi-is1-hideElem vi-is1-showElem">TEXT</span>
        None         // no cost marker at all
    };

    // Answer to the quick-bid form request (MakeQuickBid, mode 0).
    enum class JsonStep1 {
        Tokens,   // a form with hidden stok, key and uiid inputs
        Redirect, // a page that sends the browser elsewhere (window.parent.location)
        BidError  // the bid-error page (PageViewBids_MakeBidError")
    };

    // Answer to the quick-bid confirmation (MakeQuickBid, mode 1, f=json).
    enum class JsonStep2 {
        Confirm,            // {"Status":"CONFIRMBID",...}
        Error,              // {"Error":jsonError}
        Redirect,           // {"Error":"REDIRECT","DebugError":[debugError]}
        RedirectEmptyDebug, // {"Error":"REDIRECT","DebugError":[]}
        RedirectNoDebug,    // {"Error":"REDIRECT"}
        EmptyObject,        // {}
        NotJson             // an HTML page
    };

    // Answer to the bid form request (MakeBid).
    enum class HtmlStep1 {
        NameFirst,  // <input type="hidden" name="stok" value="...">
        ValueFirst, // <input type="hidden" value="..." name="stok">
        NoTokens    // a page without the form
    };

    // Answer to the bid form confirmation (MfcISAPICommand=MakeBid).
    enum class HtmlStep2 {
        Confirmation,  // "Bid confirmation"
        LowBid,        // "Enter GBP x.xx or more"
        Ended,         // "Bidding has ended on this item."
        Unable,        // "You are unable to bid on or buy this item because: ... You ...."
        UnablePostage, // the same, the reason naming the primary postage address
        Unrecognised   // none of the phrases
    };

    struct Auction
    {
        QString itemNumber;
        QString title = QStringLiteral("Test auction");
        QString currency = QStringLiteral("GBP");
        double currentPrice = 10.0;
        double minimumToBid = 10.5;
        int bidCount = 0;
        QDateTime endTime; // on the official clock, UTC; invalid: one hour after it is added
        QString listingType = QStringLiteral("Chinese");
        QString seller = QStringLiteral("test_seller");
        int feedbackScore = 1234;
        double positiveFeedbackPercent = 99.5; // below 0: left out of the reply
        Reserve reserve = Reserve::None;

        // ViewItemLite: the viewer's relation ("NONE", "HIGHBIDDER", "OUTBIDDER",
        // anything); a null text leaves the key out; relationError answers
        // with an "Error" object instead.
        QString viewerRelation = QStringLiteral("NONE");
        bool relationError = false;

        ShippingForm shippingForm = ShippingForm::SpanCost;
        QString shippingText = QStringLiteral("\u00a33.50"); // as the page shows it

        // Bid answers. A step 2 that arrives after the end time on the official
        // clock is answered "ended" whatever is set here; one whose tokens
        // differ from those of the last step-1 page served for the item is
        // answered {"Error":"INVALID_TOKEN"} (JSON) or an unrecognised page
        // (HTML). A step 2 answered Confirm/Confirmation counts as a placed
        // bid: bidCount grows and viewerRelation becomes relationAfterBid.
        JsonStep1 jsonStep1 = JsonStep1::Tokens;
        JsonStep2 jsonStep2 = JsonStep2::Confirm;
        QString jsonError = QStringLiteral("BID_TOO_LOW");
        QString debugError = QStringLiteral("Please sign in again.");
        HtmlStep1 htmlStep1 = HtmlStep1::NameFirst;
        HtmlStep2 htmlStep2 = HtmlStep2::Confirmation;
        QString unableReason = QStringLiteral("You are not registered to bid on this site.");
        QString relationAfterBid = QStringLiteral("HIGHBIDDER");
        // Tokens the step-1 pages carry; empty: made from the item number
        // (they hold a space and a slash, so that encoding faults show).
        QString stok, key, uiid;
        // The step-1 pages break each token value in the middle with a line
        // break (CR LF in the quick-bid form, LF in the bid form), as eBay
        // wraps its markup; step 2 expects the tokens without the break.
        bool wrapTokens = false;
    };

    // One bid confirmation (step 2 of either flow) as the double answered it.
    struct Bid
    {
        QString itemNumber;
        QString flow; // "json" or "html"
        double amount = 0.0;
        QString user;    // the "user" parameter of the HTML flow
        QString verdict; // "CONFIRMBID", the error word, "ENDED", "INVALID_TOKEN", ...
        QDateTime officialTime;
        qint64 monotonicUs = 0;
    };

    // ----- request log -----------------------------------------------------

    struct Request
    {
        int sequence = 0; // 1, 2, ... in order of arrival
        HostConfig::Role role = HostConfig::ShoppingApi;
        QString domain; // the site the port stands for ("" for site-less roles)
        quint16 port = 0;
        bool tls = false;
        QByteArray method;   // "GET", "POST"
        QString path;        // decoded path, "/ws/eBayISAPI.dll"
        QByteArray rawQuery; // exactly as received, without "?"
        // Split at "&" and at the first "=", percent-decoded ("+" stays "+");
        // a key without "=" has a null value here.
        QList<QPair<QString, QString>> queryItems;
        QList<QPair<QByteArray, QByteArray>> headers; // as received, in order
        QByteArray body;
        QDateTime officialTime; // arrival on the official clock (ms)
        qint64 monotonicUs = 0; // arrival on the monotonic clock, see monotonicNowUs()
        QString signedInUser;   // whose session cookie came with it, "" for none

        bool hasQueryKey(const QString& key) const;
        QString queryValue(const QString& key) const;    // first value, null when absent
        QByteArray header(const QByteArray& name) const; // case-insensitive; null when absent
        // The body read as a form (same decoding as the query).
        QList<QPair<QString, QString>> formItems() const;
        QString formValue(const QString& key) const;
        // The operation asked for: the "callname" of a Shopping API call, the
        // first query key of an eBayISAPI.dll request ("SignIn", "ViewItemLite",
        // "MakeQuickBid", "MakeBid", "MyEbayBeta"), the MfcISAPICommand value
        // ("MakeBid") or form command ("SignInWelcome"); else the path.
        QString command() const;
    };

    // ----- scripting -------------------------------------------------------

    // A scripted answer for the requests it matches (role, site domain,
    // method, texts in the path and in the raw query; unset parts match
    // anything). Rules are tried in the order added; the first that matches
    // and has uses left applies. Fluent:
    //   dbl.script(EbayDouble::Rule(HostConfig::ShoppingApi)
    //                  .whereQuery("GetMultipleItems").delayed(800).withStatus(500));
    struct Rule
    {
        enum class Action {
            Answer,    // the normal answer, or status/body as set below
            Hang,      // read the request, never answer, keep the connection open
            Close,     // read the request, close the connection without answer
            Malformed, // status 200 with a truncated, unreadable body
            Trickle,   // the answer's head at once, then its body a byte every 100 ms
            Endless    // the head without a length, then the body again and again, as
                       // fast as the client reads, until it goes
        };

        Rule() = default;
        explicit Rule(HostConfig::Role r) : role(static_cast<int>(r)) {}

        Rule& whereDomain(const QString& d)
        {
            domain = d;
            return *this;
        }
        Rule& whereMethod(const QByteArray& m)
        {
            method = m;
            return *this;
        }
        Rule& wherePath(const QString& text)
        {
            pathContains = text;
            return *this;
        }
        Rule& whereQuery(const QString& text)
        {
            queryContains = text;
            return *this;
        }
        Rule& once()
        {
            uses = 1;
            return *this;
        }
        Rule& times(int n)
        {
            uses = n;
            return *this;
        }
        Rule& always()
        {
            uses = -1;
            return *this;
        }
        Rule& delayed(int ms)
        {
            delayMs = ms;
            return *this;
        }
        Rule& withStatus(int code)
        {
            status = code;
            return *this;
        }
        Rule& withBody(const QByteArray& bytes,
                       const QByteArray& type = QByteArrayLiteral("text/html; charset=utf-8"))
        {
            body = bytes;
            contentType = type;
            customBody = true;
            return *this;
        }
        Rule& hang()
        {
            action = Action::Hang;
            return *this;
        }
        Rule& close()
        {
            action = Action::Close;
            return *this;
        }
        Rule& malformed()
        {
            action = Action::Malformed;
            return *this;
        }
        Rule& trickled()
        {
            action = Action::Trickle;
            return *this;
        }
        Rule& endless()
        {
            action = Action::Endless;
            return *this;
        }
        // A further header line of the answer ("Content-Encoding", "gzip").
        Rule& withHeader(const QByteArray& name, const QByteArray& value)
        {
            headers.append({name, value});
            return *this;
        }

        int role = -1; // -1: any role
        QString domain;
        QByteArray method;
        QString pathContains;
        QString queryContains; // searched in the raw query, case-sensitive
        int uses = 1;          // uses left; -1 for always
        int delayMs = 0;       // before answering (or closing)
        Action action = Action::Answer;
        int status = 0; // 0: the normal status (200); other: that status with a short page
        bool customBody = false;
        QByteArray body;
        QByteArray contentType;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    // head, padding spaces and tail as a gzip stream about a thousandth of
    // their size: what a hostile host sends as "Content-Encoding: gzip", or
    // as a packed drawing.
    static QByteArray gzipped(const QByteArray& head, qint64 padding,
                              const QByteArray& tail = QByteArray());

    struct Options
    {
        // Written to the override file: the time-out of every request.
        int transferTimeoutMs = 10000;
        // The SMTP relay in the override file; port 1 refuses at once.
        QString smtpHost = QStringLiteral("127.0.0.1");
        int smtpPort = 1;
        // The official time at start; invalid: the system's UTC time.
        QDateTime officialTime;
        // Whether to point KESTROVA_HOSTS at the double's file and reload.
        bool install = true;
    };

    EbayDouble();
    explicit EbayDouble(const Options& options);
    ~EbayDouble() override;
    EbayDouble(const EbayDouble&) = delete;
    EbayDouble& operator=(const EbayDouble&) = delete;

    // False when the server could not start (see errorString()).
    bool isRunning() const;
    QString errorString() const;

    // ----- where it listens ------------------------------------------------

    QString hostsFilePath() const;
    QString caCertificatePath() const;
    // The port of the role for that site domain (site-less roles ignore it;
    // an empty domain gives the home site's port).
    quint16 port(HostConfig::Role role, const QString& domain = QString()) const;
    // Rewrites the override file with another transfer time-out and reloads.
    void setTransferTimeoutMs(int ms);

    // Stops listening on every port of the role (connections are then
    // refused) and drops its open connections; false listens again on the
    // same ports.
    void refuse(HostConfig::Role role, bool refusing = true);

    // ----- official eBay time ----------------------------------------------

    // The official time now; it advances on the monotonic clock.
    QDateTime officialTime() const;
    // officialTime() + ms, for end times: officialTimeIn(20000) ends in 20 s.
    QDateTime officialTimeIn(qint64 ms) const;
    // From now on the official time starts at t and advances in real time.
    void setOfficialTime(const QDateTime& t);
    // Holds the official time at t until setOfficialTime (exact timestamps).
    void freezeOfficialTime(const QDateTime& t);
    // Moves the official time by ms (negative: back).
    void shiftOfficialTime(qint64 ms);

    // The monotonic clock of Request::monotonicUs and Bid::monotonicUs
    // (std::chrono::steady_clock, microseconds).
    static qint64 monotonicNowUs();

    // ----- catalogue -------------------------------------------------------

    void addAuction(const Auction& auction); // replaces one with the same number
    void removeAuction(const QString& itemNumber);
    void updateAuction(const QString& itemNumber, const std::function<void(Auction&)>& change);
    Auction auction(const QString& itemNumber) const; // empty number when absent
    QList<Auction> auctions() const;
    // The tokens step-1 pages of this item carry.
    QString stokFor(const QString& itemNumber) const;
    QString keyFor(const QString& itemNumber) const;
    QString uiidFor(const QString& itemNumber) const;

    QList<Bid> bids() const;
    QList<Bid> bids(const QString& itemNumber) const;

    // ----- sign-in, My eBay, maker -----------------------------------------

    // Accounts the sign-in accepts. With none added, any user id with a
    // non-empty password is accepted.
    void addAccount(const QString& user, const QString& password);
    // When set, bid and My eBay pages answer as to a stranger unless the
    // request carries a session cookie: quick-bid step 1 a redirect page,
    // step 2 {"Error":"REDIRECT","DebugError":["Not signed in"]}, bid form
    // and print views a sign-in page (no tokens, no item links).
    void setRequireSignIn(bool required);
    static QByteArray sessionCookieName(); // set by an accepted sign-in
    static QByteArray visitCookieName();   // set by the sign-in page (step 1)
    // The user ids of accepted sign-ins, in order, with their site ids.
    QList<QPair<QString, int>> signIns() const;

    // Item numbers on the watching and bidding lists' print views, in page
    // order. A print view shows 25 items until the list's items-per-page
    // request has set 200.
    void setWatchingList(const QStringList& itemNumbers);
    void setBiddingList(const QStringList& itemNumbers);
    int itemsPerPage(int container) const; // 240 watching, 312 bidding

    // The version "/version.xml" publishes between <Kestrova4Ver> tags.
    void setPublishedVersion(const QString& version);
    // The picture every "/pict/<number>.jpg" answers with (a JPEG).
    QByteArray thumbnail() const;

    // ----- log and scripts ---------------------------------------------------

    QList<Request> requests() const;
    QList<Request> requests(HostConfig::Role role) const;
    QList<Request> requests(const std::function<bool(const Request&)>& match) const;
    int requestCount() const;
    void clearLog();

    // Waits, running this thread's event loop, until the log holds at least
    // count requests (or one matching request); false on time-out.
    bool waitForRequests(int count, int timeoutMs = 5000);
    bool waitForRequest(const std::function<bool(const Request&)>& match, int timeoutMs = 5000);

    void script(const Rule& rule);
    void clearScripts();

signals:
    // Queued to the double's own thread (the one that made it) per request.
    void requestLogged(int sequence);

private:
    void start(const Options& options);
    bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
    bool makeCertificates();
    void writeHostsFile();

    std::shared_ptr<EbayDoubleState> m_state;
    QTemporaryDir m_dir;
    QThread* m_thread = nullptr;
    EbayDoubleServer* m_server = nullptr;
    Options m_options;
    QByteArray m_previousHosts;
    bool m_hadPreviousHosts = false;
    QString m_error;
};

#endif // EBAYDOUBLE_H
