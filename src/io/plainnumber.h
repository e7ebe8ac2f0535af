// The quick reading of the numbers that fill nearly every measurement file:
// an optional sign, decimal digits and at most one decimal point. Such a
// number with at most 19 digits, whose digits make an integer w <= 2^53 and
// whose point stands f <= 19 digits from its end, is w / 10^f with both w
// and 10^f exact doubles: one correctly rounded division gives the double
// nearest the decimal, the very value std::from_chars gives. Everything else
// (exponents, longer numbers, "inf") is left to std::from_chars.
#ifndef TAVRIN_PLAINNUMBER_H
#define TAVRIN_PLAINNUMBER_H

#include <cstdint>

namespace tavrin {

namespace plain {

// Where the number ends is known without end when a character that is no
// digit, point or sign follows it for sure, as a line's terminator does.
template <bool Bounded> inline const char *read(const char *p, const char *end, double &value)
{
    static constexpr double exactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,
                                             1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19};
    constexpr int mostDigits = 19;
    constexpr std::uint64_t mostExact = std::uint64_t(1) << 53;
    const auto more = [&] { return !Bounded || p != end; };
    // Signs come and go at random in measurements: no branch on them.
    static constexpr double signs[] = {1.0, -1.0};
    const char first = more() ? *p : '\0';
    const bool negative = first == '-';
    p += negative || first == '+';

    std::uint64_t w = 0;
    const auto digitsFrom = [&](const char *start) {
        for (; more() && unsigned(*p) - unsigned('0') < 10; ++p)
            w = 10 * w + (unsigned(*p) - unsigned('0'));
        return int(p - start);
    };
    int digits = digitsFrom(p);
    int fraction = 0;
    if (more() && *p == '.') {
        ++p;
        fraction = digitsFrom(p);
        digits += fraction;
    }
    // More digits may have wrapped w around.
    if (digits == 0 || digits > mostDigits || w > mostExact)
        return nullptr;
    value = double(w) / exactPowers[fraction] * signs[negative];
    return p;
}

} // namespace plain

/// Reads a plain number that starts at p and ends at the first character
/// that is no digit and no first point, before end. Returns where it ended,
/// or nullptr when p holds no plain number that can be read exactly here:
/// then std::from_chars must decide.
inline const char *readPlainNumber(const char *p, const char *end, double &value)
{
    return plain::read<true>(p, end, value);
}

/// The same where a character that is no digit, point or sign surely comes
/// after p, before the end of what can be read.
inline const char *readPlainNumber(const char *p, double &value)
{
    return plain::read<false>(p, nullptr, value);
}

} // namespace tavrin

#endif
