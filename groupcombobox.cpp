#include "groupcombobox.h"

#include "helper/dbhelper.h"
#include "messagebox.h"
#include "snipestore.h"

#include <QFontMetrics>
#include <QPointer>
#include <QSqlQuery>
#include <QSqlRecord>

GroupComboBox::GroupComboBox(int id, int userId, int groupId, QWidget* parent)
    : QComboBox(parent), itemId(id)
{
    addItem(QStringLiteral("- None -"), 0);
    addGroups(this, userId);
    tipCurrentName(this);
    setCurrentIndex(groupId > 0 ? findData(groupId) : -1);
    // Connected only now, so that building the combo writes nothing.
    connect(this, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &GroupComboBox::groupIndexChanged);
}

void GroupComboBox::showGroup(int groupId)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(groupId > 0 ? findData(groupId) : -1);
    setToolTip(currentData(Qt::ToolTipRole).toString());
}

void GroupComboBox::addGroups(QComboBox* combo, int userId)
{
    const QFontMetrics metrics(combo->font());
    const int shownWidth = metrics.averageCharWidth() * ShownNameChars;
    QSqlQuery query;
    DbHelper::getGroups(query, userId);
    while (query.next()) {
        const QString name = query.value(QStringLiteral("name")).toString();
        combo->addItem(metrics.elidedText(name, Qt::ElideRight, shownWidth),
                       query.value(QStringLiteral("id")).toInt());
        combo->setItemData(combo->count() - 1, name, Qt::ToolTipRole);
    }
}

void GroupComboBox::tipCurrentName(QComboBox* combo)
{
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), combo,
            [combo] { combo->setToolTip(combo->currentData(Qt::ToolTipRole).toString()); });
}

void GroupComboBox::groupIndexChanged(int index)
{
    if (index < 0)
        return;
    const int groupId = currentData().toInt();
    const QPointer<GroupComboBox> self(this);
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), itemId);
    if (!DbHelper::getItem(record))
        return;
    const int storedGroupId = record.value(QStringLiteral("group_id")).toInt();
    // The group alone: the rest of the row is the engine's and the reload's.
    const int id = itemId;
    const bool written = SnipeStore::instance()->writeForWindow({id}, [&] {
        return DbHelper::setItemColumns(
            id, {{QStringLiteral("group_id"),
                  groupId < 1 ? QVariant(QVariant::Int) : QVariant(groupId)}});
    });
    // A wait for a held file runs an event loop, in which a refill of the
    // table may have replaced this combo: the new one shows what is stored.
    if (!self)
        return;
    if (!written) {
        MessageBox::databaseError(this, tr("The group could not be saved."));
        if (!self)
            return;
        // The combo shows what is stored, not a choice that was lost.
        showGroup(storedGroupId);
        return;
    }
    // "- None -" is a choice, not a state: the combo goes back to blank.
    if (groupId == 0)
        setCurrentIndex(-1);
}
