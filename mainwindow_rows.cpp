// Placeholder until the watch-list rows are built.
#include "mainwindow.h"

void MainWindow::appendItem(int, QString, QString, int, QString, double, double, QDateTime, QString,
                            int, bool, bool, double, QString, QString, double, int, int)
{
}
void MainWindow::setStatusItem(QTableWidgetItem*, int, QString, QDateTime, bool, bool) {}
void MainWindow::setShippingItem(QTableWidgetItem*, QString, double) {}
void MainWindow::setLabelUserBidItem(QLabel*, int, QString, double, double, int, int) {}
void MainWindow::setTimeLeftText(QTableWidgetItem*) {}
int MainWindow::findItemRow(QString)
{
    return -1;
}
int MainWindow::selectedItemStatus()
{
    return 0;
}
void MainWindow::itemLinkClicked(const QString&) {}
void MainWindow::beginAppendingRows() {}
void MainWindow::endAppendingRows() {}
