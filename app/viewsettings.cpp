#include "viewsettings.h"

#include "channelnames.h"
#include "channels.h"

#include <QSettings>

#include <algorithm>

namespace {

const QString kGroup = QStringLiteral("view");

QString selectorKey(int i)
{
    return QStringLiteral("selector%1").arg(i + 1);
}

QString counterKey(int i)
{
    return QStringLiteral("counter%1").arg(i + 1);
}

// A QSettings INI file gives back every plain value as text; a value
// written by hand or by another program may be anything.
bool boolOf(const QVariant &value, bool fallback)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.userType() == QMetaType::QString ? value.toString() : QString();
    if (text == QLatin1String("true"))
        return true;
    if (text == QLatin1String("false"))
        return false;
    return fallback;
}

QString textOf(const QVariant &value)
{
    return value.userType() == QMetaType::QString ? value.toString() : QString();
}

// Larger than any screen a window is placed on: no geometry but garbage.
constexpr int kMaxWindowSide = 65536;

QRect geometryOf(const QVariant &value)
{
    if (value.userType() != QMetaType::QRect)
        return QRect();
    const QRect rect = value.toRect();
    const bool sane = rect.width() > 0 && rect.height() > 0 && rect.width() <= kMaxWindowSide &&
                      rect.height() <= kMaxWindowSide && qAbs(rect.x()) <= kMaxWindowSide &&
                      qAbs(rect.y()) <= kMaxWindowSide;
    return sane ? rect : QRect();
}

} // namespace

bool ViewSettings::operator==(const ViewSettings &o) const
{
    return archiveDir == o.archiveDir && selectors == o.selectors && counters == o.counters &&
           axisPerCurve == o.axisPerCurve && cursorB == o.cursorB && lanesChosen == o.lanesChosen &&
           relayLanes == o.relayLanes && geometry == o.geometry && maximised == o.maximised;
}

std::unique_ptr<QSettings> viewerSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("Kestrova"),
                                       QStringLiteral("kestrova-viewer"));
}

int selectorIndexOfTag(const QString &tag)
{
    archive::Group group;
    int n = 0;
    if (!archive::parseChannelTag(tag, &group, &n))
        return 0;
    for (int index = 1; index < kChannelItemCount; ++index) {
        const Channel channel = channelFromIndex(index);
        if (channelGroup(channel.first)->group == group && channel.second == n)
            return index;
    }
    return 0;
}

QString selectorTagOfIndex(int index)
{
    const Channel channel = channelFromIndex(index);
    const archive::ChannelGroup *group = channelGroup(channel.first);
    return group ? archive::channelTagOf(group->group, channel.second) : QString();
}

ViewSettings loadViewSettings(QSettings &settings)
{
    ViewSettings view;
    settings.beginGroup(kGroup);
    view.archiveDir = textOf(settings.value(QStringLiteral("archive")));
    for (int i = 0; i < ViewSettings::kSelectors; ++i) {
        // Written in its canonical spelling, whatever the file said.
        const int index = selectorIndexOfTag(textOf(settings.value(selectorKey(i))));
        view.selectors[i] = selectorTagOfIndex(index);
        view.counters[i] = channelFromIndex(index).first == KindAnalogIn &&
                           boolOf(settings.value(counterKey(i)), false);
    }
    view.axisPerCurve = boolOf(settings.value(QStringLiteral("axes")), false);
    view.cursorB = boolOf(settings.value(QStringLiteral("cursorB")), false);
    const QVariant lanes = settings.value(QStringLiteral("relayLanes"));
    // An empty choice is a choice: no lanes. Of a list, the tags that name
    // no relay are left out; tags between commas, as a hand may write them,
    // come back from QSettings as a list.
    const bool list = lanes.userType() == QMetaType::QStringList;
    if (lanes.userType() == QMetaType::QString || list) {
        view.lanesChosen = true;
        QString text = list ? lanes.toStringList().join(QLatin1Char(' ')) : lanes.toString();
        text.replace(QLatin1Char(','), QLatin1Char(' '));
        for (const QString &tag : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            archive::Group group;
            int n = 0;
            if (archive::parseChannelTag(tag, &group, &n) && group == archive::Group::Relay &&
                !view.relayLanes.contains(n))
                view.relayLanes.append(n);
        }
        std::sort(view.relayLanes.begin(), view.relayLanes.end());
    }
    view.geometry = geometryOf(settings.value(QStringLiteral("geometry")));
    view.maximised = boolOf(settings.value(QStringLiteral("maximised")), false);
    settings.endGroup();
    return view;
}

void saveViewSettings(QSettings &settings, const ViewSettings &view)
{
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("archive"), view.archiveDir);
    for (int i = 0; i < ViewSettings::kSelectors; ++i) {
        settings.setValue(selectorKey(i), view.selectors.value(i));
        settings.setValue(counterKey(i), view.counters.value(i));
    }
    settings.setValue(QStringLiteral("axes"), view.axisPerCurve);
    settings.setValue(QStringLiteral("cursorB"), view.cursorB);
    if (view.lanesChosen) {
        QStringList tags;
        for (int relay : view.relayLanes)
            tags << archive::channelTagOf(archive::Group::Relay, relay);
        settings.setValue(QStringLiteral("relayLanes"), tags.join(QLatin1Char(' ')));
    } else {
        settings.remove(QStringLiteral("relayLanes"));
    }
    if (view.geometry.isValid())
        settings.setValue(QStringLiteral("geometry"), view.geometry);
    else
        settings.remove(QStringLiteral("geometry"));
    settings.setValue(QStringLiteral("maximised"), view.maximised);
    settings.endGroup();
    settings.sync();
}
