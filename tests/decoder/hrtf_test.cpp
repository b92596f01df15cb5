// Binaural rendering of point sources.
#include "ox_hrtf.h"
#include "ox_test_util.h"

using namespace oxtest;

using Signal = std::vector<float>;

struct Hrtf
{
    ox_hrtf_uparams u{};
    ox_hrtf_params p{};
    ox_hrtf_state s{};

    // Source 0 at azimuth az; fractional delays on.
    Hrtf(float fs, int framesize, int sources, int mode = 0, float az = 0.0f)
    {
        ox_hrtf_default_uparams(&u);
        u.sample_rate = fs;
        u.framesize = framesize;
        u.num_sources = sources;
        u.fractional_delay = 1;
        u.mode = mode;
        u.azimuth[0] = az;
    }
    ~Hrtf() { ox_hrtf_done(&p, &s); }
    int init() { return ox_hrtf_init(&p, &s, &u); }
    void update() { ASSERT_EQ(ox_hrtf_update(&u, &p, &s), 0); }

    // Renders copies of the sources (the equaliser works in place), zero-padded to whole frames.
    std::pair<Signal, Signal> render(std::vector<Signal> src)
    {
        const size_t n = size_t(u.framesize), len = (src[0].size() + n - 1) / n * n;
        Signal left(len, 0.0f), right(len, 0.0f);
        std::vector<float*> in(src.size());
        for (auto& x : src) x.resize(len, 0.0f);
        for (size_t f = 0; f < len; f += n)
        {
            for (size_t j = 0; j < src.size(); ++j) in[j] = src[j].data() + f;
            float* out[2] = {left.data() + f, right.data() + f};
            ox_hrtf_process(&p, &s, in.data(), out);
        }
        return {left, right};
    }
};

// Largest difference between g·a and b, relative to the peak of g·a.
static double rel_diff(const Signal& a, const Signal& b, double g = 1.0)
{
    double d = 0.0;
    for (size_t i = 0; i < a.size(); ++i) d = std::max(d, std::fabs(g * a[i] - b[i]));
    return d / std::max(1e-30, g * peak(a));
}

static size_t onset(const Signal& x)
{
    const float p = peak(x);
    for (size_t i = 0; i < x.size(); ++i)
        if (std::fabs(x[i]) > 1e-6f * p) return i;
    return x.size();
}

// Bad rates and frame sizes build nothing; unbuilt, the update refuses and nothing is written.
TEST(Hrtf, InitRejectsBadSetup)
{
    const float bad[][3] = {
        {0, 480, -7}, {NAN, 480, -7}, {INFINITY, 480, -7}, {1e9f, 480, -7}, {48000, 0, -3}};
    for (const auto& b : bad)
    {
        Hrtf h(b[0], int(b[1]), 2);
        EXPECT_TRUE(h.init() == int(b[2]) && !h.s.history && !h.s.scratch) << b[0] << " " << b[1];
    }
    Hrtf before(48000.0f, 480, 2), many(48000.0f, 480, 40);
    EXPECT_EQ(ox_hrtf_update(&before.u, &before.p, &before.s), -7);
    const auto [l, r] = before.render({impulse(480), impulse(480)});
    EXPECT_EQ(peak(l) + peak(r), 0.0f);
    EXPECT_TRUE(many.init() == 0 && many.p.num_sources == 32);
    ox_hrtf_done(&many.p, &many.s); // twice (again in the destructor) is safe
}

// Left source: right ear later by the ITD and 15 dB down in the treble; reset; ear switch.
TEST(Hrtf, LateralSourceHasHeadShadowAndInterauralDelay)
{
    for (float fs : {48000.0f, 192000.0f})
    {
        SCOPED_TRACE(fs);
        const int itd = (int)std::lround(2 * 0.105 * fs / 340.0); // 30 and 119 samples
        Hrtf h(fs, 480, 1, OX_HRTF_MODE_TONE, 90.0f);
        h.u.fractional_delay = 0;
        h.u.rotation = NAN; // counts as none
        ASSERT_EQ(h.init(), 0);
        auto [l, r] = h.render({impulse(8192)});
        EXPECT_TRUE(onset(l) == 0 && onset(r) == size_t(itd));
        for (double f = 4000.0; f <= 16000.0; f += 250.0)
            EXPECT_GE(db(std::abs(dft_at(l, f, fs)) / std::abs(dft_at(r, f, fs))), 15.0) << f;
        ox_hrtf_reset(&h.p, &h.s);
        const auto once = h.render({noise(960, 4)});
        ox_hrtf_reset(&h.p, &h.s);
        EXPECT_TRUE(h.render({noise(960, 4)}) == once); // the reset forgets filters and history
        h.u.mode = OX_HRTF_MODE_NO_LEFT;
        h.update();
        std::tie(l, r) = h.render({noise(960, 4)});
        EXPECT_TRUE(peak(l) == 0.0f && peak(r) > 0.0f);
    }
}

// A cubic passes the Lagrange interpolator; the whole delay moves only when the exact one is a full
// sample away; a head too wide for the history is held at its end, at any rate.
TEST(Hrtf, DelaysInterpolateAndMoveOnlyAFullSampleAway)
{
    // 14.82 samples = 15 - 0.2, plus the filter's 2.
    auto cubic = [](double n) { return (float)(std::pow(n / 500.0 - 1.0, 3) - 0.5 * (n / 500.0)); };
    Signal x(1500);
    for (size_t n = 0; n < x.size(); ++n) x[n] = cubic((double)n);
    Hrtf frac(48000.0f, 480, 1, OX_HRTF_MODE_NO_SPECTRAL | OX_HRTF_MODE_NO_SHADOW);
    ASSERT_EQ(frac.init(), 0);
    const auto [l, r] = frac.render({x});
    for (size_t n = 40; n < x.size(); ++n) ASSERT_NEAR(l[n], cubic(n - 16.8), 2e-5) << n;
    EXPECT_EQ(l, r);
    // Frontal source at 48 kHz: the exact delay is ear_distance·0.0005·48000/340.
    Hrtf h(48000.0f, 480, 1);
    h.u.ear_distance = (float)(14.6 * 340.0 / 24.0);
    ASSERT_TRUE(h.init() == 0 && h.p.delay_left[0] == 15);
    const double steps[][2] = {{15.4, 15}, {16.1, 16}, {15.4, 16}, {14.9, 15}, {14.2, 15}};
    for (const auto& st : steps)
    {
        h.u.ear_distance = (float)(st[0] * 340.0 / 24.0);
        h.update();
        EXPECT_TRUE(h.p.delay_left[0] == st[1] && h.p.delay_right[0] == st[1] &&
                    h.p.frac_left[0] == std::lround((st[0] - st[1]) * 10))
            << st[0];
    }
    // The update needs no built state: it keeps only the current delays there.
    ox_hrtf_state other{};
    h.u.ear_distance = (float)(17.3 * 340.0 / 24.0);
    EXPECT_EQ(ox_hrtf_update(&h.u, &h.p, &other), 0);
    EXPECT_TRUE(h.p.delay_left[0] == 17 && other.cur_delay_right[0] == 17);
    for (float fs : {44100.0f, 192000.0f})
    {
        Hrtf big(fs, 64, 1, 0, -90.0f);
        big.u.ear_distance = 5000.0f;
        ASSERT_EQ(big.init(), 0);
        EXPECT_EQ(big.p.delay_left[0], std::max(96, (int)std::ceil(fs * 2.0 / 1000.0)));
        const auto [bl, br] = big.render({noise(2000, 5)});
        EXPECT_TRUE(onset(bl) == size_t(big.p.delay_left[0]) + 2 && onset(br) == 2)
            << fs; // + 2: the fractional filter
    }
}

// The equaliser is flat at the reference angle; the same place renders alike (mirrors swap ears,
// poles fold, azimuths wrap, NaN is front).
TEST(Hrtf, EqualiserAndEquivalentDirections)
{
    for (float a : {40.0f, -40.0f, 100.0f})
    {
        Hrtf h(48000.0f, 480, 1, OX_HRTF_MODE_NO_DELAY | OX_HRTF_MODE_NO_SHADOW, a);
        h.u.reference_angle = 40.0f;
        h.u.fractional_delay = 0;
        h.u.gain[0] = -6.0f;
        ASSERT_EQ(h.init(), 0);
        const auto x = noise(9600, 11);
        const auto [l, r] = h.render({x});
        EXPECT_EQ(l, r);
        const double d = rel_diff(x, l, std::pow(10.0, -0.3));
        EXPECT_TRUE(a == 100.0f ? d > 0.1 : d < 1e-4) << a; // elsewhere the equaliser acts
    }
    const auto x = noise(2400, 13);
    auto render = [&](float az, float el, bool swap = false) {
        Hrtf h(44100.0f, 480, 1, OX_HRTF_MODE_TONE, az);
        h.u.elevation[0] = el;
        h.u.tilt = 10.0f;
        EXPECT_EQ(h.init(), 0);
        auto o = h.render({x});
        if (swap) std::swap(o.first, o.second);
        return o;
    };
    // az, el, and the same place, with the ears swapped or not
    const float same[][5] = {{30, 20, -30, 20, 1},   {165, 20, -165, 20, 1},   {0, 35, 0, 35, 1},
                             {30, 150, -150, 30, 0}, {20, -120, -160, -60, 0}, {45, 400, 45, 40, 0},
                             {400, 0, 40, 0, 0},     {NAN, INFINITY, 0, 0, 0}};
    for (const auto& c : same)
    {
        const auto a = render(c[0], c[1]), b = render(c[2], c[3], c[4] != 0.0f);
        EXPECT_LT(std::max(rel_diff(a.first, b.first), rel_diff(a.second, b.second)), 1e-6)
            << c[0] << " " << c[1];
    }
    EXPECT_TRUE(all_finite(render(1e30f, -3e33f).first));
}

// Eight moving sources at every rate: bit-identical whatever the frame size, also below the
// interaural delay, until a bad sample (whose recovery is per frame); finite and bounded after it.
TEST(Hrtf, MovingSourcesAtEveryRateAndFrameSize)
{
    for (float fs : {22050.0f, 44100.0f, 192000.0f})
    {
        const int n = 7 * int(fs / 700), ns = 8; // the sources move every 10 ms
        Signal out[2];
        for (int framesize : {n, fs > 1e5f ? 14 : 7})
        {
            SCOPED_TRACE(testing::Message() << fs << " Hz, frames of " << framesize);
            Hrtf h(fs, framesize, ns, OX_HRTF_MODE_TONE);
            h.u.high_freq = 30000.0f;
            h.u.high_gain = 6.0f;
            ASSERT_EQ(h.init(), 0);
            std::vector<Signal> src(ns);
            Signal& o = out[framesize < n];
            float worst = 0.0f;
            for (int f = 0; f < (framesize < n ? 30 : 60); ++f)
            {
                for (int j = 0; j < ns; ++j)
                {
                    src[j] = noise(n, 1000 * f + j);
                    h.u.azimuth[j] = 45.0f * j + 7.3f * f;
                    h.u.elevation[j] = -100.0f + 2.9f * f + 25.0f * j;
                }
                if (f == 30) src[3][n / 2] = INFINITY;
                h.update();
                const auto [l, r] = h.render(src);
                if (f >= 30 && f <= 31) continue; // the bad sample's own frame and delay line
                ASSERT_TRUE(all_finite(l) && all_finite(r)) << "frame " << f;
                worst = std::max(worst, std::max(peak(l), peak(r)));
                if (f >= 30) continue;
                o.insert(o.end(), l.begin(), l.end());
                o.insert(o.end(), r.begin(), r.end());
            }
            EXPECT_TRUE(worst < 40.0f && worst > 0.5f) << worst;
        }
        EXPECT_TRUE(out[0] == out[1]) << fs;
    }
}
