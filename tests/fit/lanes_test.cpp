// The robust fit's lanes against their scalar reference: every lane width,
// the pairs of processors without AVX2 included, gives the numbers of one
// double at a time to the last bit, since each lane is rounded as a double
// alone would be and the sums take the points in their order.
#include "robustpass.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using namespace tavrin;
using namespace tavrin::robust;

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The widths this processor runs: quads only where it has AVX2.
std::vector<LaneWidth> widths()
{
    std::vector<LaneWidth> all{LaneWidth::Single, LaneWidth::Pair};
    if (widestLanes() == LaneWidth::Quad)
        all.push_back(LaneWidth::Quad);
    return all;
}

const char *widthName(LaneWidth width)
{
    return width == LaneWidth::Single ? "single" : width == LaneWidth::Pair ? "pairs" : "quads";
}

// The loss and weight of each of eight residuals, weighed in lanes.
struct LaneWeights {
    double loss[LaneCount], weight[LaneCount];
};

LaneWeights weighInLanes(LaneWidth width, Loss loss, const double (*r)[3], double c)
{
    return withLanes(
        width, [&](auto lanes) __attribute__((always_inline)) {
            using Lanes = decltype(lanes);
            const Weighed<Lanes> e = weigh(loss, Lanes(r, 0), c);
            LaneWeights out;
            for (int lane = 0; lane < LaneCount; lane++) {
                out.loss[lane] = e.loss[lane];
                out.weight[lane] = e.weight[lane];
            }
            return out;
        });
}

} // namespace

TEST(Lanes, EveryWidthWeighsAsOneDouble)
{
    const double c = 4.685 * 0.37, tiny = std::numeric_limits<double>::denorm_min(),
                 inf = std::numeric_limits<double>::infinity();
    const double residuals[] = {0.0,
                                -0.0,
                                tiny,
                                0.3 * c,
                                -0.7 * c,
                                c,
                                -c,
                                std::nextafter(c, 0.0),
                                std::nextafter(c, 2 * c),
                                2 * c,
                                -5e3 * c,
                                inf,
                                -inf,
                                std::numeric_limits<double>::quiet_NaN(),
                                1e300,
                                -1e-300};
    static_assert(std::size(residuals) % LaneCount == 0);
    for (const Loss loss : {Loss::Huber, Loss::Tukey})
        for (size_t first = 0; first < std::size(residuals); first += LaneCount) {
            double r[LaneCount][3] = {};
            for (int lane = 0; lane < LaneCount; lane++)
                r[lane][0] = residuals[first + size_t(lane)];
            for (const LaneWidth width : widths()) {
                const LaneWeights e = weighInLanes(width, loss, r, c);
                for (int lane = 0; lane < LaneCount; lane++) {
                    const Weighed<double> one = weigh(loss, r[lane][0], c);
                    EXPECT_TRUE(sameBits(e.loss[lane], one.loss) && sameBits(e.weight[lane], one.weight))
                        << widthName(width) << (loss == Loss::Huber ? " Huber" : " Tukey") << " r "
                        << r[lane][0] << ": " << e.loss[lane] << ", " << e.weight[lane] << " against "
                        << one.loss << ", " << one.weight;
                }
            }
        }
}

TEST(Lanes, OneDoubleWeighsAsTheLossesDefine)
{
    const double c = 2.0;
    // Huber's: quadratic inside c, linear beyond, weight psi(r) / r.
    EXPECT_EQ(weigh(Loss::Huber, 1.0, c).loss, 0.5);
    EXPECT_EQ(weigh(Loss::Huber, 1.0, c).weight, 1.0);
    EXPECT_EQ(weigh(Loss::Huber, -4.0, c).loss, 2.0 * 4.0 - 0.5 * 4.0);
    EXPECT_EQ(weigh(Loss::Huber, -4.0, c).weight, 0.5);
    // Tukey's: c^2 / 6 (1 - (1 - u^2)^3) inside c, c^2 / 6 and no weight beyond.
    EXPECT_DOUBLE_EQ(weigh(Loss::Tukey, 1.0, c).loss, 4.0 / 6 * (1 - 0.75 * 0.75 * 0.75));
    EXPECT_DOUBLE_EQ(weigh(Loss::Tukey, 1.0, c).weight, 0.75 * 0.75);
    EXPECT_EQ(weigh(Loss::Tukey, 3.0, c).loss, 4.0 / 6);
    EXPECT_EQ(weigh(Loss::Tukey, -2.0, c).weight, 0.0);
    EXPECT_TRUE(std::isnan(weigh(Loss::Tukey, std::numeric_limits<double>::quiet_NaN(), c).loss));
}

namespace {

// Points about an ellipsoid with spikes, a few at its centre, counted 0 to
// 2 times, some left out and some thinned: every branch a pass takes.
MatDoub spikedEllipsoid()
{
    Recording r{rotatedEllipsoid(1.1, 0.92, 1.03, 0.4, -0.3, 0.2, 3.0, -2.0, 5.0)};
    r.n = 203;
    r.sigma = 0.4;
    r.spikeShare = 0.1;
    r.seed = 7;
    return record(r).points;
}

struct Passes {
    MatDoub points = spikedEllipsoid();
    std::vector<int> given, counted;
    std::vector<bool> left;
    Sample sample{points, nullptr, {2.5, -1.5, 4.0}, {{1 / 48.0, 0, 0}, {0, 1 / 48.0, 0}, {0, 0, 1 / 48.0}}};

    Passes()
    {
        for (const int k : {5, 77})
            std::copy(sample.o, sample.o + 3, points[k]);
        for (int k = 0; k < points.nrows(); k++) {
            given.push_back(k % 7 == 3 ? 0 : k % 5 == 1 ? 2 : 1);
            counted.push_back(k % 11 == 4 ? 0 : given.back());
            left.push_back(k % 13 == 6);
        }
        sample.weights = counted.data();
        sample.given = given.data();
        sample.thinned = true;
        sample.left = &left;
    }
};

struct Listed {
    Normal sums;
    std::vector<int> rejected;
    std::vector<double> magnitudes;
};

Listed passIn(LaneWidth width, const Passes &p, const Model &m, const Parameters &t, Pass pass, Loss loss)
{
    Listed out;
    Request ask(pass, loss, 0.004);
    ask.costSigma = 0.006;
    ask.magnitudes = &out.magnitudes;
    if (pass == Pass::NormalAndRejected)
        ask.rejected = &out.rejected;
    out.sums = evaluateRange(p.sample, m, t, ask, {1, p.points.nrows(), 1}, width);
    return out;
}

void expectSameBits(const Listed &a, const Listed &b, const char *what)
{
    EXPECT_TRUE(sameBits(a.sums.cost, b.sums.cost)) << what << ": " << a.sums.cost << " " << b.sums.cost;
    EXPECT_TRUE(sameBits(a.sums.ownCost, b.sums.ownCost)) << what;
    for (int i = 0; i < MaxParameters; i++) {
        EXPECT_TRUE(sameBits(a.sums.g[i], b.sums.g[i])) << what << " g" << i;
        for (int j = 0; j < MaxParameters; j++)
            EXPECT_TRUE(sameBits(a.sums.H[i][j], b.sums.H[i][j])) << what << " H" << i << j;
    }
    EXPECT_EQ(a.rejected, b.rejected) << what;
    ASSERT_EQ(a.magnitudes.size(), b.magnitudes.size()) << what;
    for (size_t k = 0; k < a.magnitudes.size(); k++)
        EXPECT_TRUE(sameBits(a.magnitudes[k], b.magnitudes[k])) << what << " magnitude " << k;
}

// The magnitudes of the residuals of the points the range counts, each as
// often as it counts, one double at a time.
std::vector<double> magnitudesOneByOne(const Passes &p, const Model &m, const Parameters &t)
{
    double G[3][3];
    gainMatrix(m.shape, t.v.data() + biasCount(m.shape), G);
    std::vector<double> magnitudes;
    for (int k = 1; k < p.points.nrows(); k++) {
        double q[3];
        p.sample.map(k, q);
        const double r = withShape(
            m.shape, [&](auto S) { return residualAs<S.value, double>(t, G, m.target, q, nullptr); });
        magnitudes.insert(magnitudes.end(), size_t(p.sample.count(k)), std::abs(r));
    }
    return magnitudes;
}

} // namespace

TEST(Lanes, EveryWidthPassesAsOneDouble)
{
    const Passes p;
    // Parameters in the frame near the truth, a little off, for each shape.
    const Parameters atFull{{0.01, -0.02, 0.015, 1.05, 0.98, 1.02, 0.03, -0.02, 0.01}};
    const Parameters atDiagonal{{0.01, -0.02, 0.015, 1.05, 0.98, 1.02}};
    const Parameters atSphere{{0.01, -0.02, 0.015, 1.01}};
    const Parameters atPlane{{0.01, -0.02, 1.04, 0.97, 0.02}};
    const struct {
        Shape shape;
        const Parameters &t;
    } shapes[] = {{Shape::Full, atFull},
                  {Shape::Diagonal, atDiagonal},
                  {Shape::Sphere, atSphere},
                  {Shape::Plane, atPlane}};
    int rejected = 0;
    for (const auto &shape : shapes)
        for (const Pass pass : {Pass::Normal, Pass::CostOnly, Pass::NormalAndRejected, Pass::Magnitudes})
            for (const Loss loss : {Loss::Huber, Loss::Tukey}) {
                const Model m{shape.shape, 1.0};
                const Listed reference = passIn(LaneWidth::Single, p, m, shape.t, pass, loss);
                rejected += int(reference.rejected.size());
                for (const LaneWidth width : widths())
                    expectSameBits(passIn(width, p, m, shape.t, pass, loss), reference, widthName(width));
                if (pass == Pass::Magnitudes) {
                    EXPECT_EQ(reference.magnitudes, magnitudesOneByOne(p, m, shape.t));
                } else {
                    EXPECT_GT(reference.sums.cost, 0.0);
                }
                const bool normal = pass == Pass::Normal || pass == Pass::NormalAndRejected;
                EXPECT_EQ(reference.sums.H[0][0] > 0.0, normal);
            }
    // The spikes are judged, gross points and points counted for nothing
    // among them.
    EXPECT_GT(rejected, 8);
}
