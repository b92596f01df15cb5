// Decorrelation filters for the diffuse part of the speaker beams.
//
// Twenty filters, one per possible output beam, each one complex gain per
// perceptual band: a unit phasor whose phase is a fixed pseudo-random value
// per filter and band, scaled by the decorrelation amount and, on request,
// reduced in bands where the signal is stationary from frame to frame (a
// steady tone keeps its phase, so it does not smear across the speakers).
// The filters glide towards their targets; the block only designs them, the
// engine applies filter i to the diffuse part of beam i band by band.
//
// Spectra are packed half spectra of `specsize` complex bins (interleaved
// float pairs; pair 0 = DC real, half-rate imaginary). Band b covers the bins
// from band_edges[b-1] (bin 1 for band 0) up to band_edges[b] - 1; band 0 also
// takes DC and the last band the half-rate value, each as a real number.
#ifndef OX_DECORR_H
#define OX_DECORR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_DECORR_FILTERS 20

// Bits of `mode`.
#define OX_DECORR_ZERO_PHASE 0x1 // every filter tends to 1 (no decorrelation)
#define OX_DECORR_STATIONARY 0x2 // reduce the phase by the band's stationarity

// User configuration, owned by the caller. Not clamped (the decoder clamps
// its settings); a non-finite value takes the field's default.
typedef struct ox_decorr_cfg
{
    int32_t mode;      // OX_DECORR_* bits, default 0
    float amount;      // largest phase as a percentage of pi, default 50
    float filter_time; // time constant of the filter glide, ms, default 30
    float exponent;    // exponent on the stationarity measure, default 3
} ox_decorr_cfg;

// Derived parameters, owned by the caller.
typedef struct ox_decorr_params
{
    int32_t num_filters;              // filters designed per frame: 20, fewer when
                                      // the caller lowers it after init
    float sample_rate;                // Hz
    int32_t framesize;                // hop, samples
    int32_t specsize;                 // complex bins per spectrum
    int32_t num_bands;                // perceptual bands
    const int32_t* band_edges;        // [num_bands], not owned
    int32_t mode;                     // copy of the configuration
    float* random[OX_DECORR_FILTERS]; // per filter [num_bands], owned: fixed values in -1..1
    float norm;                       // 1 / largest |random| value
    float amount;                     // percent
    float exponent;                   // stationarity exponent
    float coherence_factor;           // min(1, frame_ms / 30): statistics smoothing
    float filter_factor;              // min(1, frame_ms / filter_time)
} ox_decorr_params;

// Running state, owned by the caller; arrays allocated by ox_decorr_alloc.
typedef struct ox_decorr_state
{
    int32_t seed;                     // random generator state
    float* filter[OX_DECORR_FILTERS]; // per filter complex[num_bands]: the result
    float* prev_energy;               // [num_bands] smoothed band energy, previous frame
    float* cur_energy;                // [num_bands] smoothed band energy, this frame
    float* cross;                     // complex[specsize] smoothed previous x conj(current)
    float* prev_spectrum;             // complex[specsize] the previous frame's spectrum
    float* coherence;                 // [num_bands] frame-to-frame coherence, 0..1
} ox_decorr_state;

// Minimal standard generator of Park and Miller (16807 * seed mod 2^31 - 1,
// Schrage's decomposition): advances *seed and returns seed / (2^31 - 1),
// in (0, 1). A seed outside 1..2^31-2 (which would stick at 0) restarts at 1;
// a null seed gives 0.
float frandom(int32_t* seed);

// Stores the sizes and allocates the random tables, the twenty filters and
// the state arrays (zeroed). -7 for a sample rate <= 0, -3 for a size below
// 1, -2 when an allocation fails (everything then freed); else 0.
int32_t ox_decorr_alloc(ox_decorr_params* params, ox_decorr_state* state, int32_t framesize,
                        int32_t specsize, int32_t num_bands, const int32_t* band_edges,
                        float sample_rate);

// Mode 0, amount 50 %, filter time 30 ms, exponent 3.
void ox_decorr_default_cfg(ox_decorr_cfg* cfg);

// -7 unless 8000 <= sample rate <= 192000; -3 for fewer than one band (after
// "Invalid npart (%d)" on stderr), a missing band table or missing arrays.
// Derives the parameters, resets the state and draws the random tables
// (the same in every instance with the same band count). Returns 0.
int32_t ox_decorr_init(ox_decorr_params* params, ox_decorr_state* state, const ox_decorr_cfg* cfg);

// Copies mode, amount and exponent and derives the filter glide factor; the
// random tables are kept. Returns 0 (-3 for null pointers).
int32_t ox_decorr_update_cfg(ox_decorr_params* params, ox_decorr_state* state,
                             const ox_decorr_cfg* cfg);

// Seed 1; zeroes the filters (they fade in again), energies, cross
// spectrum, previous spectrum and coherence.
void ox_decorr_reset(ox_decorr_params* params, ox_decorr_state* state);

// One frame: measures the frame-to-frame coherence of `spectrum`
// (complex[specsize], only read) per band and moves filters 0 .. num_filters-1
// towards their targets. Real time: no allocation.
void ox_decorr_filters(const ox_decorr_params* params, ox_decorr_state* state,
                       const float* spectrum);

// Frees every array that is set and clears its pointer.
void ox_decorr_done(ox_decorr_params* params, ox_decorr_state* state);

#ifdef __cplusplus
}
#endif

#endif
