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
#include <random>
#include <vector>

namespace oxtest
{

// n samples drawn from `dist` by a generator seeded with `seed`.
template <class Dist> std::vector<float> draw(size_t n, uint32_t seed, Dist dist)
{
    std::mt19937 rng(seed);
    std::vector<float> v(n);
    for (auto& x : v) x = dist(rng);
    return v;
}

// Deterministic white noise, uniform in [-amp, amp).
inline std::vector<float> noise(size_t n, uint32_t seed, float amp = 1.0f)
{
    return draw(n, seed, std::uniform_real_distribution<float>(-amp, amp));
}

// Gaussian noise with unit variance.
inline std::vector<float> gauss(size_t n, uint32_t seed)
{
    return draw(n, seed, std::normal_distribution<float>(0.0f, 1.0f));
}

// Sine of frequency f (Hz) at rate fs.
inline std::vector<float> sine(size_t n, double f, double fs, float amp = 1.0f)
{
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = amp * (float)std::sin(2 * M_PI * f * double(i) / fs);
    return s;
}

// Unit impulse of length n.
inline std::vector<float> impulse(size_t n)
{
    std::vector<float> x(n, 0.0f);
    x[0] = 1.0f;
    return x;
}

// Double-precision naive DFT of a real signal: bins 0..n/2 inclusive. k·i is reduced modulo n
// first so that the phase stays exact for large n.
inline std::vector<std::complex<double>> naive_dft(const std::vector<double>& x)
{
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k)
        for (size_t i = 0; i < n; ++i)
            out[k] += x[i] * std::polar(1.0, -2.0 * M_PI * double((k * i) % n) / double(n));
    return out;
}

// Double-precision DFT of x at one frequency f (Hz) at rate fs.
inline std::complex<double> dft_at(const std::vector<float>& x, double f, double fs)
{
    std::complex<double> acc(0.0, 0.0);
    for (size_t i = 0; i < x.size(); ++i)
        acc += double(x[i]) * std::polar(1.0, -2.0 * M_PI * f * double(i) / fs);
    return acc;
}

// Lag (y[i + lag] ~ x[i]) of the largest cross-correlation within max_lag, x from `from`.
inline int xcorr_lag(const std::vector<float>& x, const std::vector<float>& y, int max_lag,
                     size_t from = 0)
{
    int best = 0;
    double best_v = -1e300;
    const int lo = std::max(int(from), max_lag);
    for (int lag = -max_lag; lag <= max_lag; ++lag)
    {
        double acc = 0.0;
        for (int i = lo; i + max_lag < (int)x.size(); ++i) acc += (double)x[i] * y[i + lag];
        if (acc > best_v) best_v = acc, best = lag;
    }
    return best;
}

// 20·log10(|x|), -400 for 0.
inline double db(double x)
{
    return x == 0.0 ? -400.0 : 20.0 * std::log10(std::fabs(x));
}

// Root mean square of a signal, and of x from sample `from` on.
inline double rms(const float* x, size_t n)
{
    double s = 0.0;
    for (size_t i = 0; i < n; ++i) s += double(x[i]) * x[i];
    return n ? std::sqrt(s / double(n)) : 0.0;
}
inline double rms_from(const std::vector<float>& x, size_t from)
{
    return rms(x.data() + from, x.size() - from);
}

// Index of the largest magnitude, and the largest magnitude itself.
inline int peak_at(const std::vector<float>& x)
{
    auto mag = [](float a, float b) { return std::fabs(a) < std::fabs(b); };
    return int(std::max_element(x.begin(), x.end(), mag) - x.begin());
}
inline float peak(const std::vector<float>& x)
{
    return x.empty() ? 0.0f : std::fabs(x[size_t(peak_at(x))]);
}

// Whether every sample from `from` on is finite.
inline bool all_finite(const std::vector<float>& x, size_t from = 0)
{
    return std::all_of(x.begin() + long(std::min(from, x.size())), x.end(),
                       [](float v) { return std::isfinite(v); });
}

} // namespace oxtest

#endif
