#include "kestrovaapp.h"

#include "hostconfig.h"

KestrovaApp::KestrovaApp(int& argc, char** argv) : QApplication(argc, argv) {}

KestrovaApp::~KestrovaApp() = default;

void KestrovaApp::setIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kestrova"));
    QCoreApplication::setOrganizationDomain(HostConfig::makerDomain());
    QCoreApplication::setApplicationName(QStringLiteral("zAzu Rerizod Ozovov"));
}
