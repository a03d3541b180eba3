#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "archrecord.h"
#include "archrepair.h"
#include "channels.h"
#include "operationqueue.h"
#include "plotseries.h"
#include "recordseries.h"
#include "seriesenvelope.h"
#include "viewmodel.h"
#include "viewsettings.h"

#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QMovie>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>
#include <memory>

class cArchWorker;
template <typename Result> class BackgroundJob;
namespace archive {
struct SummaryBuildResult;
}
class LaneReadout;
class LiveFollow;
class LoadNotice;
class MarksStrip;
class PlotCursors;
class RelayStrip;
class QCheckBox;
class QCPAxis;
class QCPGraph;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QPainter;
class QPrinter;
class QRect;
class QSettings;
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
    using Operation = OperationQueue::Operation;

    // What tests and benchmarks may read and do (mainwindowprobe.h).
    class Probe;

    // What the window would remember now: the archive last loaded, the
    // selectors and counter boxes, ШКАЛЫ, cursor B, the relay lanes, and
    // the window's geometry.
    ViewSettings viewSettings() const;
    // Puts back the choices of an earlier session (not the geometry, which
    // is set before the window is shown, nor the archive, which it was
    // started on). Called once the window is shown: a counter box is only
    // ticked on the screen.
    void restoreView(const ViewSettings &view);
    // From now on what the operator changes is written to `store` within a
    // second, and when the window closes: a panel switched off keeps it.
    void rememberIn(std::unique_ptr<QSettings> store);

    // Keeps the summary cache of the archive shown up to date under `root`
    // and draws from it; until then (and in tests that do not ask for it)
    // the window reads hour files alone.
    void useSummaryCache(const QString &root);

    // What the progress bar says: "15 из 400 ч" of a load or an export,
    // "Исправление: 15 из 400 файлов" of the start-up repair.
    static QString progressText(Operation operation, int done, int total);

protected:
    void closeEvent(QCloseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

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
    using Request = OperationQueue::Request;

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
    // The two edges of a min/max band on `valueAxis`, behind the curves,
    // filled with `shade`; `name` has %1 for "low" and "high".
    struct BandEdges
    {
        QCPGraph *low;
        QCPGraph *high;
    };
    BandEdges addBand(QCPAxis *valueAxis, const QColor &shade, const QString &name);
    // "средние за 600 с": what the plot's corner and the page say of
    // interval means.
    static QString averagingText();
    // The plot's background on the screen; on paper it is white.
    static QColor screenBackground() { return QColor(230, 230, 230); }
    // "с dd.MM.yyyy hh:mm:ss по dd.MM.yyyy hh:mm:ss" of the window's period.
    QString periodText() const;
    // Puts the readout under the plot, in the grid's row 2 beside the side
    // column, which then spans both rows, and lowers the plot's minimum
    // height by the readout's, so that the window keeps its minimum size.
    void placeReadout();
    // The end of a load of `period` from `path`: the model keeps what it
    // read, the notice and the plot show it. The tests end a load here too.
    void showLoad(const Period &period, const QString &path, const archive::RecordSeries &records,
                  const archive::SeriesEnvelope &envelope, const cArchWorker::LoadReport &report);
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
    // What the window shows while an operation runs.
    void showBusy(const Request &request);
    void hideBusy();
    // Says in the busy area for a few seconds how the export ended.
    void showExportEnd(const Request &request);
    // Tells the operator what the last load and repair left out, and why
    // the plot is empty if it is.
    void showNotice();
    void stopWorker();

    // The lanes under the plot and their readout (mainwindowlanes.cpp).
    void setupLanes();
    // The lanes of model.laneRelays(), after a load, a new choice or names.
    void showLanes();
    // The lanes' states at the cursors and statistics of the readout's range.
    void showLaneReadings();
    // "РЕЛЕ": the operator chooses the lanes.
    void chooseLanes();
    // The lanes of these relays from now on, also after the next loads.
    void setLanes(const QVector<int> &relays);
    // The directory whose names file is read: the archive shown.
    QString namesDir() const;
    // Reads the names file into the model and watches it; true when the
    // names or what is wrong with the file changed.
    bool readNames();
    // The file or its directory changed: what shows names follows.
    void namesChanged();
    // The selector items with the names.
    void showNames();
    // "ИМЕНА": the operator edits the names, written beside the hour files.
    void editNames();

    // Following the recorder and stepping the period (mainwindowfollow.cpp).
    void setupFollow();
    // СЛЕДИТЬ is offered while the shown period ends at the present, ▶
    // while it ends before it.
    void updateFollowControls();
    void setFollowing(bool on);
    // Following ends: another period, archive or operation was asked for.
    void stopFollowing();
    void showFollowStep();
    // The period moves by its length, back (-1) or forward (1), forward no
    // further than the present, and is loaded.
    void stepPeriod(int direction);

    // The summary cache (mainwindowpreview.cpp).
    void setupPreview();
    // Waits for the jobs beside the worker and ends them.
    void stopBackgroundJobs();
    // An operation begins: what runs in the background gives way to it,
    // and a load asks the cache for its first picture.
    void previewBegins(const Request &request);
    // No operation runs or waits: the cache is brought up to date.
    void resumeCacheBuild();
    void showCacheBuildProgress(int done, int total);
    // Tells what runs in the background beside the operations.
    void showBackgroundWork();
    // "предварительно, по сводке" or "вне периода: по сводке" over what of
    // the plot comes from the cache.
    void showSummaryMark();
    // The bins of a period from the cache alone, for the curves' channels.
    static SummaryView cachedView(const QString &dir, const QString &root, const Period &period,
                                  const QVector<Channel> &channels, quint32 binSecs,
                                  const std::atomic<bool> &stop);

    // The view beyond and into the loaded period (mainwindowzoom.cpp).
    void setupZoom();
    // The view reaches beyond the shown period: the time around it from
    // the cache.
    void askAround();
    // Draws model.around where it lies outside the shown period.
    void showAround();
    // The view of an averaged load rests on a part short enough to be
    // loaded record by record: it is.
    void askDetail();
    // "ПЕРИОД = ЭКРАН" is offered while the view is not the period.
    void updateViewPeriodButton();
    void setPeriodToView();

    // Writes viewSettings() to the store soon, once for a burst of changes.
    void scheduleSave();
    void saveNow();

    Ui::MainWindow *ui;
    QMovie busyMovie;
    // What the window shows: the archive directory (archiveDir), the period
    // (periodBegin, periodEnd), the curves, the cursors and the last load.
    ViewModel model;
    cArchWorker *worker;
    QThread *workerThread;
    QList<QComboBox *> selectors;
    QList<plot::Series> selectorSeries;
    // Per selector, the series last taken out of the loaded records, with
    // what it was taken for: a redraw takes out again only the channels
    // whose selector or counter box changed, or all after a new load.
    struct SeriesCache
    {
        Channel channel;
        archive::RecordSeries records;
        bool averaged = false;
        int envelopeSize = 0;
        quint64 origin = 0; // the summary view or the detail it shows, 0 for the records

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
    // The eight of the window's graphs; the curves' four come from
    // kCurveColours (curvecolours.h).
    QList<QColor> graphColors;
    // The value axes of selectors 1 to 4 while each curve has its own:
    // 1 and 2 on the left, 3 and 4 on the right, shown for drawn curves.
    QVector<QCPAxis *> curveAxes;

    // The worker's operations, one at a time, and those that wait.
    std::unique_ptr<OperationQueue> queue;
    QTimer *messageTimer = nullptr;
    // Cursors, readout and touch navigation of the plot.
    PlotCursors *cursors = nullptr;
    // What the last load and the start-up repair could not read or do.
    LoadNotice *notice = nullptr;
    // Where what the operator chose is remembered; none in tests.
    std::unique_ptr<QSettings> settings;
    QTimer *saveTimer = nullptr;
    // The archive last loaded that was there, as an absolute path.
    QString lastArchive;
    // Says in words why the plot is empty: no archive, or no data.
    QLabel *plotMessage = nullptr;
    // Above the plot: the notice, the end of an export and "средние за
    // 600 с" while interval means are shown.
    MarksStrip *marks = nullptr;
    // Under the plot: the relays' lanes, and their rows under the readout.
    RelayStrip *relayStrip = nullptr;
    // The plot's least height without lanes; the lanes take theirs from it.
    int plotMinimumHeight = 0;
    LaneReadout *laneReadout = nullptr;
    // The lanes made of the shown load, by relay, and the keys they were
    // made of (held, so that a new load's are never taken for them).
    struct LaneCache
    {
        QVector<double> keys;
        QHash<int, plot::RelayLane> lanes;
    };
    LaneCache laneCache;
    // Keeps the shown period up with the recorder while СЛЕДИТЬ is on.
    LiveFollow *live = nullptr;
    // A redraw for a step of following leaves the time axis where the
    // operator moved it.
    bool keepViewRange = false;
    // СЛЕДИТЬ was turned on again over a followed series: following starts
    // when the period's new load ends.
    bool followAfterLoad = false;
    // The archive's names file and its directory.
    QFileSystemWatcher *namesWatcher = nullptr;
    // Where the summary cache is kept; empty: none is used.
    QString summaryRoot;
    std::unique_ptr<BackgroundJob<archive::SummaryBuildResult>> cacheBuild;
    bool cacheBuilding = false;
    // The operator stopped it: not again before a refresh or another archive.
    bool cacheBuildStopped = false;
    QString cacheBuildDir;
    int cacheBuildDone = 0;
    int cacheBuildTotal = 0;
    std::unique_ptr<BackgroundJob<SummaryView>> previewJob;
    std::unique_ptr<BackgroundJob<SummaryView>> aroundJob;
    std::unique_ptr<BackgroundJob<DetailRecords>> detailJob;
    bool detailLoading = false;
    Period detailAsked;
    QTimer *aroundTimer = nullptr;
    QTimer *detailTimer = nullptr;
    QVector<QPointer<QCPGraph>> aroundGraphs;
};

#endif // MAINWINDOW_H
