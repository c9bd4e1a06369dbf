#include "hostconfig.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtDebug>

namespace {

const char* const MakerDomain = "kestrova.com";
constexpr int DefaultTransferTimeoutMs = 30000;

struct Overrides
{
    bool loaded = false;
    QJsonObject roles;
    QJsonObject smtp;
    QStringList caCertificates;
    int transferTimeoutMs = DefaultTransferTimeoutMs;
};

QMutex& overridesMutex()
{
    static QMutex mutex;
    return mutex;
}

Overrides& overridesStorage()
{
    static Overrides overrides;
    return overrides;
}

void applyCaCertificates(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    for (const QString& path : paths) {
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(path);
        if (certificates.isEmpty())
            qWarning() << "No CA certificate could be read from" << path;
        config.addCaCertificates(certificates);
    }
    QSslConfiguration::setDefaultConfiguration(config);
}

Overrides readOverrides()
{
    Overrides result;
    result.loaded = true;
    const QString path = qEnvironmentVariable(HostConfig::OverrideVariable);
    if (path.isEmpty())
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Cannot read the host configuration" << path;
        return result;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        qWarning() << "The host configuration" << path
                   << "is not a JSON object:" << error.errorString();
        return result;
    }
    const QJsonObject root = document.object();
    result.roles = root.value(QStringLiteral("roles")).toObject();
    result.smtp = root.value(QStringLiteral("smtp")).toObject();
    for (const QJsonValue& value : root.value(QStringLiteral("caCertificates")).toArray())
        result.caCertificates << value.toString();
    result.transferTimeoutMs =
        root.value(QStringLiteral("transferTimeoutMs")).toInt(DefaultTransferTimeoutMs);
    return result;
}

// Called with the mutex held.
const Overrides& overrides()
{
    Overrides& stored = overridesStorage();
    if (!stored.loaded) {
        stored = readOverrides();
        applyCaCertificates(stored.caCertificates);
    }
    return stored;
}

HostConfig::Endpoint defaultEndpoint(HostConfig::Role role, const QString& domain)
{
    const QString http = QStringLiteral("http");
    switch (role) {
    case HostConfig::ShoppingApi:
        return {http, QStringLiteral("open.api.ebay.com"), -1};
    case HostConfig::SignIn:
        return {QStringLiteral("https"), QStringLiteral("signin.") + domain, -1};
    case HostConfig::ItemPage:
        return {http, QStringLiteral("www.") + domain, -1};
    case HostConfig::BidPage:
        return {http, QStringLiteral("offer.") + domain, -1};
    case HostConfig::MyEbay:
        return {http, QStringLiteral("my.") + domain, -1};
    case HostConfig::BrowserStart:
        return {http, QStringLiteral("www.") + domain, -1};
    case HostConfig::Thumbnail:
        return {http, QStringLiteral("thumbs.ebaystatic.com"), -1};
    case HostConfig::MakerWeb:
        return {http, QStringLiteral("www.") + QLatin1String(MakerDomain), -1};
    }
    return {http, domain, -1};
}

void applyEntry(HostConfig::Endpoint& endpoint, const QJsonObject& entry)
{
    if (entry.contains(QStringLiteral("scheme")))
        endpoint.scheme = entry.value(QStringLiteral("scheme")).toString();
    if (entry.contains(QStringLiteral("host")))
        endpoint.host = entry.value(QStringLiteral("host")).toString();
    if (entry.contains(QStringLiteral("port")))
        endpoint.port = entry.value(QStringLiteral("port")).toInt(-1);
}

QString authorityOf(const HostConfig::Endpoint& e)
{
    return e.port < 0 ? e.host : e.host + QLatin1Char(':') + QString::number(e.port);
}

} // namespace

QString HostConfig::roleName(Role role)
{
    switch (role) {
    case ShoppingApi:
        return QStringLiteral("shopping");
    case SignIn:
        return QStringLiteral("signin");
    case ItemPage:
        return QStringLiteral("item");
    case BidPage:
        return QStringLiteral("bid");
    case MyEbay:
        return QStringLiteral("myebay");
    case BrowserStart:
        return QStringLiteral("browser");
    case Thumbnail:
        return QStringLiteral("thumbnail");
    case MakerWeb:
        return QStringLiteral("maker");
    }
    return QString();
}

HostConfig::Endpoint HostConfig::endpoint(Role role, const QString& domain)
{
    Endpoint result = defaultEndpoint(role, domain);
    QMutexLocker lock(&overridesMutex());
    const QJsonObject& roles = overrides().roles;
    const QString name = roleName(role);
    applyEntry(result, roles.value(name).toObject());
    if (!domain.isEmpty())
        applyEntry(result, roles.value(name + QLatin1Char('@') + domain).toObject());
    return result;
}

QString HostConfig::authority(Role role, const QString& domain)
{
    return authorityOf(endpoint(role, domain));
}

QUrl HostConfig::url(Role role, const QString& domain, const QString& pathAndQuery)
{
    const Endpoint e = endpoint(role, domain);
    return QUrl(e.scheme + QStringLiteral("://") + authorityOf(e) + pathAndQuery,
                QUrl::TolerantMode);
}

HostConfig::SmtpRelay HostConfig::smtpRelay()
{
    SmtpRelay relay;
    relay.host = QStringLiteral("mail.") + QLatin1String(MakerDomain);
    relay.port = 25;
    relay.account = QStringLiteral("notification@") + QLatin1String(MakerDomain);
    QMutexLocker lock(&overridesMutex());
    const QJsonObject& smtp = overrides().smtp;
    relay.host = smtp.value(QStringLiteral("host")).toString(relay.host);
    relay.port = smtp.value(QStringLiteral("port")).toInt(relay.port);
    relay.account = smtp.value(QStringLiteral("account")).toString(relay.account);
    return relay;
}

QString HostConfig::makerDomain()
{
    return QLatin1String(MakerDomain);
}

int HostConfig::transferTimeoutMs()
{
    QMutexLocker lock(&overridesMutex());
    return overrides().transferTimeoutMs;
}

QStringList HostConfig::caCertificatePaths()
{
    QMutexLocker lock(&overridesMutex());
    return overrides().caCertificates;
}

void HostConfig::reload()
{
    QMutexLocker lock(&overridesMutex());
    overridesStorage() = Overrides();
    overrides();
}
