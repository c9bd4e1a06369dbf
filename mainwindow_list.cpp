// Placeholder until list loading and reload are built.
#include "mainwindow.h"

void MainWindow::loadItemsFromDb() {}
void MainWindow::reload() {}
void MainWindow::reloadFinished(bool) {}
void MainWindow::saveItemTOHash(QHash<QString, ItemTO*>*) {}
void MainWindow::getShipping(int, QString) {}
void MainWindow::getShippingFinished(bool, double) {}
void MainWindow::updateItemRelation(int, QString) {}
void MainWindow::relationFinished(bool, QString) {}
void MainWindow::onTimer() {}
