// Points that a live source appends while others read them: the store owns
// them in chunks that never move, so a snapshot taken at any time stays
// valid and consistent while the store grows; and it keeps the sums a live
// view needs to refit and judge coverage without reading every point again.
#ifndef TAVRIN_POINTSTORE_H
#define TAVRIN_POINTSTORE_H

#include "rawdata.h"
#include "spherecells.h"

#include <array>
#include <memory>
#include <mutex>
#include <vector>

namespace tavrin {

/// What the store knows of its points without reading them again.
struct PointStatistics {
    int count = 0;
    std::array<double, 3> sum{};            ///< of x, y and z
    std::array<double, 100> scatter{};      ///< D D^T of the quadric's terms, row by row: scatterMatrix's
    std::array<double, 3> coverageCentre{}; ///< the centre about which cells count directions
    std::vector<int> cellCounts; ///< points per cell of EqualAreaCells(cells), about coverageCentre
    int cellsHit = 0;
};

/// The points of a store as they were when it was taken: they never change.
class PointSnapshot {
public:
    int size() const { return statistics.count; }
    const double *operator[](int k) const
    {
        return (*chunks)[size_t(k / ChunkSize)]->data() + 3 * (k % ChunkSize);
    }

    /// A copy in one table, for the fits and the pipeline (Input::points).
    RawData rawData() const;

    PointStatistics statistics;

    static constexpr int ChunkSize = 4096;
    using Chunk = std::array<double, 3 * ChunkSize>;

private:
    friend class PointStore;
    std::shared_ptr<const std::vector<std::shared_ptr<Chunk>>> chunks;
};

/// Any number of threads may append and take snapshots at the same time.
class PointStore {
public:
    /// cells: equal-area cells for the coverage, > 0.
    explicit PointStore(int cells = 100);

    /// Appends the point (x, y, z) in the unit of the measurements.
    void append(double x, double y, double z);

    /// Appends the rows of points, as one step: a snapshot holds all or none.
    void append(Points points);

    /// The points so far, their sums and their coverage.
    PointSnapshot snapshot() const;

    /// Counts the directions about centre from now on, recounting the
    /// points held (once, in one pass).
    void setCoverageCentre(const std::array<double, 3> &centre);

private:
    void add(const double point[3]);
    void count(const double point[3]);

    mutable std::mutex mutex;
    const EqualAreaCells cells;
    std::vector<std::shared_ptr<PointSnapshot::Chunk>> chunks;
    std::shared_ptr<const std::vector<std::shared_ptr<PointSnapshot::Chunk>>> published;
    PointStatistics statistics;
};

} // namespace tavrin

#endif
