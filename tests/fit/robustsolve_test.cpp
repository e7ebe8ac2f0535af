// The robust fit's solver on its own: a cancel stops Levenberg-Marquardt
// between its passes over the points, counted by the passes it reports.
#include "robustsolve.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace tavrin;
using namespace tavrin::robust;

TEST(RobustSolve, ACancelStopsMinimiseAfterItsFirstPass)
{
    Recording r{rotatedEllipsoid(1.1, 0.92, 1.03, 0.4, -0.3, 0.2, 9.0, -6.0, 12.0)};
    r.n = 200000;
    r.sigma = 0.3;
    const MatDoub points = record(r).points;
    std::atomic<bool> cancel{false};
    const WorkControl control(&cancel, 1, {});
    const Sample s{points, nullptr, {}, {{1 / r.Hm, 0, 0}, {0, 1 / r.Hm, 0}, {0, 0, 1 / r.Hm}}, 1, &control};
    const Model m{Shape::Full, 1.0};
    // A sphere about the origin, a fifth of the radius from the centre.
    const Parameters start{{0, 0, 0, 1, 1, 1, 0, 0, 0}};
    constexpr int mostSteps = 50;
    std::vector<double> magnitudes;
    Parameters free = start;
    const int passes = minimise(s, m, free, Loss::Huber, 0.01, mostSteps, magnitudes);
    ASSERT_GE(passes, 6) << "a run that a cancel could shorten";
    EXPECT_NEAR(free.v[0], 9.0 / r.Hm, 0.01);

    cancel = true;
    Parameters stopped = start;
    EXPECT_EQ(minimise(s, m, stopped, Loss::Huber, 0.01, mostSteps, magnitudes), 1)
        << "the uncancelled run made " << passes;
    EXPECT_EQ(stopped.v, start.v);
    // The one pass still lists where the points stand.
    EXPECT_EQ(magnitudes.size(), size_t(points.nrows()));
}
