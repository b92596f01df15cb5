#include "ox_perc.h"
#include "ox_test_util.h"
#include "ox_test_energy.h"

#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <vector>

namespace
{

struct Bands
{
    int32_t n = 0, count = -1, rc = 0;
    std::vector<int32_t> edges = std::vector<int32_t>(64, 0);
    std::vector<float> weights = std::vector<float>(64, 0.0f);
    Bands(int32_t fft, float fs, int32_t maxbands = 64) : n(fft)
    {
        rc = ox_perc_makepercbands(fft, maxbands, &count, edges.data(), weights.data(), 1, fs, 1.0f,
                                   0.0f);
    }
};

} // namespace

TEST(Perc, BandTablesAtTheDecoderRates)
{
    Bands b48(1024, 48000.0f);
    ASSERT_EQ(b48.rc, 0);
    const std::vector<int32_t> expect = {1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  12,
                                         14,  16,  18,  20,  23,  26,  29,  33,  38,  43,  48,
                                         54,  60,  68,  76,  85,  95,  106, 119, 133, 148, 166,
                                         185, 207, 230, 257, 287, 320, 357, 398, 444, 494, 512};
    ASSERT_EQ(b48.count, 44);
    EXPECT_EQ(std::vector<int32_t>(b48.edges.begin(), b48.edges.begin() + 44), expect);

    const struct
    {
        int32_t n;
        float fs;
        int32_t count;
    } rates[] = {{1024, 44100.0f, 43}, {2048, 96000.0f, 50}, {4096, 192000.0f, 57}};
    for (const auto& r : rates)
    {
        Bands b(r.n, r.fs);
        ASSERT_EQ(b.rc, 0);
        EXPECT_EQ(b.count, r.count) << r.fs;
        EXPECT_EQ(b.edges[size_t(b.count - 1)], r.n / 2);
        // Widths never shrink, except the last band cut at N/2.
        for (int32_t j = 2; j < b.count - 1; ++j)
            EXPECT_GE(b.edges[size_t(j)] - b.edges[size_t(j - 1)],
                      b.edges[size_t(j - 1)] - b.edges[size_t(j - 2)]);
    }

    // Weights of the 48 kHz table: the run of one-bin bands has 1, then the
    // reciprocal distance of neighbouring centres.
    for (int32_t j = 0; j < 10; ++j) EXPECT_EQ(b48.weights[size_t(j)], 1.0f);
    EXPECT_EQ(b48.weights[10], 1.0f);         // centre 11, previous 10
    EXPECT_EQ(b48.weights[11], 0.5f);         // centre 13
    EXPECT_EQ(b48.weights[43], 1.0f / 34.0f); // centres 469 and 503
}

TEST(Perc, MakeBandsRefusesBadSettings)
{
    Bands few(1024, 48000.0f, 40);
    EXPECT_EQ(few.rc, -4);
    EXPECT_EQ(few.count, -1); // not stored

    int32_t count = -1;
    std::vector<int32_t> e(64);
    std::vector<float> w(64);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float fs : {0.0f, -48000.0f, nan, inf})
        EXPECT_EQ(ox_perc_makepercbands(1024, 64, &count, e.data(), w.data(), 1, fs, 1.0f, 0.0f),
                  -3);
    for (float step : {0.0f, nan, inf})
        EXPECT_EQ(
            ox_perc_makepercbands(1024, 64, &count, e.data(), w.data(), 1, 48000.0f, step, 0.0f),
            -3);
    EXPECT_EQ(ox_perc_makepercbands(1024, 64, nullptr, e.data(), w.data(), 1, 48000.f, 1.f, 0.f),
              -3);
    EXPECT_EQ(count, -1);

    // Targets beyond every bin (huge step or minimum width) end in one band.
    EXPECT_EQ(ox_perc_makepercbands(1024, 64, &count, e.data(), w.data(), 1, 48000.0f, 1e6f, 0.0f),
              0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(e[0], 512);
    EXPECT_EQ(
        ox_perc_makepercbands(1024, 64, &count, e.data(), w.data(), 1 << 30, 48000.0f, 1.0f, 0.0f),
        0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(ox_perc_makepercbands(1, 64, &count, e.data(), w.data(), 1, 48000.0f, 1.0f, 0.0f), 0);
    EXPECT_EQ(count, 0);
}

TEST(Perc, ScalingWithFlatGains)
{
    Bands b(1024, 48000.0f);
    const std::vector<float> spectrum = oxtest::gauss(1024, 3);
    std::vector<float> out(1024), ones(44, 1.0f), g(44, 0.5f), c(88), eq(44, 1.0f);

    ox_perc_scalebands(out.data(), spectrum.data(), ones.data(), b.count, b.edges.data(),
                       b.weights.data());
    EXPECT_EQ(out, spectrum);

    ox_perc_scalebands(out.data(), spectrum.data(), g.data(), b.count, b.edges.data(),
                       b.weights.data());
    EXPECT_NEAR(oxtest::energy(out), 0.25 * oxtest::energy(spectrum),
                1e-6 * oxtest::energy(spectrum));

    // A unit phasor keeps the energy of every bin but pair 0, whose two real
    // values take only its real part.
    const float th = 0.7f;
    for (int32_t j = 0; j < 44; ++j)
    {
        c[size_t(2 * j)] = std::cos(th);
        c[size_t(2 * j + 1)] = std::sin(th);
    }
    std::vector<float> inplace = spectrum;
    ox_perc_scalebands_cplx(inplace.data(), inplace.data(), c.data(), b.count, b.edges.data(),
                            b.weights.data());
    EXPECT_FLOAT_EQ(inplace[0], spectrum[0] * std::cos(th));
    EXPECT_FLOAT_EQ(inplace[1], spectrum[1] * std::cos(th));
    for (int32_t k = 1; k < 512; ++k)
    {
        const std::complex<float> x(spectrum[size_t(2 * k)], spectrum[size_t(2 * k + 1)]);
        const std::complex<float> y = x * std::complex<float>(std::cos(th), std::sin(th));
        EXPECT_NEAR(inplace[size_t(2 * k)], y.real(), 1e-5) << k;
        EXPECT_NEAR(inplace[size_t(2 * k + 1)], y.imag(), 1e-5) << k;
    }

    std::vector<float> out_eq(1024);
    ox_perc_scalebands_cplx_eq(out_eq.data(), spectrum.data(), c.data(), eq.data(), b.count,
                               b.edges.data(), b.weights.data());
    EXPECT_EQ(out_eq, inplace);
}

TEST(Perc, GainStepBecomesRampBetweenCentres)
{
    Bands b(1024, 48000.0f);
    // Bands 0..19 at gain 1, 20.. at gain 2. Centre of band 19 (33..37) is 35,
    // of band 20 (38..42) is 40: bins 35..39 ramp to 2, reaching it one bin
    // before the new centre.
    std::vector<float> g(44, 1.0f), spectrum(1024, 1.0f), out(1024), c(88, 0.0f), eq(44, 1.0f);
    for (int32_t j = 20; j < 44; ++j) g[size_t(j)] = 2.0f;
    auto expected = [](int32_t k) {
        if (k < 35) return 1.0f;
        if (k < 40) return 1.0f + 0.2f * float(k - 34);
        return 2.0f;
    };
    ox_perc_scalebands(out.data(), spectrum.data(), g.data(), b.count, b.edges.data(),
                       b.weights.data());
    for (int32_t k = 1; k < 512; ++k)
    {
        EXPECT_FLOAT_EQ(out[size_t(2 * k)], expected(k)) << k;
        EXPECT_FLOAT_EQ(out[size_t(2 * k + 1)], expected(k)) << k;
    }
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 2.0f);

    // The eq variant interpolates eq·gain: the same step made of eq factors,
    // on a purely imaginary gain.
    for (int32_t j = 0; j < 44; ++j)
    {
        c[size_t(2 * j + 1)] = 1.0f;
        eq[size_t(j)] = g[size_t(j)];
    }
    ox_perc_scalebands_cplx_eq(out.data(), spectrum.data(), c.data(), eq.data(), b.count,
                               b.edges.data(), b.weights.data());
    for (int32_t k = 1; k < 512; ++k)
    {
        EXPECT_FLOAT_EQ(out[size_t(2 * k)], -expected(k)) << k;
        EXPECT_FLOAT_EQ(out[size_t(2 * k + 1)], expected(k)) << k;
    }
    EXPECT_EQ(out[0], 0.0f); // Re(gain) only, never a complex product
    EXPECT_EQ(out[1], 0.0f);
}

TEST(Perc, LowBinsBelowTheFirstRamp)
{
    // Band j has gain 1 + j. At 48 kHz and N = 1024 bands 0..9 are one bin
    // each (edges 1..10): bin k takes gain 1 + k exactly, and the ramp into
    // band 10 (bins 10, 11, centre 11) starts at edge 10 and reaches 11 there.
    std::vector<float> g(64), ones(1024, 1.0f), out(1024, 0.0f);
    for (int32_t j = 0; j < 64; ++j) g[size_t(j)] = 1.0f + float(j);
    Bands run(1024, 48000.0f);
    ox_perc_scalebands(out.data(), ones.data(), g.data(), run.count, run.edges.data(),
                       run.weights.data());
    for (int32_t k = 1; k <= 10; ++k)
    {
        EXPECT_EQ(out[size_t(2 * k)], 1.0f + float(k)) << k;
        EXPECT_EQ(out[size_t(2 * k + 1)], 1.0f + float(k)) << k;
    }

    // Bands at least four bins wide (edges 4, 8, 12, ...): bin 1 lies below
    // band 0's centre 2 and takes its gain; bins 2..5 ramp to band 1's gain,
    // reached one bin before its centre 6, and bins 6..9 on to band 2's.
    int32_t nb = 0;
    std::vector<int32_t> e(64);
    std::vector<float> w(64);
    ASSERT_EQ(ox_perc_makepercbands(1024, 64, &nb, e.data(), w.data(), 4, 48000.0f, 1.0f, 0.0f), 0);
    ASSERT_EQ(e[0], 4);
    ASSERT_EQ(e[1], 8);
    ASSERT_EQ(e[2], 12);
    out.assign(1024, 0.0f);
    ox_perc_scalebands(out.data(), ones.data(), g.data(), nb, e.data(), w.data());
    const float expect[] = {1.0f, 1.25f, 1.5f, 1.75f, 2.0f, 2.25f, 2.5f, 2.75f, 3.0f};
    for (int32_t k = 1; k <= 9; ++k)
    {
        EXPECT_FLOAT_EQ(out[size_t(2 * k)], expect[k - 1]) << k;
        EXPECT_FLOAT_EQ(out[size_t(2 * k + 1)], expect[k - 1]) << k;
    }
}

TEST(Perc, FrequencyLookups)
{
    Bands b(1024, 48000.0f);
    EXPECT_EQ(ox_perc_freq2band(1024, b.count, b.edges.data(), 0.0f, 48000.0f), 0);
    EXPECT_EQ(ox_perc_freq2band(1024, b.count, b.edges.data(), 1000.0f, 48000.0f), 15); // bin 21.3
    EXPECT_EQ(ox_perc_freq2band(1024, b.count, b.edges.data(), 24000.0f, 48000.0f), 43);
    EXPECT_EQ(ox_perc_freq2band(1024, b.count, b.edges.data(), 30000.0f, 48000.0f), 44);
    EXPECT_EQ(ox_perc_freq2band(1024, 0, b.edges.data(), 1000.0f, 48000.0f), 0);
    EXPECT_EQ(ox_perc_freq2bin(1024, 1000.0f, 48000.0f), 21);
    EXPECT_EQ(ox_perc_freq2bin(1024, 1000.0f, 0.0f), 0);

    const int32_t edges[] = {1, 3, 6};
    const float vals[] = {10.0f, 20.0f, 30.0f};
    std::vector<float> bins(7, 0.0f);
    ox_perc_parts2bins(bins.data(), vals, 3, edges);
    EXPECT_EQ(bins, (std::vector<float>{10, 20, 20, 30, 30, 30, 30}));
}

TEST(Perc, Smoothing)
{
    // Valley smoothing only fills dips, from the values before the call.
    std::vector<float> x = {4, 0, 4, 4, 4, 8, 4};
    ox_perc_freqsmooth(x.data(), 7);
    EXPECT_EQ(x, (std::vector<float>{2, 0, 3, 4, 4, 4, 4}));
    std::vector<float> three = {1, 9, 3};
    ox_perc_freqsmooth(three.data(), 3);
    EXPECT_EQ(three, (std::vector<float>{1, 2, 3}));
    std::vector<float> two = {5, 1};
    ox_perc_freqsmooth(two.data(), 2);
    EXPECT_EQ(two, (std::vector<float>{5, 1}));

    // Octave smoothing: constants stay, bins average over their octave.
    std::vector<float> tmp(8), c(8, 3.0f);
    ox_perc_octave_smoothing(c.data(), tmp.data(), 8, 1.0f, 1.0f);
    for (float v : c) EXPECT_FLOAT_EQ(v, 3.0f);
    std::vector<float> y = {0, 0, 0, 0, 0, 0, 0, 8};
    ox_perc_octave_smoothing(y.data(), tmp.data(), 8, 1.0f, 0.0f);
    // Bin 5 (k = 6) averages bins 4..7, bin 7 (k = 8) bins 5..7.
    EXPECT_FLOAT_EQ(y[5], 2.0f);
    EXPECT_FLOAT_EQ(y[7], 8.0f / 3.0f);
    EXPECT_FLOAT_EQ(y[2], 0.0f);

    const std::vector<float> ref = {1, 5, 2, 7};
    for (float width : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(), 1e-12f})
    {
        std::vector<float> z = ref;
        ox_perc_octave_smoothing(z.data(), tmp.data(), 4, width, 0.0f);
        EXPECT_EQ(z, ref) << width;
    }
    std::vector<float> z = ref;
    ox_perc_octave_smoothing(z.data(), tmp.data(), 4, 1.0f, 2.0f);
    EXPECT_EQ(z, ref);
    ox_perc_octave_smoothing(z.data(), tmp.data(), 4, 200.0f, 0.0f); // wider than everything
    for (float v : z) EXPECT_FLOAT_EQ(v, 3.75f);
}

TEST(Perc, PairEqualsTwoScalingsAndTheirSum)
{
    // Random spectra and gains on a table with leading one-bin bands and on
    // one with wide bands: the pair is exactly the sum of the two scalings,
    // also when it overwrites either input.
    std::vector<int32_t> wide(64);
    std::vector<float> wide_w(64);
    int32_t nwide = 0;
    ASSERT_EQ(ox_perc_makepercbands(1024, 64, &nwide, wide.data(), wide_w.data(), 4, 48000.0f, 1.0f,
                                    0.0f),
              0);
    Bands narrow(1024, 48000.0f);
    const struct
    {
        int32_t count;
        const int32_t* edges;
        const float* weights;
    } tables[] = {{narrow.count, narrow.edges.data(), narrow.weights.data()},
                  {nwide, wide.data(), wide_w.data()}};
    const std::vector<float> a = oxtest::noise(1024, 3), b = oxtest::noise(1024, 4);
    for (const auto& t : tables)
    {
        const std::vector<float> ga = oxtest::noise(size_t(t.count), 5),
                                 gb = oxtest::noise(size_t(t.count), 6);
        std::vector<float> sa(1024), sb(1024), want(1024), out(1024);
        ox_perc_scalebands(sa.data(), a.data(), ga.data(), t.count, t.edges, t.weights);
        ox_perc_scalebands(sb.data(), b.data(), gb.data(), t.count, t.edges, t.weights);
        for (size_t i = 0; i < want.size(); ++i) want[i] = sa[i] + sb[i];
        ox_perc_scalebands_pair(out.data(), a.data(), ga.data(), b.data(), gb.data(), t.count,
                                t.edges, t.weights);
        EXPECT_EQ(out, want);
        std::vector<float> ia = a, ib = b;
        ox_perc_scalebands_pair(ia.data(), ia.data(), ga.data(), b.data(), gb.data(), t.count,
                                t.edges, t.weights);
        EXPECT_EQ(ia, want);
        ox_perc_scalebands_pair(ib.data(), a.data(), ga.data(), ib.data(), gb.data(), t.count,
                                t.edges, t.weights);
        EXPECT_EQ(ib, want);
    }
}
