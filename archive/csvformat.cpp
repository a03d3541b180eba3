#include "csvformat.h"

#include <cstdint>
#include <cstring>

namespace archive {

namespace {

constexpr char kGroupSeparator = char(0xA0); // U+00A0 in windows-1251
constexpr std::uint32_t kMicros = 1000000;
using Wide = unsigned __int128; // the whole numbers up to FLT_MAX

// "00" to "99": two digits per division halves the divisions.
struct DigitPairs
{
    char text[200];
    constexpr DigitPairs() : text()
    {
        for (int i = 0; i < 100; ++i) {
            text[2 * i] = char('0' + i / 10);
            text[2 * i + 1] = char('0' + i % 10);
        }
    }
};
constexpr DigitPairs kPairs;

// Writes the digits of `value` so that the last one ends just before `end`.
// Only the few whole numbers beyond 64 bits pay for 128-bit division.
template <typename Integer> void writeDigits(Integer value, char *end)
{
    while (value >= 100) {
        const unsigned pair = unsigned(value % 100);
        value /= 100;
        end -= 2;
        std::memcpy(end, kPairs.text + 2 * pair, 2);
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, kPairs.text + 2 * unsigned(value), 2);
    } else {
        *--end = char('0' + unsigned(value));
    }
}

int digitCount(Wide value)
{
    int n = 1;
    while (value >= 10) {
        value /= 10;
        ++n;
    }
    return n;
}

int digitCount(std::uint64_t value)
{
    int n = 1;
    for (std::uint64_t limit = 10; n < 20 && value >= limit; limit *= 10)
        ++n;
    return n;
}

// The integer part, grouped in threes from the right.
template <typename Integer> char *writeGrouped(Integer value, char *out)
{
    char digits[40];
    const int n = digitCount(value);
    writeDigits(value, digits + n);
    int first = n % 3 == 0 ? 3 : n % 3;
    std::memcpy(out, digits, size_t(first));
    out += first;
    for (int i = first; i < n; i += 3) {
        *out++ = kGroupSeparator;
        std::memcpy(out, digits + i, 3);
        out += 3;
    }
    return out;
}

char *writeMicros(std::uint32_t micros, char *out)
{
    *out++ = ',';
    std::memcpy(out, kPairs.text + 2 * (micros / 10000), 2);
    std::memcpy(out + 2, kPairs.text + 2 * (micros / 100 % 100), 2);
    std::memcpy(out + 4, kPairs.text + 2 * (micros % 100), 2);
    return out + 6;
}

} // namespace

int formatCsvValue(float value, char *out)
{
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 31) != 0;
    const int biased = int((bits >> 23) & 0xFF);
    const std::uint32_t fraction = bits & 0x7FFFFF;

    char *p = out;
    if (biased == 0xFF) {
        if (fraction != 0) {
            std::memcpy(p, "nan", 3);
            return 3;
        }
        if (negative)
            *p++ = '-';
        std::memcpy(p, "inf", 3);
        return int(p - out) + 3;
    }
    // value = mantissa * 2^exponent, exactly.
    const std::uint32_t mantissa = biased == 0 ? fraction : fraction | 0x800000;
    const int exponent = biased == 0 ? -149 : biased - 150;
    if (negative && mantissa != 0)
        *p++ = '-';

    if (exponent >= 0) {
        // A whole number, up to 128 bits wide.
        p = writeGrouped(Wide(mantissa) << exponent, p);
        return int(writeMicros(0, p) - out);
    }
    // Below 2^24: the integer part and the fraction's millionths. The
    // fraction times a million stays under 2^44, so every step is exact
    // in 64 bits, and a remainder of at least half a millionth rounds up.
    const int shift = -exponent;
    std::uint64_t whole = 0;
    std::uint64_t scaled = std::uint64_t(mantissa) * kMicros;
    if (shift < 24) {
        whole = mantissa >> shift;
        scaled = std::uint64_t(mantissa & ((1u << shift) - 1)) * kMicros;
    }
    std::uint32_t micros = 0;
    if (shift < 64) {
        micros = std::uint32_t(scaled >> shift);
        const std::uint64_t rest = scaled & ((std::uint64_t(1) << shift) - 1);
        if (rest >= (std::uint64_t(1) << (shift - 1)))
            ++micros;
        if (micros == kMicros) {
            micros = 0;
            ++whole;
        }
    }
    p = writeGrouped(whole, p);
    return int(writeMicros(micros, p) - out);
}

} // namespace archive
