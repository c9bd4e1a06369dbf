#include "preferencesdialog.h"
#include "support/boxrecorder.h"
#include "support/scopedlocale.h"
#include "support/testmain.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlField>

namespace {

// The preference columns of a users row.
QSqlRecord userRow(bool autoLead, int lead, int refresh, const QString& email, bool mail)
{
    const QVariantMap columns{{"auto_detect_lead_time", autoLead ? 1 : 0},
                              {"default_lead_time", lead},
                              {"refresh_interval", refresh},
                              {"email", email},
                              {"outbid_notification", 0},
                              {"won_notification", mail ? 1 : 0},
                              {"lost_notification", 0},
                              {"close_systray", 1}};
    QSqlRecord user;
    for (auto column = columns.cbegin(); column != columns.cend(); ++column) {
        user.append(QSqlField(column.key()));
        user.setValue(column.key(), column.value());
    }
    return user;
}

template <typename Widget> Widget* field(QWidget& dialog, const char* name)
{
    return dialog.findChild<Widget*>(QLatin1String(name));
}

void pressOk(QWidget& dialog)
{
    field<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
}

} // namespace

class TestPreferencesDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsTheUsersRow()
    {
        PreferencesDialog dialog(userRow(false, 7, 30, QStringLiteral("me@example.org"), true));
        QVERIFY(field<QRadioButton>(dialog, "radioButtonUserSpecified")->isChecked());
        QVERIFY(field<QLineEdit>(dialog, "lineEditLeadTime")->isEnabled());
        QCOMPARE(field<QLineEdit>(dialog, "lineEditLeadTime")->text(), QStringLiteral("7"));
        QCOMPARE(field<QLineEdit>(dialog, "lineEditRefreshRate")->text(), QStringLiteral("30"));
        QCOMPARE(dialog.email(), QStringLiteral("me@example.org"));
        QVERIFY(dialog.wonNotification() && !dialog.outbidNotification() &&
                !dialog.lostNotification() && dialog.closeToSysTray());

        PreferencesDialog automatic(userRow(true, 7, 30, QString(), false));
        QVERIFY(automatic.autoDetectLeadTime());
        QVERIFY(!field<QLineEdit>(automatic, "lineEditLeadTime")->isEnabled());
        field<QRadioButton>(automatic, "radioButtonUserSpecified")->setChecked(true);
        QVERIFY(field<QLineEdit>(automatic, "lineEditLeadTime")->isEnabled());
        QCOMPARE(automatic.focusWidget(), field<QLineEdit>(automatic, "lineEditLeadTime"));
    }

    void okChecksTheInput_data()
    {
        QTest::addColumn<bool>("autoLead");
        QTest::addColumn<QString>("lead");
        QTest::addColumn<QString>("refresh");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("mail");
        QTest::addColumn<QString>("title"); // "" when accepted
        QTest::addColumn<QString>("focus");
        const QString ok = QStringLiteral("me@example.org");
        QTest::newRow("auto, lead empty") << true << ""
                                          << "10" << ok << true << ""
                                          << "";
        QTest::newRow("lead 0") << false << "0"
                                << "10" << ok << true << "Invalid lead time"
                                << "lineEditLeadTime";
        QTest::newRow("refresh 0") << false << "60"
                                   << "0" << ok << true << ""
                                   << "";
        QTest::newRow("refresh empty") << false << "1"
                                       << "" << ok << true << "Invalid refresh interval"
                                       << "lineEditRefreshRate";
        QTest::newRow("no mail, no address") << true << ""
                                             << "10"
                                             << "" << false << ""
                                             << "";
        QTest::newRow("no mail, bad address") << true << ""
                                              << "10"
                                              << "me@example" << false << "Invalid email"
                                              << "lineEditEmail";
        QTest::newRow("mail, no address") << true << ""
                                          << "10"
                                          << "" << true << "Invalid email"
                                          << "lineEditEmail";
        QTest::newRow("one-letter ending") << true << ""
                                           << "10"
                                           << "me@example.c" << true << "Invalid email"
                                           << "lineEditEmail";
        QTest::newRow("five-letter ending") << true << ""
                                            << "10"
                                            << "me@example.media" << true << ""
                                            << "";
    }
    void okChecksTheInput()
    {
        QFETCH(bool, autoLead);
        QFETCH(QString, lead);
        QFETCH(QString, refresh);
        QFETCH(QString, email);
        QFETCH(bool, mail);
        QFETCH(QString, title);
        QFETCH(QString, focus);
        BoxRecorder boxes;
        PreferencesDialog dialog(userRow(autoLead, 5, 10, email, mail));
        field<QLineEdit>(dialog, "lineEditLeadTime")->setText(lead);
        field<QLineEdit>(dialog, "lineEditRefreshRate")->setText(refresh);
        pressOk(dialog);
        QCOMPARE(boxes.titles(), title.isEmpty() ? QStringList() : QStringList{title});
        QCOMPARE(dialog.result(), int(title.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        if (!focus.isEmpty())
            QCOMPARE(dialog.focusWidget()->objectName(), focus);
        else
            QCOMPARE(dialog.defaultLeadTime(), lead.toInt());
    }

    // A German user types "14.400" meaning fourteen thousand four hundred;
    // the dot is refused as typed, and a pasted one is refused on OK.
    void groupSeparatorsAreRefused()
    {
        ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        BoxRecorder boxes;
        PreferencesDialog dialog(userRow(true, 5, 10, QString(), false));
        auto* refresh = field<QLineEdit>(dialog, "lineEditRefreshRate");
        refresh->clear();
        QTest::keyClicks(refresh, QStringLiteral("14.400"));
        QCOMPARE(refresh->text(), QStringLiteral("14400"));
        QCOMPARE(dialog.refreshInterval(), 14400);

        refresh->setText(QStringLiteral("1.000"));
        pressOk(dialog);
        QCOMPARE(boxes.titles(), QStringList{"Invalid refresh interval"});
        refresh->setText(QStringLiteral("1000"));
        pressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.refreshInterval(), 1000);
    }
};

KESTROVA_TEST_MAIN(TestPreferencesDialog)
#include "test_preferencesdialog.moc"
