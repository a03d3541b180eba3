#include "channelnames.h"

#include "hourfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace archive {

const char *const kChannelNamesFile = "channels.ini";

namespace {

// Whether bytes are well-formed UTF-8: no overlong forms, surrogates or
// code points past U+10FFFF, each of which QString::fromUtf8 would turn
// into replacement characters without a word.
bool isUtf8(const char *p, const char *end)
{
    while (p < end) {
        const auto c = quint8(*p);
        int more = 0;
        quint32 code = 0;
        if (c < 0x80) {
            ++p;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            code = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            code = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= more)
            return false;
        for (int i = 1; i <= more; ++i) {
            const auto next = quint8(p[i]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (more == 3 && (code < 0x10000 || code > 0x10FFFF)))
            return false;
        p += more + 1;
    }
    return true;
}

bool hasControl(const QByteArray &line)
{
    for (char c : line) {
        const auto b = quint8(c);
        if ((b < 0x20 && b != '\t') || b == 0x7F)
            return true;
    }
    return false;
}

// One line of a name or a unit, without blanks at its ends.
QString cleaned(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return line.trimmed();
}

// Reads the lines of a names file, each in turn.
class NamesParser
{
public:
    explicit NamesParser(NamesRead &read) : read(read) {}

    void take(int number, const QByteArray &bytes)
    {
        line = number;
        const QByteArray trimmed = bytes.trimmed();
        const bool group = trimmed.startsWith('[');
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#'))
            return;
        // Of a group line that cannot be read, the keys after it belong to
        // no channel: they must not land in the one before.
        if (!isUtf8(trimmed.constData(), trimmed.constData() + trimmed.size()))
            return skip(NamesIssue::BadUtf8, QString(), group);
        if (hasControl(trimmed))
            return skip(NamesIssue::ControlCharacter, QString(), group);
        const QString text = QString::fromUtf8(trimmed);
        if (group)
            return takeGroup(text);
        const int equals = text.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return skip(NamesIssue::NotALine, QString(), false);
        takeKey(text.left(equals).trimmed(), text.mid(equals + 1));
    }

private:
    void skip(NamesIssue::Kind kind, const QString &detail, bool endsGroup)
    {
        read.issues.append({line, kind, detail});
        if (endsGroup)
            state = State::Ignored;
    }

    void takeGroup(const QString &text)
    {
        if (!text.endsWith(QLatin1Char(']')) || text.size() < 3)
            return skip(NamesIssue::NotALine, QString(), true);
        const QString tag = text.mid(1, text.size() - 2).trimmed();
        Group group;
        int n = 0;
        if (!parseChannelTag(tag, &group, &n))
            return skip(NamesIssue::UnknownChannel, tag, true);
        currentGroup = group;
        currentN = n;
        state = State::InGroup;
        keysSeen.clear();
        if (groupsSeen.contains(channelTagOf(group, n)))
            read.issues.append({line, NamesIssue::DuplicateGroup, channelTagOf(group, n)});
        groupsSeen.insert(channelTagOf(group, n));
    }

    void takeKey(const QString &key, const QString &value)
    {
        if (state == State::Ignored)
            return;
        if (state == State::None)
            return skip(NamesIssue::OutsideGroup, key, false);
        const QString lower = key.toLower();
        if (lower != QLatin1String("name") && lower != QLatin1String("unit"))
            return skip(NamesIssue::UnknownKey, key, false);
        if (keysSeen.contains(lower))
            read.issues.append({line, NamesIssue::DuplicateKey, key});
        keysSeen.insert(lower);
        ChannelLabel label = read.names.label(currentGroup, currentN);
        (lower == QLatin1String("name") ? label.name : label.unit) = value;
        read.names.setLabel(currentGroup, currentN, label);
    }

    // Before the first group, in a channel's group, or in a group whose
    // keys are left out.
    enum class State { None, InGroup, Ignored };

    NamesRead &read;
    int line = 0;
    State state = State::None;
    Group currentGroup = Group::AIn;
    int currentN = 0;
    QSet<QString> groupsSeen;
    QSet<QString> keysSeen;
};

} // namespace

QString channelTagOf(Group group, int n)
{
    return QLatin1String(channelGroup(group).name) + QString::number(n + 1);
}

bool parseChannelTag(const QString &tag, Group *group, int *n)
{
    for (const ChannelGroup &g : kChannelGroups) {
        const QLatin1String name(g.name);
        if (!tag.startsWith(name, Qt::CaseInsensitive))
            continue;
        const QString digits = tag.mid(name.size());
        bool ok = false;
        const int number = digits.toInt(&ok);
        // Digits alone: toInt also takes a sign and blanks.
        const bool plain = !digits.isEmpty() && digits.at(0) >= QLatin1Char('1') &&
                           digits.at(0) <= QLatin1Char('9') &&
                           std::all_of(digits.cbegin(), digits.cend(), [](QChar c) {
                               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                           });
        if (ok && plain && number <= g.capacity) {
            *group = g.group;
            *n = number - 1;
            return true;
        }
    }
    return false;
}

QString issueText(const NamesIssue &issue)
{
    QString what;
    switch (issue.kind) {
    case NamesIssue::Unreadable:
        what = QStringLiteral("не прочитан: %1").arg(issue.detail);
        break;
    case NamesIssue::TooLarge:
        what = QStringLiteral("больше %1 КиБ, не прочитан").arg(kMaxChannelNamesBytes / 1024);
        break;
    case NamesIssue::BadUtf8:
        what = QStringLiteral("не текст UTF-8");
        break;
    case NamesIssue::ControlCharacter:
        what = QStringLiteral("управляющий символ");
        break;
    case NamesIssue::NotALine:
        what = QStringLiteral("ни [канал], ни ключ=значение");
        break;
    case NamesIssue::OutsideGroup:
        what = QStringLiteral("ключ %1 до первого [канала]").arg(issue.detail);
        break;
    case NamesIssue::UnknownChannel:
        what = QStringLiteral("неизвестный канал [%1]").arg(issue.detail);
        break;
    case NamesIssue::DuplicateGroup:
        what = QStringLiteral("канал [%1] второй раз").arg(issue.detail);
        break;
    case NamesIssue::UnknownKey:
        what = QStringLiteral("неизвестный ключ %1 (есть name и unit)").arg(issue.detail);
        break;
    case NamesIssue::DuplicateKey:
        what = QStringLiteral("ключ %1 второй раз, взят последний").arg(issue.detail);
        break;
    }
    const QString file = QString::fromLatin1(kChannelNamesFile);
    return issue.line > 0 ? QStringLiteral("%1, строка %2: %3").arg(file).arg(issue.line).arg(what)
                          : QStringLiteral("%1 %2").arg(file, what);
}

ChannelLabel ChannelNames::label(Group group, int n) const
{
    return labels.value(channelTagOf(group, n));
}

void ChannelNames::setLabel(Group group, int n, const ChannelLabel &label)
{
    if (n < 0 || n >= channelGroup(group).capacity)
        return;
    const ChannelLabel clean{cleaned(label.name), cleaned(label.unit)};
    if (clean.isEmpty())
        labels.remove(channelTagOf(group, n));
    else
        labels.insert(channelTagOf(group, n), clean);
}

QString ChannelNames::selectorItem(Group group, int n) const
{
    return label(group, n).name + QStringLiteral(" (") + channelTagOf(group, n) + QLatin1Char(')');
}

QString ChannelNames::axisLabel(Group group, int n) const
{
    const ChannelLabel l = label(group, n);
    if (l.unit.isEmpty())
        return l.name;
    return (l.name.isEmpty() ? channelTagOf(group, n) : l.name) + QStringLiteral(", ") + l.unit;
}

QString ChannelNames::readoutName(Group group, int n) const
{
    if (group == Group::Relay)
        return laneName(n);
    const QString name = label(group, n).name;
    return name.isEmpty() ? channelName(channelGroup(group), n) : name;
}

QString ChannelNames::laneName(int relay) const
{
    const QString name = label(Group::Relay, relay).name;
    return name.isEmpty() ? channelName(channelGroup(Group::Relay), relay) : name;
}

QString ChannelNames::title(Group group, int n) const
{
    if (label(group, n).name.isEmpty())
        return group == Group::Relay
                   ? laneName(n)
                   : QString::fromUtf8(channelGroup(group).csvLabel) + QString::number(n + 1);
    return axisLabel(group, n) + QStringLiteral(" (") + channelTagOf(group, n) + QLatin1Char(')');
}

NamesRead parseChannelNames(const QByteArray &bytes)
{
    NamesRead read;
    read.present = true;
    if (bytes.size() > kMaxChannelNamesBytes) {
        read.issues.append({0, NamesIssue::TooLarge, QString()});
        return read;
    }
    NamesParser parser(read);
    int number = 1;
    for (int from = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0; from <= bytes.size(); ++number) {
        int to = bytes.indexOf('\n', from);
        if (to < 0)
            to = bytes.size();
        parser.take(number, bytes.mid(from, to - from));
        from = to + 1;
    }
    return read;
}

NamesRead readChannelNames(const QString &archiveDir)
{
    const QString path = QDir(archiveDir).filePath(QString::fromLatin1(kChannelNamesFile));
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return NamesRead();
    NamesRead read;
    read.present = true;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        read.issues.append({0, NamesIssue::Unreadable,
                            info.isDir() ? QStringLiteral("это каталог") : file.errorString()});
        return read;
    }
    // One byte past the limit tells a file that is too large, whatever its
    // size said when it was opened.
    const QByteArray bytes = file.read(kMaxChannelNamesBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        read.issues.append({0, NamesIssue::Unreadable, file.errorString()});
        return read;
    }
    return parseChannelNames(bytes);
}

QByteArray channelNamesText(const ChannelNames &names)
{
    QByteArray text = "; Имена и единицы каналов архива: [канал], name=имя, unit=единица\n";
    for (const ChannelGroup &group : kChannelGroups) {
        for (int n = 0; n < group.capacity; ++n) {
            const ChannelLabel label = names.label(group.group, n);
            if (label.isEmpty())
                continue;
            text += '\n';
            text += '[' + channelTagOf(group.group, n).toLatin1() + "]\n";
            if (!label.name.isEmpty())
                text += "name=" + label.name.toUtf8() + '\n';
            if (!label.unit.isEmpty())
                text += "unit=" + label.unit.toUtf8() + '\n';
        }
    }
    return text;
}

bool writeChannelNames(const QString &archiveDir, const ChannelNames &names, QString *error)
{
    QSaveFile file(QDir(archiveDir).filePath(QString::fromLatin1(kChannelNamesFile)));
    const QByteArray text = channelNamesText(names);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && commitFully(file))
        return true;
    if (error)
        *error = file.errorString();
    // Unless committed, the new file is removed with the QSaveFile.
    return false;
}

} // namespace archive
