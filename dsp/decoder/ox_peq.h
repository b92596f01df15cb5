// Time-domain equaliser: per channel a delay line with click-free delay changes, a linear
// gain whose sign inverts the polarity, and a cascade of up to eight filter sections.
//
// The decoder uses many single-channel instances of it: the input filters of a double
// mid-side array, the delay and shelf of the surround, rear and height speakers, the bass
// cross-over (low band and one high band per output channel) and the LFE low-pass.
//
// All records are owned by the caller: the header is shared by the channels of one instance,
// params and state are arrays of num_channels records. Nothing here allocates.
#ifndef OX_PEQ_H
#define OX_PEQ_H

#include <stdint.h>

#include "ox_iir.h"

#ifdef __cplusplus
extern "C" {
#endif

// Longest delay line: 150 ms at the highest supported sample rate (192 kHz).
#define OX_PEQ_MAX_RING 28800
// Delay-line length at 48 kHz and below (150 ms at 48 kHz).
#define OX_PEQ_BASE_RING 7200
#define OX_PEQ_MAX_SECTIONS 8
#define OX_PEQ_NUM_TYPES 24

typedef struct ox_peq_header
{
    int32_t num_channels; // at least 1
    int32_t num_sections; // sections per channel, 1 … 8
    float sample_rate;    // Hz
    int32_t framesize;    // samples processed per call
    int32_t offset;       // index of the first processed sample in each channel buffer
    int32_t ring_len;     // delay-line length in samples, from the sample rate (≥ 7200)
} ox_peq_header;

typedef struct ox_peq_params
{
    ox_iir_cfNf sections[OX_PEQ_MAX_SECTIONS]; // a section with order 0 is skipped
    float gain;                                // linear channel gain, negative when inverted
    int32_t delay;                             // target delay, 0 … ring_len − framesize samples
} ox_peq_params;

typedef struct ox_peq_state
{
    float memory[OX_PEQ_MAX_SECTIONS][18]; // filter state of each section
    float ring[OX_PEQ_MAX_RING];           // delay line; the first ring_len samples are used
    int32_t write_pos;                     // where the next input sample goes
    float fade;         // weight of the current delay tap, 0 … 1; settled above 0.99
    int32_t cur_delay;  // delay being faded in
    int32_t prev_delay; // delay being faded out
    int32_t primed;     // 0 until the first frame after init/reset has jumped to the target
} ox_peq_state;

// One section's design, passed by value to ox_peq_update. Types:
//  0 none; 1/2 Butterworth low/high-pass order 1; 3/4 low/high shelf order 1; 5 first-order
//  all-pass; 6/7 Butterworth LP/HP order 2; 8/9 Linkwitz-Riley LP/HP order 2; 10/11 shelves
//  order 2; 12 peaking; 13 second-order all-pass; 14/15 Butterworth order 3; 16/17 shelves
//  order 3; 18/19 Butterworth order 4; 20/21 Linkwitz-Riley order 4; 22/23 shelves order 4.
typedef struct ox_peq_section
{
    int32_t type;
    float freq; // Hz, 20 … 24000 (designed at most at 0.49 × the sample rate)
    float gain; // dB, −24 … 24 (shelves and peak)
    float q;    // 0.1 … 100 (peak and second-order all-pass)
} ox_peq_section;

// Fills the header and sets every channel to no sections, gain 1 and delay 0, with the whole
// running state cleared. Returns 0; −7 for a sample rate that is not a finite value above 0,
// −5 for num_channels < 1, −3 for num_sections outside 1 … 8, a framesize below 1 or one that
// leaves no room for a delay in the line, or a negative offset.
int ox_peq_init(ox_peq_header* header, ox_peq_params* params, ox_peq_state* state,
                int32_t num_channels, int32_t num_sections, int32_t framesize, int32_t offset,
                float sample_rate);

// Sets section `index` of channel params[0] (the caller passes the channel's own record),
// the channel gain (dB, inverted when invert ≠ 0) and the target delay (ms; clamped, a
// non-finite delay counts as 0). The delay change is taken up by the next frame, which
// cross-fades to it. Returns −3 and changes nothing for an index outside the sections, a type
// above 23 or a value outside its range (NaN included); else 0.
int ox_peq_update(const ox_peq_header* header, ox_peq_params* params, ox_peq_state* state,
                  int32_t index, ox_peq_section section, int32_t invert, float channel_gain,
                  float delay);

// Processes samples offset … offset + framesize − 1 of every channel; in and out hold
// num_channels sample pointers (out may equal in). bypass ≠ 0 passes the input through
// (gain 1, no delay, no sections) while the delay line and the fade keep running.
void ox_peq_processframe(const ox_peq_header* header, const ox_peq_params* params,
                         ox_peq_state* state, int32_t bypass, float* const* in, float* const* out);

// Clears the whole running state of every channel; the next frame starts settled at each
// channel's target delay.
void ox_peq_reset(const ox_peq_header* header, ox_peq_state* state);

#ifdef __cplusplus
}
#endif

#endif
