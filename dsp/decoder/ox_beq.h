// Spectral beam equaliser: equalises sound by the direction it comes from.
//
// For up to five beams (azimuth, elevation) it estimates, per perceptual band,
// the direct sound arriving from the beam's direction by comparing a
// first-order beam towards it with the opposite beam, and derives one gain per
// band for each B-format channel W, X, Y, Z so that the direct parts take an
// eight-band octave equaliser curve (125 Hz .. 16 kHz) while the rest keeps
// gain 1. It only measures: the caller applies the gains band by band.
//
// Levels: most decibel fields are turned into power ratios 10^(dB/10) and
// applied as they are to the band gains.
//
// Spectra are packed half spectra of `specsize` complex bins (pair 0 holds DC
// in its real part and the half-rate value in its imaginary part); bands are
// described by an edge table as built by ox_perc_makepercbands (last edge =
// specsize).
#ifndef OX_BEQ_H
#define OX_BEQ_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_BEQ_MAX_BEAMS 5
#define OX_BEQ_EQ_BANDS 8

// Bits of `mode`.
#define OX_BEQ_LEVEL 0x2              // multiply every channel gain by `level`
#define OX_BEQ_FIXED_STATS 0x10000000 // fixed instead of adaptive statistics smoothing

// User configuration of one beam (21 words). The fields marked block-wide
// act on every beam and follow the record updated last.
typedef struct ox_beq_cfg
{
    int32_t mode;              // flag bits, block-wide (default 0)
    float focus;               // 0..2 (default 1)
    float azimuth;             // degrees, -180..180 (default 0)
    float elevation;           // degrees, -90..90 (default 0)
    float gain_floor;          // dB, -180..0, block-wide (default -60)
    float eigen_floor;         // dB, -180..0, block-wide (default -20)
    float diffuse_coherence;   // 0..1 (default 0.5)
    float diffuse_gain;        // dB, -20..20 (default 0)
    float stats_time;          // ms, 1..2000, block-wide (default 20)
    float gain_time;           // ms, 1..2000, block-wide (default 20)
    float beam_gain;           // dB, -20..20 (default 0)
    float eq[OX_BEQ_EQ_BANDS]; // dB at 125, 250 .. 16000 Hz, -40..40 each (default 0)
    float eq_gain;             // dB, -20..20 (default 0)
    float level;               // dB, -180..0, block-wide (default -10)
} ox_beq_cfg;

// Derived parameters.
typedef struct ox_beq_params
{
    int32_t num_inputs;  // 4 (W, X, Y, Z)
    int32_t num_outputs; // 4 (gains of W, X, Y, Z)
    float sample_rate;   // Hz
    int32_t framesize;   // samples per frame
    int32_t specsize;    // complex bins per spectrum (FFT size / 2)
    int32_t num_bands;
    const int32_t* band_edges; // num_bands exclusive upper bins, not owned
    int32_t num_beams;         // 1..5
    int32_t mode;
    float eigen_floor; // linear power ratio
    float gain_floor;  // linear
    float focus[OX_BEQ_MAX_BEAMS];
    float azimuth[OX_BEQ_MAX_BEAMS];   // radians, sign inverted
    float elevation[OX_BEQ_MAX_BEAMS]; // radians
    float diffuse_coherence[OX_BEQ_MAX_BEAMS];
    float diffuse_gain[OX_BEQ_MAX_BEAMS];        // power ratio
    float stats_factor;                          // statistics smoothing factor per frame
    float gain_factor;                           // gain smoothing factor per frame
    float beam_gain[OX_BEQ_MAX_BEAMS];           // power ratio
    float eq_freq[OX_BEQ_EQ_BANDS];              // Hz
    float eq[OX_BEQ_MAX_BEAMS][OX_BEQ_EQ_BANDS]; // power ratios
    float eq_gain[OX_BEQ_MAX_BEAMS];             // power ratio
    float level;                                 // power ratio
} ox_beq_params;

// Running state: every array holds num_bands floats.
typedef struct ox_beq_state
{
    float* energy[4];                     // smoothed band energies of W, X, Y, Z
    float* front_power[OX_BEQ_MAX_BEAMS]; // smoothed power of the beam
    float* back_power[OX_BEQ_MAX_BEAMS];  // smoothed power of the opposite beam
    float* cross[OX_BEQ_MAX_BEAMS];       // smoothed real cross-power of the two
    float* direct[OX_BEQ_MAX_BEAMS];      // direct-sound estimate of the beam
    float* gain[4];                       // result: band gains of W, X, Y, Z
} ox_beq_state;

// Stores the sizes and allocates the zeroed state arrays (four per beam for
// num_beams beams). Returns 0; -7 for sample_rate <= 0; -3 for framesize,
// specsize or num_bands below 1 or num_beams outside 1..5; -2 when an
// allocation fails (nothing then stays allocated).
int ox_beq_alloc(ox_beq_params* params, ox_beq_state* state, int32_t framesize, int32_t specsize,
                 int32_t num_beams, int32_t num_bands, const int32_t* band_edges,
                 float sample_rate);

// Writes the defaults into one record.
void ox_beq_default_cfg(ox_beq_cfg* cfg);

// Stores the sizes, applies records cfgs[0 .. num_beams-1] and resets.
// Returns 0; -7 unless 8000 <= sample_rate <= 192000; -3 for framesize,
// specsize or num_bands below 1, num_beams outside 1..5, more bands or beams
// than were allocated, or a missing or invalid band table.
int ox_beq_init(ox_beq_params* params, ox_beq_state* state, ox_beq_cfg* cfgs, int32_t framesize,
                int32_t specsize, int32_t num_beams, int32_t num_bands, const int32_t* band_edges,
                float sample_rate);

// Clamps the record in place and derives the block-wide fields and those of
// beam `index`. Returns 0; -8 for an index outside 0..4.
int ox_beq_update_cfg(ox_beq_params* params, ox_beq_cfg* cfg, int32_t index);

// Statistics to 0, gains to 1.
void ox_beq_reset(const ox_beq_params* params, ox_beq_state* state);

// One frame: spectra holds the four packed spectra W, X, Y, Z (read only); the
// result is state->gain.
void ox_beq_process_frame(const ox_beq_params* params, ox_beq_state* state,
                          const float* const* spectra);

// Frees every array and clears its pointer.
void ox_beq_done(ox_beq_params* params, ox_beq_state* state);

#ifdef __cplusplus
}
#endif

#endif
