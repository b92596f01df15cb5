#include "ox_iir_test_util.h"

using namespace oxtest;

static bool operator==(const ox_biquad_coeffs& a, const ox_biquad_coeffs& b)
{
    return a.b0 == b.b0 && a.b1 == b.b1 && a.b2 == b.b2 && a.a1 == b.a1 && a.a2 == b.a2;
}

typedef std::vector<ox_biquad_coeffs> Cascade;
typedef void (*Design)(ox_biquad_coeffs*, float f, float fs);
typedef void (*Band)(ox_biquad_coeffs*, float f1, float f2, float fs);
typedef void (*Shelf)(ox_biquad_coeffs*, float f, float dB, float fs);
typedef void (*WithQ)(ox_biquad_coeffs*, float f, float dB, float Q, float fs);

// Butterworth and shelf cascades of orders 1 … 4, band cascades of orders 1 and 2: [high][N-1].
#define OX_ORDERS(n)                                                                               \
    {ox_biquad_##n##1}, {ox_biquad_##n##2}, {ox_biquad_##n##3A, ox_biquad_##n##3B},                \
    {                                                                                              \
        ox_biquad_##n##4A, ox_biquad_##n##4B                                                       \
    }
const Design kPass[2][4][2] = {{OX_ORDERS(lpbutter)}, {OX_ORDERS(hpbutter)}};
const Shelf kShelf[2][4][2] = {{OX_ORDERS(lfshelving)}, {OX_ORDERS(hfshelving)}};
#undef OX_ORDERS
const Band kBand[2][2][2] = {{{ox_biquad_bpbutter1}, {ox_biquad_bpbutter2A, ox_biquad_bpbutter2B}},
                             {{ox_biquad_bsbutter1}, {ox_biquad_bsbutter2A, ox_biquad_bsbutter2B}}};

// With `rel`, adds the bound on the error that rounding the coefficients may cause.
static cd response(const Cascade& cs, double f, double fs, double* rel = nullptr)
{
    cd h = 1.0;
    for (const auto& c : cs) h *= h_cf2({c.b0, c.b1, c.b2, c.a1, c.a2}, f, fs, rel);
    return h;
}

static double mag(const Cascade& cs, double f, double fs)
{
    return std::abs(response(cs, f, fs));
}

template <class D, class... A> Cascade make(std::initializer_list<D> ds, A... args)
{
    Cascade v;
    for (D d : ds) v.emplace_back(), d(&v.back(), args...);
    return v;
}

// A second-order section designed through the IIR front end.
template <class... A> Cascade iir(void (*d)(ox_iir_cf2*, A...), A... args)
{
    ox_iir_cf2 c;
    d(&c, args...);
    return Cascade(1, ox_biquad_coeffs{c.b0, c.b1, c.b2, c.a1, c.a2});
}

static bool stable(const ox_biquad_coeffs& c)
{
    return std::isfinite(c.b0 + c.b1 + c.b2) && stable2(c.a1, c.a2);
}

// Shape: low-/high-pass, low/high shelf, band-pass/-stop (f2 its upper edge); form: IIR order-N
// factored, polynomial, first, second order, or (4) the biquad cascade of order N.
static void design(int shape, int form, unsigned N, float fc, float g, float f2, float fs,
                   ox_iir_cfNf& r, ox_iir_cfN& p)
{
    const bool high = shape % 2, pass = shape < 2, shelf = shape == 2 || shape == 3;
    float c[5];
    ox_iir_cf2 s;
    if (pass && form == 0) (high ? ox_iir_hpbutterf : ox_iir_lpbutterf)(&r, N, fc, fs);
    if (pass && form == 1) (high ? ox_iir_hpbutter : ox_iir_lpbutter)(&p, N, fc, fs);
    if (pass && form == 2) (high ? ox_iir_hpbutter1 : ox_iir_lpbutter1)(c, fc, fs);
    if (pass && form == 3) (high ? ox_iir_hpbutter2 : ox_iir_lpbutter2)(&s, fc, fs);
    if (shelf && form == 0) (high ? ox_iir_hpshelvingf : ox_iir_lpshelvingf)(&r, N, fc, g, fs);
    if (shelf && form == 1) (high ? ox_iir_hpshelving : ox_iir_lpshelving)(&p, N, fc, g, fs);
    if (shelf && form == 2) (high ? ox_iir_hfshelving1 : ox_iir_lfshelving1)(c, fc, g, fs);
    if (shelf && form == 3) (high ? ox_iir_hfshelving2 : ox_iir_lfshelving2)(&s, fc, g, fs);
    if (shape > 3 && form == 0) (high ? ox_iir_bsbutterf : ox_iir_bpbutterf)(&r, N, fc, f2, fs);
    if (form == 2)
        r = {}, r.order = 1, r.first = {c[0], c[2], c[4]}; // c: {b0, b0 + b1, b1, 1 + a1, a1}
    if (form == 3) r = {}, r.order = 2, r.sec[0] = s;
    if (form == 4) r = {};
    for (int k = 0; k < 2 && form == 4; ++k, r.order += 2)
    {
        ox_biquad_coeffs b = {1, 0, 0, 0, 0};
        if (pass && kPass[high][N - 1][k]) kPass[high][N - 1][k](&b, fc, fs);
        if (shelf && kShelf[high][N - 1][k]) kShelf[high][N - 1][k](&b, fc, g, fs);
        if (shape > 3 && kBand[high][N - 1][k]) kBand[high][N - 1][k](&b, fc, f2, fs);
        r.sec[k] = ox_iir_cf2{b.b0, b.b1, b.b2, b.a1, b.a2};
    }
}

// Gains at the shelf ends and peak centres (Q shelves also with real poles, Q < 3.35), cuts
// the inverse of boosts, all-passes flat with 90° or 180° at the corner; single sections.
TEST(Design, GainsInversesAllPassesAndSingleSections)
{
    const WithQ shelves[2] = {ox_biquad_lfshelving2_Qfactor, ox_biquad_hfshelving2_Qfactor};
    for (float fs : {11025.0f, 192000.0f})
        for (float Q : {0.0f, 0.1f, 0.3f, 0.5f, 0.7071f, 3.4f, 4.0f, 9.0f})
            for (bool high : {false, true})
                for (float dB : {12.0f, -40.0f, 9.0f, -30.0f})
                {
                    SCOPED_TRACE(testing::Message()
                                 << fs << " Q " << Q << " " << high << " " << dB);
                    const float f = high ? 0.1f * fs : 0.05f * fs;
                    const double G = std::pow(10.0, dB / 20.0);
                    const Cascade c = make({shelves[high]}, f, dB, Q, fs),
                                  inv = make({shelves[high]}, f, -dB, Q, fs),
                                  r = make({ox_biquad_resonator}, f, dB, Q, fs);
                    ASSERT_TRUE(stable(c[0]));
                    EXPECT_NEAR(mag(c, 0.0, fs) / (high ? 1.0 : G), 1.0, 1e-4);
                    EXPECT_NEAR(mag(c, fs / 2, fs) / (high ? G : 1.0), 1.0, 1e-4);
                    EXPECT_TRUE(std::fabs(mag(r, f, fs) / G - 1.0) < 1e-4 && mag(r, 0, fs) < 1e-6);
                    for (double fr : freqs(fs))
                        ASSERT_NEAR(mag(c, fr, fs) * mag(inv, fr, fs), 1.0, 3e-4) << fr;
                    // Both front ends: the peak, its cut, the first- and second-order all-pass.
                    const Cascade fam[2][4] = {
                        {make({ox_biquad_peaking}, f, dB, Q, fs),
                         make({ox_biquad_peaking}, f, -dB, Q, fs),
                         make({ox_biquad_allpass1}, f, fs), make({ox_biquad_allpass2}, f, Q, fs)},
                        {iir(ox_iir_peaking, f, dB, Q, fs), iir(ox_iir_peaking, f, -dB, Q, fs),
                         iir(ox_iir_allpass1, f, fs), iir(ox_iir_allpass2, f, Q, fs)}};
                    for (const Cascade* k : fam)
                    {
                        EXPECT_TRUE(Q < 0.3f || (std::fabs(mag(k[0], f, fs) / G - 1.0) < 1e-4 &&
                                                 std::fabs(mag(k[0], 0.0, fs) - 1.0) < 1e-4));
                        for (double fr = 0.0; fr <= 0.5 * fs; fr += 0.011 * fs)
                            ASSERT_TRUE(
                                (Q < 0.3f ||
                                 std::fabs(mag(k[0], fr, fs) * mag(k[1], fr, fs) - 1.0) < 1e-4) &&
                                std::fabs(mag(k[2], fr, fs) - 1.0) < 1e-5 &&
                                std::fabs(mag(k[3], fr, fs) - 1.0) < 1e-5)
                                << fr;
                        EXPECT_NEAR(std::arg(response(k[2], f, fs)), -M_PI / 2, 1e-4);
                        EXPECT_NEAR(std::fabs(std::arg(response(k[3], f, fs))), M_PI, 1e-4);
                    }
                }
    const Cascade unity(1, ox_biquad_coeffs{1, 0, 0, 0, 0});
    for (float dB : {0.0f, kNaN})
        EXPECT_TRUE(make({ox_biquad_peaking}, 1000.0f, dB, 1.0f, 48e3f) == unity &&
                    iir(ox_iir_peaking, 1000.0f, dB, 1.0f, 48e3f) == unity)
            << dB;
    // Anything at or above the highest design frequency designs the same filter.
    const float fs = 44100.0f;
    const Cascade top = make({ox_biquad_hfshelving2}, float(OX_BIQUAD_FMAX_REL) * fs, 6.0f, fs);
    for (float f : {30000.0f, 0.5f * fs, kNaN})
        EXPECT_EQ(make({ox_biquad_hfshelving2}, f, 6.0f, fs), top);
    // Linkwitz transform: DC gain (f0/fp)², unity at half the sample rate.
    const Cascade lt = make({ox_biquad_linkwitztransform2}, 400.0f, 0.9f, 200.0f, 0.5f, 48000.0f);
    EXPECT_TRUE(std::fabs(mag(lt, 0.0, 48e3) - 4.0) < 1e-2 &&
                std::fabs(mag(lt, 24e3, 48e3) - 1.0) < 1e-5);
    const Cascade lp = make({ox_biquad_lpbutter2}, 1000.0f, 48000.0f);
    Cascade g = lp;
    ox_biquad_gain(&g[0], -6.0206f);
    EXPECT_TRUE(std::fabs(g[0].b0 / lp[0].b0 - 0.5) < 1e-5 && g[0].a1 == lp[0].a1);
    // First-order records hold their sums; band designs keep the first-order words.
    float lp1[5], hp1[5], sh[5];
    const float unity1[5] = {1, 1, 0, 1, 0};
    ox_iir_lpbutter1(lp1, 3000.0f, 48e3f), ox_iir_hpbutter1(hp1, 3000.0f, 48e3f);
    ox_iir_lfshelving1(sh, 1000.0f, 0.0f, 48e3f);
    EXPECT_TRUE(std::fabs(lp1[1] / lp1[3] - 1.0) < 1e-6 && hp1[1] == 0.0f &&
                std::memcmp(sh, unity1, sizeof(sh)) == 0);
    ox_iir_cfNf r;
    std::memset(&r, 0x55, sizeof(r));
    const ox_iir_cf1 untouched = r.first;
    ox_iir_bsbutterf(&r, 3, 500.0f, 4000.0f, 48e3f);
    EXPECT_TRUE(r.order == 6 && std::memcmp(&r.first, &untouched, sizeof(untouched)) == 0);
    ox_iir_cfN p, q;
    std::memset(&p, 0x33, sizeof(p));
    q = p;
    ox_iir_bpbutter(&p, 2, 100.0f, 200.0f, 48e3f), ox_iir_bsbutter(&p, 2, 100.0f, 200.0f, 48e3f);
    EXPECT_EQ(std::memcmp(&p, &q, sizeof(p)), 0);
}

// Each −6 dB at the corner, summing to an all-pass (the biquad pair of order 2 with its high-pass
// inverted); an odd order is raised to the next even.
TEST(Design, LinkwitzRileySumsToAllPass)
{
    for (float fs : {11025.0f, 48000.0f, 192000.0f})
        for (float fc : {80.0f, 2000.0f, 0.4f * fs})
            for (unsigned N = 2; N <= 8; N += 2)
            {
                SCOPED_TRACE(testing::Message() << N << " " << fc << " " << fs);
                ox_iir_cfNf lp, hp;
                ox_iir_cfN plp, php;
                ox_iir_lplinkrileyf(&lp, N, fc, fs), ox_iir_hplinkrileyf(&hp, N, fc, fs);
                ox_iir_lplinkriley(&plp, N, fc, fs), ox_iir_hplinkriley(&php, N, fc, fs);
                const Cascade bl = N == 2 ? make({ox_biquad_lplinkriley2}, fc, fs)
                                          : make({ox_biquad_lplinkriley4A, ox_biquad_lplinkriley4B},
                                                 fc, fs),
                              bh = N == 2 ? make({ox_biquad_hplinkriley2}, fc, fs)
                                          : make({ox_biquad_hplinkriley4A, ox_biquad_hplinkriley4B},
                                                 fc, fs);
                ASSERT_TRUE(lp.order == N && hp.order == N);
                EXPECT_NEAR(std::abs(h_cfNf(lp, fc, fs)), 0.5, 1e-4);
                EXPECT_NEAR(std::abs(h_cfNf(hp, fc, fs)), 0.5, 1e-4);
                EXPECT_TRUE(N > 4 || (std::fabs(mag(bl, fc, fs) - 0.5) < 1e-4 &&
                                      std::fabs(mag(bh, fc, fs) - 0.5) < 1e-4));
                for (double f : freqs(fs))
                {
                    double rr = 1e-4, br = 2e-4;
                    const cd sum = h_cfNf(lp, f, fs, &rr) + h_cfNf(hp, f, fs, &rr),
                             bsum = response(bl, f, fs, &br) +
                                    (N == 2 ? -1.0 : 1.0) * response(bh, f, fs, &br);
                    ASSERT_NEAR(std::abs(sum), 1.0, rr) << f;
                    ASSERT_TRUE(N > 4 || std::fabs(std::abs(bsum) - 1.0) < br) << f;
                    if (fc < 0.15 * fs) continue;
                    ASSERT_NEAR(std::abs(h_cfN(plp, f, fs) + h_cfN(php, f, fs)), 1.0, 2e-3) << f;
                }
            }
    ox_iir_cfNf a = {}, b = {};
    ox_iir_lplinkrileyf(&a, 3, 1000.0f, 48000.0f);
    ox_iir_lplinkrileyf(&b, 4, 1000.0f, 48000.0f);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(a)), 0);
}

// Every Butterworth, shelf and band design against its analog prototype, to the given dB plus
// what the float rounding of its coefficients accounts for. An IIR order-N cut moves its corner
// by the cut per order g1 (fc/g1 low, fc·g1 high); other cuts are the boost's reciprocal.
TEST(Design, DesignsMatchTheirAnalogPrototypes)
{
    // IIR forms, then biquad cascades: rates, corners (negative: relative to fs), gains.
    const double kFs[2][3] = {{44100, 48000, 192000}, {11025, 48000, 192000}};
    const double kFc[2][8] = {{100, 300, 1000, 3000, -0.1, -0.3, -0.45, -0.47},
                              {-0.002, -0.05, -0.3, -0.48}};
    const double kG[2][6] = {{-24, -12, -3, 3, 12, 24}, {-40, -12, 3, 12}};
    long checked = 0;
    for (int form = 0; form < 5; ++form)
        for (double fs : kFs[form == 4])
            for (double c : kFc[form == 4])
                for (double g : kG[form == 4])
                    for (int shape = 0; shape < (form % 4 ? 4 : 6); ++shape)
                        // Orders: a single section's own; up to 9 (IIR), 4 (biquad), bands 4 or 2.
                        for (unsigned N = form == 2 || form == 3 ? form - 1 : 1;
                             N <= (form == 2 || form == 3 ? form - 1u
                                   : shape > 3            ? (form == 4 ? 2u : 4u)
                                                          : (form == 4 ? 4u : 9u));
                             ++N)
                        {
                            const bool bq = form == 4, high = shape % 2,
                                       shelf = shape == 2 || shape == 3;
                            const double fc = c < 0 ? -c * fs : c,
                                         f2 = std::min(6.0 * fc, 0.49 * fs);
                            const double G = std::pow(10.0, g / 20.0), g1 = std::pow(G, 1.0 / N);
                            const bool moved = shelf && form < 2 && g < 0.0,
                                       inverse = shelf && form >= 2 && g < 0.0;
                            const double rel = fc / fs * (moved ? (high ? g1 : 1.0 / g1) : 1.0);
                            if (c == 0 || g == 0 || (!shelf && g != 3.0) ||
                                (!bq && rel >= (shelf ? 0.45 : 0.48)))
                                continue;
                            ox_iir_cfNf r = {};
                            ox_iir_cfN p = {};
                            design(shape, form, N, (float)fc, (float)g, (float)f2, (float)fs, r, p);
                            const double t = std::tan(M_PI * rel), t2 = std::tan(M_PI * f2 / fs);
                            for (double f : freqs(fs))
                            {
                                const double w = std::tan(M_PI * f / fs), x = w / t;
                                const double xb = shape > 3 ? (w * w - t * t2) / ((t2 - t) * w) : x;
                                const double want = !shelf    ? shelf_mag(0.0, N, xb, !high)
                                                    : inverse ? 1.0 / shelf_mag(1.0 / G, N, x, high)
                                                              : shelf_mag(G, N, x, high);
                                double rr = 0.0;
                                const double got = std::abs(form == 1 ? h_cfN(p, f, fs, &rr)
                                                                      : h_cfNf(r, f, fs, &rr));
                                if (rr > (bq ? 0.01 : 0.1) || want < (bq ? 1e-5 : 1e-6))
                                    continue; // floats cannot resolve it
                                ++checked;
                                ASSERT_NEAR(db(got), db(want), (bq ? 0.002 : 0.01) + 8.7 * rr)
                                    << shape << form << " " << fs << " " << fc << " " << g << " "
                                    << N << " " << f;
                            }
                        }
    EXPECT_GT(checked, 100000);
}

// Every designer far beyond its range still stores finite sections with poles inside |z| = 1.
TEST(Design, StabilitySoakAtRangeEnds)
{
    long designs = 0;
    for (float fs : {11025.0f, 192000.0f})
        for (float f : {-5.0f, 0.0f, 1e-3f, 0.2f, 20.0f, 0.25f * fs, 0.45f * fs, 0.49f * fs,
                        0.5f * fs, 2.0f * fs, 1e9f, kInf, kNaN})
            for (float dB : {-1e4f, -120.0f, -24.0f, 0.0f, 24.0f, 120.0f, kInf, kNaN})
                for (float Q : {-1.0f, 0.0f, 0.01f, 0.1f, 0.7f, 3.3f, 1000.0f, 1e9f, kNaN})
                {
                    Cascade cs;
                    std::vector<ox_iir_cfNf> rs;
                    for (const Cascade& m :
                         {make({ox_biquad_lplinkriley2, ox_biquad_hplinkriley2, ox_biquad_allpass1},
                               f, fs),
                          make({ox_biquad_lfshelving2_Qfactor, ox_biquad_hfshelving2_Qfactor,
                                ox_biquad_peaking, ox_biquad_resonator},
                               f, dB, Q, fs),
                          make({ox_biquad_hpbutter2_Qfactor, ox_biquad_allpass2}, f, Q, fs),
                          make({ox_biquad_linkwitztransform2}, f, Q, 0.5f * fs, 1.0f / Q, fs),
                          iir(ox_iir_allpass1, f, fs), iir(ox_iir_allpass2, f, Q, fs),
                          iir(ox_iir_peaking, f, dB, Q, fs)})
                        cs.insert(cs.end(), m.begin(), m.end());
                    ox_iir_cfNf r;
                    ox_iir_cfN p;
                    // Single sections; order-N designs (bands up to f2) once per corner and gain.
                    for (int shape = 0; shape < 4; ++shape)
                        for (int form = 2; form < 4; ++form)
                            design(shape, form, 0, f, dB, 0, fs, r, p), rs.push_back(r);
                    for (int shape = 0; shape < 6 && Q == -1.0f; ++shape)
                        for (unsigned N : {1u, 2u, 3u, 4u, 8u, 9u})
                            for (float f2 : {f, 0.0f, 0.3f * fs, 0.5f * fs})
                                for (int form : {0, 4})
                                    if ((shape > 3 || f2 == f) &&
                                        (form == 0 || N <= (shape > 3 ? 2u : 4u)))
                                        design(shape, form, N, f, dB, f2, fs, r, p),
                                            rs.push_back(r);
                    for (unsigned N : {1u, 2u, 3u, 8u, 9u})
                        for (auto d : {ox_iir_lplinkrileyf, ox_iir_hplinkrileyf})
                            if (Q == -1.0f) rs.emplace_back(), d(&rs.back(), N, f, fs);
                    for (size_t d = 0; d < cs.size() + rs.size(); ++d)
                        ASSERT_TRUE(d < cs.size() ? stable(cs[d]) : stable_nf(rs[d - cs.size()]))
                            << d << " " << f << " " << dB << " " << Q << " " << fs;
                    designs += long(cs.size() + rs.size());
                }
    EXPECT_GT(designs, 10000);
}
