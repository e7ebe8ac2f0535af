// Recordings with rests: readings at one attitude, with fresh noise on each,
// put into a recording, and a floor robot that turns about z and rests
// between its turns.
#ifndef TAVRIN_TESTS_RESTS_H
#define TAVRIN_TESTS_RESTS_H

#include "synthetic.h"

#include <cmath>
#include <random>
#include <vector>

/// points with count readings at centre, each with noise of sigma on every
/// axis, put before points[at].
inline MatDoub withRest(const MatDoub &points, Int at, Int count, const Doub centre[3], Doub sigma,
                        unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<Doub> gauss(0.0, sigma);
    MatDoub out(points.nrows() + count, 3);
    for (Int k = 0; k < out.nrows(); k++) {
        const bool resting = k >= at && k < at + count;
        for (Int i = 0; i < 3; i++)
            out[k][i] = resting ? centre[i] + gauss(rng) : points[k < at ? k : k - count][i];
    }
    return out;
}

/// Like data/sample.txt: 2000 readings in no order, of noise sigma.
inline MatDoub sampleLike(Doub sigma = 0.25)
{
    Recording r{sampleTruth};
    r.sigma = sigma;
    return record(r).points;
}

/// A rest of count readings of noise 0.25 before reading at of sampleLike,
/// at that reading's attitude.
inline MatDoub restedSample(Int at, Int count, unsigned seed)
{
    return withRest(sampleLike(), at, count, sampleLike(0.0)[at], 0.25, seed);
}

/// The share of readings at rest that count readings put into n make.
inline Int restFor(Doub share, Int n)
{
    return Int(std::lround(share * n / (1 - share)));
}

struct RobotRecorded {
    MatDoub points;
    std::vector<Doub> heading; ///< radians
    std::vector<bool> resting;
};

/// A robot that rests first for firstRest readings, then turns by 50 to 70
/// degrees in steps of stepDegrees and rests for rest readings, turns
/// times, under a field of inclination 60 degrees; truth maps the field.
inline RobotRecorded recordRobot(const Truth &truth, Doub Hm, Int firstRest, Int turns, Int rest,
                                 Doub stepDegrees, Doub sigma, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<Doub> gauss(0.0, 1.0);
    std::uniform_real_distribution<Doub> turn(50.0, 70.0);
    std::vector<Doub> headings;
    std::vector<bool> resting;
    Doub heading = 0.0;
    headings.assign(size_t(firstRest), heading);
    resting.assign(size_t(firstRest), true);
    for (Int t = 0; t < turns; t++) {
        const Doub target = heading + turn(rng) * M_PI / 180;
        while (heading < target) {
            heading += stepDegrees * M_PI / 180;
            headings.push_back(heading);
            resting.push_back(false);
        }
        headings.insert(headings.end(), size_t(rest), heading);
        resting.insert(resting.end(), size_t(rest), true);
    }
    RobotRecorded out{MatDoub(Int(headings.size()), 3), headings, resting};
    const Doub inclination = 60.0 * M_PI / 180;
    for (Int k = 0; k < out.points.nrows(); k++) {
        const Doub psi = headings[size_t(k)];
        const Doub u[3] = {std::cos(psi) * std::cos(inclination), -std::sin(psi) * std::cos(inclination),
                           std::sin(inclination)};
        for (Int i = 0; i < 3; i++) {
            Doub h = truth.b0[i] + sigma * gauss(rng);
            for (Int j = 0; j < 3; j++)
                h += truth.A0[i][j] * Hm * u[j];
            out.points[k][i] = h;
        }
    }
    return out;
}

/// A flat turn's truth: in the plane a matrix of determinant one, along z
/// no scale or bias.
inline Truth robotTruth()
{
    Truth t = sphereTruth(1.0, 14.0, -9.0, 0.0);
    t.A0[0][0] = 1.12, t.A0[0][1] = t.A0[1][0] = 0.06, t.A0[1][1] = (1.0 + 0.06 * 0.06) / 1.12;
    return t;
}

#endif
