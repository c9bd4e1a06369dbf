#include "support/testmain.h"
#include "timetext.h"

class TestTimeText : public QObject
{
    Q_OBJECT

private slots:
    void readsAsUtcWhateverTheLocalZone_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
        };
        QTest::newRow("plain") << "2015-03-10T12:34:56" << utc(2015, 3, 10, 12, 34, 56);
        QTest::newRow("ebay fraction and zone")
            << "2015-03-10T12:34:56.789Z" << utc(2015, 3, 10, 12, 34, 56);
        // 02:30 does not exist in New York on that night; in UTC it does.
        QTest::newRow("local dst gap") << "2026-03-08T02:30:00" << utc(2026, 3, 8, 2, 30, 0);
        QTest::newRow("local dst repeat") << "2026-11-01T01:30:00" << utc(2026, 11, 1, 1, 30, 0);
        QTest::newRow("too short") << "2015-03-10T12:34" << QDateTime();
        QTest::newRow("no T") << "2015-03-10 12:34:56" << QDateTime();
        QTest::newRow("not a date") << "2015-13-40T12:34:56" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
        // Only what SQLite's datetime() reads too: ASCII digits in every place.
        QTest::newRow("sign for a zero") << "2026-12-07T+8:55:44" << QDateTime();
        QTest::newRow("blank for a zero") << "2026-12-07T08: 5:44" << QDateTime();
        QTest::newRow("sign in the month") << "2026-+2-07T08:55:44" << QDateTime();
        QTest::newRow("other digits") << "2026-12-07T08:55:\u0664\u0664" << QDateTime();
    }

    void readsAsUtcWhateverTheLocalZone()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const QDateTime parsed = TimeText::parse(text);
        QCOMPARE(parsed.isValid(), expected.isValid());
        if (expected.isValid()) {
            QCOMPARE(parsed, expected);
            QCOMPARE(parsed.timeSpec(), Qt::UTC);
            QCOMPARE(TimeText::format(parsed), text.left(19));
        }
    }

    void keepsTheFractionOfEbaysTimestampWhenAsked_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("msec");
        QTest::newRow("three digits") << "2015-03-10T12:34:56.789Z" << 789;
        QTest::newRow("one digit") << "2015-03-10T12:34:56.7Z" << 700;
        QTest::newRow("more digits") << "2015-03-10T12:34:56.78951Z" << 789;
        QTest::newRow("no fraction") << "2015-03-10T12:34:56Z" << 0;
        QTest::newRow("dot only") << "2015-03-10T12:34:56.Z" << 0;
    }

    void keepsTheFractionOfEbaysTimestampWhenAsked()
    {
        QFETCH(QString, text);
        QFETCH(int, msec);
        const QDateTime parsed = TimeText::parseWithMilliseconds(text);
        QCOMPARE(parsed, QDateTime(QDate(2015, 3, 10), QTime(12, 34, 56, msec), Qt::UTC));
        QCOMPARE(TimeText::parse(text).time().msec(), 0);
    }

    void writesLocalTimesAsTheirUtcText()
    {
        const QDateTime utc(QDate(2026, 7, 1), QTime(3, 0, 0), Qt::UTC);
        QCOMPARE(TimeText::format(utc.toLocalTime()), QStringLiteral("2026-07-01T03:00:00"));
    }
};

KESTROVA_TEST_MAIN(TestTimeText)
#include "test_timetext.moc"
