// Compressor, limiter and clip with one gain for all channels.
#include "ox_complim.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

using Channels = std::vector<std::vector<float>>;
const int32_t kBoth = OX_COMPLIM_COMPRESSOR | OX_COMPLIM_LIMITER;

struct Limiter
{
    ox_complim_cfg cfg;
    ox_complim_params p;
    ox_complim_state s;
    explicit Limiter(float fs, float gain = 0.0f)
    {
        ox_complim_default_cfg(&cfg);
        cfg.gain = gain;
        EXPECT_EQ(ox_complim_init(&p, &s, &cfg, fs), 0);
    }
    // Runs the channels through in place, in calls of the given lengths (cycled).
    Channels run(Channels ch, std::vector<int32_t> frames, int32_t flags)
    {
        std::vector<float*> ptr;
        for (auto& c : ch) ptr.push_back(c.data());
        const int32_t len = (int32_t)ch[0].size(), nc = (int32_t)ptr.size();
        for (int32_t off = 0, k = 0, n; off < len; off += n)
        {
            n = std::min(frames[k++ % frames.size()], len - off);
            ox_complim_process(&p, &s, ptr.data(), ptr.data(), n, off, nc, flags);
        }
        return ch;
    }
};

} // namespace

// Sample-peak detector: a 997 Hz sine (unlocked to the blocks) stays within 0.05 dB of the
// ceiling from 2 ms on; under heavy limiting an independent quiet channel gets the same gain.
TEST(Complim, LimiterHoldsCeilingWithOneGainForAllChannels)
{
    for (float fs : {44100.0f, 48000.0f, 96000.0f, 192000.0f})
    {
        Limiter lim(fs);
        const auto y = lim.run({sine(size_t(0.3f * fs), 997.0, fs, 2.0f)}, {int32_t(0.01f * fs)},
                               OX_COMPLIM_LIMITER)[0];
        const size_t period = size_t(std::ceil(fs / 997.0f)) + 1;
        for (size_t i = size_t(std::ceil(0.002 * fs)); i + period <= y.size(); i += period)
            ASSERT_NEAR(db(peak({y.begin() + long(i), y.begin() + long(i + period)})),
                        lim.cfg.ceiling, 0.05)
                << fs << " " << i;
    }
    Limiter lim(48000.0f, 6.0f);
    const std::vector<float> a = noise(24000, 11, 8.0f), c = noise(24000, 12, 1.0f);
    const Channels y = lim.run({a, c}, {480}, kBoth);
    EXPECT_LT(db(rms(y[0].data(), a.size()) / rms(a.data(), a.size())), -12.0);
    for (size_t i = 0; i < a.size(); i++)
    {
        const float g = y[0][i] / a[i];
        ASSERT_TRUE(std::fabs(a[i]) <= 0.1f || std::fabs(c[i]) <= 0.1f ||
                    std::fabs(y[1][i] / c[i] - g) <= 1e-5f * std::fabs(g))
            << i;
    }
}

// Compressor alone on a tone stepping 0, +6, 0 dB: settled, 6 dB more input gives 6/ratio dB
// more output; the gain falls within the attack (10 ms) and comes back over the release (200 ms).
TEST(Complim, CompressorCurveAttackAndRelease)
{
    for (float ratio : {2.0f, 4.0f})
    {
        Limiter c(48000.0f);
        c.cfg.ratio = ratio;
        ASSERT_EQ(ox_complim_init(&c.p, &c.s, &c.cfg, 48000.0f), 0);
        std::vector<float> x = sine(72000, 1000.0, 48000.0, 1.0f);
        for (size_t i = 24000; i < 48000; ++i) x[i] *= 2.0f;
        const auto y = c.run({x}, {480}, OX_COMPLIM_COMPRESSOR)[0];
        auto level = [&](double t) { // dB of the peak over the 10 ms from t seconds
            return db(peak({y.begin() + long(t * 48000), y.begin() + long(t * 48000 + 480)}));
        };
        EXPECT_NEAR(level(0.99) - level(0.49), 6.0 / ratio, 0.3) << ratio;
        EXPECT_NEAR(level(0.55), level(0.99), 0.5) << ratio;
        EXPECT_LT(level(1.05), level(0.49) - 1.0) << ratio;
    }
}

// Everything off is bit-identical at ragged call lengths; non-finite input spoils no later frame;
// silence changes no gain; the clip bounds every sample, the limiter's onset overshoot included.
TEST(Complim, PassThroughClipBadInputAndSettings)
{
    Limiter off(44100.0f), lim(48000.0f), quiet(48000.0f), clip(48000.0f), all(48000.0f);
    const std::vector<float> n = noise(10000, 5, 3.0f);
    EXPECT_EQ(off.run({n, n}, {441, 7, 1000, 1}, 0), Channels({n, n})); // 7: below a detector block
    std::vector<float> x = sine(9600, 1000.0, 48000.0, 0.5f);
    x[200] = INFINITY, x[300] = NAN;
    EXPECT_TRUE(all_finite(lim.run({x}, {480}, kBoth)[0], 480));
    EXPECT_TRUE(all_finite({lim.s.comp_env, lim.s.lim_env, lim.s.gain}));
    quiet.run({std::vector<float>(4800, 0.0f)}, {480}, kBoth);
    EXPECT_EQ(quiet.s.gain, 1.0f);
    Channels ch{sine(4800, 440.0, 48000.0, 4.0f), noise(4800, 3, 6.0f)};
    ch[0][10] = 1.5f, ch[0][11] = -2.0f, ch[1][100] = INFINITY, ch[1][101] = NAN;
    ch = clip.run(ch, {480}, OX_COMPLIM_CLIP);
    EXPECT_TRUE(ch[0][10] == 1.0f && ch[0][11] == -1.0f);
    for (auto& c : ch) EXPECT_TRUE(all_finite(c) && peak(c) <= 1.0f);
    EXPECT_LE(peak(all.run({sine(4800, 100.0, 48000.0, 8.0f)}, {480}, kBoth | OX_COMPLIM_CLIP)[0]),
              1.0f);

    // Bad settings refused; a sub-sample block advances; a ratio below 1 is 1 (make-up only).
    Limiter l(48000.0f);
    for (float fs : {7999.0f, NAN}) EXPECT_EQ(ox_complim_init(&l.p, &l.s, &l.cfg, fs), -7);
    l.cfg.threshold = -3.0f, l.cfg.ceiling = -12.0f;
    EXPECT_EQ(ox_complim_init(&l.p, &l.s, &l.cfg, 48000.0f), -3);
    ox_complim_default_cfg(&l.cfg);
    l.cfg.block_ms = NAN;
    EXPECT_EQ(ox_complim_init(&l.p, &l.s, &l.cfg, 48000.0f), -3);
    l.cfg.block_ms = 1e-6f;
    ASSERT_EQ(ox_complim_init(&l.p, &l.s, &l.cfg, 8000.0f), 0);
    l.run({noise(100, 1)}, {100}, OX_COMPLIM_LIMITER);
    ox_complim_default_cfg(&l.cfg);
    l.cfg.ratio = 0.25f, l.cfg.gain = 6.0f;
    ASSERT_EQ(ox_complim_init(&l.p, &l.s, &l.cfg, 48000.0f), 0);
    const std::vector<float> tone = sine(4800, 300.0, 48000.0, 0.9f);
    const auto y = l.run({tone}, {4800}, OX_COMPLIM_COMPRESSOR)[0];
    for (size_t i = 0; i < tone.size(); i++) ASSERT_FLOAT_EQ(y[i], tone[i] * l.p.makeup);
}
