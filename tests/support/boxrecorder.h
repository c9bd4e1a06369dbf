#ifndef BOXRECORDER_H
#define BOXRECORDER_H

#include "messagebox.h"

#include <QElapsedTimer>
#include <QList>
#include <QQueue>
#include <functional>

// Stands in for the person in front of the screen: records every message box
// the program shows and answers it as scripted, so no test blocks in a modal
// box. Installed for its lifetime; the previous handler comes back after.
class BoxRecorder
{
public:
    struct Box
    {
        MessageBox::Request request;
        qint64 shownAtMs = 0; // since the recorder was made
    };

    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    // Answers for the coming boxes, in order. Without a queued answer a box
    // is closed with its default button, else with the first of its buttons.
    void answer(QMessageBox::StandardButton button) { m_answers.enqueue(button); }

    // Keeps each box open for this long, running a nested event loop as a
    // modal box does (ticks, replies and timers go on meanwhile). A box that
    // closes by itself (Request::closeWhen) may close sooner, answering
    // NoButton.
    void setHoldMs(int ms) { m_holdMs = ms; }

    // Called as each box appears, before it is answered.
    void setOnShow(std::function<void(const MessageBox::Request&)> hook)
    {
        m_onShow = std::move(hook);
    }

    int count() const { return m_boxes.size(); }
    const QList<Box>& boxes() const { return m_boxes; }
    const Box& last() const { return m_boxes.last(); }
    QStringList titles() const;
    QStringList texts() const;
    void clear() { m_boxes.clear(); }

private:
    QMessageBox::StandardButton handle(const MessageBox::Request& request);

    MessageBox::Handler m_previous;
    QList<Box> m_boxes;
    QQueue<QMessageBox::StandardButton> m_answers;
    std::function<void(const MessageBox::Request&)> m_onShow;
    int m_holdMs = 0;
    QElapsedTimer m_clock;
};

#endif // BOXRECORDER_H
