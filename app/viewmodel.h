#ifndef VIEWMODEL_H
#define VIEWMODEL_H

#include "archload.h"
#include "archworker.h"
#include "channelnames.h"
#include "channels.h"
#include "follower.h"
#include "loadnotice.h"
#include "plotcursor.h"
#include "recordseries.h"
#include "relaylanes.h"
#include "seriesenvelope.h"
#include "summaryquery.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// A stretch of local time, begin included, end not.
struct Period
{
    QDateTime begin;
    QDateTime end;

    qint64 secs() const { return begin.secsTo(end); }
    // Only a period longer than 0 s is loaded.
    bool isLoadable() const { return secs() > 0; }
    bool operator==(const Period &o) const { return begin == o.begin && end == o.end; }
    bool operator!=(const Period &o) const { return !(*this == o); }
};

// What one curve shows: the selector's item and its counter box.
struct CurveChoice
{
    int index = 0;        // the selector's item (channelFromIndex); 0 is no channel
    bool counter = false; // the counter box is ticked

    // Only an analogue input has a counter, and only then is its box shown.
    bool hasCounter() const { return channelFromIndex(index).first == KindAnalogIn; }
    Channel channel() const { return shownChannel(index, counter); }
};

// A finished load, as the plot shows it.
struct ShownLoad
{
    Period period;
    QString path; // the directory it was read from, ending in "/"
    archive::RecordSeries records;
    archive::SeriesEnvelope envelope;
    cArchWorker::LoadReport report;
    bool averaged = false; // the records are interval means
    plot::RelayLanes relays;
    // What following met since the load, while it follows.
    QList<archive::FollowEvent> followEvents;
    // Following has grown the series since the load: the load's report no
    // longer says where it ends.
    bool followed = false;
};

// Bin means with the band of their samples, per curve, from the summary
// cache: what the plot shows of a period while its records load, and of
// the time around the loaded period when the view reaches beyond it.
struct SummaryView
{
    Period period;
    QVector<Channel> channels;    // per curve, as they were when it was asked for
    QVector<plot::Series> curves; // per curve; empty where the cache has no sample
    quint64 serial = 0;           // tells one view from the next; 0 for none

    // Whether some curve has a point: a cold cache gives none.
    bool isEmpty() const;
    // The curve of `curve` if it still shows the channel it was asked for.
    plot::Series curve(int curve, const Channel &channel) const;
    // The plot channels to ask the cache for, each once, in curve order.
    static QVector<int> requestChannels(const QVector<Channel> &channels);
    // The curves out of a summary asked for requestChannels(channels).
    static SummaryView of(const Period &period, const QVector<Channel> &channels,
                          const archive::SummaryResult &result);
};

// The records of a part of an averaged period, loaded while the view was
// zoomed into it: drawn record by record there, the means elsewhere.
struct DetailRecords
{
    Period period;
    archive::RecordSeries records;
    quint64 serial = 0; // 0 for none

    bool isEmpty() const { return records.isEmpty(); }
};

// The relays drawn as lanes under the plot: until the operator chooses,
// those that change in the loaded period.
struct LaneChoice
{
    static constexpr int kMaxLanes = 8;

    bool chosen = false;
    QVector<int> relays; // the operator's choice: zero-based, ascending
};

// The archive's names file as last read.
struct NamesState
{
    archive::ChannelNames names;
    QVector<archive::NamesIssue> issues;
};

// What the start-up repair could not do, for the notice while its
// directory is the one shown.
struct RepairNotes
{
    QString path; // ending in "/"
    QList<archive::RepairFile> files;     // files with something to tell
    QList<archive::FileNote> leftovers;   // what it could not remove
};

// What the window shows, held in one place: the widgets are set from it
// and tell it what the operator changed, and the page, the PDF and the
// tests read it. Nothing here is a widget or asks one.
class ViewModel
{
public:
    // Whether a load of a period this long gives interval means, not every
    // record: the one rule for the load, the plot, the page and the tests.
    static bool averages(const Period &period)
    {
        return period.secs() > archive::kMaxRawPeriodSecs;
    }

    ViewModel();

    // The operator chose item `index` in selector `curve`: a channel without
    // a counter unticks its counter box.
    void selectChannel(int curve, int index);
    // The operator ticked or unticked a counter box; only one that is shown
    // can be ticked.
    void setCounter(int curve, bool ticked);
    // Boxes that are not on the screen (the window hidden) are unticked.
    void dropCounters();
    // The channel each curve shows.
    QVector<Channel> channels() const;

    // A load of `period` finished with these records: the plot shows them
    // from now on, averaged or not by the rule above.
    void showLoad(const Period &period, const QString &path, const archive::RecordSeries &records,
                  const archive::SeriesEnvelope &envelope, const cArchWorker::LoadReport &report);
    // The chosen period goes back to the one shown: a load that will not
    // come, stopped or dropped.
    void keepShownPeriod();
    // What the notice tells of the shown load, the last repair and the
    // names file.
    LoadNotes notes() const;
    // The relays that have a lane, zero-based, ascending; none while the
    // records carry no relay.
    QVector<int> laneRelays() const;
    // The operator chose these relays' lanes (at most kMaxLanes are kept).
    void chooseLanes(const QVector<int> &relays);
    // The readout's, the lanes' and the page's name of a channel.
    QString readoutName(const Channel &channel) const;

    QString archiveDir;    // as chosen or typed, without a trailing "/"
    QDateTime periodBegin; // the period chosen, on the labels, that the next load asks for
    QDateTime periodEnd;
    Period loading; // the period of the load under way; empty while none runs
    QVector<CurveChoice> curves;
    bool axisPerCurve = false; // ШКАЛЫ: each curve on a value axis of its own
    plot::Cursors cursors;
    ShownLoad shown;
    RepairNotes repair;
    LaneChoice lanes;
    NamesState names;
    // From the summary cache: the period loading, and the time around the
    // shown period in view.
    SummaryView preview;
    SummaryView around;
    DetailRecords detail;
    // A serial for the next summary view or detail.
    quint64 nextSerial() { return ++serials; }
    // The preview is drawn in place of the shown load while its period loads.
    bool showsPreview() const { return !preview.isEmpty() && preview.period == loading; }

    Period period() const { return {periodBegin, periodEnd}; }

private:
    quint64 serials = 0;
};

#endif // VIEWMODEL_H
