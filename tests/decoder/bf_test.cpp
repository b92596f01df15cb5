#include "ox_bf.h"
#include "ox_bhist.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace
{

const float kFs = 48000.0f;
const int32_t kHop = 480, kFft = 1024, kSpec = 512;
const float kPi = 3.14159265f;

// One beam processor on the decoder's 48 kHz band table.
struct Beam
{
    oxtest::BandTable bands{kFft, kFs};
    ox_bf_cfg cfg{};
    ox_bf_params p{};
    ox_bf_state s{};
    explicit Beam(int32_t mode = 188)
    {
        ox_bf_default_cfg(&cfg);
        cfg.mode = mode;
        EXPECT_EQ(ox_bf_alloc(&p, &s, kHop, kSpec, bands.count, bands.edges.data(), kFs), 0);
        EXPECT_EQ(ox_bf_init(&p, &s, &cfg, kHop, kSpec, bands.count, bands.edges.data(), kFs), 0);
    }
    ~Beam() { ox_bf_done(&p, &s); }
};

struct Levels
{
    double out1_db, out2_db; // output energies over the reference, dB
    double peak_db;          // loudest frame of output 1 over the pair's energy
};

// Runs a field through the beam (cardioid pair along +X from the B-format, as the engine forms
// it) and measures outputs 1 and 2 over the last 3/4 of the run against the omnidirectional
// pressure (sqrt 2 W).
Levels run(Beam& beam, const std::vector<oxtest::BFrame>& field, float focus)
{
    std::vector<float> C1(kFft), C2(kFft);
    const float ufront[3] = {1, 0, 0}, uback[3] = {-1, 0, 0};
    const int nb = beam.bands.count;
    std::vector<float> smoothing(size_t(nb), 0.3f), coherence(size_t(nb), 0.0f);
    double e1 = 0, e2 = 0, eref = 0, maxr = 0;
    for (size_t f = 0; f < field.size(); ++f)
    {
        const auto& B = field[f];
        const float* bp[4] = {B[0].data(), B[1].data(), B[2].data(), B[3].data()};
        oxtest::cardioid(bp, ufront, C1.data(), kSpec);
        oxtest::cardioid(bp, uback, C2.data(), kSpec);
        const float* pair[2] = {C1.data(), C2.data()};
        ox_bf_process_frame(&beam.p, &beam.s, pair, smoothing.data(), coherence.data(), focus);
        if (f < field.size() / 4) continue;
        double fe1 = 0, fec = 0;
        // Band weights applied as constants over each band's bins.
        for (int b = 0; b < nb; ++b)
        {
            const float w[4] = {beam.s.weight1[b], beam.s.weight2[b], beam.s.weight3[b],
                                beam.s.weight4[b]};
            for (int j = 2 * (b == 0 ? 1 : beam.bands.edges[size_t(b - 1)]);
                 j < 2 * beam.bands.edges[size_t(b)]; ++j)
            {
                const double y1 = w[0] * C1[j] + w[1] * C2[j], y2 = w[2] * C1[j] + w[3] * C2[j];
                e1 += y1 * y1;
                fe1 += y1 * y1;
                fec += double(C1[j]) * C1[j] + double(C2[j]) * C2[j];
                e2 += y2 * y2;
                eref += 2.0 * B[0][j] * B[0][j];
            }
        }
        if (fec > 0) maxr = std::max(maxr, fe1 / fec);
    }
    return {10.0 * std::log10(e1 / eref), 10.0 * std::log10(e2 / eref), 10.0 * std::log10(maxr)};
}

std::vector<oxtest::BFrame> field(std::vector<std::array<float, 2>> dirs_deg, float diffuse)
{
    for (auto& d : dirs_deg) d = {d[0] * kPi / 180.0f, d[1] * kPi / 180.0f};
    return oxtest::field_frames(kHop, kFft, 300, dirs_deg, diffuse, 11);
}

Levels plane(Beam& beam, float deg, float focus)
{
    return run(beam, field({{deg, 0.0f}}, 0.0f), focus);
}

double cardioid_db(float deg)
{
    return 20.0 * std::log10((1.0 + std::cos(deg * kPi / 180.0)) / 2.0);
}

} // namespace

// The beam's output is its front cardioid times the directional gain: measured against the
// cardioid, the gain is (1 + cos)/2 for shape -2 or its square for -3; on the axis it passes at
// unity (also with a focus factor), from behind it is rejected.
TEST(BeamProcessing, DirectionalGainIsFirstOrderForMinus2AndSquaredForMinus3)
{
    for (float focus : {-2.0f, -3.0f, 0.5f})
        for (float deg : {0.0f, 30.0f, 60.0f, 90.0f, 120.0f})
        {
            if ((focus == -3.0f && deg > 90.0f) || (focus == 0.5f && deg > 0.0f)) continue;
            Beam beam;
            beam.cfg.direct_floor = -100.0f;
            ox_bf_update_cfg(&beam.p, &beam.cfg);
            const double g = plane(beam, deg, focus).out1_db - cardioid_db(deg);
            const double order = focus == -3.0f ? 2.0 : 1.0;
            EXPECT_NEAR(g, order * cardioid_db(deg), deg > 90.0f ? 1.5 : 0.6)
                << focus << " " << deg;
        }
    Beam beam;
    EXPECT_LT(plane(beam, 180.0f, -2.0f).out1_db, -20.0);
}

// A coincident isotropic field goes to the diffuse output (the cardioid pair's coherence is 0.5,
// the value the coherence table takes for a coincident array), a plane wave to the direct one;
// with a field and a source together no frame of output 1 is louder than the pair it is made of.
TEST(BeamProcessing, DiffuseFieldGoesToDiffuseOutputAndNothingIsAmplified)
{
    Beam beam;
    beam.cfg.spacing = 0.0f;
    ox_bf_update_cfg(&beam.p, &beam.cfg);
    const Levels d = run(beam, field({}, 1.0f), -2.0f);
    EXPECT_GT(d.out2_db, -10.0); // the front cardioid carries 1/3 of the field's omni power
    EXPECT_GT(d.out2_db - d.out1_db, 6.0);
    Beam direct;
    const Levels p = plane(direct, 0.0f, -2.0f);
    EXPECT_GT(p.out1_db - p.out2_db, 30.0);
    for (float spacing : {0.0f, 24.0f})
    {
        Beam mixed;
        mixed.cfg.spacing = spacing;
        ox_bf_update_cfg(&mixed.p, &mixed.cfg);
        const Levels l = run(mixed, field({{45.8f, 0.0f}}, 1.0f), -2.0f);
        EXPECT_LT(l.peak_db, 0.5) << spacing;
        EXPECT_LT(l.out1_db, 0.0) << spacing;
    }
}

TEST(BeamProcessing, WeightThatChangesSignConvergesToTheNewWeight)
{
    // A frozen field (the same spectrum every frame) keeps every target
    // weight constant. Negating the stored weights, as after a source moved to
    // where the weights change sign, must not stop them: they return to their
    // targets instead of settling on the negatives. Weight smoothing starts
    // only once the weights sit exactly on their targets.
    Beam beam(188 & ~OX_BF_SMOOTH_WEIGHTS);
    std::vector<float> S(kFft), B[4], C1(kFft), C2(kFft);
    oxtest::Stft stft(kHop, kFft);
    const std::vector<float> x = oxtest::gauss(size_t(2 * kHop), 5);
    stft.analyse(x.data(), S.data());
    stft.analyse(x.data() + kHop, S.data());
    float g[4];
    oxtest::plane_wave(kPi / 2.0f, 0.0f, g);
    for (int c = 0; c < 4; ++c)
    {
        B[c] = S;
        for (float& v : B[c]) v *= g[c];
    }
    const float* bp[4] = {B[0].data(), B[1].data(), B[2].data(), B[3].data()};
    const float uf[3] = {1, 0, 0}, ub[3] = {-1, 0, 0};
    oxtest::cardioid(bp, uf, C1.data(), kSpec);
    oxtest::cardioid(bp, ub, C2.data(), kSpec);
    const float* pair[2] = {C1.data(), C2.data()};
    const int nb = beam.bands.count;
    std::vector<float> smoothing(size_t(nb), 0.3f), coherence(size_t(nb), 0.0f);
    for (int f = 0; f < 100; ++f)
        ox_bf_process_frame(&beam.p, &beam.s, pair, smoothing.data(), coherence.data(), -2.0f);
    float* w[4] = {beam.s.weight1, beam.s.weight2, beam.s.weight3, beam.s.weight4};
    std::vector<float> target[4];
    for (int i = 0; i < 4; ++i)
    {
        target[i].assign(w[i], w[i] + nb);
        for (int b = 0; b < nb; ++b) w[i][b] = -w[i][b];
    }
    beam.cfg.mode = 188;
    ox_bf_update_cfg(&beam.p, &beam.cfg);
    for (int f = 0; f < 300; ++f)
        ox_bf_process_frame(&beam.p, &beam.s, pair, smoothing.data(), coherence.data(), -2.0f);
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < nb; ++b)
            EXPECT_NEAR(w[i][b], target[i][size_t(b)], 0.01f) << i << " " << b;
}

TEST(BeamProcessing, CoherenceTableIsTheSphericalIntegralAndIsShared)
{
    // Against the unit's own generic integral: two cardioids 109.47 degrees
    // apart in the x-z plane, phase term of the vertical spacing.
    const double s3 = 1.0 / std::sqrt(3.0), s23 = std::sqrt(2.0 / 3.0);
    const double e1[3] = {s3, 0.0, -s23}, e2[3] = {s3, 0.0, s23};
    for (float spacing : {0.0f, 0.5f, 24.0f, 100.0f})
    {
        Beam beam;
        beam.cfg.spacing = spacing;
        ox_bf_update_cfg(&beam.p, &beam.cfg);
        for (int b = 0; b < beam.bands.count; ++b)
        {
            const double f = beam.bands.edges[size_t(b)] * kFs / kSpec;
            const double k = 2.0 * (0.001 * spacing * f * 2.0 * M_PI / 340.0) * std::sqrt(2.0) * s3;
            const float I = integral2(-M_PI, M_PI, -M_PI / 2, M_PI / 2, e1, e2, k, 0.5);
            EXPECT_NEAR(beam.p.band_coherence[b], 4.5f * I - 0.5f, 2e-6f) << spacing << " " << b;
        }
        // Coincident capsules: back-to-back cardioids in a diffuse field have
        // coherence (1 - 1/3) / (1 + 1/3) = 0.5.
        if (spacing <= 0.5f)
        {
            EXPECT_NEAR(beam.p.band_coherence[0], 0.5f, 1e-3f);
        }
    }

    // Twenty beams: one table serves them all and is rebuilt only when the
    // spacing changes; the result is the same as each beam's own.
    std::vector<std::unique_ptr<Beam>> beams;
    for (int i = 0; i < 20; ++i) beams.emplace_back(new Beam);
    ox_bf_cfg cfg;
    ox_bf_default_cfg(&cfg);
    cfg.spacing = 30.0f;
    ox_bf_update_cfg(&beams[0]->p, &cfg);
    for (int i = 1; i < 20; ++i) ox_bf_update_cfg_shared(&beams[i]->p, &cfg, &beams[0]->p);
    Beam own;
    own.cfg.spacing = 30.0f;
    ox_bf_update_cfg(&own.p, &own.cfg);
    for (auto& b : beams)
        EXPECT_EQ(0, std::memcmp(b->p.band_coherence, own.p.band_coherence,
                                 sizeof(float) * size_t(own.bands.count)));

    // A table for a different band layout is never taken over.
    oxtest::BandTable other(2048, 96000.0f);
    ox_bf_params p96{};
    ox_bf_state s96{};
    ASSERT_EQ(ox_bf_alloc(&p96, &s96, 960, 1024, other.count, other.edges.data(), 96000.0f), 0);
    ASSERT_EQ(ox_bf_init(&p96, &s96, &cfg, 960, 1024, other.count, other.edges.data(), 96000.0f),
              0);
    std::vector<float> table96(p96.band_coherence, p96.band_coherence + other.count);
    ox_bf_update_cfg_shared(&p96, &cfg, &beams[0]->p);
    EXPECT_EQ(0, std::memcmp(table96.data(), p96.band_coherence, table96.size() * sizeof(float)));
    ox_bf_done(&p96, &s96);
}

TEST(BeamProcessing, BadInputAndSettings)
{
    oxtest::BandTable bands(kFft, kFs);
    ox_bf_params p{};
    ox_bf_state s{};
    ox_bf_cfg cfg;
    ox_bf_default_cfg(&cfg);
    EXPECT_EQ(ox_bf_alloc(&p, &s, kHop, kSpec, 0, bands.edges.data(), kFs), -3);
    EXPECT_EQ(ox_bf_alloc(&p, &s, -1, kSpec, bands.count, bands.edges.data(), kFs), -3);
    EXPECT_EQ(ox_bf_alloc(&p, &s, kHop, kSpec, bands.count, bands.edges.data(), 0.0f), -7);
    ASSERT_EQ(ox_bf_alloc(&p, &s, kHop, kSpec, 10, bands.edges.data(), kFs), 0);
    // More bands than were allocated would run past the arrays.
    EXPECT_EQ(ox_bf_init(&p, &s, &cfg, kHop, kSpec, bands.count, bands.edges.data(), kFs), -3);
    EXPECT_EQ(ox_bf_init(&p, &s, &cfg, kHop, kSpec, 10, bands.edges.data(), 7999.0f), -7);
    ox_bf_done(&p, &s);
    ox_bf_done(&p, &s); // a second release frees nothing twice

    Beam beam;
    beam.cfg.spacing = 120.0f;
    beam.cfg.coherence = 1.5f;
    beam.cfg.beam_gain = std::numeric_limits<float>::quiet_NaN();
    beam.cfg.diffuse_level = -std::numeric_limits<float>::infinity();
    ox_bf_update_cfg(&beam.p, &beam.cfg);

    // Silence, then one frame with a NaN and an infinity, then a source on
    // the axis: the weights stay finite and the beam recovers.
    std::vector<float> C1(kFft, 0.0f), C2(kFft, 0.0f);
    const float* pair[2] = {C1.data(), C2.data()};
    const int nb = beam.bands.count;
    std::vector<float> sm(size_t(nb), 0.3f), coh(size_t(nb), 0.0f);
    for (float focus : {-2.0f, -3.0f, 0.5f})
        ox_bf_process_frame(&beam.p, &beam.s, pair, sm.data(), coh.data(), focus);
    C1[40] = std::numeric_limits<float>::quiet_NaN();
    C2[300] = std::numeric_limits<float>::infinity();
    ox_bf_process_frame(&beam.p, &beam.s, pair, sm.data(), coh.data(), -2.0f);
    ox_bf_process_frame(&beam.p, &beam.s, pair, nullptr, nullptr, -2.0f);
    for (int b = 0; b < nb; ++b)
        for (float* w : {beam.s.weight1, beam.s.weight2, beam.s.weight3, beam.s.weight4})
            EXPECT_TRUE(std::isfinite(w[b])) << b;
    EXPECT_NEAR(plane(beam, 0.0f, -2.0f).out1_db, 0.0, 0.5);
}

TEST(BeamProcessing, BandWithBadSumsKeepsItsStateInEveryModel)
{
    // Level model (the block default), eigen model and eigen model with one
    // combined output: a frame with a NaN in one band and an infinity in
    // another leaves those two bands exactly as they were and moves the rest.
    for (int32_t mode :
         {188, 188 & ~OX_BF_LEVEL_MODEL, (188 & ~OX_BF_LEVEL_MODEL) | OX_BF_COMBINED})
    {
        Beam beam(mode);
        const int nb = beam.bands.count;
        oxtest::BurstSource src1(7), src2(8);
        std::vector<float> C1(kFft), C2(kFft);
        const float* pair[2] = {C1.data(), C2.data()};
        std::vector<float> sm(size_t(nb), 0.3f), coh(size_t(nb), 0.2f);
        for (int f = 0; f < 20; ++f)
        {
            oxtest::pack(src1.next(kSpec), C1.data());
            oxtest::pack(src2.next(kSpec), C2.data());
            ox_bf_process_frame(&beam.p, &beam.s, pair, sm.data(), coh.data(), -2.0f);
        }
        auto band_of = [&](int k) {
            int b = 0;
            while (beam.bands.edges[size_t(b)] <= k) ++b;
            return b;
        };
        const int bad1 = band_of(20), bad2 = band_of(150);
        float* arrays[7] = {beam.s.power1,  beam.s.power2,  beam.s.cross,  beam.s.weight1,
                            beam.s.weight2, beam.s.weight3, beam.s.weight4};
        std::vector<std::vector<float>> before;
        for (float* a : arrays) before.emplace_back(a, a + nb);
        oxtest::pack(src1.next(kSpec), C1.data());
        oxtest::pack(src2.next(kSpec), C2.data());
        C1[2 * 20 + 1] = std::numeric_limits<float>::quiet_NaN();
        C2[2 * 150] = std::numeric_limits<float>::infinity();
        ox_bf_process_frame(&beam.p, &beam.s, pair, sm.data(), coh.data(), -2.0f);
        int moved = 0;
        for (int i = 0; i < 7; ++i)
            for (int b = 0; b < nb; ++b)
            {
                EXPECT_TRUE(std::isfinite(arrays[i][b])) << mode << " " << i << " " << b;
                if (b == bad1 || b == bad2)
                    EXPECT_EQ(arrays[i][b], before[size_t(i)][size_t(b)]) << mode << " " << i;
                else
                    moved += arrays[i][b] != before[size_t(i)][size_t(b)];
            }
        EXPECT_GT(moved, 3 * (nb - 2)) << mode;
    }
}
