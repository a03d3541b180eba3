// The printed page as a reader gets it: written to PDF by the window, read
// back with pdftotext and rastered with pdftoppm.

#include "mainwindowprobe.h"

#include "archivefixture.h"
#include "archload.h"
#include "loadnotice.h"
#include "plotcursors.h"
#include "filesizelimit.h"
#include "printpage.h"
#include "viewerfixture.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPainter>
#include <QPicture>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <qcustomplot.h>

#include <algorithm>

class TstPrintPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void pdfPage_data();
    void pdfPage();
    void plotKeepsItsProportions_data();
    void plotKeepsItsProportions();
    void unwritablePathIsReported();
    void fullDiskKeepsTheOldPdf_data();
    void fullDiskKeepsTheOldPdf();
    void nameTheDialogCannotTakeIsSaid_data();
    void nameTheDialogCannotTakeIsSaid();

private:
    MainWindow::Probe probe() const { return MainWindow::Probe(*window); }
    QString readout(const QString &name) const
    {
        return window->findChild<QLabel *>(name)->text();
    }
    static QString run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QTemporaryDir dir;
    QString previousDir;
    MainWindow *window = nullptr;
    const QDateTime demoBegin{QDate(2024, 1, 10), QTime(12, 0, 0)};
    QVector<ArchRecord> demo;
};

void TstPrintPage::initTestCase()
{
    previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    QVERIFY(QDir().mkpath(QStringLiteral("archive")));
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_VERIFY(probe().idle());
    demo = viewerfixture::demoSeries(demoBegin, demoBegin.addSecs(3599), 60);
}

void TstPrintPage::cleanupTestCase()
{
    delete window;
    QDir::setCurrent(previousDir);
}

void TstPrintPage::pdfPage_data()
{
    QTest::addColumn<bool>("averaged");
    QTest::newRow("8 days of interval means") << true;
    QTest::newRow("records, cursors A and B, notice") << false;
}

void TstPrintPage::pdfPage()
{
    QFETCH(bool, averaged);
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QSKIP("poppler-utils are not installed");
    const QDateTime end = demoBegin.addSecs(3600);
    const QDateTime begin = averaged ? end.addDays(-8) : demoBegin;
    probe().setPeriod(begin, end);
    if (averaged) {
        QTemporaryDir archiveDir;
        QVERIFY(fixture::writeRecords(archiveDir.path() + QLatin1Char('/'),
                                      viewerfixture::demoSeries(begin, end, 120)));
        const archive::LoadResult result = archive::loadPeriod(
            archiveDir.path() + QLatin1Char('/'), begin, end, int(begin.secsTo(end)));
        QVERIFY(result.envelope.isAveraged());
        probe().finishLoad(result.records, result.envelope);
    } else {
        // A load that met a damaged file: the notice says so, and so does the page.
        cArchWorker::LoadReport report;
        archive::FileNote note;
        note.path = QStringLiteral("2024_01_10-12.dat");
        note.undecoded = 3;
        report.notes << note;
        probe().finishLoad(demo, {}, report);
    }
    probe().selector(0)->setCurrentIndex(92); // Math2: the record's number
    probe().selector(2)->setCurrentIndex(2);  // AIn2, switched to its counter
    probe().counterBox(2)->setChecked(true);
    probe().redraw();
    auto *cursors = window->findChild<PlotCursors *>();
    auto *notice = window->findChild<LoadNotice *>();
    LoadNotes notes;
    if (!averaged) {
        QVERIFY(cursors->placeCursor(PlotCursors::A, plot::timeKey(demoBegin.addSecs(600))));
        QVERIFY(cursors->placeCursor(PlotCursors::B, plot::timeKey(demoBegin.addSecs(1800))));
        archive::FileNote note;
        note.path = QStringLiteral("2024_01_10-12.dat");
        note.undecoded = 3;
        notes.files << note;
    }
    QCOMPARE(notice->text(), notes.summary());
    QCOMPARE(notice->isHidden(), averaged);

    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    QString error;
    QVERIFY2(probe().writePdf(pdf, &error), qPrintable(error));
    // What a reader finds: the heading, the period, the notice, the axis
    // labels, and each curve's name and readings as the readout has them.
    const QString text = run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")})
                             .simplified();
    QStringList wanted = {QStringLiteral("Архив"), QDir(QStringLiteral("archive")).absolutePath(),
                          QStringLiteral("с %1 по %2").arg(
                              begin.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")),
                              end.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"))),
                          end.toString(QStringLiteral("dd.MM.yy")), // a tick label
                          QStringLiteral("Мат. канал 2"), QStringLiteral("Счётчик 2"),
                          QStringLiteral("стр. 1 из 1")};
    for (const QString &column : {"rangeMin", "rangeMean", "rangeMax", "valueA", "valueB"}) {
        if (!averaged || !column.startsWith(QLatin1String("value"))) {
            wanted << readout(column + QStringLiteral("1")) << readout(column + QStringLiteral("3"))
                   << readout(column + QStringLiteral("Header"));
        }
    }
    wanted << (averaged ? QStringLiteral("средние за 600 с") : notes.summary());
    // The readout groups thousands with a no-break space; the text has a space.
    for (const QString &w : qAsConst(wanted))
        QVERIFY2(!w.isEmpty() && text.contains(w.simplified()),
                 qPrintable(w + QStringLiteral(" in ") + text));
    QCOMPARE(text.contains(QStringLiteral("средние за")), averaged);

    // The raster: white paper round the page, and both curves' colours
    // above the legend.
    const QString png = dir.filePath(QStringLiteral("page"));
    run(QStringLiteral("pdftoppm"), {"-r", "50", "-png", "-singlefile", pdf, png});
    const QImage image(png + QStringLiteral(".png"));
    QVERIFY(qAbs(double(image.width()) / image.height() - 297.0 / 210) < 0.01);
    const int margin = qRound(4 / 25.4 * 50); // inside the 5 mm margins
    int dark = 0, green = 0, red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            dark += (x < margin || y < margin || x >= image.width() - margin ||
                     y >= image.height() - margin) && c != Qt::white;
            const auto near = [&c](int r, int g, int b) {
                return qAbs(c.red() - r) + qAbs(c.green() - g) + qAbs(c.blue() - b) < 20;
            };
            green += y < image.height() * 0.7 && near(28, 185, 154);
            red += y < image.height() * 0.7 && near(232, 76, 61);
        }
    }
    QCOMPARE(dark, 0);
    QVERIFY(green > 20 && red > 20);
    notice->showNotes(LoadNotes());
}

// The plot is laid out for the rectangle it is given, and that layout is
// what the page shows, scaled alike both ways: its time axis lies where the
// layout put it, as long as the layout made it. After the page, the plot
// has the screen's grey background again.
void TstPrintPage::plotKeepsItsProportions_data()
{
    QTest::addColumn<QRect>("target");
    QTest::newRow("wide") << QRect(40, 30, 1500, 500);
    QTest::newRow("tall") << QRect(10, 60, 600, 900);
}

void TstPrintPage::plotKeepsItsProportions()
{
    QFETCH(QRect, target);
    probe().setPeriod(demoBegin, demoBegin.addSecs(3600));
    probe().finishLoad(demo);
    probe().selector(0)->setCurrentIndex(1);
    QCustomPlot *plot = window->findChild<QCustomPlot *>();
    QImage image(1600, 1000, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    printpage::drawPlot(painter, target, plot);
    painter.end();
    const QRect axes = plot->axisRect()->rect(); // as laid out for the target
    const double k = double(image.logicalDpiX()) / QPicture().logicalDpiX();
    QVERIFY(qAbs(axes.right() * k - target.width()) < 0.1 * target.width());
    QVERIFY(qAbs(axes.bottom() * k - target.height()) < 0.2 * target.height());
    const int y = target.top() + qRound(axes.bottom() * k);
    int dark = 0;
    for (int x = target.left() + qRound(axes.left() * k); x < target.left() + axes.right() * k; ++x)
        dark += image.pixelColor(x, y).value() < 128 || image.pixelColor(x, y - 1).value() < 128 ||
                image.pixelColor(x, y + 1).value() < 128;
    QVERIFY2(dark > 0.97 * axes.width() * k, qPrintable(QString::number(dark)));

    QImage page(1200, 800, QImage::Format_RGB32);
    painter.begin(&page);
    probe().paintPage(painter, page.rect());
    painter.end();
    QCOMPARE(plot->grab().toImage().pixelColor(2, 2), QColor(230, 230, 230));
}

void TstPrintPage::unwritablePathIsReported()
{
    // The button beside the print button, for a finger, named as it reads.
    auto *button = window->findChild<QPushButton *>(QStringLiteral("pdfButton"));
    QVERIFY(button && button->height() >= 40 && button->width() >= 40);
    QCOMPARE(button->accessibleName(), button->text());
    QCOMPARE(button->parentWidget(), window->findChild<QPushButton *>("print")->parentWidget());

    const QString path = dir.filePath(QStringLiteral("missing/page.pdf"));
    QString error;
    QVERIFY(!probe().writePdf(path, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
    probe().setPeriod(QDateTime(QDate(2024, 3, 1), QTime(0, 0)),
                      QDateTime(QDate(2024, 3, 8), QTime(0, 0)));
    QCOMPARE(probe().defaultPdfName(), QStringLiteral("archive_2024-03-01_2024-03-08.pdf"));
}

void TstPrintPage::fullDiskKeepsTheOldPdf_data()
{
    QTest::addColumn<double>("room"); // of the page's size, what the disk takes
    QTest::newRow("room for a tenth") << 0.1;
    QTest::newRow("room for all but its end") << 0.9;
    QTest::newRow("just short of it") << -1.0;
    QTest::newRow("room enough") << 2.0;
}

// A disk that fills while the page is written (a file size limit in a
// child, as root is not stopped by permissions): the operator's old report
// stays as it was, nothing is left beside it, and the failure is said.
void TstPrintPage::fullDiskKeepsTheOldPdf()
{
    QFETCH(double, room);
    QTemporaryDir out;
    // The page carries the time it is printed and the PDF the time it is
    // made: two writes a second apart can differ by a few bytes once
    // compressed. Short of the page means short of the smaller of two by
    // more than they differ.
    const QString measured = out.filePath(QStringLiteral("measured.pdf"));
    QString error;
    qint64 sizes[2];
    for (qint64 &size : sizes) {
        QVERIFY2(probe().writePdf(measured, &error), qPrintable(error));
        size = QFileInfo(measured).size();
        QVERIFY(QFile::remove(measured));
    }
    const qint64 size = std::min(sizes[0], sizes[1]);
    const qint64 spread = std::max(sizes[0], sizes[1]) - size + 8;
    const QString path = out.filePath(QStringLiteral("report.pdf"));
    const QByteArray old = "%PDF-1.4 the operator's old report\n";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(old) == old.size());
    file.close();
    const rlim_t limit = rlim_t(room < 0 ? size - 1 - spread : size * room);
    const int status = runWithFileSizeLimit(limit, [&] {
        QString why;
        const bool written = probe().writePdf(path, &why);
        return written ? 0 : why.isEmpty() ? 2 : 1;
    });
    QCOMPARE(status, room > 1 ? 0 : 1);
    const QByteArray now = fixture::readFile(path);
    if (room > 1)
        QVERIFY(now.startsWith("%PDF") && now.trimmed().endsWith("%%EOF"));
    else
        QCOMPARE(now, old);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.pdf")});
}

void TstPrintPage::nameTheDialogCannotTakeIsSaid_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("written");
    QTest::newRow("a plain name") << QStringLiteral("plain.pdf") << true;
    QTest::newRow("quotes around it") << QStringLiteral("\"x\".pdf") << false;
    QTest::newRow("a quote inside") << QStringLiteral("rep\"ort.pdf") << false;
}

// The file dialog reads quotes as a list of names and would give back
// another name, or none: such a name is said where it is typed, and nothing
// is written under another.
void TstPrintPage::nameTheDialogCannotTakeIsSaid()
{
    QFETCH(QString, typed);
    QFETCH(bool, written);
    QTemporaryDir out;
    QString said;
    QTimer::singleShot(0, [&] {
        auto *dialog = window->findChild<QFileDialog *>();
        QVERIFY(dialog);
        dialog->setDirectory(out.path());
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(typed);
        // A refusal comes as a message box over the dialog.
        QTimer::singleShot(0, [&, dialog = QPointer<QFileDialog>(dialog)] {
            if (!dialog)
                return;
            if (auto *box = dialog->findChild<QMessageBox *>()) {
                said = box->text();
                box->accept();
            }
            if (dialog->isVisible())
                dialog->reject();
        });
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("pdfButton")), Qt::LeftButton);
    const QStringList files = QDir(out.path()).entryList(QDir::Files);
    QCOMPARE(files, written ? QStringList{typed} : QStringList());
    QCOMPARE(said.contains(typed), !written);
}

QTEST_MAIN(TstPrintPage)
#include "tst_printpage.moc"
