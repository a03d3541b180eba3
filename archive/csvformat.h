#ifndef CSVFORMAT_H
#define CSVFORMAT_H

namespace archive {

// Room for the longest value text: a minus, the 39 digits of the largest
// float, 12 group separators, the comma and six decimals.
constexpr int kCsvValueMax = 64;

// Writes a stored value as the CSV files have always carried it: the float
// widened to double, six decimals rounded half away from zero on its exact
// binary value, a comma, the integer part grouped in threes by no-break
// spaces, a minus before any value below zero (a negative zero has none),
// "nan" for every NaN and "inf" or "-inf" for the infinities, all in
// windows-1251. Exactly the bytes of QLocale(Russian, Russian Federation)
// .toString(value, 'f', 6) through the windows-1251 codec, made without a
// QString, a locale lookup or a codec call. `out` must hold kCsvValueMax
// bytes; returns the number written.
int formatCsvValue(float value, char *out);

} // namespace archive

#endif // CSVFORMAT_H
