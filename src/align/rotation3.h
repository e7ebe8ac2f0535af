// Vectors and matrices of three: what the alignment turns and compares.
// Angles are in radians unless a name says degrees.
#ifndef TAVRIN_ALIGN_ROTATION3_H
#define TAVRIN_ALIGN_ROTATION3_H

#include <array>
#include <cmath>

namespace tavrin::align {

using Vec3 = std::array<double, 3>;
using Mat3 = std::array<Vec3, 3>;

constexpr double Degree = M_PI / 180.0; ///< one degree in radians

Mat3 identity3();
Vec3 times(const Mat3 &m, const Vec3 &v);
Mat3 times(const Mat3 &a, const Mat3 &b);
Mat3 transposed(const Mat3 &m);
double dot(const Vec3 &a, const Vec3 &b);
Vec3 cross(const Vec3 &a, const Vec3 &b);
double norm(const Vec3 &v);
/// v / |v|; not finite for v = 0.
Vec3 unit(const Vec3 &v);
double determinant(const Mat3 &m);

/// The rotation by |v| radians about v (the identity for v = 0).
Mat3 rotationAbout(const Vec3 &v);

/// The angle of rotation r, 0 to 180 degrees.
double rotationDegrees(const Mat3 &r);

/// Rz(yaw) Ry(pitch) Rx(roll), angles in degrees: a vector in a sensor's
/// axes times this is the same vector in the vehicle's.
Mat3 fromRollPitchYaw(double rollDegrees, double pitchDegrees, double yawDegrees);

/// The roll, pitch and yaw in degrees that fromRollPitchYaw turns into r:
/// roll and yaw in -180..180, pitch in -90..90.
Vec3 rollPitchYawOf(const Mat3 &r);

/// The eigenvalues of symmetric s in ascending order, with the unit
/// eigenvectors as the columns of vectors.
void symmetricEigen(const Mat3 &s, Vec3 &values, Mat3 &vectors);

} // namespace tavrin::align

#endif
