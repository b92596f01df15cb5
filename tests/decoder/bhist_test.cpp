#include "ox_bhist.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace
{

const float kFs = 48000.0f;
const int32_t kHop = 480, kFft = 1024, kSpec = 512;
const float kPi = 3.14159265f;

struct Hist
{
    oxtest::BandTable bands{kFft, kFs};
    ox_bhist_cfg cfg{};
    ox_bhist_params p{};
    ox_bhist_state s{};
    explicit Hist(float resolution = 10.0f)
    {
        ox_bhist_default_cfg(&cfg);
        EXPECT_EQ(
            ox_bhist_alloc(&p, &s, kHop, kSpec, bands.count, bands.edges.data(), kFs, resolution),
            0);
        EXPECT_EQ(ox_bhist_init(&p, &s, &cfg, kHop, kSpec, bands.count, bands.edges.data(), kFs),
                  0);
    }
    ~Hist() { ox_bhist_done(&p, &s); }
    void frame(const std::vector<float>* B)
    {
        const float* in[4] = {B[0].data(), B[1].data(), B[2].data(), B[3].data()};
        ox_bhist_process_frame(&p, &s, in);
    }
};

// Runs `frames` hops of a plane wave of noise bursts from (az, el), or of an isotropic diffuse
// field when diffuse is set. Returns the horizontal and vertical histograms summed over the
// second half of the run.
void run(Hist& h, float az, float el, bool diffuse, int frames, std::vector<double>& sum_h,
         std::vector<double>& sum_v)
{
    const auto field = diffuse ? oxtest::field_frames(kHop, kFft, frames, {}, 1.0f, 21)
                               : oxtest::field_frames(kHop, kFft, frames, {{az, el}}, 0.0f, 21);
    sum_h.assign(size_t(h.p.num_bins_h), 0.0);
    sum_v.assign(size_t(h.p.num_bins_v), 0.0);
    for (int f = 0; f < frames; ++f)
    {
        h.frame(field[size_t(f)].data());
        if (f < frames / 2) continue;
        for (int i = 0; i < h.p.num_bins_h; ++i) sum_h[size_t(i)] += h.s.hist_h[i];
        for (int i = 0; i < h.p.num_bins_v; ++i) sum_v[size_t(i)] += h.s.hist_v[i];
    }
}

int peak(const std::vector<double>& v)
{
    return int(std::max_element(v.begin(), v.end()) - v.begin());
}

} // namespace

TEST(DirectionHistogram, ResolutionIsSnapped)
{
    const struct
    {
        float request, res;
        int bins;
    } cases[] = {{10, 10, 36},    {7.5f, 5, 72}, {40, 45, 8}, {12.5f, 10, 36},        {25, 20, 18},
                 {37.5f, 30, 12}, {300, 45, 8},  {-4, 5, 72}, {std::nanf(""), 10, 36}};
    for (const auto& c : cases)
    {
        Hist h(c.request);
        EXPECT_EQ(h.p.resolution, c.res) << c.request;
        EXPECT_EQ(h.p.num_bins_h, c.bins) << c.request;
        EXPECT_EQ(h.p.num_bins_v, c.bins) << c.request;
    }
}

TEST(DirectionHistogram, PlaneWavePeaksAtItsDirection)
{
    // 36 bins: front in bin 18, left (+90) in 9, right in 27, behind in 0.
    const struct
    {
        float az, el;
        int bin_h, bin_v;
    } cases[] = {{0, 0, 18, 18},  {90, 0, 9, -1},    {-90, 0, 27, -1}, {180, 0, 0, 0},
                 {40, 0, 14, -1}, {-130, 0, 31, -1}, {0, 40, 18, 22},  {0, -30, 18, 15}};
    for (const auto& c : cases)
    {
        Hist h;
        std::vector<double> sh, sv;
        run(h, c.az * kPi / 180.0f, c.el * kPi / 180.0f, false, 150, sh, sv);
        EXPECT_EQ(peak(sh), c.bin_h) << c.az << " " << c.el;
        if (c.bin_v >= 0)
        {
            EXPECT_EQ(peak(sv), c.bin_v) << c.az << " " << c.el;
        }
        // Direct sound: the diffuse share is negligible.
        EXPECT_LT(h.s.diffuse_energy, 1e-3 * std::accumulate(sh.begin(), sh.end(), 0.0) / 75.0);
    }
}

TEST(DirectionHistogram, DiffuseFieldGivesFlatHistogram)
{
    Hist h;
    std::vector<double> sh, sv;
    run(h, 0.0f, 0.0f, true, 500, sh, sv);
    const double mean = std::accumulate(sh.begin(), sh.end(), 0.0) / double(sh.size());
    ASSERT_GT(mean, 0.0);
    for (size_t i = 0; i < sh.size(); ++i)
    {
        EXPECT_GT(sh[i], 0.7 * mean) << i;
        EXPECT_LT(sh[i], 1.3 * mean) << i;
    }
    EXPECT_GT(h.s.diffuse_energy, 0.0f);
}

TEST(DirectionHistogram, BinSmoothingWrapsAround)
{
    // A source at -170 degrees lands in the last bin; a quarter of it spreads
    // into bin 0 and a quarter into bin 34.
    Hist h;
    std::vector<double> sh, sv;
    run(h, -170.0f * kPi / 180.0f, 0.0f, false, 60, sh, sv);
    EXPECT_EQ(peak(sh), 35);
    EXPECT_NEAR(sh[0], 0.5 * sh[35], 1e-3 * sh[35]);
    EXPECT_NEAR(sh[34], 0.5 * sh[35], 1e-3 * sh[35]);
}

TEST(DirectionHistogram, SettingsBandRangeAndBadInput)
{
    Hist h;
    // Sound only in the bands up to the 100 Hz band adds nothing.
    std::vector<float> B[4];
    for (auto& v : B) v.assign(kFft, 0.0f);
    const int top = h.bands.edges[size_t(h.p.first_band)];
    for (int k = 1; k < top; ++k)
    {
        B[0][size_t(2 * k)] = 0.7f;
        B[1][size_t(2 * k)] = 1.0f;
    }
    for (int f = 0; f < 10; ++f) h.frame(B);
    for (int i = 0; i < h.p.num_bins_h; ++i) EXPECT_EQ(h.s.hist_h[i], 0.0f);
    EXPECT_EQ(h.s.diffuse_energy, 0.0f);

    // With angle 0 no band reaches the histograms; the diffuse energy still
    // accumulates. A NaN and an infinity poison nothing.
    h.cfg.angle = 0.0f;
    ox_bhist_update_cfg(&h.p, &h.cfg);
    std::vector<double> sh, sv;
    run(h, 0.3f, 0.0f, true, 40, sh, sv);
    for (double v : sh) EXPECT_EQ(v, 0.0);
    EXPECT_GT(h.s.diffuse_energy, 0.0f);
    B[2][200] = std::numeric_limits<float>::quiet_NaN();
    B[3][201] = std::numeric_limits<float>::infinity();
    h.frame(B);
    EXPECT_TRUE(std::isfinite(h.s.diffuse_energy));
    for (int b = 0; b < h.bands.count; ++b) EXPECT_TRUE(std::isfinite(h.s.intensity_y[b]));

    ox_bhist_params p{};
    ox_bhist_state s{};
    EXPECT_EQ(ox_bhist_alloc(&p, &s, 0, kSpec, h.bands.count, h.bands.edges.data(), kFs, 10), -3);
    EXPECT_EQ(ox_bhist_alloc(&p, &s, kHop, kSpec, h.bands.count, h.bands.edges.data(), 0, 10), -7);
    ASSERT_EQ(ox_bhist_alloc(&p, &s, kHop, kSpec, 8, h.bands.edges.data(), kFs, 10), 0);
    ox_bhist_cfg cfg;
    ox_bhist_default_cfg(&cfg);
    EXPECT_EQ(ox_bhist_init(&p, &s, &cfg, kHop, kSpec, h.bands.count, h.bands.edges.data(), kFs),
              -3);
    ox_bhist_done(&p, &s);

    EXPECT_EQ(fsignf(-2.0f), -1.0f);
    EXPECT_EQ(fsignf(std::nanf("")), 0.0f);
}

TEST(DirectionHistogram, HugeFiniteFrameDoesNotPoisonHistograms)
{
    // A burst of a plane wave whose every band energy is still finite but
    // whose sum over the bands is not: the histograms must recover once the
    // sound is normal again, as the diffuse energy does.
    Hist h;
    std::vector<float> B[4];
    for (auto& v : B) v.assign(kFft, 0.0f);
    float g[4];
    oxtest::plane_wave(0.0f, 0.0f, g);
    const int lo = h.bands.edges[size_t(h.p.first_band)];
    const int hi = h.bands.edges[size_t(h.p.last_band - 1)];
    for (int k = lo; k < hi; ++k)
        for (int c = 0; c < 4; ++c) B[c][size_t(2 * k)] = 3e18f * g[c];
    for (int f = 0; f < 10; ++f) h.frame(B);
    for (int c = 0; c < 4; ++c)
        for (int k = lo; k < hi; ++k) B[c][size_t(2 * k)] *= 1e-18f;
    for (int f = 0; f < 400; ++f) h.frame(B);
    for (int i = 0; i < h.p.num_bins_h; ++i) ASSERT_TRUE(std::isfinite(h.s.hist_h[i])) << i;
    for (int i = 0; i < h.p.num_bins_v; ++i) ASSERT_TRUE(std::isfinite(h.s.hist_v[i])) << i;
    EXPECT_TRUE(std::isfinite(h.s.diffuse_energy));
    EXPECT_EQ(std::max_element(h.s.hist_h, h.s.hist_h + h.p.num_bins_h) - h.s.hist_h, 18);
}
