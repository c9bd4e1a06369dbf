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

enum class Server { Publishes, NoTags, Refuses, Hangs };

void serve(EbayDouble& dbl, Server server, const QString& version)
{
    dbl.setPublishedVersion(version);
    const EbayDouble::Rule versionFile =
        EbayDouble::Rule(HostConfig::MakerWeb).wherePath(QStringLiteral("/version.xml"));
    if (server == Server::NoTags)
        dbl.script(EbayDouble::Rule(versionFile).withBody("<Kestrova><Ver>9.9</Ver></Kestrova>"));
    if (server == Server::Refuses)
        dbl.refuse(HostConfig::MakerWeb);
    if (server == Server::Hangs) {
        dbl.setTransferTimeoutMs(300);
        dbl.script(EbayDouble::Rule(versionFile).hang());
    }
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
        QTest::newRow("space before") << ok << " 4.2" << false << false;
        QTest::newRow("letters") << ok << "4.2beta" << false << false;
        QTest::newRow("no version tags") << Server::NoTags << "" << false << false;
        QTest::newRow("server refuses") << Server::Refuses << "9.0" << false << true;
        QTest::newRow("no answer: time-out") << Server::Hangs << "9.0" << false << true;
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
        QCOMPARE(checker.fetchFailed(), failed);
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
