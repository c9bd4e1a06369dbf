#include "groupcombobox.h"

#include "helper/dbhelper.h"
#include "messagebox.h"

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
    showGroup(groupId);
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &GroupComboBox::groupIndexChanged);
}

void GroupComboBox::showGroup(int groupId)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(groupId > 0 ? findData(groupId) : -1);
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
    const int storedGroupId = record.value(QStringLiteral("group_id")).toInt();
    record.setValue(QStringLiteral("group_id"), groupId < 1 ? QVariant(QVariant::Int) : groupId);
    if (!DbHelper::setItem(record)) {
        MessageBox::databaseError(this, tr("The group could not be saved."));
        // The combo shows what is stored, not a choice that was lost.
        showGroup(storedGroupId);
        return;
    }
    // "- None -" is a choice, not a state: the combo goes back to blank.
    if (groupId == 0)
        setCurrentIndex(-1);
}
