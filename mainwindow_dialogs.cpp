// Placeholder until the window's dialog commands are built.
#include "mainwindow.h"

void MainWindow::group() {}
void MainWindow::import() {}
void MainWindow::preferences() {}
void MainWindow::aboutKestrova() {}
void MainWindow::checkUpdate() {}
