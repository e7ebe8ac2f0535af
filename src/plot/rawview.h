// How the figure and the point cloud show raw points: about their own mean,
// scaled so that their RMS distance from it is Hm. A large offset, or counts
// against an Hm in microtesla, would otherwise shrink the calibrated sphere to
// a dot.
#ifndef TAVRIN_PLOT_RAWVIEW_H
#define TAVRIN_PLOT_RAWVIEW_H

#include "ellipsoidfit.h"

#include <cmath>

namespace tavrin {

class RawView {
public:
    RawView(Points points, double hm)
    {
        const int n = points.size();
        for (int k = 0; k < n; k++)
            for (int i = 0; i < 3; i++)
                centre[i] += points[k][i] / n;
        double squares = 0.0;
        for (int k = 0; k < n; k++)
            for (int i = 0; i < 3; i++)
                squares += SQR(points[k][i] - centre[i]);
        const double radius = n > 0 ? std::sqrt(squares / n) : 0.0;
        scale = radius > 0 ? std::abs(hm) / radius : 1.0;
    }

    void operator()(const double *h, double out[3]) const
    {
        for (int i = 0; i < 3; i++)
            out[i] = (h[i] - centre[i]) * scale;
    }

private:
    double centre[3] = {};
    double scale = 1.0;
};

} // namespace tavrin

#endif
