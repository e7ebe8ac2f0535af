// The sensor simulator's board: how its magnetometer is mounted against its
// accelerometer, what the accelerometer measures, and its rests.
#include "handmotion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

double dot(const Vector3 &a, const Vector3 &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

double norm(const Vector3 &a)
{
    return std::sqrt(dot(a, a));
}

double degreesBetween(const Vector3 &a, const Vector3 &b)
{
    return std::acos(std::clamp(dot(a, b) / (norm(a) * norm(b)), -1.0, 1.0)) * 180 / M_PI;
}

// A reading of the magnetometer in the accelerometer's axes: along each
// accelerometer axis, the magnetometer axis the mount names, with its sign.
Vector3 inAccelerometerAxes(const Mount &mount, const Vector3 &m)
{
    Vector3 v{};
    for (size_t i = 0; i < 3; i++)
        v[i] = mount.sign[i] * m[size_t(mount.axis[i])];
    return v;
}

// A board without errors or noise, so that the magnetometer reads the field itself.
SensorModel idealBoard(const std::string &mount)
{
    SensorModel m;
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            m.A[i][j] = i == j ? 1.0 : 0.0;
    m.b = {0, 0, 0};
    m.noise = 0.0;
    m.mount = *mountNamed(mount);
    return m;
}

} // namespace

TEST(HandMotion, AMountNamesForEachAccelerometerAxisTheMagnetometerAxisAlongIt)
{
    const struct {
        const char *name;
        Vector3 inMagnetometer; ///< of (1, 2, 3) in the accelerometer's axes
        bool mirror;
    } cases[] = {{"x,y,z", {1, 2, 3}, false},       {"x,-y,z", {1, -2, 3}, true},
                 {"-y,x,z", {2, -1, 3}, false},     {"y,x,-z", {2, 1, -3}, false},
                 {"z,x,y", {2, 3, 1}, false},       {"-x,-y,-z", {-1, -2, -3}, true},
                 {" +y , -z , x", {3, 1, -2}, true}};
    for (const auto &c : cases) {
        const std::optional<Mount> m = mountNamed(c.name);
        ASSERT_TRUE(m.has_value()) << c.name;
        EXPECT_EQ(m->toMagnetometer({1, 2, 3}), c.inMagnetometer) << c.name;
        EXPECT_EQ(inAccelerometerAxes(*m, c.inMagnetometer), (Vector3{1, 2, 3})) << c.name;
        EXPECT_EQ(m->mirror(), c.mirror) << c.name;
    }
    for (const char *bad : {"", "x,y", "x,y,z,x", "x,x,z", "x,-x,z", "a,b,c", "xy,z,x", "--x,y,z", "x;y;z"})
        EXPECT_FALSE(mountNamed(bad).has_value()) << bad;

    // All 48 signed permutations are mounts, half of them mirrors, and each
    // mirror's determinant is -1.
    const char *const orders[] = {"xyz", "xzy", "yxz", "yzx", "zxy", "zyx"};
    int mirrors = 0;
    for (const char *order : orders)
        for (int signs = 0; signs < 8; signs++) {
            std::string name;
            for (int i = 0; i < 3; i++)
                name += std::string(i ? "," : "") + ((signs >> i) & 1 ? "-" : "") + order[i];
            const std::optional<Mount> m = mountNamed(name);
            ASSERT_TRUE(m.has_value()) << name;
            double columns[3][3];
            for (int j = 0; j < 3; j++) {
                Vector3 unit{};
                unit[size_t(j)] = 1.0;
                const Vector3 c = m->toMagnetometer(unit);
                for (int i = 0; i < 3; i++)
                    columns[i][j] = c[size_t(i)];
            }
            const double det =
                columns[0][0] * (columns[1][1] * columns[2][2] - columns[1][2] * columns[2][1]) -
                columns[0][1] * (columns[1][0] * columns[2][2] - columns[1][2] * columns[2][0]) +
                columns[0][2] * (columns[1][0] * columns[2][1] - columns[1][1] * columns[2][0]);
            EXPECT_EQ(det, m->mirror() ? -1.0 : 1.0) << name;
            mirrors += m->mirror();
        }
    EXPECT_EQ(mirrors, 24);
}

TEST(HandMotion, AtRestTheAccelerometerMeasuresOneGUpAndKeepsItsAngleToTheField)
{
    // A turn of a second and a half, then a rest of one, read at 100 a second.
    SensorModel model = idealBoard("-y,x,z");
    model.moveSeconds = 1.5;
    model.restSeconds = 1.0;
    model.shake = 3.0;
    HandMotion board(model, 7);
    SensorModel down = model;
    down.accelDown = true;
    HandMotion downward(down, 7);
    int atRest = 0;
    double mostShake = 0.0, leastAsLogged = 180.0, mostAsLogged = 0.0;
    for (int k = 0; k < 1000; k++) {
        board.advance(0.01);
        downward.advance(0.01);
        const Vector3 a = board.accelerometer();
        const Vector3 h = board.magnetometer();
        const Vector3 other = downward.accelerometer();
        EXPECT_EQ(other, (Vector3{-a[0], -a[1], -a[2]}));
        mostShake = std::max(mostShake, std::abs(norm(a) - StandardGravity));
        if (board.moving() > 0.0)
            continue;
        ++atRest;
        EXPECT_NEAR(norm(a), StandardGravity, 1e-9);
        EXPECT_EQ(board.gyroscope(), (Vector3{0, 0, 0}));
        // Up against a field that dips 60 degrees down: 150 degrees apart,
        // once the magnetometer's reading is taken to the accelerometer's axes.
        EXPECT_NEAR(degreesBetween(a, inAccelerometerAxes(model.mount, h)), 150.0, 1e-9);
        leastAsLogged = std::min(leastAsLogged, degreesBetween(a, h));
        mostAsLogged = std::max(mostAsLogged, degreesBetween(a, h));
    }
    EXPECT_GE(atRest, 350);
    // The hand's shakes show beside gravity while it moves.
    EXPECT_GT(mostShake, 0.5);
    // As logged, the quarter turn moves the angle from rest to rest.
    EXPECT_GT(mostAsLogged - leastAsLogged, 10.0);
}
