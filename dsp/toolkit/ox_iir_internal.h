// Helpers shared by the ox_iir source files (not exported).
#ifndef OX_IIR_INTERNAL_H
#define OX_IIR_INTERNAL_H

#include "ox_iir.h"

namespace oxiir
{

constexpr double kPi = 3.141592653589793;

// Stores a first-order section {b0, b1, a1} given in double.
void round_cf1(ox_iir_cf1* out, const double c[3]);

// Stores a second-order section {b0, b1, b2, a1, a2} given in double, rounding a2 so that
// 1 + a1 + a2 of the stored floats stays as close as possible to its exact value.
void round_cf2(ox_iir_cf2* out, const double c[5]);

// Stores n state words from src to dst, or zeros when any of them is not finite, so that one
// NaN or Inf input sample cannot disable a filter for good.
void put_state(float* dst, const float* src, int n);

// p (degree deg, coefficients p[0 … deg]) ·= q (degree qdeg) in place; returns the new degree.
// p must hold deg + qdeg + 1 ≤ 20 coefficients.
int poly_mul(double* p, int deg, const double* q, int qdeg);

// Roots of the degree-N polynomial q[0] + q[1]·x + … + q[N]·x^N (1 ≤ N ≤ 9) from the
// eigenvalues of its balanced companion matrix: real parts to re[0 … N−1], imaginary parts to
// im; real roots (im exactly 0) first by ascending magnitude, then conjugate pairs, each pair
// adjacent. A zero q[N] leaves the companion matrix's first row zero. Returns 0, or −1 for a
// non-finite coefficient or when the QR iteration does not converge.
int polyroots(const double* q, int N, double* re, double* im);

} // namespace oxiir

#endif
