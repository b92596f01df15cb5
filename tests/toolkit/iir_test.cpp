#include "ox_iir_internal.h"
#include "ox_iir_response.h"
#include "ox_iir_test_util.h"

#include <memory>

using namespace oxtest;

// Splitting, in place, striding change nothing; a NaN or Inf input spoils only its block.
TEST(IirFilter, BlockSplittingInPlaceAndStrideAreTransparent)
{
    const int n = 1000;
    const std::vector<float> x = noise(n, 7);
    ox_iir_cfNf r;
    ox_iir_cfN p;
    ox_iir_cf2 c2;
    ox_iir_lpshelvingf(&r, 7, 700.0f, 12.0f, 44100.0f);
    ox_iir_lpbutter(&p, 5, 7000.0f, 44100.0f);
    ox_iir_peaking(&c2, 1000.0f, 6.0f, 3.0f, 44100.0f);
    const ox_iir_cf1 c1 = {0.3f, 0.2f, -0.5f};
    const ox_iir_cf3 c3 = {0.1f, 0.3f, 0.3f, 0.1f, -0.6f, 0.2f, -0.03f};
#define OX_RUN(call) [&](float* s, const float* i, float* o, int m) { call; }
    const std::function<void(float*, const float*, float*, int)> runs[] = {
        OX_RUN(ox_iir_filterNf(s, i, o, m, r)),
        OX_RUN(ox_iir_filterN(s, i, o, m, p)),
        OX_RUN(ox_iir_filter1(s, i, o, m, c1)),
        OX_RUN(ox_iir_filter2(s, i, o, m, c2)),
        OX_RUN(ox_iir_filter3(s, i, o, m, c3)),
        OX_RUN(ox_biquad_filter(reinterpret_cast<ox_biquad_state*>(s), i, o, m,
                                ox_biquad_coeffs{c2.b0, c2.b1, c2.b2, c2.a1, c2.a2})),
        OX_RUN({
            // Channel 1 of a two-channel interleaved copy; channel 0 must stay -1.
            std::vector<float> il(2 * (size_t)m, -1.0f);
            for (int k = 0; k < m; ++k) il[2 * k + 1] = i[k];
            ox_iir_filter2_mch(s, il.data() + 1, il.data() + 1, m, 2, c2);
            for (int k = 0; k < m; ++k) o[k] = il[2 * k] == -1.0f ? il[2 * k + 1] : kNaN;
        })};
#undef OX_RUN
    for (const auto& run : runs)
    {
        auto split = [&](const std::vector<float>& in, int m, bool inplace) {
            std::vector<float> st(18, 0.0f), y(inplace ? in : std::vector<float>(n));
            run(st.data(), inplace ? y.data() : in.data(), y.data(), m);
            run(st.data(), (inplace ? y.data() : in.data()) + m, y.data() + m, n - m);
            return y;
        };
        const std::vector<float> whole = split(x, n, false);
        EXPECT_GT(rms(whole.data(), n), 0.01);
        for (int m : {0, 1, 333, 999})
            EXPECT_TRUE(split(x, m, false) == whole && split(x, m, true) == whole) << m;
        std::vector<float> bad = x;
        bad[10] = kNaN, bad[400] = kInf;
        const std::vector<float> y = split(bad, 500, false);
        for (int i = 500; i < n; ++i) ASSERT_TRUE(std::isfinite(y[i])) << i;
    }
}

// Order words are clamped (exact-size heap arrays let the sanitizer see an overrun).
TEST(IirFilter, OrderWordsAndBadArgumentsAreSafe)
{
    const int n = 32;
    std::vector<float> x = noise(n, 3), a(n), b, st(18, 0.5f);
    std::unique_ptr<float[]> st18(new float[18]()), stp(new float[18]());
    std::unique_ptr<ox_iir_cfNf> r(new ox_iir_cfNf());
    std::unique_ptr<ox_iir_cfN> p(new ox_iir_cfN());
    EXPECT_EQ(filter_nf(*r, x), x); // order 0
    ox_iir_lpbutterf(r.get(), 50, 1000.0f, 48000.0f),
        ox_iir_hpshelving(p.get(), 12, 100.0f, 3.0f, 48000.0f);
    EXPECT_TRUE(r->order == 9u && p->order == 9u);
    b = filter_nf(*r, x);
    r->order = 1000000, p->order = 77;
    ox_iir_filterNf(st18.get(), x.data(), a.data(), n, *r);
    EXPECT_EQ(a, b);
    ox_iir_filterN(stp.get(), x.data(), a.data(), n, *p);
    ox_iir_cfN_to_cfNf(r.get(), p.get());
    ox_iir_cfNf bp, lr;
    ox_iir_bpbutterf(&bp, 9, 100.0f, 1000.0f, 48000.0f),
        ox_iir_hplinkrileyf(&lr, 11, 100.0f, 48e3f);
    EXPECT_TRUE(bp.order == 8u && lr.order == 8u);
    ox_iir_filterNf(st.data(), x.data(), b.data(), 0, *r);
    ox_iir_filterNf(st.data(), x.data(), b.data(), -5, *r);
    ox_iir_filterNf(st.data(), nullptr, b.data(), n, *r);
    ox_iir_filter2_mch(st.data(), x.data(), b.data(), n, 0, ox_iir_cf2{1, 0, 0, 0, 0});
    EXPECT_EQ(st, std::vector<float>(18, 0.5f));
    ox_biquad_state bs = {0.5f, 0.5f, 0.5f, 0.5f};
    ox_biquad_filter(&bs, nullptr, b.data(), n, ox_biquad_coeffs{1, 0, 0, 0, 0});
    ox_biquad_filter_mch(&bs, x.data(), b.data(), n, 0, ox_biquad_coeffs{1, 0, 0, 0, 0});
    EXPECT_TRUE(bs.x1 == 0.5f && bs.y2 == 0.5f);
    ox_iir_lpbutterf(nullptr, 2, 1000.0f, 48000.0f);
    ox_biquad_lpbutter2(nullptr, 100.0f, 48000.0f);
    ox_iir_peaking(nullptr, 1000.0f, 3.0f, 1.0f, 48000.0f);
    EXPECT_EQ(ox_iir_cfNtocfX(nullptr, p.get()), 1);
}

// Every record form's magnitude, phase and delay against direct evaluation; analog closed forms.
TEST(IirResponse, DigitalAndAnalogResponses)
{
    const float fs = 44100.0f;
    auto check = [&](auto mag, auto phase, auto delay, const auto& rec, auto h) {
        for (float f = 30.0f; f < 0.5f * fs; f *= 1.37f)
        {
            const cd hf = h(f);
            ASSERT_NEAR(mag(rec, fs, f), std::abs(hf), 2e-4 * std::abs(hf) + 1e-6) << f;
            if (std::abs(hf) <= 1e-3) continue;
            // The summed phase is not wrapped: compare modulo 2π.
            ASSERT_NEAR(std::remainder(phase(rec, fs, f) - std::arg(hf), 2 * M_PI), 0.0, 2e-4) << f;
            // Group delay as −dφ/dω by a central difference of the exact response.
            const double gd = -std::arg(h(f + 0.01) / h(f - 0.01)) / (2.0 * M_PI * 0.02 / fs);
            if (std::abs(hf) <= 1e-2) continue;
            ASSERT_NEAR(delay(rec, fs, f), gd, 2e-3 * std::fabs(gd) + 2e-3) << f;
        }
    };
    auto nf = [&](const ox_iir_cfNf& r) {
        check(ox_iir_freqresponseNf, ox_iir_phaseresponseNf, ox_iir_groupdelayNf, r,
              [&](double f) { return h_cfNf(r, f, fs); });
    };
    ox_iir_cfNf r;
    ox_iir_cfN p;
    ox_iir_cf2 c;
    for (unsigned N : {0u, 1u, 2u, 5u, 9u})
    {
        SCOPED_TRACE(N);
        ox_iir_lpbutterf(&r, N, 0.2f * fs, fs), nf(r);
        ox_iir_hpshelvingf(&r, N, 0.05f * fs, -8.0f, fs), nf(r);
    }
    ox_iir_bsbutterf(&r, 3, 0.1f * fs, 0.2f * fs, fs), nf(r);
    ox_iir_hplinkrileyf(&r, 6, 0.01f * fs, fs), nf(r);
    ox_iir_lpbutter(&p, 4, 8000.0f, fs);
    check(ox_iir_freqresponseN, ox_iir_phaseresponseN, ox_iir_groupdelayN, p,
          [&](double f) { return h_cfN(p, f, fs); });
    ox_iir_peaking(&c, 2000.0f, 9.0f, 1.5f, fs);
    check(ox_iir_freqresponse2, ox_iir_phaseresponse2, ox_iir_groupdelay2, c,
          [&](double f) { return h_cf2(c, f, fs); });
    for (const ox_biquad_coeffs& b : {ox_biquad_coeffs{0.2f, 0.4f, 0.2f, -0.6f, 0.3f},
                                      ox_biquad_coeffs{1.1f, -1.5f, 0.6f, -1.6f, 0.7f}})
        check(ox_biquad_freqresponse, ox_biquad_phaseresponse, ox_biquad_groupdelay, b,
              [&](double f) { return biquad_response(b, 2 * M_PI * f / fs); });
    // Analog order 0 is no filter (shelves: their full gain). A peak is G at the centre,
    // symmetric in log frequency, its cut its inverse, 1 far off or at a zero corner.
    for (int m = 0; m <= 9; ++m)
        for (float f : {50.0f, 700.0f, 1000.0f, 1400.0f, 3000.0f, 1e5f})
        {
            const double x = f / 1000.0, G = std::pow(10.0, 10.0 / 20.0);
            const double lp = m ? shelf_mag(0.0, m, x, true) : 1.0;
            const double hp = m ? shelf_mag(0.0, m, x, false) : 1.0;
            const double ls = m ? shelf_mag(G, m, x, false) : G;
            const double hs = m ? shelf_mag(G, m, x, true) : G;
            EXPECT_NEAR(ox_iir_analoglowpassresponse(m, 1000.0f, f), lp, 1e-6 * lp + 1e-12);
            EXPECT_NEAR(ox_iir_analoghighpassresponse(m, 1000.0f, f), hp, 1e-6 * hp + 1e-12);
            EXPECT_NEAR(ox_iir_analoglowshelvingresponse(m, 1000.0f, 10.0f, f), ls, 1e-6 * ls);
            EXPECT_NEAR(ox_iir_analoghighshelvingresponse(m, 1000.0f, -10.0f, f), 1.0 / hs, 1e-6);
        }
    auto pk = [](float dB, float f, float fc = 1000.0f) {
        return ox_iir_analogpeakingresponse(fc, dB, 2.0f, f);
    };
    EXPECT_NEAR(pk(12.0f, 1000.0f), std::pow(10.0, 12.0 / 20.0), 1e-5);
    EXPECT_NEAR(pk(12.0f, 500.0f), pk(12.0f, 2000.0f), 1e-6);
    EXPECT_NEAR(pk(12.0f, 700.0f) * pk(-12.0f, 700.0f), 1.0, 1e-6);
    EXPECT_TRUE(pk(12.0f, 1e30f) == 1.0f && pk(12.0f, 100.0f, 0.0f) == 1.0f);
    // Huge orders stay finite and sensible.
    EXPECT_EQ(ox_iir_analoglowpassresponse(200, 1000.0f, 2000.0f), 0.0f);
    EXPECT_NEAR(ox_iir_analoglowshelvingresponse(200, 1000.0f, 6.0f, 2000.0f), 1.0f, 1e-6);
    EXPECT_NEAR(ox_iir_analoghighshelvingresponse(3, 0.0f, 6.0f, 0.0f), 1.0f, 1e-6);
}

// Roots rebuild the polynomial (real ones by ascending magnitude, then conjugate pairs); so do
// sections and conversions.
TEST(IirFactorization, RootsSectionsAndConversionsReproduceThePolynomial)
{
    double re[9], im[9];
    for (int trial = 0; trial < 300; ++trial)
    {
        const int N = 1 + trial % 9;
        const std::vector<float> v = noise(size_t(N + 1), uint32_t(trial), 2.0f);
        double q[10], scale = 0.0;
        for (int k = 0; k <= N; ++k) q[k] = v[k], scale = std::max(scale, std::fabs(q[k]));
        if (trial % 7 == 0) q[0] = 0.0; // a root at 0
        ASSERT_EQ(oxiir::polyroots(q, N, re, im), 0);
        std::vector<cd> p(1, q[N]); // Π (x − r), p[k] the coefficient of x^k
        for (int i = 0; i < N; ++i)
        {
            std::vector<cd> next(p.size() + 1, 0.0);
            for (size_t k = 0; k < p.size(); ++k)
                next[k + 1] += p[k], next[k] -= p[k] * cd(re[i], im[i]);
            p = next;
        }
        for (int k = 0; k <= N; ++k)
            ASSERT_LT(std::abs(p[k] - q[k]), 3e-5 * scale) << trial << " " << k;
        int i = 1;
        for (; i < N && im[i] == 0.0; ++i) ASSERT_LE(std::fabs(re[i - 1]), std::fabs(re[i]));
        for (i = (im[0] == 0.0) ? i : 0; i < N; i += 2)
            ASSERT_TRUE(i + 1 < N && re[i] == re[i + 1] && im[i] == -im[i + 1]) << trial;
    }
    const double x2[3] = {0.0, 0.0, 1.0}, sq[3] = {1.0, -2.0, 1.0},
                 bad[2][3] = {{1, INFINITY, 1}, {1, NAN, 1}};
    EXPECT_TRUE(oxiir::polyroots(x2, 2, re, im) == 0 && re[0] == 0.0 && re[1] == 0.0 &&
                im[0] == 0.0 && im[1] == 0.0);
    EXPECT_TRUE(oxiir::polyroots(sq, 2, re, im) == 0 && std::fabs(re[0] - 1.0) < 1e-6 &&
                std::fabs(re[1] - 1.0) < 1e-6);
    for (const auto& q : bad) EXPECT_EQ(oxiir::polyroots(q, 2, re, im), -1);
    // Designs of every order, a complex pair, zeros ±1, a leading zero (a delayed numerator).
    std::vector<ox_iir_cfN> polys;
    ox_iir_cfN p = {2, {0.5f, -0.3f, 0.8f}, {-0.6f, 0.7f}};
    polys.push_back(p);
    p.b[0] = 1.0f, p.b[1] = 0.0f, p.b[2] = -1.0f; // zeros ±1
    polys.push_back(p);
    polys.push_back(ox_iir_cfN{3, {0.0f, 0.4f, 0.1f, -0.2f}, {-0.5f, 0.3f, -0.1f}});
    ox_iir_cfNf r;
    for (unsigned N = 1; N <= 9; ++N)
    {
        ox_iir_lpbutter(&p, N, 12000.0f, 48000.0f), polys.push_back(p);
        ox_iir_hpbutter(&p, N, 14400.0f, 48000.0f), polys.push_back(p);
        ox_iir_lpshelving(&p, N, 9600.0f, 6.0f, 48000.0f), polys.push_back(p);
        ox_iir_hpshelving(&p, N, 5000.0f, -9.0f, 48000.0f), polys.push_back(p);
    }
    const int n = 300;
    for (size_t k = 0; k < polys.size(); ++k)
    {
        const unsigned N = polys[k].order;
        ASSERT_EQ(ox_iir_factorization(&polys[k], &r), 0);
        ASSERT_TRUE(r.order == N && stable_nf(r)) << k;
        std::vector<float> a = filter_nf(r, impulse(n)), b = impulse(n), st(18, 0.0f);
        ox_iir_filterN(st.data(), b.data(), b.data(), n, polys[k]);
        for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], b[i], 1e-4) << k << " " << i;
        float c[7], s6[6] = {}, x[64] = {1.0f};
        ASSERT_EQ(ox_iir_cfNtocfX(c, &polys[k]), N <= 3 ? 0 : 1);
        if (N == 1) ox_iir_filter1(s6, x, x, 64, ox_iir_cf1{c[0], c[1], c[2]});
        if (N == 2) ox_iir_filter2(s6, x, x, 64, ox_iir_cf2{c[0], c[1], c[2], c[3], c[4]});
        if (N == 3)
            ox_iir_filter3(s6, x, x, 64, ox_iir_cf3{c[0], c[1], c[2], c[3], c[4], c[5], c[6]});
        for (int i = 0; i < 64 && N <= 3; ++i) ASSERT_NEAR(x[i], b[i], 1e-6) << k << " " << i;
        ox_iir_cfN_to_cfNf(&r, &polys[k]);
        a = filter_nf(r, impulse(n));
        for (int i = 0; i < n && N <= 2; ++i) ASSERT_NEAR(a[i], b[i], 1e-6) << k << " " << i;
    }
    // Non-finite input is reported and leaves the record alone.
    p.a[1] = kNaN;
    ox_iir_cfNf before;
    std::memset(&before, 0x11, sizeof(before));
    r = before;
    EXPECT_TRUE(ox_iir_factorization(&p, &r) == -3 && std::memcmp(&r, &before, sizeof(r)) == 0 &&
                ox_iir_factorization(nullptr, &r) == -3);
}

TEST(IirUnwrap, RecoversRampsWithoutAllocating)
{
    for (float slope : {-0.9f, 0.37f, 2.5f}) // a wrapped ramp comes back as the ramp
    {
        std::vector<float> w(500), ramp(500);
        for (int i = 0; i < 500; ++i)
            ramp[i] = 0.3f + slope * (float)i, w[i] = (float)std::remainder(ramp[i], 2.0 * M_PI);
        ox_iir_unwrapphase(w.data(), 500);
        for (int i = 0; i < 500; ++i)
            ASSERT_NEAR(w[i], ramp[i], 1e-5f * std::fabs(ramp[i]) + 1e-4f);
    }
    // count < 2 and null do nothing; a NaN stays where it is and the rest goes on.
    float one = 5.0f;
    ox_iir_unwrapphase(&one, 1);
    ox_iir_unwrapphase(nullptr, 10);
    EXPECT_EQ(one, 5.0f);
    std::vector<float> withnan = {0.0f, 3.0f, std::nanf(""), -3.0f, 3.0f};
    ox_iir_unwrapphase(withnan.data(), 5);
    EXPECT_TRUE(std::isnan(withnan[2]) &&
                std::fabs(withnan[4] - withnan[3] - (6.0f - 2.0f * (float)M_PI)) < 1e-5);
}
