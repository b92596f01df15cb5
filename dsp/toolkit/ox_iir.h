// Recursive (IIR) filter design and filtering.
//
// Transfer functions are H(z) = (b0 + b1·z^-1 + b2·z^-2 + …) / (1 + a1·z^-1 + a2·z^-2 + …):
// the leading denominator coefficient is 1 and never stored, and the filters subtract the
// a-terms (direct form I). Frequencies and sample rates are in Hz, gains in dB.
//
// Two storage forms for a filter of order N:
//  - factored (names ending in `f`): a cascade of one optional first-order section and up
//    to four second-order sections, record ox_iir_cfNf;
//  - polynomial (same name without `f`): one numerator and one denominator of degree N,
//    record ox_iir_cfN.
// Both store floats; every designer computes in double and rounds on store.
//
// Design ranges. Every designer keeps its result stable and finite for any argument:
//  - corner and centre frequencies are limited to 0.00005·fs … 0.49·fs (a corner at exactly
//    half the sample rate puts a double pole on z = -1; one too close to 0 Hz rounds the
//    poles of the stored floats onto z = 1); a non-finite frequency is taken as 1000 Hz;
//  - the sample rate is limited to 1 … 10 MHz (non-finite or ≤ 0: 48000);
//  - gains to ±96 dB (non-finite: 0 dB), qualities to 0.01 … 100 (non-finite: 0.7071);
//  - the poles of a cut shelf sit at a moved corner: where a deep cut at an extreme corner
//    would put them beyond the stability margin of the stored section (second-order poles
//    outside the design range, a first-order pole within 0.000001·fs of 0 Hz or of half the
//    sample rate), the moved corner is limited there;
//  - the poles of a broad peak spread far around its centre: where they would leave the
//    design range, the peak is narrowed;
//  - orders to what the record holds (see each designer).
// All filter routines allocate nothing, may run in place (out == in), process nothing for
// n ≤ 0 or null pointers, and drop a state that has become non-finite (one NaN or Inf input
// sample spoils the rest of its block, never the following blocks).
#ifndef OX_IIR_H
#define OX_IIR_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// First-order section {b0, b1, a1}.
typedef struct ox_iir_cf1
{
    float b0, b1, a1;
} ox_iir_cf1;

// Second-order section {b0, b1, b2, a1, a2} (same layout as a biquad coefficient set).
typedef struct ox_iir_cf2
{
    float b0, b1, b2, a1, a2;
} ox_iir_cf2;

// Third-order polynomial section {b0, b1, b2, b3, a1, a2, a3}.
typedef struct ox_iir_cf3
{
    float b0, b1, b2, b3, a1, a2, a3;
} ox_iir_cf3;

// Factored (cascade) record, 24 words: the order N; the first-order section (used only when
// N is odd); second-order sections 0 … N/2 − 1 (integer division).
typedef struct ox_iir_cfNf
{
    uint32_t order;
    ox_iir_cf1 first;
    ox_iir_cf2 sec[4];
} ox_iir_cfNf;

// Polynomial record, 21 words: the order N ≤ 9; numerator b[k] = b_k (k = 0 … N);
// denominator a[k − 1] = a_k (k = 1 … N; a[0] holds a1).
typedef struct ox_iir_cfN
{
    uint32_t order;
    float b[10];
    float a[10];
} ox_iir_cfN;

// ---- Designers of the factored form --------------------------------------------------------
// They write the order word and the sections the design uses; other words keep their values.

// Butterworth low-/high-pass of order N (clamped to 9), corner fc.
void ox_iir_lpbutterf(ox_iir_cfNf* rec, unsigned N, float fc, float fs);
void ox_iir_hpbutterf(ox_iir_cfNf* rec, unsigned N, float fc, float fs);

// Butterworth band-pass / band-stop from a prototype of order N (clamped to 4) with band
// edges f1, f2 (swapped when f1 > f2); order word 2N, sections from sec[0] on, `first` unused.
void ox_iir_bpbutterf(ox_iir_cfNf* rec, unsigned N, float f1, float f2, float fs);
void ox_iir_bsbutterf(ox_iir_cfNf* rec, unsigned N, float f1, float f2, float fs);

// Shelves of order N (clamped to 9): the low shelf applies `gain` dB below fc, the high shelf
// above fc; the gain is spread evenly over the sections. A cut's corner is moved before
// prewarping, to fc/g1 (low shelf) or fc·g1 (high shelf) with g1 the cut per order, so that
// the analog prototype of the cut is the inverse of the boost of the same size.
void ox_iir_lpshelvingf(ox_iir_cfNf* rec, unsigned N, float fc, float gain, float fs);
void ox_iir_hpshelvingf(ox_iir_cfNf* rec, unsigned N, float fc, float gain, float fs);

// Linkwitz-Riley low-/high-pass of even order N (the squared Butterworth of order N/2; an odd
// N is raised to the next even order, then clamped to 8). Each is −6 dB at fc, and low-pass
// plus high-pass of the same order sum to an all-pass (the high-pass is inverted for N = 2, 6).
void ox_iir_lplinkrileyf(ox_iir_cfNf* rec, unsigned N, float fc, float fs);
void ox_iir_hplinkrileyf(ox_iir_cfNf* rec, unsigned N, float fc, float fs);

// ---- Designers of the polynomial form -------------------------------------------------------
// The same designs multiplied out in double precision; they write b0 … bN and a1 … aN.
void ox_iir_lpbutter(ox_iir_cfN* rec, unsigned N, float fc, float fs);
void ox_iir_hpbutter(ox_iir_cfN* rec, unsigned N, float fc, float fs);
void ox_iir_lpshelving(ox_iir_cfN* rec, unsigned N, float fc, float gain, float fs);
void ox_iir_hpshelving(ox_iir_cfN* rec, unsigned N, float fc, float gain, float fs);
void ox_iir_lplinkriley(ox_iir_cfN* rec, unsigned N, float fc, float fs);
void ox_iir_hplinkriley(ox_iir_cfN* rec, unsigned N, float fc, float fs);
// Band designs have no polynomial form: these return at once and write nothing.
void ox_iir_bpbutter(ox_iir_cfN* rec, unsigned N, float f1, float f2, float fs);
void ox_iir_bsbutter(ox_iir_cfN* rec, unsigned N, float f1, float f2, float fs);

// ---- Single-section designers ---------------------------------------------------------------
// Shelves: a cut is the boost of the same size with numerator and denominator exchanged.
// First-order record, five floats: {b0, b0 + b1, b1, 1 + a1, a1} (DC gain = out[1] / out[3]).
void ox_iir_lpbutter1(float out[5], float fc, float fs);
void ox_iir_hpbutter1(float out[5], float fc, float fs);
void ox_iir_lfshelving1(float out[5], float fc, float gain, float fs);
void ox_iir_hfshelving1(float out[5], float fc, float gain, float fs);

// Second-order sections.
void ox_iir_lpbutter2(ox_iir_cf2* out, float fc, float fs);
void ox_iir_hpbutter2(ox_iir_cf2* out, float fc, float fs);
void ox_iir_lfshelving2(ox_iir_cf2* out, float fc, float gain, float fs);
void ox_iir_hfshelving2(ox_iir_cf2* out, float fc, float gain, float fs);
// Peaking section: `gain` dB at fc, quality Q.
void ox_iir_peaking(ox_iir_cf2* out, float fc, float gain, float Q, float fs);
// First-order all-pass (a + z^-1)/(1 + a·z^-1), 90° phase at f, written as {a, 1, 0, a, 0}.
void ox_iir_allpass1(ox_iir_cf2* out, float f, float fs);
// Second-order all-pass, 180° phase at f, bandwidth f/Q.
void ox_iir_allpass2(ox_iir_cf2* out, float f, float Q, float fs);

// ---- Conversions ----------------------------------------------------------------------------
// From a polynomial of order 1, 2 or 3 writes an ox_iir_cf1, ox_iir_cf2 or ox_iir_cf3 to out
// and returns 0; any other order (or a null pointer) returns 1 and writes nothing.
int ox_iir_cfNtocfX(void* out, const ox_iir_cfN* in);

// Regroups the coefficient words of a polynomial record into the section slots of a factored
// record (numerator words one after the other as the sections' numerators, denominator words
// likewise); the order word of out is not written. Exact only for N ≤ 2: the factorisation
// (ox_iir_factorization) is the conversion of a true higher-order polynomial.
void ox_iir_cfN_to_cfNf(ox_iir_cfNf* out, const ox_iir_cfN* in);

// ---- Filters --------------------------------------------------------------------------------
// n samples from in to out; state layout per routine (caller-owned, zero for a fresh filter):
//  filter1 {x1, y1}; filter2 {x1, x2, y1, y2}; filter3 {x1, x2, x3, y1, y2, y3};
//  filterN 18 words: x[n−1] … x[n−9], then y[n−1] … y[n−9];
//  filterNf 18 words: {x1, y1} of the first-order section, then {x1, x2, y1, y2} per
//  second-order section.
void ox_iir_filter1(float* state, const float* in, float* out, int n, ox_iir_cf1 c);
void ox_iir_filter2(float* state, const float* in, float* out, int n, ox_iir_cf2 c);
void ox_iir_filter3(float* state, const float* in, float* out, int n, ox_iir_cf3 c);
// One channel of an interleaved buffer: reads in[i·stride], writes out[i·stride] (stride ≥ 1).
void ox_iir_filter2_mch(float* state, const float* in, float* out, int n, int stride, ox_iir_cf2 c);
// Polynomial form of order ≤ 9 (a larger order word is taken as 9).
void ox_iir_filterN(float* state, const float* in, float* out, int n, ox_iir_cfN c);
// Factored form (order word above 9 taken as 9); order 0 copies in to out.
void ox_iir_filterNf(float* state, const float* in, float* out, int n, ox_iir_cfNf c);

#ifdef __cplusplus
}
#endif

#endif
