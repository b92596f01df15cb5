#include "ox_ms2b.h"

#include <gtest/gtest.h>

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

struct MS2B
{
    Bands48k bands;
    ox_ms2b_cfg cfg{};
    ox_ms2b_params p{};
    ox_ms2b_state s{};
    std::vector<float> buf[4];
    float* in[4];

    explicit MS2B(int32_t mode = 0, float floor_db = -40.0f)
    {
        ox_ms2b_default_cfg(&cfg);
        cfg.mode = mode;
        cfg.gain_floor = floor_db;
        EXPECT_EQ(0, ox_ms2b_alloc(&p, &s, Bands48k::hop, Bands48k::specsize, bands.nb, bands.edges,
                                   Bands48k::fs));
        EXPECT_EQ(0, ox_ms2b_init(&p, &s, &cfg, Bands48k::hop, Bands48k::specsize, bands.nb,
                                  bands.edges, Bands48k::fs));
        for (int i = 0; i < 4; ++i)
        {
            buf[i].assign(2 * Bands48k::specsize, 0.0f);
            in[i] = buf[i].data();
        }
    }
    ~MS2B() { ox_ms2b_done(&p, &s); }
    void run() { ox_ms2b_process_frame(&p, &s, in); }
};

// Ideal mid-side capsules for a plane wave from unit direction d: front and
// rear cardioids, a left-facing figure-of-eight, and (triple) an upward one.
void ms_wave(const double d[3], bool triple, std::vector<std::vector<cd>>& acc,
             const std::vector<cd>& src)
{
    const double g[4] = {0.5 + 0.5 * d[0], d[1], 0.5 - 0.5 * d[0], triple ? d[2] : 0.0};
    for (int i = 0; i < 4; ++i)
        for (size_t k = 0; k < src.size(); ++k) acc[size_t(i)][k] += g[i] * src[k];
}

void load(const std::vector<std::vector<cd>>& acc, float* const* in)
{
    for (int i = 0; i < 4; ++i) oxtest::pack(acc[size_t(i)], in[i]);
}

std::vector<std::vector<cd>> zeros()
{
    return std::vector<std::vector<cd>>(4, std::vector<cd>(Bands48k::specsize));
}

// Cardioid aimed along u from the internal B-format (W at -3 dB).
cd cardioid(const float* const* b, int32_t k, const double u[3])
{
    return 0.70710677 * oxtest::bin(b[0], k) +
           0.5 * (u[0] * oxtest::bin(b[1], k) + u[1] * oxtest::bin(b[2], k) +
                  u[2] * oxtest::bin(b[3], k));
}

} // namespace

// Ideal mid-side plane waves come out at their azimuth (left positive); front and rear waves null
// the opposite cardioid; with the triple array an overhead or underfoot wave comes out there,
// without it Z stays silent.
TEST(MS2B, NullsAndDirectionsOfIdealPlaneWaves)
{
    const double front[3] = {1, 0, 0}, rear[3] = {-1, 0, 0};
    const double dirs[][2] = {{0, 0}, {90, 0}, {180, 0}, {-90, 0}, {0, 90}, {0, -90}};
    for (bool triple : {false, true})
        for (const auto& ae : dirs)
        {
            MS2B m;
            double d[3];
            oxtest::direction(ae[0], ae[1], d);
            BurstSource src(uint32_t(ae[0] + ae[1] + 300));
            double i[3] = {0, 0, 0}, null = 0, on = 0;
            const bool axial = ae[1] == 0.0 && (ae[0] == 0.0 || ae[0] == 180.0);
            for (int f = 0; f < 30; ++f)
            {
                auto acc = zeros();
                ms_wave(d, triple, acc, src.next(Bands48k::specsize));
                load(acc, m.in);
                m.run();
                for (int32_t k = 1; k < Bands48k::specsize; ++k)
                {
                    const cd w = oxtest::bin(m.in[0], k);
                    for (int c = 0; c < 3; ++c)
                        i[c] += std::real(std::conj(w) * oxtest::bin(m.in[c + 1], k));
                    if (!axial) continue;
                    null = std::max(null, std::abs(cardioid(m.in, k, ae[0] == 0.0 ? rear : front)));
                    on = std::max(on, std::abs(cardioid(m.in, k, ae[0] == 0.0 ? front : rear)));
                }
            }
            if (ae[1] == 0.0)
                EXPECT_NEAR(ae[0], std::atan2(i[1], i[0]) * 180.0 / M_PI, 1e-3) << triple;
            else
                EXPECT_TRUE(triple ? i[2] * ae[1] > 0.0 : i[2] == 0.0) << triple << " " << ae[1];
            EXPECT_TRUE(!axial || null < 1e-6 * on) << ae[0] << " " << triple;
        }
}

TEST(MS2B, BypassAndPlainGains)
{
    MS2B by(OX_MS2B_BYPASS | OX_MS2B_STATS);
    auto acc = zeros();
    const double d[3] = {0.6, 0.8, 0.0};
    ms_wave(d, true, acc, BurstSource(2).next(Bands48k::specsize));
    load(acc, by.in);
    const std::vector<float> before = by.buf[1];
    by.s.direct_gain[3] = 7.0f;
    by.run();
    EXPECT_EQ(before, by.buf[1]);
    EXPECT_EQ(7.0f, by.s.direct_gain[3]);

    MS2B plain;
    load(acc, plain.in);
    plain.run();
    for (int32_t b = 0; b < plain.bands.nb; ++b)
    {
        EXPECT_EQ(1.0f, plain.s.direct_gain[b]);
        EXPECT_EQ(0.0f, plain.s.diffuse_gain[b]);
    }
}

// Bad sizes, rates and band tables are refused; out-of-range and non-finite settings become
// finite parameters; a second release frees nothing twice.
TEST(MS2B, SizesRatesAndSettings)
{
    Bands48k bands;
    ox_ms2b_params p{};
    ox_ms2b_state s{};
    const int32_t S = Bands48k::specsize, H = Bands48k::hop, nb = bands.nb;
    EXPECT_EQ(-7, ox_ms2b_alloc(&p, &s, H, S, nb, bands.edges, -1.0f));
    EXPECT_EQ(-3, ox_ms2b_alloc(&p, &s, H, S, 0, bands.edges, 48000.0f));
    EXPECT_EQ(-3, ox_ms2b_alloc(&p, &s, -2, S, nb, bands.edges, 48000.0f));
    ASSERT_EQ(0, ox_ms2b_alloc(&p, &s, H, S, nb, bands.edges, 48000.0f));
    ox_ms2b_cfg cfg;
    ox_ms2b_default_cfg(&cfg);
    EXPECT_EQ(-7, ox_ms2b_init(&p, &s, &cfg, H, S, nb, bands.edges, 200000.0f));
    EXPECT_EQ(-3, ox_ms2b_init(&p, &s, &cfg, H, 0, nb, bands.edges, 48000.0f));
    EXPECT_EQ(-3, ox_ms2b_init(&p, &s, &cfg, H, S, nb + 1, bands.edges, 48000.0f));
    EXPECT_EQ(-3, ox_ms2b_init(&p, &s, &cfg, H, S, nb, nullptr, 48000.0f));
    ASSERT_EQ(0, ox_ms2b_init(&p, &s, &cfg, H, S, nb, bands.edges, 48000.0f));
    for (float v : {NAN, INFINITY, -1e30f})
    {
        cfg.gain_floor = cfg.diffuse_level = cfg.diffuseness_scale = v;
        ox_ms2b_update_cfg(&p, &cfg);
        EXPECT_TRUE(std::isfinite(p.floor) && p.floor <= 1.0f && std::isfinite(p.scale) &&
                    std::isfinite(p.diffuse_factor))
            << v;
    }
    ox_ms2b_done(&p, &s);
    ox_ms2b_done(&p, &s);
    EXPECT_EQ(nullptr, s.diffuse_gain);
}

// With the statistics on: a plane wave gives more direct than diffuse gain, a
// diffuse field (many uncorrelated plane waves from all around) the reverse.
// Neither gain falls below the floor, silence keeps them finite and a NaN
// frame is forgotten.
TEST(MS2B, DiffusenessGains)
{
    // 32 directions spread evenly over the sphere
    std::vector<std::array<double, 3>> dirs;
    for (int i = 0; i < 32; ++i)
    {
        const double z = 1.0 - (2.0 * i + 1.0) / 32.0, r = std::sqrt(1.0 - z * z);
        const double a = i * M_PI * (3.0 - std::sqrt(5.0));
        dirs.push_back({r * std::cos(a), r * std::sin(a), z});
    }
    const float floor_lin = 0.1f; // -20 dB
    for (bool diffuse : {false, true})
    {
        MS2B m(OX_MS2B_STATS, -20.0f);
        const int32_t nb = m.bands.nb;
        std::vector<BurstSource> srcs;
        for (int i = 0; i < 32; ++i) srcs.emplace_back(100 + i);
        std::vector<double> dir_mean(size_t(nb), 0.0), dif_mean(size_t(nb), 0.0);
        for (int f = 0; f < 150; ++f)
        {
            auto acc = zeros();
            if (f >= 10) // silence first
                for (int i = 0; i < (diffuse ? 32 : 1); ++i)
                    ms_wave(dirs[size_t(i)].data(), true, acc,
                            srcs[size_t(i)].next(Bands48k::specsize));
            load(acc, m.in);
            if (f == 60) m.in[1][40] = std::numeric_limits<float>::quiet_NaN();
            m.run();
            for (int32_t b = 0; b < nb; ++b)
            {
                ASSERT_GE(m.s.direct_gain[b], floor_lin) << f;
                ASSERT_GE(m.s.diffuse_gain[b], floor_lin) << f;
                ASSERT_LE(m.s.direct_gain[b], 1.0f);
                ASSERT_LE(m.s.diffuse_gain[b], 1.0f);
                if (f >= 80)
                {
                    dir_mean[size_t(b)] += m.s.direct_gain[b] / 70.0;
                    dif_mean[size_t(b)] += m.s.diffuse_gain[b] / 70.0;
                }
            }
        }
        for (int32_t b = 10; b < nb; ++b)
        {
            const double margin = diffuse ? dif_mean[size_t(b)] - dir_mean[size_t(b)]
                                          : dir_mean[size_t(b)] - dif_mean[size_t(b)];
            EXPECT_GT(margin, 0.2) << b << " diffuse " << diffuse;
        }
    }

    // forcing bits
    MS2B z(OX_MS2B_STATS | OX_MS2B_NO_DIRECT | OX_MS2B_NO_DIFFUSE);
    auto acc = zeros();
    ms_wave(dirs[0].data(), true, acc, BurstSource(4).next(Bands48k::specsize));
    load(acc, z.in);
    z.run();
    EXPECT_EQ(0.0f, z.s.direct_gain[5]);
    EXPECT_EQ(0.0f, z.s.diffuse_gain[5]);
}
