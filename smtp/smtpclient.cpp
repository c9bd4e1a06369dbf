#include "smtpclient.h"

#include "emailaddress.h"
#include "mimemessage.h"

#include <QDeadlineTimer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QtDebug>

namespace {

int replyCode(const QByteArray& line)
{
    if (line.size() < 3)
        return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        const char c = line.at(i);
        if (c < '0' || c > '9')
            return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

// A reply ends with a line whose code is followed by a blank, or by nothing.
bool endsReply(const QByteArray& line)
{
    int length = line.size();
    while (length > 0 && (line.at(length - 1) == '\n' || line.at(length - 1) == '\r'))
        --length;
    return length == 3 || (length >= 4 && line.at(3) == ' ');
}

// Data transparency: every line end becomes CR LF (a lone LF or CR could
// otherwise let a line "." end the data early at a lenient server), and a
// line that begins with "." gets one more in front.
QByteArray transparentData(const QByteArray& text)
{
    QByteArray out;
    out.reserve(text.size() + text.size() / 32 + 8);
    bool lineStart = true;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            out += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.')
            out += '.';
        out += c;
        lineStart = false;
    }
    return out;
}

bool holdsLineBreak(const QString& text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

} // namespace

SmtpClient::SmtpClient(const QString& host, int port, ConnectionType connectionType)
    : host(host), port(port), connectionType(connectionType)
{
    setConnectionType(connectionType);
}

SmtpClient::~SmtpClient() = default;

void SmtpClient::setConnectionType(ConnectionType ct)
{
    connectionType = ct;
    switch (ct) {
    case PlainConnection:
        socket = new QTcpSocket(this);
        break;
    case SslConnection:
    case StartTlsConnection:
        socket = new QSslSocket(this);
        break;
    default:
        socket = nullptr;
        return;
    }
    connect(socket, &QAbstractSocket::stateChanged, this, &SmtpClient::socketStateChanged);
    connect(socket, &QAbstractSocket::errorOccurred, this, &SmtpClient::socketError);
    connect(socket, &QIODevice::readyRead, this, &SmtpClient::socketReadyRead);
}

bool SmtpClient::connectToHost()
{
    if (!socket) {
        emit smtpError(ConnectTimeoutError);
        return false;
    }
    if (connectionType == SslConnection)
        static_cast<QSslSocket*>(socket)->connectToHostEncrypted(
            host, static_cast<quint16>(port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    else
        socket->connectToHost(host, static_cast<quint16>(port), QIODevice::ReadWrite,
                              QAbstractSocket::AnyIPProtocol);

    if (!socket->waitForConnected(connectionTimeout)) {
        emit smtpError(ConnectTimeoutError);
        return false;
    }

    try {
        if (!sendCommand(QString(), 220))
            return false;
        if (!sendCommand(QStringLiteral("EHLO ") + name, 250))
            return false;
        if (connectionType != StartTlsConnection)
            return true;
        if (!sendCommand(QStringLiteral("STARTTLS"), 220))
            return false;
        auto* ssl = static_cast<QSslSocket*>(socket);
        ssl->startClientEncryption();
        if (!ssl->waitForEncrypted(connectionTimeout)) {
            qDebug() << ssl->errorString();
            return false;
        }
        return sendCommand(QStringLiteral("EHLO ") + name, 250);
    } catch (const ResponseTimeoutException&) {
        return false;
    }
}

// Sends the command (none for an empty text, to read the greeting) and reads
// the reply; a code other than the expected one is a server reply error.
bool SmtpClient::sendCommand(const QString& command, int expectedCode)
{
    if (!command.isEmpty())
        sendMessage(command);
    waitForResponse();
    if (responseCode != expectedCode) {
        emit smtpError(ServerReplyError);
        return false;
    }
    return true;
}

bool SmtpClient::login()
{
    return login(user, password, authMethod);
}

bool SmtpClient::login(const QString& user, const QString& password, AuthMethod method)
{
    try {
        if (method == AuthPlain) {
            QByteArray message;
            message.append('\0').append(user.toUtf8()).append('\0').append(password.toUtf8());
            sendMessage(QStringLiteral("AUTH PLAIN ") + QString::fromLatin1(message.toBase64()));
            waitForResponse();
            if (responseCode != 235) {
                emit smtpError(AuthFailedError);
                return false;
            }
            return true;
        }
        if (method == AuthLogin) {
            sendMessage(QStringLiteral("AUTH LOGIN"));
            waitForResponse();
            if (responseCode != 334) {
                emit smtpError(AuthFailedError);
                return false;
            }
            sendMessage(QString::fromLatin1(user.toUtf8().toBase64()));
            waitForResponse();
            if (responseCode != 334) {
                emit smtpError(AuthFailedError);
                return false;
            }
            sendMessage(QString::fromLatin1(password.toUtf8().toBase64()));
            waitForResponse();
            if (responseCode != 235) {
                emit smtpError(AuthFailedError);
                return false;
            }
            return true;
        }
        return true;
    } catch (const ResponseTimeoutException&) {
        emit smtpError(AuthFailedError);
        return false;
    }
}

bool SmtpClient::sendMail(MimeMessage& email)
{
    const EmailAddress* sender = email.getSender();
    if (!sender)
        return false;
    QList<EmailAddress*> recipients = email.getRecipients(MimeMessage::ToRecipient);
    recipients += email.getRecipients(MimeMessage::CcRecipient);
    recipients += email.getRecipients(MimeMessage::BccRecipient);

    // An address with a line break would smuggle a command of its own into
    // the envelope: such a mail is not offered at all.
    if (holdsLineBreak(sender->getAddress()))
        return false;
    for (const EmailAddress* rcpt : qAsConst(recipients))
        if (holdsLineBreak(rcpt->getAddress()))
            return false;

    try {
        sendMessage(QStringLiteral("MAIL FROM: <") + sender->getAddress() + QLatin1Char('>'));
        waitForResponse();
        if (responseCode != 250)
            return false;

        for (const EmailAddress* rcpt : qAsConst(recipients)) {
            sendMessage(QStringLiteral("RCPT TO: <") + rcpt->getAddress() + QLatin1Char('>'));
            waitForResponse();
            if (responseCode != 250)
                return false;
        }

        sendMessage(QStringLiteral("DATA"));
        waitForResponse();
        if (responseCode != 354)
            return false;

        if (socket && socket->isWritable())
            socket->write(transparentData(email.toString().toUtf8()) + "\r\n");
        sendMessage(QStringLiteral("."));
        waitForResponse();
        return responseCode == 250;
    } catch (const ResponseTimeoutException&) {
        return false;
    }
}

void SmtpClient::quit()
{
    if (!socket)
        return;
    sendMessage(QStringLiteral("QUIT"));
    // The socket writes only while someone waits on it, and nobody reads the
    // reply to QUIT: push the command out before the socket goes away.
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    socket->flush();
    const QDeadlineTimer deadline(responseTimeout);
    while (socket->bytesToWrite() > 0 && !deadline.hasExpired() &&
           socket->waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
    }
}

void SmtpClient::waitForResponse()
{
    if (!socket) {
        emit smtpError(ResponseTimeoutError);
        throw ResponseTimeoutException();
    }
    // One deadline for the whole reply: a server that trickles continuation
    // lines must not hold the caller beyond the time-out.
    const QDeadlineTimer deadline(responseTimeout, Qt::PreciseTimer);
    for (;;) {
        // Lines already received (a pipelined reply, or the rest of the
        // read that ended the previous reply) are taken before waiting.
        while (socket->canReadLine()) {
            const QByteArray line = socket->readLine();
            responseText = QString::fromUtf8(line);
            responseCode = replyCode(line);
            if (responseCode >= 400 && responseCode <= 499)
                emit smtpError(ServerReplyError);
            else if (responseCode >= 500 && responseCode <= 599)
                emit smtpError(PermanentReplyError);
            if (endsReply(line))
                return;
        }
        if (deadline.hasExpired() ||
            !socket->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            emit smtpError(ResponseTimeoutError);
            throw ResponseTimeoutException();
        }
    }
}

void SmtpClient::sendMessage(const QString& text)
{
    // After the server hung up the socket is closed; the reply wait that
    // follows fails at once.
    if (socket && socket->isWritable())
        socket->write(text.toUtf8() + "\r\n");
}

void SmtpClient::socketStateChanged(QAbstractSocket::SocketState /*state*/) {}

void SmtpClient::socketError(QAbstractSocket::SocketError /*error*/) {}

void SmtpClient::socketReadyRead() {}
