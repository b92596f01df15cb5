// One frame of the A-format and mid-side converters at 48 kHz (hop 480,
// FFT size 1024, 44 perceptual bands), on noise spectra.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

#include "ox_a2b.h"
#include "ox_ms2b.h"
#include "ox_perc.h"

namespace
{

const int32_t kHop = 480;
const int32_t kBins = 512;
const float kFs = 48000.0f;

struct Frame
{
    int32_t nb = 0;
    int32_t edges[64] = {};
    float weights[64] = {};
    std::vector<float> orig[4], buf[4];
    float* in[4];
    Frame()
    {
        ox_perc_makepercbands(2 * kBins, 64, &nb, edges, weights, 1, kFs, 1.0f, 0.0f);
        std::mt19937 rng(1);
        std::normal_distribution<float> g(0.0f, 1.0f);
        for (int i = 0; i < 4; ++i)
        {
            orig[i].resize(2 * kBins);
            for (float& v : orig[i]) v = g(rng);
            buf[i] = orig[i];
            in[i] = buf[i].data();
        }
    }
    // Fresh input each frame (the blocks work in place); copying four
    // spectra is a small part of the time measured.
    void refill()
    {
        for (int i = 0; i < 4; ++i) std::copy(orig[i].begin(), orig[i].end(), buf[i].begin());
    }
};

void a2b_frame(benchmark::State& st, int32_t flags)
{
    Frame fr;
    ox_a2b_cfg cfg;
    ox_a2b_params p{};
    ox_a2b_state s{};
    ox_a2b_default_cfg(&cfg);
    cfg.flags = flags;
    ox_a2b_alloc(&p, &s, kHop, kBins, fr.nb, fr.edges, fr.weights, kFs);
    ox_a2b_init(&p, &s, &cfg, kHop, kBins, fr.nb, kFs, fr.edges, fr.weights);
    for (auto _ : st)
    {
        fr.refill();
        ox_a2b_process1_frame(&p, &s, fr.in);
        ox_a2b_process2_frame(&p, &s, fr.in);
        benchmark::DoNotOptimize(fr.buf[0].data());
    }
    ox_a2b_done(&p, &s);
}

void ms2b_frame(benchmark::State& st, int32_t mode)
{
    Frame fr;
    ox_ms2b_cfg cfg;
    ox_ms2b_params p{};
    ox_ms2b_state s{};
    ox_ms2b_default_cfg(&cfg);
    cfg.mode = mode;
    ox_ms2b_alloc(&p, &s, kHop, kBins, fr.nb, fr.edges, kFs);
    ox_ms2b_init(&p, &s, &cfg, kHop, kBins, fr.nb, fr.edges, kFs);
    for (auto _ : st)
    {
        fr.refill();
        ox_ms2b_process_frame(&p, &s, fr.in);
        benchmark::DoNotOptimize(fr.buf[0].data());
    }
    ox_ms2b_done(&p, &s);
}

// Default flags: aligned capsules, mean reference, adaptive smoothing.
void BM_A2B_Frame(benchmark::State& st)
{
    a2b_frame(st, 26);
}
// With the coherence scaling of the phases (one power per band and capsule).
void BM_A2B_FrameCoherence(benchmark::State& st)
{
    a2b_frame(st, 26 | OX_A2B_COHERENCE);
}
// Without the alignment: the reference statistics and the matrix only.
void BM_A2B_FrameMatrixOnly(benchmark::State& st)
{
    a2b_frame(st, OX_A2B_NO_ALIGN);
}
void BM_MS2B_Frame(benchmark::State& st)
{
    ms2b_frame(st, 0);
}
void BM_MS2B_FrameStats(benchmark::State& st)
{
    ms2b_frame(st, OX_MS2B_STATS);
}

BENCHMARK(BM_A2B_Frame);
BENCHMARK(BM_A2B_FrameCoherence);
BENCHMARK(BM_A2B_FrameMatrixOnly);
BENCHMARK(BM_MS2B_Frame);
BENCHMARK(BM_MS2B_FrameStats);

} // namespace

BENCHMARK_MAIN();
