#include "alignment.h"
#include "alignpath.h"
#include "ellipsoidfit.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin;
using namespace tavrin::align;

namespace {

constexpr double Degree = M_PI / 180.0;

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

AlignmentResult alignedOf(const AlignedRecording &r, AccelConvention convention = AccelConvention::Up,
                          std::optional<double> placeInclination = std::nullopt)
{
    AlignmentInput input = calibrated(recordAligned(r));
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

TEST(Alignment, AccelerometerErrorsLeaveTheMappingRight)
{
    const Mat3 mount = times(glued(99), signedPermutations()[17]);
    AlignedRecording r = handTurned(mount, 55.0, 12);
    r.accelOffset[0] = 0.15;
    r.accelOffset[2] = -0.1;
    r.accelScale[1] = 1.02;
    const AlignmentResult result = alignedOf(r);
    ASSERT_TRUE(result.determined) << result.reason;
    EXPECT_EQ(result.mapping, signedPermutations()[17]);
    EXPECT_LT(rotationDegrees(times(result.rotation, transposed(mount))), 1.5);
}
