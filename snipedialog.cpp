#include "snipedialog.h"

#include "ui_snipedialog.h"

#include "clockmanager.h"
#include "groupcombobox.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "timeleft.h"
#include "timetext.h"

#include <QDoubleValidator>
#include <QIntValidator>
#include <QtMath>

namespace {

// The numbers the user types, and those we ask for, in the user's own
// notation; a group separator would be taken for a decimal point by someone
// used to the other notation, so it is refused outright.
QLocale fieldLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

// eBay takes no bid below a cent, whatever the item says.
constexpr double LowestBid = 0.01;
// Far above any auction in any currency, and low enough that the bid in
// cents is exact and fits 64 bits.
constexpr double HighestBid = 10000000.0;

QString price(const QString& currency, double amount)
{
    return currency + QLatin1Char(' ') + QString::number(amount, 'f', 2);
}

qint64 cents(double amount)
{
    return qRound64(amount * 100.0);
}

} // namespace

SnipeDialog::SnipeDialog(QSqlRecord record, QWidget* parent)
    : QDialog(parent), ui(new Ui::SnipeDialog), item(record)
{
    ui->setupUi(this);

    const QLocale locale = fieldLocale();
    auto* bidValidator = new QDoubleValidator(LowestBid, HUGE_VAL, 2, this);
    bidValidator->setNotation(QDoubleValidator::StandardNotation);
    bidValidator->setLocale(locale);
    ui->lineEditUserBidAmount->setValidator(bidValidator);
    auto* leadValidator = new QIntValidator(1, 60, this);
    leadValidator->setLocale(locale);
    ui->lineEditLeadTime->setValidator(leadValidator);

    const QString itemNumber = item.value(QStringLiteral("item_number")).toString();
    ui->labelItemImage->setRemotePixmap(
        HostConfig::url(HostConfig::Thumbnail, QString(), "/pict/" + itemNumber + ".jpg")
            .toString());

    // The title is eBay's text, not markup: "<" and "&" show as typed.
    ui->labelItemName->setText("<font size='+1'>" +
                               item.value(QStringLiteral("name")).toString().toHtmlEscaped() +
                               "</font>");
    ui->labelItemNumber->setText(itemNumber);

    const QString unknown = QStringLiteral("Unknown");
    const int bidCount = item.value(QStringLiteral("bid_count")).toInt();
    ui->labelBids->setText(bidCount >= 0 ? QString::number(bidCount) : unknown);
    const QString currency = item.value(QStringLiteral("currency")).toString();
    const double currentBid = item.value(QStringLiteral("current_bid")).toDouble();
    ui->labelCurrentBid->setText(currentBid > 0 ? price(currency, currentBid) : unknown);
    const double nextBid = item.value(QStringLiteral("next_bid")).toDouble();
    ui->labelMinimumBid->setText(nextBid > 0 ? price(currency, nextBid) : unknown);

    ui->labelTimeLeft->setText(
        getTimeLeftText(TimeText::parse(item.value(QStringLiteral("end_time")).toString())));
    const QVariant shipping = item.value(QStringLiteral("shipping"));
    ui->labelShipping->setText(
        getShippingText(currency, shipping.isNull() ? -1.0 : shipping.toDouble()));
    ui->labelBidHint->setText(
        QStringLiteral("%1 (%2 or more)").arg(currency, locale.toString(nextBid, 'f', 2)));

    ui->comboBoxGroup->addItem(QStringLiteral("- None -"), 0);
    GroupComboBox::addGroups(ui->comboBoxGroup,
                             kApp->loginUser().value(QStringLiteral("id")).toInt());
    GroupComboBox::tipCurrentName(ui->comboBoxGroup);

    setUserInput();
}

SnipeDialog::~SnipeDialog()
{
    delete ui;
}

double SnipeDialog::userBid()
{
    bool ok = false;
    const double bid = ui->lineEditUserBidAmount->validator()->locale().toDouble(
        ui->lineEditUserBidAmount->text().trimmed(), &ok);
    return ok ? bid : 0.0;
}

int SnipeDialog::leadTime()
{
    if (ui->radioButtonAutoDetect->isChecked())
        return 0;
    bool ok = false;
    const int seconds = ui->lineEditLeadTime->validator()->locale().toInt(
        ui->lineEditLeadTime->text().trimmed(), &ok);
    return ok ? seconds : 0;
}

int SnipeDialog::groupId()
{
    if (ui->comboBoxGroup->currentIndex() < 0)
        return 0;
    return ui->comboBoxGroup->currentData().toInt();
}

void SnipeDialog::acceptReceived()
{
    const QLocale locale = ui->lineEditUserBidAmount->validator()->locale();
    const double bid = userBid();
    if (bid > HighestBid) {
        MessageBox::warning(
            this, tr("Bid Too High"),
            tr("Please enter a bid that is %1 or less.").arg(locale.toString(HighestBid, 'f', 0)));
        ui->lineEditUserBidAmount->setFocus();
        return;
    }
    const double minimum = qMax(item.value(QStringLiteral("next_bid")).toDouble(), LowestBid);
    if (minimum > HighestBid || cents(bid) < cents(minimum)) {
        MessageBox::critical(
            this, tr("Bid Too Low"),
            tr("Pleae enter a bid that is %1 or more.").arg(locale.toString(minimum, 'g', 6)));
        ui->lineEditUserBidAmount->setFocus();
        return;
    }
    if (ui->radioButtonUserSpecified->isChecked()) {
        const int seconds = leadTime();
        if (seconds < 1 || seconds > 60) {
            MessageBox::critical(this, tr("Incorrect Lead Time"),
                                 tr("Pleae enter a lead time that is between 1 and 60 seconds."));
            ui->lineEditLeadTime->setFocus();
            return;
        }
    }
    accept();
}

void SnipeDialog::enableDisableLeadTimeEdit()
{
    const bool userSpecified = ui->radioButtonUserSpecified->isChecked();
    ui->lineEditLeadTime->setEnabled(userSpecified);
    if (userSpecified)
        ui->lineEditLeadTime->setFocus();
}

QString SnipeDialog::getTimeLeftText(QDateTime endTime)
{
    const TimeLeft::Text left = TimeLeft::of(endTime, ClockManager::instance()->getClockTime());
    if (left.kind == TimeLeft::Kind::Ended)
        return "<font color='gray'>" + left.text + "</font>";
    if (TimeLeft::isUrgent(left.kind))
        return "<font color='red'>" + left.text + "</font>";
    return left.text;
}

QString SnipeDialog::getShippingText(QString currency, double shipping)
{
    if (shipping < 0)
        return tr("Unkown");
    if (shipping == 0)
        return tr("FREE");
    return price(currency, shipping);
}

void SnipeDialog::setUserInput()
{
    const QSqlRecord user = kApp->loginUser();
    int seconds = user.value(QStringLiteral("default_lead_time")).toInt();
    bool automatic = user.value(QStringLiteral("auto_detect_lead_time")).toBool();

    double bid = item.value(QStringLiteral("user_bid")).toDouble();
    if (bid <= 0) {
        bid = item.value(QStringLiteral("next_bid")).toDouble();
    } else {
        const int stored = item.value(QStringLiteral("lead_time")).toInt();
        automatic = stored == 0;
        if (stored != 0)
            seconds = stored;
    }

    const QLocale locale = ui->lineEditUserBidAmount->validator()->locale();
    ui->lineEditUserBidAmount->setText(locale.toString(bid, 'f', 2));
    if (automatic)
        ui->radioButtonAutoDetect->setChecked(true);
    else
        ui->radioButtonUserSpecified->setChecked(true);
    ui->lineEditLeadTime->setEnabled(!automatic);
    ui->lineEditLeadTime->setText(locale.toString(seconds));

    ui->comboBoxGroup->setCurrentIndex(
        ui->comboBoxGroup->findData(item.value(QStringLiteral("group_id")).toInt()));
}
