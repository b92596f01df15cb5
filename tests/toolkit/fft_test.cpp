#include "ox_fft.h"
#include "ox_test_util.h"

// Owns an initialised FFT state for one set of frame parameters.
struct Fft
{
    ox_fft_setup s{};
    explicit Fft(int32_t hop, int32_t n, int32_t w)
    {
        const ox_fft_frameparams fp = {hop, n, w};
        EXPECT_EQ(ox_fft_alloc(&s, fp), 0);
        EXPECT_EQ(ox_fft_init(&s, fp, 1), 0);
    }
    ~Fft() { ox_fft_release(&s); }
    float w(int32_t i) const { return i < s.winlen / 2 ? s.window[i] : s.window[s.winlen - 1 - i]; }
};

// Forward against a naive DFT, inverse back to the input (scaled by 1/N).
TEST(Fft, MatchesNaiveDftAndInverts)
{
    for (int32_t n = 4; n <= 2048; n *= 2)
    {
        Fft f(n / 2, n, n);
        const std::vector<float> x = oxtest::gauss(size_t(n), uint32_t(n));
        const auto ref = oxtest::naive_dft(std::vector<double>(x.begin(), x.end()));
        std::vector<float> X(size_t(n), 0.0f);
        ox_fft(x.data(), X.data(), n, f.s.twiddle, f.s.bitrev);

        const double tol =
            3e-7 * std::log2(double(n)) * oxtest::rms(x.data(), x.size()) * std::sqrt(double(n));
        // Pair 0 holds DC and half the rate, pair k bin k.
        for (int32_t k = 0; k < n / 2; ++k)
        {
            const std::complex<double> want =
                k ? ref[size_t(k)] : std::complex<double>(ref[0].real(), ref[size_t(n / 2)].real());
            ASSERT_LT(std::abs(std::complex<double>(X[2 * k], X[2 * k + 1]) - want), tol)
                << "n=" << n << " k=" << k;
        }

        std::vector<float> y(size_t(n), 0.0f);
        ox_ifft(X.data(), y.data(), n, f.s.twiddle, f.s.bitrev);
        for (int32_t i = 0; i < n; ++i)
            ASSERT_NEAR(y[size_t(i)], x[size_t(i)], 2e-6 * std::log2(double(n)));
    }
}

TEST(Fft, RefusesFrameParametersOutsideTheTables)
{
    const ox_fft_frameparams bad[] = {{3, 8, 2},  {2, 8, 5}, {1, 2, 2},  {4, 12, 8},
                                      {4, 8, 16}, {0, 8, 8}, {-4, 8, 8}, {4, -8, 8}};
    ox_fft_setup s{};
    for (const auto& fp : bad)
        EXPECT_TRUE(ox_fft_alloc(&s, fp) == -1 && s.twiddle == nullptr &&
                    ox_fft_init(&s, fp, 1) == -1 && s.fftsize == 0)
            << fp.hop << " " << fp.fftsize << " " << fp.window;
    // No setup, or init without tables: refused instead of writing through null.
    EXPECT_TRUE(ox_fft_alloc(nullptr, ox_fft_frameparams{4, 8, 8}) == -1 &&
                ox_fft_init(&s, ox_fft_frameparams{4, 8, 8}, 1) == -2);

    // Transforms of invalid sizes leave the output alone.
    Fft f(4, 8, 8);
    std::vector<float> x(8, 1.0f), y(8, 7.0f);
    ox_fft(x.data(), y.data(), 6, f.s.twiddle, f.s.bitrev);
    ox_ifft(x.data(), y.data(), 2, f.s.twiddle, f.s.bitrev);
    // A setup that was never initialised is refused, not read through null.
    ox_stfft(x.data(), y.data(), x.data(), ox_fft_setup{});
    ox_istfft(x.data(), y.data(), x.data(), ox_fft_setup{});
    EXPECT_EQ(y, std::vector<float>(8, 7.0f));
    ox_fft_release(nullptr);
}

// The squared windows sum to one at their hop (W = 2H, 3H, 4H; flat top; W = H): the input
// comes back delayed by the overlap. The frame is centred in the transform.
TEST(Fft, AnalysisSynthesisReproducesNoiseDelayedByOverlap)
{
    const int32_t cases[][3] = {
        {480, 1024, 960}, {32, 128, 96}, {16, 64, 64}, {24, 64, 40}, {8, 16, 8}};
    for (const auto& c : cases)
    {
        const int32_t h = c[0], n = c[1], w = c[2];
        Fft f(h, n, w);
        const int32_t frames = 12, len = frames * h;
        const std::vector<float> x = oxtest::noise(size_t(len), 7u);
        std::vector<float> hist(size_t(w), 0.0f), ola(size_t(w), 0.0f);
        std::vector<float> spectrum(size_t(n), 0.0f), work(size_t(n), 0.0f), y(size_t(len), 0.0f);
        for (int32_t fr = 0; fr < frames; ++fr)
        {
            std::copy(hist.begin() + h, hist.end(), hist.begin());
            std::copy(x.begin() + fr * h, x.begin() + (fr + 1) * h, hist.end() - h);
            ox_stfft(hist.data(), spectrum.data(), work.data(), f.s);
            ox_istfft(spectrum.data(), ola.data(), work.data(), f.s);
            std::copy(ola.begin(), ola.begin() + h, y.begin() + fr * h);
            std::copy(ola.begin() + h, ola.end(), ola.begin());
        }
        for (int32_t t = w; t < len; ++t) // delayed by the overlap W − H
            ASSERT_NEAR(y[size_t(t)], x[size_t(t - w + h)], 2e-6) << "H=" << h << " t=" << t;
    }
    Fft flat(24, 64, 40);
    for (int32_t i = 15; i < 24; ++i) EXPECT_EQ(flat.w(i) == 1.0f, i > 15) << i;
    // The frame's middle lands at (N − W)/2 + W/2: the linear phase of that position.
    Fft f(16, 128, 32);
    std::vector<float> frame(32, 0.0f), spectrum(128, 0.0f), work(128, 0.0f);
    frame[16] = 1.0f;
    ox_stfft(frame.data(), spectrum.data(), work.data(), f.s);
    const double pos = (128 - 32) / 2 + 16, a = f.w(16);
    for (int32_t k = 1; k < 64; ++k)
        EXPECT_LT(std::abs(std::complex<double>(spectrum[2 * k], spectrum[2 * k + 1]) -
                           std::polar(a, -2 * M_PI * k * pos / 128)),
                  1e-5);
}
