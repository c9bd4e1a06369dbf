#include "userrolesorttablewidgetitem.h"

#include <QDateTime>
#include <QVariant>

UserRoleSortTableWidgetItem::UserRoleSortTableWidgetItem(const QString& text)
    : QTableWidgetItem(text)
{
}

UserRoleSortTableWidgetItem::~UserRoleSortTableWidgetItem() = default;

bool UserRoleSortTableWidgetItem::operator<(const QTableWidgetItem& other) const
{
    const QVariant mine = data(Qt::UserRole);
    const QVariant theirs = other.data(Qt::UserRole);
    // The type of this item's value decides; a cell without a value has no
    // place in the order.
    switch (mine.userType()) {
    case QMetaType::QString:
        return mine.toString().toLower() < theirs.toString().toLower();
    case QMetaType::Int:
        return mine.toInt() < theirs.toInt();
    case QMetaType::Double:
        return mine.toDouble() < theirs.toDouble();
    case QMetaType::QDateTime:
        return mine.toDateTime() < theirs.toDateTime();
    default:
        return false;
    }
}
