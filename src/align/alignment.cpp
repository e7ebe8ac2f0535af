#include "alignment.h"

#include "numbertext.h"
#include "orientation.h"

#include <algorithm>
#include <cmath>

namespace tavrin::align {

namespace {

/// The longest step of the least-squares search, radians.
constexpr double MaximumStep = 0.3;
/// Searches that end within this many degrees of each other found one rotation.
constexpr double SameEndDegrees = 5.0;

/// Directions of the magnetometer and of the accelerometer at one rest.
struct Pair {
    Vec3 m, g;
};

bool usable(const Vec3 &v)
{
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]) && norm(v) > 0;
}

/// The mean and the standard deviation of the angle between g and R m, degrees.
struct AngleSpread {
    double mean = 0.0, spread = 0.0;
};

AngleSpread angleSpread(const std::vector<Pair> &pairs, const Mat3 &r)
{
    double sum = 0.0, sum2 = 0.0;
    for (const Pair &p : pairs) {
        const double a = std::acos(std::clamp(dot(p.g, times(r, p.m)), -1.0, 1.0)) / Degree;
        sum += a;
        sum2 += a * a;
    }
    const double n = double(pairs.size());
    const double mean = sum / n;
    return {mean, std::sqrt(std::max(0.0, (sum2 - n * mean * mean) / (n - 1)))};
}

const char *axisName(int axis)
{
    static const char *const names[3] = {"x", "y", "z"};
    return names[axis];
}

/// The magnetometer axis whose negation leaves the mirror p the smallest
/// rotation: the one most likely reversed in the wiring or the driver.
int reversedAxisOf(const Mat3 &p)
{
    int best = 0;
    double bestAngle = 1e9;
    for (int axis = 0; axis < 3; axis++) {
        Mat3 q = p;
        for (int i = 0; i < 3; i++)
            q[i][axis] = -q[i][axis];
        const double angle = rotationDegrees(q);
        if (angle < bestAngle - 1e-9) {
            bestAngle = angle;
            best = axis;
        }
    }
    return best;
}

/// The least-squares rotation that makes g . R m steadiest, starting from
/// the mapping: Gauss-Newton on the small rotation e with R <- exp([e]x) R.
/// The constant is eliminated by centring, so each step solves the 3 x 3
/// normal equations of the centred derivatives (R m) x g.
struct SmallRotation {
    Mat3 rotation;
    Mat3 normal;        ///< the centred normal matrix at the solution
    double sigma = 0.0; ///< the residuals' standard deviation, cosine units
};

SmallRotation refine(const std::vector<Pair> &pairs, const Mat3 &start)
{
    SmallRotation s{start, {}, 0.0};
    const double n = double(pairs.size());
    for (int iteration = 0; iteration < 50; iteration++) {
        std::vector<Vec3> j(pairs.size());
        std::vector<double> c(pairs.size());
        Vec3 jMean{};
        double cMean = 0.0;
        for (size_t k = 0; k < pairs.size(); k++) {
            const Vec3 v = times(s.rotation, pairs[k].m);
            j[k] = cross(v, pairs[k].g);
            c[k] = dot(pairs[k].g, v);
            for (int i = 0; i < 3; i++)
                jMean[i] += j[k][i] / n;
            cMean += c[k] / n;
        }
        Mat3 normal{};
        Vec3 right{};
        double squares = 0.0;
        for (size_t k = 0; k < pairs.size(); k++) {
            const Vec3 dj = {j[k][0] - jMean[0], j[k][1] - jMean[1], j[k][2] - jMean[2]};
            const double dc = c[k] - cMean;
            squares += dc * dc;
            for (int a = 0; a < 3; a++) {
                right[a] -= dj[a] * dc;
                for (int b = 0; b < 3; b++)
                    normal[a][b] += dj[a] * dj[b];
            }
        }
        s.normal = normal;
        s.sigma = std::sqrt(squares / std::max(1.0, n - 4));
        // Solved in the normal matrix's eigenvectors, so that a direction the
        // data do not see takes no step rather than a wild one.
        Vec3 values;
        Mat3 vectors;
        symmetricEigen(normal, values, vectors);
        Vec3 step{};
        for (int e = 0; e < 3; e++) {
            if (!(values[e] > 1e-12 * values[2]))
                continue;
            const Vec3 axis = {vectors[0][e], vectors[1][e], vectors[2][e]};
            const double along = dot(axis, right) / values[e];
            for (int i = 0; i < 3; i++)
                step[i] += along * axis[i];
        }
        // A start far from the answer takes bounded steps, so that its
        // linearisation stays near enough to be trusted.
        const double length = norm(step);
        if (length > MaximumStep)
            for (double &x : step)
                x *= MaximumStep / length;
        s.rotation = times(rotationAbout(step), s.rotation);
        if (norm(step) < 1e-12)
            break;
    }
    return s;
}

/// The sign rules used, as assumptions: the accelerometer's convention and
/// the side of the horizon the field points to.
void assumeSigns(const AlignmentInput &input, AlignmentResult &result)
{
    result.assumptions.push_back(input.convention == AccelConvention::Up
                                     ? "the accelerometer reads +1 g on the axis pointing up at rest"
                                     : "the accelerometer reads -1 g on the axis pointing up at rest");
    if (input.placeInclinationDegrees)
        result.assumptions.push_back(
            format(!(*input.placeInclinationDegrees < 0)
                       ? "the field points below the horizon at the place (inclination %.1f degrees)"
                       : "the field points above the horizon at the place (inclination %.1f degrees)",
                   *input.placeInclinationDegrees));
    else
        result.assumptions.push_back("the place is north of the magnetic equator, the field pointing below "
                                     "the horizon, as no place was given");
}

/// The directions of the magnetometer and of the accelerometer at rest.
std::vector<Pair> pairsAtRest(const AlignmentInput &input)
{
    const size_t count = std::min(input.field.size(), input.accel.size());
    const std::vector<Vec3> accel(input.accel.begin(), input.accel.begin() + long(count));
    const std::vector<bool> resting = readingsAtRest(accel, input.rest);
    std::vector<Pair> pairs;
    for (size_t k = 0; k < count; k++)
        if (resting[k] && usable(input.field[k]) && usable(accel[k]))
            pairs.push_back({unit(input.field[k]), unit(accel[k])});
    return pairs;
}

/// How far the gravity directions at rest reach from their mean, degrees.
double widestAttitude(const std::vector<Pair> &pairs)
{
    Vec3 gMean{};
    for (const Pair &p : pairs)
        for (int i = 0; i < 3; i++)
            gMean[i] += p.g[i];
    gMean = unit(gMean);
    double widest = 0.0;
    for (const Pair &p : pairs)
        widest = std::max(widest, std::acos(std::clamp(dot(p.g, gMean), -1.0, 1.0)) / Degree);
    return widest;
}

/// The steadiest end of the searches and its spread, and the spread of the
/// steadiest end elsewhere, degrees.
struct Search {
    SmallRotation steadiest;
    double best = 0.0;
    double second = INFINITY;
};

/// P and -P give the same spread: each of the 24 rotations starts a
/// least-squares search, and the steadiest end wins. Starts that end at the
/// same rotation are one answer: the mapping is the signed permutation
/// nearest to it, so that a board mounted far from any permutation still
/// finds its rotation.
Search searchRotations(const std::vector<Pair> &pairs)
{
    const std::vector<Mat3> all = signedPermutations();
    std::vector<std::pair<double, SmallRotation>> ends;
    for (size_t k = 0; k < 24; k++) {
        SmallRotation end = refine(pairs, all[k]);
        ends.push_back({angleSpread(pairs, end.rotation).spread, end});
    }
    std::sort(ends.begin(), ends.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    Search search{ends[0].second, ends[0].first};
    for (size_t k = 1; k < ends.size() && !std::isfinite(search.second); k++)
        if (rotationDegrees(times(ends[k].second.rotation, transposed(ends[0].second.rotation))) >
            SameEndDegrees)
            search.second = ends[k].first;
    return search;
}

/// The signed permutation nearest to r.
Mat3 nearestPermutation(const Mat3 &r)
{
    const std::vector<Mat3> all = signedPermutations();
    Mat3 p = all[0];
    for (const Mat3 &candidate : all)
        if (rotationDegrees(times(r, transposed(candidate))) < rotationDegrees(times(r, transposed(p))))
            p = candidate;
    return p;
}

/// A mirror's axis to negate, and the other reading of the data.
void explainMirror(AlignmentResult &result, bool up, bool placeKnown)
{
    result.reversedAxis = reversedAxisOf(result.mapping);
    const std::string axis = axisName(result.reversedAxis);
    result.notes.push_back("the magnetometer's " + axis +
                           " axis is reversed against the accelerometer's: negate it in the wiring or the "
                           "driver, no orientation parameter can undo a mirror");
    result.notes.push_back(
        std::string("the angle lies on the wrong side of 90 degrees for a rotation: either ") +
        (up ? "the accelerometer reports gravity downward" : "the accelerometer reports gravity upward") +
        " or the magnetometer's " + axis + " axis is reversed" +
        (placeKnown ? "" : ", unless the place is south of the magnetic equator"));
}

/// The small rotation beyond the mapping, when its uncertainty allows, with
/// the dip, the spread after it and the orientation number.
void settleRotation(AlignmentResult &result, const std::vector<Pair> &pairs, const SmallRotation &small,
                    bool up)
{
    Vec3 values;
    Mat3 vectors;
    symmetricEigen(small.normal, values, vectors);
    const double weakest = values[0] > 0 ? small.sigma / std::sqrt(values[0]) / Degree : INFINITY;
    if (!(weakest <= MaximumRotationUncertaintyDegrees)) {
        result.rotation = result.mapping;
        result.reason =
            format("the readings at rest leave the small rotation uncertain by %.1f degrees about one "
                   "axis; rest the sensor at more attitudes",
                   weakest);
        return;
    }
    result.determined = true;
    result.rotation = small.rotation;
    result.rotationDegrees = rotationDegrees(times(small.rotation, transposed(result.mapping)));
    result.rotationUncertaintyDegrees = weakest;
    const AngleSpread after = angleSpread(pairs, small.rotation);
    result.dipSpreadAfterDegrees = after.spread;
    result.dipDegrees = up ? after.mean - 90.0 : 90.0 - after.mean;
    result.headingErrorDegrees = after.spread / std::cos(*result.dipDegrees * Degree);
    if (!result.mirror) {
        result.orientation = orientationNumber(small.rotation);
        result.rollPitchYawDegrees = rollPitchYawOf(small.rotation);
    }
}

} // namespace

std::vector<Mat3> signedPermutations()
{
    static const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    std::vector<Mat3> rotations;
    for (const auto &order : orders)
        for (int signs = 0; signs < 8; signs++) {
            Mat3 p{};
            for (int i = 0; i < 3; i++)
                p[i][order[i]] = (signs >> i) & 1 ? -1.0 : 1.0;
            if (determinant(p) > 0)
                rotations.push_back(p);
        }
    std::vector<Mat3> all = rotations;
    for (Mat3 p : rotations) {
        for (Vec3 &row : p)
            for (double &x : row)
                x = -x;
        all.push_back(p);
    }
    return all;
}

std::string mappingText(const Mat3 &p)
{
    std::string text;
    for (int i = 0; i < 3; i++) {
        int axis = 0;
        for (int j = 1; j < 3; j++)
            if (std::abs(p[i][j]) > std::abs(p[i][axis]))
                axis = j;
        if (i > 0)
            text += ',';
        if (p[i][axis] < 0)
            text += '-';
        text += axisName(axis);
    }
    return text;
}

std::string AlignmentResult::mappingText() const
{
    return align::mappingText(mapping);
}

bool AlignmentResult::needed() const
{
    return determined && (mapping != identity3() || rotationDegrees > NeededRotationDegrees);
}

AlignmentResult alignAxes(const AlignmentInput &input)
{
    const size_t count = std::min(input.field.size(), input.accel.size());
    const std::vector<Vec3> accel(input.accel.begin(), input.accel.begin() + long(count));
    const AccelerometerFit fit = fitAccelerometer(accel, readingsAtRest(accel, input.rest));
    AlignmentInput corrected;
    if (fit.fitted) {
        corrected = input;
        for (Vec3 &a : corrected.accel)
            a = fit.corrected(a);
    }
    AlignmentResult result = alignAxesAsRead(fit.fitted ? corrected : input);
    result.accelerometer = fit;
    return result;
}

AlignmentResult alignAxesAsRead(const AlignmentInput &input)
{
    AlignmentResult result;
    result.placeInclinationDegrees = input.placeInclinationDegrees;
    assumeSigns(input, result);
    const std::vector<Pair> pairs = pairsAtRest(input);
    result.readingsAtRest = int(pairs.size());
    if (pairs.size() < size_t(MinimumRests)) {
        result.reason = "only " + std::to_string(pairs.size()) + " readings at rest, at least " +
                        std::to_string(MinimumRests) + " are needed";
        return result;
    }
    result.dipSpreadBeforeDegrees = angleSpread(pairs, identity3()).spread;
    if (const double widest = widestAttitude(pairs); widest < MinimumAttitudeDegrees) {
        result.reason =
            format("the readings at rest hold the accelerometer within %.1f degrees of one direction, "
                   "as turns about the vertical alone do: rotation about the vertical cannot be "
                   "observed; rest the sensor on other sides too",
                   widest);
        return result;
    }

    const Search search = searchRotations(pairs);
    if (search.second < MappingRatio * search.best || search.second - search.best < MappingGapDegrees) {
        result.reason =
            format("the readings at rest do not tell the axes apart: two mappings leave the angle "
                   "within %.1f degrees of each other's spread; rest the sensor at more attitudes",
                   search.second - search.best);
        return result;
    }
    SmallRotation small = search.steadiest;
    const double meanAngle = angleSpread(pairs, small.rotation).mean;
    if (std::abs(meanAngle - 90.0) < std::max(MinimumDipDegrees, 3 * search.best)) {
        result.reason = format("the angle between the accelerometer and the field lies %.1f degrees from 90: "
                               "so near the magnetic equator a mapping and its mirror cannot be told apart",
                               std::abs(meanAngle - 90.0));
        return result;
    }
    // Up: the angle between the accelerometer and the field is 90 degrees
    // plus the dip; the wanted side of 90 follows from the dip's sign.
    const bool up = input.convention == AccelConvention::Up;
    const bool placeKnown = input.placeInclinationDegrees.has_value();
    const double inclinationSign = placeKnown && *input.placeInclinationDegrees < 0 ? -1.0 : 1.0;
    if ((meanAngle - 90.0) * (up ? 1.0 : -1.0) * inclinationSign < 0)
        for (Vec3 &row : small.rotation)
            for (double &x : row)
                x = -x;
    result.mapping = nearestPermutation(small.rotation);
    result.mappingFound = true;
    result.mirror = determinant(result.mapping) < 0;
    if (result.mirror)
        explainMirror(result, up, placeKnown);
    settleRotation(result, pairs, small, up);
    return result;
}

} // namespace tavrin::align
