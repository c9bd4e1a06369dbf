#ifndef EBAYDOUBLESERVER_H
#define EBAYDOUBLESERVER_H

#include "ebaydoublestate.h"

#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <memory>

class QTcpSocket;

// One listening port of the double: a role for one site domain.
class EbayDoubleListener : public QTcpServer
{
    Q_OBJECT

public:
    EbayDoubleListener(const EbayDoubleState::Endpoint& endpoint,
                       const QSslCertificate& certificate, const QSslKey& key, QObject* parent);

    EbayDoubleState::Endpoint endpoint;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    QSslCertificate m_certificate;
    QSslKey m_key;
};

// The double's sockets; lives in the double's own thread. Reads each request,
// logs it, applies the first matching script and answers.
class EbayDoubleServer : public QObject
{
    Q_OBJECT

public:
    EbayDoubleServer(std::shared_ptr<EbayDoubleState> state, const QSslCertificate& certificate,
                     const QSslKey& key);

    // Called in the server's thread (blocking queued invocations).
    Q_INVOKABLE bool listenAll(const QList<QPair<int, QString>>& endpoints);
    Q_INVOKABLE void setRefusing(int role, bool refusing);
    Q_INVOKABLE void shutdown();

    QString errorString() const { return m_error; }

signals:
    void requestLogged(int sequence);

private:
    void accept(EbayDoubleListener* listener);
    void readRequest(QTcpSocket* socket, const EbayDoubleState::Endpoint& endpoint);
    void handle(QTcpSocket* socket, EbayDouble::Request request);
    void respond(QTcpSocket* socket, const EbayDouble::Request& request,
                 const EbayDouble::Rule& rule, bool scripted);
    void endless(QTcpSocket* socket, EbayDoubleResponse response);

    std::shared_ptr<EbayDoubleState> m_state;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QList<EbayDoubleListener*> m_listeners;
    QString m_error;
};

#endif // EBAYDOUBLESERVER_H
