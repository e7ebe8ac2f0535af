// How far a capture is from enough data, cheap enough to follow every
// reading: the directions seen about the centre of a sphere fitted to the
// readings, and how well that centre, the bias, is pinned down.
#ifndef TAVRIN_CAPTURE_COVERAGE_H
#define TAVRIN_CAPTURE_COVERAGE_H

#include "readingparser.h"
#include "spherecells.h"

#include <vector>

namespace tavrin {

struct CoverageState {
    int cellsHit = 0;      ///< of CoverageTracker::Cells cells of equal area
    Reading centre{};      ///< the fitted sphere's centre
    double radius = 0.0;   ///< and radius
    double biasError = -1; ///< the centre's standard error on its worst axis; negative while unknown
    bool enough = false;   ///< coverage and bias error both within their thresholds
};

class CoverageTracker {
public:
    /// Enough: this many of the cells hit, and a bias error under this share of Hm.
    static constexpr int Cells = 100, EnoughCells = 90;
    static constexpr double EnoughBiasShare = 0.01;

    /// hm: the field norm in the readings' unit; 0 to judge against the fitted radius.
    explicit CoverageTracker(double hm = 0.0);

    void add(const Reading &reading);

    /// Keeps only the first count readings.
    void truncate(int count);

    /// Fits the sphere to every reading so far and counts the cells their
    /// directions hit; it takes a pass over the readings.
    CoverageState state() const;

    const std::vector<Reading> &readings() const { return kept; }

private:
    double hm;
    EqualAreaCells cells{Cells};
    std::vector<Reading> kept;
    Reading origin{};      ///< the first reading: sums about it keep their precision
    double normal[4][4]{}; ///< the sums of r r^T, r = (2x, 2y, 2z, 1) about the origin
    double moment[4]{};    ///< the sums of r |h|^2
    double squares = 0.0;  ///< the sum of |h|^4
};

} // namespace tavrin

#endif
