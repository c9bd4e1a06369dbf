#ifndef EDITGROUPDIALOG_H
#define EDITGROUPDIALOG_H

#include <QDialog>
#include <QString>

namespace Ui {
class EditGroupDialog;
}

// "Group Details": one group's name and maximum number of wins. OK is
// accepted only for a name that no other group of the user has.
class EditGroupDialog : public QDialog
{
    Q_OBJECT

public:
    explicit EditGroupDialog(QWidget* parent = nullptr);
    ~EditGroupDialog() override;

    // The id of the group being edited; 0 for a new group.
    void setId(int id);
    QString name();
    void setName(QString name);
    int maxWon();
    void setMaxWon(int maxWon);

private slots:
    void acceptedReceived();

private:
    Ui::EditGroupDialog* ui;
    int id = 0;
};

#endif // EDITGROUPDIALOG_H
