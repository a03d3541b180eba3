// Printing of the main window: the plot, the legend and the period on one
// landscape page, through a print preview.

#include "mainwindow.h"

#include "plotcursors.h"
#include "ui_mainwindow.h"

#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

void MainWindow::on_print_clicked()
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(QMarginsF(5, 5, 10, 10), QPageLayout::Millimeter);
    auto *preview = new QPrintPreviewDialog(&printer, this, Qt::Window);
    connect(preview, SIGNAL(paintRequested(QPrinter *)), this, SLOT(printArch(QPrinter *)));
    preview->setGeometry(100, 100, 800, 600);
    preview->exec();
    // The preview holds a pointer to the printer, which ends with this slot.
    delete preview;
}

void MainWindow::printArch(QPrinter *printer)
{
    QPainter painter;
    QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    // The page rectangle is measured from the paper's corner, but a painter
    // on the printer starts at the page rectangle's own corner: placing the
    // drawing by the rectangle's offset as well would push it into the right
    // and bottom margins by the width of the left and top ones.
    if (!printer->fullPage())
        page.moveTopLeft(QPoint(0, 0));
    painter.begin(printer);
    paintPage(painter, page);
    painter.end();
}

void MainWindow::paintPage(QPainter &painter, const QRect &page)
{
    const int x = page.left();
    const int y = page.top();
    const int w = page.width();
    const int h = page.height();
    painter.translate(double(x + w / 2), double(y + h / 2));
    // The window's shape is stretched to the page's, not fitted into it.
    const int windowWidth = width();
    const int windowHeight = height();
    painter.scale(double(w) / windowWidth, double(h) / windowHeight);
    painter.translate(double(-(windowWidth / 2)), double(-(windowHeight / 2)));

    // Fixed offsets, not the widgets' places in the window: on the page the
    // legend stands next to the plot and the period under the legend.
    const QWidget::RenderFlags flags = QWidget::DrawWindowBackground | QWidget::DrawChildren;
    const int plotWidth = ui->customPlot->width();
    const int legendHeight = ui->legendFrame->height();
    cursors->setPrinting(true);
    ui->customPlot->render(&painter, QPoint(0, 0), QRegion(), flags);
    cursors->setPrinting(false);
    ui->legendFrame->render(&painter, QPoint(plotWidth + 8, 0), QRegion(), flags);
    ui->periodFrame->render(&painter, QPoint(plotWidth + 8, legendHeight + 8), QRegion(), flags);
}
