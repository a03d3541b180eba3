// Background operations of the main window: loading, CSV export and repair
// on the worker thread, one at a time, and the controls that request them.

#include "mainwindow.h"

#include "archexport.h"
#include "archformat.h"
#include "archload.h"
#include "archworker.h"
#include "ccustomperiod.h"
#include "cursorreadout.h"
#include "plotcursors.h"
#include "loadnotice.h"
#include "marksstrip.h"
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

void MainWindow::on_refreshButton_clicked()
{
    cacheBuildStopped = false;
    if (model.period().isLoadable())
        startLoad();
}

void MainWindow::on_dirButton_clicked()
{
    model.archiveDir = QFileDialog::getExistingDirectory(this, QString(), ui->pathToDir->text(),
                                                         QFileDialog::ShowDirsOnly);
    if (!model.archiveDir.isEmpty()) {
        ui->pathToDir->setText(model.archiveDir);
        on_refreshButton_clicked();
    }
}

void MainWindow::on_pathToDir_textEdited(const QString &arg1)
{
    model.archiveDir = arg1;
    if (!model.archiveDir.isEmpty())
        on_refreshButton_clicked();
}

void MainWindow::on_periodButton_clicked()
{
    // The dialog fills its edits from the shared values when it is built,
    // so they must hold the window's period before that, or it would open on
    // whatever the previous dialog left there.
    globalBegin = model.periodBegin;
    globalEnd = model.periodEnd;
    cCustomPeriod dialog(this);
    dialog.setModal(true);
    // Cancel leaves the period, its labels and the plot as they are.
    if (dialog.exec() == cCustomPeriod::Cancelled)
        return;
    model.periodBegin = globalBegin;
    model.periodEnd = globalEnd;
    showPeriod();
    if (model.period().isLoadable())
        startLoad();
}

void MainWindow::on_decodeButton_clicked()
{
    queue->submit(currentRequest(Operation::Export));
}

void MainWindow::startLoad()
{
    queue->submit(currentRequest(Operation::Load));
}

void MainWindow::startRepair()
{
    queue->submit(currentRequest(Operation::Repair));
}

MainWindow::Request MainWindow::currentRequest(Operation operation) const
{
    return Request{operation, model.archiveDir, model.periodBegin, model.periodEnd};
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
    ui->busyFrame->hide();
}

QString MainWindow::progressText(Operation operation, int done, int total)
{
    const QLocale locale = archive::russianLocale();
    if (operation == Operation::Repair) {
        // "из 21 файла", "из 400 файлов"
        const bool one = total % 10 == 1 && total % 100 != 11;
        return QStringLiteral("Исправление: %1 из %2 %3")
            .arg(locale.toString(done), locale.toString(total),
                 one ? QStringLiteral("файла") : QStringLiteral("файлов"));
    }
    return QStringLiteral("%1 из %2 ч").arg(locale.toString(done), locale.toString(total));
}

void MainWindow::showProgress(int done, int total)
{
    // One hour file is over before anyone could read a count.
    if (queue->running() == Operation::None || total < 2)
        return;
    const QString text = progressText(queue->running(), done, total);
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
    const OperationQueue::Stopped stopped = queue->stop();
    // A period that will not be loaded is not shown either; a stopped load
    // puts it back when it ends.
    if (stopped.loadDropped && queue->running() != Operation::Load) {
        model.keepShownPeriod();
        showPeriod();
    }
    if (stopped.stopping)
        ui->stopButton->setEnabled(false);
}

void MainWindow::endLoad()
{
    queue->finish();
    hideBusy();
    const Period period = model.loading;
    model.loading = Period();
    if (worker->loadReport.stopped) {
        // Nothing of the stopped period is shown: the plot, its cursors and
        // the period's labels stay on what was loaded before.
        model.keepShownPeriod();
        showPeriod();
        ui->periodButton->setEnabled(true);
        if (followAfterLoad) {
            followAfterLoad = false;
            QPushButton *follow = cursors->readout()->followButton();
            QSignalBlocker block(follow);
            follow->setChecked(false);
        }
    } else {
        showLoad(period, worker->archivePath, worker->records, worker->envelope,
                 worker->loadReport);
    }
    queue->startNext();
    resumeCacheBuild();
}

void MainWindow::showLoad(const Period &period, const QString &path,
                          const archive::RecordSeries &records,
                          const archive::SeriesEnvelope &envelope,
                          const cArchWorker::LoadReport &report)
{
    model.showLoad(period, path, records, envelope, report);
    // Only an archive that was there is the one to open next time.
    if (report.dir == archive::DirState::Present) {
        lastArchive = QDir::cleanPath(QDir(path).absolutePath());
        scheduleSave();
    }
    // The names are read at each load: another archive has its own.
    readNames();
    showNotice();
    updateFollowControls();
    emit needUpdate();
    if (followAfterLoad) {
        followAfterLoad = false;
        setFollowing(true);
    }
}

void MainWindow::endCopy()
{
    const Request request = queue->finish();
    hideBusy();
    showExportEnd(request);
    queue->startNext();
    resumeCacheBuild();
}

void MainWindow::endFix()
{
    queue->finish();
    hideBusy();
    model.repair = RepairNotes{worker->archivePath, worker->repairNotes, worker->repairLeftovers};
    queue->startNext();
    resumeCacheBuild();
}

void MainWindow::showExportEnd(const Request &request)
{
    const cArchWorker::ExportReport &report = worker->exportReport;
    const QLocale locale = archive::russianLocale();
    const QString dir = QDir::toNativeSeparators(request.dir);
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
    marks->showMessage(lines, dir);
    messageTimer->start();
}

void MainWindow::showNotice()
{
    notice->showNotes(model.notes());

    QString message;
    const QString dir = QDir::toNativeSeparators(model.shown.path.chopped(1));
    const QString choose = QStringLiteral("\nВыберите каталог архива кнопкой «...»");
    switch (model.shown.report.dir) {
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
        if (!model.shown.report.refused && model.shown.records.isEmpty())
            message = QStringLiteral("В архиве нет данных за период");
        break;
    }
    plotMessage->setText(message);
    plotMessage->setAccessibleName(message);
    plotMessage->setVisible(!message.isEmpty());
}

void MainWindow::stopWorker()
{
    // Closing the window stops the running operation at its next hour file;
    // what waits behind it is dropped.
    queue->shutDown();
    delete worker;
    delete workerThread;
    worker = nullptr;
    workerThread = nullptr;
}
