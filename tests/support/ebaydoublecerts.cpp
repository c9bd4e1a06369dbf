// The TLS certificates of the double's sign-in ports: a CA and a server
// certificate for 127.0.0.1 signed by it, made by the openssl command.
#include "ebaydoublestate.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// The certificates take a few openssl runs; one set serves every double of
// the process.
struct Certificates
{
    QTemporaryDir dir;
    bool made = false;
    QString error;
    QString caPath() const { return dir.filePath(QStringLiteral("ca.pem")); }
    QString certificatePath() const { return dir.filePath(QStringLiteral("server.pem")); }
    QString keyPath() const { return dir.filePath(QStringLiteral("server.key")); }
};

bool runOpenssl(const QStringList& arguments, const QString& directory, QString* error)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        *error = QStringLiteral("openssl %1 failed: %2")
                     .arg(arguments.join(QLatin1Char(' ')),
                          QString::fromLocal8Bit(process.readAll()) + process.errorString());
        return false;
    }
    return true;
}

Certificates& certificates()
{
    static Certificates certs;
    if (certs.made || !certs.error.isEmpty())
        return certs;
    const QString dir = certs.dir.path();
    const QString curve = QStringLiteral("ec_paramgen_curve:prime256v1");
    QFile extensions(certs.dir.filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly)) {
        certs.error = QStringLiteral("cannot write %1").arg(extensions.fileName());
        return certs;
    }
    extensions.write("basicConstraints=CA:FALSE\n"
                     "keyUsage=critical,digitalSignature,keyEncipherment\n"
                     "extendedKeyUsage=serverAuth\n"
                     "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    extensions.close();
    const bool made =
        runOpenssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                    QStringLiteral("ec"), QStringLiteral("-pkeyopt"), curve,
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                    QStringLiteral("-out"), QStringLiteral("ca.pem"), QStringLiteral("-days"),
                    QStringLiteral("7"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=eBay double test CA"), QStringLiteral("-addext"),
                    QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                    QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")},
                   dir, &certs.error) &&
        runOpenssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"),
                    QStringLiteral("ec"), QStringLiteral("-pkeyopt"), curve,
                    QStringLiteral("-nodes"), QStringLiteral("-keyout"),
                    QStringLiteral("server.key"), QStringLiteral("-out"),
                    QStringLiteral("server.csr"), QStringLiteral("-subj"),
                    QStringLiteral("/CN=127.0.0.1")},
                   dir, &certs.error) &&
        runOpenssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                    QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                    QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                    QStringLiteral("-CAcreateserial"), QStringLiteral("-out"),
                    QStringLiteral("server.pem"), QStringLiteral("-days"), QStringLiteral("7"),
                    QStringLiteral("-extfile"), QStringLiteral("server.ext")},
                   dir, &certs.error);
    certs.made = made;
    return certs;
}

} // namespace

namespace EbayDoubleCertificates {

bool make(QString* error)
{
    const Certificates& certs = certificates();
    if (!certs.made && error)
        *error = certs.error;
    return certs.made;
}

QString caPath()
{
    return certificates().caPath();
}

QString certificatePath()
{
    return certificates().certificatePath();
}

QString keyPath()
{
    return certificates().keyPath();
}

} // namespace EbayDoubleCertificates
