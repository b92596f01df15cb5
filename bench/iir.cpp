// The IIR filters on the audio thread: one 480-sample block (10 ms at 48 kHz) through a
// cascade, a polynomial filter, a single section and the all-pass split, on noise.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "ox_iir.h"
#include "ox_iir_statespace.h"

namespace
{

const int kN = 480;
const float kFs = 48000.0f;

std::vector<float> noise()
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> v(kN);
    for (float& x : v) x = u(rng);
    return v;
}

void BM_FilterNf(benchmark::State& st)
{
    ox_iir_cfNf r;
    ox_iir_lplinkrileyf(&r, (unsigned)st.range(0), 120.0f, kFs);
    const std::vector<float> x = noise();
    std::vector<float> y(kN), mem(18, 0.0f);
    for (auto _ : st)
    {
        ox_iir_filterNf(mem.data(), x.data(), y.data(), kN, r);
        benchmark::DoNotOptimize(y.data());
    }
    st.SetItemsProcessed(st.iterations() * kN);
}
BENCHMARK(BM_FilterNf)->Arg(2)->Arg(4)->Arg(8);

void BM_FilterN(benchmark::State& st)
{
    ox_iir_cfN p;
    ox_iir_lpbutter(&p, (unsigned)st.range(0), 4000.0f, kFs);
    const std::vector<float> x = noise();
    std::vector<float> y(kN), mem(18, 0.0f);
    for (auto _ : st)
    {
        ox_iir_filterN(mem.data(), x.data(), y.data(), kN, p);
        benchmark::DoNotOptimize(y.data());
    }
    st.SetItemsProcessed(st.iterations() * kN);
}
BENCHMARK(BM_FilterN)->Arg(4)->Arg(9);

void BM_Filter1(benchmark::State& st)
{
    const ox_iir_cf1 c = {0.3f, 0.2f, -0.5f};
    const std::vector<float> x = noise();
    std::vector<float> y(kN), mem(2, 0.0f);
    for (auto _ : st)
    {
        ox_iir_filter1(mem.data(), x.data(), y.data(), kN, c);
        benchmark::DoNotOptimize(y.data());
    }
    st.SetItemsProcessed(st.iterations() * kN);
}
BENCHMARK(BM_Filter1);

void BM_CompOdd(benchmark::State& st)
{
    ox_iir_cfNf lp;
    ox_iir_lpbutterf(&lp, 5, 2000.0f, kFs);
    ox_iir_aprec r1, r2;
    ox_iir_apoddtransform(&r1, &r2, lp);
    const std::vector<float> x = noise();
    std::vector<float> a(kN), b(kN), s1(18, 0.0f), s2(18, 0.0f);
    for (auto _ : st)
    {
        ox_iir_compoddfilters(s1.data(), s2.data(), x.data(), a.data(), b.data(), kN, r1, r2);
        benchmark::DoNotOptimize(a.data());
    }
    st.SetItemsProcessed(st.iterations() * kN);
}
BENCHMARK(BM_CompOdd);

} // namespace

BENCHMARK_MAIN();
