// Decoder signal paths measured end to end in every layout and channel order: left and right
// speakers, the group gains, the back delay and the high shelf of the surround, rear and height
// speakers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "abdec_test_util.h"
#include "ox_abdec.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

int peak_at(const std::vector<float>& x)
{
    auto it = std::max_element(x.begin(), x.end(),
                               [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    return (int)(it - x.begin());
}

// The ambisonic and first-order outputs have channels, not speakers.
bool has_speakers(int menu)
{
    return menu != kMenuHoa2 && menu != kMenuHoa3 && (menu < kMenuFuma || menu > kMenuAformat);
}

std::vector<float> tone(int n, double f, double fs)
{
    std::vector<float> s((size_t)n);
    for (int i = 0; i < n; ++i) s[(size_t)i] = 0.5f * (float)std::sin(2 * M_PI * f * i / fs);
    return s;
}

} // namespace

// A source on the left, level or raised, is louder in every left speaker than in its mirror
// image, in every loudspeaker layout (height layers and "alt" channel orders included).
TEST(AbdecPaths, LeftSourcesLeaveTheLeftSpeakers)
{
    for (int menu = 1; menu < 30; ++menu)
    {
        if (!has_speakers(menu)) continue;
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
        for (int input : {1, 0})
            for (float el : {0.0f, 35.0f})
            {
                Decoder d(input, menu);
                ASSERT_EQ(d.build(), 0);
                std::vector<float> s = noise(9600, 17, 0.25f);
                Signal in = input == 0 ? aformat_wave(s, 70.0f, el) : fuma_wave(s, 70.0f, el);
                std::vector<double> e = energies(d.run(in), 4800);
                auto channel_of = [&](int k) {
                    for (int c = 0; c < L->num_channels; ++c)
                        if (L->channel_map[c] == k) return c;
                    return -1;
                };
                for (int k = 0; k < L->num_speakers; ++k)
                    for (int j = 0; j < L->num_speakers; ++j)
                    {
                        if (!(L->azimuth[k] < 0.0f && L->azimuth[j] == -L->azimuth[k] &&
                              L->elevation[j] == L->elevation[k] && L->flags[j] == L->flags[k]))
                            continue;
                        EXPECT_GT(e[channel_of(k)], 2.0 * e[channel_of(j)])
                            << "menu " << menu << " input " << input << " el " << el << " speaker "
                            << k;
                    }
            }
    }
}

// Muting one speaker group silences exactly the speakers of that group, whichever channel they
// leave on.
TEST(AbdecPaths, GroupGainsReachExactlyTheirSpeakers)
{
    enum
    {
        kCentre,
        kFront,
        kFrontH,
        kSurround,
        kSurroundH,
        kRear,
        kNone
    };
    auto group_of = [](int f) {
        const bool up = (f & 64) != 0;
        if (f & 2) return (int)kCentre;
        if (f & 4) return up ? (int)kFrontH : (int)kFront;
        if (f & 8) return up ? (int)kSurroundH : (int)kSurround;
        if (f & 16) return (int)kRear;
        return (int)kNone;
    };
    const int n = 4800;
    for (int menu = 0; menu < 30; ++menu)
    {
        if (!has_speakers(menu)) continue;
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
        for (int muted = kCentre; muted < kNone; ++muted)
        {
            Decoder d(1, menu);
            d.config.focus_mode = 0; // cardioids: every speaker hears W
            ox_abdec_centregroup& c = d.config.center;
            ox_abdec_pairgroup* pairs[] = {&d.config.front, &d.config.frontH, &d.config.surround,
                                           &d.config.surroundH, &d.config.rear};
            if (muted == kCentre)
                c.gain = -30.0f;
            else
                pairs[muted - 1]->gain = -30.0f;
            ASSERT_EQ(d.build(), 0);
            Signal in(4, std::vector<float>((size_t)n, 0.0f));
            in[0] = noise((size_t)n, 3, 0.5f);
            Signal out = d.run(in);
            for (int ch = 0; ch < L->num_channels; ++ch)
            {
                const int k = L->channel_map[ch];
                if (k < 0) continue;
                const double level = db(rms(out[ch].data() + n / 2, (size_t)n / 2));
                if (group_of(L->flags[k]) == muted)
                    EXPECT_LT(level, -100.0) << "menu " << menu << " channel " << ch;
                else
                    EXPECT_GT(level, -40.0) << "menu " << menu << " channel " << ch;
            }
        }
    }
}

// The back delay reaches its whole range (100 ms) at every rate: an impulse from the left
// surround speaker's direction leaves that speaker exactly the delay after the latency.
TEST(AbdecPaths, BackDelayCoversItsWholeRange)
{
    for (float fs : {11025.0f, 48000.0f, 96000.0f, 192000.0f})
        for (float delay_ms : {20.0f, 100.0f})
        {
            Decoder d(1, kMenu51Itu, fs); // L R C LFE Ls Rs
            d.config.focus_mode = 0;      // plain virtual microphones: a linear path
            d.config.back_del_sh = 1;
            d.config.back_delay = delay_ms;
            d.config.back_HS_gain = 0.0f;
            ASSERT_EQ(d.build(), 0);
            const int at = 1000;
            const int delay = (int)std::lround(fs * delay_ms * 0.001f);
            const int n = at + d.setup.latency + delay + 4 * d.setup.hop;
            std::vector<float> s((size_t)n, 0.0f);
            s[at] = 1.0f;
            Signal out = d.run(fuma_wave(s, 135.0f, 0.0f));
            EXPECT_EQ(peak_at(out[4]), at + d.setup.latency + delay) << fs << " " << delay_ms;
            // The front speakers carry no delay.
            Signal front = d.run(fuma_wave(s, 45.0f, 0.0f));
            EXPECT_EQ(peak_at(front[0]), at + d.setup.latency) << fs;
        }
}

// Every surround, rear and height speaker (and no other) gets the delay, whichever channel it
// leaves on: a pressure impulse reaches every speaker of the layout.
TEST(AbdecPaths, BackDelayReachesExactlyTheBackSpeakers)
{
    for (int menu = 0; menu < 30; ++menu)
    {
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
        if (!has_speakers(menu)) continue;
        Decoder d(1, menu);
        d.config.focus_mode = 0;
        d.config.back_del_sh = 1;
        d.config.back_delay = 20.0f;
        d.config.back_HS_gain = 0.0f;
        ASSERT_EQ(d.build(), 0);
        const int at = 700, delay = 960;
        const int n = at + d.setup.latency + delay + 1000;
        Signal in(4, std::vector<float>((size_t)n, 0.0f));
        in[0][at] = 1.0f; // W only: every cardioid hears it
        Signal out = d.run(in);
        for (int c = 0; c < L->num_channels; ++c)
        {
            const int k = L->channel_map[c];
            if (k < 0) continue;
            const bool back = (L->flags[k] & (8 | 16)) != 0;
            EXPECT_EQ(peak_at(out[c]), at + d.setup.latency + (back ? delay : 0))
                << "menu " << menu << " channel " << c;
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
                ASSERT_EQ(d.build(), 0);
                Signal out = d.run(fuma_wave(tone(n, f, fs), 150.0f, 0.0f));
                level[on] = rms(out[6].data() + n / 2, (size_t)n / 2);
            }
            const double want = f < 1000.0 ? 0.0 : gain;
            EXPECT_NEAR(db(level[1]) - db(level[0]), want, 0.5) << gain << " " << f;
        }
}
