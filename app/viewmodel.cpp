#include "viewmodel.h"

ViewModel::ViewModel() : archiveDir(QStringLiteral("./archive")), curves(archive::kCurveCount) {}

void ViewModel::selectChannel(int curve, int index)
{
    CurveChoice &choice = curves[curve];
    choice.index = index;
    if (!choice.hasCounter())
        choice.counter = false;
}

void ViewModel::setCounter(int curve, bool ticked)
{
    CurveChoice &choice = curves[curve];
    choice.counter = ticked && choice.hasCounter();
}

void ViewModel::dropCounters()
{
    for (CurveChoice &choice : curves)
        choice.counter = false;
}

QVector<Channel> ViewModel::channels() const
{
    QVector<Channel> shownChannels;
    for (const CurveChoice &choice : curves)
        shownChannels << choice.channel();
    return shownChannels;
}

void ViewModel::showLoad(const Period &period, const QString &path,
                         const archive::RecordSeries &records,
                         const archive::SeriesEnvelope &envelope,
                         const cArchWorker::LoadReport &report)
{
    shown.period = period;
    shown.path = path;
    shown.records = records;
    shown.envelope = envelope;
    shown.report = report;
    shown.averaged = averages(period);
}

void ViewModel::keepShownPeriod()
{
    periodBegin = shown.period.begin;
    periodEnd = shown.period.end;
}

LoadNotes ViewModel::notes() const
{
    const cArchWorker::LoadReport &report = shown.report;
    LoadNotes notes;
    notes.refused = report.refused;
    if (report.outOfMemory)
        notes.cut = LoadNotes::Cut::Memory;
    else if (report.truncated)
        notes.cut = LoadNotes::Cut::RecordCap;
    notes.files = report.notes;
    // The repair's part holds while its directory is the one shown.
    if (shown.path == repair.path) {
        notes.repairs = repair.files;
        notes.leftovers = repair.leftovers;
    }
    return notes;
}
