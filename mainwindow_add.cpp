// Placeholder until adding items is built.
#include "mainwindow.h"

QString MainWindow::findItemNumber()
{
    return QString();
}
void MainWindow::watch() {}
void MainWindow::manualWatch() {}
void MainWindow::addItem(QString) {}
void MainWindow::addItems(QStringList, bool) {}
void MainWindow::addItemsFinished(bool) {}
