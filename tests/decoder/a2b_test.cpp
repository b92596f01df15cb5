#include "ox_a2b.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <vector>

#include "ox_spatial_sim.h"

namespace
{

using cd = std::complex<double>;
using oxtest::Bands48k;
using oxtest::BurstSource;

// Capsule axes of the tetrahedron, LF RF LB RB (x front, y left, z up), unit length.
const double kAxis[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
const double kInvSqrt3 = 0.57735026918962573;
const double kSound = 343.0; // m/s, the real value (the block assumes 340)

struct A2B
{
    Bands48k bands;
    ox_a2b_cfg cfg{};
    ox_a2b_params p{};
    ox_a2b_state s{};
    std::vector<float> buf[4];
    float* in[4];

    explicit A2B(float spacing_mm, int32_t flags = -1, float exponent = 1.0f)
    {
        ox_a2b_default_cfg(&cfg);
        cfg.spacing = spacing_mm;
        cfg.coherence_exponent = exponent;
        if (flags >= 0) cfg.flags = flags;
        EXPECT_EQ(0, ox_a2b_alloc(&p, &s, Bands48k::hop, Bands48k::specsize, bands.nb, bands.edges,
                                  bands.weights, Bands48k::fs));
        EXPECT_EQ(0, ox_a2b_init(&p, &s, &cfg, Bands48k::hop, Bands48k::specsize, bands.nb,
                                 Bands48k::fs, bands.edges, bands.weights));
        for (int i = 0; i < 4; ++i)
        {
            buf[i].assign(2 * Bands48k::specsize, 0.0f);
            in[i] = buf[i].data();
        }
    }
    ~A2B() { ox_a2b_done(&p, &s); }
    void run()
    {
        ox_a2b_process1_frame(&p, &s, in);
        ox_a2b_process2_frame(&p, &s, in);
    }
};

// A plane wave from unit direction d on cardioid capsules (0.5 + 0.5 n·d) that
// sit radius_m from the array centre: each bin of a capsule nearer the source
// is advanced in phase by its earlier arrival. radius 0 is the coincident array.
struct PlaneWave
{
    double gain[4];
    std::vector<cd> phasor[4];
    PlaneWave(const double d[3], double radius_m)
    {
        for (int i = 0; i < 4; ++i)
        {
            const double nd =
                (kAxis[i][0] * d[0] + kAxis[i][1] * d[1] + kAxis[i][2] * d[2]) * kInvSqrt3;
            gain[i] = 0.5 + 0.5 * nd;
            phasor[i].resize(Bands48k::specsize);
            for (int32_t k = 0; k < Bands48k::specsize; ++k)
                phasor[i][size_t(k)] =
                    std::polar(1.0, 2.0 * M_PI * Bands48k::bin_hz(k) * radius_m * nd / kSound);
        }
    }
    void fill(const std::vector<cd>& src, float* const* in) const
    {
        for (int i = 0; i < 4; ++i)
        {
            std::vector<cd> c(src.size());
            for (size_t k = 0; k < src.size(); ++k) c[k] = gain[i] * src[k] * phasor[i][k];
            c[0] = gain[i] * src[0];
            oxtest::pack(c, in[i]);
        }
    }
};

double max_err_vs_coincident(const A2B& a, const std::vector<cd>& src, const double d[3])
{
    double err = std::fabs(a.in[0][0] - 0.70710678 * src[0].real());
    for (int32_t k = 1; k < Bands48k::specsize; ++k)
    {
        err = std::max(err, std::abs(oxtest::bin(a.in[0], k) - 0.70710678 * src[size_t(k)]));
        for (int c = 0; c < 3; ++c)
            err = std::max(err, std::abs(oxtest::bin(a.in[c + 1], k) - d[c] * src[size_t(k)]));
    }
    return err;
}

} // namespace

// A coincident tetrahedral plane wave from any direction gives W = 0.7071 and (X, Y, Z) = d, with
// the phase alignment running (spacing 20) or off (0), and with the coherence weighting at a
// negative exponent (pow(0, -1) on the silent first frames). Silence first and one frame of
// NaN and infinities later leave every statistic finite, and the output returns to the exact
// coincident result.
TEST(A2B, CoincidentPlaneWaveFromAnyDirectionAfterSilenceAndBadSamples)
{
    std::vector<std::array<double, 2>> dirs = {{0, 0},           {90, 0},  {180, 0},       {-90, 0},
                                               {0, 90},          {0, -90}, {45, 35.26439}, // on LF
                                               {-135, -35.26439}}; // opposite RB: one capsule 0
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int i = 0; i < 10; ++i) dirs.push_back({180.0 * u(rng), std::asin(u(rng)) * 180.0 / M_PI});
    const struct
    {
        float spacing, exponent;
        int32_t flags;
    } configs[] = {{20.0f, 1.0f, -1}, {0.0f, 1.0f, -1}, {20.0f, -1.0f, 26 | OX_A2B_COHERENCE}};
    const std::vector<cd> zero(Bands48k::specsize, 0.0);
    for (const auto& c : configs)
        for (const auto& ae : dirs)
        {
            double d[3];
            oxtest::direction(ae[0], ae[1], d);
            A2B a(c.spacing, c.flags, c.exponent);
            a.cfg.coherence_time = 50.0f;
            ox_a2b_update_cfg(&a.p, &a.cfg);
            PlaneWave pw(d, 0.0);
            BurstSource src(11);
            double worst = 0.0;
            for (int f = 0; f < 60; ++f)
            {
                const auto s = f < 5 ? zero : src.next(Bands48k::specsize);
                pw.fill(s, a.in);
                if (f == 15)
                {
                    a.in[2][200] = NAN;
                    a.in[0][0] = INFINITY;
                    a.in[1][1] = -INFINITY;
                }
                a.run();
                for (int32_t b = 0; b < a.bands.nb; ++b)
                {
                    ASSERT_TRUE(a.s.smoothing[b] >= 0.0f && a.s.smoothing[b] <= 1.0f) << f;
                    ASSERT_TRUE(a.s.coherence[b] >= 0.0f && a.s.coherence[b] <= 1.0f) << f;
                    ASSERT_TRUE(
                        std::isfinite(a.s.ref_energy[b] + a.s.prev_energy[b] + a.s.cur_energy[b]));
                    for (int n = 0; n < 4; ++n)
                        ASSERT_TRUE(
                            std::isfinite(a.s.cross[n][2 * b] + a.s.correction[n][2 * b + 1]));
                }
                for (int i = 0; i < 4 && f != 15; ++i)
                    for (float v : a.buf[i]) ASSERT_TRUE(std::isfinite(v)) << f;
                if (f > 20 || f < 15) worst = std::max(worst, max_err_vs_coincident(a, s, d));
            }
            EXPECT_LT(worst, 1e-5) << "az " << ae[0] << " el " << ae[1] << " spacing " << c.spacing
                                   << " exponent " << c.exponent;
        }
}

// Capsules 24 mm apart: with the alignment on, the W level per band stays
// within 1 dB of the coincident array below the spacing's alias frequency and
// the intensity points at the source; without it W drops audibly.
TEST(A2B, SpacedArrayAlignedKeepsLevelAndDirection)
{
    const double spacing = 0.024;
    const double radius = spacing / std::sqrt(8.0 / 3.0); // centre to capsule
    const double f_alias = kSound / (2.0 * spacing);
    const double dirs[][2] = {{0, 0}, {90, 0}, {180, 0}, {45, 35}, {-120, -30}, {10, 80}};
    double worst_plain = 0.0;
    for (const auto& ae : dirs)
    {
        double d[3];
        oxtest::direction(ae[0], ae[1], d);
        PlaneWave pw(d, radius);
        A2B aligned(24.0f);
        A2B plain(24.0f, OX_A2B_MEAN_REF | OX_A2B_ADAPTIVE | OX_A2B_NO_ALIGN);
        const int32_t nb = aligned.bands.nb;
        std::vector<double> e_src(size_t(nb), 0.0), e_al(size_t(nb), 0.0), e_pl(size_t(nb), 0.0);
        double inten[3] = {0, 0, 0};
        BurstSource src(23);
        for (int f = 0; f < 300; ++f)
        {
            const auto s = src.next(Bands48k::specsize);
            pw.fill(s, aligned.in);
            pw.fill(s, plain.in);
            aligned.run();
            plain.run();
            if (f < 30) continue;
            for (int32_t b = 1; b < nb; ++b)
                for (int32_t k = aligned.bands.edges[b - 1]; k < aligned.bands.edges[b]; ++k)
                {
                    const cd w = oxtest::bin(aligned.in[0], k);
                    e_src[size_t(b)] += 0.5 * std::norm(s[size_t(k)]);
                    e_al[size_t(b)] += std::norm(w);
                    e_pl[size_t(b)] += std::norm(oxtest::bin(plain.in[0], k));
                    if (Bands48k::bin_hz(k) < f_alias)
                        for (int c = 0; c < 3; ++c)
                            inten[c] += std::real(std::conj(w) * oxtest::bin(aligned.in[c + 1], k));
                }
        }
        double worst_al = 0.0, worst_pl = 0.0;
        for (int32_t b = 1; b < nb && Bands48k::bin_hz(aligned.bands.edges[b]) < f_alias; ++b)
        {
            worst_al = std::max(worst_al, std::fabs(10.0 * std::log10(e_al[b] / e_src[b])));
            worst_pl = std::max(worst_pl, std::fabs(10.0 * std::log10(e_pl[b] / e_src[b])));
        }
        const double n = std::sqrt(inten[0] * inten[0] + inten[1] * inten[1] + inten[2] * inten[2]);
        const double cosang = (inten[0] * d[0] + inten[1] * d[1] + inten[2] * d[2]) / n;
        EXPECT_LT(worst_al, 1.0) << "az " << ae[0] << " el " << ae[1];
        worst_plain = std::max(worst_plain, worst_pl);
        EXPECT_GT(cosang, std::cos(5.0 * M_PI / 180.0)) << "az " << ae[0] << " el " << ae[1];
    }
    // the test sees the spacing: without the alignment W drops audibly
    EXPECT_GT(worst_plain, 2.0);
}

// The correction never exceeds the spacing's largest phase (nor pi), band 0 is
// never corrected, and without the apply bit the spectra are left as they were.
TEST(A2B, PhaseLimitsAndFlags)
{
    const double offs[4] = {0.0, 3.0, -3.0, 2.0};
    BurstSource src(5);
    for (int32_t flags : {int32_t(OX_A2B_APPLY_ALIGN | OX_A2B_MEAN_REF | OX_A2B_ADAPTIVE),
                          int32_t(OX_A2B_MEAN_REF | OX_A2B_ADAPTIVE | OX_A2B_NO_MATRIX)})
    {
        A2B a(5.0f, flags);
        const int32_t nb = a.bands.nb;
        for (int f = 0; f < 60; ++f)
        {
            const auto s = src.next(Bands48k::specsize);
            std::vector<float> orig[4];
            for (int i = 0; i < 4; ++i)
            {
                std::vector<cd> c(s.size());
                for (size_t k = 0; k < s.size(); ++k) c[k] = s[k] * std::polar(1.0, offs[i]);
                oxtest::pack(c, a.in[i]);
                orig[i] = a.buf[i];
            }
            a.run();
            if (flags & OX_A2B_NO_MATRIX)
            {
                for (int i = 0; i < 4; ++i) ASSERT_EQ(orig[i], a.buf[i]);
            }
        }
        for (int n = 0; n < 4; ++n)
        {
            EXPECT_EQ(1.0f, a.s.correction[n][0]);
            EXPECT_EQ(0.0f, a.s.correction[n][1]);
            for (int32_t b = 1; b < nb; ++b)
            {
                // the phase a 5 mm path causes at the band's upper edge
                const double lim = 2.0 * M_PI * Bands48k::bin_hz(a.bands.edges[b]) * 0.005 / 340.0;
                const double phi =
                    std::atan2(a.s.correction[n][2 * b + 1], a.s.correction[n][2 * b]);
                EXPECT_LE(std::fabs(phi), std::min(lim, M_PI) + 1e-5) << n << " " << b;
            }
        }
        // Capsule 1 is 0.44 rad off the mean reference: every band whose limit
        // is smaller sits at the limit.
        int limited = 0;
        for (int32_t b = 1; b < nb; ++b)
        {
            const double lim = 2.0 * M_PI * Bands48k::bin_hz(a.bands.edges[b]) * 0.005 / 340.0;
            if (lim < 0.4)
            {
                const double phi =
                    std::atan2(a.s.correction[1][2 * b + 1], a.s.correction[1][2 * b]);
                EXPECT_NEAR(lim, std::fabs(phi), 1e-4) << b;
                ++limited;
            }
        }
        EXPECT_GT(limited, 20);
    }
}

// Bad rates, sizes (also those whose complex arrays cannot be counted in 32 bits) and band
// tables are refused; spacing 0 switches the alignment off; non-finite or out-of-range settings
// never give a smoothing factor outside 0..1; a second release frees nothing twice.
TEST(A2B, SizesRatesAndSettings)
{
    Bands48k b;
    ox_a2b_params p{};
    ox_a2b_state s{};
    const int32_t S = Bands48k::specsize, H = Bands48k::hop, nb = b.nb;
    const float fs = 48000.0f;
    for (float bad : {0.0f, NAN})
        EXPECT_EQ(-7, ox_a2b_alloc(&p, &s, H, S, nb, b.edges, b.weights, bad));
    const int32_t sizes[][3] = {
        {0, S, nb}, {H, -4, nb}, {H, S, 0}, {H, 1 << 30, nb}, {H, S, 1 << 30}};
    for (const auto& z : sizes)
        EXPECT_EQ(-3, ox_a2b_alloc(&p, &s, z[0], z[1], z[2], b.edges, b.weights, fs)) << z[1];
    ASSERT_EQ(0, ox_a2b_alloc(&p, &s, H, S, nb, b.edges, b.weights, fs));
    ox_a2b_cfg cfg;
    ox_a2b_default_cfg(&cfg);
    for (float bad : {7999.0f, 192001.0f})
        EXPECT_EQ(-7, ox_a2b_init(&p, &s, &cfg, H, S, nb, bad, b.edges, b.weights));
    int32_t beyond[64];
    std::copy(b.edges, b.edges + 64, beyond);
    beyond[nb - 1] = S + 1;
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, 0, S, nb, fs, b.edges, b.weights));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, 0, fs, b.edges, b.weights));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, nb + 1, fs, b.edges, b.weights));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, nb, fs, beyond, b.weights));
    EXPECT_EQ(-3, ox_a2b_init(&p, &s, &cfg, H, S, nb, fs, b.edges, nullptr));
    ASSERT_EQ(0, ox_a2b_init(&p, &s, &cfg, H, S, nb, fs, b.edges, b.weights));
    cfg.spacing = -5.0f;
    ox_a2b_update_cfg(&p, &cfg);
    EXPECT_NE(0, p.flags & OX_A2B_NO_ALIGN);
    for (float bad : {NAN, INFINITY, -20.0f, 0.0f})
    {
        cfg.spacing = cfg.attack_time = cfg.release_time = cfg.coherence_time = bad;
        cfg.coherence_exponent = bad;
        ox_a2b_update_cfg(&p, &cfg);
        for (float f : {p.attack, p.release, p.coherence_factor})
            EXPECT_TRUE(f >= 0.0f && f <= 1.0f) << bad;
        EXPECT_TRUE(std::isfinite(cfg.spacing) && std::isfinite(p.coherence_exponent)) << bad;
    }
    ox_a2b_done(&p, &s);
    ox_a2b_done(&p, &s);
    EXPECT_EQ(nullptr, p.max_phase);
}

// Frame-to-frame coherence: a spectrum that repeats every frame is fully
// coherent; independent noise frames, averaged over 100 ms, are not.
TEST(A2B, CoherenceSeparatesSteadyFromNoise)
{
    A2B steady(20.0f), noisy(20.0f);
    for (A2B* a : {&steady, &noisy})
    {
        a->cfg.coherence_time = 100.0f;
        ox_a2b_update_cfg(&a->p, &a->cfg);
    }
    BurstSource src(9);
    const auto fixed = src.next(Bands48k::specsize); // the first frame is a burst
    double d[3] = {1, 0, 0};
    PlaneWave pw(d, 0.0);
    std::vector<double> mean(size_t(noisy.bands.nb), 0.0);
    for (int f = 0; f < 200; ++f)
    {
        pw.fill(fixed, steady.in);
        steady.run();
        std::vector<cd> s;
        do s = src.next(Bands48k::specsize); // skip the burst gaps
        while (std::abs(s[5]) == 0.0);
        pw.fill(s, noisy.in);
        noisy.run();
        if (f >= 50)
            for (int32_t b = 0; b < noisy.bands.nb; ++b)
                mean[size_t(b)] += noisy.s.coherence[b] / 150.0;
    }
    for (int32_t b = 10; b < steady.bands.nb; ++b)
    {
        EXPECT_GT(steady.s.coherence[b], 0.95f) << b;
        EXPECT_LT(mean[size_t(b)], 0.5) << b;
    }
}
