// The demo command: a simulated recorder archive.

#include "commands.h"
#include "simulatedrecorder.h"

#include "archformat.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

int demoCommand(const QStringList &args)
{
    if (args.isEmpty() || args.size() > 2)
        return usageError(QStringLiteral("demo takes a directory and an optional number of hours"));
    int hours = 48;
    if (args.size() == 2) {
        bool ok = false;
        hours = args.at(1).toInt(&ok);
        if (!ok || hours < 1 || hours > 24 * 400)
            return usageError(QStringLiteral("HOURS is a whole number from 1 to 9600"));
    }
    const QString dir = args.first();
    if (!QDir().mkpath(dir)) {
        printError(QStringLiteral("cannot create directory %1").arg(dir));
        return ExitFailure;
    }

    const QDateTime epoch = archive::archiveEpoch();
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 nowSecs = epoch.secsTo(now);
    const SimulatedRecorder recorder;

    // Walk the hours as the viewer does, so that a day whose clocks go back
    // puts both of its repeated hours into the one file of that name.
    QDateTime hour = archive::truncateToHour(now).addSecs(-3600 * qint64(hours - 1));
    const qint64 lastHourSecs = epoch.secsTo(archive::truncateToHour(now));
    int written = 0, kept = 0, failed = 0;
    qint64 recordCount = 0;
    QString name;
    QList<ArchRecord> records;
    auto flush = [&]() {
        if (name.isEmpty())
            return;
        const QString path = dir + QLatin1Char('/') + name;
        if (QFileInfo::exists(path)) {
            ++kept;
        } else if (archive::writeHourFile(path, records)) {
            ++written;
            recordCount += records.size();
        } else {
            printError(QStringLiteral("cannot write %1").arg(path));
            ++failed;
        }
        records.clear();
    };
    for (; hour.isValid() && epoch.secsTo(hour) <= lastHourSecs; hour = hour.addSecs(3600)) {
        const QString hourName = archive::hourFileName(hour);
        if (hourName != name) {
            flush();
            name = hourName;
        }
        if (QFileInfo::exists(dir + QLatin1Char('/') + name))
            continue;
        const qint64 first = epoch.secsTo(hour);
        const qint64 last = qMin(first + 3599, nowSecs);
        for (qint64 t = first; t <= last; ++t)
            records.append(recorder.recordAt(qint32(quint32(t))));
    }
    flush();

    std::printf("%s: wrote %d hour files (%lld records), left %d existing ones alone\n",
                QDir(dir).absolutePath().toLocal8Bit().constData(), written,
                static_cast<long long>(recordCount), kept);
    return failed == 0 ? ExitOk : ExitFailure;
}
