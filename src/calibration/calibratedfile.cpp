#include "calibratedfile.h"

#include <charconv>

namespace tavrin {

QByteArray CalibratedPointsBytes(Points points, const CalibrationParameters &p)
{
    QByteArray out;
    out.reserve(qsizetype(points.size()) * 40);
    const Calibrator calibrate(p);
    for (Int k = 0; k < points.size(); k++) {
        Doub c[3];
        calibrate(points[k], c);
        // Fixed notation of a finite double: at most 309 digits before the point.
        char line[3 * 330];
        char *end = line;
        for (Int i = 0; i < 3; i++) {
            end = std::to_chars(end, line + sizeof line, c[i], std::chars_format::fixed, 6).ptr;
            *end++ = i < 2 ? '\t' : '\n';
        }
        out.append(line, end - line);
    }
    return out;
}

} // namespace tavrin
