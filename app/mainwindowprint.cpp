// Printing of the main window: the plot, the legend and the period on one
// landscape page, through a print preview.

#include "mainwindow.h"

#include <QPrinter>

void MainWindow::on_print_clicked()
{
}

void MainWindow::printArch(QPrinter *printer)
{
    Q_UNUSED(printer)
}
