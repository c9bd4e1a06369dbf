#include "trayrecorder.h"

void TrayRecorder::showSysTrayMessage(const QString& title, const QString& msg,
                                      QSystemTrayIcon::MessageIcon icon, int msecs)
{
    m_messages.append({title, msg, icon, msecs});
    emit messageShown(title);
}

QStringList TrayRecorder::titles() const
{
    QStringList result;
    for (const Message& message : m_messages)
        result << message.title;
    return result;
}

TrayRecorder::Message TrayRecorder::find(const QString& title) const
{
    for (const Message& message : m_messages) {
        if (message.title == title)
            return message;
    }
    return Message();
}

bool TrayRecorder::contains(const QString& title) const
{
    return !find(title).title.isNull();
}
