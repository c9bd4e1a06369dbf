#include "remotepixmaplabel.h"

#include "hostconfig.h"

#include <QBuffer>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QTimer>
#include <QUrl>

namespace {

// A thumbnail is a few kilobytes. Anything past these bounds is no picture
// to show: a large body would be held in memory whole, and a picture of
// 16,000 x 16,000 pixels takes a gigabyte to decode, however small its file.
constexpr qint64 MaxPictureBytes = 5 * 1024 * 1024;
constexpr int MaxPictureSide = 4096;
int downloadTimeLimitMs = 60000;

} // namespace

RemotePixmapLabel::RemotePixmapLabel(QWidget* parent) : QLabel(parent) {}

RemotePixmapLabel::RemotePixmapLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

RemotePixmapLabel::~RemotePixmapLabel() = default;

void RemotePixmapLabel::setDownloadTimeLimitMs(int ms)
{
    downloadTimeLimitMs = ms;
}

void RemotePixmapLabel::setRemotePixmap(const QString& url)
{
    if (!manager) {
        // A manager of its own: the picture server gets none of the sign-in
        // cookies of the shared jar.
        manager = new QNetworkAccessManager(this);
        connect(manager, &QNetworkAccessManager::finished, this,
                &RemotePixmapLabel::pixmapReceived);
    }
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    // Unpacked as it arrives, a packed answer of 1 MB can grow to 1 GB
    // before any bound sees it. Asked for the bytes as stored, the host
    // sends pictures, which do not pack anyway; one that packs regardless
    // stays packed, no picture to show.
    request.setRawHeader("Accept-Encoding", "identity");
    // The same bound on the wait as every other request.
    request.setTransferTimeout(HostConfig::transferTimeoutMs());
    QNetworkReply* reply = manager->get(request);
    // Qt stops reading from the host while its buffer is full, so no more
    // than the bound is ever held, however fast the bytes come.
    reply->setReadBufferSize(MaxPictureBytes + 1);
    // An abandoned download ends as a failed one: the label keeps what it
    // showed.
    connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > MaxPictureBytes)
            reply->abort();
    });
    // The transfer time-out starts again with every byte that arrives: a
    // server sending a byte a second would hold the download open for ever.
    QTimer::singleShot(downloadTimeLimitMs, reply, &QNetworkReply::abort);
}

void RemotePixmapLabel::pixmapReceived(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;
    QByteArray body = reply->readAll();
    if (body.isEmpty())
        return;
    QBuffer data(&body);
    data.open(QIODevice::ReadOnly);
    QImageReader reader(&data);
    if (reader.canRead()) {
        // A drawing has no size in its header: to learn it the whole
        // document is read, and a packed one of 1 MB unpacks to 1 GB.
        const QByteArray format = reader.format();
        if (format == "svg" || format == "svgz")
            return;
        // Its size first, from the header: a picture too large to decode
        // is left alone, as if it had not arrived.
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > MaxPictureSide || size.height() > MaxPictureSide)
            return;
    }
    // Bytes that are no picture show nothing.
    setPixmap(QPixmap::fromImage(reader.read()));
}
