// The commands that write into an archive: export and repair.

#include "commands.h"

#include "archexport.h"
#include "archformat.h"
#include "archload.h"
#include "archrepair.h"
#include "filenote.h"

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

    // As the viewer's button does: the hours from the begin's to the end's,
    // the CSV files beside the hour files.
    archive::ExportRequest request;
    request.sourceDir = request.targetDir = dir + QLatin1Char('/');
    request.begin = period.begin;
    request.end = period.end;
    request.periodSecs = period.begin.secsTo(period.end);
    request.progress = commandProgress("export");
    request.hourDone = [](const archive::ExportHour &hour) {
        if (hour.failed())
            printNote(hour.failure());
        if (hour.damaged())
            printNote(hour.source);
    };
    const archive::ExportResult result = archive::exportPeriod(request);
    if (result.refused) {
        printError(
            QStringLiteral("the period is longer than %1 s").arg(archive::kMaxLoadPeriodSecs));
        return ExitFailure;
    }
    if (result.outOfMemory)
        printError(QStringLiteral("out of memory after %1 hours; the rest were not exported")
                       .arg(result.visited));
    if (result.stopped)
        printError(QStringLiteral("interrupted after %1 hours; the CSV files of the others are as "
                                  "they were")
                       .arg(result.visited));
    std::printf("%s: %d hours visited, %d CSV files written, %d failed\n",
                QDir(dir).absolutePath().toLocal8Bit().constData(), result.visited, result.written,
                result.failed);
    if (result.stopped)
        return ExitInterrupted;
    return result.failed == 0 && !result.outOfMemory ? ExitOk : ExitFailure;
}

int repairCommand(const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("repair takes a directory"));
    const QString &dir = args.first();
    if (isOption(dir))
        return usageError(QStringLiteral("unknown option %1").arg(dir));
    if (!QFileInfo(dir).isDir()) {
        printError(QStringLiteral("no such directory: %1").arg(dir));
        return ExitFailure;
    }
    const archive::RepairResult result =
        archive::repairArchive(dir + QLatin1Char('/'), commandProgress("repair"));
    for (const QString &path : result.leftoversRemoved)
        printError(QStringLiteral("removed %1, left over from an interrupted repair").arg(path));
    for (const archive::FileNote &note : result.leftoverErrors)
        printNote(note);
    // A file in which no record decompresses is one we could not read: it is
    // named and counts against the exit status, though nothing failed to write.
    // A file being recorded is named and left for a later run; it is no
    // failure.
    int undecodable = 0, later = 0;
    for (const archive::RepairFile &file : result.files) {
        if (file.noteworthy())
            printError(archive::repairNote(file));
        undecodable += file.outcome == archive::RepairFile::Undecodable ? 1 : 0;
        later += file.later() ? 1 : 0;
    }
    std::printf("%s: %d hour files visited, %d rewritten in the current layout, "
                "%d unreadable left as they were, %d left for a later run, %d failed\n",
                QDir(dir).absolutePath().toLocal8Bit().constData(), result.files.size(),
                result.rewritten(), undecodable, later, result.failures());
    if (result.stopped) {
        printError(QStringLiteral("interrupted after %1 hour files").arg(result.files.size()));
        return ExitInterrupted;
    }
    const bool clean =
        result.failures() == 0 && undecodable == 0 && result.leftoverErrors.isEmpty();
    return clean ? ExitOk : ExitFailure;
}
