#include "rowwidgets.h"

#include "groupcombobox.h"
#include "kestrovaapp.h"
#include "mainwindow.h"

#include <QEvent>
#include <QLabel>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>

RowWidgets::RowWidgets(QTableWidget* table) : QObject(table), m_table(table)
{
    connect(table->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &RowWidgets::fillVisibleRows);
    // A sort, or rows removed above, bring other rows into view.
    connect(table->model(), &QAbstractItemModel::layoutChanged, this, &RowWidgets::fillVisibleRows);
    connect(table->model(), &QAbstractItemModel::rowsRemoved, this, &RowWidgets::fillVisibleRows);
    table->viewport()->installEventFilter(this);
}

int RowWidgets::textWidth(const QString& richText, const QFont& font)
{
    QFont boldFont = font;
    boldFont.setBold(true);
    const QFontMetrics normal(font);
    const QFontMetrics bold(boldFont);
    int widest = 0;
    int line = 0;
    bool inBold = false;
    QString run;
    const auto endRun = [&] {
        line += (inBold ? bold : normal).horizontalAdvance(run);
        run.clear();
    };
    for (int i = 0; i < richText.size(); ++i) {
        const QChar c = richText.at(i);
        if (c == QLatin1Char('<')) {
            const int close = richText.indexOf(QLatin1Char('>'), i);
            if (close < 0)
                break;
            const QStringRef tag = richText.midRef(i + 1, close - i - 1);
            endRun();
            if (tag == QLatin1String("b") || tag == QLatin1String("/b")) {
                inBold = tag == QLatin1String("b");
            } else if (tag == QLatin1String("br/")) {
                widest = qMax(widest, line);
                line = 0;
            }
            i = close;
        } else if (c == QLatin1Char('&')) {
            static const QLatin1String entities[] = {QLatin1String("&lt;"), QLatin1String("&gt;"),
                                                     QLatin1String("&amp;"),
                                                     QLatin1String("&quot;")};
            static const char plain[] = {'<', '>', '&', '"'};
            int matched = -1;
            for (int e = 0; e < 4 && matched < 0; ++e) {
                if (richText.midRef(i, entities[e].size()) == entities[e])
                    matched = e;
            }
            run += matched < 0 ? c : QLatin1Char(plain[matched]);
            if (matched >= 0)
                i += entities[matched].size() - 1;
        } else {
            run += c;
        }
    }
    endRun();
    return qMax(widest, line);
}

void RowWidgets::fitLabelColumns()
{
    const int padding =
        2 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1);
    for (const int column :
         {MainWindow::ItemNameColumn, MainWindow::CurrentBidColumn, MainWindow::MyBidColumn}) {
        int widest = 0;
        for (int row = 0; row < m_table->rowCount(); ++row) {
            if (const QTableWidgetItem* item = m_table->item(row, column))
                widest = qMax(widest, item->data(WidthRole).toInt());
        }
        if (widest > 0 && m_table->columnWidth(column) < widest + padding)
            m_table->setColumnWidth(column, widest + padding);
    }
}

void RowWidgets::fillVisibleRows()
{
    m_fillQueued = false;
    const int first = m_table->rowAt(0);
    if (first < 0)
        return;
    int last = m_table->rowAt(m_table->viewport()->height() - 1);
    if (last < 0)
        last = m_table->rowCount() - 1;
    for (int row = first; row <= last; ++row)
        fillRow(row);
}

bool RowWidgets::eventFilter(QObject* watched, QEvent* event)
{
    // A taller viewport shows more rows. Filled after the event, not inside
    // a resize that may come in the middle of painting.
    if ((event->type() == QEvent::Resize || event->type() == QEvent::Show) && !m_fillQueued) {
        m_fillQueued = true;
        QTimer::singleShot(0, this, &RowWidgets::fillVisibleRows);
    }
    return QObject::eventFilter(watched, event);
}

void RowWidgets::fillRow(int row)
{
    addLabel(row, MainWindow::ItemNameColumn, &RowWidgets::itemLinkActivated);
    addLabel(row, MainWindow::CurrentBidColumn, nullptr);
    addLabel(row, MainWindow::MyBidColumn, &RowWidgets::userBidLinkActivated);

    const QTableWidgetItem* group = m_table->item(row, MainWindow::GroupColumn);
    const QTableWidgetItem* number = m_table->item(row, MainWindow::ItemNumberColumn);
    if (!group || !number || m_table->cellWidget(row, MainWindow::GroupColumn))
        return;
    m_table->setCellWidget(row, MainWindow::GroupColumn,
                           new GroupComboBox(number->data(Qt::UserRole).toInt(),
                                             kApp->loginUser().value("id").toInt(),
                                             group->data(Qt::UserRole).toInt()));
}

void RowWidgets::addLabel(int row, int column, void (RowWidgets::*linkSignal)(const QString&))
{
    const QTableWidgetItem* item = m_table->item(row, column);
    if (!item || m_table->cellWidget(row, column))
        return;
    auto* label = new QLabel(item->data(LabelRole).toString());
    label->setTextFormat(Qt::RichText);
    if (linkSignal)
        connect(label, &QLabel::linkActivated, this, linkSignal);
    m_table->setCellWidget(row, column, label);
}
