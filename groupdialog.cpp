#include "groupdialog.h"

#include "editgroupdialog.h"
#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "snipestore.h"
#include "ui_groupdialog.h"

#include <QHeaderView>
#include <QPointer>
#include <QSqlQuery>
#include <QStringList>
#include <QStyle>
#include <QTableWidgetItem>

namespace {

int loginUserId()
{
    return kApp->loginUser().value(QStringLiteral("id")).toInt();
}

} // namespace

GroupDialog::GroupDialog(QWidget* parent) : QDialog(parent), ui(new Ui::GroupDialog)
{
    ui->setupUi(this);
    connect(ui->pushButtonAdd, &QPushButton::clicked, this, &GroupDialog::addGroup);
    connect(ui->pushButtonEdit, &QPushButton::clicked, this, &GroupDialog::editGroup);
    connect(ui->pushButtonDelete, &QPushButton::clicked, this, &GroupDialog::deleteGroup);
    connect(ui->pushButtonClose, &QPushButton::clicked, this, &GroupDialog::close);
    connect(ui->tableWidget, &QTableWidget::cellDoubleClicked, this, &GroupDialog::editGroup);
    loadGroups();
}

GroupDialog::~GroupDialog()
{
    delete ui;
}

void GroupDialog::loadGroups()
{
    ui->tableWidget->clearContents();
    ui->tableWidget->setRowCount(0);
    QSqlQuery query;
    DbHelper::getGroups(query, loginUserId());
    while (query.next())
        appendGroup(query.value(QStringLiteral("id")).toInt(),
                    query.value(QStringLiteral("name")).toString(),
                    query.value(QStringLiteral("max_won")).toInt());
    autoResize();
}

int GroupDialog::appendGroup(int id, QString name, int maxWon)
{
    auto* nameItem = new QTableWidgetItem(name);
    nameItem->setData(Qt::UserRole, id);
    nameItem->setToolTip(name);
    auto* maxWonItem = new QTableWidgetItem(QString::number(maxWon));
    maxWonItem->setData(Qt::UserRole, maxWon);

    const int row = ui->tableWidget->rowCount();
    ui->tableWidget->insertRow(row);
    ui->tableWidget->setItem(row, 0, nameItem);
    ui->tableWidget->setItem(row, 1, maxWonItem);
    return row;
}

void GroupDialog::autoResize()
{
    QTableWidget* table = ui->tableWidget;
    table->resizeColumnsToContents();
    // A long name is shown cut (whole in its tool tip) so that the maximum
    // stays in view in this fixed dialog, with room for a scroll bar. Worked
    // out from the frame, as the view has no geometry before it is shown.
    const int room = table->contentsRect().width() - table->verticalHeader()->sizeHint().width() -
                     table->style()->pixelMetric(QStyle::PM_ScrollBarExtent) -
                     table->columnWidth(1);
    if (table->columnWidth(0) > room)
        table->setColumnWidth(0, room);
    table->horizontalHeader()->setStretchLastSection(true);
}

void GroupDialog::addGroup()
{
    EditGroupDialog editor;
    editor.setId(0);
    if (editor.exec() != QDialog::Accepted)
        return;

    QSqlRecord group = DbHelper::emptyRecord(QStringLiteral("groups"));
    group.setValue(QStringLiteral("name"), editor.name());
    group.setValue(QStringLiteral("user_id"), loginUserId());
    group.setValue(QStringLiteral("max_won"), editor.maxWon());
    writeGroups([group]() mutable { return DbHelper::addGroup(group); }, tr("Failed to add group."),
                false,
                [this, group]() mutable {
                    // The id is null, so this reads the new row back by name and user.
                    if (!DbHelper::getGroup(group)) {
                        MessageBox::warning(this, tr("Database Error"),
                                            tr("Failed to retrieve added group."));
                        return;
                    }
                    appendGroup(group.value(QStringLiteral("id")).toInt(),
                                group.value(QStringLiteral("name")).toString(),
                                group.value(QStringLiteral("max_won")).toInt());
                    autoResize();
                });
}

void GroupDialog::editGroup()
{
    const QModelIndexList selected = ui->tableWidget->selectionModel()->selectedRows(0);
    if (selected.isEmpty()) {
        MessageBox::warning(this, tr("Edit Group"), tr("Select a group to edit."));
        return;
    }
    const int row = selected.first().row();
    QTableWidgetItem* nameItem = ui->tableWidget->item(row, 0);
    QTableWidgetItem* maxWonItem = ui->tableWidget->item(row, 1);
    const int id = nameItem->data(Qt::UserRole).toInt();

    EditGroupDialog editor;
    editor.setId(id);
    editor.setName(nameItem->text());
    editor.setMaxWon(maxWonItem->data(Qt::UserRole).toInt());
    if (editor.exec() != QDialog::Accepted)
        return;

    // Without a current_won value: the win count stays as stored.
    QSqlRecord group = DbHelper::emptyRecord(QStringLiteral("groups"));
    group.setValue(QStringLiteral("id"), id);
    group.setValue(QStringLiteral("name"), editor.name());
    group.setValue(QStringLiteral("user_id"), loginUserId());
    group.setValue(QStringLiteral("max_won"), editor.maxWon());
    const QString name = editor.name();
    const int maxWon = editor.maxWon();
    // The table is not refilled meanwhile: the dialog waits with it.
    writeGroups([group]() mutable { return DbHelper::setGroup(group); },
                tr("Failed to update group."), false,
                [this, nameItem, maxWonItem, name, maxWon] {
                    nameItem->setText(name);
                    nameItem->setToolTip(name);
                    maxWonItem->setText(QString::number(maxWon));
                    maxWonItem->setData(Qt::UserRole, maxWon);
                    autoResize();
                });
}

void GroupDialog::deleteGroup()
{
    const QModelIndexList selected = ui->tableWidget->selectionModel()->selectedRows(0);
    if (selected.isEmpty()) {
        MessageBox::warning(this, tr("Delete Group"), tr("Select a group to delete."));
        return;
    }
    QStringList ids;
    for (const QModelIndex& index : selected)
        ids << QString::number(index.data(Qt::UserRole).toInt());

    if (MessageBox::question(
            this, tr("Delete Group"), tr("Are you sure you want to delete the selected group?"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::NoButton) != QMessageBox::Ok)
        return;

    writeGroups([ids] { return DbHelper::deleteGroups(ids.join(QLatin1Char(','))); },
                tr("Failed to delete group."), true, [this] { loadGroups(); });
}

void GroupDialog::reject()
{
    if (!writing)
        QDialog::reject();
}

void GroupDialog::writeGroups(std::function<bool()> write, const QString& failure, bool withReason,
                              std::function<void()> stored)
{
    // Disabled, the focused button would hand the focus on: it comes back.
    const QPointer<QWidget> focused = focusWidget();
    const QList<QWidget*> controls{ui->tableWidget, ui->pushButtonAdd, ui->pushButtonEdit,
                                   ui->pushButtonDelete, ui->pushButtonClose};
    writing = true;
    for (QWidget* control : controls)
        control->setEnabled(false);
    // The program may end meanwhile, and the dialog with it: the write goes
    // on with the window, which says its failure.
    const QPointer<GroupDialog> self(this);
    QWidget* const window = parentWidget();
    SnipeStore::instance()->writeForWindow(
        {}, window ? static_cast<QObject*>(window) : this, std::move(write),
        [self, window, focused, controls, failure, withReason, stored](bool written) {
            if (self) {
                self->writing = false;
                for (QWidget* control : controls)
                    control->setEnabled(true);
                if (focused)
                    focused->setFocus();
            }
            if (!written)
                MessageBox::warning(self ? self.data() : window, tr("Database Error"),
                                    withReason
                                        ? failure + QStringLiteral("\n\n") + DbHelper::lastError()
                                        : failure);
            else if (self)
                stored();
        });
}
