// Mid-side to B-format: a double or triple mid-side recording (channel order
// MF, S, MR, Z: front cardioid, sideways figure-of-eight, rear cardioid,
// vertical figure-of-eight) becomes first-order B-format W, X, Y, Z by a fixed
// 4 x 4 matrix, bin by bin in the short-time spectral domain. For the
// three-channel double mid-side format the caller clears Z before the call.
//
// On request the block also estimates per perceptual band how diffuse the
// field is and turns that into a direct and a diffuse gain per band.
//
// Spectra are packed half spectra of `specsize` complex bins (interleaved
// float pairs; pair 0 = DC real, Nyquist imaginary). Band b covers the bins
// from band_edges[b-1] (bin 1 for band 0) up to band_edges[b] - 1; band 0
// also takes DC, the last band Nyquist.
#ifndef OX_MS2B_H
#define OX_MS2B_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bits of `mode`.
#define OX_MS2B_BYPASS 0x1     // do nothing at all
#define OX_MS2B_STATS 0x2      // compute the band statistics and gains
#define OX_MS2B_NO_DIRECT 0x4  // with OX_MS2B_STATS: every direct gain 0
#define OX_MS2B_NO_DIFFUSE 0x8 // with OX_MS2B_STATS: every diffuse gain 0

// User configuration, owned by the caller.
typedef struct ox_ms2b_cfg
{
    int32_t mode;            // OX_MS2B_* bits, default 0
    float gain_floor;        // lower bound of both band gains, dB, -180..0, default -40
    float diffuseness_scale; // scale of the diffuseness estimate, dB (power), -20..20, default 0
    float diffuse_level;     // gain on the diffuse band gain, dB, -40..40, default 0
} ox_ms2b_cfg;

// Derived parameters, owned by the caller.
typedef struct ox_ms2b_params
{
    int32_t num_inputs;        // always 4
    int32_t num_outputs;       // always 4
    float sample_rate;         // Hz
    int32_t framesize;         // hop, samples
    int32_t specsize;          // complex bins per spectrum
    int32_t num_bands;         // perceptual bands
    const int32_t* band_edges; // [num_bands], not owned: exclusive upper bin of each band
    int32_t mode;              // copy of the configuration
    float smoothing;           // statistics smoothing per frame (30 ms time constant)
    float floor;               // linear gain floor
    float scale;               // power ratio on the diffuseness
    float diffuse_factor;      // linear gain on the diffuse band gain
    float matrix[4][4];        // rows W, X, Y, Z; columns MF, S, MR, Z
} ox_ms2b_params;

// Running state, owned by the caller: nine arrays of num_bands floats.
typedef struct ox_ms2b_state
{
    float* energy_w; // smoothed band energies of the B-format result
    float* energy_x;
    float* energy_y;
    float* energy_z;
    float* cross_xw; // smoothed real parts of the band cross-spectra with W
    float* cross_yw;
    float* cross_zw;
    float* direct_gain; // band gains: the block's result for its caller
    float* diffuse_gain;
} ox_ms2b_state;

// Stores the header (fields up to band_edges) and allocates the nine zeroed
// arrays. Any previous pointers in state are overwritten, not freed. Returns 0;
// -7 for sample_rate <= 0; -3 for framesize, specsize or num_bands below 1 (or
// above INT32_MAX / 2); -2 when an allocation fails (everything made is freed
// again).
int ox_ms2b_alloc(ox_ms2b_params* params, ox_ms2b_state* state, int32_t framesize, int32_t specsize,
                  int32_t num_bands, const int32_t* band_edges, float sample_rate);

// Writes the default configuration.
void ox_ms2b_default_cfg(ox_ms2b_cfg* cfg);

// Sets the matrix and the smoothing, derives the parameters and clears the
// state. Sizes must be those given to ox_ms2b_alloc and band_edges must ascend
// strictly within 1..specsize. Returns 0; -7 outside 8000..192000 Hz; -3 for
// invalid sizes or edges or a state that was not allocated (messages on stderr).
int ox_ms2b_init(ox_ms2b_params* params, ox_ms2b_state* state, ox_ms2b_cfg* cfg, int32_t framesize,
                 int32_t specsize, int32_t num_bands, const int32_t* band_edges, float sample_rate);

// Clamps the three levels of cfg in place (a non-finite level takes its
// default), copies the mode and derives floor, scale and diffuse factor.
// Returns 0.
int ox_ms2b_update_cfg(ox_ms2b_params* params, ox_ms2b_cfg* cfg);

// Zeroes the nine state arrays.
void ox_ms2b_reset(ox_ms2b_params* params, ox_ms2b_state* state);

// in[0..3] hold MF, S, MR, Z (specsize complex bins each); on return W, X, Y, Z.
// Then updates the band gains (direct 1 and diffuse 0 without OX_MS2B_STATS).
void ox_ms2b_process_frame(ox_ms2b_params* params, ox_ms2b_state* state, float* const* in);

// Frees the nine arrays; safe to call twice.
void ox_ms2b_done(ox_ms2b_params* params, ox_ms2b_state* state);

#ifdef __cplusplus
}
#endif

#endif
