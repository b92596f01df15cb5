// Decorrelation filters: generator, tracking, decorrelation, stationarity, bad input.
#include "ox_decorr.h"
#include "ox_spatial_sim.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

struct Decorr
{
    BandTable bands;
    ox_decorr_cfg cfg{};
    ox_decorr_params p{};
    ox_decorr_state s{};
    explicit Decorr(float amount, int32_t mode = 0)
    {
        ox_decorr_default_cfg(&cfg);
        cfg.amount = amount;
        cfg.mode = mode;
        EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, kBins, bands.count, bands.edges.data(), kFs), 0);
        EXPECT_EQ(ox_decorr_init(&p, &s, &cfg), 0);
    }
    ~Decorr() { ox_decorr_done(&p, &s); }
    std::complex<float> filter(int i, int b) const
    {
        return {s.filter[i][2 * b], s.filter[i][2 * b + 1]};
    }
    void run(const std::vector<std::vector<float>>& X)
    {
        for (const auto& x : X) ox_decorr_filters(&p, &s, x.data());
    }
};

// Spectra of the hops of a signal.
std::vector<std::vector<float>> spectra(const std::vector<float>& x)
{
    Stft stft(kHop, kFft);
    std::vector<std::vector<float>> out(x.size() / kHop, std::vector<float>(kFft));
    for (size_t f = 0; f < out.size(); ++f) stft.analyse(x.data() + f * kHop, out[f].data());
    return out;
}

} // namespace

// Park-Miller minimal standard (seed 0 restarts at 1); every instance draws the same tables.
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
    Decorr a(100.0f), b(100.0f);
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        EXPECT_EQ(0, std::memcmp(a.p.random[i], b.p.random[i], sizeof(float) * a.bands.count));
}

// Filters negated as after a sign change of the target glide back to it.
TEST(Decorrelation, FilterWhoseTargetChangesSignGetsThere)
{
    Decorr d(70.0f);
    d.cfg.filter_time = 0.0f;
    ox_decorr_update_cfg(&d.p, &d.s, &d.cfg);
    const std::vector<std::vector<float>> silence(100, std::vector<float>(kFft, 0.0f));
    d.run({silence[0]});
    std::vector<std::complex<float>> target;
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        for (int b = 0; b < 2 * d.bands.count; ++b)
        {
            if (b % 2 == 0) target.push_back(d.filter(i, b / 2));
            d.s.filter[i][b] = -d.s.filter[i][b];
        }
    d.cfg.filter_time = 30.0f;
    ox_decorr_update_cfg(&d.p, &d.s, &d.cfg);
    d.run(silence);
    for (int i = 0, j = 0; i < OX_DECORR_FILTERS; ++i)
        for (int b = 0; b < d.bands.count; ++b)
            EXPECT_LT(std::abs(d.filter(i, b) - target[j++]), 0.05f) << i << " " << b;
}

TEST(Decorrelation, TwoFiltersOnTheSameNoise)
{
    // Two filtered copies of one noise: correlation 1 without decorrelation, low at full.
    const auto X = spectra(bursts(size_t(400 * kHop), 8, 4800));
    for (float amount : {0.0f, 100.0f})
    {
        Decorr d(amount);
        double cross = 0, e0 = 0, e1 = 0;
        for (size_t f = 0; f < X.size(); ++f)
        {
            d.run({X[f]});
            for (int b = 0; b < d.bands.count && f >= 200; ++b)
                for (int k = b == 0 ? 1 : d.bands.edges[b - 1]; k < d.bands.edges[b]; ++k)
                {
                    const std::complex<double> y0 = bin(X[f].data(), k) *
                                                    std::complex<double>(d.filter(0, b)),
                                               y1 = bin(X[f].data(), k) *
                                                    std::complex<double>(d.filter(1, b));
                    cross += (y0 * std::conj(y1)).real();
                    e0 += std::norm(y0);
                    e1 += std::norm(y1);
                }
        }
        const double corr = cross / std::sqrt(e0 * e1);
        EXPECT_TRUE(amount == 0.0f ? corr > 0.999 : std::fabs(corr) < 0.5) << amount << " " << corr;
    }
}

TEST(Decorrelation, StationarySoundKeepsItsPhase)
{
    // Stationarity: a steady tone's filters go to 1, noise stays less coherent, silence is 0.
    Decorr d(100.0f, OX_DECORR_STATIONARY), n(100.0f, OX_DECORR_STATIONARY),
        z(50.0f, OX_DECORR_STATIONARY);
    d.run(spectra(sine(size_t(300 * kHop), 1000.0, kFs)));
    n.run(spectra(gauss(size_t(300 * kHop), 4)));
    z.run(std::vector<std::vector<float>>(10, std::vector<float>(kFft, 0.0f)));
    int band = 0;
    while (d.bands.edges[band] <= 1000 * kFft / 48000) ++band;
    EXPECT_GT(d.s.coherence[band], 0.95f);
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        EXPECT_LT(std::abs(d.filter(i, band) - 1.0f), 0.15f) << i;
    EXPECT_LT(n.s.coherence[band], 0.8f);
    EXPECT_EQ(std::vector<float>(z.s.coherence, z.s.coherence + z.bands.count),
              std::vector<float>(z.bands.count, 0.0f));
}

TEST(Decorrelation, BadInput)
{
    BandTable bands;
    ox_decorr_params p{};
    ox_decorr_state s{};
    const int32_t nb = bands.count, *e = bands.edges.data();
    EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, 0, nb, e, kFs), -3);
    EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, kBins, -2, e, kFs), -3);
    EXPECT_EQ(ox_decorr_alloc(&p, &s, kHop, kBins, nb, e, -1.0f), -7);
    ASSERT_EQ(ox_decorr_alloc(&p, &s, kHop, kBins, nb, e, 7000.0f), 0);
    ox_decorr_cfg cfg;
    ox_decorr_default_cfg(&cfg);
    EXPECT_EQ(ox_decorr_init(&p, &s, &cfg), -7);
    ox_decorr_done(&p, &s);
    ox_decorr_done(&p, &s);

    // Non-finite settings take their defaults; a NaN sample does not stay.
    Decorr d(NAN, OX_DECORR_STATIONARY);
    d.cfg.exponent = -INFINITY;
    ox_decorr_update_cfg(&d.p, &d.s, &d.cfg);
    EXPECT_TRUE(std::isfinite(d.p.amount) && std::isfinite(d.p.exponent));
    auto X = spectra(gauss(size_t(50 * kHop), 6));
    X[10][100] = NAN;
    X[11][0] = INFINITY;
    d.run(X);
    EXPECT_TRUE(all_finite({d.s.coherence, d.s.coherence + d.bands.count}));
    for (int i = 0; i < OX_DECORR_FILTERS; ++i)
        EXPECT_TRUE(all_finite({d.s.filter[i], d.s.filter[i] + 2 * d.bands.count})) << i;
    EXPECT_TRUE(all_finite({d.s.cross, d.s.cross + 2 * kBins}));
}
