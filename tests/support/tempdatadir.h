#ifndef TEMPDATADIR_H
#define TEMPDATADIR_H

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh, empty per-user data and config location for one test case.
// On destruction it closes the store's default database connection and puts
// the harness's locations back.
class TempDataDir
{
public:
    TempDataDir();
    ~TempDataDir();
    TempDataDir(const TempDataDir&) = delete;
    TempDataDir& operator=(const TempDataDir&) = delete;

    QString root() const { return m_dir.path(); }
    // Where the program keeps its files (the writable DataLocation).
    QString dataLocation() const;
    QString databasePath() const;

    // Closes and removes the default connection and lets go of the data
    // file's lock, as a process exit would.
    static void closeDatabase();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldData;
    QByteArray m_oldConfig;
};

#endif // TEMPDATADIR_H
