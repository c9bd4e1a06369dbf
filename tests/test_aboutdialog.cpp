#include "aboutdialog.h"
#include "helper/networkresource.h"
#include "remotepixmaplabel.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/testmain.h"

#include <QBuffer>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <sys/resource.h>

namespace {

qint64 peakMemoryKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestAboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QNetworkReply*>(); }

    void showsTheVersion()
    {
        AboutDialog about;
        about.show();
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("labelVersion"))->text(),
                 QStringLiteral("Version 4.1.0.2"));
        QVERIFY(!about.findChild<QLabel*>(QStringLiteral("label_3"))->pixmap().isNull());
    }

    // The picture comes without the sign-in cookies; a failed one leaves
    // the picture shown before.
    void showsARemotePicture()
    {
        EbayDouble dbl;
        NetworkResource::instance()->networkCookieJar()->setCookiesFromUrl(
            {QNetworkCookie(EbayDouble::sessionCookieName(), "signed-in")},
            QUrl(QStringLiteral("http://127.0.0.1/")));
        const QImage expected = QImage::fromData(dbl.thumbnail());
        QVERIFY(!expected.isNull());
        dbl.script(
            EbayDouble::Rule(HostConfig::Thumbnail).wherePath("/pict/2.jpg").withStatus(404));

        RemotePixmapLabel label;
        label.setRemotePixmap(HttpProbe::url(HostConfig::Thumbnail, "/pict/1.jpg").toString());
        QSignalSpy replies(label.findChild<QNetworkAccessManager*>(),
                           &QNetworkAccessManager::finished);
        QVERIFY(replies.wait(5000));
        QCOMPARE(label.pixmap().size(), expected.size());
        const EbayDouble::Request request = dbl.requests(HostConfig::Thumbnail).value(0);
        QCOMPARE(request.path, QStringLiteral("/pict/1.jpg"));
        QVERIFY(request.header("Cookie").isNull());
        QVERIFY(request.header("Content-Type").isNull());
        // The shared manager would have sent it.
        HttpProbe::fetch(HttpProbe::url(HostConfig::Thumbnail, "/pict/3.jpg"));
        QVERIFY(!dbl.requests(HostConfig::Thumbnail).value(1).header("Cookie").isNull());

        label.setRemotePixmap(HttpProbe::url(HostConfig::Thumbnail, "/pict/2.jpg").toString());
        QVERIFY(replies.wait(5000));
        QCOMPARE(dbl.requests(HostConfig::Thumbnail).size(), 3);
        QCOMPARE(label.pixmap().size(), expected.size());
    }

    // Too large, too many pixels or too slow: abandoned as a failed download.
    void boundsThePicture_data()
    {
        const auto png = [](const QSize& size) {
            QImage picture(size, QImage::Format_Mono);
            picture.fill(0);
            QByteArray bytes;
            QBuffer file(&bytes);
            file.open(QIODevice::WriteOnly);
            picture.save(&file, "PNG");
            return bytes;
        };
        QTest::addColumn<QByteArray>("body"); // empty: the double's thumbnail
        QTest::addColumn<bool>("trickled");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("4096 pixels wide") << png({4096, 1}) << false << QSize(4096, 1);
        QTest::newRow("4097 pixels wide") << png({4097, 1}) << false << QSize(0, 0);
        QTest::newRow("4097 pixels tall") << png({1, 4097}) << false << QSize(0, 0);
        QTest::newRow("past 5 MB")
            << png({1, 1}) + QByteArray(5 * 1024 * 1024, ' ') << false << QSize(0, 0);
        QTest::newRow("a byte at a time") << QByteArray() << true << QSize(0, 0);
        // A drawing of 10 x 10 pixels that unpacks to 64 MB.
        QTest::newRow("packed drawing")
            << EbayDouble::gzipped(
                   "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\" height=\"10\"><!--",
                   64 << 20, "--></svg>")
            << false << QSize(0, 0);
    }

    void boundsThePicture()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, trickled);
        EbayDouble dbl;
        EbayDouble::Rule picture(HostConfig::Thumbnail);
        if (!body.isEmpty())
            picture.withBody(body, "image/png");
        if (trickled)
            picture.trickled();
        dbl.script(picture);
        RemotePixmapLabel::setDownloadTimeLimitMs(1500);
        const auto restore = qScopeGuard([] { RemotePixmapLabel::setDownloadTimeLimitMs(60000); });
        RemotePixmapLabel label;
        label.setRemotePixmap(HttpProbe::url(HostConfig::Thumbnail, "/pict/1.jpg").toString());
        QSignalSpy replies(label.findChild<QNetworkAccessManager*>(),
                           &QNetworkAccessManager::finished);
        QVERIFY(replies.wait(5000));
        QTEST(label.pixmap(Qt::ReturnByValue).size(), "shown");
    }

    // A host may pack its answer: the bound holds for what it unpacks to.
    // Measured in a process of its own: the peak an earlier row reached
    // would hide the growth.
    void boundsAPackedAnswer()
    {
        if (!qEnvironmentVariableIsSet("KESTROVA_PACKED_ANSWER_ALONE")) {
            QProcess alone;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("KESTROVA_PACKED_ANSWER_ALONE"), QStringLiteral("1"));
            alone.setProcessEnvironment(environment);
            alone.start(QCoreApplication::applicationFilePath(), {QTest::currentTestFunction()});
            QVERIFY(alone.waitForFinished(60000));
            QVERIFY2(alone.exitStatus() == QProcess::NormalExit && alone.exitCode() == 0,
                     alone.readAllStandardOutput().constData());
            return;
        }
        EbayDouble dbl;
        dbl.script(EbayDouble::Rule(HostConfig::Thumbnail)
                       .withBody(EbayDouble::gzipped(QByteArray(), qint64(256) << 20), "image/png")
                       .withHeader("Content-Encoding", "gzip"));
        const qint64 before = peakMemoryKb();
        RemotePixmapLabel label;
        label.setRemotePixmap(HttpProbe::url(HostConfig::Thumbnail, "/pict/1.jpg").toString());
        QSignalSpy replies(label.findChild<QNetworkAccessManager*>(),
                           &QNetworkAccessManager::finished);
        QVERIFY(replies.wait(20000));
        QVERIFY(label.pixmap(Qt::ReturnByValue).isNull());
        const qint64 grownMb = (peakMemoryKb() - before) / 1024;
        QVERIFY2(grownMb < 64, qPrintable(QStringLiteral("%1 MB more").arg(grownMb)));
    }
};

KESTROVA_TEST_MAIN(TestAboutDialog)
#include "test_aboutdialog.moc"
