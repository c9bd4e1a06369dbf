#ifndef GROUPCOMBOBOX_H
#define GROUPCOMBOBOX_H

#include <QComboBox>

// A watch-list row's group choice: "- None -" and the user's groups. A
// choice is stored at once in the item's row.
class GroupComboBox : public QComboBox
{
    Q_OBJECT

public:
    GroupComboBox(int itemId, int userId, int groupId, QWidget* parent = nullptr);

public slots:
    void groupIndexChanged(int index);

private:
    // Shows the group without storing it again.
    void showGroup(int groupId);

    int itemId;
};

#endif // GROUPCOMBOBOX_H
