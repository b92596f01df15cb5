// Virtual microphones from B-format spectra.
#include "ox_b2a.h"

#include "ox_blockutil.h"
#include "ox_util.h"

#include <math.h>
#include <stddef.h>

static const float kPi = 3.1415927f;
static const float kSqrt2 = 1.4142135f;

// Header fields common to alloc and init; -3 for a NULL params.
static int32_t b2a_header(ox_b2a_params* params, int32_t framesize, int32_t specsize,
                          float sample_rate)
{
    if (!params) return -3;
    params->num_inputs = 4;
    params->max_mics = OX_B2A_MAX_MICS;
    params->framesize = framesize;
    params->specsize = specsize;
    params->sample_rate = sample_rate;
    return 0;
}

int32_t ox_b2a_alloc(ox_b2a_params* params, ox_b2a_state* state, int32_t framesize,
                     int32_t specsize, float sample_rate)
{
    (void)state;
    if (b2a_header(params, framesize, specsize, sample_rate)) return -3;
    // Written as a positive test so that NaN is refused as well.
    if (!(sample_rate > 0.0f)) return -7;
    if (framesize < 1 || specsize < 1) return -3;
    return 0;
}

void ox_b2a_default_cfg(ox_b2a_cfg* cfg)
{
    if (!cfg) return;
    cfg->mode = 0;
    for (int i = 0; i < OX_B2A_MAX_MICS; ++i)
    {
        cfg->azimuth[i] = 0.0f;
        cfg->elevation[i] = 0.0f;
        cfg->pattern[i] = 1.0f;
    }
}

int32_t ox_b2a_init(ox_b2a_params* params, ox_b2a_state* state, ox_b2a_cfg* cfg, int32_t framesize,
                    int32_t specsize, float sample_rate)
{
    (void)state;
    if (!cfg || b2a_header(params, framesize, specsize, sample_rate)) return -3;
    if (!oxblk::init_rate_ok(sample_rate)) return -7;
    if (oxblk::check_size("framesize", framesize) || oxblk::check_size("specsize", specsize))
        return -3;
    params->gain = 1.0f;
    return ox_b2a_update_cfg(params, cfg);
}

int32_t ox_b2a_update_cfg(ox_b2a_params* params, ox_b2a_cfg* cfg)
{
    if (!params || !cfg) return -3;
    const float rad = kPi / 180.0f;
    const int n = ox_clampi(params->max_mics, 0, OX_B2A_MAX_MICS);
    for (int i = 0; i < n; ++i)
    {
        cfg->azimuth[i] = ox_clampf(cfg->azimuth[i], -180.0f, 180.0f, 0.0f);
        cfg->elevation[i] = ox_clampf(cfg->elevation[i], -90.0f, 90.0f, 0.0f);
        cfg->pattern[i] = ox_clampf(cfg->pattern[i], 0.0f, 1.0f, 1.0f);
        params->azimuth[i] = cfg->azimuth[i] * rad;
        params->elevation[i] = cfg->elevation[i] * rad;
        params->pattern[i] = cfg->pattern[i];
    }
    params->mode = cfg->mode;
    return 0;
}

void ox_b2a_reset(ox_b2a_params* params, ox_b2a_state* state)
{
    (void)params;
    (void)state;
}

void ox_b2a_done(ox_b2a_params* params, ox_b2a_state* state)
{
    (void)params;
    (void)state;
}

void ox_b2a_process_frame(const ox_b2a_params* params, ox_b2a_state* state, const float* const* in,
                          float* const* out, int32_t count)
{
    (void)state;
    if (!params || !in || !out || (params->mode & OX_B2A_MODE_BYPASS)) return;
    const float* w = in[0];
    const float* x = in[1];
    const float* y = in[2];
    const float* z = in[3];
    if (!w || !x || !y || !z) return;
    int n = count < params->max_mics ? count : params->max_mics;
    if (n > OX_B2A_MAX_MICS) n = OX_B2A_MAX_MICS;
    // The coefficients are real, so real and imaginary parts (and the packed
    // DC/half-rate pair) all take the same weights: run over the floats.
    const size_t nf = params->specsize > 0 ? 2 * (size_t)params->specsize : 0;
    const float g = params->gain;
    for (int i = 0; i < n; ++i)
    {
        float* o = out[i];
        if (!o) continue;
        const float a = params->azimuth[i];
        const float e = params->elevation[i];
        const float p = params->pattern[i];
        const float cw = g * p * kSqrt2;
        const float cx = g * (1.0f - p) * cosf(e) * cosf(a);
        const float cy = g * (1.0f - p) * cosf(e) * sinf(a);
        const float cz = g * (1.0f - p) * sinf(e);
        for (size_t k = 0; k < nf; ++k) o[k] = cw * w[k] + cx * x[k] + cy * y[k] + cz * z[k];
    }
}
