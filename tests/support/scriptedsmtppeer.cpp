#include "scriptedsmtppeer.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
constexpr int StepTimeoutMs = 10000; // a step that waits for the client
constexpr int DrainTimeoutMs = 5000; // what the client sends after the script
constexpr int PollMs = 20;
} // namespace

ScriptedSmtpPeer::ScriptedSmtpPeer() = default;

ScriptedSmtpPeer::~ScriptedSmtpPeer()
{
    m_stop.storeRelease(1);
    m_released.release();
    wait();
}

ScriptedSmtpPeer& ScriptedSmtpPeer::send(const QByteArray& bytes)
{
    m_steps.append({Step::Send, bytes, 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::reply(const QByteArray& line)
{
    return send(line + "\r\n");
}

ScriptedSmtpPeer& ScriptedSmtpPeer::expectLine()
{
    m_steps.append({Step::ReadLine, QByteArray(), 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::expectData()
{
    m_steps.append({Step::ReadData, QByteArray(), 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::pause(int msecs)
{
    m_steps.append({Step::Pause, QByteArray(), msecs});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::holdUntilReleased()
{
    m_steps.append({Step::Hold, QByteArray(), 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::closeConnection()
{
    m_steps.append({Step::Close, QByteArray(), 0});
    return *this;
}

ScriptedSmtpPeer& ScriptedSmtpPeer::greet()
{
    return reply("220 relay.test ESMTP").expectLine().reply("250 relay.test");
}

ScriptedSmtpPeer& ScriptedSmtpPeer::acceptLogin()
{
    return expectLine()
        .reply("334 VXNlciBOYW1lAA==")
        .expectLine()
        .reply("334 UGFzc3dvcmQA")
        .expectLine()
        .reply("235 2.7.0 Authentication successful");
}

ScriptedSmtpPeer& ScriptedSmtpPeer::acceptEnvelope()
{
    return expectLine()
        .reply("250 ok")
        .expectLine()
        .reply("250 ok")
        .expectLine()
        .reply("354 go")
        .expectData();
}

bool ScriptedSmtpPeer::listen()
{
    start();
    return m_listening.tryAcquire(1, 10000) && m_port != 0;
}

bool ScriptedSmtpPeer::waitForConnection(int msecs)
{
    if (!m_connected.tryAcquire(1, msecs))
        return false;
    m_connected.release(); // a later call sees it too
    return true;
}

void ScriptedSmtpPeer::release()
{
    m_released.release();
}

QList<QByteArray> ScriptedSmtpPeer::rawLines() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QList<QByteArray> ScriptedSmtpPeer::lines() const
{
    QList<QByteArray> result = rawLines();
    for (QByteArray& line : result)
        if (line.endsWith("\r\n"))
            line.chop(2);
    return result;
}

void ScriptedSmtpPeer::logLines(QTcpSocket& socket)
{
    while (socket.canReadLine()) {
        const QByteArray line = socket.readLine();
        QMutexLocker lock(&m_mutex);
        m_received.append(line);
    }
}

// Waits for one whole line and logs it (with any others that came along).
bool ScriptedSmtpPeer::readOneLine(QTcpSocket& socket, int msecs, QByteArray* line)
{
    QDeadlineTimer deadline(msecs);
    while (!socket.canReadLine()) {
        if (m_stop.loadAcquire() || deadline.hasExpired())
            return false;
        if (!socket.waitForReadyRead(PollMs) && socket.state() != QAbstractSocket::ConnectedState &&
            !socket.canReadLine())
            return false;
    }
    const QByteArray read = socket.readLine();
    {
        QMutexLocker lock(&m_mutex);
        m_received.append(read);
    }
    if (line)
        *line = read;
    return true;
}

void ScriptedSmtpPeer::run()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
        m_listening.release();
        return;
    }
    m_port = server.serverPort();
    m_listening.release();

    QDeadlineTimer acceptDeadline(StepTimeoutMs);
    while (!server.hasPendingConnections()) {
        if (m_stop.loadAcquire() || acceptDeadline.hasExpired())
            return;
        server.waitForNewConnection(PollMs);
    }
    QTcpSocket* socket = server.nextPendingConnection();
    server.close();
    m_connected.release();

    bool ok = true;
    for (const Step& step : qAsConst(m_steps)) {
        if (!ok || m_stop.loadAcquire())
            break;
        switch (step.kind) {
        case Step::Send:
            socket->write(step.bytes);
            ok = socket->waitForBytesWritten(StepTimeoutMs) || socket->bytesToWrite() == 0;
            break;
        case Step::ReadLine:
            ok = readOneLine(*socket, StepTimeoutMs);
            break;
        case Step::ReadData: {
            QByteArray line;
            do {
                ok = readOneLine(*socket, StepTimeoutMs, &line);
            } while (ok && line != ".\r\n");
            break;
        }
        case Step::Pause:
            QThread::msleep(static_cast<unsigned long>(step.msecs));
            break;
        case Step::Hold:
            while (!m_released.tryAcquire(1, PollMs)) {
                if (m_stop.loadAcquire())
                    break;
                socket->waitForReadyRead(0);
                logLines(*socket);
            }
            break;
        case Step::Close:
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
            ok = false;
            break;
        }
    }

    // Whatever the client says after the script (QUIT, for one) is logged
    // until it hangs up.
    QDeadlineTimer drainDeadline(DrainTimeoutMs);
    while (socket->state() == QAbstractSocket::ConnectedState && !m_stop.loadAcquire() &&
           !drainDeadline.hasExpired()) {
        socket->waitForReadyRead(PollMs);
        logLines(*socket);
    }
    logLines(*socket);
    socket->abort();
    delete socket;
}
