// Beam processing: sharpens one speaker beam.
//
// The input is a pair of back-to-back first-order virtual microphones aimed
// along the beam: C1 into the beam direction, C2 away from it. Per perceptual
// band the block estimates from the powers and the cross-power of C1 and C2
// how much of the sound is diffuse and how much direct, and where the direct
// sound comes from relative to the beam axis. From that it derives two-tap
// band weights whose sum w1*C1 + w2*C2 best approximates a target: the direct
// sound with a directional gain plus a little diffuse sound (output 1) and,
// optionally, the diffuse sound plus a little direct sound (output 2). The
// weights are smoothed over time and left in the state; the engine spreads
// them over the bins and forms the sums. The block writes no spectra. The
// engine keeps one instance per speaker beam.
//
// Spectra are packed half spectra of `specsize` complex bins (interleaved
// float pairs; pair 0 = DC real, half-rate imaginary). Band b covers the bins
// from band_edges[b-1] (bin 1 for band 0) up to band_edges[b] - 1; band 0 also
// takes DC and the last band the half-rate value.
#ifndef OX_BF_H
#define OX_BF_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bits of `mode`.
#define OX_BF_FOCUS_DIFFUSE 0x2      // engine only: diffuse mix divided by sqrt(focus + 1)
#define OX_BF_LEVEL_MODEL 0x4        // coherence from the spacing table, soft-limited statistics
#define OX_BF_SMOOTH_STATS 0x8       // smooth the band statistics (else replaced each frame)
#define OX_BF_CALLER_SMOOTHING 0x10  // statistics smoothing factor per band from the caller
#define OX_BF_SMOOTH_WEIGHTS 0x20    // smooth the weights (else replaced each frame)
#define OX_BF_RELATIVE_STEP 0x40     // weight step relative to the larger magnitude
#define OX_BF_COHERENCE_STEP 0x80    // weight step times 1 - coherence^exponent
#define OX_BF_COMBINED 0x20000000    // one combined output instead of two
#define OX_BF_SINGLE_GAIN 0x40000000 // single-gain model instead of two-tap weights

// User configuration, owned by the caller; update_cfg clamps the fields
// marked with a range in place (a non-finite value takes the default).
typedef struct ox_bf_cfg
{
    int32_t mode;              // OX_BF_* bits, default 188
    float beam_gain;           // dB, -10..10, default 0; applied by the engine
    float aux_factor;          // 0..2, default 1; stored only
    float diffuse_level;       // dB, -180..0, default -40: diffuse kept in output 1
    float gain_floor;          // dB, -180..0, default -30: single-gain model floor
    float eigen_floor;         // dB (power), -180..0, default -20: smallest eigenvalue
    float direct_floor;        // dB, -180..0, default -20; below -120 the gain is 0
    float coherence;           // 0..1, default 0.5: diffuse coherence without LEVEL_MODEL
    float diffuse_scale;       // 0..4, default 1: factor on the diffuse power
    float diffuse_out_level;   // dB, -180..40, default -10; below -120 no diffuse terms
    float direct_mix;          // dB, -40..40, default 0 (combined output)
    float diffuse_mix;         // dB, -40..40, default 0 (combined output, single gain)
    float cross_attack_time;   // ms, default 10: statistics smoothing while rising
    float cross_release_time;  // ms, default 10: ... while falling
    float weight_attack_time;  // ms, default 10: weight smoothing while rising
    float weight_release_time; // ms, default 10: ... while falling
    float coherence_exponent;  // default 1: exponent on the caller's coherence
    float spacing;             // capsule spacing, mm, 0..100, default 20
} ox_bf_cfg;

// Derived parameters, owned by the caller. Decibel fields are linear
// (10^(x/20)), eigen_floor is a power ratio (10^(x/10)).
typedef struct ox_bf_params
{
    int32_t num_inputs;        // always 2
    int32_t num_outputs;       // always 1
    float sample_rate;         // Hz
    int32_t framesize;         // hop, samples
    int32_t specsize;          // complex bins per spectrum
    int32_t num_bands;         // perceptual bands
    const int32_t* band_edges; // [num_bands], not owned
    int32_t mode;
    float beam_gain;
    float eigen_floor;
    float diffuse_level;
    float direct_floor;
    float aux_factor;
    float gain_floor;
    float soft_limit;  // 1.8317807: soft limit of the normalised cross-power
    float level_limit; // 40 dB: soft limit of the level difference
    float coherence;
    float diffuse_scale;
    float diffuse_out_level;
    float direct_mix;
    float diffuse_mix;
    float cross_attack; // smoothing factors min(1, frame_ms / time)
    float cross_release;
    float weight_attack;
    float weight_release;
    float coherence_exponent;
    float* band_coherence; // [num_bands], owned: diffuse coherence of C1, C2 per band
    // Key of the coherence table, so that it is rebuilt only when the
    // spacing, the sample rate or the band layout change.
    int32_t capacity_bands; // bands allocated by ox_bf_alloc
    int32_t table_valid;    // 1 when band_coherence matches the key below
    float table_spacing;
    float table_sample_rate;
    int32_t table_specsize;
    int32_t table_num_bands;
    int32_t* table_edges; // [capacity_bands], owned: band edges of the table
} ox_bf_params;

// Running state, owned by the caller; arrays of num_bands floats allocated by
// ox_bf_alloc. Output 1 = weight1 * C1 + weight2 * C2, output 2 = weight3 *
// C1 + weight4 * C2.
typedef struct ox_bf_state
{
    float* power1; // smoothed band power of C1
    float* power2; // smoothed band power of C2
    float* cross;  // smoothed band sum of Re(C1 conj C2)
    float* weight1;
    float* weight2;
    float* weight3;
    float* weight4;
} ox_bf_state;

// Stores the sizes and allocates the coherence table and the state arrays
// (zeroed). -7 for a sample rate <= 0, -3 for a size below 1, -2 when an
// allocation fails (everything then freed); else 0.
int32_t ox_bf_alloc(ox_bf_params* params, ox_bf_state* state, int32_t framesize, int32_t specsize,
                    int32_t num_bands, const int32_t* band_edges, float sample_rate);

// The defaults listed in ox_bf_cfg.
void ox_bf_default_cfg(ox_bf_cfg* cfg);

// -7 unless 8000 <= sample rate <= 192000; -3 (with "Invalid framesize (%d)",
// "Invalid specsize (%d)" or "Invalid npart (%d)" on stderr) for a size below
// 1; -3 for more bands than allocated, a missing band table or missing
// arrays. Stores the sizes, derives the parameters (as update_cfg), zeroes
// the state. Returns 0.
int32_t ox_bf_init(ox_bf_params* params, ox_bf_state* state, ox_bf_cfg* cfg, int32_t framesize,
                   int32_t specsize, int32_t num_bands, const int32_t* band_edges,
                   float sample_rate);

// Clamps the configuration in place and derives the parameters. The
// coherence table (a spherical integral per band) is rebuilt only when the
// spacing, sample rate or band layout differ from the ones it was built for.
// Returns 0 (-3 for null pointers).
int32_t ox_bf_update_cfg(ox_bf_params* params, ox_bf_cfg* cfg);

// As ox_bf_update_cfg, but takes the coherence table from `shared` (another
// instance already updated with the same configuration) whenever its key
// matches, instead of computing it again: one table serves all beams.
int32_t ox_bf_update_cfg_shared(ox_bf_params* params, ox_bf_cfg* cfg, const ox_bf_params* shared);

// Zeroes the statistics and the weights.
void ox_bf_reset(ox_bf_params* params, ox_bf_state* state);

// One frame. pair: C1 then C2 (complex[specsize] each, only read);
// smoothing, coherence: [num_bands] per-band statistics factor and
// frame-to-frame coherence from the A-format converter (null reads as 1 and
// 0). focus >= 0 is the beam's focus factor; -2 asks for the first-order
// directional gain (1 + cos)/2, -3 for its square (any other negative value:
// first order). Updates the state. Real time: no allocation.
void ox_bf_process_frame(const ox_bf_params* params, ox_bf_state* state, const float* const* pair,
                         const float* smoothing, const float* coherence, float focus);

// Frees the table and the state arrays that are set and clears the pointers.
void ox_bf_done(ox_bf_params* params, ox_bf_state* state);

#ifdef __cplusplus
}
#endif

#endif
