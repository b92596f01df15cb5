// One 10 ms frame of the binaural renderer at 48 kHz with 12 sources (a 7.1.4
// layout), with and without the fractional-delay filters, and one parameter
// update of the same renderer.
#include "ox_hrtf.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

constexpr int kSources = 12;
constexpr int kFrame = 480;
constexpr float kAzimuth[kSources] = {-30, 30, 0, 0, -110, 110, -150, 150, -45, 45, -135, 135};
constexpr float kElevation[kSources] = {0, 0, 0, 0, 0, 0, 0, 0, 45, 45, 45, 45};

struct Renderer
{
    ox_hrtf_uparams u{};
    ox_hrtf_params p{};
    ox_hrtf_state s{};
    explicit Renderer(int fractional)
    {
        ox_hrtf_default_uparams(&u);
        u.sample_rate = 48000.0f;
        u.framesize = kFrame;
        u.num_sources = kSources;
        u.fractional_delay = fractional;
        u.mode = OX_HRTF_MODE_TONE;
        for (int j = 0; j < kSources; ++j)
        {
            u.azimuth[j] = kAzimuth[j];
            u.elevation[j] = kElevation[j];
            u.gain[j] = j < 4 ? -4.5f : -6.0f;
        }
        ox_hrtf_init(&p, &s, &u);
    }
    ~Renderer() { ox_hrtf_done(&p, &s); }
};

void BM_HrtfFrame(benchmark::State& state)
{
    auto r = std::make_unique<Renderer>((int)state.range(0));
    std::vector<float> src((size_t)kSources * kFrame), buf(src.size()), left(kFrame), right(kFrame);
    uint32_t seed = 1;
    for (float& v : src)
    {
        seed = seed * 1664525u + 1013904223u;
        v = (float)(seed >> 8) / 8388608.0f - 1.0f;
    }
    float* in[kSources];
    for (int j = 0; j < kSources; ++j) in[j] = buf.data() + (size_t)j * kFrame;
    float* out[2] = {left.data(), right.data()};
    for (auto _ : state)
    {
        // The equaliser works in place: start every frame from the same input.
        std::memcpy(buf.data(), src.data(), sizeof(float) * src.size());
        std::memset(left.data(), 0, sizeof(float) * kFrame);
        std::memset(right.data(), 0, sizeof(float) * kFrame);
        ox_hrtf_process(&r->p, &r->s, in, out);
        benchmark::DoNotOptimize(left.data());
        benchmark::DoNotOptimize(right.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrame);
}
BENCHMARK(BM_HrtfFrame)->ArgName("fractional")->Arg(0)->Arg(1);

void BM_HrtfUpdate(benchmark::State& state)
{
    auto r = std::make_unique<Renderer>(0);
    float turn = 0.0f;
    for (auto _ : state)
    {
        r->u.rotation = turn;
        turn += 1.0f;
        ox_hrtf_update(&r->u, &r->p, &r->s);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_HrtfUpdate);

} // namespace

BENCHMARK_MAIN();
