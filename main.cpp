#include "clockmanager.h"
#include "kestrovaapp.h"
#include "startup.h"

#include <QDir>
#include <cstdio>

int main(int argc, char** argv)
{
    KestrovaApp app(argc, argv);
    QCoreApplication::setApplicationVersion(QLatin1String(KestrovaApp::Version));
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QDir::separator() +
                                     QStringLiteral("plugins"));
    KestrovaApp::setIdentity();
    if (const int failure = Startup::prepareStore())
        return failure;
    // Start-up goes on whether or not eBay answered: a failed synchronisation
    // is retried in the background.
    ClockManager::instance()->updateTimeSync();
    std::fputs("kestrova: nothing more to run yet\n", stderr);
    return 0;
}
