#include "hostconfig.h"
#include "support/testmain.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

class TestHostConfig : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;

    void useOverride(const QJsonObject& root)
    {
        const QString path = m_dir.filePath(QStringLiteral("hosts.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(root).toJson());
        file.close();
        qputenv(HostConfig::OverrideVariable, QFile::encodeName(path));
        HostConfig::reload();
    }

private slots:
    void initTestCase() { m_previous = qgetenv(HostConfig::OverrideVariable); }
    void cleanup()
    {
        qputenv(HostConfig::OverrideVariable, m_previous);
        HostConfig::reload();
    }

    void defaultsAreTheRealHostsFormedFromTheDomain()
    {
        qunsetenv(HostConfig::OverrideVariable);
        HostConfig::reload();
        QCOMPARE(HostConfig::url(HostConfig::ItemPage, QStringLiteral("ebay.co.uk"),
                                 QStringLiteral("/ws/eBayISAPI.dll?ViewItem&item=1"))
                     .toString(),
                 QStringLiteral("http://www.ebay.co.uk/ws/eBayISAPI.dll?ViewItem&item=1"));
        QCOMPARE(HostConfig::endpoint(HostConfig::SignIn, QStringLiteral("ebay.de")).scheme,
                 QStringLiteral("https"));
        QCOMPARE(HostConfig::authority(HostConfig::BidPage, QStringLiteral("ebay.de")),
                 QStringLiteral("offer.ebay.de"));
        QCOMPARE(HostConfig::smtpRelay().port, 25);
        QCOMPARE(HostConfig::transferTimeoutMs(), 30000);
    }

    void overrideByRoleAndByRoleForOneDomain()
    {
        useOverride(QJsonObject{
            {QStringLiteral("roles"),
             QJsonObject{
                 {QStringLiteral("bid"),
                  QJsonObject{{QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                              {QStringLiteral("port"), 4000}}},
                 {QStringLiteral("bid@ebay.de"), QJsonObject{{QStringLiteral("port"), 4001}}}}},
            {QStringLiteral("transferTimeoutMs"), 1500},
            {QStringLiteral("smtp"),
             QJsonObject{{QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                         {QStringLiteral("port"), 2525},
                         {QStringLiteral("account"), QStringLiteral("robot@example.org")}}}});
        QCOMPARE(HostConfig::authority(HostConfig::BidPage, QStringLiteral("ebay.com")),
                 QStringLiteral("127.0.0.1:4000"));
        QCOMPARE(HostConfig::authority(HostConfig::BidPage, QStringLiteral("ebay.de")),
                 QStringLiteral("127.0.0.1:4001"));
        // A role that is not overridden keeps its default.
        QCOMPARE(HostConfig::authority(HostConfig::MyEbay, QStringLiteral("ebay.co.uk")),
                 QStringLiteral("my.ebay.co.uk"));
        QCOMPARE(HostConfig::transferTimeoutMs(), 1500);
        QCOMPARE(HostConfig::smtpRelay().host, QStringLiteral("127.0.0.1"));
        QCOMPARE(HostConfig::smtpRelay().port, 2525);
        QCOMPARE(HostConfig::smtpRelay().account, QStringLiteral("robot@example.org"));
    }

    void harnessKeepsEveryRoleOffTheInternet()
    {
        for (int role = HostConfig::ShoppingApi; role <= HostConfig::MakerWeb; ++role)
            QCOMPARE(HostConfig::authority(static_cast<HostConfig::Role>(role),
                                           QStringLiteral("ebay.com")),
                     QStringLiteral("127.0.0.1:1"));
        QCOMPARE(HostConfig::smtpRelay().host, QStringLiteral("127.0.0.1"));
    }
};

KESTROVA_TEST_MAIN(TestHostConfig)
#include "test_hostconfig.moc"
