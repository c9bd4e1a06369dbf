#include "helper/networkresource.h"
#include "support/ebaydouble.h"
#include "support/modaldriver.h"
#include "support/testmain.h"
#include "updatedialog.h"
#include "versionchecker.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace {

enum class Server { Publishes, NoTags, Empty, Refuses, Hangs, Trickles, TooLong, Endless };

void serve(EbayDouble& dbl, Server server, const QString& version)
{
    dbl.setPublishedVersion(version);
    const EbayDouble::Rule versionFile =
        EbayDouble::Rule(HostConfig::MakerWeb).wherePath(QStringLiteral("/version.xml"));
    if (server == Server::NoTags)
        dbl.script(EbayDouble::Rule(versionFile).withBody("<Kestrova><Ver>9.9</Ver></Kestrova>"));
    if (server == Server::Refuses)
        dbl.refuse(HostConfig::MakerWeb);
    if (server == Server::Empty)
        dbl.script(EbayDouble::Rule(versionFile).withBody(""));
    if (server == Server::TooLong)
        dbl.script(EbayDouble::Rule(versionFile)
                       .withBody("<Kestrova4Ver>" + version.toUtf8() + "</Kestrova4Ver>" +
                                 QByteArray(1 << 20, ' ')));
    if (server == Server::Hangs || server == Server::Trickles || server == Server::Endless)
        dbl.setTransferTimeoutMs(300);
    if (server == Server::Hangs)
        dbl.script(EbayDouble::Rule(versionFile).hang());
    if (server == Server::Trickles)
        dbl.script(EbayDouble::Rule(versionFile).trickled());
    if (server == Server::Endless)
        dbl.script(EbayDouble::Rule(versionFile).endless());
}

} // namespace

Q_DECLARE_METATYPE(Server)

class TestVersionChecker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QNetworkReply*>(); }

    void blockingCheck_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("published");
        QTest::addColumn<bool>("newer");
        QTest::addColumn<bool>("failed");

        const Server ok = Server::Publishes;
        QTest::newRow("4.1.0.3") << ok << "4.1.0.3" << true << false;
        QTest::newRow("4.1.0.10: numbers, not text") << ok << "4.1.0.10" << true << false;
        QTest::newRow("10.0") << ok << "10.0" << true << false;
        QTest::newRow("equal") << ok << "4.1.0.2" << false << false;
        QTest::newRow("older") << ok << "4.1.0.1" << false << false;
        // No version to compare is no answer, not "the latest".
        QTest::newRow("space before") << ok << " 4.2" << false << true;
        QTest::newRow("letters") << ok << "4.2beta" << false << true;
        QTest::newRow("no version tags") << Server::NoTags << "" << false << true;
        QTest::newRow("empty body") << Server::Empty << "" << false << true;
        QTest::newRow("server refuses") << Server::Refuses << "9.0" << false << true;
        QTest::newRow("no answer: time-out") << Server::Hangs << "9.0" << false << true;
        QTest::newRow("a byte at a time: deadline") << Server::Trickles << "9.0" << false << true;
        QTest::newRow("past 64 KB") << Server::TooLong << "9.0" << false << true;
    }

    void blockingCheck()
    {
        QFETCH(Server, server);
        QFETCH(QString, published);
        QFETCH(bool, newer);
        QFETCH(bool, failed);
        EbayDouble dbl;
        serve(dbl, server, published);
        VersionChecker checker;
        QCOMPARE(checker.updateAvailable(), newer);
        QCOMPARE(checker.checkFailed(), failed);
        QCOMPARE(checker.errorString().isEmpty(), !failed);
    }

    void asynchronousCheck_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("published");
        QTest::addColumn<bool>("notice");

        QTest::newRow("newer: the notice") << Server::Publishes << "4.1.0.10" << true;
        QTest::newRow("equal: silent") << Server::Publishes << "4.1.0.2" << false;
        QTest::newRow("no tags: silent") << Server::NoTags << "" << false;
        QTest::newRow("never ends: silent") << Server::Endless << "9.0" << false;
    }

    void asynchronousCheck()
    {
        QFETCH(Server, server);
        QFETCH(QString, published);
        QFETCH(bool, notice);
        EbayDouble dbl;
        serve(dbl, server, published);
        ModalDriver driver(300); // an unexpected notice is closed and counted
        QString message;
        if (notice) {
            driver.onNext<UpdateDialog>([&message](UpdateDialog* up) {
                message = up->findChild<QLabel*>(QStringLiteral("labelUpdateMsg"))->text();
                up->accept();
            });
        }
        QSignalSpy replies(NetworkResource::instance()->networkAccessManager(),
                           &QNetworkAccessManager::finished);
        VersionChecker checker;
        checker.checkUpdateAsync();
        QVERIFY(replies.wait(5000));
        QVERIFY(driver.allDone());
        QCOMPARE(driver.unexpected(), QStringList());
        const QString site = HostConfig::url(HostConfig::MakerWeb, QString(), "/").toString();
        if (notice)
            QCOMPARE(message, QStringLiteral("New update is available. Please go to <a "
                                             "href=\"%1\">%1</a> to download the latest version.")
                                  .arg(site));
    }
};

KESTROVA_TEST_MAIN(TestVersionChecker)
#include "test_versionchecker.moc"
