#include "quality.h"
#include "spherecells.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

using namespace tavrin;

namespace {

constexpr Doub Degree = Pi / 180;

Direction randomDirection(std::mt19937 &rng)
{
    std::normal_distribution<Doub> gauss;
    Doub u[3] = {gauss(rng), gauss(rng), gauss(rng)};
    const Doub r = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    return {u[0] / r, u[1] / r, u[2] / r};
}

Doub angle(const Direction &a, const Direction &b)
{
    return std::acos(std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0));
}

// Uniform directions outside the cap of the given radius around centre.
std::vector<Direction> directionsOutside(const Direction &centre, Doub radius, Int n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<Direction> d;
    while (Int(d.size()) < n) {
        const Direction u = randomDirection(rng);
        if (angle(u, centre) > radius)
            d.push_back(u);
    }
    return d;
}

struct Calibrated {
    MatDoub points;
    EllipsoidFit fit;
    CalibrationParameters parameters;
};

Calibrated calibrate(MatDoub points, Doub Hm)
{
    Calibrated c{std::move(points), {}, {}};
    c.fit = *FitEllipsoid(c.points);
    c.parameters = *DeriveCalibration(c.fit, Hm);
    return c;
}

} // namespace

TEST(EqualAreaCells, CellsTileTheSphereWithEqualAreas)
{
    for (Int n : {1, 2, 3, 7, 100, 4000}) {
        const EqualAreaCells cells(n);
        ASSERT_EQ(cells.size(), n);
        Doub total = 0.0;
        for (Int c = 0; c < n; c++) {
            const EqualAreaCells::Bounds b = cells.bounds(c);
            const Doub area = (b.zTop - b.zBottom) * (b.phiEnd - b.phiBegin);
            EXPECT_NEAR(area, 4 * Pi / n, 1e-12) << "n " << n << " cell " << c;
            total += area;
        }
        EXPECT_NEAR(total, 4 * Pi, 1e-9);
    }
}

TEST(EqualAreaCells, EveryDirectionLiesInTheBoundsOfItsCell)
{
    const EqualAreaCells cells(100);
    std::mt19937 rng(3);
    std::vector<Int> hits(100, 0);
    for (Int k = 0; k < 200000; k++) {
        const Direction u = randomDirection(rng);
        const Int c = cells.cellOf(u[0], u[1], u[2]);
        ASSERT_GE(c, 0);
        ASSERT_LT(c, 100);
        const EqualAreaCells::Bounds b = cells.bounds(c);
        Doub phi = std::atan2(u[1], u[0]);
        if (phi < 0)
            phi += 2 * Pi;
        EXPECT_LE(u[2], b.zTop + 1e-12);
        EXPECT_GE(u[2], b.zBottom - 1e-12);
        if (b.phiEnd - b.phiBegin < 2 * Pi) {
            EXPECT_GE(phi, b.phiBegin - 1e-12);
            EXPECT_LE(phi, b.phiEnd + 1e-12);
        }
        hits[c]++;
    }
    // Equal areas: each cell gets 2000 of the uniform directions, give or take
    // five standard deviations.
    for (Int c = 0; c < 100; c++)
        EXPECT_NEAR(hits[c], 2000, 5 * std::sqrt(2000.0)) << "cell " << c;
    EXPECT_EQ(cells.cellOf(0, 0, 1), 0);
    EXPECT_EQ(cells.cellOf(0, 0, -1), 99);
}

TEST(DirectionSampler, KeepsEveryDirectionUntilThereAreMoreThanPatches)
{
    std::mt19937 rng(12);
    DirectionSampler few;
    for (Int k = 0; k < 1000; k++)
        few.add(randomDirection(rng));
    EXPECT_EQ(few.sample().size(), 1000u);
    EXPECT_FALSE(few.full());

    DirectionSampler many;
    for (Int k = 0; k < 200000; k++) {
        const Direction u = randomDirection(rng);
        many.add({3 * u[0], 3 * u[1], 3 * u[2]}); // any length will do
    }
    EXPECT_TRUE(many.full());
    const std::vector<Direction> sample = many.sample();
    ASSERT_EQ(Int(sample.size()), DirectionSampler::Patches);
    // Unit vectors, in patch order: consecutive ones are mostly neighbours.
    Int near = 0;
    for (size_t k = 0; k < sample.size(); k++) {
        EXPECT_NEAR(sample[k][0] * sample[k][0] + sample[k][1] * sample[k][1] + sample[k][2] * sample[k][2],
                    1.0, 1e-12);
        near += k > 0 && angle(sample[k - 1], sample[k]) < 10 * Degree;
    }
    EXPECT_GT(near, 0.9 * DirectionSampler::Patches);
}

TEST(DirectionSampler, DirectionsOfAnyLengthAreUnitVectorsInTheirPatch)
{
    // Squared, 1e200 overflows and 1e-200 vanishes; neither may lose its direction.
    for (const Doub length : {1e200, 1e-200, 1e-310, 1e300}) {
        std::mt19937 rng(13);
        DirectionSampler sampler, unit;
        for (Int k = 0; k < 500; k++) {
            const Direction u = randomDirection(rng);
            sampler.add({length * u[0], length * u[1], length * u[2]});
            unit.add(u);
        }
        const std::vector<Direction> sample = sampler.sample(), expected = unit.sample();
        ASSERT_EQ(sample.size(), expected.size()) << length;
        for (size_t k = 0; k < sample.size(); k++)
            EXPECT_LT(angle(sample[k], expected[k]), 1e-6) << length;
    }
}

TEST(Quality, PointsFarFromTheCentreCoverTheSphere)
{
    // A sphere of radius 1e200 about the origin: every direction is there.
    const Calibrated c = calibrate(ellipsoidPoints(sphereTruth(1, 0, 0, 0), 48.0, 5000, 0.0, 11), 48.0);
    MatDoub far(c.points.nrows(), 3);
    for (Int k = 0; k < far.nrows(); k++)
        for (Int i = 0; i < 3; i++)
            far[k][i] = 1e200 / 48 * c.points[k][i];
    const double origin[3] = {0, 0, 0};
    const QualityReport q = AssessQuality(far, c.fit, c.parameters, 48.0, origin);
    EXPECT_EQ(q.cellsHit, 100);
    EXPECT_LT(q.largestEmptyCap.radius, 10 * Degree);
}

TEST(EmptyCap, FindsTheHoleLeftInTheData)
{
    struct Case {
        Direction centre;
        Doub radius;
        Int points;
    };
    const Doub s = 1 / std::sqrt(3.0);
    for (const Case &c : {Case{{0, 0, 1}, 90 * Degree, 5000}, Case{{s, -s, s}, 40 * Degree, 20000},
                          Case{{1, 0, 0}, 20 * Degree, 200000}, Case{{0, -0.6, -0.8}, 120 * Degree, 3000}}) {
        const EmptyCap cap = largestEmptyCap(directionsOutside(c.centre, c.radius, c.points, 5));
        // Never larger than truly empty, and within the search's few degrees.
        EXPECT_LE(cap.radius, c.radius + 4 * Degree);
        EXPECT_GE(cap.radius, c.radius - 4 * Degree);
        EXPECT_LT(angle(cap.centre, c.centre), 6 * Degree) << c.radius / Degree;
    }
}

TEST(EmptyCap, ItsRadiusIsExactForItsCentre)
{
    const std::vector<Direction> d = directionsOutside({0, 1, 0}, 60 * Degree, 3000, 8);
    const EmptyCap cap = largestEmptyCap(d);
    Doub nearest = Pi;
    for (const Direction &u : d)
        nearest = std::min(nearest, angle(cap.centre, u));
    EXPECT_NEAR(cap.radius, nearest, 1e-12);
    EXPECT_NEAR(largestEmptyCap({}).radius, Pi, 0.0);
    const EmptyCap one = largestEmptyCap({{0, 0, 1}});
    EXPECT_GT(one.radius, 179 * Degree);
}

TEST(Quality, GoodDataIsJudgedGood)
{
    const Calibrated c = calibrate(ellipsoidPoints(sampleTruth, 48.0, 5000, 0.25, 11), 48.0);
    const QualityReport q = AssessQuality(c.points, c.fit, c.parameters, 48.0);
    EXPECT_EQ(q.points, 5000);
    EXPECT_EQ(q.cellsHit, 100);
    EXPECT_LT(q.largestEmptyCap.radius, 10 * Degree);
    // Radial noise of sigma 0.25: E|e| = 0.25 sqrt(2 / pi), RMS 0.25.
    EXPECT_NEAR(q.after.rms, 0.25, 0.02);
    EXPECT_NEAR(q.after.mean, 0.25 * std::sqrt(2 / Pi), 0.02);
    EXPECT_GT(q.before.rms, 10 * q.after.rms);
    EXPECT_GE(q.after.max, q.after.rms);
    EXPECT_NEAR(q.farLimit, 5 * 0.25, 0.1); // five robust sigmas, above 1 % of Hm
    EXPECT_EQ(q.farPoints, 0);
    EXPECT_EQ(q.verdict, Verdict::Good);
    EXPECT_STREQ(verdictName(q.verdict), "good");
}

TEST(Quality, NormErrorsAreTheDefinitionsOnEveryPoint)
{
    const Calibrated c = calibrate(ellipsoidPoints(sampleTruth, 30.0, 50, 0.5, 2), 30.0);
    const QualityReport q = AssessQuality(c.points, c.fit, c.parameters, 30.0);
    Doub sumBefore = 0, maxAfter = 0, squaresAfter = 0;
    Int worst = -1;
    for (Int k = 0; k < 50; k++) {
        Doub d[3], cal[3];
        for (Int i = 0; i < 3; i++)
            d[i] = c.points[k][i] - c.parameters.Bias[i][0];
        Calibrator(c.parameters)(c.points[k], cal);
        sumBefore += std::abs(std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) - 30.0);
        const Doub after = std::abs(std::sqrt(cal[0] * cal[0] + cal[1] * cal[1] + cal[2] * cal[2]) - 30.0);
        squaresAfter += after * after;
        if (after > maxAfter) {
            maxAfter = after;
            worst = k;
        }
    }
    EXPECT_NEAR(q.before.mean, sumBefore / 50, 1e-12);
    EXPECT_NEAR(q.after.rms, std::sqrt(squaresAfter / 50), 1e-12);
    EXPECT_EQ(q.after.max, maxAfter);
    EXPECT_EQ(q.worstPoint, worst);
}

TEST(Quality, HalfASphereIsPoorCoverage)
{
    MatDoub all = ellipsoidPoints(sphereTruth(1.0, 3, -2, 4), 48.0, 6000, 0.1, 4);
    MatDoub half(0, 3);
    std::vector<Int> upper;
    for (Int k = 0; k < all.nrows(); k++)
        if (all[k][2] > 4)
            upper.push_back(k);
    half = MatDoub(Int(upper.size()), 3);
    for (Int k = 0; k < half.nrows(); k++)
        for (Int i = 0; i < 3; i++)
            half[k][i] = all[upper[k]][i];
    const Calibrated c = calibrate(std::move(half), 48.0);
    const QualityReport q = AssessQuality(c.points, c.fit, c.parameters, 48.0);
    EXPECT_NEAR(q.cellsHit, 50, 3);
    EXPECT_GT(q.largestEmptyCap.radius, 80 * Degree);
    EXPECT_LT(q.largestEmptyCap.centre[2], -0.95);
    EXPECT_TRUE(q.findings.emptyCap);
    EXPECT_TRUE(q.findings.fewCells);
    EXPECT_EQ(q.verdict, Verdict::PoorCoverage);
}

TEST(Quality, FivePercentGrossOutliersAreFlagged)
{
    MatDoub points = ellipsoidPoints(sampleTruth, 48.0, 4000, 0.25, 6);
    std::mt19937 rng(7);
    std::uniform_real_distribution<Doub> spike(-150, 150);
    for (Int k = 0; k < 4000; k += 20)
        for (Int i = 0; i < 3; i++)
            points[k][i] = spike(rng);
    const Calibrated c = calibrate(std::move(points), 48.0);
    const QualityReport q = AssessQuality(c.points, c.fit, c.parameters, 48.0);
    EXPECT_TRUE(q.findings.farPoints);
    // The spikes pull the fit far off, the ellipsoid test does not see it
    // (about 0.99), yet most spikes still stand out.
    EXPECT_FALSE(q.findings.shape);
    EXPECT_GE(q.farPoints, 100);
    EXPECT_EQ(q.worstPoint % 20, 0);
    // Pulled off by them, the exact fit misses the other points as well.
    EXPECT_TRUE(q.findings.residual);
    EXPECT_GT(q.coreRms, 0.05 * 48.0);
    EXPECT_EQ(q.verdict, Verdict::PoorFit);
}

TEST(Quality, FewWellSpreadPointsAreNotPoorCoverage)
{
    // Twenty points cannot hit 70 of 100 cells; they are judged on what twenty can.
    const Calibrated c = calibrate(ellipsoidPoints(sphereTruth(1.0, 0, 0, 0), 48.0, 20, 0.01, 1), 48.0);
    const QualityReport q = AssessQuality(c.points, c.fit, c.parameters, 48.0);
    EXPECT_FALSE(q.findings.fewCells);
}

// The quick test that spares the coverage its hypot must never say
// "outside" where the exact test says "nearer": on the boundary to the last
// bit, at any length of the vector, and for caps of any size.
TEST(EmptyCap, TheQuickTestNeverOverrulesTheExactOne)
{
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> cosine(-1.0, 1.0), exponent(-300.0, 300.0);
    int quick = 0;
    for (int trial = 0; trial < 200000; trial++) {
        const Direction u = randomDirection(rng), v = randomDirection(rng);
        const double length = std::pow(10.0, trial % 3 == 0 ? exponent(rng) : 0.0);
        const double c[3] = {length * v[0], length * v[1], length * v[2]};
        const double along = c[0] * u[0] + c[1] * u[1] + c[2] * u[2];
        const double r = std::hypot(c[0], c[1], c[2]);
        // A cap whose boundary passes through c, give or take a few bits.
        double nearest = trial % 2 == 0 ? cosine(rng) : along / r;
        for (int nudge = trial % 5; nudge > 0; nudge--)
            nearest = std::nextafter(nearest, trial % 4 < 2 ? -2.0 : 2.0);
        const bool nearer = along > nearest * r;
        const bool outside = SurelyOutsideCap(c, along, nearest);
        EXPECT_FALSE(outside && nearer) << along << " " << nearest << " " << r;
        quick += outside;
    }
    // It does spare most of them the hypot.
    EXPECT_GT(quick, 30000);
}

// The pass over every point sifts a block against the cap as it stood at the
// block's start and measures only the points in doubt: sound only if a point
// surely outside a cap is surely outside every cap of a larger cosine.
TEST(EmptyCap, APointSurelyOutsideACapIsSurelyOutsideEverySmallerOne)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> cosine(-1.0, 1.0), step(0.0, 1e-3);
    int outside = 0;
    for (int trial = 0; trial < 100000; trial++) {
        const Direction u = randomDirection(rng), v = randomDirection(rng);
        const double length = std::pow(10.0, (trial % 7) - 3);
        const double c[3] = {length * v[0], length * v[1], length * v[2]};
        const double along = c[0] * u[0] + c[1] * u[1] + c[2] * u[2];
        const double r = std::hypot(c[0], c[1], c[2]);
        const double wider = trial % 2 == 0 ? cosine(rng) : along / r;
        const double narrower = trial % 3 == 0 ? std::nextafter(wider, 2.0) : wider + step(rng);
        if (!SurelyOutsideCap(c, along, wider))
            continue;
        outside++;
        EXPECT_TRUE(SurelyOutsideCap(c, along, narrower)) << along << " " << wider << " " << narrower;
    }
    EXPECT_GT(outside, 15000);
}

// Over tens of thousands of points, across many blocks of the pass and a last
// one cut short, the cap's radius is the angle from its centre to the nearest
// point, whatever the points' order: one nearest to the centre late in the
// file, another early.
TEST(Quality, TheEmptyCapIsMeasuredAgainstEveryPoint)
{
    for (const unsigned seed : {3u, 4u}) {
        const std::vector<Direction> d = directionsOutside({0, 0, 1}, 20 * Degree, 30001, seed);
        MatDoub points(Int(d.size()), 3);
        const double centre[3] = {1.0, -2.0, 0.5};
        for (Int k = 0; k < points.nrows(); k++)
            for (Int i = 0; i < 3; i++)
                points[k][i] = centre[i] + 48.0 * d[size_t(k)][size_t(i)];
        const Coverage q = CoverageAbout(points, centre);
        Doub nearest = Pi;
        for (const Direction &u : d)
            nearest = std::min(nearest, angle(q.largestEmptyCap.centre, u));
        EXPECT_NEAR(q.largestEmptyCap.radius, nearest, 1e-12) << seed;
        EXPECT_NEAR(q.largestEmptyCap.radius, 20 * Degree, 2 * Degree) << seed;
    }
}

// Asked for on two threads at once, each part of an outline is what it is
// found alone; the sphere is fitted again for another Hm, and the coverage
// kept for the last centre asked for.
TEST(PointsOutline, ItsPartsOnTwoThreadsAtOnceAreThoseFoundAlone)
{
    Truth truth = sphereTruth(1.0, 5, 6, 7);
    truth.A0[2][2] = 1.1;
    const MatDoub points = ellipsoidPoints(truth, 48.0, 20000, 0.3, 4);
    const SpreadBesideGross spread = SpreadWithoutGross(points);
    const PlaneSpread plane = SpreadAboutPlane(points);
    const std::optional<std::array<double, 3>> sphere = RobustSphereCentre(points, 48.0);
    const std::optional<std::array<double, 3>> smaller = RobustSphereCentre(points, 24.0);
    ASSERT_TRUE(sphere && smaller);
    const Coverage coverage = CoverageAbout(points, sphere->data());
    const double origin[3] = {0.0, 0.0, 0.0};
    const Coverage aboutOrigin = CoverageAbout(points, origin);

    PointsOutline outline(points);
    const auto expectAlone = [&] {
        EXPECT_EQ(outline.spread().gross, spread.gross);
        EXPECT_EQ(outline.spread().spread.radius, spread.spread.radius);
        EXPECT_EQ(outline.plane().across, plane.across);
        EXPECT_EQ(outline.plane().radius, plane.radius);
        EXPECT_EQ(outline.sphereCentre(48.0, WorkControl().withThreads(1)), sphere);
        const Coverage c = outline.coverage(sphere->data());
        EXPECT_EQ(c.cellHit, coverage.cellHit);
        EXPECT_EQ(c.largestEmptyCap.radius, coverage.largestEmptyCap.radius);
    };
    std::thread other(expectAlone);
    expectAlone();
    other.join();
    EXPECT_EQ(outline.points().size(), points.nrows());
    EXPECT_EQ(outline.sphereCentre(24.0, WorkControl()), smaller);
    EXPECT_EQ(outline.coverage(origin).cellHit, aboutOrigin.cellHit);
    EXPECT_EQ(outline.coverage(origin).largestEmptyCap.radius, aboutOrigin.largestEmptyCap.radius);
}
