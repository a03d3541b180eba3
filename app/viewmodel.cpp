#include "viewmodel.h"

#include "archformat.h"

#include <algorithm>

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
    shown.relays = plot::RelayLanes(records, archive::archiveEpoch(), shown.averaged);
    shown.followEvents.clear();
    shown.followed = false;
    // The exact series replaces what the cache showed of it.
    preview = SummaryView();
    around = SummaryView();
    detail = DetailRecords();
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
    notes.follow = shown.followEvents;
    for (const archive::NamesIssue &issue : names.issues)
        notes.names << archive::issueText(issue);
    return notes;
}

QVector<int> ViewModel::laneRelays() const
{
    if (shown.relays.relayCount() == 0)
        return {};
    if (!lanes.chosen)
        return shown.relays.changing().mid(0, LaneChoice::kMaxLanes);
    return lanes.relays;
}

void ViewModel::chooseLanes(const QVector<int> &relays)
{
    QVector<int> kept;
    for (int relay : relays) {
        if (relay >= 0 && relay < kRelayMax && !kept.contains(relay))
            kept << relay;
    }
    std::sort(kept.begin(), kept.end());
    lanes.chosen = true;
    lanes.relays = kept.mid(0, LaneChoice::kMaxLanes);
}

QString ViewModel::readoutName(const Channel &channel) const
{
    const archive::ChannelGroup *group = channelGroup(channel.first);
    if (!group)
        return QString();
    const QString name = names.names.label(group->group, channel.second).name;
    return name.isEmpty() ? channelTag(channel) : name;
}

bool SummaryView::isEmpty() const
{
    return std::all_of(curves.cbegin(), curves.cend(),
                       [](const plot::Series &series) { return series.isEmpty(); });
}

plot::Series SummaryView::curve(int curve, const Channel &channel) const
{
    if (curve < 0 || curve >= curves.size() || channels.at(curve) != channel)
        return plot::Series();
    return curves.at(curve);
}

QVector<int> SummaryView::requestChannels(const QVector<Channel> &channels)
{
    QVector<int> asked;
    for (const Channel &channel : channels) {
        const int plotChannel = plotChannelOf(channel);
        if (plotChannel >= 0 && !asked.contains(plotChannel))
            asked << plotChannel;
    }
    return asked;
}

SummaryView SummaryView::of(const Period &period, const QVector<Channel> &channels,
                            const archive::SummaryResult &result)
{
    SummaryView view;
    view.period = period;
    view.channels = channels;
    const QVector<int> asked = requestChannels(channels);
    for (const Channel &channel : channels) {
        plot::Series series;
        const int position = asked.indexOf(plotChannelOf(channel));
        if (position >= 0 && position < result.channels.size() && !result.refused &&
            !result.stopped) {
            const archive::SummaryPreview bins = archive::previewSeries(result, position);
            series.keys = bins.keys;
            series.values = bins.values;
            series.lows = bins.lows;
            series.highs = bins.highs;
            series.gapOver = bins.gapOver;
        }
        view.curves << series;
    }
    return view;
}
