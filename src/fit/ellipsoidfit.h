// Direct ellipsoid-specific least-squares fit and the calibration derived
// from it: the bias b (the centre) and the symmetric matrix A that maps the
// sphere of radius Hm onto the fitted ellipsoid, h_cal = A^-1 (h - b).
#ifndef TAVRIN_ELLIPSOIDFIT_H
#define TAVRIN_ELLIPSOIDFIT_H

#include "nr3.h"
#include "points.h"
#include "workcontrol.h"

#include <array>
#include <cmath>

#include <optional>

namespace tavrin {

/// The fitted quadric h^T M h + 2 a^T h + d = 0 and its ellipsoid test.
struct EllipsoidFit {
    MatDoub M; ///< 3x3, symmetric
    MatDoub a; ///< 3x1
    Doub d = 0.0;
    Doub TestEllip = 0.0;        ///< 4J - I^2: 1 for a sphere, lower the flatter
    Bool outlierWarning = false; ///< |TestEllip - 1| > 0.1

    /// The same quadric in the frame h' = (h - origin) / scale that the fit
    /// was found in, kept when that frame lies farther from the origin than
    /// FarFrame times its scale: there the coefficients above cancel most
    /// of their digits in the calibration, which is derived in the frame.
    struct InFrame {
        Doub origin[3] = {};
        Doub scale = 1.0;
        MatDoub M, a;
        Doub d = 0.0;
    };
    std::optional<InFrame> frame;
};

/// What the fits support: readings of magnitude (their largest coordinate)
/// from Smallest to Largest, and Hm in the same unit; the robust fits leave
/// gross readings beyond out. Squares of the readings and of Hm stay far
/// from underflow and overflow.
namespace FitRange {
constexpr Doub Smallest = 1e-100;
constexpr Doub Largest = 1e100;
} // namespace FitRange

/// Points whose mean lies farther from the origin than this many times their
/// RMS distance from it are calibrated in the frame of their mean: nearer,
/// the derivation in the measurements' coordinates keeps nine digits and its
/// results stay as they have always been.
constexpr Doub FarFrame = 1e3;

struct CalibrationParameters {
    MatDoub Bias; ///< 3x1
    MatDoub A;    ///< 3x3
    MatDoub Ainv; ///< 3x3, the inverse of A as derived, before A was inverted from it

    /// Whether b, A and A^-1 hold numbers only.
    Bool finite() const
    {
        for (Int i = 0; i < 3; i++) {
            if (!std::isfinite(Bias[i][0]))
                return false;
            for (Int j = 0; j < 3; j++)
                if (!std::isfinite(A[i][j]) || !std::isfinite(Ainv[i][j]))
                    return false;
        }
        return true;
    }

    /// The twelve results in the order of the result fields: b, then A by rows.
    std::array<Doub, 12> values() const
    {
        std::array<Doub, 12> v;
        for (Int i = 0; i < 3; i++) {
            v[size_t(i)] = Bias[i][0];
            for (Int j = 0; j < 3; j++)
                v[size_t(3 + 3 * i + j)] = A[i][j];
        }
        return v;
    }
};

/// The calibrated measurement A^-1 (h - b). The parameters are copied into
/// plain arrays, which loops over many points keep in registers.
class Calibrator {
public:
    explicit Calibrator(const CalibrationParameters &p)
    {
        for (Int i = 0; i < 3; i++) {
            b[i] = p.Bias[i][0];
            for (Int j = 0; j < 3; j++)
                Ainv[i][j] = p.Ainv[i][j];
        }
    }

    void operator()(const Doub h[3], Doub out[3]) const
    {
        const Doub d[3] = {h[0] - b[0], h[1] - b[1], h[2] - b[2]};
        for (Int i = 0; i < 3; i++)
            out[i] = Ainv[i][0] * d[0] + Ainv[i][1] * d[1] + Ainv[i][2] * d[2];
    }

    /// |h - b|, the norm with the bias alone removed.
    Doub biasFreeNorm(const Doub h[3]) const
    {
        return std::sqrt(SQR(h[0] - b[0]) + SQR(h[1] - b[1]) + SQR(h[2] - b[2]));
    }

    /// |A^-1 (h - b)|.
    Doub calibratedNorm(const Doub h[3]) const
    {
        Doub c[3];
        (*this)(h, c);
        return std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    }

private:
    Doub b[3];
    Doub Ainv[3][3];
};

/// The ten per-point terms of the quadric, in the order of the design matrix.
inline void quadricTerms(Doub x, Doub y, Doub z, Doub terms[10])
{
    terms[0] = x * x;
    terms[1] = y * y;
    terms[2] = z * z;
    terms[3] = (x + x) * y;
    terms[4] = (x + x) * z;
    terms[5] = (y + y) * z;
    terms[6] = x + x;
    terms[7] = y + y;
    terms[8] = z + z;
    terms[9] = 1.0;
}

/// The scatter matrix D D^T of the points, summed point by point in the
/// order of the matrix product, so bit for bit the same without D. With
/// weights, point k counts weights[k] times: a resample of the points.
MatDoub scatterMatrix(Points points, const Int *weights = nullptr);

/// The ten coefficients of the quadric need at least ten distinct points.
constexpr Int MinimumPoints = 10;

/// Fits the quadric to the points, point k counted weights[k]
/// times when weights are given. Points that lie exactly on a quadric give
/// that quadric. Empty when there are fewer than MinimumPoints distinct
/// points, when they lie on a line or a plane or single out no quadric, when
/// the fit fails numerically (the library has printed its error line), or
/// when it is not finite. The sums take at most two of control's threads;
/// the fit is the same on any number.
std::optional<EllipsoidFit> FitEllipsoid(Points points, const Int *weights = nullptr,
                                         const WorkControl &control = WorkControl().withThreads(1));

/// Bias and A of a fitted quadric for the field norm Hm. Empty when a step
/// fails numerically or any of the twelve values is not finite.
std::optional<CalibrationParameters> DeriveCalibration(const EllipsoidFit &fit, Doub Hm);

/// The quadric |A^-1 (h - b)| = Hm of a calibration, its quadratic
/// coefficients of unit length as a fit's, with its ellipsoid test.
EllipsoidFit QuadricOf(const CalibrationParameters &p, Doub Hm);

} // namespace tavrin

#endif
