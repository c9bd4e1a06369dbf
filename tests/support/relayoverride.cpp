#include "relayoverride.h"

#include "hostconfig.h"

#include <QFile>
#include <QJsonDocument>

RelayOverride::RelayOverride(const QString& host, int port, const QString& account)
{
    m_hadPrevious = qEnvironmentVariableIsSet(HostConfig::OverrideVariable);
    m_previous = qgetenv(HostConfig::OverrideVariable);
    if (!m_dir.isValid())
        return;
    const QString path = m_dir.filePath(QStringLiteral("hosts.json"));
    if (!m_previous.isEmpty()) {
        QFile previous(QFile::decodeName(m_previous));
        QFile copy(path);
        if (previous.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly))
            copy.write(previous.readAll());
    }
    if (!mergeInto(path, smtpEntry(host, port, account)))
        return;
    qputenv(HostConfig::OverrideVariable, QFile::encodeName(path));
    HostConfig::reload();
    m_valid = true;
}

RelayOverride::~RelayOverride()
{
    if (m_hadPrevious)
        qputenv(HostConfig::OverrideVariable, m_previous);
    else
        qunsetenv(HostConfig::OverrideVariable);
    HostConfig::reload();
}

QJsonObject RelayOverride::smtpEntry(const QString& host, int port, const QString& account)
{
    return QJsonObject{{QStringLiteral("host"), host},
                       {QStringLiteral("port"), port},
                       {QStringLiteral("account"), account}};
}

bool RelayOverride::mergeInto(const QString& hostsFile, const QJsonObject& smtp)
{
    QJsonObject root;
    QFile file(hostsFile);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            return false;
        root = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
    }
    root.insert(QStringLiteral("smtp"), smtp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(QJsonDocument(root).toJson()) > 0;
}
