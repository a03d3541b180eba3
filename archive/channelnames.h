#ifndef CHANNELNAMES_H
#define CHANNELNAMES_H

#include "channeltable.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

namespace archive {

// The operator's names and units of the channels, kept in an optional file
// beside the hour files. It is UTF-8 text in the shape of an INI file, one
// group per channel tag and the keys `name` and `unit`:
//
//     [AIn1]
//     name=Давление насоса
//     unit=бар
//
// Lines starting with ";" or "#" are comments. Our own reader, not QSettings,
// reads it: QSettings' INI reader on Qt 5 takes the bytes as Latin-1 and
// treats backslashes and quotes as escapes, which would mangle both a
// Russian name and a path in one.
extern const char *const kChannelNamesFile; // "channels.ini"
// A names file larger than this is refused unread: no operator writes
// 256 KiB of names, and a file of that size is something else.
constexpr qint64 kMaxChannelNamesBytes = 256 * 1024;

// A channel's tag as the CSV and the companion name it: the group's short
// name and the number, "AIn1", "Freq36", "Counter3", "Relay48"; n is
// zero-based.
QString channelTagOf(Group group, int n);
// The channel of a tag (letters in any case, the number without leading
// zeros and within the group's capacity); false for anything else.
bool parseChannelTag(const QString &tag, Group *group, int *n);

struct ChannelLabel
{
    QString name;
    QString unit;

    bool isEmpty() const { return name.isEmpty() && unit.isEmpty(); }
    bool operator==(const ChannelLabel &o) const { return name == o.name && unit == o.unit; }
    bool operator!=(const ChannelLabel &o) const { return !(*this == o); }
};

// What is wrong with one line of a names file, or with the file itself.
struct NamesIssue
{
    enum Kind {
        Unreadable,       // the file could not be read (detail: why)
        TooLarge,         // larger than kMaxChannelNamesBytes, left unread
        BadUtf8,          // the line is not UTF-8
        ControlCharacter, // the line holds a control character
        NotALine,         // neither "[TAG]" nor "key=value"
        OutsideGroup,     // a key before any group
        UnknownChannel,   // a group whose tag names no channel; its keys are left out
        DuplicateGroup,   // a channel's second group: its keys are taken too
        UnknownKey,       // a key other than name and unit
        DuplicateKey,     // a key given twice in one group: the last one stands
    };

    int line = 0; // from 1; 0 for the file as a whole
    Kind kind = NotALine;
    QString detail; // the tag or key concerned, or the reason it is unreadable
};

// The issue as the window's notice shows it: "channels.ini, строка 3:
// неизвестный канал [AIn99]".
QString issueText(const NamesIssue &issue);

// The names and units of the channels, and the texts the window shows with
// them. A channel without either shows exactly the texts it shows without
// a names file.
class ChannelNames
{
public:
    bool isEmpty() const { return labels.isEmpty(); }
    int size() const { return labels.size(); }
    ChannelLabel label(Group group, int n) const;
    // A name and a unit are one line each, without blanks around them:
    // control characters become blanks, and the ends are trimmed. An empty
    // label takes the channel's away.
    void setLabel(Group group, int n, const ChannelLabel &label);

    // "Давление насоса (AIn1)", or " (AIn1)" without a name.
    QString selectorItem(Group group, int n) const;
    // "Давление насоса, бар", "Давление насоса", "AIn1, бар" with only a
    // unit, or nothing.
    QString axisLabel(Group group, int n) const;
    // The readout's name: the channel's name, or "AIn1", "СЧЁТЧИК 1", "Реле 1".
    QString readoutName(Group group, int n) const;
    // A relay's lane: its name, or "Реле 1"; `relay` is zero-based.
    QString laneName(int relay) const;
    // The legend of the printed page: "Давление насоса, бар (AIn1)", or the
    // channel's full name "Аналоговый Вх. 1".
    QString title(Group group, int n) const;

    bool operator==(const ChannelNames &o) const { return labels == o.labels; }
    bool operator!=(const ChannelNames &o) const { return !(*this == o); }

private:
    QHash<QString, ChannelLabel> labels; // by tag
};

struct NamesRead
{
    bool present = false; // the archive has a names file
    ChannelNames names;
    QVector<NamesIssue> issues; // in line order; each such line is left out
};

// Reads the names from the bytes of a names file. Never fails: every line
// it cannot take is left out and named in the issues.
NamesRead parseChannelNames(const QByteArray &bytes);
// Reads kChannelNamesFile of the archive directory. Without the file the
// result is empty and not present.
NamesRead readChannelNames(const QString &archiveDir);

// The text of a names file holding `names`, in the channel table's order.
QByteArray channelNamesText(const ChannelNames &names);
// Replaces the archive's names file with one holding `names`: whole or not
// at all (written beside it, flushed, then renamed over it). Only the
// names and units are written; comments and lines the reader left out of
// the old file are not kept. False, with the reason in `error`, when it
// could not be written; the old file then stays as it was.
bool writeChannelNames(const QString &archiveDir, const ChannelNames &names,
                       QString *error = nullptr);

} // namespace archive

#endif // CHANNELNAMES_H
