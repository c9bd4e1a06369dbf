#include "editgroupdialog.h"

#include "helper/dbhelper.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "ui_editgroupdialog.h"

#include <QPushButton>

EditGroupDialog::EditGroupDialog(QWidget* parent) : QDialog(parent), ui(new Ui::EditGroupDialog)
{
    ui->setupUi(this);
    // OK is checked first; only a valid name closes the dialog.
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &EditGroupDialog::acceptedReceived);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &EditGroupDialog::reject);
    ui->lineEditName->setFocus();
}

EditGroupDialog::~EditGroupDialog()
{
    delete ui;
}

void EditGroupDialog::setId(int id)
{
    this->id = id;
}

QString EditGroupDialog::name()
{
    return ui->lineEditName->text().trimmed();
}

void EditGroupDialog::setName(QString name)
{
    ui->lineEditName->setText(name.trimmed());
}

int EditGroupDialog::maxWon()
{
    return ui->spinBoxMaxWon->value();
}

void EditGroupDialog::setMaxWon(int maxWon)
{
    ui->spinBoxMaxWon->setValue(maxWon);
}

void EditGroupDialog::acceptedReceived()
{
    if (name().isEmpty()) {
        MessageBox::critical(this, tr("Empty Group Name"), tr("Please enter the group name."));
        ui->lineEditName->setFocus();
        return;
    }

    // Names compare without regard to case in the store, so this finds the
    // group that would clash, renamed or not.
    QSqlRecord group = DbHelper::emptyRecord(QStringLiteral("groups"));
    group.setValue(QStringLiteral("name"), name());
    group.setValue(QStringLiteral("user_id"), kApp->loginUser().value(QStringLiteral("id")));
    if (DbHelper::getGroup(group)) {
        const int found = group.value(QStringLiteral("id")).toInt();
        if (found > 0 && found != id) {
            MessageBox::critical(this, tr("Duplicated Group Name"),
                                 tr("A group with the same name already exists."));
            ui->lineEditName->setFocus();
            return;
        }
    }
    accept();
}
