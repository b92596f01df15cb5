// Spectral-domain test signals for the decoder's spectral blocks: perceptual
// bands of the decoder's 48 kHz frame, and noise-burst spectra generated
// directly as packed half spectra (so propagation delays can be exact
// fractional phase shifts).
#ifndef OX_SPECGEN_H
#define OX_SPECGEN_H

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

#include "ox_perc.h"

namespace oxtest
{

// The decoder's frame at 48 kHz: hop 480, FFT size 1024, 512 complex bins.
struct Bands48k
{
    static constexpr int32_t hop = 480;
    static constexpr int32_t fftsize = 1024;
    static constexpr int32_t specsize = 512;
    static constexpr float fs = 48000.0f;
    int32_t nb = 0;
    int32_t edges[64] = {};
    float weights[64] = {};
    Bands48k() { ox_perc_makepercbands(fftsize, 64, &nb, edges, weights, 1, fs, 1.0f, 0.0f); }
    // Centre frequency of bin k, Hz.
    static double bin_hz(int32_t k) { return double(k) * fs / fftsize; }
};

// Noise bursts: each frame is an independent complex Gaussian spectrum (bins
// 1..specsize-1; DC real, Nyquist 0) scaled by a burst envelope that switches
// between bursts of random level and short gaps of silence, so that adaptive
// statistics keep seeing rises and falls.
class BurstSource
{
  public:
    explicit BurstSource(uint32_t seed) : rng_(seed) {}

    // Next frame's source spectrum, specsize complex values (bin 0 = DC only).
    std::vector<std::complex<double>> next(int32_t specsize)
    {
        if (left_ <= 0)
        {
            on_ = !on_;
            left_ = on_ ? 20 + int(rng_() % 30) : 3 + int(rng_() % 8);
            level_ = std::pow(10.0, -double(rng_() % 30) / 20.0);
        }
        --left_;
        std::vector<std::complex<double>> s(size_t(specsize), 0.0);
        if (!on_) return s;
        for (int32_t k = 0; k < specsize; ++k)
            s[size_t(k)] = level_ * std::complex<double>(g_(rng_), k ? g_(rng_) : 0.0);
        return s;
    }

  private:
    std::mt19937 rng_;
    std::normal_distribution<double> g_{0.0, 1.0};
    bool on_ = false;
    int left_ = 0;
    double level_ = 1.0;
};

// Packs complex bins into the interleaved half-spectrum layout (pair 0 holds
// DC real and the Nyquist value nyq).
inline void pack(const std::vector<std::complex<double>>& s, float* out, double nyq = 0.0)
{
    for (size_t k = 0; k < s.size(); ++k)
    {
        out[2 * k] = float(s[k].real());
        out[2 * k + 1] = float(s[k].imag());
    }
    out[1] = float(nyq);
}

// Complex bin k of a packed spectrum (k >= 1).
inline std::complex<double> bin(const float* spec, int32_t k)
{
    return {spec[2 * k], spec[2 * k + 1]};
}

// Unit direction vector from azimuth and elevation in degrees (x front, y left, z up).
inline void direction(double az_deg, double el_deg, double d[3])
{
    const double az = az_deg * M_PI / 180.0, el = el_deg * M_PI / 180.0;
    d[0] = std::cos(el) * std::cos(az);
    d[1] = std::cos(el) * std::sin(az);
    d[2] = std::sin(el);
}

} // namespace oxtest

#endif
