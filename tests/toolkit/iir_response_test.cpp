#include "ox_iir.h"
#include "ox_iir_internal.h"
#include "ox_iir_response.h"
#include "ox_iir_test_util.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using oxtest::cd;
using oxtest::h_cf2;
using oxtest::h_cfN;
using oxtest::h_cfNf;

namespace
{

// A factored design of every kind the module makes, for the response checks.
std::vector<ox_iir_cfNf> some_designs(float fs)
{
    std::vector<ox_iir_cfNf> v;
    ox_iir_cfNf r;
    for (unsigned N : {0u, 1u, 2u, 5u, 9u})
    {
        ox_iir_lpbutterf(&r, N, 0.2f * fs, fs);
        v.push_back(r);
        ox_iir_hpshelvingf(&r, N, 0.05f * fs, -8.0f, fs);
        v.push_back(r);
    }
    ox_iir_bsbutterf(&r, 3, 0.1f * fs, 0.2f * fs, fs);
    v.push_back(r);
    ox_iir_hplinkrileyf(&r, 6, 0.01f * fs, fs);
    v.push_back(r);
    return v;
}

} // namespace

TEST(IirResponse, MagnitudePhaseAndDelayMatchDirectEvaluation)
{
    const float fs = 44100.0f;
    for (const ox_iir_cfNf& r : some_designs(fs))
        for (float f = 30.0f; f < 0.5f * fs; f *= 1.37f)
        {
            const cd h = h_cfNf(r, f, fs);
            ASSERT_NEAR(ox_iir_freqresponseNf(r, fs, f), std::abs(h), 2e-4 * std::abs(h) + 1e-6)
                << r.order << " " << f;
            // The summed phase is not wrapped: compare modulo 2π.
            const double dp =
                std::remainder(ox_iir_phaseresponseNf(r, fs, f) - std::arg(h), 2.0 * M_PI);
            if (std::abs(h) > 1e-3)
            {
                ASSERT_NEAR(dp, 0.0, 1e-3) << r.order << " " << f;
            }
            // Group delay as −dφ/dω by a central difference of the exact response.
            const double df = 0.01, dw = 2.0 * M_PI * 2.0 * df / fs;
            const double gd = -std::arg(h_cfNf(r, f + df, fs) / h_cfNf(r, f - df, fs)) / dw;
            if (std::abs(h) > 1e-2)
            {
                ASSERT_NEAR(ox_iir_groupdelayNf(r, fs, f), gd, 2e-3 * std::fabs(gd) + 2e-3)
                    << r.order << " " << f;
            }
        }
    // Polynomial and single-section forms.
    ox_iir_cfN p;
    ox_iir_lpbutter(&p, 4, 8000.0f, fs);
    ox_iir_cf2 c;
    ox_iir_peaking(&c, 2000.0f, 9.0f, 1.5f, fs);
    for (float f = 30.0f; f < 0.5f * fs; f *= 1.37f)
    {
        const cd hp = h_cfN(p, f, fs), hc = h_cf2(c, f, fs);
        ASSERT_NEAR(ox_iir_freqresponseN(p, fs, f), std::abs(hp), 2e-4 * std::abs(hp) + 1e-6);
        ASSERT_NEAR(ox_iir_freqresponse2(c, fs, f), std::abs(hc), 2e-4 * std::abs(hc));
        ASSERT_NEAR(std::remainder(ox_iir_phaseresponseN(p, fs, f) - std::arg(hp), 2 * M_PI), 0.0,
                    1e-3);
        ASSERT_NEAR(ox_iir_phaseresponse2(c, fs, f), std::arg(hc), 1e-4);
        const double dw = 2.0 * M_PI * 0.02 / fs;
        const double gdp = -std::arg(h_cfN(p, f + 0.01, fs) / h_cfN(p, f - 0.01, fs)) / dw;
        const double gdc = -std::arg(h_cf2(c, f + 0.01, fs) / h_cf2(c, f - 0.01, fs)) / dw;
        if (std::abs(hp) > 1e-2)
        {
            ASSERT_NEAR(ox_iir_groupdelayN(p, fs, f), gdp, 2e-3 * std::fabs(gdp) + 2e-3);
        }
        ASSERT_NEAR(ox_iir_groupdelay2(c, fs, f), gdc, 2e-3 * std::fabs(gdc) + 2e-3);
    }
    ox_iir_cfNf zero = {};
    EXPECT_EQ(ox_iir_freqresponseNf(zero, fs, 1000.0f), 1.0f);
}

TEST(IirResponse, AnalogPrototypes)
{
    for (int m = 1; m <= 9; ++m)
    {
        EXPECT_NEAR(ox_iir_analoglowpassresponse(m, 1000.0f, 1000.0f), M_SQRT1_2, 1e-6);
        EXPECT_NEAR(ox_iir_analoghighpassresponse(m, 1000.0f, 1000.0f), M_SQRT1_2, 1e-6);
        // Far below the sample rate the bilinear designs follow their prototypes.
        ox_iir_cfNf lp, hp, ls, hs;
        const float fs = 192000.0f;
        ox_iir_lpbutterf(&lp, (unsigned)m, 1000.0f, fs);
        ox_iir_hpbutterf(&hp, (unsigned)m, 1000.0f, fs);
        ox_iir_lpshelvingf(&ls, (unsigned)m, 1000.0f, 10.0f, fs);
        ox_iir_hpshelvingf(&hs, (unsigned)m, 1000.0f, -10.0f, fs);
        for (float f : {200.0f, 700.0f, 1400.0f, 3000.0f})
        {
            EXPECT_NEAR(ox_iir_analoglowpassresponse(m, 1000.0f, f), std::abs(h_cfNf(lp, f, fs)),
                        3e-3);
            EXPECT_NEAR(ox_iir_analoghighpassresponse(m, 1000.0f, f), std::abs(h_cfNf(hp, f, fs)),
                        3e-3);
            EXPECT_NEAR(ox_iir_analoglowshelvingresponse(m, 1000.0f, 10.0f, f),
                        std::abs(h_cfNf(ls, f, fs)), 1e-2);
            EXPECT_NEAR(ox_iir_analoghighshelvingresponse(m, 1000.0f, -10.0f, f),
                        std::abs(h_cfNf(hs, f, fs)), 1e-2);
        }
    }
    // Order 0 is no filter: pass-throughs give 1, shelves their full gain (or its inverse).
    EXPECT_EQ(ox_iir_analoglowpassresponse(0, 1000.0f, 5000.0f), 1.0f);
    EXPECT_NEAR(ox_iir_analoglowshelvingresponse(0, 1000.0f, 6.0f, 50.0f), 1.9952623f, 1e-6);
    EXPECT_NEAR(ox_iir_analoghighshelvingresponse(0, 1000.0f, -6.0f, 50.0f), 0.5011872f, 1e-6);
    // Peak: G at the centre, symmetric in log frequency, a cut the inverse of the boost.
    EXPECT_NEAR(ox_iir_analogpeakingresponse(1000.0f, 12.0f, 2.0f, 1000.0f), 3.9810717f, 1e-5);
    EXPECT_NEAR(ox_iir_analogpeakingresponse(1000.0f, 12.0f, 2.0f, 500.0f),
                ox_iir_analogpeakingresponse(1000.0f, 12.0f, 2.0f, 2000.0f), 1e-6);
    EXPECT_NEAR(ox_iir_analogpeakingresponse(1000.0f, 12.0f, 2.0f, 700.0f) *
                    ox_iir_analogpeakingresponse(1000.0f, -12.0f, 2.0f, 700.0f),
                1.0, 1e-6);
    // Far from the centre, at a zero corner or huge orders: finite and sensible.
    EXPECT_NEAR(ox_iir_analogpeakingresponse(1000.0f, 12.0f, 2.0f, 1e30f), 1.0f, 1e-6);
    EXPECT_NEAR(ox_iir_analogpeakingresponse(0.0f, 12.0f, 2.0f, 100.0f), 1.0f, 1e-6);
    EXPECT_EQ(ox_iir_analoglowpassresponse(200, 1000.0f, 2000.0f), 0.0f);
    EXPECT_NEAR(ox_iir_analoglowshelvingresponse(200, 1000.0f, 6.0f, 2000.0f), 1.0f, 1e-6);
    EXPECT_NEAR(ox_iir_analoghighshelvingresponse(3, 0.0f, 6.0f, 0.0f), 1.0f, 1e-6);
}

// Rebuilds Π (x − r) from found roots.
static std::vector<cd> from_roots(const double* re, const double* im, int N, double lead)
{
    std::vector<cd> p(1, lead);
    for (int i = 0; i < N; ++i)
    {
        std::vector<cd> q(p.size() + 1, 0.0);
        for (size_t k = 0; k < p.size(); ++k)
        {
            q[k + 1] += p[k];
            q[k] -= p[k] * cd(re[i], im[i]);
        }
        p = q;
    }
    return p; // p[k]: coefficient of x^k
}

TEST(IirRoots, RebuiltPolynomialEqualsInput)
{
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (int trial = 0; trial < 300; ++trial)
    {
        const int N = 1 + trial % 9;
        double q[10], re[9], im[9];
        for (int k = 0; k <= N; ++k) q[k] = u(rng);
        if (trial % 7 == 0) q[0] = 0.0; // a root at 0
        ASSERT_EQ(oxiir::polyroots(q, N, re, im), 0);
        const std::vector<cd> p = from_roots(re, im, N, q[N]);
        double scale = 0.0;
        for (int k = 0; k <= N; ++k) scale = std::max(scale, std::fabs(q[k]));
        for (int k = 0; k <= N; ++k)
        {
            ASSERT_NEAR(p[k].real(), q[k], 2e-5 * scale) << trial << " " << k;
            ASSERT_NEAR(p[k].imag(), 0.0, 2e-5 * scale);
        }
        // Real roots first by ascending magnitude, then adjacent conjugate pairs.
        int i = 0;
        for (; i < N && im[i] == 0.0; ++i)
            if (i > 0)
            {
                ASSERT_LE(std::fabs(re[i - 1]), std::fabs(re[i]));
            }
        for (; i < N; i += 2)
        {
            ASSERT_LT(i + 1, N);
            ASSERT_EQ(re[i], re[i + 1]);
            ASSERT_EQ(im[i], -im[i + 1]);
        }
    }
    // Double roots, including one at 0 (the 2 × 2 block with p = q = 0).
    double re[9], im[9];
    const double x2[3] = {0.0, 0.0, 1.0}, sq[3] = {1.0, -2.0, 1.0};
    ASSERT_EQ(oxiir::polyroots(x2, 2, re, im), 0);
    EXPECT_TRUE(re[0] == 0.0 && re[1] == 0.0 && im[0] == 0.0 && im[1] == 0.0);
    ASSERT_EQ(oxiir::polyroots(sq, 2, re, im), 0);
    EXPECT_NEAR(re[0], 1.0, 1e-6);
    EXPECT_NEAR(re[1], 1.0, 1e-6);
    // Non-finite coefficients are refused rather than iterated for ever.
    const double bad[3] = {1.0, std::numeric_limits<double>::infinity(), 1.0};
    const double nan[3] = {1.0, std::nan(""), 1.0};
    EXPECT_EQ(oxiir::polyroots(bad, 2, re, im), -1);
    EXPECT_EQ(oxiir::polyroots(nan, 2, re, im), -1);
}

TEST(IirFactorization, SectionsReproduceThePolynomial)
{
    const int n = 300;
    const float fs = 48000.0f;
    for (unsigned N = 1; N <= 9; ++N)
        for (int kind = 0; kind < 3; ++kind)
        {
            ox_iir_cfN p;
            if (kind == 0)
                ox_iir_lpbutter(&p, N, 0.25f * fs, fs);
            else if (kind == 1)
                ox_iir_hpbutter(&p, N, 0.3f * fs, fs);
            else
                ox_iir_lpshelving(&p, N, 0.2f * fs, 6.0f, fs);
            ox_iir_cfNf r;
            ASSERT_EQ(ox_iir_factorization(&p, &r), 0);
            ASSERT_EQ(r.order, N);
            ASSERT_TRUE(oxtest::stable_nf(r));
            std::vector<float> a = oxtest::impulse_nf(r, n), b(n, 0.0f), st(18, 0.0f);
            b[0] = 1.0f;
            ox_iir_filterN(st.data(), b.data(), b.data(), n, p);
            for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], b[i], 1e-4) << N << kind << " " << i;
        }
    // One complex section comes back as itself.
    ox_iir_cfN p = {};
    p.order = 2;
    const float c[5] = {0.5f, -0.3f, 0.8f, -0.6f, 0.7f};
    p.b[0] = c[0], p.b[1] = c[1], p.b[2] = c[2], p.a[0] = c[3], p.a[1] = c[4];
    ox_iir_cfNf r;
    ASSERT_EQ(ox_iir_factorization(&p, &r), 0);
    EXPECT_NEAR(r.sec[0].b0, c[0], 1e-6);
    EXPECT_NEAR(r.sec[0].b1, c[1], 1e-6);
    EXPECT_NEAR(r.sec[0].b2, c[2], 1e-6);
    EXPECT_NEAR(r.sec[0].a1, c[3], 1e-6);
    EXPECT_NEAR(r.sec[0].a2, c[4], 1e-6);
    // Two unequal real zeros (±1): the constant term is their product, −1.
    p.b[0] = 1.0f, p.b[1] = 0.0f, p.b[2] = -1.0f;
    ASSERT_EQ(ox_iir_factorization(&p, &r), 0);
    EXPECT_NEAR(r.sec[0].b1, 0.0f, 1e-6);
    EXPECT_NEAR(r.sec[0].b2, -1.0f, 1e-6);
    // A leading zero (a pure delay in the numerator) is kept, not turned into silence.
    p.order = 3;
    const float num[4] = {0.0f, 0.4f, 0.1f, -0.2f}, den[3] = {-0.5f, 0.3f, -0.1f};
    std::memcpy(p.b, num, sizeof(num));
    std::memcpy(p.a, den, sizeof(den));
    ASSERT_EQ(ox_iir_factorization(&p, &r), 0);
    std::vector<float> a = oxtest::impulse_nf(r, 64), b(64, 0.0f), st(18, 0.0f);
    b[0] = 1.0f;
    ox_iir_filterN(st.data(), b.data(), b.data(), 64, p);
    for (int i = 0; i < 64; ++i) ASSERT_NEAR(a[i], b[i], 1e-6) << i;
    // Non-finite input is reported and leaves the record alone.
    p.a[1] = std::numeric_limits<float>::quiet_NaN();
    ox_iir_cfNf before;
    std::memset(&before, 0x11, sizeof(before));
    r = before;
    EXPECT_EQ(ox_iir_factorization(&p, &r), -3);
    EXPECT_EQ(std::memcmp(&r, &before, sizeof(r)), 0);
    EXPECT_EQ(ox_iir_factorization(nullptr, &r), -3);
}

TEST(IirUnwrap, RecoversRampsWithoutAllocating)
{
    std::vector<float> v = {0.0f, 3.0f, -3.0f};
    ox_iir_unwrapphase(v.data(), 3);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[1], 3.0f);
    EXPECT_NEAR(v[2], -3.0f + 2.0f * (float)M_PI, 1e-5);
    // A wrapped ramp (falling and rising) comes back as the ramp.
    for (float slope : {-0.9f, 0.37f, 2.5f})
    {
        const int n = 500;
        std::vector<float> w(n), ramp(n);
        for (int i = 0; i < n; ++i)
        {
            ramp[i] = 0.3f + slope * (float)i;
            w[i] = (float)std::remainder((double)ramp[i], 2.0 * M_PI);
        }
        ox_iir_unwrapphase(w.data(), n);
        for (int i = 0; i < n; ++i) ASSERT_NEAR(w[i], ramp[i], 1e-5f * std::fabs(ramp[i]) + 1e-4f);
    }
    // count < 2 and null do nothing; a NaN stays where it is.
    float one = 5.0f;
    ox_iir_unwrapphase(&one, 1);
    ox_iir_unwrapphase(nullptr, 10);
    EXPECT_EQ(one, 5.0f);
    std::vector<float> withnan = {0.0f, 3.0f, std::nanf(""), -3.0f, 3.0f};
    ox_iir_unwrapphase(withnan.data(), 5);
    EXPECT_TRUE(std::isnan(withnan[2]));
    EXPECT_TRUE(std::isfinite(withnan[3]) && std::isfinite(withnan[4]));
    EXPECT_NEAR(withnan[4] - withnan[3], 6.0f - 2.0f * (float)M_PI, 1e-5);
}
