// The summary cache in the window: brought up to date in the background
// while no operation runs, a first picture of a period from it while the
// period loads, the time around the loaded period when the view reaches
// beyond it, and the records of a part of an averaged period when the view
// is zoomed into it. "ПЕРИОД = ЭКРАН" makes the view the period.

#include "mainwindow.h"

#include "archformat.h"
#include "archload.h"
#include "backgroundjob.h"
#include "cursorreadout.h"
#include "livefollow.h"
#include "marksstrip.h"
#include "plotcursors.h"
#include "plotgaps.h"
#include "summarybuild.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>

namespace {

// How long the view rests before the time around it is asked of the cache,
// and before the records of a part zoomed into are loaded.
constexpr int kAroundDelayMs = 150;
constexpr int kDetailDelayMs = 500;
// The most a load waits for the cache's picture of its period.
constexpr int kPreviewHeadStartMs = 150;
// How often the cache catches up with the hours the recorder goes on
// writing while the window only shows them.
constexpr int kCatchUpMs = 10 * 60 * 1000;

// Bins of a period from the cache alone: nothing is read from hour files
// and nothing written, so the answer comes at once or not at all.
SummaryView cachedView(const QString &dir, const QString &root, const Period &period,
                       const QVector<Channel> &channels, quint32 binSecs,
                       const std::atomic<bool> &stop)
{
    archive::SummaryRequest request;
    request.begin = period.begin;
    request.end = period.end;
    request.binSecs = binSecs;
    request.channels = SummaryView::requestChannels(channels);
    request.readFiles = false;
    request.writeBack = false;
    request.cacheRoot = root;
    archive::Progress progress;
    progress.stop = &stop;
    if (request.channels.isEmpty())
        return SummaryView();
    return SummaryView::of(period, channels, archive::querySummary(dir, request, progress));
}

// A period of whole seconds that holds the time keys [lower, upper].
Period periodOfKeys(double lower, double upper)
{
    return {QDateTime::fromMSecsSinceEpoch(qint64(std::floor(lower)) * 1000),
            QDateTime::fromMSecsSinceEpoch(qint64(std::ceil(upper)) * 1000)};
}

bool covers(const Period &outer, const Period &inner)
{
    return outer.begin.isValid() && outer.begin <= inner.begin && inner.end <= outer.end;
}

} // namespace

void MainWindow::useSummaryCache(const QString &root)
{
    summaryRoot = root;
    resumeCacheBuild();
}

void MainWindow::setupPreview()
{
    cacheBuild.reset(new BackgroundJob<archive::SummaryBuildResult>(
        this, [this](const archive::SummaryBuildResult &result) {
            cacheBuilding = false;
            if (!result.problem.isEmpty())
                qDebug().noquote() << "summary cache:" << result.problem;
            showBackgroundWork();
        }));
    previewJob.reset(new BackgroundJob<SummaryView>(this, [this](const SummaryView &view) {
        // The load goes on once the picture is drawn, or there is none.
        const auto release = qScopeGuard([this] { queue->release(); });
        // Only for the period still loading, and only what the cache held.
        if (view.isEmpty() || view.period != model.loading)
            return;
        model.preview = view;
        model.preview.serial = model.nextSerial();
        // Why the last load's plot was empty says nothing of this one.
        plotMessage->hide();
        updateData();
    }));
    aroundJob.reset(new BackgroundJob<SummaryView>(this, [this](const SummaryView &view) {
        model.around = view;
        model.around.serial = model.nextSerial();
        showAround();
        ui->customPlot->replot();
    }));
    detailJob.reset(new BackgroundJob<DetailRecords>(this, [this](const DetailRecords &detail) {
        detailLoading = false;
        showBackgroundWork();
        if (detail.isEmpty() || !model.shown.averaged)
            return;
        model.detail = detail;
        model.detail.serial = model.nextSerial();
        // The view stays where the operator left it.
        keepViewRange = true;
        updateData();
        keepViewRange = false;
    }));

    aroundTimer = new QTimer(this);
    aroundTimer->setSingleShot(true);
    aroundTimer->setInterval(kAroundDelayMs);
    connect(aroundTimer, &QTimer::timeout, this, [this] { askAround(); });
    detailTimer = new QTimer(this);
    detailTimer->setSingleShot(true);
    detailTimer->setInterval(kDetailDelayMs);
    connect(detailTimer, &QTimer::timeout, this, [this] { askDetail(); });
    connect(ui->customPlot->xAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), this,
            [this] {
                aroundTimer->start();
                detailTimer->start();
                updateViewPeriodButton();
            });
    auto *catchUp = new QTimer(this);
    catchUp->setInterval(kCatchUpMs);
    connect(catchUp, &QTimer::timeout, this, [this] { resumeCacheBuild(); });
    catchUp->start();
    connect(marks->backgroundStopButton(), &QPushButton::clicked, this, [this] {
        if (detailLoading) {
            detailJob->stop();
            detailLoading = false;
        } else {
            // Until the operator refreshes or opens another archive.
            cacheBuild->stop();
            cacheBuilding = false;
            cacheBuildStopped = true;
        }
        showBackgroundWork();
    });
    connect(cursors->readout()->viewPeriodButton(), &QPushButton::clicked, this,
            [this] { setPeriodToView(); });
    // The cache's picture needs the processors for a moment: the load
    // waits for it, no longer than that.
    queue->headStart = [this](const Request &) {
        return summaryRoot.isEmpty() ? 0 : kPreviewHeadStartMs;
    };
    updateViewPeriodButton();
}

void MainWindow::stopBackgroundJobs()
{
    cacheBuild.reset();
    previewJob.reset();
    aroundJob.reset();
    detailJob.reset();
}

void MainWindow::previewBegins(const Request &request)
{
    // An operation has the disk and the processors to itself.
    cacheBuild->stop();
    cacheBuilding = false;
    detailJob->stop();
    detailLoading = false;
    showBackgroundWork();
    updateViewPeriodButton();
    if (request.operation != Operation::Load || summaryRoot.isEmpty())
        return;
    const Period period{request.begin, request.end};
    const QString dir = request.dir;
    const QString root = summaryRoot;
    const QVector<Channel> channels = model.channels();
    const quint32 binSecs =
        archive::previewBinSecs(period.secs(), std::max(1, ui->customPlot->axisRect()->width()));
    previewJob->start([=](const std::atomic<bool> &stop) {
        return cachedView(dir, root, period, channels, binSecs, stop);
    });
}

void MainWindow::resumeCacheBuild()
{
    updateViewPeriodButton();
    if (summaryRoot.isEmpty() || cacheBuildStopped || !queue->idle() ||
        model.shown.report.dir != archive::DirState::Present || model.shown.path.isEmpty())
        return;
    const QString dir = model.shown.path;
    if (cacheBuilding && dir == cacheBuildDir)
        return;
    cacheBuilding = true;
    cacheBuildDir = dir;
    cacheBuildDone = 0;
    cacheBuildTotal = 0;
    const QString root = summaryRoot;
    cacheBuild->start([this, dir, root](const std::atomic<bool> &stop) {
        archive::SummaryBuildOptions options;
        options.lowPriority = true;
        options.cacheRoot = root;
        archive::ProgressThrottle throttle;
        archive::Progress progress;
        progress.stop = &stop;
        progress.report = [this, &throttle](int done, int total) {
            if (throttle.due(done, total))
                QMetaObject::invokeMethod(
                    this, [this, done, total] { showCacheBuildProgress(done, total); },
                    Qt::QueuedConnection);
        };
        return archive::buildSummaryCache(dir, options, progress);
    });
    showBackgroundWork();
}

void MainWindow::showCacheBuildProgress(int done, int total)
{
    cacheBuildDone = done;
    cacheBuildTotal = total;
    showBackgroundWork();
}

void MainWindow::showBackgroundWork()
{
    QString text;
    if (detailLoading)
        text = QStringLiteral("загрузка записей видимого участка");
    else if (cacheBuilding && cacheBuildTotal > 0 && cacheBuildDone < cacheBuildTotal)
        text = QStringLiteral("сводка архива: %1 из %2 ч")
                   .arg(archive::russianLocale().toString(cacheBuildDone),
                        archive::russianLocale().toString(cacheBuildTotal));
    marks->showBackground(text);
}

void MainWindow::askAround()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    const double lower = plot::timeKey(model.shown.period.begin);
    const double upper = plot::timeKey(model.shown.period.end);
    const double column = range.size() / std::max(1, ui->customPlot->axisRect()->width());
    const bool beyond = range.lower < lower - column || range.upper > upper + column;
    if (summaryRoot.isEmpty() || !beyond || model.shown.path.isEmpty() ||
        model.loading.isLoadable()) {
        aroundJob->stop();
        if (!model.around.isEmpty() && !beyond) {
            // Back inside the period: the time around it is out of sight.
            model.around = SummaryView();
            showAround();
            ui->customPlot->replot();
        }
        return;
    }
    // The time on either side of the period in view, each no more than a
    // load would show and none of it after now, at the view's resolution.
    const Period shown = model.shown.period;
    const Period view = periodOfKeys(range.lower, range.upper);
    const qint64 most = archive::kMaxLoadPeriodSecs;
    const Period before{std::max(view.begin, shown.begin.addSecs(-most)), shown.begin};
    const Period after{shown.end,
                       std::min({view.end, shown.end.addSecs(most), QDateTime::currentDateTime()})};
    if (model.around.period == view && model.around.channels == model.channels())
        return;
    const QString dir = model.shown.path;
    const QString root = summaryRoot;
    const QVector<Channel> channels = model.channels();
    const quint32 binSecs =
        archive::previewBinSecs(view.secs(), std::max(1, ui->customPlot->axisRect()->width()));
    aroundJob->start([=](const std::atomic<bool> &stop) {
        SummaryView around;
        around.period = view;
        around.channels = channels;
        around.curves.resize(channels.size());
        for (const Period &side : {before, after}) {
            if (!side.isLoadable())
                continue;
            const SummaryView part = cachedView(dir, root, side, channels, binSecs, stop);
            for (int i = 0; i < part.curves.size(); ++i) {
                plot::Series &curve = around.curves[i];
                const plot::Series &more = part.curves.at(i);
                curve.keys << more.keys;
                curve.values << more.values;
                curve.lows << more.lows;
                curve.highs << more.highs;
                curve.gapOver = more.gapOver;
            }
        }
        return around;
    });
}

void MainWindow::showAround()
{
    QCustomPlot *customPlot = ui->customPlot;
    for (const QPointer<QCPGraph> &graph : qAsConst(aroundGraphs)) {
        if (graph)
            customPlot->removeGraph(graph);
    }
    aroundGraphs.clear();
    const auto mark = [this] {
        marks->showPreview(model.showsPreview() ? QStringLiteral("предварительно, по сводке")
                           : aroundGraphs.isEmpty() ? QString()
                                                    : QStringLiteral("вне периода: по сводке"));
    };
    if (model.around.isEmpty()) {
        mark();
        return;
    }
    const double lower = plot::timeKey(model.shown.period.begin);
    const double upper = plot::timeKey(model.shown.period.end);
    for (const DrawnCurve &curve : qAsConst(drawnCurves)) {
        if (!curve.graph)
            continue;
        const plot::Series series =
            model.around.curve(curve.selector, model.curves.at(curve.selector).channel());
        // Only what lies outside the loaded period: inside it the load is exact.
        plot::Series before;
        plot::Series after;
        before.gapOver = after.gapOver = series.gapOver;
        for (int i = 0; i < series.size(); ++i) {
            plot::Series *part = series.keys.at(i) < lower   ? &before
                                 : series.keys.at(i) > upper ? &after
                                                             : nullptr;
            if (!part)
                continue;
            part->keys << series.keys.at(i);
            part->values << series.values.at(i);
            part->lows << series.lows.value(i);
            part->highs << series.highs.value(i);
        }
        QColor colour = graphColors.at(curve.selector);
        for (const plot::Series &part : {before, after}) {
            if (part.isEmpty())
                continue;
            const plot::Series drawn = plot::withBreaks(part);
            QCPGraph *graph = customPlot->addGraph(customPlot->xAxis, curve.graph->valueAxis());
            graph->setName(QStringLiteral("around #") + QString::number(curve.selector));
            graph->setSelectable(QCP::stNone);
            colour.setAlpha(150);
            graph->setPen(QPen(colour, 1, Qt::DashLine));
            graph->setData(drawn.keys, drawn.values, true);
            colour.setAlpha(40);
            const BandEdges band =
                addBand(curve.graph->valueAxis(), colour,
                        QStringLiteral("around band %1 #") + QString::number(curve.selector));
            band.low->setData(drawn.keys, drawn.lows, true);
            band.high->setData(drawn.keys, drawn.highs, true);
            aroundGraphs << graph << band.low << band.high;
        }
    }
    mark();
}

void MainWindow::askDetail()
{
    if (!detailJob || !model.shown.averaged || !queue->idle() || live->isOn() ||
        model.shown.path.isEmpty())
        return;
    const QCPRange range = ui->customPlot->xAxis->range();
    const Period shown = model.shown.period;
    const double lower = std::max(range.lower, plot::timeKey(shown.begin));
    const double upper = std::min(range.upper, plot::timeKey(shown.end));
    if (upper <= lower)
        return;
    Period part = periodOfKeys(lower, upper);
    part.begin = std::max(part.begin, shown.begin);
    part.end = std::min(part.end, shown.end);
    if (ViewModel::averages(part)) {
        // Zoomed out again: a load of the part zoomed into is not needed.
        detailJob->stop();
        detailLoading = false;
        showBackgroundWork();
        return;
    }
    if (covers(model.detail.period, part) || (detailLoading && covers(detailAsked, part)))
        return;
    detailAsked = part;
    detailLoading = true;
    const QString dir = model.shown.path;
    detailJob->start([dir, part](const std::atomic<bool> &stop) {
        archive::Progress progress;
        progress.stop = &stop;
        const archive::LoadResult result = archive::loadPeriod(
            dir, part.begin, part.end, int(part.secs()), 1, archive::Envelope::Left, progress);
        DetailRecords detail;
        // A load cut short by memory is no record-by-record picture.
        if (result.refused || result.truncated || stop.load())
            return detail;
        detail.period = part;
        detail.records = result.records;
        return detail;
    });
    showBackgroundWork();
}

void MainWindow::updateViewPeriodButton()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    const double lower = plot::timeKey(model.periodBegin);
    const double upper = plot::timeKey(model.periodEnd);
    const bool moved = std::abs(range.lower - lower) >= 1 || std::abs(range.upper - upper) >= 1;
    cursors->readout()->viewPeriodButton()->setEnabled(moved && queue &&
                                                       queue->running() == Operation::None);
}

void MainWindow::setPeriodToView()
{
    const QCPRange range = ui->customPlot->xAxis->range();
    Period period = periodOfKeys(range.lower, range.upper);
    // No later than now, and no longer than a load takes.
    const QDateTime now = QDateTime::currentDateTime();
    if (period.end > now)
        period.end = now;
    if (period.secs() > archive::kMaxLoadPeriodSecs)
        period.begin = period.end.addSecs(-qint64(archive::kMaxLoadPeriodSecs));
    if (!period.isLoadable())
        return;
    model.periodBegin = period.begin;
    model.periodEnd = period.end;
    showPeriod();
    startLoad();
}
