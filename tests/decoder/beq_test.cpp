#include "ox_beq.h"
#include "ox_perc.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

namespace
{

constexpr float kFs = 48000.0f;
constexpr int kN = 512; // FFT size: 256 complex bins, frames of 256 samples

// Beam equaliser on ERB bands of a 512-point spectrum at 48 kHz.
struct Beq
{
    std::vector<int32_t> edges = std::vector<int32_t>(64);
    std::vector<float> weights = std::vector<float>(64);
    int32_t nbands = 0;
    ox_beq_cfg cfg[OX_BEQ_MAX_BEAMS];
    ox_beq_params p{};
    ox_beq_state s{};
    int beams;

    explicit Beq(int nbeams, const std::function<void(ox_beq_cfg*)>& edit = {},
                 std::vector<int32_t> custom_edges = {})
        : beams(nbeams)
    {
        if (custom_edges.empty())
            EXPECT_EQ(ox_perc_makepercbands(kN, 64, &nbands, edges.data(), weights.data(), 1, kFs,
                                            1.0f, 0.0f),
                      0);
        else
        {
            edges = custom_edges;
            nbands = (int32_t)edges.size();
        }
        for (auto& c : cfg)
        {
            ox_beq_default_cfg(&c);
            if (edit) edit(&c);
        }
        EXPECT_EQ(ox_beq_alloc(&p, &s, kN / 2, kN / 2, beams, nbands, edges.data(), kFs), 0);
        EXPECT_EQ(ox_beq_init(&p, &s, cfg, kN / 2, kN / 2, beams, nbands, edges.data(), kFs), 0);
    }
    ~Beq() { ox_beq_done(&p, &s); }
    void frame(std::vector<std::vector<float>>& spectra)
    {
        const float* ptr[4] = {spectra[0].data(), spectra[1].data(), spectra[2].data(),
                               spectra[3].data()};
        ox_beq_process_frame(&p, &s, ptr);
    }
};

// Internal B-format spectra of a plane wave from unit vector u (W at -3 dB),
// flat magnitude and random phases, plus independent noise of the given power
// in every channel (diffuse part).
std::vector<std::vector<float>> plane_wave(const double u[3], std::mt19937& rng,
                                           double diffuse = 0.0)
{
    std::uniform_real_distribution<double> ph(0.0, 2.0 * M_PI);
    std::normal_distribution<double> nd(0.0, std::sqrt(diffuse / 2.0));
    std::vector<std::vector<float>> spectra(4, std::vector<float>(kN));
    const double gain[4] = {0.70710677, u[0], u[1], u[2]};
    for (int k = 0; k < kN / 2; k++)
    {
        const double a = ph(rng);
        for (int c = 0; c < 4; c++)
        {
            double re = gain[c] * std::cos(a), im = gain[c] * std::sin(a);
            if (diffuse > 0.0)
            {
                re += nd(rng);
                im += nd(rng);
            }
            spectra[c][2 * k] = (float)re;
            spectra[c][2 * k + 1] = (float)(k == 0 ? re : im); // DC and half-rate are real
        }
    }
    return spectra;
}

// Direction of a beam given in the configuration's degrees (azimuth clockwise).
void direction(float az_deg, float el_deg, double u[3])
{
    const double a = -az_deg * M_PI / 180.0, e = el_deg * M_PI / 180.0;
    u[0] = std::cos(a) * std::cos(e);
    u[1] = std::sin(a) * std::cos(e);
    u[2] = std::sin(e);
}

} // namespace

TEST(Beq, SilenceKeepsUnityOrDrivesToLevel)
{
    Beq beq(5);
    std::vector<std::vector<float>> zero(4, std::vector<float>(kN, 0.0f));
    for (int f = 0; f < 20; f++) beq.frame(zero);
    for (int c = 0; c < 4; c++)
        for (int b = 0; b < beq.nbands; b++) ASSERT_EQ(beq.s.gain[c][b], 1.0f);

    Beq lvl(5, [](ox_beq_cfg* c) { c->mode = OX_BEQ_LEVEL; });
    for (int f = 0; f < 2000; f++) lvl.frame(zero);
    for (int c = 0; c < 4; c++)
        for (int b = 0; b < lvl.nbands; b++) ASSERT_NEAR(lvl.s.gain[c][b], 0.1f, 1e-3f);
}

TEST(Beq, PlaneWaveFromBeamTakesTheEqualiser)
{
    // Fixed, immediate statistics and fast gains: what is left is the estimator. A wave from the
    // beam's direction is all direct sound in the beam and none in the opposite one: every
    // channel carrying it moves to (1 + eq ratio) / 2, the others stay at 1. One bad frame early
    // on must not freeze the estimator.
    const float want = (1.0f + std::pow(10.0f, 0.6f)) / 2.0f;
    double u[3];
    direction(30.0f, 20.0f, u);
    const struct
    {
        float beam_az, beam_el;
        double wave[3];
        bool carried[4]; // W X Y Z
    } cases[] = {{30, 20, {u[0], u[1], u[2]}, {true, true, true, true}},
                 {30, 20, {-u[0], -u[1], -u[2]}, {false, false, false, false}},
                 {0, 0, {1, 0, 0}, {true, true, false, false}}};
    std::mt19937 rng(1);
    for (const auto& c : cases)
    {
        Beq beq(1, [&](ox_beq_cfg* q) {
            q->mode = OX_BEQ_FIXED_STATS;
            q->stats_time = q->gain_time = 1.0f;
            q->azimuth = c.beam_az;
            q->elevation = c.beam_el;
            q->eq_gain = 6.0f;
        });
        for (int f = 0; f < 1000; f++)
        {
            auto spectra = plane_wave(c.wave, rng);
            if (f == 20)
            {
                spectra[0][10] = std::nanf("");
                spectra[2][300] = INFINITY;
            }
            beq.frame(spectra);
        }
        for (int ch = 0; ch < 4; ch++)
            for (int b = 0; b < beq.nbands; b++)
                EXPECT_NEAR(beq.s.gain[ch][b], c.carried[ch] ? want : 1.0f,
                            c.carried[ch] ? 0.01f * want : 1e-4f)
                    << c.wave[0] << " channel " << ch << " band " << b;
    }
}

TEST(Beq, BandTakesNearestEqualiserFrequency)
{
    // 93.75 Hz bins: upper edges at 187.5 Hz (equally far from 125 and 250:
    // the lower wins) and 281.25 Hz (250 Hz).
    auto edit = [](ox_beq_cfg* c) {
        c->mode = OX_BEQ_FIXED_STATS;
        c->stats_time = c->gain_time = 1.0f;
        c->eq[0] = 10.0f;
    };
    Beq beq(1, edit, {1, 2, 3, 256});
    std::mt19937 rng(2);
    const double x[3] = {1, 0, 0};
    for (int f = 0; f < 200; f++)
    {
        auto spectra = plane_wave(x, rng);
        beq.frame(spectra);
    }
    EXPECT_GT(beq.s.gain[0][0], 3.0f); // 93.75 Hz
    EXPECT_GT(beq.s.gain[0][1], 3.0f); // 187.5 Hz
    EXPECT_NEAR(beq.s.gain[0][2], 1.0f, 1e-4f);
    EXPECT_NEAR(beq.s.gain[0][3], 1.0f, 1e-4f);
}

TEST(Beq, StableAcrossCoherenceAndBadInput)
{
    // A partly diffuse field: the diffuse estimate must be continuous as the
    // coherence goes to 1 (where the textbook root divides 0 by 0).
    std::mt19937 rng(3);
    double u[3];
    direction(-45.0f, 0.0f, u);
    auto with_coherence = [](float p) {
        return [p](ox_beq_cfg* c) {
            c->azimuth = -45.0f;
            c->diffuse_coherence = p;
            c->eq_gain = 6.0f;
            c->mode = OX_BEQ_FIXED_STATS;
        };
    };
    Beq a(1, with_coherence(0.9999f));
    Beq b(1, with_coherence(0.99999994f)); // the float just below 1
    Beq c1(1, with_coherence(1.0f));
    for (int f = 0; f < 300; f++)
    {
        auto spectra = plane_wave(u, rng, 0.3);
        a.frame(spectra);
        b.frame(spectra);
        c1.frame(spectra);
    }
    for (int c = 0; c < 4; c++)
        for (int k = 0; k < a.nbands; k++)
        {
            EXPECT_NEAR(a.s.gain[c][k], c1.s.gain[c][k], 0.005f) << c << " " << k;
            EXPECT_NEAR(b.s.gain[c][k], c1.s.gain[c][k], 0.001f) << c << " " << k;
        }

    // Random settings over their whole ranges on fields of two waves from
    // random directions plus diffuse noise, with one frame of NaN and Inf:
    // every gain stays finite and positive (a power estimate never goes
    // negative, so no band is ever inverted).
    std::uniform_real_distribution<float> uni(0.0f, 1.0f);
    for (int trial = 0; trial < 6; trial++)
    {
        Beq x(5, [&](ox_beq_cfg* c) {
            c->focus = 2.0f * uni(rng);
            c->azimuth = 360.0f * uni(rng) - 180.0f;
            c->elevation = 180.0f * uni(rng) - 90.0f;
            c->diffuse_coherence = uni(rng);
            c->eigen_floor = -180.0f * uni(rng);
            c->gain_floor = -180.0f * uni(rng);
            c->diffuse_gain = 40.0f * uni(rng) - 20.0f;
            c->beam_gain = 40.0f * uni(rng) - 20.0f;
            for (float& e : c->eq) e = 80.0f * uni(rng) - 40.0f;
            c->eq_gain = 40.0f * uni(rng) - 20.0f;
            c->stats_time = trial % 2 ? 1.0f : 20.0f;
            c->mode = trial % 3 ? OX_BEQ_LEVEL : 0;
        });
        for (int f = 0; f < 150; f++)
        {
            double v[2][3];
            for (auto& d : v) direction(360.0f * uni(rng), 180.0f * uni(rng) - 90.0f, d);
            auto spectra = plane_wave(v[0], rng, f % 3 ? 0.5 : 0.0);
            const auto other = plane_wave(v[1], rng);
            const float amp = 3.0f * uni(rng);
            for (int c = 0; c < 4; c++)
                for (int k = 0; k < kN; k++) spectra[c][k] += amp * other[c][k];
            if (f == 75)
            {
                spectra[0][10] = std::nanf("");
                spectra[2][11] = INFINITY;
            }
            x.frame(spectra);
            for (int c = 0; c < 4; c++)
                for (int k = 0; k < x.nbands; k++)
                {
                    const float g = x.s.gain[c][k];
                    ASSERT_TRUE(std::isfinite(g) && g > 0.0f) << trial << " " << f << " " << g;
                }
        }
    }
}

TEST(Beq, SetupGuards)
{
    std::vector<int32_t> edges{4, 16, 64, 256};
    ox_beq_params p{};
    ox_beq_state s{};
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 256, 5, 4, edges.data(), 0.0f), -7);
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 256, 0, 4, edges.data(), kFs), -3);
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 256, 6, 4, edges.data(), kFs), -3);
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 0, 5, 4, edges.data(), kFs), -3);
    ASSERT_EQ(ox_beq_alloc(&p, &s, 256, 256, 2, 4, edges.data(), kFs), 0);

    ox_beq_cfg cfg[5];
    for (auto& c : cfg) ox_beq_default_cfg(&c);
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 4, edges.data(), 7000.0f), -7);
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 0, 256, 2, 4, edges.data(), kFs), -3);
    // More beams or bands than allocated, and edges beyond the spectrum.
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 3, 4, edges.data(), kFs), -3);
    std::vector<int32_t> more{4, 16, 64, 128, 256};
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 5, more.data(), kFs), -3);
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 5, more.data(), kFs), -3);
    std::vector<int32_t> bad{4, 16, 64, 300};
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 4, bad.data(), kFs), -3);
    cfg[1].azimuth = 200.0f;
    cfg[1].focus = std::nanf("");
    ASSERT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 4, edges.data(), kFs), 0);
    EXPECT_EQ(cfg[1].azimuth, 180.0f);
    EXPECT_EQ(cfg[1].focus, 1.0f);
    EXPECT_EQ(ox_beq_update_cfg(&p, &cfg[0], 5), -8);
    ox_beq_done(&p, &s);
    EXPECT_EQ(s.energy[0], nullptr);
    // After done, processing is a no-op rather than a crash.
    std::vector<float> z(512, 0.0f);
    const float* ptr[4] = {z.data(), z.data(), z.data(), z.data()};
    ox_beq_process_frame(&p, &s, ptr);
}
