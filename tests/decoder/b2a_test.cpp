#include "ox_b2a.h"

#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace
{

constexpr int kFft = 64;        // FFT size
constexpr int kBins = kFft / 2; // packed half spectrum: kFft floats
constexpr float kW = 0.70710677f;

struct Vec
{
    double x, y, z;
};

double dot(Vec a, Vec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec randomUnit(std::mt19937& rng)
{
    std::normal_distribution<double> g;
    Vec v{g(rng), g(rng), g(rng)};
    const double n = std::sqrt(dot(v, v));
    return {v.x / n, v.y / n, v.z / n};
}

// B-format spectra of a plane wave with source spectrum s arriving from unit
// direction d: pressure in W at -3 dB, velocity components in X, Y, Z.
struct PlaneWave
{
    std::vector<float> s;
    std::array<std::vector<float>, 4> b;
    const float* in[4];

    PlaneWave(Vec d, uint32_t seed) : s(oxtest::noise(kFft, seed))
    {
        const double gain[4] = {kW, d.x, d.y, d.z};
        for (int c = 0; c < 4; ++c)
        {
            b[c].resize(kFft);
            for (int k = 0; k < kFft; ++k) b[c][k] = float(gain[c] * s[k]);
            in[c] = b[c].data();
        }
    }
};

// Configuration angles (degrees) that aim a microphone along unit vector u.
void aim(ox_b2a_cfg& cfg, int i, Vec u)
{
    cfg.azimuth[i] = float(std::atan2(u.y, u.x) * 180.0 / M_PI);
    cfg.elevation[i] = float(std::asin(u.z) * 180.0 / M_PI);
}

struct Mics
{
    ox_b2a_cfg cfg;
    ox_b2a_params params;
    ox_b2a_state state;
    std::vector<std::vector<float>> spectra;
    std::vector<float*> out;

    explicit Mics(int count = OX_B2A_MAX_MICS, float fill = 7.0f)
        : spectra(count, std::vector<float>(kFft, fill))
    {
        ox_b2a_default_cfg(&cfg);
        for (auto& s : spectra) out.push_back(s.data());
    }
    int init() { return ox_b2a_init(&params, &state, &cfg, 480, kBins, 48000.0f); }
    void run(const float* const* in, int count)
    {
        ox_b2a_process_frame(&params, &state, in, out.data(), count);
    }
};

} // namespace

TEST(B2a, CardioidsOfAPlaneWave)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 20; ++trial)
    {
        const Vec d = randomUnit(rng);
        PlaneWave wave(d, 100 + trial);
        Mics mics(2);
        aim(mics.cfg, 0, d);
        aim(mics.cfg, 1, {-d.x, -d.y, -d.z});
        mics.cfg.pattern[0] = mics.cfg.pattern[1] = 0.5f;
        ASSERT_EQ(mics.init(), 0);
        mics.run(wave.in, 2);
        for (int k = 0; k < kFft; ++k)
        {
            EXPECT_NEAR(mics.spectra[0][k], wave.s[k], 2e-6) << "toward, bin float " << k;
            EXPECT_NEAR(mics.spectra[1][k], 0.0f, 2e-6) << "away, bin float " << k;
        }
    }
}

TEST(B2a, RandomPatternsFollowFirstOrderResponse)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> pat(0.0f, 1.0f);
    for (int trial = 0; trial < 10; ++trial)
    {
        const Vec d = randomUnit(rng);
        PlaneWave wave(d, 200 + trial);
        Mics mics;
        std::array<Vec, OX_B2A_MAX_MICS> u;
        for (int i = 0; i < OX_B2A_MAX_MICS; ++i)
        {
            u[i] = randomUnit(rng);
            aim(mics.cfg, i, u[i]);
            mics.cfg.pattern[i] = i == 0 ? 0.0f : i == 1 ? 1.0f : pat(rng);
        }
        ASSERT_EQ(mics.init(), 0);
        mics.run(wave.in, OX_B2A_MAX_MICS);
        for (int i = 0; i < OX_B2A_MAX_MICS; ++i)
        {
            const double p = mics.cfg.pattern[i];
            const double response = p + (1.0 - p) * dot(u[i], d);
            for (int k = 0; k < kFft; ++k)
                ASSERT_NEAR(mics.spectra[i][k], response * wave.s[k], 3e-6) << i << " " << k;
        }
    }
}

TEST(B2a, DefaultAndCardioidCoefficients)
{
    const std::vector<float> w = oxtest::noise(kFft, 1), x = oxtest::noise(kFft, 2),
                             y = oxtest::noise(kFft, 3), z = oxtest::noise(kFft, 4);
    const float* in[4] = {w.data(), x.data(), y.data(), z.data()};

    // Omnidirectional microphones hear sqrt 2 · W whatever their direction.
    Mics omni(3);
    omni.cfg.azimuth[1] = 70.0f;
    omni.cfg.elevation[2] = -40.0f;
    ASSERT_EQ(omni.init(), 0);
    EXPECT_EQ(omni.params.gain, 1.0f);
    omni.run(in, 3);
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < kFft; ++k) ASSERT_FLOAT_EQ(omni.spectra[i][k], 1.4142135f * w[k]);

    Mics card(1);
    card.cfg.pattern[0] = 0.5f;
    ASSERT_EQ(card.init(), 0);
    card.run(in, 1);
    for (int k = 0; k < kFft; ++k)
        ASSERT_NEAR(card.spectra[0][k], (1.4142135f * w[k] + x[k]) / 2, 1e-6f);
}

TEST(B2a, CountModeAndNullsLimitWhatIsWritten)
{
    const std::vector<float> w(kFft, 1.0f), x(kFft, 0.5f), zero(kFft, 0.0f);
    const float* in[4] = {w.data(), x.data(), zero.data(), zero.data()};

    Mics many(25);
    ASSERT_EQ(many.init(), 0);
    many.run(in, 25);
    for (int i = 0; i < 25; ++i) EXPECT_EQ(many.spectra[i][5], i < 20 ? 1.4142135f : 7.0f) << i;

    for (int count : {0, -3})
    {
        Mics none(2);
        ASSERT_EQ(none.init(), 0);
        none.run(in, count);
        EXPECT_EQ(none.spectra[0][0], 7.0f);
    }

    Mics bypass(2);
    bypass.cfg.mode = OX_B2A_MODE_BYPASS;
    ASSERT_EQ(bypass.init(), 0);
    bypass.run(in, 2);
    EXPECT_EQ(bypass.spectra[0], std::vector<float>(kFft, 7.0f));
    EXPECT_EQ(bypass.spectra[1], std::vector<float>(kFft, 7.0f));

    Mics holes(3);
    ASSERT_EQ(holes.init(), 0);
    holes.out[1] = nullptr;
    holes.run(in, 3);
    EXPECT_EQ(holes.spectra[2][0], 1.4142135f);
    const float* missing[4] = {w.data(), nullptr, zero.data(), zero.data()};
    holes.spectra[0].assign(kFft, 7.0f);
    holes.run(missing, 3);
    EXPECT_EQ(holes.spectra[0][0], 7.0f);
    ox_b2a_process_frame(&holes.params, nullptr, nullptr, holes.out.data(), 3);
    ox_b2a_process_frame(nullptr, nullptr, in, holes.out.data(), 3);
}

TEST(B2a, ConfigurationIsClampedInPlace)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Mics mics;
    mics.cfg.azimuth[0] = 200.0f;
    mics.cfg.azimuth[1] = -1000.0f;
    mics.cfg.elevation[2] = 95.0f;
    mics.cfg.elevation[3] = -std::numeric_limits<float>::infinity();
    mics.cfg.pattern[4] = -0.3f;
    mics.cfg.pattern[5] = 1.5f;
    mics.cfg.azimuth[6] = nan;
    mics.cfg.pattern[6] = nan;
    mics.cfg.azimuth[7] = 90.0f;
    ASSERT_EQ(mics.init(), 0);
    EXPECT_EQ(mics.cfg.azimuth[0], 180.0f);
    EXPECT_EQ(mics.cfg.azimuth[1], -180.0f);
    EXPECT_EQ(mics.cfg.elevation[2], 90.0f);
    EXPECT_EQ(mics.cfg.elevation[3], 0.0f);
    EXPECT_EQ(mics.cfg.pattern[4], 0.0f);
    EXPECT_EQ(mics.cfg.pattern[5], 1.0f);
    EXPECT_EQ(mics.cfg.azimuth[6], 0.0f);
    EXPECT_EQ(mics.cfg.pattern[6], 1.0f);
    EXPECT_FLOAT_EQ(mics.params.azimuth[0], 3.1415927f);
    EXPECT_FLOAT_EQ(mics.params.azimuth[7], 3.1415927f / 2);
    EXPECT_FLOAT_EQ(mics.params.elevation[2], 3.1415927f / 2);

    mics.cfg.mode = OX_B2A_MODE_BYPASS;
    mics.cfg.pattern[0] = 0.25f;
    EXPECT_EQ(ox_b2a_update_cfg(&mics.params, &mics.cfg), 0);
    EXPECT_EQ(mics.params.mode, OX_B2A_MODE_BYPASS);
    EXPECT_EQ(mics.params.pattern[0], 0.25f);
    EXPECT_EQ(ox_b2a_update_cfg(nullptr, &mics.cfg), -3);
    EXPECT_EQ(ox_b2a_update_cfg(&mics.params, nullptr), -3);
}

TEST(B2a, InvalidSizesAndRatesAreRefused)
{
    ox_b2a_params params{};
    ox_b2a_cfg cfg;
    ox_b2a_default_cfg(&cfg);
    const float nan = std::numeric_limits<float>::quiet_NaN();

    EXPECT_EQ(ox_b2a_alloc(&params, nullptr, 480, 512, 48000.0f), 0);
    EXPECT_EQ(params.num_inputs, 4);
    EXPECT_EQ(params.max_mics, 20);
    EXPECT_EQ(params.specsize, 512);
    EXPECT_EQ(ox_b2a_alloc(&params, nullptr, 480, 512, 0.0f), -7);
    EXPECT_EQ(ox_b2a_alloc(&params, nullptr, 480, 512, nan), -7);
    for (int bad : {0, -1, -512})
    {
        EXPECT_EQ(ox_b2a_alloc(&params, nullptr, bad, 512, 48000.0f), -3);
        EXPECT_EQ(ox_b2a_alloc(&params, nullptr, 480, bad, 48000.0f), -3);
        EXPECT_EQ(ox_b2a_init(&params, nullptr, &cfg, bad, 512, 48000.0f), -3);
        EXPECT_EQ(ox_b2a_init(&params, nullptr, &cfg, 480, bad, 48000.0f), -3);
    }
    EXPECT_EQ(ox_b2a_alloc(nullptr, nullptr, 480, 512, 48000.0f), -3);

    for (float rate : {7999.0f, 192001.0f, 0.0f, nan})
        EXPECT_EQ(ox_b2a_init(&params, nullptr, &cfg, 480, 512, rate), -7) << rate;
    EXPECT_EQ(ox_b2a_init(&params, nullptr, &cfg, 480, 512, 8000.0f), 0);
    EXPECT_EQ(ox_b2a_init(&params, nullptr, &cfg, 480, 512, 192000.0f), 0);
    EXPECT_EQ(ox_b2a_init(nullptr, nullptr, &cfg, 480, 512, 48000.0f), -3);
    EXPECT_EQ(ox_b2a_init(&params, nullptr, nullptr, 480, 512, 48000.0f), -3);
}
