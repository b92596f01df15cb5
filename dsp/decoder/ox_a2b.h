// A-format to B-format: the four capsule spectra of a tetrahedral microphone
// (order LF, RF, LB, RB) become first-order B-format W, X, Y, Z in the
// short-time spectral domain.
//
// The capsules of a real array are a few centimetres apart, so a plane wave
// reaches them at different times and the plain matrix sums them with the
// wrong phases (W loses level towards high frequencies). Before the matrix
// each capsule can be phase-aligned, band by band, to a common reference;
// the correction is limited to the largest phase difference that the
// configured spacing can cause at the band's upper edge.
//
// Two calls per frame: ox_a2b_process1_frame gathers statistics of the
// reference (band energies, adaptive smoothing factors, frame-to-frame
// coherence; the beam processor reads `smoothing` and `coherence` as well),
// ox_a2b_process2_frame aligns the capsules and applies the matrix in place.
//
// Spectra are packed half spectra of `specsize` complex bins (interleaved
// float pairs; pair 0 = DC real, Nyquist imaginary). Complex arrays below are
// stored the same way. Band b covers the bins from band_edges[b-1] (bin 1 for
// band 0) up to band_edges[b] - 1; band 0 also takes DC, the last band Nyquist.
#ifndef OX_A2B_H
#define OX_A2B_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bits of `flags`.
#define OX_A2B_NO_ALIGN 0x1    // skip the phase alignment (forced when spacing is 0)
#define OX_A2B_APPLY_ALIGN 0x2 // apply the phase factors to the capsule spectra
#define OX_A2B_NO_MATRIX 0x4   // leave the spectra in A-format
#define OX_A2B_MEAN_REF 0x8    // reference = mean of the capsules (else capsule LF)
#define OX_A2B_ADAPTIVE 0x10   // adaptive band smoothing (else factor 1)
#define OX_A2B_COHERENCE 0x20  // scale each phase by 1 - coherence^exponent, held in 0..1

// User configuration, owned by the caller.
typedef struct ox_a2b_cfg
{
    int32_t flags;            // OX_A2B_* bits, default 26 (apply, mean reference, adaptive)
    float spacing;            // capsule distance, mm, 0..100, default 20
    float attack_time;        // band smoothing while the reference energy rises, ms, default 10
    float release_time;       // band smoothing while it falls, ms, default 10
    float coherence_exponent; // exponent on the coherence (with OX_A2B_COHERENCE), default 1
    float coherence_time;     // time constant of the coherence estimate, ms, default 10
} ox_a2b_cfg;

// Derived parameters, owned by the caller.
typedef struct ox_a2b_params
{
    int32_t num_capsules;      // always 4
    int32_t num_outputs;       // always 4
    float sample_rate;         // Hz
    int32_t framesize;         // hop, samples
    int32_t specsize;          // complex bins per spectrum
    int32_t num_bands;         // perceptual bands
    const int32_t* band_edges; // [num_bands], not owned: exclusive upper bin of each band
    const float* band_table;   // [num_bands], not owned: band weights for band scaling
    int32_t flags;             // cfg flags, plus OX_A2B_NO_ALIGN when spacing is 0
    float attack;              // smoothing factor per frame while rising, 0..1
    float release;             // smoothing factor per frame while falling, 0..1
    float matrix[4][4];        // rows W, X, Y, Z; columns LF, RF, LB, RB
    float coherence_exponent;  // copy of the configuration
    float coherence_factor;    // smoothing factor of the coherence estimate, 0..1
    float* max_phase;          // [num_bands], owned: largest phase correction, radians
} ox_a2b_params;

// Running state, owned by the caller; arrays allocated by ox_a2b_alloc.
typedef struct ox_a2b_state
{
    float* ref_energy;     // [num_bands] smoothed band energy of the reference
    float* smoothing;      // [num_bands] this frame's smoothing factor per band, 0..1
    float* reference;      // complex[specsize] this frame's reference spectrum
    float* cross[4];       // per capsule complex[num_bands]: smoothed reference x conj(capsule)
    float* correction[4];  // per capsule complex[num_bands]: unit phase factor per band
    float* prev_energy;    // [num_bands] smoothed band energy of the previous reference
    float* cur_energy;     // [num_bands] smoothed band energy of this reference
    float* frame_cross;    // complex[specsize] smoothed previous x conj(current) reference
    float* prev_reference; // complex[specsize] the previous frame's reference
    float* coherence;      // [num_bands] frame-to-frame coherence of the reference, 0..1
} ox_a2b_state;

// Stores the sizes and pointers (fields up to band_table) and allocates
// max_phase and every state array, zeroed. Any previous pointers in params and
// state are overwritten, not freed. Returns 0; -7 for sample_rate <= 0; -3 for
// framesize, specsize or num_bands below 1 (or above INT32_MAX / 2); -2 when an
// allocation fails (everything made is freed again).
int ox_a2b_alloc(ox_a2b_params* params, ox_a2b_state* state, int32_t framesize, int32_t specsize,
                 int32_t num_bands, const int32_t* band_edges, const float* band_table,
                 float sample_rate);

// Writes the default configuration.
void ox_a2b_default_cfg(ox_a2b_cfg* cfg);

// Builds the capsule matrix, derives the parameters and clears the state.
// NOTE the argument order differs from ox_a2b_alloc: sample rate before the
// band tables. Sizes must be those given to ox_a2b_alloc; band_edges must
// ascend strictly within 1..specsize and band_table must be set.
// Returns 0; -7 outside 8000..192000 Hz; -3 for invalid sizes or tables or a
// state that was not allocated (messages on stderr).
int ox_a2b_init(ox_a2b_params* params, ox_a2b_state* state, ox_a2b_cfg* cfg, int32_t framesize,
                int32_t specsize, int32_t num_bands, float sample_rate, const int32_t* band_edges,
                const float* band_table);

// Clamps cfg->spacing in place (0..100 mm) and derives flags, smoothing factors
// and the per-band phase limits. A time constant of 0 or below means "no
// smoothing" (factor 1); a non-finite one takes its default. Returns 0.
int ox_a2b_update_cfg(ox_a2b_params* params, ox_a2b_cfg* cfg);

// Zeroes every state array.
void ox_a2b_reset(ox_a2b_params* params, ox_a2b_state* state);

// Reads the four input spectra (in[0..3], specsize complex bins each) and
// updates the reference statistics in the state; the spectra are not changed.
void ox_a2b_process1_frame(ox_a2b_params* params, ox_a2b_state* state, const float* const* in);

// Phase-aligns the four capsule spectra and applies the matrix in place: on
// return in[0..3] hold W, X, Y, Z. Must follow process1 of the same frame.
void ox_a2b_process2_frame(ox_a2b_params* params, ox_a2b_state* state, float* const* in);

// Frees max_phase and every state array; safe to call twice.
void ox_a2b_done(ox_a2b_params* params, ox_a2b_state* state);

#ifdef __cplusplus
}
#endif

#endif
