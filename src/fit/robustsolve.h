// The solver of the robust fit: its starts, iteratively reweighted
// Levenberg-Marquardt on a sample, the polish on every point, and the
// factored normal equations. Internal to the robust fit.
#ifndef TAVRIN_ROBUSTSOLVE_H
#define TAVRIN_ROBUSTSOLVE_H

#include "ellipsoidfit.h"
#include "robustpass.h"

#include <limits>
#include <optional>
#include <vector>

namespace tavrin {
namespace robust {

// The Cholesky factor L of a normal matrix J^T W J.
using Factor = double[MaxParameters][MaxParameters];

/// False when a pivot falls below least times the largest diagonal entry:
/// some combination of the parameters moves no residual, and the data leave
/// it free.
bool factorNormal(const Normal &n, int np, Factor L, double least = RobustLimits::SingularPivot);

/// Solves L L^T x = -g.
void solveFactored(const Factor L, int np, const double *g, double *x);

/// unit (J^T W J)^-1 restricted to the bias, from the factor L.
void biasBlock(const Factor L, int np, double unit, double out[3][3]);

/// Levenberg-Marquardt on the robust cost for a fixed sigma, one pass over
/// the sample per step tried, until it settles, mostSteps steps have been
/// tried, or the sample's control cancels; returns the passes it made, and
/// the magnitudes of the residuals at the t it leaves, in the order of the
/// points.
int minimise(const Sample &s, const Model &m, Parameters &t, Loss loss, double sigma, int mostSteps,
             std::vector<double> &magnitudes);

struct Solution {
    Parameters t;
    double sigma = std::numeric_limits<double>::infinity();
};

// A solution, the normal equations J^T W J, J^T W r of Tukey's loss at it,
// and the 0-based indices of the points of weight zero there among all the
// caller counts, the gross points included, in their order.
struct Judged {
    Solution fit;
    Normal normal;
    std::vector<int> rejected;
};

/// A calibration in the frame of s, whose L scales and does not turn.
Parameters inFrame(const Sample &s, const Model &m, const CalibrationParameters &p);

/// From start when given, or from the algebraic fit (but for a plane) and
/// from a sphere, converged on an even sample of a large set: the solution
/// of least robust scale, on the sample. Empty when none converges.
std::optional<Solution> convergedStart(const Sample &all, const Model &m, double Hm,
                                       const CalibrationParameters *start);

/// The solution of the converged starts: polished on every point when they
/// converged on a sample of them, and judged there.
std::optional<Judged> solve(const Sample &all, const Model &m, double Hm, const CalibrationParameters *start);

} // namespace robust
} // namespace tavrin

#endif
