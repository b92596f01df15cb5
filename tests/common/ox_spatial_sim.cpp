#include "ox_spatial_sim.h"

#include "ox_fft.h"
#include "ox_perc.h"

namespace oxtest
{

BandTable::BandTable(int32_t fftsize, float fs) : edges(64), weights(64)
{
    ox_perc_makepercbands(fftsize, 64, &count, edges.data(), weights.data(), 1, fs, 1.0f, 0.0f);
    edges.resize(size_t(count));
    weights.resize(size_t(count));
}

const double kCapsuleAxis[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};

std::vector<std::vector<float>> hop_spectra(const std::vector<float>& x)
{
    const ox_fft_frameparams fp = {kHop, kFft, 2 * kHop};
    ox_fft_setup fft{};
    ox_fft_alloc(&fft, fp);
    ox_fft_init(&fft, fp, 1);
    std::vector<float> history(2 * kHop, 0.0f), work(kFft);
    std::vector<std::vector<float>> out(x.size() / kHop, std::vector<float>(kFft));
    for (size_t f = 0; f < out.size(); ++f)
    {
        std::copy_n(history.begin() + kHop, kHop, history.begin());
        std::copy_n(x.begin() + long(f * kHop), kHop, history.begin() + kHop);
        ox_stfft(history.data(), out[f].data(), work.data(), fft);
    }
    ox_fft_release(&fft);
    return out;
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

std::vector<BFrame> field_frames(int frames, const std::vector<std::array<float, 2>>& dirs,
                                 float diffuse, uint32_t seed)
{
    BFrame silent;
    silent.fill(std::vector<float>(kFft, 0.0f));
    std::vector<BFrame> out(static_cast<size_t>(frames), silent);
    const size_t len = size_t(frames) * size_t(kHop), waves = dirs.size();
    const float gd[4] = {0.70710677f, 0.57735027f, 0.57735027f, 0.57735027f};
    // Bursts for the waves, then steady noise of its own on each channel of the diffuse field.
    for (size_t i = 0; i < waves + (diffuse > 0.0f ? 4 : 0); ++i)
    {
        const bool wave = i < waves;
        float g[4];
        if (wave) plane_wave(dirs[i][0], dirs[i][1], g);
        for (int c = 0; c < 4 && !wave; ++c) g[c] = c == int(i - waves) ? diffuse * gd[c] : 0.0f;
        const uint32_t sd = seed + uint32_t(i);
        const auto S = hop_spectra(wave ? bursts(len, sd, size_t(10 * kHop)) : gauss(len, sd));
        for (size_t f = 0; f < S.size(); ++f)
            for (int c = 0; c < 4; ++c)
                for (int32_t k = 0; k < kFft; ++k) out[f][c][size_t(k)] += g[c] * S[f][size_t(k)];
    }
    return out;
}

std::vector<std::complex<double>> BurstSource::next(int32_t specsize)
{
    if (left <= 0)
    {
        on = !on;
        left = on ? 20 + int(rng() % 30) : 3 + int(rng() % 8);
        level = std::pow(10.0, -double(rng() % 30) / 20.0);
    }
    --left;
    std::vector<std::complex<double>> s(size_t(specsize), 0.0);
    if (!on) return s;
    for (int32_t k = 0; k < specsize; ++k)
        s[size_t(k)] = level * std::complex<double>(gauss(rng), k ? gauss(rng) : 0.0);
    return s;
}

void pack(const std::vector<std::complex<double>>& s, float* out)
{
    for (size_t k = 0; k < s.size(); ++k)
    {
        out[2 * k] = float(s[k].real());
        out[2 * k + 1] = float(s[k].imag());
    }
    out[1] = 0.0f;
}

void direction(double az_deg, double el_deg, double d[3])
{
    const double az = az_deg * M_PI / 180.0, el = el_deg * M_PI / 180.0;
    d[0] = std::cos(el) * std::cos(az);
    d[1] = std::cos(el) * std::sin(az);
    d[2] = std::sin(el);
}

void plane_wave(float az, float el, float g[4])
{
    double d[3];
    direction(az, el, d);
    g[0] = 0.70710677f;
    for (int i = 0; i < 3; ++i) g[i + 1] = float(d[i]);
}

void cardioid(const float* const* b, const float u[3], float* out, int32_t specsize)
{
    for (int32_t k = 0; k < 2 * specsize; ++k)
        out[k] = 0.70710677f * b[0][k] + 0.5f * (u[0] * b[1][k] + u[1] * b[2][k] + u[2] * b[3][k]);
}

} // namespace oxtest
