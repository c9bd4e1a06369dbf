#ifndef REMOTEPIXMAPLABEL_H
#define REMOTEPIXMAPLABEL_H

#include <QLabel>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// A label that downloads a picture and shows it. It has a network manager
// of its own: no cookies of the sign-in go with the picture request.
class RemotePixmapLabel : public QLabel
{
    Q_OBJECT

public:
    explicit RemotePixmapLabel(QWidget* parent = nullptr);
    RemotePixmapLabel(const QString& text, QWidget* parent = nullptr);
    ~RemotePixmapLabel() override;

    // Starts the download; a failed one leaves the label as it was. A
    // download is abandoned past 5 MB or its time limit, and a picture
    // larger than 4,096 pixels on a side is not decoded. The picture is
    // asked for unpacked ("Accept-Encoding: identity"): a packed answer is
    // not unpacked, so the 5 MB hold for what is kept as for what is sent.
    void setRemotePixmap(const QString& url);

    // The time limit of the whole download, 60 s; tests shorten it.
    static void setDownloadTimeLimitMs(int ms);

private slots:
    void pixmapReceived(QNetworkReply* reply);

private:
    QNetworkAccessManager* manager = nullptr;
};

#endif // REMOTEPIXMAPLABEL_H
