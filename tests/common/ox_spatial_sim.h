// Sound-field simulation for the tests of the decoder's spectral blocks:
// perceptual band tables, noise bursts (as signals with their short-time
// spectra, or generated directly as packed half spectra so that propagation
// delays can be exact fractional phase shifts) and the B-format of plane waves.
#ifndef OX_SPATIAL_SIM_H
#define OX_SPATIAL_SIM_H

#include "ox_fft.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace oxtest
{

// The decoder's frame at 48 kHz: hop 480, FFT size 1024, 512 complex bins.
constexpr int32_t kHop = 480, kFft = 1024, kSpec = 512;
constexpr float kFs = 48000.0f;
// Centre frequency of bin k at that frame, Hz.
inline double bin_hz(int32_t k)
{
    return double(k) * kFs / kFft;
}

// Perceptual band table of the decoder for an FFT size and sample rate.
struct BandTable
{
    int32_t count = 0;
    std::vector<int32_t> edges;
    std::vector<float> weights;
    BandTable(int32_t fftsize = kFft, float fs = kFs);
};

// Four packed spectra of the decoder's frame with pointers to them, as the spectral blocks take
// them.
struct Spectra4
{
    std::array<std::vector<float>, 4> buf;
    float* in[4];
    Spectra4()
    {
        for (int i = 0; i < 4; ++i) in[i] = (buf[i] = std::vector<float>(kFft, 0.0f)).data();
    }
};

// Capsule axes of the tetrahedral array, LF RF LB RB (x front, y left, z up), length sqrt 3.
extern const double kCapsuleAxis[4][3];

// Short-time analysis of one signal as the decoder does it: window of two
// hops, FFT size a power of two, one packed spectrum per hop.
class Stft
{
  public:
    Stft(int32_t hop, int32_t fftsize);
    ~Stft();
    Stft(const Stft&) = delete;
    Stft& operator=(const Stft&) = delete;
    // Takes the next hop of samples, writes the spectrum (fftsize floats).
    void analyse(const float* hop_samples, float* spectrum);

  private:
    ox_fft_setup fft_{};
    int32_t hop_;
    std::vector<float> history_, work_;
};

// Gaussian noise in bursts: every `segment` samples a new level between -20
// and 0 dB, and one segment in five silent. Keeps adaptive statistics moving.
std::vector<float> bursts(size_t n, uint32_t seed, size_t segment);

// One frame of internal B-format: four packed spectra.
using BFrame = std::array<std::vector<float>, 4>;

// Frames of a sound field as the decoder's analysis sees it: plane waves of independent noise
// bursts from the directions (azimuth, elevation in radians) plus, when diffuse > 0, an isotropic
// diffuse field of that amplitude (independent W, X, Y, Z at powers 1/2, 1/3, 1/3, 1/3; steady
// noise, since independent bursts per channel would point the field along the axes).
std::vector<BFrame> field_frames(int32_t hop, int32_t fftsize, int frames,
                                 const std::vector<std::array<float, 2>>& dirs, float diffuse,
                                 uint32_t seed);

// Noise bursts as spectra: each frame is an independent complex Gaussian
// spectrum (bins 1..specsize-1; DC real, Nyquist 0) scaled by a burst envelope
// that switches between bursts of random level and short gaps of silence, so
// that adaptive statistics keep seeing rises and falls.
class BurstSource
{
  public:
    explicit BurstSource(uint32_t seed) : rng_(seed) {}

    // Next frame's source spectrum, specsize complex values (bin 0 = DC only).
    std::vector<std::complex<double>> next(int32_t specsize);

  private:
    std::mt19937 rng_;
    std::normal_distribution<double> g_{0.0, 1.0};
    bool on_ = false;
    int left_ = 0;
    double level_ = 1.0;
};

// Packs complex bins into the interleaved half-spectrum layout (pair 0 holds
// DC real and the Nyquist value nyq).
void pack(const std::vector<std::complex<double>>& s, float* out, double nyq = 0.0);

// Complex bin k of a packed spectrum (k >= 1).
inline std::complex<double> bin(const float* spectrum, int32_t k)
{
    return {spectrum[2 * k], spectrum[2 * k + 1]};
}

// Unit direction vector from azimuth and elevation in degrees (x front, y left,
// z up), in double precision.
void direction(double az_deg, double el_deg, double d[3]);

// B-format gains (W at -3 dB, X, Y, Z) of a plane wave from azimuth az and
// elevation el (radians; azimuth positive to the left).
void plane_wave(float az, float el, float g[4]);

// Spectrum of a first-order cardioid aimed along unit vector u from the
// B-format spectra b[4]: 0.70710677 W + 0.5 (u . (X, Y, Z)).
void cardioid(const float* const* b, const float u[3], float* out, int32_t specsize);

} // namespace oxtest

#endif
