#include "messagebox.h"

#include "helper/dbhelper.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QIcon>
#include <QTimer>

namespace {
MessageBox::Handler& currentHandler()
{
    static MessageBox::Handler handler;
    return handler;
}

QMessageBox::StandardButton showWith(QMessageBox::Icon icon, QWidget* parent, const QString& title,
                                     const QString& text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton)
{
    MessageBox::Request request;
    request.parent = parent;
    request.icon = icon;
    request.title = title;
    request.text = text;
    request.buttons = buttons;
    request.defaultButton = defaultButton;
    return MessageBox::show(request);
}
} // namespace

QMessageBox::StandardButton MessageBox::show(const Request& request)
{
    const Handler& handler = currentHandler();
    return handler ? handler(request) : showModal(request);
}

QMessageBox::StandardButton MessageBox::showModal(const Request& request)
{
    QMessageBox box(request.icon, request.title, request.text, request.buttons, request.parent);
    box.setDefaultButton(request.defaultButton);
    for (auto it = request.buttonTexts.cbegin(); it != request.buttonTexts.cend(); ++it) {
        // The standard button's icon goes with its standard meaning.
        if (QAbstractButton* button = box.button(it.key())) {
            button->setText(it.value());
            button->setIcon(QIcon());
        }
    }
    QTimer poll;
    if (request.closeWhen) {
        QObject::connect(&poll, &QTimer::timeout, &box, [&box, &request] {
            if (request.closeWhen())
                box.done(QMessageBox::NoButton);
        });
        poll.start(1000);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton MessageBox::critical(QWidget* parent, const QString& title,
                                                 const QString& text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    return showWith(QMessageBox::Critical, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::warning(QWidget* parent, const QString& title,
                                                const QString& text,
                                                QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton defaultButton)
{
    return showWith(QMessageBox::Warning, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::information(QWidget* parent, const QString& title,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton)
{
    return showWith(QMessageBox::Information, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton MessageBox::question(QWidget* parent, const QString& title,
                                                 const QString& text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    return showWith(QMessageBox::Question, parent, title, text, buttons, defaultButton);
}

void MessageBox::databaseError(QWidget* parent, const QString& what)
{
    warning(parent, QCoreApplication::translate("MessageBox", "Database Error"),
            what + QStringLiteral("\n\n") + DbHelper::lastError());
}

MessageBox::Handler MessageBox::setHandler(Handler handler)
{
    Handler previous = currentHandler();
    currentHandler() = std::move(handler);
    return previous;
}
