// Analysis of the filters of ox_iir.h: magnitude, phase and group delay at one frequency,
// the magnitudes of the ideal analog prototypes, factorisation of a polynomial-form filter
// into cascade form, and phase unwrapping.
//
// Digital responses evaluate H(e^jω) with ω = 2π·f/fs in single precision: magnitudes are
// linear, phases in radians, group delays in samples. A pole exactly on the unit circle
// gives an infinite magnitude there.
#ifndef OX_IIR_RESPONSE_H
#define OX_IIR_RESPONSE_H

#include "ox_iir.h"

#ifdef __cplusplus
extern "C" {
#endif

// Second-order section: |H|, arg B − arg A (each in ±π, the difference not re-wrapped), and
// the group delay of B minus that of A.
float ox_iir_freqresponse2(ox_iir_cf2 c, float fs, float f);
float ox_iir_phaseresponse2(ox_iir_cf2 c, float fs, float f);
float ox_iir_groupdelay2(ox_iir_cf2 c, float fs, float f);

// The same for a polynomial record (order word taken as at most 9).
float ox_iir_freqresponseN(ox_iir_cfN c, float fs, float f);
float ox_iir_phaseresponseN(ox_iir_cfN c, float fs, float f);
float ox_iir_groupdelayN(ox_iir_cfN c, float fs, float f);

// Cascade record: product of the sections' magnitudes, sum of their phases (not wrapped back
// into ±π) and of their group delays; order 0 is the unity filter.
float ox_iir_freqresponseNf(ox_iir_cfNf c, float fs, float f);
float ox_iir_phaseresponseNf(ox_iir_cfNf c, float fs, float f);
float ox_iir_groupdelayNf(ox_iir_cfNf c, float fs, float f);

// Magnitudes of the analog prototypes of order m at frequency f (Hz): Butterworth low- and
// high-pass 1/√(1 + x^(2m)) with x = f/fc or fc/f; shelves of `gain` dB below (low) or above
// (high) fc; an order m ≤ 0 is no filter (pass: 1, shelves: the full shelf gain).
float ox_iir_analoglowpassresponse(int m, float fc, float f);
float ox_iir_analoghighpassresponse(int m, float fc, float f);
float ox_iir_analoglowshelvingresponse(int m, float fc, float gain, float f);
float ox_iir_analoghighshelvingresponse(int m, float fc, float gain, float f);
// Peaking prototype: `gain` dB at fc, quality Q.
float ox_iir_analogpeakingresponse(float fc, float gain, float Q, float f);

// Factors the polynomial filter `in` (order ≤ 9) into the cascade record `out` (order word
// and every used section) from the roots of its numerator and denominator: real roots
// first by ascending magnitude, then conjugate pairs; the overall gain goes into the first
// section. Returns 0, or −3 (out untouched) when a coefficient is not finite or the root
// finder does not converge.
int ox_iir_factorization(const ox_iir_cfN* in, ox_iir_cfNf* out);

// Unwraps count phase values (radians) in place: every jump of π or more between neighbours
// is brought into [−π, π] by adding a multiple of 2π to it and to everything after it;
// phase[0] is kept. Allocates nothing; count < 2 changes nothing.
void ox_iir_unwrapphase(float* phase, int count);

#ifdef __cplusplus
}
#endif

#endif
