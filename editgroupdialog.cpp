// Placeholder until the group dialogs are built.
#include "editgroupdialog.h"

EditGroupDialog::EditGroupDialog(QWidget* parent) : QDialog(parent), ui(nullptr) {}
EditGroupDialog::~EditGroupDialog() = default;
void EditGroupDialog::setId(int value)
{
    id = value;
}
QString EditGroupDialog::name()
{
    return QString();
}
void EditGroupDialog::setName(QString) {}
int EditGroupDialog::maxWon()
{
    return 1;
}
void EditGroupDialog::setMaxWon(int) {}
void EditGroupDialog::acceptedReceived() {}
