#include "support/watchlisttable.h"

#include "helper/itemhelper.h"
#include "mainwindow.h"

#include <QLabel>
#include <QTableWidget>
#include <QTextBlock>
#include <QTextDocument>
#include <QtTest>

namespace WatchListTable {

int row(MainWindow& window, const QString& itemNumber)
{
    return window.findItemRow(itemNumber);
}

QString text(MainWindow& window, const QString& itemNumber, int column)
{
    const QTableWidgetItem* item = window.tableWidget()->item(row(window, itemNumber), column);
    return item ? item->text() : QString();
}

QWidget* cellWidget(MainWindow& window, const QString& itemNumber, int column)
{
    // A row's widgets come when it is scrolled into view.
    QTableWidget* table = window.tableWidget();
    table->scrollToItem(table->item(row(window, itemNumber), column));
    return table->cellWidget(row(window, itemNumber), column);
}

QString shown(const QWidget* label)
{
    const auto* l = qobject_cast<const QLabel*>(label);
    if (!l)
        return QString();
    QTextDocument document;
    document.setHtml(l->text());
    return document.toPlainText();
}

QStringList links(const QWidget* label)
{
    QStringList targets;
    const auto* l = qobject_cast<const QLabel*>(label);
    if (!l)
        return targets;
    QTextDocument document;
    document.setHtml(l->text());
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QString href = it.fragment().charFormat().anchorHref();
            if (!href.isEmpty() && (targets.isEmpty() || targets.last() != href))
                targets << href;
        }
    }
    return targets;
}

QStringList itemNumbers(MainWindow& window)
{
    QStringList numbers;
    QTableWidget* table = window.tableWidget();
    for (int r = 0; r < table->rowCount(); ++r) {
        if (const QTableWidgetItem* item = table->item(r, MainWindow::ItemNumberColumn))
            numbers << item->text();
    }
    return numbers;
}

bool settle(MainWindow& window, int timeoutMs)
{
    return QTest::qWaitFor(
        [&] {
            return window.findChildren<ItemHelper*>(QString(), Qt::FindDirectChildrenOnly)
                .isEmpty();
        },
        timeoutMs);
}

} // namespace WatchListTable
