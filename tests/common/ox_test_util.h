// Oracles and signal generators shared by the test suites. It also brings the test framework
// and the standard headers every suite uses, so a suite includes only what is particular to it.
#ifndef OX_TEST_UTIL_H
#define OX_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <numeric>
#include <vector>

namespace oxtest
{

// Deterministic white noise, uniform in [-amp, amp).
std::vector<float> noise(size_t n, uint32_t seed, float amp = 1.0f);

// Gaussian noise with unit variance.
std::vector<float> gauss(size_t n, uint32_t seed);

// Sine of frequency f (Hz) at rate fs.
std::vector<float> sine(size_t n, double f, double fs, float amp = 1.0f);

// Double-precision naive DFT of a real signal: bins 0..n/2 inclusive.
std::vector<std::complex<double>> naive_dft(const std::vector<double>& x);

// Double-precision DFT of x at one frequency f (Hz) at rate fs.
std::complex<double> dft_at(const std::vector<float>& x, double f, double fs);

// Lag (y[i + lag] ~ x[i]) of the largest cross-correlation within max_lag, x from `from`.
int xcorr_lag(const std::vector<float>& x, const std::vector<float>& y, int max_lag,
              size_t from = 0);

// 20·log10(|x|), -400 for 0.
double db(double x);

// Root mean square of a signal, and of x from sample `from` on.
double rms(const float* x, size_t n);
double rms_from(const std::vector<float>& x, size_t from);

// Index of the largest magnitude, and the largest magnitude itself.
int peak_at(const std::vector<float>& x);
float peak(const std::vector<float>& x);

// Unit impulse of length n.
std::vector<float> impulse(size_t n);

// Whether every sample from `from` on is finite.
bool all_finite(const std::vector<float>& x, size_t from = 0);

} // namespace oxtest

#endif
