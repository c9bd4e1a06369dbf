#include "support/readlock.h"

#include <QSqlDatabase>
#include <QSqlQuery>

ReadLock::ReadLock(const QString& databasePath)
{
    m_thread = std::thread([this, databasePath] { hold(databasePath); });
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_started; });
}

ReadLock::~ReadLock()
{
    release();
    m_thread.join();
}

void ReadLock::releaseAfter(int ms)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_releaseSet = true;
    m_releaseAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    m_changed.notify_all();
}

void ReadLock::hold(const QString& databasePath)
{
    static std::atomic<int> made{0};
    const QString name = QStringLiteral("read-lock-%1").arg(++made);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(databasePath);
        QSqlQuery reading(db);
        const bool held = db.open() && db.transaction() &&
                          reading.exec(QStringLiteral("SELECT count(*) FROM items")) &&
                          reading.next();
        std::unique_lock<std::mutex> lock(m_mutex);
        m_held = held;
        m_started = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_releaseSet; });
        m_changed.wait_until(lock, m_releaseAt,
                             [this] { return std::chrono::steady_clock::now() >= m_releaseAt; });
        reading.finish();
        if (held)
            db.rollback();
        m_held = false;
    }
    QSqlDatabase::removeDatabase(name);
}
