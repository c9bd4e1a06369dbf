#include "support/desktop.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

namespace Desktop {

bool xdotool(const QStringList& arguments, QString* output, int timeoutMs)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString waitForWindow(const QString& namePattern, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QString found;
    while (!deadline.hasExpired()) {
        if (xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), namePattern},
                    &found) &&
            !found.isEmpty())
            return found.section(QLatin1Char('\n'), 0, 0);
        // The program under test runs in its own process; this one only
        // needs to keep its own events moving while it looks.
        QTest::qWait(100);
    }
    return QString();
}

bool hasWindow(const QString& namePattern)
{
    QString found;
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), namePattern},
                   &found) &&
           !found.isEmpty();
}

QStringList windowsOf(qint64 pid)
{
    QString found;
    xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
             QString::number(pid)},
            &found);
    return found.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QRect geometry(const QString& windowId)
{
    QString shell;
    if (!xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), windowId},
                 &shell))
        return QRect();
    QRect rect;
    for (const QString& line : shell.split(QLatin1Char('\n'))) {
        const QString name = line.section(QLatin1Char('='), 0, 0);
        const int value = line.section(QLatin1Char('='), 1).toInt();
        if (name == QLatin1String("X"))
            rect.moveLeft(value);
        else if (name == QLatin1String("Y"))
            rect.moveTop(value);
        else if (name == QLatin1String("WIDTH"))
            rect.setWidth(value);
        else if (name == QLatin1String("HEIGHT"))
            rect.setHeight(value);
    }
    return rect;
}

namespace {
void pointAt(const QString& windowId, int x, int y)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"),
             windowId, QString::number(x), QString::number(y)});
}
} // namespace

void click(const QString& windowId, int x, int y)
{
    pointAt(windowId, x, y);
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(150);
}

void doubleClick(const QString& windowId, int x, int y)
{
    pointAt(windowId, x, y);
    xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"),
             QStringLiteral("1")});
    QTest::qWait(150);
}

void type(const QString& text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("25"), text});
    QTest::qWait(100);
}

void key(const QString& keys)
{
    xdotool({QStringLiteral("key"), keys});
    QTest::qWait(150);
}

bool screenshot(const QString& path)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(path, "PNG");
}

} // namespace Desktop
