// Beam equaliser: direct-sound estimate per band against plane waves, level mode, bad input.
#include "ox_beq.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

constexpr int kN = 512; // FFT size: 256 complex bins, frames of 256 samples
using Spectra = std::vector<std::vector<float>>;

// Beam equaliser on the perceptual bands of a 512-point spectrum at 48 kHz (or the given edges).
struct Beq
{
    BandTable t{kN, kFs};
    std::vector<int32_t> edges;
    ox_beq_cfg cfg[OX_BEQ_MAX_BEAMS];
    ox_beq_params p{};
    ox_beq_state s{};

    explicit Beq(int beams, const std::function<void(ox_beq_cfg*)>& edit = {},
                 std::vector<int32_t> custom = {})
        : edges(custom.empty() ? t.edges : custom)
    {
        for (auto& c : cfg)
        {
            ox_beq_default_cfg(&c);
            if (edit) edit(&c);
        }
        const int32_t nb = int32_t(edges.size());
        EXPECT_EQ(ox_beq_alloc(&p, &s, kN / 2, kN / 2, beams, nb, edges.data(), kFs), 0);
        EXPECT_EQ(ox_beq_init(&p, &s, cfg, kN / 2, kN / 2, beams, nb, edges.data(), kFs), 0);
    }
    ~Beq() { ox_beq_done(&p, &s); }
    void frame(const Spectra& x)
    {
        const float* ptr[4] = {x[0].data(), x[1].data(), x[2].data(), x[3].data()};
        ox_beq_process_frame(&p, &s, ptr);
    }
};

// B-format spectra of a wave from az (clockwise, as the beam's) and el, random phases + diffuse.
Spectra wave(float az, float el, std::mt19937& rng, double diffuse = 0.0)
{
    std::uniform_real_distribution<double> ph(0.0, 2.0 * M_PI);
    std::normal_distribution<double> nd(0.0, std::sqrt(diffuse / 2.0));
    float gain[4];
    plane_wave(-az, el, gain);
    Spectra x(4, std::vector<float>(kN));
    for (int k = 0; k < kN / 2; k++)
    {
        const double a = ph(rng);
        for (int c = 0; c < 4; c++)
        {
            const double re = gain[c] * std::cos(a) + (diffuse > 0.0 ? nd(rng) : 0.0);
            const double im = gain[c] * std::sin(a) + (diffuse > 0.0 ? nd(rng) : 0.0);
            x[c][2 * k] = (float)re;
            x[c][2 * k + 1] = (float)(k == 0 ? re : im); // DC and half-rate are real
        }
    }
    return x;
}

// Every gain of the first beam, as a table [channel][band].
void expect_gains(const Beq& q, const std::function<void(int ch, int b, float g)>& check)
{
    for (int c = 0; c < 4; c++)
        for (int b = 0; b < int(q.edges.size()); b++) check(c, b, q.s.gain[c][b]);
}

} // namespace

// Silence keeps unity (or drives the level mode to its floor); with fixed statistics, channels
// carrying a beam's wave move to (1 + eq) / 2, others stay 1; a band takes the nearest eq
// frequency.
TEST(Beq, GainsForSilencePlaneWavesAndBandFrequencies)
{
    Beq beq(5), lvl(5, [](ox_beq_cfg*c) { c->mode = OX_BEQ_LEVEL; });
    const Spectra zero(4, std::vector<float>(kN, 0.0f));
    for (int f = 0; f < 2000; f++) lvl.frame(zero);
    for (int f = 0; f < 20; f++) beq.frame(zero);
    expect_gains(beq, [](int c, int b, float g) { ASSERT_EQ(g, 1.0f) << c << " " << b; });
    expect_gains(lvl, [](int c, int b, float g) { ASSERT_NEAR(g, 0.1f, 1e-3f) << c << " " << b; });

    const float want = (1.0f + std::pow(10.0f, 0.6f)) / 2.0f;
    // beam azimuth, elevation, wave azimuth, elevation, channels W X Y Z carrying it
    const float cases[][8] = {
        {30, 20, 30, 20, 1, 1, 1, 1}, {30, 20, -150, -20, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 0, 0}};
    std::mt19937 rng(1);
    for (const auto& c : cases)
    {
        Beq fixed(1, [&](ox_beq_cfg* q) {
            q->mode = OX_BEQ_FIXED_STATS;
            q->stats_time = q->gain_time = 1.0f;
            q->azimuth = c[0], q->elevation = c[1];
            q->eq_gain = 6.0f;
        });
        for (int f = 0; f < 1000; f++)
        {
            auto x = wave(c[2], c[3], rng);
            if (f == 20) x[0][10] = NAN, x[2][300] = INFINITY;
            fixed.frame(x);
        }
        expect_gains(fixed, [&](int ch, int b, float g) {
            EXPECT_NEAR(g, c[4 + ch] ? want : 1.0f, c[4 + ch] ? 0.01f * want : 1e-4f)
                << c[2] << " " << ch << " " << b;
        });
    }
    // 93.75 Hz bins: edge 187.5 Hz ties 125 and 250 (the lower wins), 281.25 Hz takes 250.
    Beq near(1,
             [](ox_beq_cfg* c) {
                 c->mode = OX_BEQ_FIXED_STATS;
                 c->stats_time = c->gain_time = 1.0f;
                 c->eq[0] = 10.0f;
             },
             {1, 2, 3, 256});
    for (int f = 0; f < 200; f++) near.frame(wave(0, 0, rng));
    EXPECT_TRUE(near.s.gain[0][0] > 3.0f && near.s.gain[0][1] > 3.0f); // 93.75 and 187.5 Hz
    for (int b : {2, 3}) EXPECT_NEAR(near.s.gain[0][b], 1.0f, 1e-4f) << b;
}

TEST(Beq, StableAcrossCoherenceBadInputAndSettings)
{
    // The diffuse estimate is continuous as the coherence reaches 1 (the textbook root's 0/0).
    std::mt19937 rng(3);
    std::vector<std::unique_ptr<Beq>> q;
    for (float p : {1.0f, 0.9999f, 0.99999994f})
        q.emplace_back(new Beq(1, [p](ox_beq_cfg* c) {
            c->azimuth = -45.0f;
            c->diffuse_coherence = p;
            c->eq_gain = 6.0f;
            c->mode = OX_BEQ_FIXED_STATS;
        }));
    for (int f = 0; f < 300; f++)
    {
        const auto x = wave(-45.0f, 0.0f, rng, 0.3);
        for (auto& b : q) b->frame(x);
    }
    expect_gains(*q[1], [&](int c, int k, float g) { EXPECT_NEAR(g, q[0]->s.gain[c][k], 0.005f); });
    expect_gains(*q[2], [&](int c, int k, float g) { EXPECT_NEAR(g, q[0]->s.gain[c][k], 0.001f); });

    // Random settings, two waves plus diffuse noise and a bad frame: gains stay finite and > 0.
    auto r = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); };
    for (int trial = 0; trial < 6; trial++)
    {
        Beq x(5, [&](ox_beq_cfg* c) {
            const std::tuple<float*, float, float> ranges[] = {
                {&c->focus, 0, 2},           {&c->azimuth, -180, 180},
                {&c->elevation, -90, 90},    {&c->eigen_floor, -180, 0},
                {&c->gain_floor, -180, 0},   {&c->diffuse_coherence, 0, 1},
                {&c->diffuse_gain, -20, 20}, {&c->beam_gain, -20, 20},
                {&c->eq_gain, -20, 20}};
            for (auto [v, lo, hi] : ranges) *v = r(lo, hi);
            for (float& e : c->eq) e = r(-40, 40);
            c->stats_time = trial % 2 ? 1.0f : 20.0f;
            c->mode = trial % 3 ? OX_BEQ_LEVEL : 0;
        });
        for (int f = 0; f < 150; f++)
        {
            auto s = wave(r(0, 360), r(-90, 90), rng, f % 3 ? 0.5 : 0.0);
            const auto other = wave(r(0, 360), r(-90, 90), rng);
            const float amp = r(0, 3);
            for (int c = 0; c < 4; c++)
                for (int k = 0; k < kN; k++) s[c][k] += amp * other[c][k];
            if (f == 75) s[0][10] = NAN, s[2][11] = INFINITY;
            x.frame(s);
            expect_gains(x, [&](int, int, float g) {
                ASSERT_TRUE(std::isfinite(g) && g > 0.0f) << trial << " " << f << " " << g;
            });
        }
    }

    std::vector<int32_t> edges{4, 16, 64, 256}, more{4, 16, 64, 128, 256}, bad{4, 16, 64, 300};
    ox_beq_params p{};
    ox_beq_state s{};
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 256, 5, 4, edges.data(), 0.0f), -7);
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 256, 0, 4, edges.data(), kFs), -3);
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 256, 6, 4, edges.data(), kFs), -3);
    EXPECT_EQ(ox_beq_alloc(&p, &s, 256, 0, 5, 4, edges.data(), kFs), -3);
    ASSERT_EQ(ox_beq_alloc(&p, &s, 256, 256, 2, 4, edges.data(), kFs), 0);
    ox_beq_cfg* cfg = q[0]->cfg;
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 4, edges.data(), 7000.0f), -7);
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 0, 256, 2, 4, edges.data(), kFs), -3);
    // More beams or bands than allocated, and edges beyond the spectrum.
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 3, 4, edges.data(), kFs), -3);
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 5, more.data(), kFs), -3);
    EXPECT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 4, bad.data(), kFs), -3);
    cfg[1].azimuth = 200.0f, cfg[1].focus = NAN;
    ASSERT_EQ(ox_beq_init(&p, &s, cfg, 256, 256, 2, 4, edges.data(), kFs), 0);
    EXPECT_TRUE(cfg[1].azimuth == 180.0f && cfg[1].focus == 1.0f);
    EXPECT_EQ(ox_beq_update_cfg(&p, &cfg[0], 5), -8);
    ox_beq_done(&p, &s);
    EXPECT_EQ(s.energy[0], nullptr);
    // After done, processing is a no-op rather than a crash.
    const float z[kN] = {}, *ptr[4] = {z, z, z, z};
    ox_beq_process_frame(&p, &s, ptr);
}
