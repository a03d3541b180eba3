// Plot building of the main window: the plot's fixed configuration and the
// redrawing of the four selectors' channels from the last loaded records.

#include "mainwindow.h"

#include "ui_mainwindow.h"

void MainWindow::configurePlot()
{
}

void MainWindow::updateData()
{
    // While an operation runs (a selector changed meanwhile) the busy
    // indication stays: it belongs to that operation.
    if (runningOperation == Operation::None) {
        busyMovie.stop();
        ui->periodButton->setEnabled(true);
        ui->loadArchive->hide();
    }
    updateGraph();
}

void MainWindow::updateGraph()
{
}

void MainWindow::onCountersClicked()
{
    updateData();
}
