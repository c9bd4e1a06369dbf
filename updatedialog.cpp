#include "updatedialog.h"

#include "hostconfig.h"
#include "ui_updatedialog.h"

UpdateDialog::UpdateDialog(QWidget* parent) : QDialog(parent), ui(new Ui::UpdateDialog)
{
    ui->setupUi(this);
    const QString home =
        HostConfig::url(HostConfig::MakerWeb, QString(), QStringLiteral("/")).toString();
    const QString link = QStringLiteral("<a href=\"%1\">%1</a>").arg(home.toHtmlEscaped());
    ui->labelUpdateMsg->setText(tr("New update is available. Please go to ") + link +
                                tr(" to download the latest version."));
}

UpdateDialog::~UpdateDialog()
{
    delete ui;
}
