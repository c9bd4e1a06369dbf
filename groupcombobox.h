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

    // Adds the user's groups, in name order, to any group choice: the id as
    // the entry's data, the name shown cut to about ShownNameChars
    // characters and whole in the entry's tool tip. A name may be of any
    // length; no window is to grow for one.
    static void addGroups(QComboBox* combo, int userId);
    // Keeps the combo's tool tip on the whole name of its current entry.
    static void tipCurrentName(QComboBox* combo);
    static constexpr int ShownNameChars = 20;

public slots:
    void groupIndexChanged(int index);

private:
    // Shows the group without storing it again.
    void showGroup(int groupId);
    // Shows the group in the item's combos of the window, whichever are
    // there now.
    static void showStoredGroup(QWidget* window, int itemId, int groupId);

    int itemId;
};

#endif // GROUPCOMBOBOX_H
