#include "archivefixture.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include <cstring>

namespace fixture {

qint32 archiveTime(const QDateTime &dt)
{
    return qint32(quint32(archive::archiveEpoch().secsTo(dt)));
}

QDateTime at(const char *text)
{
    const QDateTime dt =
        QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (!dt.isValid())
        qFatal("bad fixture date-time %s", text);
    return dt;
}

ArchRecord record(qint32 time, const QList<float> &aIn, int relayCount, quint64 relayBits)
{
    ArchRecord rec = archive::absentRecord(time);
    rec.aInCount = quint8(aIn.size());
    for (int i = 0; i < aIn.size(); ++i)
        rec.aIn[i] = aIn.at(i);
    rec.relayCount = quint8(relayCount);
    for (int k = 0; k < relayCount; ++k) {
        if (relayBits & (quint64(1) << k))
            rec.relays[k / 8] |= quint8(1u << (k % 8));
    }
    return rec;
}

QByteArray rawEntry(qint32 time, const QByteArray &data)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << time << data;
    return bytes;
}

void appendRecords(const QString &dir, const QVector<ArchRecord> &records, archive::Layout layout)
{
    const QDateTime epoch = archive::archiveEpoch();
    for (const ArchRecord &rec : records) {
        const QString path = dir + archive::hourFileName(archive::recordDateTime(epoch, rec.time));
        QFile file(path);
        if (!file.open(QIODevice::Append))
            qFatal("cannot append to %s", qPrintable(path));
        QDataStream out(&file);
        archive::writeEntry(out, rec.time, archive::encodePayload(rec, layout));
    }
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool endsWithoutBlocking(const QString &fifo, const std::function<void()> &body)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        body();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 10000)
        QThread::msleep(10);
    const bool ended = done;
    while (!done) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        QThread::msleep(10);
    }
    worker.join();
    return ended;
}

ProcessRun runProgram(const QString &program, const QStringList &args)
{
    QProcess process;
    process.start(program, args);
    ProcessRun result;
    if (!process.waitForFinished(120000))
        return result;
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace fixture
