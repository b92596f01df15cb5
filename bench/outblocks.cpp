// One 10 ms frame at 48 kHz through each of the decoder's output blocks:
// compressor-limiter on 16 channels, third-order ambisonic encoder, and the
// five-beam spectral beam equaliser on a 1024-point spectrum.
#include "ox_beq.h"
#include "ox_complim.h"
#include "ox_hoa.h"
#include "ox_perc.h"

#include <benchmark/benchmark.h>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace
{

constexpr int kFrame = 480;

std::vector<std::vector<float>> noise(int channels, int n)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-2.0f, 2.0f);
    std::vector<std::vector<float>> x(channels, std::vector<float>(n));
    for (auto& c : x)
        for (float& v : c) v = u(rng);
    return x;
}

void BM_ComplimFrame16(benchmark::State& st)
{
    ox_complim_cfg cfg;
    ox_complim_params p;
    ox_complim_state s;
    ox_complim_default_cfg(&cfg);
    ox_complim_init(&p, &s, &cfg, 48000.0f);
    auto x = noise(16, kFrame);
    std::vector<float*> ptr;
    for (auto& c : x) ptr.push_back(c.data());
    for (auto _ : st)
    {
        ox_complim_process(&p, &s, ptr.data(), ptr.data(), kFrame, 0, 16,
                           OX_COMPLIM_COMPRESSOR | OX_COMPLIM_LIMITER | OX_COMPLIM_CLIP);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ComplimFrame16);

void BM_HoaFrameOrder3(benchmark::State& st)
{
    ox_hoa_cfg cfg;
    ox_hoa_params p;
    ox_hoa_state s;
    ox_hoa_default_cfg(&cfg);
    cfg.mode = OX_HOA_ACN;
    ox_hoa_init(&p, &s, &cfg, 20, kFrame, 3);
    auto src = noise(20, kFrame);
    auto x = src;
    std::vector<float*> ptr;
    for (auto& c : x) ptr.push_back(c.data());
    for (auto _ : st)
    {
        st.PauseTiming();
        for (int m = 0; m < 20; m++) std::copy(src[m].begin(), src[m].end(), x[m].begin());
        st.ResumeTiming();
        ox_hoa_process_frame(&p, &s, nullptr, ptr.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HoaFrameOrder3);

void BM_BeqFrameFiveBeams(benchmark::State& st)
{
    const int n = 1024;
    std::vector<int32_t> edges(64);
    std::vector<float> weights(64);
    int32_t nbands = 0;
    ox_perc_makepercbands(n, 64, &nbands, edges.data(), weights.data(), 1, 48000.0f, 1.0f, 0.0f);
    ox_beq_cfg cfg[5];
    for (int i = 0; i < 5; i++)
    {
        ox_beq_default_cfg(&cfg[i]);
        cfg[i].azimuth = 72.0f * i - 144.0f;
        cfg[i].eq[3] = 6.0f;
    }
    ox_beq_params p{};
    ox_beq_state s{};
    ox_beq_alloc(&p, &s, kFrame, n / 2, 5, nbands, edges.data(), 48000.0f);
    ox_beq_init(&p, &s, cfg, kFrame, n / 2, 5, nbands, edges.data(), 48000.0f);
    auto spectra = noise(4, n);
    const float* ptr[4] = {spectra[0].data(), spectra[1].data(), spectra[2].data(),
                           spectra[3].data()};
    for (auto _ : st)
    {
        ox_beq_process_frame(&p, &s, ptr);
        benchmark::ClobberMemory();
    }
    ox_beq_done(&p, &s);
}
BENCHMARK(BM_BeqFrameFiveBeams);

} // namespace

BENCHMARK_MAIN();
