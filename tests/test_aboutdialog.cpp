#include "aboutdialog.h"
#include "helper/networkresource.h"
#include "remotepixmaplabel.h"
#include "support/ebaydouble.h"
#include "support/httpprobe.h"
#include "support/testmain.h"

#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>

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
};

KESTROVA_TEST_MAIN(TestAboutDialog)
#include "test_aboutdialog.moc"
