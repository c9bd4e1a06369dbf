// Placeholder until the window's commands are built.
#include "mainwindow.h"

int MainWindow::getFirstSelectedRow()
{
    return -1;
}
int MainWindow::getFirstSelectedItemId()
{
    return 0;
}
QSqlRecord MainWindow::getFirstSelectedItem()
{
    return QSqlRecord();
}
QString MainWindow::getSelectedItemIdCsv()
{
    return QString();
}
int MainWindow::selectedGroup()
{
    return 0;
}
void MainWindow::loadToolbarGroupCombo(int) {}
void MainWindow::login() {}
void MainWindow::snipe() {}
void MainWindow::cancel() {}
void MainWindow::remove() {}
void MainWindow::userBidLinkClicked(const QString&) {}
void MainWindow::tableWidgetContextMenuRequested(QPoint) {}
