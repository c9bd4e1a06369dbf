// Placeholder until the snipe editor is built.
#include "snipedialog.h"

SnipeDialog::SnipeDialog(QSqlRecord record, QWidget* parent)
    : QDialog(parent), ui(nullptr), item(record)
{
}
SnipeDialog::~SnipeDialog() = default;
double SnipeDialog::userBid()
{
    return 0.0;
}
int SnipeDialog::leadTime()
{
    return 0;
}
int SnipeDialog::groupId()
{
    return 0;
}
void SnipeDialog::acceptReceived() {}
void SnipeDialog::enableDisableLeadTimeEdit() {}
QString SnipeDialog::getTimeLeftText(QDateTime)
{
    return QString();
}
QString SnipeDialog::getShippingText(QString, double)
{
    return QString();
}
void SnipeDialog::setUserInput() {}
