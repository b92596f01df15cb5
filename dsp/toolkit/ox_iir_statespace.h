// Further realisations of first- and second-order IIR sections: state-space sections whose
// coefficient set can be exchanged while the filter runs, and all-pass structures, among
// them the split of an odd-order low-pass into two parallel all-pass branches whose half-sum
// and half-difference are a power-complementary low-/high-pass pair.
//
// Records and states are caller-owned floats (zero for a fresh filter); the conversions
// compute in double. Filters process n samples (nothing for n ≤ 0 or null pointers), may
// run in place and drop a state that has gone non-finite at the end of the block.
#ifndef OX_IIR_STATESPACE_H
#define OX_IIR_STATESPACE_H

#include "ox_iir.h"

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// First-order state-space set: y = C·s + D·x, s' = A·s + B·x.
typedef struct ox_iir_ss1set
{
    float A, B, C, D;
} ox_iir_ss1set;

// Second-order set: y = C1·s1 + C2·s2 + D·x; s1' = A11·s1 + A12·s2 + B1·x,
// s2' = A21·s1 + A22·s2 + B2·x.
typedef struct ox_iir_ss2set
{
    float A11, A12, A21, A22, B1, B2, C1, C2, D;
} ox_iir_ss2set;

// Switchable records: the current set, the flag (0: run `cur`, otherwise `next`) and the
// next set (ten and nineteen words).
typedef struct ox_iir_ss1
{
    ox_iir_ss1set cur;
    int32_t flag;
    int32_t unused;
    ox_iir_ss1set next;
} ox_iir_ss1;

typedef struct ox_iir_ss2
{
    ox_iir_ss2set cur;
    int32_t flag;
    ox_iir_ss2set next;
} ox_iir_ss2;

// Second-order all-pass coefficients: (a2 + a1·z^-1 + z^-2)/(1 + a1·z^-1 + a2·z^-2).
typedef struct ox_iir_ap2
{
    float a1, a2;
} ox_iir_ap2;

// One branch of an odd-order split (ten words): its order; the coefficient a of the
// first-order all-pass (a + z^-1)/(1 + a·z^-1), used by the first branch only; up to four
// second-order all-passes.
typedef struct ox_iir_aprec
{
    int32_t order;
    float a;
    ox_iir_ap2 sec[4];
} ox_iir_aprec;

// Complex coefficient c = re + j·im.
typedef struct ox_iir_cpx
{
    float re, im;
} ox_iir_cpx;

// Cascade of complex first-order all-passes for ox_iir_compevenfilters: the number K ≤ 8 of
// sections, the output rotation and each section's coefficient.
typedef struct ox_iir_caprec
{
    int32_t count;
    ox_iir_cpx rot;
    ox_iir_cpx c[8];
} ox_iir_caprec;

// ---- State-space sections -------------------------------------------------------------------

// Realises a first-order direct-form section as a state-space set with a normalised state
// (B = √(1 − A²)); writes out->cur and clears the flag. Non-finite coefficients give a
// pass-through set.
void ox_iir_ss1transform(ox_iir_ss1* out, ox_iir_cf1 in);

// The same for a second-order section: two real poles give a diagonal state matrix, a
// conjugate pair a rotation; a double pole, or a pair so close that the modal form would lose
// its precision, is split into two real poles 1e-3 apart (closer near the unit circle, where
// that split would change the response). Non-finite coefficients give a pass-through set.
void ox_iir_ss2transform(ox_iir_ss2* out, ox_iir_cf2 in);

// Prepares `next` to take over from cur->cur: transforms it to a realisation of the same
// transfer function whose state means what the running state means (same output vector
// and observability), copies it into cur->next and sets cur->flag to 1. When the current
// set's observability matrix (or the new one's) is (nearly) singular, next is used unchanged.
void ox_iir_ss1switch(ox_iir_ss1* cur, ox_iir_ss1set* next);
void ox_iir_ss2switch(ox_iir_ss2* cur, ox_iir_ss2set* next);

// Run a section with the set chosen by the record's flag; state {s} or {s1, s2}.
void ox_iir_ssfilter1(float* state, const float* in, float* out, int n, ox_iir_ss1 rec);
void ox_iir_ssfilter2(float* state, const float* in, float* out, int n, ox_iir_ss2 rec);

// ---- All-pass structures --------------------------------------------------------------------

// First-order all-pass, state {x1, y1}.
void ox_iir_apfilter1(float* state, const float* in, float* out, int n, float a);
// Second-order all-pass, state {x1, x2, y1, y2}.
void ox_iir_apfilter2(float* state, const float* in, float* out, int n, ox_iir_ap2 c);
// First-order all-pass (state1, 2 words) followed by a second-order one (state2, 4 words).
void ox_iir_apfilter12(float* state1, float* state2, const float* in, float* out, int n, float a,
                       ox_iir_ap2 c);
// Two cascaded second-order all-passes, coef = {a1, a2, a1', a2'}; uses the six state words
// at *state ({x1, x2, u1, u2, y1, y2}) and advances *state by six floats.
void ox_iirapfilter22(const float* coef, float** state, const float* in, float* out, int n);
// Complex first-order all-pass out[n] = conj(c)·in[n] + in[n−1] − c·out[n−1];
// state {Re x1, Re y1, Im x1, Im y1}.
void ox_iir_capfilter1(float* state, const float* in_re, const float* in_im, float* out_re,
                       float* out_im, int n, ox_iir_cpx c);

// Splits an odd-order low-pass cascade (order 1 … 9, e.g. a Butterworth) into two all-pass
// branches with H = (A1 + A2)/2: rec1 takes the real pole (first-order all-pass) and rec2
// the rest of the pole pairs that alternate with it. Returns 0, or −3 for an even order or
// a filter that does not split so (both records then hold order 0: the half-sum passes the
// input, the half-difference is silent).
int ox_iir_apoddtransform(ox_iir_aprec* rec1, ox_iir_aprec* rec2, ox_iir_cfNf filter);

// Runs both branches on in: out_a = (A1 + A2)/2 (the low-pass), out_b = (A1 − A2)/2 (its
// power complement). States: 18 words each ({x1, y1} of the first-order all-pass, then
// {x1, x2, y1, y2} per second-order all-pass).
void ox_iir_compoddfilters(float* state1, float* state2, const float* in, float* out_a,
                           float* out_b, int n, ox_iir_aprec rec1, ox_iir_aprec rec2);

// Runs the complex all-pass cascade on a real input and rotates the result:
// out = rot·Π A_j(in); state: 4 words per section.
void ox_iir_compevenfilters(float* state, const float* in, float* out_re, float* out_im, int n,
                            ox_iir_caprec rec);

// Exported names without an effect (reserved for the even-order split).
void ox_iir_apeventransform(void);
void ox_iir_powcomp(void);

#ifdef __cplusplus
}
#endif

#endif
