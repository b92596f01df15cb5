#include "ox_iir_statespace.h"
#include "ox_iir_internal.h"
#include "ox_ss2_internal.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <type_traits>

static_assert(std::is_standard_layout<ox_iir_ss1>::value && sizeof(ox_iir_ss1) == 10 * 4,
              "first-order state-space record is 10 words");
static_assert(std::is_standard_layout<ox_iir_ss2>::value && sizeof(ox_iir_ss2) == 19 * 4,
              "second-order state-space record is 19 words");
static_assert(sizeof(ox_iir_aprec) == 10 * 4, "all-pass branch record is 10 words");

namespace
{

typedef std::complex<double> cd;

bool finite(std::initializer_list<double> v)
{
    for (double x : v)
        if (!std::isfinite(x)) return false;
    return true;
}

// Input gain of a state whose pole is p: √(1 − p²) scales the state to unit power gain. On or
// outside the unit circle that scaling has no meaning; any non-zero gain still realises the
// section exactly (the output gain divides by it), so |1 − p²| or 1 is used there.
double norm_gain(double p)
{
    const double v = std::fabs(1.0 - p * p);
    return v > 0.0 ? std::sqrt(v) : 1.0;
}

// One second-order all-pass step (a2 + a1·z^-1 + z^-2)/(1 + a1·z^-1 + a2·z^-2) in the
// arrangement that shares the products between numerator and denominator.
inline float ap2(ox_iir_ap2 c, float x, float x1, float x2, float y1, float y2)
{
    return c.a2 * x + c.a1 * (x1 - y1) + (x2 - c.a2 * y2);
}

// Second-order all-pass over a block in place or from in to out; state {x1, x2, y1, y2}.
void run_ap2(float* st, const float* in, float* out, int n, ox_iir_ap2 c)
{
    float x1 = st[0], x2 = st[1], y1 = st[2], y2 = st[3];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        const float y = ap2(c, x, x1, x2, y1, y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    const float s[4] = {x1, x2, y1, y2};
    oxiir::put_state(st, s, 4);
}

void run_ap1(float* st, const float* in, float* out, int n, float a)
{
    float x1 = st[0], y1 = st[1];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        const float y = (x1 - a * y1) + a * x;
        x1 = x;
        y1 = y;
        out[i] = y;
    }
    const float s[2] = {x1, y1};
    oxiir::put_state(st, s, 2);
}

void run_cap1(float* st, const float* ir, const float* ii, float* orr, float* oi, int n,
              ox_iir_cpx c)
{
    float xr1 = st[0], yr1 = st[1], xi1 = st[2], yi1 = st[3];
    for (int k = 0; k < n; ++k)
    {
        const float xr = ir[k], xi = ii[k];
        const float yr = c.re * xr + c.im * xi + xr1 - c.re * yr1 + c.im * yi1;
        const float yi = c.re * xi - c.im * xr + xi1 - c.re * yi1 - c.im * yr1;
        xr1 = xr;
        xi1 = xi;
        yr1 = yr;
        yi1 = yi;
        orr[k] = yr;
        oi[k] = yi;
    }
    const float s[4] = {xr1, yr1, xi1, yi1};
    oxiir::put_state(st, s, 4);
}

bool args_ok(const void* a, const void* b, const void* c, int n)
{
    return a && b && c && n > 0;
}

} // namespace

// ---- State-space sections -------------------------------------------------------------------

void ox_iir_ss1transform(ox_iir_ss1* out, ox_iir_cf1 in)
{
    if (!out) return;
    const double b0 = in.b0, b1 = in.b1, a1 = in.a1;
    out->flag = 0;
    if (!finite({b0, b1, a1}))
    {
        out->cur = ox_iir_ss1set{0.0f, 0.0f, 0.0f, 1.0f};
        return;
    }
    const double A = -a1, B = norm_gain(A);
    out->cur = ox_iir_ss1set{(float)A, (float)B, (float)((b1 - b0 * a1) / B), (float)b0};
}

void ox_iir_ss2transform(ox_iir_ss2* out, ox_iir_cf2 in)
{
    if (!out) return;
    out->flag = 0;
    const double b0 = in.b0, a1 = in.a1, a2 = in.a2;
    // Non-finite coefficients have no realisation: a pass-through, never a stale set.
    oxss2::to(oxss2::realise(b0, in.b1 - b0 * a1, in.b2 - b0 * a2, a1, a2), &out->cur);
}

// The new realisation (a, b, c, d) becomes (a, T·b, C, d) with T = c/C: the same transfer
// function, expressed in the running state's coordinates (the old output gain C).
void ox_iir_ss1switch(ox_iir_ss1* cur, ox_iir_ss1set* next)
{
    if (!cur || !next) return;
    const double C = cur->cur.C, c = next->C;
    if (C != 0.0 && c != 0.0 && std::isfinite(c / C))
    {
        next->B = (float)((double)next->B * (c / C));
        next->C = cur->cur.C;
    }
    cur->next = *next;
    cur->flag = 1;
}

// The new set becomes the realisation of its own transfer function that has the old output
// vector and the old C·A (see oxss2::take_over), so the running state keeps its meaning for
// the output.
void ox_iir_ss2switch(ox_iir_ss2* cur, ox_iir_ss2set* next)
{
    if (!cur || !next) return;
    oxss2::Set r = oxss2::from(*next);
    if (oxss2::take_over(oxss2::from(cur->cur), &r)) oxss2::to(r, next);
    cur->next = *next;
    cur->flag = 1;
}

void ox_iir_ssfilter1(float* state, const float* in, float* out, int n, ox_iir_ss1 rec)
{
    if (!state || !args_ok(in, out, out, n)) return;
    const ox_iir_ss1set c = rec.flag ? rec.next : rec.cur;
    float s = state[0];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        out[i] = c.C * s + c.D * x;
        s = c.A * s + c.B * x;
    }
    oxiir::put_state(state, &s, 1);
}

void ox_iir_ssfilter2(float* state, const float* in, float* out, int n, ox_iir_ss2 rec)
{
    if (!state || !args_ok(in, out, out, n)) return;
    const ox_iir_ss2set c = rec.flag ? rec.next : rec.cur;
    float s1 = state[0], s2 = state[1];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        out[i] = c.C1 * s1 + c.C2 * s2 + c.D * x;
        const float t1 = c.A11 * s1 + c.A12 * s2 + c.B1 * x;
        s2 = c.A21 * s1 + c.A22 * s2 + c.B2 * x;
        s1 = t1;
    }
    const float s[2] = {s1, s2};
    oxiir::put_state(state, s, 2);
}

// ---- All-pass filters -----------------------------------------------------------------------

void ox_iir_apfilter1(float* state, const float* in, float* out, int n, float a)
{
    if (state && args_ok(in, out, out, n)) run_ap1(state, in, out, n, a);
}

void ox_iir_apfilter2(float* state, const float* in, float* out, int n, ox_iir_ap2 c)
{
    if (state && args_ok(in, out, out, n)) run_ap2(state, in, out, n, c);
}

void ox_iir_apfilter12(float* state1, float* state2, const float* in, float* out, int n, float a,
                       ox_iir_ap2 c)
{
    if (!state1 || !state2 || !args_ok(in, out, out, n)) return;
    float x1 = state1[0], u1 = state1[1];
    float v1 = state2[0], v2 = state2[1], y1 = state2[2], y2 = state2[3];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        const float u = (x1 - a * u1) + a * x;
        x1 = x;
        u1 = u;
        const float y = ap2(c, u, v1, v2, y1, y2);
        v2 = v1;
        v1 = u;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    const float s1[2] = {x1, u1}, s2[4] = {v1, v2, y1, y2};
    oxiir::put_state(state1, s1, 2);
    oxiir::put_state(state2, s2, 4);
}

void ox_iirapfilter22(const float* coef, float** state, const float* in, float* out, int n)
{
    if (!coef || !state || !*state) return;
    float* st = *state;
    // The pointer walks on whatever n is, so successive calls stay on their own six words.
    *state += 6;
    if (!args_ok(in, out, out, n)) return;
    const ox_iir_ap2 c1 = {coef[0], coef[1]}, c2 = {coef[2], coef[3]};
    float x1 = st[0], x2 = st[1], u1 = st[2], u2 = st[3], y1 = st[4], y2 = st[5];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[i];
        const float u = ap2(c1, x, x1, x2, u1, u2);
        const float y = ap2(c2, u, u1, u2, y1, y2);
        x2 = x1;
        x1 = x;
        u2 = u1;
        u1 = u;
        y2 = y1;
        y1 = y;
        out[i] = y;
    }
    const float s[6] = {x1, x2, u1, u2, y1, y2};
    oxiir::put_state(st, s, 6);
}

void ox_iir_capfilter1(float* state, const float* in_re, const float* in_im, float* out_re,
                       float* out_im, int n, ox_iir_cpx c)
{
    if (state && in_im && out_im && args_ok(in_re, out_re, out_re, n))
        run_cap1(state, in_re, in_im, out_re, out_im, n, c);
}

// ---- Odd-order split ------------------------------------------------------------------------

namespace
{

void add_pair(ox_iir_aprec* r, double a1, double a2)
{
    const int j = r->order / 2;
    r->sec[j].a1 = (float)a1;
    r->sec[j].a2 = (float)a2;
    r->order += 2;
}

// An odd-order filter whose poles split into two all-pass branches with H = (A1 + A2)/2:
// each branch's all-passes have the filter's own pole pairs as denominators, the first
// branch also its real pole. For classical low-passes (Butterworth and the like) the pairs
// alternate between the branches; which pair goes where is found by trying every
// assignment (at most 16) against the filter's magnitude on a grid. (Classifying the poles
// through the polynomial square root of N·N − D·D̃ fails for high orders and cut-offs above
// a quarter of the sample rate: that root loses every digit in float coefficients.)
bool split_odd(ox_iir_aprec* rec1, ox_iir_aprec* rec2, const ox_iir_cfNf& f)
{
    const int N = (int)f.order;
    if (N < 1 || N > 9 || !(N & 1)) return false;
    const int npair = N / 2;
    // Pole pairs by ascending real part of their poles (−a1/2), as the records store them.
    ox_iir_cf2 sec[4];
    for (int k = 0; k < npair; ++k) sec[k] = f.sec[k];
    for (int i = 1; i < npair; ++i)
        for (int j = i; j > 0 && sec[j - 1].a1 < sec[j].a1; --j) std::swap(sec[j - 1], sec[j]);
    if (!std::isfinite(f.first.a1) || !(std::fabs(f.first.a1) < 1.0f)) return false;
    const int kGrid = 64;
    double best_err = 1e300;
    int best = -1;
    for (int mask = 0; mask < (1 << npair); ++mask)
    {
        double err = 0.0;
        for (int g = 0; g < kGrid && err < best_err; ++g)
        {
            const double w = M_PI * (g + 0.5) / kGrid;
            const cd zi = std::polar(1.0, -w);
            const double a0 = f.first.a1;
            cd A1 = (a0 + zi) / (1.0 + a0 * zi), A2 = 1.0;
            cd H = ((double)f.first.b0 + (double)f.first.b1 * zi) / (1.0 + a0 * zi);
            for (int k = 0; k < npair; ++k)
            {
                const double a1 = sec[k].a1, a2 = sec[k].a2;
                const cd den = 1.0 + a1 * zi + a2 * zi * zi;
                const cd ap = (a2 + a1 * zi + zi * zi) / den;
                (mask >> k & 1 ? A1 : A2) *= ap;
                const ox_iir_cf2& s = f.sec[k];
                H *= ((double)s.b0 + (double)s.b1 * zi + (double)s.b2 * zi * zi) /
                     (1.0 + (double)s.a1 * zi + (double)s.a2 * zi * zi);
            }
            const double e = std::fabs(std::abs(A1 + A2) / 2.0 - std::abs(H));
            err = std::isfinite(e) ? std::max(err, e) : 1e300;
        }
        if (err < best_err)
        {
            best_err = err;
            best = mask;
        }
    }
    if (best < 0 || !(best_err < 0.02)) return false; // not a filter this structure can hold
    std::memset(rec1, 0, sizeof(*rec1));
    std::memset(rec2, 0, sizeof(*rec2));
    rec1->order = 1;
    rec1->a = f.first.a1;
    for (int k = 0; k < npair; ++k) add_pair(best >> k & 1 ? rec1 : rec2, sec[k].a1, sec[k].a2);
    return true;
}

} // namespace

int ox_iir_apoddtransform(ox_iir_aprec* rec1, ox_iir_aprec* rec2, ox_iir_cfNf filter)
{
    if (!rec1 || !rec2) return -3;
    if (split_odd(rec1, rec2, filter)) return 0;
    std::memset(rec1, 0, sizeof(*rec1));
    std::memset(rec2, 0, sizeof(*rec2));
    return -3;
}

void ox_iir_compoddfilters(float* state1, float* state2, const float* in, float* out_a,
                           float* out_b, int n, ox_iir_aprec rec1, ox_iir_aprec rec2)
{
    if (!state1 || !state2 || !out_b || !args_ok(in, out_a, out_a, n)) return;
    // out_b first: in may be out_a or out_b, and each copy leaves in intact for the other.
    std::memmove(out_b, in, sizeof(float) * (size_t)n);
    std::memmove(out_a, in, sizeof(float) * (size_t)n);
    const int o1 = rec1.order < 0 ? 0 : (rec1.order > 9 ? 9 : rec1.order);
    const int o2 = rec2.order < 0 ? 0 : (rec2.order > 8 ? 8 : rec2.order);
    if (o1 & 1) run_ap1(state1, out_a, out_a, n, rec1.a);
    for (int j = 0; j < o1 / 2; ++j) run_ap2(state1 + 2 + 4 * j, out_a, out_a, n, rec1.sec[j]);
    for (int j = 0; j < o2 / 2; ++j) run_ap2(state2 + 2 + 4 * j, out_b, out_b, n, rec2.sec[j]);
    for (int i = 0; i < n; ++i)
    {
        const float a1 = out_a[i], a2 = out_b[i];
        out_a[i] = (a1 + a2) * 0.5f;
        out_b[i] = (a1 - a2) * 0.5f;
    }
}

void ox_iir_compevenfilters(float* state, const float* in, float* out_re, float* out_im, int n,
                            ox_iir_caprec rec)
{
    if (!state || !out_im || !args_ok(in, out_re, out_re, n)) return;
    std::memmove(out_re, in, sizeof(float) * (size_t)n);
    std::memset(out_im, 0, sizeof(float) * (size_t)n);
    const int K = rec.count < 0 ? 0 : (rec.count > 8 ? 8 : rec.count);
    for (int j = 0; j < K; ++j)
        run_cap1(state + 4 * j, out_re, out_im, out_re, out_im, n, rec.c[j]);
    for (int i = 0; i < n; ++i)
    {
        const float re = out_re[i], im = out_im[i];
        out_re[i] = re * rec.rot.re - im * rec.rot.im;
        out_im[i] = im * rec.rot.re + re * rec.rot.im;
    }
}

void ox_iir_apeventransform(void) {}
void ox_iir_powcomp(void) {}
