// Motion and Advanced tabs: parameter rows, read/write, save to ROM, current limits.

#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::setupParamTabs()
{
}
