// The commands that write into an archive: export and repair.

#include "commands.h"

#include "archexport.h"
#include "archformat.h"
#include "archrepair.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

int exportCommand(const QStringList &args)
{
    PeriodArgs period;
    if (const int status = parsePeriodArgs(QStringLiteral("export"), args, period);
        status != ExitOk)
        return status;
    const QString &dir = period.dir;
    const QDateTime &begin = period.begin;
    const QDateTime &end = period.end;

    // As the viewer's button does: both ends to their whole hour, the CSV
    // files beside the hour files.
    archive::ExportRequest request;
    request.sourceDir = request.targetDir = dir + QLatin1Char('/');
    request.begin = archive::truncateToHour(begin);
    request.end = archive::truncateToHour(end);
    request.hourDone = [](const archive::ExportHour &hour) {
        if (hour.failed())
            printError(hour.error);
    };
    const archive::ExportResult result = archive::exportPeriod(request);

    int written = 0;
    for (const archive::ExportHour &hour : result.hours)
        written += hour.outcome == archive::ExportHour::Written ? 1 : 0;
    std::printf("%s: %d hours visited, %d CSV files written, %d failed\n",
                QDir(dir).absolutePath().toLocal8Bit().constData(), result.hours.size(), written,
                result.failures());
    return result.failures() == 0 ? ExitOk : ExitFailure;
}

int repairCommand(const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("repair takes a directory"));
    const QString &dir = args.first();
    if (!QFileInfo(dir).isDir()) {
        printError(QStringLiteral("no such directory: %1").arg(dir));
        return ExitFailure;
    }
    const archive::RepairResult result = archive::repairArchive(dir + QLatin1Char('/'));
    // A file in which no record decompresses is one we could not read: it is
    // named and counts against the exit status, though nothing failed to write.
    int undecodable = 0;
    for (const archive::RepairFile &file : result.files) {
        if (!file.error.isEmpty())
            printError(file.error);
        undecodable += file.outcome == archive::RepairFile::Undecodable ? 1 : 0;
    }
    std::printf("%s: %d hour files visited, %d rewritten in the current layout, "
                "%d unreadable left as they were, %d failed\n",
                QDir(dir).absolutePath().toLocal8Bit().constData(), result.files.size(),
                result.rewritten(), undecodable, result.failures());
    return result.failures() == 0 && undecodable == 0 ? ExitOk : ExitFailure;
}
