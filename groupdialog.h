#ifndef GROUPDIALOG_H
#define GROUPDIALOG_H

#include <QDialog>
#include <QString>
#include <functional>

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
    // Stays open while a write of it waits for the data file.
    void reject() override;
    int appendGroup(int id, QString name, int maxWon);
    void autoResize();

private slots:
    void addGroup();
    void editGroup();
    void deleteGroup();

private:
    // Writes through the store's window writes: while the file is held the
    // dialog stays, its buttons disabled; then stored() goes on, or a
    // "Database Error" box says failure (and the store's reason withReason).
    void writeGroups(std::function<bool()> write, const QString& failure, bool withReason,
                     std::function<void()> stored);

    Ui::GroupDialog* ui;
    bool writing = false;
};

#endif // GROUPDIALOG_H
