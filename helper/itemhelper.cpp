#include "helper/itemhelper.h"

#include "helper/networkresource.h"
#include "hostconfig.h"
#include "messagebox.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QtDebug>
#include <cmath>

ItemHelper::ItemHelper(QObject* parent) : QObject(parent) {}

ItemHelper::~ItemHelper()
{
    if (currentReply) {
        // Disconnected first: abort() finishes the reply at once, and no
        // reply slot may run on an object being destroyed.
        currentReply->disconnect(this);
        currentReply->abort();
        currentReply->deleteLater();
    }
    replaceFetchedItems(nullptr);
}

QNetworkReply* ItemHelper::sendGet(const QUrl& url, void (ItemHelper::*replySlot)())
{
    QNetworkReply* reply =
        NetworkResource::instance()->networkAccessManager()->get(NetworkResource::request(url));
    currentReply = reply;
    connect(reply, &QNetworkReply::finished, this, replySlot);
    return reply;
}

QNetworkReply* ItemHelper::finishedReply()
{
    // The sender, not only currentReply: a caller that sends a second request
    // before the first has finished still gets one answer per request.
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        reply = currentReply;
    if (!reply)
        return nullptr;
    if (reply == currentReply)
        currentReply = nullptr;
    reply->deleteLater();
    return reply;
}

void ItemHelper::failWithBox(const QString& title, const QString& text,
                             const std::function<void()>& emitFailure, const QString& kind)
{
    const QString boxTitle = title;
    const QString boxText = text;
    const QString boxKind = kind.isEmpty() ? title + text : kind;
    emitFailure();
    // One box per kind of failure at a time: a reload of a long list against
    // an unreachable host fails every look-up within a second, and a box
    // each would stack hundreds of nested event loops for a person to close.
    static QSet<QString> openKinds;
    if (openKinds.contains(boxKind)) {
        qWarning().noquote() << boxTitle + QStringLiteral(": ") + boxText;
        return;
    }
    openKinds.insert(boxKind);
    MessageBox::critical(nullptr, boxTitle, boxText);
    openKinds.remove(boxKind);
}

bool ItemHelper::failOnReplyError(QNetworkReply* reply, const QString& boxText,
                                  const std::function<void()>& emitFailure)
{
    if (reply->error() == QNetworkReply::NoError)
        return false;
    failWithBox(tr("Network Error"), boxText.arg(NetworkResource::errorText(reply)), emitFailure,
                boxText);
    return true;
}

QVariantMap ItemHelper::firstMap(const QVariant& list)
{
    const QVariantList elements = list.toList();
    return elements.isEmpty() ? QVariantMap() : elements.first().toMap();
}

QString ItemHelper::text(const QVariant& value)
{
    if (value.userType() == QMetaType::Double) {
        const double number = value.toDouble();
        // The range check first: converting a double beyond 64 bits to an
        // integer is undefined, and the number comes from eBay's answer.
        if (std::fabs(number) < 9223372036854775808.0 &&
            number == static_cast<double>(static_cast<qint64>(number)))
            return QString::number(static_cast<qint64>(number));
    }
    // Never null: the texts are stored in NOT NULL columns and passed on.
    const QString string = value.toString();
    return string.isNull() ? QStringLiteral("") : string;
}

void ItemHelper::replaceFetchedItems(QHash<QString, ItemTO*>* items)
{
    if (fetchedItems && fetchedItems != items) {
        qDeleteAll(*fetchedItems);
        delete fetchedItems;
    }
    fetchedItems = items;
}

void ItemHelper::showParseError(int kind)
{
    switch (kind) {
    case 0:
        failWithBox(tr("Item Error"), tr("Failed to parse item information."),
                    [this] { emit getItemsFinished(false); });
        break;
    case 1:
        failWithBox(tr("Item Status Error"), tr("Failed to parse item status information."),
                    [this] { emit getUserItemRelationFinished(false, QStringLiteral("")); });
        break;
    default:
        break;
    }
}
