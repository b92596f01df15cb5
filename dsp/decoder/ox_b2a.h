// Virtual microphones: up to 20 first-order microphones formed from a B-format
// signal in the short-time spectral domain, each with its own direction and
// pattern (omnidirectional through cardioid to figure-of-eight).
//
// B-format here is four spectra W, X, Y, Z with W at -3 dB, so a cardioid aimed
// along unit vector u is 0.7071·W + 0.5·(u·(X, Y, Z)). Spectra are packed half
// spectra: specsize complex bins of two floats each (2·specsize floats; bin 0
// holds DC and the half-rate value, both real). The block has no running state
// and no smoothing: a new direction or pattern takes effect with the next frame.
#ifndef OX_B2A_H
#define OX_B2A_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_B2A_MAX_MICS 20
#define OX_B2A_MODE_BYPASS 0x1 // outputs are left untouched

// User configuration.
typedef struct ox_b2a_cfg
{
    int32_t mode;                     // OX_B2A_MODE_* bits, not clamped (default 0)
    float azimuth[OX_B2A_MAX_MICS];   // degrees -180..180, positive from X towards Y (0)
    float elevation[OX_B2A_MAX_MICS]; // degrees -90..90, positive towards Z (0)
    float pattern[OX_B2A_MAX_MICS];   // 1 omni, 0.5 cardioid, 0 figure-of-eight (1)
} ox_b2a_cfg;

// Derived parameters. The engine may copy this record and overwrite directions
// and patterns in the copy; processing reads nothing else.
typedef struct ox_b2a_params
{
    int32_t num_inputs;               // always 4 (W, X, Y, Z)
    int32_t max_mics;                 // always OX_B2A_MAX_MICS
    float sample_rate;                // Hz
    int32_t framesize;                // hop size in samples
    int32_t specsize;                 // complex bins per spectrum
    int32_t mode;                     // copy of the configuration's mode
    float azimuth[OX_B2A_MAX_MICS];   // radians
    float elevation[OX_B2A_MAX_MICS]; // radians
    float pattern[OX_B2A_MAX_MICS];   // 0..1
    float gain;                       // overall linear gain, 1 after init
} ox_b2a_params;

// The block keeps no running state; the record exists for the common life cycle.
typedef struct ox_b2a_state
{
    int32_t unused;
} ox_b2a_state;

// Fills the header fields of params (allocates nothing; state may be NULL).
// Returns 0; -7 for a sample rate that is not a positive number; -3 for a
// framesize or specsize below 1 or a NULL params.
int32_t ox_b2a_alloc(ox_b2a_params* params, ox_b2a_state* state, int32_t framesize,
                     int32_t specsize, float sample_rate);

// Mode 0, all directions 0, all patterns 1 (omnidirectional).
void ox_b2a_default_cfg(ox_b2a_cfg* cfg);

// Fills the header as alloc does, sets gain 1 and takes over all microphones of
// cfg as update_cfg does. Returns 0; -7 outside 8000..192000 Hz; -3 for a
// framesize or specsize below 1 or a NULL pointer.
int32_t ox_b2a_init(ox_b2a_params* params, ox_b2a_state* state, ox_b2a_cfg* cfg, int32_t framesize,
                    int32_t specsize, float sample_rate);

// Clamps every microphone of cfg in place (a non-finite value takes its
// default), copies the mode and stores directions in radians. Returns 0, -3 for
// a NULL pointer.
int32_t ox_b2a_update_cfg(ox_b2a_params* params, ox_b2a_cfg* cfg);

// Nothing to reset or free.
void ox_b2a_reset(ox_b2a_params* params, ox_b2a_state* state);
void ox_b2a_done(ox_b2a_params* params, ox_b2a_state* state);

// Computes microphones 0 .. min(count, 20)-1: out[i] = cW·W + cX·X + cY·Y + cZ·Z
// over 2·specsize floats. in: four spectrum pointers W, X, Y, Z; out: count
// spectrum pointers, not overlapping the inputs. Writes nothing in bypass mode,
// for count < 1 or NULL inputs; a NULL out[i] is skipped.
void ox_b2a_process_frame(const ox_b2a_params* params, ox_b2a_state* state, const float* const* in,
                          float* const* out, int32_t count);

#ifdef __cplusplus
}
#endif

#endif
