#include "lookupqueue.h"

#include "helper/itemhelper.h"

LookUpQueue::LookUpQueue(Sender send, Wanted wanted, QObject* parent)
    : QObject(parent), m_send(std::move(send)), m_wanted(std::move(wanted))
{
}

void LookUpQueue::enqueue(Kind kind, const QString& itemNumber)
{
    m_waiting.enqueue(LookUp{kind, itemNumber});
    sendWaiting();
}

void LookUpQueue::sendWaiting()
{
    while (m_onTheWire < OnTheWireLimit && !m_waiting.isEmpty()) {
        const LookUp next = m_waiting.dequeue();
        if (!m_wanted(next.itemNumber))
            continue;
        ItemHelper* helper = m_send(next.kind, next.itemNumber);
        ++m_onTheWire;
        // After the receiver's own connection, so the row is written before
        // the next look-up goes; and before the item client's error box, so
        // that a box left open does not hold the rest of the list back.
        if (next.kind == Shipping)
            connect(helper, &ItemHelper::getShippingFinished, this, &LookUpQueue::finished);
        else
            connect(helper, &ItemHelper::getUserItemRelationFinished, this, &LookUpQueue::finished);
    }
}

void LookUpQueue::finished()
{
    --m_onTheWire;
    sendWaiting();
}
