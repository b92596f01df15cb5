#include "ox_bhist.h"

#include "ox_blockutil.h"
#include "ox_perc.h"
#include "ox_util.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

const float kEps = 1e-20f;
const float kPi = 3.1415927f;

// Nearest of the supported resolutions; on equal distance the finer one.
float snap_resolution(float r)
{
    static const float cand[] = {5.0f, 10.0f, 15.0f, 20.0f, 30.0f, 45.0f};
    if (!isfinite(r)) return 10.0f;
    float best = cand[0];
    for (float c : cand)
        if (fabsf(r - c) < fabsf(r - best)) best = c;
    return best;
}

// Histogram bin of an angle (radians) for n bins of res degrees, bin n/2 at 0.
// The angle is clamped (a NaN becomes 0) and the index taken modulo n with a
// non-negative result, so it always lies inside the histogram.
int32_t angle_bin(float angle, float res, int32_t n)
{
    const float a = oxblk::clampf(angle, -kPi, kPi, 0.0f);
    const int32_t bin = int32_t(lroundf(a * 57.295776f / res)) + (n + 1) / 2;
    return ((bin % n) + n) % n;
}

// Circular smoothing of h (n >= 3 bins) with the 5-tap kernel into s. The
// taps reach at most two bins past either end, so one wrap by n suffices (no
// division per tap).
void smooth_bins(const float* h, float* s, int32_t n, const float* kernel)
{
    for (int32_t i = 0; i < n; ++i)
    {
        float acc = 0.0f;
        for (int32_t j = -2; j <= 2; ++j)
        {
            int32_t k = i + j;
            k = k < 0 ? k + n : (k >= n ? k - n : k);
            acc += kernel[j + 2] * h[k];
        }
        s[i] = acc;
    }
}

// The band statistics arrays, then the two histograms.
void state_arrays(ox_bhist_state* s, float** out[9])
{
    float** a[9] = {&s->energy_w,    &s->energy_x,    &s->energy_y, &s->energy_z, &s->intensity_x,
                    &s->intensity_y, &s->intensity_z, &s->hist_h,   &s->hist_v};
    for (int i = 0; i < 9; ++i) out[i] = a[i];
}

} // namespace

extern "C" {

int32_t ox_bhist_alloc(ox_bhist_params* params, ox_bhist_state* state, int32_t framesize,
                       int32_t specsize, int32_t num_bands, const int32_t* band_edges,
                       float sample_rate, float resolution)
{
    const int32_t rc =
        oxblk::begin_alloc(params, state, framesize, specsize, num_bands, band_edges, sample_rate);
    if (rc) return rc;
    params->num_inputs = 4;
    params->capacity_bands = num_bands;
    params->resolution = snap_resolution(resolution);
    params->num_bins_h = int32_t(lroundf(360.0f / params->resolution));
    params->num_bins_v = params->num_bins_h;

    params->kernel = static_cast<float*>(calloc(5, sizeof(float)));
    float** arrays[9];
    state_arrays(state, arrays);
    const int32_t nb = num_bands;
    const int32_t counts[9] = {nb, nb, nb, nb, nb, nb, nb, params->num_bins_h, params->num_bins_v};
    if (oxblk::alloc_arrays(arrays, counts, 9) || !params->kernel)
    {
        ox_bhist_done(params, state);
        return -2;
    }
    return 0;
}

void ox_bhist_default_cfg(ox_bhist_cfg* cfg)
{
    if (!cfg) return;
    cfg->mode = 0;
    cfg->angle = 60.0f;
    cfg->time_constant = 30.0f;
}

int32_t ox_bhist_init(ox_bhist_params* params, ox_bhist_state* state, ox_bhist_cfg* cfg,
                      int32_t framesize, int32_t specsize, int32_t num_bands,
                      const int32_t* band_edges, float sample_rate)
{
    if (!params || !state || !cfg) return -3;
    const int32_t rc = oxblk::check_init_sizes(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    // The arrays were sized by ox_bhist_alloc: more bands would run past them.
    if (num_bands > params->capacity_bands || !band_edges || !params->kernel || !state->energy_w ||
        !state->intensity_z || !state->hist_h || !state->hist_v)
        return -3;
    params->num_inputs = 4;
    oxblk::store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    params->band_smoothing = oxblk::smoothing_factor(oxblk::frame_ms(params), 30.0f, 30.0f);
    params->first_band =
        ox_perc_freq2band(2 * specsize, num_bands, band_edges, 100.0f, sample_rate);
    params->last_band =
        ox_perc_freq2band(2 * specsize, num_bands, band_edges, 10000.0f, sample_rate);
    const float kernel[5] = {0.0f, 0.25f, 0.5f, 0.25f, 0.0f};
    memcpy(params->kernel, kernel, sizeof(kernel));
    ox_bhist_update_cfg(params, cfg);
    ox_bhist_reset(params, state);
    return 0;
}

int32_t ox_bhist_update_cfg(ox_bhist_params* params, ox_bhist_cfg* cfg)
{
    if (!params || !cfg) return -3;
    cfg->angle = oxblk::clampf(cfg->angle, 0.0f, 90.0f, 60.0f);
    cfg->time_constant = oxblk::clampf(cfg->time_constant, 10.0f, 1000.0f, 30.0f);
    params->mode = cfg->mode;
    params->angle = cfg->angle * kPi / 180.0f;
    params->hist_smoothing =
        params->sample_rate > 0.0f
            ? oxblk::smoothing_factor(oxblk::frame_ms(params), cfg->time_constant, 30.0f)
            : 1.0f;
    return 0;
}

void ox_bhist_reset(ox_bhist_params* params, ox_bhist_state* state)
{
    if (!params || !state) return;
    const int32_t n =
        params->num_bands < params->capacity_bands ? params->num_bands : params->capacity_bands;
    float** arrays[9];
    state_arrays(state, arrays);
    for (int i = 0; i < 7 && n >= 1; ++i)
        if (*arrays[i]) memset(*arrays[i], 0, size_t(n) * sizeof(float));
    if (state->hist_h && params->num_bins_h > 0)
        memset(state->hist_h, 0, size_t(params->num_bins_h) * sizeof(float));
    if (state->hist_v && params->num_bins_v > 0)
        memset(state->hist_v, 0, size_t(params->num_bins_v) * sizeof(float));
    state->diffuse_energy = 0.0f;
}

void ox_bhist_process_frame(const ox_bhist_params* params, ox_bhist_state* state,
                            const float* const* in)
{
    if (!params || !state || !in || !in[0] || !in[1] || !in[2] || !in[3] || !params->band_edges ||
        !params->kernel || !state->energy_w || !state->intensity_z || !state->hist_h ||
        !state->hist_v)
        return;
    const int32_t nb = params->num_bands, ns = params->specsize;
    const int32_t nh = params->num_bins_h, nv = params->num_bins_v;
    if (nb < 1 || nb > params->capacity_bands || nh < 3 || nh > OX_BHIST_MAX_BINS || nv < 3 ||
        nv > OX_BHIST_MAX_BINS)
        return;
    const int32_t* edges = params->band_edges;
    const float a = params->band_smoothing;

    // 1. Band statistics; a band whose sums are not finite keeps its old
    // values, so a bad sample never stays in the smoothed state.
    for (int32_t b = 0; b < nb; ++b)
    {
        float e[4], ix[3];
        oxblk::band_sums<4>(in, b, nb, edges, ns, e, ix, nullptr);
        bool finite = true;
        for (float v : e) finite = finite && isfinite(v);
        for (float v : ix) finite = finite && isfinite(v);
        if (!finite) continue;
        float* dst[7] = {state->energy_w,    state->energy_x,    state->energy_y,   state->energy_z,
                         state->intensity_x, state->intensity_y, state->intensity_z};
        const float src[7] = {e[0], e[1], e[2], e[3], ix[0], ix[1], ix[2]};
        for (int c = 0; c < 7; ++c) dst[c][b] = a * src[c] + (1.0f - a) * dst[c][b];
    }

    // 2, 3. Direct energy into the bins of its direction, diffuse energy summed.
    float Hh[OX_BHIST_MAX_BINS] = {0.0f}, Hv[OX_BHIST_MAX_BINS] = {0.0f};
    float D = 0.0f;
    const float angle = params->angle, res = params->resolution;
    const int32_t from = params->first_band + 1 > 0 ? params->first_band + 1 : 0;
    const int32_t to = params->last_band < nb ? params->last_band : nb;
    for (int32_t b = from; b < to; ++b)
    {
        const float E = state->energy_w[b];
        const float Ix = state->intensity_x[b], Iy = state->intensity_y[b],
                    Iz = state->intensity_z[b];
        if (!isfinite(E) || !isfinite(Ix) || !isfinite(Iy) || !isfinite(Iz)) continue;
        const float den =
            E + 0.5f * (state->energy_x[b] + state->energy_y[b] + state->energy_z[b]) + kEps;
        const float psi = oxblk::clampf(
            1.0f - 1.4142135f * (fabsf(Ix) + fabsf(Iy) + fabsf(Iz)) / den, 1e-10f, 1.0f, 1.0f);
        const float direct = E * (1.0f - psi);

        // The bin's angle is only taken for a direction inside the window.
        const float el = atan2f(Iz, sqrtf(Ix * Ix + Iy * Iy));
        if (fabsf(el) < angle)
            Hh[angle_bin(-atan2f(Iy, Ix), res, nh)] +=
                direct * (fabsf(el - angle) / (angle + 1.0f));

        const float a2 = atan2f(Iy, sqrtf(Ix * Ix + Iz * Iz));
        if (fabsf(a2) < angle)
            Hv[angle_bin(atan2f(Iz, Ix), res, nv)] += direct * (fabsf(a2 + angle) / (angle + 1.0f));

        D += psi * E;
    }

    // 4-6. Smoothing over time and over neighbouring bins. Band energies
    // that are each finite can still overflow once summed into one bin
    // (and the kernel's zero taps turn an infinity into NaN): such a bin
    // keeps its value, as the diffuse energy does, or it would never
    // recover.
    const float h = params->hist_smoothing;
    const float de = (1.0f - h) * state->diffuse_energy + h * D;
    if (isfinite(de)) state->diffuse_energy = de;
    float S[OX_BHIST_MAX_BINS];
    smooth_bins(Hh, S, nh, params->kernel);
    for (int32_t i = 0; i < nh; ++i)
    {
        const float v = (1.0f - h) * state->hist_h[i] + h * S[i];
        if (isfinite(v)) state->hist_h[i] = v;
    }
    smooth_bins(Hv, S, nv, params->kernel);
    for (int32_t i = 0; i < nv; ++i)
    {
        const float v = (1.0f - h) * state->hist_v[i] + h * S[i];
        if (isfinite(v)) state->hist_v[i] = v;
    }
}

void ox_bhist_done(ox_bhist_params* params, ox_bhist_state* state)
{
    if (params)
    {
        free(params->kernel);
        params->kernel = nullptr;
    }
    if (!state) return;
    float** arrays[9];
    state_arrays(state, arrays);
    oxblk::free_arrays(arrays, 9);
}

float fsignf(float x)
{
    return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
}

double xcrossdiff(double az, double el, const double* e1, const double* e2, double k, double p)
{
    if (!e1 || !e2) return 0.0;
    const double dx = cos(el) * cos(az), dy = cos(el) * sin(az), dz = sin(el);
    const double p1 = p + (1.0 - p) * (dx * e1[0] + dy * e1[1] + dz * e1[2]);
    const double p2 = p + (1.0 - p) * (dx * e2[0] + dy * e2[1] + dz * e2[2]);
    return p1 * p2 * cos(k * sin(el));
}

float integral2(double az0, double az1, double el0, double el1, const double* e1, const double* e2,
                double k, double p)
{
    if (!e1 || !e2) return 0.0f;
    const double daz = (az1 - az0) / 64.0, del = (el1 - el0) / 32.0;
    double sum = 0.0;
    for (int j = 0; j < 32; ++j)
    {
        const double el = el0 + j * del;
        for (int i = 0; i < 64; ++i)
            sum += xcrossdiff(az0 + i * daz, el, e1, e2, k, p) * cos(el) * daz * del;
    }
    return float(sum / (4.0 * 3.14159265358979323846));
}

} // extern "C"
