#include "follower.h"

#include "archformat.h"
#include "filenote.h"
#include "hourwalk.h"

#include <algorithm>

namespace archive {

namespace {

// Hour files taken up in one poll at most: a recorder that skipped hours
// and a follower that was not polled for long are caught up over polls.
constexpr int kFilesPerPoll = 4;

QDateTime hourOfName(const QString &fileName)
{
    QString name = fileName;
    name.chop(4); // ".dat"
    return QDateTime::fromString(name, QString::fromLatin1(kHourFormat));
}

} // namespace

QString followEventNote(const FollowEvent &event)
{
    const QString &f = event.file;
    switch (event.kind) {
    case FollowEvent::Replaced:
        return QStringLiteral("%1 was replaced: read again from its start, past the records taken")
            .arg(f);
    case FollowEvent::Truncated:
        return QStringLiteral("%1 got shorter than what was read: read again from its start, past "
                              "the records taken")
            .arg(f);
    case FollowEvent::Rewritten:
        return QStringLiteral("%1 was rewritten: read again from its start, past the records taken")
            .arg(f);
    case FollowEvent::Removed:
        return QStringLiteral("%1 was removed").arg(f);
    case FollowEvent::Unreadable:
        return QStringLiteral("cannot read %1: %2").arg(f, event.detail);
    case FollowEvent::Damaged:
    case FollowEvent::Undecoded: {
        FileNote note;
        note.path = f;
        note.rest = event.kind == FollowEvent::Damaged ? event.damage : Damage::None;
        note.undecoded = event.kind == FollowEvent::Undecoded ? event.count : 0;
        return noteText(note);
    }
    case FollowEvent::CutShort:
        return QStringLiteral("damaged: %1: its last entry was left incomplete").arg(f);
    case FollowEvent::ClockBack:
        return QStringLiteral("%1: %2 records earlier than the last one taken are left out: the "
                              "clock went back")
            .arg(f)
            .arg(event.count);
    case FollowEvent::Future:
        return QStringLiteral("%1: %2 records more than %3 s ahead of the present are left out")
            .arg(f)
            .arg(event.count)
            .arg(kFollowFutureSecs);
    case FollowEvent::ClockBehind:
        return QStringLiteral("the present lies before the hour of %1: the clock went back").arg(f);
    case FollowEvent::ArchiveGone:
        return QStringLiteral("the archive %1 is gone: following has stopped").arg(f);
    }
    return f;
}

Follower::Follower(const FollowStart &start)
    : dirPath(start.dirPath), epochMs(archiveEpoch().toMSecsSinceEpoch()), hasLast(start.hasLast),
      lastTime(quint32(start.lastTime)), atLastTime(start.atLastTime)
{
    takeUp(start.fileName);
    tail.follow(dirPath + fileName, start.offset, start.entries);
}

void Follower::takeUp(const QString &name)
{
    fileName = name;
    tail.follow(dirPath + name);
    hourStart = hourOfName(name);
    if (!hourStart.isValid())
        hourStart = QDateTime::currentDateTime();
    lookFrom = hourStart;
    // Where the zone shortens or repeats an hour, it ends where the next
    // hour's name begins.
    const QList<HourSpan> spans = hourSpans(hourStart, hourStart);
    hourStartMs = hourStart.toMSecsSinceEpoch();
    hourEndMs = spans.isEmpty() ? hourStartMs + 3600 * 1000 : spans.first().endSecs * 1000;
    present = false;
    missingTold = false;
    unreadableTold.clear();
    damageTold = false;
    behindTold = false;
}

QStringList Follower::watchPaths() const
{
    QString dir = dirPath;
    dir.chop(1);
    QStringList paths{dir};
    if (present)
        paths << tail.path();
    return paths;
}

void Follower::tell(FollowResult &result, FollowEvent::Kind kind, int count, const QString &detail)
{
    // Counts of one kind and file add up within a poll.
    for (FollowEvent &event : result.events) {
        if (count > 0 && event.kind == kind && event.file == tail.path()) {
            event.count += count;
            return;
        }
    }
    FollowEvent event{kind, tail.path(), count, tail.damage(), detail};
    result.events.append(event);
}

FollowResult Follower::poll()
{
    return poll(QDateTime::currentMSecsSinceEpoch());
}

FollowResult Follower::poll(qint64 nowMs)
{
    FollowResult result;
    if (gone) {
        result.stopped = true;
        return result;
    }
    if (!behindTold && hourStartMs > nowMs + 3600 * 1000) {
        behindTold = true;
        tell(result, FollowEvent::ClockBehind);
    }
    qint64 bytesLeft = kFollowPollBytes;
    int recordsLeft = kFollowPollRecords;
    QString next; // a later hour file that exists
    int filesTaken = 0;
    // Each round takes entries (as far as the bounds let it), looks for a
    // later file, or moves on to it.
    for (int round = 0; round < 4 * kFilesPerPoll; ++round) {
        const int took = readCurrent(nowMs, bytesLeft, recordsLeft, result);
        if (gone || result.more)
            break;
        if (next.isEmpty()) {
            // While the hour lasts, no later hour has begun.
            if (nowMs < hourEndMs)
                break;
            next = findNext(nowMs);
            if (next.isEmpty())
                break;
            continue; // the file is read to its end once more before it is left
        }
        if (took > 0)
            continue;
        if (tail.halfEntry() && tail.damage() == Damage::None && present) {
            if (nowMs - tail.changedAtMs() < kFollowCutGraceMs)
                break;
            tell(result, FollowEvent::CutShort);
        }
        if (filesTaken == kFilesPerPoll) {
            result.more = true;
            break;
        }
        takeUp(next);
        ++filesTaken;
        result.filesTakenUp.append(tail.path());
        next.clear();
    }
    result.stopped = gone;
    return result;
}

int Follower::readCurrent(qint64 nowMs, qint64 &bytesLeft, int &recordsLeft, FollowResult &result)
{
    const TailLook look = tail.look(bytesLeft, recordsLeft, nowMs);
    if (look.status == TailLook::Missing) {
        const DirState dir = archiveDirState(dirPath);
        if (dir == DirState::Missing || dir == DirState::NotADirectory) {
            gone = true;
            FollowEvent event{FollowEvent::ArchiveGone, dirPath, 0, Damage::None, QString()};
            result.events.append(event);
            return 0;
        }
        if (present && !missingTold)
            tell(result, FollowEvent::Removed);
        missingTold = missingTold || present;
        present = false;
        return 0;
    }
    if (look.status == TailLook::Unreadable) {
        if (look.error != unreadableTold)
            tell(result, FollowEvent::Unreadable, 0, look.error);
        unreadableTold = look.error;
        present = false;
        return 0;
    }
    present = true;
    missingTold = false;
    unreadableTold.clear();
    if (look.restart != TailRestart::None) {
        tell(result, look.restart == TailRestart::Replaced    ? FollowEvent::Replaced
                     : look.restart == TailRestart::Truncated ? FollowEvent::Truncated
                                                              : FollowEvent::Rewritten);
        resyncing = hasLast;
        staleAtLast = 0;
        damageTold = false;
    }
    const std::vector<EntryView> &entries = tail.entries();
    int future = 0, back = 0, undecoded = 0;
    ArchRecord rec;
    for (const EntryView &entry : entries) {
        const bool decoded = decodeEntry(entry, rec);
        if (handOn(rec, nowMs, future, back)) {
            result.records.append(rec);
            undecoded += decoded ? 0 : 1;
        }
        bytesLeft -= 8 + entry.size;
    }
    const int took = int(entries.size());
    recordsLeft -= took;
    tail.take(took);
    result.more = look.more || (recordsLeft <= 0 && took > 0) || (bytesLeft <= 0 && took > 0);
    if (undecoded > 0)
        tell(result, FollowEvent::Undecoded, undecoded);
    if (future > 0)
        tell(result, FollowEvent::Future, future);
    if (back > 0)
        tell(result, FollowEvent::ClockBack, back);
    if (tail.damage() != Damage::None && !damageTold) {
        damageTold = true;
        tell(result, FollowEvent::Damaged);
    }
    return took;
}

bool Follower::handOn(const ArchRecord &rec, qint64 nowMs, int &future, int &back)
{
    const quint32 time = quint32(rec.time);
    if (resyncing) {
        // Read again from the start: what the follower has taken already
        // comes first, up to its last record.
        if (time < lastTime || (time == lastTime && staleAtLast < atLastTime)) {
            staleAtLast += time == lastTime ? 1 : 0;
            return false;
        }
        resyncing = false;
    }
    if (epochMs + qint64(time) * 1000 > nowMs + qint64(kFollowFutureSecs) * 1000) {
        ++future;
        return false;
    }
    if (hasLast && time < lastTime) {
        ++back;
        return false;
    }
    if (hasLast && time == lastTime) {
        ++atLastTime;
    } else {
        hasLast = true;
        lastTime = time;
        atLastTime = 1;
    }
    return true;
}

QString Follower::findNext(qint64 nowMs)
{
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(nowMs);
    const QDateTime until = std::min(now, lookFrom.addSecs(3600 * kFollowLookAheadHours));
    if (until < lookFrom)
        return QString();
    const QList<HourSpan> spans = hourSpans(lookFrom, until);
    const QString current = fileName.chopped(4);
    for (const HourSpan &span : spans) {
        // A file of an hour that has not begun holds no record of now; a
        // recorder's clock a little ahead is waited for.
        if (span.name == current || span.beginSecs * 1000 > nowMs)
            continue;
        const QString name = span.name + QStringLiteral(".dat");
        if (hourFilePresence(dirPath + name) == Presence::Present)
            return name;
    }
    // The hours looked at have no file: the next poll goes on after them,
    // but always looks at the hour before the present and the present's,
    // whose files the recorder may yet write.
    if (!spans.isEmpty()) {
        const QDateTime after = QDateTime::fromSecsSinceEpoch(spans.last().endSecs);
        lookFrom = std::max(lookFrom, std::min(after, now.addSecs(-3600)));
    }
    return QString();
}

} // namespace archive
