#include "ox_iir.h"
#include "ox_df1_internal.h"
#include "ox_iir_internal.h"
#include "ox_util.h"

#include <cmath>
#include <algorithm>
#include <complex>
#include <cstring>
#include <type_traits>

static_assert(std::is_standard_layout<ox_iir_cfNf>::value && sizeof(ox_iir_cfNf) == 24 * 4,
              "cascade record is 24 words");
static_assert(std::is_standard_layout<ox_iir_cfN>::value && sizeof(ox_iir_cfN) == 21 * 4,
              "polynomial record is 21 words");
static_assert(sizeof(ox_iir_cf3) == 7 * 4, "third-order set is 7 floats");

namespace
{

using oxiir::kPi;

// Design limits (see the header). The lower frequency limit keeps 1 + a1 + a2 of a Butterworth
// section (≈ 4·tan²(π·f/fs)) and 2·(1 − cos 2πf/fs) of an all-pass well above the rounding
// error of the stored floats, so no pole can land on or beyond z = 1.
constexpr double kRelMin = 5e-5;
constexpr double kRelMax = 0.49;
constexpr double kGainMax = 96.0;
constexpr double kQMin = 0.01;
constexpr double kQMax = 100.0;

double safe_fs(float fs)
{
    return (fs > 0.0f) ? ox_clampd(fs, 1.0, 1e7, 48000.0) : 48000.0;
}

// Normalised frequency f/fs, limited to the design range.
double clamp_rel(double r)
{
    return ox_clampd(r, kRelMin, kRelMax, kRelMin);
}

double rel_freq(float f, double fs)
{
    return clamp_rel((std::isfinite(f) ? (double)f : 1000.0) / fs);
}

// Prewarped tangent of a normalised frequency already in range.
double warp(double rel)
{
    return std::tan(kPi * rel);
}

// Warped ends of the design range (computed on use: no static initialisation order to rely on).
double t_min()
{
    return warp(kRelMin);
}

double t_max()
{
    return warp(kRelMax);
}

// Stability margin of a cut shelf's poles, which sit at a moved corner: a second-order
// section keeps them within the design range (no nearer to z = ±1 than a Butterworth section
// at its ends); a first-order pole, whose distance from z = ±1 the stored float resolves far
// more finely, only within kRelMin1 of 0 Hz and of half the sample rate. Within these limits
// the cut is designed as is; beyond them (deep cuts at extreme corners) its poles would round
// onto the unit circle, or the moved corner would wrap past half the sample rate.
constexpr double kRelMin1 = 1e-6;

double clamp_pole_rel(double r, bool second_order)
{
    return second_order ? clamp_rel(r) : ox_clampd(r, kRelMin1, 0.5 - kRelMin1, kRelMin1);
}

// The prewarped corner t of a single-section cut whose poles sit at t·m, within that limit.
double cut_corner_t(double t, double m, bool second_order)
{
    const double lo = warp(clamp_pole_rel(0.0, second_order));
    const double hi = warp(clamp_pole_rel(0.5, second_order));
    const double tp = t * m;
    return tp < lo ? lo / m : (tp > hi ? hi / m : t);
}

// Largest damping q' of a resonance with denominator s² + q'·s + 1 at warped centre t that
// keeps its poles no nearer to z = 1 or z = −1 than those of a Butterworth section at the
// ends of the design range.
double max_damping(double t)
{
    const double tlo = t_min(), thi = t_max();
    const double lo = (1.0 + std::sqrt(2.0) * tlo + tlo * tlo) / (tlo * tlo);
    const double hi = 1.0 + std::sqrt(2.0) * thi + thi * thi;
    const double d = std::min(t * t * lo, hi);
    return (d - 1.0 - t * t) / t;
}

double safe_gain(float g)
{
    return ox_clampd(g, -kGainMax, kGainMax, 0.0);
}

double safe_q(float q)
{
    return ox_clampd(q, kQMin, kQMax, 0.7071067811865476);
}

// One design in double precision: an optional first-order section and up to four
// second-order sections, in cascade order.
struct Design
{
    unsigned order = 0;
    bool has_first = false;
    double f[3] = {1, 0, 0}; // b0, b1, a1
    int nsec = 0;
    double s[4][5] = {}; // b0, b1, b2, a1, a2
};

// Prototype pole pair k of an order-N Butterworth: σ = sin θk, γ = cos θk.
void pole_pair(unsigned N, unsigned k, double& sigma, double& gamma)
{
    const double th = (2.0 * k + 1.0) * kPi / (2.0 * N);
    sigma = std::sin(th);
    gamma = std::cos(th);
}

void butter(Design& d, unsigned N, double K, bool hp)
{
    d = Design();
    d.order = N;
    if (N & 1u)
    {
        d.has_first = true;
        const double n = 1.0 / (1.0 + K);
        d.f[0] = hp ? K * n : n;
        d.f[1] = hp ? -K * n : n;
        d.f[2] = (1.0 - K) * n;
    }
    for (unsigned k = 0; k < N / 2; ++k)
    {
        double sg, gm;
        pole_pair(N, k, sg, gm);
        const double g = 1.0 / (1.0 + 2.0 * sg * K + K * K);
        double* s = d.s[d.nsec++];
        const double num = hp ? K * K * g : g;
        s[0] = num;
        s[1] = hp ? -2.0 * num : 2.0 * num;
        s[2] = num;
        s[3] = 2.0 * (1.0 - K * K) * g;
        s[4] = (1.0 - 2.0 * sg * K + K * K) * g;
    }
}

// Shelf of order N; K is the prewarped 1/t, g1 the gain per order.
void shelf(Design& d, unsigned N, double K, double g1, bool high)
{
    d = Design();
    d.order = N;
    if (N & 1u)
    {
        d.has_first = true;
        const double n = 1.0 / (1.0 + K);
        d.f[0] = high ? (g1 * K + 1.0) * n : (g1 + K) * n;
        d.f[1] = high ? (1.0 - g1 * K) * n : (g1 - K) * n;
        d.f[2] = (1.0 - K) * n;
    }
    for (unsigned k = 0; k < N / 2; ++k)
    {
        double sg, gm;
        pole_pair(N, k, sg, gm);
        const double g = 1.0 / (1.0 + 2.0 * sg * K + K * K);
        double* s = d.s[d.nsec++];
        if (high)
        {
            const double gk = g1 * K;
            s[0] = (1.0 + 2.0 * sg * gk + gk * gk) * g;
            s[1] = 2.0 * (1.0 - gk * gk) * g;
            s[2] = (1.0 - 2.0 * sg * gk + gk * gk) * g;
        }
        else
        {
            s[0] = (K * K + 2.0 * sg * g1 * K + g1 * g1) * g;
            s[1] = 2.0 * (g1 * g1 - K * K) * g;
            s[2] = (K * K - 2.0 * sg * g1 * K + g1 * g1) * g;
        }
        s[3] = 2.0 * (1.0 - K * K) * g;
        s[4] = (1.0 - 2.0 * sg * K + K * K) * g;
    }
}

// Linkwitz-Riley of even order N: the Butterworth of order N/2, squared. For an odd half
// order the first-order section becomes one second-order section; the high-pass is then
// negated so that low-pass plus high-pass stays an all-pass.
void linkriley(Design& d, unsigned N, double K, bool hp)
{
    Design b;
    butter(b, N / 2, K, hp);
    d = Design();
    d.order = N;
    if (b.has_first)
    {
        double* s = d.s[d.nsec++];
        const double sgn = hp ? -1.0 : 1.0;
        s[0] = sgn * b.f[0] * b.f[0];
        s[1] = sgn * 2.0 * b.f[0] * b.f[1];
        s[2] = sgn * b.f[1] * b.f[1];
        s[3] = 2.0 * b.f[2];
        s[4] = b.f[2] * b.f[2];
    }
    for (int k = 0; k < b.nsec; ++k)
        for (int rep = 0; rep < 2; ++rep) std::memcpy(d.s[d.nsec++], b.s[k], sizeof(b.s[k]));
}

// Band-pass or band-stop from an order-N Butterworth prototype, warped edges w1 < w2.
void band(Design& d, unsigned N, double w1, double w2, bool stop)
{
    typedef std::complex<double> cd;
    d = Design();
    d.order = 2 * N;
    const double B = w2 - w1, P = w1 * w2;
    if (N & 1u)
    {
        const double g = 1.0 / (P + B + 1.0);
        double* s = d.s[d.nsec++];
        if (stop)
        {
            s[0] = (P + 1.0) * g;
            s[1] = 2.0 * (P - 1.0) * g;
            s[2] = (P + 1.0) * g;
        }
        else
        {
            s[0] = B * g;
            s[1] = 0.0;
            s[2] = -B * g;
        }
        s[3] = 2.0 * (P - 1.0) * g;
        s[4] = (P - B + 1.0) * g;
    }
    for (unsigned k = 0; k < N / 2; ++k)
    {
        double sg, gm;
        pole_pair(N, k, sg, gm);
        cd U, V, W;
        if (stop)
        {
            U = cd(B + (1.0 + P) * sg, (1.0 + P) * gm);
            V = 2.0 * (P - 1.0) * cd(sg, gm);
            W = cd((1.0 + P) * sg - B, (1.0 + P) * gm);
        }
        else
        {
            U = cd(1.0 + P + B * sg, -B * gm);
            V = cd(2.0 * (P - 1.0), 0.0);
            W = cd(1.0 + P - B * sg, B * gm);
        }
        const cd sq = std::sqrt(V * V - 4.0 * U * W);
        const cd z[2] = {(-V - sq) / (2.0 * U), (-V + sq) / (2.0 * U)};
        const double au = std::abs(U);
        for (int r = 0; r < 2; ++r)
        {
            double* s = d.s[d.nsec++];
            if (stop)
            {
                s[0] = (1.0 + P) / au;
                s[1] = 2.0 * (P - 1.0) / au;
                s[2] = (1.0 + P) / au;
            }
            else
            {
                s[0] = B / au;
                s[1] = 0.0;
                s[2] = -B / au;
            }
            s[3] = -2.0 * z[r].real();
            s[4] = std::norm(z[r]);
        }
    }
}

// Prewarped corner tan(π·f/fs) within the design range.
double corner_t(float fc, float fs)
{
    return warp(rel_freq(fc, safe_fs(fs)));
}

double corner_k(float fc, float fs)
{
    return 1.0 / corner_t(fc, fs);
}

void store(ox_iir_cfNf* rec, const Design& d)
{
    rec->order = d.order;
    if (d.has_first) oxiir::round_cf1(&rec->first, d.f);
    for (int k = 0; k < d.nsec; ++k) oxiir::round_cf2(&rec->sec[k], d.s[k]);
}

// Multiplies the sections out into a polynomial record (first-order factor first).
void store(ox_iir_cfN* rec, const Design& d)
{
    double num[10] = {1.0}, den[10] = {1.0};
    int deg = 0;
    if (d.has_first)
    {
        const double nb[2] = {d.f[0], d.f[1]}, na[2] = {1.0, d.f[2]};
        oxiir::poly_mul(den, deg, na, 1);
        deg = oxiir::poly_mul(num, deg, nb, 1);
    }
    for (int k = 0; k < d.nsec; ++k)
    {
        const double* s = d.s[k];
        const double nb[3] = {s[0], s[1], s[2]}, na[3] = {1.0, s[3], s[4]};
        oxiir::poly_mul(den, deg, na, 2);
        deg = oxiir::poly_mul(num, deg, nb, 2);
    }
    rec->order = (uint32_t)deg;
    for (int k = 0; k <= deg; ++k) rec->b[k] = (float)num[k];
    for (int k = 1; k <= deg; ++k) rec->a[k - 1] = (float)den[k];
}

unsigned clamp_order(unsigned N, unsigned max)
{
    return N > max ? max : N;
}

unsigned lr_order(unsigned N)
{
    return clamp_order(N + (N & 1u), 8);
}

double shelf_g1(float gain, unsigned N)
{
    return N ? std::pow(10.0, safe_gain(gain) / 20.0 / N) : 1.0;
}

// Shelf corner: a cut moves the corner before prewarping, up by 1/g1 for the low shelf and
// down by g1 for the high shelf, where its poles sit.
double shelf_k(float fc, float gain, float fs, double g1, bool high, unsigned N)
{
    const double rel = rel_freq(fc, safe_fs(fs));
    if (!(safe_gain(gain) < 0.0)) return 1.0 / warp(rel);
    return 1.0 / warp(clamp_pole_rel(high ? rel * g1 : rel / g1, N >= 2));
}

template <typename Rec> void design_butter(Rec* rec, unsigned N, float fc, float fs, bool hp)
{
    if (!rec) return;
    Design d;
    butter(d, clamp_order(N, 9), corner_k(fc, fs), hp);
    store(rec, d);
}

template <typename Rec>
void design_shelf(Rec* rec, unsigned N, float fc, float gain, float fs, bool high)
{
    if (!rec) return;
    N = clamp_order(N, 9);
    const double g1 = shelf_g1(gain, N);
    Design d;
    shelf(d, N, shelf_k(fc, gain, fs, g1, high, N), g1, high);
    store(rec, d);
}

template <typename Rec> void design_lr(Rec* rec, unsigned N, float fc, float fs, bool hp)
{
    if (!rec) return;
    Design d;
    linkriley(d, lr_order(N), corner_k(fc, fs), hp);
    store(rec, d);
}

void design_band(ox_iir_cfNf* rec, unsigned N, float f1, float f2, float fs, bool stop)
{
    if (!rec) return;
    const double sr = safe_fs(fs);
    double r1 = rel_freq(f1, sr), r2 = rel_freq(f2, sr);
    if (r1 > r2) std::swap(r1, r2);
    // Coinciding edges would put the poles on the unit circle: keep a minimum bandwidth.
    if (r2 - r1 < kRelMin)
    {
        if (r2 + kRelMin <= kRelMax)
            r2 = r1 + kRelMin;
        else
            r1 = r2 - kRelMin;
    }
    Design d;
    band(d, clamp_order(N, 4), warp(r1), warp(r2), stop);
    store(rec, d);
}

} // namespace

namespace oxiir
{

void round_cf1(ox_iir_cf1* out, const double c[3])
{
    out->b0 = (float)c[0];
    out->b1 = (float)c[1];
    out->a1 = (float)c[2];
}

// a2 absorbs the rounding error of a1, so 1 + a1 + a2 (which fixes the distance of a low
// real pole from z = 1 and the DC gain of low-frequency sections) survives the rounding to
// float almost exactly.
void round_cf2(ox_iir_cf2* out, const double c[5])
{
    out->b0 = (float)c[0];
    out->b1 = (float)c[1];
    out->b2 = (float)c[2];
    out->a1 = (float)c[3];
    out->a2 = (float)(c[4] + (c[3] - (double)out->a1));
}

void put_state(float* dst, const float* src, int n)
{
    bool ok = true;
    for (int i = 0; i < n; ++i) ok = ok && std::isfinite(src[i]);
    for (int i = 0; i < n; ++i) dst[i] = ok ? src[i] : 0.0f;
}

int poly_mul(double* p, int deg, const double* q, int qdeg)
{
    double r[20] = {};
    for (int i = 0; i <= deg; ++i)
        for (int j = 0; j <= qdeg; ++j) r[i + j] += p[i] * q[j];
    for (int i = 0; i <= deg + qdeg; ++i) p[i] = r[i];
    return deg + qdeg;
}

} // namespace oxiir

// The exported functions below take their C linkage from the declarations in ox_iir.h.

void ox_iir_lpbutterf(ox_iir_cfNf* rec, unsigned N, float fc, float fs)
{
    design_butter(rec, N, fc, fs, false);
}

void ox_iir_hpbutterf(ox_iir_cfNf* rec, unsigned N, float fc, float fs)
{
    design_butter(rec, N, fc, fs, true);
}

void ox_iir_bpbutterf(ox_iir_cfNf* rec, unsigned N, float f1, float f2, float fs)
{
    design_band(rec, N, f1, f2, fs, false);
}

void ox_iir_bsbutterf(ox_iir_cfNf* rec, unsigned N, float f1, float f2, float fs)
{
    design_band(rec, N, f1, f2, fs, true);
}

void ox_iir_lpshelvingf(ox_iir_cfNf* rec, unsigned N, float fc, float gain, float fs)
{
    design_shelf(rec, N, fc, gain, fs, false);
}

void ox_iir_hpshelvingf(ox_iir_cfNf* rec, unsigned N, float fc, float gain, float fs)
{
    design_shelf(rec, N, fc, gain, fs, true);
}

void ox_iir_lplinkrileyf(ox_iir_cfNf* rec, unsigned N, float fc, float fs)
{
    design_lr(rec, N, fc, fs, false);
}

void ox_iir_hplinkrileyf(ox_iir_cfNf* rec, unsigned N, float fc, float fs)
{
    design_lr(rec, N, fc, fs, true);
}

void ox_iir_lpbutter(ox_iir_cfN* rec, unsigned N, float fc, float fs)
{
    design_butter(rec, N, fc, fs, false);
}

void ox_iir_hpbutter(ox_iir_cfN* rec, unsigned N, float fc, float fs)
{
    design_butter(rec, N, fc, fs, true);
}

void ox_iir_lpshelving(ox_iir_cfN* rec, unsigned N, float fc, float gain, float fs)
{
    design_shelf(rec, N, fc, gain, fs, false);
}

void ox_iir_hpshelving(ox_iir_cfN* rec, unsigned N, float fc, float gain, float fs)
{
    design_shelf(rec, N, fc, gain, fs, true);
}

void ox_iir_lplinkriley(ox_iir_cfN* rec, unsigned N, float fc, float fs)
{
    design_lr(rec, N, fc, fs, false);
}

void ox_iir_hplinkriley(ox_iir_cfN* rec, unsigned N, float fc, float fs)
{
    design_lr(rec, N, fc, fs, true);
}

void ox_iir_bpbutter(ox_iir_cfN*, unsigned, float, float, float) {}
void ox_iir_bsbutter(ox_iir_cfN*, unsigned, float, float, float) {}

// ---- Single sections ------------------------------------------------------------------------

static void store_first(float out[5], double b0, double b1, double a1, double bsum, double asum)
{
    out[0] = (float)b0;
    out[1] = (float)bsum;
    out[2] = (float)b1;
    out[3] = (float)asum;
    out[4] = (float)a1;
}

static double single_t(float fc, float fs)
{
    return warp(rel_freq(fc, safe_fs(fs)));
}

void ox_iir_lpbutter1(float out[5], float fc, float fs)
{
    if (!out) return;
    const double t = single_t(fc, fs), g = 1.0 / (t + 1.0);
    store_first(out, g * t, g * t, (t - 1.0) * g, 2.0 * g * t, 2.0 * g * t);
}

void ox_iir_hpbutter1(float out[5], float fc, float fs)
{
    if (!out) return;
    const double t = single_t(fc, fs), g = 1.0 / (t + 1.0);
    store_first(out, g, -g, (t - 1.0) * g, 0.0, 2.0 * g * t);
}

static void shelving1(float out[5], float fc, float gain, float fs, bool high)
{
    if (!out) return;
    const double gdb = safe_gain(gain);
    if (gdb == 0.0)
    {
        // A unity filter, written with consistent sums so its DC gain reads 1/1.
        store_first(out, 1.0, 0.0, 0.0, 1.0, 1.0);
        return;
    }
    const double A = std::pow(10.0, std::fabs(gdb) / 20.0);
    double t = single_t(fc, fs);
    // A cut's pole sits at the boost's zero, corner t·A (low shelf) or t/A (high shelf).
    if (gdb < 0.0) t = cut_corner_t(t, high ? 1.0 / A : A, false);
    const double K = 1.0 / t;
    // Boost numerator n0 + n1·z^-1 and denominator d0 + d1·z^-1; a cut swaps them.
    double n0, n1;
    if (high)
    {
        n0 = A * K + 1.0;
        n1 = 1.0 - A * K;
    }
    else
    {
        n0 = K + A;
        n1 = A - K;
    }
    double d0 = K + 1.0, d1 = 1.0 - K;
    if (gdb < 0.0)
    {
        std::swap(n0, d0);
        std::swap(n1, d1);
    }
    store_first(out, n0 / d0, n1 / d0, d1 / d0, (n0 + n1) / d0, (d0 + d1) / d0);
}

void ox_iir_lfshelving1(float out[5], float fc, float gain, float fs)
{
    shelving1(out, fc, gain, fs, false);
}

void ox_iir_hfshelving1(float out[5], float fc, float gain, float fs)
{
    shelving1(out, fc, gain, fs, true);
}

// Writes the section n(z)/d(z) normalised to d0 = 1.
static void store_nd(ox_iir_cf2* out, const double n[3], const double d[3])
{
    const double c[5] = {n[0] / d[0], n[1] / d[0], n[2] / d[0], d[1] / d[0], d[2] / d[0]};
    oxiir::round_cf2(out, c);
}

static void store_unity(ox_iir_cf2* out)
{
    const double one[3] = {1.0, 0.0, 0.0};
    store_nd(out, one, one);
}

static const double kSqrt2 = 1.4142135623730951;

void ox_iir_lpbutter2(ox_iir_cf2* out, float fc, float fs)
{
    if (!out) return;
    const double t = single_t(fc, fs), t2 = t * t;
    const double n[3] = {t2, 2.0 * t2, t2},
                 d[3] = {1.0 + kSqrt2 * t + t2, 2.0 * (t2 - 1.0), 1.0 - kSqrt2 * t + t2};
    store_nd(out, n, d);
}

void ox_iir_hpbutter2(ox_iir_cf2* out, float fc, float fs)
{
    if (!out) return;
    const double t = single_t(fc, fs), t2 = t * t;
    const double n[3] = {1.0, -2.0, 1.0},
                 d[3] = {1.0 + kSqrt2 * t + t2, 2.0 * (t2 - 1.0), 1.0 - kSqrt2 * t + t2};
    store_nd(out, n, d);
}

static void shelving2(ox_iir_cf2* out, float fc, float gain, float fs, bool high)
{
    if (!out) return;
    const double gdb = safe_gain(gain);
    if (gdb == 0.0)
    {
        store_unity(out);
        return;
    }
    const double A = std::pow(10.0, std::fabs(gdb) / 20.0), r = std::sqrt(A);
    double t = single_t(fc, fs);
    // A cut's poles sit at the boost's zeros, corner t·r (low shelf) or t/r (high shelf).
    if (gdb < 0.0) t = cut_corner_t(t, high ? 1.0 / r : r, true);
    const double t2 = t * t;
    // Boost: numerator n over the Butterworth denominator d; a cut exchanges them.
    double n[3], d[3] = {1.0 + kSqrt2 * t + t2, 2.0 * (t2 - 1.0), 1.0 - kSqrt2 * t + t2};
    if (high)
    {
        n[0] = t2 + kSqrt2 * r * t + A;
        n[1] = 2.0 * (t2 - A);
        n[2] = t2 - kSqrt2 * r * t + A;
    }
    else
    {
        n[0] = A * t2 + kSqrt2 * r * t + 1.0;
        n[1] = 2.0 * (A * t2 - 1.0);
        n[2] = A * t2 - kSqrt2 * r * t + 1.0;
    }
    if (gdb > 0.0)
        store_nd(out, n, d);
    else
        store_nd(out, d, n);
}

void ox_iir_lfshelving2(ox_iir_cf2* out, float fc, float gain, float fs)
{
    shelving2(out, fc, gain, fs, false);
}

void ox_iir_hfshelving2(ox_iir_cf2* out, float fc, float gain, float fs)
{
    shelving2(out, fc, gain, fs, true);
}

void ox_iir_peaking(ox_iir_cf2* out, float fc, float gain, float Q, float fs)
{
    if (!out) return;
    const double gdb = safe_gain(gain);
    if (gdb == 0.0)
    {
        store_unity(out);
        return;
    }
    const double t = single_t(fc, fs), t2 = t * t;
    const double A = std::pow(10.0, std::fabs(gdb) / 20.0), M = 2.0 * (t2 - 1.0);
    // The poles' damping is q for a boost and A·q for a cut; a very broad or deep peak near
    // either end of the band is narrowed until its poles keep a safe distance from z = ±1.
    const double damp = gdb > 0.0 ? 1.0 : A;
    const double q = std::min(1.0 / safe_q(Q), max_damping(t) / damp);
    const double p1[3] = {1.0 + q * t + t2, M, 1.0 - q * t + t2};
    const double p2[3] = {1.0 + A * q * t + t2, M, 1.0 - A * q * t + t2};
    if (gdb > 0.0)
        store_nd(out, p2, p1);
    else
        store_nd(out, p1, p2);
}

void ox_iir_allpass1(ox_iir_cf2* out, float f, float fs)
{
    if (!out) return;
    const double t = single_t(f, fs), a = (t - 1.0) / (t + 1.0);
    out->b0 = (float)a;
    out->b1 = 1.0f;
    out->b2 = 0.0f;
    out->a1 = (float)a;
    out->a2 = 0.0f;
}

void ox_iir_allpass2(ox_iir_cf2* out, float f, float Q, float fs)
{
    if (!out) return;
    const double r = rel_freq(f, safe_fs(fs));
    // The bandwidth tangent is limited below a quarter turn, or a small Q would wrap it.
    const double t = warp(clamp_rel(r / safe_q(Q)));
    const double a = (t - 1.0) / (t + 1.0), d = std::cos(2.0 * kPi * r);
    const double c[5] = {-a, -d * (1.0 - a), 1.0, -d * (1.0 - a), -a};
    oxiir::round_cf2(out, c);
    // The numerator is the reversed denominator exactly, so the section stays an all-pass.
    out->b0 = out->a2;
    out->b1 = out->a1;
}

// ---- Conversions ----------------------------------------------------------------------------

int ox_iir_cfNtocfX(void* out, const ox_iir_cfN* in)
{
    if (!out || !in || in->order < 1 || in->order > 3) return 1;
    const unsigned N = in->order;
    float w[7];
    for (unsigned k = 0; k <= N; ++k) w[k] = in->b[k];
    for (unsigned k = 0; k < N; ++k) w[N + 1 + k] = in->a[k];
    std::memcpy(out, w, sizeof(float) * (2 * N + 1));
    return 0;
}

void ox_iir_cfN_to_cfNf(ox_iir_cfNf* out, const ox_iir_cfN* in)
{
    if (!out || !in) return;
    // Work on the record's words: for orders above 6 the regrouping runs on from the
    // numerator words into the denominator words, as the flat layout implies.
    float w[21];
    std::memcpy(w, in, sizeof(w));
    const unsigned N = clamp_order(in->order, 9);
    unsigned nb = 1, na = 11;
    if (N & 1u)
    {
        out->first.b0 = w[1];
        out->first.b1 = w[2];
        out->first.a1 = w[11];
        nb = 3;
        na = 12;
    }
    for (unsigned k = 0; k < N / 2; ++k)
    {
        ox_iir_cf2& s = out->sec[k];
        s.b0 = w[nb + 3 * k];
        s.b1 = w[nb + 3 * k + 1];
        s.b2 = w[nb + 3 * k + 2];
        s.a1 = w[na + 2 * k];
        s.a2 = w[na + 2 * k + 1];
    }
}

// ---- Filters --------------------------------------------------------------------------------

static void run1(float* st, const float* in, float* out, int n, int stride, ox_iir_cf1 c)
{
    float x1 = st[0], y1 = st[1];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[(long)i * stride];
        const float y = c.b0 * x + c.b1 * x1 - c.a1 * y1;
        x1 = x;
        y1 = y;
        out[(long)i * stride] = y;
    }
    const float s[2] = {x1, y1};
    oxiir::put_state(st, s, 2);
}

static void run2(float* st, const float* in, float* out, int n, int stride, ox_iir_cf2 c)
{
    oxdf1::run(st, in, out, n, stride, c);
}

void ox_iir_filter1(float* state, const float* in, float* out, int n, ox_iir_cf1 c)
{
    if (state && in && out && n > 0) run1(state, in, out, n, 1, c);
}

void ox_iir_filter2(float* state, const float* in, float* out, int n, ox_iir_cf2 c)
{
    if (state && in && out && n > 0) run2(state, in, out, n, 1, c);
}

void ox_iir_filter2_mch(float* state, const float* in, float* out, int n, int stride, ox_iir_cf2 c)
{
    if (state && in && out && n > 0 && stride >= 1) run2(state, in, out, n, stride, c);
}

void ox_iir_filter3(float* state, const float* in, float* out, int n, ox_iir_cf3 c)
{
    if (!state || !in || !out || n <= 0) return;
    float x1 = state[0], x2 = state[1], x3 = state[2];
    float y1 = state[3], y2 = state[4], y3 = state[5];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        const float y =
            c.b0 * x + c.b1 * x1 + c.b2 * x2 + c.b3 * x3 - c.a1 * y1 - c.a2 * y2 - c.a3 * y3;
        x3 = x2;
        x2 = x1;
        x1 = x;
        y3 = y2;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    const float s[6] = {x1, x2, x3, y1, y2, y3};
    oxiir::put_state(state, s, 6);
}

void ox_iir_filterN(float* state, const float* in, float* out, int n, ox_iir_cfN c)
{
    if (!state || !in || !out || n <= 0) return;
    const int N = (int)clamp_order(c.order, 9);
    float xh[9], yh[9];
    std::memcpy(xh, state, sizeof(xh));
    std::memcpy(yh, state + 9, sizeof(yh));
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        float acc = c.b[0] * x;
        for (int k = 1; k <= N; ++k)
        {
            acc += c.b[k] * xh[k - 1];
            acc -= c.a[k - 1] * yh[k - 1];
        }
        for (int k = N - 1; k > 0; --k)
        {
            xh[k] = xh[k - 1];
            yh[k] = yh[k - 1];
        }
        if (N > 0)
        {
            xh[0] = x;
            yh[0] = acc;
        }
        out[i] = acc;
    }
    oxiir::put_state(state, xh, N);
    oxiir::put_state(state + 9, yh, N);
}

void ox_iir_filterNf(float* state, const float* in, float* out, int n, ox_iir_cfNf c)
{
    if (!state || !in || !out || n <= 0) return;
    const unsigned N = clamp_order(c.order, 9);
    const float* src = in;
    if (N & 1u)
    {
        run1(state, src, out, n, 1, c.first);
        src = out;
    }
    for (unsigned k = 0; k < N / 2; ++k)
    {
        run2(state + 2 + 4 * k, src, out, n, 1, c.sec[k]);
        src = out;
    }
    if (src != out) std::memmove(out, in, sizeof(float) * (size_t)n);
}
