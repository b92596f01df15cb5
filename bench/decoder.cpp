// Whole decoder through ox_abdec_process_var: CPU time per second of audio, the worst single
// frame, the time of one ox_abdec_updateconfig, and the ratio of the decoder's frame time to the
// time FFTW needs for the same number of forward and inverse transforms (the floor of a design
// that transforms every input and every output channel each frame).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <vector>

#include "ox_abdec.h"

namespace
{

struct Case
{
    const char* name;
    int input;
    int output; // menu index
    int binaural;
};

const Case kCases[] = {
    {"A-format to 7.1 (ITU/SMPTE)", 0, 4, 0},
    {"A-format to 7.1+4H binaural", 0, 9, 1},
    {"A-format to 3rd Ambisonics", 0, 23, 0},
    {"B-format to Stereo", 1, 1, 0},
};

struct Bench
{
    ox_abdec_setup setup;
    ox_abdec_config config;
    ox_abdec_handle h = nullptr;
    std::vector<std::vector<float>> in, out;
    std::vector<const float*> ip;
    std::vector<float*> op;

    Bench(const Case& c, float fs)
    {
        ox_abdec_defaultconfig(&setup, &config);
        setup.input_format = c.input;
        setup.output_format = c.output;
        setup.binaural = c.binaural;
        setup.sample_rate = fs;
        setup.mic_spacing = 24.0f;
        setup.block_size = (int)(fs * 0.01f);
        ox_abdec_init(&h, &setup, &config);
        std::mt19937 rng(1);
        std::normal_distribution<float> g(0.0f, 0.1f);
        in.assign((size_t)setup.num_inputs, std::vector<float>((size_t)fs));
        for (auto& ch : in)
            for (float& v : ch) v = g(rng);
        out.assign((size_t)setup.num_outputs, std::vector<float>((size_t)fs));
        ip.resize(in.size());
        op.resize(out.size());
    }
    ~Bench() { ox_abdec_done(h); }

    // One second of audio in hop-sized blocks; returns the longest block in microseconds.
    double second()
    {
        const int hop = setup.hop, n = (int)in[0].size();
        double worst = 0.0;
        for (int pos = 0; pos + hop <= n; pos += hop)
        {
            for (size_t c = 0; c < in.size(); ++c) ip[c] = in[c].data() + pos;
            for (size_t c = 0; c < out.size(); ++c) op[c] = out[c].data() + pos;
            auto t0 = std::chrono::steady_clock::now();
            ox_abdec_process_var(h, hop, ip.data(), op.data());
            auto t1 = std::chrono::steady_clock::now();
            worst = std::max(worst, std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
        return worst;
    }
};

// Time of the FFTW transforms of one frame: one forward per analysed input, one inverse per
// synthesised output channel.
double fftw_frame_us(int fftsize, int forward, int inverse)
{
    float* x = fftwf_alloc_real((size_t)fftsize);
    fftwf_complex* y = fftwf_alloc_complex((size_t)fftsize / 2 + 1);
    fftwf_plan f = fftwf_plan_dft_r2c_1d(fftsize, x, y, FFTW_MEASURE);
    fftwf_plan b = fftwf_plan_dft_c2r_1d(fftsize, y, x, FFTW_MEASURE);
    std::fill(x, x + fftsize, 0.5f);
    const int reps = 2000;
    auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < reps; ++r)
    {
        for (int k = 0; k < forward; ++k) fftwf_execute(f);
        for (int k = 0; k < inverse; ++k) fftwf_execute(b);
    }
    auto t1 = std::chrono::steady_clock::now();
    fftwf_destroy_plan(f);
    fftwf_destroy_plan(b);
    fftwf_free(x);
    fftwf_free(y);
    return std::chrono::duration<double, std::micro>(t1 - t0).count() / reps;
}

void BM_Decode(benchmark::State& st)
{
    const Case& c = kCases[st.range(0)];
    const float fs = (float)st.range(1);
    Bench b(c, fs);
    st.SetLabel(c.name);
    double worst = 0.0, total_us = 0.0;
    int64_t seconds = 0;
    for (auto _ : st)
    {
        auto t0 = std::chrono::steady_clock::now();
        worst = std::max(worst, b.second());
        total_us += std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                        .count();
        ++seconds;
    }
    const ox_abdec_speakerlayout* L = ox_abdec_getlayout(c.output);
    int inverse = 0;
    const int nloop = (c.output == 22 || c.output == 23) ? L->num_speakers : L->num_channels;
    for (int i = 0; i < nloop; ++i) inverse += L->channel_map[i] >= 0 ? 1 : 0;
    const int forward = std::min(b.setup.num_inputs, 4);
    const double floor_us = fftw_frame_us(b.setup.fft_size, forward, inverse);
    const double frames = fs / (double)b.setup.hop;
    const double per_second_us = total_us / (double)std::max<int64_t>(seconds, 1);
    st.counters["ms_per_s_audio"] = per_second_us * 1e-3;
    st.counters["worst_frame_us"] = worst;
    st.counters["fftw_frame_us"] = floor_us;
    // Decoder time over FFTW's time for the same transforms, per second of audio.
    st.counters["floor_ratio"] = per_second_us / (frames * floor_us);
}

void BM_UpdateConfig(benchmark::State& st)
{
    Bench b(kCases[st.range(0)], 48000.0f);
    st.SetLabel(kCases[st.range(0)].name);
    int k = 0;
    for (auto _ : st)
    {
        b.config.rotation = (float)(k++ % 90);
        ox_abdec_updateconfig(b.h, &b.config);
    }
}

} // namespace

BENCHMARK(BM_Decode)
    ->ArgsProduct({{0, 1, 2, 3}, {48000, 96000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_UpdateConfig)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
