#ifndef SUMMARYQUERY_H
#define SUMMARYQUERY_H

#include "archrecord.h"
#include "progress.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <limits>

namespace archive {

// The most bins times channels one query answers (some 80 MB of
// accumulators): a year of minutes of every channel is for printing in
// pieces, not for holding at once.
constexpr qint64 kMaxSummaryCells = 4000000;

struct SummaryRequest
{
    // The period [begin, end), taken to whole minutes: from begin's minute
    // to the end of the minute that holds the last second before end.
    QDateTime begin;
    QDateTime end;
    // A positive multiple of 60. Bins are aligned on the archive's time
    // scale (see summarylevel.h); the period's first and last bins hold
    // only the records inside the period.
    quint32 binSecs = 3600;
    // Plot channels (0 to kPlotChannelCount - 1), in the order the result
    // gives them.
    QVector<int> channels;
    bool relays = false;
    // Whether hours without a valid entry are read from their files.
    bool readFiles = true;
    // Whether what is read from the files is stored (the store is created
    // if need be); false leaves the cache as it is.
    bool writeBack = true;
    int threads = 0;   // hour files worked on at once (0: one per core)
    QString cacheRoot; // where the stores are; empty: SummaryStore::defaultRoot()
};

// One channel over the result's bins.
struct SummaryChannel
{
    int channel = 0;
    QVector<quint32> count;
    QVector<float> min;
    QVector<float> max;
    QVector<double> mean; // NaN where the bin has no sample of the channel
};

// One relay over the result's bins: seconds on and off (together at most
// the bin's length; less where no record's state reaches), and RelayBits.
struct SummaryRelay
{
    QVector<quint32> on;
    QVector<quint32> off;
    QVector<quint8> bits;
};

struct SummaryResult
{
    bool refused = false; // the request was refused, for `refusal`
    QString refusal;
    bool stopped = false; // the caller stopped it; the bins are empty
    bool outOfMemory = false;
    quint32 binSecs = 0;
    qint64 epochMs = 0; // the archive epoch, for turning bins into dates
    // The bins that hold a record (or, with relays, a relay's state), in
    // time order: each one's start in archive seconds and its records.
    QVector<qint64> starts;
    QVector<quint32> records;
    QVector<SummaryChannel> channels; // as the request lists them
    QVector<SummaryRelay> relays;     // all kRelayMax, when asked for

    // Hour files by where their summary came from, as paths.
    QStringList fromCache;
    QStringList fromFiles; // read, built or topped up
    QStringList toppedUp;  // those of fromFiles read on from where their entry stopped
    QStringList uncovered; // no valid entry, and the files were not to be read
    // As a load reports them: hour files that could not be told or read,
    // hour files not read whole and why, entries read only in part.
    QStringList failures;
    QStringList damaged;
    QStringList damageNotes;
    QStringList partlyRead;
    QStringList outside;    // hour files with records outside their hour, left out
    QStringList cacheNotes; // the cache could not be used or written; entries rebuilt

    int size() const { return starts.size(); }
};

// The summary of [begin, end) in bins of binSecs, from the cache where it
// is valid and from the hour files where it is not. The hour files looked
// at are those of the period and, because an hour file may hold records up
// to an hour outside its hour, the two hours before it and the hour after
// it, as the archive directory lists them. Refused: a period longer than 360 days, a bin size that
// is not a positive multiple of 60, a channel that does not exist, or more than kMaxSummaryCells.
// Progress counts the hours of the walk; a stop ends the query at the next of them, with no bins.
SummaryResult querySummary(const QString &dirPath, const SummaryRequest &request,
                           const Progress &progress = Progress());

// What the plot draws of a channel from a summary: per bin the mean and
// the band between the least and the greatest sample, at plot time keys
// (seconds since 1970) in the bins' middles. Bin k covers
// [keys[k] - binSecs / 2, keys[k] + binSecs / 2). Neighbouring keys further
// apart than gapOver have bins without samples between them.
struct SummaryPreview
{
    QVector<double> keys;
    QVector<double> values;
    QVector<double> lows;
    QVector<double> highs;
    double binSecs = 0;
    double gapOver = std::numeric_limits<double>::infinity();
};
// For the channel at `position` in the request's list; bins without
// samples of it are left out.
SummaryPreview previewSeries(const SummaryResult &result, int position);

// A relay's lane: per bin that holds its state, the share of the known
// seconds it was on, and its RelayBits.
struct RelayPreview
{
    QVector<double> keys;
    QVector<double> onShare;
    QVector<quint8> bits;
    double binSecs = 0;
};
RelayPreview previewRelay(const SummaryResult &result, int relay);

// The bin size for `columns` pixel columns over a period: at least a
// column's time, rounded up to whole minutes, ten minutes or hours, so
// that the query reads the coarsest level it can.
quint32 previewBinSecs(qint64 periodSecs, int columns);

// The plot channel named as the companion and the CSV's stats name it
// ("AIn1", "Freq36", "Math8"), or -1.
int plotChannelNamed(const QString &name);
// Its name, the other way round.
QString plotChannelName(int channel);

} // namespace archive

#endif // SUMMARYQUERY_H
