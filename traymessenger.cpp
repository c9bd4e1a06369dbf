#include "traymessenger.h"

#include <QObject>

TrayMessenger* TrayMessenger::of(QObject* object)
{
    // A cross cast: the window is a QObject and a TrayMessenger by two bases.
    return dynamic_cast<TrayMessenger*>(object);
}
