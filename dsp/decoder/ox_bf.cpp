#include "ox_bf.h"

#include "ox_blockutil.h"
#include "ox_util.h"

#include <float.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__SSE__)
#include <xmmintrin.h>
#elif defined(__ARM_NEON) && defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace
{

const float kEps = 1e-20f;

float db20(float x)
{
    return float(pow(10.0, double(x) * 0.05));
}

// Grid of the coherence integral: 32 elevations times 64 azimuths, pi/32
// apart. The product of the two capsule patterns does not depend on the band,
// so it is tabulated once per table build; only cos(k sin el) changes.
const int kEl = 32, kAz = 64;

// Diffuse-field coherence of two cardioid capsules of a tetrahedral array,
// 109.47 degrees apart and `spacing` mm apart vertically, at the upper edge of
// every band, mapped so that two coincident back-to-back cardioids give 0.5.
// A spacing of 0 (coincident array) takes that coincident value from the same
// integral: a larger value would let the cross-power be raised above the
// geometric mean of the powers, and the inverse of such a covariance turns the
// beam weights into large opposing values that amplify a diffuse field.
void coherence_table(float* out, int32_t nb, const int32_t* edges, int32_t specsize, float fs,
                     float spacing)
{
    const double pi = 3.14159265358979323846;
    const double d = pi / 32.0;
    const double s3 = 1.0 / sqrt(3.0), s23 = sqrt(2.0 / 3.0);
    double pp[kEl][kAz], cosel[kEl], sinel[kEl], cosaz[kAz];
    for (int i = 0; i < kAz; ++i) cosaz[i] = cos(-pi + i * d);
    for (int j = 0; j < kEl; ++j)
    {
        const double el = -pi / 2.0 + j * d;
        cosel[j] = cos(el);
        sinel[j] = sin(el);
        for (int i = 0; i < kAz; ++i)
        {
            const double h = cosaz[i] * cosel[j] * s3;
            const double p1 = 0.5 + 0.5 * (h - s23 * sinel[j]);
            const double p2 = 0.5 + 0.5 * (h + s23 * sinel[j]);
            pp[j][i] = p1 * p2;
        }
    }
    for (int32_t b = 0; b < nb; ++b)
    {
        const float f = float(edges[b]) * fs / float(specsize);
        const double q = 0.001 * double(spacing) * double(f) * 2.0 * pi / 340.0;
        const double k = 2.0 * q * sqrt(2.0) * s3;
        double sum = 0.0;
        for (int j = 0; j < kEl; ++j)
        {
            const double c = cos(k * sinel[j]);
            for (int i = 0; i < kAz; ++i) sum += pp[j][i] * c * cosel[j] * (d * d);
        }
        const float I = float(sum / (4.0 * pi));
        out[b] = 2.9999999f * I * 1.5000002f - 0.5f;
    }
}

// 1 when the table of p was built for exactly these settings.
bool table_matches(const ox_bf_params* p, float spacing)
{
    if (!p->table_valid || p->table_spacing != spacing || p->table_sample_rate != p->sample_rate ||
        p->table_specsize != p->specsize || p->table_num_bands != p->num_bands)
        return false;
    return memcmp(p->table_edges, p->band_edges, size_t(p->num_bands) * sizeof(int32_t)) == 0;
}

// Brings the coherence table up to date: nothing when it already matches,
// a copy from `shared` when that one matches, else a new build.
void update_table(ox_bf_params* p, float spacing, const ox_bf_params* shared)
{
    if (!p->band_coherence || !p->table_edges || !p->band_edges || p->num_bands < 1 ||
        p->num_bands > p->capacity_bands || p->specsize < 1)
        return;
    if (table_matches(p, spacing)) return;
    const size_t nb = size_t(p->num_bands);
    if (shared && shared != p && shared->band_coherence && shared->table_edges &&
        shared->table_valid && shared->table_spacing == spacing &&
        shared->table_sample_rate == p->sample_rate && shared->table_specsize == p->specsize &&
        shared->table_num_bands == p->num_bands &&
        memcmp(shared->table_edges, p->band_edges, nb * sizeof(int32_t)) == 0)
        memcpy(p->band_coherence, shared->band_coherence, nb * sizeof(float));
    else
        coherence_table(p->band_coherence, p->num_bands, p->band_edges, p->specsize, p->sample_rate,
                        spacing);
    memcpy(p->table_edges, p->band_edges, nb * sizeof(int32_t));
    p->table_spacing = spacing;
    p->table_sample_rate = p->sample_rate;
    p->table_specsize = p->specsize;
    p->table_num_bands = p->num_bands;
    p->table_valid = 1;
}

int32_t update(ox_bf_params* p, ox_bf_cfg* c, const ox_bf_params* shared)
{
    if (!p || !c) return -3;
    c->beam_gain = oxblk::clampf(c->beam_gain, -10.0f, 10.0f, 0.0f);
    c->aux_factor = oxblk::clampf(c->aux_factor, 0.0f, 2.0f, 1.0f);
    c->diffuse_level = oxblk::clampf(c->diffuse_level, -180.0f, 0.0f, -40.0f);
    c->gain_floor = oxblk::clampf(c->gain_floor, -180.0f, 0.0f, -30.0f);
    c->eigen_floor = oxblk::clampf(c->eigen_floor, -180.0f, 0.0f, -20.0f);
    c->direct_floor = oxblk::clampf(c->direct_floor, -180.0f, 0.0f, -20.0f);
    c->coherence = oxblk::clampf(c->coherence, 0.0f, 1.0f, 0.5f);
    c->diffuse_scale = oxblk::clampf(c->diffuse_scale, 0.0f, 4.0f, 1.0f);
    c->diffuse_out_level = oxblk::clampf(c->diffuse_out_level, -180.0f, 40.0f, -10.0f);
    c->direct_mix = oxblk::clampf(c->direct_mix, -40.0f, 40.0f, 0.0f);
    c->diffuse_mix = oxblk::clampf(c->diffuse_mix, -40.0f, 40.0f, 0.0f);
    c->spacing = oxblk::clampf(c->spacing, 0.0f, 100.0f, 20.0f);

    p->mode = c->mode;
    p->beam_gain = db20(c->beam_gain);
    p->aux_factor = c->aux_factor;
    p->diffuse_level = db20(c->diffuse_level);
    p->gain_floor = db20(c->gain_floor);
    p->eigen_floor = float(pow(10.0, double(c->eigen_floor) * 0.1));
    p->direct_floor = db20(c->direct_floor);
    p->coherence = c->coherence;
    p->diffuse_scale = c->diffuse_scale;
    p->diffuse_out_level = db20(c->diffuse_out_level);
    p->direct_mix = db20(c->direct_mix);
    p->diffuse_mix = db20(c->diffuse_mix);
    p->coherence_exponent = isfinite(c->coherence_exponent) ? c->coherence_exponent : 1.0f;
    const float ms = p->sample_rate > 0.0f ? oxblk::frame_ms(p) : 0.0f;
    p->cross_attack = oxblk::smoothing_factor(ms, c->cross_attack_time, 10.0f);
    p->cross_release = oxblk::smoothing_factor(ms, c->cross_release_time, 10.0f);
    p->weight_attack = oxblk::smoothing_factor(ms, c->weight_attack_time, 10.0f);
    p->weight_release = oxblk::smoothing_factor(ms, c->weight_release_time, 10.0f);
    update_table(p, c->spacing, shared);
    return 0;
}

// One adaptive smoothing step of a weight from its stored value o towards
// the new value w. The step is the change |w - o| (relative to the larger
// magnitude with OX_BF_RELATIVE_STEP), so it stays large when w changes sign
// and a beam that should now subtract its rear cardioid does so.
float smooth(const ox_bf_params* p, float o, float w, float cohfac)
{
    if (!isfinite(w)) return o;
    if (!(p->mode & OX_BF_SMOOTH_WEIGHTS)) return w;
    float step = fabsf(w - o);
    if (p->mode & OX_BF_RELATIVE_STEP) step /= oxblk::fmax(fabsf(o), fabsf(w) + kEps);
    step *= fabsf(o) > fabsf(w) ? p->weight_release : p->weight_attack;
    step = oxblk::clampf(step, 0.0f, 1.0f, 1.0f);
    if (p->mode & OX_BF_COHERENCE_STEP) step *= cohfac;
    return o * (1.0f - step) + w * step;
}

// Cosine and sine of t = atan2(y, x) / 2, the rotation onto the eigenvectors,
// from the half-angle identities rather than atan2, cos and sin: with
// r = |(x, y)|, cos 2t = x / r and sin 2t = y / r; t lies in (-pi/2, pi/2],
// so cos t >= 0 and sin t takes the sign of y. The larger of cos t and |sin t|
// comes from its square root, the smaller from sin 2t / (2 * larger), which
// stays accurate at both ends. In double, so that x² + y² cannot overflow.
void eigen_rotation(float y, float x, float* c, float* s)
{
    const double r = sqrt(double(x) * x + double(y) * y);
    if (!(r > 0.0) || !isfinite(r))
    {
        // Zero (atan2(0, 0) = 0) or a non-finite input: the library route.
        const float t = 0.5f * atan2f(y, x);
        *c = cosf(t);
        *s = sinf(t);
        return;
    }
    const double c2 = x / r, s2 = y / r;
    if (c2 >= 0.0)
    {
        const double ct = sqrt(0.5 * (1.0 + c2));
        *c = float(ct);
        *s = float(0.5 * s2 / ct);
    }
    else
    {
        const double st = copysign(sqrt(0.5 * (1.0 - c2)), double(y));
        *c = float(0.5 * s2 / st);
        *s = float(st);
    }
}

// Directional gain of the direct sound with direct powers S1 (front cardioid)
// and S2 (rear cardioid) and their geometric mean R.
float direct_gain(const ox_bf_params* p, float S1, float S2, float R, float focus)
{
    float g;
    if (focus < 0.0f)
    {
        // Cosine of the direct sound's angle to the beam axis: the two
        // cardioids see (1 + cos)/2 and (1 - cos)/2 of its amplitude. Without
        // direct sound (S1 = S2 = 0) the angle has no value and the gain takes
        // its upper bound.
        const float a = sqrtf(S1), b = sqrtf(S2);
        if (a + b > 0.0f)
        {
            g = 0.5f * (1.0f + (a - b) / (a + b));
            if (focus < -2.5f) g *= g;
        }
        else
            g = 1.0f;
    }
    else
        g = 1.0f - (R / (S1 + kEps)) * oxblk::fmin(S1 / (R + kEps), focus);
    g = oxblk::clampf(g, p->direct_floor, 1.0f, 1.0f);
    if (p->direct_floor < 1e-6f) g = 0.0f;
    return g;
}

// The state arrays in their order.
void state_arrays(ox_bf_state* s, float** out[7])
{
    float** a[7] = {&s->power1,  &s->power2,  &s->cross,  &s->weight1,
                    &s->weight2, &s->weight3, &s->weight4};
    for (int i = 0; i < 7; ++i) out[i] = a[i];
}

// The two fixed channel counts and the shared header.
void store_header(ox_bf_params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                  const int32_t* band_edges, float sample_rate)
{
    p->num_inputs = 2;
    p->num_outputs = 1;
    oxblk::store_header(p, framesize, specsize, num_bands, band_edges, sample_rate);
}

// Output 1's mix: the factor on the directional gain (the direct mix with one
// combined output, else 1) and, into *kd, the share of the diffuse power.
float output1_mix(const ox_bf_params* p, float* kd)
{
    if (!(p->mode & OX_BF_COMBINED))
    {
        *kd = p->diffuse_level;
        return 1.0f;
    }
    *kd = p->diffuse_out_level < 1e-6f ? 0.0f : p->diffuse_mix;
    return p->direct_mix;
}

// 1. Band statistics of band b, smoothed into the state; their smoothed
// values into P1, P2 and Q. A frame whose sums are not finite is skipped
// (false, nothing written), so one bad sample never stays in the smoothed
// statistics.
bool band_statistics(const ox_bf_params* params, ox_bf_state* state, const float* const* pair,
                     const float* smoothing, int32_t b, float* P1o, float* P2o, float* Qo)
{
    const int32_t nb = params->num_bands, ns = params->specsize, mode = params->mode;
    float E[2], X, Xi;
    oxblk::band_sums<2>(pair, b, nb, params->band_edges, ns, E, &X, &Xi);
    const float E1 = E[0], E2 = E[1];
    if (!isfinite(E1) || !isfinite(E2) || !isfinite(X)) return false;
    float s;
    if (mode & OX_BF_CALLER_SMOOTHING)
        s = smoothing ? oxblk::clampf(smoothing[b], 0.0f, 1.0f, 1.0f) : 1.0f;
    else
    {
        const float o = state->cross[b];
        const float f = fabsf(o) > fabsf(X) ? params->cross_release : params->cross_attack;
        s = oxblk::clampf(fabsf(X - o) / oxblk::fmax(fabsf(o), fabsf(X) + kEps) * f, 0.0f, 1.0f,
                          1.0f);
    }
    const float a = (mode & OX_BF_SMOOTH_STATS) ? s : 1.0f;
    state->cross[b] = a * X + (1.0f - a) * state->cross[b];
    state->power1[b] = a * E1 + (1.0f - a) * state->power1[b];
    state->power2[b] = a * E2 + (1.0f - a) * state->power2[b];

    *P1o = state->power1[b];
    *P2o = state->power2[b];
    *Qo = state->cross[b];
    return true;
}

// 2 - 9. The model of band b from its smoothed statistics, into the weights.
void band_model(const ox_bf_params* params, ox_bf_state* state, const float* coherence, float focus,
                int32_t b, float P1, float P2, float Q)
{
    const int32_t mode = params->mode;
    // 2. Model inputs.
    float gamma = params->coherence;
    if (mode & OX_BF_LEVEL_MODEL)
    {
        // Level difference and normalised cross-power, both soft-limited,
        // so the covariance stays well conditioned.
        gamma = params->band_coherence[b];
        const float L = 10.0f * log10f(P2 / (P1 + kEps));
        const float r = Q / (sqrtf(P1) * sqrtf(P2) + kEps);
        const float ll = params->level_limit, sl = params->soft_limit;
        P1 = 1.0f;
        P2 = powf(10.0f, tanhf(L / ll) * ll / 10.0f);
        Q = (sqrtf(P2) + kEps) * tanhf(r / sl) * sl;
    }

    // 3. Keep the cross-power within what the powers allow, and at least
    // the diffuse field's share.
    Q = oxblk::fmin(Q, sqrtf(P1) * sqrtf(P2) + kEps);
    Q = oxblk::fmax(Q, gamma * oxblk::fmin(P1, P2));

    // 4. Diffuse power: the smaller root of the model P = S + Pd * [[1,
    // gamma], [gamma, 1]] with a rank-one direct part S.
    const float B = 2.0f * gamma * Q - P1 - P2;
    const float A = 1.0f - gamma * gamma;
    const float D = P1 * P2 - Q * Q;
    float Pd = (-B - sqrtf(oxblk::fmax(0.0f, B * B - 4.0f * A * D))) / (2.0f * A + kEps) *
               params->diffuse_scale;
    Pd = oxblk::clampf(Pd, 0.0f, oxblk::fmin(P1, P2), 0.0f);
    const float S1 = P1 - Pd, S2 = P2 - Pd;
    const float R = sqrtf(S1 * S2);

    float cohfac = 1.0f;
    if (mode & OX_BF_COHERENCE_STEP)
    {
        const float cb = coherence ? oxblk::clampf(coherence[b], 0.0f, 1.0f, 0.0f) : 0.0f;
        const double f = 1.0 - oxblk::pow_of_float(cb, double(params->coherence_exponent));
        cohfac = float(oxblk::clampd(f, 0.0, 1.0, 1.0));
    }

    if (mode & OX_BF_SINGLE_GAIN)
    {
        const float q = oxblk::clampf(S1 / (P1 + kEps), 0.0f, 1.0f, 0.0f);
        const float G1 = q + (1.0f - q) * params->diffuse_mix;
        const float G2 = oxblk::fmin(R / (P2 + kEps), focus) * G1;
        state->weight1[b] =
            oxblk::fmax(smooth(params, state->weight1[b], G1, cohfac), params->gain_floor);
        state->weight2[b] =
            oxblk::fmax(smooth(params, state->weight2[b], G2, cohfac), params->gain_floor);
        return;
    }

    // 5. Inverse covariance.
    float m11, m12, m22;
    if (mode & OX_BF_LEVEL_MODEL)
    {
        // Exact inverse. The determinant keeps its sign but never comes
        // closer to 0 than 1 % of P1 P2: a cross-power raised above the
        // powers' geometric mean (coherence above 1) can make the matrix
        // singular, and its inverse would blow the weights up.
        float det = D + kEps;
        const float floor = 0.01f * P1 * P2 + kEps;
        if (fabsf(det) < floor) det = det < 0.0f ? -floor : floor;
        m11 = P2 / det;
        m22 = P1 / det;
        m12 = -Q / det;
    }
    else
    {
        // Eigen decomposition with the smaller eigenvalue floored
        // relative to the larger one.
        const float m = 0.5f * (P1 + P2);
        const float root = sqrtf(oxblk::fmax(m * m - D, kEps));
        const float l1 = m + root;
        const float l2 = oxblk::fmax(oxblk::fmax(m - root, params->eigen_floor * l1), kEps);
        float c, sn;
        eigen_rotation(2.0f * Q * (P1 + P2), P1 * P1 - P2 * P2, &c, &sn);
        m11 = c * c / l1 + sn * sn / l2;
        m22 = sn * sn / l1 + c * c / l2;
        m12 = c * sn * (1.0f / l1 - 1.0f / l2);
    }

    // 6, 7. Directional gain and the target of output 1.
    float kd;
    const float g = direct_gain(params, S1, S2, R, focus) * output1_mix(params, &kd);
    float t1 = g * S1 + kd * Pd, t2 = g * R + kd * gamma * Pd;
    state->weight1[b] = smooth(params, state->weight1[b], m11 * t1 + m12 * t2, cohfac);
    state->weight2[b] = smooth(params, state->weight2[b], m12 * t1 + m22 * t2, cohfac);

    // 9. Output 2: the diffuse sound plus a little direct sound.
    if (!(mode & OX_BF_COMBINED))
    {
        const float md = params->diffuse_out_level < 1e-6f ? 0.0f : 1.0f;
        t1 = params->diffuse_level * S1 + md * Pd;
        t2 = params->diffuse_level * R + md * gamma * Pd;
        state->weight3[b] = smooth(params, state->weight3[b], m11 * t1 + m12 * t2, cohfac);
        state->weight4[b] = smooth(params, state->weight4[b], m12 * t1 + m22 * t2, cohfac);
    }
}

// ---- Four bands to a vector
//
// Lane l carries band b0 + l through the same operations in the same order as
// band_model, so the weights are bit-identical; only atan2, cos, sin and pow
// stay scalar. Square roots and quotients are correctly rounded in both forms.

using oxblk::v4f;
typedef int32_t v4i __attribute__((vector_size(16)));

inline v4f vsel(v4i m, v4f a, v4f b)
{
    return m ? a : b;
}

// |x| by clearing the sign bit, as fabsf does (-0 becomes +0).
inline v4f vabs(v4f x)
{
    return (v4f)((v4i)x & 0x7fffffff);
}

inline v4i visfinite(v4f x)
{
    return vabs(x) <= FLT_MAX;
}

// oxblk::fmin / fmax / clampf lane by lane.
inline v4f vmin(v4f a, v4f b)
{
    return vsel((a < b) | (b != b), a, b);
}

inline v4f vmax(v4f a, v4f b)
{
    return vsel((a > b) | (b != b), a, b);
}

inline v4f vclamp(v4f x, v4f lo, v4f hi, float def)
{
    const v4f r = vsel(x < lo, lo, vsel(x > hi, hi, x));
    return vsel(visfinite(x), r, v4f{def, def, def, def});
}

inline v4f vsqrt(v4f x)
{
#if defined(__SSE__)
    return (v4f)_mm_sqrt_ps((__m128)x);
#elif defined(__ARM_NEON) && defined(__aarch64__)
    return (v4f)vsqrtq_f32((float32x4_t)x);
#else
    for (int l = 0; l < 4; ++l) x[l] = sqrtf(x[l]);
    return x;
#endif
}

inline v4f splat(float x)
{
    return v4f{x, x, x, x};
}

// smooth() lane by lane.
v4f smooth4(const ox_bf_params* p, v4f o, v4f w, v4f cohfac)
{
    const v4i fin = visfinite(w);
    if (!(p->mode & OX_BF_SMOOTH_WEIGHTS)) return vsel(fin, w, o);
    v4f step = vabs(w - o);
    if (p->mode & OX_BF_RELATIVE_STEP) step /= vmax(vabs(o), vabs(w) + kEps);
    step *= vsel(vabs(o) > vabs(w), splat(p->weight_release), splat(p->weight_attack));
    step = vclamp(step, splat(0.0f), splat(1.0f), 1.0f);
    if (p->mode & OX_BF_COHERENCE_STEP) step *= cohfac;
    return vsel(fin, o * (1.0f - step) + w * step, o);
}

// direct_gain() lane by lane.
v4f direct_gain4(const ox_bf_params* p, v4f S1, v4f S2, v4f R, float focus)
{
    v4f g;
    if (focus < 0.0f)
    {
        const v4f a = vsqrt(S1), b = vsqrt(S2);
        v4f h = 0.5f * (1.0f + (a - b) / (a + b));
        if (focus < -2.5f) h *= h;
        g = vsel(a + b > 0.0f, h, splat(1.0f));
    }
    else
        g = 1.0f - (R / (S1 + kEps)) * vmin(S1 / (R + kEps), splat(focus));
    g = vclamp(g, splat(p->direct_floor), splat(1.0f), 1.0f);
    if (p->direct_floor < 1e-6f) g = splat(0.0f);
    return g;
}

// eigen_rotation() lane by lane, two lanes to a vector of doubles. Square roots and quotients
// are correctly rounded in both forms, so the results are the same; a lane with a zero or
// non-finite radius takes the scalar route.
void eigen_rotation4(v4f y, v4f x, v4f* c, v4f* s)
{
    typedef double v2d __attribute__((vector_size(16)));
    typedef int64_t v2l __attribute__((vector_size(16)));
    for (int h = 0; h < 2; ++h)
    {
        const v2d yd = {y[2 * h], y[2 * h + 1]}, xd = {x[2 * h], x[2 * h + 1]};
        v2d r = xd * xd + yd * yd;
#if defined(__SSE2__)
        r = (v2d)_mm_sqrt_pd((__m128d)r);
#else
        r = v2d{sqrt(r[0]), sqrt(r[1])};
#endif
        const v2d c2 = xd / r, s2 = yd / r;
        v2d ct = 0.5 * (1.0 + c2), st = 0.5 * (1.0 - c2);
#if defined(__SSE2__)
        ct = (v2d)_mm_sqrt_pd((__m128d)ct);
        st = (v2d)_mm_sqrt_pd((__m128d)st);
#else
        ct = v2d{sqrt(ct[0]), sqrt(ct[1])};
        st = v2d{sqrt(st[0]), sqrt(st[1])};
#endif
        // copysign(st, y): st is not negative, so the sign bit of y is or-ed in.
        st = (v2d)((v2l)st | ((v2l)yd & (v2l){INT64_MIN, INT64_MIN}));
        const v2l pos = c2 >= 0.0;
        const v2d cv = pos ? ct : 0.5 * s2 / st;
        const v2d sv = pos ? 0.5 * s2 / ct : st;
        for (int l = 0; l < 2; ++l)
        {
            const int lane = 2 * h + l;
            if (!(r[l] > 0.0) || !isfinite(r[l]))
                eigen_rotation(y[lane], x[lane], &(*c)[lane], &(*s)[lane]);
            else
            {
                (*c)[lane] = float(cv[l]);
                (*s)[lane] = float(sv[l]);
            }
        }
    }
}

// Bands b0 .. b0 + 3 of the eigen model with two-tap weights. A band whose
// statistics are not finite keeps its whole state, as in the scalar path.
void bands4(const ox_bf_params* params, ox_bf_state* state, const float* const* pair,
            const float* smoothing, const float* coherence, float focus, int32_t b0)
{
    const int32_t mode = params->mode;
    v4f P1, P2, Q, cohfac = splat(1.0f);
    // 1. Band statistics (band_statistics lane by lane).
    v4f E1, E2, X;
    for (int l = 0; l < 4; ++l)
    {
        float e[2], x, xi;
        oxblk::band_sums<2>(pair, b0 + l, params->num_bands, params->band_edges, params->specsize,
                            e, &x, &xi);
        E1[l] = e[0];
        E2[l] = e[1];
        X[l] = x;
    }
    const v4i ok = visfinite(E1) & visfinite(E2) & visfinite(X);
    float* cross = state->cross + b0;
    float* power1 = state->power1 + b0;
    float* power2 = state->power2 + b0;
    const v4f o = oxblk::load4(cross);
    v4f s;
    if (mode & OX_BF_CALLER_SMOOTHING)
        s = smoothing ? vclamp(oxblk::load4(smoothing + b0), splat(0.0f), splat(1.0f), 1.0f)
                      : splat(1.0f);
    else
    {
        const v4f f =
            vsel(vabs(o) > vabs(X), splat(params->cross_release), splat(params->cross_attack));
        s = vclamp(vabs(X - o) / vmax(vabs(o), vabs(X) + kEps) * f, splat(0.0f), splat(1.0f), 1.0f);
    }
    const v4f a = (mode & OX_BF_SMOOTH_STATS) ? s : splat(1.0f);
    const v4f p1o = oxblk::load4(power1), p2o = oxblk::load4(power2);
    Q = vsel(ok, a * X + (1.0f - a) * o, o);
    P1 = vsel(ok, a * E1 + (1.0f - a) * p1o, p1o);
    P2 = vsel(ok, a * E2 + (1.0f - a) * p2o, p2o);
    oxblk::store4(cross, Q);
    oxblk::store4(power1, P1);
    oxblk::store4(power2, P2);
    // A skipped band runs the model on neutral values; its weights are kept below.
    P1 = vsel(ok, P1, splat(1.0f));
    P2 = vsel(ok, P2, splat(1.0f));
    Q = vsel(ok, Q, splat(0.0f));
    for (int l = 0; l < 4; ++l)
    {
        if (mode & OX_BF_COHERENCE_STEP)
        {
            const float cb = coherence ? oxblk::clampf(coherence[b0 + l], 0.0f, 1.0f, 0.0f) : 0.0f;
            const double f = 1.0 - oxblk::pow_of_float(cb, double(params->coherence_exponent));
            cohfac[l] = float(oxblk::clampd(f, 0.0, 1.0, 1.0));
        }
    }

    // 3, 4. Cross-power limits and diffuse power.
    const v4f gamma = splat(params->coherence);
    Q = vmin(Q, vsqrt(P1) * vsqrt(P2) + kEps);
    Q = vmax(Q, gamma * vmin(P1, P2));
    const v4f B = 2.0f * gamma * Q - P1 - P2;
    const v4f A = 1.0f - gamma * gamma;
    const v4f D = P1 * P2 - Q * Q;
    v4f Pd = (-B - vsqrt(vmax(splat(0.0f), B * B - 4.0f * A * D))) / (2.0f * A + kEps) *
             params->diffuse_scale;
    Pd = vclamp(Pd, splat(0.0f), vmin(P1, P2), 0.0f);
    const v4f S1 = P1 - Pd, S2 = P2 - Pd;
    const v4f R = vsqrt(S1 * S2);

    // 5. Inverse covariance by the eigen decomposition.
    const v4f m = 0.5f * (P1 + P2);
    const v4f root = vsqrt(vmax(m * m - D, splat(kEps)));
    const v4f l1 = m + root;
    const v4f l2 = vmax(vmax(m - root, params->eigen_floor * l1), splat(kEps));
    const v4f y = 2.0f * Q * (P1 + P2), x = P1 * P1 - P2 * P2;
    v4f c, sn;
    eigen_rotation4(y, x, &c, &sn);
    const v4f m11 = c * c / l1 + sn * sn / l2;
    const v4f m22 = sn * sn / l1 + c * c / l2;
    const v4f m12 = c * sn * (1.0f / l1 - 1.0f / l2);

    // 6, 7. Directional gain and the target of output 1.
    float kd;
    const v4f g = direct_gain4(params, S1, S2, R, focus) * output1_mix(params, &kd);
    v4f t1 = g * S1 + kd * Pd, t2 = g * R + kd * gamma * Pd;
    float* w1 = state->weight1 + b0;
    float* w2 = state->weight2 + b0;
    const v4f o1 = oxblk::load4(w1), o2 = oxblk::load4(w2);
    oxblk::store4(w1, vsel(ok, smooth4(params, o1, m11 * t1 + m12 * t2, cohfac), o1));
    oxblk::store4(w2, vsel(ok, smooth4(params, o2, m12 * t1 + m22 * t2, cohfac), o2));

    // 9. Output 2: the diffuse sound plus a little direct sound.
    if (!(mode & OX_BF_COMBINED))
    {
        const float md = params->diffuse_out_level < 1e-6f ? 0.0f : 1.0f;
        t1 = params->diffuse_level * S1 + md * Pd;
        t2 = params->diffuse_level * R + md * gamma * Pd;
        float* w3 = state->weight3 + b0;
        float* w4 = state->weight4 + b0;
        const v4f o3 = oxblk::load4(w3), o4 = oxblk::load4(w4);
        oxblk::store4(w3, vsel(ok, smooth4(params, o3, m11 * t1 + m12 * t2, cohfac), o3));
        oxblk::store4(w4, vsel(ok, smooth4(params, o4, m12 * t1 + m22 * t2, cohfac), o4));
    }
}

} // namespace

extern "C" {

int32_t ox_bf_alloc(ox_bf_params* params, ox_bf_state* state, int32_t framesize, int32_t specsize,
                    int32_t num_bands, const int32_t* band_edges, float sample_rate)
{
    const int32_t rc =
        oxblk::begin_alloc(params, state, framesize, specsize, num_bands, band_edges, sample_rate);
    if (rc) return rc;
    store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    params->capacity_bands = num_bands;
    const size_t nb = size_t(num_bands);
    params->band_coherence = static_cast<float*>(calloc(nb, sizeof(float)));
    params->table_edges = static_cast<int32_t*>(calloc(nb, sizeof(int32_t)));
    float** arrays[7];
    state_arrays(state, arrays);
    if (oxblk::alloc_arrays(arrays, 7, nb) || !params->band_coherence || !params->table_edges)
    {
        ox_bf_done(params, state);
        return -2;
    }
    return 0;
}

void ox_bf_default_cfg(ox_bf_cfg* cfg)
{
    if (!cfg) return;
    cfg->mode = 188;
    cfg->beam_gain = 0.0f;
    cfg->aux_factor = 1.0f;
    cfg->diffuse_level = -40.0f;
    cfg->gain_floor = -30.0f;
    cfg->eigen_floor = -20.0f;
    cfg->direct_floor = -20.0f;
    cfg->coherence = 0.5f;
    cfg->diffuse_scale = 1.0f;
    cfg->diffuse_out_level = -10.0f;
    cfg->direct_mix = 0.0f;
    cfg->diffuse_mix = 0.0f;
    cfg->cross_attack_time = 10.0f;
    cfg->cross_release_time = 10.0f;
    cfg->weight_attack_time = 10.0f;
    cfg->weight_release_time = 10.0f;
    cfg->coherence_exponent = 1.0f;
    cfg->spacing = 20.0f;
}

int32_t ox_bf_init(ox_bf_params* params, ox_bf_state* state, ox_bf_cfg* cfg, int32_t framesize,
                   int32_t specsize, int32_t num_bands, const int32_t* band_edges,
                   float sample_rate)
{
    if (!params || !state || !cfg) return -3;
    const int32_t rc = oxblk::check_init_sizes(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    // The arrays were sized by ox_bf_alloc: more bands would run past them.
    if (num_bands > params->capacity_bands || !band_edges || !params->band_coherence ||
        !state->power1 || !state->weight4)
        return -3;
    store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    params->soft_limit = 1.8317807f;
    params->level_limit = 40.0f;
    ox_bf_update_cfg(params, cfg);
    ox_bf_reset(params, state);
    return 0;
}

int32_t ox_bf_update_cfg(ox_bf_params* params, ox_bf_cfg* cfg)
{
    return update(params, cfg, nullptr);
}

int32_t ox_bf_update_cfg_shared(ox_bf_params* params, ox_bf_cfg* cfg, const ox_bf_params* shared)
{
    return update(params, cfg, shared);
}

void ox_bf_reset(ox_bf_params* params, ox_bf_state* state)
{
    if (!params || !state) return;
    const int32_t n =
        params->num_bands < params->capacity_bands ? params->num_bands : params->capacity_bands;
    if (n < 1) return;
    float** arrays[7];
    state_arrays(state, arrays);
    for (float** a : arrays)
        if (*a) memset(*a, 0, size_t(n) * sizeof(float));
}

void ox_bf_process_frame(const ox_bf_params* params, ox_bf_state* state, const float* const* pair,
                         const float* smoothing, const float* coherence, float focus)
{
    if (!params || !state || !pair || !pair[0] || !pair[1] || !params->band_edges ||
        !params->band_coherence || !state->power1 || !state->weight4)
        return;
    const int32_t nb = params->num_bands;
    if (nb < 1 || nb > params->capacity_bands) return;
    const int32_t mode = params->mode;
    if (!isfinite(focus)) focus = 0.0f;

    int32_t b = 0;
    // The eigen model with two-tap weights (the decoder's default) runs four
    // bands to a vector; the other models band by band.
    if (!(mode & (OX_BF_LEVEL_MODEL | OX_BF_SINGLE_GAIN)))
        for (; b + 4 <= nb; b += 4) bands4(params, state, pair, smoothing, coherence, focus, b);
    for (; b < nb; ++b)
    {
        float P1, P2, Q;
        if (band_statistics(params, state, pair, smoothing, b, &P1, &P2, &Q))
            band_model(params, state, coherence, focus, b, P1, P2, Q);
    }
}

void ox_bf_done(ox_bf_params* params, ox_bf_state* state)
{
    if (params)
    {
        free(params->band_coherence);
        params->band_coherence = nullptr;
        free(params->table_edges);
        params->table_edges = nullptr;
        params->table_valid = 0;
    }
    if (!state) return;
    float** arrays[7];
    state_arrays(state, arrays);
    oxblk::free_arrays(arrays, 7);
}

} // extern "C"
