#include "ox_chid.h"

#include "ox_test_util.h"

struct Generator
{
    ox_chid_params p;
    ox_chid_state s;
    std::vector<std::vector<float>> out; // one frame per channel
    std::vector<float*> ptr;

    Generator(int32_t framelen, int32_t nout, float fs)
    {
        EXPECT_EQ(ox_chid_init(&p, &s, framelen, nout, fs), 0);
        out.assign(size_t(nout), std::vector<float>(size_t(framelen)));
        for (auto& o : out) ptr.push_back(o.data());
    }
    ~Generator() { ox_chid_done(&p, &s); }

    // One frame over silent outputs: the one channel that got signal (-1 none, -2 several).
    int frame()
    {
        for (auto& o : out) std::fill(o.begin(), o.end(), 0.0f);
        ox_chid_process(&p, &s, ptr.data());
        int who = -1;
        for (size_t c = 0; c < out.size(); ++c)
            if (oxtest::peak(out[c]) > 0.0f) who = who == -1 ? int(c) : -2;
        return who;
    }
};

TEST(Chid, OneSecondBurstPerChannelInBandWithoutClipping)
{
    const int nout = 2, hop = 480;
    const float fs = 48000.0f;
    Generator g(hop, nout, fs);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(g.frame(), -1) << "idle before the first reset";
    ox_chid_reset(&g.p, &g.s);
    std::vector<std::vector<float>> burst(nout);
    float peak = 0;
    for (int frame = 0; frame < 101 * nout + 50; ++frame)
    {
        const int expect = frame < 101 * nout ? frame / 101 : -1;
        ASSERT_EQ(g.frame(), expect) << "frame " << frame;
        if (expect >= 0)
            burst[expect].insert(burst[expect].end(), g.out[expect].begin(), g.out[expect].end());
        for (const auto& o : g.out) peak = std::max(peak, oxtest::peak(o));
    }
    EXPECT_TRUE(peak < 1.0f && peak > 0.1f && burst[0][0] == 0.0f) << "starts from silence";
    for (int c = 0; c < nout; ++c)
    {
        ASSERT_EQ(burst[c].size(), size_t(101 * hop));
        // The 110 Hz buzz keeps its low harmonics; no decaying DC, little above 3 kHz.
        const auto X =
            oxtest::naive_dft(std::vector<double>(burst[c].begin(), burst[c].begin() + 4096));
        auto fraction = [&](double f1, double f2) { // of the energy between f1 and f2 Hz
            double in = 0, all = 0;
            for (size_t k = 0; k < X.size(); ++k)
            {
                const double f = double(k) * fs / 4096, e = std::norm(X[k]);
                all += e, in += f >= f1 && f <= f2 ? e : 0.0;
            }
            return in / all;
        };
        EXPECT_TRUE(fraction(100.0, 3000.0) > 0.95 && fraction(3000.0, fs / 2) < 3e-4 &&
                    fraction(400.0, 3000.0) > 0.15)
            << "channel " << c;
    }
    // The envelope before filtering falls to 1/e in 0.1 s.
    EXPECT_NEAR(std::pow(double(g.p.decay), 4800.0), std::exp(-1.0), 1e-4);
}

// A restart is taken up at the next frame; bad arguments and missing buffers are safe.
TEST(Chid, RestartBadArgumentsAndMissingBuffer)
{
    Generator g(256, 5, 44100.0f);
    ox_chid_reset(&g.p, &g.s);
    g.frame();
    std::vector<float> first = g.out[0];
    while (g.s.channel < 3) g.frame();
    for (int i = 0; i < 9; ++i) g.frame();
    ASSERT_EQ(g.frame(), 3);
    // A request leaves the running state alone until the audio side takes it.
    ox_chid_reset(&g.p, &g.s);
    EXPECT_EQ(g.s.channel, 3);
    EXPECT_EQ(g.frame(), 0) << "the request is taken up at the next frame";
    EXPECT_EQ(g.out[0], first) << "a restarted run plays exactly the fresh start";
    ox_chid_params p;
    ox_chid_state s;
    for (int32_t bad : {0, -480}) EXPECT_EQ(ox_chid_init(&p, &s, bad, 2, 48000.0f), -3);
    EXPECT_EQ(ox_chid_init(&p, &s, 480, 0, 48000.0f), -3);
    for (float fs : {0.0f, std::nanf("")}) EXPECT_EQ(ox_chid_init(&p, &s, 480, 2, fs), -7);
    ox_chid_done(&p, &s); // a refused set-up owns nothing
    ox_chid_reset(&p, &s);
    ox_chid_process(&p, &s, nullptr);

    Generator h(64, 2, 11025.0f);
    ox_chid_reset(&h.p, &h.s);
    ox_chid_process(&h.p, &h.s, nullptr); // no outputs: the run still advances
    h.ptr[0] = nullptr;
    h.frame();                                          // a missing channel is skipped
    ox_chid_done(&h.p, &h.s), ox_chid_done(&h.p, &h.s); // twice: the second frees nothing
    h.ptr[0] = h.out[0].data();
    ox_chid_reset(&h.p, &h.s);
    EXPECT_EQ(h.frame(), -1) << "no sound without a buffer";
}
