// Containers, scalar helpers and the error report of the numerical library.
// Plain, header-only and free of Qt: matrices are row-major blocks reached
// through row pointers, indexing is unchecked.
#ifndef TAVRIN_NR3_H
#define TAVRIN_NR3_H

#include <complex>
#include <cstdio>
#include <cstdlib>

typedef int Int;
typedef double Doub;
typedef bool Bool;
typedef std::complex<double> Complex;

template <class T> inline const T &MAX(const T &a, const T &b)
{
    return b > a ? b : a;
}

template <class T> inline T SQR(const T a)
{
    return a * a;
}

// Magnitude of a with the sign of b; b = -0 and NaN b follow the comparison b >= 0.
template <class T> inline T SIGN(const T &a, const T &b)
{
    return b >= 0 ? (a >= 0 ? a : -a) : (a >= 0 ? -a : a);
}

template <class T> inline void SWAP(T &a, T &b)
{
    T dum = a;
    a = b;
    b = dum;
}

inline const char *nrbasename(const char *path)
{
    const char *base = path;
    for (const char *p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    return base;
}

// Where the error lines go: nowhere unless the calling thread points them to
// a stream. A library has no terminal of its own; the program that wants the
// lines shown says where.
inline thread_local std::FILE *nrerrfile = nullptr;

[[noreturn]] inline void nrraise(const char *msg, const char *file, Int line)
{
    if (nrerrfile) {
        std::fprintf(nrerrfile, "ERROR: %s\n     in file %s at line %d\n", msg, nrbasename(file), line);
        std::fflush(nrerrfile);
    }
    throw Int(1);
}

// The one fatal-error report of the library: prints the message with the
// raising header's name and line, then throws the Int 1.
#define raiseerror(msg) nrraise(msg, __FILE__, __LINE__)

// Sends this thread's error lines to sink (nullptr: nowhere) while it lives.
class NrErrorSink {
public:
    explicit NrErrorSink(std::FILE *sink) : previous(nrerrfile) { nrerrfile = sink; }
    ~NrErrorSink() { nrerrfile = previous; }
    NrErrorSink(const NrErrorSink &) = delete;
    NrErrorSink &operator=(const NrErrorSink &) = delete;

private:
    std::FILE *previous;
};

template <class T> class NRvector {
public:
    Int nn;
    T *v;

    explicit NRvector(Int n) : nn(n), v(n > 0 ? new T[n] : nullptr) {}
    NRvector(Int n, const T &a) : NRvector(n)
    {
        for (Int i = 0; i < n; i++)
            v[i] = a;
    }
    NRvector(const NRvector &rhs) : NRvector(rhs.nn)
    {
        for (Int i = 0; i < nn; i++)
            v[i] = rhs.v[i];
    }
    NRvector &operator=(const NRvector &rhs)
    {
        if (this != &rhs) {
            NRvector copy(rhs);
            SWAP(nn, copy.nn);
            SWAP(v, copy.v);
        }
        return *this;
    }
    ~NRvector() { delete[] v; }

    T &operator[](Int i) { return v[i]; }
    const T &operator[](Int i) const { return v[i]; }
    Int size() const { return nn; }
};

template <class T> class NRmatrix {
public:
    Int nn;
    Int mm;
    T **v;

    NRmatrix() : nn(0), mm(0), v(nullptr) {}
    NRmatrix(Int n, Int m) : nn(n), mm(m), v(nullptr) { allocate(); }
    NRmatrix(Int n, Int m, const T &a) : NRmatrix(n, m)
    {
        for (Int i = 0; i < nn; i++)
            for (Int j = 0; j < mm; j++)
                v[i][j] = a;
    }
    NRmatrix(const NRmatrix &rhs) : NRmatrix(rhs.nn, rhs.mm) { copyfrom(rhs); }
    NRmatrix(NRmatrix &&rhs) noexcept : nn(rhs.nn), mm(rhs.mm), v(rhs.v)
    {
        rhs.nn = rhs.mm = 0;
        rhs.v = nullptr;
    }
    NRmatrix &operator=(NRmatrix &&rhs) noexcept
    {
        SWAP(nn, rhs.nn);
        SWAP(mm, rhs.mm);
        SWAP(v, rhs.v);
        return *this;
    }
    NRmatrix &operator=(const NRmatrix &rhs)
    {
        if (this == &rhs)
            return *this;
        if (nn != rhs.nn || mm != rhs.mm) {
            release();
            nn = rhs.nn;
            mm = rhs.mm;
            allocate();
        }
        copyfrom(rhs);
        return *this;
    }
    ~NRmatrix() { release(); }

    T *operator[](Int i) { return v[i]; }
    const T *operator[](Int i) const { return v[i]; }
    Int nrows() const { return nn; }
    Int ncols() const { return mm; }

    NRmatrix operator*(const NRmatrix &mat) const
    {
        if (mm != mat.nn) {
            char msg[64];
            std::snprintf(msg, sizeof msg, "a_cols <> b_rows (%d,%d): dmmult", mm, mat.nn);
            raiseerror(msg);
        }
        NRmatrix res(nn, mat.mm);
        for (Int i = 0; i < nn; i++)
            for (Int j = 0; j < mat.mm; j++) {
                T sum = 0.0;
                for (Int k = 0; k < mm; k++)
                    sum += v[i][k] * mat.v[k][j];
                res.v[i][j] = sum;
            }
        return res;
    }

    NRmatrix operator-(const NRmatrix &mat) const
    {
        NRmatrix res(mat.nn, mat.mm);
        for (Int i = 0; i < mat.nn; i++)
            for (Int j = 0; j < mat.mm; j++)
                res.v[i][j] = v[i][j] - mat.v[i][j];
        return res;
    }

    NRmatrix t() const
    {
        NRmatrix res(mm, nn);
        for (Int i = 0; i < nn; i++)
            for (Int j = 0; j < mm; j++)
                res.v[j][i] = v[i][j];
        return res;
    }

    // Inclusive bounds: rows numLine1..numLine2, columns numColum1..numColum2.
    NRmatrix extractmat(Int numLine1, Int numLine2, Int numColum1, Int numColum2) const
    {
        Int nl = numLine2 - numLine1 + 1, nc = numColum2 - numColum1 + 1;
        NRmatrix res(nl, nc, 0.0);
        for (Int i = 0; i < nl; i++)
            for (Int j = 0; j < nc; j++)
                res.v[i][j] = v[numLine1 + i][numColum1 + j];
        return res;
    }

private:
    // Two allocations at most: the row pointers and one row-major block.
    // Without a block (n*m <= 0) every row pointer stays null.
    void allocate()
    {
        if (nn <= 0)
            return;
        v = new T *[nn];
        long long count = (long long)nn * mm;
        v[0] = count > 0 ? new T[count] : nullptr;
        for (Int i = 1; i < nn; i++)
            v[i] = v[0] ? v[i - 1] + mm : nullptr;
    }
    void release()
    {
        if (v) {
            delete[] v[0];
            delete[] v;
            v = nullptr;
        }
    }
    void copyfrom(const NRmatrix &rhs)
    {
        for (Int i = 0; i < nn; i++)
            for (Int j = 0; j < mm; j++)
                v[i][j] = rhs.v[i][j];
    }
};

typedef NRvector<Int> VecInt;
typedef NRvector<Doub> VecDoub;
typedef NRvector<Complex> VecComplex;
typedef NRmatrix<Doub> MatDoub;
typedef const NRmatrix<Doub> MatDoub_I;
typedef NRmatrix<Doub> MatDoub_IO;

#endif
