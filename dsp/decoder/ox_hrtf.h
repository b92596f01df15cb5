// Binaural renderer: up to 32 time-domain sources, each a virtual loudspeaker
// with an azimuth, an elevation and a gain, rendered to a left and a right
// headphone signal without head-related impulse responses.
//
// Every source passes a parametric spectral equaliser (15 biquad sections whose
// frequencies, gains and qualities follow from its direction); then, per ear,
// the interaural delay of a spherical head (whole samples, optionally refined
// by a 5-tap Lagrange fractional delay) and a first-order head-shadow shelf
// carrying the source gain. The ears of all sources are summed and an optional
// pair of tone shelves finishes each ear. A simple panning mode replaces all of
// this on request.
//
// Angles in degrees (azimuth positive to the left, elevation positive up),
// gains in dB, frequencies in Hz, lengths in mm.
#ifndef OX_HRTF_H
#define OX_HRTF_H

#include <stdint.h>

#include "ox_biquad.h"
#include "ox_iir.h"

#ifdef __cplusplus
extern "C" {
#endif

#define OX_HRTF_MAX_SOURCES 32
// Equaliser sections per family (azimuth, elevation, reference).
#define OX_HRTF_EQ_SECTIONS 5
// Whole-sample interaural delays are kept within max(96 samples, 2 ms).
#define OX_HRTF_MIN_MAX_DELAY 96
#define OX_HRTF_MAX_DELAY_MS 2.0f
// Taps of the fractional-delay filter (it adds 2 samples to both ears).
#define OX_HRTF_FRAC_TAPS 5
// Highest accepted sample rate: bounds the size of the delay history.
#define OX_HRTF_MAX_SAMPLE_RATE 768000.0f

// Bits of `mode`.
#define OX_HRTF_MODE_PANNING 1      // simple panning instead of rendering
#define OX_HRTF_MODE_NO_DELAY 2     // no interaural delay
#define OX_HRTF_MODE_NO_SHADOW 4    // no head shadow (both ears flat)
#define OX_HRTF_MODE_NO_LEFT 8      // no left-ear output
#define OX_HRTF_MODE_NO_RIGHT 16    // no right-ear output
#define OX_HRTF_MODE_NO_SPECTRAL 32 // no spectral equaliser
#define OX_HRTF_MODE_TONE 64        // tone shelves on

// User parameters, 115 words, owned by the caller. Defaults from
// ox_hrtf_default_uparams. Fields are read as they are and never written
// back; values that would break the rendering (non-finite angles, sizes out
// of range) are replaced by safe ones while deriving the parameters.
typedef struct ox_hrtf_uparams
{
    int32_t mode;                         // OX_HRTF_MODE_* bits (0)
    float sample_rate;                    // Hz, set by the caller
    int32_t framesize;                    // samples per process call
    int32_t num_sources;                  // 0 .. 32 (2)
    float azimuth[OX_HRTF_MAX_SOURCES];   // degrees, positive to the left
    float elevation[OX_HRTF_MAX_SOURCES]; // degrees, positive up
    float gain[OX_HRTF_MAX_SOURCES];      // dB
    float spectral_amount;                // scale of all equaliser gains (1)
    float reference_angle;                // azimuth where the equaliser is flat (0)
    float head_size;                      // mm, head-shadow corner, at least 10 (140)
    float ear_distance;                   // mm, interaural delay (210)
    float azimuth_warp;                   // exponent (1)
    float elevation_warp;                 // exponent (1)
    float rotation;                       // degrees added to every azimuth (0)
    float tilt;                           // degrees of head tilt (0)
    float rotation2;                      // degrees added to every azimuth (0)
    float tilt2;                          // degrees added to tilt (0)
    int32_t fractional_delay;             // non-zero: fractional-delay filters (0)
    float low_freq;                       // Hz, low tone shelf (105)
    float low_gain;                       // dB (-6)
    float high_freq;                      // Hz, high tone shelf (2500)
    float high_gain;                      // dB (1.8)
} ox_hrtf_uparams;

// Derived parameters, owned by the caller.
typedef struct ox_hrtf_params
{
    int32_t mode;                                // copied by every update
    float sample_rate;                           // copied by init
    int32_t framesize;                           // copied by init
    int32_t num_sources;                         // copied by init (at most 32)
    int32_t fractional_delay;                    // copied by every update
    float source_azimuth[OX_HRTF_MAX_SOURCES];   // for the panning mode, within -180..180
    ox_iir_cf1 shadow_left[OX_HRTF_MAX_SOURCES]; // head shadow incl. source gain
    ox_iir_cf1 shadow_right[OX_HRTF_MAX_SOURCES];
    int32_t delay_left[OX_HRTF_MAX_SOURCES]; // whole samples
    int32_t delay_right[OX_HRTF_MAX_SOURCES];
    int32_t frac_left[OX_HRTF_MAX_SOURCES]; // remaining fraction, tenths of a sample
    int32_t frac_right[OX_HRTF_MAX_SOURCES];
    ox_biquad_coeffs reference_eq[OX_HRTF_EQ_SECTIONS];
    ox_biquad_coeffs azimuth_eq[OX_HRTF_MAX_SOURCES][OX_HRTF_EQ_SECTIONS];
    ox_biquad_coeffs elevation_eq[OX_HRTF_MAX_SOURCES][OX_HRTF_EQ_SECTIONS];
    ox_biquad_coeffs tone_low;
    ox_biquad_coeffs tone_high;
    // Largest whole delay, samples: max(96, 2 ms), set by init from the sample
    // rate (the history holds it plus the fractional filter's reach).
    int32_t max_delay;
} ox_hrtf_params;

// Running state, owned by the caller; history and scratch are allocated by
// init and freed by done.
typedef struct ox_hrtf_state
{
    float shadow_mem_left[OX_HRTF_MAX_SOURCES][2]; // {x1, y1}
    float shadow_mem_right[OX_HRTF_MAX_SOURCES][2];
    // The last history_len equalised samples of each source:
    // 32 × history_len floats, source j at history + j·history_len.
    float* history;
    int32_t cur_delay_left[OX_HRTF_MAX_SOURCES];
    int32_t cur_delay_right[OX_HRTF_MAX_SOURCES];
    float* scratch; // framesize floats
    ox_biquad_state eq_mem_reference[OX_HRTF_MAX_SOURCES][OX_HRTF_EQ_SECTIONS];
    ox_biquad_state eq_mem_azimuth[OX_HRTF_MAX_SOURCES][OX_HRTF_EQ_SECTIONS];
    ox_biquad_state eq_mem_elevation[OX_HRTF_MAX_SOURCES][OX_HRTF_EQ_SECTIONS];
    ox_biquad_state tone_mem[4]; // left low, left high, right low, right high
    // Samples of history per source: the largest whole delay plus the four
    // samples the fractional-delay filter reaches back. Set by init from the
    // sample rate; 0 before init and after done.
    int32_t history_len;
} ox_hrtf_state;

// Writes the defaults (all per-source values 0, sample rate and frame size 0).
void ox_hrtf_default_uparams(ox_hrtf_uparams* uparams);

// Builds the renderer from uparams' sample_rate, framesize and num_sources
// (clamped to 0..32): allocates the delay history (sized from the sample
// rate) and the scratch frame, derives all parameters and clears the state.
// The state must be zeroed or released by ox_hrtf_done before. Returns 0;
// -7 for a sample rate that is not finite, <= 0 or above
// OX_HRTF_MAX_SAMPLE_RATE; -3 for framesize < 1 or a null pointer; -2 when
// memory runs out (nothing stays allocated).
int ox_hrtf_init(ox_hrtf_params* params, ox_hrtf_state* state, const ox_hrtf_uparams* uparams);

// Derives every parameter of the first num_sources sources from uparams and
// moves the current whole delays in state (they only follow the exact delay
// once it is a full sample away); of state only cur_delay_left/right are read
// and written. Allocates nothing. Returns 0; -3 for a null pointer; -7 when
// params come from no successful init.
int ox_hrtf_update(const ox_hrtf_uparams* uparams, ox_hrtf_params* params, ox_hrtf_state* state);

// Clears filter memories and histories; the current delays take the
// parameters' delays.
void ox_hrtf_reset(const ox_hrtf_params* params, ox_hrtf_state* state);

// Renders one frame. in: num_sources pointers to framesize samples, which
// the spectral equaliser overwrites in place; out: two pointers (left,
// right) to framesize samples that are added to (clear them first). Does
// nothing before init or with null pointers; a null source is skipped.
void ox_hrtf_process(const ox_hrtf_params* params, ox_hrtf_state* state, float* const* in,
                     float* const* out);

// Frees the history and scratch buffers (safe to call twice).
void ox_hrtf_done(ox_hrtf_params* params, ox_hrtf_state* state);

#ifdef __cplusplus
}
#endif

#endif
