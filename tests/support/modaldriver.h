#ifndef MODALDRIVER_H
#define MODALDRIVER_H

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

// Stands in for the person in front of a modal dialog: a dialog's exec()
// runs a nested event loop, so a test cannot act on the dialog after exec()
// has been called. Queue the steps first, then call exec() (or trigger the
// action that runs it); a timer polls QApplication::activeModalWidget() and
// runs the next step on whatever modal widget is up, one step per poll.
//
//   ModalDriver driver;
//   driver.onNext<SnipeDialog>([](SnipeDialog* d) { ...; d->accept(); });
//   window.findChild<QAction*>("snipeAction")->trigger();
//   QVERIFY(driver.allDone());
//
// Bounded: a modal widget that stays up with no step left for it, longer
// than the time-out, is rejected (so the test goes on instead of hanging)
// and recorded as a failure; so is a step whose widget is of another class.
class ModalDriver : public QObject
{
    Q_OBJECT

public:
    explicit ModalDriver(int timeoutMs = 10000);
    ~ModalDriver() override;

    // The next step, run on the modal widget that is up when its turn comes.
    void onNext(std::function<void(QWidget*)> step);
    template <typename Dialog> void onNext(std::function<void(Dialog*)> step)
    {
        onNext([this, step](QWidget* widget) {
            if (auto* dialog = qobject_cast<Dialog*>(widget))
                step(dialog);
            else
                fail(QStringLiteral("expected a %1, found a %2")
                         .arg(QLatin1String(Dialog::staticMetaObject.className()),
                              QLatin1String(widget->metaObject()->className())));
        });
    }

    // True when every queued step has run and nothing failed.
    bool allDone() const { return m_steps.isEmpty() && m_failures.isEmpty(); }
    int stepsLeft() const { return m_steps.size(); }
    int stepsRun() const { return m_run; }
    QStringList failures() const { return m_failures; }
    // Widgets rejected for having no step (their class names).
    QStringList unexpected() const { return m_unexpected; }

private:
    void poll();
    void fail(const QString& why);

    QTimer m_timer;
    QQueue<std::function<void(QWidget*)>> m_steps;
    QStringList m_failures;
    QStringList m_unexpected;
    QPointer<QWidget> m_idleWidget; // up with no step left, since m_idleSince
    QElapsedTimer m_idleSince;
    int m_timeoutMs;
    int m_run = 0;
};

#endif // MODALDRIVER_H
