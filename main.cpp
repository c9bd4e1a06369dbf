#include "clockmanager.h"
#include "kestrovaapp.h"

#include <QDir>
#include <cstdio>

int main(int argc, char** argv)
{
    KestrovaApp app(argc, argv);
    QCoreApplication::setApplicationVersion(QLatin1String(KestrovaApp::Version));
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QDir::separator() +
                                     QStringLiteral("plugins"));
    KestrovaApp::setIdentity();
    ClockManager::instance()->updateTimeSync();
    std::fputs("kestrova: nothing more to run yet\n", stderr);
    return 0;
}
