#ifndef ARCHWORKER_H
#define ARCHWORKER_H

#include "archrecord.h"
#include "archrepair.h"
#include "filenote.h"
#include "hourwalk.h"
#include "progress.h"
#include "recordseries.h"
#include "seriesenvelope.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <atomic>

// Carries out the long archive operations on a thread of its own: loading a
// period for the plot, exporting hour files to CSV and repairing hour files.
// The window writes the members before it starts the thread and reads the
// results after finished(); the slots only read their inputs, call the
// archive library and emit finished() once, last. Meanwhile they emit
// progress() about ten times a second, and stop at the next hour file once
// `stopRequested` is set.
class cArchWorker : public QObject
{
    Q_OBJECT

public:
    explicit cArchWorker(const QString &path, QObject *parent = nullptr);

    bool setPath(const QString &path);
    void setExportPeriod(const QDateTime &begin, const QDateTime &end);
    bool averageRecord(ArchRecord &rec);

    archive::RecordSeries records;
    // What each value of `records` was made of (min and max of each plot
    // channel), index for index with the records of the last load.
    archive::SeriesEnvelope envelope;
    int periodSecs = 60;
    int endOffsetSecs = 0;
    QString archivePath;
    SampleCounts sampleCounts;
    QDateTime exportBegin;
    QDateTime exportEnd;
    qint64 exportPeriodSecs = 0; // the length of the period before truncation
    QString exportSourceDir;
    QString exportTargetDir;

    // What the last load left out, for the window to tell the operator.
    struct LoadReport
    {
        archive::DirState dir = archive::DirState::Present;
        bool refused = false;
        bool truncated = false;
        bool outOfMemory = false;
        QList<archive::FileNote> notes; // the hour files not read whole, in walk order
        bool stopped = false; // nothing was loaded: `records` is empty
        // The period as the load measured it from the present, and the
        // newest hour file of its walk: where following takes it up.
        QDateTime begin;
        QDateTime end;
        QString lastFile;
    };
    LoadReport loadReport;
    // What the last export did.
    struct ExportReport
    {
        bool refused = false;
        bool stopped = false;
        bool outOfMemory = false;
        int visited = 0;
        int written = 0;
        int missing = 0;
        int failed = 0;
    };
    ExportReport exportReport;
    // What there is to tell of the last repair: the hour files it could not
    // bring into the current layout, left for later or found cut short, and
    // the leftovers it could not remove.
    QList<archive::RepairFile> repairNotes;
    QList<archive::FileNote> repairLeftovers;
    // Set from any thread to stop the running operation; the window clears
    // it before it starts the next one.
    std::atomic<bool> stopRequested{false};

signals:
    void finished();
    // Hour files (or hours) done of those in the operation's walk.
    void progress(int done, int total);

public slots:
    void run();
    void copyArchive();
    void fixArchive();

private:
    // Reports to progress(), as often as a screen can follow.
    archive::Progress followed();
};

#endif // ARCHWORKER_H
