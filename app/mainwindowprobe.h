#ifndef MAINWINDOWPROBE_H
#define MAINWINDOWPROBE_H

#include "mainwindow.h"
#include "printpage.h"

#include <QCheckBox>
#include <QComboBox>

// The window as its tests and benchmarks see it: its model and its queue,
// and the few steps they take that an operator would take through a
// dialog or a file system, or that the worker takes at the end of a load.
// Everything else of the window they reach as the operator does, through
// its widgets.
class MainWindow::Probe
{
public:
    using Request = MainWindow::Request;

    explicit Probe(MainWindow &window) : w(window) {}

    const ViewModel &model() const { return w.model; }
    Operation running() const { return w.queue->running(); }
    // Requests waiting for the worker, in the order they will run.
    const QList<Request> &pending() const { return w.queue->pending(); }
    bool idle() const { return w.queue->idle(); }
    cArchWorker *worker() const { return w.worker; }
    QThread *workerThread() const { return w.workerThread; }
    const archive::RecordSeries &loadedRecords() const { return w.model.shown.records; }
    QString archiveDir() const { return w.model.archiveDir; }
    QDateTime periodBegin() const { return w.model.periodBegin; }
    QDateTime periodEnd() const { return w.model.periodEnd; }
    QComboBox *selector(int i) const { return w.selectors.at(i); }
    QCheckBox *counterBox(int i) const { return w.counterBoxes.at(i); }
    // The series built for the selectors and not drawn yet.
    const QList<plot::Series> &selectorSeries() const { return w.selectorSeries; }

    // The period as an accepted period dialog leaves it, before it loads.
    void setPeriod(const QDateTime &begin, const QDateTime &end)
    {
        w.model.periodBegin = begin;
        w.model.periodEnd = end;
    }
    // The selectors on these items, as the operator leaves them, without a
    // redraw for each: the next load draws them.
    void chooseChannels(const QVector<int> &indexes)
    {
        for (int i = 0; i < indexes.size(); ++i) {
            QSignalBlocker block(w.selectors.at(i));
            w.selectors.at(i)->setCurrentIndex(indexes.at(i));
            w.model.selectChannel(i, indexes.at(i));
        }
    }
    // What the directory field does when the operator has typed dir into it.
    void typeDirectory(const QString &dir) { w.on_pathToDir_textEdited(dir); }
    // What the end of a load of the window's period does with the records
    // it read (and, for interval means, their envelope) and what it met
    // on the way, the way endLoad
    // ends one: keep and draw them, averaged or not by the model's rule.
    void finishLoad(const archive::RecordSeries &records,
                    const archive::SeriesEnvelope &envelope = {},
                    const cArchWorker::LoadReport &report = {})
    {
        if (w.model.loading == w.model.period())
            w.model.loading = Period();
        w.showLoad(w.model.period(), w.worker->archivePath, records, envelope, report);
    }
    // What the window does as a load of its period begins, without the
    // worker: it is the period loading until finishLoad().
    void beginLoad()
    {
        const Request request = w.currentRequest(Operation::Load);
        w.model.loading = Period{request.begin, request.end};
        w.previewBegins(request);
    }
    // The relays the operator ticked in "РЕЛЕ".
    void chooseLanes(const QVector<int> &relays) { w.setLanes(relays); }
    // What keeps the period up with the recorder while СЛЕДИТЬ is on.
    LiveFollow *live() const { return w.live; }
    // Draws the last load again, as a selector change does.
    void redraw() { w.updateData(); }
    // The repair the window starts by itself at start-up.
    void repair() { w.startRepair(); }
    void paintPage(QPainter &painter, const QRect &page) { w.paintPage(painter, page); }
    void decimateGraphs(int columns) { w.decimateGraphs(columns); }
    void print(QPrinter *printer) { w.printArch(printer); }
    printpage::Content pageContent() const { return w.pageContent(); }
    bool writePdf(const QString &path, QString *error) { return w.writePdf(path, error); }
    QString defaultPdfName() const { return w.defaultPdfName(); }

private:
    MainWindow &w;
};

#endif // MAINWINDOWPROBE_H
