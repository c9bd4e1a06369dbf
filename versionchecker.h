#ifndef VERSIONCHECKER_H
#define VERSIONCHECKER_H

#include <QObject>
#include <QString>

class QNetworkReply;

// Reads the version file the maker publishes and tells whether it names a
// newer version than this program's. Versions are compared as dotted
// numbers. The file is read up to 64 KB and within the transfer time-out
// counted from the request: a longer or slower answer, like one that holds
// no dotted version, is a failed check, never "no update".
class VersionChecker : public QObject
{
    Q_OBJECT

public:
    explicit VersionChecker(QObject* parent = nullptr);
    ~VersionChecker() override;

    // Blocking fetch of the version file (a local event loop): its text, or
    // "" when it could not be read.
    QString downloadVersionXml();
    // Blocking check: true when the published version is newer.
    bool updateAvailable();
    // Whether the last blocking check failed, and why: a failed check is
    // not the same as an up-to-date program.
    bool checkFailed() const { return !m_errorString.isEmpty(); }
    QString errorString() const { return m_errorString; }

    // Starts the non-blocking check; a newer version shows the notice.
    void checkUpdateAsync();

    // True when published is a newer dotted version than current.
    static bool isNewer(const QString& published, const QString& current);

private slots:
    void versionXmlDownloaded();

private:
    QNetworkReply* reply = nullptr;
    QString m_errorString;
};

#endif // VERSIONCHECKER_H
