#ifndef DESKTOP_H
#define DESKTOP_H

#include <QRect>
#include <QString>
#include <QStringList>

// A person at the X display this process runs on: real input events through
// Debian's xdotool (the XTEST extension), never calls into the program, and
// pictures of the whole screen. Every wait is bounded.
namespace Desktop {

// Runs xdotool with the arguments; its standard output, trimmed. False when
// it failed or did not end within the time-out.
bool xdotool(const QStringList& arguments, QString* output = nullptr, int timeoutMs = 10000);

// The id of the first visible window whose name matches the pattern (a
// regular expression, as xdotool takes it), waiting for it; "" when none
// came within the time-out.
QString waitForWindow(const QString& namePattern, int timeoutMs = 20000);
// Whether a visible window whose name matches is there now.
bool hasWindow(const QString& namePattern);
// The windows a process shows (tool tips and balloons included).
QStringList windowsOf(qint64 pid);
// The window's place on the screen.
QRect geometry(const QString& windowId);

// A left click at (x, y) in the window's coordinates.
void click(const QString& windowId, int x, int y);
void doubleClick(const QString& windowId, int x, int y);
// Types the text, key by key, into whatever has the keyboard focus.
void type(const QString& text);
// Presses a key or chord in xdotool's names ("Return", "ctrl+q", "ctrl+a").
void key(const QString& keys);

// Saves a picture of the whole screen as PNG; false when it failed.
bool screenshot(const QString& path);

} // namespace Desktop

#endif // DESKTOP_H
