#include "orientation.h"
#include "restreadings.h"
#include "rotation3.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tavrin::align;

namespace {

void expectNear(const Vec3 &a, const Vec3 &b, double tolerance)
{
    for (int i = 0; i < 3; i++)
        EXPECT_NEAR(a[i], b[i], tolerance) << "coordinate " << i;
}

} // namespace

TEST(Rotation3, EigenvectorsSatisfyTheirEquationInAscendingOrder)
{
    const Mat3 s = {{{4.0, 1.0, -2.0}, {1.0, 2.0, 0.5}, {-2.0, 0.5, 3.0}}};
    Vec3 values;
    Mat3 vectors;
    symmetricEigen(s, values, vectors);
    EXPECT_LE(values[0], values[1]);
    EXPECT_LE(values[1], values[2]);
    EXPECT_NEAR(values[0] + values[1] + values[2], 9.0, 1e-12);
    for (int e = 0; e < 3; e++) {
        const Vec3 v = {vectors[0][e], vectors[1][e], vectors[2][e]};
        EXPECT_NEAR(norm(v), 1.0, 1e-12);
        const Vec3 sv = times(s, v);
        expectNear(sv, {values[e] * v[0], values[e] * v[1], values[e] * v[2]}, 1e-12);
    }
}

TEST(Rotation3, RollPitchYawComeBackAndAnglesAreMeasured)
{
    const Vec3 angles = rollPitchYawOf(fromRollPitchYaw(-30.0, 20.0, 135.0));
    expectNear(angles, {-30.0, 20.0, 135.0}, 1e-9);
    // At pitch 90 the roll carries the whole turn about the vertical.
    const Mat3 steep = fromRollPitchYaw(40.0, 90.0, 0.0);
    const Vec3 back = rollPitchYawOf(steep);
    EXPECT_NEAR(rotationDegrees(times(transposed(fromRollPitchYaw(back[0], back[1], back[2])), steep)), 0.0,
                1e-6);
    EXPECT_NEAR(rotationDegrees(rotationAbout({0.0, 0.3 * M_PI / 180, 0.0})), 0.3, 1e-12);
    EXPECT_NEAR(rotationDegrees(fromRollPitchYaw(180.0, 0.0, 0.0)), 180.0, 1e-9);
}

TEST(Orientation, WorkedExamplesTurnTheAxesAsNamed)
{
    // 2 Yaw90: x, y, z become -y, x, z; 10 Roll180Yaw90: y, x, -z.
    const Vec3 v = {1.0, 2.0, 3.0};
    expectNear(times(orientations()[2].matrix(), v), {-2.0, 1.0, 3.0}, 1e-12);
    expectNear(times(orientations()[10].matrix(), v), {2.0, 1.0, -3.0}, 1e-12);
    EXPECT_EQ(orientationNumber(orientations()[2].matrix()), 2);
    EXPECT_EQ(orientationNumber(orientations()[10].matrix()), 10);
    EXPECT_STREQ(orientations()[37].name, "Roll90Yaw270");
}

TEST(Orientation, NumbersMatchWithinAFewDegreesAndNeverForAMirror)
{
    const Mat3 yaw90 = orientations()[2].matrix();
    EXPECT_EQ(orientationNumber(times(rotationAbout({0.04, -0.03, 0.02}), yaw90)), 2); // 3.1 degrees off
    EXPECT_EQ(orientationNumber(times(rotationAbout({0.0, 0.0, 0.2}), yaw90)), std::nullopt);
    const Mat3 mirrorY = {{{1, 0, 0}, {0, -1, 0}, {0, 0, 1}}};
    EXPECT_EQ(orientationNumber(mirrorY), std::nullopt);
    // Pitch180Yaw90 is the rotation of Roll180Yaw270: the lower number is given.
    EXPECT_EQ(orientationNumber(orientations()[26].matrix()), 14);
    for (int k = 0; k < OrientationCount; k++) {
        const std::optional<int> found = orientationNumber(orientations()[k].matrix());
        ASSERT_TRUE(found.has_value()) << orientations()[k].name;
        EXPECT_LE(*found, k);
        EXPECT_NEAR(
            rotationDegrees(times(transposed(orientations()[*found].matrix()), orientations()[k].matrix())),
            0.0, 1e-6);
    }
}

TEST(RestReadings, GravityAloneAndStillOnly)
{
    std::vector<Vec3> a(12, Vec3{0.0, 0.0, 9.81});
    a[3] = {0.0, 0.0, 10.9};  // pushed: 11 % over the median norm
    a[8] = {0.0, 0.6, 9.79};  // the norm is right, but it turned from its neighbours
    a[10] = {NAN, 0.0, 9.81}; // not a reading
    // Every reading lies within the default reach of five of a disturbance.
    EXPECT_EQ(readingsAtRest(a), std::vector<bool>(12, false));
    RestRule rule;
    rule.reach = 2;
    rule.stepShare = 0.03;
    const std::vector<bool> rest = readingsAtRest(a, rule);
    const std::vector<bool> expected = {true,  false, false, false, false, false,
                                        false, false, false, false, false, false};
    EXPECT_EQ(rest, expected);
    // The neighbours' reach decides how far a disturbance spoils the rest.
    rule.reach = 0;
    const std::vector<bool> alone = readingsAtRest(a, rule);
    EXPECT_EQ(alone,
              (std::vector<bool>{true, true, true, false, true, true, true, true, true, true, false, true}));
    EXPECT_EQ(readingsAtRest(std::vector<Vec3>(5, Vec3{0, 0, 0})), std::vector<bool>(5, false));
    EXPECT_TRUE(readingsAtRest({}).empty());
}
