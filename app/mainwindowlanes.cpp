// The relay lanes under the plot and the operator's names of the channels:
// choosing the lanes, reading them at the cursors, and reading, watching
// and editing the archive's names file.

#include "mainwindow.h"

#include "channelnames.h"
#include "channels.h"
#include "lanereadout.h"
#include "namesdialog.h"
#include "plotcursors.h"
#include "relaychooser.h"
#include "relaystrip.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QPushButton>

#include <qcustomplot.h>

void MainWindow::setupLanes()
{
    relayStrip = new RelayStrip(ui->customPlot, model.cursors, ui->centralWidget);
    laneReadout = new LaneReadout(ui->centralWidget);
    laneReadout->hide();
    connect(laneReadout->chooseButton(), &QPushButton::clicked, this, [this] { chooseLanes(); });
    connect(cursors, &PlotCursors::readingsChanged, this, [this] { showLaneReadings(); });
    connect(ui->namesButton, &QPushButton::clicked, this, [this] { editNames(); });
    namesWatcher = new QFileSystemWatcher(this);
    // A names file is replaced whole (renamed over the old one), which the
    // watcher sees as a change of the directory.
    connect(namesWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { namesChanged(); });
    connect(namesWatcher, &QFileSystemWatcher::fileChanged, this, [this] { namesChanged(); });
}

void MainWindow::showLanes()
{
    // Over the cache's picture of a period loading the lanes stay, empty:
    // the last load's are of another period, and the plot keeps its height.
    const bool preview = model.showsPreview();
    QVector<StripLane> lanes;
    // A lane is made once per load: a redraw does not walk the records again.
    const plot::RelayLanes &relays = model.shown.relays;
    if (laneCache.keys.constData() != relays.keys().constData() ||
        laneCache.keys.size() != relays.keys().size()) {
        laneCache.keys = relays.keys();
        laneCache.lanes.clear();
    }
    for (int relay : model.laneRelays()) {
        plot::RelayLane lane;
        lane.relay = relay;
        if (!preview) {
            auto made = laneCache.lanes.find(relay);
            if (made == laneCache.lanes.end())
                made = laneCache.lanes.insert(relay, relays.lane(relay));
            lane = made.value();
        }
        lanes << StripLane{model.names.names.laneName(relay), lane};
    }
    relayStrip->setLanes(lanes);
    laneReadout->setVisible(model.shown.relays.relayCount() > 0);
    showLaneReadings();
    // The window keeps its least size: what the lanes need comes off the
    // plot's least height, never off the side column.
    const int lanesHeight = (relayStrip->isVisibleTo(this) ? relayStrip->sizeHint().height() : 0) +
                            (laneReadout->isVisibleTo(this) ? laneReadout->sizeHint().height() : 0);
    ui->customPlot->setMinimumHeight(std::max(0, plotMinimumHeight - lanesHeight));
}

void MainWindow::showLaneReadings()
{
    if (!relayStrip || !laneReadout->isVisibleTo(this))
        return;
    QVector<LaneReading> readings;
    const QCPRange visible = ui->customPlot->xAxis->range();
    const plot::ValueRange range =
        plot::statisticsRange(model.cursors, visible.lower, visible.upper);
    for (const StripLane &lane : relayStrip->lanes())
        readings << LaneReading::of(lane, model.cursors, range.lower, range.upper);
    laneReadout->showReadings(readings, model.cursors.a.shown, model.cursors.both(),
                              model.cursors.both());
    relayStrip->update();
}

void MainWindow::chooseLanes()
{
    const plot::RelayLanes &relays = model.shown.relays;
    RelayChooser chooser(relays.relayCount(), model.laneRelays(), relays.changing(),
                         model.names.names, this);
    if (chooser.exec() == QDialog::Accepted)
        setLanes(chooser.chosen());
}

void MainWindow::setLanes(const QVector<int> &relays)
{
    model.chooseLanes(relays);
    showLanes();
    scheduleSave();
}

QString MainWindow::namesDir() const
{
    // The names belong to the archive shown, not to one being typed.
    return model.shown.path.isEmpty() ? model.archiveDir : QDir::cleanPath(model.shown.path);
}

bool MainWindow::readNames()
{
    const QString dir = namesDir();
    // The directory and the file, for as long as they are the ones shown.
    if (!namesWatcher->directories().isEmpty())
        namesWatcher->removePaths(namesWatcher->directories());
    if (!namesWatcher->files().isEmpty())
        namesWatcher->removePaths(namesWatcher->files());
    const QString file = QDir(dir).filePath(QLatin1String(archive::kChannelNamesFile));
    if (QFileInfo::exists(dir))
        namesWatcher->addPath(dir);
    if (QFileInfo::exists(file))
        namesWatcher->addPath(file);

    const archive::NamesRead read = archive::readChannelNames(dir);
    const auto texts = [](const QVector<archive::NamesIssue> &issues) {
        QStringList lines;
        for (const archive::NamesIssue &issue : issues)
            lines << archive::issueText(issue);
        return lines;
    };
    NamesState state{read.names, read.issues};
    if (state.names == model.names.names && texts(state.issues) == texts(model.names.issues))
        return false;
    model.names = state;
    showNames();
    return true;
}

void MainWindow::namesChanged()
{
    if (readNames()) {
        updateData();
        showNotice();
    }
}

void MainWindow::showNames()
{
    const QStringList items = channelItems();
    for (QComboBox *selector : qAsConst(selectors)) {
        for (int index = 1; index < selector->count() && index < items.size(); ++index) {
            const Channel channel = channelFromIndex(index);
            const archive::ChannelGroup *group = channelGroup(channel.first);
            const bool named =
                group && !model.names.names.label(group->group, channel.second).isEmpty();
            selector->setItemText(
                index, named ? model.names.names.selectorItem(group->group, channel.second)
                             : items.at(index));
        }
    }
}

namespace {

// The channels the names dialog lists: those of a selector, the counters
// and the relays that the loaded records carry; before any record, every one.
QVector<NamesDialog::ChannelRow> nameableChannels(const archive::RecordSeries &records)
{
    int carried[archive::kGroupCount] = {};
    for (int i = 0; i < records.size(); ++i) {
        const ArchRecord &rec = records.at(i);
        for (int g = 0; g < archive::kGroupCount; ++g)
            carried[g] = std::max<int>(carried[g], rec.*archive::kChannelGroups[g].count);
    }
    QVector<NamesDialog::ChannelRow> rows;
    for (const archive::ChannelGroup &group : archive::kChannelGroups) {
        const bool listed = group.selectorPrefix != nullptr ||
                            group.group == archive::Group::Counter ||
                            group.group == archive::Group::Relay;
        if (!listed)
            continue;
        const int count = records.isEmpty() ? group.capacity : carried[int(group.group)];
        for (int n = 0; n < count; ++n)
            rows << NamesDialog::ChannelRow{group.group, n};
    }
    return rows;
}

} // namespace

void MainWindow::editNames()
{
    NamesDialog dialog(model.names.names, nameableChannels(model.shown.records), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QString error;
    if (!archive::writeChannelNames(namesDir(), dialog.names(), &error)) {
        QMessageBox::warning(
            this, QStringLiteral("Имена каналов"),
            QStringLiteral("Не удалось записать файл «%1»:\n%2")
                .arg(QDir::toNativeSeparators(
                         QDir(namesDir()).filePath(QLatin1String(archive::kChannelNamesFile))),
                     error));
        return;
    }
    namesChanged();
}
