#include "ox_biquad.h"
#include "ox_test_biquad.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <vector>

namespace
{

typedef std::complex<double> cd;
const double kPi = 3.14159265358979323846;

cd response(const ox_biquad_coeffs& c, double w)
{
    return oxtest::biquad_response(c, w);
}

double mag(const ox_biquad_coeffs& c, double f, double fs)
{
    return std::abs(response(c, 2 * kPi * f / fs));
}

double cascade_mag(const std::vector<ox_biquad_coeffs>& cs, double f, double fs)
{
    double m = 1.0;
    for (const auto& c : cs) m *= mag(c, f, fs);
    return m;
}

std::vector<double> impulse(const ox_biquad_coeffs& c, size_t n)
{
    std::vector<float> x(n, 0.0f);
    x[0] = 1.0f;
    const std::vector<float> h = oxtest::biquad_run(c, x);
    return std::vector<double>(h.begin(), h.end());
}

// Inside the stability triangle of the stored coefficients: both poles strictly
// inside the unit circle.
bool stable(const ox_biquad_coeffs& c)
{
    const double a1 = c.a1, a2 = c.a2;
    return std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) && std::isfinite(a1) &&
           std::isfinite(a2) && a2 < 1.0 && std::fabs(a1) < 1.0 + a2;
}

const float kRates[] = {11025.0f, 32000.0f, 48000.0f, 192000.0f};

} // namespace

// The magnitude, phase and group-delay routines against a naive DFT of the
// impulse response produced by the filter itself.
TEST(Biquad, ResponsesMatchDftOfImpulseResponse)
{
    const float fs = 48000.0f;
    std::vector<ox_biquad_coeffs> designs(5);
    ox_biquad_lpbutter2(&designs[0], 3000.0f, fs);
    ox_biquad_peaking(&designs[1], 5000.0f, 9.0f, 2.0f, fs);
    ox_biquad_hfshelving2(&designs[2], 8000.0f, -10.0f, fs);
    ox_biquad_bsbutter2A(&designs[3], 2000.0f, 9000.0f, fs);
    ox_biquad_resonator(&designs[4], 12000.0f, 6.0f, 1.5f, fs);
    const size_t n = 512;
    for (const auto& c : designs)
    {
        const std::vector<double> h = impulse(c, n);
        std::vector<double> nh(n);
        for (size_t i = 0; i < n; ++i) nh[i] = double(i) * h[i];
        const auto H = oxtest::naive_dft(h), NH = oxtest::naive_dft(nh);
        for (size_t k = 1; k < n / 2; k += 7)
        {
            const float f = float(double(k) * fs / double(n));
            EXPECT_NEAR(ox_biquad_freqresponse(c, fs, f), std::abs(H[k]),
                        1e-4 * (1 + std::abs(H[k])));
            const double ph = ox_biquad_phaseresponse(c, fs, f);
            EXPECT_LT(std::abs(std::polar(1.0, ph) - H[k] / std::abs(H[k])), 2e-4);
            // Group delay of a sequence: Re(DFT(n·h) / DFT(h)).
            const double gd = (NH[k] / H[k]).real();
            EXPECT_NEAR(ox_biquad_groupdelay(c, fs, f), gd, 2e-3 * (1 + std::fabs(gd)));
        }
    }
}

TEST(Biquad, ButterworthMatchesAnalyticMagnitude)
{
    for (float fs : kRates)
        for (double rel : {0.01, 0.1, 0.3, 0.45, 0.48})
        {
            const float fc = float(rel * fs);
            ox_biquad_coeffs s[2];
            std::vector<std::vector<ox_biquad_coeffs>> lp(5), hp(5);
            ox_biquad_lpbutter1(&s[0], fc, fs), lp[1] = {s[0]};
            ox_biquad_hpbutter1(&s[0], fc, fs), hp[1] = {s[0]};
            ox_biquad_lpbutter2(&s[0], fc, fs), lp[2] = {s[0]};
            ox_biquad_hpbutter2(&s[0], fc, fs), hp[2] = {s[0]};
            ox_biquad_lpbutter3A(&s[0], fc, fs), ox_biquad_lpbutter3B(&s[1], fc, fs);
            lp[3] = {s[0], s[1]};
            ox_biquad_hpbutter3A(&s[0], fc, fs), ox_biquad_hpbutter3B(&s[1], fc, fs);
            hp[3] = {s[0], s[1]};
            ox_biquad_lpbutter4A(&s[0], fc, fs), ox_biquad_lpbutter4B(&s[1], fc, fs);
            lp[4] = {s[0], s[1]};
            ox_biquad_hpbutter4A(&s[0], fc, fs), ox_biquad_hpbutter4B(&s[1], fc, fs);
            hp[4] = {s[0], s[1]};
            const double tc = std::tan(kPi * double(fc) / fs);
            for (int order = 1; order <= 4; ++order)
                for (double fr = 0.001; fr < 0.5; fr += 0.0123)
                {
                    const double x = std::pow(std::tan(kPi * fr) / tc, 2 * order);
                    const double f = fr * fs;
                    EXPECT_NEAR(cascade_mag(lp[order], f, fs), 1 / std::sqrt(1 + x), 2e-4)
                        << "lp N=" << order << " fs=" << fs << " fc=" << fc << " f=" << f;
                    EXPECT_NEAR(cascade_mag(hp[order], f, fs), 1 / std::sqrt(1 + 1 / x), 2e-4)
                        << "hp N=" << order << " fs=" << fs << " fc=" << fc << " f=" << f;
                }
        }
}

TEST(Biquad, BandPassAndStopMatchAnalyticMagnitude)
{
    for (float fs : {11025.0f, 48000.0f, 192000.0f})
    {
        const float f1 = 0.02f * fs, f2 = 0.11f * fs;
        const double t1 = std::tan(kPi * f1 / fs), t2 = std::tan(kPi * f2 / fs);
        ox_biquad_coeffs bp1, bs1, bpA, bpB, bsA, bsB;
        // Edges in the wrong order design the same band.
        ox_biquad_bpbutter1(&bp1, f2, f1, fs);
        ox_biquad_bsbutter1(&bs1, f1, f2, fs);
        ox_biquad_bpbutter2A(&bpA, f1, f2, fs), ox_biquad_bpbutter2B(&bpB, f1, f2, fs);
        ox_biquad_bsbutter2A(&bsA, f1, f2, fs), ox_biquad_bsbutter2B(&bsB, f1, f2, fs);
        for (double fr = 0.003; fr < 0.5; fr += 0.0071)
        {
            const double t = std::tan(kPi * fr), f = fr * fs;
            const double x = (t * t - t1 * t2) / ((t2 - t1) * t); // prototype frequency
            EXPECT_NEAR(mag(bp1, f, fs), 1 / std::sqrt(1 + x * x), 1e-4) << f;
            EXPECT_NEAR(mag(bs1, f, fs), 1 / std::sqrt(1 + 1 / (x * x)), 1e-4) << f;
            EXPECT_NEAR(cascade_mag({bpA, bpB}, f, fs), 1 / std::sqrt(1 + std::pow(x, 4)), 1e-4)
                << f;
            EXPECT_NEAR(cascade_mag({bsA, bsB}, f, fs), 1 / std::sqrt(1 + std::pow(x, -4)), 1e-4)
                << f;
        }
        EXPECT_TRUE(stable(bpA) && stable(bpB) && stable(bsA) && stable(bsB));
    }
}

TEST(Biquad, LinkwitzRileyPairsSumFlat)
{
    for (float fs : kRates)
        for (float fc : {80.0f, 1000.0f, 0.4f * fs})
        {
            ox_biquad_coeffs lp2, hp2, lpA, lpB, hpA, hpB;
            ox_biquad_lplinkriley2(&lp2, fc, fs), ox_biquad_hplinkriley2(&hp2, fc, fs);
            ox_biquad_lplinkriley4A(&lpA, fc, fs), ox_biquad_lplinkriley4B(&lpB, fc, fs);
            ox_biquad_hplinkriley4A(&hpA, fc, fs), ox_biquad_hplinkriley4B(&hpB, fc, fs);
            EXPECT_NEAR(mag(lp2, fc, fs), 0.5, 1e-4);
            EXPECT_NEAR(mag(lpA, fc, fs) * mag(lpB, fc, fs), 0.5, 1e-4);
            EXPECT_NEAR(mag(hpA, fc, fs) * mag(hpB, fc, fs), 0.5, 1e-4);
            for (double fr = 0.002; fr < 0.5; fr += 0.0097)
            {
                const double w = 2 * kPi * fr;
                // Second order sums flat with the high-pass inverted, fourth as it is.
                EXPECT_NEAR(std::abs(response(lp2, w) - response(hp2, w)), 1.0, 5e-4)
                    << fs << " " << fc << " " << fr;
                const cd lr4 =
                    response(lpA, w) * response(lpB, w) + response(hpA, w) * response(hpB, w);
                EXPECT_NEAR(std::abs(lr4), 1.0, 2e-4) << fs << " " << fc << " " << fr;
            }
        }
}

// Each shelf as a cascade of sections with its total gain at the shelf end.
namespace
{
struct Shelf
{
    const char* name;
    bool low;
    std::function<std::vector<ox_biquad_coeffs>(float f, float dB, float fs)> design;
};

std::vector<Shelf> shelves()
{
    typedef std::vector<ox_biquad_coeffs> V;
    return {
        {"lf1", true,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_lfshelving1(&v[0], f, g, fs);
             return v;
         }},
        {"hf1", false,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_hfshelving1(&v[0], f, g, fs);
             return v;
         }},
        {"lf2", true,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_lfshelving2(&v[0], f, g, fs);
             return v;
         }},
        {"hf2", false,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_hfshelving2(&v[0], f, g, fs);
             return v;
         }},
        {"lf2Q0.5", true,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_lfshelving2_Qfactor(&v[0], f, g, 0.5f, fs);
             return v;
         }},
        {"hf2Q2", false,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_hfshelving2_Qfactor(&v[0], f, g, 2.0f, fs);
             return v;
         }},
        {"lf2Q9", true,
         [](float f, float g, float fs) {
             V v(1);
             ox_biquad_lfshelving2_Qfactor(&v[0], f, g, 9.0f, fs);
             return v;
         }},
        {"lf3", true,
         [](float f, float g, float fs) {
             V v(2);
             ox_biquad_lfshelving3A(&v[0], f, g, fs);
             ox_biquad_lfshelving3B(&v[1], f, g, fs);
             return v;
         }},
        {"hf3", false,
         [](float f, float g, float fs) {
             V v(2);
             ox_biquad_hfshelving3A(&v[0], f, g, fs);
             ox_biquad_hfshelving3B(&v[1], f, g, fs);
             return v;
         }},
        {"lf4", true,
         [](float f, float g, float fs) {
             V v(2);
             ox_biquad_lfshelving4A(&v[0], f, g, fs);
             ox_biquad_lfshelving4B(&v[1], f, g, fs);
             return v;
         }},
        {"hf4", false,
         [](float f, float g, float fs) {
             V v(2);
             ox_biquad_hfshelving4A(&v[0], f, g, fs);
             ox_biquad_hfshelving4B(&v[1], f, g, fs);
             return v;
         }},
    };
}

cd cascade(const std::vector<ox_biquad_coeffs>& cs, double w)
{
    cd h = 1.0;
    for (const auto& c : cs) h *= response(c, w);
    return h;
}
} // namespace

TEST(Biquad, ShelvesReachTheirGainsAndCutsInvertBoosts)
{
    for (const Shelf& s : shelves())
        for (float fs : {11025.0f, 48000.0f, 192000.0f})
            for (float dB : {12.0f, -12.0f, -40.0f, 3.0f})
            {
                const float f = 0.05f * fs;
                const auto c = s.design(f, dB, fs);
                for (const auto& sec : c) ASSERT_TRUE(stable(sec)) << s.name;
                const double G = std::pow(10.0, dB / 20.0);
                const double dc = std::abs(cascade(c, 0.0)), ny = std::abs(cascade(c, kPi));
                EXPECT_NEAR(dc / (s.low ? G : 1.0), 1.0, 1e-4) << s.name << " " << fs << " " << dB;
                EXPECT_NEAR(ny / (s.low ? 1.0 : G), 1.0, 1e-4) << s.name << " " << fs << " " << dB;
                const auto inv = s.design(f, -dB, fs);
                for (double fr = 0.0; fr <= 0.5; fr += 0.013)
                    EXPECT_NEAR(std::abs(cascade(c, 2 * kPi * fr) * cascade(inv, 2 * kPi * fr)),
                                1.0, 3e-4)
                        << s.name << " " << fs << " " << dB << " " << fr;
            }
}

TEST(Biquad, QFactorShelvesStayFiniteForLowQ)
{
    // Below Q ≈ 3.35 the pole pair turns real (w² < 0).
    for (float Q : {0.0f, 0.1f, 0.5f, 1.0f, 3.0f, 3.35f, 3.4f, 10.0f})
    {
        ox_biquad_coeffs lo, hi;
        ox_biquad_lfshelving2_Qfactor(&lo, 500.0f, 6.0f, Q, 48000.0f);
        ox_biquad_hfshelving2_Qfactor(&hi, 5000.0f, -6.0f, Q, 48000.0f);
        ASSERT_TRUE(stable(lo) && stable(hi)) << Q;
        EXPECT_NEAR(std::abs(response(lo, 0.0)), 2.0, 0.01) << Q;
        EXPECT_NEAR(std::abs(response(hi, kPi)), 0.5, 0.01) << Q;
    }
}

TEST(Biquad, PeakingResonatorAndAllPasses)
{
    for (float fs : kRates)
        for (float Q : {0.3f, 0.7071f, 4.0f})
        {
            const float f = 0.1f * fs;
            const double w = 2 * kPi * f / fs;
            for (float dB : {9.0f, -9.0f, -30.0f})
            {
                ox_biquad_coeffs p, inv, r;
                ox_biquad_peaking(&p, f, dB, Q, fs);
                ox_biquad_peaking(&inv, f, -dB, Q, fs);
                ox_biquad_resonator(&r, f, dB, Q, fs);
                const double G = std::pow(10.0, dB / 20.0);
                EXPECT_NEAR(std::abs(response(p, w)) / G, 1.0, 1e-4);
                EXPECT_NEAR(std::abs(response(r, w)) / G, 1.0, 1e-4);
                EXPECT_NEAR(std::abs(response(p, 0.0)), 1.0, 1e-4);
                EXPECT_NEAR(std::abs(response(r, 0.0)), 0.0, 1e-6);
                for (double fr = 0.0; fr <= 0.5; fr += 0.017)
                    EXPECT_NEAR(std::abs(response(p, 2 * kPi * fr) * response(inv, 2 * kPi * fr)),
                                1.0, 1e-4);
            }
            ox_biquad_coeffs ap1, ap2;
            ox_biquad_allpass1(&ap1, f, fs);
            ox_biquad_allpass2(&ap2, f, Q, fs);
            for (double fr = 0.0; fr <= 0.5; fr += 0.011)
            {
                EXPECT_NEAR(std::abs(response(ap1, 2 * kPi * fr)), 1.0, 1e-5);
                EXPECT_NEAR(std::abs(response(ap2, 2 * kPi * fr)), 1.0, 1e-5);
            }
            // The first-order all-pass turns the phase by 90° at its frequency,
            // the second-order one by 180°.
            EXPECT_NEAR(std::arg(response(ap1, w)), -kPi / 2, 1e-4);
            EXPECT_NEAR(std::fabs(std::arg(response(ap2, w))), kPi, 1e-4);
        }
    ox_biquad_coeffs p;
    ox_biquad_peaking(&p, 1000.0f, 0.0f, 1.0f, 48000.0f);
    EXPECT_TRUE(p.b0 == 1 && p.b1 == 0 && p.b2 == 0 && p.a1 == 0 && p.a2 == 0);
    ox_biquad_peaking(&p, 1000.0f, std::nanf(""), 1.0f, 48000.0f);
    EXPECT_TRUE(p.b0 == 1 && p.b1 == 0 && p.b2 == 0 && p.a1 == 0 && p.a2 == 0);
}

TEST(Biquad, KnownDesignsAndFrequencyLimit)
{
    ox_biquad_coeffs c;
    ox_biquad_lpbutter2(&c, 12000.0f, 48000.0f);
    EXPECT_NEAR(c.b0, 0.2929, 5e-5);
    EXPECT_NEAR(c.b1, 0.5858, 5e-5);
    EXPECT_NEAR(c.b2, 0.2929, 5e-5);
    EXPECT_NEAR(c.a1, 0.0, 5e-5);
    EXPECT_NEAR(c.a2, 0.1716, 5e-5);
    EXPECT_NEAR(ox_biquad_freqresponse(c, 48000.0f, 12000.0f), 0.70710678, 1e-5);

    // Anything at or above the highest design frequency designs the same filter.
    ox_biquad_coeffs top, above, half, nan;
    const float fs = 44100.0f;
    ox_biquad_hfshelving2(&top, float(OX_BIQUAD_FMAX_REL) * fs, 6.0f, fs);
    ox_biquad_hfshelving2(&above, 30000.0f, 6.0f, fs);
    ox_biquad_hfshelving2(&half, 0.5f * fs, 6.0f, fs);
    ox_biquad_hfshelving2(&nan, std::nanf(""), 6.0f, fs);
    for (const auto* x : {&above, &half, &nan})
        EXPECT_TRUE(x->b0 == top.b0 && x->b1 == top.b1 && x->b2 == top.b2 && x->a1 == top.a1 &&
                    x->a2 == top.a2);

    // Linkwitz transform: DC gain (f0/fp)², unity at half the sample rate,
    // and a finite design where f0 + fp = 0.
    ox_biquad_linkwitztransform2(&c, 400.0f, 0.9f, 200.0f, 0.5f, 48000.0f);
    EXPECT_NEAR(std::abs(response(c, 0.0)), 4.0, 1e-2);
    EXPECT_NEAR(std::abs(response(c, kPi)), 1.0, 1e-5);
    ox_biquad_linkwitztransform2(&c, 0.0f, 0.7f, 0.0f, 0.7f, 48000.0f);
    EXPECT_TRUE(stable(c));

    ox_biquad_lpbutter2(&c, 1000.0f, 48000.0f);
    ox_biquad_coeffs g = c;
    ox_biquad_gain(&g, -6.0206f);
    EXPECT_NEAR(g.b0 / c.b0, 0.5, 1e-5);
    EXPECT_EQ(g.a1, c.a1);
}

TEST(Biquad, BlockSplittingStridesAndBadSamples)
{
    ox_biquad_coeffs c;
    ox_biquad_peaking(&c, 700.0f, 8.0f, 3.0f, 48000.0f);
    const std::vector<float> x = oxtest::noise(1000, 7);
    std::vector<float> whole = x, parts = x;
    ox_biquad_state s1 = {0, 0, 0, 0}, s2 = {0, 0, 0, 0};
    ox_biquad_filter(&s1, whole.data(), whole.data(), 1000, c);
    ox_biquad_filter(&s2, parts.data(), parts.data(), 377, c);
    ox_biquad_filter(&s2, parts.data() + 377, parts.data() + 377, 623, c);
    EXPECT_EQ(whole, parts);
    EXPECT_TRUE(s1.x1 == s2.x1 && s1.x2 == s2.x2 && s1.y1 == s2.y1 && s1.y2 == s2.y2);

    // One channel of three interleaved, the others untouched.
    std::vector<float> inter(3000, 5.0f), out(3000, -1.0f);
    for (int i = 0; i < 1000; ++i) inter[3 * i + 1] = x[i];
    ox_biquad_state s3 = {0, 0, 0, 0};
    ox_biquad_filter_mch(&s3, inter.data() + 1, out.data() + 1, 1000, 3, c);
    for (int i = 0; i < 1000; ++i)
    {
        ASSERT_EQ(out[3 * i + 1], whole[i]);
        ASSERT_EQ(out[3 * i], -1.0f);
    }

    // A NaN spoils its own block only.
    std::vector<float> bad = x;
    bad[10] = std::numeric_limits<float>::quiet_NaN();
    ox_biquad_state s4 = {0, 0, 0, 0};
    ox_biquad_filter(&s4, bad.data(), bad.data(), 100, c);
    ox_biquad_filter(&s4, bad.data() + 100, bad.data() + 100, 900, c);
    for (int i = 100; i < 1000; ++i) ASSERT_TRUE(std::isfinite(bad[i]));
    EXPECT_LT(std::fabs(bad[999] - whole[999]), 1e-3);

    // Bad sizes and null pointers do nothing.
    ox_biquad_filter(&s4, nullptr, bad.data(), 10, c);
    ox_biquad_filter(&s4, bad.data(), bad.data(), -5, c);
    ox_biquad_filter_mch(&s4, bad.data(), bad.data(), 10, 0, c);
    ox_biquad_lpbutter2(nullptr, 100.0f, 48000.0f);
}

// Every designer at the ends of its range, and far beyond them: the stored
// section is finite and strictly stable, and noise through it stays bounded.
TEST(Biquad, StabilitySoakAtRangeEnds)
{
    typedef std::function<void(ox_biquad_coeffs*, float f, float f2, float dB, float Q, float fs)>
        D;
    const std::vector<D> designers = {
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_lpbutter1(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_hpbutter1(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_lpbutter2(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_hpbutter2(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float Q, float fs) {
            ox_biquad_hpbutter2_Qfactor(c, f, Q, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_lpbutter3B(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_hpbutter3B(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_lpbutter4A(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_lpbutter4B(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_hpbutter4A(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_hpbutter4B(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float, float fs) {
            ox_biquad_bpbutter1(c, f, f2, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float, float fs) {
            ox_biquad_bsbutter1(c, f, f2, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float, float fs) {
            ox_biquad_bpbutter2A(c, f, f2, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float, float fs) {
            ox_biquad_bpbutter2B(c, f, f2, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float, float fs) {
            ox_biquad_bsbutter2A(c, f, f2, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float, float fs) {
            ox_biquad_bsbutter2B(c, f, f2, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_lplinkriley2(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_hplinkriley2(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_lfshelving1(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_hfshelving1(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_lfshelving2(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_hfshelving2(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float Q, float fs) {
            ox_biquad_lfshelving2_Qfactor(c, f, dB, Q, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float Q, float fs) {
            ox_biquad_hfshelving2_Qfactor(c, f, dB, Q, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_lfshelving3B(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_hfshelving3B(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_lfshelving4A(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float, float fs) {
            ox_biquad_hfshelving4B(c, f, dB, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float Q, float fs) {
            ox_biquad_peaking(c, f, dB, Q, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float dB, float Q, float fs) {
            ox_biquad_resonator(c, f, dB, Q, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float, float fs) {
            ox_biquad_allpass1(c, f, fs);
        },
        [](ox_biquad_coeffs* c, float f, float, float, float Q, float fs) {
            ox_biquad_allpass2(c, f, Q, fs);
        },
        [](ox_biquad_coeffs* c, float f, float f2, float, float Q, float fs) {
            ox_biquad_linkwitztransform2(c, f, Q, f2, 1.0f / Q, fs);
        },
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(),
                inf = std::numeric_limits<float>::infinity();
    const std::vector<float> noise = oxtest::noise(4096, 3);
    int soaked = 0;
    for (float fs : {11025.0f, 192000.0f})
    {
        const float freqs[] = {-5.0f,      0.0f,      0.2f, 20.0f, 0.25f * fs,
                               0.49f * fs, 0.5f * fs, 1e9f, inf,   nan};
        const float gains[] = {-1e4f, -120.0f, -60.0f, 0.0f, 24.0f, 120.0f, nan};
        const float qs[] = {-1.0f, 0.0f, 0.01f, 0.1f, 0.7f, 3.3f, 50.0f, 1000.0f, 1e9f, nan};
        for (size_t d = 0; d < designers.size(); ++d)
            for (float f : freqs)
                for (float f2 : {0.0f, 0.3f * fs, 0.5f * fs})
                    for (float dB : gains)
                        for (float Q : qs)
                        {
                            ox_biquad_coeffs c;
                            designers[d](&c, f, f2, dB, Q, fs);
                            ASSERT_TRUE(stable(c)) << "designer " << d << " f=" << f << " f2=" << f2
                                                   << " dB=" << dB << " Q=" << Q << " fs=" << fs;
                            // Noise through the range ends proper (not the nonsense values).
                            const bool end = (f == 0.0f || f == 0.5f * fs) &&
                                             (dB == -120.0f || dB == 24.0f) &&
                                             (Q == 0.1f || Q == 1000.0f) && f2 == 0.5f * fs;
                            if (!end) continue;
                            ++soaked;
                            ox_biquad_state st = {0, 0, 0, 0};
                            std::vector<float> y(noise.size());
                            ox_biquad_filter(&st, noise.data(), y.data(), int32_t(y.size()), c);
                            for (size_t i = 0; i < y.size(); ++i)
                                ASSERT_TRUE(std::isfinite(y[i]) && std::fabs(y[i]) < 1e5f)
                                    << "designer " << d << " f=" << f << " fs=" << fs << " i=" << i;
                        }
    }
    EXPECT_GT(soaked, 100);
}
