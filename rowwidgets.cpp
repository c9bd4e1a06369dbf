#include "rowwidgets.h"

#include "groupcombobox.h"
#include "kestrovaapp.h"
#include "mainwindow.h"

#include <QEvent>
#include <QLabel>
#include <QScrollBar>
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
