#include "descrypto.h"
#include "support/testmain.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {

const QString kFirst = DesCrypto::FirstKey;
const QString kSecond = DesCrypto::SecondKey;

QString encrypt(const QString& text)
{
    return DesCrypto::EncryptToHex(text, kFirst, kSecond);
}

QString decrypt(const QString& stored)
{
    return DesCrypto::DecryptFromHex(stored, kFirst, kSecond);
}

// Two-key triple DES in CBC mode as the openssl command does it: the oracle
// the stored form is checked against. Returns false when the command failed.
bool openssl(const QStringList& options, const QByteArray& input, QByteArray* output)
{
    QProcess process;
    QStringList arguments{QStringLiteral("enc"), QStringLiteral("-des-ede-cbc"),
                          QStringLiteral("-K"),
                          QString::fromLatin1((QByteArray("plorvank") + "quenditi").toHex())};
    arguments += options;
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForStarted(5000))
        return false;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return false;
    *output = process.readAllStandardOutput();
    return true;
}

QByteArray password(int length)
{
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(char('a' + (i * 7) % 26));
    return bytes;
}

} // namespace

class TestDesCrypto : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty(),
                 "the openssl command is needed as the reference (tools/install-deps)");
    }

    void roundTripsAndStoredLength_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("storedLength");
        for (int length = 1; length <= 17; ++length) {
            QTest::addRow("%d bytes", length)
                << QString::fromLatin1(password(length)) << 16 * (length / 8 + 2);
        }
        // 13 bytes of UTF-8.
        QTest::newRow("non-ASCII") << QStringLiteral("pässwörd€") << 48;
    }

    void roundTripsAndStoredLength()
    {
        QFETCH(QString, text);
        QFETCH(int, storedLength);
        const QString stored = encrypt(text);
        QCOMPARE(stored.size(), storedLength);
        QVERIFY2(QRegularExpression(QStringLiteral("^[0-9a-f]+$")).match(stored).hasMatch(),
                 qPrintable(stored));
        QCOMPARE(decrypt(stored), text);
    }

    void emptyPasswordAndEmptyStoredForm()
    {
        const QString stored = encrypt(QString());
        QCOMPARE(stored, QString(""));
        QVERIFY(!stored.isNull());
        QCOMPARE(encrypt(QStringLiteral("")), QString(""));
        QVERIFY(!decrypt(QString()).isNull());
        QCOMPARE(decrypt(QString()), QString(""));
    }

    void sameTextTwiceGivesDifferentStoredForms()
    {
        const QString first = encrypt(QStringLiteral("hunter2"));
        const QString second = encrypt(QStringLiteral("hunter2"));
        QVERIFY(first != second);
        QVERIFY(first.left(16) != second.left(16));
        QCOMPARE(decrypt(first), QStringLiteral("hunter2"));
        QCOMPARE(decrypt(second), QStringLiteral("hunter2"));
    }

    void passwordEndsAtItsFirstNul()
    {
        // Only the bytes before the NUL are kept.
        const QString cut = encrypt(QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"));
        QCOMPARE(cut.size(), 32);
        QCOMPARE(decrypt(cut), QStringLiteral("ab"));

        // Nothing before it: the leading block and one block of pad.
        const QString leading = encrypt(QChar(0) + QStringLiteral("secret"));
        QCOMPARE(leading.size(), 32);
        QCOMPARE(decrypt(leading), QString(""));
        QByteArray plain;
        QVERIFY(openssl({QStringLiteral("-d"), QStringLiteral("-nopad"), QStringLiteral("-iv"),
                         leading.left(16)},
                        QByteArray::fromHex(leading.mid(16).toLatin1()), &plain));
        QCOMPARE(plain, QByteArray(8, '\x08'));
    }

    void unusableStoredFormsGiveEmptyText_data()
    {
        QTest::addColumn<QString>("stored");
        const QString valid = encrypt(QStringLiteral("secret"));
        QTest::newRow("15 bytes") << valid.left(30);
        QTest::newRow("odd length") << valid.left(31);
        QTest::newRow("odd length, one digit more") << valid + QLatin1Char('0');
        QTest::newRow("non-hex letter") << valid.left(31) + QLatin1Char('g');
        QTest::newRow("space inside") << valid.left(10) + QLatin1Char(' ') + valid.mid(11);
        QTest::newRow("non-ASCII digit") << valid.left(31) + QChar(0x0663);
    }

    void unusableStoredFormsGiveEmptyText()
    {
        QFETCH(QString, stored);
        const QString text = decrypt(stored);
        QCOMPARE(text, QString(""));
        QVERIFY(!text.isNull());
    }

    void stillReadsUppercaseAndIgnoresATrailingPartialBlock()
    {
        const QString stored = encrypt(QStringLiteral("secret"));
        QCOMPARE(decrypt(stored.toUpper()), QStringLiteral("secret"));
        QCOMPARE(decrypt(stored + QStringLiteral("abcd")), QStringLiteral("secret"));
    }

    void lastBlockWithoutValidPadKeepsItsBytes_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QString>("expected");
        QTest::newRow("last byte above 8") << QByteArray("abcdefgh") << QStringLiteral("abcdefgh");
        QTest::newRow("pad bytes differ")
            << QByteArray("abcdefg\x03", 8) << QStringLiteral("abcdefg\x03");
        QTest::newRow("last byte 0, cut at the NUL")
            << QByteArray("abcdefg\0", 8) << QStringLiteral("abcdefg");
        QTest::newRow("valid pad of 1 is removed")
            << QByteArray("abcdefg\x01", 8) << QStringLiteral("abcdefg");
    }

    void lastBlockWithoutValidPadKeepsItsBytes()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QString, expected);
        const QString iv = QStringLiteral("1122334455667788");
        QByteArray cipher;
        QVERIFY(openssl({QStringLiteral("-nopad"), QStringLiteral("-iv"), iv}, plain, &cipher));
        QCOMPARE(decrypt(iv + QString::fromLatin1(cipher.toHex())), expected);
    }

    void wrongKeyDoesNotGiveThePasswordBack()
    {
        const QString stored = encrypt(QStringLiteral("secret"));
        QVERIFY(DesCrypto::DecryptFromHex(stored, kSecond, kFirst) != QStringLiteral("secret"));
    }

    void agreesWithTwoKeyTripleDesCbc_data()
    {
        QTest::addColumn<QByteArray>("plain");
        for (int length = 1; length <= 17; ++length)
            QTest::addRow("%d bytes", length) << password(length);
        QTest::newRow("non-ASCII") << QStringLiteral("pässwörd€").toUtf8();
    }

    void agreesWithTwoKeyTripleDesCbc()
    {
        QFETCH(QByteArray, plain);
        const QString text = QString::fromUtf8(plain);

        // Our stored form: the blocks after the first are the reference's
        // output with the first block as the initialisation vector.
        const QString stored = encrypt(text);
        QByteArray reference;
        QVERIFY(openssl({QStringLiteral("-iv"), stored.left(16)}, plain, &reference));
        QCOMPARE(stored.mid(16), QString::fromLatin1(reference.toHex()));

        // The reference's output behind a chosen vector reads back as the text.
        const QString iv = QStringLiteral("0f1e2d3c4b5a6978");
        QVERIFY(openssl({QStringLiteral("-iv"), iv}, plain, &reference));
        QCOMPARE(decrypt(iv + QString::fromLatin1(reference.toHex())), text);
    }
};

KESTROVA_TEST_MAIN(TestDesCrypto)
#include "test_descrypto.moc"
