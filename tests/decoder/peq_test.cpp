// Parametric equaliser with gain, polarity and delay.
#include "ox_peq.h"
#include "ox_test_util.h"

#include <memory>

using namespace oxtest;

namespace
{

// One single-channel equaliser instance with its records on the heap (the state is large).
struct Peq
{
    ox_peq_header h{};
    ox_peq_params p{};
    std::unique_ptr<ox_peq_state> s{new ox_peq_state()};

    explicit Peq(int hop = 480, float fs = 48e3f, int n = 8) { EXPECT_EQ(init(hop, fs, n), 0); }
    int init(int hop, float fs, int n = 8)
    {
        return ox_peq_init(&h, &p, s.get(), 1, n, hop, 0, fs);
    }
    int set(int index, int type, float freq, float gain = 0.0f, float q = 1.0f, int invert = 0,
            float chgain = 0.0f, float ms = 0.0f)
    {
        return ox_peq_update(&h, &p, s.get(), index, {type, freq, gain, q}, invert, chgain, ms);
    }
    int delay(float ms) { return set(0, 0, 0.0f, 0, 1, 0, 0.0f, ms); }
    // Runs whole frames through, calling `change` with each frame's start first.
    std::vector<float> run(std::vector<float> y, int bypass = 0,
                           const std::function<void(size_t)>& change = {})
    {
        for (size_t i = 0; i + size_t(h.framesize) <= y.size(); i += size_t(h.framesize))
        {
            if (change) change(i);
            float* ch = y.data() + i;
            ox_peq_processframe(&h, &p, s.get(), bypass, &ch, &ch);
        }
        return y;
    }
};

} // namespace

// Refused updates leave the parameters as they were; the range limits are accepted.
TEST(Peq, BadSetupsAndSettingsAreRefusedRangeEndsStayBounded)
{
    Peq q;
    for (float fs : {0.0f, NAN}) EXPECT_EQ(q.init(480, fs), -7);
    EXPECT_EQ(ox_peq_init(&q.h, &q.p, q.s.get(), 0, 1, 480, 0, 48000.0f), -5);
    EXPECT_EQ(q.init(480, 48000.0f, 9), -3);
    for (int frame : {0, -5, 7200}) EXPECT_EQ(q.init(frame, 48000.0f), -3); // 7200: no delay room
    ASSERT_EQ(q.init(480, 48000.0f, 2), 0);
    ASSERT_EQ(q.set(0, 6, 1000.0f), 0);
    const ox_peq_params before = q.p;
    // index, type, frequency, gain, Q, channel gain
    const float bad[][6] = {
        {0, 24, 1000, 0, 1, 0},     {0, -1, 1000, 0, 1, 0},     {2, 6, 1000, 0, 1, 0},
        {-1, 6, 1000, 0, 1, 0},     {0, 6, 19.9f, 0, 1, 0},     {0, 6, 24001, 0, 1, 0},
        {0, 6, NAN, 0, 1, 0},       {0, 10, 1000, 24.5f, 1, 0}, {0, 12, 1000, 3, 0.09f, 0},
        {0, 6, 1000, 0, 1, -10.5f}, {0, 6, 1000, 0, 1, NAN}};
    for (const auto& c : bad)
        EXPECT_EQ(q.set(int(c[0]), int(c[1]), c[2], c[3], c[4], 0, c[5]), -3) << c[1];
    EXPECT_EQ(std::memcmp(&before, &q.p, sizeof(before)), 0);
    EXPECT_EQ(q.set(0, 0, 0.0f, 0, 1, 0, -10.0f) + q.set(0, 0, 0.0f, 0, 1, 0, 10.0f), 0);
    EXPECT_EQ(q.set(0, 0, 0.0f, 0, 1, 7, 0.0f), 0);
    EXPECT_EQ(q.p.gain, -1.0f); // 0 dB inverted is exactly -1

    // Every type at its range ends stays bounded; a bad sample spoils only nearby frames.
    for (float fs : {11025.0f, 44100.0f, 192000.0f})
    {
        const int hop = int(fs * 0.01f);
        const auto x = noise(size_t(hop) * 50, 5);
        for (int type = 1; type < OX_PEQ_NUM_TYPES; ++type)
            for (int corner = 0; corner < 8; ++corner)
            {
                const float f = corner & 1 ? 24000.0f : 20.0f, g = corner & 2 ? 24.0f : -24.0f;
                const float qv = corner & 4 ? 100.0f : 0.1f;
                Peq eq(hop, fs, 2);
                ASSERT_EQ(eq.set(0, type, f, g, qv) + eq.set(1, type, f, g, qv), 0);
                const auto y = eq.run(x);
                ASSERT_TRUE(all_finite(y) && peak(y) < 1e3f) << type << " " << corner << " " << fs;
            }
        Peq eq(hop, fs);
        ASSERT_EQ(eq.set(0, 21, 100.0f), 0);
        auto bad = x;
        bad[size_t(hop) * 3 + 5] = NAN, bad[size_t(hop) * 3 + 6] = INFINITY;
        EXPECT_TRUE(all_finite(eq.run(bad), size_t(hop) * 10)) << fs;
    }
}

// LR2, LR4 (-6.02 dB at fc) and Butterworth 3 (-3.01 dB) pairs at analytic levels, summing flat.
TEST(Peq, CrossoverPairsSumFlat)
{
    const float fs = 48000.0f, fc = 1000.0f;
    const double pairs[][3] = {{8, 9, -6.0206}, {20, 21, -6.0206}, {14, 15, -3.0103}};
    for (const auto& pr : pairs)
    {
        Peq lo(480, fs), hi(480, fs);
        ASSERT_TRUE(lo.set(0, int(pr[0]), fc) == 0 && hi.set(0, int(pr[1]), fc) == 0);
        const auto hl = lo.run(impulse(48000)), hh = hi.run(impulse(48000));
        for (const auto* h : {&hl, &hh}) EXPECT_NEAR(db(std::abs(dft_at(*h, fc, fs))), pr[2], 0.01);
        for (double f : {30.0, 200.0, 700.0, 1000.0, 1400.0, 5000.0, 15000.0})
            EXPECT_NEAR(db(std::abs(dft_at(hl, f, fs) + dft_at(hh, f, fs))), 0.0, 0.01) << f;
    }
}

// Unity and bypass are bit-identical; settled delays are exact over the whole 100 ms at every
// rate; beyond the line they clamp; changes, one during another's fade, make no step larger than
// the signal's own.
TEST(Peq, PassThroughAndDelayAreExactAndFadeWithoutSteps)
{
    Peq unity;
    const auto n = noise(4800, 3);
    EXPECT_EQ(unity.run(n), n);
    ASSERT_EQ(unity.set(0, 6, 500.0f, 0, 1, 1, 6.0f, 10.0f), 0);
    EXPECT_EQ(unity.run(n, 1), n); // bypass ignores gain, delay and sections
    for (float fs : {11025.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f})
    {
        const int hop = int(fs * 0.01f);
        Peq q(hop, fs);
        for (float ms : {0.0f, 3.3f, 20.0f, 100.0f})
        {
            ASSERT_EQ(q.delay(ms), 0);
            ox_peq_reset(&q.h, q.s.get());
            const auto x = noise(size_t(hop) * 30, 11);
            const auto y = q.run(x);
            const size_t want = size_t(std::lround(fs * ms / 1000.0f));
            for (size_t i = want; i < y.size(); i += 7)
                ASSERT_EQ(y[i], x[i - want]) << fs << " Hz, " << ms << " ms";
        }
    }
    for (float ms : {1e3f, -5.0f, INFINITY})
        EXPECT_TRUE(unity.delay(ms) == 0 && unity.p.delay == (ms == 1e3f ? 7200 - 480 : 0)) << ms;
    auto steepest = [](std::vector<float> x) {
        std::adjacent_difference(x.begin(), x.end(), x.begin());
        return peak({x.begin() + 1, x.end()});
    };
    for (double f : {50.0, 440.0, 3000.0})
    {
        Peq q;
        const std::vector<float> x = sine(96000, f, 48000.0);
        const auto y = q.run(x, 0, [&](size_t i) {
            ASSERT_EQ(i == 4800 || i == 9600 ? q.delay(i == 4800 ? 20.0f : 10.0f) : 0, 0);
        });
        EXPECT_LE(steepest(y), 1.1 * steepest(x)) << f << " Hz";
        for (size_t i = 80000; i < y.size(); ++i) ASSERT_NEAR(y[i], x[i - 480], 1e-3) << f;
    }
}
