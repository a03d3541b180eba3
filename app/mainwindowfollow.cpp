// Following the recorder: "СЛЕДИТЬ" keeps the period up with the hour being
// written; "◀" and "▶" step the period by its own length.

#include "mainwindow.h"

#include "archformat.h"
#include "archworker.h"
#include "cursorreadout.h"
#include "livefollow.h"
#include "plotcursors.h"
#include "ui_mainwindow.h"

#include <QPushButton>
#include <QTimer>

#include <qcustomplot.h>

namespace {

// A period ending this close to now is of the present: it can be followed.
constexpr qint64 kPresentSecs = 60;

} // namespace

void MainWindow::setupFollow()
{
    live = new LiveFollow(this);
    connect(live, &LiveFollow::stepped, this, [this] { showFollowStep(); });
    CursorReadout *readout = cursors->readout();
    connect(readout->followButton(), &QPushButton::toggled, this,
            [this](bool on) { setFollowing(on); });
    connect(readout->backButton(), &QPushButton::clicked, this, [this] { stepPeriod(-1); });
    connect(readout->forwardButton(), &QPushButton::clicked, this, [this] { stepPeriod(1); });
    // Whether the period is still of the present changes with the clock.
    auto *presentTimer = new QTimer(this);
    presentTimer->setInterval(5000);
    connect(presentTimer, &QTimer::timeout, this, [this] { updateFollowControls(); });
    presentTimer->start();
}

void MainWindow::updateFollowControls()
{
    QPushButton *follow = cursors->readout()->followButton();
    const qint64 behind = model.shown.period.end.secsTo(QDateTime::currentDateTime());
    const bool present = model.shown.report.dir == archive::DirState::Present &&
                         !model.shown.report.refused && behind <= kPresentSecs;
    follow->setEnabled(live->isOn() || (present && queue->running() == Operation::None));
    // Forward goes no further than the present.
    cursors->readout()->forwardButton()->setEnabled(behind > 0 && !live->isOn());
}

void MainWindow::setFollowing(bool on)
{
    QPushButton *follow = cursors->readout()->followButton();
    if (!on) {
        followAfterLoad = false;
        live->stop();
        updateFollowControls();
        return;
    }
    if (live->isOn())
        return;
    if (model.shown.followed && queue->running() == Operation::None) {
        // Followed before and then left: where the load ended is no longer
        // where the series does. The period is loaded anew, and followed
        // from where that load ends.
        followAfterLoad = true;
        startLoad();
        return;
    }
    const cArchWorker::LoadReport &report = model.shown.report;
    // Never beside an operation: the worker is the operator's.
    const bool started =
        queue->running() == Operation::None && report.end.isValid() &&
        live->start(model.shown.path, report.lastFile, Period{report.begin, report.end},
                    model.shown.records, model.shown.envelope, model.shown.averaged);
    if (!started) {
        QSignalBlocker block(follow);
        follow->setChecked(false);
    } else {
        // The window's series is the follower's now; the worker's copy of
        // the load would double the memory for as long as following lasts.
        worker->records.clear();
        worker->envelope = archive::SeriesEnvelope();
    }
    updateFollowControls();
}

void MainWindow::stopFollowing()
{
    if (!live->isOn())
        return;
    followAfterLoad = false;
    QPushButton *follow = cursors->readout()->followButton();
    QSignalBlocker block(follow);
    follow->setChecked(false);
    live->stop();
}

void MainWindow::showFollowStep()
{
    const FollowStep &step = live->step();
    QCustomPlot *customPlot = ui->customPlot;
    // A view the operator moved away from the period stays where it is;
    // one on the period moves with it.
    const QCPRange range = customPlot->xAxis->range();
    const double lower = plot::timeKey(model.shown.period.begin);
    const double upper = plot::timeKey(model.shown.period.end);
    keepViewRange = std::abs(range.lower - lower) > 1e-3 || std::abs(range.upper - upper) > 1e-3;

    model.periodBegin = step.period.begin;
    model.periodEnd = step.period.end;
    model.shown.period = step.period;
    model.shown.records = step.records;
    model.shown.envelope = step.envelope;
    model.shown.relays =
        plot::RelayLanes(step.records, archive::archiveEpoch(), model.shown.averaged);
    model.shown.followEvents = step.events;
    model.shown.followed = true;
    showPeriod();
    if (!step.events.isEmpty())
        showNotice();
    updateData();
    keepViewRange = false;
    if (!live->isOn()) {
        // The archive is gone, or the series could not grow: said in the
        // notice, and the control says following has ended.
        stopFollowing();
        showNotice();
    }
    updateFollowControls();
}

void MainWindow::stepPeriod(int direction)
{
    const qint64 length = model.period().secs();
    if (length <= 0)
        return;
    stopFollowing();
    QDateTime begin = model.periodBegin.addSecs(direction * length);
    QDateTime end = model.periodEnd.addSecs(direction * length);
    const QDateTime now = QDateTime::currentDateTime();
    if (end > now) {
        end = now;
        begin = now.addSecs(-length);
    }
    model.periodBegin = begin;
    model.periodEnd = end;
    showPeriod();
    startLoad();
}
