// Sound-field simulation for the spectral blocks' tests: bands, bursts, spectra, plane waves.
#ifndef OX_SPATIAL_SIM_H
#define OX_SPATIAL_SIM_H

#include "ox_test_util.h"

#include <random>

namespace oxtest
{

// The decoder's frame at 48 kHz: hop 480, FFT size 1024, 512 complex bins.
constexpr int32_t kHop = 480, kFft = 1024, kBins = 512;
constexpr float kFs = 48000.0f;
constexpr double kBinHz = double(kFs) / kFft; // centre frequency of bin 1, Hz

// Perceptual band table of the decoder for an FFT size and sample rate.
struct BandTable
{
    int32_t count = 0;
    std::vector<int32_t> edges;
    std::vector<float> weights;
    BandTable(int32_t fftsize = kFft, float fs = kFs);
};

// Four packed spectra of the decoder's frame, with pointers as the blocks take them.
struct Spectra4
{
    std::array<std::vector<float>, 4> buf{std::vector<float>(kFft), std::vector<float>(kFft),
                                          std::vector<float>(kFft), std::vector<float>(kFft)};
    float* in[4] = {buf[0].data(), buf[1].data(), buf[2].data(), buf[3].data()};
};

// Capsule axes of the tetrahedral array, LF RF LB RB (x front, y left, z up), length sqrt 3.
extern const double kCapsuleAxis[4][3];

// Packed spectra of the whole hops of x, analysed as the decoder does (two-hop window).
std::vector<std::vector<float>> hop_spectra(const std::vector<float>& x);

// Gaussian bursts: each segment a level in -20..0 dB, one in five silent.
std::vector<float> bursts(size_t n, uint32_t seed, size_t segment);

// One frame of internal B-format: four packed spectra.
using BFrame = std::array<std::vector<float>, 4>;

// Decoder frames of burst plane waves from (az, el) degrees plus a steady diffuse field.
std::vector<BFrame> field_frames(int frames, const std::vector<std::array<float, 2>>& dirs,
                                 float diffuse, uint32_t seed);

// Complex Gaussian spectra in bursts of random level and short silent gaps.
struct BurstSource
{
    explicit BurstSource(uint32_t seed) : rng(seed) {}
    // Next frame's source spectrum, specsize complex values (bin 0 = DC only).
    std::vector<std::complex<double>> next(int32_t specsize);

    std::mt19937 rng;
    std::normal_distribution<double> gauss{0.0, 1.0};
    bool on = false;
    int left = 0; // frames left in the current burst or gap
    double level = 1.0;
};

// Packs complex bins as half spectra (pair 0: DC real, Nyquist 0).
void pack(const std::vector<std::complex<double>>& s, float* out);

// Complex bin k of a packed spectrum (bin 0: DC and Nyquist).
inline std::complex<double> bin(const float* spectrum, int32_t k)
{
    return {spectrum[2 * k], spectrum[2 * k + 1]};
}

// Unit vector of azimuth and elevation in degrees (x front, y left, z up).
void direction(double az_deg, double el_deg, double d[3]);

// B-format gains (W at -3 dB) of a wave from az, el in degrees (az positive left).
void plane_wave(float az, float el, float g[4]);

// Cardioid along unit vector u from B-format spectra: 0.7071 W + 0.5 u.(X, Y, Z).
void cardioid(const float* const* b, const float u[3], float* out, int32_t specsize);

} // namespace oxtest

#endif
