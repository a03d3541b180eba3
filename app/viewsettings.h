#ifndef VIEWSETTINGS_H
#define VIEWSETTINGS_H

#include <QRect>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QSettings;

// What the window remembers from one session to the next, in the user's
// configuration directory (never in the archive). Channels are kept by
// their tags ("AIn1", "Freq3"), not by selector index, so that a longer
// channel list in a later version still finds them.
struct ViewSettings
{
    static constexpr int kSelectors = 4;

    QString archiveDir; // the archive last used; empty: none
    // Each selector's tag; empty: "НЕ ВЫБРАН".
    QStringList selectors = {QString(), QString(), QString(), QString()};
    // The counter boxes, each only beside an analogue input.
    QVector<bool> counters = QVector<bool>(kSelectors, false);
    bool axisPerCurve = false; // ШКАЛЫ
    bool cursorB = false;
    // The relay lanes the operator chose (zero-based relays, ascending);
    // until a choice is made the window shows the relays that change.
    bool lanesChosen = false;
    QVector<int> relayLanes;
    QRect geometry; // the window's normal geometry; invalid: never placed
    bool maximised = false;

    bool operator==(const ViewSettings &o) const;
    bool operator!=(const ViewSettings &o) const { return !(*this == o); }
};

// The viewer's settings: organisation "Kestrova", application
// "kestrova-viewer", an INI file under the user's configuration directory
// (QSettings::setPath moves it, as the tests and the demo's start do).
std::unique_ptr<QSettings> viewerSettings();

// Reads what was remembered. A value that is missing, of the wrong type or
// names what no longer exists (a tag of no channel, a counter box of a
// selector that shows no analogue input, a size of nothing) takes its
// default; the others are kept.
ViewSettings loadViewSettings(QSettings &settings);
void saveViewSettings(QSettings &settings, const ViewSettings &view);

// The selector index of a plot channel's tag, and back; 0 ("НЕ ВЫБРАН")
// for a tag that names no plot channel, an empty tag for index 0 or one
// outside the list.
int selectorIndexOfTag(const QString &tag);
QString selectorTagOfIndex(int index);

#endif // VIEWSETTINGS_H
