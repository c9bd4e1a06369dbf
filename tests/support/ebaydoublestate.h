#ifndef EBAYDOUBLESTATE_H
#define EBAYDOUBLESTATE_H

#include "ebaydouble.h"

#include <QHash>
#include <QJsonObject>
#include <QMutex>

// Everything the double's server and its owner share; every member is read
// and written with the mutex held.
struct EbayDoubleState
{
    struct Endpoint
    {
        HostConfig::Role role;
        QString domain; // "" for site-less roles
        quint16 port = 0;
        bool tls = false;
    };

    // Tokens of the last step-1 page served for an item, per flow.
    struct IssuedTokens
    {
        QString stok, key, uiid;
    };

    mutable QMutex mutex;

    // Official clock: officialBase at monotonic officialBaseUs, or held still.
    QDateTime officialBase;
    qint64 officialBaseUs = 0;
    bool frozen = false;
    QDateTime officialNow() const;

    QHash<QString, EbayDouble::Auction> auctions;
    QStringList auctionOrder;
    QHash<QString, IssuedTokens> jsonTokens;
    QHash<QString, IssuedTokens> htmlTokens;
    QList<EbayDouble::Bid> bids;

    QList<QPair<QString, QString>> accounts;
    bool requireSignIn = false;
    QHash<QByteArray, QString> sessions; // session cookie value -> user id
    QList<QPair<QString, int>> signIns;

    QStringList watching;
    QStringList bidding;
    int watchingPerPage = 25;
    int biddingPerPage = 25;

    QString publishedVersion = QStringLiteral("4.1.0.2");
    QByteArray thumbnail;

    QList<EbayDouble::Request> log;
    QList<EbayDouble::Rule> rules;
    int nextSequence = 1;

    QList<Endpoint> endpoints;
    QString homeItemAuthority; // "127.0.0.1:port" of the home site's item pages

    // Helpers for the pages (mutex held).
    QString tokenFor(const QString& itemNumber, char which) const;
};

// A ready answer.
struct EbayDoubleResponse
{
    int status = 200;
    QByteArray contentType = QByteArrayLiteral("text/html; charset=utf-8");
    QByteArray body;
    QList<QByteArray> setCookies;
    QList<QPair<QByteArray, QByteArray>> headers;
};

namespace EbayDoublePages {
using Auction = EbayDouble::Auction;
using Request = EbayDouble::Request;

// The normal answer to a logged request. Takes the state's mutex itself.
EbayDoubleResponse answer(EbayDoubleState& state, const Request& request);
QByteArray reasonPhrase(int status);
// Without a length the body ends when the connection closes.
QByteArray serialise(const EbayDoubleResponse& response, bool withLength = true);

// Page makers (the state's mutex held).
QString apiTime(const QDateTime& time);
QString money(double amount);
EbayDoubleResponse json(const QJsonObject& object);
EbayDoubleResponse html(const QString& title, const QString& body);
EbayDoubleResponse notFound(const Request& request);
bool signInMissing(const EbayDoubleState& state, const Request& request);
EbayDoubleResponse signInRequiredPage();
EbayDoubleResponse signIn(EbayDoubleState& state, const Request& request);
EbayDoubleResponse jsonStep1(EbayDoubleState& state, const Request& request);
EbayDoubleResponse jsonStep2(EbayDoubleState& state, const Request& request);
EbayDoubleResponse htmlStep1(EbayDoubleState& state, const Request& request);
EbayDoubleResponse htmlStep2(EbayDoubleState& state, const Request& request);
} // namespace EbayDoublePages

// Made once per process, on the first call of make(), into a temporary
// directory that lives until the process ends.
namespace EbayDoubleCertificates {
bool make(QString* error);
QString caPath();
QString certificatePath();
QString keyPath();
} // namespace EbayDoubleCertificates

#endif // EBAYDOUBLESTATE_H
