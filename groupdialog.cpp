// Placeholder until the group dialogs are built.
#include "groupdialog.h"

GroupDialog::GroupDialog(QWidget* parent) : QDialog(parent), ui(nullptr) {}
GroupDialog::~GroupDialog() = default;
void GroupDialog::loadGroups() {}
int GroupDialog::appendGroup(int, QString, int)
{
    return -1;
}
void GroupDialog::autoResize() {}
void GroupDialog::addGroup() {}
void GroupDialog::editGroup() {}
void GroupDialog::deleteGroup() {}
