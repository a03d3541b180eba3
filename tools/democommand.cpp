// The demo command: a simulated recorder archive.

#include "commands.h"
#include "simulatedrecorder.h"

#include "archformat.h"
#include "hourwalk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int demoCommand(const QStringList &args)
{
    QStringList positional = args;
    // --earlier N: the N oldest hour files written get the earlier record
    // layout, so that the viewer's start-up repair has real work to do.
    int earlier = 0;
    const int option = positional.indexOf(QStringLiteral("--earlier"));
    if (option >= 0) {
        bool ok = false;
        earlier = option + 1 < positional.size() ? positional.at(option + 1).toInt(&ok) : -1;
        if (!ok || earlier < 0)
            return usageError(QStringLiteral("--earlier takes a number of hour files"));
        positional.erase(positional.begin() + option, positional.begin() + option + 2);
    }
    if (positional.isEmpty() || positional.size() > 2)
        return usageError(QStringLiteral("demo takes a directory and an optional number of hours"));
    for (const QString &arg : qAsConst(positional)) {
        if (isOption(arg))
            return usageError(QStringLiteral("unknown option %1").arg(arg));
    }
    int hours = 48;
    if (positional.size() == 2) {
        bool ok = false;
        hours = positional.at(1).toInt(&ok);
        if (!ok || hours < 1 || hours > 24 * 400)
            return usageError(QStringLiteral("HOURS is a whole number from 1 to 9600"));
    }
    const QString dir = positional.first();
    if (!QDir().mkpath(dir)) {
        printError(QStringLiteral("cannot create directory %1").arg(dir));
        return ExitFailure;
    }

    const QDateTime epoch = archive::archiveEpoch();
    const QDateTime now = QDateTime::currentDateTime();
    const SimulatedRecorder recorder;

    // Walk the hours as the viewer does, so that a day whose clocks go back
    // puts both of its repeated hours into the one file of that name, and
    // an hour that the clocks shorten still gets its file.
    const qint64 epochSecs = epoch.toSecsSinceEpoch();
    const qint64 nowUnix = now.toSecsSinceEpoch();
    const QDateTime firstHour = archive::truncateToHour(now).addSecs(-3600 * qint64(hours - 1));
    int written = 0, kept = 0, failed = 0;
    qint64 recordCount = 0;
    QString name;
    QVector<ArchRecord> records;
    auto flush = [&]() {
        if (name.isEmpty())
            return;
        const QString path = dir + QLatin1Char('/') + name;
        if (QFileInfo::exists(path)) {
            ++kept;
        } else if (archive::writeHourFile(path, records,
                                          written < earlier ? archive::Layout::Earlier
                                                            : archive::Layout::Current)) {
            ++written;
            recordCount += records.size();
            // As a recorder leaves it: last modified at its last record.
            QFile file(path);
            if (!records.isEmpty() && file.open(QIODevice::ReadWrite))
                file.setFileTime(archive::recordDateTime(epoch, records.last().time),
                                 QFileDevice::FileModificationTime);
        } else {
            printError(QStringLiteral("cannot write %1").arg(path));
            ++failed;
        }
        records.clear();
    };
    for (const archive::HourSpan &span : archive::hourSpans(firstHour, now)) {
        const QString hourName = span.name + QLatin1String(archive::kHourFileSuffix);
        if (hourName != name) {
            flush();
            name = hourName;
        }
        if (QFileInfo::exists(dir + QLatin1Char('/') + name))
            continue;
        const qint64 last = qMin(span.endSecs - 1, nowUnix);
        for (qint64 t = span.beginSecs; t <= last; ++t)
            records.append(recorder.recordAt(qint32(quint32(t - epochSecs))));
    }
    flush();

    std::printf("%s: wrote %d hour files (%lld records, %d files in the earlier layout), "
                "left %d existing ones alone\n",
                QDir(dir).absolutePath().toLocal8Bit().constData(), written,
                static_cast<long long>(recordCount), qMin(written, earlier), kept);
    return failed == 0 ? ExitOk : ExitFailure;
}
