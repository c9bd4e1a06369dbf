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

    void setRemotePixmap(const QString& url);

private slots:
    void pixmapReceived(QNetworkReply* reply);

private:
    QNetworkAccessManager* manager = nullptr;
};

#endif // REMOTEPIXMAPLABEL_H
