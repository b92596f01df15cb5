#include "ox_decorr.h"

#include "ox_blockutil.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

const float kEps = 1e-20f;
const float kPi = 3.1415927f;

// A sample that is not finite is read as silence: one bad sample must not
// reach the smoothed statistics, where it would stay for ever.
using oxblk::finite_or_zero;

// One smoothing step of a filter coefficient h towards its target t. The step
// is the change relative to the larger magnitude, |t - h| / max(|h|, |t|):
// large while the filter is far from its target, small near it. It uses the
// signed difference so that a target that changes sign is still reached.
inline float glide(float h, float t, float beta)
{
    const float d = fabsf(t - h);
    const float den = oxblk::fmax(fabsf(h), fabsf(t) + kEps);
    float r = d / den;
    r = r < 0.0f ? 0.0f : (r > 1.0f ? 1.0f : r);
    const float w = beta * r;
    return (1.0f - w) * h + w * t;
}

using oxblk::v4f;
typedef int32_t v4i __attribute__((vector_size(16)));

inline v4f vabs(v4f x)
{
    return (v4f)((v4i)x & 0x7fffffff);
}

// glide() lane by lane: the same operations, quotient included, so the same results.
inline v4f glide4(v4f h, v4f t, float beta)
{
    const v4f zero = {0.0f, 0.0f, 0.0f, 0.0f}, one = {1.0f, 1.0f, 1.0f, 1.0f};
    const v4f d = vabs(t - h);
    const v4f ah = vabs(h), at = vabs(t) + kEps;
    const v4f den = ((ah > at) | (at != at)) ? ah : at;
    v4f r = d / den;
    r = r < 0.0f ? zero : (r > 1.0f ? one : r);
    const v4f w = beta * r;
    return (1.0f - w) * h + w * t;
}

// Addresses of the twenty random tables and of the twenty filters, in a
// form the allocation helpers take.
struct Ptrs
{
    float** p[OX_DECORR_FILTERS];
    operator float** const*() const { return p; }
};

Ptrs random_arrays(ox_decorr_params* params)
{
    Ptrs r;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i) r.p[i] = &params->random[i];
    return r;
}

Ptrs filter_arrays(ox_decorr_state* state)
{
    Ptrs r;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i) r.p[i] = &state->filter[i];
    return r;
}

} // namespace

extern "C" {

float frandom(int32_t* seed)
{
    if (!seed) return 0.0f;
    int32_t s = *seed;
    if (s < 1 || s > 2147483646) s = 1;
    const int32_t hi = int32_t(double(s) * (1.0 / 127773.0));
    int32_t t = 16807 * (s - 127773 * hi) - 2836 * hi;
    if (t < 0) t += 2147483647;
    *seed = t;
    return float(double(t) / 2147483647.0);
}

int32_t ox_decorr_alloc(ox_decorr_params* params, ox_decorr_state* state, int32_t framesize,
                        int32_t specsize, int32_t num_bands, const int32_t* band_edges,
                        float sample_rate)
{
    const int32_t rc =
        oxblk::begin_alloc(params, state, framesize, specsize, num_bands, band_edges, sample_rate);
    if (rc) return rc;
    params->num_filters = OX_DECORR_FILTERS;

    const size_t nb = size_t(num_bands), ns = size_t(specsize);
    float** bands[] = {&state->prev_energy, &state->cur_energy, &state->coherence};
    float** bins[] = {&state->cross, &state->prev_spectrum};
    if (oxblk::alloc_arrays(random_arrays(params), OX_DECORR_FILTERS, nb) ||
        oxblk::alloc_arrays(filter_arrays(state), OX_DECORR_FILTERS, 2 * nb) ||
        oxblk::alloc_arrays(bands, 3, nb) || oxblk::alloc_arrays(bins, 2, 2 * ns))
    {
        ox_decorr_done(params, state);
        return -2;
    }
    return 0;
}

void ox_decorr_default_cfg(ox_decorr_cfg* cfg)
{
    if (!cfg) return;
    cfg->mode = 0;
    cfg->amount = 50.0f;
    cfg->filter_time = 30.0f;
    cfg->exponent = 3.0f;
}

int32_t ox_decorr_init(ox_decorr_params* params, ox_decorr_state* state, const ox_decorr_cfg* cfg)
{
    if (!params || !state || !cfg) return -3;
    const int32_t rc = oxblk::check_init_sizes(params->framesize, params->specsize,
                                               params->num_bands, params->sample_rate);
    if (rc) return rc;
    if (!params->band_edges || !state->cross || !state->prev_spectrum || !state->prev_energy ||
        !state->cur_energy || !state->coherence)
        return -3;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        if (!params->random[i] || !state->filter[i]) return -3;

    params->num_filters = OX_DECORR_FILTERS;
    params->coherence_factor = oxblk::smoothing_factor(oxblk::frame_ms(params), 30.0f, 30.0f);
    ox_decorr_update_cfg(params, state, cfg);
    ox_decorr_reset(params, state);

    // Drawn filter by filter, band by band from seed 1, so every instance
    // with the same band count gets the same tables.
    float largest = 0.0f;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        for (int32_t b = 0; b < params->num_bands; ++b)
        {
            const float r = 2.0f * frandom(&state->seed) - 1.0f;
            params->random[i][b] = r;
            largest = oxblk::fmax(largest, fabsf(r));
        }
    params->norm = 1.0f / oxblk::fmax(kEps, largest);
    return 0;
}

int32_t ox_decorr_update_cfg(ox_decorr_params* params, ox_decorr_state* state,
                             const ox_decorr_cfg* cfg)
{
    (void)state;
    if (!params || !cfg) return -3;
    params->mode = cfg->mode;
    params->amount = isfinite(cfg->amount) ? cfg->amount : 50.0f;
    params->exponent = isfinite(cfg->exponent) ? cfg->exponent : 3.0f;
    params->filter_factor =
        params->sample_rate > 0.0f
            ? oxblk::smoothing_factor(oxblk::frame_ms(params), cfg->filter_time, 30.0f)
            : 1.0f;
    return 0;
}

void ox_decorr_reset(ox_decorr_params* params, ox_decorr_state* state)
{
    if (!params || !state) return;
    state->seed = 1;
    const size_t nb = params->num_bands > 0 ? size_t(params->num_bands) : 0;
    const size_t ns = params->specsize > 0 ? size_t(params->specsize) : 0;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        if (state->filter[i]) memset(state->filter[i], 0, 2 * nb * sizeof(float));
    if (state->prev_energy) memset(state->prev_energy, 0, nb * sizeof(float));
    if (state->cur_energy) memset(state->cur_energy, 0, nb * sizeof(float));
    if (state->cross) memset(state->cross, 0, 2 * ns * sizeof(float));
    if (state->prev_spectrum) memset(state->prev_spectrum, 0, 2 * ns * sizeof(float));
    if (state->coherence) memset(state->coherence, 0, nb * sizeof(float));
}

void ox_decorr_filters(const ox_decorr_params* params, ox_decorr_state* state,
                       const float* spectrum)
{
    if (!params || !state || !spectrum || !params->band_edges || !state->cross ||
        !state->filter[OX_DECORR_FILTERS - 1])
        return;
    const int32_t nb = params->num_bands, ns = params->specsize;
    const int32_t* edges = params->band_edges;
    const float a = params->coherence_factor, a1 = 1.0f - a;
    float* P = state->prev_spectrum;
    float* C = state->cross;

    for (int32_t b = 0; b < nb; ++b)
    {
        int32_t lo, hi;
        oxblk::band_bins(b, edges, ns, &lo, &hi);
        float ep = 0.0f, ex = 0.0f, sr = 0.0f, si = 0.0f;
        if (b == 0)
        {
            const float pr = P[0], xr = finite_or_zero(spectrum[0]);
            ep += pr * pr;
            ex += xr * xr;
            C[0] = finite_or_zero(a * pr * xr + a1 * C[0]);
            sr += fabsf(C[0]);
        }
        if (b == nb - 1)
        {
            const float pi = P[1], xi = finite_or_zero(spectrum[1]);
            ep += pi * pi;
            ex += xi * xi;
            C[1] = finite_or_zero(a * pi * xi + a1 * C[1]);
            si += fabsf(C[1]);
        }
        for (int32_t k = lo; k < hi; ++k)
        {
            const float pr = P[2 * k], pi = P[2 * k + 1];
            const float xr = finite_or_zero(spectrum[2 * k]),
                        xi = finite_or_zero(spectrum[2 * k + 1]);
            ep += pr * pr + pi * pi;
            ex += xr * xr + xi * xi;
            C[2 * k] = finite_or_zero(a * (pr * xr + pi * xi) + a1 * C[2 * k]);
            C[2 * k + 1] = finite_or_zero(a * (pi * xr - pr * xi) + a1 * C[2 * k + 1]);
            sr += fabsf(C[2 * k]);
            si += fabsf(C[2 * k + 1]);
        }
        state->prev_energy[b] = finite_or_zero(a * ep + a1 * state->prev_energy[b]);
        state->cur_energy[b] = finite_or_zero(a * ex + a1 * state->cur_energy[b]);
        const float den = oxblk::fmax(state->cur_energy[b], state->prev_energy[b]) + kEps;
        state->coherence[b] = oxblk::fmin(1.0f, finite_or_zero(hypotf(sr, si) / den));
    }
    for (int32_t k = 0; k < 2 * ns; ++k) P[k] = finite_or_zero(spectrum[k]);

    const float beta = params->filter_factor;
    const bool zero = (params->mode & OX_DECORR_ZERO_PHASE) != 0;
    const bool stationary = (params->mode & OX_DECORR_STATIONARY) != 0;
    const float norm = params->norm, amount = params->amount;
    // Only the filters the caller uses are designed (the decoder lowers the
    // count to its speaker count).
    const int nf =
        params->num_filters < 0
            ? 0
            : (params->num_filters > OX_DECORR_FILTERS ? OX_DECORR_FILTERS : params->num_filters);
    // Targets for a chunk of bands, then each filter glides towards them four floats at a time.
    const int32_t kChunk = 32;
    double fac[kChunk];
    float target[2 * kChunk];
    for (int32_t b0 = 0; b0 < nb; b0 += kChunk)
    {
        const int32_t n = nb - b0 < kChunk ? nb - b0 : kChunk;
        // The stationarity factor belongs to the band, not to the filter.
        for (int32_t j = 0; j < n; ++j)
        {
            double f = 1.0;
            if (stationary)
            {
                // A negative exponent would turn the factor into -inf at zero
                // coherence: keep it within 0..1.
                f = 1.0 - oxblk::pow_of_float(state->coherence[b0 + j], double(params->exponent));
                f = isfinite(f) ? (f < 0.0 ? 0.0 : (f > 1.0 ? 1.0 : f)) : 1.0;
            }
            fac[j] = f;
        }
        for (int i = 0; i < nf; ++i)
        {
            for (int32_t j = 0; j < n; ++j)
            {
                float phi = zero ? 0.0f : params->random[i][b0 + j] * kPi * norm * amount * 0.01f;
                if (stationary) phi = float(double(phi) * fac[j]);
                // cos and sin of a zero phase are exact: skip the library calls.
                target[2 * j] = phi == 0.0f ? 1.0f : cosf(phi);
                target[2 * j + 1] = phi == 0.0f ? phi : sinf(phi);
            }
            float* h = state->filter[i] + 2 * b0;
            int32_t k = 0;
            for (; k + 4 <= 2 * n; k += 4)
                oxblk::store4(h + k, glide4(oxblk::load4(h + k), oxblk::load4(target + k), beta));
            for (; k < 2 * n; ++k) h[k] = glide(h[k], target[k], beta);
        }
    }
}

void ox_decorr_done(ox_decorr_params* params, ox_decorr_state* state)
{
    if (params) oxblk::free_arrays(random_arrays(params), OX_DECORR_FILTERS);
    if (!state) return;
    oxblk::free_arrays(filter_arrays(state), OX_DECORR_FILTERS);
    float** arrays[] = {&state->prev_energy, &state->cur_energy, &state->cross,
                        &state->prev_spectrum, &state->coherence};
    oxblk::free_arrays(arrays, 5);
}

} // extern "C"
