#include "pointstore.h"

#include "ellipsoidfit.h"

#include <cmath>

namespace tavrin {

RawData PointSnapshot::rawData() const
{
    RawData raw;
    raw.Mag = MatDoub(size(), 3);
    raw.numLines = size();
    for (int k = 0; k < size(); k++)
        for (int i = 0; i < 3; i++)
            raw.Mag[k][i] = (*this)[k][i];
    return raw;
}

PointStore::PointStore(int cellCount) : cells(cellCount)
{
    statistics.cellCounts.assign(size_t(cells.size()), 0);
    published = std::make_shared<const std::vector<std::shared_ptr<PointSnapshot::Chunk>>>();
}

void PointStore::append(double x, double y, double z)
{
    const double point[3] = {x, y, z};
    const std::lock_guard<std::mutex> lock(mutex);
    add(point);
}

void PointStore::append(Points points)
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (int k = 0; k < points.size(); k++)
        add(points[k]);
}

// Under the lock. A chunk is filled in place: readers of a snapshot only
// look at the points it counts, which are written before it is taken.
void PointStore::add(const double point[3])
{
    const int k = statistics.count;
    if (k % PointSnapshot::ChunkSize == 0) {
        chunks.push_back(std::make_shared<PointSnapshot::Chunk>());
        published = std::make_shared<const std::vector<std::shared_ptr<PointSnapshot::Chunk>>>(chunks);
    }
    std::copy(point, point + 3, chunks.back()->data() + 3 * (k % PointSnapshot::ChunkSize));
    statistics.count++;
    for (int i = 0; i < 3; i++)
        statistics.sum[size_t(i)] += point[i];
    Doub terms[10];
    quadricTerms(point[0], point[1], point[2], terms);
    for (int i = 0; i < 10; i++)
        for (int j = 0; j < 10; j++)
            statistics.scatter[size_t(10 * i + j)] += terms[i] * terms[j];
    count(point);
}

void PointStore::count(const double point[3])
{
    double c[3];
    for (int i = 0; i < 3; i++)
        c[i] = point[i] - statistics.coverageCentre[size_t(i)];
    const double r = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    // A point at the centre has no direction.
    if (r == 0)
        return;
    int &hits = statistics.cellCounts[size_t(cells.cellOf(c[0] / r, c[1] / r, c[2] / r))];
    statistics.cellsHit += hits == 0;
    hits++;
}

PointSnapshot PointStore::snapshot() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    PointSnapshot s;
    s.chunks = published;
    s.statistics = statistics;
    return s;
}

void PointStore::setCoverageCentre(const std::array<double, 3> &centre)
{
    const std::lock_guard<std::mutex> lock(mutex);
    statistics.coverageCentre = centre;
    statistics.cellCounts.assign(statistics.cellCounts.size(), 0);
    statistics.cellsHit = 0;
    for (int k = 0; k < statistics.count; k++)
        count(chunks[size_t(k / PointSnapshot::ChunkSize)]->data() + 3 * (k % PointSnapshot::ChunkSize));
}

} // namespace tavrin
