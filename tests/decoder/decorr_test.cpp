#include "ox_decorr.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <vector>

namespace
{

const float kFs = 48000.0f;
const int32_t kHop = 480, kFft = 1024, kSpec = 512;

struct Decorr
{
    oxtest::BandTable bands{kFft, kFs};
    ox_decorr_cfg cfg{};
    ox_decorr_params p{};
    ox_decorr_state s{};
    explicit Decorr(float amount, int32_t mode = 0)
    {
        ox_decorr_default_cfg(&cfg);
        cfg.amount = amount;
        cfg.mode = mode;
        EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, kSpec, bands.count, bands.edges.data(), kFs), 0);
        EXPECT_EQ(ox_decorr_init(&p, &s, &cfg), 0);
    }
    ~Decorr() { ox_decorr_done(&p, &s); }
    std::complex<float> filter(int i, int b) const
    {
        return {s.filter[i][2 * b], s.filter[i][2 * b + 1]};
    }
};

// Spectra of `frames` hops of a signal.
std::vector<std::vector<float>> spectra(const std::vector<float>& x, int frames)
{
    oxtest::Stft stft(kHop, kFft);
    std::vector<std::vector<float>> out{static_cast<size_t>(frames), std::vector<float>(kFft)};
    for (int f = 0; f < frames; ++f)
        stft.analyse(x.data() + size_t(f) * kHop, out[size_t(f)].data());
    return out;
}

} // namespace

// The generator is the Park-Miller minimal standard: after 10000 draws from seed 1 the seed is
// 1043618065, every value lies in (0, 1], and seed 0 (a fixed point) restarts at 1.
TEST(Decorrelation, ParkMillerMinimalStandard)
{
    int32_t seed = 1;
    for (int i = 0; i < 10000; ++i)
    {
        const float r = frandom(&seed);
        ASSERT_TRUE(r > 0.0f && r <= 1.0f) << i;
    }
    EXPECT_EQ(seed, 1043618065);
    seed = 0;
    frandom(&seed);
    EXPECT_EQ(seed, 16807);
    EXPECT_EQ(frandom(nullptr), 0.0f);
    // Every instance draws the same tables, so that two decoders give the same output.
    Decorr a(100.0f), b(100.0f);
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        EXPECT_EQ(0, std::memcmp(a.p.random[i], b.p.random[i], sizeof(float) * a.bands.count));
}

TEST(Decorrelation, FilterWhoseTargetChangesSignGetsThere)
{
    // With a filter time of 0 the filters jump onto their targets in one
    // frame. Negated, as after a target that changed sign, they must glide
    // back to it rather than stay where they are.
    Decorr d(70.0f);
    d.cfg.filter_time = 0.0f;
    ox_decorr_update_cfg(&d.p, &d.s, &d.cfg);
    std::vector<float> x(kFft, 0.0f);
    ox_decorr_filters(&d.p, &d.s, x.data());
    std::vector<std::complex<float>> target;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        for (int b = 0; b < d.bands.count; ++b)
        {
            target.push_back(d.filter(i, b));
            d.s.filter[i][2 * b] = -d.s.filter[i][2 * b];
            d.s.filter[i][2 * b + 1] = -d.s.filter[i][2 * b + 1];
        }
    d.cfg.filter_time = 30.0f;
    ox_decorr_update_cfg(&d.p, &d.s, &d.cfg);
    for (int f = 0; f < 100; ++f) ox_decorr_filters(&d.p, &d.s, x.data());
    size_t j = 0;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        for (int b = 0; b < d.bands.count; ++b)
            EXPECT_LT(std::abs(d.filter(i, b) - target[j++]), 0.05f) << i << " " << b;
}

TEST(Decorrelation, TwoFiltersOnTheSameNoise)
{
    // Correlation of two filtered copies of the same noise after the filters
    // have settled: 1 without decorrelation, far from 1 at full amount.
    const auto X = spectra(oxtest::bursts(size_t(400 * kHop), 8, 4800), 400);
    for (float amount : {0.0f, 100.0f})
    {
        Decorr d(amount);
        double cross = 0, e0 = 0, e1 = 0;
        for (size_t f = 0; f < X.size(); ++f)
        {
            ox_decorr_filters(&d.p, &d.s, X[f].data());
            if (f < 200) continue;
            for (int b = 0; b < d.bands.count; ++b)
            {
                const int lo = b == 0 ? 1 : d.bands.edges[size_t(b - 1)];
                for (int k = lo; k < d.bands.edges[size_t(b)]; ++k)
                {
                    const std::complex<double> x(X[f][size_t(2 * k)], X[f][size_t(2 * k + 1)]);
                    const std::complex<double> y0 = x * std::complex<double>(d.filter(0, b));
                    const std::complex<double> y1 = x * std::complex<double>(d.filter(1, b));
                    cross += (y0 * std::conj(y1)).real();
                    e0 += std::norm(y0);
                    e1 += std::norm(y1);
                }
            }
        }
        const double corr = cross / std::sqrt(e0 * e1);
        if (amount == 0.0f)
            EXPECT_GT(corr, 0.999);
        else
            EXPECT_LT(std::fabs(corr), 0.5);
    }
}

TEST(Decorrelation, StationarySoundKeepsItsPhase)
{
    // A steady tone is coherent from frame to frame: with the stationarity
    // option its band's filters go to 1; noise keeps a lower coherence.
    Decorr d(100.0f, OX_DECORR_STATIONARY);
    std::vector<float> tone(size_t(300 * kHop));
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = std::sin(2.0 * M_PI * 1000.0 * i / kFs);
    for (const auto& x : spectra(tone, 300)) ox_decorr_filters(&d.p, &d.s, x.data());
    int band = 0;
    while (d.bands.edges[size_t(band)] <= 1000 * kFft / 48000) ++band;
    EXPECT_GT(d.s.coherence[band], 0.95f);
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        EXPECT_LT(std::abs(d.filter(i, band) - 1.0f), 0.15f) << i;

    Decorr n(100.0f, OX_DECORR_STATIONARY);
    for (const auto& x : spectra(oxtest::gauss(size_t(300 * kHop), 4), 300))
        ox_decorr_filters(&n.p, &n.s, x.data());
    EXPECT_LT(n.s.coherence[band], 0.8f);

    // Silence: numerator 0, denominator epsilon.
    Decorr z(50.0f, OX_DECORR_STATIONARY);
    std::vector<float> silence(kFft, 0.0f);
    for (int f = 0; f < 10; ++f) ox_decorr_filters(&z.p, &z.s, silence.data());
    for (int b = 0; b < z.bands.count; ++b) EXPECT_EQ(z.s.coherence[b], 0.0f);
}

TEST(Decorrelation, BadInput)
{
    oxtest::BandTable bands(kFft, kFs);
    ox_decorr_params p{};
    ox_decorr_state s{};
    EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, 0, bands.count, bands.edges.data(), kFs), -3);
    EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, kSpec, -2, bands.edges.data(), kFs), -3);
    EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, kSpec, bands.count, bands.edges.data(), -1.0f), -7);
    ASSERT_EQ(ox_decorr_alloc(&p, &s, kHop, kSpec, bands.count, bands.edges.data(), 7000.0f), 0);
    ox_decorr_cfg cfg;
    ox_decorr_default_cfg(&cfg);
    EXPECT_EQ(ox_decorr_init(&p, &s, &cfg), -7);
    ox_decorr_done(&p, &s);
    ox_decorr_done(&p, &s);

    // Non-finite settings take their defaults; a NaN sample does not stay.
    Decorr d(std::numeric_limits<float>::quiet_NaN(), OX_DECORR_STATIONARY);
    d.cfg.exponent = -std::numeric_limits<float>::infinity();
    ox_decorr_update_cfg(&d.p, &d.s, &d.cfg);
    EXPECT_TRUE(std::isfinite(d.p.amount) && std::isfinite(d.p.exponent));
    auto X = spectra(oxtest::gauss(size_t(50 * kHop), 6), 50);
    X[10][100] = std::numeric_limits<float>::quiet_NaN();
    X[11][0] = std::numeric_limits<float>::infinity();
    for (const auto& x : X) ox_decorr_filters(&d.p, &d.s, x.data());
    for (int b = 0; b < d.bands.count; ++b)
    {
        EXPECT_TRUE(std::isfinite(d.s.coherence[b]));
        for (int i = 0; i < OX_DECORR_FILTERS; ++i)
            EXPECT_TRUE(std::isfinite(std::abs(d.filter(i, b))));
    }
    for (int k = 0; k < 2 * kSpec; ++k) ASSERT_TRUE(std::isfinite(d.s.cross[k])) << k;
}
