#include "modaldriver.h"

#include <QApplication>
#include <QDialog>
#include <QtDebug>

ModalDriver::ModalDriver(int timeoutMs) : m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start();
}

ModalDriver::~ModalDriver() = default;

void ModalDriver::onNext(std::function<void(QWidget*)> step)
{
    m_steps.enqueue(std::move(step));
}

void ModalDriver::fail(const QString& why)
{
    qWarning().noquote() << "ModalDriver:" << why;
    m_failures << why;
}

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
        m_idleWidget = nullptr;
        return;
    }
    if (!m_steps.isEmpty()) {
        m_idleWidget = nullptr;
        const std::function<void(QWidget*)> step = m_steps.dequeue();
        ++m_run;
        step(modal);
        return;
    }
    if (m_idleWidget != modal) {
        m_idleWidget = modal;
        m_idleSince.start();
        return;
    }
    if (m_idleSince.elapsed() < m_timeoutMs)
        return;
    const QString name = QLatin1String(modal->metaObject()->className());
    m_unexpected << name;
    fail(QStringLiteral("a %1 stayed up with no step for it; rejected").arg(name));
    m_idleWidget = nullptr;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    else
        modal->close();
}
