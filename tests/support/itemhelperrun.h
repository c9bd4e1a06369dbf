#ifndef ITEMHELPERRUN_H
#define ITEMHELPERRUN_H

#include "helper/itemhelper.h"
#include "support/boxrecorder.h"

#include <QSignalSpy>
#include <QStringList>

// One ItemHelper operation watched from the outside: the arguments of the
// signal it answers with, and the order of that signal and the boxes that
// follow ("signal", "box:<title>"), so a test sees that a failure signal
// came before its box. Usage:
//   BoxRecorder boxes;
//   ItemHelperRun run(boxes, &ItemHelper::getShippingFinished);
//   run.helper.getShipping("123");
//   QVERIFY(run.wait());
//   QCOMPARE(run.arg(1).toDouble(), 3.5);
class ItemHelperRun
{
public:
    template <typename Signal>
    ItemHelperRun(BoxRecorder& boxes, Signal signal) : m_boxes(boxes), spy(&helper, signal)
    {
        m_boxes.setOnShow([this](const MessageBox::Request& box) {
            events << QStringLiteral("box:") + box.title;
        });
        QObject::connect(&helper, signal, [this] { events << QStringLiteral("signal"); });
    }
    ~ItemHelperRun() { m_boxes.setOnShow(nullptr); }
    ItemHelperRun(const ItemHelperRun&) = delete;
    ItemHelperRun& operator=(const ItemHelperRun&) = delete;

    // Waits (bounded) for the signal; true when exactly one came.
    bool wait(int timeoutMs = 10000)
    {
        if (spy.isEmpty())
            spy.wait(timeoutMs);
        return spy.count() == 1;
    }

    // An argument of the first signal.
    QVariant arg(int index) const { return spy.isEmpty() ? QVariant() : spy.first().value(index); }

private:
    BoxRecorder& m_boxes;

public:
    ItemHelper helper;
    QSignalSpy spy;
    QStringList events;
};

#endif // ITEMHELPERRUN_H
