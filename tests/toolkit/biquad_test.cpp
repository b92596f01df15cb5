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

// Butterworth and shelf cascades of orders 1 … 4, band cascades of orders 1 and 2: [high][N-1].
const Design kPass[2][4][2] = {{{ox_biquad_lpbutter1},
                                {ox_biquad_lpbutter2},
                                {ox_biquad_lpbutter3A, ox_biquad_lpbutter3B},
                                {ox_biquad_lpbutter4A, ox_biquad_lpbutter4B}},
                               {{ox_biquad_hpbutter1},
                                {ox_biquad_hpbutter2},
                                {ox_biquad_hpbutter3A, ox_biquad_hpbutter3B},
                                {ox_biquad_hpbutter4A, ox_biquad_hpbutter4B}}};
const Shelf kShelf[2][4][2] = {{{ox_biquad_lfshelving1},
                                {ox_biquad_lfshelving2},
                                {ox_biquad_lfshelving3A, ox_biquad_lfshelving3B},
                                {ox_biquad_lfshelving4A, ox_biquad_lfshelving4B}},
                               {{ox_biquad_hfshelving1},
                                {ox_biquad_hfshelving2},
                                {ox_biquad_hfshelving3A, ox_biquad_hfshelving3B},
                                {ox_biquad_hfshelving4A, ox_biquad_hfshelving4B}}};
const Band kBand[2][2][2] = {{{ox_biquad_bpbutter1}, {ox_biquad_bpbutter2A, ox_biquad_bpbutter2B}},
                             {{ox_biquad_bsbutter1}, {ox_biquad_bsbutter2A, ox_biquad_bsbutter2B}}};

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

template <class D, class... A> Cascade make(std::initializer_list<D> ds, A... args)
{
    Cascade v;
    for (D d : ds) v.emplace_back(), d(&v.back(), args...);
    return v;
}

bool stable(const ox_biquad_coeffs& c)
{
    return std::isfinite(c.b0 + c.b1 + c.b2) && oxtest::stable2(c.a1, c.a2);
}

} // namespace

// Butterworth low-/high-pass, shelf and band cascades against their analog prototypes (a shelf
// cut the reciprocal of the boost), to 0.002 dB plus what the float rounding of the stored
// coefficients accounts for; Linkwitz-Riley pairs −6 dB at the corner and summing flat (order
// 2 with the high-pass inverted).
TEST(Biquad, DesignsMatchTheirPrototypes)
{
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
                            if (shape < 2 && kPass[high][N - 1][k])
                                kPass[high][N - 1][k](&c, fc, fs);
                            if (shape > 3 && kBand[high][N - 1][k])
                                kBand[high][N - 1][k](&c, fc, f2, fs);
                            if ((shape == 2 || shape == 3) && kShelf[high][N - 1][k])
                                kShelf[high][N - 1][k](&c, fc, dB, fs);
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
            EXPECT_TRUE(std::fabs(mag(lp2, fc, fs) - 0.5) < 1e-4 &&
                        std::fabs(mag(hp4, fc, fs) - 0.5) < 1e-4);
            for (double f = 0.002 * fs; f < 0.5 * fs; f += 0.0097 * fs)
            {
                ASSERT_NEAR(std::abs(response(lp2, f, fs) - response(hp2, f, fs)), 1.0, 5e-4) << f;
                ASSERT_NEAR(std::abs(response(lp4, f, fs) + response(hp4, f, fs)), 1.0, 2e-4) << f;
            }
        }
}

// Q-factor shelves reach their gain at their end and 1 at the other, also where the pole pair
// turns real (Q below about 3.35); peaks reach theirs at the centre, resonators too (0 at DC);
// every cut is the inverse of the boost; all-passes are flat, 90° (first order) or 180°
// (second) at the corner.
TEST(Biquad, GainsInversesAndAllPasses)
{
    const WithQ shelves[2] = {ox_biquad_lfshelving2_Qfactor, ox_biquad_hfshelving2_Qfactor};
    for (float fs : {11025.0f, 192000.0f})
        for (float Q : {0.0f, 0.1f, 0.3f, 0.5f, 0.7071f, 3.4f, 4.0f, 9.0f})
            for (bool high : {false, true})
                for (float dB : {12.0f, -40.0f, 9.0f, -30.0f})
                {
                    const float f = high ? 0.1f * fs : 0.05f * fs;
                    const Cascade c = make({shelves[high]}, f, dB, Q, fs),
                                  inv = make({shelves[high]}, f, -dB, Q, fs),
                                  p = make({ox_biquad_peaking}, f, dB, Q, fs),
                                  pinv = make({ox_biquad_peaking}, f, -dB, Q, fs),
                                  r = make({ox_biquad_resonator}, f, dB, Q, fs);
                    ASSERT_TRUE(stable(c[0]));
                    const double G = std::pow(10.0, dB / 20.0);
                    EXPECT_NEAR(mag(c, 0.0, fs) / (high ? 1.0 : G), 1.0, 1e-4) << Q << high << dB;
                    EXPECT_NEAR(mag(c, fs / 2, fs) / (high ? G : 1.0), 1.0, 1e-4) << Q << high;
                    EXPECT_TRUE(Q < 0.3f ||
                                (std::fabs(mag(p, f, fs) / G - 1.0) < 1e-4 &&
                                 std::fabs(mag(r, f, fs) / G - 1.0) < 1e-4 &&
                                 std::fabs(mag(p, 0.0, fs) - 1.0) < 1e-4 && mag(r, 0.0, fs) < 1e-6))
                        << Q << " " << dB;
                    for (double fr : oxtest::freqs(fs))
                        ASSERT_TRUE(std::fabs(mag(c, fr, fs) * mag(inv, fr, fs) - 1.0) < 3e-4 &&
                                    (Q < 0.3f ||
                                     std::fabs(mag(p, fr, fs) * mag(pinv, fr, fs) - 1.0) < 1e-4))
                            << Q << high << dB << fr;
                    const Cascade ap1 = make({ox_biquad_allpass1}, f, fs),
                                  ap2 = make({ox_biquad_allpass2}, f, Q, fs);
                    for (double fr = 0.0; fr <= 0.5 * fs; fr += 0.011 * fs)
                        ASSERT_TRUE(std::fabs(mag(ap1, fr, fs) - 1.0) < 1e-5 &&
                                    std::fabs(mag(ap2, fr, fs) - 1.0) < 1e-5)
                            << Q << " " << fr;
                    EXPECT_NEAR(std::arg(response(ap1, f, fs)), -M_PI / 2, 1e-4);
                    EXPECT_NEAR(std::fabs(std::arg(response(ap2, f, fs))), M_PI, 1e-4) << Q;
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
    const Cascade lt = make({ox_biquad_linkwitztransform2}, 400.0f, 0.9f, 200.0f, 0.5f, 48000.0f);
    EXPECT_NEAR(mag(lt, 0.0, 48000.0), 4.0, 1e-2);
    EXPECT_NEAR(mag(lt, 24000.0, 48000.0), 1.0, 1e-5);
    ox_biquad_lpbutter2(&p, 1000.0f, 48000.0f);
    ox_biquad_coeffs g = p;
    ox_biquad_gain(&g, -6.0206f);
    EXPECT_TRUE(std::fabs(g.b0 / p.b0 - 0.5) < 1e-5 && g.a1 == p.a1);
}

// Every designer at the ends of its range and far beyond them: the stored section is finite
// and strictly stable.
TEST(Biquad, StabilitySoakAtRangeEnds)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(),
                inf = std::numeric_limits<float>::infinity();
    long designs = 0;
    for (float fs : {11025.0f, 192000.0f})
        for (float f :
             {-5.0f, 0.0f, 0.2f, 20.0f, 0.25f * fs, 0.49f * fs, 0.5f * fs, 1e9f, inf, nan})
            for (float dB : {-1e4f, -120.0f, 0.0f, 24.0f, 120.0f, nan})
                for (float Q : {-1.0f, 0.0f, 0.01f, 0.1f, 0.7f, 3.3f, 1000.0f, 1e9f, nan})
                {
                    Cascade cs = make({ox_biquad_lplinkriley2, ox_biquad_hplinkriley2}, f, fs);
                    auto add = [&](auto d, auto... args) {
                        if (d) cs.emplace_back(), d(&cs.back(), args...);
                    };
                    for (int h = 0; h < 2; ++h)
                        for (int k = 0; k < 2; ++k)
                        {
                            for (int N = 0; N < 4; ++N)
                                add(kPass[h][N][k], f, fs), add(kShelf[h][N][k], f, dB, fs);
                            for (int N = 0; N < 2; ++N)
                                for (float f2 : {0.0f, 0.3f * fs, 0.5f * fs})
                                    add(kBand[h][N][k], f, f2, fs);
                        }
                    for (WithQ d : {ox_biquad_lfshelving2_Qfactor, ox_biquad_hfshelving2_Qfactor,
                                    ox_biquad_peaking, ox_biquad_resonator})
                        add(d, f, dB, Q, fs);
                    add(ox_biquad_allpass1, f, fs);
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
