#ifndef WATCHLISTTABLE_H
#define WATCHLISTTABLE_H

#include <QString>
#include <QStringList>

class MainWindow;
class QWidget;

// Reads the main window's watch list as a person sees it: cell texts, the
// plain text and link targets of the rich-text labels, the rows' order.
namespace WatchListTable {

// The row of an item number, or -1.
int row(MainWindow& window, const QString& itemNumber);
QString text(MainWindow& window, const QString& itemNumber, int column);
// The label (or other widget) over a cell, scrolled into view; null when
// there is none.
QWidget* cellWidget(MainWindow& window, const QString& itemNumber, int column);
// A rich-text label's text as shown, line breaks as "\n".
QString shown(const QWidget* label);
// The targets of a rich-text label's links, in order.
QStringList links(const QWidget* label);
// The item numbers of the rows, top to bottom.
QStringList itemNumbers(MainWindow& window);
// Waits until every request the window started (fetch, shipping, relation)
// has been answered; false when some is still out after the time-out.
bool settle(MainWindow& window, int timeoutMs = 10000);

} // namespace WatchListTable

#endif // WATCHLISTTABLE_H
