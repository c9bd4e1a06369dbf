#ifndef GROUPDIALOG_H
#define GROUPDIALOG_H

#include <QDialog>
#include <QString>

namespace Ui {
class GroupDialog;
}

// "Manage Bidding Groups": the signed-in user's groups with their maximum
// number of wins; adds, edits and deletes them in the store.
class GroupDialog : public QDialog
{
    Q_OBJECT

public:
    explicit GroupDialog(QWidget* parent = nullptr);
    ~GroupDialog() override;

    void loadGroups();
    int appendGroup(int id, QString name, int maxWon);
    void autoResize();

private slots:
    void addGroup();
    void editGroup();
    void deleteGroup();

private:
    Ui::GroupDialog* ui;
};

#endif // GROUPDIALOG_H
