#ifndef SMTPCLIENT_H
#define SMTPCLIENT_H

#include <QAbstractSocket>
#include <QObject>
#include <QString>

class MimeMessage;
class QTcpSocket;

// Submits one mail to an SMTP server in a blocking exchange on the calling
// thread: connect, EHLO (STARTTLS), AUTH, envelope, data, QUIT. Every wait is
// a socket wait bounded by a time-out; no event loop runs meanwhile, so the
// client belongs on a thread that may block.
class SmtpClient : public QObject
{
    Q_OBJECT
public:
    enum ConnectionType { PlainConnection = 0, SslConnection = 1, StartTlsConnection = 2 };
    enum AuthMethod { AuthPlain = 0, AuthLogin = 1 };
    enum SmtpError {
        ConnectTimeoutError = 0,
        ResponseTimeoutError = 1,
        AuthFailedError = 2,
        ServerReplyError = 3,
        PermanentReplyError = 4
    };
    Q_ENUM(SmtpError)

    // Thrown by the reply wait; never leaves the public operations.
    class ResponseTimeoutException
    {
    };

    explicit SmtpClient(const QString& host = QStringLiteral("localhost"), int port = 25,
                        ConnectionType connectionType = PlainConnection);
    ~SmtpClient() override;

    // Makes a new socket of the matching class; an earlier one stays a child
    // until the client is destroyed.
    void setConnectionType(ConnectionType ct);

    bool connectToHost();
    bool login(const QString& user, const QString& password, AuthMethod method = AuthPlain);
    bool login();
    bool sendMail(MimeMessage& email);
    // Sends QUIT and pushes it onto the wire without reading the reply.
    void quit();

    void setHost(const QString& host) { this->host = host; }
    void setPort(int port) { this->port = port; }
    void setName(const QString& name) { this->name = name; }
    void setUser(const QString& user) { this->user = user; }
    void setPassword(const QString& password) { this->password = password; }
    void setAuthMethod(AuthMethod method) { authMethod = method; }
    void setConnectionTimeout(int msecs) { connectionTimeout = msecs; }
    void setResponseTimeout(int msecs) { responseTimeout = msecs; }

    const QString& getHost() const { return host; }
    int getPort() const { return port; }
    ConnectionType getConnectionType() const { return connectionType; }
    const QString& getName() const { return name; }
    const QString& getUser() const { return user; }
    const QString& getPassword() const { return password; }
    AuthMethod getAuthMethod() const { return authMethod; }
    int getConnectionTimeout() const { return connectionTimeout; }
    int getResponseTimeout() const { return responseTimeout; }
    const QString& getResponseText() const { return responseText; }
    int getResponseCode() const { return responseCode; }
    QTcpSocket* getSocket() const { return socket; }

signals:
    void smtpError(SmtpClient::SmtpError e);

protected slots:
    void socketStateChanged(QAbstractSocket::SocketState state);
    void socketError(QAbstractSocket::SocketError error);
    void socketReadyRead();

protected:
    // Reads one whole reply (all its lines) into responseCode and
    // responseText; throws ResponseTimeoutException when the whole reply has
    // not come within responseTimeout.
    void waitForResponse();
    // Writes the text as UTF-8 followed by CR LF.
    void sendMessage(const QString& text);

private:
    bool sendCommand(const QString& command, int expectedCode);

    QTcpSocket* socket = nullptr;
    QString host;
    int port;
    ConnectionType connectionType;
    QString name = QStringLiteral("localhost");
    QString user;
    QString password;
    AuthMethod authMethod = AuthPlain;
    int connectionTimeout = 5000;
    int responseTimeout = 5000;
    QString responseText;
    int responseCode = 0;
};

#endif // SMTPCLIENT_H
