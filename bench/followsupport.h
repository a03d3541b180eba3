#ifndef FOLLOWSUPPORT_H
#define FOLLOWSUPPORT_H

#include "archformat.h"
#include "archrecord.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// A recorder appending to a temporary archive in real time, and the least
// work following it needs, for the benchmarks of following.
namespace bench {

using Clock = std::chrono::steady_clock;

// The record's number rides in its last counter, so that its hand-on can be
// matched with its write.
constexpr int kSeqCounter = kCounterMax - 1;
// Where that counter lies in a payload of every channel.
constexpr int kSeqOffset = 7 + 4 * (kAInMax + kSeqCounter);

double threadCpuSeconds();
QByteArray entryBytes(const ArchRecord &rec);
bool appendEntry(const QString &path, const QByteArray &bytes);

// Appends one full record at the start of every second, as a recorder does,
// and notes when each write returned.
class LiveRecorder
{
public:
    explicit LiveRecorder(const QString &dir) : dir(dir), writtenAt(100000) {}
    ~LiveRecorder() { stop(); }

    void start();
    void stop();
    int written() const { return count.load(); }
    Clock::time_point when(int seq) const { return writtenAt[size_t(seq) % writtenAt.size()]; }

private:
    const QString dir;
    std::vector<Clock::time_point> writtenAt;
    std::atomic<int> count{0};
    std::atomic<bool> stopping{false};
    std::thread thread;
};

// The least work following needs: a stat of the hour file, a pread of what
// was appended, and each whole entry inflated the fastest way we know (a
// payload deflate stored as it is taken from the entry, its checksum
// verified; anything else through libdeflate).
class FloorTail
{
public:
    explicit FloorTail(const QString &dir) : dir(dir) {}
    ~FloorTail() { closeFile(); }

    // The numbers of the records read, into `seqs`.
    void poll(std::vector<int> &seqs);

private:
    void closeFile();
    void read(std::vector<int> &seqs);

    const QString dir;
    QByteArray path;
    int fd = -1;
    qint64 hourEndMs = 0;
    qint64 offset = 0;
    std::vector<char> bytes;
};

} // namespace bench

#endif // FOLLOWSUPPORT_H
