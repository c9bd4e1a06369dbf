#ifndef VERSIONCHECKER_H
#define VERSIONCHECKER_H

#include <QObject>
#include <QString>

class QNetworkReply;

// Reads the version file the maker publishes and tells whether it names a
// newer version than this program's. Versions are compared as dotted
// numbers; a version that does not read as one counts as no update.
class VersionChecker : public QObject
{
    Q_OBJECT

public:
    explicit VersionChecker(QObject* parent = nullptr);
    ~VersionChecker() override;

    // Blocking fetch of the version file (a local event loop; the request's
    // transfer time-out bounds it): its text, or "" when it could not be read.
    QString downloadVersionXml();
    // Blocking check: true when the published version is newer.
    bool updateAvailable();
    // Whether the last blocking fetch failed, and why: a failed fetch is not
    // the same as an up-to-date program.
    bool fetchFailed() const { return m_fetchFailed; }
    QString errorString() const { return m_errorString; }

    // Starts the non-blocking check; a newer version shows the notice.
    void checkUpdateAsync();

    // True when published is a newer dotted version than current.
    static bool isNewer(const QString& published, const QString& current);

private slots:
    void versionXmlDownloaded();

private:
    QNetworkReply* reply = nullptr;
    bool m_fetchFailed = false;
    QString m_errorString;
};

#endif // VERSIONCHECKER_H
