#ifndef FOLLOWER_H
#define FOLLOWER_H

#include "archrecord.h"
#include "entrytail.h"
#include "followstart.h"
#include "hourfilereader.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace archive {

// Bounds of one poll: what a recorder writes in ten minutes at ten records
// a second, in at most this many new bytes (more if one entry needs more).
// A poll that stops at a bound says so (FollowResult::more).
constexpr int kFollowPollRecords = 6000;
constexpr qint64 kFollowPollBytes = 1024 * 1024;
// A record further than this ahead of the present is no record of now.
constexpr int kFollowFutureSecs = 3600;
// An hour file that ends inside an entry once a later hour file exists is
// given this long since it last changed to be finished; then it counts as
// cut short and the later file is taken up.
constexpr int kFollowCutGraceMs = 5000;
// Hour names whose files are looked for in one poll, from the hour after the
// one followed up to the hour of the present.
constexpr int kFollowLookAheadHours = 48;

// What happened while following, per file.
struct FollowEvent
{
    enum Kind {
        Replaced,    // another file stands at the path: read again from its start
        Truncated,   // the file got shorter than what was read: read again from its start
        Rewritten,   // the bytes before the offset changed: read again from its start
        Removed,     // the file followed is gone; a later hour or the same file is waited for
        Unreadable,  // it cannot be opened or read (`detail` says why)
        Damaged,     // an entry no record takes, or too many: nothing more is read of it
        CutShort,    // it ended inside an entry when a later hour was taken up
        Undecoded,   // `count` entries did not decode: handed on with their time alone
        ClockBack,   // `count` records earlier than the last one taken were left out
        Future,      // `count` records more than kFollowFutureSecs ahead were left out
        ClockBehind, // the present lies more than an hour before the hour followed
        ArchiveGone  // the archive directory is gone: following has stopped
    };
    Kind kind;
    QString file; // the hour file, or the directory for ArchiveGone
    int count = 0;
    Damage damage = Damage::None;
    QString detail;
};

// One line for a person, in the words of the load's notes.
QString followEventNote(const FollowEvent &event);

// What one poll found.
struct FollowResult
{
    // The new whole records, in file order, each once, their times never
    // going back: each at or after the one before it and the last one taken.
    QVector<ArchRecord> records;
    QList<FollowEvent> events;
    QStringList filesTakenUp; // hour files taken up at the turn of an hour, in order
    bool more = false;        // a bound ended the poll: poll again soon
    bool stopped = false;     // the archive is gone: following has ended
};

// Follows the recorder through its archive: hands on each new whole record
// once, in order, as the recorder appends it. It has no thread or timer of
// its own: the caller polls, once a second or when watchPaths() change.
//
// Each poll reads only what follows the last whole entry taken of the hour
// file being followed; half an entry waits for its rest. When that file has
// nothing new, or its hour is over, the hour files of the following hours up
// to the hour of the present are looked for (at most kFollowLookAheadHours
// names a poll, going on from there in the next); the first that exists is
// taken up, once the file before it was read to its end once more (an entry
// left half written gets kFollowCutGraceMs). A file of an hour that has not
// begun is not taken up yet. An hour the recorder skipped is waited for no
// longer than that: a later file ends the wait.
//
// Records older than the last one taken (a clock set back), records far in
// the future, a file replaced, truncated or rewritten, a file removed or
// unreadable, are told in FollowResult::events and never handed on as new:
// a file read again from its start hands on only what follows the last
// record taken, told by its time (and, within the last second, by how many
// of that second were taken). Following stops by itself only when the
// archive directory is gone.
//
// How the window uses it: after a load of [begin, end), follow from
// followStartAfterLoad(); append each poll's records to the series in
// order (a record-by-record series takes them as they are; for interval
// means see FollowAverager). The period's end is the present, so records
// at the period's start leave it; that trimming is the caller's.
class Follower
{
public:
    explicit Follower(const FollowStart &start);

    FollowResult poll();
    // The same, with the present given (milliseconds since 1970).
    FollowResult poll(qint64 nowMs);

    // The directory (for new hour files) and the file followed (for appends).
    QStringList watchPaths() const;
    QString currentFile() const { return tail.path(); }
    bool stopped() const { return gone; }
    // Memory kept between polls.
    qint64 heldBytes() const { return tail.bufferBytes(); }

private:
    int readCurrent(qint64 nowMs, qint64 &bytesLeft, int &recordsLeft, FollowResult &result);
    bool handOn(const ArchRecord &rec, qint64 nowMs, int &future, int &back);
    QString findNext(qint64 nowMs);
    void takeUp(const QString &name);
    void tell(FollowResult &result, FollowEvent::Kind kind, int count = 0,
              const QString &detail = QString());

    const QString dirPath;
    const qint64 epochMs;
    QString fileName;
    QDateTime hourStart; // the start of the hour followed
    qint64 hourStartMs = 0;
    qint64 hourEndMs = 0; // when the next hour begins
    QDateTime lookFrom;   // hours before this were looked for already
    EntryTail tail;
    bool hasLast = false;
    quint32 lastTime = 0;
    int atLastTime = 0;
    // After a restart, the records up to the last one taken are passed over.
    bool resyncing = false;
    int staleAtLast = 0;
    bool present = false; // the file followed was there at the last look
    bool missingTold = false;
    QString unreadableTold;
    bool damageTold = false;
    bool behindTold = false;
    bool gone = false;
};

} // namespace archive

#endif // FOLLOWER_H
