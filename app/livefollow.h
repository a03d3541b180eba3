#ifndef LIVEFOLLOW_H
#define LIVEFOLLOW_H

#include "followaverager.h"
#include "follower.h"
#include "recordseries.h"
#include "seriesenvelope.h"
#include "viewmodel.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

class QFileSystemWatcher;

// What following has brought since the load: the series and the period to
// show, and what happened to the files on the way.
struct FollowStep
{
    Period period;
    archive::RecordSeries records;
    archive::SeriesEnvelope envelope;
    QList<archive::FollowEvent> events; // all of them since following began
    bool stopped = false;               // the archive is gone: following has ended
    bool outOfMemory = false;           // the series could not grow: following has ended
};

// Keeps a loaded period up with the recorder: the records the follower hands
// on are appended, the period's end moves to the present and its start
// with it, so that the records at the start leave the series. Interval
// means go on as a load of the longer period makes them, an interval
// appearing when it closes. The archive is looked at when the file system
// says it changed, and once a second where it says nothing; a step is
// offered (stepped()) only when something new arrived, and at most
// kStepsPerSecond times a second.
class LiveFollow : public QObject
{
    Q_OBJECT

public:
    static constexpr int kLookMs = 1000;
    static constexpr int kStepsPerSecond = 25;

    explicit LiveFollow(QObject *parent = nullptr);
    ~LiveFollow() override;

    // Takes up following where a load of `period` (as the load measured it)
    // from `dir` ended with `records`, `lastFile` being the newest hour file
    // of its walk. False, with nothing started, where the memory for the
    // series cannot be had.
    bool start(const QString &dir, const QString &lastFile, const Period &period,
               const archive::RecordSeries &records, const archive::SeriesEnvelope &envelope,
               bool averaged);
    void stop();
    bool isOn() const { return follower != nullptr; }

    // Looks at the archive now, with the present given (milliseconds since
    // 1970); the watch and the timer call it with the clock's.
    void look(qint64 nowMs);
    const FollowStep &step() const { return current; }
    // The memory held between looks: the series' block, the intervals'
    // extremes and the follower's buffer, in bytes.
    qint64 heldBytes() const;
    // Of that, the series' block and the intervals' extremes.
    qint64 seriesBytes() const;

signals:
    // step() holds something new.
    void stepped();

private:
    void lookNow();
    void scheduleLook();
    void watch();
    // Drops what lies before the period's start.
    void trim();

    std::unique_ptr<archive::Follower> follower;
    std::unique_ptr<archive::FollowAverager> averager;
    archive::FollowedSeries series;
    std::vector<archive::IntervalExtremes> extremes; // of interval means, one per interval
    qint64 lengthSecs = 0;
    // Records at the series' end that the averaging makes anew: the load's
    // last interval, closed at its end, until it closes for good.
    int replaced = 0;
    bool averaged = false;
    FollowStep current;
    QTimer lookTimer;
    QTimer soonTimer;
    QElapsedTimer sinceStep;
    QFileSystemWatcher *watcher = nullptr;
};

#endif // LIVEFOLLOW_H
