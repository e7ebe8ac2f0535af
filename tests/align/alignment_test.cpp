#include "alignment.h"
#include "alignpath.h"
#include "ellipsoidfit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;
using namespace tavrin::align;

namespace {

/// A sensor turned by hand over the whole sphere with eight rests, under a
/// field of the given inclination, its magnetometer mounted as given.
AlignedRecording handTurned(const Mat3 &mount, double inclinationDegrees, unsigned seed)
{
    AlignedRecording r;
    r.hand.truth = handSensor(0.8, 48.0, seed);
    r.hand.sigma = 0.2;
    r.hand.restShare = 0.3;
    r.hand.restAt = RestPlace::BetweenTurns;
    r.hand.rests = 8;
    r.hand.inclination = inclinationDegrees * Degree;
    r.hand.seed = seed;
    r.accelSeed = seed + 100;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r.mount[i][j] = mount[i][j];
    return r;
}

/// The recording calibrated by the ellipsoid fit, beside its accelerometer.
AlignmentInput calibrated(const AlignedRecorded &recorded)
{
    const std::optional<EllipsoidFit> fit = FitEllipsoid(recorded.mag);
    EXPECT_TRUE(fit.has_value());
    const std::optional<CalibrationParameters> p = DeriveCalibration(*fit, 48.0);
    EXPECT_TRUE(p.has_value());
    const Calibrator calibrate(*p);
    AlignmentInput input;
    for (Int k = 0; k < recorded.mag.nrows(); k++) {
        Vec3 h;
        calibrate(recorded.mag[k], h.data());
        input.field.push_back(h);
        input.accel.push_back({recorded.accel[k][0], recorded.accel[k][1], recorded.accel[k][2]});
    }
    return input;
}

AlignmentInput inputOf(const AlignedRecording &r)
{
    return calibrated(recordAligned(r));
}

AlignmentResult alignedOf(const AlignedRecording &r, AccelConvention convention = AccelConvention::Up,
                          std::optional<double> placeInclination = std::nullopt)
{
    AlignmentInput input = inputOf(r);
    input.convention = convention;
    input.placeInclinationDegrees = placeInclination;
    return alignAxes(input);
}

/// A small rotation of a few degrees that the seed draws.
Mat3 glued(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uniform(-3.0, 3.0);
    return rotationAbout({uniform(rng) * Degree, uniform(rng) * Degree, uniform(rng) * Degree});
}

} // namespace

TEST(Alignment, EverySignedPermutationIsFoundWithItsSmallRotation)
{
    const std::vector<Mat3> all = signedPermutations();
    ASSERT_EQ(all.size(), 48u);
    double worst = 0.0;
    int right = 0;
    for (size_t k = 0; k < all.size(); k++) {
        const Mat3 mount = times(glued(unsigned(k)), all[k]);
        const AlignmentResult result = alignedOf(handTurned(mount, 60.0, unsigned(k + 1)));
        ASSERT_TRUE(result.determined) << k << ": " << result.reason;
        EXPECT_TRUE(result.mappingFound);
        EXPECT_EQ(result.mappingText(), mappingText(all[k])) << k;
        EXPECT_EQ(result.mirror, k >= 24) << k;
        right += result.mapping == all[k];
        const double error = rotationDegrees(times(result.rotation, transposed(mount)));
        worst = std::max(worst, error);
        EXPECT_LT(error, 0.5) << k;
        EXPECT_NEAR(result.rotationDegrees, rotationDegrees(times(mount, transposed(all[k]))), 0.5) << k;
        EXPECT_NEAR(*result.dipDegrees, 60.0, 0.5) << k;
    }
    EXPECT_EQ(right, 48);
    std::printf("mapping right in %d of 48, largest rotation error %.3f degrees\n", right, worst);
}

TEST(Alignment, AlignedAxesKeepTheirNumbersAndTheWorkedExamples)
{
    const AlignmentResult none = alignedOf(handTurned(identity3(), 65.0, 3));
    ASSERT_TRUE(none.determined) << none.reason;
    EXPECT_EQ(none.mappingText(), "x,y,z");
    EXPECT_FALSE(none.needed());
    EXPECT_EQ(none.orientation, 0);
    EXPECT_LT(*none.dipSpreadAfterDegrees, 0.5);
    EXPECT_NEAR(*none.dipSpreadBeforeDegrees, *none.dipSpreadAfterDegrees, 0.05);
    EXPECT_NEAR(*none.headingErrorDegrees, *none.dipSpreadAfterDegrees / std::cos(*none.dipDegrees * Degree),
                1e-12);

    const Mat3 yaw90 = {{{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}};
    const AlignmentResult two = alignedOf(handTurned(yaw90, 65.0, 4));
    ASSERT_TRUE(two.determined) << two.reason;
    EXPECT_EQ(two.mappingText(), "-y,x,z");
    EXPECT_EQ(two.orientation, 2);
    EXPECT_TRUE(two.needed());
    EXPECT_GT(*two.dipSpreadBeforeDegrees, 10.0);

    const Mat3 roll180yaw90 = {{{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}};
    const AlignmentResult ten = alignedOf(handTurned(roll180yaw90, 65.0, 5));
    ASSERT_TRUE(ten.determined) << ten.reason;
    EXPECT_EQ(ten.mappingText(), "y,x,-z");
    EXPECT_EQ(ten.orientation, 10);

    // 20 degrees beyond Yaw90 needs the stack's custom rotation.
    const Mat3 custom = fromRollPitchYaw(0.0, 20.0, 90.0);
    const AlignmentResult off = alignedOf(handTurned(custom, 65.0, 6));
    ASSERT_TRUE(off.determined) << off.reason;
    EXPECT_EQ(off.orientation, std::nullopt);
    EXPECT_NEAR(off.rollPitchYawDegrees[0], 0.0, 0.5);
    EXPECT_NEAR(off.rollPitchYawDegrees[1], 20.0, 0.5);
    EXPECT_NEAR(off.rollPitchYawDegrees[2], 90.0, 0.5);
}

TEST(Alignment, AMirrorIsNamedWithTheAxisToNegate)
{
    const Mat3 mirrorY = {{{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}};
    const AlignmentResult result = alignedOf(handTurned(mirrorY, 60.0, 7));
    ASSERT_TRUE(result.determined) << result.reason;
    EXPECT_EQ(result.mappingText(), "x,-y,z");
    EXPECT_TRUE(result.mirror);
    EXPECT_EQ(result.reversedAxis, 1);
    EXPECT_EQ(result.orientation, std::nullopt);
    ASSERT_EQ(result.notes.size(), 2u);
    EXPECT_EQ(result.notes[0],
              "the magnetometer's y axis is reversed against the accelerometer's: negate it in "
              "the wiring or the driver, no orientation parameter can undo a mirror");
    EXPECT_EQ(result.notes[1],
              "the angle lies on the wrong side of 90 degrees for a rotation: either the "
              "accelerometer reports gravity downward or the magnetometer's y axis is reversed, "
              "unless the place is south of the magnetic equator");
}

TEST(Alignment, TheSignFollowsTheConventionAndThePlace)
{
    // An accelerometer that reads gravity's direction, taken for the usual:
    // the axes look like a point mirror.
    AlignedRecording down = handTurned(identity3(), 60.0, 8);
    down.readsDown = true;
    const AlignmentResult assumedUp = alignedOf(down);
    ASSERT_TRUE(assumedUp.determined) << assumedUp.reason;
    EXPECT_EQ(assumedUp.mappingText(), "-x,-y,-z");
    EXPECT_TRUE(assumedUp.mirror);
    const AlignmentResult saidDown = alignedOf(down, AccelConvention::Down);
    EXPECT_EQ(saidDown.mappingText(), "x,y,z");
    EXPECT_FALSE(saidDown.mirror);
    EXPECT_NEAR(*saidDown.dipDegrees, 60.0, 0.5);
    EXPECT_EQ(saidDown.assumptions[0], "the accelerometer reads -1 g on the axis pointing up at rest");

    // South of the magnetic equator: right when the place says so.
    const AlignedRecording south = handTurned(identity3(), -40.0, 9);
    const AlignmentResult assumedNorth = alignedOf(south);
    EXPECT_EQ(assumedNorth.mappingText(), "-x,-y,-z");
    EXPECT_EQ(assumedNorth.assumptions[1], "the place is north of the magnetic equator, the field pointing "
                                           "below the horizon, as no place was given");
    const AlignmentResult placed = alignedOf(south, AccelConvention::Up, -40.3);
    ASSERT_TRUE(placed.determined) << placed.reason;
    EXPECT_EQ(placed.mappingText(), "x,y,z");
    EXPECT_NEAR(*placed.dipDegrees, -40.0, 0.5);
    EXPECT_EQ(placed.assumptions[1],
              "the field points above the horizon at the place (inclination -40.3 degrees)");
    EXPECT_TRUE(placed.notes.empty());
}

TEST(Alignment, AtTheMagneticEquatorTheMirrorIsNotGuessed)
{
    const AlignmentResult result = alignedOf(handTurned(identity3(), 0.5, 13));
    EXPECT_FALSE(result.determined);
    EXPECT_FALSE(result.mappingFound);
    EXPECT_NE(result.reason.find("a mapping and its mirror cannot be told apart"), std::string::npos)
        << result.reason;
    // Four degrees of dip with the angle this steady are enough.
    const AlignmentResult four = alignedOf(handTurned(identity3(), 4.0, 13));
    ASSERT_TRUE(four.determined) << four.reason;
    EXPECT_EQ(four.mappingText(), "x,y,z");
}

TEST(Alignment, FlatTurnsCannotShowTheRotationAboutTheVertical)
{
    AlignedRecording r = handTurned(identity3(), 60.0, 10);
    r.hand.flat = true;
    r.hand.bump = 0.03;
    const AlignmentResult result = alignedOf(r);
    EXPECT_FALSE(result.determined);
    EXPECT_GE(result.readingsAtRest, MinimumRests);
    EXPECT_NE(result.reason.find("rotation about the vertical cannot be observed"), std::string::npos)
        << result.reason;
    EXPECT_FALSE(result.dipDegrees.has_value());
    EXPECT_FALSE(result.mappingFound);
    EXPECT_FALSE(result.needed());
}

TEST(Alignment, TooFewReadingsAtRestGiveNoGuess)
{
    AlignedRecording r = handTurned(identity3(), 60.0, 11);
    r.hand.restShare = 0.0;
    const AlignmentResult moving = alignedOf(r);
    EXPECT_FALSE(moving.determined);
    EXPECT_LT(moving.readingsAtRest, MinimumRests);
    EXPECT_EQ(moving.reason,
              "only " + std::to_string(moving.readingsAtRest) + " readings at rest, at least 20 are needed");
    EXPECT_FALSE(moving.mappingFound);
    EXPECT_FALSE(moving.dipSpreadBeforeDegrees.has_value());

    AlignmentInput empty;
    EXPECT_EQ(alignAxes(empty).reason, "only 0 readings at rest, at least 20 are needed");
}

namespace {

/// Readings at rest, twenty at each of the gravity directions given, of an
/// accelerometer that reads scale u + offset for gravity along u, in m/s^2.
std::vector<Vec3> atRest(const std::vector<Vec3> &directions, const Mat3 &scale, const Vec3 &offset)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 0.02);
    std::vector<Vec3> readings;
    for (const Vec3 &d : directions) {
        const double n = norm(d);
        const Vec3 a = times(scale, Vec3{d[0] / n, d[1] / n, d[2] / n});
        for (int k = 0; k < 20; k++)
            readings.push_back({a[0] + offset[0] + noise(rng), a[1] + offset[1] + noise(rng),
                                a[2] + offset[2] + noise(rng)});
    }
    return readings;
}

AccelerometerFit fitAllAtRest(const std::vector<Vec3> &readings)
{
    return fitAccelerometer(readings, std::vector<bool>(readings.size(), true));
}

Mat3 perfectScale()
{
    return {{{9.81, 0, 0}, {0, 9.81, 0}, {0, 0, 9.81}}};
}

const std::vector<Vec3> sixAxes = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
const std::vector<Vec3> cubeCorners = {{1, 1, 1},  {1, 1, -1},  {1, -1, 1},  {1, -1, -1},
                                       {-1, 1, 1}, {-1, 1, -1}, {-1, -1, 1}, {-1, -1, -1}};

/// Fourteen attitudes that carry a full scale.
std::vector<Vec3> sidesAndCorners()
{
    std::vector<Vec3> all = sixAxes;
    all.insert(all.end(), cubeCorners.begin(), cubeCorners.end());
    return all;
}

void expectNear(const Vec3 &found, const Vec3 &truth, double tolerance)
{
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(found[i], truth[i], tolerance) << i;
}

void expectNear(const Mat3 &found, const Mat3 &truth, double tolerance)
{
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            EXPECT_NEAR(found[i][j], truth[i][j], tolerance) << i << " " << j;
}

/// A hand-turned board with rests at many attitudes and an accelerometer
/// whose offset and scale are off by as much as cheap ones are.
AlignedRecording withAccelerometerErrors(const Mat3 &mount, unsigned seed, int rests)
{
    AlignedRecording r = handTurned(mount, 60.0, seed);
    r.hand.rests = rests;
    const double offset[3] = {0.3, -0.2, 0.15}, scale[3] = {1.03, 0.98, 1.01};
    std::copy(offset, offset + 3, r.accelOffset);
    std::copy(scale, scale + 3, r.accelScale);
    return r;
}

} // namespace

TEST(AccelerometerFit, TheModelIsTheRichestTheAttitudesCarry)
{
    const Vec3 offset = {0.12, -0.08, 0.2};
    // Six sides: one scale; the three of a diagonal would need eight attitudes.
    const Mat3 round = {{{9.9, 0, 0}, {0, 9.9, 0}, {0, 0, 9.9}}};
    const AccelerometerFit six = fitAllAtRest(atRest(sixAxes, round, offset));
    ASSERT_TRUE(six.fitted) << six.reason;
    EXPECT_EQ(six.model, FitModel::Sphere);
    EXPECT_EQ(six.attitudes, 6);
    EXPECT_EQ(six.readings, 120);
    expectNear(six.offset, offset, 0.01);
    expectNear(six.scale, round, 0.01);

    // The eight corners of a cube are enough attitudes for a diagonal scale,
    // but every corner sees the three axes alike: one scale again.
    const AccelerometerFit corners = fitAllAtRest(atRest(cubeCorners, round, offset));
    ASSERT_TRUE(corners.fitted) << corners.reason;
    EXPECT_EQ(corners.model, FitModel::Sphere);
    expectNear(corners.offset, offset, 0.01);

    // Sides and corners together carry the full scale, its cross-axis terms too.
    const Mat3 skewed = {{{10.1, 0.1, -0.05}, {0.1, 9.6, 0.08}, {-0.05, 0.08, 9.85}}};
    const AccelerometerFit full = fitAllAtRest(atRest(sidesAndCorners(), skewed, offset));
    ASSERT_TRUE(full.fitted) << full.reason;
    EXPECT_EQ(full.model, FitModel::Full);
    EXPECT_EQ(full.attitudes, 14);
    expectNear(full.offset, offset, 0.01);
    expectNear(full.scale, skewed, 0.01);
    expectNear(times(full.inverse, full.scale)[0], {1, 0, 0}, 1e-12);
    const Vec3 up = full.corrected({10.1 + offset[0], 0.1 + offset[1], -0.05 + offset[2]});
    expectNear(up, {1, 0, 0}, 0.002);
    EXPECT_GT(full.normErrorBefore, 0.01);
    EXPECT_LT(full.normErrorAfter, 0.003);
}

TEST(AccelerometerFit, WhatTheAttitudesCannotCarryIsNotFitted)
{
    const Vec3 offset = {0.1, 0.1, -0.1};
    const AccelerometerFit three =
        fitAllAtRest(atRest({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, perfectScale(), offset));
    EXPECT_FALSE(three.fitted);
    EXPECT_EQ(three.reason, "the readings at rest hold 3 distinct attitudes, at least 6 are needed");
    expectNear(three.corrected({1, 2, 3}), {1, 2, 3}, 0.0);

    // Eight attitudes within 35 degrees of up: an offset along up looks like
    // a larger scale.
    std::vector<Vec3> cap;
    for (int k = 0; k < 8; k++)
        cap.push_back({0.7 * std::cos(k * M_PI / 4), 0.7 * std::sin(k * M_PI / 4), 1.0 + 0.3 * (k % 2)});
    const AccelerometerFit oneSide = fitAllAtRest(atRest(cap, perfectScale(), offset));
    EXPECT_FALSE(oneSide.fitted);
    EXPECT_EQ(oneSide.attitudes, 8);
    EXPECT_EQ(oneSide.reason,
              "the 8 attitudes at rest lie too much to one side to tell the offset from the scale");

    // Readings that are not at rest, attitudes of fewer than five and readings
    // of no direction count for nothing.
    std::vector<Vec3> readings = atRest(sixAxes, perfectScale(), offset);
    std::vector<bool> resting(readings.size(), true);
    for (const Vec3 &lone : std::vector<Vec3>{{0.6, 0.6, 0.6}, {-0.6, 0.6, 0.6}}) {
        readings.insert(readings.end(), 4, lone);
        resting.insert(resting.end(), 4, true);
    }
    readings.insert(readings.end(), 30, {3.0, 1.0, 2.0});
    resting.insert(resting.end(), 30, false);
    readings.insert(readings.end(), 6, {NAN, 0.0, 9.81});
    readings.insert(readings.end(), 6, {0.0, 0.0, 0.0});
    resting.insert(resting.end(), 12, true);
    const AccelerometerFit kept = fitAccelerometer(readings, resting);
    ASSERT_TRUE(kept.fitted) << kept.reason;
    EXPECT_EQ(kept.attitudes, 6);
    EXPECT_EQ(kept.readings, 120);
    expectNear(kept.offset, offset, 0.01);

    // An offset of half a g is no accelerometer's error but a fault.
    const AccelerometerFit far = fitAllAtRest(atRest(sixAxes, perfectScale(), {4.9, 0, 0}));
    EXPECT_FALSE(far.fitted);
    EXPECT_EQ(far.reason, "the fit's offset of 0.50 g lies beyond an accelerometer's errors");
    expectNear(far.offset, {0, 0, 0}, 0.0);
    const AccelerometerFit stretched =
        fitAllAtRest(atRest(sidesAndCorners(), {{{13.5, 0, 0}, {0, 9.81, 0}, {0, 0, 9.81}}}, offset));
    EXPECT_FALSE(stretched.fitted);
    EXPECT_EQ(stretched.reason,
              "the fit's scale differs by 24 % along one direction, beyond an accelerometer's errors");
}

TEST(AccelerometerFit, AHandTurnedBoardIsCorrectedBeforeTheAngleIsTaken)
{
    const Mat3 mount = times(glued(41), signedPermutations()[9]);
    const AlignmentInput input = inputOf(withAccelerometerErrors(mount, 14, 14));
    const AlignmentResult fitted = alignAxes(input);
    const AlignmentResult asRead = alignAxesAsRead(input);
    ASSERT_TRUE(fitted.determined) << fitted.reason;
    ASSERT_TRUE(asRead.determined) << asRead.reason;
    const AccelerometerFit &f = fitted.accelerometer;
    ASSERT_TRUE(f.fitted) << f.reason;
    EXPECT_GE(f.attitudes, 12);
    expectNear(f.offset, {0.3, -0.2, 0.15}, 0.03);
    expectNear(f.scale, {{{9.81 * 1.03, 0, 0}, {0, 9.81 * 0.98, 0}, {0, 0, 9.81 * 1.01}}}, 0.03);
    EXPECT_FALSE(asRead.accelerometer.fitted);
    EXPECT_TRUE(asRead.accelerometer.reason.empty());

    const double spreadAsRead = *asRead.dipSpreadAfterDegrees, spreadFitted = *fitted.dipSpreadAfterDegrees;
    const double errorAsRead = rotationDegrees(times(asRead.rotation, transposed(mount)));
    const double errorFitted = rotationDegrees(times(fitted.rotation, transposed(mount)));
    std::printf("angle spread %.3f degrees as read, %.3f fitted; rotation off by %.3f and %.3f degrees\n",
                spreadAsRead, spreadFitted, errorAsRead, errorFitted);
    EXPECT_LT(spreadFitted, 0.5 * spreadAsRead);
    EXPECT_LT(errorFitted, 0.5);
    EXPECT_LT(errorFitted, errorAsRead);
    EXPECT_EQ(fitted.mapping, signedPermutations()[9]);
}

TEST(AccelerometerFit, TooFewAttitudesLeaveTheAlignmentAsItWas)
{
    // Four rests do not tell the axes apart; these five do.
    for (const auto &[rests, seed] : {std::pair{4, 15u}, std::pair{5, 18u}}) {
        const AlignmentInput input = inputOf(withAccelerometerErrors(glued(5), seed, rests));
        const AlignmentResult result = alignAxes(input);
        EXPECT_FALSE(result.accelerometer.fitted);
        EXPECT_EQ(result.accelerometer.attitudes, rests);
        EXPECT_EQ(result.accelerometer.reason, "the readings at rest hold " + std::to_string(rests) +
                                                   " distinct attitudes, at least 6 are needed");
        EXPECT_EQ(result.determined, rests == 5);
        const AlignmentResult asRead = alignAxesAsRead(input);
        EXPECT_EQ(result.determined, asRead.determined);
        EXPECT_EQ(result.reason, asRead.reason);
        EXPECT_EQ(result.readingsAtRest, asRead.readingsAtRest);
        EXPECT_EQ(result.mapping, asRead.mapping);
        EXPECT_EQ(result.rotation, asRead.rotation);
        EXPECT_EQ(result.dipSpreadBeforeDegrees, asRead.dipSpreadBeforeDegrees);
        EXPECT_EQ(result.dipSpreadAfterDegrees, asRead.dipSpreadAfterDegrees);
        EXPECT_EQ(result.dipDegrees, asRead.dipDegrees);
        EXPECT_EQ(result.orientation, asRead.orientation);
        EXPECT_EQ(result.notes, asRead.notes);
    }
}

TEST(AccelerometerFit, MappingsStayRightWithAccelerometerErrors)
{
    for (const size_t k : {0, 5, 17, 26, 40, 47}) {
        const Mat3 mount = times(glued(unsigned(60 + k)), signedPermutations()[k]);
        const AlignmentResult result = alignedOf(withAccelerometerErrors(mount, unsigned(20 + k), 24));
        ASSERT_TRUE(result.determined) << k << ": " << result.reason;
        EXPECT_TRUE(result.accelerometer.fitted) << k << ": " << result.accelerometer.reason;
        EXPECT_EQ(result.mapping, signedPermutations()[k]) << k;
        EXPECT_LT(rotationDegrees(times(result.rotation, transposed(mount))), 0.5) << k;
    }
}
