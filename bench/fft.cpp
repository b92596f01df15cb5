// Times the toolkit's real FFT (forward and inverse) at N = 1024 and 2048
// beside FFTW's real transforms in the same binary, then prints the ratio of
// the times (ours / FFTW; below 2 is the target at N = 1024).
#include "ox_fft.h"

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace
{

struct OxTables
{
    ox_fft_setup s{};
    explicit OxTables(int32_t n)
    {
        const ox_fft_frameparams fp = {n / 2, n, n};
        if (ox_fft_alloc(&s, fp) != 0 || ox_fft_init(&s, fp, 1) != 0) std::abort();
    }
    ~OxTables() { ox_fft_release(&s); }
};

std::vector<float> signal(int32_t n)
{
    std::mt19937 rng{uint32_t(n)};
    std::uniform_real_distribution<float> d(-1.0f, 1.0f);
    std::vector<float> x(static_cast<size_t>(n));
    for (auto& v : x) v = d(rng);
    return x;
}

// ox_fft or ox_ifft: same signature, input only read.
typedef void (*OxTransform)(const float*, float*, int32_t, const float*, const int32_t*);

template <OxTransform F> void BM_ox(benchmark::State& st)
{
    const int32_t n = int32_t(st.range(0));
    OxTables t(n);
    const std::vector<float> x = signal(n);
    std::vector<float> y(static_cast<size_t>(n));
    for (auto _ : st)
    {
        F(x.data(), y.data(), n, t.s.twiddle, t.s.bitrev);
        benchmark::DoNotOptimize(y.data());
        benchmark::ClobberMemory();
    }
}

// FFTW's real transform of the same size, planned with FFTW_MEASURE.
void BM_fftw(benchmark::State& st, bool inverse)
{
    const int n = int(st.range(0));
    float* re = fftwf_alloc_real(size_t(n));
    fftwf_complex* c = fftwf_alloc_complex(size_t(n / 2 + 1));
    // The inverse keeps its input intact, as ox_ifft does: like for like.
    fftwf_plan p = inverse ? fftwf_plan_dft_c2r_1d(n, c, re, FFTW_MEASURE | FFTW_PRESERVE_INPUT)
                           : fftwf_plan_dft_r2c_1d(n, re, c, FFTW_MEASURE);
    const std::vector<float> x = signal(n + 2);
    if (inverse)
        std::copy(x.begin(), x.end(), reinterpret_cast<float*>(c));
    else
        std::copy(x.begin(), x.begin() + n, re);
    for (auto _ : st)
    {
        fftwf_execute(p);
        benchmark::DoNotOptimize(re);
        benchmark::DoNotOptimize(c);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(p);
    fftwf_free(re);
    fftwf_free(c);
}

BENCHMARK_TEMPLATE(BM_ox, ox_fft)->Name("BM_ox_fft")->Arg(1024)->Arg(2048);
BENCHMARK_CAPTURE(BM_fftw, r2c, false)->Name("BM_fftw_r2c")->Arg(1024)->Arg(2048);
BENCHMARK_TEMPLATE(BM_ox, ox_ifft)->Name("BM_ox_ifft")->Arg(1024)->Arg(2048);
BENCHMARK_CAPTURE(BM_fftw, c2r, true)->Name("BM_fftw_c2r")->Arg(1024)->Arg(2048);

// Console output as usual, plus the time per iteration of every run by name.
class RatioReporter : public benchmark::ConsoleReporter
{
  public:
    std::map<std::string, double> ns;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                ns[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    std::printf("\nratio (ox / FFTW, time per transform):\n");
    for (const char* n : {"1024", "2048"})
    {
        const auto ratio = [&](const char* ox, const char* fw) {
            const auto a = rep.ns.find(std::string(ox) + "/" + n);
            const auto b = rep.ns.find(std::string(fw) + "/" + n);
            if (a == rep.ns.end() || b == rep.ns.end() || b->second <= 0.0) return;
            std::printf("  %-10s N=%-5s %8.1f ns vs %8.1f ns  ratio %.2f\n", ox + 3, n, a->second,
                        b->second, a->second / b->second);
        };
        ratio("BM_ox_fft", "BM_fftw_r2c");
        ratio("BM_ox_ifft", "BM_fftw_c2r");
    }
    benchmark::Shutdown();
    return 0;
}
