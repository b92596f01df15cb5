// Virtual microphones against the first-order response p + (1 - p) cos(angle) of a plane wave.
#include "abdec_test_util.h"
#include "ox_b2a.h"
#include "ox_spatial_sim.h"

using namespace oxtest;

constexpr int kN = 64; // packed half spectrum of 32 bins

struct Mics
{
    ox_b2a_cfg cfg;
    ox_b2a_params p;
    ox_b2a_state s;
    std::vector<std::vector<float>> spectra;
    std::vector<float*> out;

    explicit Mics(int count = OX_B2A_MAX_MICS) : spectra(count, std::vector<float>(kN, 7.0f))
    {
        ox_b2a_default_cfg(&cfg);
        for (auto& x : spectra) out.push_back(x.data());
    }
    int init() { return ox_b2a_init(&p, &s, &cfg, 480, kN / 2, 48000.0f); }
    void run(const float* const* in, int n) { ox_b2a_process_frame(&p, &s, in, out.data(), n); }
};

// An omni, a figure-of-eight and microphones of random pattern, all pointing anywhere.
TEST(B2a, PatternsFollowTheFirstOrderResponseOfAPlaneWave)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    auto random_el = [&] { return std::asin(u(rng)) * 180.0 / M_PI; };
    for (int trial = 0; trial < 10; ++trial)
    {
        double d[3], a[3];
        const double src_az = 180.0 * u(rng), src_el = random_el();
        direction(src_az, src_el, d);
        const std::vector<float> s = noise(kN, 200 + trial);
        const Signal b = fuma_wave(s, float(src_az), float(src_el));
        const float* in[4] = {b[0].data(), b[1].data(), b[2].data(), b[3].data()};
        Mics mics;
        for (int i = 0; i < OX_B2A_MAX_MICS; ++i)
        {
            mics.cfg.azimuth[i] = float(180.0 * u(rng));
            mics.cfg.elevation[i] = float(random_el());
            mics.cfg.pattern[i] = i < 2 ? float(1 - i) : float(0.5 + 0.5 * u(rng));
        }
        ASSERT_EQ(mics.init(), 0);
        mics.run(in, OX_B2A_MAX_MICS);
        for (int i = 0; i < OX_B2A_MAX_MICS; ++i)
        {
            direction(mics.cfg.azimuth[i], mics.cfg.elevation[i], a);
            const double p = mics.cfg.pattern[i];
            const double response = p + (1.0 - p) * (a[0] * d[0] + a[1] * d[1] + a[2] * d[2]);
            for (int k = 0; k < kN; ++k)
                ASSERT_NEAR(mics.spectra[i][k], response * s[k], 3e-6) << i << " " << k;
        }
    }
}

// Counts, bypass and missing buffers leave outputs alone; bad settings, sizes and rates.
TEST(B2a, CountsBypassMissingBuffersAndBadSetups)
{
    const std::vector<float> w(kN, 1.0f), x(kN, 0.5f), zero(kN, 0.0f);
    const float* in[4] = {w.data(), x.data(), zero.data(), zero.data()};
    Mics many(25), none(2), bypass(2), holes(3);
    bypass.cfg.mode = OX_B2A_MODE_BYPASS;
    ASSERT_TRUE(many.init() == 0 && none.init() == 0 && bypass.init() == 0 && holes.init() == 0);
    many.run(in, 25);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(many.spectra[i][5], i < 20 ? 1.4142135f : 7.0f) << i;
    none.run(in, 0);
    none.run(in, -3);
    bypass.run(in, 2);
    EXPECT_TRUE(none.spectra[0][0] == 7.0f && bypass.spectra[1] == std::vector<float>(kN, 7.0f));
    holes.out[1] = nullptr;
    holes.run(in, 3);
    EXPECT_EQ(holes.spectra[2][0], 1.4142135f);
    const float* missing[4] = {w.data(), nullptr, zero.data(), zero.data()};
    holes.spectra[0].assign(kN, 7.0f);
    holes.run(missing, 3);
    EXPECT_EQ(holes.spectra[0][0], 7.0f);
    ox_b2a_process_frame(&holes.p, nullptr, nullptr, holes.out.data(), 3);
    ox_b2a_process_frame(nullptr, nullptr, in, holes.out.data(), 3);
    Mics mics;
    ox_b2a_params& p = mics.p;
    const float bad[] = {NAN, INFINITY, -INFINITY, 1e30f, -1000.0f, 200.0f};
    for (int i = 0; i < 6; ++i)
        mics.cfg.azimuth[i] = mics.cfg.elevation[i] = mics.cfg.pattern[i] = bad[i];
    ASSERT_EQ(mics.init(), 0);
    for (int i = 0; i < 6; ++i)
        EXPECT_TRUE(std::fabs(p.azimuth[i]) <= 3.1415927f &&
                    std::fabs(p.elevation[i]) <= 1.5707964f && p.pattern[i] >= 0.0f &&
                    p.pattern[i] <= 1.0f)
            << i;
    EXPECT_TRUE(ox_b2a_update_cfg(nullptr, &mics.cfg) == -3 &&
                ox_b2a_update_cfg(&p, nullptr) == -3);
    // hop, bins, rate, what init answers (alloc refuses the same sizes)
    const float cases[][4] = {{0, 512, 48000, -3},    {-1, 512, 48000, -3}, {480, 0, 48000, -3},
                              {480, -1, 48000, -3},   {480, 512, 7999, -7}, {480, 512, NAN, -7},
                              {480, 512, 192001, -7}, {480, 512, 8000, 0},  {480, 512, 192000, 0}};
    for (const auto& c : cases)
        EXPECT_TRUE(ox_b2a_init(&p, nullptr, &mics.cfg, int(c[0]), int(c[1]), c[2]) == c[3] &&
                    (c[3] != -3 || ox_b2a_alloc(&p, nullptr, int(c[0]), int(c[1]), kFs) == -3))
            << c[0] << " " << c[1] << " " << c[2];
    EXPECT_EQ(ox_b2a_alloc(nullptr, nullptr, 480, 512, 48000.0f), -3);
    EXPECT_EQ(ox_b2a_init(&p, nullptr, nullptr, 480, 512, 48000.0f), -3);
}
