#include "importdialog.h"
#include "ui_importdialog.h"

#include "helper/itemhelper.h"
#include "mainwindow.h"

ImportDialog::ImportDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::ImportDialog), itemHelper(new ItemHelper(this))
{
    ui->setupUi(this);
    fitFormToFont();
    ui->progressBar->hide();
    // One request at a time on the one client: each answer sends the next.
    connect(itemHelper, &ItemHelper::setWatchingCountPerPageFinished, this,
            &ImportDialog::setWatchingCountPerPageFinished);
    connect(itemHelper, &ItemHelper::getMyeBayWatchingItemNumbersFinished, this,
            &ImportDialog::getMyeBayWatchingItemNumbersFinished);
    connect(itemHelper, &ItemHelper::setBiddingCountPerPageFinished, this,
            &ImportDialog::setBiddingCountPerPageFinished);
    connect(itemHelper, &ItemHelper::getMyeBayBiddingItemNumbersFinished, this,
            &ImportDialog::getMyeBayBiddingItemNumbersFinished);
}

ImportDialog::~ImportDialog()
{
    delete ui;
}

void ImportDialog::setMainWindow(MainWindow* window)
{
    mainWindow = window;
    connect(window, &MainWindow::importFinished, this, &ImportDialog::finishImport);
}

void ImportDialog::importWatching()
{
    itemHelper->setWatchingCountPerPage();
}

void ImportDialog::importBidding()
{
    itemHelper->setBiddingCountPerPage();
}

void ImportDialog::enableDisableImportButton(int)
{
    ui->pushButtonImport->setEnabled(ui->checkBoxImportWatching->isChecked() ||
                                     ui->checkBoxImportBidding->isChecked());
}

void ImportDialog::importMyeBay()
{
    ui->checkBoxImportWatching->setEnabled(false);
    ui->checkBoxImportBidding->setEnabled(false);
    ui->pushButtonImport->setEnabled(false);
    ui->progressBar->setValue(0);
    ui->progressBar->show();
    itemNumbers.clear();
    const bool watching = ui->checkBoxImportWatching->isChecked();
    step = watching && ui->checkBoxImportBidding->isChecked() ? 20 : 33;
    if (watching)
        importWatching();
    else
        importBidding();
}

void ImportDialog::setWatchingCountPerPageFinished()
{
    advance();
    itemHelper->getMyeBayWatchingItemNumbers();
}

// A list that could not be read adds nothing (the client has said why); the
// import goes on with what the other list gives.
void ImportDialog::getMyeBayWatchingItemNumbersFinished(bool, QStringList watchingItemNumbers)
{
    advance();
    itemNumbers << watchingItemNumbers;
    if (ui->checkBoxImportBidding->isChecked())
        importBidding();
    else
        addItems();
}

void ImportDialog::setBiddingCountPerPageFinished()
{
    advance();
    itemHelper->getMyeBayBiddingItemNumbers();
}

void ImportDialog::getMyeBayBiddingItemNumbersFinished(bool, QStringList biddingItemNumbers)
{
    advance();
    itemNumbers << biddingItemNumbers;
    addItems();
}

void ImportDialog::addItems()
{
    if (mainWindow)
        import = mainWindow->addItems(itemNumbers, true);
    else
        finish();
}

void ImportDialog::finishImport(int finished)
{
    if (import != 0 && finished == import)
        finish();
}

void ImportDialog::reject()
{
    // Answers to the list requests still out no longer reach the dialog, and
    // the window drops the item fetch it was handed.
    itemHelper->disconnect(this);
    if (mainWindow && import != 0)
        mainWindow->cancelImport(import);
    QDialog::reject();
}

void ImportDialog::finish()
{
    ui->progressBar->setValue(100);
    accept();
}

// The form is drawn for a small system font. With a larger one the check
// box texts would be cut off, so the dialog grows by what they lack and keeps
// its fixed size.
void ImportDialog::fitFormToFont()
{
    const QSize needed = ui->layoutWidget->sizeHint() - ui->layoutWidget->size();
    const int wider = qMax(0, needed.width());
    const int taller = qMax(0, needed.height());
    if (wider == 0 && taller == 0)
        return;
    ui->layoutWidget->resize(ui->layoutWidget->size() + QSize(wider, taller));
    ui->progressBar->setGeometry(ui->progressBar->geometry().adjusted(0, taller, wider, taller));
    for (QWidget* button : {ui->pushButtonImport, ui->pushButtonCancel})
        button->move(button->pos() + QPoint(wider, taller));
    setFixedSize(size() + QSize(wider, taller));
}

void ImportDialog::advance()
{
    ui->progressBar->setValue(ui->progressBar->value() + step);
}
