// Response oracles for the IIR and biquad suites, independent of the library's own routines.
#ifndef OX_IIR_TEST_UTIL_H
#define OX_IIR_TEST_UTIL_H

#include "ox_biquad.h"
#include "ox_iir.h"
#include "ox_test_util.h"

namespace oxtest
{

typedef std::complex<double> cd;
const float kNaN = std::numeric_limits<float>::quiet_NaN(),
            kInf = std::numeric_limits<float>::infinity();

// (Σ b_k z^-k) / (1 + Σ a_k z^-k) at z = e^{iw} (a[0] = a1), in double. Adds to `rel` the relative
// error that rounding the coefficients to floats may cause: 2^-24·(Σ|b| / |B| + Σ|a| / |A|).
inline cd ratio(const float* b, int nb, const float* a, int na, double w, double* rel = nullptr)
{
    const cd zi = std::polar(1.0, -w);
    cd num = 0.0, den = 1.0, p = 1.0;
    double sb = 0.0, sa = 1.0;
    for (int k = 0; k < nb || k < na + 1; ++k, p *= zi)
    {
        if (k < nb) num += (double)b[k] * p, sb += std::fabs((double)b[k]);
        if (k >= 1 && k <= na) den += (double)a[k - 1] * p, sa += std::fabs((double)a[k - 1]);
    }
    if (rel) *rel += std::ldexp(sb / std::abs(num) + sa / std::abs(den), -24);
    return num / den;
}

inline cd h_cf2(const ox_iir_cf2& s, double f, double fs, double* rel = nullptr)
{
    const float b[3] = {s.b0, s.b1, s.b2}, a[2] = {s.a1, s.a2};
    return ratio(b, 3, a, 2, 2 * M_PI * f / fs, rel);
}

// H(e^{iω}) of a biquad section.
inline cd biquad_response(const ox_biquad_coeffs& c, double w)
{
    return h_cf2({c.b0, c.b1, c.b2, c.a1, c.a2}, w, 2.0 * M_PI);
}

inline cd h_cfNf(const ox_iir_cfNf& r, double f, double fs, double* rel = nullptr)
{
    const float b1[2] = {r.first.b0, r.first.b1};
    cd h = (r.order & 1u) ? ratio(b1, 2, &r.first.a1, 1, 2 * M_PI * f / fs, rel) : 1.0;
    for (unsigned k = 0; k < r.order / 2 && k < 4; ++k) h *= h_cf2(r.sec[k], f, fs, rel);
    return h;
}

inline cd h_cfN(const ox_iir_cfN& r, double f, double fs, double* rel = nullptr)
{
    return ratio(r.b, (int)r.order + 1, r.a, (int)r.order, 2 * M_PI * f / fs, rel);
}

// D + C·(zI − A)⁻¹·B at z = e^{iω} of a record with fields A11 … A22, B1, B2, C1, C2, D.
template <class S> cd ss2_response(const S& s, double w)
{
    const cd z = std::polar(1.0, w), m11 = z - double(s.A11), m22 = z - double(s.A22);
    const cd x1 = m22 * double(s.B1) + double(s.A12) * double(s.B2), // adj(zI − A)·B
        x2 = double(s.A21) * double(s.B1) + m11 * double(s.B2);
    return double(s.D) +
           (double(s.C1) * x1 + double(s.C2) * x2) / (m11 * m22 - double(s.A12) * double(s.A21));
}

// Analytic magnitude of the bilinear designs at x = tan(π·f/fs) / t, t the prewarped corner: the
// shelf G·B(p/G^(1/N)) / B(p), B the Butterworth polynomial, |H|² = (G² + x^2N) / (1 + x^2N)
// (high shelf: x → 1/x, G above the corner). G = 0: the Butterworth high-pass (high: low-pass).
inline double shelf_mag(double G, int N, double x, bool high)
{
    const double p = std::pow(high ? 1.0 / x : x, 2.0 * N);
    return std::sqrt((G * G + p) / (1.0 + p));
}

// Test frequencies spread log-uniformly from 10 Hz to just below half the sample rate.
inline std::vector<double> freqs(double fs, double step = 1.19)
{
    std::vector<double> v;
    for (double f = 10.0; f < 0.499 * fs; f *= step) v.push_back(f);
    v.push_back(0.4985 * fs);
    return v;
}

// x through a factored record from a zero state.
inline std::vector<float> filter_nf(const ox_iir_cfNf& r, std::vector<float> x)
{
    std::vector<float> st(18, 0.0f);
    ox_iir_filterNf(st.data(), x.data(), x.data(), int(x.size()), r);
    return x;
}

// Both poles of 1 + a1 z^-1 + a2 z^-2 strictly inside the unit circle (stability triangle).
inline bool stable2(float a1, float a2)
{
    const double A1 = a1, A2 = a2;
    return A2 < 1.0 && 1.0 + A1 + A2 > 0.0 && 1.0 - A1 + A2 > 0.0;
}

// True when every section that the order word uses is finite and stable.
inline bool stable_nf(const ox_iir_cfNf& r)
{
    const ox_iir_cf1& f = r.first;
    bool ok = !(r.order & 1u) || (std::isfinite(f.b0 + f.b1) && std::fabs((double)f.a1) < 1.0);
    for (unsigned k = 0; k < r.order / 2 && k < 4; ++k)
        ok = ok && std::isfinite(r.sec[k].b0 + r.sec[k].b1 + r.sec[k].b2) &&
             stable2(r.sec[k].a1, r.sec[k].a2);
    return ok;
}

} // namespace oxtest

#endif
