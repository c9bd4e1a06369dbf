#ifndef IMPORTDIALOG_H
#define IMPORTDIALOG_H

#include <QDialog>
#include <QStringList>

class ItemHelper;
class MainWindow;

namespace Ui {
class ImportDialog;
}

// "Import Auctions from My eBay": gathers the item numbers of the user's
// watching list, bidding list or both, one request after another, and hands
// them to the main window's import-mode add; the window's importFinished()
// of that import ends the dialog.
class ImportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ImportDialog(QWidget* parent = nullptr);
    ~ImportDialog() override;

    void setMainWindow(MainWindow* mainWindow);
    void importWatching();
    void importBidding();

public slots:
    // Cancel (also Escape and the close button) stops the import where it
    // is: nothing is added after it.
    void reject() override;

private slots:
    void importMyeBay();
    void enableDisableImportButton(int state);
    void setWatchingCountPerPageFinished();
    void getMyeBayWatchingItemNumbersFinished(bool ok, QStringList watchingItemNumbers);
    void setBiddingCountPerPageFinished();
    void getMyeBayBiddingItemNumbersFinished(bool ok, QStringList biddingItemNumbers);
    void finishImport(int finished);

private:
    void addItems();
    void finish();
    // Moves the progress bar on by one finished request.
    void advance();
    void fitFormToFont();

    Ui::ImportDialog* ui;
    MainWindow* mainWindow = nullptr;
    ItemHelper* itemHelper;
    QStringList itemNumbers;
    int step = 100;
    // The window's number for this dialog's import once the numbers are
    // with it: only the end of that import ends the dialog.
    int import = 0;
};

#endif // IMPORTDIALOG_H
