#include "ox_complim.h"

#include "ox_blockutil.h"
#include "ox_util.h"

#include <cfloat>
#include <cmath>

namespace
{

// Defaults, also used for fields that arrive non-finite.
constexpr float kBlockMs = 1.0f;
constexpr float kGain = 0.0f;
constexpr float kRatio = 2.0f;
constexpr float kThreshold = -12.0f;
constexpr float kCeiling = -3.0f;
constexpr float kClip = 1.0f;

// Time constants in seconds.
constexpr double kCompAttack = 0.010000001;
constexpr double kCompRelease = 0.2;
constexpr double kLimAttack = 0.000100000005;
constexpr double kLimRelease = 0.07;
constexpr double kGainSmooth = 0.000100000005;

constexpr int32_t kMaxSpan = 1 << 29;

// Floor of the detected peak, so the logarithms below stay finite.
constexpr float kPeakFloor = 1e-20f;

float smoothing(double samples, double sample_rate, double tau)
{
    return (float)(1.0 - std::exp(-samples / (sample_rate * tau)));
}

bool finite_cfg(const ox_complim_cfg* c)
{
    return std::isfinite(c->block_ms) && std::isfinite(c->gain) && std::isfinite(c->ratio) &&
           std::isfinite(c->threshold) && std::isfinite(c->ceiling) && std::isfinite(c->clip);
}

// Samples of gain computed ahead of scaling the channels.
constexpr int32_t kGainChunk = 64;

using oxblk::v4f;

// Largest finite |x| of samples start .. stop-1 over all channels, at least
// kPeakFloor. Non-finite samples are kept out of the detector: one infinite
// sample would otherwise leave the envelopes, and every later gain, at NaN.
// The maximum of a set does not depend on the order of the comparisons, so
// four lanes take their own maxima first.
float block_peak(const float* const* in, int32_t nch, int32_t start, int32_t stop)
{
    const v4f big = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    v4f peak4 = {kPeakFloor, kPeakFloor, kPeakFloor, kPeakFloor};
    v4f peak4b = peak4;
    float peak = kPeakFloor;
    for (int32_t c = 0; c < nch; c++)
    {
        const float* x = in[c];
        int32_t i = start;
        // Two accumulators, so that consecutive vectors do not wait on each other.
        for (; i + 8 <= stop; i += 8)
        {
            const v4f v = oxblk::load4(x + i), w = oxblk::load4(x + i + 4);
            const v4f a = v < 0.0f ? -v : v, b = w < 0.0f ? -w : w;
            // NaN and Inf fail a <= FLT_MAX and leave the lane as it was.
            peak4 = ((a > peak4) & (a <= big)) ? a : peak4;
            peak4b = ((b > peak4b) & (b <= big)) ? b : peak4b;
        }
        for (; i < stop; i++)
        {
            const float a = std::fabs(x[i]);
            if (a > peak && std::isfinite(a)) peak = a;
        }
    }
    for (int l = 0; l < 4; l++)
    {
        if (peak4[l] > peak) peak = peak4[l];
        if (peak4b[l] > peak) peak = peak4b[l];
    }
    return peak;
}

} // namespace

extern "C" {

void ox_complim_default_cfg(ox_complim_cfg* cfg)
{
    if (!cfg) return;
    cfg->block_ms = kBlockMs;
    cfg->gain = kGain;
    cfg->ratio = kRatio;
    cfg->threshold = kThreshold;
    cfg->ceiling = kCeiling;
    cfg->clip = kClip;
}

int ox_complim_init(ox_complim_params* params, ox_complim_state* state, const ox_complim_cfg* cfg,
                    float sample_rate)
{
    if (!params || !state || !cfg) return -3;
    if (!oxblk::init_rate_ok(sample_rate)) return -7;
    if (!finite_cfg(cfg) || cfg->clip < 0.0f || cfg->threshold > cfg->ceiling ||
        cfg->block_ms <= 0.0f || cfg->threshold >= 0.0f || cfg->ceiling >= 0.0f)
        return -3;

    params->sample_rate = sample_rate;
    // A block that rounds to 0 samples would never advance the processing loop;
    // one longer than a second only costs range (a call is then a single block).
    double block = std::round((double)cfg->block_ms * sample_rate * 0.001);
    block = block < 1.0 ? 1.0 : (block > sample_rate ? std::floor(sample_rate) : block);
    params->block = (int32_t)block;
    params->detector_scale = 1.0f;
    params->comp_attack = smoothing(block, sample_rate, kCompAttack);
    params->comp_release = smoothing(block, sample_rate, kCompRelease);
    params->lim_attack = smoothing(block, sample_rate, kLimAttack);
    params->lim_release = smoothing(block, sample_rate, kLimRelease);
    params->gain_smooth = smoothing(1.0, sample_rate, kGainSmooth);
    params->clip = cfg->clip;
    ox_complim_update_cfg(params, cfg);
    ox_complim_reset(params, state);
    return 0;
}

int ox_complim_update_cfg(ox_complim_params* params, const ox_complim_cfg* cfg)
{
    if (!params || !cfg) return 0;
    // No range validation here (a threshold above the ceiling is merely odd),
    // but a non-finite value would turn the envelopes into NaN for good.
    const float gain = ox_clampf(cfg->gain, -200.0f, 200.0f, kGain);
    // A ratio below 1 would expand instead of compress (and 0 divides by 0).
    const float ratio = ox_clampf(cfg->ratio, 1.0f, 3.0e38f, kRatio);
    params->makeup = (float)std::pow(10.0, gain * 0.05);
    params->slope = 1.0f - 1.0f / ratio;
    params->threshold = ox_clampf(cfg->threshold, -1000.0f, 1000.0f, kThreshold);
    params->ceiling = ox_clampf(cfg->ceiling, -1000.0f, 1000.0f, kCeiling);
    return 0;
}

void ox_complim_reset(const ox_complim_params* params, ox_complim_state* state)
{
    if (!state) return;
    state->comp_env = 0.0f;
    state->lim_env = 0.0f;
    state->gain = params ? params->detector_scale : 1.0f;
}

void ox_complim_process(const ox_complim_params* params, ox_complim_state* state,
                        const float* const* in, float* const* out, int32_t n, int32_t offset,
                        int32_t nch, int32_t flags)
{
    // Sample indices stay far from int overflow (calls cover one frame).
    if (!params || !state || !in || !out || n < 1 || offset < 0 || nch < 1 || n > kMaxSpan ||
        offset > kMaxSpan)
        return;
    for (int32_t c = 0; c < nch; c++)
        if (!in[c] || !out[c]) return;

    const int32_t block = params->block < 1 ? 1 : params->block;
    const int32_t end = offset + n;
    float g = state->gain;
    for (int32_t start = offset; start < end; start += block)
    {
        const int32_t stop = end - start < block ? end : start + block;

        // Non-finite samples are kept out of the detector: one infinite sample
        // would otherwise leave the envelopes, and every later gain, at NaN.
        const float p = block_peak(in, nch, start, stop) * params->detector_scale;

        float e1 = state->comp_env;
        e1 += (p > e1 ? params->comp_attack : params->comp_release) * (p - e1);
        state->comp_env = e1;

        float m = 1.0f;
        float gc_db = 0.0f;
        if (flags & OX_COMPLIM_COMPRESSOR)
        {
            m = params->makeup;
            const float over = params->threshold - (20.0f * std::log10(e1) - 6.0f);
            gc_db = (over < 0.0f ? over : 0.0f) * params->slope;
        }
        // 10^0 is exactly 1: most blocks need no library call.
        const float gc = gc_db == 0.0f ? 1.0f : std::pow(10.0f, gc_db * 0.05f);

        // A huge sample times a large make-up gain must not overflow into the
        // envelope (inf - inf would leave it NaN).
        float q = p * gc * m;
        if (!(q <= FLT_MAX)) q = FLT_MAX;
        float e2 = state->lim_env;
        e2 += (q > e2 ? params->lim_attack : params->lim_release) * (q - e2);
        state->lim_env = e2;

        float gl_db = 0.0f;
        if (flags & OX_COMPLIM_LIMITER)
        {
            const float room = params->ceiling - 20.0f * std::log10(e2);
            gl_db = room < 0.0f ? room : 0.0f;
        }
        const float target = gc * (gl_db == 0.0f ? 1.0f : std::pow(10.0f, gl_db * 0.05f));

        // The gain glide runs once per sample into a short buffer; the channels
        // are then scaled in plain loops the compiler vectorises.
        const float a = params->gain_smooth;
        float mg[kGainChunk];
        for (int32_t i0 = start; i0 < stop; i0 += kGainChunk)
        {
            const int32_t len = stop - i0 < kGainChunk ? stop - i0 : kGainChunk;
            if (g + a * (target - g) == g)
            {
                // The glide has settled: a step that leaves g unchanged leaves it so for good.
                const float v = m * g;
                for (int32_t i = 0; i < len; i++) mg[i] = v;
            }
            else
                for (int32_t i = 0; i < len; i++)
                {
                    g += a * (target - g);
                    mg[i] = m * g;
                }
            for (int32_t c = 0; c < nch; c++)
            {
                const float* x = in[c] + i0;
                float* y = out[c] + i0;
                for (int32_t i = 0; i < len; i++) y[i] = x[i] * mg[i];
            }
        }
    }
    state->gain = g;

    if (flags & OX_COMPLIM_CLIP)
    {
        const float clip = params->clip;
        for (int32_t c = 0; c < nch; c++)
        {
            float* y = out[c];
            for (int32_t i = offset; i < end; i++)
            {
                // The clip is the last guard before the speakers: NaN goes to 0.
                const float v = y[i];
                y[i] = v > clip ? clip : (v < -clip ? -clip : (v == v ? v : 0.0f));
            }
        }
    }
}

} // extern "C"
