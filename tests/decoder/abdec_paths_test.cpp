// Decoder signal paths measured end to end in every layout and channel order: the group gains,
// the back delay and the high shelf of the surround, rear and height speakers.
#include <gtest/gtest.h>

#include <cmath>

#include "abdec_test_util.h"
#include "ox_abdec.h"
#include "ox_test_util.h"

using namespace oxtest;

// Muting one speaker group silences exactly the speakers of that group, whichever channel they
// leave on.
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
    {
        if (!has_speakers(menu)) continue;
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(menu);
        for (int muted = 0; muted < 6; ++muted)
        {
            Decoder d(1, menu);
            d.config.focus_mode = 0; // cardioids: every speaker hears W
            float* gains[] = {&d.config.center.gain,    &d.config.front.gain,
                              &d.config.frontH.gain,    &d.config.surround.gain,
                              &d.config.surroundH.gain, &d.config.rear.gain};
            *gains[muted] = -30.0f;
            ASSERT_EQ(d.build(), 0);
            Signal in(4, std::vector<float>((size_t)n, 0.0f));
            in[0] = noise((size_t)n, 3, 0.5f);
            const Signal out = d.run(in);
            for (int ch = 0; ch < L->num_channels; ++ch)
            {
                const int k = L->channel_map[ch];
                const double level = db(rms_from(out[ch], n / 2));
                if (k < 0) // silent channels are exactly zero
                    EXPECT_EQ(level, -400.0) << "menu " << menu << " channel " << ch;
                else if (group_of(L->flags[k]) == muted)
                    EXPECT_LT(level, -100.0) << "menu " << menu << " channel " << ch;
                else
                    EXPECT_GT(level, -40.0) << "menu " << menu << " channel " << ch;
            }
        }
    }
}

// Every surround, rear and height speaker (and no other) gets the back delay, whichever channel
// it leaves on: a pressure impulse reaches every speaker of the layout exactly the delay after
// the latency. The delay reaches its whole range (100 ms) at every rate.
TEST(AbdecPaths, BackDelayReachesExactlyTheBackSpeakers)
{
    struct Case
    {
        float fs, delay_ms;
        int menu;
    };
    std::vector<Case> cases;
    for (int menu = 0; menu < 30; ++menu)
        if (has_speakers(menu)) cases.push_back({48000.0f, 20.0f, menu});
    for (float fs : {11025.0f, 96000.0f, 192000.0f})
        for (float ms : {20.0f, 100.0f}) cases.push_back({fs, ms, kMenu51Itu});
    for (const Case& c : cases)
    {
        const ox_abdec_speakerlayout* L = ox_abdec_getlayout(c.menu);
        Decoder d(1, c.menu, c.fs);
        d.config.focus_mode = 0; // plain virtual microphones: a linear path
        d.config.back_del_sh = 1;
        d.config.back_delay = c.delay_ms;
        d.config.back_HS_gain = 0.0f;
        ASSERT_EQ(d.build(), 0);
        const int at = 700, delay = (int)std::lround(c.fs * c.delay_ms * 0.001f);
        const int n = at + d.setup.latency + delay + 4 * d.setup.hop;
        Signal in(4, std::vector<float>((size_t)n, 0.0f));
        in[0][at] = 1.0f; // W only: every cardioid hears it
        const Signal out = d.run(in);
        for (int ch = 0; ch < L->num_channels; ++ch)
        {
            const int k = L->channel_map[ch];
            if (k < 0) continue;
            const bool back = (L->flags[k] & (OX_SPK_SURROUND | OX_SPK_REAR)) != 0;
            EXPECT_EQ(peak_at(out[ch]), at + d.setup.latency + (back ? delay : 0))
                << "menu " << c.menu << " rate " << c.fs << " channel " << ch;
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
                const Signal out = d.run(fuma_wave(sine(n, f, fs, 0.5f), 150.0f, 0.0f));
                level[on] = rms_from(out[6], n / 2);
            }
            EXPECT_NEAR(db(level[1]) - db(level[0]), f < 1000.0 ? 0.0 : gain, 0.5)
                << gain << " " << f;
        }
}
