// Channel-identification test tone: each output channel in turn receives a
// one-second burst (a band-limited 110 Hz buzz decaying with a 0.1 s time
// constant), so a listener can tell which loudspeaker each channel reaches.
//
// Threads: ox_chid_process runs on the audio thread. ox_chid_reset may come
// from any other thread while the tone plays: it only raises a request flag
// (atomically), and ox_chid_process takes the request up at the start of its
// next frame, so a half-reset state is never played.
#ifndef OX_CHID_H
#define OX_CHID_H

#include "ox_biquad.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Set by ox_chid_init, read-only afterwards.
typedef struct ox_chid_params
{
    int32_t nout;        // number of output channels
    int32_t framelen;    // samples per ox_chid_process call
    int32_t duration;    // samples per channel (one second)
    float phasestep;     // radians per sample of the 55 Hz sine
    float decay;         // amplitude factor per sample (0.1 s time constant)
    ox_biquad_coeffs hp; // 400 Hz second-order Butterworth high-pass
    ox_biquad_coeffs lp; // 3000 Hz second-order Butterworth low-pass
} ox_chid_params;

// Running state. channel >= nout means idle.
typedef struct ox_chid_state
{
    int32_t channel;         // output channel under test
    int32_t count;           // samples generated for this channel so far
    float phase;             // sine phase, radians (0 at each channel start)
    float amp;               // current amplitude (4 at each channel start)
    ox_biquad_state hpstate; // high-pass memory
    ox_biquad_state lpstate; // low-pass memory
    float* buf;              // framelen floats of scratch, owned
    int32_t restart;         // restart request; accessed only atomically
} ox_chid_state;

// Sets up an idle generator for frames of framelen samples over nout channels
// at sample rate fs (Hz). Returns 0; -3 for framelen or nout below 1; -7 for
// fs outside 8000..192000; -2 when the scratch buffer cannot be allocated.
int ox_chid_init(ox_chid_params* params, ox_chid_state* state, int32_t framelen, int32_t nout,
                 float fs);

// Requests a test run from channel 0 (also restarts a run in progress). Safe to
// call from another thread than ox_chid_process; takes effect at the start of
// the next ox_chid_process call.
void ox_chid_reset(const ox_chid_params* params, ox_chid_state* state);

// Frees the scratch buffer; the generator then stays silent.
void ox_chid_done(ox_chid_params* params, ox_chid_state* state);

// Adds one frame of the burst to outputs[channel under test] (outputs: nout
// channel pointers of framelen samples each) and advances the run. Does
// nothing while idle, without a scratch buffer, or for a null output channel.
void ox_chid_process(const ox_chid_params* params, ox_chid_state* state, float* const* outputs);

#ifdef __cplusplus
}
#endif

#endif
