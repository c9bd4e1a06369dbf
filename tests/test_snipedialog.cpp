#include "clockmanager.h"
#include "helper/dbhelper.h"
#include "remotepixmaplabel.h"
#include "snipedialog.h"
#include "support/boxrecorder.h"
#include "support/scopedlocale.h"
#include "support/snipescene.h"
#include "support/testmain.h"
#include "timetext.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>

namespace {

// An items row as the store holds it: an item with no snipe, ending in a day.
QSqlRecord itemRow(const QVariantMap& more = QVariantMap())
{
    QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
    const QVariantMap values{
        {QStringLiteral("id"), 1},
        {QStringLiteral("item_number"), QStringLiteral("110000000001")},
        {QStringLiteral("name"), QStringLiteral("Brass sextant")},
        {QStringLiteral("bid_count"), 3},
        {QStringLiteral("currency"), QStringLiteral("USD")},
        {QStringLiteral("current_bid"), 12.5},
        {QStringLiteral("next_bid"), 13.0},
        {QStringLiteral("end_time"),
         TimeText::format(ClockManager::instance()->getClockTime().addDays(1))},
        {QStringLiteral("shipping"), 4.5}};
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        row.setValue(it.key(), it.value());
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        row.setValue(it.key(), it.value());
    return row;
}

QString endIn(qint64 secs)
{
    return TimeText::format(ClockManager::instance()->getClockTime().addSecs(secs));
}

template <typename T> T* part(const SnipeDialog& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}

QString text(const SnipeDialog& dialog, const char* label)
{
    return part<QLabel>(dialog, label)->text();
}

void pressOk(SnipeDialog& dialog)
{
    part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

} // namespace

class TestSnipeDialog : public QObject
{
    Q_OBJECT

    SnipeScene* scene = nullptr;

private slots:
    void initTestCase()
    {
        scene = new SnipeScene;
        QVERIFY(scene->isReady());
        scene->signIn(QStringLiteral("bob"));
    }
    void cleanupTestCase() { delete scene; }

    void summary_data()
    {
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<QStringList>("labels"); // bids, current, minimum, shipping, hint
        QTest::addColumn<QString>("timeLeft");   // a pattern
        QTest::addColumn<QString>("name");

        QTest::newRow("an item") << QVariantMap{{QStringLiteral("end_time"), endIn(90061 + 30)}}
                                 << QStringList{"3", "USD 12.50", "USD 13.00", "USD 4.50",
                                                "USD (13.00 or more)"}
                                 << QStringLiteral("1d 1h 1m") << QStringLiteral("Brass sextant");
        QTest::newRow("invalid item placeholder")
            << QVariantMap{{QStringLiteral("bid_count"), -1},
                           {QStringLiteral("current_bid"), -1},
                           {QStringLiteral("next_bid"), -1},
                           {QStringLiteral("end_time"), QStringLiteral("1970-01-01T00:00:00")},
                           {QStringLiteral("shipping"), QVariant()}}
            << QStringList{"Unknown", "Unknown", "Unknown", "Unkown", "USD (-1.00 or more)"}
            << QStringLiteral("Unknown") << QStringLiteral("Brass sextant");
        QTest::newRow("free shipping, under an hour, markup in the title")
            << QVariantMap{{QStringLiteral("shipping"), 0},
                           {QStringLiteral("end_time"), endIn(45 * 60 + 30)},
                           {QStringLiteral("name"), QStringLiteral("<b>Tea & cups</b>")}}
            << QStringList{"3", "USD 12.50", "USD 13.00", "FREE", "USD (13.00 or more)"}
            << QStringLiteral("<font color='red'>45m \\d+s</font>")
            << QStringLiteral("&lt;b&gt;Tea &amp; cups&lt;/b&gt;");
        QTest::newRow("seconds left")
            << QVariantMap{{QStringLiteral("end_time"), endIn(30)}}
            << QStringList{"3", "USD 12.50", "USD 13.00", "USD 4.50", "USD (13.00 or more)"}
            << QStringLiteral("<font color='red'>\\d+s</font>") << QStringLiteral("Brass sextant");
        QTest::newRow("ended") << QVariantMap{{QStringLiteral("end_time"), endIn(-2)}}
                               << QStringList{"3", "USD 12.50", "USD 13.00", "USD 4.50",
                                              "USD (13.00 or more)"}
                               << QStringLiteral("<font color='gray'>Ended</font>")
                               << QStringLiteral("Brass sextant");
    }
    void summary()
    {
        QFETCH(QVariantMap, row);
        QFETCH(QStringList, labels);
        QFETCH(QString, timeLeft);
        QFETCH(QString, name);
        SnipeDialog dialog(itemRow(row));
        QCOMPARE(text(dialog, "labelItemNumber"), QStringLiteral("110000000001"));
        QCOMPARE((QStringList{text(dialog, "labelBids"), text(dialog, "labelCurrentBid"),
                              text(dialog, "labelMinimumBid"), text(dialog, "labelShipping"),
                              text(dialog, "labelBidHint")}),
                 labels);
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(timeLeft));
        QVERIFY2(pattern.match(text(dialog, "labelTimeLeft")).hasMatch(),
                 qPrintable(text(dialog, "labelTimeLeft")));
        QCOMPARE(text(dialog, "labelItemName"), "<font size='+1'>" + name + "</font>");
    }

    void preFill_data()
    {
        QTest::addColumn<bool>("userAutomatic");
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<QString>("bid");
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<QString>("lead");
        QTest::addColumn<QString>("group");

        const QVariantMap snipe{{QStringLiteral("user_bid"), 25.0},
                                {QStringLiteral("bid_status"), 1}};
        QVariantMap automaticSnipe = snipe;
        automaticSnipe.insert(QStringLiteral("lead_time"), 0);
        QVariantMap grouped = snipe;
        grouped.insert(QStringLiteral("lead_time"), 12);
        grouped.insert(QStringLiteral("group_id"), -2); // the second group, filled in below
        QVariantMap deletedGroup = grouped;
        deletedGroup.insert(QStringLiteral("group_id"), 999);

        QTest::newRow("no snipe, user sets the lead")
            << false << QVariantMap() << "13.00" << false << "7"
            << "- None -";
        QTest::newRow("no snipe, user detects the lead")
            << true << QVariantMap() << "13.00" << true << "7"
            << "- None -";
        QTest::newRow("automatic snipe") << false << automaticSnipe << "25.00" << true << "7"
                                         << "- None -";
        QTest::newRow("snipe in a group") << true << grouped << "25.00" << false << "12"
                                          << "Stamps";
        QTest::newRow("snipe of a deleted group")
            << true << deletedGroup << "25.00" << false << "12" << QString();
    }
    void preFill()
    {
        QFETCH(bool, userAutomatic);
        QFETCH(QVariantMap, row);
        const int user = scene->signIn(QString::fromLatin1(QTest::currentDataTag()));
        TestStore::exec(QStringLiteral("UPDATE users SET default_lead_time = 7, "
                                       "auto_detect_lead_time = %1 WHERE id = %2")
                            .arg(userAutomatic ? 1 : 0)
                            .arg(user));
        TestStore::addGroup(user, QStringLiteral("Coins"));
        const int stamps = TestStore::addGroup(user, QStringLiteral("Stamps"));
        if (row.value(QStringLiteral("group_id")).toInt() == -2)
            row.insert(QStringLiteral("group_id"), stamps);
        SnipeScene::signInAs(user);

        SnipeDialog dialog(itemRow(row));
        QTEST(part<QLineEdit>(dialog, "lineEditUserBidAmount")->text(), "bid");
        QTEST(part<QRadioButton>(dialog, "radioButtonAutoDetect")->isChecked(), "automatic");
        QCOMPARE(part<QLineEdit>(dialog, "lineEditLeadTime")->isEnabled(),
                 !part<QRadioButton>(dialog, "radioButtonAutoDetect")->isChecked());
        QTEST(part<QLineEdit>(dialog, "lineEditLeadTime")->text(), "lead");
        const auto* groups = part<QComboBox>(dialog, "comboBoxGroup");
        QCOMPARE(groups->count(), 3);
        QTEST(groups->currentText(), "group");
        QCOMPARE(dialog.groupId(), groups->currentIndex() > 0 ? stamps : 0);
    }

    void acceptance_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("nextBid");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("lead"); // null: automatic lead time
        QTest::addColumn<QString>("box");  // "": accepted
        QTest::addColumn<double>("userBid");

        QTest::newRow("too low") << "C" << 13.0 << "12.99" << QString()
                                 << "Bid Too Low|Pleae enter a bid that is 13 or more." << 12.99;
        QTest::newRow("equal to the minimum") << "C" << 13.5 << "13.50" << QString() << "" << 13.5;
        QTest::newRow("empty with no minimum")
            << "C" << 0.0 << "" << QString()
            << "Bid Too Low|Pleae enter a bid that is 0.01 or more." << 0.0;
        QTest::newRow("German decimal comma") << "de_DE" << 13.0 << "20,50"
                                              << "5"
                                              << "" << 20.5;
        QTest::newRow("German group separator refused") << "de_DE" << 13.0 << "1.020,5"
                                                        << "5"
                                                        << "" << 1020.5;
        QTest::newRow("German minimum")
            << "de_DE" << 13.5 << "13"
            << "5"
            << "Bid Too Low|Pleae enter a bid that is 13,5 or more." << 13.0;
        QTest::newRow("low bid and no lead: the bid first")
            << "C" << 13.0 << "1"
            << ""
            << "Bid Too Low|Pleae enter a bid that is 13 or more." << 1.0;
        QTest::newRow("no lead") << "C" << 13.0 << "14"
                                 << ""
                                 << "Incorrect Lead Time|Pleae enter a lead time that is between "
                                    "1 and 60 seconds."
                                 << 14.0;
        QTest::newRow("lead 0") << "C" << 13.0 << "14"
                                << "0"
                                << "Incorrect Lead Time|Pleae enter a lead time that is between "
                                   "1 and 60 seconds."
                                << 14.0;
        QTest::newRow("lead 60") << "C" << 13.0 << "14"
                                 << "60"
                                 << "" << 14.0;
    }
    void acceptance()
    {
        QFETCH(QString, locale);
        QFETCH(double, nextBid);
        QFETCH(QString, typed);
        QFETCH(QString, lead);
        QFETCH(QString, box);
        const ScopedLocale scoped{QLocale(locale)};
        BoxRecorder boxes;
        SnipeDialog dialog(itemRow({{QStringLiteral("next_bid"), nextBid}}));
        auto* bidField = part<QLineEdit>(dialog, "lineEditUserBidAmount");
        bidField->clear();
        QTest::keyClicks(bidField, typed);
        if (lead.isNull()) {
            part<QRadioButton>(dialog, "radioButtonAutoDetect")->setChecked(true);
        } else {
            part<QRadioButton>(dialog, "radioButtonUserSpecified")->setChecked(true);
            part<QLineEdit>(dialog, "lineEditLeadTime")->clear();
            QTest::keyClicks(part<QLineEdit>(dialog, "lineEditLeadTime"), lead);
        }
        pressOk(dialog);

        QCOMPARE(boxes.count(), box.isEmpty() ? 0 : 1);
        if (!box.isEmpty()) {
            QCOMPARE(boxes.last().request.title + '|' + boxes.last().request.text, box);
            QCOMPARE(boxes.last().request.icon, QMessageBox::Critical);
        }
        QCOMPARE(dialog.result(), box.isEmpty() ? int(QDialog::Accepted) : 0);
        QTEST(dialog.userBid(), "userBid");
        QCOMPARE(dialog.leadTime(), lead.isNull() ? 0 : lead.toInt());
    }
};

KESTROVA_TEST_MAIN(TestSnipeDialog)
#include "test_snipedialog.moc"
