// Decoder levels and robustness: LFE, cross-over, binaural cues, parameter fuzz,
// updates and the channel test from another thread, no allocation while processing.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

#include "abdec_test_util.h"
#include "ox_abdec.h"
#include "ox_test_util.h"

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's allocation hooks (declared here: not every compiler ships the header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
extern "C" void __sanitizer_print_stack_trace();
#define ABDEC_COUNT_ALLOCS 1
#endif

using namespace oxtest;

TEST(AbdecLevels, LfeAndCrossOver)
{
    const int n = 48000 / 2;
    // 5.1 (ITU): L R C LFE Ls Rs; the LFE channel is 3.
    for (float option : {0.0f, 1.0f})
    {
        double lfe_rms[2];
        int k = 0;
        for (double f : {60.0, 240.0}) // cut-off 120 Hz: an octave below and above
        {
            Decoder d(1, kMenu51Itu);
            d.config.spectral_option = option;
            ASSERT_EQ(d.build(), 0);
            Signal out = d.run(fuma_wave(sine((size_t)n, f, 48000, 0.5f), 0.0f, 0.0f));
            lfe_rms[k++] = rms_from(out[3], (size_t)n / 2);
            if (option == 0.0f)
            {
                for (float v : out[3]) ASSERT_EQ(v, 0.0f);
            }
        }
        if (option != 0.0f)
        {
            // W of a 0.5 sine is 0.3536 rms / sqrt 2 = 0.25 rms; -12.3 dB one octave up.
            EXPECT_NEAR(db(lfe_rms[0]), db(0.25), 1.0);
            EXPECT_NEAR(db(lfe_rms[1]) - db(lfe_rms[0]), -12.3, 1.5);
        }
    }
    // The whole LFE frequency range takes effect: at 1000 Hz a 480 Hz tone passes the LFE.
    {
        Decoder d(1, kMenu51Itu);
        d.config.spectral_option = 1.0f;
        d.config.lfe_freq = 1000.0f;
        ASSERT_EQ(d.build(), 0);
        Signal out = d.run(fuma_wave(sine((size_t)n, 480.0, 48000, 0.5f), 0.0f, 0.0f));
        EXPECT_NEAR(db(rms_from(out[3], (size_t)n / 2)), db(0.25), 1.0);
    }
    // The whole cross-over gain range takes effect on the low band of the main pair, and only
    // there: 5.1 (ITU) is L R C LFE Ls Rs.
    {
        double low[2], surround = 0.0;
        int k = 0;
        for (float gain : {0.0f, -40.0f})
        {
            Decoder d(1, kMenu51Itu);
            d.config.xover_on = 1;
            d.config.xover_freq = 200.0f;
            d.config.xover_gain = gain;
            ASSERT_EQ(d.build(), 0);
            Signal out = d.run(fuma_wave(sine((size_t)n, 25.0, 48000, 0.5f), 0.0f, 0.0f));
            low[k++] = rms_from(out[0], (size_t)n / 2);
            surround = std::max(surround, rms_from(out[4], (size_t)n / 2));
        }
        EXPECT_NEAR(db(low[0]), db(0.25), 1.5); // the low band is W (channel 0)
        EXPECT_LT(db(low[1]) - db(low[0]), -35.0);
        EXPECT_LT(db(surround) - db(low[0]), -30.0);
    }
}

TEST(AbdecLevels, BinauralLeftSourceIsLouderAndEarlierLeft)
{
    const int n = 48000 / 2;
    Decoder d(1, kMenu71Itu, 48000, 1);
    ASSERT_EQ(d.build(), 0);
    // Click train plus noise from the left (azimuth +90).
    std::vector<float> s = noise(n, 9, 0.1f);
    Signal out = d.run(fuma_wave(s, 90.0f, 0.0f));
    // Energy above 2 kHz: first difference as a crude high-pass.
    double el = 0, er = 0;
    for (int i = n / 2; i < n; ++i)
    {
        double dl = out[0][i] - out[0][i - 1], dr = out[1][i] - out[1][i - 1];
        el += dl * dl;
        er += dr * dr;
    }
    EXPECT_GT(10 * std::log10(el / er), 3.0);
    // Arrival: cross-correlation peak of right against left at a positive lag.
    EXPECT_GT(xcorr_lag(out[0], out[1], 60, n / 2), 0);
}

TEST(AbdecRobustness, ParameterFuzzStaysFiniteAndClipped)
{
    std::mt19937 rng(11);
    const float specials[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 0.0f, -1.0f, 1.0f};
    for (int output : {kMenu714Itu, kMenuHoa2, kMenuStereo})
        for (int binaural : {0, 1})
        {
            Decoder d(0, output, 48000, binaural, 480, 24.0f);
            ASSERT_EQ(d.build(), 0);
            const int n = 480 * 30;
            Signal in;
            for (int c = 0; c < 4; ++c) in.push_back(noise(n, 40 + c, 4.0f));
            for (int round = 0; round < 12; ++round)
            {
                // Scramble every float word with extremes and NaN, then switch the limiter on.
                ox_abdec_word* w = reinterpret_cast<ox_abdec_word*>(&d.config);
                for (int i = 0; i < 184; ++i)
                {
                    if (rng() % 3 == 0)
                        w[i].f = specials[rng() % 8];
                    else if (rng() % 2)
                        w[i].i = (int32_t)(rng() % 3);
                }
                if (round % 2 == 0)
                {
                    d.config.limiter_on = 1;
                    d.config.compressor_on = 0;
                }
                ASSERT_EQ(ox_abdec_updateconfig(d.h, &d.config), 0);
                Signal out = d.run(in, {333, 480, 17});
                // The first hop still comes from frames run before this update.
                for (auto& ch : out)
                    for (float v : std::vector<float>(ch.begin() + 480, ch.end()))
                    {
                        ASSERT_TRUE(std::isfinite(v)) << output << " round " << round;
                        if (round % 2 == 0)
                        {
                            ASSERT_LE(std::fabs(v), 1.0f);
                        }
                    }
            }
            // A NaN input sample does not poison the decoder for good.
            in[1][100] = NAN;
            in[2][200] = INFINITY;
            ox_abdec_defaultconfig(nullptr, &d.config);
            ASSERT_EQ(ox_abdec_updateconfig(d.h, &d.config), 0);
            Signal out = d.run(in);
            for (auto& ch : out)
                for (float v : ch) ASSERT_TRUE(std::isfinite(v));
        }
}

#if ABDEC_COUNT_ALLOCS
namespace
{
std::atomic<long> g_allocs{0};
thread_local bool t_counted = false;
void on_malloc(const volatile void*, size_t)
{
    if (t_counted && g_allocs++ == 0) __sanitizer_print_stack_trace();
}
void on_free(const volatile void*) {}
} // namespace
#endif

TEST(AbdecRobustness, UpdatesFromAnotherThreadWhileProcessing)
{
#if ABDEC_COUNT_ALLOCS
    __sanitizer_install_malloc_and_free_hooks(on_malloc, on_free);
#endif
    Decoder d(0, kMenu714Itu, 48000, 0, 256, 24.0f);
    ASSERT_EQ(d.build(), 0);
    const int n = 48000;
    Signal in;
    for (int c = 0; c < 4; ++c) in.push_back(noise(n, 70 + c, 0.5f));
    std::atomic<bool> stop{false};
    std::thread updater([&] {
        ox_abdec_config c = d.config;
        int k = 0;
        while (!stop.load())
        {
            c.rotation = (float)(k % 360 - 180);
            c.xover_on = k & 1;
            c.back_del_sh = (k >> 1) & 1;
            c.back_delay = (float)(k % 100);
            c.spectral_option = (float)((k >> 2) & 1);
#if ABDEC_COUNT_ALLOCS
            t_counted = true; // updates and queries allocate nothing either
#endif
            ox_abdec_updateconfig(d.h, &c);
            if (k % 7 == 0) ox_abdec_channel_test(d.h);
            ox_abdec_beamid ids[20];
            ox_abdec_beamresponse r[20];
            ox_abdec_beamids(d.h, nullptr, nullptr, ids);
            ox_abdec_beamresponses(d.h, nullptr, nullptr, r, (float)(k % 361));
#if ABDEC_COUNT_ALLOCS
            t_counted = false;
#endif
            ++k;
            std::this_thread::yield();
        }
    });
    std::vector<const float*> ip(4);
    std::vector<float*> op(12);
    Signal out(12, std::vector<float>(n));
#if ABDEC_COUNT_ALLOCS
    t_counted = true;
#endif
    for (int pos = 0; pos + 256 <= n; pos += 256)
    {
        for (int c = 0; c < 4; ++c) ip[c] = in[c].data() + pos;
        for (int c = 0; c < 12; ++c) op[c] = out[c].data() + pos;
        ox_abdec_process_var(d.h, 256, ip.data(), op.data());
    }
#if ABDEC_COUNT_ALLOCS
    t_counted = false;
    EXPECT_EQ(g_allocs.load(), 0);
#endif
    stop = true;
    updater.join();
    for (auto& ch : out)
        for (float v : ch) ASSERT_TRUE(std::isfinite(v));
}

TEST(AbdecLevels, ChannelTestVisitsTheOutputsInTurn)
{
    Decoder d(1, kMenuStereo);
    ASSERT_EQ(d.build(), 0);
    const int n = 48000 * 5 / 2;
    Signal silence(4, std::vector<float>(n, 0.0f));
    Signal out = d.run(silence, {480});
    for (auto& ch : out)
        for (float v : ch) ASSERT_EQ(v, 0.0f); // idle until asked
    ox_abdec_channel_test(d.h);
    out = d.run(silence, {480});
    // Channel 0 in the first second, channel 1 in the second, then silence.
    EXPECT_GT(rms(out[0].data(), 24000), 0.01);
    EXPECT_EQ(rms(out[1].data(), 24000), 0.0);
    EXPECT_GT(rms(out[1].data() + 50000, 24000), 0.01);
    EXPECT_EQ(rms_from(out[0], 50000), 0.0);
    EXPECT_EQ(rms_from(out[1], 100000), 0.0);
}
