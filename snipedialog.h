#ifndef SNIPEDIALOG_H
#define SNIPEDIALOG_H

#include <QDateTime>
#include <QDialog>
#include <QSqlRecord>
#include <QString>

namespace Ui {
class SnipeDialog;
}

// "Edit Snipe": the maximum bid, the lead time (automatic, or 1 to 60
// seconds) and the bidding group of one item, beside a summary of the item
// as stored. It writes nothing: the caller reads the three results after an
// accepted exec().
class SnipeDialog : public QDialog
{
    Q_OBJECT

public:
    SnipeDialog(QSqlRecord item, QWidget* parent = nullptr);
    ~SnipeDialog() override;

    // The bid as typed, read in the locale its field checks; 0 when empty.
    double userBid();
    // 0 for the automatic lead time, else the seconds typed.
    int leadTime();
    // The chosen group's id; 0 for "- None -" or no choice.
    int groupId();

private slots:
    void acceptReceived();
    void enableDisableLeadTimeEdit();

private:
    QString getTimeLeftText(QDateTime endTime);
    QString getShippingText(QString currency, double shipping);
    void setUserInput();

    Ui::SnipeDialog* ui;
    QSqlRecord item;
};

#endif // SNIPEDIALOG_H
