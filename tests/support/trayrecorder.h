#ifndef TRAYRECORDER_H
#define TRAYRECORDER_H

#include "traymessenger.h"

#include <QList>
#include <QObject>
#include <QStringList>

// Stands in for the main window's tray icon: records every balloon the
// engine asks for. Make it the engine's parent (the engine finds it there),
// or hand it to a snipe object with setMainWindow().
class TrayRecorder : public QObject, public TrayMessenger
{
    Q_OBJECT

public:
    struct Message
    {
        QString title;
        QString msg;
        QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
        int msecs = 0;
    };

    explicit TrayRecorder(QObject* parent = nullptr) : QObject(parent) {}

    void showSysTrayMessage(const QString& title, const QString& msg,
                            QSystemTrayIcon::MessageIcon icon, int msecs) override;

    QList<Message> messages() const { return m_messages; }
    QStringList titles() const;
    // The first message whose title is this, or an empty one.
    Message find(const QString& title) const;
    bool contains(const QString& title) const;
    void clear() { m_messages.clear(); }

signals:
    void messageShown(const QString& title);

private:
    QList<Message> m_messages;
};

#endif // TRAYRECORDER_H
