#ifndef LOOKUPQUEUE_H
#define LOOKUPQUEUE_H

#include <QObject>
#include <QQueue>
#include <QString>
#include <functional>

class ItemHelper;

// The main window's per-row look-ups (shipping and relation), sent a few at a
// time. A request's transfer time-out runs from the moment the access manager
// takes it, also while it waits there for one of the six connections it
// opens per host: a reload of a long list handed over at once would time out
// before most of it was ever sent. Here the look-ups wait unsent, in order,
// and each has its whole time-out once it goes out.
class LookUpQueue : public QObject
{
    Q_OBJECT

public:
    enum Kind { Shipping, Relation };

    // Starts a look-up: makes its ItemHelper, connects the receiver and sends.
    using Sender = std::function<ItemHelper*(Kind kind, const QString& itemNumber)>;
    // Asked just before a waiting look-up goes out: false skips it (its row
    // has gone meanwhile).
    using Wanted = std::function<bool(const QString& itemNumber)>;

    // The access manager's own number of connections per host: none of the
    // list's look-ups waits in its queue, and a snipe's relation check to the
    // same host waits for one look-up at most.
    static constexpr int OnTheWireLimit = 6;

    LookUpQueue(Sender send, Wanted wanted, QObject* parent = nullptr);

    void enqueue(Kind kind, const QString& itemNumber);
    // Forgets the look-ups not yet sent; those on the wire run to their end.
    void dropWaiting() { m_waiting.clear(); }

private:
    struct LookUp
    {
        Kind kind;
        QString itemNumber;
    };

    void sendWaiting();
    void finished();

    Sender m_send;
    Wanted m_wanted;
    QQueue<LookUp> m_waiting;
    int m_onTheWire = 0;
};

#endif // LOOKUPQUEUE_H
