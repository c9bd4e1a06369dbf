#include "ebaydoubleserver.h"

#include <QHostAddress>
#include <QMutexLocker>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

namespace {

// Per connection: what has arrived so far.
struct Pending
{
    QByteArray buffer;
    bool handled = false;
};

QList<QPair<QString, QString>> splitItems(const QByteArray& text)
{
    QList<QPair<QString, QString>> items;
    if (text.isEmpty())
        return items;
    for (const QByteArray& part : text.split('&')) {
        const int equals = part.indexOf('=');
        if (equals < 0) {
            items.append({QUrl::fromPercentEncoding(part), QString()});
        } else {
            QString value = QUrl::fromPercentEncoding(part.mid(equals + 1));
            if (value.isNull())
                value = QStringLiteral("");
            items.append({QUrl::fromPercentEncoding(part.left(equals)), value});
        }
    }
    return items;
}

bool ruleMatches(const EbayDouble::Rule& rule, const EbayDouble::Request& request)
{
    if (rule.uses == 0)
        return false;
    if (rule.role >= 0 && rule.role != static_cast<int>(request.role))
        return false;
    if (!rule.domain.isEmpty() && rule.domain != request.domain)
        return false;
    if (!rule.method.isEmpty() && rule.method != request.method)
        return false;
    if (!rule.pathContains.isEmpty() && !request.path.contains(rule.pathContains))
        return false;
    if (!rule.queryContains.isEmpty() &&
        !QString::fromLatin1(request.rawQuery).contains(rule.queryContains))
        return false;
    return true;
}

} // namespace

EbayDoubleListener::EbayDoubleListener(const EbayDoubleState::Endpoint& endpoint_,
                                       const QSslCertificate& certificate, const QSslKey& key,
                                       QObject* parent)
    : QTcpServer(parent), endpoint(endpoint_), m_certificate(certificate), m_key(key)
{
}

void EbayDoubleListener::incomingConnection(qintptr descriptor)
{
    if (!endpoint.tls) {
        QTcpServer::incomingConnection(descriptor);
        return;
    }
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    socket->setLocalCertificate(m_certificate);
    socket->setPrivateKey(m_key);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    addPendingConnection(socket);
    socket->startServerEncryption();
}

EbayDoubleServer::EbayDoubleServer(std::shared_ptr<EbayDoubleState> state,
                                   const QSslCertificate& certificate, const QSslKey& key)
    : m_state(std::move(state)), m_certificate(certificate), m_key(key)
{
}

bool EbayDoubleServer::listenAll(const QList<QPair<int, QString>>& endpoints)
{
    QList<EbayDoubleState::Endpoint> bound;
    for (const auto& wanted : endpoints) {
        EbayDoubleState::Endpoint endpoint;
        endpoint.role = static_cast<HostConfig::Role>(wanted.first);
        endpoint.domain = wanted.second;
        endpoint.tls = endpoint.role == HostConfig::SignIn;
        auto* listener = new EbayDoubleListener(endpoint, m_certificate, m_key, this);
        if (!listener->listen(QHostAddress::LocalHost, 0)) {
            m_error = listener->errorString();
            return false;
        }
        listener->endpoint.port = listener->serverPort();
        connect(listener, &QTcpServer::newConnection, this, [this, listener] { accept(listener); });
        m_listeners.append(listener);
        bound.append(listener->endpoint);
    }
    QMutexLocker lock(&m_state->mutex);
    m_state->endpoints = bound;
    return true;
}

void EbayDoubleServer::setRefusing(int role, bool refusing)
{
    for (EbayDoubleListener* listener : qAsConst(m_listeners)) {
        if (static_cast<int>(listener->endpoint.role) != role)
            continue;
        if (refusing) {
            listener->close();
            const QList<QTcpSocket*> open = listener->findChildren<QTcpSocket*>();
            for (QTcpSocket* socket : open)
                socket->abort();
        } else if (!listener->isListening()) {
            if (!listener->listen(QHostAddress::LocalHost, listener->endpoint.port))
                qWarning() << "The eBay double cannot listen again on port"
                           << listener->endpoint.port << listener->errorString();
        }
    }
}

void EbayDoubleServer::shutdown()
{
    for (EbayDoubleListener* listener : qAsConst(m_listeners)) {
        listener->close();
        const QList<QTcpSocket*> open = listener->findChildren<QTcpSocket*>();
        for (QTcpSocket* socket : open)
            socket->abort();
    }
    qDeleteAll(m_listeners);
    m_listeners.clear();
}

void EbayDoubleServer::accept(EbayDoubleListener* listener)
{
    while (QTcpSocket* socket = listener->nextPendingConnection()) {
        socket->setParent(listener);
        const EbayDoubleState::Endpoint endpoint = listener->endpoint;
        auto pending = std::make_shared<Pending>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, endpoint, pending] {
            if (pending->handled) {
                socket->readAll();
                return;
            }
            pending->buffer += socket->readAll();
            const int headerEnd = pending->buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0)
                return;
            const QList<QByteArray> lines = pending->buffer.left(headerEnd).split('\n');
            EbayDouble::Request request;
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            const QByteArray target = requestLine.value(1);
            qint64 contentLength = 0;
            for (int i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines.at(i).trimmed();
                const int colon = line.indexOf(':');
                if (colon <= 0)
                    continue;
                const QByteArray name = line.left(colon).trimmed();
                const QByteArray value = line.mid(colon + 1).trimmed();
                request.headers.append({name, value});
                if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                    contentLength = value.toLongLong();
            }
            const QByteArray body = pending->buffer.mid(headerEnd + 4);
            if (body.size() < contentLength)
                return;
            pending->handled = true;
            request.body = body.left(int(contentLength));
            const int question = target.indexOf('?');
            request.path = QUrl::fromPercentEncoding(question < 0 ? target : target.left(question));
            request.rawQuery = question < 0 ? QByteArray() : target.mid(question + 1);
            request.queryItems = splitItems(request.rawQuery);
            request.role = endpoint.role;
            request.domain = endpoint.domain;
            request.port = endpoint.port;
            request.tls = endpoint.tls;
            handle(socket, request);
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void EbayDoubleServer::handle(QTcpSocket* socket, EbayDouble::Request request)
{
    request.monotonicUs = EbayDouble::monotonicNowUs();
    EbayDouble::Rule rule;
    bool scripted = false;
    {
        QMutexLocker lock(&m_state->mutex);
        request.sequence = m_state->nextSequence++;
        request.officialTime = m_state->officialNow();
        const QByteArray cookies = request.header("Cookie");
        for (const QByteArray& cookie : cookies.split(';')) {
            const QByteArray pair = cookie.trimmed();
            const QByteArray prefix = EbayDouble::sessionCookieName() + '=';
            if (pair.startsWith(prefix))
                request.signedInUser = m_state->sessions.value(pair.mid(prefix.size()));
        }
        m_state->log.append(request);
        for (EbayDouble::Rule& candidate : m_state->rules) {
            if (ruleMatches(candidate, request)) {
                if (candidate.uses > 0)
                    --candidate.uses;
                rule = candidate;
                scripted = true;
                break;
            }
        }
    }
    emit requestLogged(request.sequence);

    if (scripted && rule.action == EbayDouble::Rule::Action::Hang)
        return;
    if (scripted && rule.delayMs > 0) {
        QTimer::singleShot(rule.delayMs, Qt::PreciseTimer, socket,
                           [this, socket, request, rule] { respond(socket, request, rule, true); });
        return;
    }
    respond(socket, request, rule, scripted);
}

void EbayDoubleServer::respond(QTcpSocket* socket, const EbayDouble::Request& request,
                               const EbayDouble::Rule& rule, bool scripted)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (scripted && rule.action == EbayDouble::Rule::Action::Close) {
        socket->abort();
        return;
    }
    EbayDoubleResponse response;
    if (scripted && rule.action == EbayDouble::Rule::Action::Malformed) {
        response.contentType = QByteArrayLiteral("application/json");
        response.body = QByteArrayLiteral("{\"Timestamp\":\"20\x01\x02<html><body");
    } else if (scripted && (rule.customBody || rule.status != 0)) {
        response.status = rule.status != 0 ? rule.status : 200;
        if (rule.customBody) {
            response.body = rule.body;
            response.contentType = rule.contentType;
        } else {
            response.body = "<html><body><h1>" + EbayDoublePages::reasonPhrase(response.status) +
                            "</h1></body></html>";
        }
    } else {
        response = EbayDoublePages::answer(*m_state, request);
    }
    if (scripted)
        response.headers += rule.headers;
    if (scripted && rule.action == EbayDouble::Rule::Action::Endless) {
        endless(socket, response);
        return;
    }
    const QByteArray answer = EbayDoublePages::serialise(response);
    if (scripted && rule.action == EbayDouble::Rule::Action::Trickle) {
        int sent = answer.size() - response.body.size();
        socket->write(answer.left(sent));
        auto* trickle = new QTimer(socket);
        connect(trickle, &QTimer::timeout, socket, [socket, trickle, answer, sent]() mutable {
            socket->write(answer.mid(sent++, 1));
            if (sent < answer.size())
                return;
            trickle->stop();
            socket->disconnectFromHost();
        });
        trickle->start(100);
        return;
    }
    socket->write(answer);
    socket->disconnectFromHost();
}

void EbayDoubleServer::endless(QTcpSocket* socket, EbayDoubleResponse response)
{
    const QByteArray body = response.body.isEmpty() ? QByteArrayLiteral(" ") : response.body;
    response.body.clear();
    socket->write(EbayDoublePages::serialise(response, false));
    // A few chunks queued at a time: the double's own memory stays small
    // however long the client reads.
    const QByteArray chunk = body.repeated(qMax(1, 65536 / body.size()));
    const auto feed = [socket, chunk] {
        while (socket->state() == QAbstractSocket::ConnectedState &&
               socket->bytesToWrite() < 4 * chunk.size())
            socket->write(chunk);
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, feed);
    feed();
}
