// Monitor tab: live state, alarms, servo, jog and nudge, homing, input simulation.

#include "mainwindow.h"
#include "ui_mainwindow.h"

void MainWindow::setupMonitorTab()
{
}
