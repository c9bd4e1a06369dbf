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
#include <QTimer>

namespace {

// A version file is a few lines: an answer longer than this is something
// else, and is not read on.
constexpr qint64 MaxVersionFileBytes = 64 * 1024;

// Why the program stopped reading an answer, kept on the reply.
const char* const StopReason = "versionCheckStop";
enum Stop { NotStopped, TooLong, TooSlow };

void stop(QNetworkReply* reply, Stop reason)
{
    if (reply->isFinished())
        return;
    reply->setProperty(StopReason, reason);
    reply->abort();
}

QNetworkReply* getVersionFile()
{
    const QUrl url =
        HostConfig::url(HostConfig::MakerWeb, QString(), QStringLiteral("/version.xml"));
    QNetworkRequest request = NetworkResource::request(url);
    // Unpacked as they arrive, 64 KB of a packed answer can grow to 64 MB
    // before the bound below sees them.
    request.setRawHeader("Accept-Encoding", "identity");
    QNetworkReply* reply = NetworkResource::instance()->networkAccessManager()->get(request);
    // Qt stops reading from the server while its buffer is full: an answer
    // that never ends takes no more memory than the bound.
    reply->setReadBufferSize(MaxVersionFileBytes + 1);
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply] {
        if (reply->bytesAvailable() > MaxVersionFileBytes)
            stop(reply, TooLong);
    });
    // The transfer time-out counts only silence: a byte a second would keep
    // the check open for ever. The same time bounds the whole answer,
    // counted from the request.
    QTimer::singleShot(HostConfig::transferTimeoutMs(), reply, [reply] { stop(reply, TooSlow); });
    return reply;
}

// The body of a finished reply, or "" with why it could not be read.
QString readBody(QNetworkReply* reply, QString* error)
{
    switch (reply->property(StopReason).toInt()) {
    case TooLong:
        *error = VersionChecker::tr("The update server's answer is too long to be a version file.");
        return QString();
    case TooSlow:
        *error =
            VersionChecker::tr("The update server did not send the version file within %1 seconds.")
                .arg(HostConfig::transferTimeoutMs() / 1000.0);
        return QString();
    default:
        break;
    }
    if (reply->error() != QNetworkReply::NoError) {
        *error = NetworkResource::errorText(reply);
        return QString();
    }
    return NetworkResource::pageText(reply->readAll());
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
    m_errorString.clear();
    QNetworkReply* fetch = getVersionFile();
    QEventLoop loop;
    connect(fetch, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!fetch->isFinished())
        loop.exec();
    fetch->deleteLater();
    return readBody(fetch, &m_errorString);
}

bool VersionChecker::updateAvailable()
{
    const QString text = downloadVersionXml();
    if (checkFailed())
        return false;
    // An error page sent as a success, or an empty file, says nothing about
    // the version: it must not pass for "you have the latest".
    const QString published = publishedVersion(text);
    if (versionParts(published).isEmpty()) {
        m_errorString = tr("The update server's answer holds no version number.");
        return false;
    }
    return isNewer(published, QCoreApplication::applicationVersion());
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
    QString error;
    const QString text = readBody(finished, &error);
    if (!error.isEmpty() ||
        !isNewer(publishedVersion(text), QCoreApplication::applicationVersion()))
        return;
    UpdateDialog notice;
    notice.exec();
}
