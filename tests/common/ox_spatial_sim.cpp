#include "ox_spatial_sim.h"

#include "ox_perc.h"
#include "ox_test_util.h"

#include <cmath>
#include <random>

namespace oxtest
{

BandTable::BandTable(int32_t fftsize, float fs) : edges(64), weights(64)
{
    ox_perc_makepercbands(fftsize, 64, &count, edges.data(), weights.data(), 1, fs, 1.0f, 0.0f);
    edges.resize(size_t(count));
    weights.resize(size_t(count));
}

Stft::Stft(int32_t hop, int32_t fftsize)
    : hop_(hop), history_(size_t(2 * hop), 0.0f), work_(size_t(fftsize), 0.0f)
{
    const ox_fft_frameparams fp = {hop, fftsize, 2 * hop};
    ox_fft_alloc(&fft_, fp);
    ox_fft_init(&fft_, fp, 1);
}

Stft::~Stft()
{
    ox_fft_release(&fft_);
}

void Stft::analyse(const float* hop_samples, float* spectrum)
{
    for (int32_t i = 0; i < hop_; ++i)
    {
        history_[size_t(i)] = history_[size_t(i + hop_)];
        history_[size_t(i + hop_)] = hop_samples[i];
    }
    ox_stfft(history_.data(), spectrum, work_.data(), fft_);
}

std::vector<float> bursts(size_t n, uint32_t seed, size_t segment)
{
    std::vector<float> x = gauss(n, seed);
    std::mt19937 rng(seed ^ 0x9e3779b9u);
    std::uniform_real_distribution<float> level(-20.0f, 0.0f);
    for (size_t s = 0; s < n; s += segment)
    {
        const float g = rng() % 5 == 0 ? 0.0f : std::pow(10.0f, level(rng) / 20.0f);
        for (size_t i = s; i < n && i < s + segment; ++i) x[i] *= g;
    }
    return x;
}

void plane_wave(float az, float el, float g[4])
{
    g[0] = 0.70710677f;
    g[1] = std::cos(az) * std::cos(el);
    g[2] = std::sin(az) * std::cos(el);
    g[3] = std::sin(el);
}

void cardioid(const float* const* b, const float u[3], float* out, int32_t specsize)
{
    for (int32_t k = 0; k < 2 * specsize; ++k)
        out[k] = 0.70710677f * b[0][k] + 0.5f * (u[0] * b[1][k] + u[1] * b[2][k] + u[2] * b[3][k]);
}

} // namespace oxtest
