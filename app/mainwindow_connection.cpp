// Connection tab: port list, bus scan, connect and disconnect, connection state.

#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::setupConnectionTab()
{
}
