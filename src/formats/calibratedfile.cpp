#include "calibratedfile.h"

#include <charconv>

namespace tavrin {

QByteArray CalibratedPointsBytes(Points points, const CalibrationParameters &p)
{
    QByteArray out;
    out.reserve(qsizetype(points.size()) * 40);
    const Calibrator calibrate(p);
    for (int k = 0; k < points.size(); k++) {
        double c[3];
        calibrate(points[k], c);
        // Fixed notation of a finite double: at most 309 digits before the point.
        char line[3 * 330];
        char *end = line;
        for (int i = 0; i < 3; i++) {
            end = std::to_chars(end, line + sizeof line, c[i], std::chars_format::fixed, 6).ptr;
            *end++ = i < 2 ? '\t' : '\n';
        }
        out.append(line, end - line);
    }
    return out;
}

} // namespace tavrin
