#include "ox_biquad.h"

#include "ox_df1_internal.h"
#include "ox_util.h"

#include <cmath>
#include <complex>
#include <type_traits>

// Records are shared with C callers and laid out as plain float words.
static_assert(std::is_standard_layout<ox_biquad_coeffs>::value && sizeof(ox_biquad_coeffs) == 20,
              "five floats b0, b1, b2, a1, a2");
static_assert(std::is_standard_layout<ox_biquad_state>::value && sizeof(ox_biquad_state) == 16,
              "four floats x1, x2, y1, y2");

namespace
{

const double kPi = 3.141592653589793;

// Damping u and w² = 1 − u² of the analog pole pairs of the Butterworth
// family (second order; third order section B; fourth order sections A, B).
struct PolePair
{
    double u, w2;
};
const PolePair kPole2 = {0.7071067811865475, 0.5000000000000001};
const PolePair kPole3B = {0.49999999999999994, 0.7500000000000001};
const PolePair kPole4A = {0.3826834323650898, 0.8535533905932737};
const PolePair kPole4B = {0.9238795325112867, 0.1464466094067263};

// Design frequency as a fraction of the sample rate. The upper end stays below
// one half: at exactly fs/2 the prewarped frequency is infinite and the section
// rounds to a double pole at z = −1. The lower end keeps T (and 1/T) finite.
// NaN and +inf take the upper end, as min(f, fs/2) would.
double relfreq(float f, float fs)
{
    return ox_clampd(double(f) / double(fs), OX_BIQUAD_FMIN_REL, OX_BIQUAD_FMAX_REL,
                     OX_BIQUAD_FMAX_REL);
}

// Prewarped design frequency T = tan(π·f/fs).
double warp(float f, float fs)
{
    return std::tan(kPi * relfreq(f, fs));
}

float clamp_db(float dB)
{
    return ox_clampf(dB, -OX_BIQUAD_DB_MAX, OX_BIQUAD_DB_MAX, 0.0f);
}

double db_to_gain(float dB)
{
    return std::pow(10.0, double(clamp_db(dB)) * 0.05);
}

float clamp_q(float Q)
{
    return ox_clampf(Q, OX_BIQUAD_QMIN, OX_BIQUAD_QMAX, 0.70710677f);
}

// Pulls a denominator that single-precision rounding left on or outside the
// unit circle back inside the stability triangle (|a2| < 1, |a1| < 1 + a2).
// Exact designs are inside; rounding can only push extreme ones (corner at
// the lowest frequencies, very high Q) across, where a1 ≈ −2 and a2 ≈ 1.
void keep_stable(float& a1, float& a2)
{
    if (double(a2) < 1.0 && std::fabs(double(a1)) < 1.0 + double(a2)) return;
    const float margin = 1.0f / 4194304.0f; // 2^-22
    if (!(a2 <= 1.0f - margin)) a2 = 1.0f - margin;
    if (a2 < -1.0f + margin) a2 = -1.0f + margin;
    const double lim = 1.0 + double(a2) - double(margin);
    if (double(a1) > lim) a1 = float(lim);
    if (double(a1) < -lim) a1 = float(-lim);
    while (std::fabs(double(a1)) >= 1.0 + double(a2)) a1 = std::nextafter(a1, 0.0f);
}

// Writes a design. A non-finite word (which no argument in range produces)
// leaves the pass-through instead of a section that would poison its state.
void store(ox_biquad_coeffs* c, double b0, double b1, double b2, double a1, double a2)
{
    ox_biquad_coeffs r = {float(b0), float(b1), float(b2), float(a1), float(a2)};
    if (!ox_isfinitef(r.b0) || !ox_isfinitef(r.b1) || !ox_isfinitef(r.b2) || !ox_isfinitef(r.a1) ||
        !ox_isfinitef(r.a2))
    {
        ox_biquad_unity(c);
        return;
    }
    keep_stable(r.a1, r.a2);
    *c = r;
}

// ---- Section formulas (analog pole pair u, w², bilinear with prewarping) ----

// Low-pass, K = 1/T.
void lp_section(ox_biquad_coeffs* c, double K, PolePair p)
{
    const double D = (K + p.u) * (K + p.u) + p.w2;
    store(c, 1.0 / D, 2.0 / D, 1.0 / D, 2.0 * (1.0 - K * K) / D,
          ((K - p.u) * (K - p.u) + p.w2) / D);
}

// High-pass at T.
void hp_section(ox_biquad_coeffs* c, double T, PolePair p)
{
    const double D = (T + p.u) * (T + p.u) + p.w2;
    store(c, 1.0 / D, -2.0 / D, 1.0 / D, 2.0 * (T * T - 1.0) / D,
          ((T - p.u) * (T - p.u) + p.w2) / D);
}

void lp1_section(ox_biquad_coeffs* c, double K)
{
    const double n = 1.0 / (K + 1.0);
    store(c, n, n, 0.0, (1.0 - K) * n, 0.0);
}

void hp1_section(ox_biquad_coeffs* c, double T)
{
    const double n = 1.0 / (T + 1.0);
    store(c, n, -n, 0.0, (T - 1.0) * n, 0.0);
}

// Damping from a quality: q′ = (Q − 0.2)/7 + offset, d = 1/(2·max(q′, offset)).
// dmax is 1/(2·offset) with the offset as stored in single precision.
PolePair q_pole(float Q, float offset, double dmax)
{
    const float qq = (clamp_q(Q) - 0.2f) / 7.0f + offset;
    const double d = qq > offset ? 1.0 / (2.0 * double(qq)) : dmax;
    // w² turns negative for d > 1 (two real poles); the shelves use w² only
    // squared-in, never its square root, so the design stays finite.
    return {d, 1.0 - d * d};
}

// The first-order shelves. A cut moves the corner to T/g (low shelf) or T·g
// (high shelf), which makes it the exact inverse of the boost by 1/g.
void lf1_shelf(ox_biquad_coeffs* c, float f, double g, float fs, bool cut)
{
    const double T = warp(f, fs);
    const double K = cut ? 1.0 / (T / g) : 1.0 / T;
    const double n = 1.0 / (K + 1.0);
    store(c, (g + K) * n, (g - K) * n, 0.0, (1.0 - K) * n, 0.0);
}

void hf1_shelf(ox_biquad_coeffs* c, float f, double g, float fs, bool cut)
{
    double T = warp(f, fs);
    if (cut) T *= g;
    const double n = 1.0 / (T + 1.0);
    store(c, (g + T) * n, (T - g) * n, 0.0, (T - 1.0) * n, 0.0);
}

// Second-order shelves with gain g² on the shelf side. wg² = w²·g² is formed
// directly: w² is negative for the real-pole pairs of low Q.
void lf2_shelf(ox_biquad_coeffs* c, float f, double g, float fs, bool cut, PolePair p)
{
    const double T = warp(f, fs);
    const double K = cut ? 1.0 / (T / g) : 1.0 / T;
    const double u = p.u, w2 = p.w2, ug = u * g, wg2 = w2 * g * g;
    const double D = (K + u) * (K + u) + w2;
    store(c, ((K + ug) * (K + ug) + wg2) / D, 2.0 * (ug * ug + wg2 - K * K) / D,
          ((ug - K) * (ug - K) + wg2) / D, 2.0 * (u * u + w2 - K * K) / D,
          ((u - K) * (u - K) + w2) / D);
}

void hf2_shelf(ox_biquad_coeffs* c, float f, double g, float fs, bool cut, PolePair p)
{
    double T = warp(f, fs);
    if (cut) T *= g;
    const double u = p.u, w2 = p.w2, ug = u * g, wg2 = w2 * g * g;
    const double D = (T + u) * (T + u) + w2;
    store(c, ((T + ug) * (T + ug) + wg2) / D, 2.0 * ((T + ug) * (T - ug) - wg2) / D,
          ((T - ug) * (T - ug) + wg2) / D, 2.0 * ((T + u) * (T - u) - w2) / D,
          ((T - u) * (T - u) + w2) / D);
}

// Section gain of a shelf whose total gain dB is shared by its sections.
double shelf_gain(float dB, double share)
{
    return std::pow(db_to_gain(dB), share);
}

bool is_cut(float dB)
{
    return clamp_db(dB) < 0.0f;
}

// Band edges, prewarped and ordered: P = t1·t2, W = t2 − t1 ≥ 0. Edges given
// the wrong way round would otherwise give a negative bandwidth and poles
// outside the unit circle.
void band_edges(float f1, float f2, float fs, double& P, double& W)
{
    double t1 = warp(f1, fs), t2 = warp(f2, fs);
    if (t1 > t2)
    {
        const double t = t1;
        t1 = t2;
        t2 = t;
    }
    P = t1 * t2;
    W = t2 - t1;
}

// One section of the fourth-order band-pass/band-stop: the poles are the roots
// of the complex quadratic qa·z² + qb·z + qc; section A takes (−qb − √Δ)/(2qa),
// B the other root, each with its conjugate.
void band2_section(ox_biquad_coeffs* c, float f1, float f2, float fs, bool stop, bool sectionB)
{
    typedef std::complex<double> cd;
    double P, W;
    band_edges(f1, f2, fs, P, W);
    cd qa, qb, qc;
    double nb0, nb1, nb2;
    if (!stop)
    {
        const double h = 0.7071067811865475 * W;
        qa = cd(P + h + 1.0, h);
        qb = cd(2.0 * (P - 1.0), 0.0);
        qc = cd(P - h + 1.0, -h);
        const double m = std::abs(qa);
        nb0 = W / m;
        nb1 = 0.0;
        nb2 = -W / m;
    }
    else
    {
        const double e = 0.7071067811865475 * (P + 1.0);
        qa = cd(W + e, e);
        qb = 1.414213562373095 * (P - 1.0) * cd(1.0, 1.0);
        qc = cd(e - W, e);
        const double m = std::abs(qa);
        nb0 = (P + 1.0) / m;
        nb1 = 2.0 * (P - 1.0) / m;
        nb2 = nb0;
    }
    const cd root = std::sqrt(qb * qb - 4.0 * qa * qc);
    const cd z = sectionB ? (-qb + root) / (2.0 * qa) : (-qb - root) / (2.0 * qa);
    store(c, nb0, nb1, nb2, -2.0 * z.real(), std::norm(z));
}

} // namespace

// The exported functions get C linkage from their declarations in the header.

// ---- Filtering ---------------------------------------------------------------

// Direct form I over a strided channel; stride 1 is the plain filter.
static void run_df1(ox_biquad_state* st, const float* in, float* out, int32_t n, int32_t stride,
                    ox_biquad_coeffs c)
{
    if (!st || !in || !out || n < 1 || stride < 1) return;
    float s[4] = {st->x1, st->x2, st->y1, st->y2};
    oxdf1::run(s, in, out, n, stride, c);
    *st = {s[0], s[1], s[2], s[3]};
}

void ox_biquad_filter(ox_biquad_state* state, const float* in, float* out, int32_t n,
                      ox_biquad_coeffs c)
{
    run_df1(state, in, out, n, 1, c);
}

void ox_biquad_filter_mch(ox_biquad_state* state, const float* in, float* out, int32_t n,
                          int32_t stride, ox_biquad_coeffs c)
{
    run_df1(state, in, out, n, stride, c);
}

// ---- Responses -------------------------------------------------------------

// Numerator N and denominator D on the unit circle, and their "weighted"
// sums Σ k·b_k·e^{−ikω} and Σ k·a_k·e^{−ikω} for the group delay.
struct UnitCircle
{
    float nr, ni, dr, di, nkr, nki, dkr, dki;
};

static UnitCircle on_circle(ox_biquad_coeffs c, float fs, float f)
{
    const float w = f * 6.2831855f / fs;
    const float c1 = std::cos(w), s1 = std::sin(w);
    const float c2 = std::cos(2.0f * w), s2 = std::sin(2.0f * w);
    UnitCircle u;
    u.nr = c.b0 + c.b1 * c1 + c.b2 * c2;
    u.ni = -(c.b1 * s1 + c.b2 * s2);
    u.dr = 1.0f + c.a1 * c1 + c.a2 * c2;
    u.di = -(c.a1 * s1 + c.a2 * s2);
    u.nkr = c.b1 * c1 + 2.0f * c.b2 * c2;
    u.nki = -(c.b1 * s1 + 2.0f * c.b2 * s2);
    u.dkr = c.a1 * c1 + 2.0f * c.a2 * c2;
    u.dki = -(c.a1 * s1 + 2.0f * c.a2 * s2);
    return u;
}

float ox_biquad_freqresponse(ox_biquad_coeffs c, float fs, float f)
{
    const UnitCircle u = on_circle(c, fs, f);
    return std::sqrt((u.nr * u.nr + u.ni * u.ni) / (u.dr * u.dr + u.di * u.di));
}

float ox_biquad_phaseresponse(ox_biquad_coeffs c, float fs, float f)
{
    const UnitCircle u = on_circle(c, fs, f);
    return std::atan2(u.ni, u.nr) - std::atan2(u.di, u.dr);
}

float ox_biquad_groupdelay(ox_biquad_coeffs c, float fs, float f)
{
    const UnitCircle u = on_circle(c, fs, f);
    // Re(X / Y) = Re(X·conj(Y)) / |Y|²
    const float n2 = u.nr * u.nr + u.ni * u.ni, d2 = u.dr * u.dr + u.di * u.di;
    return (u.nkr * u.nr + u.nki * u.ni) / n2 - (u.dkr * u.dr + u.dki * u.di) / d2;
}

// ---- Designers -------------------------------------------------------------

void ox_biquad_unity(ox_biquad_coeffs* c)
{
    if (c) *c = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f};
}

void ox_biquad_zero(ox_biquad_coeffs* c)
{
    if (c) *c = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
}

void ox_biquad_gain(ox_biquad_coeffs* c, float dB)
{
    if (!c) return;
    const double g = db_to_gain(dB);
    c->b0 = float(double(c->b0) * g);
    c->b1 = float(double(c->b1) * g);
    c->b2 = float(double(c->b2) * g);
}

void ox_biquad_lpbutter1(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) lp1_section(c, 1.0 / warp(f, fs));
}

void ox_biquad_hpbutter1(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) hp1_section(c, warp(f, fs));
}

void ox_biquad_lpbutter2(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) lp_section(c, 1.0 / warp(f, fs), kPole2);
}

void ox_biquad_hpbutter2(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) hp_section(c, warp(f, fs), kPole2);
}

void ox_biquad_hpbutter2_Qfactor(ox_biquad_coeffs* c, float f, float Q, float fs)
{
    if (c) hp_section(c, warp(f, fs), q_pole(Q, 0.71f, 0.704225373395827));
}

void ox_biquad_lpbutter3A(ox_biquad_coeffs* c, float f, float fs)
{
    ox_biquad_lpbutter1(c, f, fs);
}

void ox_biquad_lpbutter3B(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) lp_section(c, 1.0 / warp(f, fs), kPole3B);
}

void ox_biquad_hpbutter3A(ox_biquad_coeffs* c, float f, float fs)
{
    ox_biquad_hpbutter1(c, f, fs);
}

void ox_biquad_hpbutter3B(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) hp_section(c, warp(f, fs), kPole3B);
}

void ox_biquad_lpbutter4A(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) lp_section(c, 1.0 / warp(f, fs), kPole4A);
}

void ox_biquad_lpbutter4B(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) lp_section(c, 1.0 / warp(f, fs), kPole4B);
}

void ox_biquad_hpbutter4A(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) hp_section(c, warp(f, fs), kPole4A);
}

void ox_biquad_hpbutter4B(ox_biquad_coeffs* c, float f, float fs)
{
    if (c) hp_section(c, warp(f, fs), kPole4B);
}

void ox_biquad_bpbutter1(ox_biquad_coeffs* c, float f1, float f2, float fs)
{
    if (!c) return;
    double P, W;
    band_edges(f1, f2, fs, P, W);
    const double n = 1.0 / (P + W + 1.0);
    store(c, W * n, 0.0, -W * n, 2.0 * (P - 1.0) * n, (P - W + 1.0) * n);
}

void ox_biquad_bsbutter1(ox_biquad_coeffs* c, float f1, float f2, float fs)
{
    if (!c) return;
    double P, W;
    band_edges(f1, f2, fs, P, W);
    const double n = 1.0 / (P + W + 1.0);
    store(c, (P + 1.0) * n, 2.0 * (P - 1.0) * n, (P + 1.0) * n, 2.0 * (P - 1.0) * n,
          (P - W + 1.0) * n);
}

void ox_biquad_bpbutter2A(ox_biquad_coeffs* c, float f1, float f2, float fs)
{
    if (c) band2_section(c, f1, f2, fs, false, false);
}

void ox_biquad_bpbutter2B(ox_biquad_coeffs* c, float f1, float f2, float fs)
{
    if (c) band2_section(c, f1, f2, fs, false, true);
}

void ox_biquad_bsbutter2A(ox_biquad_coeffs* c, float f1, float f2, float fs)
{
    if (c) band2_section(c, f1, f2, fs, true, false);
}

void ox_biquad_bsbutter2B(ox_biquad_coeffs* c, float f1, float f2, float fs)
{
    if (c) band2_section(c, f1, f2, fs, true, true);
}

void ox_biquad_lplinkriley2(ox_biquad_coeffs* c, float f, float fs)
{
    if (!c) return;
    const double K = 1.0 / warp(f, fs), n = 1.0 / (K + 1.0), n2 = n * n;
    store(c, n2, 2.0 * n2, n2, 2.0 * (1.0 - K) * n, (1.0 - K) * (1.0 - K) * n2);
}

void ox_biquad_hplinkriley2(ox_biquad_coeffs* c, float f, float fs)
{
    if (!c) return;
    const double T = warp(f, fs), n = 1.0 / (T + 1.0), n2 = n * n;
    store(c, n2, -2.0 * n2, n2, 2.0 * (T - 1.0) * n, (T - 1.0) * (T - 1.0) * n2);
}

void ox_biquad_lplinkriley4A(ox_biquad_coeffs* c, float f, float fs)
{
    ox_biquad_lpbutter2(c, f, fs);
}
void ox_biquad_lplinkriley4B(ox_biquad_coeffs* c, float f, float fs)
{
    ox_biquad_lpbutter2(c, f, fs);
}
void ox_biquad_hplinkriley4A(ox_biquad_coeffs* c, float f, float fs)
{
    ox_biquad_hpbutter2(c, f, fs);
}
void ox_biquad_hplinkriley4B(ox_biquad_coeffs* c, float f, float fs)
{
    ox_biquad_hpbutter2(c, f, fs);
}

void ox_biquad_lfshelving1(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) lf1_shelf(c, f, shelf_gain(dB, 1.0), fs, is_cut(dB));
}

void ox_biquad_hfshelving1(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) hf1_shelf(c, f, shelf_gain(dB, 1.0), fs, is_cut(dB));
}

void ox_biquad_lfshelving2(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) lf2_shelf(c, f, shelf_gain(dB, 0.5), fs, is_cut(dB), kPole2);
}

void ox_biquad_hfshelving2(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) hf2_shelf(c, f, shelf_gain(dB, 0.5), fs, is_cut(dB), kPole2);
}

void ox_biquad_lfshelving2_Qfactor(ox_biquad_coeffs* c, float f, float dB, float Q, float fs)
{
    if (c) lf2_shelf(c, f, shelf_gain(dB, 0.5), fs, is_cut(dB), q_pole(Q, 0.05f, 9.99999985098839));
}

void ox_biquad_hfshelving2_Qfactor(ox_biquad_coeffs* c, float f, float dB, float Q, float fs)
{
    if (c) hf2_shelf(c, f, shelf_gain(dB, 0.5), fs, is_cut(dB), q_pole(Q, 0.05f, 9.99999985098839));
}

void ox_biquad_lfshelving3A(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) lf1_shelf(c, f, shelf_gain(dB, 0.3333333333333333), fs, is_cut(dB));
}

void ox_biquad_lfshelving3B(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) lf2_shelf(c, f, shelf_gain(dB, 0.3333333333333333), fs, is_cut(dB), kPole3B);
}

void ox_biquad_hfshelving3A(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) hf1_shelf(c, f, shelf_gain(dB, 0.3333333333333333), fs, is_cut(dB));
}

void ox_biquad_hfshelving3B(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) hf2_shelf(c, f, shelf_gain(dB, 0.3333333333333333), fs, is_cut(dB), kPole3B);
}

void ox_biquad_lfshelving4A(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) lf2_shelf(c, f, shelf_gain(dB, 0.25), fs, is_cut(dB), kPole4A);
}

void ox_biquad_lfshelving4B(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) lf2_shelf(c, f, shelf_gain(dB, 0.25), fs, is_cut(dB), kPole4B);
}

void ox_biquad_hfshelving4A(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) hf2_shelf(c, f, shelf_gain(dB, 0.25), fs, is_cut(dB), kPole4A);
}

void ox_biquad_hfshelving4B(ox_biquad_coeffs* c, float f, float dB, float fs)
{
    if (c) hf2_shelf(c, f, shelf_gain(dB, 0.25), fs, is_cut(dB), kPole4B);
}

void ox_biquad_peaking(ox_biquad_coeffs* c, float f, float dB, float Q, float fs)
{
    if (!c) return;
    dB = clamp_db(dB);
    if (dB == 0.0f)
    {
        ox_biquad_unity(c);
        return;
    }
    const double T = warp(f, fs), q = 1.0 / double(clamp_q(Q));
    const double V = std::pow(10.0, std::fabs(double(dB)) * 0.05);
    const double Pp = 1.0 + q * T + T * T, PV = 1.0 + V * q * T + T * T, M = 2.0 * (T * T - 1.0);
    const double Pm = 1.0 - q * T + T * T, PVm = 1.0 - V * q * T + T * T;
    if (dB > 0.0f)
        store(c, PV / Pp, M / Pp, PVm / Pp, M / Pp, Pm / Pp);
    else
        store(c, Pp / PV, M / PV, Pm / PV, M / PV, PVm / PV);
}

void ox_biquad_resonator(ox_biquad_coeffs* c, float f, float dB, float Q, float fs)
{
    if (!c) return;
    const double T = warp(f, fs), q = 1.0 / double(clamp_q(Q)), G = db_to_gain(dB);
    const double n = 1.0 / (q * T + 1.0 + T * T);
    const double b0 = G * q * T * n;
    store(c, b0, 0.0, -b0, 2.0 * (T * T - 1.0) * n, (1.0 - q * T + T * T) * n);
}

// All-passes keep their numerator the mirror of the denominator, also when the
// denominator had to be pulled inside the unit circle.
static void mirror_numerator(ox_biquad_coeffs* c, bool second)
{
    c->b0 = second ? c->a2 : c->a1;
    c->b1 = second ? c->a1 : 1.0f;
    c->b2 = second ? 1.0f : 0.0f;
}

void ox_biquad_allpass1(ox_biquad_coeffs* c, float f, float fs)
{
    if (!c) return;
    const double T = warp(f, fs), v = (T - 1.0) / (T + 1.0);
    store(c, v, 1.0, 0.0, v, 0.0);
    mirror_numerator(c, false);
}

void ox_biquad_allpass2(ox_biquad_coeffs* c, float f, float Q, float fs)
{
    if (!c) return;
    const double r = relfreq(f, fs);
    // The bandwidth r/Q can reach far beyond half the sample rate for small Q;
    // its tangent must not wrap past π/2 (the sign flip would put the poles
    // outside the unit circle).
    double arg = kPi * r / double(clamp_q(Q));
    if (arg > kPi * OX_BIQUAD_FMAX_REL) arg = kPi * OX_BIQUAD_FMAX_REL;
    const double t = std::tan(arg), d = (t - 1.0) / (t + 1.0), k = std::cos(2.0 * kPi * r);
    const double b1 = -(1.0 - d) * k;
    store(c, -d, b1, 1.0, b1, -d);
    mirror_numerator(c, true);
}

void ox_biquad_linkwitztransform2(ox_biquad_coeffs* c, float f0, float Q0, float fp, float Qp,
                                  float fs)
{
    if (!c) return;
    // Worked in radians per sample: the sample rate cancels out, and both
    // frequencies stay positive so the matching frequency is never 0/0.
    const double r0 = relfreq(f0, fs), rp = relfreq(fp, fs);
    double rm = 0.5 * (r0 + rp);
    if (rm > OX_BIQUAD_FMAX_REL) rm = OX_BIQUAD_FMAX_REL;
    const double q0 = double(clamp_q(Q0)), qp = double(clamp_q(Qp));
    const double w0 = 2.0 * kPi * r0, wp = 2.0 * kPi * rp;
    const double k = 2.0 * kPi * rm / std::tan(kPi * rm);
    const double S = wp * wp + k * wp / qp + k * k;
    store(c, (w0 * w0 + k * w0 / q0 + k * k) / S, 2.0 * (w0 * w0 - k * k) / S,
          (w0 * w0 - k * w0 / q0 + k * k) / S, 2.0 * (wp * wp - k * k) / S,
          (wp * wp - k * wp / qp + k * k) / S);
}

void ox_biquad_integrator1(ox_biquad_coeffs* c)
{
    if (c) *c = {1.0f, 0.0f, 0.0f, -1.0f, 0.0f};
}

void ox_biquad_integrator2(ox_biquad_coeffs* c)
{
    if (c) *c = {1.0f, 0.0f, 0.0f, -2.0f, 1.0f};
}

void ox_biquad_differential1(ox_biquad_coeffs* c)
{
    if (c) *c = {1.0f, -1.0f, 0.0f, 0.0f, 0.0f};
}

void ox_biquad_differential2(ox_biquad_coeffs* c)
{
    if (c) *c = {1.0f, -2.0f, 1.0f, 0.0f, 0.0f};
}
