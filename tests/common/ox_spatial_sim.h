// Sound-field simulation for the spatial analysis tests: noise bursts, their
// short-time spectra, perceptual band tables and the B-format of plane waves.
#ifndef OX_SPATIAL_SIM_H
#define OX_SPATIAL_SIM_H

#include "ox_fft.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace oxtest
{

// Perceptual band table of the decoder for an FFT size and sample rate.
struct BandTable
{
    int32_t count = 0;
    std::vector<int32_t> edges;
    std::vector<float> weights;
    BandTable(int32_t fftsize, float fs);
};

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

// B-format gains (W at -3 dB, X, Y, Z) of a plane wave from azimuth az and
// elevation el (radians; azimuth positive to the left).
void plane_wave(float az, float el, float g[4]);

// Spectrum of a first-order cardioid aimed along unit vector u from the
// B-format spectra b[4]: 0.70710677 W + 0.5 (u . (X, Y, Z)).
void cardioid(const float* const* b, const float u[3], float* out, int32_t specsize);

} // namespace oxtest

#endif
