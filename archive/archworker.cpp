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
}

bool cArchWorker::averageRecord(ArchRecord &rec)
{
    return archive::averageRecord(rec, sampleCounts);
}

void cArchWorker::run()
{
    qDebug() << "ArchWorker start";
    records.clear();
    // The period is rebuilt from the present: it ends endOffsetSecs before
    // the moment the load starts.
    const QDateTime end = QDateTime::currentDateTime().addSecs(-qint64(endOffsetSecs));
    const QDateTime begin = end.addSecs(-qint64(periodSecs));
    archive::LoadResult result = archive::loadPeriod(archivePath, begin, end, periodSecs);
    if (result.refused) {
        qDebug() << "ArchWorker error";
    } else {
        for (const QString &file : qAsConst(result.files))
            qDebug() << file;
        sampleCounts = result.sampleCounts;
        if (result.truncated)
            qDebug() << "ArchWorker series truncated";
    }
    records = std::move(result.records);
    emit finished();
}

void cArchWorker::copyArchive()
{
    archive::ExportRequest request;
    request.sourceDir = exportSourceDir;
    request.targetDir = exportTargetDir;
    request.begin = exportBegin;
    request.end = exportEnd;
    request.hourDone = [](const archive::ExportHour &hour) {
        QMessageLogger().debug("%s %s", qPrintable(hour.sourcePath), qPrintable(hour.targetPath));
        if (hour.failed())
            QMessageLogger().debug("ArchWorker export error: %s", qPrintable(hour.error));
    };
    exportBegin = archive::exportPeriod(request).next;
    emit finished();
}

void cArchWorker::fixArchive()
{
    const archive::RepairResult result = archive::repairArchive(archivePath);
    for (const archive::RepairFile &file : result.files) {
        if (!file.error.isEmpty())
            QMessageLogger().debug("ArchWorker repair error: %s", qPrintable(file.error));
    }
    emit finished();
}
