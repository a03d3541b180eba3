#include "summaryhour.h"

#include <QFile>

#include <algorithm>
#include <libdeflate.h>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace archive {

namespace {

// An hour file is read in one go up to this size (a recorder's hour is a
// few MiB); a larger one, which only damage makes, a window at a time.
constexpr qint64 kWholeReadLimit = 64 * 1024 * 1024;
// How much of the hour file before the end of the summary an entry of a
// growing file remembers (as a CRC32), to tell a file that grew from one
// that was replaced.
constexpr qint64 kTailBytes = 4096;
constexpr size_t kKeptBuffer = 8 * 1024 * 1024;

// The level an hour is given in: the one asked for where its bins lie
// inside the period, else its 60 s bins, which the period's ends cut.
int levelFor(const HourNeed &need, quint32 first, int size)
{
    if (need.level <= 0 || size == 0)
        return 0;
    const qint64 secs = kSummaryLevelSecs[need.level];
    const qint64 begin = qint64(first) * kSummaryBinSecs / secs * secs;
    const qint64 end = ((qint64(first) + size - 1) * kSummaryBinSecs / secs + 1) * secs;
    return begin >= need.periodBegin && end <= need.periodEnd ? need.level : 0;
}

// Gives up what was not asked for, so that the hours in flight hold little.
void keepOnly(SummaryLevel &level, const HourNeed &need)
{
    for (int c = 0; c < kPlotChannelCount; ++c) {
        if (!need.channels.test(size_t(c)))
            level.channels[size_t(c)].clear();
    }
    if (!need.relays) {
        for (RelayBins &relay : level.relays)
            relay.clear();
    }
}

} // namespace

void HourResolver::resolve(const SummaryStore *store, const QString &path, const QString &name,
                           const HourNeed &need, HourAnswer &answer)
{
    answer.origin = HourOrigin::Absent;
    answer.toppedUp = answer.finalized = answer.rejected = false;
    answer.failure.clear();
    answer.cacheError.clear();
    answer.header = EntryHeader();
    answer.level.clear();
    HourFileKey key;
    QString error;
    switch (statHourFile(path, key, &error)) {
    case HourFileState::Absent:
        return;
    case HourFileState::Unknown:
        answer.origin = HourOrigin::Failed;
        answer.failure = error;
        return;
    case HourFileState::NotRegular:
        answer.origin = HourOrigin::Failed;
        answer.failure = QStringLiteral("cannot read %1: not a regular file").arg(path);
        return;
    case HourFileState::Present:
        break;
    }
    // Where the hour's records may lie, worked out only when a summary is
    // made: local time conversions cost more than reading a valid entry.
    HourWindow window;
    bool windowKnown = false;
    auto windowOf = [&]() -> const HourWindow & {
        if (!windowKnown)
            windowKnown = HourWindow::of(name, window);
        return window;
    };
    // Finished: its hour has been over, and the file unchanged, for a while.
    auto finished = [&](const HourFileKey &k) {
        return k.modifiedNs / 1000000000 <= need.now - kSummaryOpenGraceSecs &&
               need.now >= need.epoch + windowOf().hourEnd + kSummaryOpenGraceSecs;
    };

    if (store && store->usable() && entry.openFile(store->entryPath(name))) {
        if (!entry.readHeader() || entry.header().hour != name) {
            answer.rejected = true;
        } else {
            const EntryHeader &h = entry.header();
            const HourFileKey stored{h.sourceSize, h.sourceModifiedNs};
            const bool closing = h.open && key == stored && finished(key);
            const bool grown = h.open && key.size > h.sourceSize;
            if (key == stored && !(closing && need.readFiles)) {
                answer.header = h;
                if (need.level < 0) {
                    answer.origin = HourOrigin::Cache;
                    entry.close();
                    return;
                }
                if (entry.readLevel(levelFor(need, h.first, h.size), need.channels, need.relays,
                                    answer.level)) {
                    answer.origin = HourOrigin::Cache;
                    entry.close();
                    return;
                }
                answer.rejected = true;
            } else if ((closing || grown) && need.readFiles) {
                if (!windowOf().end || !decodeStored(window)) {
                    answer.rejected = true;
                } else if (closing) {
                    answer.finalized = true;
                    answer.origin = HourOrigin::Cache;
                    finish(store, name, key, true, need, answer);
                    entry.close();
                    return;
                } else {
                    HourFileKey now;
                    if (topUp(path, now)) {
                        answer.toppedUp = true;
                        answer.origin = HourOrigin::File;
                        finish(store, name, now, finished(now), need, answer);
                        entry.close();
                        return;
                    }
                }
            }
        }
        entry.close();
    }
    if (!need.readFiles) {
        answer.origin = HourOrigin::Uncovered;
        return;
    }
    if (!windowOf().end) {
        answer.origin = HourOrigin::Failed;
        answer.failure = QStringLiteral("cannot read %1: not named after an hour").arg(path);
        return;
    }
    summary.start(window);
    QString failure;
    bool large = false;
    if (!build(path, key, failure, large)) {
        answer.origin = HourOrigin::Failed;
        answer.failure = failure;
        return;
    }
    answer.origin = HourOrigin::File;
    // A file too large to hold is no recorder's: it is not topped up.
    finish(store, name, key, large || finished(key), need, answer);
}

bool HourResolver::decodeStored(const HourWindow &window)
{
    const EntryHeader h = entry.header();
    SummaryLevel level60;
    if (!entry.readLevel(0, h.channelMask, true, level60))
        return false;
    summary.resume(window, level60);
    summary.entries = h.entries;
    summary.undecoded = h.undecoded;
    summary.outside = h.outside;
    summary.damage = h.damage;
    summary.cutShort = h.cutShort;
    summary.summarisedBytes = h.summarisedBytes;
    summary.tail = h.tail;
    return true;
}

bool HourResolver::topUp(const QString &path, HourFileKey &key)
{
    const EntryHeader h = entry.header();
    const qint64 from = h.summarisedBytes - h.tailLength;
    QString error;
    if (readRange(path, from, key, error) != Read::Whole || bufferSize < qint64(h.tailLength) ||
        key.size < h.summarisedBytes)
        return false;
    // The bytes before where the summary stopped are what they were: the
    // file grew, it was not replaced.
    if (libdeflate_crc32(0, buffer.data(), size_t(h.tailLength)) != h.tailCrc)
        return false;
    reader.openBytes(buffer.data() + h.tailLength, bufferSize - h.tailLength);
    summary.addEntries(reader, h.summarisedBytes);
    return true;
}

bool HourResolver::build(const QString &path, HourFileKey &key, QString &failure, bool &large)
{
    QString error;
    const Read read = readRange(path, 0, key, error);
    if (read == Read::Failed) {
        failure = QStringLiteral("cannot read %1: %2").arg(path, error);
        return false;
    }
    large = read == Read::TooLarge;
    if (large) {
        if (!reader.open(path, 4 * 1024 * 1024)) {
            failure = QStringLiteral("cannot read %1: %2").arg(path, reader.errorString());
            return false;
        }
        key = {reader.openedSize(), reader.openedModifiedNs()};
        summary.addEntries(reader, 0);
        reader.trim();
        return true;
    }
    reader.openBytes(buffer.data(), bufferSize);
    summary.addEntries(reader, 0);
    return true;
}

void HourResolver::finish(const SummaryStore *store, const QString &name, const HourFileKey &key,
                          bool finished, const HourNeed &need, HourAnswer &answer)
{
    // A summary that may be topped up remembers the bytes before where it
    // stopped; one whose bytes are not at hand is closed instead.
    const qint64 end = summary.summarisedBytes;
    const qint64 length = std::min(kTailBytes, end);
    const bool tailAtHand = end - length >= bufferFrom && end <= bufferFrom + bufferSize;
    if (finished || !tailAtHand)
        summary.close();
    EntryHeader h = summaryHeader(summary);
    h.hour = name;
    h.sourceSize = key.size;
    h.sourceModifiedNs = key.modifiedNs;
    if (h.open) {
        h.tailLength = quint32(length);
        h.tailCrc = quint32(
            libdeflate_crc32(0, buffer.data() + (end - length - bufferFrom), size_t(length)));
    }
    const SummaryLevel level60 = summary.level60();
    h.first = level60.first;
    h.size = level60.size;
    h.relayMask = level60.relayMask;
    h.channelMask = level60.channelMask;
    answer.header = h;
    if (need.writeBack && store && store->writable()) {
        QString error;
        if (!store->writeEntry(name, encodeSummaryEntry(h, level60), &error))
            answer.cacheError = error;
    }
    if (need.level >= 0) {
        const int level = levelFor(need, level60.first, level60.size);
        answer.level = level == 0 ? level60 : coarsenLevel(level60, kSummaryLevelSecs[level]);
        keepOnly(answer.level, need);
    }
    if (buffer.capacity() > kKeptBuffer)
        std::vector<char>().swap(buffer);
}

HourResolver::Read HourResolver::readRange(const QString &path, qint64 from, HourFileKey &key,
                                           QString &error)
{
    bufferFrom = from;
    bufferSize = 0;
#ifdef Q_OS_UNIX
    // Opened without blocking and checked on the descriptor: a FIFO named
    // like an hour file must not hang the reader.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = qt_error_string(errno);
        return Read::Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = QStringLiteral("not a regular file");
        ::close(fd);
        return Read::Failed;
    }
    key.size = st.st_size;
    key.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (from > key.size || key.size - from > kWholeReadLimit) {
        ::close(fd);
        return from > key.size ? Read::Failed : Read::TooLarge;
    }
    buffer.resize(size_t(key.size - from));
    qint64 have = 0;
    while (have < qint64(buffer.size())) {
        const ssize_t got =
            ::pread(fd, buffer.data() + have, buffer.size() - size_t(have), from + have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = qt_error_string(errno);
            ::close(fd);
            return Read::Failed;
        }
        if (got == 0)
            break; // the file shrank: what is there is all there is
        have += got;
    }
    ::close(fd);
    bufferSize = have;
    return Read::Whole;
#else
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return Read::Failed;
    }
    key.size = file.size();
    key.modifiedNs = file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() * 1000000;
    if (from > key.size || key.size - from > kWholeReadLimit)
        return from > key.size ? Read::Failed : Read::TooLarge;
    file.seek(from);
    const QByteArray bytes = file.read(key.size - from);
    buffer.assign(bytes.begin(), bytes.end());
    bufferSize = bytes.size();
    return Read::Whole;
#endif
}

} // namespace archive
