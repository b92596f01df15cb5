// Direction histograms of the intensity per band.
#include "ox_bhist.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

struct Hist
{
    BandTable bands;
    ox_bhist_cfg cfg{};
    ox_bhist_params p{};
    ox_bhist_state s{};
    std::vector<float> sum_h, sum_v; // histograms summed over the second half of a run

    explicit Hist(float resolution = 10.0f)
    {
        ox_bhist_default_cfg(&cfg);
        const int32_t nb = bands.count, *e = bands.edges.data();
        EXPECT_EQ(ox_bhist_alloc(&p, &s, kHop, kBins, nb, e, kFs, resolution), 0);
        EXPECT_EQ(ox_bhist_init(&p, &s, &cfg, kHop, kBins, nb, e, kFs), 0);
    }
    ~Hist() { ox_bhist_done(&p, &s); }
    double total() const { return std::accumulate(sum_h.begin(), sum_h.end(), 0.0); }
    std::vector<float> hist_h() const { return {s.hist_h, s.hist_h + p.num_bins_h}; }
    std::vector<float> hist_v() const { return {s.hist_v, s.hist_v + p.num_bins_v}; }
    void frame(const std::vector<float>* B)
    {
        const float* in[4] = {B[0].data(), B[1].data(), B[2].data(), B[3].data()};
        ox_bhist_process_frame(&p, &s, in);
    }
    // Runs waves of noise bursts from `dirs` (az, el in degrees) plus a diffuse field.
    void run(const std::vector<std::array<float, 2>>& dirs, float diffuse, int frames)
    {
        const auto field = field_frames(frames, dirs, diffuse, 21);
        sum_h.assign(p.num_bins_h, 0.0f);
        sum_v.assign(p.num_bins_v, 0.0f);
        for (int f = 0; f < frames; ++f)
        {
            frame(field[f].data());
            for (int i = 0; i < p.num_bins_h && f >= frames / 2; ++i) sum_h[i] += s.hist_h[i];
            for (int i = 0; i < p.num_bins_v && f >= frames / 2; ++i) sum_v[i] += s.hist_v[i];
        }
    }
};

} // namespace

// The resolution is snapped. 36 bins: front 18, left 9, right 27, behind 0; direct sound has a
// negligible diffuse share; a diffuse field gives a flat histogram.
TEST(DirectionHistogram, ResolutionPlaneWavesAndDiffuseField)
{
    // requested, snapped resolution, bins
    const float snaps[][3] = {{10, 10, 36},    {7.5f, 5, 72}, {40, 45, 8},
                              {12.5f, 10, 36}, {25, 20, 18},  {37.5f, 30, 12},
                              {300, 45, 8},    {-4, 5, 72},   {NAN, 10, 36}};
    for (const auto& c : snaps)
    {
        Hist h(c[0]);
        EXPECT_TRUE(h.p.resolution == c[1] && h.p.num_bins_h == c[2] && h.p.num_bins_v == c[2])
            << c[0];
    }
    // azimuth, elevation, horizontal bin, vertical bin (-1: not checked)
    const int cases[][4] = {{0, 0, 18, 18},  {90, 0, 9, -1},   {-90, 0, 27, -1},
                            {180, 0, 0, 0},  {40, 0, 14, -1},  {-130, 0, 31, -1},
                            {0, 40, 18, 22}, {0, -30, 18, 15}, {-170, 0, 35, -1}};
    for (const auto& c : cases)
    {
        Hist h;
        h.run({{float(c[0]), float(c[1])}}, 0.0f, 150);
        EXPECT_EQ(peak_at(h.sum_h), c[2]) << c[0] << " " << c[1];
        EXPECT_TRUE(c[3] < 0 || peak_at(h.sum_v) == c[3]) << c[0] << " " << c[1];
        EXPECT_LT(h.s.diffuse_energy, 1e-3 * h.total() / 75.0);
        for (int n : {1, 35}) // the neighbours, wrapped: half the peak each
            EXPECT_NEAR(h.sum_h[(c[2] + n) % 36], 0.5 * h.sum_h[c[2]], 1e-3 * h.sum_h[c[2]]) << n;
    }
    Hist h;
    h.run({}, 1.0f, 500);
    const double mean = h.total() / h.sum_h.size();
    ASSERT_GT(mean, 0.0);
    for (size_t i = 0; i < h.sum_h.size(); ++i)
        EXPECT_TRUE(h.sum_h[i] > 0.7 * mean && h.sum_h[i] < 1.3 * mean) << i;
    EXPECT_GT(h.s.diffuse_energy, 0.0f);
}

// Sound below the 100 Hz band adds nothing; at angle 0 no band reaches the histograms but the
// diffuse energy grows; non-finite input and a frame whose energy sum overflows poison nothing.
TEST(DirectionHistogram, SettingsBandRangeAndBadInput)
{
    Hist h;
    std::vector<std::vector<float>> B(4, std::vector<float>(kFft, 0.0f));
    for (int k = 1; k < h.bands.edges[h.p.first_band]; ++k) B[0][2 * k] = 0.7f, B[1][2 * k] = 1.0f;
    for (int f = 0; f < 10; ++f) h.frame(B.data());
    EXPECT_EQ(h.hist_h(), std::vector<float>(h.p.num_bins_h, 0.0f));
    EXPECT_EQ(h.s.diffuse_energy, 0.0f);
    h.cfg.angle = 0.0f;
    ox_bhist_update_cfg(&h.p, &h.cfg);
    h.run({}, 1.0f, 40);
    EXPECT_EQ(h.sum_h, std::vector<float>(h.p.num_bins_h, 0.0f));
    EXPECT_GT(h.s.diffuse_energy, 0.0f);
    B[2][200] = NAN, B[3][201] = INFINITY;
    h.frame(B.data());
    EXPECT_TRUE(std::isfinite(h.s.diffuse_energy));
    EXPECT_TRUE(all_finite({h.s.intensity_y, h.s.intensity_y + h.bands.count}));

    // Band energies finite but their sum not: the histograms recover with the sound.
    Hist huge;
    float g[4];
    plane_wave(0.0f, 0.0f, g);
    const int lo = huge.bands.edges[huge.p.first_band], hi = huge.bands.edges[huge.p.last_band - 1];
    for (double level : {3e18, 3.0})
    {
        for (int c = 0; c < 4; ++c)
        {
            B[c].assign(kFft, 0.0f);
            for (int k = lo; k < hi; ++k) B[c][2 * k] = float(level * g[c]);
        }
        for (int f = 0; f < (level > 1e3 ? 10 : 400); ++f) huge.frame(B.data());
    }
    EXPECT_TRUE(all_finite(huge.hist_h()) && all_finite(huge.hist_v()));
    EXPECT_TRUE(std::isfinite(huge.s.diffuse_energy));
    EXPECT_EQ(peak_at(huge.hist_h()), 18);

    const int32_t nb = h.bands.count, *e = h.bands.edges.data();
    ox_bhist_params p{};
    ox_bhist_state s{};
    EXPECT_EQ(ox_bhist_alloc(&p, &s, 0, kBins, nb, e, kFs, 10), -3);
    EXPECT_EQ(ox_bhist_alloc(&p, &s, kHop, kBins, nb, e, 0, 10), -7);
    ASSERT_EQ(ox_bhist_alloc(&p, &s, kHop, kBins, 8, e, kFs, 10), 0);
    EXPECT_EQ(ox_bhist_init(&p, &s, &h.cfg, kHop, kBins, nb, e, kFs), -3);
    ox_bhist_done(&p, &s);
    EXPECT_TRUE(fsignf(-2.0f) == -1.0f && fsignf(NAN) == 0.0f);
}
