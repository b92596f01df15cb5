// Decoder physics: plane waves from known directions must come out of the right speakers, at the
// right levels, whatever the input format, layout and channel order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "abdec_test_util.h"
#include "ox_abdec.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

const int kFs = 48000;

// Output energy per channel for a plane wave from (az, el), skipping the first half.
std::vector<double> wave_energies(Decoder& d, float az, float el, int n = kFs / 5)
{
    const std::vector<float> s = noise(n, 17, 0.25f);
    return energies(d.run(wave_input(d.setup.input_format, s, az, el)), (size_t)n / 2);
}

} // namespace

// Loudest channel = nearest beam, with beams or virtual microphones, in both channel orders.
TEST(AbdecPhysics, HorizontalSourcesComeFromTheNearestSpeaker)
{
    const int layouts[] = {kMenuStereo, kMenuQuadItu, kMenuQuadFilm, kMenu51Itu,
                           kMenu51Film, kMenu71Itu,   kMenu71Film};
    for (int focus_mode : {1, 0})
        for (int input : {1, 0})
            for (int menu : layouts)
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
                    {
                        const double baz = std::atan2(r[k].y, r[k].x) * 180.0 / M_PI;
                        dist.push_back({std::fabs(std::remainder(-baz - az, 360.0)), k});
                    }
                    std::sort(dist.begin(), dist.end());
                    if (dist.size() > 1 && dist[1].first - dist[0].first < 20.0)
                        continue; // no clearly nearest speaker
                    const std::vector<double> e = wave_energies(d, (float)az, 0.0f);
                    const int loudest = (int)(std::max_element(e.begin(), e.end()) - e.begin());
                    EXPECT_EQ(L->channel_map[loudest], dist[0].second)
                        << "focus mode " << focus_mode << " input " << input << " menu " << menu
                        << " azimuth " << az;
                }
            }
}

// A source on the left, level or raised, is louder in every left speaker than in its mirror
// image, in every loudspeaker layout (height layers and "alt" channel orders included); a source
// on the right gives the mirrored levels.
TEST(AbdecPhysics, LeftSourcesLeaveTheLeftSpeakers)
{
    for (int menu = 1; menu < 30; ++menu)
    {
        if (!has_speakers(menu)) continue;
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
        for (int input : {1, 0})
            for (float el : {0.0f, 35.0f})
            {
                Decoder dl(input, menu), dr(input, menu);
                ASSERT_EQ(dl.build(), 0);
                ASSERT_EQ(dr.build(), 0);
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
                ASSERT_EQ(d.build(), 0);
                const std::vector<double> e = wave_energies(d, 0.0f, el);
                double up = 0, down = 0;
                for (int c = 0; c < L->num_channels; ++c)
                {
                    const int k = L->channel_map[c];
                    if (k < 0) continue;
                    if (L->elevation[k] > 1.0f) up = std::max(up, e[c]);
                    if (L->elevation[k] < 1.0f) down = std::max(down, e[c]);
                }
                EXPECT_GT(el > 0 ? up : down, 2.0 * (el > 0 ? down : up))
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
                    // A fresh decoder per direction: small beam weights adapt slowly, so a
                    // decoder that has just heard another direction is still on its way.
                    Decoder d(input, menu);
                    ASSERT_EQ(d.build(), 0);
                    const int n = kFs / 5;
                    Signal out = d.run(wave_input(input, noise(n, 8, 0.25f), az, el));
                    // ACN order W Y Z X: the first-order intensity points at the source.
                    double i[3] = {0, 0, 0};
                    for (int t = n / 2; t < n; ++t)
                        for (int c = 0; c < 3; ++c) i[c] += (double)out[0][t] * out[3 - c][t];
                    // i = (x, z, y) weighted by |W|: compare with the source's unit vector.
                    const double a = az * M_PI / 180, e = el * M_PI / 180;
                    const double u[3] = {std::cos(a) * std::cos(e), std::sin(e),
                                         std::sin(a) * std::cos(e)};
                    const double norm = std::sqrt(i[0] * i[0] + i[1] * i[1] + i[2] * i[2]);
                    const double cosang = (i[0] * u[0] + i[1] * u[1] + i[2] * u[2]) / norm;
                    EXPECT_GT(cosang, std::cos(10.0 * M_PI / 180))
                        << menu << " " << input << " az " << az << " el " << el;
                }
}

// Mid-side arrays: MF front cardioid, S figure-of-eight to the left, MR rear cardioid, Z up.
TEST(AbdecPhysics, MidSideInputsKeepLeftAndRight)
{
    const int n = kFs / 5;
    std::vector<float> s = noise(n, 21, 0.25f);
    for (int input : {3, 4, 6})
        for (float az : {90.0f, -90.0f, 30.0f})
        {
            const double a = az * M_PI / 180.0;
            const double g[4] = {0.5 + 0.5 * std::cos(a), 0.7355 * std::sin(a),
                                 0.5 - 0.5 * std::cos(a), 0.0};
            Decoder d(input, kMenuStereo);
            ASSERT_EQ(d.build(), 0);
            Signal in((size_t)d.setup.num_inputs, std::vector<float>(s.size()));
            for (size_t c = 0; c < in.size(); ++c)
                for (size_t i = 0; i < s.size(); ++i) in[c][i] = (float)(g[c] * s[i]);
            const std::vector<double> e = energies(d.run(in), (size_t)n / 2);
            EXPECT_GT(e[az > 0 ? 0 : 1], 2.0 * e[az > 0 ? 1 : 0]) << input << " az " << az;
        }
}
