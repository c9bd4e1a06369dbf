#ifndef ROWWIDGETS_H
#define ROWWIDGETS_H

#include <QObject>

class QFont;
class QTableWidget;

// Gives the watch list's rows their labels and group combos as they come
// into view. A row's widgets cost far more than its items (rich-text
// layout, a store query per combo), and the table pays for every widget it
// holds on each insertion: made up front for thousands of rows they would
// make a refill take seconds. The items keep what the widgets show (the
// labels' rich text under LabelRole), so a widget made late shows what one
// made with the row would have; once made, it stays until its row goes.
class RowWidgets : public QObject
{
    Q_OBJECT

public:
    // The rich text of the Item Name, Current Bid and My Bid labels, kept on
    // the cell's item.
    static constexpr int LabelRole = Qt::UserRole + 1;
    // The width of that text as shown, in pixels, kept beside it.
    static constexpr int WidthRole = Qt::UserRole + 2;

    // How wide a label's rich text (links, bold parts, line breaks, escaped
    // characters) is in the table's font, without laying it out.
    static int textWidth(const QString& richText, const QFont& font);

    // Lives as a child of the table.
    explicit RowWidgets(QTableWidget* table);

    // The rows in view that lack their widgets get them.
    void fillVisibleRows();
    // Widens the label columns to their widest text over all rows. The table
    // sizes its columns by the rows in view alone, and a label scrolled into
    // view later must not be cut.
    void fitLabelColumns();

signals:
    void itemLinkActivated(const QString& link);
    void userBidLinkActivated(const QString& link);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillRow(int row);
    void addLabel(int row, int column, void (RowWidgets::*linkSignal)(const QString&));

    QTableWidget* m_table;
    bool m_fillQueued = false;
};

#endif // ROWWIDGETS_H
