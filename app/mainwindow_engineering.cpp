// Engineering tab: access gate, product configuration, compare-and-write, maintenance.

#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::setupEngineeringTab()
{
}
