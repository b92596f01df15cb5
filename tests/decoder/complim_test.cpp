#include "ox_complim.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace
{

struct Limiter
{
    ox_complim_cfg cfg;
    ox_complim_params p;
    ox_complim_state s;
    explicit Limiter(float fs, void (*edit)(ox_complim_cfg*) = nullptr)
    {
        ox_complim_default_cfg(&cfg);
        if (edit) edit(&cfg);
        EXPECT_EQ(ox_complim_init(&p, &s, &cfg, fs), 0);
    }
    // Runs the channels through in calls of `frame` samples, in place.
    void run(std::vector<std::vector<float>>& ch, int32_t frame, int32_t flags)
    {
        std::vector<float*> ptr;
        for (auto& c : ch) ptr.push_back(c.data());
        const int32_t len = (int32_t)ch[0].size();
        for (int32_t off = 0; off < len; off += frame)
        {
            const int32_t n = std::min(frame, len - off);
            ox_complim_process(&p, &s, ptr.data(), ptr.data(), n, off, (int32_t)ptr.size(), flags);
        }
    }
};

std::vector<float> sine(float fs, float f, float amp, size_t n)
{
    return oxtest::sine(n, f, fs, amp);
}

float peak(const std::vector<float>& x, size_t from, size_t to)
{
    float m = 0.0f;
    for (size_t i = from; i < to; i++) m = std::max(m, std::fabs(x[i]));
    return m;
}

} // namespace

TEST(Complim, LimiterHoldsCeilingFromTwoMilliseconds)
{
    // The detector sees sample peaks: at lower rates those of a 1 kHz sine
    // alone jitter by more than the 0.05 dB asked for here.
    for (float fs : {44100.0f, 48000.0f, 96000.0f, 192000.0f})
    {
        Limiter lim(fs);
        const float ceiling_db = lim.cfg.ceiling;
        const float f = 997.0f; // not locked to the detection blocks
        std::vector<std::vector<float>> ch{sine(fs, f, 2.0f, (size_t)(0.3f * fs))};
        lim.run(ch, (int32_t)(0.01f * fs), OX_COMPLIM_LIMITER);

        const size_t from = (size_t)std::ceil(0.002 * fs);
        const size_t period = (size_t)std::ceil(fs / f) + 1;
        double lo = 1e9, hi = -1e9;
        for (size_t i = from; i + period <= ch[0].size(); i += period)
        {
            const double level = oxtest::db(peak(ch[0], i, i + period));
            lo = std::min(lo, level);
            hi = std::max(hi, level);
        }
        EXPECT_LT(hi, ceiling_db + 0.05) << fs;
        EXPECT_GT(lo, ceiling_db - 0.05) << fs;
    }
}

TEST(Complim, HardClipBoundsEverySample)
{
    Limiter lim(48000.0f);
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<std::vector<float>> ch{sine(48000.0f, 440.0f, 4.0f, 4800),
                                       oxtest::noise(4800, 3, 6.0f)};
    ch[0][10] = 1.5f;
    ch[0][11] = -2.0f;
    ch[1][100] = inf;
    ch[1][101] = std::numeric_limits<float>::quiet_NaN();
    lim.run(ch, 480, OX_COMPLIM_CLIP);
    EXPECT_EQ(ch[0][10], 1.0f);
    EXPECT_EQ(ch[0][11], -1.0f);
    for (auto& c : ch)
        for (float v : c) ASSERT_TRUE(std::fabs(v) <= 1.0f) << v;

    // Limiter and compressor with the clip: the overshoot at onset is clipped too.
    Limiter all(48000.0f);
    std::vector<std::vector<float>> loud{sine(48000.0f, 100.0f, 8.0f, 4800)};
    all.run(loud, 480, OX_COMPLIM_COMPRESSOR | OX_COMPLIM_LIMITER | OX_COMPLIM_CLIP);
    EXPECT_LE(peak(loud[0], 0, 4800), 1.0f);
}

TEST(Complim, OneGainForAllChannels)
{
    Limiter lim(48000.0f, [](ox_complim_cfg* c) { c->gain = 6.0f; });
    std::vector<float> a = oxtest::noise(24000, 11, 8.0f);
    std::vector<float> b(a.size());
    for (size_t i = 0; i < a.size(); i++) b[i] = 0.5f * a[i];
    std::vector<float> c = oxtest::noise(24000, 12, 1.0f); // independent, quieter
    std::vector<std::vector<float>> ch{a, b, c};
    lim.run(ch, 480, OX_COMPLIM_COMPRESSOR | OX_COMPLIM_LIMITER);

    // Heavy limiting happened...
    EXPECT_LT(oxtest::db(oxtest::rms(ch[0].data(), a.size()) / oxtest::rms(a.data(), a.size())),
              -12.0);
    // ...yet the channels keep their 6 dB difference sample by sample.
    for (size_t i = 0; i < a.size(); i++) ASSERT_EQ(ch[1][i], 0.5f * ch[0][i]) << i;
    // The independent channel received exactly the same gain.
    for (size_t i = 0; i < a.size(); i++)
    {
        if (std::fabs(a[i]) > 0.1f && std::fabs(c[i]) > 0.1f)
        {
            ASSERT_NEAR(ch[2][i] / c[i], ch[0][i] / a[i], 1e-5f * std::fabs(ch[0][i] / a[i]));
        }
    }
}

TEST(Complim, EverythingOffIsBitIdentical)
{
    Limiter lim(44100.0f);
    std::vector<float> x = oxtest::noise(10000, 5, 3.0f);
    std::vector<std::vector<float>> ch{x, x};
    // Ragged call lengths, including one shorter than a detection block.
    std::vector<float*> ptr{ch[0].data(), ch[1].data()};
    const int32_t lengths[] = {441, 7, 1000, 1};
    for (int32_t off = 0, k = 0; off < 10000; k++)
    {
        const int32_t n = std::min(10000 - off, lengths[k % 4]);
        ox_complim_process(&lim.p, &lim.s, ptr.data(), ptr.data(), n, off, 2, 0);
        off += n;
    }
    EXPECT_EQ(std::memcmp(ch[0].data(), x.data(), x.size() * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(ch[1].data(), x.data(), x.size() * sizeof(float)), 0);
}

TEST(Complim, NonFiniteInputDoesNotPoisonState)
{
    Limiter lim(48000.0f);
    const int32_t flags = OX_COMPLIM_COMPRESSOR | OX_COMPLIM_LIMITER;
    std::vector<std::vector<float>> ch{sine(48000.0f, 1000.0f, 0.5f, 9600)};
    ch[0][200] = std::numeric_limits<float>::infinity();
    ch[0][300] = std::numeric_limits<float>::quiet_NaN();
    lim.run(ch, 480, flags);
    EXPECT_TRUE(std::isfinite(lim.s.comp_env) && std::isfinite(lim.s.lim_env) &&
                std::isfinite(lim.s.gain));
    for (size_t i = 480; i < ch[0].size(); i++) ASSERT_TRUE(std::isfinite(ch[0][i])) << i;

    // Silence: no gain change at all.
    Limiter quiet(48000.0f);
    std::vector<std::vector<float>> zero{std::vector<float>(4800, 0.0f)};
    quiet.run(zero, 480, flags);
    EXPECT_EQ(quiet.s.gain, 1.0f);
}

TEST(Complim, ConfigurationGuards)
{
    ox_complim_cfg cfg;
    ox_complim_params p;
    ox_complim_state s;
    ox_complim_default_cfg(&cfg);
    for (float fs : {7999.0f, NAN}) EXPECT_EQ(ox_complim_init(&p, &s, &cfg, fs), -7);
    cfg.threshold = -3.0f;
    cfg.ceiling = -12.0f;
    EXPECT_EQ(ox_complim_init(&p, &s, &cfg, 48000.0f), -3);
    ox_complim_default_cfg(&cfg);
    cfg.block_ms = NAN;
    EXPECT_EQ(ox_complim_init(&p, &s, &cfg, 48000.0f), -3);
    // A block shorter than a sample still advances.
    cfg.block_ms = 1e-6f;
    ASSERT_EQ(ox_complim_init(&p, &s, &cfg, 8000.0f), 0);
    std::vector<float> x = oxtest::noise(100, 1);
    float* ptr = x.data();
    ox_complim_process(&p, &s, &ptr, &ptr, 100, 0, 1, OX_COMPLIM_LIMITER);
    // A ratio below 1 is 1: the compressor stage then only applies make-up gain.
    ox_complim_default_cfg(&cfg);
    cfg.ratio = 0.25f;
    cfg.gain = 6.0f;
    ASSERT_EQ(ox_complim_init(&p, &s, &cfg, 48000.0f), 0);
    x = sine(48000.0f, 300.0f, 0.9f, 4800);
    std::vector<float> y = x;
    ptr = y.data();
    ox_complim_process(&p, &s, &ptr, &ptr, 4800, 0, 1, OX_COMPLIM_COMPRESSOR);
    for (size_t i = 0; i < x.size(); i++) ASSERT_FLOAT_EQ(y[i], x[i] * p.makeup);
}
