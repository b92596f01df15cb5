#include "ox_ms2b.h"

#include <cmath>
#include <cstring>

#include "ox_blockutil.h"
#include "ox_util.h"

namespace
{

const float kDefaultFloor = -40.0f;
const float kDefaultScale = 0.0f;
const float kDefaultLevel = 0.0f;
const float kStatsTime = 30.0f; // ms

const int kNumArrays = 9;

void array_slots(ox_ms2b_state* s, float** slots[kNumArrays])
{
    float** sl[kNumArrays] = {&s->energy_w, &s->energy_x,    &s->energy_y,
                              &s->energy_z, &s->cross_xw,    &s->cross_yw,
                              &s->cross_zw, &s->direct_gain, &s->diffuse_gain};
    for (int i = 0; i < kNumArrays; ++i) slots[i] = sl[i];
}

// The two fixed channel counts and the shared header.
void store_header(ox_ms2b_params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                  const int32_t* band_edges, float sample_rate)
{
    p->num_inputs = 4;
    p->num_outputs = 4;
    oxblk::store_header(p, framesize, specsize, num_bands, band_edges, sample_rate);
}

// W = MF + MR, X = sqrt(2)·(MF − MR), Y and Z the figures-of-eight scaled to
// the cardioids' sensitivity.
const float kMatrix[4][4] = {{1.0f, 0.0f, 1.0f, 0.0f},
                             {1.4142135f, 0.0f, -1.4142135f, 0.0f},
                             {0.0f, 1.9228343f, 0.0f, 0.0f},
                             {0.0f, 0.0f, 0.0f, 1.9228343f}};

// One step of the statistics' exponential smoothing; a value that has gone
// non-finite (NaN or Inf input) restarts from 0 instead of staying so.
inline void smooth(float* v, float sum, float a)
{
    *v = oxblk::finite_or_zero(a * sum + (1.0f - a) * *v);
}

// Adaptive smoothing towards target t: the step is the relative change,
// so the gain moves fast when it differs much from its old value.
inline float adapt(float old, float t, float floor)
{
    const float den = t + 1e-20f > old ? t + 1e-20f : old;
    const float s = ox_clampf(std::fabs(t - old) / den, 0.0f, 1.0f, 1.0f);
    const float v = (1.0f - s) * old + s * t;
    return v > floor ? v : floor;
}

} // namespace

extern "C" {

int ox_ms2b_alloc(ox_ms2b_params* params, ox_ms2b_state* state, int32_t framesize, int32_t specsize,
                  int32_t num_bands, const int32_t* band_edges, float sample_rate)
{
    if (!params || !state) return -3;
    const int rc = oxblk::check_alloc_args_int32(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    float** slots[kNumArrays];
    array_slots(state, slots);
    return oxblk::alloc_arrays(slots, kNumArrays, size_t(num_bands));
}

void ox_ms2b_default_cfg(ox_ms2b_cfg* cfg)
{
    if (!cfg) return;
    cfg->mode = 0;
    cfg->gain_floor = kDefaultFloor;
    cfg->diffuseness_scale = kDefaultScale;
    cfg->diffuse_level = kDefaultLevel;
}

int ox_ms2b_init(ox_ms2b_params* params, ox_ms2b_state* state, ox_ms2b_cfg* cfg, int32_t framesize,
                 int32_t specsize, int32_t num_bands, const int32_t* band_edges, float sample_rate)
{
    if (!params || !state || !cfg) return -3;
    const int rc =
        oxblk::check_init_args(params, framesize, specsize, num_bands, band_edges, sample_rate);
    if (rc) return rc;
    if (!state->energy_w) return -3; // not allocated
    store_header(params, framesize, specsize, num_bands, band_edges, sample_rate);
    params->smoothing = oxblk::smoothing_factor(oxblk::frame_ms(params), kStatsTime, kStatsTime);
    memcpy(params->matrix, kMatrix, sizeof(kMatrix));
    ox_ms2b_update_cfg(params, cfg);
    ox_ms2b_reset(params, state);
    return 0;
}

int ox_ms2b_update_cfg(ox_ms2b_params* params, ox_ms2b_cfg* cfg)
{
    if (!params || !cfg) return 0;
    cfg->gain_floor = ox_clampf(cfg->gain_floor, -180.0f, 0.0f, kDefaultFloor);
    cfg->diffuseness_scale = ox_clampf(cfg->diffuseness_scale, -20.0f, 20.0f, kDefaultScale);
    cfg->diffuse_level = ox_clampf(cfg->diffuse_level, -40.0f, 40.0f, kDefaultLevel);
    params->mode = cfg->mode;
    params->floor = float(std::pow(10.0, cfg->gain_floor / 20.0));
    params->scale = float(std::pow(10.0, cfg->diffuseness_scale / 10.0));
    params->diffuse_factor = float(std::pow(10.0, cfg->diffuse_level / 20.0));
    return 0;
}

void ox_ms2b_reset(ox_ms2b_params* params, ox_ms2b_state* state)
{
    if (!params || !state) return;
    float** slots[kNumArrays];
    array_slots(state, slots);
    for (int i = 0; i < kNumArrays; ++i)
        if (*slots[i]) memset(*slots[i], 0, sizeof(float) * size_t(params->num_bands));
}

void ox_ms2b_process_frame(ox_ms2b_params* params, ox_ms2b_state* state, float* const* in)
{
    if (!params || !state || !in || !state->energy_w || params->num_bands < 1) return;
    if (params->mode & OX_MS2B_BYPASS) return;
    oxblk::matrix4_inplace(in, params->matrix, params->specsize);

    const int32_t nb = params->num_bands;
    if (!(params->mode & OX_MS2B_STATS))
    {
        for (int32_t b = 0; b < nb; ++b)
        {
            state->direct_gain[b] = 1.0f;
            state->diffuse_gain[b] = 0.0f;
        }
        return;
    }

    const float* w = in[0];
    const float* x = in[1];
    const float* y = in[2];
    const float* z = in[3];
    const int32_t* edges = params->band_edges;
    const float a = params->smoothing;
    for (int32_t b = 0; b < nb; ++b)
    {
        float ew = 0.0f, ex = 0.0f, ey = 0.0f, ez = 0.0f, cx = 0.0f, cy = 0.0f, cz = 0.0f;
        auto add = [&](int32_t i) {
            ew += w[i] * w[i];
            ex += x[i] * x[i];
            ey += y[i] * y[i];
            ez += z[i] * z[i];
            cx += x[i] * w[i];
            cy += y[i] * w[i];
            cz += z[i] * w[i];
        };
        // Re(X conj W) = Xr·Wr + Xi·Wi: every float of a bin adds a real
        // product, and DC / Nyquist are the real floats of pair 0.
        int32_t lo, hi;
        oxblk::band_bins(b, edges, params->specsize, &lo, &hi);
        for (int32_t k = lo; k < hi; ++k)
        {
            add(2 * k);
            add(2 * k + 1);
        }
        if (b == 0) add(0);
        if (b == nb - 1) add(1);
        smooth(&state->energy_w[b], ew, a);
        smooth(&state->energy_x[b], ex, a);
        smooth(&state->energy_y[b], ey, a);
        smooth(&state->energy_z[b], ez, a);
        smooth(&state->cross_xw[b], cx, a);
        smooth(&state->cross_yw[b], cy, a);
        smooth(&state->cross_zw[b], cz, a);

        // Diffuseness: 0 for a single plane wave, 1 without any net intensity.
        // The epsilon keeps silence at 0/0 from producing NaN.
        const float inten = std::fabs(state->cross_xw[b]) + std::fabs(state->cross_yw[b]) +
                            std::fabs(state->cross_zw[b]);
        const float energy = 2.0f * state->energy_w[b] + state->energy_x[b] + state->energy_y[b] +
                             state->energy_z[b] + 1e-20f;
        const float psi =
            ox_clampf((1.0f - 2.0f * inten / energy) * params->scale, 1e-10f, 1.0f, 1.0f);

        state->direct_gain[b] = adapt(state->direct_gain[b], 1.0f - psi, params->floor);
        state->diffuse_gain[b] =
            adapt(state->diffuse_gain[b], psi, params->floor) * params->diffuse_factor;
        if (params->mode & OX_MS2B_NO_DIRECT) state->direct_gain[b] = 0.0f;
        if (params->mode & OX_MS2B_NO_DIFFUSE) state->diffuse_gain[b] = 0.0f;
    }
}

void ox_ms2b_done(ox_ms2b_params* params, ox_ms2b_state* state)
{
    (void)params;
    if (!state) return;
    float** slots[kNumArrays];
    array_slots(state, slots);
    oxblk::free_arrays(slots, kNumArrays);
}

} // extern "C"
