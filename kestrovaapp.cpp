#include "kestrovaapp.h"

#include "hostconfig.h"

KestrovaApp::KestrovaApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // The pictures live in the static core library, where nothing refers to
    // their registration: without this the linker drops them.
    Q_INIT_RESOURCE(images);
}

KestrovaApp::~KestrovaApp() = default;

void KestrovaApp::setIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrova"));
    QCoreApplication::setOrganizationDomain(HostConfig::makerDomain());
    QCoreApplication::setApplicationName(QStringLiteral("zAzu Rerizod Ozovov"));
}
