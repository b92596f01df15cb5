// Microphone-array decoder: the public door into the decoder.
//
// A decoder instance is built from a setup record (sample rate, formats, host block length) and a
// user configuration, takes host blocks of any length of one of the seven input formats and returns
// the channels of one of the thirty output formats (or the binaural pair). Host blocks are adapted
// to the engine's fixed 10 ms frame through a pair of ring buffers; the latency is two hops.
//
// Threads: ox_abdec_process_var runs on the audio thread. ox_abdec_updateconfig, the beam queries
// and ox_abdec_channel_test may run on any other thread at the same time: new derived parameters
// are prepared aside and handed to the audio thread whole at the next frame boundary.
#ifndef OX_ABDEC_H
#define OX_ABDEC_H

#include <stdint.h>

#include "ox_abdec_tables.h"

#ifdef __cplusplus
extern "C" {
#endif

// One decoder instance (opaque).
typedef struct ox_abdec_instance* ox_abdec_handle;

// Setup record. "in" fields are set by the caller before ox_abdec_init, "out" fields are
// written by it. Flags marked bool8 hold an 8-bit flag in the lowest byte of a 32-bit word.
typedef struct ox_abdec_setup
{
    float sample_rate;          // in: Hz, 11025..192000
    float mic_spacing;          // in: mm, capsule spacing of the array (0 = coincident)
    float direction_resolution; // in: degrees, step of the direction histogram
    int32_t input_format;       // in: input menu index 0..6
    int32_t output_format;      // in: output menu index 0..29
    int32_t binaural;           // in: bool8, render the decoded field for headphones
    int32_t hop;                // out: samples per frame (10 ms)
    int32_t fft_size;           // out: FFT size
    int32_t num_inputs;         // out: input channels (3, 4 or 5)
    int32_t num_outputs;        // out: output channels (layout channels, 2 when binaural)
    int32_t num_beams;          // out: speakers (beams) of the layout
    int32_t num_directions;     // out: horizontal bins of the direction histogram
    int32_t block_size;         // in: longest host block, samples (>= 1)
    int32_t latency;            // out: samples (two hops)
    int32_t tail;               // out: samples (200 ms)
} ox_abdec_setup;

// Centre speaker group (configuration words 5..8).
typedef struct ox_abdec_centregroup
{
    float focus;     // percent 0..100
    float gain;      // dB -120..10 (-180 once muted)
    int32_t muted;   // written by the mute rule
    float elevation; // degrees -180..180
} ox_abdec_centregroup;

// A speaker pair group (five words each).
typedef struct ox_abdec_pairgroup
{
    float focus;     // percent 0..100
    float angle;     // degrees (range per group)
    float gain;      // dB -120..10 (-180 once muted)
    int32_t muted;   // written by the mute rule
    float elevation; // degrees -180..180
} ox_abdec_pairgroup;

// One 32-bit word of the expert block (integer or float, by word).
typedef union ox_abdec_word
{
    int32_t i;
    float f;
} ox_abdec_word;

// User configuration: 184 numbered 32-bit words. ox_abdec_updateconfig clamps it in place.
typedef struct ox_abdec_config
{
    int32_t a2b_option;           // 0
    float rotation;               // 1  degrees
    float elevation;              // 2  degrees (tilt)
    int32_t elevation_mode;       // 3
    float input_gain;             // 4  dB
    ox_abdec_centregroup center;  // 5..8
    ox_abdec_pairgroup front;     // 9..13
    ox_abdec_pairgroup surround;  // 14..18
    ox_abdec_pairgroup rear;      // 19..23
    ox_abdec_pairgroup frontH;    // 24..28
    ox_abdec_pairgroup surroundH; // 29..33
    int32_t back_del_sh;          // 34 bool8
    float back_delay;             // 35 ms
    float back_HS_freq;           // 36 kHz
    float back_HS_gain;           // 37 dB
    float spectral_option;        // 38 non-zero: LFE channels carry low-passed W
    float lfe_gain;               // 39 dB
    float lfe_order;              // 40
    float lfe_freq;               // 41 Hz
    int32_t focus_mode;           // 42
    float beam_gain;              // 43 dB
    float diffgain;               // 44 dB
    float diffdecorr;             // 45 percent
    int32_t compressor_on;        // 46
    float compressor_gain;        // 47 dB
    float compressor_threshold;   // 48 dB
    int32_t limiter_on;           // 49
    float limiter_ceiling;        // 50 dB
    int32_t extra_on;             // 51
    float extra_azimuth[5];       // 52..56
    float extra_elevation[5];     // 57..61
    float extra_focus[5];         // 62..66
    float extra_gain[5];          // 67..71
    float extra_pattern[5];       // 72..76
    float extra_gain2[5];         // 77..81
    float extra_eq[40];           // 82..121, eight per entry
    int32_t extra_flag_a[5];      // 122..126
    int32_t extra_flag_b[5];      // 127..131
    float extra_level[5];         // 132..136
    int32_t xover_on;             // 137 bool8
    float xover_gain;             // 138 dB
    float xover_freq;             // 139 Hz
    int32_t xover_order;          // 140 index into xoverOrder
    int32_t xover_inv;            // 141 bool8
    ox_abdec_word expert[42];     // 142..183
} ox_abdec_config;

// Beam identification: flags and focus in layout speaker order; beam and elevation sorted
// together by ascending beam elevation.
typedef struct ox_abdec_beamid
{
    int32_t flags;     // speaker-class flags of layout speaker k
    int32_t beam;      // speaker index
    int32_t elevation; // beam elevation in whole degrees
    int32_t focus;     // focus value x 100
} ox_abdec_beamid;

// One point of a beam's polar curve (x front, y to the side of positive azimuth, z up).
typedef struct ox_abdec_beamresponse
{
    float x;
    float y;
    float z;
} ox_abdec_beamresponse;

// Fills both records with their defaults; returns 0.
int ox_abdec_defaultconfig(ox_abdec_setup* setup, ox_abdec_config* config);

// Builds a decoder, writes the out fields of setup and stores the handle into *handle_out.
// Returns 0, or an error code: -1/-2 allocation, -7 sample rate, -8 format index, -3 block size
// or a block's sizes, 12/22 ring buffers. On any failure everything is freed and *handle_out is
// null.
int ox_abdec_init(ox_abdec_handle* handle_out, ox_abdec_setup* setup, ox_abdec_config* config);

// Clamps config in place, applies the mute rule and prepares the derived parameters, which the
// audio thread takes over at its next frame boundary. Allocates nothing. Returns 0 (-1 for
// null).
int ox_abdec_updateconfig(ox_abdec_handle handle, ox_abdec_config* config);

// Processes nframes samples per channel (any count; longer than block_size is cut into pieces).
// in: num_inputs channel pointers, out: num_outputs channel pointers; in and out may be the
// same.
void ox_abdec_process_var(ox_abdec_handle handle, int nframes, const float* const* in,
                          float* const* out);

// Processes exactly one hop through the engine and the channel test, without ring buffers.
void ox_abdec_process(ox_abdec_handle handle, const float* const* in, float* const* out);

// Clears all audio history (call only while no audio is processed). Returns 0.
int ox_abdec_audioreset(ox_abdec_handle handle);

// Frees the decoder; a null handle is ignored.
void ox_abdec_done(ox_abdec_handle handle);

// Restarts the channel-identification test at output channel 0 (from the next frame on).
void ox_abdec_channel_test(ox_abdec_handle handle);

// Beam queries for the editor: fill out[0..num_beams-1] (out must hold 20 records) and return
// the layout's speaker count; a null handle writes nothing and returns 0. setup and config are
// not read. They write nothing into the decoder's state.
int ox_abdec_beamids(ox_abdec_handle handle, const ox_abdec_setup* setup,
                     const ox_abdec_config* config, ox_abdec_beamid* out);
int ox_abdec_beamresponses(ox_abdec_handle handle, const ox_abdec_setup* setup,
                           const ox_abdec_config* config, ox_abdec_beamresponse* out, float angle);

#ifdef __cplusplus
}
#endif

#endif
