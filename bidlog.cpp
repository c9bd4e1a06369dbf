#include "bidlog.h"

#include "helper/dbhelper.h"
#include "timetext.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>
#include <QtDebug>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QChar Tab = QLatin1Char('\t');

// An item number goes into a line as it stands: eBay's are digits, and a
// tab or a line break would split the record.
QString field(const QString& text)
{
    QString clean = text;
    clean.replace(Tab, QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return clean;
}

} // namespace

BidLog* BidLog::instance()
{
    // Never destroyed: a mail's worker thread may record its notice while
    // the process ends.
    static BidLog* log = new BidLog;
    return log;
}

QString BidLog::path()
{
    return DbHelper::databasePath() + QStringLiteral(".bids");
}

void BidLog::open()
{
    close();
    QFile file(path());
    const QFileInfo info(path());
    if (!info.exists() || info.isSymLink() || !file.open(QIODevice::ReadOnly))
        return;
    const QMutexLocker lock(&m_mutex);
    // Line by line: a line cut short by a full disk leaves the others.
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.isEmpty())
            readLine(line.split(Tab));
    }
    qDebug().noquote() << m_entries.size() << "snipes' records taken back from" << path();
}

void BidLog::readLine(const QStringList& fields)
{
    bool ok = false;
    const int id = fields.value(1).toInt(&ok);
    if (!ok || id <= 0)
        return;
    const QString kind = fields.value(0);
    Entry& entry = m_entries[id];
    entry.itemId = id;
    if ((kind == QLatin1String("run") || kind == QLatin1String("sent")) && fields.size() >= 4) {
        entry.userId = fields.at(2).toInt();
        entry.itemNumber = fields.at(3);
        entry.runRecorded = true;
        entry.latestSent = kind == QLatin1String("sent");
        entry.anySent = entry.anySent || entry.latestSent;
    } else if (kind == QLatin1String("chose") && fields.size() >= 3) {
        entry.chosenLead = qMax(0, fields.at(2).toInt());
    } else if (kind == QLatin1String("told")) {
        entry.told = true;
    } else if (entry.userId == 0) {
        m_entries.remove(id);
    }
}

void BidLog::close()
{
    const QMutexLocker lock(&m_mutex);
    closeFile();
    m_entries.clear();
    m_toldUnwritable = false;
    ++m_generation;
}

void BidLog::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool BidLog::append(const QString& line)
{
    if (m_fd < 0) {
        // Never through a link: whatever it names would be written.
        const QByteArray name = QFile::encodeName(path());
        m_fd =
            ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    if (m_fd >= 0 && ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size())
        return true;
    if (!m_toldUnwritable)
        qWarning().noquote() << "cannot record the snipes' progress in" << path();
    m_toldUnwritable = true;
    closeFile();
    return false;
}

void BidLog::recordRun(int itemId, int userId, const QString& itemNumber)
{
    recordAttempt(itemId, userId, itemNumber, false);
}

bool BidLog::recordAttempt(int itemId, int userId, const QString& itemNumber, bool sent)
{
    const QMutexLocker lock(&m_mutex);
    Entry& entry = m_entries[itemId];
    entry.itemId = itemId;
    entry.userId = userId;
    entry.itemNumber = itemNumber;
    entry.latestSent = sent;
    entry.anySent = entry.anySent || sent;
    const bool written = append(QStringLiteral("%1\t%2\t%3\t%4")
                                    .arg(sent ? QStringLiteral("sent") : QStringLiteral("run"))
                                    .arg(itemId)
                                    .arg(userId)
                                    .arg(field(itemNumber)));
    entry.runRecorded = entry.runRecorded || written;
    return written;
}

void BidLog::recordChosen(int itemId, int leadSecs, const QDateTime& moment)
{
    const QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(itemId);
    if (it == m_entries.end())
        return;
    it->chosenLead = leadSecs;
    append(QStringLiteral("chose\t%1\t%2\t%3")
               .arg(itemId)
               .arg(leadSecs)
               .arg(TimeText::format(moment)));
}

bool BidLog::recordSent(int itemId, int userId, const QString& itemNumber)
{
    return recordAttempt(itemId, userId, itemNumber, true);
}

int BidLog::generation() const
{
    const QMutexLocker lock(&m_mutex);
    return m_generation;
}

void BidLog::recordTold(int itemId, int generation)
{
    const QMutexLocker lock(&m_mutex);
    if (generation >= 0 && generation != m_generation)
        return;
    auto it = m_entries.find(itemId);
    if (it == m_entries.end())
        return;
    it->told = true;
    append(QStringLiteral("told\t%1").arg(itemId));
}

void BidLog::recordTelling(int itemId)
{
    const QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(itemId);
    if (it != m_entries.end())
        it->telling = true;
}

BidLog::Entry BidLog::entry(int itemId) const
{
    const QMutexLocker lock(&m_mutex);
    return m_entries.value(itemId);
}

bool BidLog::latestSent(int itemId) const
{
    return entry(itemId).latestSent;
}

bool BidLog::awaitsOutcome(int itemId) const
{
    const Entry found = entry(itemId);
    return found.anySent && !found.told;
}

QList<BidLog::Entry> BidLog::awaitingOutcome(int userId) const
{
    const QMutexLocker lock(&m_mutex);
    QList<Entry> entries;
    for (const Entry& entry : m_entries) {
        if (entry.userId == userId && entry.anySent && !entry.told && !entry.telling)
            entries << entry;
    }
    return entries;
}

QString BidLog::entryLines(const Entry& entry)
{
    const QString who = QStringLiteral("\t%1\t%2\t%3")
                            .arg(entry.itemId)
                            .arg(entry.userId)
                            .arg(field(entry.itemNumber));
    QString lines;
    // An earlier attempt's step 2 left, the latest one's not (yet).
    if (entry.anySent)
        lines += QStringLiteral("sent") + who + QLatin1Char('\n');
    if (entry.runRecorded && !entry.latestSent)
        lines += QStringLiteral("run") + who + QLatin1Char('\n');
    if (entry.chosenLead > 0)
        lines += QStringLiteral("chose\t%1\t%2\n").arg(entry.itemId).arg(entry.chosenLead);
    if (entry.told)
        lines += QStringLiteral("told\t%1\n").arg(entry.itemId);
    return lines;
}

QString BidLog::compact(const std::function<bool(const Entry&)>& keep)
{
    // The rows are read without the lock: a notice told meanwhile is kept
    // for the next compaction.
    QHash<int, Entry> entries;
    int generation = 0;
    {
        const QMutexLocker lock(&m_mutex);
        entries = m_entries;
        generation = m_generation;
    }
    QList<int> dropped;
    for (const Entry& entry : qAsConst(entries)) {
        if (!keep(entry))
            dropped << entry.itemId;
    }
    const QMutexLocker lock(&m_mutex);
    if (generation != m_generation || dropped.isEmpty())
        return QString();
    for (const int id : qAsConst(dropped)) {
        // Recorded again since it was judged: a new attempt.
        if (m_entries.value(id).latestSent == entries.value(id).latestSent &&
            m_entries.value(id).told == entries.value(id).told)
            m_entries.remove(id);
    }
    closeFile();
    if (m_entries.isEmpty()) {
        QFile::remove(path());
        return QString();
    }
    QString text;
    for (const Entry& entry : qAsConst(m_entries))
        text += entryLines(entry);
    if (QFileInfo(path()).isSymLink())
        QFile::remove(path());
    QSaveFile file(path());
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit())
        return QString();
    return file.errorString();
}
