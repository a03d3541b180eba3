// Background operations of the main window: loading, CSV export and repair
// on the worker thread, one at a time, and the controls that request them.

#include "mainwindow.h"

#include "archexport.h"
#include "archload.h"
#include "archworker.h"
#include "ccustomperiod.h"
#include "loadnotice.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

// A period too long for 32 bits must stay too long, so that the load refuses
// it, instead of wrapping round into some other, shorter period.
int saturatedSecs(qint64 secs)
{
    return int(qBound(qint64(std::numeric_limits<int>::min()), secs,
                      qint64(std::numeric_limits<int>::max())));
}

} // namespace

void MainWindow::on_refreshButton_clicked()
{
    if (periodBegin.secsTo(periodEnd) > 0)
        startLoad();
}

void MainWindow::on_dirButton_clicked()
{
    archiveDir = QFileDialog::getExistingDirectory(this, QString(), ui->pathToDir->text(),
                                                   QFileDialog::ShowDirsOnly);
    if (!archiveDir.isEmpty()) {
        ui->pathToDir->setText(archiveDir);
        on_refreshButton_clicked();
    }
}

void MainWindow::on_pathToDir_textEdited(const QString &arg1)
{
    archiveDir = arg1;
    if (!archiveDir.isEmpty())
        on_refreshButton_clicked();
}

void MainWindow::on_periodButton_clicked()
{
    // The dialog fills its edits from the shared values when it is built,
    // so they must hold the window's period before that, or it would open on
    // whatever the previous dialog left there.
    globalBegin = periodBegin;
    globalEnd = periodEnd;
    cCustomPeriod dialog(this);
    dialog.setModal(true);
    // Cancel leaves the period, its labels and the plot as they are.
    if (dialog.exec() == cCustomPeriod::Cancelled)
        return;
    periodBegin = globalBegin;
    periodEnd = globalEnd;
    showPeriod();
    if (periodBegin.secsTo(periodEnd) > 0)
        startLoad();
}

void MainWindow::on_decodeButton_clicked()
{
    submit(currentRequest(Operation::Export));
}

void MainWindow::startLoad()
{
    submit(currentRequest(Operation::Load));
}

void MainWindow::startRepair()
{
    submit(currentRequest(Operation::Repair));
}

MainWindow::Request MainWindow::currentRequest(Operation operation) const
{
    return Request{operation, archiveDir, periodBegin, periodEnd};
}

void MainWindow::submit(const Request &request)
{
    // An empty directory would reach the worker as "/": the load would read
    // and the export would write CSV files in the root directory.
    if (request.dir.isEmpty())
        return;
    if (runningOperation == Operation::None) {
        begin(request);
        return;
    }
    // A newer request of the same kind supersedes the waiting one: it carries
    // the directory and period the operator asked for last.
    for (int i = 0; i < pendingRequests.size(); ++i) {
        if (pendingRequests.at(i).operation == request.operation) {
            pendingRequests.removeAt(i);
            break;
        }
    }
    pendingRequests.append(request);
}

void MainWindow::begin(const Request &request)
{
    // After an operation the worker's finished() has already reached the
    // thread's quit(), but the thread may still be winding down, and start()
    // on a running thread does nothing. Waiting here is brief and makes sure
    // the operation really runs, on a worker that is idle.
    workerThread->wait();
    runningOperation = request.operation;
    runningRequest = request;
    worker->stopRequested = false;
    switch (request.operation) {
    case Operation::Load:
        beginLoad(request);
        break;
    case Operation::Export:
        beginExport(request);
        break;
    case Operation::Repair:
        beginRepair(request);
        break;
    case Operation::None:
        runningOperation = Operation::None;
        break;
    }
}

void MainWindow::beginLoad(const Request &request)
{
    ui->periodButton->setEnabled(false);
    connect(workerThread, SIGNAL(started()), worker, SLOT(run()));
    connect(worker, SIGNAL(finished()), this, SLOT(endLoad()));
    // A directory that is not there must not leave the worker on the one
    // loaded before, drawn under the new name: the load is told the path
    // asked for and names it as missing.
    if (!worker->setPath(request.dir))
        worker->archivePath = request.dir + QLatin1Char('/');
    worker->periodSecs = saturatedSecs(request.begin.secsTo(request.end));
    worker->endOffsetSecs = saturatedSecs(request.end.secsTo(QDateTime::currentDateTime()));
    showBusy(request);
    workerThread->start(QThread::LowestPriority);
}

void MainWindow::beginExport(const Request &request)
{
    const QString dir = request.dir + QLatin1Char('/');
    worker->exportSourceDir = dir;
    worker->exportTargetDir = dir;
    worker->setExportPeriod(request.begin, request.end);
    connect(workerThread, SIGNAL(started()), worker, SLOT(copyArchive()));
    connect(worker, SIGNAL(finished()), this, SLOT(endCopy()));
    showBusy(request);
    workerThread->start(QThread::LowestPriority);
}

void MainWindow::beginRepair(const Request &request)
{
    connect(workerThread, SIGNAL(started()), worker, SLOT(fixArchive()));
    connect(worker, SIGNAL(finished()), this, SLOT(endFix()));
    worker->setPath(request.dir);
    showBusy(request);
    ui->periodButton->setEnabled(false);
    workerThread->start(QThread::LowestPriority);
}

void MainWindow::showBusy(const Request &request)
{
    // The animation until the first progress comes, then how far it is.
    ui->progressBar->hide();
    ui->loadArchive->show();
    busyMovie.start();
    // The repair is not stopped: it is brief for an archive in the current
    // layout, each file is replaced whole, and what comes after waits for it.
    ui->stopButton->setVisible(request.operation != Operation::Repair);
    ui->stopButton->setEnabled(true);
    ui->busyFrame->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    ui->busyFrame->show();
}

void MainWindow::hideBusy()
{
    busyMovie.stop();
    ui->loadArchive->hide();
    ui->progressBar->hide();
    ui->stopButton->hide();
    if (ui->operationMessage->isHidden())
        ui->busyFrame->hide();
}

void MainWindow::showProgress(int done, int total)
{
    // One hour file is over before anyone could read a count.
    if (runningOperation == Operation::None || total < 2)
        return;
    const QLocale locale = archive::exportLocale();
    const QString text = QStringLiteral("%1 из %2 ч").arg(locale.toString(done), locale.toString(total));
    busyMovie.stop();
    ui->loadArchive->hide();
    ui->progressBar->setRange(0, total);
    ui->progressBar->setValue(done);
    ui->progressBar->setFormat(text);
    ui->progressBar->setAccessibleName(text);
    ui->progressBar->show();
}

void MainWindow::on_stopButton_clicked()
{
    // What waits behind the operation was asked for with it in mind.
    const bool loadDropped =
        std::any_of(pendingRequests.cbegin(), pendingRequests.cend(),
                    [](const Request &request) { return request.operation == Operation::Load; });
    pendingRequests.clear();
    // A period that will not be loaded is not shown either; a stopped load
    // puts it back when it ends.
    if (loadDropped && runningOperation != Operation::Load) {
        periodBegin = shownBegin;
        periodEnd = shownEnd;
        showPeriod();
    }
    if (runningOperation == Operation::Load || runningOperation == Operation::Export) {
        worker->stopRequested = true;
        ui->stopButton->setEnabled(false);
    }
}

// What every finish slot does first: the busy animation stops and the
// operation's two connections go, so that the next operation starts clean.
void MainWindow::finishOperation(const char *workerSlot, const char *finishSlot)
{
    hideBusy();
    disconnect(workerThread, SIGNAL(started()), worker, workerSlot);
    disconnect(worker, SIGNAL(finished()), this, finishSlot);
    runningOperation = Operation::None;
}

void MainWindow::endLoad()
{
    finishOperation(SLOT(run()), SLOT(endLoad()));
    if (worker->loadReport.stopped) {
        // Nothing of the stopped period is shown: the plot, its cursors and
        // the period's labels stay on what was loaded before.
        periodBegin = shownBegin;
        periodEnd = shownEnd;
        showPeriod();
        ui->periodButton->setEnabled(true);
        startPending();
        return;
    }
    shownBegin = runningRequest.begin;
    shownEnd = runningRequest.end;
    loadedRecords = worker->records;
    loadedEnvelope = worker->envelope;
    loadedAveraged = worker->periodSecs > archive::kMaxRawPeriodSecs;
    showNotice();
    emit needUpdate();
    startPending();
}

void MainWindow::endCopy()
{
    finishOperation(SLOT(copyArchive()), SLOT(endCopy()));
    showExportEnd();
    startPending();
}

void MainWindow::endFix()
{
    finishOperation(SLOT(fixArchive()), SLOT(endFix()));
    repairedPath = worker->archivePath;
    repairNotes = worker->repairNotes;
    repairLeftovers = worker->repairLeftovers;
    startPending();
}

void MainWindow::showExportEnd()
{
    const cArchWorker::ExportReport &report = worker->exportReport;
    const QLocale locale = archive::exportLocale();
    const QString dir = QDir::toNativeSeparators(runningRequest.dir);
    QStringList lines;
    if (report.refused) {
        lines << QStringLiteral("Выгрузка не начата: период длиннее %1 сут")
                     .arg(archive::kMaxLoadPeriodSecs / 86400);
    } else {
        if (report.stopped)
            lines << QStringLiteral("Выгрузка остановлена после %1 ч").arg(locale.toString(report.visited));
        lines << QStringLiteral("Записано %1 CSV в %2").arg(locale.toString(report.written), dir);
        if (report.missing > 0)
            lines << QStringLiteral("без файла: %1 ч").arg(locale.toString(report.missing));
        if (report.failed > 0)
            lines << QStringLiteral("не удалось: %1").arg(locale.toString(report.failed));
        if (report.outOfMemory)
            lines << QStringLiteral("не хватило памяти: остальные часы не выгружены");
    }
    const QString text = lines.join(QLatin1Char('\n'));
    // A long path breaks at its separators rather than widen the column.
    QString shown = text;
    shown.replace(QLatin1Char('/'), QStringLiteral("\u200B/"));
    ui->operationMessage->setText(shown);
    ui->operationMessage->setAccessibleName(text);
    ui->operationMessage->show();
    // The message lies over the legend's top: a tap goes through it to the
    // selector underneath.
    ui->busyFrame->setAttribute(Qt::WA_TransparentForMouseEvents, !ui->stopButton->isVisible());
    ui->busyFrame->show();
    messageTimer->start();
}

void MainWindow::showNotice()
{
    const cArchWorker::LoadReport &report = worker->loadReport;
    LoadNotes notes;
    notes.refused = report.refused;
    if (report.outOfMemory)
        notes.cut = LoadNotes::Cut::Memory;
    else if (report.truncated)
        notes.cut = LoadNotes::Cut::RecordCap;
    notes.files = report.notes;
    if (worker->archivePath == repairedPath) {
        notes.repairs = repairNotes;
        notes.leftovers = repairLeftovers;
    }
    notice->showNotes(notes);

    QString message;
    const QString dir = QDir::toNativeSeparators(worker->archivePath.chopped(1));
    const QString choose = QStringLiteral("\nВыберите каталог архива кнопкой «...»");
    switch (report.dir) {
    case archive::DirState::Missing:
        message = QStringLiteral("Нет архива: %1").arg(dir) + choose;
        break;
    case archive::DirState::NotADirectory:
        message = QStringLiteral("Нет архива: %1 — не каталог").arg(dir) + choose;
        break;
    case archive::DirState::Unreadable:
        message = QStringLiteral("Нет доступа к архиву: %1").arg(dir) + choose;
        break;
    case archive::DirState::Present:
        if (!report.refused && loadedRecords.isEmpty())
            message = QStringLiteral("В архиве нет данных за период");
        break;
    }
    plotMessage->setText(message);
    plotMessage->setAccessibleName(message);
    plotMessage->setVisible(!message.isEmpty());
}

void MainWindow::startPending()
{
    if (pendingRequests.isEmpty() || runningOperation != Operation::None)
        return;
    begin(pendingRequests.takeFirst());
}

void MainWindow::stopWorker()
{
    // Closing the window stops the running operation at its next hour file:
    // an export drops the CSV it was writing, a repair ends between two files,
    // each of which is replaced whole. What waits behind it is dropped. The
    // event loop no longer runs, so the thread is told to quit here instead
    // of through the worker's finished().
    pendingRequests.clear();
    worker->stopRequested = true;
    disconnect(worker, SIGNAL(finished()), this, nullptr);
    workerThread->quit();
    workerThread->wait();
    delete worker;
    delete workerThread;
    worker = nullptr;
    workerThread = nullptr;
}
