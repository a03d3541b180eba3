#include "followsupport.h"

#include "entrycodec.h"
#include "simulatedrecorder.h"

#include <QDataStream>
#include <QDateTime>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace archive;

namespace bench {

double threadCpuSeconds()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec / 1e9;
}

QByteArray entryBytes(const ArchRecord &rec)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    writeEntry(out, rec.time, encodePayload(rec));
    return bytes;
}

bool appendEntry(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    return ok;
}

void LiveRecorder::start()
{
    thread = std::thread([this] {
        const SimulatedRecorder recorder(ChannelSet::full());
        const QDateTime epoch = archiveEpoch();
        while (!stopping) {
            const QDateTime now = QDateTime::currentDateTime();
            const qint64 msToNext = 1000 - now.time().msec();
            std::this_thread::sleep_for(std::chrono::milliseconds(msToNext));
            if (stopping)
                break;
            const QDateTime at = QDateTime::currentDateTime();
            const int seq = count.load();
            ArchRecord rec = recorder.recordAt(qint32(epoch.secsTo(at)));
            rec.counter[kSeqCounter] = float(seq);
            if (!appendEntry(dir + hourFileName(at), entryBytes(rec)))
                std::fprintf(stderr, "cannot write into %s\n", qPrintable(dir));
            writtenAt[size_t(seq) % writtenAt.size()] = Clock::now();
            count.store(seq + 1);
        }
    });
}

void LiveRecorder::stop()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
}

void FloorTail::poll(std::vector<int> &seqs)
{
    // The hour's file name is made again only when its hour is over.
    const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
    if (nowMs >= hourEndMs) {
        read(seqs); // the last hour's end first
        const QDateTime hour = truncateToHour(QDateTime::fromMSecsSinceEpoch(nowMs));
        path = QFile::encodeName(dir + hourFileName(hour));
        hourEndMs = hour.addSecs(3600).toMSecsSinceEpoch();
        offset = 0;
        closeFile();
    }
    read(seqs);
}

void FloorTail::closeFile()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

void FloorTail::read(std::vector<int> &seqs)
{
    struct stat st;
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0 || st.st_size <= offset)
        return;
    if (fd < 0 && (fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC)) < 0)
        return;
    const size_t size = size_t(st.st_size - offset);
    if (size > bytes.size())
        bytes.resize(size);
    const ssize_t got = ::pread(fd, bytes.data(), size, offset);
    const char *p = bytes.data();
    const char *end = p + std::max<ssize_t>(got, 0);
    while (end - p >= 8) {
        const quint32 length = qFromBigEndian<quint32>(p + 4);
        if (length < 4 || qint64(length) > end - p - 8)
            break;
        const char *payload = nullptr;
        if (inflatePayload(p + 8, length, payload) >= kSeqOffset + 4)
            seqs.push_back(int(qFromLittleEndian<float>(payload + kSeqOffset)));
        p += 8 + length;
        offset += 8 + length;
    }
}

} // namespace bench
