// Response oracles for the IIR suites: the transfer function of stored coefficients
// evaluated directly in double precision, independent of the library's response routines.
#ifndef OX_IIR_TEST_UTIL_H
#define OX_IIR_TEST_UTIL_H

#include "ox_iir.h"

#include <cmath>
#include <complex>
#include <vector>

namespace oxtest
{

typedef std::complex<double> cd;

// z^-1 on the unit circle at frequency f.
inline cd zinv(double f, double fs)
{
    return std::polar(1.0, -2.0 * M_PI * f / fs);
}

// (Σ b_k z^-k) / (1 + Σ a_k z^-k) with a[0] = a1.
inline cd ratio(const float* b, int nb, const float* a, int na, cd zi)
{
    cd num = 0.0, den = 1.0, p = 1.0;
    for (int k = 0; k < nb || k < na + 1; ++k)
    {
        if (k < nb) num += (double)b[k] * p;
        if (k >= 1 && k <= na) den += (double)a[k - 1] * p;
        p *= zi;
    }
    return num / den;
}

inline cd h_cf2(const ox_iir_cf2& s, double f, double fs)
{
    const float b[3] = {s.b0, s.b1, s.b2}, a[2] = {s.a1, s.a2};
    return ratio(b, 3, a, 2, zinv(f, fs));
}

inline cd h_cf1(const ox_iir_cf1& s, double f, double fs)
{
    const float b[2] = {s.b0, s.b1}, a[1] = {s.a1};
    return ratio(b, 2, a, 1, zinv(f, fs));
}

inline cd h_cfNf(const ox_iir_cfNf& r, double f, double fs)
{
    cd h = 1.0;
    if (r.order & 1u) h *= h_cf1(r.first, f, fs);
    for (unsigned k = 0; k < r.order / 2 && k < 4; ++k) h *= h_cf2(r.sec[k], f, fs);
    return h;
}

inline cd h_cfN(const ox_iir_cfN& r, double f, double fs)
{
    return ratio(r.b, (int)r.order + 1, r.a, (int)r.order, zinv(f, fs));
}

// Impulse response of a factored record through ox_iir_filterNf.
inline std::vector<float> impulse_nf(const ox_iir_cfNf& r, int n)
{
    std::vector<float> x(n, 0.0f), st(18, 0.0f);
    x[0] = 1.0f;
    ox_iir_filterNf(st.data(), x.data(), x.data(), n, r);
    return x;
}

// True when both poles of 1 + a1 z^-1 + a2 z^-2 lie strictly inside the unit circle
// (the stability triangle, evaluated on the stored floats).
inline bool stable2(float a1, float a2)
{
    const double A1 = a1, A2 = a2;
    return A2 < 1.0 && 1.0 + A1 + A2 > 0.0 && 1.0 - A1 + A2 > 0.0;
}

inline bool stable_nf(const ox_iir_cfNf& r)
{
    if ((r.order & 1u) && !(std::fabs((double)r.first.a1) < 1.0)) return false;
    for (unsigned k = 0; k < r.order / 2 && k < 4; ++k)
        if (!stable2(r.sec[k].a1, r.sec[k].a2)) return false;
    return true;
}

} // namespace oxtest

#endif
