// Adding items: from the item page shown in the browser, by a typed number,
// and in bulk for the My eBay import.
#include "mainwindow.h"

#include "helper/dbhelper.h"
#include "helper/dbtypes.h"
#include "helper/itemhelper.h"
#include "helper/texthelper.h"
#include "kestrovaapp.h"
#include "messagebox.h"
#include "myqwebview.h"
#include "snipestore.h"
#include "timetext.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QList>
#include <QRegExp>
#include <QSqlRecord>
#include <QTableWidget>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <algorithm>
#include <memory>

namespace {

// Where eBay's item page layouts have put the item number, newest first.
const char* const ItemNumberSelectors[] = {
    "div.u-flL.iti-act-num", "div[id='viTabs_0_cnt'] div div", "span[class='vi-xs vi-lk']",
    "div[id='itm_num']", "div[class=u-flR]"};

// The trailing run of digits of an element's text; "" when it does not end
// in a digit. Without a final digit the pattern cannot match, and QRegExp
// would then retry it from every position of the text, in quadratic time.
QString trailingDigits(const QString& text)
{
    if (text.isEmpty() || !text.at(text.size() - 1).isDigit())
        return QString();
    QRegExp pattern(QStringLiteral(".*(\\d+)$"), Qt::CaseSensitive, QRegExp::RegExp);
    pattern.setMinimal(true);
    return pattern.indexIn(text) >= 0 ? pattern.cap(1) : QString();
}

// One item number, digits only: the item fetch takes a list of numbers
// separated by commas, and one click adds one item.
bool isItemNumber(const QString& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

QSqlRecord userItem(const QString& itemNumber)
{
    QSqlRecord record = DbHelper::emptyRecord(QStringLiteral("items"));
    record.setValue(QStringLiteral("item_number"), itemNumber);
    record.setValue(QStringLiteral("user_id"), kApp->loginUser().value(QStringLiteral("id")));
    return record;
}

// The stored id of the signed-in user's item, 0 when it is not watched.
int watchedItemId(const QString& itemNumber)
{
    QSqlRecord record = userItem(itemNumber);
    if (!DbHelper::getItem(record))
        return 0;
    return qMax(0, record.value(QStringLiteral("id")).toInt());
}

bool storeNewItem(const ItemTO& item)
{
    QSqlRecord record = userItem(item.itemNumber());
    record.setValue(QStringLiteral("name"), item.name());
    record.setValue(QStringLiteral("user_relation"), QString(UserRelation::None));
    record.setValue(QStringLiteral("is_ended"), item.isEnded());
    record.setValue(QStringLiteral("bid_count"), item.bidCount());
    record.setValue(QStringLiteral("current_bid"), item.currentBid());
    record.setValue(QStringLiteral("next_bid"), item.nextBid());
    record.setValue(QStringLiteral("currency"), item.currency());
    record.setValue(QStringLiteral("end_time"), TimeText::format(item.endTime()));
    record.setValue(QStringLiteral("is_reserve"), item.isReserve());
    record.setValue(QStringLiteral("is_reserve_met"), item.isReserveMet());
    record.setValue(QStringLiteral("seller"), item.seller());
    record.setValue(QStringLiteral("seller_score"), item.sellerScore());
    return DbHelper::addItem(record);
}

} // namespace

QString MainWindow::findItemNumber()
{
    QWebFrame* frame = webView->page()->currentFrame();
    const QWebElement document = frame->documentElement();
    for (const char* selector : ItemNumberSelectors) {
        const QWebElement element = document.findFirst(QLatin1String(selector));
        if (element.isNull())
            continue;
        const QString number = trailingDigits(element.toPlainText());
        if (isItemNumber(number))
            return number;
    }
    const QString marked =
        TextHelper::getInnerText(frame->toHtml(),
                                 QStringLiteral("Item number:</div><div class=\"u-flL\">"),
                                 QStringLiteral("</div>"))
            .trimmed();
    return isItemNumber(marked) ? marked : QString();
}

void MainWindow::watch()
{
    const QString itemNumber = findItemNumber();
    if (itemNumber.isEmpty()) {
        MessageBox::critical(this, tr("Add Item Error"),
                             tr("Failed to get item, please go to an item listing page."));
        return;
    }
    addItem(itemNumber);
}

void MainWindow::manualWatch()
{
    // Taken as typed: eBay's answer is the judge of what a number is.
    const QString itemNumber = itemNumberEdit->text();
    if (itemNumber.isEmpty()) {
        MessageBox::critical(this, tr("Add Item Error"),
                             tr("Please enter a valid eBay auction item number."));
        return;
    }
    addItem(itemNumber);
}

void MainWindow::addItem(QString itemNumber)
{
    if (watchedItemId(itemNumber) > 0) {
        MessageBox::information(this, tr("Duplicate Item"),
                                tr("This item is already in your watch list"));
        return;
    }
    addItems(QStringList{itemNumber}, false);
}

int MainWindow::addItems(QStringList itemNumbers, bool import)
{
    const int importNumber = import ? ++lastImport : 0;
    QStringList newNumbers;
    for (const QString& itemNumber : itemNumbers) {
        if (watchedItemId(itemNumber) <= 0)
            newNumbers << itemNumber;
        else if (!import)
            MessageBox::information(this, tr("Duplicate Item"),
                                    tr("This item is already in your watch list"));
    }
    if (newNumbers.isEmpty()) {
        // Queued: the caller learns the import's number first.
        if (import)
            QMetaObject::invokeMethod(
                this, [this, importNumber] { emit importFinished(importNumber); },
                Qt::QueuedConnection);
        return importNumber;
    }
    auto* helper = new ItemHelper(this);
    helper->isImport = import;
    if (import)
        importFetches.insert(helper, importNumber);
    connect(helper, &ItemHelper::getItemsFinished, this, &MainWindow::addItemsFinished);
    helper->getItems(newNumbers.join(QLatin1Char(',')));
    return importNumber;
}

void MainWindow::addItemsFinished(bool ok)
{
    auto* helper = qobject_cast<ItemHelper*>(sender());
    if (!helper)
        return;
    const bool import = helper->isImport;
    const int importNumber = importFetches.take(helper);
    // Copies: the boxes below run nested event loops, and nothing of the
    // helper is read after it has been handed over for deletion.
    QList<ItemTO> items;
    if (ok && helper->fetchedItems) {
        for (const ItemTO* item : qAsConst(*helper->fetchedItems))
            items << *item;
    }
    helper->deleteLater();
    if (!ok) {
        // The import dialog waits for this; the client shows the error.
        if (import)
            emit importFinished(importNumber);
        return;
    }

    QList<ItemTO> auctions;
    for (const ItemTO& item : qAsConst(items)) {
        if (item.isAuction())
            auctions << item;
        else if (!import)
            MessageBox::information(
                this, tr("Non-Auction Item"),
                tr("Either item number is invalid or item is not Auction format."));
    }
    if (import)
        importsWriting.insert(importNumber);
    // Stored one by one over the tries of a held file: each try goes on
    // from the first item not stored yet.
    struct Adding
    {
        QList<ItemTO> waiting;
        QList<ItemTO> stored;
        QStringList notStored;
        QString notStoredReason;
    };
    auto adding = std::make_shared<Adding>();
    adding->waiting = auctions;
    SnipeStore::instance()->writeForWindow(
        {}, this,
        [this, adding, import, importNumber] {
            while (!adding->waiting.isEmpty()) {
                // Cancelled in the import dialog: nothing more of it is added.
                if (import && !importsWriting.contains(importNumber))
                    return true;
                const ItemTO item = adding->waiting.first();
                if (storeNewItem(item)) {
                    adding->stored << item;
                } else if (DbHelper::lastErrorWasBusy()) {
                    return false;
                } else if (watchedItemId(item.itemNumber()) <= 0) {
                    // Named, not skipped: the user would take it for added.
                    // (Added meanwhile by another way in, it is watched.)
                    adding->notStored << item.itemNumber();
                    adding->notStoredReason = DbHelper::lastErrorReason();
                }
                adding->waiting.removeFirst();
            }
            return true;
        },
        [this, adding, import, importNumber](bool written) {
            const bool cancelled = import && !importsWriting.contains(importNumber);
            if (!written && !cancelled) {
                const QString reason = DbHelper::lastErrorReason();
                for (const ItemTO& item : qAsConst(adding->waiting)) {
                    if (watchedItemId(item.itemNumber()) <= 0) {
                        adding->notStored << item.itemNumber();
                        adding->notStoredReason = reason;
                    }
                }
            }
            importsWriting.remove(importNumber);
            appendAddedItems(adding->stored);
            if (!adding->notStored.isEmpty())
                MessageBox::warning(this, tr("Database Error"),
                                    tr("These items could not be added to the watch list: %1")
                                            .arg(adding->notStored.join(QStringLiteral(", "))) +
                                        QStringLiteral("\n\n") + adding->notStoredReason);
            if (import)
                emit importFinished(importNumber);
        });
}

void MainWindow::appendAddedItems(const QList<ItemTO>& items)
{
    beginAppendingRows();
    for (const ItemTO& item : items) {
        const int id = watchedItemId(item.itemNumber());
        if (id <= 0)
            continue;
        appendItem(id, item.itemNumber(), item.name(), item.bidCount(), item.currency(),
                   item.currentBid(), item.nextBid(), item.endTime(), QString(), BidStatus::None,
                   item.isReserve(), item.isReserveMet(), -1.0, item.seller(), item.sellerScore(),
                   0.0, 0, 0);
        const int row = tableWidget()->rowCount() - 1;
        getShipping(row, item.itemNumber());
        updateItemRelation(row, item.itemNumber());
    }
    tableWidget()->resizeColumnsToContents();
    tableWidget()->horizontalHeader()->setStretchLastSection(true);
    endAppendingRows();
}
