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

enum class Server { Publishes, NoTags, Refuses, NotFound, Hangs };

// Sets up what the maker's host answers for /version.xml.
void serve(EbayDouble& dbl, Server server, const QString& version)
{
    dbl.setPublishedVersion(version);
    const auto versionFile = [] {
        return EbayDouble::Rule(HostConfig::MakerWeb).wherePath(QStringLiteral("/version.xml"));
    };
    switch (server) {
    case Server::Publishes:
        break;
    case Server::NoTags:
        dbl.script(versionFile().withBody("<Kestrova><Latest>9.9</Latest></Kestrova>"));
        break;
    case Server::Refuses:
        dbl.refuse(HostConfig::MakerWeb);
        break;
    case Server::NotFound:
        dbl.script(versionFile().withStatus(404));
        break;
    case Server::Hangs:
        dbl.setTransferTimeoutMs(300);
        dbl.script(versionFile().hang());
        break;
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
        QTest::newRow("4.2") << ok << "4.2" << true << false;
        QTest::newRow("4.1.0.10: numbers, not text") << ok << "4.1.0.10" << true << false;
        QTest::newRow("10.0") << ok << "10.0" << true << false;
        QTest::newRow("equal") << ok << "4.1.0.2" << false << false;
        QTest::newRow("equal, one more zero") << ok << "4.1.0.2.0" << false << false;
        QTest::newRow("older") << ok << "4.1.0.1" << false << false;
        QTest::newRow("space before") << ok << " 4.2" << false << false;
        QTest::newRow("letters") << ok << "4.2beta" << false << false;
        QTest::newRow("no version tags") << Server::NoTags << "" << false << false;
        QTest::newRow("server refuses") << Server::Refuses << "9.0" << false << true;
        QTest::newRow("not found") << Server::NotFound << "9.0" << false << true;
        QTest::newRow("no answer: transfer time-out") << Server::Hangs << "9.0" << false << true;
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
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(checker.updateAvailable(), newer);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(checker.fetchFailed(), failed);
        QCOMPARE(checker.errorString().isEmpty(), !failed);
        if (server != Server::Refuses)
            QCOMPARE(dbl.requests(HostConfig::MakerWeb).value(0).path,
                     QStringLiteral("/version.xml"));
    }

    void asynchronousCheck_data()
    {
        QTest::addColumn<Server>("server");
        QTest::addColumn<QString>("published");
        QTest::addColumn<bool>("notice");

        QTest::newRow("newer: the notice") << Server::Publishes << "4.1.0.10" << true;
        QTest::newRow("equal: silent") << Server::Publishes << "4.1.0.2" << false;
        QTest::newRow("failed: silent") << Server::NotFound << "9.0" << false;
    }

    void asynchronousCheck()
    {
        QFETCH(Server, server);
        QFETCH(QString, published);
        QFETCH(bool, notice);
        EbayDouble dbl;
        serve(dbl, server, published);
        // A notice nobody expects is closed after a short while and counted.
        ModalDriver driver(300);
        QString message;
        if (notice) {
            driver.onNext<UpdateDialog>([&message](UpdateDialog* up) {
                message = up->findChild<QLabel*>(QStringLiteral("labelUpdateMsg"))->text();
                up->grab().save(QStringLiteral("/tmp/kestrova-updatedialog.png"));
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
        if (notice) {
            const QString site =
                HostConfig::url(HostConfig::MakerWeb, QString(), QStringLiteral("/")).toString();
            QCOMPARE(message, QStringLiteral("New update is available. Please go to <a "
                                             "href=\"%1\">%1</a> to download the latest version.")
                                  .arg(site));
        }
    }
};

KESTROVA_TEST_MAIN(TestVersionChecker)
#include "test_versionchecker.moc"
