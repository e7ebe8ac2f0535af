#include "robustfit.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tavrin;

namespace {

Truth diagonalTruth(Doub sx, Doub sy, Doub sz, Doub bx, Doub by, Doub bz)
{
    Truth t = sphereTruth(1.0, bx, by, bz);
    t.A0[0][0] = sx, t.A0[1][1] = sy, t.A0[2][2] = sz;
    return t;
}

void expectTruth(const CalibrationParameters &p, const Truth &t, Doub Hm, Doub relative)
{
    Doub size = Hm;
    for (const Doub b : t.b0)
        size = std::max(size, std::abs(b));
    for (Int i = 0; i < 3; i++) {
        EXPECT_NEAR(p.Bias[i][0], t.b0[i], relative * size) << "b" << i;
        for (Int j = 0; j < 3; j++) {
            EXPECT_NEAR(p.A[i][j], t.A0[i][j], relative) << "A" << i << j;
            Doub identity = 0.0;
            for (Int k = 0; k < 3; k++)
                identity += p.A[i][k] * p.Ainv[k][j];
            EXPECT_NEAR(identity, i == j ? 1.0 : 0.0, 1e-12);
        }
    }
}

Recording flatTurn(Doub sigma, Doub wobble, unsigned seed)
{
    // In the plane a matrix of determinant one; along z, no scale or bias:
    // what the planar fit can determine.
    Truth t = sphereTruth(1.0, 14.0, -9.0, 0.0);
    t.A0[0][0] = 1.12, t.A0[0][1] = t.A0[1][0] = 0.06, t.A0[1][1] = (1.0 + 0.06 * 0.06) / 1.12;
    Recording r{t};
    r.flat = true, r.sigma = sigma, r.wobble = wobble, r.seed = seed;
    return r;
}

} // namespace

TEST(RobustFit, EachModelRecoversItsOwnTruthFromCleanData)
{
    const Doub Hm = 48.0;
    const struct {
        FitModel model;
        Truth truth;
    } cases[] = {
        {FitModel::Full, rotatedEllipsoid(1.1, 0.92, 1.03, 0.4, -0.3, 0.2, 30.0, -12.0, 55.0)},
        {FitModel::Diagonal, diagonalTruth(1.1, 0.95, 1.02, -8.0, 3.0, 21.0)},
        {FitModel::Sphere, sphereTruth(1.07, 500.0, -300.0, 410.0)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(fitModelName(c.model));
        for (const Doub share : {1.0, 0.3}) {
            Recording r{c.truth};
            r.capShare = share;
            const std::optional<RobustFit> fit = FitRobust(record(r).points, Hm, c.model);
            ASSERT_TRUE(fit.has_value());
            EXPECT_EQ(fit->model, c.model);
            expectTruth(fit->parameters, c.truth, Hm, 1e-6);
            EXPECT_TRUE(fit->rejected.empty());
            EXPECT_LT(fit->scale, 1e-6 * Hm);
        }
    }
    const Recording flat = flatTurn(0.0, 0.0, 3);
    const std::optional<RobustFit> planar = FitRobust(record(flat).points, Hm, FitModel::Planar);
    ASSERT_TRUE(planar.has_value());
    expectTruth(planar->parameters, flat.truth, Hm, 1e-6);
    EXPECT_NEAR(planar->normal[2], 1.0, 1e-9);
}

TEST(RobustFit, GrossSpikesAreRejectedAndLeaveTheBias)
{
    const Doub Hm = 48.0;
    Recording r{rotatedEllipsoid(1.08, 0.95, 1.0, 0.3, 0.2, -0.1, 12.5, -7.3, 20.1)};
    r.sigma = 0.25, r.spikeShare = 0.02, r.minimumSpike = 0.2 * Hm;
    const Recorded data = record(r);
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere}) {
        SCOPED_TRACE(fitModelName(model));
        const std::optional<RobustFit> fit = FitRobust(data.points, Hm, model);
        ASSERT_TRUE(fit.has_value());
        if (model == FitModel::Full) {
            EXPECT_EQ(std::vector<Int>(fit->rejected.begin(), fit->rejected.end()), data.spikes);
            EXPECT_NEAR(fit->scale, 0.25, 0.03);
            for (Int i = 0; i < 3; i++)
                EXPECT_NEAR(fit->parameters.Bias[i][0], r.truth.b0[i], 0.05);
        } else {
            // A smaller model misses the soft iron: more is rejected, never fewer spikes.
            for (const Int k : data.spikes)
                EXPECT_TRUE(std::find(fit->rejected.begin(), fit->rejected.end(), k) != fit->rejected.end());
        }
    }
}

TEST(RobustFit, CountsWeighPointsAsRepeatedRows)
{
    const Doub Hm = 48.0;
    Recording r{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    r.sigma = 0.3, r.n = 400, r.spikeShare = 0.02;
    const MatDoub points = record(r).points;
    std::vector<int> counts(size_t(points.nrows()));
    std::vector<std::array<Doub, 3>> rows;
    for (Int k = 0; k < points.nrows(); k++) {
        counts[size_t(k)] = int(k % 3);
        for (int c = 0; c < counts[size_t(k)]; c++)
            rows.push_back({points[k][0], points[k][1], points[k][2]});
    }
    MatDoub repeated(Int(rows.size()), 3);
    for (size_t k = 0; k < rows.size(); k++)
        std::copy(rows[k].begin(), rows[k].end(), repeated[Int(k)]);
    for (const FitModel model : {FitModel::Full, FitModel::Planar}) {
        const std::optional<RobustFit> weighted =
            FitRobust(points, Hm, model, RobustFitOptions().weighted(counts.data()));
        const std::optional<RobustFit> plain = FitRobust(repeated, Hm, model);
        ASSERT_TRUE(weighted && plain);
        const std::array<Doub, 12> a = weighted->parameters.values(), b = plain->parameters.values();
        for (size_t k = 0; k < 12; k++)
            EXPECT_NEAR(a[k], b[k], 1e-8 * (1 + std::abs(b[k])));
    }
}

TEST(RobustFit, PlanarFitTakesTheTurnsPlaneEvenWhenItWobbles)
{
    const Doub Hm = 48.0;
    for (const Doub wobble : {0.0, 3.0 * M_PI / 180}) {
        const Recording r = flatTurn(0.005 * Hm, wobble, 11);
        const std::optional<RobustFit> fit = FitRobust(record(r).points, Hm, FitModel::Planar);
        ASSERT_TRUE(fit.has_value());
        EXPECT_GT(fit->normal[2], 0.999);
        EXPECT_NEAR(fit->parameters.Bias[0][0], 14.0, 0.5);
        EXPECT_NEAR(fit->parameters.Bias[1][0], -9.0, 0.5);
        EXPECT_NEAR(fit->parameters.A[2][2], 1.0, 1e-3);
    }
}

TEST(RobustFit, ModelsHaveStableNames)
{
    for (const FitModel m : {FitModel::Exact, FitModel::Full, FitModel::Diagonal, FitModel::Sphere,
                             FitModel::Planar, FitModel::Auto})
        EXPECT_EQ(fitModelNamed(fitModelName(m)), m);
    EXPECT_EQ(fitModelNamed("Full"), std::nullopt);
    EXPECT_EQ(fitModelNamed(""), std::nullopt);
}

// What the data cannot determine, no fit calibrates: too few distinct
// points, points on a line, and, but for the planar fit, points in a plane.
TEST(RobustFit, RefusesWhatTheDataCannotDetermine)
{
    const Doub Hm = 48.0;
    const FitModel all[] = {FitModel::Full, FitModel::Diagonal, FitModel::Sphere, FitModel::Planar};
    const MatDoub sphere = ellipsoidPoints(sampleTruth, Hm, 200, 0.0, 4);
    for (const Int distinct : {2, 3, 4, 9}) {
        MatDoub repeated(40, 3);
        for (Int k = 0; k < repeated.nrows(); k++)
            for (Int i = 0; i < 3; i++)
                repeated[k][i] = sphere[k % distinct][i];
        for (const FitModel model : all) {
            Undetermined why = Undetermined::No;
            EXPECT_FALSE(FitRobust(repeated, Hm, model, RobustFitOptions(), &why).has_value())
                << distinct << " " << fitModelName(model);
            EXPECT_EQ(why, Undetermined::FewPoints);
        }
    }
    MatDoub line(100, 3);
    for (Int k = 0; k < line.nrows(); k++)
        for (Int i = 0; i < 3; i++)
            line[k][i] = 10.0 * (i + 1) + 0.7 * k * (i == 1 ? -1.0 : 1.0);
    for (const FitModel model : all) {
        Undetermined why = Undetermined::No;
        EXPECT_FALSE(FitRobust(line, Hm, model, RobustFitOptions(), &why).has_value()) << fitModelName(model);
        EXPECT_EQ(why, Undetermined::Line) << fitModelName(model);
    }
    // A tilted circle: a plane to every model but the planar one, which
    // calibrates it exactly.
    const Recorded circle = record(flatTurn(0.0, 0.0, 5));
    MatDoub tilted(circle.points.nrows(), 3);
    for (Int k = 0; k < tilted.nrows(); k++) {
        const Doub *h = circle.points[k];
        tilted[k][0] = h[0], tilted[k][1] = 0.8 * h[1] - 0.6 * h[2], tilted[k][2] = 0.6 * h[1] + 0.8 * h[2];
    }
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere}) {
        Undetermined why = Undetermined::No;
        EXPECT_FALSE(FitRobust(tilted, Hm, model, RobustFitOptions(), &why).has_value())
            << fitModelName(model);
        EXPECT_EQ(why, Undetermined::Plane) << fitModelName(model);
    }
    const std::optional<RobustFit> planar = FitRobust(tilted, Hm, FitModel::Planar);
    ASSERT_TRUE(planar.has_value());
    EXPECT_LT(planar->scale, 1e-9 * Hm);
    EXPECT_NEAR(std::abs(planar->normal[1]), 0.6, 1e-9);

    // Two circles of a sphere lie in no plane, but leave an ellipsoid free:
    // its normal matrix is singular.
    MatDoub rings(200, 3);
    for (Int k = 0; k < rings.nrows(); k++) {
        const Doub phi = 2 * M_PI * k / 100, z = k < 100 ? 0.5 : -0.3;
        const Doub rho = Hm * std::sqrt(1 - z * z);
        rings[k][0] = 5 + rho * std::cos(phi), rings[k][1] = -3 + rho * std::sin(phi),
        rings[k][2] = 7 + Hm * z;
    }
    Undetermined why = Undetermined::No;
    EXPECT_FALSE(FitRobust(rings, Hm, FitModel::Full, RobustFitOptions(), &why).has_value());
    EXPECT_EQ(why, Undetermined::Singular);
    const std::optional<RobustFit> round = FitRobust(rings, Hm, FitModel::Sphere);
    ASSERT_TRUE(round.has_value());
    EXPECT_NEAR(round->parameters.Bias[2][0], 7.0, 1e-6);
}

namespace {

// The rows of a table, each block of blockRows rows repeated copies times
// before the next block.
MatDoub repeatedBlocks(const MatDoub &points, Int blockRows, int copies)
{
    MatDoub out(points.nrows() * copies, 3);
    for (Int k = 0; k < out.nrows(); k++) {
        const Int block = k / (blockRows * copies), within = k % blockRows;
        std::copy(points[block * blockRows + within], points[block * blockRows + within] + 3, out[k]);
    }
    return out;
}

} // namespace

// Repeating every point leaves the minimum of the robust loss where it is.
// Two copies of a set one after the other give the converging pass an even
// subsample of every other point: the last pass, over every point, must
// bring the fit towards the set's own.
TEST(RobustFit, LargeSetsEndOnAPassOverEveryPoint)
{
    const Doub Hm = 48.0;
    Recording r{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    r.sigma = 0.3, r.n = RobustLimits::SubsampleSize, r.spikeShare = 0.02;
    const MatDoub points = record(r).points;
    MatDoub everyOther(points.nrows() / 2, 3);
    for (Int k = 0; k < everyOther.nrows(); k++)
        std::copy(points[2 * k], points[2 * k] + 3, everyOther[k]);
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal}) {
        const std::optional<RobustFit> direct = FitRobust(points, Hm, model);
        const std::optional<RobustFit> sampled = FitRobust(everyOther, Hm, model);
        const std::optional<RobustFit> twice =
            FitRobust(repeatedBlocks(points, points.nrows(), 2), Hm, model);
        ASSERT_TRUE(direct && sampled && twice);
        const std::array<Doub, 12> own = direct->parameters.values(), half = sampled->parameters.values(),
                                   polished = twice->parameters.values();
        Doub fromHalf = 0.0, fromPolished = 0.0;
        for (size_t k = 0; k < 12; k++) {
            fromHalf += std::abs(half[k] - own[k]);
            fromPolished += std::abs(polished[k] - own[k]);
        }
        EXPECT_LT(fromPolished, 0.5 * fromHalf) << fitModelName(model);
    }
}

// A large set converges on an even sample first, whose fit lies several
// of the set's standard errors from the set's own. The fit returned must be
// converged on every point: one more Gauss-Newton step over all of them, at
// the fit's weights, moves its bias by a small share of its standard error.
TEST(RobustFit, LargeSetsConvergeWithinTheirOwnStandardErrors)
{
    const Doub Hm = 48.0;
    const MatDoub points = ellipsoidPoints(sampleTruth, Hm, 300000, 0.2, 14);
    const std::optional<RobustFit> fit = FitRobust(points, Hm, FitModel::Full);
    ASSERT_TRUE(fit);
    const RobustSteps steps(points, Hm, *fit, 1000);
    const std::vector<int> once(size_t(steps.runs()), 1);
    const std::optional<RobustFit> again = steps.step(once.data());
    ASSERT_TRUE(again);
    for (Int i = 0; i < 3; i++) {
        const Doub standardError = std::sqrt(fit->biasCovariance[i][i]);
        EXPECT_GT(standardError, 1e-4) << i;
        EXPECT_LT(std::abs(again->parameters.Bias[i][0] - fit->parameters.Bias[i][0]), 0.1 * standardError)
            << i;
    }
}

// A model that misses the surface has a robust scale that moves with the
// fit as it is polished: each step must be judged at the scale it was
// taken at, or the cost at the start's scale stops the steps a fifth of a
// standard error short.
TEST(RobustFit, LargeSetsOfAPoorModelConvergeWithinTheirOwnStandardErrors)
{
    const Doub Hm = 48.0;
    const MatDoub points = ellipsoidPoints(sampleTruth, Hm, 1000000, 0.2, 15);
    for (const FitModel model : {FitModel::Diagonal, FitModel::Sphere}) {
        const std::optional<RobustFit> fit = FitRobust(points, Hm, model);
        ASSERT_TRUE(fit) << fitModelName(model);
        const RobustSteps steps(points, Hm, *fit, 1000);
        const std::vector<int> once(size_t(steps.runs()), 1);
        const std::optional<RobustFit> again = steps.step(once.data());
        ASSERT_TRUE(again) << fitModelName(model);
        for (Int i = 0; i < 3; i++)
            EXPECT_LT(std::abs(again->parameters.Bias[i][0] - fit->parameters.Bias[i][0]),
                      0.1 * std::sqrt(fit->biasCovariance[i][i]))
                << fitModelName(model) << " " << i;
    }
}

// A last pass over more points than one thread takes shares them between
// two threads. Two sets, each repeated 13 times, make a set that big whose
// halves differ; the same points counted 13 times each take one thread. The
// two fits differ only as far as the robust scale, taken on an even sample
// of the rows, differs: by 1e-4 here, where a thread's sums lost or counted
// twice move the fit by 5e-3.
TEST(RobustFit, TwoThreadsPassOverAllThePointsAsOneDoes)
{
    const Doub Hm = 48.0;
    Recording r{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    r.sigma = 0.3, r.n = 2 * RobustLimits::SubsampleSize, r.spikeShare = 0.02;
    const MatDoub points = record(r).points;
    const int copies = 13;
    const MatDoub repeated = repeatedBlocks(points, points.nrows() / 2, copies);
    ASSERT_GE(repeated.nrows(), 100000);
    const std::vector<int> counts(size_t(points.nrows()), copies);
    for (const FitModel model : {FitModel::Full, FitModel::Sphere}) {
        const std::optional<RobustFit> counted =
            FitRobust(points, Hm, model, RobustFitOptions().weighted(counts.data()));
        const std::optional<RobustFit> threaded = FitRobust(repeated, Hm, model);
        ASSERT_TRUE(counted && threaded);
        const std::array<Doub, 12> x = threaded->parameters.values(), y = counted->parameters.values();
        for (size_t k = 0; k < 12; k++)
            EXPECT_NEAR(x[k], y[k], 5e-4) << fitModelName(model) << " " << k;
    }
}

// The gross points and the spread of the others, found in one pass, are
// those found one after the other, to the last bit: the same terms added
// in the same order, with the points counted or not.
TEST(PointSpread, GrossPointsAndTheSpreadBesideThemInOnePass)
{
    Recording r{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    r.sigma = 0.3, r.n = 50000, r.spikeShare = 0.05, r.capShare = 0.4;
    MatDoub points = record(r).points;
    // Gross spikes, far beyond GrossDistances.
    for (int k = 0; k < points.nrows(); k += 97)
        points[k][k % 3] += 1000.0;
    std::vector<int> counts(size_t(points.nrows()));
    for (size_t k = 0; k < counts.size(); k++)
        counts[k] = int(k * 7919 % 4);
    for (const int *weights : {static_cast<const int *>(nullptr), static_cast<const int *>(counts.data())}) {
        const SpreadBesideGross both = SpreadWithoutGross(points, weights);
        const std::vector<bool> gross = GrossPoints(points, weights);
        const PointSpread spread = SpreadOf(points, weights, &gross);
        EXPECT_EQ(both.gross, gross);
        EXPECT_GT(std::count(gross.begin(), gross.end(), true), r.n / 200);
        EXPECT_EQ(both.spread.radius, spread.radius);
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(both.spread.mean[i], spread.mean[i]);
            for (int j = 0; j < 3; j++)
                EXPECT_EQ(both.spread.covariance[i][j], spread.covariance[i][j]);
        }
    }
    const SpreadBesideGross spread = SpreadWithoutGross(points);
    const PlaneSpread known = SpreadAboutPlane(points, &spread), found = SpreadAboutPlane(points);
    EXPECT_EQ(known.across, found.across);
    EXPECT_EQ(known.radius, found.radius);
    EXPECT_GT(known.radius, 10.0);
}

// The pass that factors the normal matrix at the fit also names the
// rejected points, among all points on two threads as on one: every point
// beyond Tukey's limit of the fit's robust scale, and no other, in order.
TEST(RobustFit, RejectsThePointsBeyondTukeysLimitOnAnyThreads)
{
    const Doub Hm = 48.0;
    Recording r{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    r.sigma = 0.3, r.n = 120000, r.spikeShare = 0.01;
    const MatDoub points = record(r).points;
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere}) {
        for (const int threads : {1, 2}) {
            const std::optional<RobustFit> fit = FitRobust(
                points, Hm, model, RobustFitOptions().controlledBy(WorkControl(nullptr, threads, {})));
            ASSERT_TRUE(fit) << fitModelName(model);
            const Calibrator calibrate(fit->parameters);
            // Each point's distance to the surface, to first order, as the
            // fit weighs it: |e| rho / |A^-1 c| for c = A^-1 (h - b).
            std::vector<int> surely, maybe;
            for (int k = 0; k < points.nrows(); k++) {
                double c[3], q[3];
                calibrate(points[k], c);
                for (int i = 0; i < 3; i++)
                    q[i] = fit->parameters.Ainv[i][0] * c[0] + fit->parameters.Ainv[i][1] * c[1] +
                           fit->parameters.Ainv[i][2] * c[2];
                const double rho = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
                const double distance =
                    std::abs(rho - Hm) * rho / std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2]);
                const double limit = RobustLimits::TukeyC * fit->scale;
                if (distance > 1.0001 * limit)
                    surely.push_back(k);
                if (distance > 0.9999 * limit)
                    maybe.push_back(k);
            }
            const auto &rejected = fit->rejected;
            EXPECT_TRUE(std::includes(rejected.begin(), rejected.end(), surely.begin(), surely.end()))
                << fitModelName(model) << " " << threads;
            EXPECT_TRUE(std::includes(maybe.begin(), maybe.end(), rejected.begin(), rejected.end()))
                << fitModelName(model) << " " << threads;
            EXPECT_GE(fit->rejected.size(), size_t(r.n / 200)) << fitModelName(model);
            EXPECT_LE(fit->rejected.size(), size_t(r.n / 50)) << fitModelName(model);
        }
    }
}

// A pass over many points sums the same two halves on one thread as on
// two, so that the thread budget moves no fit of a large set, not even in
// its last bits: a resample's bootstrap step starts from that fit.
TEST(RobustFit, TheThreadBudgetLeavesLargeFitsToTheLastBit)
{
    const Doub Hm = 48.0;
    const MatDoub points = ellipsoidPoints(sampleTruth, Hm, 120000, 0.2, 11);
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere}) {
        std::vector<RobustFit> fits;
        for (const int threads : {1, 2, 3}) {
            const std::optional<RobustFit> fit = FitRobust(
                points, Hm, model, RobustFitOptions().controlledBy(WorkControl(nullptr, threads, {})));
            ASSERT_TRUE(fit) << fitModelName(model);
            fits.push_back(*fit);
        }
        for (size_t k = 1; k < fits.size(); k++) {
            EXPECT_EQ(fits[k].parameters.values(), fits[0].parameters.values()) << fitModelName(model) << k;
            EXPECT_EQ(fits[k].scale, fits[0].scale) << fitModelName(model) << k;
            EXPECT_EQ(fits[k].rejected, fits[0].rejected) << fitModelName(model) << k;
        }
    }
}

// The passes take the points eight at a time, each in a lane of its own: a
// point's residual and gradient must not depend on its lane. A point
// counted zero times in the middle moves every later point to another
// lane and changes nothing else: the fits are the same to the last bit,
// and the rejected points the same, those after it one further on.
TEST(RobustFit, APointsLaneChangesNoFigure)
{
    const Doub Hm = 48.0;
    Recording ellipsoid{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    Recording turn = flatTurn(0.3, 0.0, 7);
    for (Recording *r : {&ellipsoid, &turn})
        r->sigma = 0.3, r->n = 3001, r->spikeShare = 0.02;
    // The plane's frame turns as it scales, and its gain is a 2x2 block.
    const std::pair<const Recording *, FitModel> cases[] = {{&ellipsoid, FitModel::Full},
                                                            {&ellipsoid, FitModel::Diagonal},
                                                            {&ellipsoid, FitModel::Sphere},
                                                            {&turn, FitModel::Planar}};
    for (const auto &[recording, model] : cases) {
        const MatDoub points = record(*recording).points;
        const int middle = 1500;
        MatDoub shifted(points.nrows() + 1, 3);
        for (int k = 0; k < points.nrows(); k++)
            std::copy(points[k], points[k] + 3, shifted[k < middle ? k : k + 1]);
        shifted[middle][0] = 300.0, shifted[middle][1] = -200.0, shifted[middle][2] = 100.0;
        std::vector<int> counts(size_t(shifted.nrows()), 1);
        counts[middle] = 0;
        const std::optional<RobustFit> fit = FitRobust(points, Hm, model);
        const std::optional<RobustFit> moved =
            FitRobust(shifted, Hm, model, RobustFitOptions().weighted(counts.data()));
        ASSERT_TRUE(fit && moved) << fitModelName(model);
        const std::array<Doub, 12> x = fit->parameters.values(), y = moved->parameters.values();
        for (size_t k = 0; k < 12; k++)
            EXPECT_EQ(x[k], y[k]) << fitModelName(model) << " " << k;
        EXPECT_EQ(fit->scale, moved->scale) << fitModelName(model);
        ASSERT_EQ(fit->rejected.size(), moved->rejected.size()) << fitModelName(model);
        EXPECT_GT(fit->rejected.size(), size_t(10)) << fitModelName(model);
        for (size_t k = 0; k < fit->rejected.size(); k++)
            EXPECT_EQ(fit->rejected[k] + (fit->rejected[k] < middle ? 0 : 1), moved->rejected[k])
                << fitModelName(model);
    }
}

// The spread that a caller has found already (the pipeline's outline) spares
// the fit that work alone: every figure stays as the fit finds it by itself.
TEST(RobustFit, ASpreadFoundAlreadyChangesNoFigure)
{
    const Doub Hm = 48.0;
    Recording r{rotatedEllipsoid(1.05, 0.97, 1.0, 0.1, 0.2, 0.3, 5.0, 6.0, -7.0)};
    r.sigma = 0.3, r.n = 3 * RobustLimits::SubsampleSize, r.spikeShare = 0.02;
    const MatDoub points = record(r).points;
    const SpreadBesideGross known = SpreadWithoutGross(points);
    for (const FitModel model : {FitModel::Full, FitModel::Diagonal, FitModel::Sphere, FitModel::Planar}) {
        const std::string name = fitModelName(model);
        const std::optional<RobustFit> plain = FitRobust(points, Hm, model);
        const std::optional<RobustFit> given =
            FitRobust(points, Hm, model, RobustFitOptions().knowing(&known));
        ASSERT_EQ(plain.has_value(), given.has_value()) << name;
        if (!plain)
            continue;
        EXPECT_EQ(given->parameters.values(), plain->parameters.values()) << name;
        EXPECT_EQ(given->scale, plain->scale) << name;
        EXPECT_EQ(given->rejected, plain->rejected) << name;
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                EXPECT_EQ(given->biasCovariance[i][j], plain->biasCovariance[i][j]) << name;
    }
}
