// Mid-side arrays to B-format, with the diffuseness statistics, against ideal capsules.
#include "ox_ms2b.h"
#include "ox_spatial_sim.h"

using namespace oxtest;

using cd = std::complex<double>;
using Field = std::vector<std::vector<cd>>;

struct MS2B : Spectra4
{
    BandTable bands;
    ox_ms2b_cfg cfg{};
    ox_ms2b_params p{};
    ox_ms2b_state s{};

    explicit MS2B(int32_t mode = 0, float floor_db = -40.0f)
    {
        ox_ms2b_default_cfg(&cfg);
        cfg.mode = mode;
        cfg.gain_floor = floor_db;
        const int32_t* e = bands.edges.data();
        EXPECT_EQ(0, ox_ms2b_alloc(&p, &s, kHop, kBins, bands.count, e, kFs));
        EXPECT_EQ(0, ox_ms2b_init(&p, &s, &cfg, kHop, kBins, bands.count, e, kFs));
    }
    ~MS2B() { ox_ms2b_done(&p, &s); }
    void run(const Field& acc)
    {
        for (int i = 0; i < 4; ++i) pack(acc[i], in[i]);
        ox_ms2b_process_frame(&p, &s, in);
    }
};

// Ideal mid-side capsules (front, left eight, rear, triple: up eight) for a wave from d, added.
static Field ms_wave(const double d[3], bool triple, const std::vector<cd>& src,
                     Field acc = Field(4, std::vector<cd>(kBins)))
{
    const double g[4] = {0.5 + 0.5 * d[0], d[1], 0.5 - 0.5 * d[0], triple ? d[2] : 0.0};
    for (int i = 0; i < 4; ++i)
        for (size_t k = 0; k < src.size(); ++k) acc[i][k] += g[i] * src[k];
    return acc;
}

// Waves come out at their azimuth, axial ones null the opposite cardioid; Z only when triple.
TEST(MS2B, NullsAndDirectionsOfIdealPlaneWaves)
{
    const float front[3] = {1, 0, 0}, rear[3] = {-1, 0, 0};
    const double dirs[][2] = {{0, 0}, {90, 0}, {180, 0}, {-90, 0}, {0, 90}, {0, -90}};
    std::vector<float> card(kFft);
    for (bool triple : {false, true})
        for (const auto& ae : dirs)
        {
            MS2B m;
            double d[3], i[3] = {0, 0, 0}, null = 0, on = 0;
            direction(ae[0], ae[1], d);
            BurstSource src(uint32_t(ae[0] + ae[1] + 300));
            const bool axial = ae[1] == 0.0 && (ae[0] == 0.0 || ae[0] == 180.0);
            for (int f = 0; f < 30; ++f)
            {
                m.run(ms_wave(d, triple, src.next(kBins)));
                for (int32_t k = 1; k < kBins; ++k)
                    for (int c = 0; c < 3; ++c)
                        i[c] += std::real(std::conj(bin(m.in[0], k)) * bin(m.in[c + 1], k));
                cardioid(m.in, ae[0] == 0.0 ? rear : front, card.data(), kBins);
                null = std::max<double>(null, peak(card));
                cardioid(m.in, ae[0] == 0.0 ? front : rear, card.data(), kBins);
                on = std::max<double>(on, peak(card));
            }
            if (ae[1] == 0.0)
                EXPECT_NEAR(ae[0], std::atan2(i[1], i[0]) * 180.0 / M_PI, 1e-3) << triple;
            else
                EXPECT_TRUE(triple ? i[2] * ae[1] > 0.0 : i[2] == 0.0) << triple << " " << ae[1];
            EXPECT_TRUE(!axial || null < 1e-6 * on) << ae[0] << " " << triple;
        }
}

// Bypass and plain gains; bad sizes, rates and tables refused, bad settings made finite.
TEST(MS2B, BypassPlainGainsSizesRatesAndSettings)
{
    MS2B by(OX_MS2B_BYPASS | OX_MS2B_STATS), plain;
    const double d[3] = {0.6, 0.8, 0.0};
    const Field acc = ms_wave(d, true, BurstSource(2).next(kBins));
    by.s.direct_gain[3] = 7.0f;
    by.run(acc);
    std::vector<float> want(kFft);
    pack(acc[1], want.data());
    EXPECT_TRUE(want == by.buf[1] && by.s.direct_gain[3] == 7.0f);
    plain.run(acc);
    for (int32_t b = 0; b < plain.bands.count; ++b)
        EXPECT_TRUE(plain.s.direct_gain[b] == 1.0f && plain.s.diffuse_gain[b] == 0.0f) << b;
    ox_ms2b_params p{};
    ox_ms2b_state s{};
    const int32_t S = kBins, H = kHop, nb = plain.bands.count, *e = plain.bands.edges.data();
    // The spectral blocks share their size and table checks: one case each shows them made.
    EXPECT_EQ(-7, ox_ms2b_alloc(&p, &s, H, S, nb, e, -1.0f));
    ASSERT_EQ(0, ox_ms2b_alloc(&p, &s, H, S, nb, e, kFs));
    ox_ms2b_cfg& cfg = plain.cfg;
    EXPECT_EQ(-3, ox_ms2b_init(&p, &s, &cfg, H, S, nb, nullptr, kFs));
    ASSERT_EQ(0, ox_ms2b_init(&p, &s, &cfg, H, S, nb, e, kFs));
    for (float v : {NAN, INFINITY, -1e30f})
    {
        cfg.gain_floor = cfg.diffuse_level = cfg.diffuseness_scale = v;
        ox_ms2b_update_cfg(&p, &cfg);
        EXPECT_TRUE(std::isfinite(p.floor) && p.floor <= 1.0f && std::isfinite(p.scale) &&
                    std::isfinite(p.diffuse_factor))
            << v;
    }
    ox_ms2b_done(&p, &s);
    ox_ms2b_done(&p, &s);
    EXPECT_EQ(nullptr, s.diffuse_gain);
}

// Plane wave: more direct than diffuse gain, a diffuse field the reverse; floors and bad frames.
TEST(MS2B, DiffusenessGains)
{
    std::vector<std::array<double, 3>> dirs(32); // spread evenly over the sphere
    for (int i = 0; i < 32; ++i)
        direction(i * 180.0 * (3.0 - std::sqrt(5.0)),
                  std::asin(1.0 - (2.0 * i + 1.0) / 32.0) * 180.0 / M_PI, dirs[i].data());
    for (bool diffuse : {false, true})
    {
        MS2B m(OX_MS2B_STATS, -20.0f);
        const int32_t nb = m.bands.count;
        std::vector<BurstSource> srcs;
        for (int i = 0; i < 32; ++i) srcs.emplace_back(100 + i);
        std::vector<double> margin(nb, 0.0); // mean of direct minus diffuse gain
        for (int f = 0; f < 150; ++f)
        {
            Field acc(4, std::vector<cd>(kBins));
            for (int i = 0; i < (diffuse ? 32 : 1) && f >= 10; ++i) // silence first
                acc = ms_wave(dirs[i].data(), true, srcs[i].next(kBins), std::move(acc));
            if (f == 60) acc[1][20] = NAN;
            m.run(acc);
            for (int32_t b = 0; b < nb; ++b)
            {
                const float g[2] = {m.s.direct_gain[b], m.s.diffuse_gain[b]};
                ASSERT_TRUE(g[0] >= 0.1f && g[1] >= 0.1f && g[0] <= 1.0f && g[1] <= 1.0f) << f;
                if (f >= 80) margin[b] += (g[0] - g[1]) / 70.0;
            }
        }
        for (int32_t b = 10; b < nb; ++b) EXPECT_GT(diffuse ? -margin[b] : margin[b], 0.2) << b;
    }
    // From reset the first frame's diffuse gain is its target times the diffuse level.
    MS2B plain(OX_MS2B_STATS), lowered(OX_MS2B_STATS);
    lowered.cfg.diffuse_level = -6.0f;
    ox_ms2b_update_cfg(&lowered.p, &lowered.cfg);
    Field field(4, std::vector<cd>(kBins));
    for (int i = 0; i < 32; ++i)
        field = ms_wave(dirs[i].data(), true, BurstSource(100 + i).next(kBins), std::move(field));
    plain.run(field);
    lowered.run(field);
    for (int32_t b = 1; b < plain.bands.count; ++b)
        EXPECT_NEAR(lowered.s.diffuse_gain[b], plain.s.diffuse_gain[b] * 0.5011872f, 1e-6f) << b;
    MS2B z(OX_MS2B_STATS | OX_MS2B_NO_DIRECT | OX_MS2B_NO_DIFFUSE);
    z.run(ms_wave(dirs[0].data(), true, BurstSource(4).next(kBins)));
    EXPECT_TRUE(z.s.direct_gain[5] == 0.0f && z.s.diffuse_gain[5] == 0.0f);
}
