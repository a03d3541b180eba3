// The summary cache in the window: brought up to date in the background
// while no operation runs, and a first picture of a period from it while
// the period loads.

#include "mainwindow.h"

#include "archformat.h"
#include "backgroundjob.h"
#include "marksstrip.h"
#include "summarybuild.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>

#include <qcustomplot.h>

#include <algorithm>

namespace {

// The most a load waits for the cache's picture of its period.
constexpr int kPreviewHeadStartMs = 150;
// How often the cache catches up with the hours the recorder goes on
// writing while the window only shows them.
constexpr int kCatchUpMs = 10 * 60 * 1000;

} // namespace

// Nothing is read from hour files and nothing written, so the answer
// comes at once or not at all.
SummaryView MainWindow::cachedView(const QString &dir, const QString &root, const Period &period,
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
    // The cache's picture needs the processors for a moment: the load
    // waits for it, no longer than that.
    queue->headStart = [this](const Request &) {
        return summaryRoot.isEmpty() ? 0 : kPreviewHeadStartMs;
    };
    setupZoom();
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

void MainWindow::showSummaryMark()
{
    marks->showPreview(model.showsPreview() ? QStringLiteral("предварительно, по сводке")
                       : aroundGraphs.isEmpty() ? QString()
                                                : QStringLiteral("вне периода: по сводке"));
}
