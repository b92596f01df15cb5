// A-format to B-format with phase alignment, against plane waves on ideal cardioid capsules.
#include "ox_a2b.h"
#include "ox_spatial_sim.h"

using namespace oxtest;

using cd = std::complex<double>;
const double kSound = 343.0; // m/s, the real value (the block assumes 340)

struct A2B : Spectra4
{
    BandTable bands;
    ox_a2b_cfg cfg{};
    ox_a2b_params p{};
    ox_a2b_state s{};

    explicit A2B(float spacing_mm, int32_t flags = -1, float exponent = 1.0f, float coh_ms = 0.0f)
    {
        ox_a2b_default_cfg(&cfg);
        cfg.spacing = spacing_mm;
        cfg.coherence_exponent = exponent;
        if (flags >= 0) cfg.flags = flags;
        const int32_t* e = bands.edges.data();
        const float* w = bands.weights.data();
        EXPECT_EQ(0, ox_a2b_alloc(&p, &s, kHop, kBins, bands.count, e, w, kFs));
        EXPECT_EQ(0, ox_a2b_init(&p, &s, &cfg, kHop, kBins, bands.count, kFs, e, w));
        if (coh_ms > 0.0f) cfg.coherence_time = coh_ms; // set through the update
        ox_a2b_update_cfg(&p, &cfg);
    }
    ~A2B() { ox_a2b_done(&p, &s); }
    void run()
    {
        ox_a2b_process1_frame(&p, &s, in);
        ox_a2b_process2_frame(&p, &s, in);
    }
};

// Plane wave from unit vector d on cardioid capsules radius_m off centre (0: coincident).
static void fill_wave(const double d[3], double radius_m, const std::vector<cd>& src,
                      float* const* in)
{
    for (int i = 0; i < 4; ++i)
    {
        const double* a = kCapsuleAxis[i];
        const double nd = (a[0] * d[0] + a[1] * d[1] + a[2] * d[2]) / std::sqrt(3.0);
        std::vector<cd> c(src.size());
        for (int32_t k = 0; k < kBins; ++k)
            c[k] = (0.5 + 0.5 * nd) * src[k] *
                   std::polar(1.0, k ? 2.0 * M_PI * k * kBinHz * radius_m * nd / kSound : 0.0);
        pack(c, in[i]);
    }
}

// Coincident wave: exact W, X, Y, Z in every mode; silence and a bad frame poison nothing.
TEST(A2B, CoincidentPlaneWaveFromAnyDirectionAfterSilenceAndBadSamples)
{
    // Axes, the LF capsule's axis and its opposite (one capsule hears nothing), random ones.
    std::vector<std::array<double, 2>> dirs = {
        {0, 0}, {90, 0}, {180, 0}, {-90, 0}, {0, 90}, {0, -90}, {45, 35.26439}, {-135, -35.26439}};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 10; ++i) dirs.push_back({180.0 * u(rng), std::asin(u(rng)) * 180.0 / M_PI});
    const float configs[][3] = {{20, 1, -1}, {0, 1, -1}, {20, -1, 26 | OX_A2B_COHERENCE}};
    auto in01 = [](float x) { return x >= 0.0f && x <= 1.0f; };
    for (const auto& c : configs) // spacing, exponent, flags; traced with the direction
        for (const auto& ae : dirs)
        {
            SCOPED_TRACE(testing::Message() << ae[0] << " " << ae[1] << " " << c[0] << " " << c[1]);
            double d[3], worst = 0.0;
            direction(ae[0], ae[1], d);
            A2B a(c[0], int32_t(c[2]), c[1], 50.0f);
            BurstSource src(11);
            for (int f = 0; f < 60; ++f)
            {
                const auto s = f < 5 ? std::vector<cd>(kBins) : src.next(kBins);
                fill_wave(d, 0.0, s, a.in);
                if (f == 15) a.in[2][200] = NAN, a.in[0][0] = INFINITY, a.in[1][1] = -INFINITY;
                a.run();
                for (int32_t b = 0; b < a.bands.count; ++b)
                {
                    float sum = a.s.ref_energy[b] + a.s.prev_energy[b] + a.s.cur_energy[b];
                    for (int n = 0; n < 4; ++n)
                        sum += a.s.cross[n][2 * b] + a.s.correction[n][2 * b + 1];
                    ASSERT_TRUE(std::isfinite(sum) && in01(a.s.smoothing[b]) &&
                                in01(a.s.coherence[b]))
                        << f;
                }
                for (int i = 0; i < 4; ++i) ASSERT_TRUE(f == 15 || all_finite(a.buf[i])) << f;
                if (f >= 15 && f <= 20) continue;
                worst = std::max(worst, std::fabs(a.in[0][0] - M_SQRT1_2 * s[0].real()));
                for (int32_t k = 1; k < kBins; ++k)
                    for (int c = 0; c < 4; ++c)
                        worst = std::max(
                            worst, std::abs(bin(a.in[c], k) - (c ? d[c - 1] : M_SQRT1_2) * s[k]));
            }
            EXPECT_LT(worst, 1e-5);
        }
}

// 24 mm spacing: the aligned W is within 1 dB of the wave below aliasing.
TEST(A2B, SpacedArrayAlignedKeepsTheLevel)
{
    const double spacing = 0.024, radius = spacing / std::sqrt(8.0 / 3.0); // centre to capsule
    const double f_alias = kSound / (2.0 * spacing);
    const double dirs[][2] = {{0, 0}, {90, 0}, {180, 0}, {45, 35}, {-120, -30}, {10, 80}};
    for (const auto& ae : dirs)
    {
        double d[3];
        direction(ae[0], ae[1], d);
        A2B aligned(24.0f);
        const int32_t nb = aligned.bands.count, *edges = aligned.bands.edges.data();
        std::vector<double> e_src(nb, 0.0), e_al(nb, 0.0);
        BurstSource src(23);
        for (int f = 0; f < 300; ++f)
        {
            const auto s = src.next(kBins);
            fill_wave(d, radius, s, aligned.in);
            aligned.run();
            for (int32_t b = 1; b < nb && f >= 30; ++b)
                for (int32_t k = edges[b - 1]; k < edges[b]; ++k)
                {
                    e_src[b] += 0.5 * std::norm(s[k]);
                    e_al[b] += std::norm(bin(aligned.in[0], k));
                }
        }
        double worst = 0.0;
        for (int32_t b = 1; b < nb && edges[b] * kBinHz < f_alias; ++b)
            worst = std::max(worst, std::fabs(10.0 * std::log10(e_al[b] / e_src[b])));
        EXPECT_LT(worst, 1.0) << "az " << ae[0] << " el " << ae[1];
    }
}

// Correction bounded by the spacing's phase, none in band 0; spectra kept without the apply bit.
TEST(A2B, PhaseLimitsAndFlags)
{
    const double offs[4] = {0.0, 3.0, -3.0, 2.0};
    BurstSource src(5);
    A2B a(5.0f, OX_A2B_MEAN_REF | OX_A2B_ADAPTIVE | OX_A2B_NO_MATRIX);
    for (int f = 0; f < 60; ++f)
    {
        const auto s = src.next(kBins);
        for (int i = 0; i < 4; ++i)
        {
            std::vector<cd> c = s;
            for (auto& v : c) v *= std::polar(1.0, offs[i]);
            pack(c, a.in[i]);
        }
        const auto orig = a.buf;
        a.run();
        ASSERT_EQ(orig, a.buf) << f;
    }
    // Capsule 1 is 0.44 rad off the mean: bands with smaller limits sit at the limit.
    for (int n = 0; n < 4; ++n)
    {
        EXPECT_TRUE(a.s.correction[n][0] == 1.0f && a.s.correction[n][1] == 0.0f);
        for (int32_t b = 1; b < a.bands.count; ++b)
        {
            // the phase a 5 mm path causes at the band's upper edge
            const double lim = 2.0 * M_PI * a.bands.edges[b] * kBinHz * 0.005 / 340.0;
            const double phi = std::fabs(std::arg(bin(a.s.correction[n], b)));
            EXPECT_LE(phi, std::min(lim, M_PI) + 1e-5) << n << " " << b;
            EXPECT_TRUE(n != 1 || lim >= 0.4 || std::fabs(lim - phi) < 1e-4) << b;
        }
    }
}

// Bad rates, sizes (also past 32-bit counts) and tables refused; settings kept in range.
TEST(A2B, SizesRatesAndSettings)
{
    A2B built(20.0f); // its table and settings serve the bare records too
    ox_a2b_params p{};
    ox_a2b_state s{};
    const int32_t S = kBins, H = kHop, nb = built.bands.count, *e = built.bands.edges.data();
    const float* w = built.bands.weights.data();
    for (float bad : {0.0f, NAN}) EXPECT_EQ(-7, ox_a2b_alloc(&p, &s, H, S, nb, e, w, bad));
    const int32_t sizes[][3] = {
        {0, S, nb}, {H, -4, nb}, {H, S, 0}, {H, 1 << 30, nb}, {H, S, 1 << 30}};
    for (const auto& z : sizes)
        EXPECT_EQ(-3, ox_a2b_alloc(&p, &s, z[0], z[1], z[2], e, w, kFs)) << z[1];
    ASSERT_EQ(0, ox_a2b_alloc(&p, &s, H, S, nb, e, w, kFs));
    ox_a2b_cfg& cfg = built.cfg;
    for (float bad : {7999.0f, 192001.0f})
        EXPECT_EQ(-7, ox_a2b_init(&p, &s, &cfg, H, S, nb, bad, e, w));
    std::vector<int32_t> beyond = built.bands.edges;
    beyond[nb - 1] = S + 1;
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, 0, S, nb, kFs, e, w));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, 0, kFs, e, w));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, nb - 1, kFs, e, w)); // not as allocated
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, nb, kFs, beyond.data(), w));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, nb, kFs, e, nullptr));
    ASSERT_EQ(0, ox_a2b_init(&p, &s, &cfg, H, S, nb, kFs, e, w));
    for (float bad : {NAN, INFINITY, -20.0f, 0.0f})
    {
        cfg.spacing = cfg.attack_time = cfg.release_time = cfg.coherence_time = bad;
        cfg.coherence_exponent = bad;
        ox_a2b_update_cfg(&p, &cfg);
        for (float f : {p.attack, p.release, p.coherence_factor})
            EXPECT_TRUE(f >= 0.0f && f <= 1.0f) << bad;
        EXPECT_TRUE(std::isfinite(cfg.spacing) && std::isfinite(p.coherence_exponent)) << bad;
        EXPECT_TRUE(!(bad <= 0.0f) || (p.flags & OX_A2B_NO_ALIGN))
            << bad; // no spacing, no alignment
    }
    ox_a2b_done(&p, &s);
    ox_a2b_done(&p, &s);
    EXPECT_EQ(nullptr, p.max_phase);
}

// A repeated spectrum is coherent frame to frame; independent noise frames are not.
TEST(A2B, CoherenceSeparatesSteadyFromNoise)
{
    A2B steady(20.0f, -1, 1.0f, 100.0f), noisy(20.0f, -1, 1.0f, 100.0f);
    BurstSource src(9);
    const auto fixed = src.next(kBins); // the first frame is a burst
    const double d[3] = {1, 0, 0};
    std::vector<double> mean(noisy.bands.count, 0.0);
    for (int f = 0; f < 200; ++f)
    {
        fill_wave(d, 0.0, fixed, steady.in);
        steady.run();
        std::vector<cd> s;
        do s = src.next(kBins); // skip the burst gaps
        while (std::abs(s[5]) == 0.0);
        fill_wave(d, 0.0, s, noisy.in);
        noisy.run();
        for (int32_t b = 0; b < noisy.bands.count && f >= 50; ++b)
            mean[b] += noisy.s.coherence[b] / 150.0;
    }
    for (int32_t b = 10; b < steady.bands.count; ++b)
        EXPECT_TRUE(steady.s.coherence[b] > 0.95f && mean[b] < 0.5) << b;
}
