#include "ox_biquad.h"
#include "ox_iir.h"
#include "ox_iir_test_util.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <vector>

using oxtest::db;
using oxtest::freqs;
using oxtest::h_cf2;
using oxtest::h_cfN;
using oxtest::h_cfNf;

namespace
{

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// A first-order section {b0, b0 + b1, b1, 1 + a1, a1} or a second-order one as a record.
ox_iir_cfNf first(const float c[5])
{
    ox_iir_cfNf r = {};
    r.order = 1, r.first = ox_iir_cf1{c[0], c[2], c[4]};
    return r;
}

ox_iir_cfNf second(const ox_iir_cf2& c)
{
    ox_iir_cfNf r = {};
    r.order = 2, r.sec[0] = c;
    return r;
}

// Shape 0 (Butterworth low-pass), 1 (high-pass), 2 (low shelf) or 3 (high shelf) in form 0
// (order-N factored record), 1 (polynomial), 2 (first-order) or 3 (second-order section).
void design(int shape, int form, unsigned N, float fc, float g, float fs, ox_iir_cfNf& r,
            ox_iir_cfN& p)
{
    const bool high = shape % 2;
    float c[5];
    ox_iir_cf2 s;
    if (shape < 2 && form == 0) (high ? ox_iir_hpbutterf : ox_iir_lpbutterf)(&r, N, fc, fs);
    if (shape < 2 && form == 1) (high ? ox_iir_hpbutter : ox_iir_lpbutter)(&p, N, fc, fs);
    if (shape < 2 && form == 2) (high ? ox_iir_hpbutter1 : ox_iir_lpbutter1)(c, fc, fs);
    if (shape < 2 && form == 3) (high ? ox_iir_hpbutter2 : ox_iir_lpbutter2)(&s, fc, fs);
    if (shape > 1 && form == 0) (high ? ox_iir_hpshelvingf : ox_iir_lpshelvingf)(&r, N, fc, g, fs);
    if (shape > 1 && form == 1) (high ? ox_iir_hpshelving : ox_iir_lpshelving)(&p, N, fc, g, fs);
    if (shape > 1 && form == 2) (high ? ox_iir_hfshelving1 : ox_iir_lfshelving1)(c, fc, g, fs);
    if (shape > 1 && form == 3) (high ? ox_iir_hfshelving2 : ox_iir_lfshelving2)(&s, fc, g, fs);
    if (form == 2) r = first(c);
    if (form == 3) r = second(s);
}

} // namespace

// Low-pass plus high-pass sum to an all-pass, each −6 dB at the corner; an odd order is
// raised to the next even one, never announced without its section.
TEST(IirDesign, LinkwitzRileySumsToAllPass)
{
    for (double fs : {11025.0, 48000.0, 192000.0})
        for (double fc : {80.0, 2000.0, 0.4 * fs})
            for (unsigned N = 2; N <= 8; N += 2)
            {
                ox_iir_cfNf lp, hp;
                ox_iir_cfN plp, php;
                ox_iir_lplinkrileyf(&lp, N, (float)fc, (float)fs);
                ox_iir_hplinkrileyf(&hp, N, (float)fc, (float)fs);
                ox_iir_lplinkriley(&plp, N, (float)fc, (float)fs);
                ox_iir_hplinkriley(&php, N, (float)fc, (float)fs);
                ASSERT_TRUE(lp.order == N && hp.order == N);
                EXPECT_NEAR(std::abs(h_cfNf(lp, fc, fs)), 0.5, 1e-4);
                EXPECT_NEAR(std::abs(h_cfNf(hp, fc, fs)), 0.5, 1e-4);
                for (double f : freqs(fs))
                {
                    const double tol =
                        1e-4 + oxtest::rounding_rel(lp, f, fs) + oxtest::rounding_rel(hp, f, fs);
                    ASSERT_NEAR(std::abs(h_cfNf(lp, f, fs) + h_cfNf(hp, f, fs)), 1.0, tol)
                        << N << " " << fc << " " << f << " " << fs;
                    if (fc < 0.15 * fs) continue;
                    ASSERT_NEAR(std::abs(h_cfN(plp, f, fs) + h_cfN(php, f, fs)), 1.0, 2e-3)
                        << N << " " << fc << " " << f;
                }
            }
    ox_iir_cfNf a = {}, b = {};
    ox_iir_lplinkrileyf(&a, 3, 1000.0f, 48000.0f);
    ox_iir_lplinkrileyf(&b, 4, 1000.0f, 48000.0f);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(a)), 0);
}

// Every Butterworth and shelf designer against its analog prototype (ox_iir_test_util.h), x =
// tan(π·f/fs)/t with t the corner prewarped as designed: tan(π·fc/fs), for an order-N cut moved
// before prewarping to tan(π·fc/(fs·g1)) (low shelf) or tan(π·fc·g1/fs) (high shelf), g1 the
// cut per order; a single-section cut is the reciprocal of the boost. To 0.01 dB plus what the
// float rounding of the stored coefficients accounts for, wherever the moved corner stays
// below 0.45·fs; every corner from 0.49·fs up gives one and the same design.
TEST(IirDesign, DesignsMatchTheirAnalogPrototypes)
{
    long checked = 0;
    for (int shape = 0; shape < 4; ++shape)
        for (int form = 0; form < 4; ++form)
            for (double fs : {44100.0, 48000.0, 192000.0})
                for (double fc :
                     {100.0, 300.0, 1000.0, 3000.0, 0.1 * fs, 0.3 * fs, 0.45 * fs, 0.47 * fs})
                    for (double g : {-24.0, -12.0, -3.0, 3.0, 12.0, 24.0})
                        for (unsigned N = form < 2 ? 1 : form - 1; N <= (form < 2 ? 9u : form - 1u);
                             ++N)
                        {
                            const bool high = shape % 2, shelf = shape > 1;
                            const double G = std::pow(10.0, g / 20.0), g1 = std::pow(G, 1.0 / N);
                            const bool moved = shelf && form < 2 && g < 0.0,
                                       inverse = shelf && form >= 2 && g < 0.0;
                            const double rel = fc / fs * (moved ? (high ? g1 : 1.0 / g1) : 1.0);
                            if ((!shelf && g != 3.0) || rel >= (shelf ? 0.45 : 0.48)) continue;
                            ox_iir_cfNf r = {};
                            ox_iir_cfN p = {};
                            design(shape, form, N, (float)fc, (float)g, (float)fs, r, p);
                            for (double f : freqs(fs))
                            {
                                const double x = std::tan(M_PI * f / fs) / std::tan(M_PI * rel);
                                const double want =
                                    !shelf    ? oxtest::butter_mag(N, x, high)
                                    : inverse ? 1.0 / oxtest::shelf_mag(1.0 / G, N, x, high)
                                              : oxtest::shelf_mag(G, N, x, high);
                                const double got =
                                    std::abs(form == 1 ? h_cfN(p, f, fs) : h_cfNf(r, f, fs));
                                const double rr = form == 1 ? oxtest::rounding_rel(p, f, fs)
                                                            : oxtest::rounding_rel(r, f, fs);
                                if (rr > 0.1 || want < 1e-6) continue; // floats cannot resolve it
                                ++checked;
                                ASSERT_NEAR(db(got), db(want), 0.01 + 8.7 * rr)
                                    << "shape " << shape << " form " << form << " fs " << fs
                                    << " fc " << fc << " g " << g << " N " << N << " f " << f;
                            }
                            if (form > 0 || shelf) continue;
                            ox_iir_cfNf ref = {}, top = {};
                            ox_iir_lpbutterf(&ref, N, 0.49f * (float)fs, (float)fs);
                            ox_iir_lpbutterf(&top, N, 10.0f * (float)fs, (float)fs);
                            EXPECT_EQ(std::memcmp(&ref, &top, sizeof(ref)), 0) << N;
                        }
    EXPECT_GT(checked, 100000);
}

// The single sections' sums, the peak's gain and inverse, the all-passes' flat magnitude and
// phase, 0 dB as exact unity; band-pass/-stop cascades against the analytic response.
TEST(IirDesign, SingleSectionsAndBands)
{
    const double fs = 48000.0;
    ox_iir_cf2 ap1, ap2, pk, pki, unity;
    float lp1[5], hp1[5], sh[5];
    ox_iir_lpbutter1(lp1, 3000.0f, (float)fs);
    ox_iir_hpbutter1(hp1, 3000.0f, (float)fs);
    ox_iir_allpass1(&ap1, 2000.0f, (float)fs);
    ox_iir_allpass2(&ap2, 2000.0f, 0.7f, (float)fs);
    ox_iir_peaking(&pk, 1500.0f, -18.0f, 2.0f, (float)fs);
    ox_iir_peaking(&pki, 1500.0f, 18.0f, 2.0f, (float)fs);
    EXPECT_TRUE(std::fabs(lp1[1] / lp1[3] - 1.0) < 1e-6 && hp1[1] == 0.0f);
    EXPECT_NEAR(std::arg(h_cf2(ap1, 2000.0, fs)), -M_PI / 2, 1e-5);
    EXPECT_NEAR(std::fabs(std::arg(h_cf2(ap2, 2000.0, fs))), M_PI, 1e-4);
    EXPECT_NEAR(std::abs(h_cf2(pk, 1500.0, fs)), std::pow(10.0, -18.0 / 20.0), 1e-5);
    EXPECT_NEAR(std::abs(h_cf2(pk, 0.0, fs)), 1.0, 1e-4);
    for (double f : freqs(fs))
    {
        ASSERT_NEAR(std::abs(h_cf2(ap1, f, fs)), 1.0, 1e-6);
        ASSERT_NEAR(std::abs(h_cf2(ap2, f, fs)), 1.0, 1e-6);
        ASSERT_NEAR(std::abs(h_cf2(pk, f, fs) * h_cf2(pki, f, fs)), 1.0, 1e-4);
    }
    ox_iir_lfshelving1(sh, 1000.0f, 0.0f, (float)fs);
    const float unity1[5] = {1, 1, 0, 1, 0};
    EXPECT_EQ(std::memcmp(sh, unity1, sizeof(sh)), 0);
    ox_iir_peaking(&unity, 1000.0f, 0.0f, 1.0f, (float)fs);
    EXPECT_TRUE(unity.b0 == 1.0f && !unity.b1 && !unity.b2 && !unity.a1 && !unity.a2);
    // Band designs of prototype order N: order word 2N, words 1 … 3 untouched.
    const double w1 = std::tan(M_PI * 500.0 / fs), w2 = std::tan(M_PI * 4000.0 / fs);
    for (unsigned N = 1; N <= 4; ++N)
        for (bool stop : {false, true})
        {
            ox_iir_cfNf r;
            std::memset(&r, 0x55, sizeof(r));
            const ox_iir_cf1 untouched = r.first;
            (stop ? ox_iir_bsbutterf : ox_iir_bpbutterf)(&r, N, 500.0f, 4000.0f, (float)fs);
            ASSERT_EQ(r.order, 2 * N);
            EXPECT_EQ(std::memcmp(&r.first, &untouched, sizeof(untouched)), 0);
            for (double f : freqs(fs))
            {
                const double w = std::tan(M_PI * f / fs);
                const double want =
                    oxtest::butter_mag(N, (w * w - w1 * w2) / ((w2 - w1) * w), stop);
                if (want <= 1e-5) continue;
                ASSERT_NEAR(db(std::abs(h_cfNf(r, f, fs))), db(want), 0.02) << N << stop << f;
            }
        }
    ox_iir_cfN p, q; // the polynomial band names exist but write nothing
    std::memset(&p, 0x33, sizeof(p));
    q = p;
    ox_iir_bpbutter(&p, 2, 100.0f, 200.0f, 48000.0f);
    ox_iir_bsbutter(&p, 2, 100.0f, 200.0f, 48000.0f);
    EXPECT_EQ(std::memcmp(&p, &q, sizeof(p)), 0);
}

// The polynomial recursion, the fixed-order filters on the converted polynomial and the
// regrouped record give the cascade's impulse response.
TEST(IirFilter, FactoredPolynomialAndConversionsAgree)
{
    const int n = 400;
    for (unsigned N = 1; N <= 6; ++N)
        for (int shape : {0, 3})
        {
            ox_iir_cfNf r;
            ox_iir_cfN p;
            const float fc = shape ? 5000.0f : 6000.0f;
            design(shape, 0, N, fc, -9.0f, 48000.0f, r, p);
            design(shape, 1, N, fc, -9.0f, 48000.0f, r, p);
            const std::vector<float> a = oxtest::impulse_nf(r, n);
            std::vector<float> b(n, 0.0f), st(18, 0.0f);
            b[0] = 1.0f;
            ox_iir_filterN(st.data(), b.data(), b.data(), n, p);
            for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], b[i], 2e-5) << N << shape << " " << i;
            float c[7], s6[6] = {}, x[64] = {1.0f};
            ASSERT_EQ(ox_iir_cfNtocfX(c, &p), N <= 3 ? 0 : 1);
            if (N == 1) ox_iir_filter1(s6, x, x, 64, ox_iir_cf1{c[0], c[1], c[2]});
            if (N == 2) ox_iir_filter2(s6, x, x, 64, ox_iir_cf2{c[0], c[1], c[2], c[3], c[4]});
            if (N == 3)
                ox_iir_filter3(s6, x, x, 64, ox_iir_cf3{c[0], c[1], c[2], c[3], c[4], c[5], c[6]});
            for (int i = 0; i < 64 && N <= 3; ++i) ASSERT_NEAR(x[i], b[i], 1e-6) << N << " " << i;
            ox_iir_cfNf q = r;
            ox_iir_cfN_to_cfNf(&q, &p);
            const std::vector<float> d = oxtest::impulse_nf(q, n);
            for (int i = 0; i < n && N <= 2; ++i) ASSERT_NEAR(d[i], b[i], 1e-6);
        }
}

// Every filter routine: splitting the block anywhere, running in place and (for the
// interleaved one) striding over another channel give the same output; one NaN or Inf input
// sample spoils only the rest of its block.
TEST(IirFilter, BlockSplittingInPlaceAndStrideAreTransparent)
{
    const int n = 1000;
    const std::vector<float> x = oxtest::noise(n, 7);
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
        EXPECT_GT(oxtest::rms(whole.data(), n), 0.01);
        for (int m : {0, 1, 333, 999})
            EXPECT_TRUE(split(x, m, false) == whole && split(x, m, true) == whole) << m;
        std::vector<float> bad = x;
        bad[10] = kNaN, bad[400] = kInf;
        const std::vector<float> y = split(bad, 500, false);
        for (int i = 500; i < n; ++i) ASSERT_TRUE(std::isfinite(y[i])) << i;
    }
}

// Order words beyond the records are clamped (exactly 18 state words used: heap arrays of
// exact size let the address sanitizer catch an overrun); order 0 copies; n ≤ 0 and null
// pointers do nothing.
TEST(IirFilter, OrderWordsAndBadArgumentsAreSafe)
{
    const int n = 32;
    std::vector<float> x = oxtest::noise(n, 3), a(n), b(n, 9.0f), st(18, 0.0f);
    std::unique_ptr<float[]> st18(new float[18]()), stp(new float[18]());
    std::unique_ptr<ox_iir_cfNf> r(new ox_iir_cfNf());
    std::unique_ptr<ox_iir_cfN> p(new ox_iir_cfN());
    ox_iir_filterNf(st.data(), x.data(), b.data(), n, *r);
    EXPECT_EQ(b, x);
    ox_iir_lpbutterf(r.get(), 50, 1000.0f, 48000.0f);
    EXPECT_EQ(r->order, 9u);
    ox_iir_filterNf(st.data(), x.data(), b.data(), n, *r);
    r->order = 1000000;
    ox_iir_filterNf(st18.get(), x.data(), a.data(), n, *r);
    EXPECT_EQ(a, b);
    ox_iir_hpshelving(p.get(), 12, 100.0f, 3.0f, 48000.0f);
    EXPECT_EQ(p->order, 9u);
    p->order = 77;
    ox_iir_filterN(stp.get(), x.data(), a.data(), n, *p);
    ox_iir_cfN_to_cfNf(r.get(), p.get());
    ox_iir_bpbutterf(r.get(), 9, 100.0f, 1000.0f, 48000.0f);
    EXPECT_EQ(r->order, 8u);
    ox_iir_hplinkrileyf(r.get(), 11, 100.0f, 48000.0f);
    EXPECT_EQ(r->order, 8u);
    st.assign(18, 0.5f);
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

// Every designer at the ends of its range and beyond: every stored section is finite with its
// poles strictly inside the unit circle.
TEST(IirFilter, StabilitySoakAtRangeEnds)
{
    long designs = 0;
    ox_iir_cfNf r;
    ox_iir_cfN p;
    ox_iir_cf2 c;
    auto soak = [&](const ox_iir_cfNf& rec, const char* what, float f, float fs) {
        ++designs;
        ASSERT_TRUE(oxtest::stable_nf(rec)) << what << " f=" << f << " fs=" << fs;
    };
    for (float fs : {11025.0f, 192000.0f})
        for (float f : {-1.0f, 0.0f, 1e-3f, 1.0f, 20.0f, 0.45f * fs, 0.5f * fs, 2.0f * fs, kNaN})
        {
            for (unsigned N : {1u, 2u, 3u, 8u, 9u})
            {
                for (auto d :
                     {ox_iir_lpbutterf, ox_iir_hpbutterf, ox_iir_lplinkrileyf, ox_iir_hplinkrileyf})
                    d(&r, N, f, fs), soak(r, "pass", f, fs);
                for (float g : {-120.0f, -24.0f, 24.0f, 120.0f, kNaN})
                    for (int shape : {2, 3})
                        design(shape, 0, N, f, g, fs, r, p), soak(r, "shelf", f, fs);
            }
            for (unsigned N : {1u, 4u})
                for (float f2 : {f, 0.0f, 0.5f * fs})
                    for (auto d : {ox_iir_bsbutterf, ox_iir_bpbutterf})
                        d(&r, N, f, f2, fs), soak(r, "band", f, fs);
            for (int shape : {0, 1})
                for (int form : {2, 3})
                    design(shape, form, 0, f, 0, fs, r, p), soak(r, "pass", f, fs);
            ox_iir_allpass1(&c, f, fs);
            soak(second(c), "allpass1", f, fs);
            for (float q : {0.0f, 0.01f, 0.1f, 0.7f, 100.0f, 1e6f, kNaN})
            {
                ox_iir_allpass2(&c, f, q, fs);
                soak(second(c), "allpass2", f, fs);
                for (float g : {-120.0f, -24.0f, 24.0f, 120.0f})
                    ox_iir_peaking(&c, f, g, q, fs), soak(second(c), "peaking", f, fs);
            }
            for (float g : {-120.0f, -24.0f, 0.0f, 24.0f, 120.0f, kInf})
                for (int shape : {2, 3})
                    for (int form : {2, 3})
                        design(shape, form, 0, f, g, fs, r, p), soak(r, "shelving", f, fs);
        }
    EXPECT_GT(designs, 500);
}
