#include "ebaydouble.h"

#include "ebaydoubleserver.h"
#include "sites.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <zlib.h>

namespace {

QByteArray makeThumbnail()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(QColor(0x2a, 0x6f, 0xb0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG"))
        image.save(&buffer, "PNG");
    return bytes;
}

// The roles whose host the program picks by site; they get a port per site.
bool perSite(HostConfig::Role role)
{
    return role == HostConfig::SignIn || role == HostConfig::BidPage ||
           role == HostConfig::ItemPage;
}

QList<QPair<QString, QString>> splitForm(const QByteArray& text)
{
    QList<QPair<QString, QString>> items;
    if (text.isEmpty())
        return items;
    for (const QByteArray& part : text.split('&')) {
        const int equals = part.indexOf('=');
        if (equals < 0)
            items.append({QUrl::fromPercentEncoding(part), QString()});
        else
            items.append({QUrl::fromPercentEncoding(part.left(equals)),
                          QUrl::fromPercentEncoding(part.mid(equals + 1))});
    }
    return items;
}

QString firstValue(const QList<QPair<QString, QString>>& items, const QString& key)
{
    for (const auto& item : items) {
        if (item.first == key)
            return item.second.isNull() ? QStringLiteral("") : item.second;
    }
    return QString();
}

} // namespace

// ----- Request -------------------------------------------------------------

bool EbayDouble::Request::hasQueryKey(const QString& key) const
{
    for (const auto& item : queryItems) {
        if (item.first == key)
            return true;
    }
    return false;
}

QString EbayDouble::Request::queryValue(const QString& key) const
{
    return firstValue(queryItems, key);
}

QByteArray EbayDouble::Request::header(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return QByteArray();
}

QList<QPair<QString, QString>> EbayDouble::Request::formItems() const
{
    return splitForm(body);
}

QString EbayDouble::Request::formValue(const QString& key) const
{
    return firstValue(formItems(), key);
}

QString EbayDouble::Request::command() const
{
    if (path == QLatin1String("/shopping"))
        return queryValue(QStringLiteral("callname"));
    if (path.compare(QLatin1String("/ws/eBayISAPI.dll"), Qt::CaseInsensitive) != 0)
        return path;
    const QString form = formValue(QStringLiteral("MfcISAPICommand"));
    if (!form.isEmpty())
        return form;
    if (queryItems.isEmpty())
        return path;
    if (queryItems.first().first == QLatin1String("MfcISAPICommand"))
        return queryItems.first().second;
    return queryItems.first().first;
}

// ----- state ---------------------------------------------------------------

QDateTime EbayDoubleState::officialNow() const
{
    if (frozen)
        return officialBase;
    return officialBase.addMSecs((EbayDouble::monotonicNowUs() - officialBaseUs) / 1000);
}

// ----- EbayDouble ------------------------------------------------------------

EbayDouble::EbayDouble() : EbayDouble(Options()) {}

EbayDouble::EbayDouble(const Options& options) : m_state(std::make_shared<EbayDoubleState>())
{
    start(options);
}

EbayDouble::~EbayDouble()
{
    if (m_server) {
        QMetaObject::invokeMethod(
            m_server, [this] { m_server->shutdown(); }, Qt::BlockingQueuedConnection);
        m_thread->quit();
        m_thread->wait();
        delete m_server;
        delete m_thread;
    }
    if (m_options.install) {
        if (m_hadPreviousHosts)
            qputenv(HostConfig::OverrideVariable, m_previousHosts);
        else
            qunsetenv(HostConfig::OverrideVariable);
        HostConfig::reload();
    }
}

void EbayDouble::start(const Options& options)
{
    m_options = options;
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->officialBase = options.officialTime.isValid() ? options.officialTime.toUTC()
                                                               : QDateTime::currentDateTimeUtc();
        m_state->officialBaseUs = monotonicNowUs();
        m_state->thumbnail = makeThumbnail();
    }
    if (!EbayDoubleCertificates::make(&m_error)) {
        qWarning() << "The eBay double cannot make its certificates:" << m_error;
        return;
    }
    QFile certificateFile(EbayDoubleCertificates::certificatePath());
    QFile keyFile(EbayDoubleCertificates::keyPath());
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read the server certificate");
        return;
    }
    const QSslCertificate certificate(&certificateFile, QSsl::Pem);
    const QSslKey key(&keyFile, QSsl::Ec, QSsl::Pem);

    QList<QPair<int, QString>> wanted;
    for (int role = HostConfig::ShoppingApi; role <= HostConfig::MakerWeb; ++role) {
        if (!perSite(static_cast<HostConfig::Role>(role))) {
            wanted.append({role, QString()});
            continue;
        }
        for (const Site& site : Sites::all())
            wanted.append({role, QString::fromLatin1(site.domain)});
    }

    m_thread = new QThread();
    m_thread->setObjectName(QStringLiteral("ebaydouble"));
    m_server = new EbayDoubleServer(m_state, certificate, key);
    m_server->moveToThread(m_thread);
    connect(m_server, &EbayDoubleServer::requestLogged, this, &EbayDouble::requestLogged,
            Qt::QueuedConnection);
    m_thread->start();
    bool listening = false;
    QMetaObject::invokeMethod(
        m_server, [this, &listening, wanted] { listening = m_server->listenAll(wanted); },
        Qt::BlockingQueuedConnection);
    if (!listening) {
        m_error = m_server->errorString();
        qWarning() << "The eBay double cannot listen:" << m_error;
        return;
    }
    const QString itemAuthority = QStringLiteral("127.0.0.1:%1").arg(port(HostConfig::ItemPage));
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->homeItemAuthority = itemAuthority;
    }
    m_hadPreviousHosts = qEnvironmentVariableIsSet(HostConfig::OverrideVariable);
    m_previousHosts = qgetenv(HostConfig::OverrideVariable);
    writeHostsFile();
}

void EbayDouble::writeHostsFile()
{
    QJsonObject roles;
    QList<EbayDoubleState::Endpoint> endpoints;
    {
        QMutexLocker lock(&m_state->mutex);
        endpoints = m_state->endpoints;
    }
    const QString home = Sites::homeDomain();
    for (const EbayDoubleState::Endpoint& endpoint : endpoints) {
        const QJsonObject entry{{QStringLiteral("scheme"),
                                 endpoint.tls ? QStringLiteral("https") : QStringLiteral("http")},
                                {QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                                {QStringLiteral("port"), endpoint.port}};
        const QString name = HostConfig::roleName(endpoint.role);
        if (endpoint.domain.isEmpty()) {
            roles.insert(name, entry);
            continue;
        }
        roles.insert(name + QLatin1Char('@') + endpoint.domain, entry);
        if (endpoint.domain == home)
            roles.insert(name, entry);
    }
    const QJsonObject root{
        {QStringLiteral("roles"), roles},
        {QStringLiteral("caCertificates"), QJsonArray{caCertificatePath()}},
        {QStringLiteral("transferTimeoutMs"), m_options.transferTimeoutMs},
        {QStringLiteral("smtp"), QJsonObject{{QStringLiteral("host"), m_options.smtpHost},
                                             {QStringLiteral("port"), m_options.smtpPort}}}};
    QFile file(hostsFilePath());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write %1").arg(file.fileName());
        return;
    }
    file.write(QJsonDocument(root).toJson());
    file.close();
    if (m_options.install) {
        qputenv(HostConfig::OverrideVariable, QFile::encodeName(hostsFilePath()));
        HostConfig::reload();
    }
}

bool EbayDouble::isRunning() const
{
    return m_error.isEmpty() && m_server;
}

QString EbayDouble::errorString() const
{
    return m_error;
}

QString EbayDouble::hostsFilePath() const
{
    return m_dir.filePath(QStringLiteral("hosts.json"));
}

QString EbayDouble::caCertificatePath() const
{
    return EbayDoubleCertificates::caPath();
}

quint16 EbayDouble::port(HostConfig::Role role, const QString& domain) const
{
    const QString site = !perSite(role)     ? QString()
                         : domain.isEmpty() ? Sites::homeDomain()
                                            : domain;
    QList<EbayDoubleState::Endpoint> endpoints;
    {
        QMutexLocker lock(&m_state->mutex);
        endpoints = m_state->endpoints;
    }
    for (const EbayDoubleState::Endpoint& endpoint : endpoints) {
        if (endpoint.role == role && endpoint.domain == site)
            return endpoint.port;
    }
    return 0;
}

void EbayDouble::setTransferTimeoutMs(int ms)
{
    m_options.transferTimeoutMs = ms;
    writeHostsFile();
}

void EbayDouble::refuse(HostConfig::Role role, bool refusing)
{
    if (!m_server)
        return;
    QMetaObject::invokeMethod(
        m_server, [this, role, refusing] { m_server->setRefusing(role, refusing); },
        Qt::BlockingQueuedConnection);
}

QDateTime EbayDouble::officialTime() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->officialNow();
}

QDateTime EbayDouble::officialTimeIn(qint64 ms) const
{
    return officialTime().addMSecs(ms);
}

void EbayDouble::setOfficialTime(const QDateTime& t)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->officialBase = t.toUTC();
    m_state->officialBaseUs = monotonicNowUs();
    m_state->frozen = false;
}

void EbayDouble::freezeOfficialTime(const QDateTime& t)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->officialBase = t.toUTC();
    m_state->frozen = true;
}

void EbayDouble::shiftOfficialTime(qint64 ms)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->officialBase = m_state->officialBase.addMSecs(ms);
}

qint64 EbayDouble::monotonicNowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void EbayDouble::addAuction(const Auction& auction)
{
    Auction copy = auction;
    QMutexLocker lock(&m_state->mutex);
    if (!copy.endTime.isValid())
        copy.endTime = m_state->officialNow().addSecs(3600);
    copy.endTime = copy.endTime.toUTC();
    if (!m_state->auctions.contains(copy.itemNumber))
        m_state->auctionOrder.append(copy.itemNumber);
    m_state->auctions.insert(copy.itemNumber, copy);
}

void EbayDouble::removeAuction(const QString& itemNumber)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->auctions.remove(itemNumber);
    m_state->auctionOrder.removeAll(itemNumber);
}

void EbayDouble::updateAuction(const QString& itemNumber,
                               const std::function<void(Auction&)>& change)
{
    QMutexLocker lock(&m_state->mutex);
    auto found = m_state->auctions.find(itemNumber);
    if (found != m_state->auctions.end())
        change(*found);
}

EbayDouble::Auction EbayDouble::auction(const QString& itemNumber) const
{
    QMutexLocker lock(&m_state->mutex);
    Auction empty;
    empty.itemNumber.clear();
    return m_state->auctions.value(itemNumber, empty);
}

QList<EbayDouble::Auction> EbayDouble::auctions() const
{
    QMutexLocker lock(&m_state->mutex);
    QList<Auction> result;
    for (const QString& number : qAsConst(m_state->auctionOrder))
        result << m_state->auctions.value(number);
    return result;
}

QString EbayDouble::stokFor(const QString& itemNumber) const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->tokenFor(itemNumber, 's');
}

QString EbayDouble::keyFor(const QString& itemNumber) const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->tokenFor(itemNumber, 'k');
}

QString EbayDouble::uiidFor(const QString& itemNumber) const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->tokenFor(itemNumber, 'u');
}

QList<EbayDouble::Bid> EbayDouble::bids() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->bids;
}

QList<EbayDouble::Bid> EbayDouble::bids(const QString& itemNumber) const
{
    QList<Bid> result;
    for (const Bid& bid : bids()) {
        if (bid.itemNumber == itemNumber)
            result << bid;
    }
    return result;
}

void EbayDouble::addAccount(const QString& user, const QString& password)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->accounts.append({user, password});
}

void EbayDouble::setRequireSignIn(bool required)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->requireSignIn = required;
}

QByteArray EbayDouble::sessionCookieName()
{
    return QByteArrayLiteral("ebay_session");
}

QByteArray EbayDouble::visitCookieName()
{
    return QByteArrayLiteral("ebay_visit");
}

QList<QPair<QString, int>> EbayDouble::signIns() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->signIns;
}

void EbayDouble::setWatchingList(const QStringList& itemNumbers)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->watching = itemNumbers;
}

void EbayDouble::setBiddingList(const QStringList& itemNumbers)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->bidding = itemNumbers;
}

int EbayDouble::itemsPerPage(int container) const
{
    QMutexLocker lock(&m_state->mutex);
    return container == 240 ? m_state->watchingPerPage : m_state->biddingPerPage;
}

void EbayDouble::setPublishedVersion(const QString& version)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->publishedVersion = version;
}

QByteArray EbayDouble::gzipped(const QByteArray& head, qint64 padding, const QByteArray& tail)
{
    z_stream stream{};
    // 16 + the largest window: a gzip wrapper around the deflate stream.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    QByteArray out;
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    const auto pack = [&](const QByteArray& in, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        stream.avail_in = uInt(in.size());
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.constData(), buffer.size() - int(stream.avail_out));
        } while (stream.avail_out == 0);
    };
    pack(head, Z_NO_FLUSH);
    const QByteArray spaces(1 << 20, ' ');
    for (qint64 left = padding; left > 0; left -= spaces.size())
        pack(left < spaces.size() ? spaces.left(int(left)) : spaces, Z_NO_FLUSH);
    pack(tail, Z_FINISH);
    deflateEnd(&stream);
    return out;
}

QByteArray EbayDouble::thumbnail() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->thumbnail;
}

QList<EbayDouble::Request> EbayDouble::requests() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->log;
}

QList<EbayDouble::Request> EbayDouble::requests(HostConfig::Role role) const
{
    return requests([role](const Request& request) { return request.role == role; });
}

QList<EbayDouble::Request>
EbayDouble::requests(const std::function<bool(const Request&)>& match) const
{
    QList<Request> result;
    for (const Request& request : requests()) {
        if (match(request))
            result << request;
    }
    return result;
}

int EbayDouble::requestCount() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->log.size();
}

void EbayDouble::clearLog()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->log.clear();
}

bool EbayDouble::waitForRequests(int count, int timeoutMs)
{
    return waitUntil([this, count] { return requestCount() >= count; }, timeoutMs);
}

bool EbayDouble::waitForRequest(const std::function<bool(const Request&)>& match, int timeoutMs)
{
    return waitUntil([this, &match] { return !requests(match).isEmpty(); }, timeoutMs);
}

bool EbayDouble::waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (condition())
            return true;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &EbayDouble::requestLogged, &loop, &QEventLoop::quit);
        timer.start(int(qMin<qint64>(left, 50)));
        loop.exec();
    }
}

void EbayDouble::script(const Rule& rule)
{
    QMutexLocker lock(&m_state->mutex);
    m_state->rules.append(rule);
}

void EbayDouble::clearScripts()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->rules.clear();
}
