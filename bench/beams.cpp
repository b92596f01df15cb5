// One 48 kHz frame (hop 480, FFT 1024, 44 bands) of the beam processor, the
// direction histogram and the decorrelation filters, and a configuration
// update of the 20 beam processors of a full layout.
#include "ox_bf.h"
#include "ox_bhist.h"
#include "ox_decorr.h"
#include "ox_perc.h"

#include <benchmark/benchmark.h>
#include <random>
#include <vector>

namespace
{

const float kFs = 48000.0f;
const int32_t kHop = 480, kFft = 1024, kBins = 512;

struct Setup
{
    int32_t nb = 0;
    std::vector<int32_t> edges = std::vector<int32_t>(64);
    std::vector<float> weights = std::vector<float>(64);
    std::vector<float> spectra[4];
    Setup()
    {
        ox_perc_makepercbands(kFft, 64, &nb, edges.data(), weights.data(), 1, kFs, 1.0f, 0.0f);
        std::mt19937 rng(7);
        std::normal_distribution<float> d;
        for (auto& s : spectra)
        {
            s.resize(kFft);
            for (float& v : s) v = d(rng);
        }
    }
};

void BM_BeamFrame(benchmark::State& st)
{
    Setup su;
    ox_bf_cfg cfg;
    ox_bf_params p{};
    ox_bf_state s{};
    ox_bf_default_cfg(&cfg);
    ox_bf_alloc(&p, &s, kHop, kBins, su.nb, su.edges.data(), kFs);
    ox_bf_init(&p, &s, &cfg, kHop, kBins, su.nb, su.edges.data(), kFs);
    std::vector<float> sm(size_t(su.nb), 0.3f), coh(size_t(su.nb), 0.2f);
    const float* pair[2] = {su.spectra[0].data(), su.spectra[1].data()};
    for (auto _ : st)
    {
        ox_bf_process_frame(&p, &s, pair, sm.data(), coh.data(), 0.5f);
        benchmark::DoNotOptimize(s.weight1[10]);
    }
    ox_bf_done(&p, &s);
}
BENCHMARK(BM_BeamFrame);

void BM_HistogramFrame(benchmark::State& st)
{
    Setup su;
    ox_bhist_cfg cfg;
    ox_bhist_params p{};
    ox_bhist_state s{};
    ox_bhist_default_cfg(&cfg);
    ox_bhist_alloc(&p, &s, kHop, kBins, su.nb, su.edges.data(), kFs, 10.0f);
    ox_bhist_init(&p, &s, &cfg, kHop, kBins, su.nb, su.edges.data(), kFs);
    const float* in[4] = {su.spectra[0].data(), su.spectra[1].data(), su.spectra[2].data(),
                          su.spectra[3].data()};
    for (auto _ : st)
    {
        ox_bhist_process_frame(&p, &s, in);
        benchmark::DoNotOptimize(s.hist_h[5]);
    }
    ox_bhist_done(&p, &s);
}
BENCHMARK(BM_HistogramFrame);

void BM_DecorrelationFrame(benchmark::State& st)
{
    Setup su;
    ox_decorr_cfg cfg;
    ox_decorr_params p{};
    ox_decorr_state s{};
    ox_decorr_default_cfg(&cfg);
    cfg.mode = st.range(0);
    ox_decorr_alloc(&p, &s, kHop, kBins, su.nb, su.edges.data(), kFs);
    ox_decorr_init(&p, &s, &cfg);
    for (auto _ : st)
    {
        ox_decorr_filters(&p, &s, su.spectra[0].data());
        benchmark::DoNotOptimize(s.filter[3][4]);
    }
    ox_decorr_done(&p, &s);
}
BENCHMARK(BM_DecorrelationFrame)->Arg(0)->Arg(OX_DECORR_STATIONARY);

// Configuration update of 20 beams as the engine does it: the first beam
// brings the shared coherence table up to date, the others take it over.
// Arg 0: a knob move (spacing unchanged); arg 1: the spacing changes every
// time, so the table is rebuilt once per update.
void BM_ConfigUpdate20Beams(benchmark::State& st)
{
    Setup su;
    ox_bf_cfg cfg;
    ox_bf_default_cfg(&cfg);
    std::vector<ox_bf_params> p(20);
    std::vector<ox_bf_state> s(20);
    for (int i = 0; i < 20; ++i)
    {
        p[size_t(i)] = ox_bf_params{};
        s[size_t(i)] = ox_bf_state{};
        ox_bf_alloc(&p[size_t(i)], &s[size_t(i)], kHop, kBins, su.nb, su.edges.data(), kFs);
        ox_bf_init(&p[size_t(i)], &s[size_t(i)], &cfg, kHop, kBins, su.nb, su.edges.data(), kFs);
    }
    const bool respace = st.range(0) != 0;
    int n = 0;
    for (auto _ : st)
    {
        cfg.diffuse_mix = float(n % 7) - 3.0f;
        if (respace) cfg.spacing = (n & 1) ? 24.0f : 20.0f;
        ++n;
        ox_bf_update_cfg(&p[0], &cfg);
        for (size_t i = 1; i < 20; ++i) ox_bf_update_cfg_shared(&p[i], &cfg, &p[0]);
        benchmark::DoNotOptimize(p[19].band_coherence[3]);
    }
    for (size_t i = 0; i < 20; ++i) ox_bf_done(&p[i], &s[i]);
}
BENCHMARK(BM_ConfigUpdate20Beams)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
