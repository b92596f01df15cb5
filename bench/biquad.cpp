// Biquad filtering over one 10 ms frame at 48 kHz (480 samples): direct form,
// strided (one channel of 16 interleaved), state-space form; and the cost of
// one peaking design (the binaural renderer redesigns ten per source update).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "ox_biquad.h"
#include "ox_biquad_statespace.h"

namespace
{

const int32_t kFrame = 480;

std::vector<float> noise(size_t n)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (float& x : v) x = d(rng);
    return v;
}

ox_biquad_coeffs peak()
{
    ox_biquad_coeffs c;
    ox_biquad_peaking(&c, 1000.0f, 6.0f, 1.5f, 48000.0f);
    return c;
}

void BM_BiquadFilter(benchmark::State& st)
{
    std::vector<float> x = noise(kFrame);
    const ox_biquad_coeffs c = peak();
    ox_biquad_state s = {0, 0, 0, 0};
    for (auto _ : st)
    {
        ox_biquad_filter(&s, x.data(), x.data(), kFrame, c);
        benchmark::DoNotOptimize(x.data());
    }
    st.SetItemsProcessed(int64_t(st.iterations()) * kFrame);
}
BENCHMARK(BM_BiquadFilter);

void BM_BiquadFilterStrided(benchmark::State& st)
{
    std::vector<float> x = noise(size_t(kFrame) * 16);
    const ox_biquad_coeffs c = peak();
    ox_biquad_state s = {0, 0, 0, 0};
    for (auto _ : st)
    {
        ox_biquad_filter_mch(&s, x.data() + 3, x.data() + 3, kFrame, 16, c);
        benchmark::DoNotOptimize(x.data());
    }
    st.SetItemsProcessed(int64_t(st.iterations()) * kFrame);
}
BENCHMARK(BM_BiquadFilterStrided);

void BM_BiquadFilterStateSpace(benchmark::State& st)
{
    std::vector<float> x = noise(kFrame);
    ox_biquad_ss ss;
    ox_biquad_sstransform(&ss, peak());
    ox_biquad_ssstate s = {0, 0};
    for (auto _ : st)
    {
        ox_biquad_filter_ss(&s, x.data(), x.data(), kFrame, ss);
        benchmark::DoNotOptimize(x.data());
    }
    st.SetItemsProcessed(int64_t(st.iterations()) * kFrame);
}
BENCHMARK(BM_BiquadFilterStateSpace);

void BM_BiquadDesignPeaking(benchmark::State& st)
{
    ox_biquad_coeffs c;
    float f = 1000.0f;
    for (auto _ : st)
    {
        ox_biquad_peaking(&c, f, 6.0f, 1.5f, 48000.0f);
        benchmark::DoNotOptimize(c);
        f = f < 10000.0f ? f * 1.01f : 1000.0f;
    }
}
BENCHMARK(BM_BiquadDesignPeaking);

} // namespace

BENCHMARK_MAIN();
