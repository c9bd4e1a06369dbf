#ifndef TRAYMESSENGER_H
#define TRAYMESSENGER_H

#include <QString>
#include <QSystemTrayIcon>

class QObject;

// Whatever shows the snipe engine's tray balloons: the main window, or a
// recorder in tests. The engine looks for it on its own parent; without one
// its messages are dropped and everything else goes on.
class TrayMessenger
{
public:
    virtual ~TrayMessenger() = default;

    // Shows a balloon when there is a tray icon; does nothing otherwise.
    virtual void showSysTrayMessage(const QString& title, const QString& msg,
                                    QSystemTrayIcon::MessageIcon icon, int msecs) = 0;

    // The messenger an object is (the engine asks this of its parent), or null.
    static TrayMessenger* of(QObject* object);
};

#endif // TRAYMESSENGER_H
