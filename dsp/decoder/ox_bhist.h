// Direction histogram: where the direct sound of a B-format signal comes from.
//
// Once per frame the block estimates per perceptual band the active intensity
// vector (Re(W conj X), Re(W conj Y), Re(W conj Z)) and a diffuseness. Each
// band between 100 Hz and 10 kHz adds its direct energy to the bin of its
// direction in two histograms, one over the azimuth in the horizontal plane
// and one over the angle in the vertical front-back plane, weighted by how
// close the direction lies to the histogram's plane; the diffuse energy is
// summed separately. Both histograms are smoothed over neighbouring bins and
// over time. The block only reads the spectra.
//
// Histogram bins: with n bins of `resolution` degrees, bin n/2 is straight
// ahead, the horizontal histogram runs towards the left as the bin index falls
// (36 bins: left, azimuth +90, in bin 9; right in bin 27) and +-180 degrees
// lands in bin 0. The vertical histogram's bin n/2 + 90/resolution is straight
// up.
//
// Spectra are packed half spectra of `specsize` complex bins (interleaved
// float pairs; pair 0 = DC real, half-rate imaginary), B-format with W at -3 dB.
#ifndef OX_BHIST_H
#define OX_BHIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_BHIST_MAX_BINS 72

// User configuration, owned by the caller; update_cfg clamps it in place (a
// non-finite value takes the default).
typedef struct ox_bhist_cfg
{
    int32_t mode;        // stored only, default 0
    float angle;         // degrees, 0..90, default 60: half-width of the zone
                         // around each histogram plane that contributes
    float time_constant; // ms, 10..1000, default 30: smoothing of the results
} ox_bhist_cfg;

// Derived parameters, owned by the caller.
typedef struct ox_bhist_params
{
    int32_t num_inputs;        // always 4
    float sample_rate;         // Hz
    int32_t framesize;         // hop, samples
    int32_t specsize;          // complex bins per spectrum
    int32_t num_bands;         // perceptual bands
    const int32_t* band_edges; // [num_bands], not owned
    int32_t mode;
    float band_smoothing;   // min(1, frame_ms / 30): band statistics
    float angle;            // radians
    int32_t first_band;     // band holding 100 Hz (excluded)
    int32_t last_band;      // band holding 10 kHz (excluded)
    float hist_smoothing;   // min(1, frame_ms / time_constant)
    float* kernel;          // [5], owned: bin smoothing weights 0, 0.25, 0.5, 0.25, 0
    float resolution;       // degrees per bin: 5, 10, 15, 20, 30 or 45
    int32_t num_bins_h;     // 360 / resolution
    int32_t num_bins_v;     // 360 / resolution
    int32_t capacity_bands; // bands allocated by ox_bhist_alloc
} ox_bhist_params;

// Running state, owned by the caller; arrays allocated by ox_bhist_alloc.
typedef struct ox_bhist_state
{
    float* energy_w; // [num_bands] smoothed band energies
    float* energy_x;
    float* energy_y;
    float* energy_z;
    float* intensity_x; // [num_bands] smoothed band sums of Re(W conj X) ...
    float* intensity_y;
    float* intensity_z;
    float* hist_h;        // [num_bins_h] smoothed horizontal histogram (result)
    float* hist_v;        // [num_bins_v] smoothed vertical histogram (result)
    float diffuse_energy; // smoothed diffuse energy (result)
} ox_bhist_state;

// Stores the sizes, snaps `resolution` (degrees) to the nearest of 5, 10, 15,
// 20, 30 and 45 (the smaller on a tie; a non-finite request gives 10, anything
// above 37.5 gives 45) and fixes both bin counts; allocates the kernel and
// the state arrays (zeroed). -7 for a sample rate <= 0, -3 for a size below
// 1, -2 when an allocation fails (everything then freed); else 0.
int32_t ox_bhist_alloc(ox_bhist_params* params, ox_bhist_state* state, int32_t framesize,
                       int32_t specsize, int32_t num_bands, const int32_t* band_edges,
                       float sample_rate, float resolution);

// Mode 0, angle 60 degrees, time constant 30 ms.
void ox_bhist_default_cfg(ox_bhist_cfg* cfg);

// -7 unless 8000 <= sample rate <= 192000; -3 (with "Invalid framesize (%d)",
// "Invalid specsize (%d)" or "Invalid npart (%d)" on stderr) for a size below
// 1; -3 for more bands than allocated, a missing band table or missing
// arrays. Sets the band range, clamps and derives the configuration, zeroes
// the state. Returns 0.
int32_t ox_bhist_init(ox_bhist_params* params, ox_bhist_state* state, ox_bhist_cfg* cfg,
                      int32_t framesize, int32_t specsize, int32_t num_bands,
                      const int32_t* band_edges, float sample_rate);

// Clamps angle and time constant in place, derives them. Returns 0 (-3 for
// null pointers).
int32_t ox_bhist_update_cfg(ox_bhist_params* params, ox_bhist_cfg* cfg);

// Zeroes every state array and the diffuse energy.
void ox_bhist_reset(ox_bhist_params* params, ox_bhist_state* state);

// One frame: `in` holds the four spectra W, X, Y, Z (complex[specsize] each,
// only read). Real time: no allocation.
void ox_bhist_process_frame(const ox_bhist_params* params, ox_bhist_state* state,
                            const float* const* in);

// Frees the kernel and the state arrays that are set and clears the pointers.
void ox_bhist_done(ox_bhist_params* params, ox_bhist_state* state);

// Sign of x: 1, -1, or 0 for 0 and NaN.
float fsignf(float x);

// Product of two first-order patterns p + (1 - p) d.e1 and p + (1 - p) d.e2
// for the direction d = (cos el cos az, cos el sin az, sin el), times the
// phase term cos(k sin el) of a vertical spacing. Angles in radians; e1 and
// e2 are 3-vectors.
double xcrossdiff(double az, double el, const double* e1, const double* e2, double k, double p);

// (1 / 4 pi) times the left Riemann sum of xcrossdiff * cos el over
// az0..az1 (64 steps) and el0..el1 (32 steps), accumulated in double.
float integral2(double az0, double az1, double el0, double el1, const double* e1, const double* e2,
                double k, double p);

#ifdef __cplusplus
}
#endif

#endif
