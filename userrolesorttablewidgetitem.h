#ifndef USERROLESORTTABLEWIDGETITEM_H
#define USERROLESORTTABLEWIDGETITEM_H

#include <QTableWidgetItem>

// A table item that sorts by its Qt::UserRole value (texts without regard
// to case, numbers as numbers, times as times) instead of its display text.
class UserRoleSortTableWidgetItem : public QTableWidgetItem
{
public:
    explicit UserRoleSortTableWidgetItem(const QString& text = QString());
    ~UserRoleSortTableWidgetItem() override;

    bool operator<(const QTableWidgetItem& other) const override;
};

#endif // USERROLESORTTABLEWIDGETITEM_H
