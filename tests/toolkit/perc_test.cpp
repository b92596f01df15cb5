#include "ox_perc.h"
#include "ox_test_util.h"

using namespace oxtest;

struct Bands
{
    int32_t count = -1, rc = 0;
    std::vector<int32_t> edges = std::vector<int32_t>(64, 0);
    std::vector<float> weights = std::vector<float>(64, 0.0f);
    Bands(int32_t fft, float fs, int32_t maxbands = 64, int32_t minwidth = 1, float step = 1.0f)
    {
        rc = ox_perc_makepercbands(fft, maxbands, &count, edges.data(), weights.data(), minwidth,
                                   fs, step, 0.0f);
    }
    // A spectrum of 1024 floats scaled by the band gains g.
    std::vector<float> scale(const std::vector<float>& x, const std::vector<float>& g) const
    {
        std::vector<float> y(x.size());
        ox_perc_scalebands(y.data(), x.data(), g.data(), count, edges.data(), weights.data());
        return y;
    }
};

// Band counts at the decoder's rates, widths never shrinking but for the last band, cut at N/2.
// Refusals store no count; targets beyond every bin (huge step or width) end in one band.
TEST(Perc, BandTables)
{
    const int32_t rates[][3] = {
        {1024, 48000, 44}, {1024, 44100, 43}, {2048, 96000, 50}, {4096, 192000, 57}};
    for (const auto& r : rates) // fft size, rate, band count
    {
        Bands b(r[0], float(r[1]));
        ASSERT_TRUE(b.rc == 0 && b.count == r[2] && b.edges[b.count - 1] == r[0] / 2) << r[1];
        for (int32_t j = 2; j < b.count - 1; ++j)
            EXPECT_GE(b.edges[j] - b.edges[j - 1], b.edges[j - 1] - b.edges[j - 2]) << j;
    }
    // At 48 kHz the first ten bands are one bin wide, with weight 1.
    Bands b(1024, 48000.0f), few(1024, 48000.0f, 40);
    for (int32_t j = 0; j < 10; ++j) EXPECT_TRUE(b.edges[j] == j + 1 && b.weights[j] == 1.0f) << j;
    EXPECT_TRUE(b.weights[11] == 0.5f && b.weights[43] == 1.0f / 34.0f);
    EXPECT_TRUE(few.rc == -4 && few.count == -1);
    auto refused = [](const Bands& b) { return b.rc == -3 && b.count == -1; };
    for (float fs : {0.0f, -48000.0f, NAN, INFINITY}) EXPECT_TRUE(refused(Bands(1024, fs))) << fs;
    for (float step : {0.0f, NAN, INFINITY})
        EXPECT_TRUE(refused(Bands(1024, 48e3f, 64, 1, step))) << step;
    EXPECT_EQ(
        ox_perc_makepercbands(1024, 64, nullptr, b.edges.data(), b.weights.data(), 1, 48e3f, 1, 0),
        -3);
    const Bands far(1024, 48e3f, 64, 1, 1e6f), wide(1024, 48e3f, 64, 1 << 30), tiny(1, 48e3f);
    EXPECT_TRUE(far.rc == 0 && far.count == 1 && far.edges[0] == 512);
    EXPECT_TRUE(wide.rc == 0 && wide.count == 1 && tiny.rc == 0 && tiny.count == 0);
}

// Gains ramp from one band centre to one bin before the next, pair 0 taking the end bands'; the
// pair is exactly the sum of two scalings, also when it overwrites either input.
TEST(Perc, GainsRampBetweenBandCentres)
{
    const std::vector<float> ones(1024, 1.0f);
    // Bands 19 (bins 33..37) and 20 (38..42) ramp from 20 to 21 over bins 35..39.
    Bands b(1024, 48000.0f);
    std::vector<float> g(64), out;
    for (int32_t j = 0; j < 64; ++j) g[j] = 1.0f + float(j);
    out = b.scale(ones, g);
    for (int32_t k = 1; k <= 10; ++k) EXPECT_EQ(out[size_t(2 * k)], 1.0f + float(k)) << k;
    for (int32_t k = 35; k <= 39; ++k)
        EXPECT_FLOAT_EQ(out[size_t(2 * k + 1)], 20.0f + 0.2f * float(k - 34)) << k;
    EXPECT_TRUE(out[0] == 1.0f && out[1] == float(b.count));
    // Bands at least four bins wide (edges 4, 8, 12): bin 1 lies below band 0's centre 2.
    Bands wide(1024, 48000.0f, 64, 4);
    ASSERT_TRUE(wide.rc == 0 && wide.edges[0] == 4 && wide.edges[1] == 8 && wide.edges[2] == 12);
    const std::vector<float> w = wide.scale(ones, g);
    for (int32_t k = 1; k <= 9; ++k)
        EXPECT_FLOAT_EQ(w[size_t(2 * k)], k < 2 ? 1.0f : 1.0f + 0.25f * float(k - 1)) << k;
    // Complex gains: pair 0 takes the real part; eq factors scale them.
    const std::vector<float> x = gauss(1024, 3), x2 = noise(1024, 4);
    std::vector<float> c(128), y(1024), yeq(1024);
    for (int32_t j = 0; j < 64; ++j) c[2 * j] = std::cos(0.7f), c[2 * j + 1] = std::sin(0.7f);
    ox_perc_scalebands_cplx(y.data(), x.data(), c.data(), b.count, b.edges.data(),
                            b.weights.data());
    EXPECT_FLOAT_EQ(y[1], x[1] * std::cos(0.7f));
    for (int32_t k = 1; k < 512; ++k)
        ASSERT_LT(std::abs(std::complex<float>(y[2 * k], y[2 * k + 1]) -
                           std::complex<float>(x[2 * k], x[2 * k + 1]) * std::polar(1.0f, 0.7f)),
                  1.5e-5)
            << k;
    for (int32_t j = 0; j < 64; ++j) c[2 * j] = 0.0f, c[2 * j + 1] = 1.0f;
    ox_perc_scalebands_cplx_eq(yeq.data(), ones.data(), c.data(), g.data(), b.count, b.edges.data(),
                               b.weights.data());
    for (int32_t k = 1; k < 512; ++k)
        ASSERT_TRUE(yeq[2 * k] == -out[2 * k] && yeq[2 * k + 1] == out[2 * k + 1]) << k;
    EXPECT_TRUE(yeq[0] == 0.0f && yeq[1] == 0.0f); // Re(gain) only, never a complex product
    for (const Bands* t : {&b, &wide})
    {
        const std::vector<float> ga = noise(size_t(t->count), 5), gb = noise(size_t(t->count), 6);
        const std::vector<float> sa = t->scale(x, ga), sb = t->scale(x2, gb);
        std::vector<float> want(1024), sum(1024), ia = x, ib = x2;
        for (size_t i = 0; i < 1024; ++i) want[i] = sa[i] + sb[i];
        auto pair = [&](float* o, const float* p, const float* q) {
            ox_perc_scalebands_pair(o, p, ga.data(), q, gb.data(), t->count, t->edges.data(),
                                    t->weights.data());
        };
        pair(sum.data(), x.data(), x2.data()), pair(ia.data(), ia.data(), x2.data());
        pair(ib.data(), x.data(), ib.data());
        EXPECT_TRUE(sum == want && ia == want && ib == want) << t->count;
    }
}

TEST(Perc, LookupsAndSmoothing)
{
    Bands b(1024, 48000.0f);
    auto band = [&](float f, int32_t count) {
        return ox_perc_freq2band(1024, count, b.edges.data(), f, 48000.0f);
    };
    EXPECT_TRUE(band(0.0f, b.count) == 0 && band(1000.0f, b.count) == 15); // bin 21.3
    EXPECT_TRUE(band(24000.0f, b.count) == 43 && band(30000.0f, b.count) == 44 &&
                band(1000.0f, 0) == 0);
    EXPECT_TRUE(ox_perc_freq2bin(1024, 1000.0f, 48000.0f) == 21 &&
                ox_perc_freq2bin(1024, 1000.0f, 0.0f) == 0);
    const int32_t edges[] = {1, 3, 6};
    const float vals[] = {10.0f, 20.0f, 30.0f};
    std::vector<float> bins(7, 0.0f);
    ox_perc_parts2bins(bins.data(), vals, 3, edges);
    EXPECT_EQ(bins, (std::vector<float>{10, 20, 20, 30, 30, 30, 30}));
    // Valley smoothing only fills dips, from the values before the call.
    std::vector<float> x = {4, 0, 4, 4, 4, 8, 4}, three = {1, 9, 3}, two = {5, 1};
    for (auto* v : {&x, &three, &two}) ox_perc_freqsmooth(v->data(), int32_t(v->size()));
    EXPECT_TRUE(x == (std::vector<float>{2, 0, 3, 4, 4, 4, 4}) &&
                three == (std::vector<float>{1, 2, 3}) && two == (std::vector<float>{5, 1}));
    // Octave smoothing: bin 5 averages bins 4..7, bin 7 bins 5..7.
    std::vector<float> tmp(8), y = {0, 0, 0, 0, 0, 0, 0, 8};
    ox_perc_octave_smoothing(y.data(), tmp.data(), 8, 1.0f, 0.0f);
    EXPECT_TRUE(y[5] == 2.0f && y[2] == 0.0f && std::fabs(y[7] - 8.0f / 3.0f) < 1e-6f);
    // No width, or one below a bin, leaves the values; a huge one averages them all.
    const std::vector<float> ref = {1, 5, 2, 7};
    for (float width : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1e-12f, 1.0f, 200.0f})
    {
        std::vector<float> z = ref;
        ox_perc_octave_smoothing(z.data(), tmp.data(), 4, width, width == 1.0f ? 2.0f : 0.0f);
        EXPECT_EQ(z, width == 200.0f ? std::vector<float>(4, 3.75f) : ref) << width;
    }
}
