#include "testmain.h"

#include "hostconfig.h"
#include "messagebox.h"
#include "support/resolverguard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace TestHarness {

namespace {
QTemporaryDir* harnessDir = nullptr;
QtMessageHandler previousHandler = nullptr;

void failOnBadConnections(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QObject::connect:"))) {
        std::fprintf(stderr, "FATAL: a signal connection failed: %s\n", qPrintable(message));
        std::abort();
    }
}

void writeClosedHostsFile(const QString& path)
{
    // Port 1 on the loopback interface refuses at once.
    QJsonObject closed{{QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                       {QStringLiteral("port"), 1}};
    QJsonObject roles;
    for (int role = HostConfig::ShoppingApi; role <= HostConfig::MakerWeb; ++role)
        roles.insert(HostConfig::roleName(static_cast<HostConfig::Role>(role)), closed);
    QJsonObject root{
        {QStringLiteral("roles"), roles},
        {QStringLiteral("smtp"), QJsonObject{{QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                                             {QStringLiteral("port"), 1}}}};
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QJsonDocument(root).toJson());
}
} // namespace

void prepareEnvironment()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "America/New_York");
    tzset();
    qputenv("QT_HASH_SEED", "0");

    harnessDir = new QTemporaryDir(); // removed at exit, see prepareApplication()
    const QString root = harnessDir->path();
    QDir().mkpath(root + QStringLiteral("/data"));
    QDir().mkpath(root + QStringLiteral("/config"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + QStringLiteral("/config")));
    // Without one Qt makes "runtime-<user>" in the temporary folder and
    // leaves it there.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = root + QStringLiteral("/runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    }

    writeClosedHostsFile(closedHostsFile());
    qputenv(HostConfig::OverrideVariable, QFile::encodeName(closedHostsFile()));

    qputenv(ResolverGuard::LogVariable,
            QFile::encodeName(root + QStringLiteral("/external-lookups.log")));
    QByteArray preload = KESTROVA_RESOLVER_GUARD;
    if (qEnvironmentVariableIsSet("LD_PRELOAD"))
        preload += ' ' + qgetenv("LD_PRELOAD");
    qputenv("LD_PRELOAD", preload);
}

void prepareApplication()
{
    QCoreApplication::setApplicationVersion(QLatin1String(KestrovaApp::Version));
    KestrovaApp::setIdentity();
    HostConfig::reload();
    previousHandler = qInstallMessageHandler(failOnBadConnections);
    MessageBox::setHandler([](const MessageBox::Request& request) {
        std::fprintf(stderr, "FATAL: unexpected message box \"%s\": %s\n",
                     qPrintable(request.title), qPrintable(request.text));
        std::abort();
        return QMessageBox::NoButton;
    });
    std::atexit([] {
        const QStringList names = takeExternalLookups();
        delete harnessDir;
        harnessDir = nullptr;
        if (!names.isEmpty()) {
            // The tests have all run: the exit status is what is left to fail.
            std::fprintf(stderr,
                         "FAIL!  : external host names were looked up by the test or a program "
                         "it started: %s\n",
                         qPrintable(names.join(QStringLiteral(", "))));
            std::fflush(stderr);
            std::_Exit(1);
        }
    });
}

QString harnessDataHome()
{
    return harnessDir ? harnessDir->path() + QStringLiteral("/data") : QString();
}

QString closedHostsFile()
{
    return harnessDir ? harnessDir->path() + QStringLiteral("/closed-hosts.json") : QString();
}

QStringList takeExternalLookups()
{
    QFile log(QFile::decodeName(qgetenv(ResolverGuard::LogVariable)));
    if (!log.open(QIODevice::ReadWrite))
        return {};
    QStringList names =
        QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    log.resize(0);
    names.removeDuplicates();
    return names;
}

} // namespace TestHarness
