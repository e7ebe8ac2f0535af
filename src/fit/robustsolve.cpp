// The solver of the robust fit: Levenberg-Marquardt on the robust cost of
// an even sample from its starts, Huber's loss then Tukey's, the polish of
// the converged fit on every point, and the normal equations factored.
#include "robustsolve.h"

#include "gaussj.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrin {
namespace robust {

bool factorNormal(const Normal &n, int np, Factor L, double least)
{
    double largest = 0.0;
    for (int i = 0; i < np; i++)
        largest = std::max(largest, n.H[i][i]);
    for (int i = 0; i < np; i++)
        for (int j = 0; j <= i; j++) {
            double sum = n.H[j][i];
            for (int k = 0; k < j; k++)
                sum -= L[i][k] * L[j][k];
            if (i != j) {
                L[i][j] = sum / L[j][j];
                continue;
            }
            if (!(sum > least * largest))
                return false;
            L[i][i] = std::sqrt(sum);
        }
    return true;
}

void solveFactored(const Factor L, int np, const double *g, double *x)
{
    double y[MaxParameters];
    for (int i = 0; i < np; i++) {
        double sum = -g[i];
        for (int k = 0; k < i; k++)
            sum -= L[i][k] * y[k];
        y[i] = sum / L[i][i];
    }
    for (int i = np - 1; i >= 0; i--) {
        double sum = y[i];
        for (int k = i + 1; k < np; k++)
            sum -= L[k][i] * x[k];
        x[i] = sum / L[i][i];
    }
}

namespace {

// Solves (H + lambda diag H) x = -g by Cholesky; false when the damped
// matrix is not positive definite.
bool dampedStep(const Normal &n, int np, double lambda, double *x)
{
    Normal damped = n;
    for (int i = 0; i < np; i++)
        damped.H[i][i] += lambda * n.H[i][i];
    Factor L = {};
    if (!factorNormal(damped, np, L, 0.0))
        return false;
    solveFactored(L, np, n.g, x);
    return true;
}

// A pass of that kind that lists the magnitudes of the residuals.
Request asked(Pass pass, Loss loss, double sigma, std::vector<double> *magnitudes)
{
    Request ask(pass, loss, sigma);
    ask.magnitudes = magnitudes;
    return ask;
}

} // namespace

int minimise(const Sample &s, const Model &m, Parameters &t, Loss loss, double sigma, int mostSteps,
             std::vector<double> &magnitudes)
{
    const int np = parameterCount(m.shape);
    magnitudes.clear();
    Normal current = evaluate(s, m, t, asked(Pass::Normal, loss, sigma, &magnitudes));
    std::vector<double> tried;
    double lambda = 1e-3;
    int iteration = 0;
    for (; iteration < mostSteps && lambda < 1e12 && !s.cancelled(); iteration++) {
        double x[MaxParameters];
        if (!dampedStep(current, np, lambda, x)) {
            lambda *= 10;
            continue;
        }
        Parameters trial = t;
        double step = 0.0, size = 0.0;
        for (int i = 0; i < np; i++) {
            trial.v[i] += x[i];
            step += x[i] * x[i];
            size += t.v[i] * t.v[i];
        }
        // The last step tried ends the pass whether it is taken or not:
        // its normal equations would go unused.
        const bool last = iteration + 1 == mostSteps;
        tried.clear();
        const Normal next =
            evaluate(s, m, trial, asked(last ? Pass::CostOnly : Pass::Normal, loss, sigma, &tried));
        if (!(next.cost <= current.cost)) {
            lambda *= 10;
            continue;
        }
        const bool settled = current.cost - next.cost <= 1e-12 * current.cost || step <= 1e-20 * (1 + size);
        t = trial;
        current = next;
        magnitudes.swap(tried);
        lambda = std::max(lambda / 10, 1e-12);
        if (settled)
            break;
    }
    return iteration + 1;
}

namespace {

// 1.4826 times the median |r|: the standard deviation of Gaussian residuals,
// which a few gross ones barely move. An even subsample of about 20000
// points pins it to about 1 %, every sigmaStride-th of the sample's. It
// never falls to zero, so that points on the model to the last digits keep
// their weight.
int sigmaStride(const Sample &s)
{
    return evenSampleStride(s.points.size(), s.stride);
}

// The robust scale of the magnitudes |r| of those points' residuals.
double scaleOf(const Model &m, std::vector<double> &magnitudes)
{
    if (magnitudes.empty())
        return 0.0;
    std::nth_element(magnitudes.begin(), magnitudes.begin() + magnitudes.size() / 2, magnitudes.end());
    return std::max(1.4826 * magnitudes[magnitudes.size() / 2], 1e-9 * m.target);
}

// The magnitudes |r| at t of the points robustSigma takes.
std::vector<double> magnitudesForSigma(const Sample &s, const Model &m, const Parameters &t)
{
    std::vector<double> magnitudes;
    evaluateRange(s, m, t, asked(Pass::Magnitudes, Loss::Tukey, 0.0, &magnitudes),
                  {0, s.points.size(), sigmaStride(s)});
    return magnitudes;
}

double robustSigma(const Sample &s, const Model &m, const Parameters &t)
{
    std::vector<double> magnitudes = magnitudesForSigma(s, m, t);
    return scaleOf(m, magnitudes);
}

// Huber's loss first, which is convex and forgives a rough start, then
// Tukey's, which gives gross outliers no weight; sigma follows the fit.
// Points that leave a direction undetermined, as a sphere's centre along the
// axis of a flat turn, would have the steps crawl along it: each loss has a
// budget of passes.
double refine(const Sample &s, const Model &m, Parameters &t)
{
    constexpr int passes = 150;
    double sigma = robustSigma(s, m, t);
    std::vector<double> magnitudes;
    for (const Loss loss : {Loss::Huber, Loss::Tukey}) {
        for (int left = passes; left > 0;) {
            left -= minimise(s, m, t, loss, sigma, std::min(left, 50), magnitudes);
            // A pass over the sample at t listed the magnitudes that
            // robustSigma would, where it takes the same points.
            const double next = sigmaStride(s) == s.stride ? scaleOf(m, magnitudes) : robustSigma(s, m, t);
            const bool settled = std::abs(next - sigma) <= 1e-5 * sigma;
            sigma = next;
            if (settled || s.cancelled())
                break;
        }
    }
    return sigma;
}

// The least-squares sphere (or circle, for a plane) |p - b|^2 = R^2 of the
// sample: linear in b and R^2 - |b|^2. Its gain makes the radius the target.
std::optional<Parameters> sphereStart(const Sample &s, const Model &m)
{
    const int nb = biasCount(m.shape), unknowns = nb + 1;
    MatDoub normal(unknowns, unknowns, 0.0), rhs(unknowns, 1, 0.0);
    for (int k = 0; k < s.points.size(); k += s.stride) {
        double p[3];
        s.map(k, p);
        double row[4];
        for (int i = 0; i < nb; i++)
            row[i] = 2 * p[i];
        row[nb] = 1.0;
        const double y = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
        for (int i = 0; i < unknowns; i++) {
            rhs[i][0] += s.count(k) * row[i] * y;
            for (int j = 0; j < unknowns; j++)
                normal[i][j] += s.count(k) * row[i] * row[j];
        }
    }
    try {
        const NrErrorSink silenced(nullptr);
        gaussj(normal, rhs);
    } catch (int) {
        return std::nullopt;
    }
    Parameters t;
    double r2 = rhs[nb][0];
    for (int i = 0; i < nb; i++) {
        t.v[size_t(i)] = rhs[i][0];
        r2 += rhs[i][0] * rhs[i][0];
    }
    if (!(r2 > 0))
        return std::nullopt;
    const double gain = m.target / std::sqrt(r2);
    const double G[3][3] = {{gain, 0, 0}, {0, gain, 0}, {0, 0, gain}};
    gainsOf(m.shape, G, t.v.data() + nb);
    return t;
}

// The algebraic fit of an even sample, taken into the frame, when it is an
// ellipsoid: its M is definite.
std::optional<Parameters> algebraicStart(const Sample &s, const Model &m, double Hm)
{
    const int rows = (s.points.size() + s.stride - 1) / s.stride;
    MatDoub table(rows, 3);
    std::vector<int> counts(static_cast<size_t>(rows));
    for (int k = 0, row = 0; k < s.points.size(); k += s.stride, row++) {
        std::copy(s.points[k], s.points[k] + 3, table[row]);
        counts[size_t(row)] = s.count(k);
    }
    const NrErrorSink silenced(nullptr);
    const std::optional<EllipsoidFit> fit = FitEllipsoid(table, counts.data());
    if (!fit)
        return std::nullopt;
    const double M[3][3] = {{fit->M[0][0], fit->M[0][1], fit->M[0][2]},
                            {fit->M[1][0], fit->M[1][1], fit->M[1][2]},
                            {fit->M[2][0], fit->M[2][1], fit->M[2][2]}};
    if (definiteness(M, 3) == 0)
        return std::nullopt;
    const std::optional<CalibrationParameters> p = DeriveCalibration(*fit, Hm);
    if (!p)
        return std::nullopt;
    return inFrame(s, m, *p);
}

Judged judge(const Sample &s, const Model &m, const Solution &fit)
{
    Judged j{fit, {}, {}};
    Request ask(Pass::NormalAndRejected, Loss::Tukey, fit.sigma);
    ask.rejected = &j.rejected;
    j.normal = evaluate(s, m, fit.t, ask);
    return j;
}

// How far the next polishing step may still move the fit, in standard
// errors of its parameters, for the fit to count as converged on every
// point. The errors shrink as one over the root of the number of points,
// while a fit converged on an even sample lies about the root of the
// points' share in it from the fit of all of them: one step does not always
// close that gap. Lengthened to the loss's curvature, the step foresees
// where the fit converges, so that a short one need not be taken.
constexpr double PolishedShare = 0.1;
constexpr int MostPolishingSteps = 20;

// The squared length of the step x in standard errors of the fit: x^T H x
// over sigma^2, as the covariance sigma^2 H^-1 measures it; H holds its
// upper triangle.
double squaredStandardErrors(const Normal &n, int np, const double *x, double sigma)
{
    double sum = 0.0;
    for (int i = 0; i < np; i++) {
        sum += n.H[i][i] * x[i] * x[i];
        for (int j = i + 1; j < np; j++)
            sum += 2 * n.H[i][j] * x[i] * x[j];
    }
    return sum / (sigma * sigma);
}

// How much longer than the step of J^T W J the step to the minimum of
// Tukey's loss is. Its curvature in a residual, psi' = (1 - u^2)(1 - 5 u^2)
// with u = r / c, is less than the weight (1 - u^2)^2, so that the weighted
// steps stop short by the share 1 - sum psi' / sum w of the way: about a
// sixth for Gaussian residuals, hence steps that shrink sixfold. Residuals
// crowded near the limit, where psi' turns negative, would have a step of
// that ratio overshoot: it is at most doubled.
double stepLengthening(const std::vector<double> &magnitudes, double sigma)
{
    const double c = tuning(Loss::Tukey, sigma);
    double curvature = 0.0, weight = 0.0;
    for (const double r : magnitudes) {
        const double u2 = SQR(r / c);
        if (u2 >= 1)
            continue;
        curvature += (1 - u2) * (1 - 5 * u2);
        weight += SQR(1 - u2);
    }
    return curvature > 0.5 * weight ? weight / curvature : weight > 0 ? 2.0 : 1.0;
}

// A fit converged on an even sample of the points, polished on all of them
// by steps of Tukey's loss: Levenberg-Marquardt's steps lengthened to the
// loss's curvature, each kept when it lowers the cost at the robust scale
// it was taken at, until the next would move the fit by less than
// PolishedShare of its standard errors. A lengthened step that does not
// lower the cost is tried again unlengthened. The pass at the start judges
// it, and each pass that tries a step judges the step at the robust scale
// there as it sums the cost: whichever the last step leaves is judged
// without another pass over the points.
std::optional<Judged> polish(const Sample &all, const Model &m, const Parameters &start)
{
    const int np = parameterCount(m.shape);
    std::vector<double> magnitudes = magnitudesForSigma(all, m, start);
    const double sigma = scaleOf(m, magnitudes);
    double lengthening = stepLengthening(magnitudes, sigma);
    Judged kept = judge(all, m, {start, sigma});
    for (int step = 0; step < MostPolishingSteps && !all.cancelled(); step++) {
        double x[MaxParameters];
        if (!dampedStep(kept.normal, np, 1e-3, x))
            break;
        for (int i = 0; i < np; i++)
            x[i] *= lengthening;
        if (squaredStandardErrors(kept.normal, np, x, kept.fit.sigma) <= SQR(PolishedShare))
            break;
        Judged trial{{kept.fit.t}, {}, {}};
        for (int i = 0; i < np; i++)
            trial.fit.t.v[size_t(i)] += x[i];
        trial.fit.sigma = robustSigma(all, m, trial.fit.t);
        // Its cost is that of the scale the step was taken at, which
        // decides: the scale moves with the fit.
        Request ask(Pass::NormalAndRejected, Loss::Tukey, trial.fit.sigma);
        ask.rejected = &trial.rejected;
        ask.costSigma = kept.fit.sigma;
        trial.normal = evaluate(all, m, trial.fit.t, ask);
        if (!(trial.normal.cost <= kept.normal.ownCost)) {
            if (lengthening == 1.0)
                break;
            lengthening = 1.0;
            continue;
        }
        kept = std::move(trial);
    }
    const Parameters asFound = kept.fit.t;
    if (!allFinite(kept.fit.t) || !makePositiveDefinite(m.shape, kept.fit.t))
        return std::nullopt;
    // A gain of the other sign moves no residual but turns the gradient.
    if (kept.fit.t.v != asFound.v)
        return judge(all, m, kept.fit);
    return kept;
}

} // namespace

// A calibration in the frame p = (h - o) / radius: the bias moves and
// scales; the gain relates norms, and both sides scale alike.
Parameters inFrame(const Sample &s, const Model &m, const CalibrationParameters &p)
{
    Parameters t;
    const double scale = s.L[0][0];
    for (int i = 0; i < 3; i++)
        t.v[size_t(i)] = (p.Bias[i][0] - s.o[i]) * scale;
    double G[3][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            G[i][j] = p.Ainv[i][j];
    gainsOf(m.shape, G, t.v.data() + 3);
    return t;
}

std::optional<Solution> convergedStart(const Sample &all, const Model &m, double Hm,
                                       const CalibrationParameters *start)
{
    Sample sample = all;
    sample.stride = subsampleStride(all.points.size());
    std::vector<std::optional<Parameters>> starts;
    if (start) {
        starts.push_back(inFrame(sample, m, *start));
    } else {
        if (m.shape != Shape::Plane)
            starts.push_back(algebraicStart(sample, m, Hm));
        starts.push_back(sphereStart(sample, m));
    }
    // The starts converge apart, each on its own thread when the budget
    // has one; the best is then taken in their order.
    std::vector<std::optional<Solution>> refined(starts.size());
    const auto refineStarts = [&](int worker, int workers) {
        for (size_t k = size_t(worker); k < starts.size(); k += size_t(workers))
            if (starts[k]) {
                Solution s{*starts[k]};
                s.sigma = refine(sample, m, s.t);
                refined[k] = s;
            }
    };
    if (sample.control)
        sample.control->inParallel(int(starts.size()), refineStarts);
    else
        refineStarts(0, 1);
    std::optional<Solution> best;
    for (std::optional<Solution> &s : refined)
        if (s && allFinite(s->t) && std::isfinite(s->sigma) && makePositiveDefinite(m.shape, s->t) &&
            (!best || s->sigma < best->sigma))
            best = s;
    return best;
}

std::optional<Judged> solve(const Sample &all, const Model &m, double Hm, const CalibrationParameters *start)
{
    const std::optional<Solution> best = convergedStart(all, m, Hm, start);
    if (!best)
        return std::nullopt;
    if (subsampleStride(all.points.size()) > 1)
        return polish(all, m, best->t);
    return judge(all, m, *best);
}

// L^-T L^-1, whose bias block sums products of the first three columns of
// L^-1.
void biasBlock(const Factor L, int np, double unit, double out[3][3])
{
    double inv[MaxParameters][3] = {};
    for (int j = 0; j < 3; j++)
        for (int i = 0; i < np; i++) {
            double sum = i == j ? 1.0 : 0.0;
            for (int k = 0; k < i; k++)
                sum -= L[i][k] * inv[k][j];
            inv[i][j] = sum / L[i][i];
        }
    for (int a = 0; a < 3; a++)
        for (int b = 0; b < 3; b++) {
            double sum = 0.0;
            for (int i = 0; i < np; i++)
                sum += inv[i][a] * inv[i][b];
            out[a][b] = unit * sum;
        }
}

} // namespace robust
} // namespace tavrin
