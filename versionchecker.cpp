#include "versionchecker.h"

#include "helper/networkresource.h"
#include "helper/texthelper.h"
#include "hostconfig.h"
#include "updatedialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QStringList>

namespace {

QNetworkReply* getVersionFile()
{
    const QUrl url =
        HostConfig::url(HostConfig::MakerWeb, QString(), QStringLiteral("/version.xml"));
    return NetworkResource::instance()->networkAccessManager()->get(NetworkResource::request(url));
}

QString publishedVersion(const QString& versionFile)
{
    return TextHelper::getInnerText(versionFile, QStringLiteral("<Kestrova4Ver>"),
                                    QStringLiteral("</Kestrova4Ver>"));
}

// The parts of a dotted version without leading zeros, or an empty list when
// the text is not one. Parts stay text so that no part is too long to compare.
QStringList versionParts(const QString& version)
{
    static const QRegularExpression dotted(QStringLiteral("\\A[0-9]+(\\.[0-9]+)*\\z"));
    if (!dotted.match(version).hasMatch())
        return QStringList();
    QStringList parts = version.split(QLatin1Char('.'));
    for (QString& part : parts) {
        int zeros = 0;
        while (zeros < part.size() - 1 && part.at(zeros) == QLatin1Char('0'))
            ++zeros;
        part.remove(0, zeros);
    }
    return parts;
}

// <0, 0 or >0 as a is a smaller, equal or greater number than b (both digits
// only, no leading zeros).
int compareNumbers(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return a.size() - b.size();
    return a.compare(b);
}

} // namespace

VersionChecker::VersionChecker(QObject* parent) : QObject(parent) {}

VersionChecker::~VersionChecker() = default;

QString VersionChecker::downloadVersionXml()
{
    m_fetchFailed = false;
    m_errorString.clear();
    QNetworkReply* fetch = getVersionFile();
    QEventLoop loop;
    connect(fetch, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!fetch->isFinished())
        loop.exec();
    fetch->deleteLater();
    if (fetch->error() != QNetworkReply::NoError) {
        m_fetchFailed = true;
        m_errorString = NetworkResource::errorText(fetch);
        return QString();
    }
    return NetworkResource::pageText(fetch->readAll());
}

bool VersionChecker::updateAvailable()
{
    const QString text = downloadVersionXml();
    if (text.isEmpty())
        return false;
    return isNewer(publishedVersion(text), QCoreApplication::applicationVersion());
}

void VersionChecker::checkUpdateAsync()
{
    reply = getVersionFile();
    connect(reply, &QNetworkReply::finished, this, &VersionChecker::versionXmlDownloaded);
}

bool VersionChecker::isNewer(const QString& published, const QString& current)
{
    const QStringList next = versionParts(published);
    const QStringList now = versionParts(current);
    if (next.isEmpty() || now.isEmpty())
        return false;
    // A missing part counts as 0: "4.2" and "4.2.0" are the same version.
    const QString zero = QStringLiteral("0");
    for (int i = 0; i < qMax(next.size(), now.size()); ++i) {
        const int order =
            compareNumbers(i < next.size() ? next.at(i) : zero, i < now.size() ? now.at(i) : zero);
        if (order != 0)
            return order > 0;
    }
    return false;
}

void VersionChecker::versionXmlDownloaded()
{
    QNetworkReply* finished = reply;
    reply = nullptr;
    if (!finished)
        return;
    finished->deleteLater();
    // Start-up goes on quietly when the maker's server cannot be read.
    if (finished->error() != QNetworkReply::NoError)
        return;
    const QString text = NetworkResource::pageText(finished->readAll());
    if (text.isEmpty() || !isNewer(publishedVersion(text), QCoreApplication::applicationVersion()))
        return;
    UpdateDialog notice;
    notice.exec();
}
