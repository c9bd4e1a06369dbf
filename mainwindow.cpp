// Placeholder until the window's frame is built.
#include "mainwindow.h"

#include <QTableWidget>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent), ui(nullptr) {}
MainWindow::~MainWindow() = default;
void MainWindow::showSysTrayMessage(const QString&, const QString&, QSystemTrayIcon::MessageIcon,
                                    int)
{
}
QTableWidget* MainWindow::tableWidget() const
{
    return nullptr;
}
void MainWindow::setProgress(int) {}
void MainWindow::setStarted() {}
void MainWindow::setFinished(bool) {}
void MainWindow::exit() {}
void MainWindow::moveEvent(QMoveEvent*) {}
void MainWindow::resizeEvent(QResizeEvent*) {}
void MainWindow::closeEvent(QCloseEvent*) {}
void MainWindow::createActions() {}
void MainWindow::createMenus() {}
void MainWindow::createToolBars() {}
void MainWindow::createStatusBar() {}
void MainWindow::readPositionSettings() {}
void MainWindow::writePositionSettings() {}
void MainWindow::loadStartPage() {}
