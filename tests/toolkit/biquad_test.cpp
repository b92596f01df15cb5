#include "ox_biquad.h"
#include "ox_iir_test_util.h"
#include "ox_test_biquad.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

namespace
{

typedef std::complex<double> cd;
typedef std::vector<ox_biquad_coeffs> Cascade;
typedef void (*Design)(ox_biquad_coeffs*, float f, float fs);
typedef void (*Band)(ox_biquad_coeffs*, float f1, float f2, float fs);
typedef void (*Shelf)(ox_biquad_coeffs*, float f, float dB, float fs);
typedef void (*WithQ)(ox_biquad_coeffs*, float f, float dB, float Q, float fs);

cd response(const Cascade& cs, double f, double fs)
{
    cd h = 1.0;
    for (const auto& c : cs) h *= oxtest::biquad_response(c, 2 * M_PI * f / fs);
    return h;
}

double mag(const Cascade& cs, double f, double fs)
{
    return std::abs(response(cs, f, fs));
}

Cascade make(std::initializer_list<Design> ds, float f, float fs)
{
    Cascade v;
    for (Design d : ds) v.emplace_back(), d(&v.back(), f, fs);
    return v;
}

// Both poles strictly inside the unit circle, every coefficient finite.
bool stable(const ox_biquad_coeffs& c)
{
    const double a1 = c.a1, a2 = c.a2;
    return std::isfinite(c.b0) && std::isfinite(c.b1) && std::isfinite(c.b2) && std::isfinite(a1) &&
           std::isfinite(a2) && a2 < 1.0 && std::fabs(a1) < 1.0 + a2;
}

} // namespace

// The magnitude, phase and group-delay routines against a naive DFT of the impulse response
// that the filter itself produces.
TEST(Biquad, ResponsesMatchDftOfImpulseResponse)
{
    const float fs = 48000.0f;
    Cascade designs(5);
    ox_biquad_lpbutter2(&designs[0], 3000.0f, fs);
    ox_biquad_peaking(&designs[1], 5000.0f, 9.0f, 2.0f, fs);
    ox_biquad_hfshelving2(&designs[2], 8000.0f, -10.0f, fs);
    ox_biquad_bsbutter2A(&designs[3], 2000.0f, 9000.0f, fs);
    ox_biquad_resonator(&designs[4], 12000.0f, 6.0f, 1.5f, fs);
    const size_t n = 512;
    std::vector<float> x(n, 0.0f);
    x[0] = 1.0f;
    for (const auto& c : designs)
    {
        const std::vector<float> h = oxtest::biquad_run(c, x);
        std::vector<double> hd(h.begin(), h.end()), nh(n);
        for (size_t i = 0; i < n; ++i) nh[i] = double(i) * hd[i];
        const auto H = oxtest::naive_dft(hd), NH = oxtest::naive_dft(nh);
        for (size_t k = 1; k < n / 2; k += 7)
        {
            const float f = float(double(k) * fs / double(n));
            EXPECT_NEAR(ox_biquad_freqresponse(c, fs, f), std::abs(H[k]),
                        1e-4 * (1 + std::abs(H[k])));
            const double ph = ox_biquad_phaseresponse(c, fs, f);
            EXPECT_LT(std::abs(std::polar(1.0, ph) - H[k] / std::abs(H[k])), 2e-4);
            const double gd = (NH[k] / H[k]).real(); // group delay: Re(DFT(n·h) / DFT(h))
            EXPECT_NEAR(ox_biquad_groupdelay(c, fs, f), gd, 2e-3 * (1 + std::fabs(gd)));
        }
    }
}

// Butterworth low-/high-pass and shelf cascades of orders 1 … 4 and the band designs against
// their analog prototypes (shelf cuts the reciprocal of the boost), to 0.002 dB plus what the
// float rounding of the stored coefficients accounts for; Linkwitz-Riley pairs −6 dB at the
// corner and summing flat (order 2 with the high-pass inverted).
TEST(Biquad, DesignsMatchTheirPrototypes)
{
    typedef void (*S)(ox_biquad_coeffs*, float, float, float);
    const Design pass[2][4][2] = {{{ox_biquad_lpbutter1},
                                   {ox_biquad_lpbutter2},
                                   {ox_biquad_lpbutter3A, ox_biquad_lpbutter3B},
                                   {ox_biquad_lpbutter4A, ox_biquad_lpbutter4B}},
                                  {{ox_biquad_hpbutter1},
                                   {ox_biquad_hpbutter2},
                                   {ox_biquad_hpbutter3A, ox_biquad_hpbutter3B},
                                   {ox_biquad_hpbutter4A, ox_biquad_hpbutter4B}}};
    const S shelf[2][4][2] = {{{ox_biquad_lfshelving1},
                               {ox_biquad_lfshelving2},
                               {ox_biquad_lfshelving3A, ox_biquad_lfshelving3B},
                               {ox_biquad_lfshelving4A, ox_biquad_lfshelving4B}},
                              {{ox_biquad_hfshelving1},
                               {ox_biquad_hfshelving2},
                               {ox_biquad_hfshelving3A, ox_biquad_hfshelving3B},
                               {ox_biquad_hfshelving4A, ox_biquad_hfshelving4B}}};
    const S band[2][2][2] = {{{ox_biquad_bpbutter1}, {ox_biquad_bpbutter2A, ox_biquad_bpbutter2B}},
                             {{ox_biquad_bsbutter1}, {ox_biquad_bsbutter2A, ox_biquad_bsbutter2B}}};
    for (float fs : {11025.0f, 48000.0f, 192000.0f})
        for (float fc : {0.002f * fs, 0.05f * fs, 0.3f * fs, 0.48f * fs})
            for (int shape = 0; shape < 6; ++shape) // pass, shelf, band; low or high
                for (float dB : {-40.0f, -12.0f, 3.0f, 12.0f})
                    for (int N = 1; N <= (shape < 4 ? 4 : 2); ++N)
                    {
                        const bool high = shape % 2;
                        const float f2 = std::min(6.0f * fc, 0.49f * fs); // band: fc … f2
                        if ((shape < 2 || shape > 3) && dB != 3.0f) continue;
                        ox_iir_cfNf r = {};
                        for (int k = 0; k < 2; ++k, r.order += 2)
                        {
                            ox_biquad_coeffs c = {1, 0, 0, 0, 0};
                            if (shape < 2 && pass[high][N - 1][k]) pass[high][N - 1][k](&c, fc, fs);
                            if (shape > 3 && band[high][N - 1][k])
                                band[high][N - 1][k](&c, fc, f2, fs);
                            if (shape == 2 || shape == 3)
                                if (shelf[high][N - 1][k]) shelf[high][N - 1][k](&c, fc, dB, fs);
                            r.sec[k] = ox_iir_cf2{c.b0, c.b1, c.b2, c.a1, c.a2};
                        }
                        const double G = std::pow(10.0, std::fabs(dB) / 20.0);
                        const double t = std::tan(M_PI * fc / fs), t2 = std::tan(M_PI * f2 / fs);
                        for (double f : oxtest::freqs(fs))
                        {
                            const double w = std::tan(M_PI * f / fs), x = w / t;
                            const double want =
                                shape < 2 ? oxtest::butter_mag(N, x, high)
                                : shape > 3
                                    ? oxtest::butter_mag(N, (w * w - t * t2) / ((t2 - t) * w), high)
                                : dB > 0 ? oxtest::shelf_mag(G, N, x, high)
                                         : 1.0 / oxtest::shelf_mag(G, N, x, high);
                            const double rr = oxtest::rounding_rel(r, f, fs);
                            if (want < 1e-5 || rr > 0.01) continue;
                            ASSERT_NEAR(oxtest::db(std::abs(oxtest::h_cfNf(r, f, fs))),
                                        oxtest::db(want), 0.002 + 8.7 * rr)
                                << "shape " << shape << " N " << N << " fs " << fs << " fc " << fc
                                << " dB " << dB << " f " << f;
                        }
                    }
    for (float fs : {11025.0f, 192000.0f})
        for (float fc : {80.0f, 0.4f * fs})
        {
            const Cascade lp2 = make({ox_biquad_lplinkriley2}, fc, fs),
                          hp2 = make({ox_biquad_hplinkriley2}, fc, fs),
                          lp4 = make({ox_biquad_lplinkriley4A, ox_biquad_lplinkriley4B}, fc, fs),
                          hp4 = make({ox_biquad_hplinkriley4A, ox_biquad_hplinkriley4B}, fc, fs);
            EXPECT_NEAR(mag(lp2, fc, fs), 0.5, 1e-4);
            EXPECT_NEAR(mag(hp4, fc, fs), 0.5, 1e-4);
            for (double f = 0.002 * fs; f < 0.5 * fs; f += 0.0097 * fs)
            {
                ASSERT_NEAR(std::abs(response(lp2, f, fs) - response(hp2, f, fs)), 1.0, 5e-4) << f;
                ASSERT_NEAR(std::abs(response(lp4, f, fs) + response(hp4, f, fs)), 1.0, 2e-4) << f;
            }
        }
}

// The Q-factor shelves: the shelf gain at its end, 1 at the other, a cut the inverse of the
// boost, also where the pole pair turns real (Q below about 3.35).
TEST(Biquad, QFactorShelvesReachTheirGainsAndInvert)
{
    const WithQ shelves[2] = {ox_biquad_lfshelving2_Qfactor, ox_biquad_hfshelving2_Qfactor};
    for (float fs : {11025.0f, 192000.0f})
        for (float Q : {0.0f, 0.1f, 0.5f, 3.4f, 9.0f})
            for (bool high : {false, true})
                for (float dB : {12.0f, -40.0f})
                {
                    Cascade c(1), inv(1);
                    shelves[high](&c[0], 0.05f * fs, dB, Q, fs);
                    shelves[high](&inv[0], 0.05f * fs, -dB, Q, fs);
                    ASSERT_TRUE(stable(c[0]));
                    const double G = std::pow(10.0, dB / 20.0);
                    EXPECT_NEAR(mag(c, 0.0, fs) / (high ? 1.0 : G), 1.0, 1e-4) << Q << high << dB;
                    EXPECT_NEAR(mag(c, fs / 2, fs) / (high ? G : 1.0), 1.0, 1e-4)
                        << Q << high << dB;
                    for (double f : oxtest::freqs(fs))
                        ASSERT_NEAR(mag(c, f, fs) * mag(inv, f, fs), 1.0, 3e-4)
                            << Q << high << dB << f;
                }
}

TEST(Biquad, PeakingResonatorAllPassesAndSmallDesigns)
{
    for (float fs : {11025.0f, 192000.0f})
        for (float Q : {0.3f, 0.7071f, 4.0f})
        {
            const float f = 0.1f * fs;
            for (float dB : {9.0f, -30.0f})
            {
                Cascade p(1), inv(1), r(1);
                ox_biquad_peaking(&p[0], f, dB, Q, fs);
                ox_biquad_peaking(&inv[0], f, -dB, Q, fs);
                ox_biquad_resonator(&r[0], f, dB, Q, fs);
                const double G = std::pow(10.0, dB / 20.0);
                EXPECT_NEAR(mag(p, f, fs) / G, 1.0, 1e-4);
                EXPECT_NEAR(mag(r, f, fs) / G, 1.0, 1e-4);
                EXPECT_NEAR(mag(p, 0.0, fs), 1.0, 1e-4);
                EXPECT_NEAR(mag(r, 0.0, fs), 0.0, 1e-6);
                for (double fr = 0.0; fr <= 0.5; fr += 0.017)
                    ASSERT_NEAR(mag(p, fr * fs, fs) * mag(inv, fr * fs, fs), 1.0, 1e-4);
            }
            Cascade ap1(1), ap2(1);
            ox_biquad_allpass1(&ap1[0], f, fs);
            ox_biquad_allpass2(&ap2[0], f, Q, fs);
            for (double fr = 0.0; fr <= 0.5; fr += 0.011)
            {
                ASSERT_NEAR(mag(ap1, fr * fs, fs), 1.0, 1e-5);
                ASSERT_NEAR(mag(ap2, fr * fs, fs), 1.0, 1e-5);
            }
            // 90° at f for the first order, 180° for the second.
            EXPECT_NEAR(std::arg(response(ap1, f, fs)), -M_PI / 2, 1e-4);
            EXPECT_NEAR(std::fabs(std::arg(response(ap2, f, fs))), M_PI, 1e-4);
        }
    ox_biquad_coeffs p;
    for (float dB : {0.0f, std::nanf("")})
    {
        ox_biquad_peaking(&p, 1000.0f, dB, 1.0f, 48000.0f);
        EXPECT_TRUE(p.b0 == 1 && p.b1 == 0 && p.b2 == 0 && p.a1 == 0 && p.a2 == 0);
    }
    // Anything at or above the highest design frequency designs the same filter.
    ox_biquad_coeffs top, other;
    const float fs = 44100.0f;
    ox_biquad_hfshelving2(&top, float(OX_BIQUAD_FMAX_REL) * fs, 6.0f, fs);
    for (float f : {30000.0f, 0.5f * fs, std::nanf("")})
    {
        ox_biquad_hfshelving2(&other, f, 6.0f, fs);
        EXPECT_TRUE(other.b0 == top.b0 && other.b1 == top.b1 && other.b2 == top.b2 &&
                    other.a1 == top.a1 && other.a2 == top.a2);
    }
    // Linkwitz transform: DC gain (f0/fp)², unity at half the sample rate.
    Cascade lt(1);
    ox_biquad_linkwitztransform2(&lt[0], 400.0f, 0.9f, 200.0f, 0.5f, 48000.0f);
    EXPECT_NEAR(mag(lt, 0.0, 48000.0), 4.0, 1e-2);
    EXPECT_NEAR(mag(lt, 24000.0, 48000.0), 1.0, 1e-5);
    ox_biquad_lpbutter2(&p, 1000.0f, 48000.0f);
    ox_biquad_coeffs g = p;
    ox_biquad_gain(&g, -6.0206f);
    EXPECT_NEAR(g.b0 / p.b0, 0.5, 1e-5);
    EXPECT_EQ(g.a1, p.a1);
}

// Every designer at the ends of its range and far beyond them: the stored section is finite
// and strictly stable.
TEST(Biquad, StabilitySoakAtRangeEnds)
{
    const Design plain[] = {ox_biquad_lpbutter1,  ox_biquad_hpbutter1,    ox_biquad_lpbutter2,
                            ox_biquad_hpbutter2,  ox_biquad_lpbutter3B,   ox_biquad_hpbutter3B,
                            ox_biquad_lpbutter4A, ox_biquad_lpbutter4B,   ox_biquad_hpbutter4A,
                            ox_biquad_hpbutter4B, ox_biquad_lplinkriley2, ox_biquad_hplinkriley2,
                            ox_biquad_allpass1};
    const Band bands[] = {ox_biquad_bpbutter1,  ox_biquad_bsbutter1,  ox_biquad_bpbutter2A,
                          ox_biquad_bpbutter2B, ox_biquad_bsbutter2A, ox_biquad_bsbutter2B};
    const Shelf shelves[] = {ox_biquad_lfshelving1,  ox_biquad_hfshelving1,  ox_biquad_lfshelving2,
                             ox_biquad_hfshelving2,  ox_biquad_lfshelving3B, ox_biquad_hfshelving3B,
                             ox_biquad_lfshelving4A, ox_biquad_hfshelving4B};
    const WithQ withq[] = {ox_biquad_lfshelving2_Qfactor, ox_biquad_hfshelving2_Qfactor,
                           ox_biquad_peaking, ox_biquad_resonator};
    const float nan = std::numeric_limits<float>::quiet_NaN(),
                inf = std::numeric_limits<float>::infinity();
    long designs = 0;
    for (float fs : {11025.0f, 192000.0f})
        for (float f :
             {-5.0f, 0.0f, 0.2f, 20.0f, 0.25f * fs, 0.49f * fs, 0.5f * fs, 1e9f, inf, nan})
            for (float dB : {-1e4f, -120.0f, 0.0f, 24.0f, 120.0f, nan})
                for (float Q : {-1.0f, 0.0f, 0.01f, 0.1f, 0.7f, 3.3f, 1000.0f, 1e9f, nan})
                {
                    std::vector<ox_biquad_coeffs> cs;
                    auto add = [&](auto d, auto... args) {
                        cs.emplace_back();
                        d(&cs.back(), args...);
                    };
                    for (Design d : plain) add(d, f, fs);
                    for (Band d : bands)
                        for (float f2 : {0.0f, 0.3f * fs, 0.5f * fs}) add(d, f, f2, fs);
                    for (Shelf d : shelves) add(d, f, dB, fs);
                    for (WithQ d : withq) add(d, f, dB, Q, fs);
                    add(ox_biquad_hpbutter2_Qfactor, f, Q, fs);
                    add(ox_biquad_allpass2, f, Q, fs);
                    add(ox_biquad_linkwitztransform2, f, Q, 0.5f * fs, 1.0f / Q, fs);
                    for (size_t d = 0; d < cs.size(); ++d)
                        ASSERT_TRUE(stable(cs[d])) << "designer " << d << " f=" << f << " dB=" << dB
                                                   << " Q=" << Q << " fs=" << fs;
                    designs += long(cs.size());
                }
    EXPECT_GT(designs, 10000);
}
