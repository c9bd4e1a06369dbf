#ifndef XVFBSESSION_H
#define XVFBSESSION_H

#include "support/testmain.h"

#include <QString>
#include <sys/types.h>

// A private X display for the tests that need a real desktop: an Xvfb server
// on a display number it picks itself, and optionally a system-tray host
// (trayer) on it. Nothing of the developer's own desktop is used: the
// process's DISPLAY is replaced and D-Bus is cut off, so no tray or
// notification service of a running session can answer instead.
//
// Everything is bounded in time; destruction stops the tray host and the
// server.
class XvfbSession
{
public:
    XvfbSession() = default;
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    // Starts the server; false (see errorString()) when it does not come up
    // within the time-out.
    bool start(int timeoutMs = 10000);
    // Starts the tray host on the display; whether the tray is really there
    // is for waitForTray() to tell, from inside a GUI application.
    bool startTrayHost();

    // ":N"
    QString display() const { return m_display; }
    QString errorString() const { return m_error; }

    // Points this process at the display (DISPLAY, the xcb platform, no
    // D-Bus session). Call it before the application object is made.
    void useForThisProcess() const;

    // Runs the event loop until the platform reports a system tray.
    static bool waitForTray(int timeoutMs = 10000);

private:
    static void stop(pid_t& pid);

    pid_t m_server = -1;
    pid_t m_trayHost = -1;
    QString m_display;
    QString m_error;
};

// KESTROVA_TEST_MAIN on the session's display with a tray host running and
// the tray reported available, instead of the offscreen platform.
#define KESTROVA_TEST_MAIN_X(TestObject)                                                           \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        XvfbSession xvfb;                                                                          \
        if (!xvfb.start() || !xvfb.startTrayHost()) {                                              \
            std::fprintf(stderr, "FATAL: no X display: %s\n", qPrintable(xvfb.errorString()));     \
            return 1;                                                                              \
        }                                                                                          \
        xvfb.useForThisProcess();                                                                  \
        TestHarness::prepareEnvironment();                                                         \
        KestrovaApp app(argc, argv);                                                               \
        TestHarness::prepareApplication();                                                         \
        if (!XvfbSession::waitForTray()) {                                                         \
            std::fprintf(stderr, "FATAL: the tray host on %s never came up\n",                     \
                         qPrintable(xvfb.display()));                                              \
            return 1;                                                                              \
        }                                                                                          \
        TestObject testObject;                                                                     \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&testObject, argc, argv);                                              \
    }

#endif // XVFBSESSION_H
