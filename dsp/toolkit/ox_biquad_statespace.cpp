#include "ox_biquad_statespace.h"

#include "ox_util.h"

#include <cmath>
#include <type_traits>

static_assert(std::is_standard_layout<ox_biquad_sspair>::value && sizeof(ox_biquad_ss) == 36 &&
                  sizeof(ox_biquad_sspair) == 76,
              "nine floats per realisation, then the selector");

namespace
{

// Discriminants closer to zero than this are treated as two real poles 1e-3
// apart: the modal forms below divide by the pole distance, so a (near-)double
// pole would give unbounded output vectors. Moving the poles apart changes a2
// by at most 2.5e-7.
const double kMinDiscriminant = 1e-6;

const ox_biquad_ss kPassThrough = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

// Input gain that normalises a real mode p; poles on or outside the unit
// circle have no such gain and keep 1.
double mode_gain(double p)
{
    const double g = 1.0 - p * p;
    return g > 0.0 ? std::sqrt(g) : 1.0;
}

bool all_finite(const ox_biquad_ss& s)
{
    const float w[9] = {s.A11, s.A12, s.A21, s.A22, s.B1, s.B2, s.C1, s.C2, s.D};
    for (float x : w)
        if (!ox_isfinitef(x)) return false;
    return true;
}

// 2×2 matrices in double, row by row.
struct M2
{
    double a, b, c, d;
};

M2 mul(const M2& x, const M2& y)
{
    return {x.a * y.a + x.b * y.c, x.a * y.b + x.b * y.d, x.c * y.a + x.d * y.c,
            x.c * y.b + x.d * y.d};
}

double det(const M2& x)
{
    return x.a * x.d - x.b * x.c;
}

M2 inverse(const M2& x)
{
    const double k = 1.0 / det(x);
    return {x.d * k, -x.b * k, -x.c * k, x.a * k};
}

// Observability matrix: rows C and C·A.
M2 observability(const ox_biquad_ss& s)
{
    const double c1 = s.C1, c2 = s.C2;
    return {c1, c2, c1 * s.A11 + c2 * s.A21, c1 * s.A12 + c2 * s.A22};
}

// An observability matrix too close to singular to invert in single-precision
// terms: its determinant is negligible against the size of its entries.
bool singular(const M2& o)
{
    const double scale = o.a * o.a + o.b * o.b + o.c * o.c + o.d * o.d;
    const double dt = det(o);
    return !std::isfinite(dt) || !(std::fabs(dt) > 1e-9 * scale);
}

} // namespace

void ox_biquad_sstransform(ox_biquad_ss* ss, ox_biquad_coeffs c)
{
    if (!ss) return;
    if (!ox_isfinitef(c.b0) || !ox_isfinitef(c.b1) || !ox_isfinitef(c.b2) || !ox_isfinitef(c.a1) ||
        !ox_isfinitef(c.a2))
    {
        *ss = kPassThrough;
        return;
    }
    // Direct part removed: H(z) − b0 = (e1·z + e2) / (z² + a1·z + a2).
    const float e1f = c.b1 - c.b0 * c.a1, e2f = c.b2 - c.b0 * c.a2;
    const double e1 = e1f, e2 = e2f, a1 = c.a1, a2 = c.a2;
    double q = a1 * a1 - 4.0 * a2;
    if (std::fabs(q) < kMinDiscriminant) q = kMinDiscriminant;

    ox_biquad_ss r;
    if (q > 0.0)
    {
        // Two real modes, each with its residue split between B and C.
        const double rq = std::sqrt(q);
        const double p1 = float((rq - a1) * 0.5), p2 = float((-a1 - rq) * 0.5);
        const double g1 = mode_gain(p1), g2 = mode_gain(p2);
        r.A11 = float(p1);
        r.A12 = 0.0f;
        r.A21 = 0.0f;
        r.A22 = float(p2);
        r.B1 = float(g1);
        r.B2 = float(g2);
        r.C1 = float((e1 * p1 + e2) / ((p1 - p2) * g1));
        r.C2 = float((e1 * p2 + e2) / ((p2 - p1) * g2));
    }
    else
    {
        // A conjugate pair re ± i·im as a scaled rotation.
        const double re = -a1 * 0.5, im = std::sqrt(-q) * 0.5;
        const double m = 1.0 - re * re;
        const double u = m - im * im; // 1 − |p|²
        const double v = im * im + m, w = -2.0 * re * im;
        double g1 = 1.0, g2 = 1.0;
        if (u > 0.0)
        {
            const double t = (std::sqrt(v * v + w * w) + w) / v;
            g1 = std::sqrt(2.0 * t * t * u / (t * t + 1.0));
            g2 = std::sqrt(2.0 * u / (t * t + 1.0));
        }
        const double k = (g1 * g1 + g2 * g2) * im;
        r.A11 = float(re);
        r.A12 = float(im);
        r.A21 = float(-im);
        r.A22 = float(re);
        r.B1 = float(g1);
        r.B2 = float(g2);
        r.C1 = float((g2 * e2 + im * e1 * g1 + re * g2 * e1) / k);
        r.C2 = float((g2 * e1 * im - e1 * g1 * re - g1 * e2) / k);
    }
    r.D = c.b0;
    *ss = all_finite(r) ? r : kPassThrough;
}

void ox_biquad_filter_ss(ox_biquad_ssstate* state, const float* in, float* out, int32_t n,
                         ox_biquad_ss ss)
{
    if (!state || !in || !out || n < 1) return;
    float s1 = state->s1, s2 = state->s2;
    for (int32_t i = 0; i < n; ++i)
    {
        const float x = in[i];
        out[i] = ss.C1 * s1 + ss.D * x + ss.C2 * s2;
        const float t1 = ss.A11 * s1 + ss.A12 * s2 + ss.B1 * x;
        const float t2 = ss.A21 * s1 + ss.A22 * s2 + ss.B2 * x;
        s1 = t1;
        s2 = t2;
    }
    // A NaN or Inf that entered the recursion would stay there for good.
    if (!ox_isfinitef(s1) || !ox_isfinitef(s2)) s1 = s2 = 0.0f;
    state->s1 = s1;
    state->s2 = s2;
}

void ox_biquad_filter_ss2(const ox_biquad_sspair* pair, ox_biquad_ssstate* state, const float* in,
                          float* out, int32_t n)
{
    if (!pair) return;
    ox_biquad_filter_ss(state, in, out, n, pair->select == 0 ? pair->first : pair->second);
}

void ox_biquad_ssswitch(const ox_biquad_ss* old, ox_biquad_ss* nw)
{
    if (!old || !nw) return;
    // With T = O_old⁻¹·O_new the similarity transform A″ = T·A′·T⁻¹, B″ = T·B′,
    // C″ = C′·T⁻¹ = C_old keeps the new transfer function and gives the new
    // realisation the old observability matrix: a running state means the
    // same to both.
    const M2 oo = observability(*old), on = observability(*nw);
    if (singular(oo) || singular(on)) return;
    const M2 t = mul(inverse(oo), on);
    const M2 ti = mul(inverse(on), oo);
    const M2 a = mul(mul(t, {nw->A11, nw->A12, nw->A21, nw->A22}), ti);
    const double b1 = nw->B1, b2 = nw->B2;
    ox_biquad_ss r;
    r.A11 = float(a.a);
    r.A12 = float(a.b);
    r.A21 = float(a.c);
    r.A22 = float(a.d);
    r.B1 = float(t.a * b1 + t.b * b2);
    r.B2 = float(t.c * b1 + t.d * b2);
    r.C1 = old->C1;
    r.C2 = old->C2;
    r.D = nw->D;
    if (all_finite(r)) *nw = r;
}
