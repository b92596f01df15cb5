// State-space sections of both front ends, and the all-pass structures.
#include "ox_biquad_statespace.h"
#include "ox_iir_statespace.h"
#include "ox_iir_test_util.h"

using namespace oxtest;
typedef std::vector<float> Vec;

// Both front ends on nine-float sets (ox_iir_ss2set and ox_biquad_ss share the layout).
static ox_biquad_ss transform(bool iir, const ox_biquad_coeffs& c)
{
    ox_biquad_ss s;
    ox_iir_ss2 r;
    std::memset(&r, 0x7f, sizeof(r));
    if (!iir) ox_biquad_sstransform(&s, c);
    if (iir) ox_iir_ss2transform(&r, ox_iir_cf2{c.b0, c.b1, c.b2, c.a1, c.a2});
    if (iir) std::memcpy(&s, &r.cur, sizeof(s));
    EXPECT_TRUE(!iir || r.flag == 0);
    return s;
}

// Runs x through s from state st (two words, updated), or from zero.
static Vec run(bool iir, const ox_biquad_ss& s, const Vec& x, float* st = nullptr)
{
    float zero[2] = {0.0f, 0.0f};
    st = st ? st : zero;
    Vec y(x.size());
    ox_iir_ss2 r = {};
    std::memcpy(&r.cur, &s, sizeof(s));
    if (iir) ox_iir_ssfilter2(st, x.data(), y.data(), (int)x.size(), r);
    auto* bs = reinterpret_cast<ox_biquad_ssstate*>(st); // {s1, s2}
    if (!iir) ox_biquad_filter_ss(bs, x.data(), y.data(), int32_t(x.size()), s);
    return y;
}

// The new set prepared to take over the old one's running state.
static ox_biquad_ss switched(bool iir, const ox_biquad_ss& old, ox_biquad_ss nw)
{
    ox_iir_ss2 r = {};
    ox_iir_ss2set n;
    std::memcpy(&r.cur, &old, sizeof(old));
    std::memcpy(&n, &nw, sizeof(n));
    if (!iir) ox_biquad_ssswitch(&old, &nw);
    if (!iir) return nw;
    ox_iir_ss2switch(&r, &n);
    EXPECT_TRUE(r.flag == 1 && std::memcmp(&r.next, &n, sizeof(n)) == 0);
    std::memcpy(&nw, &n, sizeof(n));
    return nw;
}

// Largest deviation of y from x run through c's recursion in double, relative to its RMS.
static double rel_error(const ox_biquad_coeffs& c, const Vec& x, const Vec& y)
{
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0, err = 0, pow = 0;
    for (size_t i = 0; i < x.size(); ++i)
    {
        const double v = double(c.b0) * x[i] + double(c.b1) * x1 + double(c.b2) * x2 -
                         double(c.a1) * y1 - double(c.a2) * y2;
        x2 = x1, x1 = x[i], y2 = y1, y1 = v;
        err = std::max(err, std::fabs(double(y[i]) - v));
        pow += v * v;
    }
    return err / std::sqrt(pow / double(x.size()));
}

// Largest difference; a NaN anywhere makes it infinite.
static double max_diff(const Vec& a, const Vec& b)
{
    double m = 0;
    for (size_t i = 0; i < a.size(); ++i)
        m = std::isnan(a[i] - b[i]) ? INFINITY : std::max(m, std::fabs(double(a[i]) - b[i]));
    return m;
}

// Sections with complex, real (both signs), double, near-circle and unstable poles.
static std::vector<ox_biquad_coeffs> sections()
{
    const float fs = 48000.0f;
    std::vector<ox_biquad_coeffs> v(6);
    ox_biquad_peaking(&v[0], 300.0f, -12.0f, 8.0f, fs);
    ox_biquad_hpbutter2(&v[1], 20000.0f, fs);
    ox_biquad_lfshelving2_Qfactor(&v[2], 500.0f, 9.0f, 0.5f, fs);
    ox_biquad_bpbutter1(&v[3], 200.0f, 15000.0f, fs);
    ox_biquad_resonator(&v[4], 60.0f, 0.0f, 20.0f, fs); // |p| ≈ 0.9998
    ox_biquad_allpass2(&v[5], 9000.0f, 3.0f, fs);
    v.push_back({0.5f, -0.2f, 0.1f, -0.3f, -0.4f}); // real poles of both signs
    v.push_back({1.0f, 0.5f, 0.25f, 1.3f, 0.4f});   // poles −0.8, −0.5
    v.push_back({0.5f, 0.0f, -0.5f, -1.0f, 0.25f}); // double pole 0.5
    v.push_back({1.0f, 0.0f, 0.0f, -2.5f, 1.0f});   // poles 2, 0.5 (unstable)
    v.push_back({1.0f, 0.2f, 0.0f, -0.4f, 1.69f});  // |p| = 1.3 (unstable)
    return v;
}

// Sections the tests run: stable and without an exact double pole.
static bool runnable(const ox_biquad_coeffs& c)
{
    return stable2(c.a1, c.a2) && c.a1 * c.a1 != 4.0f * c.a2;
}

// Poles on the unit circle stay finite; an Inf sample spoils its own block only.
TEST(StateSpace, RealisationsMatchDirectForm)
{
    const Vec x = noise(3000, 11), x20(x.begin(), x.begin() + 20);
    for (bool iir : {false, true})
    {
        std::vector<ox_biquad_coeffs> secs = sections();
        const size_t fixed = secs.size();
        // LR2 sections: a double pole left exact or split by a hair by float rounding.
        for (float fs : {48000.0f, 192000.0f})
            for (float fc = 20.0f; fc < 0.45f * fs; fc *= 1.07f)
                for (bool hp : {false, true})
                {
                    ox_iir_cfNf r;
                    secs.emplace_back();
                    (hp ? ox_iir_hplinkrileyf : ox_iir_lplinkrileyf)(&r, 2, fc, fs);
                    (hp ? ox_biquad_hplinkriley2 : ox_biquad_lplinkriley2)(&secs.back(), fc, fs);
                    if (iir) std::memcpy(&secs.back(), &r.sec[0], sizeof(r.sec[0]));
                }
        for (size_t k = 0; k < secs.size(); ++k)
        {
            const ox_biquad_coeffs& c = secs[k];
            const ox_biquad_ss s = transform(iir, c);
            // Double poles are split 1e-3 apart; the biquad front end rounds residues.
            const double tol = c.a1 * c.a1 == 4.0f * c.a2 || !iir ? 2e-3 : 1e-5;
            for (double w = 0.0; w <= M_PI && k < fixed; w += 0.0823)
            {
                const cd h = biquad_response(c, w);
                ASSERT_LT(std::abs(ss2_response(s, w) - h), tol * std::max(1.0, std::abs(h)))
                    << iir << " " << c.a1 << " " << c.a2 << " " << w;
            }
            if (k < fixed && !runnable(c)) continue;
            float st[2] = {0.0f, 0.0f};
            Vec y = run(iir, s, Vec(x.begin(), x.begin() + 1000), st),
                y2 = run(iir, s, Vec(x.begin() + 1000, x.end()), st), bad = {0, 0, 0, INFINITY};
            y.insert(y.end(), y2.begin(), y2.end());
            // Against the stored coefficients run in double.
            ASSERT_LT(rel_error(c, x, y), 2e-3) << iir << " " << c.a1 << " " << c.a2;
            run(iir, s, bad, st);
            EXPECT_LT(max_diff(run(iir, s, x20, st), Vec(y.begin(), y.begin() + 20)), 1e3);
        }
    }
    ox_biquad_coeffs in[2];
    ox_biquad_integrator1(&in[0]), ox_biquad_integrator2(&in[1]);
    for (const auto& c : in) // poles on the unit circle
        EXPECT_LT(rel_error(c, x20, run(false, transform(false, c), x20)), 1e-4);
    for (bool iir : {false, true}) // non-finite coefficients give the pass-through
        EXPECT_EQ(run(iir, transform(iir, {1.0f, NAN, 0.0f, 0.1f, 0.2f}), x20), x20);
    // First-order sets (one with its pole on z = 1, one unstable, one not finite).
    for (const ox_iir_cf1& c : {ox_iir_cf1{0.2f, 0.2f, -0.6f}, ox_iir_cf1{1.0f, -1.0f, 0.9f},
                                ox_iir_cf1{1.0f, 0.5f, -1.0f}, ox_iir_cf1{1.0f, 0.5f, 2.0f},
                                ox_iir_cf1{1.0f, INFINITY, 0.5f}})
    {
        ox_iir_ss1 ss;
        ox_iir_ss1transform(&ss, c);
        const ox_iir_ss1set& s = ss.cur;
        const bool finite = std::isfinite(c.b1);
        EXPECT_TRUE(finite ? std::isfinite(s.B) && s.B > 0.0f : s.A == 0.0f && s.D == 1.0f);
        for (double w = 0.003; w <= M_PI && finite; w += 0.0823)
        {
            const cd want = biquad_response({c.b0, c.b1, 0, c.a1, 0}, w);
            const cd got = ss2_response(ox_biquad_ss{s.A, 0, 0, 0, s.B, 0, s.C, 0, s.D}, w);
            ASSERT_LT(std::abs(got - want), 1e-5 * std::abs(want) + 1e-6) << w;
        }
    }
}

// The switched set keeps C and C·A, so the running state's free response stays the same.
TEST(StateSpace, SwitchKeepsNewResponseAndOldState)
{
    const std::vector<ox_biquad_coeffs> secs = sections();
    const Vec x = noise(2000, 5), quiet(2, 0.0f), rest(x.begin() + 1000, x.end());
    for (bool iir : {false, true})
        for (size_t i = 0; i < secs.size(); ++i)
            for (size_t j : {0, 2, 6})
            {
                const ox_biquad_ss old = transform(iir, secs[i]), plain = transform(iir, secs[j]);
                const ox_biquad_ss next = switched(iir, old, plain);
                EXPECT_TRUE(next.C1 == old.C1 && next.C2 == old.C2 && next.D == plain.D);
                if (!runnable(secs[i])) continue;
                EXPECT_LT(max_diff(run(iir, next, impulse(300)), run(iir, plain, impulse(300))),
                          1e-4 * (1 + std::fabs(secs[j].b0)));
                float s0[2] = {0.0f, 0.0f};
                run(iir, old, Vec(x.begin(), x.begin() + 1000), s0);
                float f1[2] = {s0[0], s0[1]}, f2[2] = {s0[0], s0[1]}, s1[2] = {s0[0], s0[1]};
                const Vec yo = run(iir, old, quiet, f1), ys = run(iir, next, quiet, f2);
                const double level = std::fabs(yo[0]) + std::fabs(yo[1]);
                EXPECT_LT(max_diff(yo, ys), 1e-5 * level + 1e-7) << iir << " " << i << " " << j;
                const Vec a = run(iir, old, rest, s0), b = run(iir, next, rest, s1);
                EXPECT_NEAR(b[0] - a[0], (next.D - old.D) * rest[0], 1e-5);
            }
    // An unobservable old set (zero output vector) leaves the new one as it is.
    for (bool iir : {false, true})
    {
        ox_biquad_ss dead = transform(iir, secs[0]);
        dead.C1 = dead.C2 = 0.0f;
        const ox_biquad_ss keep = transform(iir, secs[2]), got = switched(iir, dead, keep);
        EXPECT_EQ(std::memcmp(&keep, &got, sizeof(keep)), 0) << iir;
    }
    // First-order sets: identical ones switch to themselves, a singular one hands over as is.
    ox_iir_ss1 s1, t1, zc = {};
    ox_iir_ss1transform(&s1, ox_iir_cf1{0.5f, 0.25f, -0.5f});
    ox_iir_ss1transform(&t1, ox_iir_cf1{0.5f, 0.25f, -0.5f});
    ox_iir_ss1set n1 = t1.cur, nz = {0.3f, 0.7f, 0.2f, 1.0f};
    ox_iir_ss1switch(&s1, &n1);
    EXPECT_TRUE(s1.flag == 1 && s1.next.A == 0.5f && s1.next.C == s1.cur.C &&
                std::fabs(s1.next.B - s1.cur.B) < 1e-7);
    ox_iir_ss1switch(&zc, &nz);
    EXPECT_TRUE(zc.flag == 1 && zc.next.A == 0.3f && zc.next.B == 0.7f && zc.next.C == 0.2f);
    // The flag, or the pair's selector, picks the set.
    ox_iir_ss1 sel = {{0, 0, 0, 2.0f}, 0, 0, {0, 0, 0, 3.0f}};
    float st = 0.0f, one = 1.0f, out[2];
    ox_iir_ssfilter1(&st, &one, &out[0], 1, sel), sel.flag = 1;
    ox_iir_ssfilter1(&st, &one, &out[1], 1, sel);
    EXPECT_TRUE(out[0] == 2.0f && out[1] == 3.0f);
    ox_biquad_sspair pair = {transform(false, secs[0]), transform(false, secs[1]), 0};
    for (int which : {0, 1, -7})
    {
        Vec y(x.size());
        ox_biquad_ssstate bs = {0, 0};
        pair.select = which,
        ox_biquad_filter_ss2(&pair, &bs, x.data(), y.data(), int32_t(x.size()));
        EXPECT_EQ(y, run(false, which == 0 ? pair.first : pair.second, x));
    }
}

// Flat magnitude, unit energy over complex outputs; the odd-order split of a Butterworth.
TEST(IirAllPass, StructuresAreFlatAndComplementary)
{
    auto energy = [](const Vec& v) {
        return std::inner_product(v.begin(), v.end(), v.begin(), 0.0);
    };
    const int n = 1024;
    const ox_iir_ap2 c = {-1.2f, 0.81f}, c2 = {0.5f, 0.3f};
    const float coef[4] = {c.a1, c.a2, c2.a1, c2.a2};
    Vec st(12, 0.0f), st2(4, 0.0f), hb = impulse(n);
    float* ptr = st.data();
    for (int k = 0; k < 4; ++k)
    {
        Vec h = impulse(n);
        float* y = h.data();
        std::fill(st.begin(), st.end(), 0.0f);
        if (k == 0) ox_iir_apfilter1(st.data(), y, y, n, -0.7f);
        if (k == 1) ox_iir_apfilter2(st.data(), y, y, n, c);
        if (k == 2) ox_iir_apfilter12(st.data(), st2.data(), y, y, n, 0.4f, c);
        if (k == 3)
            ox_iirapfilter22(coef, &ptr, y, y, n), ox_iirapfilter22(coef, &ptr, &hb[0], &hb[0], n);
        for (const cd& v : naive_dft(std::vector<double>(h.begin(), h.end())))
            ASSERT_NEAR(std::abs(v), 1.0, 1e-3) << k;
    }
    EXPECT_EQ(ptr, st.data() + 12); // two calls walk through a twelve-word state array
    Vec re = impulse(n), im(n, 0.0f), se(32, 0.0f), x = impulse(n), yr(n), yi(n);
    ox_iir_capfilter1(se.data(), re.data(), im.data(), re.data(), im.data(), n, {0.3f, -0.6f});
    EXPECT_NEAR(energy(re) + energy(im), 1.0, 1e-4);
    ox_iir_caprec rec = {3, {0.6f, 0.8f}, {{0.5f, 0.1f}, {-0.2f, 0.7f}, {0.0f, -0.9f}}};
    std::fill(se.begin(), se.end(), 0.0f);
    ox_iir_compevenfilters(se.data(), x.data(), yr.data(), yi.data(), n, rec);
    EXPECT_NEAR(energy(yr) + energy(yi), 1.0, 1e-4);
    rec.count = 1000; // clamped to the record's eight sections
    ox_iir_compevenfilters(se.data(), x.data(), yr.data(), yi.data(), n, rec);
    // (A1 + A2)/2 is the low-pass, (A1 − A2)/2 its power complement: the high-pass, negated.
    x = noise(n, 4);
    for (double fs : {11025.0, 48000.0})
        for (double fc : {0.01 * fs, 0.3 * fs, 0.45 * fs})
            for (unsigned N : {1u, 3u, 5u, 9u})
            {
                ox_iir_cfNf lp, hp;
                ox_iir_lpbutterf(&lp, N, (float)fc, (float)fs);
                ox_iir_hpbutterf(&hp, N, (float)fc, (float)fs);
                ox_iir_aprec r1, r2;
                ASSERT_EQ(ox_iir_apoddtransform(&r1, &r2, lp), 0) << N << " " << fc;
                Vec s1(18, 0.0f), s2(18, 0.0f), a(n), b(n);
                ox_iir_compoddfilters(s1.data(), s2.data(), x.data(), a.data(), b.data(), 100, r1,
                                      r2);
                ox_iir_compoddfilters(s1.data(), s2.data(), x.data() + 100, a.data() + 100,
                                      b.data() + 100, n - 100, r1, r2);
                const Vec yl = filter_nf(lp, x), yh = filter_nf(hp, x);
                for (int i = 0; i < n; ++i)
                    ASSERT_TRUE(std::fabs(a[i] - yl[i]) < 1e-4 && std::fabs(b[i] + yh[i]) < 1e-4)
                        << N << " " << fc << " " << i;
            }
    // Even orders, shelves and non-finite records are refused; n = 0 touches nothing.
    ox_iir_cfNf sh, lp;
    ox_iir_aprec r1, r2;
    ox_iir_lpshelvingf(&sh, 3, 1000.0f, 6.0f, 48000.0f),
        ox_iir_lpbutterf(&lp, 4, 1000.0f, 48000.0f);
    EXPECT_TRUE(ox_iir_apoddtransform(&r1, &r2, sh) == -3 &&
                ox_iir_apoddtransform(&r1, &r2, lp) == -3 && r1.order == 0 && r2.order == 0);
    ox_iir_lpbutterf(&lp, 3, 1000.0f, 48000.0f);
    lp.sec[0].a1 = std::nanf("");
    EXPECT_EQ(ox_iir_apoddtransform(&r1, &r2, lp), -3);
    Vec s1(18, 0.25f), s2(18, 0.5f), in(4, 1.0f), a(4, 7.0f), b(4, 8.0f);
    ox_iir_compoddfilters(s1.data(), s2.data(), in.data(), a.data(), b.data(), 0, r1, r2);
    EXPECT_TRUE(s1 == Vec(18, 0.25f) && s2 == Vec(18, 0.5f) && a == Vec(4, 7.0f) &&
                b == Vec(4, 8.0f));
    ox_iir_apeventransform();
    ox_iir_powcomp();
}
