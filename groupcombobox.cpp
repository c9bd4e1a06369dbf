#include "groupcombobox.h"

#include "helper/dbhelper.h"

#include <QSqlQuery>
#include <QSqlRecord>

GroupComboBox::GroupComboBox(int id, int userId, int groupId, QWidget* parent)
    : QComboBox(parent), itemId(id)
{
    addItem(QStringLiteral("- None -"), 0);
    QSqlQuery query;
    if (DbHelper::getGroups(query, userId)) {
        while (query.next())
            addItem(query.value(QStringLiteral("name")).toString(),
                    query.value(QStringLiteral("id")).toInt());
    }
    setCurrentIndex(groupId > 0 ? findData(groupId) : -1);
    // Connected only now, so that building the combo writes nothing.
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &GroupComboBox::groupIndexChanged);
}

void GroupComboBox::groupIndexChanged(int index)
{
    if (index < 0)
        return;
    const int groupId = currentData().toInt();
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), itemId);
    if (!DbHelper::getItem(record))
        return;
    record.setValue(QStringLiteral("group_id"), groupId < 1 ? QVariant(QVariant::Int) : groupId);
    DbHelper::setItem(record);
    // "- None -" is a choice, not a state: the combo goes back to blank.
    if (groupId == 0)
        setCurrentIndex(-1);
}
