// Placeholder until the version check is built.
#include "versionchecker.h"

VersionChecker::VersionChecker(QObject* parent) : QObject(parent) {}
VersionChecker::~VersionChecker() = default;
QString VersionChecker::downloadVersionXml()
{
    return QString();
}
bool VersionChecker::updateAvailable()
{
    return false;
}
void VersionChecker::checkUpdateAsync() {}
bool VersionChecker::isNewer(const QString&, const QString&)
{
    return false;
}
void VersionChecker::versionXmlDownloaded() {}
