#include "support/xvfbsession.h"

#include <QDeadlineTimer>
#include <QSystemTrayIcon>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Starts a program with its output thrown away; -1 when it cannot start.
// Descriptors without close-on-exec are inherited as they are.
pid_t spawn(const QList<QByteArray>& arguments, const QList<QByteArray>& environment)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    QList<QByteArray> args = arguments;
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    QList<QByteArray> env;
    for (char** e = environ; *e; ++e)
        env << QByteArray(*e);
    env << environment;
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

} // namespace

XvfbSession::~XvfbSession()
{
    stop(m_trayHost);
    stop(m_server);
}

bool XvfbSession::start(int timeoutMs)
{
    // Xvfb picks a free display and writes its number to this pipe.
    int fds[2];
    if (::pipe(fds) != 0) {
        m_error = QStringLiteral("no pipe");
        return false;
    }
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    m_server = spawn({"Xvfb", "-displayfd", QByteArray::number(fds[1]), "-screen", "0",
                      "1280x1024x24", "-nolisten", "tcp"},
                     {});
    ::close(fds[1]);
    if (m_server < 0) {
        ::close(fds[0]);
        m_error = QStringLiteral("Xvfb cannot be started");
        return false;
    }

    QByteArray number;
    const QDeadlineTimer deadline(timeoutMs);
    while (!number.endsWith('\n') && !deadline.hasExpired()) {
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, int(qMax<qint64>(1, deadline.remainingTime()))) <= 0)
            continue;
        char buffer[16];
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n <= 0)
            break; // the server ended without a display
        number.append(buffer, int(n));
    }
    ::close(fds[0]);
    if (!number.endsWith('\n')) {
        stop(m_server);
        m_error = QStringLiteral("Xvfb gave no display within %1 ms").arg(timeoutMs);
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    return true;
}

bool XvfbSession::startTrayHost()
{
    m_trayHost = spawn({"trayer", "--edge", "top", "--align", "right", "--width", "10", "--height",
                        "24", "--SetDockType", "false"},
                       {"DISPLAY=" + m_display.toLatin1()});
    if (m_trayHost < 0)
        m_error = QStringLiteral("trayer cannot be started");
    return m_trayHost >= 0;
}

void XvfbSession::useForThisProcess() const
{
    qputenv("DISPLAY", m_display.toLatin1());
    qputenv("QT_QPA_PLATFORM", "xcb");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    qunsetenv("WAYLAND_DISPLAY");
}

bool XvfbSession::waitForTray(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!QSystemTrayIcon::isSystemTrayAvailable()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    return true;
}

void XvfbSession::stop(pid_t& pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGTERM);
    const QDeadlineTimer deadline(5000);
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            break;
        }
        QThread::msleep(20);
    }
    pid = -1;
}
