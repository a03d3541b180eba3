// Printing of the main window: the plot, its legend and the period on one
// landscape page, through a print preview or into a PDF file.

#include "mainwindow.h"

#include "archformat.h"
#include "cursorreadout.h"
#include "curvecolours.h"
#include "lanereadout.h"
#include "loadnotice.h"
#include "plotcursors.h"
#include "printpage.h"
#include "relaystrip.h"
#include "savefile.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QSaveFile>

#include <qcustomplot.h>

namespace {

// Left, top, right, bottom, in millimetres.
const QMarginsF kPageMargins(5, 5, 10, 10);
const QString kDateTimeFormat = QLatin1String(archive::kShownDateTimeFormat);

} // namespace

void MainWindow::on_print_clicked()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(kPageMargins, QPageLayout::Millimeter);
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

QString MainWindow::periodText() const
{
    return QStringLiteral("с %1 по %2")
        .arg(model.periodBegin.toString(kDateTimeFormat),
             model.periodEnd.toString(kDateTimeFormat));
}

printpage::Content MainWindow::pageContent() const
{
    printpage::Content content;
    content.directory =
        QDir::toNativeSeparators(QDir::cleanPath(QDir(model.archiveDir).absolutePath()));
    content.period = periodText();
    if (model.shown.averaged)
        content.averaging = averagingText();
    const LoadNotes notes = model.notes();
    if (!notes.isEmpty()) {
        content.notice = notes.summary();
        content.noticeColour = LoadNotice::warningColour();
    }

    const bool hasA = model.cursors.a.shown;
    const bool hasB = model.cursors.both();
    const double a = model.cursors.a.key;
    const double b = model.cursors.b.key;
    if (hasA)
        content.cursorA = QStringLiteral("A  ") + plot::cursorTimeText(a);
    if (hasB) {
        content.cursorB = QStringLiteral("B  ") + plot::cursorTimeText(b);
        content.span = QStringLiteral("Δt  ") + plot::spanText(b - a);
    }
    content.statisticsHeadings = cursors->statisticsHeadings();

    // A row for each curve on the plot, with the readout's texts for it, in
    // its selector's colour.
    QVector<bool> drawn(archive::kCurveCount, false);
    for (const DrawnCurve &curve : drawnCurves)
        drawn[curve.selector] = curve.graph != nullptr;
    const QVector<CurveReading> readings = cursors->readings();
    const QVector<Channel> channels = model.channels();
    for (int i = 0; i < readings.size(); ++i) {
        const CurveReading &reading = readings.at(i);
        if (reading.tag.isEmpty() || !drawn.value(i))
            continue;
        printpage::LegendRow row;
        row.colour = curveColour(i);
        // The operator's name and unit with the tag; else the full name, and
        // the readout's short one where it differs.
        const Channel channel = channels.value(i);
        const archive::ChannelGroup *group = channelGroup(channel.first);
        if (group && !model.names.names.label(group->group, channel.second).isEmpty()) {
            row.name = model.names.names.title(group->group, channel.second);
        } else {
            row.name = channelTitle(channel);
            if (row.name.compare(reading.tag, Qt::CaseInsensitive) != 0)
                row.name += QStringLiteral(" (%1)").arg(reading.tag);
        }
        const CursorReadout::Texts texts = CursorReadout::texts(reading);
        row.atA = hasA ? texts.atA : QString();
        row.atB = hasB ? texts.atB : QString();
        row.minimum = texts.minimum;
        row.mean = texts.mean;
        row.maximum = texts.maximum;
        content.rows << row;
    }
    // A row for each lane, its statistics in words of their own, since they
    // stand under the curves' headings.
    const QCPRange visible = ui->customPlot->xAxis->range();
    const plot::ValueRange range =
        plot::statisticsRange(model.cursors, visible.lower, visible.upper);
    for (const StripLane &lane : relayStrip->lanes()) {
        const LaneReading reading = LaneReading::of(lane, model.cursors, range.lower, range.upper);
        printpage::LegendRow row;
        row.colour = RelayStrip::laneColour();
        row.name = reading.name;
        row.atA = reading.atA;
        row.atB = reading.atB;
        row.minimum = QStringLiteral("вкл ") + reading.onTime;
        row.mean = reading.onShare;
        row.maximum = reading.switchings + QStringLiteral(" перекл.");
        content.rows << row;
    }
    content.printedAt = QDateTime::currentDateTime().toString(kDateTimeFormat);
    return content;
}

void MainWindow::paintPage(QPainter &painter, const QRect &page)
{
    QCustomPlot *customPlot = ui->customPlot;
    const QVector<StripLane> lanes = relayStrip->lanes();
    const plot::Cursors cursorsNow = model.cursors;
    printpage::draw(painter, page, pageContent(), [&](QPainter &p, const QRectF &area) {
        // The lanes under the plot, 4 mm each, on its time axis.
        const qreal laneHeight = 4.0 * p.device()->logicalDpiY() / 25.4;
        const qreal stripHeight = std::min(area.height() / 2, lanes.size() * laneHeight);
        const QRectF plotArea(area.left(), area.top(), area.width(), area.height() - stripHeight);
        customPlot->setBackground(QBrush(Qt::white));
        printpage::drawPlot(p, plotArea, customPlot);
        if (!lanes.isEmpty()) {
            // The axis rect as the page laid it out, in the picture's pixels.
            const qreal scale = qreal(p.device()->logicalDpiX()) / QPicture().logicalDpiX();
            const QRect axisRect = customPlot->axisRect()->rect();
            const QCPRange range = customPlot->xAxis->range();
            QFont laneFont(QStringLiteral("Open Sans"));
            laneFont.setPointSizeF(7);
            RelayStrip::paintLanes(
                p, QRectF(area.left(), plotArea.bottom(), area.width(), stripHeight),
                area.left() + axisRect.left() * scale, area.left() + axisRect.right() * scale,
                range.lower, range.upper, lanes, cursorsNow, laneFont);
        }
        customPlot->setBackground(QBrush(screenBackground()));
        // Laid out for the page, the plot is laid out for the screen again.
        customPlot->replot();
    });
}

QString MainWindow::defaultPdfName() const
{
    QString name = QFileInfo(QDir::cleanPath(model.archiveDir)).fileName();
    if (name.isEmpty() || name == QLatin1String("."))
        name = QStringLiteral("archive");
    const QString day = QStringLiteral("yyyy-MM-dd");
    return QStringLiteral("%1_%2_%3.pdf")
        .arg(name, model.periodBegin.toString(day), model.periodEnd.toString(day));
}

bool MainWindow::writePdf(const QString &path, QString *error)
{
    // Written beside its place and put there only when whole: a failed
    // write leaves what was there before.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    bool painted = false;
    {
        QPdfWriter writer(&file);
        writer.setCreator(windowTitle());
        writer.setTitle(QStringLiteral("Архив %1, %2")
                            .arg(QDir::toNativeSeparators(model.archiveDir), periodText()));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        writer.setPageMargins(kPageMargins, QPageLayout::Millimeter);
        QPainter painter;
        if (painter.begin(&writer)) {
            // The painter starts at the corner inside the margins.
            const QRect page = writer.pageLayout().paintRectPixels(writer.resolution());
            paintPage(painter, QRect(QPoint(0, 0), page.size()));
            painted = painter.end();
        }
    }
    if (!painted) {
        file.cancelWriting();
        *error = QStringLiteral("не удалось нарисовать страницу");
        return false;
    }
    // commitFully: the last bytes of the page reach the disk only while the
    // file is closed, and a plain commit() would put a cut PDF in place of
    // the old one when that fails.
    if (!archive::commitFully(file)) {
        *error = file.errorString();
        return false;
    }
    return true;
}

namespace {

// The file dialog of the PDF. The dialog reads quotes in a name as a list of
// names ("a" "b") and gives back another name than the one typed, or none:
// such a name is refused where it is typed, and said.
class PdfFileDialog : public QFileDialog
{
public:
    PdfFileDialog(QWidget *parent, const QString &suggested)
        : QFileDialog(parent, QStringLiteral("Сохранить в PDF"), suggested,
                      QStringLiteral("PDF (*.pdf)"))
    {
        setAcceptMode(QFileDialog::AcceptSave);
        setDefaultSuffix(QStringLiteral("pdf"));
    }

    void accept() override
    {
        // The name as typed: what the dialog makes of it may be another.
        const auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        const QString typed = edit != nullptr ? edit->text() : QString();
        if (typed.contains(QLatin1Char('"'))) {
            QMessageBox::warning(this, QStringLiteral("PDF"),
                                 QStringLiteral("Имя «%1» не подходит: кавычки в имени файла не "
                                                "принимаются")
                                     .arg(typed));
            return;
        }
        QFileDialog::accept();
    }
};

} // namespace

void MainWindow::on_pdfButton_clicked()
{
    const QString suggested =
        QDir(QFileInfo(QDir::cleanPath(model.archiveDir)).absolutePath()).filePath(defaultPdfName());
    PdfFileDialog dialog(this, suggested);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.selectedFiles();
    const QString path = chosen.size() == 1 ? chosen.first() : QString();
    // Accepted without one file's name is no choice the operator made.
    if (path.isEmpty() || QFileInfo(path).fileName().isEmpty() || QFileInfo(path).isDir()) {
        QMessageBox::warning(this, QStringLiteral("PDF"),
                             QStringLiteral("PDF не записан: не указано имя файла"));
        return;
    }
    QString error;
    if (!writePdf(path, &error))
        QMessageBox::warning(this, QStringLiteral("PDF"),
                             QStringLiteral("Не удалось записать файл «%1»:\n%2")
                                 .arg(QDir::toNativeSeparators(path), error));
}
