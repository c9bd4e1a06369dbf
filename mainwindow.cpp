#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "bidengine.h"
#include "clockmanager.h"
#include "groupcombobox.h"
#include "helper/dbhelper.h"
#include "helper/networkresource.h"
#include "hostconfig.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "myqwebview.h"
#include "snipestore.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoopLocker>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QSettings>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>
#include <QWebPage>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Kestrova zAzu Rerizod Ozovov %1")
                       .arg(QCoreApplication::applicationVersion()));

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/images/app.png")), this);
        trayIconMenu = new QMenu(this);
        restoreAction = new QAction(QStringLiteral("Restore Kestrova"), this);
        restoreAction->setObjectName(QStringLiteral("restoreAction"));
        connect(restoreAction, &QAction::triggered, this, [this] {
            showNormal();
            trayHold.reset();
        });
        trayIconMenu->addAction(restoreAction);
        trayIcon->setContextMenu(trayIconMenu);
        trayIconMenu->addSeparator();
        trayExitAction = new QAction(QStringLiteral("Exit"), this);
        trayExitAction->setObjectName(QStringLiteral("trayExitAction"));
        connect(trayExitAction, &QAction::triggered, this, &MainWindow::exit);
        trayIconMenu->addAction(trayExitAction);
        trayIcon->setVisible(true);
        balloonTimer = new QTimer(this);
        balloonTimer->setSingleShot(true);
        connect(balloonTimer, &QTimer::timeout, this, &MainWindow::showNextBalloon);
    }

    QTableWidget* table = ui->tableWidget;
    table->setColumnCount(ColumnCount);
    table->setHorizontalHeaderLabels(
        {QStringLiteral("Status"), QStringLiteral("Item Number"), QStringLiteral("Item Name"),
         QStringLiteral("Time Left"), QStringLiteral("Current Bid"), QStringLiteral("Shipping"),
         QStringLiteral("My Bid"), QStringLiteral("Group"), QStringLiteral("Seller")});
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this,
            &MainWindow::tableWidgetContextMenuRequested);

    webView = new MyQWebView(this);
    ui->browserLayout->addWidget(webView);
    // The browser's pages send the sign-in's cookies, and the program's own
    // requests see the cookies those pages set.
    NetworkResource::instance()->shareCookieJar(webView->page()->networkAccessManager());

    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    readPositionSettings();

    connect(webView->page(), &QWebPage::linkHovered, ui->statusBar,
            [this](const QString& link) { ui->statusBar->showMessage(link); });

    refreshElapsedMs = 0;
    // The window's tick runs before the engine's.
    ClockManager::instance()->attachListener(this, &MainWindow::onTimer);
    bidEngine = new BidEngine(this);
    ClockManager::instance()->attachListener(bidEngine, &BidEngine::onTimer);
    // The engine's reading failed in its constructor already, or will later.
    connect(bidEngine, &BidEngine::snipesUnreadable, this, &MainWindow::storeUnreadable);
    if (bidEngine->isUnreadable())
        storeUnreadable();
    // Each stage a snipe stores shows in its row at once, not at the next
    // reload.
    connect(SnipeStore::instance(), &SnipeStore::itemChanged, this, &MainWindow::refreshItemRow);
    lookUps = new LookUpQueue(
        [this](LookUpQueue::Kind kind, const QString& itemNumber) {
            return sendLookUp(kind, itemNumber);
        },
        [this](const QString& itemNumber) { return findItemRow(itemNumber) >= 0; }, this);

    loadStartPage();
    loadItemsFromDb();
    reload();
}

MainWindow::~MainWindow()
{
    // The snipes end first, while the window they report to is whole; what
    // they store then is no longer shown.
    SnipeStore::instance()->disconnect(this);
    ClockManager::instance()->disconnect(this);
    delete bidEngine;
    bidEngine = nullptr;
    delete ui;
}

void MainWindow::stopBidding()
{
    if (bidEngine)
        bidEngine->stopBidding();
}

QTableWidget* MainWindow::tableWidget() const
{
    return ui->tableWidget;
}

void MainWindow::showSysTrayMessage(const QString& title, const QString& msg,
                                    QSystemTrayIcon::MessageIcon icon, int msecs)
{
    if (!trayIcon)
        return;
    waitingBalloons.append({title, msg, icon, msecs});
    if (!balloonTimer->isActive())
        showNextBalloon();
}

void MainWindow::showNextBalloon()
{
    if (waitingBalloons.isEmpty())
        return;
    const Balloon next = waitingBalloons.takeFirst();
    trayIcon->showMessage(next.title, next.msg, next.icon, next.msecs);
    // One without a time of its own is given the usual ten seconds.
    balloonTimer->start(next.msecs > 0 ? next.msecs : 10000);
}

void MainWindow::loadStartPage()
{
    const QString domain = kApp->country().value(QStringLiteral("domain")).toString();
    webView->load(HostConfig::url(HostConfig::BrowserStart, domain, QStringLiteral("/")));
}

namespace {
QAction* makeAction(QMainWindow* window, const char* objectName, const QString& iconPath,
                    const QString& text, const QString& statusTip)
{
    auto* action =
        iconPath.isEmpty() ? new QAction(text, window) : new QAction(QIcon(iconPath), text, window);
    action->setObjectName(QLatin1String(objectName));
    action->setStatusTip(statusTip);
    return action;
}
} // namespace

void MainWindow::createActions()
{
    logoutAction = makeAction(this, "logoutAction", QStringLiteral(":/images/login.png"),
                              tr("&Logout..."), tr("Logout and login as a different user."));
    connect(logoutAction, &QAction::triggered, this, &MainWindow::login);

    exitAction = makeAction(this, "exitAction", QStringLiteral(":/images/exit.png"), tr("E&xit"),
                            tr("Exit Kestrova"));
    exitAction->setShortcut(QKeySequence::Quit);
    connect(exitAction, &QAction::triggered, this, &MainWindow::exit);

    watchAction = makeAction(this, "watchAction", QStringLiteral(":/images/up.png"),
                             tr("&Add item below..."), tr("Add the current item to watch list"));
    connect(watchAction, &QAction::triggered, this, &MainWindow::watch);

    manualWatchAction =
        makeAction(this, "manualWatchAction", QStringLiteral(":/images/watch.png"),
                   tr("&Add entered item..."), tr("Add the entered item to watch list"));
    connect(manualWatchAction, &QAction::triggered, this, &MainWindow::manualWatch);

    reloadAction = makeAction(this, "reloadAction", QStringLiteral(":/images/reload.png"),
                              tr("&Reload..."), tr("Reload the watch list"));
    connect(reloadAction, &QAction::triggered, this, &MainWindow::reload);

    deleteAction = makeAction(this, "deleteAction", QStringLiteral(":/images/delete.png"),
                              tr("&Delete..."), tr("Delete the selected items in watch list"));
    connect(deleteAction, &QAction::triggered, this, &MainWindow::remove);

    snipeAction = makeAction(this, "snipeAction", QStringLiteral(":/images/play.png"),
                             tr("&Snipe..."), tr("Snipe the selected item."));
    connect(snipeAction, &QAction::triggered, this, &MainWindow::snipe);

    cancelSnipeAction =
        makeAction(this, "cancelSnipeAction", QStringLiteral(":/images/stop.png"),
                   tr("&Cancel Snipe..."), tr("Cancel the snipe on the selected item."));
    connect(cancelSnipeAction, &QAction::triggered, this, &MainWindow::cancel);

    groupAction = makeAction(this, "groupAction", QStringLiteral(":/images/group.png"),
                             tr("&Group..."), tr("Manage bidding groups."));
    connect(groupAction, &QAction::triggered, this, &MainWindow::group);

    importAction = makeAction(this, "importAction", QStringLiteral(":/images/import.png"),
                              tr("&Import..."), tr("Import auctions from My eBay."));
    connect(importAction, &QAction::triggered, this, &MainWindow::import);

    aboutAction = makeAction(this, "aboutAction", QStringLiteral(":/images/about.png"),
                             tr("About &Kestrova zAzu Rerizod Ozovov"), tr("About Kestrova."));
    connect(aboutAction, &QAction::triggered, this, &MainWindow::aboutKestrova);

    preferencesAction = makeAction(this, "preferencesAction", QString(), tr("Preferences..."),
                                   tr("Edit Kestrova preferences."));
    connect(preferencesAction, &QAction::triggered, this, &MainWindow::preferences);

    checkUpdateAction = makeAction(this, "checkUpdateAction", QString(), tr("Check for update"),
                                   tr("Check new version for Kestrova."));
    connect(checkUpdateAction, &QAction::triggered, this, &MainWindow::checkUpdate);
}

void MainWindow::createMenus()
{
    fileMenu = menuBar()->addMenu(tr("&File"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    fileMenu->addAction(logoutAction);
    fileMenu->addSeparator();
    fileMenu->addAction(preferencesAction);
    fileMenu->addAction(exitAction);

    actionMenu = menuBar()->addMenu(tr("&Action"));
    actionMenu->setObjectName(QStringLiteral("actionMenu"));
    actionMenu->addAction(snipeAction);
    actionMenu->addAction(cancelSnipeAction);
    actionMenu->addAction(groupAction);
    actionMenu->addSeparator();
    actionMenu->addAction(importAction);
    actionMenu->addAction(deleteAction);
    actionMenu->addSeparator();
    actionMenu->addAction(reloadAction);

    helpMenu = menuBar()->addMenu(tr("&Help"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    helpMenu->addAction(aboutAction);
    helpMenu->addAction(checkUpdateAction);
}

void MainWindow::createToolBars()
{
    ui->browserLayout->setSpacing(0);

    browserToolBar = new QToolBar(QStringLiteral("Browser ToolBar"), this);
    browserToolBar->setObjectName(QStringLiteral("browserToolBar"));
    browserToolBar->setIconSize(QSize(24, 24));
    browserToolBar->addAction(webView->pageAction(QWebPage::Back));
    browserToolBar->addAction(webView->pageAction(QWebPage::Forward));
    browserToolBar->addAction(webView->pageAction(QWebPage::Reload));
    browserToolBar->addAction(webView->pageAction(QWebPage::Stop));
    browserToolBar->addAction(watchAction);
    auto* spacer = new QWidget(browserToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    browserToolBar->addWidget(spacer);
    browserToolBar->addWidget(new QLabel(QStringLiteral("Item Number: "), browserToolBar));
    browserToolBar->addAction(manualWatchAction);
    itemNumberEdit = new QLineEdit(browserToolBar);
    itemNumberEdit->setObjectName(QStringLiteral("itemNumberEdit"));
    itemNumberEdit->setFixedWidth(120);
    browserToolBar->insertWidget(manualWatchAction, itemNumberEdit);
    ui->browserLayout->insertWidget(0, browserToolBar);

    QToolBar* bar = ui->mainToolBar;
    bar->setIconSize(QSize(24, 24));
    bar->addAction(logoutAction);
    bar->addSeparator();
    bar->addAction(snipeAction);
    bar->addAction(cancelSnipeAction);
    bar->addAction(groupAction);
    bar->addSeparator();
    bar->addAction(importAction);
    bar->addAction(deleteAction);
    bar->addSeparator();
    bar->addAction(reloadAction);
    bar->addSeparator();

    bar->addWidget(new QLabel(QStringLiteral(" Status "), this));
    statusCombo = new QComboBox(this);
    statusCombo->setObjectName(QStringLiteral("statusCombo"));
    const QStringList statuses{QStringLiteral("All"),           QStringLiteral("Watching"),
                               QStringLiteral("Bid Scheduled"), QStringLiteral("High Bidder"),
                               QStringLiteral("Out Bidder"),    QStringLiteral("Won"),
                               QStringLiteral("Didn't Win")};
    for (int code = 0; code < statuses.size(); ++code)
        statusCombo->addItem(statuses.at(code), code);
    statusCombo->setCurrentIndex(0);
    bar->addWidget(statusCombo);
    connect(statusCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &MainWindow::loadItemsFromDb);

    bar->addWidget(new QLabel(QStringLiteral(" "), this));
    bar->addSeparator();
    bar->addWidget(new QLabel(QStringLiteral(" Group "), this));
    groupCombo = new QComboBox(this);
    groupCombo->setObjectName(QStringLiteral("groupCombo"));
    groupCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    GroupComboBox::tipCurrentName(groupCombo);
    bar->addWidget(groupCombo);
    loadToolbarGroupCombo(0);
}

void MainWindow::createStatusBar()
{
    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBar"));
    progressBar->setTextVisible(false);
    progressBar->setFixedWidth(100);
    progressBar->hide();
    ui->statusBar->addPermanentWidget(progressBar);

    // Permanent: a hovered link's message would hide an ordinary one.
    // Wrapped rather than widening the window when both are shown.
    const auto notice = [this](const char* name) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setWordWrap(true);
        label->setStyleSheet(QStringLiteral("QLabel { color: #a00000; }"));
        ui->statusBar->addPermanentWidget(label, 1);
        return label;
    };
    clockNotice = notice("clockNotice");
    clockNotice->setText(tr("eBay's official time could not be read: snipes follow this "
                            "computer's clock until it can."));
    showClockState();
    connect(ClockManager::instance(), &ClockManager::syncFinished, this,
            &MainWindow::showClockState);

    storeNotice = notice("storeNotice");
    showStoreState();
    connect(SnipeStore::instance(), &SnipeStore::pendingChanged, this, &MainWindow::showStoreState);

    // A command waits for a held file without holding the program: it says
    // so, and the pointer is busy meanwhile.
    waitNotice = notice("waitNotice");
    waitNotice->setText(tr("Waiting for the data file, which another program holds: the "
                           "command is saved as soon as it can be, or fails within 5 seconds."));
    waitNotice->hide();
    connect(SnipeStore::instance(), &SnipeStore::windowWaiting, this, [this](bool waiting) {
        waitNotice->setVisible(waiting);
        if (waiting)
            QApplication::setOverrideCursor(Qt::BusyCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

void MainWindow::showClockState()
{
    clockNotice->setVisible(!ClockManager::instance()->isSynchronised());
}

void MainWindow::showStoreState()
{
    const SnipeStore* store = SnipeStore::instance();
    const int signIns = store->pendingSignIns();
    const int snipes = store->pendingCount() - signIns - store->pendingItemData();
    // What a reload read is said only when nothing else waits: the snipes
    // and the sign-in say already that the file is held.
    const QString text =
        snipes > 0 && signIns > 0
            ? tr("Snipes and your sign-in not saved yet (%1): saved once the data file can be "
                 "written.")
        : snipes > 0 ? tr("Snipes not saved yet (%1): saved once the data file can be written.")
        : signIns > 0
            ? tr("Your sign-in is not saved yet (%1): saved once the data file can be written.")
            : tr("The watch list's latest data from eBay is not saved yet (%1): it is shown, "
                 "and saved once the data file can be written.");
    storeNotice->setText(text.arg(store->lastError()));
    storeNotice->setVisible(store->pendingCount() > 0);
}

void MainWindow::storeUnreadable()
{
    if (unreadableShown)
        return;
    unreadableShown = true;
    const QString reason = DbHelper::lastErrorReason();
    // Not inside whatever read the store: the box runs an event loop.
    QTimer::singleShot(0, this, [this, reason] {
        MessageBox::warning(
            this, tr("Database Error"),
            tr("The watch list and its snipes could not be read from the data file.") +
                QStringLiteral("\n\n") + reason);
    });
}

void MainWindow::setProgress(int progress)
{
    progressBar->setValue(progress);
}

void MainWindow::setStarted()
{
    progressBar->show();
}

void MainWindow::setFinished(bool)
{
    progressBar->hide();
}

void MainWindow::readPositionSettings()
{
    // The settings file is text anyone may edit: a value that does not read
    // as what was written (a point, a positive size, true) counts as missing,
    // or the window would open at 0 x 0 pixels, or maximised on "nonsense".
    QSettings settings;
    const QVariant storedPos = settings.value(QStringLiteral("pos"));
    const QVariant storedSize = settings.value(QStringLiteral("size"));
    const QPoint pos =
        storedPos.userType() == QMetaType::QPoint ? storedPos.toPoint() : QPoint(100, 100);
    QSize size = storedSize.userType() == QMetaType::QSize ? storedSize.toSize() : QSize();
    if (size.isEmpty())
        size = QSize(800, 600);
    resize(size);
    move(pos);
    if (settings.value(QStringLiteral("maximized")).toString() == QLatin1String("true"))
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::writePositionSettings()
{
    QSettings settings;
    // While maximised only the flag is written, so the normal geometry of
    // the last move or resize comes back when the window is restored.
    if (isMaximized()) {
        settings.setValue(QStringLiteral("maximized"), true);
        return;
    }
    settings.setValue(QStringLiteral("pos"), pos());
    settings.setValue(QStringLiteral("size"), size());
    settings.setValue(QStringLiteral("maximized"), false);
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    writePositionSettings();
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    writePositionSettings();
    event->accept();
}

void MainWindow::exit()
{
    exiting = true;
    // A window a page opened would otherwise keep the program running.
    MyQWebView::closePageWindows();
    close();
    trayHold.reset();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    const QSqlRecord user = kApp->loginUser();
    // Hiding needs a tray icon to come back from; without one the close
    // button closes the program as if the preference were off.
    if (!exiting && trayIcon && user.value(QStringLiteral("close_systray")).toBool()) {
        hide();
        event->ignore();
        if (!trayHold)
            trayHold = std::make_unique<QEventLoopLocker>();
        return;
    }
    writePositionSettings();
    event->accept();
}
