#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "helper/itemto.h"
#include "lookupqueue.h"
#include "traymessenger.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QSet>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <memory>

class BidEngine;
class ItemHelper;
class MyQWebView;
class QAction;
class QComboBox;
class QEventLoopLocker;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class QToolBar;

namespace Ui {
class MainWindow;
}

// The watch-list window: the table of the signed-in user's items above an
// embedded browser, the commands that add, snipe, cancel and delete items,
// the filters, the tray icon, and the clock's tick that keeps the table's
// time left and the periodic reload going. The table always shows the
// store: eBay's data reaches it only by being stored first.
//
// Its code is spread by concern:
//   mainwindow.cpp           frame: form, actions, menus, toolbars, tray,
//                            geometry, close and exit
//   mainwindow_rows.cpp      one row's cells and their renderers
//   mainwindow_list.cpp      refill from the store, reload from eBay, tick
//   mainwindow_add.cpp       adding items by number, from the page, by import
//   mainwindow_commands.cpp  log out, snipe, cancel, delete, selection
//   mainwindow_dialogs.cpp   group, import, preferences, about, update
class MainWindow : public QMainWindow, public TrayMessenger
{
    Q_OBJECT
    // Checks each action's slot by its address.
    friend class TestMainWindow;

public:
    // Table columns.
    enum Column {
        StatusColumn = 0,
        ItemNumberColumn = 1,
        ItemNameColumn = 2,
        TimeLeftColumn = 3,
        CurrentBidColumn = 4,
        ShippingColumn = 5,
        MyBidColumn = 6,
        GroupColumn = 7,
        SellerColumn = 8,
        ColumnCount = 9
    };

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Balloon on the tray icon; nothing without a tray.
    void showSysTrayMessage(const QString& title, const QString& msg,
                            QSystemTrayIcon::MessageIcon icon, int msecs) override;

    // ----- rows and cells (mainwindow_rows.cpp) -----
    void appendItem(int id, QString itemNumber, QString name, int bidCount, QString currency,
                    double currentBid, double nextBid, QDateTime endTime, QString userRelation,
                    int bidStatus, bool isReserve, bool isReserveMet, double shipping,
                    QString seller, QString sellerScore, double userBid, int leadTime, int groupId);
    void setStatusItem(QTableWidgetItem* item, int bidStatus, QString relation, QDateTime endTime,
                       bool isReserve, bool isReserveMet);
    void setShippingItem(QTableWidgetItem* item, QString currency, double shipping);
    void setLabelUserBidItem(QLabel* label, int id, QString currency, double userBid,
                             double nextBid, int bidStatus, int leadTime);
    void setTimeLeftText(QTableWidgetItem* item);
    // Shows the row's snipe as the store holds it now (with what the engine
    // has yet to store): status and My Bid, in place, the selection kept.
    void refreshItemRow(int id);
    // First row from the top whose item number matches (any case), or -1.
    int findItemRow(QString itemNumber);
    // The status filter's ItemFilter code.
    int selectedItemStatus();

    // ----- loading and reload (mainwindow_list.cpp) -----
    void saveItemTOHash(QHash<QString, ItemTO*>* items);
    void getShipping(int row, QString itemNumber);
    void updateItemRelation(int row, QString itemNumber);

    // ----- adding items (mainwindow_add.cpp) -----
    QString findItemNumber();
    void addItem(QString itemNumber);
    // In import mode it returns the import's number, which importFinished()
    // carries at its end; 0 otherwise.
    int addItems(QStringList itemNumbers, bool import);
    // Cancel in the import dialog (mainwindow_dialogs.cpp): the import's item
    // fetch is dropped, so nothing of it is added afterwards.
    void cancelImport(int import);

    // ----- selection and group filter (mainwindow_commands.cpp) -----
    int getFirstSelectedRow();
    int getFirstSelectedItemId();
    QSqlRecord getFirstSelectedItem();
    QString getSelectedItemIdCsv();
    int selectedGroup();
    void loadToolbarGroupCombo(int groupId);

    // The program ends: nothing more is bid (BidEngine::stopBidding()).
    void stopBidding();

    // ----- for tests and tools: the window's parts -----
    QTableWidget* tableWidget() const;
    MyQWebView* browser() const { return webView; }
    QLineEdit* itemNumberField() const { return itemNumberEdit; }
    QComboBox* statusFilter() const { return statusCombo; }
    QComboBox* groupFilter() const { return groupCombo; }
    QSystemTrayIcon* systemTrayIcon() const { return trayIcon; }
    BidEngine* engine() const { return bidEngine; }

signals:
    // The end of every import-mode add that was not cancelled, whatever its
    // outcome, with the number addItems() gave it.
    void importFinished(int import);

private slots:
    void setProgress(int progress);
    void setStarted();
    void setFinished(bool ok);
    void watch();
    void manualWatch();
    void addItemsFinished(bool ok);
    void reload();
    void remove();
    void snipe();
    void group();
    void cancel();
    void import();
    void login();
    void relationFinished(bool ok, QString relation);
    void reloadFinished(bool ok);
    void itemLinkClicked(const QString& link);
    void onTimer();
    void loadItemsFromDb();
    void getShippingFinished(bool ok, double shipping);
    void userBidLinkClicked(const QString& link);
    void aboutKestrova();
    void preferences();
    void checkUpdate();
    void exit();
    void tableWidgetContextMenuRequested(QPoint pos);

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // What a command that was kept for later says: what, and that the file
    // takes it later.
    static QString keptText(const QString& what);
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    // Says in the status bar, until eBay's time has been read, that the
    // snipes follow this computer's clock.
    void showClockState();
    // Says in the status bar while snipes' progress waits to be stored.
    void showStoreState();
    // The "Database Error" of a store that cannot be read, once until it
    // can be read again (not at every tick or reload).
    void storeUnreadable();
    void readPositionSettings();
    void writePositionSettings();
    // Loads the signed-in site's start page into the browser.
    void loadStartPage();
    // Shows the first waiting balloon, for its time.
    void showNextBalloon();
    // Switches the table's sorting off while rows are appended, so that a
    // row's cells are never scattered by a sort between two of them.
    void beginAppendingRows();
    void endAppendingRows();
    // Appends the rows of items just stored, and asks for their look-ups.
    void appendAddedItems(const QList<ItemTO>& items);
    // Sends one of the queued look-ups (getShipping, updateItemRelation).
    ItemHelper* sendLookUp(LookUpQueue::Kind kind, const QString& itemNumber);
    // After the end: stores the row as placed with eBay's relation when its
    // failed bid was taken after all (ItemHelper::wasTakenAfterAll) and
    // shows it so; false, and nothing done, for any other row.
    bool storeTakenBid(int id, const QString& relation);

    Ui::MainWindow* ui;
    QToolBar* browserToolBar = nullptr;
    QSystemTrayIcon* trayIcon = nullptr;
    QMenu* trayIconMenu = nullptr;
    MyQWebView* webView = nullptr;
    QLineEdit* itemNumberEdit = nullptr;

    QAction* manualWatchAction = nullptr;
    QAction* watchAction = nullptr;
    QAction* reloadAction = nullptr;
    QAction* deleteAction = nullptr;
    QAction* snipeAction = nullptr;
    QAction* groupAction = nullptr;
    QAction* cancelSnipeAction = nullptr;
    QAction* importAction = nullptr;
    QAction* logoutAction = nullptr;
    QAction* exitAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* preferencesAction = nullptr;
    QAction* checkUpdateAction = nullptr;
    QAction* trayExitAction = nullptr;
    QAction* restoreAction = nullptr;

    QMenu* fileMenu = nullptr;
    QMenu* actionMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QComboBox* statusCombo = nullptr;
    QComboBox* groupCombo = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* clockNotice = nullptr;
    QLabel* storeNotice = nullptr;
    QLabel* waitNotice = nullptr;
    bool unreadableShown = false;

    // A balloon shown replaces the one on show: each waits until the one
    // before it has had its time (a win and its group's cancellation come
    // in the same moment).
    struct Balloon
    {
        QString title;
        QString msg;
        QSystemTrayIcon::MessageIcon icon;
        int msecs;
    };
    QList<Balloon> waitingBalloons;
    QTimer* balloonTimer = nullptr;

    int refreshElapsedMs = 0;
    int lastImport = 0;
    // The item fetches of imports under way, with their numbers.
    QHash<const ItemHelper*, int> importFetches;
    // The imports whose items wait to be stored; cancelled, one leaves.
    QSet<int> importsWriting;
    bool exiting = false;
    // Held while the window is hidden in the tray: with no window visible,
    // closing any message box or dialog would otherwise end the program.
    std::unique_ptr<QEventLoopLocker> trayHold;
    // The snipe engine, a child of the window. The window tells it to read
    // the store again whenever a command has changed the user's snipes, so
    // that a snipe saved shortly before its end is not missed.
    BidEngine* bidEngine = nullptr;
    // The rows' shipping and relation look-ups, a few on the wire at a time.
    LookUpQueue* lookUps = nullptr;
};

#endif // MAINWINDOW_H
