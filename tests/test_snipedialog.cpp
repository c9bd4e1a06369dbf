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
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QRadioButton>

namespace {

// An items row with no snipe ending in a day; "more" adds or replaces
// columns (an end_time as seconds from now).
QSqlRecord itemRow(const QVariantMap& more = QVariantMap())
{
    QVariantMap values{{"id", 1},           {"item_number", "110000000001"},
                       {"name", "Sextant"}, {"bid_count", 3},
                       {"currency", "USD"}, {"current_bid", 12.5},
                       {"next_bid", 13.0},  {"end_time", 86400},
                       {"shipping", 4.5}};
    for (auto it = more.cbegin(); it != more.cend(); ++it)
        values.insert(it.key(), it.value());
    QSqlRecord row = DbHelper::emptyRecord(QStringLiteral("items"));
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        row.setValue(it.key(), it.value());
    if (values.value("end_time").type() == QVariant::Int)
        row.setValue("end_time", TimeText::format(ClockManager::instance()->getClockTime().addSecs(
                                     values.value("end_time").toInt())));
    return row;
}

template <typename T> T* part(const SnipeDialog& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1String(name));
}

QStringList texts(const SnipeDialog& dialog, const QList<const char*>& names)
{
    QStringList shown;
    for (const char* name : names)
        shown << part<QLabel>(dialog, name)->text();
    return shown;
}

} // namespace

class TestSnipeDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<SnipeScene> scene;

private slots:
    void initTestCase()
    {
        scene.reset(new SnipeScene);
        QVERIFY(scene->isReady());
        scene->signIn(QStringLiteral("bob"));
    }
    void cleanupTestCase() { scene.reset(); }

    void summary_data()
    {
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("item") << QVariantMap{{"end_time", 90061 + 30}}
                              << QStringList{"<font size='+1'>Sextant</font>",
                                             "3",
                                             "USD 12.50",
                                             "USD 13.00",
                                             "1d 1h 1m",
                                             "USD 4.50",
                                             "USD (13.00 or more)"};
        QTest::newRow("invalid item placeholder")
            << QVariantMap{{"bid_count", -1},
                           {"current_bid", -1},
                           {"next_bid", -1},
                           {"end_time", "1970-01-01T00:00:00"},
                           {"shipping", QVariant()}}
            << QStringList{"<font size='+1'>Sextant</font>",
                           "Unknown",
                           "Unknown",
                           "Unknown",
                           "Unknown",
                           "Unkown",
                           "USD (-1.00 or more)"};
        QTest::newRow("ended, free, markup in the title")
            << QVariantMap{{"end_time", -2}, {"shipping", 0}, {"name", "<b>Tea & cups"}}
            << QStringList{"<font size='+1'>&lt;b&gt;Tea &amp; cups</font>",
                           "3",
                           "USD 12.50",
                           "USD 13.00",
                           "<font color='gray'>Ended</font>",
                           "FREE",
                           "USD (13.00 or more)"};
    }
    void summary()
    {
        QFETCH(QVariantMap, row);
        SnipeDialog dialog(itemRow(row));
        QTEST(texts(dialog, {"labelItemName", "labelBids", "labelCurrentBid", "labelMinimumBid",
                             "labelTimeLeft", "labelShipping", "labelBidHint"}),
              "shown");
    }

    void preFill_data()
    {
        QTest::addColumn<QVariantMap>("row");
        QTest::addColumn<QStringList>("shown"); // bid, mode, lead time, group
        QTest::newRow("no snipe: the user's defaults")
            << QVariantMap() << QStringList{"13.00", "seconds", "7", "- None -"};
        QTest::newRow("automatic snipe in a group")
            << QVariantMap{{"user_bid", 25.0}, {"lead_time", 0}, {"group_id", "Stamps"}}
            << QStringList{"25.00", "automatic", "7", "Stamps"};
        QTest::newRow("snipe of a deleted group")
            << QVariantMap{{"user_bid", 25.0}, {"lead_time", 12}, {"group_id", 999}}
            << QStringList{"25.00", "seconds", "12", ""};
    }
    void preFill()
    {
        QFETCH(QVariantMap, row);
        const int user = scene->signIn(QString::fromLatin1(QTest::currentDataTag()));
        TestStore::exec(QStringLiteral("UPDATE users SET default_lead_time = 7, "
                                       "auto_detect_lead_time = 0 WHERE id = %1")
                            .arg(user));
        const int stamps = TestStore::addGroup(user, QStringLiteral("Stamps"));
        if (row.value("group_id").toString() == "Stamps")
            row.insert("group_id", stamps);
        SnipeScene::signInAs(user);

        SnipeDialog dialog(itemRow(row));
        const bool automatic = part<QRadioButton>(dialog, "radioButtonAutoDetect")->isChecked();
        QCOMPARE(part<QLineEdit>(dialog, "lineEditLeadTime")->isEnabled(), !automatic);
        QTEST((QStringList{part<QLineEdit>(dialog, "lineEditUserBidAmount")->text(),
                           automatic ? "automatic" : "seconds",
                           part<QLineEdit>(dialog, "lineEditLeadTime")->text(),
                           part<QComboBox>(dialog, "comboBoxGroup")->currentText()}),
              "shown");
        QCOMPARE(dialog.groupId(), row.value("group_id").toInt() == stamps ? stamps : 0);
    }

    // A long group name does not widen the editor.
    void longGroupNameIsShownCut()
    {
        const int width = SnipeDialog(itemRow()).sizeHint().width();
        const int user = scene->signIn(QStringLiteral("collector"));
        TestStore::addGroup(user, QStringLiteral("Swiss watches ").repeated(7).left(87));
        QCOMPARE(SnipeDialog(itemRow()).sizeHint().width(), width);
    }

    void acceptance_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("nextBid");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("lead");
        QTest::addColumn<QString>("box"); // "": accepted
        QTest::addColumn<double>("userBid");
        const QString tooLow = QStringLiteral("Bid Too Low|Pleae enter a bid that is %1 or more.");
        QTest::newRow("too low") << "C" << 13.0 << "12.99"
                                 << "5" << tooLow.arg("13") << 12.99;
        QTest::newRow("equal to the minimum") << "C" << 13.5 << "13.50"
                                              << "5"
                                              << "" << 13.5;
        QTest::newRow("empty, no minimum") << "C" << 0.0 << ""
                                           << "5" << tooLow.arg("0.01") << 0.0;
        QTest::newRow("German comma") << "de_DE" << 13.5 << "20,50"
                                      << "5"
                                      << "" << 20.5;
        QTest::newRow("German group separator refused") << "de_DE" << 13.5 << "1.020,5"
                                                        << "5"
                                                        << "" << 1020.5;
        QTest::newRow("German minimum") << "de_DE" << 13.5 << "13"
                                        << "5" << tooLow.arg("13,5") << 13.0;
        QTest::newRow("too high") << "C" << 13.0 << "99999999999999999999"
                                  << "5"
                                  << "Bid Too High|Please enter a bid that is 10000000 or less."
                                  << 1e20;
        QTest::newRow("no lead time")
            << "C" << 13.0 << "14"
            << ""
            << "Incorrect Lead Time|Pleae enter a lead time that is between 1 and 60 seconds."
            << 14.0;
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
        SnipeDialog dialog(itemRow({{"next_bid", nextBid}}));
        part<QLineEdit>(dialog, "lineEditUserBidAmount")->clear();
        QTest::keyClicks(part<QLineEdit>(dialog, "lineEditUserBidAmount"), typed);
        part<QRadioButton>(dialog, "radioButtonUserSpecified")->setChecked(true);
        part<QLineEdit>(dialog, "lineEditLeadTime")->setText(lead);
        part<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();

        QCOMPARE(boxes.titles().join(QString()) + '|' + boxes.texts().join(QString()),
                 box.isEmpty() ? QStringLiteral("|") : box);
        QCOMPARE(dialog.result(), box.isEmpty() ? int(QDialog::Accepted) : 0);
        QTEST(dialog.userBid(), "userBid");
    }

    void picture_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("thumbnail") << 200;
        QTest::newRow("failed") << 404;
    }
    void picture()
    {
        QFETCH(int, status);
        if (status != 200)
            scene->ebay().script(EbayDouble::Rule(HostConfig::Thumbnail).withStatus(status));
        scene->ebay().clearLog();
        SnipeDialog dialog(itemRow());
        auto* label = part<RemotePixmapLabel>(dialog, "labelItemImage");
        QSignalSpy finished(label->findChild<QNetworkAccessManager*>(),
                            &QNetworkAccessManager::finished);
        QVERIFY(finished.wait(5000));
        const QList<EbayDouble::Request> asked = scene->ebay().requests(HostConfig::Thumbnail);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().path, QStringLiteral("/pict/110000000001.jpg"));
        QCOMPARE(label->pixmap(Qt::ReturnByValue).toImage(),
                 status == 200 ? QImage::fromData(scene->ebay().thumbnail()) : QImage());
    }
};

KESTROVA_TEST_MAIN(TestSnipeDialog)
#include "test_snipedialog.moc"
