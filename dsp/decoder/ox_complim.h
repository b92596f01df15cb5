// Output compressor-limiter: one gain for all output channels together, so the
// spatial image is never shifted by level-dependent gain differences.
//
// A block-wise peak detector (blocks of about 1 ms) feeds a compressor stage
// and a limiter stage; their product is smoothed per sample and applied to
// every channel; an optional hard clip bounds the result. All memory lives in
// the caller's parameter and state records (no alloc/done).
#ifndef OX_COMPLIM_H
#define OX_COMPLIM_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Flags passed to every process call.
#define OX_COMPLIM_COMPRESSOR 0x1
#define OX_COMPLIM_LIMITER 0x2
#define OX_COMPLIM_CLIP 0x4

// User configuration (six floats, in this order).
typedef struct ox_complim_cfg
{
    float block_ms;  // length of a detection block, ms (default 1.0)
    float gain;      // compressor make-up gain, dB (default 0)
    float ratio;     // compression ratio, at least 1 (default 2)
    float threshold; // compressor threshold, dB, below 0 (default -12)
    float ceiling;   // limiter ceiling, dB, below 0 and not below threshold (default -3)
    float clip;      // hard-clip level, linear, at least 0 (default 1)
} ox_complim_cfg;

// Derived parameters.
typedef struct ox_complim_params
{
    float sample_rate;    // Hz
    int32_t block;        // detection block length in samples, at least 1
    float makeup;         // linear make-up gain
    float slope;          // 1 - 1/ratio
    float threshold;      // dB
    float ceiling;        // dB
    float detector_scale; // 1.0
    float comp_attack;    // block smoothing factors: compressor attack (10 ms),
    float comp_release;   // compressor release (200 ms),
    float lim_attack;     // limiter attack (0.1 ms),
    float lim_release;    // limiter release (70 ms)
    float gain_smooth;    // per-sample gain smoothing factor (0.1 ms)
    float clip;           // hard-clip level, linear
} ox_complim_params;

// Running state.
typedef struct ox_complim_state
{
    float comp_env; // compressor envelope (linear peak), starts 0
    float lim_env;  // limiter envelope (linear peak), starts 0
    float gain;     // current smoothed gain, starts 1
} ox_complim_state;

// Writes the defaults listed above.
void ox_complim_default_cfg(ox_complim_cfg* cfg);

// Validates cfg, derives every parameter and sets the start state. Returns 0;
// -7 for a sample rate outside 8000..192000 Hz; -3 for an invalid
// configuration (clip < 0, threshold > ceiling, block_ms <= 0, threshold >= 0,
// ceiling >= 0, or any non-finite field). A ratio below 1 is taken as 1.
int ox_complim_init(ox_complim_params* params, ox_complim_state* state, const ox_complim_cfg* cfg,
                    float sample_rate);

// Recomputes make-up gain, slope, threshold and ceiling from cfg (block length,
// time constants and clip keep their init values). Non-finite fields take
// their defaults and a ratio below 1 is taken as 1. Returns 0.
int ox_complim_update_cfg(ox_complim_params* params, const ox_complim_cfg* cfg);

// Envelopes to 0, gain to 1.
void ox_complim_reset(const ox_complim_params* params, ox_complim_state* state);

// Processes samples offset .. offset+n-1 of nch channels. in and out are arrays
// of nch channel pointers (in place allowed). flags: OX_COMPLIM_* bits.
void ox_complim_process(const ox_complim_params* params, ox_complim_state* state,
                        const float* const* in, float* const* out, int32_t n, int32_t offset,
                        int32_t nch, int32_t flags);

#ifdef __cplusplus
}
#endif

#endif
