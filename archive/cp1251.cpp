#include "cp1251.h"

namespace archive {

namespace {

// 0x00-0x7F is ASCII and 0xC0-0xFF is А-я (U+0410-U+044F) in order; the rest
// of the Cyrillic letters and the punctuation sit in between. 0x98, which the
// code page leaves unassigned, stands for the control character U+0098, as in
// the converters of ICU and web browsers.
constexpr char16_t kUpper[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

char encode(char16_t c)
{
    if (c < 0x80)
        return char(c);
    if (c >= 0x0410 && c <= 0x044F)
        return char(0xC0 + (c - 0x0410));
    for (int i = 0; i < 64; ++i) {
        if (kUpper[i] == c)
            return char(0x80 + i);
    }
    return '?';
}

} // namespace

QByteArray toWindows1251(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // A character beyond the 16-bit range is one '?', not one per half.
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        bytes += encode(c.unicode());
    }
    return bytes;
}

QString fromWindows1251(const QByteArray &bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        char16_t c = b;
        if (b >= 0xC0)
            c = char16_t(0x0410 + (b - 0xC0));
        else if (b >= 0x80)
            c = kUpper[b - 0x80];
        text[i] = QChar(c);
    }
    return text;
}

} // namespace archive
