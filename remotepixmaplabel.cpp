// Placeholder until the picture label is built.
#include "remotepixmaplabel.h"

RemotePixmapLabel::RemotePixmapLabel(QWidget* parent) : QLabel(parent) {}
RemotePixmapLabel::RemotePixmapLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
RemotePixmapLabel::~RemotePixmapLabel() = default;
void RemotePixmapLabel::setRemotePixmap(const QString&) {}
void RemotePixmapLabel::pixmapReceived(QNetworkReply*) {}
