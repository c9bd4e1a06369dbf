#ifndef RELAYOVERRIDE_H
#define RELAYOVERRIDE_H

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTemporaryDir>

// Points the host configuration's SMTP relay at a local server for the life
// of the object: it copies the override file in force (every role another
// fixture configured stays), sets its "smtp" entry, names the copy in
// KESTROVA_HOSTS and reloads. The destructor puts the previous file back.
class RelayOverride
{
public:
    RelayOverride(const QString& host, int port, const QString& account);
    ~RelayOverride();
    RelayOverride(const RelayOverride&) = delete;
    RelayOverride& operator=(const RelayOverride&) = delete;

    bool isValid() const { return m_valid; }

    // {"host": ..., "port": ..., "account": ...} as the override file wants it.
    static QJsonObject smtpEntry(const QString& host, int port, const QString& account);
    // Sets the "smtp" entry in an existing (or new) override file, keeping
    // everything else in it. The caller reloads the host configuration.
    static bool mergeInto(const QString& hostsFile, const QJsonObject& smtp);

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    bool m_valid = false;
};

#endif // RELAYOVERRIDE_H
