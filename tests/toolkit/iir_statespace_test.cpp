#include "ox_iir.h"
#include "ox_iir_statespace.h"
#include "ox_iir_test_util.h"
#include "ox_test_biquad.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <vector>

using oxtest::cd;
using oxtest::h_cf2;

namespace
{

// D + C·(zI − A)⁻¹·B of a second-order set on the unit circle, in double.
cd h_ss2(const ox_iir_ss2set& s, double f, double fs)
{
    const cd z = std::polar(1.0, 2.0 * M_PI * f / fs);
    const cd m00 = z - (double)s.A11, m01 = -(double)s.A12, m10 = -(double)s.A21,
             m11 = z - (double)s.A22;
    const cd det = m00 * m11 - m01 * m10;
    const cd v0 = (m11 * (double)s.B1 - m01 * (double)s.B2) / det;
    const cd v1 = (-m10 * (double)s.B1 + m00 * (double)s.B2) / det;
    return (double)s.D + (double)s.C1 * v0 + (double)s.C2 * v1;
}

cd h_ss1(const ox_iir_ss1set& s, double f, double fs)
{
    const cd z = std::polar(1.0, 2.0 * M_PI * f / fs);
    return (double)s.D + (double)s.C * (double)s.B / (z - (double)s.A);
}

std::vector<float> impulse(int n)
{
    std::vector<float> x(n, 0.0f);
    x[0] = 1.0f;
    return x;
}

double energy(const std::vector<float>& x)
{
    double e = 0.0;
    for (float v : x) e += (double)v * v;
    return e;
}

// Magnitudes of the DFT of x at bins 0 … n/2.
std::vector<double> spectrum(const std::vector<float>& x)
{
    const std::vector<cd> X = oxtest::naive_dft(std::vector<double>(x.begin(), x.end()));
    std::vector<double> m;
    for (const cd& v : X) m.push_back(std::abs(v));
    return m;
}

// Second-order sections with real, complex, double and unstable poles.
std::vector<ox_iir_cf2> sections()
{
    std::vector<ox_iir_cf2> v;
    ox_iir_cf2 c;
    ox_iir_peaking(&c, 1000.0f, 9.0f, 4.0f, 48000.0f);
    v.push_back(c);
    ox_iir_hpbutter2(&c, 15000.0f, 48000.0f);
    v.push_back(c);
    v.push_back(ox_iir_cf2{0.3f, -0.2f, 0.1f, -0.5f, 0.06f}); // poles 0.3, 0.2
    v.push_back(ox_iir_cf2{1.0f, 0.5f, 0.25f, 1.3f, 0.4f});   // poles −0.8, −0.5
    v.push_back(ox_iir_cf2{0.5f, 0.0f, -0.5f, -1.0f, 0.25f}); // double pole 0.5
    v.push_back(ox_iir_cf2{1.0f, 0.0f, 0.0f, -2.5f, 1.0f});   // poles 2, 0.5 (unstable)
    v.push_back(ox_iir_cf2{1.0f, 0.2f, 0.0f, -0.4f, 1.69f});  // |p| = 1.3 (unstable)
    return v;
}

} // namespace

TEST(IirStateSpace, RealisationsMatchDirectForm)
{
    const double fs = 48000.0;
    for (const ox_iir_cf2& c : sections())
    {
        ox_iir_ss2 ss;
        std::memset(&ss, 0x7f, sizeof(ss));
        ox_iir_ss2transform(&ss, c);
        EXPECT_EQ(ss.flag, 0);
        const bool dbl = c.a1 * c.a1 == 4.0f * c.a2;
        for (double f = 20.0; f < fs / 2; f *= 1.5)
        {
            const cd want = h_cf2(c, f, fs), got = h_ss2(ss.cur, f, fs);
            // A double pole is realised as two poles 1e-3 apart.
            ASSERT_NEAR(std::abs(got - want), 0.0,
                        (dbl ? 2e-3 : 1e-5) * std::max(1.0, std::abs(want)))
                << c.a1 << " " << c.a2 << " " << f;
        }
        // Running it gives the direct-form output (stable sections only).
        if (std::fabs(c.a2) < 1.0f && std::fabs(c.a1) < 1.0f + c.a2 && !dbl)
        {
            const std::vector<float> x = oxtest::noise(512, 3);
            std::vector<float> y1(512), y2(512), s1(4, 0.0f), s2(2, 0.0f);
            ox_iir_filter2(s1.data(), x.data(), y1.data(), 512, c);
            ox_iir_ssfilter2(s2.data(), x.data(), y2.data(), 256, ss);
            ox_iir_ssfilter2(s2.data(), x.data() + 256, y2.data() + 256, 256, ss);
            for (int i = 0; i < 512; ++i) ASSERT_NEAR(y1[i], y2[i], 1e-4) << i;
        }
    }
    for (const ox_iir_cf1& c : {ox_iir_cf1{0.2f, 0.2f, -0.6f}, ox_iir_cf1{1.0f, -1.0f, 0.9f},
                                ox_iir_cf1{1.0f, 0.5f, -1.0f}, ox_iir_cf1{1.0f, 0.5f, 2.0f}})
    {
        ox_iir_ss1 ss;
        ox_iir_ss1transform(&ss, c);
        for (double f = 20.0; f < fs / 2; f *= 1.5)
        {
            const ox_iir_cf2 c2 = {c.b0, c.b1, 0.0f, c.a1, 0.0f};
            const cd want = h_cf2(c2, f, fs);
            ASSERT_NEAR(std::abs(h_ss1(ss.cur, f, fs) - want), 0.0, 1e-5 * std::abs(want) + 1e-6);
        }
        EXPECT_TRUE(std::isfinite(ss.cur.B) && ss.cur.B > 0.0f);
    }
    // Non-finite coefficients give a pass-through, never a stale or NaN set.
    ox_iir_ss2 ss;
    ox_iir_ss2transform(&ss, ox_iir_cf2{1.0f, 0.5f, 0.0f, -1.0f, 0.25f});
    ox_iir_ss2transform(&ss, ox_iir_cf2{1.0f, 0.0f, 0.0f, std::nanf(""), 0.5f});
    EXPECT_TRUE(ss.cur.A11 == 0.0f && ss.cur.B1 == 0.0f && ss.cur.C1 == 0.0f && ss.cur.D == 1.0f);
    ox_iir_ss1 s1;
    ox_iir_ss1transform(&s1, ox_iir_cf1{1.0f, std::numeric_limits<float>::infinity(), 0.5f});
    EXPECT_TRUE(s1.cur.A == 0.0f && s1.cur.D == 1.0f);
}

// Linkwitz-Riley sections of order 2 have a double pole, which float rounding of a2 turns
// into two poles a hair apart (real or complex). Their state-space form must still give the
// direct form's output, measured against the stored coefficients run in double.
TEST(IirStateSpace, NearDoublePolesKeepTheirResponse)
{
    const std::vector<float> x = oxtest::noise(3000, 21);
    for (float fs : {48000.0f, 192000.0f})
        for (float fc = 20.0f; fc < 0.45f * fs; fc *= 1.07f)
            for (bool hp : {false, true})
            {
                ox_iir_cfNf r;
                (hp ? ox_iir_hplinkrileyf : ox_iir_lplinkrileyf)(&r, 2, fc, fs);
                const ox_iir_cf2 c = r.sec[0];
                ox_iir_ss2 ss;
                ox_iir_ss2transform(&ss, c);
                std::vector<float> y(x.size());
                float st[2] = {0.0f, 0.0f};
                ox_iir_ssfilter2(st, x.data(), y.data(), (int)x.size(), ss);
                const ox_biquad_coeffs bc = {c.b0, c.b1, c.b2, c.a1, c.a2};
                ASSERT_LT(oxtest::biquad_rel_error(bc, x, y), 2e-3)
                    << "fc=" << fc << " fs=" << fs << " hp=" << hp;
            }
}

TEST(IirStateSpace, SwitchingKeepsTheNewTransferFunctionAndTheRunningOutput)
{
    const double fs = 48000.0;
    const std::vector<ox_iir_cf2> secs = sections();
    for (size_t i = 0; i < secs.size(); ++i)
        for (size_t j = 0; j < 2; ++j)
        {
            ox_iir_ss2 a, b;
            ox_iir_ss2transform(&a, secs[i]);
            ox_iir_ss2transform(&b, secs[j]);
            ox_iir_ss2set next = b.cur;
            ox_iir_ss2switch(&a, &next);
            EXPECT_EQ(a.flag, 1);
            EXPECT_EQ(std::memcmp(&a.next, &next, sizeof(next)), 0);
            // The prepared set realises the new section, with the old output vector. (From
            // the double pole, split into poles 1e-3 apart, the transform is too ill-
            // conditioned for float coefficients to keep this precision.)
            const bool ill = secs[i].a1 * secs[i].a1 == 4.0f * secs[i].a2;
            for (double f = 20.0; f < fs / 2 && !ill; f *= 1.5)
            {
                const cd want = h_ss2(b.cur, f, fs);
                ASSERT_NEAR(std::abs(h_ss2(a.next, f, fs) - want), 0.0,
                            2e-4 * std::max(1.0, std::abs(want)))
                    << i << " " << j << " " << f;
            }
            EXPECT_EQ(a.next.C1, a.cur.C1);
            EXPECT_EQ(a.next.C2, a.cur.C2);
            EXPECT_EQ(a.next.D, b.cur.D);
        }
    // Two identical sets (pole 0.5): switching changes nothing, the pole stays at 0.5.
    ox_iir_ss1 s1, t1;
    ox_iir_ss1transform(&s1, ox_iir_cf1{0.5f, 0.25f, -0.5f});
    ox_iir_ss1transform(&t1, ox_iir_cf1{0.5f, 0.25f, -0.5f});
    ox_iir_ss1set n1 = t1.cur;
    ox_iir_ss1switch(&s1, &n1);
    EXPECT_EQ(s1.flag, 1);
    EXPECT_EQ(s1.next.A, 0.5f);
    EXPECT_NEAR(s1.next.B, s1.cur.B, 1e-7);
    EXPECT_EQ(s1.next.C, s1.cur.C);
    ox_iir_ss2 s2, t2;
    ox_iir_ss2transform(&s2, secs[0]);
    ox_iir_ss2transform(&t2, secs[0]);
    ox_iir_ss2set n2 = t2.cur;
    ox_iir_ss2switch(&s2, &n2);
    const float* p = &s2.next.A11;
    const float* q = &s2.cur.A11;
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(p[k], q[k], 1e-5 * (1.0 + std::fabs(q[k]))) << k;

    // Mid-signal: the first output of the new set differs from the old one's only by
    // (D′ − D)·x, and from zero state the new set gives the new impulse response.
    const std::vector<float> x = oxtest::noise(400, 9);
    ox_iir_ss2 a, b;
    ox_iir_ss2transform(&a, secs[0]);
    ox_iir_ss2transform(&b, secs[3]);
    std::vector<float> st(2, 0.0f), y(400), yold(400);
    ox_iir_ssfilter2(st.data(), x.data(), y.data(), 200, a);
    std::vector<float> st_old = st;
    ox_iir_ssfilter2(st_old.data(), x.data() + 200, yold.data() + 200, 1, a);
    ox_iir_ss2set nb = b.cur;
    ox_iir_ss2switch(&a, &nb);
    ox_iir_ssfilter2(st.data(), x.data() + 200, y.data() + 200, 200, a);
    EXPECT_NEAR(y[200] - yold[200], (b.cur.D - a.cur.D) * x[200], 1e-5);
    std::vector<float> z0(2, 0.0f), h1 = impulse(64), h2 = impulse(64), sd(4, 0.0f);
    ox_iir_ssfilter2(z0.data(), h1.data(), h1.data(), 64, a);
    ox_iir_filter2(sd.data(), h2.data(), h2.data(), 64, secs[3]);
    for (int i = 0; i < 64; ++i) ASSERT_NEAR(h1[i], h2[i], 1e-5) << i;

    // A singular current set (C = 0): the new set is used as it is, and the flag is set.
    ox_iir_ss1 zc = {};
    ox_iir_ss1set nz = {0.3f, 0.7f, 0.2f, 1.0f};
    ox_iir_ss1switch(&zc, &nz);
    EXPECT_EQ(zc.flag, 1);
    EXPECT_TRUE(zc.next.A == 0.3f && zc.next.B == 0.7f && zc.next.C == 0.2f && zc.next.D == 1.0f);
    ox_iir_ss2 zc2 = {};
    ox_iir_ss2set nz2 = b.cur;
    ox_iir_ss2switch(&zc2, &nz2);
    EXPECT_EQ(zc2.flag, 1);
    EXPECT_EQ(std::memcmp(&zc2.next, &b.cur, sizeof(nz2)), 0);
    // The flag picks the set.
    ox_iir_ss1 sel = {};
    sel.cur = ox_iir_ss1set{0.0f, 0.0f, 0.0f, 2.0f};
    sel.next = ox_iir_ss1set{0.0f, 0.0f, 0.0f, 3.0f};
    float s = 0.0f, one = 1.0f, out = 0.0f;
    ox_iir_ssfilter1(&s, &one, &out, 1, sel);
    EXPECT_EQ(out, 2.0f);
    sel.flag = 1;
    ox_iir_ssfilter1(&s, &one, &out, 1, sel);
    EXPECT_EQ(out, 3.0f);
}

TEST(IirAllPass, StructuresAreFlatWithUnitEnergy)
{
    const int n = 1024;
    auto check = [&](const std::vector<float>& h, const char* what) {
        EXPECT_NEAR(energy(h), 1.0, 1e-4) << what;
        for (double m : spectrum(h)) ASSERT_NEAR(m, 1.0, 1e-3) << what;
    };
    const ox_iir_ap2 c = {-1.2f, 0.81f}, c2 = {0.5f, 0.3f};
    std::vector<float> h = impulse(n), st(6, 0.0f), st2(4, 0.0f);
    ox_iir_apfilter1(st.data(), h.data(), h.data(), n, -0.7f);
    check(h, "ap1");
    h = impulse(n);
    std::fill(st.begin(), st.end(), 0.0f);
    ox_iir_apfilter2(st.data(), h.data(), h.data(), n, c);
    check(h, "ap2");
    h = impulse(n);
    std::fill(st.begin(), st.end(), 0.0f);
    ox_iir_apfilter12(st.data(), st2.data(), h.data(), h.data(), n, 0.4f, c);
    check(h, "ap12");
    // Two calls walk through a twelve-word state array.
    std::vector<float> st12(12, 0.0f), ha = impulse(n), hb = impulse(n);
    const float coef[4] = {c.a1, c.a2, c2.a1, c2.a2};
    float* ptr = st12.data();
    ox_iirapfilter22(coef, &ptr, ha.data(), ha.data(), n);
    ox_iirapfilter22(coef, &ptr, hb.data(), hb.data(), n);
    EXPECT_EQ(ptr, st12.data() + 12);
    check(ha, "ap22");
    EXPECT_EQ(ha, hb);
    // Complex first-order all-pass: |out|² sums to 1.
    std::vector<float> re = impulse(n), im(n, 0.0f), cs(4, 0.0f);
    ox_iir_capfilter1(cs.data(), re.data(), im.data(), re.data(), im.data(), n,
                      ox_iir_cpx{0.3f, -0.6f});
    EXPECT_NEAR(energy(re) + energy(im), 1.0, 1e-4);
    // A cascade of complex all-passes with a unit rotation keeps the energy too.
    ox_iir_caprec rec = {};
    rec.count = 3;
    rec.rot = ox_iir_cpx{0.6f, 0.8f};
    rec.c[0] = ox_iir_cpx{0.5f, 0.1f};
    rec.c[1] = ox_iir_cpx{-0.2f, 0.7f};
    rec.c[2] = ox_iir_cpx{0.0f, -0.9f};
    std::vector<float> se(32, 0.0f), x = impulse(n), yr(n), yi(n);
    ox_iir_compevenfilters(se.data(), x.data(), yr.data(), yi.data(), n, rec);
    EXPECT_NEAR(energy(yr) + energy(yi), 1.0, 1e-4);
    rec.count = 1000; // clamped to the record's eight sections
    ox_iir_compevenfilters(se.data(), x.data(), yr.data(), yi.data(), n, rec);
}

TEST(IirAllPass, OddOrderSplitIsAPowerComplementaryButterworthPair)
{
    const int n = 1024;
    for (double fs : {11025.0, 48000.0})
        for (double fc : {0.01 * fs, 0.2 * fs, 0.3 * fs, 0.45 * fs})
            for (unsigned N : {1u, 3u, 5u, 7u, 9u})
            {
                ox_iir_cfNf lp;
                ox_iir_lpbutterf(&lp, N, (float)fc, (float)fs);
                ox_iir_aprec r1, r2;
                ASSERT_EQ(ox_iir_apoddtransform(&r1, &r2, lp), 0) << N << " " << fc;
                EXPECT_EQ(r1.order + r2.order, (int)N);
                // The branches' transfer functions, evaluated from the records.
                const double tc = std::tan(M_PI * fc / fs);
                for (double f = 10.0; f < fs / 2; f *= 1.1)
                {
                    const cd zi = oxtest::zinv(f, fs);
                    cd A1 = ((double)r1.a + zi) / (1.0 + (double)r1.a * zi), A2 = 1.0;
                    auto ap2 = [&](const ox_iir_ap2& c) {
                        return ((double)c.a2 + (double)c.a1 * zi + zi * zi) /
                               (1.0 + (double)c.a1 * zi + (double)c.a2 * zi * zi);
                    };
                    for (int j = 0; j < r1.order / 2; ++j) A1 *= ap2(r1.sec[j]);
                    for (int j = 0; j < r2.order / 2; ++j) A2 *= ap2(r2.sec[j]);
                    const double a = std::abs(A1 + A2) / 2, b = std::abs(A1 - A2) / 2;
                    const double x2 = std::pow(std::tan(M_PI * f / fs) / tc, 2.0 * N);
                    ASSERT_NEAR(a * a + b * b, 1.0, 1e-5) << N << " " << fc << " " << f;
                    // Within the accuracy of the float coefficients.
                    ASSERT_NEAR(a, 1.0 / std::sqrt(1.0 + x2), 1e-3) << N << " " << fc << " " << f;
                }
                // Running both branches gives the cascade's low-pass output, in two blocks.
                std::vector<float> s1(18, 0.0f), s2(18, 0.0f), sl(18, 0.0f), a(n), b(n), y(n);
                const std::vector<float> x = oxtest::noise(n, 4);
                ox_iir_compoddfilters(s1.data(), s2.data(), x.data(), a.data(), b.data(), 100, r1,
                                      r2);
                ox_iir_compoddfilters(s1.data(), s2.data(), x.data() + 100, a.data() + 100,
                                      b.data() + 100, n - 100, r1, r2);
                ox_iir_filterNf(sl.data(), x.data(), y.data(), n, lp);
                for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], y[i], 2e-3) << N << " " << i;
            }
    // Even orders, filters that do not split (a shelf) and non-finite ones are refused with
    // safe empty records.
    ox_iir_cfNf sh;
    ox_iir_lpshelvingf(&sh, 3, 1000.0f, 6.0f, 48000.0f);
    ox_iir_aprec q1, q2;
    EXPECT_EQ(ox_iir_apoddtransform(&q1, &q2, sh), -3);
    ox_iir_cfNf lp;
    ox_iir_lpbutterf(&lp, 4, 1000.0f, 48000.0f);
    ox_iir_aprec r1, r2;
    EXPECT_EQ(ox_iir_apoddtransform(&r1, &r2, lp), -3);
    EXPECT_TRUE(r1.order == 0 && r2.order == 0);
    ox_iir_lpbutterf(&lp, 3, 1000.0f, 48000.0f);
    lp.sec[0].a1 = std::nanf("");
    EXPECT_EQ(ox_iir_apoddtransform(&r1, &r2, lp), -3);
    // n = 0 leaves outputs and states alone.
    std::vector<float> s1(18, 0.25f), s2(18, 0.5f), x(4, 1.0f), a(4, 7.0f), b(4, 8.0f);
    ox_iir_compoddfilters(s1.data(), s2.data(), x.data(), a.data(), b.data(), 0, r1, r2);
    EXPECT_EQ(s1, std::vector<float>(18, 0.25f));
    EXPECT_EQ(s2, std::vector<float>(18, 0.5f));
    EXPECT_EQ(a, std::vector<float>(4, 7.0f));
    EXPECT_EQ(b, std::vector<float>(4, 8.0f));
    ox_iir_apeventransform();
    ox_iir_powcomp();
}
