// All eigenvalues and, on request, eigenvectors of a real unsymmetric matrix:
// balancing, reduction to Hessenberg form by stabilised elementary
// similarity transformations, Francis double-shift QR iteration,
// back-substitution, and ordering by decreasing real part.
// The constructor does all the work; results are read from wri and zz.
#ifndef TAVRIN_EIGEN_UNSYM_H
#define TAVRIN_EIGEN_UNSYM_H

#include "nr3.h"

#include <cmath>
#include <limits>

struct Unsymmeig {
    Int n;
    MatDoub a, zz;
    VecComplex wri;
    VecDoub scale;
    VecInt perm;
    Bool yesvecs, hessen;

    Unsymmeig(const MatDoub_I &aa, Bool yesvec = true, Bool hessenb = false)
        : n(aa.nrows()), a(aa), zz(n, n, 0.0), wri(n), scale(n, 1.0), perm(n), yesvecs(yesvec),
          hessen(hessenb)
    {
        balance();
        if (!hessen)
            elmhes();
        if (yesvecs) {
            for (Int i = 0; i < n; i++)
                zz[i][i] = 1.0;
            if (!hessen)
                eltran();
            hqr2();
            balbak();
            sortvecs();
        } else {
            hqr();
            sort();
        }
    }

    void balance();
    void elmhes();
    void eltran();
    void hqr();
    void hqr2();
    void balbak();
    void sort() { insertion(false); }
    void sortvecs() { insertion(true); }

private:
    static constexpr Doub EPS = std::numeric_limits<Doub>::epsilon();
    Doub schur(Bool full);
    Int smallsubdiag(Int nn, Doub anorm);
    void deflateone(Int nn, Doub t, Bool full);
    void deflatetwo(Int nn, Doub t, Bool full);
    void exceptionalshift(Int nn, Doub &x, Doub &y, Doub &w, Doub &t);
    Int francisstart(Int l, Int nn, Doub x, Doub y, Doub w, Doub &p, Doub &q, Doub &r);
    void francisstep(Int l, Int m, Int nn, Doub p, Doub q, Doub r, Bool full);
    void backsub(Doub anorm);
    void realvector(Int nn, Doub anorm);
    void complexvector(Int nn, Doub anorm);
    void tobasis();
    void insertion(Bool withvecs);
};

inline void Unsymmeig::balance()
{
    const Doub RADIX = 2.0, sqrdx = RADIX * RADIX;
    Bool done = false;
    while (!done) {
        done = true;
        for (Int i = 0; i < n; i++) {
            Doub r = 0.0, c = 0.0;
            for (Int j = 0; j < n; j++)
                if (j != i) {
                    c += std::abs(a[j][i]);
                    r += std::abs(a[i][j]);
                }
            // An infinite column sum would keep the scaling loops below
            // dividing forever, so such an index is left alone like a zero one.
            if (c == 0.0 || r == 0.0 || !std::isfinite(c) || !std::isfinite(r))
                continue;
            Doub g = r / RADIX, f = 1.0, s = c + r;
            while (c < g) {
                f *= RADIX;
                c *= sqrdx;
            }
            g = r * RADIX;
            while (c > g) {
                f /= RADIX;
                c /= sqrdx;
            }
            if ((c + r) / f < 0.95 * s) {
                done = false;
                g = 1.0 / f;
                scale[i] *= f;
                for (Int j = 0; j < n; j++)
                    a[i][j] *= g;
                for (Int j = 0; j < n; j++)
                    a[j][i] *= f;
            }
        }
    }
}

inline void Unsymmeig::elmhes()
{
    for (Int m = 1; m < n - 1; m++) {
        Doub x = 0.0;
        Int i = m;
        for (Int j = m; j < n; j++) {
            if (std::abs(a[j][m - 1]) > std::abs(x)) {
                x = a[j][m - 1];
                i = j;
            }
        }
        perm[m] = i;
        if (i != m) {
            for (Int j = m - 1; j < n; j++)
                SWAP(a[i][j], a[m][j]);
            for (Int j = 0; j < n; j++)
                SWAP(a[j][i], a[j][m]);
        }
        if (x != 0.0) {
            for (i = m + 1; i < n; i++) {
                Doub y = a[i][m - 1];
                if (y != 0.0) {
                    y /= x;
                    a[i][m - 1] = y;
                    for (Int j = m; j < n; j++)
                        a[i][j] -= y * a[m][j];
                    for (Int j = 0; j < n; j++)
                        a[j][m] += y * a[j][i];
                }
            }
        }
    }
}

inline void Unsymmeig::eltran()
{
    for (Int mp = n - 2; mp > 0; mp--) {
        for (Int k = mp + 1; k < n; k++)
            zz[k][mp] = a[k][mp - 1];
        Int i = perm[mp];
        if (i != mp) {
            for (Int j = mp; j < n; j++) {
                zz[mp][j] = zz[i][j];
                zz[i][j] = 0.0;
            }
            zz[i][mp] = 1.0;
        }
    }
}

inline void Unsymmeig::hqr()
{
    schur(false);
}

inline void Unsymmeig::hqr2()
{
    Doub anorm = schur(true);
    if (anorm != 0.0)
        backsub(anorm);
}

// The QR iteration shared by hqr and hqr2, on the active block of rows and
// columns l to nn of the Hessenberg matrix. With full set, every
// transformation is applied to the whole matrix and accumulated into zz, as
// the eigenvectors need; without it only the active block is transformed.
// Returns the norm of the Hessenberg part.
inline Doub Unsymmeig::schur(Bool full)
{
    Doub anorm = 0.0;
    for (Int i = 0; i < n; i++)
        for (Int j = MAX(i - 1, 0); j < n; j++)
            anorm += std::abs(a[i][j]);
    Int nn = n - 1, l;
    Doub t = 0.0; // the exceptional shifts so far, taken out of the diagonal
    while (nn >= 0) {
        Int its = 0;
        do {
            l = smallsubdiag(nn, anorm);
            if (l == nn) {
                deflateone(nn, t, full);
                nn--;
            } else if (l == nn - 1) {
                deflatetwo(nn, t, full);
                nn -= 2;
            } else {
                if (its == 30)
                    raiseerror("Too many iterations in hqr");
                Doub x = a[nn][nn], y = a[nn - 1][nn - 1], w = a[nn][nn - 1] * a[nn - 1][nn];
                if (its == 10 || its == 20)
                    exceptionalshift(nn, x, y, w, t);
                ++its;
                Doub p = 0.0, q = 0.0, r = 0.0;
                const Int m = francisstart(l, nn, x, y, w, p, q, r);
                francisstep(l, m, nn, p, q, r, full);
            }
        } while (l + 1 < nn);
    }
    return anorm;
}

// The lowest row l of the active block ending at nn: the first subdiagonal
// element from the bottom that is negligible beside its diagonal neighbours
// is set to zero and splits the matrix there; 0 when none is.
inline Int Unsymmeig::smallsubdiag(Int nn, Doub anorm)
{
    Int l;
    for (l = nn; l > 0; l--) {
        Doub s = std::abs(a[l - 1][l - 1]) + std::abs(a[l][l]);
        if (s == 0.0)
            s = anorm;
        if (std::abs(a[l][l - 1]) <= EPS * s) {
            a[l][l - 1] = 0.0;
            break;
        }
    }
    return l;
}

// A 1 x 1 block has split off: its element is an eigenvalue.
inline void Unsymmeig::deflateone(Int nn, Doub t, Bool full)
{
    const Doub x = a[nn][nn];
    wri[nn] = x + t;
    if (full)
        a[nn][nn] = x + t;
}

// A 2 x 2 block has split off: a real pair, made upper triangular by a plane
// rotation when vectors are wanted, or a complex conjugate pair.
inline void Unsymmeig::deflatetwo(Int nn, Doub t, Bool full)
{
    Doub x = a[nn][nn];
    const Doub y = a[nn - 1][nn - 1], w = a[nn][nn - 1] * a[nn - 1][nn];
    Doub p = 0.5 * (y - x);
    Doub q = p * p + w;
    Doub z = std::sqrt(std::abs(q));
    x += t;
    if (full) {
        a[nn][nn] = x;
        a[nn - 1][nn - 1] = y + t;
    }
    if (q < 0.0) {
        wri[nn] = Complex(x + p, -z);
        wri[nn - 1] = std::conj(wri[nn]);
        return;
    }
    z = p + SIGN(z, p);
    wri[nn - 1] = wri[nn] = x + z;
    if (z != 0.0)
        wri[nn] = x - w / z;
    if (!full)
        return;
    x = a[nn][nn - 1];
    const Doub s = std::abs(x) + std::abs(z);
    p = x / s;
    q = z / s;
    const Doub r = std::sqrt(p * p + q * q);
    p /= r;
    q /= r;
    for (Int j = nn - 1; j < n; j++) {
        z = a[nn - 1][j];
        a[nn - 1][j] = q * z + p * a[nn][j];
        a[nn][j] = q * a[nn][j] - p * z;
    }
    for (Int i = 0; i <= nn; i++) {
        z = a[i][nn - 1];
        a[i][nn - 1] = q * z + p * a[i][nn];
        a[i][nn] = q * a[i][nn] - p * z;
    }
    for (Int i = 0; i < n; i++) {
        z = zz[i][nn - 1];
        zz[i][nn - 1] = q * z + p * zz[i][nn];
        zz[i][nn] = q * zz[i][nn] - p * z;
    }
}

// After 10 and 20 iterations without a split, an ad hoc shift breaks a cycle:
// the bottom element is taken out of the diagonal (and kept in t), and the
// shifts x, y and their product w are made from the last two subdiagonals.
inline void Unsymmeig::exceptionalshift(Int nn, Doub &x, Doub &y, Doub &w, Doub &t)
{
    t += x;
    for (Int i = 0; i <= nn; i++)
        a[i][i] -= x;
    const Doub s = std::abs(a[nn][nn - 1]) + std::abs(a[nn - 1][nn - 2]);
    y = x = 0.75 * s;
    w = -0.4375 * s * s;
}

// Where the double-shift sweep starts: the row m, from the bottom of the
// block, at which two consecutive small subdiagonals let the sweep begin
// without disturbing the rows above. Also gives the first column (p, q, r)
// of the shifted matrix's square there, scaled against overflow.
inline Int Unsymmeig::francisstart(Int l, Int nn, Doub x, Doub y, Doub w, Doub &p, Doub &q, Doub &r)
{
    Int m;
    for (m = nn - 2; m >= l; m--) {
        const Doub z = a[m][m];
        r = x - z;
        Doub s = y - z;
        p = (r * s - w) / a[m + 1][m] + a[m][m + 1];
        q = a[m + 1][m + 1] - z - r - s;
        r = a[m + 2][m + 1];
        s = std::abs(p) + std::abs(q) + std::abs(r);
        p /= s;
        q /= s;
        r /= s;
        if (m == l)
            break;
        const Doub u = std::abs(a[m][m - 1]) * (std::abs(q) + std::abs(r));
        const Doub v = std::abs(p) * (std::abs(a[m - 1][m - 1]) + std::abs(z) + std::abs(a[m + 1][m + 1]));
        if (u <= EPS * v)
            break;
    }
    return m;
}

// One Francis double-shift QR step on rows m to nn: Householder reflections
// of three rows chase the bulge down the subdiagonal, and keep the matrix
// Hessenberg.
inline void Unsymmeig::francisstep(Int l, Int m, Int nn, Doub p, Doub q, Doub r, Bool full)
{
    for (Int i = m; i < nn - 1; i++) {
        a[i + 2][i] = 0.0;
        if (i != m)
            a[i + 2][i - 1] = 0.0;
    }
    const Int jlast = full ? n - 1 : nn, ifirst = full ? 0 : l;
    Doub x = 0.0, y, z;
    for (Int k = m; k < nn; k++) {
        if (k != m) {
            p = a[k][k - 1];
            q = a[k + 1][k - 1];
            r = 0.0;
            if (k + 1 != nn)
                r = a[k + 2][k - 1];
            if ((x = std::abs(p) + std::abs(q) + std::abs(r)) != 0.0) {
                p /= x;
                q /= x;
                r /= x;
            }
        }
        const Doub s = SIGN(std::sqrt(p * p + q * q + r * r), p);
        if (s == 0.0)
            continue;
        if (k == m) {
            if (l != m)
                a[k][k - 1] = -a[k][k - 1];
        } else
            a[k][k - 1] = -s * x;
        p += s;
        x = p / s;
        y = q / s;
        z = r / s;
        q /= p;
        r /= p;
        for (Int j = k; j <= jlast; j++) {
            p = a[k][j] + q * a[k + 1][j];
            if (k + 1 != nn) {
                p += r * a[k + 2][j];
                a[k + 2][j] -= p * z;
            }
            a[k + 1][j] -= p * y;
            a[k][j] -= p * x;
        }
        const Int mmin = nn < k + 3 ? nn : k + 3;
        for (Int i = ifirst; i <= mmin; i++) {
            p = x * a[i][k] + y * a[i][k + 1];
            if (k + 1 != nn) {
                p += z * a[i][k + 2];
                a[i][k + 2] -= p * r;
            }
            a[i][k + 1] -= p * q;
            a[i][k] -= p;
        }
        if (full)
            for (Int i = 0; i < n; i++) {
                p = x * zz[i][k] + y * zz[i][k + 1];
                if (k + 1 != nn) {
                    p += z * zz[i][k + 2];
                    zz[i][k + 2] -= p * r;
                }
                zz[i][k + 1] -= p * q;
                zz[i][k] -= p;
            }
    }
}

// Eigenvectors of the quasi-triangular matrix by back-substitution, computed
// in a itself, then carried back to the basis of the balanced matrix in zz.
inline void Unsymmeig::backsub(Doub anorm)
{
    for (Int nn = n - 1; nn >= 0; nn--) {
        if (std::imag(wri[nn]) == 0.0)
            realvector(nn, anorm);
        else if (std::imag(wri[nn]) < 0.0)
            complexvector(nn, anorm);
    }
    tobasis();
}

// Column nn of a becomes the eigenvector of the real eigenvalue wri[nn]:
// rows solved from the bottom up, a 2 x 2 system where a complex pair sits on
// the diagonal, rescaled when it grows too large.
inline void Unsymmeig::realvector(Int nn, Doub anorm)
{
    Int m, i, j;
    Doub p = std::real(wri[nn]), q, r = 0.0, s = 0.0, t, w, x, y, z = 0.0;
    m = nn;
    a[nn][nn] = 1.0;
    for (i = nn - 1; i >= 0; i--) {
        w = a[i][i] - p;
        r = 0.0;
        for (j = m; j <= nn; j++)
            r += a[i][j] * a[j][nn];
        if (std::imag(wri[i]) < 0.0) {
            z = w;
            s = r;
        } else {
            m = i;
            if (std::imag(wri[i]) == 0.0) {
                t = w;
                if (t == 0.0)
                    t = EPS * anorm;
                a[i][nn] = -r / t;
            } else {
                x = a[i][i + 1];
                y = a[i + 1][i];
                q = SQR(std::real(wri[i]) - p) + SQR(std::imag(wri[i]));
                t = (x * s - z * r) / q;
                a[i][nn] = t;
                if (std::abs(x) > std::abs(z))
                    a[i + 1][nn] = (-r - w * t) / x;
                else
                    a[i + 1][nn] = (-s - y * t) / z;
            }
            t = std::abs(a[i][nn]);
            if (EPS * t * t > 1)
                for (j = i; j <= nn; j++)
                    a[j][nn] /= t;
        }
    }
}

// Columns nn - 1 and nn of a become the real and imaginary parts of the
// eigenvector of the complex eigenvalue wri[nn], solved likewise.
inline void Unsymmeig::complexvector(Int nn, Doub anorm)
{
    Int m, i, j;
    const Int na = nn - 1;
    Doub p = std::real(wri[nn]), q = std::imag(wri[nn]), r = 0.0, s = 0.0, t, w, x, y, z = 0.0, ra, sa, vr,
         vi;
    m = na;
    if (std::abs(a[nn][na]) > std::abs(a[na][nn])) {
        a[na][na] = q / a[nn][na];
        a[na][nn] = -(a[nn][nn] - p) / a[nn][na];
    } else {
        Complex temp = Complex(0.0, -a[na][nn]) / Complex(a[na][na] - p, q);
        a[na][na] = std::real(temp);
        a[na][nn] = std::imag(temp);
    }
    a[nn][na] = 0.0;
    a[nn][nn] = 1.0;
    for (i = nn - 2; i >= 0; i--) {
        w = a[i][i] - p;
        ra = sa = 0.0;
        for (j = m; j <= nn; j++) {
            ra += a[i][j] * a[j][na];
            sa += a[i][j] * a[j][nn];
        }
        if (std::imag(wri[i]) < 0.0) {
            z = w;
            r = ra;
            s = sa;
        } else {
            m = i;
            if (std::imag(wri[i]) == 0.0) {
                Complex temp = Complex(-ra, -sa) / Complex(w, q);
                a[i][na] = std::real(temp);
                a[i][nn] = std::imag(temp);
            } else {
                x = a[i][i + 1];
                y = a[i + 1][i];
                vr = SQR(std::real(wri[i]) - p) + SQR(std::imag(wri[i])) - q * q;
                vi = (std::real(wri[i]) - p) * (q + q);
                if (vr == 0.0 && vi == 0.0)
                    vr = EPS * anorm * (std::abs(w) + std::abs(q) + std::abs(x) + std::abs(y) + std::abs(z));
                Complex temp = Complex(x * r - z * ra + q * sa, x * s - z * sa - q * ra) / Complex(vr, vi);
                a[i][na] = std::real(temp);
                a[i][nn] = std::imag(temp);
                if (std::abs(x) > std::abs(z) + std::abs(q)) {
                    a[i + 1][na] = (-ra - w * a[i][na] + q * a[i][nn]) / x;
                    a[i + 1][nn] = (-sa - w * a[i][nn] - q * a[i][na]) / x;
                } else {
                    Complex temp2 = Complex(-r - y * a[i][na], -s - y * a[i][nn]) / Complex(z, q);
                    a[i + 1][na] = std::real(temp2);
                    a[i + 1][nn] = std::imag(temp2);
                }
            }
        }
        t = MAX(std::abs(a[i][na]), std::abs(a[i][nn]));
        if (EPS * t * t > 1)
            for (j = i; j <= nn; j++) {
                a[j][na] /= t;
                a[j][nn] /= t;
            }
    }
}

// The vectors, found for the quasi-triangular matrix, in the basis of the
// balanced matrix: zz times the upper triangle of a.
inline void Unsymmeig::tobasis()
{
    Int i, j, k;
    Doub z;
    for (j = n - 1; j >= 0; j--)
        for (i = 0; i < n; i++) {
            z = 0.0;
            for (k = 0; k <= j; k++)
                z += zz[i][k] * a[k][j];
            zz[i][j] = z;
        }
}

inline void Unsymmeig::balbak()
{
    for (Int i = 0; i < n; i++)
        for (Int j = 0; j < n; j++)
            zz[i][j] *= scale[i];
}

// Straight insertion by decreasing real part; an element never passes one of
// equal real part, so complex pairs stay adjacent and in order.
inline void Unsymmeig::insertion(Bool withvecs)
{
    VecDoub temp(withvecs ? n : 0);
    for (Int j = 1; j < n; j++) {
        Complex x = wri[j];
        if (withvecs)
            for (Int k = 0; k < n; k++)
                temp[k] = zz[k][j];
        Int i;
        for (i = j - 1; i >= 0; i--) {
            if (std::real(wri[i]) >= std::real(x))
                break;
            wri[i + 1] = wri[i];
            if (withvecs)
                for (Int k = 0; k < n; k++)
                    zz[k][i + 1] = zz[k][i];
        }
        wri[i + 1] = x;
        if (withvecs)
            for (Int k = 0; k < n; k++)
                zz[k][i + 1] = temp[k];
    }
}

#endif
