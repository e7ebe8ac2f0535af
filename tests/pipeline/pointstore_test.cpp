#include "pipeline.h"
#include "pointstore.h"
#include "synthetic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace tavrin;

namespace {

// The k-th point the writer appends, known to every reader.
std::array<double, 3> pointNumber(int k)
{
    return {48.0 * std::cos(0.001 * k) + 5, 48.0 * std::sin(0.001 * k) - 3, 0.5 * std::sin(0.37 * k) + 7};
}

} // namespace

TEST(PointStore, SnapshotsStayWholeWhileAWriterAppends)
{
    constexpr int batch = 7, batches = 30000;
    PointStore store;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        MatDoub rows(batch, 3);
        for (int b = 0; b < batches; b++) {
            for (int r = 0; r < batch; r++) {
                const std::array<double, 3> p = pointNumber(b * batch + r);
                std::copy(p.begin(), p.end(), rows[r]);
            }
            store.append(rows);
        }
        done = true;
    });
    int snapshots = 0, last = 0;
    while (!done || snapshots == 0) {
        const PointSnapshot s = store.snapshot();
        snapshots++;
        // A batch is in a snapshot as a whole or not at all, and the store never shrinks.
        ASSERT_EQ(s.size() % batch, 0);
        ASSERT_GE(s.size(), last);
        last = s.size();
        // Every point is the one appended, and the sums are those of exactly these points.
        std::array<double, 3> sum{};
        for (int k = 0; k < s.size(); k++) {
            const std::array<double, 3> p = pointNumber(k);
            for (int i = 0; i < 3; i++) {
                ASSERT_EQ(s[k][i], p[size_t(i)]) << k;
                sum[size_t(i)] += s[k][i];
            }
        }
        EXPECT_EQ(s.statistics.count, s.size());
        EXPECT_EQ(s.statistics.sum, sum);
    }
    writer.join();
    EXPECT_EQ(store.snapshot().size(), batch * batches);
    EXPECT_GT(snapshots, 1);
}

TEST(PointStore, ItsSumsRefitWithoutReadingThePointsAgain)
{
    PointStore store;
    const MatDoub points = ellipsoidPoints(sphereTruth(1.0, 500, -600, 700), 48.0, 5000, 0.1, 5);
    store.append(Points(points, 2500));
    for (int k = 2500; k < points.nrows(); k++)
        store.append(points[k][0], points[k][1], points[k][2]);
    const PointSnapshot s = store.snapshot();
    ASSERT_EQ(s.size(), 5000);
    const MatDoub scatter = scatterMatrix(points);
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++)
            EXPECT_NEAR(s.statistics.scatter[size_t(10 * i + j)], scatter[i][j],
                        1e-9 * std::abs(scatter[i][j]) + 1e-9);

    // Directions about the origin all point near the bias; about the bias they cover the sphere.
    const int aboutOrigin = s.statistics.cellsHit;
    store.setCoverageCentre({500, -600, 700});
    const PointSnapshot centred = store.snapshot();
    EXPECT_LT(aboutOrigin, 40);
    EXPECT_EQ(centred.statistics.cellsHit, 100);
    int counted = 0;
    for (const int c : centred.statistics.cellCounts)
        counted += c;
    EXPECT_EQ(counted, 5000);

    const CalibrationResult live = runCalibration(Input::points(s, "live"), {48.0});
    RawData raw;
    raw.Mag = points;
    raw.numLines = points.nrows();
    const CalibrationResult read = runCalibration(Input::points(raw, "read"), {48.0});
    ASSERT_TRUE(live.calibrated());
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(live.run.parameters.Bias[i][0], read.run.parameters.Bias[i][0]);
}
