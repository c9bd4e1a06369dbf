// Placeholder until the watch-list rows are built.
#include "userrolesorttablewidgetitem.h"

UserRoleSortTableWidgetItem::UserRoleSortTableWidgetItem(const QString& text)
    : QTableWidgetItem(text)
{
}
UserRoleSortTableWidgetItem::~UserRoleSortTableWidgetItem() = default;
bool UserRoleSortTableWidgetItem::operator<(const QTableWidgetItem& other) const
{
    return QTableWidgetItem::operator<(other);
}
