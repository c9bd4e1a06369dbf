#ifndef SMTPSERVERPROCESS_H
#define SMTPSERVERPROCESS_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

class RelayOverride;

// A real SMTP server for the tests (tests/support/smtpserver.py, run by
// Debian's /usr/bin/python3 with its aiosmtpd) on 127.0.0.1 and a free port.
// It accepts mail only after AUTH LOGIN (or PLAIN) with the one account and
// password it was given, over plain TCP, and records every message.
//
//   SmtpServerProcess relay;
//   QVERIFY(relay.start());
//   QVERIFY(relay.useAsRelay());          // HostConfig::smtpRelay() now points here
//   ... code under test sends mail ...
//   QVERIFY(relay.waitForMessages(1, 10000));
//   QCOMPARE(relay.messages().at(0).recipients, QStringList{"buyer@example.org"});
//
// A fixture that writes its own override file can add the relay to it with
// RelayOverride::mergeInto(file, relay.smtpEntry()) and HostConfig::reload().
class SmtpServerProcess : public QObject
{
    Q_OBJECT
public:
    struct Message
    {
        QString mailFrom;       // envelope sender (MAIL FROM)
        QStringList recipients; // envelope recipients (RCPT TO), in order
        QString login;          // the account the session logged in with
        QByteArray content;     // the message bytes as received after DATA
    };
    struct AuthAttempt
    {
        QString mechanism; // "LOGIN" or "PLAIN"
        QString login;
        bool success = false;
    };

    static constexpr const char* DefaultAccount = "notification@kestrova.test";
    static constexpr const char* DefaultPassword = "m0R3L@nD7Q2x";

    explicit SmtpServerProcess(QObject* parent = nullptr);
    ~SmtpServerProcess() override;

    enum class Tls { None, StartTls, Implicit };

    // The login the server accepts; set before start().
    void setAccount(const QString& account) { m_account = account; }
    void setPassword(const QString& password) { m_password = password; }
    QString account() const { return m_account; }
    // TLS with the given certificate chain and key (PEM files); before start().
    void setTls(Tls mode, const QString& certificatePath, const QString& keyPath);

    // Starts the server and waits until it listens.
    bool start(int timeoutMs = 15000);
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running && m_port > 0; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }

    // The override file's "smtp" entry for this server and account.
    QJsonObject smtpEntry() const;
    // Points HostConfig's relay here (other roles kept) until stop() or
    // destruction, which restore the previous configuration.
    bool useAsRelay();

    // Runs the event loop until at least count messages have arrived.
    bool waitForMessages(int count, int timeoutMs);
    QList<Message> messages() const { return m_messages; }
    QList<AuthAttempt> authAttempts() const { return m_authAttempts; }
    void clear();

signals:
    void messageReceived();
    void authAttempted();

private:
    void readOutput();
    void handleLine(const QByteArray& line);

    QProcess m_process;
    QString m_account = QLatin1String(DefaultAccount);
    QString m_password = QLatin1String(DefaultPassword);
    int m_port = 0;
    Tls m_tls = Tls::None;
    QString m_certificatePath;
    QString m_keyPath;
    QList<Message> m_messages;
    QList<AuthAttempt> m_authAttempts;
    std::unique_ptr<RelayOverride> m_override;
};

#endif // SMTPSERVERPROCESS_H
