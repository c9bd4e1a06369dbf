#include "kestrovaapp.h"
#include "logindialog.h"
#include "mainwindow.h"
#include "startup.h"
#include "versionchecker.h"

#include <QDir>

int main(int argc, char** argv)
{
    KestrovaApp app(argc, argv);
    Startup::endOnSignals();
    QCoreApplication::setApplicationVersion(QLatin1String(KestrovaApp::Version));
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QDir::separator() +
                                     QStringLiteral("plugins"));
    // Lives until main returns: its answer may come during any later step.
    VersionChecker versionChecker;
    versionChecker.checkUpdateAsync();
    KestrovaApp::setIdentity();
    if (const int failure = Startup::prepareStore())
        return failure;
    Startup::startClock();

    LoginDialog loginDialog;
    loginDialog.setAutoLogin(true);
    if (loginDialog.exec() != QDialog::Accepted)
        return 0;

    int exitCode = 0;
    {
        MainWindow mainWindow;
        mainWindow.show();
        exitCode = QApplication::exec();
        Startup::endBidding(mainWindow);
    }
    // After the window and its snipes are gone: their last writes too.
    Startup::finishStore();
    return exitCode;
}
