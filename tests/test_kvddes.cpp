#include "KvdDES2.h"
#include "support/testmain.h"

using Engine = KvdDESImpl<0>;

namespace {

QByteArray hex(const char* digits)
{
    return QByteArray::fromHex(digits);
}

const unsigned char* bytesOf(const QByteArray& array)
{
    return reinterpret_cast<const unsigned char*>(array.constData());
}

QByteArray resultOf(const Engine& engine)
{
    return QByteArray(reinterpret_cast<const char*>(engine.output()), int(engine.outputLength()));
}

} // namespace

class TestKvdDes : public QObject
{
    Q_OBJECT

private slots:
    void knownAnswerBlocks_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipher");
        QTest::newRow("worked example")
            << hex("133457799BBCDFF1") << hex("0123456789ABCDEF") << hex("85E813540F0AB405");
        QTest::newRow("all-zero result")
            << hex("0E329232EA6D0D73") << hex("8787878787878787") << hex("0000000000000000");
        QTest::newRow("text block")
            << hex("0123456789ABCDEF") << hex("4E6F772069732074") << hex("3FA40E8A984D4815");
        QTest::newRow("variable plaintext, first bit")
            << hex("0101010101010101") << hex("8000000000000000") << hex("95F8A5E5DD31D900");
        QTest::newRow("S-box vector 1")
            << hex("7CA110454A1A6E57") << hex("01A1D6D039776742") << hex("690F5B0D9A26939B");
        QTest::newRow("S-box vector 2")
            << hex("0131D9619DC1376E") << hex("5CD54CA83DEF57DA") << hex("7A389D10354BD271");
    }

    void knownAnswerBlocks()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipher);

        unsigned char subKeys[16][6];
        Engine::KvdCreateSubKeys(bytesOf(key), subKeys);

        const QByteArray input = plain;
        unsigned char out[8];
        Engine::KvdEncode64Bits(bytesOf(input), out, subKeys, 1);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 8).toHex(), cipher.toHex());
        QCOMPARE(input, plain);

        Engine::KvdEncode64Bits(bytesOf(cipher), out, subKeys, 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(out), 8).toHex(), plain.toHex());

        // The same block through the whole-buffer operation as plain DES.
        Engine engine(bytesOf(key), bytesOf(key));
        engine.setPasses(1);
        engine.setChaining(false);
        engine.setPadding(false);
        QVERIFY(engine.KvdDoDES(bytesOf(plain), 8, true));
        QCOMPARE(resultOf(engine).toHex(), cipher.toHex());
        QVERIFY(engine.KvdDoDES(bytesOf(cipher), 8, false));
        QCOMPARE(resultOf(engine).toHex(), plain.toHex());
    }

    void keyScheduleFirstAndLastSubKeys()
    {
        unsigned char subKeys[16][6];
        Engine::KvdCreateSubKeys(bytesOf(hex("133457799BBCDFF1")), subKeys);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(subKeys[0]), 6).toHex(),
                 QByteArray("1b02effc7072"));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(subKeys[15]), 6).toHex(),
                 QByteArray("cb3d8b0e17f5"));

        // Parity bits (the last bit of each key byte) take no part.
        unsigned char flipped[16][6];
        Engine::KvdCreateSubKeys(bytesOf(hex("123556789ABDDEF0")), flipped);
        QCOMPARE(memcmp(subKeys, flipped, sizeof subKeys), 0);
    }

    void threePassesAlternateKeysAndDirections()
    {
        // EDE with one key twice is single DES.
        const QByteArray key = hex("133457799BBCDFF1");
        Engine same(bytesOf(key), bytesOf(key));
        same.setChaining(false);
        same.setPadding(false);
        QVERIFY(same.KvdDoDES(bytesOf(hex("0123456789ABCDEF")), 8, true));
        QCOMPARE(resultOf(same).toHex(), QByteArray("85e813540f0ab405"));

        // Two keys: E(K1), D(K2), E(K1), checked against a two-key triple DES result.
        const QByteArray k1 = hex("0123456789ABCDEF");
        const QByteArray k2 = hex("FEDCBA9876543210");
        Engine two(bytesOf(k1), bytesOf(k2));
        two.setChaining(false);
        two.setPadding(false);
        QVERIFY(two.KvdDoDES(bytesOf(k1), 8, true));
        QCOMPARE(resultOf(two).toHex(), QByteArray("1a4d672dca6cb335"));
        QVERIFY(two.KvdDoDES(bytesOf(hex("1a4d672dca6cb335")), 8, false));
        QCOMPARE(resultOf(two).toHex(), k1.toHex());
    }

    void chainedPaddedLayoutAndTerminator()
    {
        const QByteArray k1("plorvank");
        const QByteArray k2("quenditi");
        Engine engine(bytesOf(k1), bytesOf(k2));
        const QByteArray plain("abcdefghij");
        QVERIFY(engine.KvdDoDES(bytesOf(plain), 10, true));
        QCOMPARE(engine.outputLength(), 24ul);
        const QByteArray stored = resultOf(engine);

        QVERIFY(engine.KvdDoDES(bytesOf(stored), 24, false));
        QCOMPARE(resultOf(engine), plain);
        // The removed pad is cleared, so the result reads as a C string.
        QCOMPARE(engine.output()[10], 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(engine.output())), plain);
    }

    void refusesUnusableInput()
    {
        const QByteArray key("plorvank");
        Engine engine(bytesOf(key), bytesOf(key));
        const QByteArray block(16, 'x');
        QVERIFY(!engine.KvdDoDES(nullptr, 8, true));
        QVERIFY(!engine.KvdDoDES(bytesOf(block), 0, true));
        // A leading block and at least one data block are needed.
        QVERIFY(!engine.KvdDoDES(bytesOf(block), 15, false));
        QVERIFY(engine.KvdDoDES(bytesOf(block), 16, false));

        engine.setPadding(false);
        QVERIFY(!engine.KvdDoDES(bytesOf(block), 7, true));

        Engine fixed(bytesOf(key), bytesOf(key));
        fixed.setMayReallocate(false);
        QVERIFY(!fixed.KvdDoDES(bytesOf(block), 8, true));
        QCOMPARE(fixed.outputLength(), 0ul);
    }
};

KESTROVA_TEST_MAIN(TestKvdDes)
#include "test_kvddes.moc"
