#ifndef MESSAGEBOX_H
#define MESSAGEBOX_H

#include <QMap>
#include <QMessageBox>
#include <QString>
#include <functional>

// Every message box of the program goes through here, so that one handler
// decides how a box is shown. The default runs a modal QMessageBox; tests
// install a recorder that answers as scripted and never blocks.
class MessageBox
{
public:
    struct Request
    {
        QWidget* parent = nullptr;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        // Texts in place of the standard ones ("Quit Anyway").
        QMap<QMessageBox::StandardButton, QString> buttonTexts;
        // Asked every second while the box stands: once it is true, the box
        // closes by itself and show() returns NoButton.
        std::function<bool()> closeWhen;
    };
    using Handler = std::function<QMessageBox::StandardButton(const Request&)>;

    // Shows the box and returns the button that closed it.
    static QMessageBox::StandardButton show(const Request& request);

    static QMessageBox::StandardButton
    critical(QWidget* parent, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons = QMessageBox::Ok,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton
    warning(QWidget* parent, const QString& title, const QString& text,
            QMessageBox::StandardButtons buttons = QMessageBox::Ok,
            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton
    information(QWidget* parent, const QString& title, const QString& text,
                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton
    question(QWidget* parent, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons = QMessageBox::Ok | QMessageBox::Cancel,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // The "Database Error" warning of a failed store operation: what
    // failed, then the store's own reason (DbHelper::lastError()).
    static void databaseError(QWidget* parent, const QString& what);

    // Replaces the handler; returns the one it replaced. An empty handler
    // restores the modal default.
    static Handler setHandler(Handler handler);

    // The modal QMessageBox the program shows when no other handler is set.
    static QMessageBox::StandardButton showModal(const Request& request);
};

#endif // MESSAGEBOX_H
