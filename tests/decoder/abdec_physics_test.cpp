// Decoder physics: plane waves reach the right speakers at the right levels in every layout.
#include "abdec_test_util.h"
#include "ox_spatial_sim.h"

using namespace oxtest;

// Output energy per channel for a plane wave from (az, el), skipping the first half.
static std::vector<double> wave_energies(Decoder& d, float az, float el, int n = 48000 / 5)
{
    return energies(d.run(wave_input(d.setup.input_format, noise(n, 17, 0.25f), az, el)), n / 2);
}

// Loudest channel = nearest beam, with beams or virtual microphones, in both channel orders.
TEST(AbdecPhysics, HorizontalSourcesComeFromTheNearestSpeaker)
{
    for (const auto& [focus_mode, input] : std::vector<std::pair<int, int>>{{1, 1}, {1, 0}, {0, 1}})
        for (int menu : {kMenuStereo, kMenuQuadItu, kMenuQuadFilm, kMenu51Itu, kMenu51Film,
                         kMenu71Itu, kMenu71Film})
        {
            SCOPED_TRACE(testing::Message() << focus_mode << " " << input << " " << menu);
            const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
            Decoder d(input, menu);
            d.config.focus_mode = focus_mode;
            ASSERT_EQ(d.build(), 0);
            ox_abdec_beamresponse r[20];
            ox_abdec_beamresponses(d.h, nullptr, nullptr, r, 0.0f);
            for (int az = -180; az < 180; az += 15)
            {
                std::vector<double> dist; // beam azimuths are positive to the right
                for (int k = 0; k < L->num_speakers; ++k)
                    dist.push_back(std::fabs(
                        std::remainder(-std::atan2(r[k].y, r[k].x) * 180.0 / M_PI - az, 360.0)));
                const double near = *std::min_element(dist.begin(), dist.end());
                if (std::count_if(dist.begin(), dist.end(),
                                  [&](double x) { return x < near + 20.0; }) > 1)
                    continue; // no clearly nearest speaker
                const std::vector<double> e = wave_energies(d, (float)az, 0.0f);
                const int k = L->channel_map[std::max_element(e.begin(), e.end()) - e.begin()];
                EXPECT_TRUE(k >= 0 && dist[k] == near) << az;
            }
        }
}

// Left sources are louder in each left speaker than its mirror, right ones mirror the levels;
// sources overhead (below) are loudest in the upper (lower and middle) layer.
TEST(AbdecPhysics, SourcesReachTheirSideAndLayer)
{
    for (int menu = 1; menu < 30; ++menu)
        for (int input : {1, 0})
        {
            if (!has_speakers(menu)) continue;
            SCOPED_TRACE(testing::Message() << menu << " " << input);
            const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
            for (float el : {0.0f, 35.0f})
            {
                Decoder dl(input, menu), dr(input, menu);
                const std::vector<double> a = wave_energies(dl, 70.0f, el, 9600);
                const std::vector<double> b = wave_energies(dr, -70.0f, el, 9600);
                const double loudest = *std::max_element(a.begin(), a.end());
                for (int k = 0; k < L->num_speakers; ++k)
                    for (int j = 0; j < L->num_speakers; ++j)
                    {
                        if (!(L->azimuth[k] < 0.0f && L->azimuth[j] == -L->azimuth[k] &&
                              L->elevation[j] == L->elevation[k] && L->flags[j] == L->flags[k]))
                            continue;
                        const double left = a[channel_of(L, k)], mirror = b[channel_of(L, j)];
                        EXPECT_GT(left, 2.0 * a[channel_of(L, j)]) << el << " " << k;
                        // Quiet speakers carry mostly the decorrelated diffuse part.
                        EXPECT_TRUE(left < 0.1 * loudest ||
                                    std::fabs(10 * std::log10(left / mirror)) < 0.5)
                            << el << " " << k;
                    }
            }
            for (float el : {90.0f, -90.0f})
            {
                const float* elev = L->elevation;
                if (std::none_of(elev, elev + L->num_speakers,
                                 [&](float e) { return e * el > 1.0f; }))
                    continue;
                Decoder d(input, menu);
                const std::vector<double> e = wave_energies(d, 0.0f, el);
                double layer[2] = {0, 0}; // loudest below, above
                for (int k = 0; k < L->num_speakers; ++k)
                    layer[elev[k] > 1.0f] = std::max(layer[elev[k] > 1.0f], e[channel_of(L, k)]);
                EXPECT_GT(layer[el > 0], 2.0 * layer[el < 0]) << el;
            }
        }
}

// The ambisonic outputs' first-order intensity points at the source; a fresh decoder per
// direction, as small beam weights adapt slowly.
TEST(AbdecPhysics, AmbisonicOutputKeepsTheDirection)
{
    for (int menu : {kMenuHoa2, kMenuHoa3})
        for (int input : {1, 0})
            for (float az : {0.0f, 45.0f, 120.0f, -100.0f})
                for (float el : {0.0f, 30.0f, 69.1f})
                {
                    Decoder d(input, menu);
                    const int n = 48000 / 5;
                    const Signal out = d.run(wave_input(input, noise(n, 8, 0.25f), az, el));
                    double i[3] = {0, 0, 0}, u[3]; // X Y Z: ACN 3 1 2
                    for (int t = n / 2; t < n; ++t)
                        for (int c = 0; c < 3; ++c)
                            i[c] += (double)out[0][t] * out[(c + 2) % 3 + 1][t];
                    direction(az, el, u);
                    EXPECT_GT(std::inner_product(i, i + 3, u, 0.0) /
                                  std::sqrt(std::inner_product(i, i + 3, i, 0.0)),
                              std::cos(10.0 * M_PI / 180))
                        << menu << " " << input << " az " << az << " el " << el;
                }
}

// Group gains, back delay and back shelf reach exactly their speakers (the delay at every rate):
// an impulse on W reaches every cardioid alike, so less group gain and shelf all levels agree.
TEST(AbdecPaths, GroupGainsBackDelayAndShelfReachExactlyTheirSpeakers)
{
    const float gains[7] = {-2, -4, -6, -8, -10, -12, 0}, shelf = -12.0f;
    std::vector<std::array<float, 3>> cases; // rate, delay (ms), menu
    for (int menu = 0; menu < 30; ++menu)
        if (has_speakers(menu)) cases.push_back({48000.0f, 20.0f, float(menu)});
    for (float fs : {11025.0f, 96000.0f, 192000.0f})
        for (float ms : {20.0f, 100.0f}) cases.push_back({fs, ms, float(kMenu51Itu)});
    for (const auto& c : cases)
        for (int muted = 0; muted < (c[0] == 48000.0f ? 6 : 1); ++muted)
        {
            SCOPED_TRACE(testing::Message() << c[2] << " rate " << c[0] << " muted " << muted);
            const ox_abdec_speakerlayout* L = ox_abdec_getlayout(int(c[2]));
            Decoder d(1, int(c[2]), c[0]);
            d.config.focus_mode = 0; // plain virtual microphones: a linear path
            d.config.back_del_sh = 1;
            d.config.back_delay = c[1];
            d.config.back_HS_gain = shelf;
            for (int g = 0; g < 6; ++g) group_gain(d.config, g) = g == muted ? -30.0f : gains[g];
            ASSERT_EQ(d.build(), 0);
            const int at = 700, delay = (int)std::lround(c[0] * c[1] * 0.001f);
            std::vector<float> w(size_t(at + d.setup.latency + delay + 4 * d.setup.hop));
            w[at] = 1.0f;
            const Signal out = d.run(scaled(w, {1, 0, 0, 0}));
            std::vector<double> ref;
            for (int ch = 0; ch < L->num_channels; ++ch)
            {
                const int k = L->channel_map[ch], g = k < 0 ? -1 : group_of(L->flags[k]);
                // Silent channels are exactly zero, muted ones below -100 dB.
                EXPECT_LT(db(peak(out[ch])), k < 0 ? -399.0 : g == muted ? -100.0 : 0.0) << ch;
                if (k < 0 || g == muted) continue;
                const bool back = (L->flags[k] & (OX_SPK_SURROUND | OX_SPK_REAR)) != 0;
                EXPECT_EQ(peak_at(out[ch]), at + d.setup.latency + (back ? delay : 0)) << ch;
                std::vector<double> level; // at 300 Hz and at 16 kHz when below 0.4 fs
                for (double f : {300.0, 16000.0})
                    if (f < 0.4 * c[0])
                        level.push_back(db(std::abs(dft_at(out[ch], f, c[0]))) - gains[g] -
                                        (back && f > 1000.0 ? shelf : 0.0f));
                if (ref.empty()) ref = level;
                for (size_t i = 0; i < level.size(); ++i) EXPECT_NEAR(level[i], ref[i], 0.5) << ch;
            }
        }
}
