// Gauss-Jordan elimination with full pivoting: inverts a in place and
// replaces the columns of b by the solutions of a x = b.
#ifndef TAVRIN_GAUSSJ_H
#define TAVRIN_GAUSSJ_H

#include "nr3.h"

#include <cmath>

inline void gaussj(MatDoub_IO &a, MatDoub_IO &b)
{
    Int i, icol = 0, irow = 0, j, k, l, ll, n = a.nrows(), m = b.ncols();
    Doub big, dum, pivinv;
    VecInt indxc(n), indxr(n), ipiv(n);
    for (j = 0; j < n; j++)
        ipiv[j] = 0;
    for (i = 0; i < n; i++) {
        big = 0.0;
        Bool found = false;
        // ">=" makes the last candidate of equal magnitude the pivot; a NaN
        // candidate is never taken, so an all-NaN pass finds no pivot at all.
        for (j = 0; j < n; j++)
            if (ipiv[j] != 1)
                for (k = 0; k < n; k++)
                    if (ipiv[k] == 0 && std::abs(a[j][k]) >= big) {
                        big = std::abs(a[j][k]);
                        irow = j;
                        icol = k;
                        found = true;
                    }
        if (!found || a[irow][icol] == 0.0)
            raiseerror("gaussj: Singular Matrix");
        ++(ipiv[icol]);
        if (irow != icol) {
            for (l = 0; l < n; l++)
                SWAP(a[irow][l], a[icol][l]);
            for (l = 0; l < m; l++)
                SWAP(b[irow][l], b[icol][l]);
        }
        indxr[i] = irow;
        indxc[i] = icol;
        pivinv = 1.0 / a[icol][icol];
        a[icol][icol] = 1.0;
        for (l = 0; l < n; l++)
            a[icol][l] *= pivinv;
        for (l = 0; l < m; l++)
            b[icol][l] *= pivinv;
        for (ll = 0; ll < n; ll++)
            if (ll != icol) {
                dum = a[ll][icol];
                a[ll][icol] = 0.0;
                for (l = 0; l < n; l++)
                    a[ll][l] -= a[icol][l] * dum;
                for (l = 0; l < m; l++)
                    b[ll][l] -= b[icol][l] * dum;
            }
    }
    // Row interchanges leave b in order; the inverse needs its columns put back.
    for (l = n - 1; l >= 0; l--) {
        if (indxr[l] != indxc[l])
            for (k = 0; k < n; k++)
                SWAP(a[k][indxr[l]], a[k][indxc[l]]);
    }
}

inline void gaussj(MatDoub_IO &a)
{
    MatDoub b(a.nrows(), 0);
    gaussj(a, b);
}

#endif
