#ifndef READLOCK_H
#define READLOCK_H

#include <QString>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// Another program reading the data file (a backup, the sqlite3 shell): a read
// transaction on a connection of its own, which makes every write of the
// program's connection wait and then fail with "database is locked". It runs
// on a thread of its own, so that it can end while the GUI thread waits on the
// file. Held from construction until release(), releaseAfter() or destruction.
//
//   ReadLock lock(DbHelper::databasePath());
//   QVERIFY(lock.isHeld());
//   lock.releaseAfter(1500); // while the window's write waits
class ReadLock
{
public:
    explicit ReadLock(const QString& databasePath);
    ~ReadLock();
    ReadLock(const ReadLock&) = delete;
    ReadLock& operator=(const ReadLock&) = delete;

    bool isHeld() const { return m_held; }
    void release() { releaseAfter(0); }
    // Ends the transaction that long from now, without the GUI thread.
    void releaseAfter(int ms);

private:
    void hold(const QString& databasePath);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_started = false;
    std::atomic<bool> m_held{false};
    bool m_releaseSet = false;
    std::chrono::steady_clock::time_point m_releaseAt;
    std::thread m_thread;
};

#endif // READLOCK_H
