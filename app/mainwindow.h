#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "archrecord.h"
#include "archrepair.h"
#include "channels.h"
#include "recordseries.h"
#include "seriesenvelope.h"
#include "plotseries.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QMovie>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class cArchWorker;
class LoadNotice;
class PlotCursors;
class QCPItemText;
class QCheckBox;
class QCPAxis;
class QCPGraph;
class QComboBox;
class QLabel;
class QPainter;
class QPrinter;
class QRect;
class QThread;
class QTimer;

namespace Ui {
class MainWindow;
}
namespace printpage {
struct Content;
}

// The viewer's one window: the archive directory and period, four channel
// selectors drawn as curves, and the archive worker on a thread of its own
// that loads, exports and repairs in the background, one operation at a time.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Starts on the archive directory dir (given without a trailing "/"):
    // the start-up repair and the first load are of that directory.
    explicit MainWindow(const QString &dir, QWidget *parent = nullptr);
    ~MainWindow() override;

    // What the worker is doing for the window.
    enum class Operation { None, Load, Export, Repair };

    // What tests and benchmarks may read and do (mainwindowprobe.h).
    class Probe;

signals:
    void needUpdate();

private slots:
    void on_dirButton_clicked();
    void on_refreshButton_clicked();
    void on_print_clicked();
    void on_periodButton_clicked();
    void printArch(QPrinter *printer);
    void endLoad();
    void endCopy();
    void endFix();
    void updateData();
    void updateGraph();
    void on_decodeButton_clicked();
    void on_pathToDir_textEdited(const QString &arg1);
    void on_stopButton_clicked();
    void onCountersClicked();
    void showProgress(int done, int total);
    void on_pdfButton_clicked();

private:
    // A request that came while the worker was busy, with the directory and
    // period it was made for: a later change of the window's period (a
    // cancelled period dialog, say) must not alter what was asked for.
    struct Request
    {
        Operation operation;
        QString dir;
        QDateTime begin;
        QDateTime end;
    };

    void startLoad();
    void startRepair();
    void configurePlot();
    // Gives the graphs the points of their series that draw the time
    // axis' current range on `columns` pixel columns (plot::decimate), and
    // keeps those columns through every replot and drawing until it is
    // called with 0, which goes back to the axis rect's own width. Without
    // it the graphs follow the axis rect: QCustomPlot::toPainter or
    // toPixmap at a page's size lays the plot out at that size and so
    // decimates for the page's axis rect, and the next replot on the screen
    // for the screen's. The printed page calls it before it draws when it
    // wants other columns than its axis rect's width, and with 0 after.
    void decimateGraphs(int columns);
    // The same when a replot has laid the plot out: for a new range of the
    // time axis or a new width, only then.
    void redecimate();
    struct DrawnCurve;
    // Gives one curve's graphs (and its band's) their points for that range
    // and those columns.
    void showDecimated(const DrawnCurve &curve, double lower, double upper, int columns);
    // The plot's background on the screen; on paper it is white.
    static QColor screenBackground() { return QColor(230, 230, 230); }
    // "с dd.MM.yyyy hh:mm:ss по dd.MM.yyyy hh:mm:ss" of the window's period.
    QString periodText() const;
    // Draws the plot, the legend and the period into the page rectangle,
    // given in the painter's coordinates.
    void paintPage(QPainter &painter, const QRect &page);
    // What the page says, taken from the window as it is now.
    printpage::Content pageContent() const;
    // Writes the page as a PDF file at path; false with the reason if the
    // file could not be written, and then nothing is left at path.
    bool writePdf(const QString &path, QString *error);
    // "archive_2024-03-01_2024-03-08.pdf": the directory's name and the period.
    QString defaultPdfName() const;
    void showPeriod();

    Request currentRequest(Operation operation) const;
    void submit(const Request &request);
    void begin(const Request &request);
    void beginLoad(const Request &request);
    void beginExport(const Request &request);
    void beginRepair(const Request &request);
    void showBusy(const Request &request);
    void hideBusy();
    // Says in the busy area for a few seconds how the export ended.
    void showExportEnd();
    void finishOperation(const char *workerSlot, const char *finishSlot);
    void startPending();
    // Tells the operator what the last load and repair left out, and why
    // the plot is empty if it is.
    void showNotice();
    void stopWorker();

    Ui::MainWindow *ui;
    QMovie busyMovie;
    QString archiveDir;
    QDateTime periodBegin;
    QDateTime periodEnd;
    cArchWorker *worker;
    QThread *workerThread;
    QList<QComboBox *> selectors;
    QList<plot::Series> selectorSeries;
    // The channel each of selectorSeries shows, for the readout.
    QVector<Channel> selectorChannels;
    // Per selector, the series last taken out of the loaded records, with
    // what it was taken for: a redraw takes out again only the channels
    // whose selector or counter box changed, or all after a new load.
    struct SeriesCache
    {
        Channel channel;
        archive::RecordSeries records;
        bool averaged = false;
        int envelopeSize = 0;
        plot::Series series;
        plot::Series drawn; // with its breaks (plot::withBreaks)
        // Its graphs' points, decimated for this range and these columns.
        plot::Series shown;
        double shownLower = 0.0;
        double shownUpper = -1.0;
        int shownColumns = -1;

        bool shows(double lower, double upper, int columns) const
        {
            return shownLower == lower && shownUpper == upper && shownColumns == columns;
        }
        void show(const plot::Series &points, double lower, double upper, int columns)
        {
            shown = points;
            shownLower = lower;
            shownUpper = upper;
            shownColumns = columns;
        }
    };
    QVector<SeriesCache> seriesCache;
    // The graphs of each drawn curve (the band's edges only for a band),
    // what they are decimated from, and for what range and columns.
    struct DrawnCurve
    {
        QPointer<QCPGraph> graph;
        QPointer<QCPGraph> low;
        QPointer<QCPGraph> high;
        plot::Series drawn;
        int selector;
    };
    QVector<DrawnCurve> drawnCurves;
    double decimatedLower = 0.0;
    double decimatedUpper = -1.0;
    int decimatedColumns = 0;
    int pageColumns = 0; // while the page is drawn
    QList<QCheckBox *> counterBoxes;
    QList<QColor> graphColors;
    // The value axes of selectors 1 to 4 while each curve has its own:
    // 1 and 2 on the left, 3 and 4 on the right, shown for drawn curves.
    QVector<QCPAxis *> curveAxes;

    // The records of the last finished load. Selector changes redraw from
    // this copy, so nothing reads the worker's list while a load refills it.
    archive::RecordSeries loadedRecords;
    bool loadedAveraged = false; // ... as interval means
    archive::SeriesEnvelope loadedEnvelope; // what those means were made of
    Operation runningOperation = Operation::None;
    // The request the worker is carrying out, and the period the plot shows:
    // a stopped load leaves the window on the latter.
    Request runningRequest{Operation::None, QString(), QDateTime(), QDateTime()};
    QDateTime shownBegin;
    QDateTime shownEnd;
    QTimer *messageTimer = nullptr;
    // At most one load and one export wait, in the order they were asked for.
    QList<Request> pendingRequests;
    // Cursors, readout and touch navigation of the plot.
    PlotCursors *cursors = nullptr;
    // What the last load and the start-up repair could not read or do.
    LoadNotice *notice = nullptr;
    // Says in words why the plot is empty: no archive, or no data.
    QLabel *plotMessage = nullptr;
    // "средние за 600 с" in the plot's corner while interval means are shown.
    QCPItemText *averagedLabel = nullptr;
    // The repair's part of the notice holds while its directory is shown.
    QString repairedPath;
    QList<archive::RepairFile> repairNotes;
    QList<archive::FileNote> repairLeftovers;
};

#endif // MAINWINDOW_H
