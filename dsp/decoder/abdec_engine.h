// Decoder engine: the layer between the ox_abdec interface and the processing blocks.
//
// abdec_init builds every block for one sample rate, input format and output layout;
// abdec_updateparams recomputes the derived parameters from the API parameter block;
// abdec_audioprocess turns one hop of input into one hop of output. The derived parameters
// (abdec_params) are read-only for the audio thread, so the interface can keep several copies and
// hand a freshly computed one over at a frame boundary; everything that changes while audio runs
// lives in abdec_state and abdec_smallstate.
#ifndef ABDEC_ENGINE_H
#define ABDEC_ENGINE_H

#include <stdint.h>

#include "ox_abdec_tables.h"
#include "ox_complim.h"
#include "ox_fft.h"

#include "ox_a2b.h"
#include "ox_b2a.h"
#include "ox_beq.h"
#include "ox_bf.h"
#include "ox_bhist.h"
#include "ox_decorr.h"
#include "ox_hoa.h"
#include "ox_hrtf.h"
#include "ox_ms2b.h"
#include "ox_peq.h"
#include "ox_perc.h"

#define ABDEC_MAX_SPEAKERS 20
#define ABDEC_MAX_INPUTS 5
#define ABDEC_MAX_BANDS 64

// API mode bits.
#define ABDEC_MODE_BEAMS 0x2
#define ABDEC_MODE_GROUPELEV 0x4
#define ABDEC_MODE_SURR_DELAY 0x10
#define ABDEC_MODE_SURR_SHELF 0x20
#define ABDEC_MODE_REAR_DELAY 0x40
#define ABDEC_MODE_REAR_SHELF 0x80
#define ABDEC_MODE_HEIGHT_DELAY 0x100
#define ABDEC_MODE_HEIGHT_SHELF 0x200
#define ABDEC_MODE_LFE 0x400
#define ABDEC_MODE_BEQ 0x800
#define ABDEC_MODE_XOVER 0x2000
#define ABDEC_MODE_XOVER_INV 0x4000
#define ABDEC_MODE_PAIRFOCUS 0x20000
#define ABDEC_MODE_CENTRESPREAD 0x40000000

#ifdef __cplusplus
extern "C" {
#endif

// Frame parameters in samples.
typedef struct abdec_frameparams
{
    int32_t hop;
    int32_t fftsize;
    int32_t window;
} abdec_frameparams;

// The engine's I/O settings.
typedef struct abdec_ioparams
{
    float sample_rate;
    int32_t max_inputs;
    int32_t max_speakers;
    int32_t input_format;  // engine input format 0..6
    int32_t output_format; // output menu index 0..29
    int16_t input_tag;
    int16_t output_tag;
    int32_t binaural;
    float direction_resolution;
    int32_t reserved;
} abdec_ioparams;

// One speaker group's settings.
typedef struct abdec_groupapi
{
    float focus;     // beam focus factor (beam path) or virtual-microphone pattern
    float gain;      // dB
    float elevation; // degrees
} abdec_groupapi;

// Delay and high shelf of one speaker class.
typedef struct abdec_shelfapi
{
    float delay; // ms
    float gain;  // dB
    float freq;  // Hz
} abdec_shelfapi;

// The API parameter block: the engine's whole input from the interface.
typedef struct abdec_apiparams
{
    int32_t mode;
    float input_gain;  // dB
    float output_gain; // dB
    float rotation;    // degrees
    float elevation;   // degrees (tilt)
    abdec_groupapi center;
    abdec_groupapi front;
    abdec_groupapi surround;
    abdec_groupapi frontH;
    abdec_groupapi surroundH;
    abdec_groupapi rear;
    float lfe_gain; // dB
    float front_angle;
    float surround_angle;
    float frontH_angle;
    float surroundH_angle;
    float rear_angle;
    abdec_shelfapi back_shelf[3]; // surround, rear, height
    int32_t lfe_order;
    float lfe_freq;
    int32_t xover_order; // filter order 2..4
    float xover_gain;    // dB
    float xover_freq;    // Hz
    ox_a2b_cfg a2b;
    ox_ms2b_cfg ms2b;
    ox_bhist_cfg bhist;
    ox_b2a_cfg b2a;
    ox_bf_cfg bf;
    ox_decorr_cfg decorr;
    ox_beq_cfg beq[5];
    ox_hoa_cfg hoa;
    ox_hrtf_uparams hrtf;
    ox_complim_cfg complim;
    int32_t limiter_flags;
} abdec_apiparams;

// One single-channel time-domain equaliser (its state lives in abdec_state).
typedef struct abdec_eq
{
    ox_peq_header hdr;
    ox_peq_params prm;
} abdec_eq;

// Derived parameters. The audio thread only reads them.
typedef struct abdec_params
{
    ox_fft_setup fft;
    int32_t mode;
    int16_t input_tag;
    int16_t output_tag;
    int32_t num_inputs;
    int32_t num_bformat;
    int32_t num_channels; // output channels of the layout
    int32_t num_binaural; // 2 when binaural, else 0
    int32_t num_speakers;
    int32_t input_format;
    int32_t layout_index;
    int32_t hop;
    int32_t window;
    int32_t window_minus_hop;
    int32_t specsize;
    int32_t overlap;
    int32_t num_buffers; // output buffers: max(channels, speakers)
    float input_gain;
    float output_gain;
    float sample_rate;
    int32_t num_bands;
    const int32_t* band_edges; // the band table in abdec_state, fixed at init
    const float* band_weights;
    float beam_azimuth[ABDEC_MAX_SPEAKERS];       // radians
    float beam_elevation[ABDEC_MAX_SPEAKERS];     // radians
    float nominal_azimuth[ABDEC_MAX_SPEAKERS];    // degrees
    float binaural_elevation[ABDEC_MAX_SPEAKERS]; // degrees
    float focus[ABDEC_MAX_SPEAKERS];
    float gain_front;
    float gain_surround;
    float gain_frontH;
    float gain_surroundH;
    float gain_center;
    float gain_rear;
    float gain_lfe;
    float gain_xover; // linear gain of the cross-over's low band
    int32_t layout_mode;
    const ox_abdec_speakerlayout* layout;
    abdec_eq eq_input[2];
    int32_t num_surround;
    abdec_eq eq_surround[ABDEC_MAX_SPEAKERS];
    int32_t num_rear;
    abdec_eq eq_rear[ABDEC_MAX_SPEAKERS];
    int32_t num_height;
    abdec_eq eq_height[ABDEC_MAX_SPEAKERS];
    abdec_eq eq_low;
    abdec_eq eq_high[ABDEC_MAX_SPEAKERS];
    abdec_eq eq_lfe[2];
    ox_a2b_params a2b;
    ox_ms2b_params ms2b;
    ox_bhist_params bhist;
    ox_b2a_params b2a;
    ox_bf_params bf[ABDEC_MAX_SPEAKERS];
    ox_decorr_params decorr;
    ox_beq_params beq;
    ox_hoa_params hoa;
    ox_hrtf_params hrtf;
    ox_complim_params complim;
    int32_t limiter_flags;
    // The per-copy arrays that the blocks' parameters point at: in the copy abdec_init built
    // they are the blocks' own allocations, in further copies allocations of abdec_allocparams.
    int32_t is_copy;
    float* slot_max_phase;
    float* slot_coherence[ABDEC_MAX_SPEAKERS];
} abdec_params;

// Running state of the engine: histories, overlap buffers and every block's state.
typedef struct abdec_state
{
    // Perceptual band table, fixed by abdec_init. It lives here rather than in abdec_params, whose
    // copies are rewritten while the audio thread reads another copy: the blocks point at it.
    int32_t band_edges[ABDEC_MAX_BANDS];
    float band_weights[ABDEC_MAX_BANDS];
    int32_t frame_count;
    float* in_hist[ABDEC_MAX_INPUTS];
    float* out_buf[ABDEC_MAX_SPEAKERS];
    float* binaural[2];
    // Equaliser states, one allocation cut into the groups of abdec_params' equalisers.
    ox_peq_state* eq_states;
    ox_peq_state* eq_input;    // 2
    ox_peq_state* eq_surround; // num_surround
    ox_peq_state* eq_rear;     // num_rear
    ox_peq_state* eq_height;   // num_height
    ox_peq_state* eq_low;      // 1
    ox_peq_state* eq_high;     // num_buffers
    ox_peq_state* eq_lfe;      // 2
    ox_a2b_state a2b;
    ox_ms2b_state ms2b;
    ox_bhist_state bhist;
    ox_b2a_state b2a;
    ox_b2a_params vmics; // the frame's own copy of the virtual-microphone parameters
    ox_bf_state bf[ABDEC_MAX_SPEAKERS];
    ox_decorr_state decorr;
    ox_beq_state beq;
    ox_hoa_state hoa;
    ox_hrtf_state hrtf;
    ox_hrtf_state hrtf_update; // scratch for parameter updates
    ox_complim_state complim;
} abdec_state;

// Spectra and scratch buffers of one frame.
typedef struct abdec_smallstate
{
    float* bspec[4];                // W, X, Y, Z (fftsize floats each, packed)
    float* spk[ABDEC_MAX_SPEAKERS]; // one spectrum per speaker
    float* scratch[4];              // scratch spectra
    float* work;                    // fftsize + 2 floats
} abdec_smallstate;

// Frame parameters: hop < 1 derives everything from the sample rate (hop 10 ms, FFT size twice
// the next power of two, window two hops). Returns 0.
int abdec_defaultframeparams(abdec_frameparams* frame, int32_t hop, int32_t fftsize,
                             float sample_rate);

// Clears api and writes its defaults (each block's default configuration included) and io's.
// Returns -8 for index > 31, else 0.
int abdec_defaultapiparams(abdec_apiparams* api, abdec_ioparams* io, int32_t index);

// Builds the engine into params (slot 0), state and smallstate (all zeroed by the caller).
// Returns 0, -7 sample rate, -8 output index, -1 frame, -2 memory, or a block's code.
int abdec_init(abdec_params* params, abdec_state* state, abdec_smallstate* smallstate,
               const abdec_frameparams* frame, abdec_apiparams* api, const abdec_ioparams* io);

// Gives a further parameter copy its own arrays (after abdec_init); returns 0 or -2.
int abdec_allocparams(abdec_params* copy, const abdec_params* built);

// dst = src, keeping the arrays dst owns (their contents are copied).
void abdec_copyparams(abdec_params* dst, const abdec_params* src);

// Frees the arrays of a copy made by abdec_allocparams.
void abdec_freeparams(abdec_params* copy);

// Recomputes every derived parameter of params from api. Writes only params and update scratch
// of state, never the running state. Returns 0.
int abdec_updateparams(abdec_params* params, abdec_state* state, abdec_apiparams* api);

// Clears all audio history. Returns 0.
int abdec_audioreset(abdec_params* params, abdec_state* state);

// Frees everything abdec_init allocated (safe after a failed or partial init, and twice).
void abdec_done(abdec_params* params, abdec_state* state, abdec_smallstate* smallstate);

// One frame: in = num_inputs pointers to one hop each; out = the binaural pair or the layout's
// num_channels output pointers, one hop each.
void abdec_audioprocess(const abdec_params* params, abdec_state* state,
                        abdec_smallstate* smallstate, const float* const* in, float* const* out);

// Sign of x: -1, +1, or 0 (also for NaN).
float fsgnf(float x);

// Beam geometry of one speaker (degrees in, radians out for the beam direction). The nominal
// azimuth (degrees) and the binaural elevation (degrees) may be null.
void abdec_speakerbeam(const abdec_params* params, const abdec_apiparams* api, int32_t layout_mode,
                       int32_t flags, float azimuth, float elevation, float* beam_azimuth_out,
                       float* beam_elevation_out, float* nominal_azimuth_out,
                       float* binaural_elevation_out);

// Focus value of every speaker of the layout.
void abdec_speakergains(const abdec_params* params, const abdec_apiparams* api,
                        const int32_t* flags, float* focus_out);

struct ox_abdec_beamid;
struct ox_abdec_beamresponse;
// Beam queries (write only out).
void abdec_beamids(const abdec_params* params, const abdec_apiparams* api,
                   struct ox_abdec_beamid* out);
void abdec_beamresponses(const abdec_params* params, const abdec_apiparams* api,
                         struct ox_abdec_beamresponse* out, float angle);

#ifdef __cplusplus
}
#endif

#endif
