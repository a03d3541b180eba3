#include "livefollow.h"

#include "archformat.h"

#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <algorithm>

namespace {

// What is told of the files stays bounded however long following lasts: a
// file replaced every second for a week is told, but not 600 000 times.
constexpr int kMaxEvents = 200;

} // namespace

LiveFollow::LiveFollow(QObject *parent) : QObject(parent)
{
    lookTimer.setInterval(kLookMs);
    connect(&lookTimer, &QTimer::timeout, this, [this] { lookNow(); });
    soonTimer.setSingleShot(true);
    connect(&soonTimer, &QTimer::timeout, this, [this] { lookNow(); });
}

LiveFollow::~LiveFollow() = default;

bool LiveFollow::start(const QString &dir, const QString &lastFile, const Period &period,
                       const archive::RecordSeries &records,
                       const archive::SeriesEnvelope &envelope, bool averagedPeriod)
{
    stop();
    averaged = averagedPeriod;
    lengthSecs = period.secs();
    replaced = 0;
    int kept = records.size();
    if (averaged) {
        averager = std::make_unique<archive::FollowAverager>();
        // The load closed its last interval at the period's end; the
        // averaging takes it up again. Until it closes anew the load's
        // stays in sight, as a fresh load would show it.
        averager->resume(dir, records, period.begin, period.end);
        kept = records.size() & ~1;
        replaced = kept - (averager->keptRecords() & ~1);
        extremes.clear();
        try {
            extremes.resize(size_t(kept / 2));
        } catch (const std::bad_alloc &) {
            averager.reset();
            return false;
        }
        for (int i = 0; i < kept / 2; ++i) {
            for (int c = 0; c < kPlotChannelCount; ++c) {
                const archive::Extremes e = envelope.at(2 * i, c);
                extremes[size_t(i)].min[c] = e.min;
                extremes[size_t(i)].max[c] = e.max;
            }
        }
    }
    if (!series.reset(records, kept)) {
        averager.reset();
        return false;
    }
    follower = std::make_unique<archive::Follower>(
        archive::followStartAfterLoad(dir, lastFile, period.begin, period.end, !records.isEmpty()));
    current = FollowStep();
    current.period = period;
    current.records = series.series();
    current.envelope = averaged ? envelope : archive::SeriesEnvelope(current.records);
    watcher = new QFileSystemWatcher(this);
    connect(watcher, &QFileSystemWatcher::fileChanged, this, [this] { scheduleLook(); });
    connect(watcher, &QFileSystemWatcher::directoryChanged, this, [this] { scheduleLook(); });
    watch();
    sinceStep.start();
    lookTimer.start();
    return true;
}

void LiveFollow::stop()
{
    lookTimer.stop();
    soonTimer.stop();
    delete watcher;
    watcher = nullptr;
    follower.reset();
    averager.reset();
    series.reset(archive::RecordSeries());
    extremes.clear();
    extremes.shrink_to_fit();
}

qint64 LiveFollow::seriesBytes() const
{
    return series.heldBytes() + qint64(extremes.capacity() * sizeof(archive::IntervalExtremes));
}

qint64 LiveFollow::heldBytes() const
{
    return seriesBytes() + (follower ? follower->heldBytes() : 0);
}

void LiveFollow::watch()
{
    const QStringList paths = follower->watchPaths();
    const QStringList watched = watcher->files() + watcher->directories();
    if (paths == watched)
        return;
    if (!watched.isEmpty())
        watcher->removePaths(watched);
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            watcher->addPath(path);
    }
}

void LiveFollow::scheduleLook()
{
    // A burst of writes is one look, and steps come no faster than the
    // screen is redrawn for them.
    const int gap = 1000 / kStepsPerSecond;
    if (!soonTimer.isActive())
        soonTimer.start(int(std::max<qint64>(0, gap - sinceStep.elapsed())));
}

void LiveFollow::lookNow()
{
    look(QDateTime::currentMSecsSinceEpoch());
}

void LiveFollow::look(qint64 nowMs)
{
    if (!follower)
        return;
    const archive::FollowResult result = follower->poll(nowMs);
    bool grew = true;
    int added = 0;
    if (averager) {
        grew = averager->add(result.records);
        const archive::FollowedMeans closed = averager->takeClosed();
        added = closed.records.size();
        if (added > 0 && replaced > 0) {
            // The interval the load closed early is closed anew: the
            // series without it is copied once, since the series handed
            // out still show it.
            const int drop = std::min(replaced, series.size());
            grew = series.reset(series.series(), series.size() - drop);
            extremes.resize(extremes.size() - std::min(extremes.size(), size_t(drop / 2)));
            replaced = 0;
        }
        grew = grew && series.append(closed.records.constData(), closed.records.size());
        if (grew) {
            try {
                extremes.insert(extremes.end(), closed.extremes.cbegin(), closed.extremes.cend());
            } catch (const std::bad_alloc &) {
                grew = false;
            }
        }
    } else {
        added = result.records.size();
        grew = series.append(result.records.constData(), result.records.size());
    }
    for (const archive::FollowEvent &event : result.events) {
        if (current.events.size() < kMaxEvents)
            current.events << event;
    }
    current.stopped = result.stopped;
    current.outOfMemory = !grew;
    if (added > 0) {
        // The period ends at the present, its length as chosen; it never
        // goes back, also within the second its end was chosen in.
        const QDateTime end = std::max(current.period.end, QDateTime::fromMSecsSinceEpoch(nowMs));
        current.period = Period{end.addSecs(-lengthSecs), end};
        trim();
    }
    const bool news = added > 0 || !result.events.isEmpty() || result.stopped || !grew;
    if (news) {
        current.records = series.series();
        if (averaged) {
            archive::EnvelopeBuilder builder;
            bool built = builder.reserve(qint64(extremes.size()));
            for (size_t i = 0; built && i < extremes.size(); ++i)
                built = builder.append(extremes[i]);
            current.envelope =
                built ? builder.take(current.records.size()) : archive::SeriesEnvelope();
            current.outOfMemory = current.outOfMemory || !built;
        } else {
            current.envelope = archive::SeriesEnvelope(current.records);
        }
    }
    if (result.stopped || current.outOfMemory) {
        stop();
    } else {
        watch();
        if (result.more)
            scheduleLook();
    }
    if (news) {
        sinceStep.restart();
        emit stepped();
    }
}

void LiveFollow::trim()
{
    const qint64 begin = archive::archiveEpoch().secsTo(current.period.begin);
    const auto before = [begin](const ArchRecord &rec) {
        return qint64(quint32(rec.time)) < begin;
    };
    int drop = 0;
    if (averaged) {
        // An interval goes as a whole, once the record that ended it lies
        // before the period: the extremes stay one per pair of records.
        while (drop + 1 < series.size() && before(series.at(drop + 1)))
            drop += 2;
        extremes.erase(extremes.begin(), extremes.begin() + drop / 2);
    } else {
        while (drop < series.size() && before(series.at(drop)))
            ++drop;
    }
    series.dropFront(drop);
}
