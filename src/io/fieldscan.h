// Skipping the fields of a log row that are not read, and counting line
// ends, sixteen bytes at a time where the processor compares that many at once.
#ifndef TAVRIN_FIELDSCAN_H
#define TAVRIN_FIELDSCAN_H

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tavrin {

/// Where the count-th separator from p lies, before end, when no line end
/// ('\n', '\r') and no quote comes before it: fields so far are then split
/// by the separator alone. nullptr otherwise.
inline const char *afterFields(const char *p, const char *end, char separator, int count)
{
#if defined(__SSE2__)
    const __m128i separators = _mm_set1_epi8(separator);
    const __m128i feeds = _mm_set1_epi8('\n');
    const __m128i returns = _mm_set1_epi8('\r');
    const __m128i quotes = _mm_set1_epi8('"');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        unsigned found = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, separators)));
        const unsigned stops = unsigned(_mm_movemask_epi8(
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, feeds), _mm_cmpeq_epi8(bytes, returns)),
                         _mm_cmpeq_epi8(bytes, quotes))));
        for (; found; found &= found - 1) {
            const unsigned at = unsigned(__builtin_ctz(found));
            if (--count == 0)
                return stops & ((2u << at) - 1) ? nullptr : p + at;
        }
        if (stops)
            return nullptr;
    }
#endif
    for (; p != end; ++p) {
        if (*p == separator && --count == 0)
            return p;
        if (*p == '\n' || *p == '\r' || *p == '"')
            return nullptr;
    }
    return nullptr;
}

/// The first line end ('\n' or '\r') from p on, before end; nullptr when none.
inline const char *lineEndFrom(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i feeds = _mm_set1_epi8('\n');
    const __m128i returns = _mm_set1_epi8('\r');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        if (const unsigned ends = unsigned(_mm_movemask_epi8(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, feeds), _mm_cmpeq_epi8(bytes, returns)))))
            return p + __builtin_ctz(ends);
    }
#endif
    for (; p != end; ++p)
        if (*p == '\n' || *p == '\r')
            return p;
    return nullptr;
}

/// The line ends in [p, end): line feeds, and with crEndsLine carriage
/// returns that no line feed follows within [p, end). No fewer than the
/// lines that end there.
inline std::int64_t countLineEnds(const char *p, const char *end, bool crEndsLine)
{
    std::int64_t count = 0;
#if defined(__SSE2__)
    const __m128i feeds = _mm_set1_epi8('\n');
    const __m128i returns = _mm_set1_epi8('\r');
    const __m128i zero = _mm_setzero_si128();
    // Each byte lane counts its line ends, at most 255 of them before they
    // are added up. A carriage return is seen beside the byte after it.
    while (end - p > 16) {
        __m128i lanes = zero;
        for (int k = 0; k < 255 && end - p > 16; k++, p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            __m128i ends = _mm_cmpeq_epi8(bytes, feeds);
            if (crEndsLine) {
                // Most inputs hold no carriage return: the byte after one is looked at only beside one.
                const __m128i crs = _mm_cmpeq_epi8(bytes, returns);
                if (_mm_movemask_epi8(crs) != 0) {
                    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 1));
                    ends = _mm_or_si128(ends, _mm_andnot_si128(_mm_cmpeq_epi8(next, feeds), crs));
                }
            }
            lanes = _mm_sub_epi8(lanes, ends);
        }
        const __m128i sums = _mm_sad_epu8(lanes, zero);
        count += _mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums));
    }
#endif
    for (; p != end; ++p)
        count += *p == '\n' || (crEndsLine && *p == '\r' && (end - p == 1 || p[1] != '\n'));
    return count;
}

} // namespace tavrin

#endif
