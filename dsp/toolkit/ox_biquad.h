// Biquad (second-order section) designers, filtering and responses.
//
// A section is H(z) = (b0 + b1·z^-1 + b2·z^-2) / (1 + a1·z^-1 + a2·z^-2); the
// leading denominator coefficient is 1 and not stored, the filter subtracts the
// a-terms (direct form I). Designers compute in double precision and store
// floats: frequencies and the sample rate fs in Hz, gains in dB, Q unitless.
//
// Ranges every designer enforces (so that no argument can produce a section
// that is non-finite or sits on or outside the unit circle):
// - a frequency is limited to OX_BIQUAD_FMIN_REL·fs .. OX_BIQUAD_FMAX_REL·fs
//   (NaN and +inf take the upper end); a design at exactly fs/2 would put a
//   double pole at z = -1, so the upper end stays a little below it;
// - a gain is limited to ±OX_BIQUAD_DB_MAX dB (NaN counts as 0 dB);
// - a quality Q is limited to OX_BIQUAD_QMIN .. OX_BIQUAD_QMAX (NaN: 0.7071);
// - a denominator that single-precision rounding would leave on or outside the
//   unit circle (only at the extreme ends of these ranges) is pulled inside.
// Every frequency is prewarped as T = tan(π·f/fs) before the bilinear
// transform, so design frequencies land exactly.
#ifndef OX_BIQUAD_H
#define OX_BIQUAD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_BIQUAD_FMIN_REL 1.0e-5
#define OX_BIQUAD_FMAX_REL 0.49
#define OX_BIQUAD_DB_MAX 120.0f
#define OX_BIQUAD_QMIN 0.01f
#define OX_BIQUAD_QMAX 1000.0f

// Coefficients of one section; passed by address to designers, by value to the
// filters and responses.
typedef struct ox_biquad_coeffs
{
    float b0, b1, b2, a1, a2;
} ox_biquad_coeffs;

// Running state of one section: the last two inputs and outputs, newest first.
// Owned by the caller, all zero for a fresh filter.
typedef struct ox_biquad_state
{
    float x1, x2, y1, y2;
} ox_biquad_state;

// ---- Filtering -------------------------------------------------------------

// Runs n samples from in to out (in == out allowed). The state is read once and
// written back once; a state that turned non-finite (NaN or Inf in the input)
// is cleared at the end of the call, so a bad sample never lasts beyond its
// block. Null pointers or n < 1 do nothing.
void ox_biquad_filter(ox_biquad_state* state, const float* in, float* out, int32_t n,
                      ox_biquad_coeffs c);

// The same on one channel of interleaved data: sample i is in[i·stride] and
// out[i·stride] (stride >= 1).
void ox_biquad_filter_mch(ox_biquad_state* state, const float* in, float* out, int32_t n,
                          int32_t stride, ox_biquad_coeffs c);

// ---- Responses at one frequency f (Hz) for sample rate fs (Hz) --------------

// Magnitude |H(e^{iω})|, ω = 2π·f/fs.
float ox_biquad_freqresponse(ox_biquad_coeffs c, float fs, float f);
// Phase of H(e^{iω}) in radians, wrapped to (-2π, 2π) (not unwrapped).
float ox_biquad_phaseresponse(ox_biquad_coeffs c, float fs, float f);
// Group delay in samples.
float ox_biquad_groupdelay(ox_biquad_coeffs c, float fs, float f);

// ---- Designers (write five coefficients into *c; null c does nothing) -------

// Pass-through: b0 = 1, the rest 0.
void ox_biquad_unity(ox_biquad_coeffs* c);
// All five coefficients 0 (silence).
void ox_biquad_zero(ox_biquad_coeffs* c);
// Scales b0, b1, b2 of an existing design by 10^(dB/20).
void ox_biquad_gain(ox_biquad_coeffs* c, float dB);

// Butterworth low-/high-pass of first and second order, corner f.
void ox_biquad_lpbutter1(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hpbutter1(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_lpbutter2(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hpbutter2(ox_biquad_coeffs* c, float f, float fs);
// Second-order high-pass whose damping follows Q (Q 0.2 and below is close
// to Butterworth, larger Q gives a resonant corner).
void ox_biquad_hpbutter2_Qfactor(ox_biquad_coeffs* c, float f, float Q, float fs);
// Third-order Butterworth as the cascade A (first order) then B.
void ox_biquad_lpbutter3A(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_lpbutter3B(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hpbutter3A(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hpbutter3B(ox_biquad_coeffs* c, float f, float fs);
// Fourth-order Butterworth as the cascade A then B.
void ox_biquad_lpbutter4A(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_lpbutter4B(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hpbutter4A(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hpbutter4B(ox_biquad_coeffs* c, float f, float fs);

// Band-pass / band-stop with band edges f1 and f2 (either order) from a
// first-order prototype: one second-order section.
void ox_biquad_bpbutter1(ox_biquad_coeffs* c, float f1, float f2, float fs);
void ox_biquad_bsbutter1(ox_biquad_coeffs* c, float f1, float f2, float fs);
// From a second-order prototype: a fourth-order result as sections A then B.
void ox_biquad_bpbutter2A(ox_biquad_coeffs* c, float f1, float f2, float fs);
void ox_biquad_bpbutter2B(ox_biquad_coeffs* c, float f1, float f2, float fs);
void ox_biquad_bsbutter2A(ox_biquad_coeffs* c, float f1, float f2, float fs);
void ox_biquad_bsbutter2B(ox_biquad_coeffs* c, float f1, float f2, float fs);

// Linkwitz-Riley of second order (first-order Butterworth squared; the pair
// sums flat with the high-pass inverted) and of fourth order (sections A and B
// are both the second-order Butterworth; the pair sums flat as it is).
void ox_biquad_lplinkriley2(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hplinkriley2(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_lplinkriley4A(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_lplinkriley4B(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hplinkriley4A(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_hplinkriley4B(ox_biquad_coeffs* c, float f, float fs);

// Shelves: gain dB below (lf) or above (hf) the corner f, 0 dB on the other
// side. A cut is the exact inverse of the boost of the same size. Orders 3
// and 4 are cascades A then B that share the gain evenly.
void ox_biquad_lfshelving1(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_hfshelving1(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_lfshelving2(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_hfshelving2(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_lfshelving2_Qfactor(ox_biquad_coeffs* c, float f, float dB, float Q, float fs);
void ox_biquad_hfshelving2_Qfactor(ox_biquad_coeffs* c, float f, float dB, float Q, float fs);
void ox_biquad_lfshelving3A(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_lfshelving3B(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_hfshelving3A(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_hfshelving3B(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_lfshelving4A(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_lfshelving4B(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_hfshelving4A(ox_biquad_coeffs* c, float f, float dB, float fs);
void ox_biquad_hfshelving4B(ox_biquad_coeffs* c, float f, float dB, float fs);

// Peaking equaliser: gain dB at f, bandwidth from Q; ±dB designs are each
// other's inverse and 0 dB is the pass-through.
void ox_biquad_peaking(ox_biquad_coeffs* c, float f, float dB, float Q, float fs);
// Band-pass resonator with peak gain dB at f.
void ox_biquad_resonator(ox_biquad_coeffs* c, float f, float dB, float Q, float fs);

// All-passes: first order with its 90° point at f; second order centred on f
// with bandwidth f/Q.
void ox_biquad_allpass1(ox_biquad_coeffs* c, float f, float fs);
void ox_biquad_allpass2(ox_biquad_coeffs* c, float f, float Q, float fs);

// Linkwitz transform: replaces the analog pole pair (f0, Q0) by (fp, Qp),
// matched at the mean of the two frequencies.
void ox_biquad_linkwitztransform2(ox_biquad_coeffs* c, float f0, float Q0, float fp, float Qp,
                                  float fs);

// Running sum, double running sum, first and second difference. The first two
// have poles on the unit circle by nature.
void ox_biquad_integrator1(ox_biquad_coeffs* c);
void ox_biquad_integrator2(ox_biquad_coeffs* c);
void ox_biquad_differential1(ox_biquad_coeffs* c);
void ox_biquad_differential2(ox_biquad_coeffs* c);

#ifdef __cplusplus
}
#endif

#endif
