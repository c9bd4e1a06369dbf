#include "boxrecorder.h"

#include <QEventLoop>
#include <QTimer>

BoxRecorder::BoxRecorder()
{
    m_clock.start();
    m_previous = MessageBox::setHandler(
        [this](const MessageBox::Request& request) { return handle(request); });
}

BoxRecorder::~BoxRecorder()
{
    MessageBox::setHandler(m_previous);
}

QStringList BoxRecorder::titles() const
{
    QStringList result;
    for (const Box& box : m_boxes)
        result << box.request.title;
    return result;
}

QStringList BoxRecorder::texts() const
{
    QStringList result;
    for (const Box& box : m_boxes)
        result << box.request.text;
    return result;
}

QMessageBox::StandardButton BoxRecorder::handle(const MessageBox::Request& request)
{
    m_boxes.append({request, m_clock.elapsed()});
    if (m_onShow)
        m_onShow(request);
    if (m_holdMs > 0) {
        QEventLoop loop;
        QTimer::singleShot(m_holdMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
        // A box that closes by itself does so while it is held, as it would
        // on the screen.
        bool closedItself = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            closedItself = request.closeWhen();
            if (closedItself)
                loop.quit();
        });
        if (request.closeWhen)
            poll.start(1000);
        loop.exec();
        if (closedItself)
            return QMessageBox::NoButton;
    }
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    if (request.defaultButton != QMessageBox::NoButton)
        return request.defaultButton;
    for (int bit = 0; bit < 32; ++bit) {
        const auto button = static_cast<QMessageBox::StandardButton>(1u << bit);
        if (request.buttons.testFlag(button))
            return button;
    }
    return QMessageBox::NoButton;
}
