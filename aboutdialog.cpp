#include "aboutdialog.h"

#include "ui_aboutdialog.h"

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent), ui(new Ui::AboutDialog)
{
    ui->setupUi(this);
    ui->labelVersion->setText(
        QStringLiteral("Version %1").arg(QCoreApplication::applicationVersion()));
}

AboutDialog::~AboutDialog()
{
    delete ui;
}
