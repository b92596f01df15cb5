#include "ox_a2b.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "ox_blockutil.h"
#include "ox_perc.h"
#include "ox_util.h"

namespace
{

const float kPi = 3.14159265f;
const float kDefaultSpacing = 20.0f;
const float kDefaultTime = 10.0f;
const float kDefaultExponent = 1.0f;
const float kSpeedOfSound = 340.0f; // m/s

// The sixteen state arrays and max_phase, with their lengths in
// floats, in one list so that alloc, reset and done cannot miss one.
const int kNumArrays = 17;

void array_slots(ox_a2b_params* p, ox_a2b_state* s, float** slots[kNumArrays],
                 int32_t counts[kNumArrays])
{
    const int32_t nb = p->num_bands;
    const int32_t cs = 2 * p->specsize;
    float** sl[kNumArrays] = {&p->max_phase,      &s->ref_energy,    &s->smoothing,
                              &s->reference,      &s->cross[0],      &s->cross[1],
                              &s->cross[2],       &s->cross[3],      &s->correction[0],
                              &s->correction[1],  &s->correction[2], &s->correction[3],
                              &s->prev_energy,    &s->cur_energy,    &s->frame_cross,
                              &s->prev_reference, &s->coherence};
    const int32_t cn[kNumArrays] = {nb,     nb,     nb,     cs,     2 * nb, 2 * nb,
                                    2 * nb, 2 * nb, 2 * nb, 2 * nb, 2 * nb, 2 * nb,
                                    nb,     nb,     cs,     cs,     nb};
    for (int i = 0; i < kNumArrays; ++i)
    {
        slots[i] = sl[i];
        counts[i] = cn[i];
    }
}

// Capsule directions of the tetrahedron (x front, y left, z up), order LF, RF, LB, RB.
const double kCapsules[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};

// Determinant of the 3 x 3 minor of m without row r and column c.
double minor3(const double m[4][4], int r, int c)
{
    int rows[3], cols[3];
    for (int i = 0, k = 0; i < 4; ++i)
        if (i != r) rows[k++] = i;
    for (int j = 0, k = 0; j < 4; ++j)
        if (j != c) cols[k++] = j;
    auto a = [&](int i, int j) { return m[rows[i]][cols[j]]; };
    return a(0, 0) * (a(1, 1) * a(2, 2) - a(1, 2) * a(2, 1)) -
           a(0, 1) * (a(1, 0) * a(2, 2) - a(1, 2) * a(2, 0)) +
           a(0, 2) * (a(1, 0) * a(2, 1) - a(1, 1) * a(2, 0));
}

// Encoding matrix (each capsule as a cardioid seen from B-format) and its
// inverse by adjugate over determinant. Returns -3 for a singular matrix.
int build_matrix(float out[4][4])
{
    double enc[4][4];
    for (int i = 0; i < 4; ++i)
    {
        const double x = kCapsules[i][0], y = kCapsules[i][1], z = kCapsules[i][2];
        const double az = std::atan2(y, x);
        const double el = std::asin(z / std::sqrt(x * x + y * y + z * z));
        enc[i][0] = 0.70710677;
        enc[i][1] = 0.5 * std::cos(el) * std::cos(az);
        enc[i][2] = 0.5 * std::cos(el) * std::sin(az);
        enc[i][3] = 0.5 * std::sin(el);
    }
    double det = 0.0;
    for (int j = 0; j < 4; ++j) det += ((j & 1) ? -1.0 : 1.0) * enc[0][j] * minor3(enc, 0, j);
    if (det == 0.0)
    {
        fprintf(stderr, "Singular Matrix, determinant is %f\n", det);
        return -3;
    }
    // inverse[i][j] = cofactor[j][i] / det
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[i][j] = float((((i + j) & 1) ? -1.0 : 1.0) * minor3(enc, j, i) / det);
    return 0;
}

// The two fixed channel counts and the shared header.
void store_header(ox_a2b_params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                  const int32_t* band_edges, float sample_rate)
{
    p->num_capsules = 4;
    p->num_outputs = 4;
    oxblk::store_header(p, framesize, specsize, num_bands, band_edges, sample_rate);
}

using oxblk::finite_or_zero;

} // namespace

extern "C" {

int ox_a2b_alloc(ox_a2b_params* params, ox_a2b_state* state, int32_t framesize, int32_t specsize,
                 int32_t num_bands, const int32_t* band_edges, const float* band_table,
                 float sample_rate)
{
    if (!params || !state) return -3;
    const int rc = oxblk::check_alloc_args_int32(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    params->band_table = band_table;
    float** slots[kNumArrays];
    int32_t counts[kNumArrays];
    array_slots(params, state, slots, counts);
    return oxblk::alloc_arrays(slots, counts, kNumArrays);
}

void ox_a2b_default_cfg(ox_a2b_cfg* cfg)
{
    if (!cfg) return;
    cfg->flags = OX_A2B_APPLY_ALIGN | OX_A2B_MEAN_REF | OX_A2B_ADAPTIVE;
    cfg->spacing = kDefaultSpacing;
    cfg->attack_time = kDefaultTime;
    cfg->release_time = kDefaultTime;
    cfg->coherence_exponent = kDefaultExponent;
    cfg->coherence_time = kDefaultTime;
}

int ox_a2b_init(ox_a2b_params* params, ox_a2b_state* state, ox_a2b_cfg* cfg, int32_t framesize,
                int32_t specsize, int32_t num_bands, float sample_rate, const int32_t* band_edges,
                const float* band_table)
{
    if (!params || !state || !cfg) return -3;
    int rc =
        oxblk::check_init_args(params, framesize, specsize, num_bands, band_edges, sample_rate);
    if (rc) return rc;
    if (!params->max_phase || !state->reference || !band_table) return -3;
    store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    params->band_table = band_table;
    rc = build_matrix(params->matrix);
    if (rc) return rc;
    ox_a2b_update_cfg(params, cfg);
    ox_a2b_reset(params, state);
    return 0;
}

int ox_a2b_update_cfg(ox_a2b_params* params, ox_a2b_cfg* cfg)
{
    if (!params || !cfg) return 0;
    cfg->spacing = ox_clampf(cfg->spacing, 0.0f, 100.0f, kDefaultSpacing);
    const float frame_ms = oxblk::frame_ms(params);
    params->flags = cfg->flags;
    params->attack = oxblk::smoothing_factor(frame_ms, cfg->attack_time, kDefaultTime);
    params->release = oxblk::smoothing_factor(frame_ms, cfg->release_time, kDefaultTime);
    params->coherence_factor = oxblk::smoothing_factor(frame_ms, cfg->coherence_time, kDefaultTime);
    params->coherence_exponent =
        ox_isfinitef(cfg->coherence_exponent) ? cfg->coherence_exponent : kDefaultExponent;
    if (cfg->spacing > 0.0f)
    {
        // Travel time across the spacing in samples, and the phase that this
        // delay causes at each band's upper edge.
        const float d = params->sample_rate * (cfg->spacing * 0.001f) / kSpeedOfSound;
        if (params->max_phase && params->band_edges)
            for (int32_t b = 0; b < params->num_bands; ++b)
                params->max_phase[b] =
                    float(params->band_edges[b]) * d * kPi / float(params->specsize);
    }
    else
    {
        params->flags |= OX_A2B_NO_ALIGN;
    }
    return 0;
}

void ox_a2b_reset(ox_a2b_params* params, ox_a2b_state* state)
{
    if (!params || !state) return;
    float** slots[kNumArrays];
    int32_t counts[kNumArrays];
    array_slots(params, state, slots, counts);
    // Slot 0 is max_phase, a parameter: only the state is cleared.
    for (int i = 1; i < kNumArrays; ++i)
        if (*slots[i]) memset(*slots[i], 0, sizeof(float) * size_t(counts[i]));
}

void ox_a2b_process1_frame(ox_a2b_params* params, ox_a2b_state* state, const float* const* in)
{
    if (!params || !state || !in || !state->reference || params->num_bands < 1) return;
    const int32_t nb = params->num_bands;
    const int32_t n2 = 2 * params->specsize;
    const int32_t* edges = params->band_edges;
    float* ref = state->reference;
    float* prev = state->prev_reference;
    float* fc = state->frame_cross;

    if (params->flags & OX_A2B_MEAN_REF)
    {
        const float *a = in[0], *b = in[1], *c = in[2], *d = in[3];
        for (int32_t i = 0; i < n2; ++i) ref[i] = 0.25f * (a[i] + b[i] + c[i] + d[i]);
    }
    else
    {
        memcpy(ref, in[0], sizeof(float) * size_t(n2));
    }

    const float g = params->coherence_factor;
    const float g1 = 1.0f - g;
    for (int32_t b = 0; b < nb; ++b)
    {
        float e = 0.0f, ep = 0.0f, sr = 0.0f, si = 0.0f;
        int32_t lo, hi;
        oxblk::band_bins(b, edges, params->specsize, &lo, &hi);
        for (int32_t k = lo; k < hi; ++k)
        {
            const float rr = ref[2 * k], ri = ref[2 * k + 1];
            const float pr = prev[2 * k], pi = prev[2 * k + 1];
            // previous x conj(current)
            fc[2 * k] = g * (pr * rr + pi * ri) + g1 * fc[2 * k];
            fc[2 * k + 1] = g * (pi * rr - pr * ri) + g1 * fc[2 * k + 1];
            e += rr * rr + ri * ri;
            ep += pr * pr + pi * pi;
            sr += std::fabs(fc[2 * k]);
            si += std::fabs(fc[2 * k + 1]);
        }
        // DC (band 0) and Nyquist (last band) are real values: their products
        // are real and count towards the real sum.
        if (b == 0)
        {
            fc[0] = g * prev[0] * ref[0] + g1 * fc[0];
            e += ref[0] * ref[0];
            ep += prev[0] * prev[0];
            sr += std::fabs(fc[0]);
        }
        if (b == nb - 1)
        {
            fc[1] = g * prev[1] * ref[1] + g1 * fc[1];
            e += ref[1] * ref[1];
            ep += prev[1] * prev[1];
            sr += std::fabs(fc[1]);
        }
        if (!ox_isfinitef(sr + si))
        {
            for (int32_t k = lo; k < hi; ++k) fc[2 * k] = fc[2 * k + 1] = 0.0f;
            if (b == 0) fc[0] = 0.0f;
            if (b == nb - 1) fc[1] = 0.0f;
            sr = si = 0.0f;
        }

        const float p = state->ref_energy[b];
        float alpha = 1.0f;
        if (params->flags & OX_A2B_ADAPTIVE)
        {
            const float den = p > e + 1e-20f ? p : e + 1e-20f;
            alpha = ox_clampf(std::fabs(e - p) / den, 0.0f, 1.0f, 1.0f) *
                    (p > e ? params->release : params->attack);
        }
        state->smoothing[b] = alpha;
        state->ref_energy[b] = finite_or_zero(alpha * e + (1.0f - alpha) * p);

        const float pe = finite_or_zero(g * ep + g1 * state->prev_energy[b]);
        const float ce = finite_or_zero(g * e + g1 * state->cur_energy[b]);
        state->prev_energy[b] = pe;
        state->cur_energy[b] = ce;
        const float coh = std::sqrt(sr * sr + si * si) / ((pe > ce ? pe : ce) + 1e-20f);
        state->coherence[b] = ox_clampf(coh, 0.0f, 1.0f, 1.0f);
    }
    memcpy(prev, ref, sizeof(float) * size_t(n2));
}

void ox_a2b_process2_frame(ox_a2b_params* params, ox_a2b_state* state, float* const* in)
{
    if (!params || !state || !in || !state->reference || params->num_bands < 1) return;
    const int32_t nb = params->num_bands;
    const int32_t* edges = params->band_edges;
    const float* ref = state->reference;

    if (!(params->flags & OX_A2B_NO_ALIGN))
    {
        const float *x0 = in[0], *x1 = in[1], *x2 = in[2], *x3 = in[3];
        for (int32_t b = 0; b < nb; ++b)
        {
            // reference x conj(capsule) over the band, the four capsules in the lanes of one
            // pass; DC and Nyquist come last here, unlike oxblk::band_cross, and the order of
            // the sum is part of the result.
            oxblk::v4f v_re = {0.0f, 0.0f, 0.0f, 0.0f}, v_im = v_re;
            int32_t lo, hi;
            oxblk::band_bins(b, edges, params->specsize, &lo, &hi);
            for (int32_t k = lo; k < hi; ++k)
            {
                const float rr = ref[2 * k], ri = ref[2 * k + 1];
                const oxblk::v4f xr = {x0[2 * k], x1[2 * k], x2[2 * k], x3[2 * k]};
                const oxblk::v4f xi = {x0[2 * k + 1], x1[2 * k + 1], x2[2 * k + 1], x3[2 * k + 1]};
                v_re += rr * xr + ri * xi;
                v_im += ri * xr - rr * xi;
            }
            if (b == 0) v_re += ref[0] * oxblk::v4f{x0[0], x1[0], x2[0], x3[0]};
            if (b == nb - 1) v_re += ref[1] * oxblk::v4f{x0[1], x1[1], x2[1], x3[1]};
            for (int n = 0; n < 4; ++n)
            {
                float* cross = state->cross[n];
                const float s_re = v_re[n], s_im = v_im[n];
                const float sm = state->smoothing[b];
                float c_re = sm * s_re + (1.0f - sm) * cross[2 * b];
                float c_im = sm * s_im + (1.0f - sm) * cross[2 * b + 1];
                if (!ox_isfinitef(c_re) || !ox_isfinitef(c_im)) c_re = c_im = 0.0f;
                cross[2 * b] = c_re;
                cross[2 * b + 1] = c_im;

                float phi = 0.0f;
                if (b > 0)
                {
                    const float lim = params->max_phase[b];
                    phi = ox_clampf(std::atan2(c_im, c_re), -lim, lim, 0.0f);
                    phi = ox_clampf(phi, -kPi, kPi, 0.0f);
                }
                if (params->flags & OX_A2B_COHERENCE)
                {
                    // With coherence in 0..1 and a non-negative exponent the
                    // factor lies in 0..1; it is held there so that a negative
                    // exponent (pow(0, -x) = inf) can neither blow the phase
                    // up nor turn the alignment against itself.
                    const double f = 1.0 - oxblk::pow_of_float(state->coherence[b],
                                                               double(params->coherence_exponent));
                    phi *= float(ox_clampd(f, 0.0, 1.0, 0.0));
                }
                state->correction[n][2 * b] = std::cos(phi);
                state->correction[n][2 * b + 1] = std::sin(phi);
            }
        }
        if (params->flags & OX_A2B_APPLY_ALIGN)
            for (int n = 0; n < 4; ++n)
                ox_perc_scalebands_cplx(in[n], in[n], state->correction[n], nb, edges,
                                        params->band_table);
    }
    if (!(params->flags & OX_A2B_NO_MATRIX))
        oxblk::matrix4_inplace(in, params->matrix, params->specsize);
}

void ox_a2b_done(ox_a2b_params* params, ox_a2b_state* state)
{
    if (!params || !state) return;
    float** slots[kNumArrays];
    int32_t counts[kNumArrays];
    array_slots(params, state, slots, counts);
    oxblk::free_arrays(slots, kNumArrays);
}

} // extern "C"
