#include "startup.h"

#include "bidlog.h"
#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "mainwindow.h"
#include "messagebox.h"
#include "snipestore.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QSqlRecord>
#include <QThread>
#include <QtDebug>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Written by the signal handler, read by the event loop.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    // Nothing but a write is safe here; the event loop does the rest.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// As File > Exit: the window closes and its snipes end with their last
// writes; out of a dialog or a box, the program ends as when it is
// cancelled (the box of snipes not saved as with Quit Anyway).
void endAsExitDoes()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* widget : windows) {
        if (auto* window = qobject_cast<MainWindow*>(widget))
            QMetaObject::invokeMethod(window, "exit");
    }
    QCoreApplication::quit();
}

int fail(const QString& what)
{
    std::fprintf(stderr, "kestrova: %s\n", qPrintable(what));
    return Startup::StoreFailureExitCode;
}

// A file that is there but cannot be used: said before the program ends,
// the file left as it is for the user (or a backup) to put right.
int failOnFile(const QString& what)
{
    const QString reason = DbHelper::lastError();
    // The store's own words; the statement that met them goes to stderr.
    MessageBox::critical(nullptr, QCoreApplication::translate("Startup", "Database Error"),
                         QCoreApplication::translate("Startup",
                                                     "The data file cannot be read or brought up "
                                                     "to date, and the program must end:\n%1")
                                 .arg(DbHelper::databasePath()) +
                             QStringLiteral("\n\n") + DbHelper::lastErrorReason());
    return fail(what + reason);
}

// Two copies on one data file would each bid the same snipes. Held until the
// process ends. A copy that died leaves its lock behind, which is taken over
// once its process is gone; never for its age, as a copy that runs for days
// never touches its lock again.
std::unique_ptr<QLockFile>& dataFileLock()
{
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

QString lockPath()
{
    return DbHelper::databasePath() + QStringLiteral(".lock");
}

QString tr(const char* text)
{
    return QCoreApplication::translate("Startup", text);
}

QString lockFolder()
{
    return QFileInfo(DbHelper::databasePath()).absolutePath();
}

// What stands at the lock's place, when it is nothing a running copy made:
// a copy writes its lock as a file of its own, with its process, at once.
// A folder or a link is never one, nor a file without a copy's details that
// has been there for a while (one just made may be being written by a copy
// that does not take its turn, FolderTurn).
QString notALock(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return QFileInfo::exists(path)
                   ? tr("a link to %1").arg(info.symLinkTarget())
                   : tr("a link to %1, which does not exist").arg(info.symLinkTarget());
    if (info.isDir())
        return tr("a folder");
    if (!info.isFile())
        return tr("not a file");
    QLockFile existing(path);
    constexpr qint64 WrittenWithinMs = 10000;
    if (!existing.getLockInfo(nullptr, nullptr, nullptr) &&
        qAbs(info.lastModified().msecsTo(QDateTime::currentDateTimeUtc())) > WrittenWithinMs)
        return tr("a file that is not a lock of this program");
    return QString();
}

// Whether the folder the lock goes in refuses new files (its permissions, an
// immutable folder, a read-only disk): said as such, not as a full disk.
bool folderRefusesWrites()
{
    return ::access(QFile::encodeName(lockFolder()).constData(), W_OK) != 0 &&
           (errno == EACCES || errno == EPERM || errno == EROFS);
}

// Copies started together take turns, by a lock on the data folder (which
// nothing moves), from their first try for the lock until they hold it or
// know that they cannot: one copy's judging what stands at the lock's place,
// moving it aside and making its lock are one step, which no other copy can
// split (take the folder's thing for its own, or move the first one's new
// lock aside). A folder that cannot be locked (a network file system) has
// no turns.
class FolderTurn
{
public:
    FolderTurn()
    {
        m_fd =
            ::open(QFile::encodeName(lockFolder()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (m_fd < 0)
            return;
        // A copy takes milliseconds for its step: one that holds the turn
        // for seconds is stopped (a debugger), and still a copy starting.
        QElapsedTimer waited;
        waited.start();
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                return;
            if (waited.elapsed() >= WaitMs) {
                m_taken = false;
                return;
            }
            QThread::msleep(10);
        }
    }
    ~FolderTurn()
    {
        if (m_fd >= 0)
            ::close(m_fd); // lets go of the turn
    }
    FolderTurn(const FolderTurn&) = delete;
    FolderTurn& operator=(const FolderTurn&) = delete;
    // False when another copy kept its turn for WaitMs.
    bool isTaken() const { return m_taken; }

    static constexpr int WaitMs = 5000;

private:
    int m_fd = -1;
    bool m_taken = true;
};

int failOnLock(const QString& what, const QString& reason)
{
    MessageBox::critical(nullptr, tr("Database Error"),
                         tr("The data file cannot be locked for this copy of the program, and "
                            "the program must end:\n%1\n\n%2\n\nThe lock keeps a second copy "
                            "from bidding the same snipes.")
                             .arg(lockPath(), reason));
    return fail(what);
}

int failAsRunning(const QString& user)
{
    MessageBox::critical(nullptr, tr("Already Running"),
                         tr("Kestrova is already running with the data file\n%1\n\nOne copy "
                            "at a time uses a data file, so that no snipe is bid twice. This "
                            "copy ends and leaves the file to it.")
                             .arg(DbHelper::databasePath()));
    return fail(DbHelper::databasePath() + QStringLiteral(" is in use by ") + user);
}

// Fails when another running copy holds the data file, or when the lock
// cannot be made (a full disk, a folder that cannot be written); then
// nothing of the file has been read or written. Something else at the
// lock's place (a folder, a link, a file a copy did not write) is moved
// aside, kept for a person to look at, and the lock taken: it is no copy's,
// and a box would hold every snipe of a program started unattended until
// someone came to close it.
int lockDataFile()
{
    std::unique_ptr<QLockFile>& held = dataFileLock();
    held.reset();
    // Opening the store then says what is wrong.
    if (!DbHelper::makeDataDirectory())
        return 0;
    auto lock = std::make_unique<QLockFile>(lockPath());
    lock->setStaleLockTime(0);
    QString what; // at the lock's place, when it cannot be moved aside
    {
        const FolderTurn turn;
        if (!turn.isTaken())
            return failAsRunning(QStringLiteral("another copy starting"));
        if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
            what = notALock(lockPath());
            const QString aside = what.isEmpty() ? QString() : DbHelper::moveAside(lockPath());
            if (!aside.isEmpty()) {
                std::fprintf(stderr, "kestrova: %s was %s, not a lock: moved to %s\n",
                             qPrintable(lockPath()), qPrintable(what), qPrintable(aside));
                what.clear();
                lock->tryLock(0);
            }
        }
    } // the turn ends before any box: another copy may say its own outcome meanwhile
    if (!what.isEmpty())
        return failOnLock(lockPath() + QStringLiteral(" is ") + what,
                          folderRefusesWrites()
                              ? tr("It is %1, not a lock of this program, and cannot be moved "
                                   "out of the way: the folder it stands in cannot be written.")
                                    .arg(what)
                              : tr("It is %1, not a lock of this program, and cannot be moved "
                                   "out of the way. Remove it, or move it elsewhere, and start "
                                   "the program again.")
                                    .arg(what));
    if (lock->isLocked()) {
        held = std::move(lock);
        return 0;
    }
    if (lock->error() != QLockFile::LockFailedError)
        return failOnLock(QStringLiteral("cannot make ") + lockPath(),
                          folderRefusesWrites()
                              ? tr("Its folder cannot be written.")
                              : tr("It cannot be written: the disk may be full."));
    qint64 pid = 0;
    QString host;
    QString program;
    lock->getLockInfo(&pid, &host, &program);
    return failAsRunning(
        QStringLiteral("%1, process %2 on %3").arg(program, QString::number(pid), host));
}
} // namespace

namespace Startup {

int prepareStore()
{
    if (const int failure = lockDataFile())
        return failure;
    // The store has shown its own box when the file cannot be opened.
    if (!DbHelper::connectDB())
        return fail(QStringLiteral("cannot open the database: ") + DbHelper::lastError());
    if (!DbHelper::upgradeTables())
        return failOnFile(QStringLiteral("cannot bring the database schema up to date: "));
    // Before the setting row is read: a sign-in kept from the last run may
    // have chosen the automatic sign-in user.
    const QString unreadable = SnipeStore::instance()->loadSaved();
    if (!unreadable.isEmpty())
        MessageBox::warning(nullptr, QCoreApplication::translate("Startup", "Snipes Not Saved"),
                            unreadable);
    // What the last run's snipes did at eBay, for the engine to take up.
    BidLog::instance()->open();
    QSqlRecord setting = DbHelper::emptyRecord(QStringLiteral("setting"));
    if (!DbHelper::getSetting(setting))
        return failOnFile(QStringLiteral("no setting row in the database ") +
                          DbHelper::databasePath() + QStringLiteral(": "));
    kApp->setSetting(setting);
    return 0;
}

void endOnSignals()
{
    if (signalPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        qWarning() << "cannot watch for the signals that end the program";
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) == 1)
            endAsExitDoes();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    // The desktop session ends.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp,
                     [](QSessionManager&) { endAsExitDoes(); });
}

void releaseDataFile()
{
    dataFileLock().reset();
}

void startClock()
{
    ClockManager::instance()->updateTimeSync();
    ClockManager::instance()->startTicking();
}

void endBidding(MainWindow& window)
{
    window.stopBidding();
    SnipeStore::instance()->finishWindowWrites();
}

void finishStore()
{
    SnipeStore* const store = SnipeStore::instance();
    if (store->storeAll())
        return;
    const auto tr = [](const char* text) { return QCoreApplication::translate("Startup", text); };
    // eBay's data of the watch list keeps nobody waiting: the next start's
    // reload reads it again.
    const auto onlyItemData = [store] { return store->pendingCount() == store->pendingItemData(); };
    if (!onlyItemData()) {
        MessageBox::Request request;
        request.icon = QMessageBox::Warning;
        request.title = tr("Snipes Not Saved");
        request.text =
            tr("The results of these snipes are not saved yet:\n%1\n\nThe data file cannot "
               "be written: %2\n\nThe program ends as soon as they are saved. With Quit "
               "Anyway it ends now, and they are saved at the next start.")
                .arg(store->describePending().join(QStringLiteral(", ")), store->lastError());
        request.buttons = QMessageBox::Discard;
        request.buttonTexts.insert(QMessageBox::Discard, tr("Quit Anyway"));
        request.closeWhen = [store, onlyItemData] { return store->storeAll() || onlyItemData(); };
        MessageBox::show(request);
        if (store->pendingCount() == 0)
            return;
    }
    const QString error = store->saveForNextStart();
    if (error.isEmpty())
        return;
    MessageBox::critical(nullptr, tr("Database Error"),
                         tr("The results of these snipes could not be saved, and are lost:\n%1"
                            "\n\n%2")
                             .arg(store->describePending().join(QStringLiteral(", ")), error));
}

} // namespace Startup
