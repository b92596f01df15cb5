// One 10 ms frame of the time-domain equaliser on 16 channels at 48 kHz, each channel with a
// delay and a four-section cascade (the bass cross-over's high band plus a shelf).
#include "ox_peq.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

static void BM_PeqFrame16(benchmark::State& bs)
{
    const int channels = 16, hop = 480;
    ox_peq_header h{};
    std::vector<ox_peq_params> p(channels);
    std::unique_ptr<ox_peq_state[]> s(new ox_peq_state[channels]());
    ox_peq_init(&h, p.data(), s.get(), channels, 4, hop, 0, 48000.0f);
    for (int c = 0; c < channels; ++c)
    {
        ox_peq_update(&h, &p[c], &s[c], 0, ox_peq_section{21, 120.0f, 0.0f, 1.0f}, 0, 0.0f,
                      float(c));
        ox_peq_update(&h, &p[c], &s[c], 1, ox_peq_section{11, 8000.0f, -3.0f, 1.0f}, 0, 0.0f,
                      float(c));
        ox_peq_update(&h, &p[c], &s[c], 2, ox_peq_section{12, 2000.0f, 2.0f, 2.0f}, 0, 0.0f,
                      float(c));
        ox_peq_update(&h, &p[c], &s[c], 3, ox_peq_section{7, 30.0f, 0.0f, 1.0f}, 0, 0.0f, float(c));
    }
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<std::vector<float>> buf(channels, std::vector<float>(hop));
    std::vector<float*> ptr(channels);
    for (int c = 0; c < channels; ++c)
    {
        for (float& v : buf[c]) v = d(rng);
        ptr[c] = buf[c].data();
    }
    for (auto _ : bs)
    {
        ox_peq_processframe(&h, p.data(), s.get(), 0, ptr.data(), ptr.data());
        benchmark::DoNotOptimize(buf[0][0]);
    }
}
BENCHMARK(BM_PeqFrame16);

BENCHMARK_MAIN();
