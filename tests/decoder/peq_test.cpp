#include "ox_peq.h"
#include "ox_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <vector>

namespace
{

// One single-channel equaliser instance with its records on the heap (the state is large).
struct Peq
{
    ox_peq_header h{};
    ox_peq_params p{};
    std::unique_ptr<ox_peq_state> s{new ox_peq_state()};

    int init(int framesize, float fs, int sections = 8)
    {
        return ox_peq_init(&h, &p, s.get(), 1, sections, framesize, 0, fs);
    }
    int set(int index, int type, float freq, float gain = 0.0f, float q = 1.0f, int invert = 0,
            float chgain = 0.0f, float delay_ms = 0.0f)
    {
        ox_peq_section sec{type, freq, gain, q};
        return ox_peq_update(&h, &p, s.get(), index, sec, invert, chgain, delay_ms);
    }
    // Runs a whole signal through, frame by frame (length rounded down to whole frames).
    std::vector<float> run(const std::vector<float>& x, int bypass = 0)
    {
        std::vector<float> y(x);
        const size_t n = size_t(h.framesize);
        for (size_t i = 0; i + n <= y.size(); i += n)
        {
            float* ch = y.data() + i;
            ox_peq_processframe(&h, &p, s.get(), bypass, &ch, &ch);
        }
        return y;
    }
};

std::vector<float> impulse(size_t n)
{
    std::vector<float> x(n, 0.0f);
    x[0] = 1.0f;
    return x;
}

} // namespace

// Bad set-ups are refused; a refused section update keeps the old section and gain, while the
// range limits themselves are accepted.
TEST(Peq, BadSetupsAndSettingsAreRefused)
{
    Peq q;
    for (float fs : {0.0f, NAN}) EXPECT_EQ(q.init(480, fs), -7);
    EXPECT_EQ(ox_peq_init(&q.h, &q.p, q.s.get(), 0, 1, 480, 0, 48000.0f), -5);
    EXPECT_EQ(q.init(480, 48000.0f, 9), -3);
    for (int frame : {0, -5, 7200}) EXPECT_EQ(q.init(frame, 48000.0f), -3); // 7200: no delay room
    ASSERT_EQ(q.init(480, 48000.0f, 2), 0);
    ASSERT_EQ(q.set(0, 6, 1000.0f), 0);
    const ox_iir_cfNf before = q.p.sections[0];
    const float g_before = q.p.gain;
    const struct
    {
        int index, type;
        float freq, gain, q, chgain;
    } bad[] = {{0, 24, 1000, 0, 1, 0},     {0, -1, 1000, 0, 1, 0},     {2, 6, 1000, 0, 1, 0},
               {-1, 6, 1000, 0, 1, 0},     {0, 6, 19.9f, 0, 1, 0},     {0, 6, 24001, 0, 1, 0},
               {0, 6, NAN, 0, 1, 0},       {0, 10, 1000, 24.5f, 1, 0}, {0, 12, 1000, 3, 0.09f, 0},
               {0, 6, 1000, 0, 1, -10.5f}, {0, 6, 1000, 0, 1, NAN}};
    for (const auto& c : bad)
        EXPECT_EQ(q.set(c.index, c.type, c.freq, c.gain, c.q, 0, c.chgain), -3) << c.type;
    EXPECT_EQ(std::memcmp(&before, &q.p.sections[0], sizeof(before)), 0);
    EXPECT_EQ(q.p.gain, g_before);
    EXPECT_EQ(q.set(0, 6, 20.0f), 0);
    EXPECT_EQ(q.set(0, 6, 24000.0f), 0);
    EXPECT_EQ(q.set(0, 12, 1000.0f, -24.0f, 0.1f, 0, -10.0f), 0);
    EXPECT_EQ(q.set(0, 12, 1000.0f, 24.0f, 100.0f, 0, 10.0f), 0);
    // Any non-zero invert inverts; 0 dB inverted is exactly -1.
    EXPECT_EQ(q.set(0, 0, 0.0f, 0, 1, 7, 0.0f), 0);
    EXPECT_EQ(q.p.gain, -1.0f);
}

TEST(Peq, UnityAndBypassPassThrough)
{
    Peq q;
    ASSERT_EQ(q.init(480, 48000.0f), 0);
    const auto x = oxtest::noise(4800, 3);
    EXPECT_EQ(q.run(x), x); // no sections, gain 1, delay 0: bit-identical

    ASSERT_EQ(q.set(0, 6, 500.0f, 0, 1, 1, 6.0f, 10.0f), 0);
    EXPECT_EQ(q.run(x, 1), x); // bypass ignores gain, delay and sections
}

TEST(Peq, CrossoverPairsSumFlat)
{
    const float fs = 48000.0f, fc = 1000.0f;
    struct Pair
    {
        int lo, hi;
        double db_at_fc;
    };
    // Linkwitz-Riley 2nd and 4th order (−6.02 dB at fc), Butterworth 3rd (−3.01 dB).
    for (Pair pr : {Pair{8, 9, -6.0206}, Pair{20, 21, -6.0206}, Pair{14, 15, -3.0103}})
    {
        Peq lo, hi;
        ASSERT_EQ(lo.init(480, fs), 0);
        ASSERT_EQ(hi.init(480, fs), 0);
        ASSERT_EQ(lo.set(0, pr.lo, fc), 0);
        ASSERT_EQ(hi.set(0, pr.hi, fc), 0);
        const auto hl = lo.run(impulse(48000));
        const auto hh = hi.run(impulse(48000));
        std::vector<float> sum(hl.size());
        for (size_t i = 0; i < sum.size(); ++i) sum[i] = hl[i] + hh[i];
        EXPECT_NEAR(oxtest::db(std::abs(oxtest::dft_at(hl, fc, fs))), pr.db_at_fc, 0.01) << pr.lo;
        EXPECT_NEAR(oxtest::db(std::abs(oxtest::dft_at(hh, fc, fs))), pr.db_at_fc, 0.01) << pr.hi;
        for (double f : {30.0, 200.0, 700.0, 1000.0, 1400.0, 5000.0, 15000.0})
            EXPECT_NEAR(oxtest::db(std::abs(oxtest::dft_at(sum, f, fs))), 0.0, 0.01)
                << pr.lo << " at " << f;
    }
}

TEST(Peq, SettledDelayIsExact)
{
    // A fresh instance starts settled at its target: the whole 100 ms works at every rate.
    for (float fs : {11025.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f})
    {
        Peq q;
        const int hop = int(fs * 0.01f);
        ASSERT_EQ(q.init(hop, fs), 0);
        for (float ms : {0.0f, 3.3f, 20.0f, 100.0f})
        {
            ASSERT_EQ(q.set(0, 0, 0.0f, 0, 1, 0, 0.0f, ms), 0);
            ox_peq_reset(&q.h, q.s.get());
            const auto x = oxtest::noise(size_t(hop) * 30, 11);
            const auto y = q.run(x);
            const long want = std::lround(fs * ms / 1000.0f);
            // Exactly the input, delayed: compare past the first `want` samples.
            for (size_t i = size_t(want); i < y.size(); i += 7)
                ASSERT_EQ(y[i], x[i - size_t(want)]) << fs << " Hz, " << ms << " ms";
        }
    }
}

TEST(Peq, DelayLongerThanLineIsClamped)
{
    Peq q;
    ASSERT_EQ(q.init(480, 48000.0f), 0);
    for (float ms : {1000.0f, -5.0f, INFINITY})
    {
        ASSERT_EQ(q.set(0, 0, 0.0f, 0, 1, 0, 0.0f, ms), 0);
        EXPECT_EQ(q.p.delay, ms > 0.0f && std::isfinite(ms) ? 7200 - 480 : 0) << ms;
    }
}

// A delay change fades without a step larger than the signal's own, also when a second change
// arrives during the first fade; once settled the output is the input delayed by the last delay.
TEST(Peq, DelayChangesFadeWithoutSteps)
{
    const float fs = 48000.0f;
    for (double f : {50.0, 440.0, 3000.0})
    {
        Peq q;
        ASSERT_EQ(q.init(480, fs), 0);
        std::vector<float> x(96000);
        for (size_t i = 0; i < x.size(); ++i) x[i] = float(std::sin(2.0 * M_PI * f * i / fs));
        double steady = 0.0;
        for (size_t i = 1; i < x.size(); ++i)
            steady = std::max(steady, std::fabs(double(x[i]) - x[i - 1]));
        std::vector<float> y(x);
        for (size_t i = 0; i + 480 <= y.size(); i += 480)
        {
            // The change arrives mid-signal, and a second one during its fade.
            const float ms = i == 4800 ? 20.0f : 10.0f;
            ASSERT_EQ(i == 4800 || i == 9600 ? q.set(0, 0, 0.0f, 0, 1, 0, 0.0f, ms) : 0, 0);
            float* ch = y.data() + i;
            ox_peq_processframe(&q.h, &q.p, q.s.get(), 0, &ch, &ch);
        }
        double worst = 0.0;
        for (size_t i = 1; i < y.size(); ++i)
            worst = std::max(worst, std::fabs(double(y[i]) - y[i - 1]));
        EXPECT_LE(worst, 1.1 * steady) << f << " Hz";
        for (size_t i = 80000; i < y.size(); ++i) ASSERT_NEAR(y[i], x[i - 480], 1e-3) << f;
    }
}

TEST(Peq, EveryTypeStaysBoundedAtRangeEnds)
{
    // Noise through every section type at the ends of its range, at low and high rates;
    // then a NaN burst must not poison the state for good.
    for (float fs : {11025.0f, 44100.0f, 192000.0f})
    {
        const int hop = int(fs * 0.01f);
        const auto x = oxtest::noise(size_t(hop) * 50, 5);
        for (int type = 1; type < OX_PEQ_NUM_TYPES; ++type)
        {
            for (float freq : {20.0f, 24000.0f})
            {
                for (float gain : {-24.0f, 24.0f})
                {
                    for (float qv : {0.1f, 100.0f})
                    {
                        Peq q;
                        ASSERT_EQ(q.init(hop, fs, 2), 0);
                        ASSERT_EQ(q.set(0, type, freq, gain, qv), 0);
                        ASSERT_EQ(q.set(1, type, freq, gain, qv), 0);
                        auto y = q.run(x);
                        for (float v : y)
                            ASSERT_TRUE(std::isfinite(v) && std::fabs(v) < 1e3f)
                                << "type " << type << " f " << freq << " g " << gain << " q " << qv
                                << " fs " << fs;
                    }
                }
            }
        }
        // One non-finite sample spoils at most the frames around it.
        Peq q;
        ASSERT_EQ(q.init(hop, fs), 0);
        ASSERT_EQ(q.set(0, 21, 100.0f), 0);
        auto bad = x;
        bad[size_t(hop) * 3 + 5] = NAN;
        bad[size_t(hop) * 3 + 6] = INFINITY;
        const auto y = q.run(bad);
        for (size_t i = size_t(hop) * 10; i < y.size(); ++i) ASSERT_TRUE(std::isfinite(y[i]));
    }
}
