#include "smtpserverprocess.h"

#include "relayoverride.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <QtDebug>

namespace {
// Debian's aiosmtpd is importable only by the system interpreter.
const char* const SystemPython = "/usr/bin/python3";
} // namespace

SmtpServerProcess::SmtpServerProcess(QObject* parent) : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SmtpServerProcess::readOutput);
}

SmtpServerProcess::~SmtpServerProcess()
{
    stop();
}

bool SmtpServerProcess::start(int timeoutMs)
{
    if (isRunning())
        return true;
    m_port = 0;
    QStringList arguments{QStringLiteral(KESTROVA_SOURCE_DIR "/tests/support/smtpserver.py"),
                          QStringLiteral("--host"),
                          host(),
                          QStringLiteral("--account"),
                          m_account,
                          QStringLiteral("--password"),
                          m_password};
    if (m_tls != Tls::None)
        arguments << QStringLiteral("--tls")
                  << (m_tls == Tls::StartTls ? QStringLiteral("starttls")
                                             : QStringLiteral("implicit"))
                  << QStringLiteral("--cert") << m_certificatePath << QStringLiteral("--key")
                  << m_keyPath;
    m_process.start(QLatin1String(SystemPython), arguments);
    QDeadlineTimer deadline(timeoutMs);
    if (!m_process.waitForStarted(timeoutMs)) {
        qWarning() << "The SMTP server did not start:" << m_process.errorString();
        return false;
    }
    while (m_port == 0 && m_process.state() == QProcess::Running) {
        const int left = static_cast<int>(deadline.remainingTime());
        if (left <= 0 || !m_process.waitForReadyRead(left))
            break;
    }
    if (m_port == 0) {
        qWarning() << "The SMTP server did not report its port";
        stop();
        return false;
    }
    return true;
}

void SmtpServerProcess::setTls(Tls mode, const QString& certificatePath, const QString& keyPath)
{
    m_tls = mode;
    m_certificatePath = certificatePath;
    m_keyPath = keyPath;
}

void SmtpServerProcess::stop()
{
    m_override.reset();
    if (m_process.state() != QProcess::NotRunning) {
        // The server ends when its input closes.
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    m_port = 0;
}

QJsonObject SmtpServerProcess::smtpEntry() const
{
    return RelayOverride::smtpEntry(host(), m_port, m_account);
}

bool SmtpServerProcess::useAsRelay()
{
    if (!isRunning())
        return false;
    m_override.reset(); // the previous configuration comes back first
    m_override = std::make_unique<RelayOverride>(host(), m_port, m_account);
    return m_override->isValid();
}

bool SmtpServerProcess::waitForMessages(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (m_messages.size() < count && m_process.state() == QProcess::Running) {
        const int left = static_cast<int>(deadline.remainingTime());
        if (left <= 0)
            break;
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &SmtpServerProcess::messageReceived, &loop, &QEventLoop::quit);
        connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                &QEventLoop::quit);
        timer.start(left);
        loop.exec();
    }
    return m_messages.size() >= count;
}

void SmtpServerProcess::clear()
{
    m_messages.clear();
    m_authAttempts.clear();
}

void SmtpServerProcess::readOutput()
{
    while (m_process.canReadLine())
        handleLine(m_process.readLine().trimmed());
}

void SmtpServerProcess::handleLine(const QByteArray& line)
{
    const int space = line.indexOf(' ');
    const QByteArray kind = line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
    if (kind == "LISTENING") {
        m_port = rest.toInt();
        return;
    }
    const QJsonObject record = QJsonDocument::fromJson(rest).object();
    if (kind == "AUTH") {
        AuthAttempt attempt;
        attempt.mechanism = record.value(QStringLiteral("mechanism")).toString();
        attempt.login = record.value(QStringLiteral("login")).toString();
        attempt.success = record.value(QStringLiteral("success")).toBool();
        m_authAttempts.append(attempt);
        emit authAttempted();
    } else if (kind == "MESSAGE") {
        Message message;
        message.mailFrom = record.value(QStringLiteral("mailFrom")).toString();
        for (const QJsonValue& value : record.value(QStringLiteral("rcptTos")).toArray())
            message.recipients << value.toString();
        message.login = record.value(QStringLiteral("login")).toString();
        message.content =
            QByteArray::fromBase64(record.value(QStringLiteral("content")).toString().toLatin1());
        m_messages.append(message);
        emit messageReceived();
    }
}
