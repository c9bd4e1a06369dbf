#ifndef UPDATEDIALOG_H
#define UPDATEDIALOG_H

#include <QDialog>

namespace Ui {
class UpdateDialog;
}

// "Update Available": the notice that a newer version exists, with a link
// to the maker's web site.
class UpdateDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpdateDialog(QWidget* parent = nullptr);
    ~UpdateDialog() override;

private:
    Ui::UpdateDialog* ui;
};

#endif // UPDATEDIALOG_H
