// Decoder physics: plane waves reach the right speakers at the right levels in every layout.
#include "abdec_test_util.h"
#include "ox_spatial_sim.h"

using namespace oxtest;

namespace
{

// Output energy per channel for a plane wave from (az, el), skipping the first half.
std::vector<double> wave_energies(Decoder& d, float az, float el, int n = 48000 / 5)
{
    const std::vector<float> s = noise(n, 17, 0.25f);
    return energies(d.run(wave_input(d.setup.input_format, s, az, el)), (size_t)n / 2);
}

} // namespace

// Loudest channel = nearest beam, with beams or virtual microphones, in both channel orders.
TEST(AbdecPhysics, HorizontalSourcesComeFromTheNearestSpeaker)
{
    for (int focus_mode : {1, 0})
        for (int input : {1, 0})
            for (int menu : {kMenuStereo, kMenuQuadItu, kMenuQuadFilm, kMenu51Itu, kMenu51Film,
                             kMenu71Itu, kMenu71Film})
            {
                if (focus_mode == 0 && input == 0) continue;
                const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
                Decoder d(input, menu);
                d.config.focus_mode = focus_mode;
                ASSERT_EQ(d.build(), 0);
                // Beam azimuths are positive to the right, source azimuths to the left.
                ox_abdec_beamresponse r[20];
                ox_abdec_beamresponses(d.h, nullptr, nullptr, r, 0.0f);
                for (int az = -180; az < 180; az += 15)
                {
                    std::vector<std::pair<double, int>> dist;
                    for (int k = 0; k < L->num_speakers; ++k)
                        dist.push_back(
                            {std::fabs(std::remainder(
                                 -std::atan2(r[k].y, r[k].x) * 180.0 / M_PI - az, 360.0)),
                             k});
                    std::sort(dist.begin(), dist.end());
                    if (dist.size() > 1 && dist[1].first - dist[0].first < 20.0)
                        continue; // no clearly nearest speaker
                    const std::vector<double> e = wave_energies(d, (float)az, 0.0f);
                    EXPECT_EQ(L->channel_map[std::max_element(e.begin(), e.end()) - e.begin()],
                              dist[0].second)
                        << "focus mode " << focus_mode << " input " << input << " menu " << menu
                        << " azimuth " << az;
                }
            }
}

// Left sources are louder in each left speaker than its mirror; right ones mirror the levels.
TEST(AbdecPhysics, LeftSourcesLeaveTheLeftSpeakers)
{
    for (int menu = 1; menu < 30; ++menu)
        for (int input : {1, 0})
            for (float el : {0.0f, 35.0f})
            {
                if (!has_speakers(menu)) continue;
                const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
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
                        EXPECT_GT(left, 2.0 * a[channel_of(L, j)])
                            << "menu " << menu << " input " << input << " el " << el << " " << k;
                        // Quiet speakers carry mostly the decorrelated diffuse part.
                        EXPECT_TRUE(left < 0.1 * loudest ||
                                    std::fabs(10 * std::log10(left / mirror)) < 0.5)
                            << menu << " " << k;
                    }
            }
}

TEST(AbdecPhysics, SourcesAboveAndBelowReachTheirLayers)
{
    for (int menu : {kMenu714Itu, kMenu714Film, kMenuCube, kMenuCubeCSB})
        for (int input : {1, 0})
            for (float el : {90.0f, -90.0f})
            {
                if (el < 0 && menu != kMenuCube && menu != kMenuCubeCSB) continue;
                const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
                Decoder d(input, menu);
                const std::vector<double> e = wave_energies(d, 0.0f, el);
                double layer[2] = {0, 0}; // loudest below, above
                for (int c = 0; c < L->num_channels; ++c)
                    if (L->channel_map[c] >= 0)
                        layer[L->elevation[L->channel_map[c]] > 1.0f] =
                            std::max(layer[L->elevation[L->channel_map[c]] > 1.0f], e[c]);
                EXPECT_GT(layer[el > 0], 2.0 * layer[el < 0])
                    << "menu " << menu << " input " << input << " el " << el;
            }
}

TEST(AbdecPhysics, AmbisonicOutputKeepsTheDirection)
{
    for (int menu : {kMenuHoa2, kMenuHoa3})
        for (int input : {1, 0})
            for (float az : {0.0f, 45.0f, 120.0f, -100.0f})
                for (float el : {0.0f, 30.0f, 69.1f})
                {
                    // A fresh decoder per direction: small beam weights adapt slowly.
                    Decoder d(input, menu);
                    const int n = 48000 / 5;
                    Signal out = d.run(wave_input(input, noise(n, 8, 0.25f), az, el));
                    // ACN order W Y Z X: the first-order intensity points at the source.
                    double i[3] = {0, 0, 0}, u[3];
                    for (int t = n / 2; t < n; ++t)
                        for (int c = 0; c < 3; ++c) i[c] += (double)out[0][t] * out[3 - c][t];
                    direction(az, el, u); // i holds (x, z, y)
                    const double cosang = (i[0] * u[0] + i[1] * u[2] + i[2] * u[1]) /
                                          std::sqrt(i[0] * i[0] + i[1] * i[1] + i[2] * i[2]);
                    EXPECT_GT(cosang, std::cos(10.0 * M_PI / 180))
                        << menu << " " << input << " az " << az << " el " << el;
                }
}

// Mid-side arrays: MF front cardioid, S figure-of-eight to the left, MR rear cardioid, Z up.
TEST(AbdecPhysics, MidSideInputsKeepLeftAndRight)
{
    const int n = 48000 / 5;
    const std::vector<float> s = noise(n, 21, 0.25f);
    for (int input : {3, 4, 6})
        for (float az : {90.0f, -90.0f, 30.0f})
        {
            const double a = az * M_PI / 180.0;
            Decoder d(input, kMenuStereo);
            ASSERT_EQ(d.build(), 0);
            std::vector<double> g = {0.5 + 0.5 * std::cos(a), 0.7355 * std::sin(a),
                                     0.5 - 0.5 * std::cos(a), 0.0};
            g.resize(size_t(d.setup.num_inputs));
            const std::vector<double> e = energies(d.run(scaled(s, g)), (size_t)n / 2);
            EXPECT_GT(e[az < 0], 2.0 * e[az > 0]) << input << " az " << az;
        }
}

// Muting a group silences exactly its speakers, whichever channel they leave on.
TEST(AbdecPaths, GroupGainsReachExactlyTheirSpeakers)
{
    // Groups: centre, front, front height, surround, surround height, rear.
    auto group_of = [](int f) {
        const bool up = (f & OX_SPK_UPPER) != 0;
        if (f & OX_SPK_CENTER) return 0;
        if (f & OX_SPK_FRONT) return up ? 2 : 1;
        if (f & OX_SPK_SURROUND) return up ? 4 : 3;
        return (f & OX_SPK_REAR) ? 5 : 6;
    };
    const int n = 4800;
    for (int menu = 0; menu < 30; ++menu)
        for (int muted = 0; muted < 6; ++muted)
        {
            if (!has_speakers(menu)) continue;
            const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
            Decoder d(1, menu);
            d.config.focus_mode = 0; // cardioids: every speaker hears W
            float* gains[] = {&d.config.center.gain,    &d.config.front.gain,
                              &d.config.frontH.gain,    &d.config.surround.gain,
                              &d.config.surroundH.gain, &d.config.rear.gain};
            *gains[muted] = -30.0f;
            const Signal out = d.run(scaled(noise((size_t)n, 3, 0.5f), {1, 0, 0, 0})); // W only
            for (int ch = 0; ch < L->num_channels; ++ch)
            {
                const int k = L->channel_map[ch];
                const double level = db(rms_from(out[ch], n / 2));
                // Silent channels are exactly zero, muted ones below -100 dB.
                EXPECT_TRUE(k < 0                            ? level == -400.0
                            : group_of(L->flags[k]) == muted ? level < -100.0
                                                             : level > -40.0)
                    << "menu " << menu << " channel " << ch << " muted " << muted;
            }
        }
}

// The back delay reaches exactly the back speakers, over its whole range at every rate.
TEST(AbdecPaths, BackDelayReachesExactlyTheBackSpeakers)
{
    std::vector<std::array<float, 3>> cases; // rate, delay (ms), menu
    for (int menu = 0; menu < 30; ++menu)
        if (has_speakers(menu)) cases.push_back({48000.0f, 20.0f, float(menu)});
    for (float fs : {11025.0f, 96000.0f, 192000.0f})
        for (float ms : {20.0f, 100.0f}) cases.push_back({fs, ms, float(kMenu51Itu)});
    for (const auto& c : cases)
    {
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(int(c[2]));
        Decoder d(1, int(c[2]), c[0]);
        d.config.focus_mode = 0; // plain virtual microphones: a linear path
        d.config.back_del_sh = 1;
        d.config.back_delay = c[1];
        d.config.back_HS_gain = 0.0f;
        ASSERT_EQ(d.build(), 0);
        const int at = 700, delay = (int)std::lround(c[0] * c[1] * 0.001f);
        const int n = at + d.setup.latency + delay + 4 * d.setup.hop;
        Signal in(4, std::vector<float>((size_t)n, 0.0f));
        in[0][at] = 1.0f; // W only: every cardioid hears it
        const Signal out = d.run(in);
        for (int ch = 0; ch < L->num_channels; ++ch)
        {
            const int k = L->channel_map[ch];
            const bool back = k >= 0 && (L->flags[k] & (OX_SPK_SURROUND | OX_SPK_REAR)) != 0;
            EXPECT_TRUE(k < 0 || peak_at(out[ch]) == at + d.setup.latency + (back ? delay : 0))
                << "menu " << c[2] << " rate " << c[0] << " channel " << ch;
        }
    }
}

// The high shelf lowers the back speakers' treble by its gain and leaves the bass alone.
TEST(AbdecPaths, BackShelfLowersTheTreble)
{
    const int fs = 48000, n = fs / 4;
    for (float gain : {-2.0f, -12.0f})
        for (double f : {300.0, 16000.0})
        {
            double level[2];
            for (int on : {0, 1})
            {
                Decoder d(1, kMenu71Itu); // L R C LFE Lss Rss Lsr Rsr
                d.config.focus_mode = 0;
                d.config.back_del_sh = on;
                d.config.back_delay = 0.0f;
                d.config.back_HS_freq = 4.0f;
                d.config.back_HS_gain = gain;
                level[on] =
                    rms_from(d.run(fuma_wave(sine(n, f, fs, 0.5f), 150.0f, 0.0f))[6], n / 2);
            }
            EXPECT_NEAR(db(level[1]) - db(level[0]), f < 1000.0 ? 0.0 : gain, 0.5)
                << gain << " " << f;
        }
}
