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

using oxtest::cd;
using oxtest::db;
using oxtest::freqs;
using oxtest::h_cf2;
using oxtest::h_cfN;
using oxtest::h_cfNf;

namespace
{

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// Shelf designs in the forms the tests compare: the order-N designers' factored and
// polynomial records, and the single first- and second-order sections as factored records.
enum ShelfForm
{
    kFactored,
    kPoly,
    kFirst,
    kSecond
};

void design_shelf(int form, bool high, unsigned N, float fc, float g, float fs, ox_iir_cfNf& r,
                  ox_iir_cfN& p)
{
    r = ox_iir_cfNf();
    r.order = form == kFirst ? 1 : 2;
    if (form == kFactored)
        (high ? ox_iir_hpshelvingf : ox_iir_lpshelvingf)(&r, N, fc, g, fs);
    else if (form == kPoly)
        (high ? ox_iir_hpshelving : ox_iir_lpshelving)(&p, N, fc, g, fs);
    else if (form == kSecond)
        (high ? ox_iir_hfshelving2 : ox_iir_lfshelving2)(&r.sec[0], fc, g, fs);
    else
    {
        float c[5];
        (high ? ox_iir_hfshelving1 : ox_iir_lfshelving1)(c, fc, g, fs);
        r.first = ox_iir_cf1{c[0], c[2], c[4]};
    }
}

} // namespace

// Butterworth designs of both forms against the analytic response; every corner from 0.49·fs
// up gives one and the same stable design.
TEST(IirDesign, ButterworthMatchesAnalyticResponse)
{
    for (double fs : {32000.0, 48000.0, 192000.0})
        for (double fc : {50.0, 1000.0, 0.25 * fs, 0.47 * fs})
            for (unsigned N = 1; N <= 9; ++N)
                for (bool hp : {false, true})
                {
                    ox_iir_cfNf r;
                    ox_iir_cfN p;
                    (hp ? ox_iir_hpbutterf : ox_iir_lpbutterf)(&r, N, (float)fc, (float)fs);
                    (hp ? ox_iir_hpbutter : ox_iir_lpbutter)(&p, N, (float)fc, (float)fs);
                    ASSERT_TRUE(r.order == N && p.order == N);
                    const double tc = std::tan(M_PI * fc / fs);
                    for (double f : freqs(fs))
                    {
                        const double want = oxtest::butter_mag(N, std::tan(M_PI * f / fs) / tc, hp);
                        if (want < 1e-6) continue;
                        const double got = std::abs(h_cfNf(r, f, fs));
                        ASSERT_NEAR(db(got), db(want), 0.02 + 8.7 * oxtest::rounding_rel(r, f, fs))
                            << "N=" << N << " fc=" << fc << " f=" << f << " fs=" << fs << hp;
                        const double rp = oxtest::rounding_rel(p, f, fs);
                        if (rp < 0.01)
                        {
                            ASSERT_NEAR(db(std::abs(h_cfN(p, f, fs))), db(want), 0.02 + 8.7 * rp)
                                << "poly N=" << N << " fc=" << fc << " f=" << f;
                        }
                    }
                }
    for (float fs : {11025.0f, 192000.0f})
        for (unsigned N = 1; N <= 9; ++N)
        {
            ox_iir_cfNf ref = {}, r = {};
            ox_iir_lpbutterf(&ref, N, 0.49f * fs, fs);
            ASSERT_TRUE(oxtest::stable_nf(ref));
            for (float fc : {0.5f * fs, 10.0f * fs})
            {
                ox_iir_lpbutterf(&r, N, fc, fs);
                EXPECT_EQ(std::memcmp(&r, &ref, sizeof(r)), 0) << N << " " << fc;
            }
        }
}

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
                    if (fc >= 0.15 * fs)
                    {
                        ASSERT_NEAR(std::abs(h_cfN(plp, f, fs) + h_cfN(php, f, fs)), 1.0, 2e-3)
                            << N << " " << fc << " " << f;
                    }
                }
            }
    // An odd order is raised to the next even one, never announced without its section.
    ox_iir_cfNf a = {}, b = {};
    ox_iir_lplinkrileyf(&a, 3, 1000.0f, 48000.0f);
    ox_iir_lplinkrileyf(&b, 4, 1000.0f, 48000.0f);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(a)), 0);
}

// Every shelf designer against its analog prototype, prewarped as designed: corner
// t = tan(π·fc/fs), for an order-N cut moved before prewarping to tan(π·fc/(fs·g1)) (low
// shelf) or tan(π·fc·g1/fs) (high shelf), g1 the cut per order; a single-section cut is the
// reciprocal of the boost. Checked wherever the moved corner stays below 0.45·fs, to 0.01 dB
// plus what the float rounding of the stored coefficients can account for.
TEST(IirDesign, ShelvesMatchTheirAnalogPrototypes)
{
    long checked = 0;
    for (int form = kFactored; form <= kSecond; ++form)
        for (bool high : {false, true})
            for (double fs : {44100.0, 48000.0, 192000.0})
                for (double fc : {100.0, 300.0, 1000.0, 3000.0, 0.1 * fs, 0.3 * fs, 0.45 * fs})
                    for (double g : {-24.0, -12.0, -3.0, 3.0, 12.0, 24.0})
                        for (unsigned N = 1; N <= 9; ++N)
                        {
                            if ((form == kFirst && N != 1) || (form == kSecond && N != 2)) continue;
                            const double G = std::pow(10.0, g / 20.0), g1 = std::pow(G, 1.0 / N);
                            const bool single = form >= kFirst;
                            double rel = fc / fs;
                            if (!single && g < 0.0) rel = high ? rel * g1 : rel / g1;
                            if (rel >= 0.45) continue;
                            const double t = std::tan(M_PI * rel);
                            ox_iir_cfNf r;
                            ox_iir_cfN p;
                            design_shelf(form, high, N, (float)fc, (float)g, (float)fs, r, p);
                            for (double f : oxtest::freqs(fs))
                            {
                                const double x = std::tan(M_PI * f / fs) / t;
                                const double want =
                                    (single && g < 0.0)
                                        ? 1.0 / oxtest::shelf_mag(1.0 / G, N, x, high)
                                        : oxtest::shelf_mag(G, N, x, high);
                                const bool poly = form == kPoly;
                                const double got =
                                    std::abs(poly ? h_cfN(p, f, fs) : h_cfNf(r, f, fs));
                                const double rr = poly ? oxtest::rounding_rel(p, f, fs)
                                                       : oxtest::rounding_rel(r, f, fs);
                                if (rr > 0.1) continue; // the stored floats do not resolve it
                                ++checked;
                                ASSERT_NEAR(oxtest::db(got), oxtest::db(want), 0.01 + 8.7 * rr)
                                    << "form " << form << " high " << high << " fs " << fs << " fc "
                                    << fc << " g " << g << " N " << N << " f " << f;
                            }
                        }
    EXPECT_GT(checked, 100000);
}

// Butterworth sections against the analytic response, the peak's gain and inverse, the
// all-passes' flat magnitude and phase, and 0 dB as exact unity.
TEST(IirDesign, SingleSections)
{
    const double fs = 48000.0, tc = std::tan(M_PI * 3000.0 / fs);
    ox_iir_cf2 lp, hp;
    float lp1[5], hp1[5];
    ox_iir_lpbutter2(&lp, 3000.0f, (float)fs);
    ox_iir_hpbutter2(&hp, 3000.0f, (float)fs);
    ox_iir_lpbutter1(lp1, 3000.0f, (float)fs);
    ox_iir_hpbutter1(hp1, 3000.0f, (float)fs);
    EXPECT_NEAR(lp1[1] / lp1[3], 1.0, 1e-6);
    EXPECT_EQ(hp1[1], 0.0f);
    const ox_iir_cf1 l1 = {lp1[0], lp1[2], lp1[4]}, h1 = {hp1[0], hp1[2], hp1[4]};
    for (double f : freqs(fs))
    {
        const double x = std::tan(M_PI * f / fs) / tc;
        ASSERT_NEAR(std::abs(h_cf2(lp, f, fs)), oxtest::butter_mag(2, x, false), 1e-5);
        ASSERT_NEAR(std::abs(h_cf2(hp, f, fs)), oxtest::butter_mag(2, x, true), 1e-5);
        ASSERT_NEAR(std::abs(oxtest::h_cf1(l1, f, fs)), oxtest::butter_mag(1, x, false), 1e-5);
        ASSERT_NEAR(std::abs(oxtest::h_cf1(h1, f, fs)), oxtest::butter_mag(1, x, true), 1e-5);
    }
    for (double g : {-18.0, 3.0})
    {
        ox_iir_cf2 s, si;
        ox_iir_peaking(&s, 1500.0f, (float)g, 2.0f, (float)fs);
        ox_iir_peaking(&si, 1500.0f, (float)-g, 2.0f, (float)fs);
        const double G = std::pow(10.0, g / 20.0);
        EXPECT_NEAR(std::abs(h_cf2(s, 1500.0, fs)), G, 1e-4 * G);
        EXPECT_NEAR(std::abs(h_cf2(s, 0.0, fs)), 1.0, 1e-4);
        for (double f : freqs(fs))
            ASSERT_NEAR(std::abs(h_cf2(s, f, fs) * h_cf2(si, f, fs)), 1.0, 1e-4);
    }
    ox_iir_cf2 ap1, ap2;
    ox_iir_allpass1(&ap1, 2000.0f, (float)fs);
    ox_iir_allpass2(&ap2, 2000.0f, 0.7f, (float)fs);
    EXPECT_TRUE(ap1.b1 == 1.0f && ap1.b0 == ap1.a1);
    EXPECT_NEAR(std::arg(h_cf2(ap1, 2000.0, fs)), -M_PI / 2, 1e-5);
    EXPECT_NEAR(std::fabs(std::arg(h_cf2(ap2, 2000.0, fs))), M_PI, 1e-4);
    for (double f : freqs(fs))
    {
        ASSERT_NEAR(std::abs(h_cf2(ap1, f, fs)), 1.0, 1e-6);
        ASSERT_NEAR(std::abs(h_cf2(ap2, f, fs)), 1.0, 1e-6);
    }
    float sh[5];
    ox_iir_lfshelving1(sh, 1000.0f, 0.0f, (float)fs);
    const float unity1[5] = {1, 1, 0, 1, 0};
    EXPECT_EQ(std::memcmp(sh, unity1, sizeof(sh)), 0);
    ox_iir_cf2 pk;
    ox_iir_peaking(&pk, 1000.0f, 0.0f, 1.0f, (float)fs);
    EXPECT_TRUE(pk.b0 == 1.0f && pk.b1 == 0.0f && pk.b2 == 0.0f && pk.a1 == 0.0f && pk.a2 == 0.0f);
}

TEST(IirDesign, BandPassAndStopMatchAnalyticResponse)
{
    const double fs = 48000.0, f1 = 500.0, f2 = 4000.0;
    const double w1 = std::tan(M_PI * f1 / fs), w2 = std::tan(M_PI * f2 / fs);
    for (unsigned N = 1; N <= 4; ++N)
        for (bool stop : {false, true})
        {
            ox_iir_cfNf r;
            std::memset(&r, 0x55, sizeof(r));
            const ox_iir_cf1 untouched = r.first;
            (stop ? ox_iir_bsbutterf : ox_iir_bpbutterf)(&r, N, (float)f1, (float)f2, (float)fs);
            ASSERT_EQ(r.order, 2 * N);
            EXPECT_EQ(std::memcmp(&r.first, &untouched, sizeof(untouched)), 0);
            for (double f : freqs(fs))
            {
                const double w = std::tan(M_PI * f / fs);
                const double want =
                    oxtest::butter_mag(N, (w * w - w1 * w2) / ((w2 - w1) * w), stop);
                if (want > 1e-5)
                {
                    ASSERT_NEAR(db(std::abs(h_cfNf(r, f, fs))), db(want), 0.02) << N << stop << f;
                }
            }
        }
    // The polynomial names exist but write nothing.
    ox_iir_cfN p, q;
    std::memset(&p, 0x33, sizeof(p));
    q = p;
    ox_iir_bpbutter(&p, 2, 100.0f, 200.0f, 48000.0f);
    ox_iir_bsbutter(&p, 2, 100.0f, 200.0f, 48000.0f);
    EXPECT_EQ(std::memcmp(&p, &q, sizeof(p)), 0);
}

TEST(IirFilter, FactoredPolynomialAndConversionsAgree)
{
    const int n = 400;
    const float fs = 48000.0f;
    for (unsigned N = 1; N <= 6; ++N)
        for (int kind = 0; kind < 3; ++kind)
        {
            ox_iir_cfNf r;
            ox_iir_cfN p;
            if (kind == 0)
            {
                ox_iir_lpbutterf(&r, N, 6000.0f, fs);
                ox_iir_lpbutter(&p, N, 6000.0f, fs);
            }
            else if (kind == 1)
            {
                ox_iir_hpbutterf(&r, N, 3000.0f, fs);
                ox_iir_hpbutter(&p, N, 3000.0f, fs);
            }
            else
            {
                ox_iir_hpshelvingf(&r, N, 5000.0f, -9.0f, fs);
                ox_iir_hpshelving(&p, N, 5000.0f, -9.0f, fs);
            }
            const std::vector<float> a = oxtest::impulse_nf(r, n);
            std::vector<float> b(n, 0.0f), st(18, 0.0f);
            b[0] = 1.0f;
            ox_iir_filterN(st.data(), b.data(), b.data(), n, p);
            for (int i = 0; i < n; ++i) ASSERT_NEAR(a[i], b[i], 2e-5) << N << kind << " " << i;

            // Fixed-order filters on the converted polynomial give the same response again.
            if (N <= 3)
            {
                float c[7], s6[6] = {}, x[64] = {1.0f};
                ASSERT_EQ(ox_iir_cfNtocfX(c, &p), 0);
                if (N == 1)
                    ox_iir_filter1(s6, x, x, 64, ox_iir_cf1{c[0], c[1], c[2]});
                else if (N == 2)
                    ox_iir_filter2(s6, x, x, 64, ox_iir_cf2{c[0], c[1], c[2], c[3], c[4]});
                else
                    ox_iir_filter3(s6, x, x, 64,
                                   ox_iir_cf3{c[0], c[1], c[2], c[3], c[4], c[5], c[6]});
                for (int i = 0; i < 64; ++i) ASSERT_NEAR(x[i], b[i], 1e-6) << N << " " << i;
            }
            if (N <= 2)
            {
                ox_iir_cfNf q = r;
                ox_iir_cfN_to_cfNf(&q, &p);
                const std::vector<float> c = oxtest::impulse_nf(q, n);
                for (int i = 0; i < n; ++i) ASSERT_NEAR(c[i], b[i], 1e-6);
            }
        }
    ox_iir_cfN p4;
    ox_iir_lpbutter(&p4, 4, 1000.0f, 48000.0f);
    float c[7] = {};
    EXPECT_EQ(ox_iir_cfNtocfX(c, &p4), 1);
    EXPECT_EQ(c[0], 0.0f);
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
    ox_iir_lpshelvingf(&r, 7, 700.0f, 12.0f, 44100.0f);
    ox_iir_lpbutter(&p, 5, 7000.0f, 44100.0f);
    ox_iir_cf2 c2;
    ox_iir_peaking(&c2, 1000.0f, 6.0f, 3.0f, 44100.0f);
    const ox_iir_cf1 c1 = {0.3f, 0.2f, -0.5f};
    const ox_iir_cf3 c3 = {0.1f, 0.3f, 0.3f, 0.1f, -0.6f, 0.2f, -0.03f};
    typedef std::function<void(float*, const float*, float*, int)> Run;
    const Run runs[] = {
        [&](float* s, const float* i, float* o, int m) { ox_iir_filterNf(s, i, o, m, r); },
        [&](float* s, const float* i, float* o, int m) { ox_iir_filterN(s, i, o, m, p); },
        [&](float* s, const float* i, float* o, int m) { ox_iir_filter1(s, i, o, m, c1); },
        [&](float* s, const float* i, float* o, int m) { ox_iir_filter2(s, i, o, m, c2); },
        [&](float* s, const float* i, float* o, int m) { ox_iir_filter3(s, i, o, m, c3); },
        [&](float* s, const float* i, float* o, int m) {
            // Channel 1 of a two-channel interleaved copy; channel 0 must stay -1.
            std::vector<float> il(2 * (size_t)m, -1.0f);
            for (int k = 0; k < m; ++k) il[2 * k + 1] = i[k];
            ox_iir_filter2_mch(s, il.data() + 1, il.data() + 1, m, 2, c2);
            for (int k = 0; k < m; ++k) o[k] = il[2 * k] == -1.0f ? il[2 * k + 1] : kNaN;
        }};
    for (const Run& run : runs)
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
        {
            EXPECT_EQ(split(x, m, false), whole) << m;
            EXPECT_EQ(split(x, m, true), whole) << m;
        }
        std::vector<float> bad = x;
        bad[10] = kNaN;
        bad[400] = kInf;
        const std::vector<float> y = split(bad, 500, false);
        for (int i = 500; i < n; ++i) ASSERT_TRUE(std::isfinite(y[i])) << i;
    }
}

TEST(IirFilter, OrderWordsAndBadArgumentsAreSafe)
{
    const int n = 32;
    std::vector<float> x = oxtest::noise(n, 3), y(n, 9.0f), st(18, 0.0f);
    ox_iir_cfNf r = {};
    ox_iir_filterNf(st.data(), x.data(), y.data(), n, r); // order 0: a copy, state untouched
    EXPECT_EQ(y, x);
    // An order word far beyond the record is taken as 9: exactly 18 state words are used
    // (heap arrays of exact size let the address sanitizer catch any overrun).
    std::unique_ptr<float[]> st18(new float[18]()), stp(new float[18]());
    ox_iir_lpbutterf(&r, 9, 1000.0f, 48000.0f);
    ox_iir_cfNf big = r;
    big.order = 1000000;
    std::vector<float> a(n), b(n);
    ox_iir_filterNf(st18.get(), x.data(), a.data(), n, big);
    std::fill(st.begin(), st.end(), 0.0f);
    ox_iir_filterNf(st.data(), x.data(), b.data(), n, r);
    EXPECT_EQ(a, b);
    ox_iir_cfN p;
    ox_iir_lpbutter(&p, 9, 1000.0f, 48000.0f);
    p.order = 77;
    ox_iir_filterN(stp.get(), x.data(), a.data(), n, p);
    std::unique_ptr<ox_iir_cfNf> heap(new ox_iir_cfNf());
    ox_iir_lpbutterf(heap.get(), 50, 1000.0f, 48000.0f);
    EXPECT_EQ(heap->order, 9u);
    ox_iir_bpbutterf(heap.get(), 9, 100.0f, 1000.0f, 48000.0f);
    EXPECT_EQ(heap->order, 8u);
    ox_iir_hplinkrileyf(heap.get(), 11, 100.0f, 48000.0f);
    EXPECT_EQ(heap->order, 8u);
    std::unique_ptr<ox_iir_cfN> hp(new ox_iir_cfN());
    ox_iir_hpshelving(hp.get(), 12, 100.0f, 3.0f, 48000.0f);
    EXPECT_EQ(hp->order, 9u);
    ox_iir_cfN_to_cfNf(heap.get(), hp.get());
    // n <= 0 and null pointers do nothing.
    st.assign(18, 0.5f);
    ox_iir_filterNf(st.data(), x.data(), y.data(), 0, r);
    ox_iir_filterNf(st.data(), x.data(), y.data(), -5, r);
    ox_iir_filterNf(st.data(), nullptr, y.data(), n, r);
    ox_iir_filter2_mch(st.data(), x.data(), y.data(), n, 0, ox_iir_cf2{1, 0, 0, 0, 0});
    EXPECT_EQ(st, std::vector<float>(18, 0.5f));
    ox_iir_lpbutterf(nullptr, 2, 1000.0f, 48000.0f);
    ox_iir_peaking(nullptr, 1000.0f, 3.0f, 1.0f, 48000.0f);
    EXPECT_EQ(ox_iir_cfNtocfX(nullptr, &p), 1);
}

// Noise through every designer at the ends of its range and beyond: every stored section has
// its poles strictly inside the unit circle, and the output stays finite and bounded.
TEST(IirFilter, StabilitySoakAtRangeEnds)
{
    const std::vector<float> x = oxtest::noise(8192, 11);
    std::vector<float> y(x.size());
    long designs = 0;
    auto soak = [&](const ox_iir_cfNf& r, const char* what, float f, float fs) {
        ++designs;
        ASSERT_TRUE(oxtest::stable_nf(r)) << what << " f=" << f << " fs=" << fs;
        std::vector<float> st(18, 0.0f);
        for (int rep = 0; rep < 2; ++rep)
            ox_iir_filterNf(st.data(), x.data(), y.data(), (int)x.size(), r);
        for (float v : y) ASSERT_TRUE(std::fabs(v) < 5e7f) << what << " f=" << f << " fs=" << fs;
    };
    auto single = [&](const ox_iir_cf2& c, const char* what, float f, float fs) {
        ox_iir_cfNf r = {};
        r.order = 2;
        r.sec[0] = c;
        soak(r, what, f, fs);
    };
    typedef void (*OrderN)(ox_iir_cfNf*, unsigned, float, float);
    typedef void (*ShelfN)(ox_iir_cfNf*, unsigned, float, float, float);
    const OrderN passes[] = {ox_iir_lpbutterf, ox_iir_hpbutterf, ox_iir_lplinkrileyf,
                             ox_iir_hplinkrileyf};
    const ShelfN shelves[] = {ox_iir_lpshelvingf, ox_iir_hpshelvingf};
    for (float fs : {11025.0f, 192000.0f})
        for (float f : {-1.0f, 0.0f, 1e-3f, 1.0f, 20.0f, 0.45f * fs, 0.5f * fs, 2.0f * fs, kNaN})
        {
            ox_iir_cfNf r;
            for (unsigned N : {1u, 2u, 3u, 8u, 9u})
            {
                for (OrderN d : passes) d(&r, N, f, fs), soak(r, "pass", f, fs);
                for (ShelfN d : shelves)
                    for (float g : {-120.0f, -24.0f, 24.0f, 120.0f, kNaN})
                        d(&r, N, f, g, fs), soak(r, "shelf", f, fs);
            }
            for (unsigned N : {1u, 4u})
                for (float f2 : {f, 0.0f, 0.5f * fs})
                {
                    ox_iir_bpbutterf(&r, N, f, f2, fs);
                    soak(r, "bp", f, fs);
                    ox_iir_bsbutterf(&r, N, f, f2, fs);
                    soak(r, "bs", f, fs);
                }
            ox_iir_cf2 c;
            float c5[5];
            for (int k = 0; k < 4; ++k)
            {
                (k < 2 ? ox_iir_lpbutter1 : ox_iir_hpbutter1)(c5, f, fs);
                if (k % 2) (k < 2 ? ox_iir_lpbutter2 : ox_iir_hpbutter2)(&c, f, fs);
                if (k % 2 == 0) c = ox_iir_cf2{c5[0], c5[2], 0.0f, c5[4], 0.0f};
                single(c, "butter", f, fs);
            }
            ox_iir_allpass1(&c, f, fs);
            single(c, "allpass1", f, fs);
            for (float q : {0.0f, 0.01f, 0.1f, 0.7f, 100.0f, 1e6f, kNaN})
            {
                ox_iir_allpass2(&c, f, q, fs);
                single(c, "allpass2", f, fs);
                for (float g : {-120.0f, -24.0f, 24.0f, 120.0f})
                    ox_iir_peaking(&c, f, g, q, fs), single(c, "peaking", f, fs);
            }
            for (float g : {-120.0f, -24.0f, 0.0f, 24.0f, 120.0f, kInf})
                for (bool high : {false, true})
                {
                    (high ? ox_iir_hfshelving2 : ox_iir_lfshelving2)(&c, f, g, fs);
                    single(c, "shelving2", f, fs);
                    (high ? ox_iir_hfshelving1 : ox_iir_lfshelving1)(c5, f, g, fs);
                    single(ox_iir_cf2{c5[0], c5[2], 0.0f, c5[4], 0.0f}, "shelving1", f, fs);
                }
        }
    EXPECT_GT(designs, 500);
}
