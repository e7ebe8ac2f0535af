// The view of the measured points that every job passes around.
#ifndef TAVRIN_POINTS_H
#define TAVRIN_POINTS_H

#include "nr3.h"

namespace tavrin {

/// The points read: rows 0 to size() - 1 of a table of x, y, z, which
/// stays where it is. A whole table converts to the view of all its rows.
class Points {
public:
    Points(const MatDoub &table) : table(&table), count(table.nrows()) {}
    Points(const MatDoub &table, Int count) : table(&table), count(count) {}

    Int size() const { return count; }
    const Doub *operator[](Int k) const { return (*table)[k]; }

private:
    const MatDoub *table;
    Int count;
};

} // namespace tavrin

#endif
