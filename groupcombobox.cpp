#include "groupcombobox.h"

#include "helper/dbhelper.h"
#include "messagebox.h"
#include "snipestore.h"

#include <QFontMetrics>
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
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("id"), itemId);
    if (!DbHelper::getItem(record))
        return;
    const int storedGroupId = record.value(QStringLiteral("group_id")).toInt();
    // While the file is held a refill may replace this combo: the outcome
    // goes to the row's combo of the moment, found in the window by item.
    QWidget* const window = this->window();
    const int id = itemId;
    SnipeStore::instance()->writeForWindow(
        {id}, window,
        [id, groupId] {
            // The group alone: the rest of the row is the engine's and the
            // reload's.
            return DbHelper::setItemColumns(
                id, {{QStringLiteral("group_id"),
                      groupId < 1 ? QVariant(QVariant::Int) : QVariant(groupId)}});
        },
        [window, id, groupId, storedGroupId](bool written) {
            // Shown as stored: "- None -" is a choice, not a state, and goes
            // back to blank; a choice that was not saved is not shown.
            showStoredGroup(window, id, written ? groupId : storedGroupId);
            if (!written)
                MessageBox::databaseError(window, tr("The group could not be saved."));
        });
}

void GroupComboBox::showStoredGroup(QWidget* window, int itemId, int groupId)
{
    const QList<GroupComboBox*> combos = window->findChildren<GroupComboBox*>();
    for (GroupComboBox* combo : combos) {
        if (combo->itemId == itemId)
            combo->showGroup(groupId);
    }
}
