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
    std::fputs("kestrova: nothing more to run yet\n", stderr);
    return 0;
}
