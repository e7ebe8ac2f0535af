// Small builders shared by the numerical tests.
#ifndef TAVRIN_TESTS_MATRICES_H
#define TAVRIN_TESTS_MATRICES_H

#include "nr3.h"

#include <initializer_list>
#include <vector>

inline MatDoub matrixOf(std::initializer_list<std::initializer_list<Doub>> rows)
{
    MatDoub m(Int(rows.size()), Int(rows.begin()->size()));
    Int i = 0;
    for (const auto &row : rows) {
        Int j = 0;
        for (Doub x : row)
            m[i][j++] = x;
        ++i;
    }
    return m;
}

#endif
