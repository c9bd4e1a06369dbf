#ifndef BENCHOUTPUT_H
#define BENCHOUTPUT_H

#include <QString>
#include <QtGlobal>
#include <cstdio>

// What the benchmarks print: their own lines at once, and the program's debug
// and warning lines (one or two per snipe step; one per write a locked store
// refuses) only when asked for with --verbose, so that the figures stay
// readable.
namespace BenchOutput {

inline bool& verbose()
{
    static bool on = false;
    return on;
}

inline QtMessageHandler& previousHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void quietDebug(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if ((type == QtDebugMsg || type == QtWarningMsg) && !verbose())
        return;
    previousHandler()(type, context, message);
}

// Keeps the program's debug and warning lines out unless verbose() is set.
inline void install()
{
    previousHandler() = qInstallMessageHandler(quietDebug);
}

inline void out(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace BenchOutput

#endif // BENCHOUTPUT_H
