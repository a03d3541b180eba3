#ifndef CURVECOLOURS_H
#define CURVECOLOURS_H

#include "channeltable.h"

#include <QColor>
#include <QList>

// The colour of each curve, in selector order, with the background the
// form gives that curve's selector: the selectors stand under "ЛЕГЕНДА" as
// the plot's legend, each in (nearly) its curve's colour. The curves, their
// band, their value axis, the readout's row and the printed legend all take
// their colour from here, and a test holds the form's style sheets to the
// selector column.
struct CurveColour
{
    QRgb curve;
    QRgb selector;
};

constexpr CurveColour kCurveColours[archive::kCurveCount] = {
    {qRgb(28, 185, 154), qRgb(26, 188, 156)},
    {qRgb(102, 102, 255), qRgb(102, 102, 255)},
    {qRgb(232, 76, 61), qRgb(230, 77, 59)},
    {qRgb(43, 62, 76), qRgb(44, 61, 77)},
};

inline QColor curveColour(int curve)
{
    return QColor(kCurveColours[curve].curve);
}

// The window's eight graph colours: the four curves', then the same four
// in reverse order, which nothing draws.
inline QList<QColor> graphColourList()
{
    QList<QColor> colours;
    for (int i = 0; i < archive::kCurveCount; ++i)
        colours << curveColour(i);
    for (int i = archive::kCurveCount - 1; i >= 0; --i)
        colours << curveColour(i);
    return colours;
}

#endif // CURVECOLOURS_H
