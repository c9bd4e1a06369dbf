// Saves a picture of the X display's screen, or of one window, as PNG:
//   screenshot OUT.png [WINDOW_ID]
// Used by tools/screenshots; runs on the display named by DISPLAY.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || arguments.size() > 3) {
        std::fprintf(stderr, "usage: screenshot OUT.png [WINDOW_ID]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const WId window = arguments.size() == 3 ? arguments.at(2).toULongLong() : 0;
    if (!screen || !screen->grabWindow(window).save(arguments.at(1), "PNG")) {
        std::fprintf(stderr, "screenshot: cannot save %s\n", qPrintable(arguments.at(1)));
        return 1;
    }
    return 0;
}
