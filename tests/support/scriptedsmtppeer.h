#ifndef SCRIPTEDSMTPPEER_H
#define SCRIPTEDSMTPPEER_H

#include <QAtomicInt>
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QThread>

class QTcpSocket;

// An SMTP peer that plays a fixed script on a thread of its own, for what a
// real server won't do on demand: silence, odd replies, replies split across
// reads or sent ahead. It accepts one connection on 127.0.0.1 and a free
// port, runs the steps in order and then logs whatever else the client sends
// until the client closes (or a few seconds pass). Every line it received is
// kept, with its line end.
//
//   ScriptedSmtpPeer peer;
//   peer.reply("220 ready").expectLine().reply("250 ok");
//   QVERIFY(peer.listen());
//   ... client on the test thread talks to peer.port() ...
//   QVERIFY(peer.waitForFinished(5000));
//   QCOMPARE(peer.lines(), (QList<QByteArray>{"EHLO localhost", "QUIT"}));
class ScriptedSmtpPeer : public QThread
{
public:
    ScriptedSmtpPeer();
    ~ScriptedSmtpPeer() override;

    // Script steps, added before listen().
    ScriptedSmtpPeer& send(const QByteArray& bytes); // the bytes as they stand
    ScriptedSmtpPeer& reply(const QByteArray& line); // the line and CR LF
    ScriptedSmtpPeer& expectLine();                  // read one line
    ScriptedSmtpPeer& expectData();                  // read lines up to "." alone
    ScriptedSmtpPeer& pause(int msecs);              // wait, reading nothing
    ScriptedSmtpPeer& holdUntilReleased();           // silent until release()
    ScriptedSmtpPeer& closeConnection();             // hang up here

    // Runs of steps as a willing relay plays them.
    ScriptedSmtpPeer& greet();          // greeting, then the EHLO reply
    ScriptedSmtpPeer& acceptLogin();    // AUTH LOGIN: both prompts, then success
    ScriptedSmtpPeer& acceptEnvelope(); // one sender, one recipient, DATA, the text

    // Starts the thread and waits until it listens.
    bool listen();
    quint16 port() const { return m_port; }
    bool waitForConnection(int msecs);
    // Ends a holdUntilReleased() step.
    void release();
    bool waitForFinished(int msecs) { return wait(static_cast<unsigned long>(msecs)); }

    // Every line received, with its line end.
    QList<QByteArray> rawLines() const;
    // The same without the CR LF that ends each (a bare LF stays visible).
    QList<QByteArray> lines() const;

protected:
    void run() override;

private:
    struct Step
    {
        enum Kind { Send, ReadLine, ReadData, Pause, Hold, Close } kind;
        QByteArray bytes;
        int msecs = 0;
    };

    bool readOneLine(QTcpSocket& socket, int msecs, QByteArray* line = nullptr);
    void logLines(QTcpSocket& socket);

    QList<Step> m_steps;
    quint16 m_port = 0;
    QSemaphore m_listening;
    QSemaphore m_connected;
    QSemaphore m_released;
    QAtomicInt m_stop;
    mutable QMutex m_mutex;
    QList<QByteArray> m_received;
};

#endif // SCRIPTEDSMTPPEER_H
