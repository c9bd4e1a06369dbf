// Placeholder until the import dialog is built.
#include "importdialog.h"

ImportDialog::ImportDialog(QWidget* parent) : QDialog(parent), ui(nullptr), itemHelper(nullptr) {}
ImportDialog::~ImportDialog() = default;
void ImportDialog::setMainWindow(MainWindow* window)
{
    mainWindow = window;
}
void ImportDialog::importWatching() {}
void ImportDialog::importBidding() {}
void ImportDialog::importMyeBay() {}
void ImportDialog::enableDisableImportButton(int) {}
void ImportDialog::setWatchingCountPerPageFinished() {}
void ImportDialog::getMyeBayWatchingItemNumbersFinished(bool, QStringList) {}
void ImportDialog::setBiddingCountPerPageFinished() {}
void ImportDialog::getMyeBayBiddingItemNumbersFinished(bool, QStringList) {}
void ImportDialog::finishImport() {}
void ImportDialog::addItems() {}
