// Biquads in state-space form: a second realisation of an ox_biquad_coeffs
// section with two scaled states, which keeps its accuracy for poles close to
// the unit circle and can take over the running state of another realisation.
//
//   y   = C1·s1 + D·x + C2·s2
//   s1' = A11·s1 + A12·s2 + B1·x
//   s2' = A21·s1 + A22·s2 + B2·x
#ifndef OX_BIQUAD_STATESPACE_H
#define OX_BIQUAD_STATESPACE_H

#include "ox_biquad.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// One realisation: state matrix row by row, input vector, output vector and
// direct gain (nine floats in this order).
typedef struct ox_biquad_ss
{
    float A11, A12, A21, A22;
    float B1, B2;
    float C1, C2;
    float D;
} ox_biquad_ss;

// Running state {s1, s2}, owned by the caller, zero for a fresh filter.
typedef struct ox_biquad_ssstate
{
    float s1, s2;
} ox_biquad_ssstate;

// Two realisations and a selector: 0 runs the first, anything else the second.
typedef struct ox_biquad_sspair
{
    ox_biquad_ss first;
    ox_biquad_ss second;
    int32_t select;
} ox_biquad_sspair;

// Realises the section c: real poles as two decoupled first-order states,
// a complex pair as a rotation; the input vector is scaled so that each state
// carries roughly the power of the input. A (near-)double pole is split into
// two real poles 1e-3 apart, closer near the unit circle where that split would
// change the response. Coefficients that are not all finite give the
// pass-through (A, B, C zero, D = 1).
void ox_biquad_sstransform(ox_biquad_ss* ss, ox_biquad_coeffs c);

// Runs n samples from in to out (in == out allowed); the state is read once and
// written back once, and cleared if it turned non-finite. Null pointers or
// n < 1 do nothing.
void ox_biquad_filter_ss(ox_biquad_ssstate* state, const float* in, float* out, int32_t n,
                         ox_biquad_ss ss);

// As ox_biquad_filter_ss with the realisation the pair's selector picks for the
// whole block. The selector is not changed.
void ox_biquad_filter_ss2(const ox_biquad_sspair* pair, ox_biquad_ssstate* state, const float* in,
                          float* out, int32_t n);

// Prepares nw to take over the running state of old: nw is replaced by the
// similarity transform of itself that has old's output vector (so the same
// state gives the same output and the same next free output as under old).
// Its transfer function, direct gain included, stays exactly nw's. When no
// such transform exists (either realisation unobservable), nw is left as it
// is.
void ox_biquad_ssswitch(const ox_biquad_ss* old, ox_biquad_ss* nw);

#ifdef __cplusplus
}
#endif

#endif
