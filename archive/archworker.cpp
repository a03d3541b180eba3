#include "archworker.h"

#include "archexport.h"
#include "archformat.h"
#include "archload.h"
#include "archrepair.h"

#include <QDebug>
#include <QDir>

cArchWorker::cArchWorker(const QString &path, QObject *parent)
    : QObject(parent), archivePath(path + QLatin1Char('/'))
{
}

bool cArchWorker::setPath(const QString &path)
{
    const bool exists = QDir(path).exists();
    if (exists)
        archivePath = path + QLatin1Char('/');
    return exists;
}

void cArchWorker::setExportPeriod(const QDateTime &begin, const QDateTime &end)
{
    exportBegin = archive::truncateToHour(begin);
    exportEnd = archive::truncateToHour(end);
    exportPeriodSecs = begin.secsTo(end);
}

bool cArchWorker::averageRecord(ArchRecord &rec)
{
    return archive::averageRecord(rec, sampleCounts);
}

namespace {

// The debug stream's line of a note: the failures as errors, the rest as
// what they are.
void debugNote(const archive::FileNote &note, const char *failurePrefix = "ArchWorker error: ")
{
    QMessageLogger().debug("%s%s", note.failed() ? failurePrefix : "ArchWorker ",
                           qPrintable(archive::noteText(note)));
}

} // namespace

archive::Progress cArchWorker::followed()
{
    archive::Progress progress;
    progress.stop = &stopRequested;
    progress.report = [this, throttle = archive::ProgressThrottle()](int done, int total) mutable {
        if (throttle.due(done, total))
            emit this->progress(done, total);
    };
    return progress;
}

void cArchWorker::run()
{
    qDebug() << "ArchWorker start";
    records.clear();
    envelope = archive::SeriesEnvelope();
    // The period is rebuilt from the present: it ends endOffsetSecs before
    // the moment the load starts.
    const QDateTime end = QDateTime::currentDateTime().addSecs(-qint64(endOffsetSecs));
    const QDateTime begin = end.addSecs(-qint64(periodSecs));
    // A directory that is not there, or not one, is named as such rather
    // than taken for an archive without files.
    const archive::DirState dir = archive::archiveDirState(archivePath);
    archive::LoadResult result =
        archive::loadPeriod(archivePath, begin, end, periodSecs, 0, archive::Envelope::Kept, followed());
    if (result.stopped) {
        const QString last = result.filesDone > 0
                                 ? QStringLiteral(", the last ") + result.files.at(result.filesDone - 1)
                                 : QString();
        QMessageLogger().debug("ArchWorker stopped after %d of %d hour files%s", result.filesDone,
                               int(result.files.size()), qPrintable(last));
    } else if (result.refused) {
        qDebug() << "ArchWorker error";
    } else {
        for (const QString &file : qAsConst(result.files))
            qDebug() << file;
        for (const archive::FileNote &note : qAsConst(result.notes))
            debugNote(note);
        sampleCounts = result.sampleCounts;
        if (result.outOfMemory)
            qDebug() << "ArchWorker out of memory: series truncated";
        else if (result.truncated)
            qDebug() << "ArchWorker series truncated";
    }
    loadReport = LoadReport{dir,          result.refused,          result.truncated,
                            result.outOfMemory, std::move(result.notes), result.stopped};
    loadReport.begin = begin;
    loadReport.end = end;
    loadReport.lastFile = result.files.isEmpty() ? QString() : result.files.constLast();
    records = std::move(result.records);
    envelope = std::move(result.envelope);
    emit finished();
}

void cArchWorker::copyArchive()
{
    archive::ExportRequest request;
    request.sourceDir = exportSourceDir;
    request.targetDir = exportTargetDir;
    request.begin = exportBegin;
    request.end = exportEnd;
    request.periodSecs = exportPeriodSecs;
    request.progress = followed();
    request.hourDone = [](const archive::ExportHour &hour) {
        QMessageLogger().debug("%s %s", qPrintable(hour.sourcePath), qPrintable(hour.targetPath));
        if (hour.failed())
            debugNote(hour.failure(), "ArchWorker export error: ");
        if (hour.damaged())
            debugNote(hour.source);
    };
    const archive::ExportResult result = archive::exportPeriod(request);
    if (result.refused)
        QMessageLogger().debug("ArchWorker export error: the period is longer than %d s",
                               archive::kMaxLoadPeriodSecs);
    if (result.outOfMemory)
        QMessageLogger().debug("ArchWorker export error: out of memory after %d hours",
                               result.visited);
    if (result.stopped)
        QMessageLogger().debug("ArchWorker export stopped after %d hours", result.visited);
    exportReport = ExportReport{result.refused, result.stopped, result.outOfMemory, result.visited,
                                result.written, result.missing, result.failed};
    exportBegin = result.next;
    emit finished();
}

void cArchWorker::fixArchive()
{
    const archive::RepairResult result = archive::repairArchive(archivePath, followed());
    if (result.stopped)
        QMessageLogger().debug("ArchWorker repair stopped after %d hour files",
                               int(result.files.size()));
    repairNotes.clear();
    repairLeftovers = result.leftoverErrors;
    for (const QString &path : result.leftoversRemoved)
        QMessageLogger().debug("ArchWorker repair: removed the leftover %s", qPrintable(path));
    for (const archive::FileNote &note : result.leftoverErrors)
        debugNote(note, "ArchWorker repair error: ");
    for (const archive::RepairFile &file : result.files) {
        if (!file.noteworthy())
            continue;
        // A file left for a later start is no error: it was being recorded.
        QMessageLogger().debug(file.failed() || file.outcome == archive::RepairFile::Undecodable
                                   ? "ArchWorker repair error: %s"
                                   : "ArchWorker repair: %s",
                               qPrintable(archive::repairNote(file)));
        repairNotes.append(file);
    }
    emit finished();
}
