#include "ox_biquad_statespace.h"
#include "ox_test_biquad.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <vector>

namespace
{

typedef std::complex<double> cd;
const double kPi = 3.14159265358979323846;

// D + C·(zI − A)⁻¹·B on the unit circle.
cd ss_response(const ox_biquad_ss& s, double w)
{
    const cd z = std::polar(1.0, w);
    const cd m11 = z - double(s.A11), m12 = -double(s.A12), m21 = -double(s.A21),
             m22 = z - double(s.A22);
    const cd dt = m11 * m22 - m12 * m21;
    const cd x1 = (m22 * double(s.B1) - m12 * double(s.B2)) / dt;
    const cd x2 = (-m21 * double(s.B1) + m11 * double(s.B2)) / dt;
    return double(s.D) + double(s.C1) * x1 + double(s.C2) * x2;
}

std::vector<float> run_ss(const ox_biquad_ss& s, const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    ox_biquad_ssstate st = {0, 0};
    ox_biquad_filter_ss(&st, x.data(), y.data(), int32_t(x.size()), s);
    return y;
}

double max_diff(const std::vector<float>& a, const std::vector<float>& b, size_t from = 0,
                size_t to = std::numeric_limits<size_t>::max())
{
    double m = 0;
    for (size_t i = from; i < std::min(to, a.size()); ++i)
        m = std::max(m, std::fabs(double(a[i]) - double(b[i])));
    return m;
}

// Sections with complex pairs, two real poles, a double pole, and poles close
// to the unit circle.
std::vector<ox_biquad_coeffs> sections()
{
    const float fs = 48000.0f;
    std::vector<ox_biquad_coeffs> v(9);
    ox_biquad_lpbutter2(&v[0], 1000.0f, fs);                      // complex
    ox_biquad_peaking(&v[1], 300.0f, -12.0f, 8.0f, fs);           // complex, near the circle
    ox_biquad_lfshelving2_Qfactor(&v[2], 500.0f, 9.0f, 0.5f, fs); // real pair
    ox_biquad_bpbutter1(&v[3], 200.0f, 15000.0f, fs);             // real pair
    ox_biquad_lplinkriley2(&v[4], 2000.0f, fs);                   // double pole
    ox_biquad_hpbutter2(&v[5], 20000.0f, fs);                     // complex, negative real part
    ox_biquad_allpass2(&v[6], 9000.0f, 3.0f, fs);                 // complex
    ox_biquad_resonator(&v[7], 60.0f, 0.0f, 20.0f, fs);           // complex, |p| ≈ 0.9998
    v[8] = {0.5f, -0.2f, 0.1f, -0.3f, -0.4f};                     // real poles of both signs
    return v;
}

} // namespace

TEST(BiquadStateSpace, SameFilterAsDirectForm)
{
    const std::vector<float> x = oxtest::noise(3000, 11);
    for (const auto& c : sections())
    {
        ox_biquad_ss s;
        ox_biquad_sstransform(&s, c);
        for (double fr = 0.0; fr <= 0.5; fr += 0.0131)
        {
            const cd h = oxtest::biquad_response(c, 2 * kPi * fr);
            EXPECT_LT(std::abs(ss_response(s, 2 * kPi * fr) - h), 2e-3 * (1 + std::abs(h)))
                << c.a1 << " " << c.a2 << " " << fr;
        }
        const std::vector<float> yd = oxtest::biquad_run(c, x), ys = run_ss(s, x);
        const double scale = oxtest::rms(yd.data(), yd.size()) + 1e-3;
        EXPECT_LT(max_diff(yd, ys) / scale, 2e-3) << c.a1 << " " << c.a2;
    }
}

TEST(BiquadStateSpace, DegenerateSections)
{
    // A double pole comes out as two real poles 1e-3 apart.
    ox_biquad_coeffs c = {1.0f, 0.0f, 0.0f, -1.0f, 0.25f};
    ox_biquad_ss s;
    ox_biquad_sstransform(&s, c);
    EXPECT_EQ(s.A12, 0.0f);
    EXPECT_NEAR(s.A11 - s.A22, 1e-3, 1e-6);

    // Poles on the unit circle (running sums) still give finite realisations
    // that follow the direct form.
    const std::vector<float> x = oxtest::noise(200, 5);
    for (auto design : {ox_biquad_integrator1, ox_biquad_integrator2})
    {
        design(&c);
        ox_biquad_sstransform(&s, c);
        const std::vector<float> yd = oxtest::biquad_run(c, x), ys = run_ss(s, x);
        for (float v : ys) ASSERT_TRUE(std::isfinite(v));
        EXPECT_LT(max_diff(yd, ys, 0, 20), 1e-2);
    }

    // Coefficients that are not finite give the pass-through, whatever was there.
    c = {1.0f, std::nanf(""), 0.0f, 0.1f, 0.2f};
    s.A11 = 0.7f;
    ox_biquad_sstransform(&s, c);
    EXPECT_TRUE(s.A11 == 0 && s.A12 == 0 && s.A21 == 0 && s.A22 == 0 && s.B1 == 0 && s.B2 == 0 &&
                s.C1 == 0 && s.C2 == 0 && s.D == 1);

    // A NaN sample spoils its own block only.
    ox_biquad_lpbutter2(&c, 1000.0f, 48000.0f);
    ox_biquad_sstransform(&s, c);
    std::vector<float> y = x;
    y[3] = std::numeric_limits<float>::infinity();
    ox_biquad_ssstate st = {0, 0};
    ox_biquad_filter_ss(&st, y.data(), y.data(), 100, s);
    ox_biquad_filter_ss(&st, y.data() + 100, y.data() + 100, 100, s);
    for (size_t i = 100; i < 200; ++i) ASSERT_TRUE(std::isfinite(y[i]));
}

// Second-order Linkwitz-Riley sections have a double pole; float rounding leaves it exact or
// splits it by a hair. Their realisation must still give the direct form's output (the stored
// coefficients run in double), also for corners close to 0 Hz.
TEST(BiquadStateSpace, NearDoublePolesKeepTheirResponse)
{
    const std::vector<float> x = oxtest::noise(3000, 21);
    for (float fs : {48000.0f, 192000.0f})
        for (float fc = 20.0f; fc < 0.45f * fs; fc *= 1.07f)
            for (bool hp : {false, true})
            {
                ox_biquad_coeffs c;
                (hp ? ox_biquad_hplinkriley2 : ox_biquad_lplinkriley2)(&c, fc, fs);
                ox_biquad_ss s;
                ox_biquad_sstransform(&s, c);
                EXPECT_LT(oxtest::biquad_rel_error(c, x, run_ss(s, x)), 2e-3)
                    << "fc=" << fc << " fs=" << fs << " hp=" << hp;
            }
}

TEST(BiquadStateSpace, PairRunsTheSelectedRealisation)
{
    ox_biquad_coeffs a, b;
    ox_biquad_lpbutter2(&a, 1000.0f, 48000.0f);
    ox_biquad_hpbutter2(&b, 3000.0f, 48000.0f);
    ox_biquad_sspair pair;
    ox_biquad_sstransform(&pair.first, a);
    ox_biquad_sstransform(&pair.second, b);
    const std::vector<float> x = oxtest::noise(256, 2);
    for (int sel : {0, 1, -7})
    {
        pair.select = sel;
        std::vector<float> y(x.size());
        ox_biquad_ssstate st = {0, 0};
        ox_biquad_filter_ss2(&pair, &st, x.data(), y.data(), int32_t(x.size()));
        EXPECT_EQ(y, run_ss(sel == 0 ? pair.first : pair.second, x));
        EXPECT_EQ(pair.select, sel);
    }
}

TEST(BiquadStateSpace, SwitchKeepsNewResponseAndOldState)
{
    const float fs = 48000.0f;
    // Same realisation twice: nothing changes.
    ox_biquad_coeffs c;
    ox_biquad_ss old, nw;
    ox_biquad_peaking(&c, 2000.0f, 5.0f, 2.0f, fs);
    ox_biquad_sstransform(&old, c);
    nw = old;
    ox_biquad_ssswitch(&old, &nw);
    float po[9], pn[9];
    std::memcpy(po, &old, sizeof po);
    std::memcpy(pn, &nw, sizeof pn);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(pn[i], po[i], 1e-6) << i;

    // Parameter changes within one family: a complex pair, a real pair, a
    // section with a large direct part.
    struct Change
    {
        ox_biquad_coeffs from, to;
    };
    Change ch[3];
    ox_biquad_lpbutter2(&ch[0].from, 1000.0f, fs);
    ox_biquad_lpbutter2(&ch[0].to, 1200.0f, fs);
    ox_biquad_lfshelving2_Qfactor(&ch[1].from, 800.0f, 6.0f, 0.5f, fs);
    ox_biquad_lfshelving2_Qfactor(&ch[1].to, 900.0f, 8.0f, 0.7f, fs);
    ox_biquad_peaking(&ch[2].from, 900.0f, 4.0f, 1.0f, fs);
    ox_biquad_peaking(&ch[2].to, 1000.0f, 6.0f, 1.4f, fs);
    std::vector<float> x(2000);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = float(std::sin(2 * kPi * 400.0 * double(i) / fs) +
                     0.3 * std::sin(2 * kPi * 3000.0 * double(i) / fs));
    for (const Change& k : ch)
    {
        ox_biquad_ss plain, prepared;
        ox_biquad_sstransform(&old, k.from);
        ox_biquad_sstransform(&plain, k.to);
        prepared = plain;
        ox_biquad_ssswitch(&old, &prepared);

        // From zero state the prepared realisation is the new section.
        std::vector<float> imp(300, 0.0f);
        imp[0] = 1.0f;
        EXPECT_LT(max_diff(run_ss(prepared, imp), oxtest::biquad_run(k.to, imp)), 1e-5);

        // Mid-signal: run the old one and hand its state on. The state means
        // the same to the prepared realisation: with no further input both
        // give the same next two outputs (the whole free response of the old
        // section is fixed by them), and with input the output moves only by
        // the change of the direct part. Reading the same state through the
        // plain new realisation jumps.
        const size_t at = 1000;
        std::vector<float> ref(x.size()), sw;
        ox_biquad_ssstate s1 = {0, 0}, s2;
        ox_biquad_filter_ss(&s1, x.data(), ref.data(), int32_t(at), old);
        s2 = s1;
        sw = ref;
        const std::vector<float> quiet(2, 0.0f);
        float yo[2], ys[2], yn[2];
        ox_biquad_ssstate f1 = s1, f2 = s1, f3 = s1;
        ox_biquad_filter_ss(&f1, quiet.data(), yo, 2, old);
        ox_biquad_filter_ss(&f2, quiet.data(), ys, 2, prepared);
        ox_biquad_filter_ss(&f3, quiet.data(), yn, 2, plain);
        const double level = std::fabs(yo[0]) + std::fabs(yo[1]);
        EXPECT_LT(std::fabs(ys[0] - yo[0]) + std::fabs(ys[1] - yo[1]), 1e-5 * level);
        EXPECT_GT(std::fabs(yn[0] - yo[0]) + std::fabs(yn[1] - yo[1]), 1e-2 * level);

        ox_biquad_filter_ss(&s1, x.data() + at, ref.data() + at, int32_t(x.size() - at), old);
        ox_biquad_filter_ss(&s2, x.data() + at, sw.data() + at, int32_t(x.size() - at), prepared);
        EXPECT_NEAR(sw[at] - ref[at], (prepared.D - old.D) * x[at], 1e-5);
        // And it settles on the new filter's own output.
        const std::vector<float> settled = oxtest::biquad_run(k.to, x);
        EXPECT_LT(max_diff(sw, settled, x.size() - 200), 1e-4);
    }

    // An unobservable old realisation (zero output vector) leaves the new one.
    ox_biquad_ss dead = old;
    dead.C1 = dead.C2 = 0.0f;
    ox_biquad_ss keep;
    ox_biquad_sstransform(&keep, ch[0].to);
    nw = keep;
    ox_biquad_ssswitch(&dead, &nw);
    EXPECT_EQ(0, std::memcmp(&nw, &keep, sizeof nw));
}
