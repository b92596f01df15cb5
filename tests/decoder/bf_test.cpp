// Beam processing of a cardioid pair: gain, outputs, weight tracking, coherence table, bad input.
#include "ox_bf.h"
#include "ox_bhist.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

// One beam processor on the decoder's band table (48 kHz, or 96 kHz at FFT size 2048).
struct Beam
{
    const float fs;
    BandTable bands{fs == kFs ? kFft : 2048, fs};
    ox_bf_cfg cfg{};
    ox_bf_params p{};
    ox_bf_state s{};
    std::vector<float> C1 = std::vector<float>(kFft), C2 = C1;
    std::vector<float> smoothing = std::vector<float>(bands.count, 0.3f);
    std::vector<float> coherence = std::vector<float>(bands.count, 0.0f);

    explicit Beam(int32_t mode = 188, float spacing = -1.0f, float rate = kFs) : fs(rate)
    {
        ox_bf_default_cfg(&cfg);
        cfg.mode = mode;
        if (spacing >= 0.0f) cfg.spacing = spacing;
        const int32_t hop = int32_t(fs / 100), bins = fs == kFs ? kBins : 1024;
        EXPECT_EQ(ox_bf_alloc(&p, &s, hop, bins, bands.count, bands.edges.data(), fs), 0);
        EXPECT_EQ(ox_bf_init(&p, &s, &cfg, hop, bins, bands.count, bands.edges.data(), fs), 0);
    }
    ~Beam() { ox_bf_done(&p, &s); }
    void update() { ox_bf_update_cfg(&p, &cfg); }
    // The pair as the engine forms it: cardioids along +X and -X from the B-format.
    void load(const BFrame& B)
    {
        const float* bp[4] = {B[0].data(), B[1].data(), B[2].data(), B[3].data()};
        const float front[3] = {1, 0, 0}, back[3] = {-1, 0, 0};
        cardioid(bp, front, C1.data(), kBins);
        cardioid(bp, back, C2.data(), kBins);
    }
    void frame(float focus)
    {
        const float* pair[2] = {C1.data(), C2.data()};
        ox_bf_process_frame(&p, &s, pair, smoothing.data(), coherence.data(), focus);
    }
    std::array<float*, 4> weights() { return {s.weight1, s.weight2, s.weight3, s.weight4}; }
    std::vector<float> table() const { return {p.band_coherence, p.band_coherence + bands.count}; }
};

// Output energies over the reference, and the loudest frame of output 1 over the pair's, dB.
struct Levels
{
    double out1_db, out2_db, peak_db;
};

// 300 frames of plane waves from `dirs` (degrees) plus a diffuse field: the outputs over the last
// 3/4 against the pressure (sqrt 2 W), weights constant per band.
Levels run(Beam& beam, const std::vector<std::array<float, 2>>& dirs, float diffuse, float focus)
{
    const std::vector<BFrame> field = field_frames(300, dirs, diffuse, 11);
    const float *C1 = beam.C1.data(), *C2 = beam.C2.data();
    double e1 = 0, e2 = 0, eref = 0, maxr = 0;
    for (size_t f = 0; f < field.size(); ++f)
    {
        beam.load(field[f]);
        beam.frame(focus);
        double fe1 = 0, fec = 0;
        for (int b = 0, j = 2; b < beam.bands.count && f >= field.size() / 4; ++b)
            for (; j < 2 * beam.bands.edges[b]; ++j)
            {
                const double y1 = beam.s.weight1[b] * C1[j] + beam.s.weight2[b] * C2[j];
                const double y2 = beam.s.weight3[b] * C1[j] + beam.s.weight4[b] * C2[j];
                e1 += y1 * y1;
                fe1 += y1 * y1;
                e2 += y2 * y2;
                fec += double(C1[j]) * C1[j] + double(C2[j]) * C2[j];
                eref += 2.0 * field[f][0][j] * field[f][0][j];
            }
        if (fec > 0) maxr = std::max(maxr, fe1 / fec);
    }
    return {10.0 * std::log10(e1 / eref), 10.0 * std::log10(e2 / eref), 10.0 * std::log10(maxr)};
}

} // namespace

// Gain over the cardioid: (1 + cos)/2 for shape -2, squared for -3, unity on axis, none behind.
TEST(BeamProcessing, DirectionalGainOutputsAndWeightTracking)
{
    for (float focus : {-2.0f, -3.0f, 0.5f})
        for (float deg : {0.0f, 30.0f, 60.0f, 90.0f, 120.0f})
        {
            if ((focus == -3.0f && deg > 90.0f) || (focus == 0.5f && deg > 0.0f)) continue;
            Beam beam;
            beam.cfg.direct_floor = -100.0f;
            beam.update();
            const double c = 20.0 * std::log10((1.0 + std::cos(deg * M_PI / 180.0)) / 2.0);
            EXPECT_NEAR(run(beam, {{deg, 0.0f}}, 0.0f, focus).out1_db,
                        (focus == -3.0f ? 3.0 : 2.0) * c, deg > 90.0f ? 1.5 : 0.6)
                << focus << " " << deg;
        }
    Beam back, diffuse(188, 0.0f), direct;
    EXPECT_LT(run(back, {{180.0f, 0.0f}}, 0.0f, -2.0f).out1_db, -20.0);

    // Diffuse field to output 2, plane wave to output 1; no frame of output 1 louder than the pair.
    const Levels d = run(diffuse, {}, 1.0f, -2.0f);
    EXPECT_GT(d.out2_db, -10.0); // the front cardioid carries 1/3 of the field's omni power
    EXPECT_GT(d.out2_db - d.out1_db, 6.0);
    const Levels p = run(direct, {{0.0f, 0.0f}}, 0.0f, -2.0f);
    EXPECT_GT(p.out1_db - p.out2_db, 30.0);
    for (float spacing : {0.0f, 24.0f})
    {
        Beam mixed(188, spacing);
        const Levels l = run(mixed, {{45.8f, 0.0f}}, 1.0f, -2.0f);
        EXPECT_TRUE(l.peak_db < 0.5 && l.out1_db < 0.0) << spacing;
    }

    // Negated weights (a sign change of the target) return to their constant targets.
    Beam beam(188 & ~OX_BF_SMOOTH_WEIGHTS);
    const BFrame B = field_frames(2, {{90.0f, 0.0f}}, 0.0f, 5)[1];
    ASSERT_GT(peak(B[0]), 0.0f);
    beam.load(B);
    for (int f = 0; f < 100; ++f) beam.frame(-2.0f);
    const int nb = beam.bands.count;
    const auto w = beam.weights();
    std::vector<float> target[4];
    for (int i = 0; i < 4; ++i) target[i].assign(w[i], w[i] + nb);
    for (float* a : w) std::transform(a, a + nb, a, std::negate<float>());
    beam.cfg.mode = 188;
    beam.update();
    for (int f = 0; f < 300; ++f) beam.frame(-2.0f);
    for (int i = 0; i < 4; ++i)
        for (int b = 0; b < nb; ++b) EXPECT_NEAR(w[i][b], target[i][b], 0.01f) << i << " " << b;
}

TEST(BeamProcessing, CoherenceTableIsTheSphericalIntegralAndIsShared)
{
    // The table is the spherical integral; coincident back-to-back cardioids give 0.5.
    const double s3 = 1.0 / std::sqrt(3.0), s23 = std::sqrt(2.0 / 3.0);
    const double e1[3] = {s3, 0.0, -s23}, e2[3] = {s3, 0.0, s23};
    for (float spacing : {0.0f, 0.5f, 24.0f, 100.0f})
    {
        Beam beam(188, spacing);
        for (int b = 0; b < beam.bands.count; ++b)
        {
            const double f = beam.bands.edges[b] * kFs / kBins;
            const double k = 2.0 * (0.001 * spacing * f * 2.0 * M_PI / 340.0) * std::sqrt(2.0) * s3;
            const float I = integral2(-M_PI, M_PI, -M_PI / 2, M_PI / 2, e1, e2, k, 0.5);
            EXPECT_NEAR(beam.p.band_coherence[b], 4.5f * I - 0.5f, 2e-6f) << spacing << " " << b;
        }
        EXPECT_TRUE(spacing > 0.5f || std::fabs(beam.p.band_coherence[0] - 0.5f) < 1e-3f);
    }
    // One table serves twenty beams; a table for a different band layout is never taken over.
    std::vector<Beam> beams(20);
    Beam own(188, 30.0f), b96(188, 0.0f, 96000.0f), own96(188, 30.0f, 96000.0f);
    for (auto& b : beams) ox_bf_update_cfg_shared(&b.p, &own.cfg, &beams[0].p);
    for (auto& b : beams) EXPECT_EQ(b.table(), own.table());
    ox_bf_update_cfg_shared(&b96.p, &own.cfg, &beams[0].p);
    EXPECT_EQ(b96.table(), own96.table());
}

TEST(BeamProcessing, BadInputSettingsAndSums)
{
    Beam guard;
    const int32_t nb = guard.bands.count, *e = guard.bands.edges.data();
    ox_bf_params p{};
    ox_bf_state s{};
    EXPECT_EQ(ox_bf_alloc(&p, &s, kHop, kBins, 0, e, kFs), -3);
    EXPECT_EQ(ox_bf_alloc(&p, &s, -1, kBins, nb, e, kFs), -3);
    EXPECT_EQ(ox_bf_alloc(&p, &s, kHop, kBins, nb, e, 0.0f), -7);
    ASSERT_EQ(ox_bf_alloc(&p, &s, kHop, kBins, 10, e, kFs), 0);
    // More bands than were allocated would run past the arrays.
    EXPECT_EQ(ox_bf_init(&p, &s, &guard.cfg, kHop, kBins, nb, e, kFs), -3);
    EXPECT_EQ(ox_bf_init(&p, &s, &guard.cfg, kHop, kBins, 10, e, 7999.0f), -7);
    ox_bf_done(&p, &s);
    ox_bf_done(&p, &s); // a second release frees nothing twice

    // In every model, after silence under odd settings, a bad sum leaves its band's state as it
    // was and the other bands move; without smoothing and coherence the weights stay finite, and
    // (in the default model) a source on the axis then comes through at unity.
    for (int32_t mode :
         {188, 188 & ~OX_BF_LEVEL_MODEL, (188 & ~OX_BF_LEVEL_MODEL) | OX_BF_COMBINED})
    {
        Beam beam(mode, 120.0f);
        beam.cfg.coherence = 1.5f, beam.cfg.beam_gain = NAN, beam.cfg.diffuse_level = -INFINITY;
        beam.update();
        EXPECT_EQ(beam.p.beam_gain, 1.0f); // a NaN gain setting reads as 0 dB
        for (float focus : {-2.0f, -3.0f, 0.5f}) beam.frame(focus);
        std::fill(beam.coherence.begin(), beam.coherence.end(), 0.2f);
        BurstSource src1(7), src2(8);
        for (int f = 0; f < 21; ++f)
        {
            pack(src1.next(kBins), beam.C1.data());
            pack(src2.next(kBins), beam.C2.data());
            if (f < 20) beam.frame(-2.0f);
        }
        int bad[2] = {0, 0};
        for (int i = 0; i < 2; ++i)
            while (beam.bands.edges[bad[i]] <= (i ? 150 : 20)) ++bad[i];
        float* arrays[7] = {beam.s.power1,  beam.s.power2,  beam.s.cross,  beam.s.weight1,
                            beam.s.weight2, beam.s.weight3, beam.s.weight4};
        std::vector<std::vector<float>> before;
        for (float* a : arrays) before.emplace_back(a, a + nb);
        beam.C1[2 * 20 + 1] = NAN, beam.C2[2 * 150] = INFINITY;
        beam.frame(-2.0f);
        int moved = 0;
        for (int i = 0; i < 7; ++i)
            for (int b = 0; b < nb; ++b)
            {
                EXPECT_TRUE(std::isfinite(arrays[i][b])) << mode << " " << i << " " << b;
                if (b == bad[0] || b == bad[1])
                    EXPECT_EQ(arrays[i][b], before[i][b]) << mode << " " << i;
                else
                    moved += arrays[i][b] != before[i][b];
            }
        EXPECT_GT(moved, 3 * (nb - 2)) << mode;
        const float* pair[2] = {beam.C1.data(), beam.C2.data()};
        ox_bf_process_frame(&beam.p, &beam.s, pair, nullptr, nullptr, -2.0f);
        for (float* w : beam.weights()) EXPECT_TRUE(all_finite({w, w + nb})) << mode;
        EXPECT_TRUE(mode != 188 || std::fabs(run(beam, {{0.0f, 0.0f}}, 0.0f, -2.0f).out1_db) < 0.5);
    }
}
