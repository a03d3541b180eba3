// Background operations of the main window: loading, CSV export and repair
// on the worker thread, one at a time, and the controls that request them.

#include "mainwindow.h"

#include "archload.h"
#include "archworker.h"
#include "ccustomperiod.h"
#include "loadnotice.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QThread>

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
    showBusy();
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
    showBusy();
    workerThread->start(QThread::LowestPriority);
}

void MainWindow::beginRepair(const Request &request)
{
    connect(workerThread, SIGNAL(started()), worker, SLOT(fixArchive()));
    connect(worker, SIGNAL(finished()), this, SLOT(endFix()));
    worker->setPath(request.dir);
    showBusy();
    ui->periodButton->setEnabled(false);
    workerThread->start(QThread::LowestPriority);
}

void MainWindow::showBusy()
{
    ui->loadArchive->show();
    busyMovie.start();
}

// What every finish slot does first: the busy animation stops and the
// operation's two connections go, so that the next operation starts clean.
void MainWindow::finishOperation(const char *workerSlot, const char *finishSlot)
{
    busyMovie.stop();
    ui->loadArchive->hide();
    disconnect(workerThread, SIGNAL(started()), worker, workerSlot);
    disconnect(worker, SIGNAL(finished()), this, finishSlot);
    runningOperation = Operation::None;
}

void MainWindow::endLoad()
{
    finishOperation(SLOT(run()), SLOT(endLoad()));
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
    startPending();
}

void MainWindow::endFix()
{
    finishOperation(SLOT(fixArchive()), SLOT(endFix()));
    repairedPath = worker->archivePath;
    repairFailures = worker->repairFailures;
    repairLater = worker->repairLater;
    startPending();
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
    notes.unreadable = report.failures;
    notes.damaged = report.damageNotes + report.partlyRead;
    if (worker->archivePath == repairedPath) {
        notes.notRepaired = repairFailures;
        notes.repairLater = repairLater;
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
    // Closing the window must not cut an export or a repair off in the middle
    // of a file: let the running operation finish, then end the thread. The
    // event loop no longer runs, so the thread is told to quit here instead
    // of through the worker's finished().
    pendingRequests.clear();
    disconnect(worker, SIGNAL(finished()), this, nullptr);
    workerThread->quit();
    workerThread->wait();
    delete worker;
    delete workerThread;
    worker = nullptr;
    workerThread = nullptr;
}
