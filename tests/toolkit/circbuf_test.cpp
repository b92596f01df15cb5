#include "ox_circbuf.h"
#include "ox_test_util.h"

#include <deque>
#include <random>

static bool is_zeroed(const ox_circbuf& r)
{
    const ox_circbuf z{};
    return std::memcmp(&r, &z, sizeof(r)) == 0;
}

// Random pushes and pops, copied or in place, against a model of one queue per channel.
TEST(Circbuf, RandomPushPopAgainstDequeModel)
{
    const uint64_t nch = 3, cap = 37, lat = 5;
    ox_circbuf r{};
    ASSERT_EQ(ox_circbuf_init(&r, nch, cap, lat), 0);
    std::vector<std::deque<float>> model(nch, std::deque<float>(lat, 0.0f));
    std::mt19937 rng(11);
    float next = 1.0f;
    float buf[3][64], *b[3] = {buf[0], buf[1], buf[2]}, *p[3];
    for (int step = 0; step < 4000; ++step)
    {
        SCOPED_TRACE(step);
        const uint64_t n = rng() % 45, fill = model[0].size();
        const int op = int(rng() % 4);
        const bool push = op < 2, inplace = op % 2, fits = push ? fill + n <= cap : n <= fill;
        if (inplace)
        {
            const uint64_t run =
                uint64_t(push ? ox_circbuf_writeN(&r, p) : ox_circbuf_readN(&r, p));
            EXPECT_EQ(run, push ? std::min(cap - fill, cap - r.write_pos)
                                : std::min(fill, cap - r.read_pos));
            if (fits && n > run) continue; // in place only within one piece
        }
        for (uint64_t k = 0; k < nch && push && fits; ++k)
            for (uint64_t i = 0; i < n; ++i)
                model[k].push_back((inplace ? p : b)[k][i] = next + float(i) + 1000.0f * k);
        const int32_t rc = push ? ox_circbuf_pushN(&r, inplace ? nullptr : b, n)
                                : ox_circbuf_popN(&r, inplace ? nullptr : b, n);
        if (!push && inplace && fits)
            for (uint64_t k = 0; k < nch; ++k) std::copy(p[k], p[k] + n, b[k]);
        ASSERT_EQ(rc, fits ? 0 : 34);
        if (push && fits) next += float(n);
        for (uint64_t k = 0; k < nch && !push && fits; ++k)
            ASSERT_TRUE(std::equal(b[k], b[k] + n, model[k].begin()));
        for (uint64_t k = 0; k < nch && !push && fits; ++k)
            model[k].erase(model[k].begin(), model[k].begin() + long(n));
        ASSERT_TRUE(r.fill_count == model[0].size() && r.free_count + r.fill_count == cap &&
                    r.write_pos == (r.read_pos + r.fill_count) % cap);
    }
    ox_circbuf_destroy(&r);
    EXPECT_TRUE(is_zeroed(r));
}

// Random host blocks through rings adapting them to frames: delayed by the reported latency.
TEST(Circbuf, FrameAdaptionDelaysByReportedLatency)
{
    const uint64_t cases[][2] = {{512, 480}, {480, 480}, {64, 441}, {1500, 256}};
    for (const auto& c : cases)
    {
        const uint64_t block = c[0], frame = c[1];
        ox_circbuf in{}, out{};
        uint64_t lat = 0;
        ASSERT_EQ(ox_circbuf_smartinit2(&in, &out, 2, 2, block, frame, 1, nullptr, &lat), 0);
        std::mt19937 rng{uint32_t(block)};
        std::vector<float> x0, y0, hin[2], hout[2];
        float t = 1.0f;
        for (int blk = 0; blk < 200; ++blk)
        {
            const uint64_t n = rng() % (block + 1);
            for (int k = 0; k < 2; ++k) hin[k].resize(n), hout[k].resize(n);
            for (uint64_t i = 0; i < n; ++i, t += 1.0f)
                hin[0][i] = t, hin[1][i] = -t, x0.push_back(t);
            const float* src[2] = {hin[0].data(), hin[1].data()};
            ASSERT_EQ(ox_circbuf_pushN(&in, src, n), 0);
            float *rp[2], *wp[2];
            while (ox_circbuf_readN(&in, rp) >= int32_t(frame) &&
                   ox_circbuf_writeN(&out, wp) >= int32_t(frame))
            {
                for (int k = 0; k < 2; ++k) std::copy(rp[k], rp[k] + frame, wp[k]);
                ASSERT_TRUE(ox_circbuf_popN(&in, nullptr, frame) == 0 &&
                            ox_circbuf_pushN(&out, nullptr, frame) == 0);
            }
            float* dst[2] = {hout[0].data(), hout[1].data()};
            ASSERT_EQ(ox_circbuf_popN(&out, dst, n), 0) << "block " << block << " #" << blk;
            for (uint64_t i = 0; i < n; ++i) ASSERT_EQ(hout[1][i], -hout[0][i]);
            y0.insert(y0.end(), hout[0].begin(), hout[0].end());
        }
        for (size_t i = 0; i < y0.size(); ++i)
            ASSERT_EQ(y0[i], i < lat ? 0.0f : x0[i - lat]) << "block " << block << " i " << i;
        ox_circbuf_destroy2(&in, &out);
    }
}

// Capacity and latency for host blocks and frames; refusals.
TEST(Circbuf, SizingAndBadArguments)
{
    // Host block, frame, fixed block length; capacity and latency.
    const uint64_t cases[][5] = {{480, 480, 1, 960, 480}, {512, 480, 1, 1440, 480},
                                 {128, 512, 0, 512, 384}, {1024, 512, 0, 1024, 0},
                                 {480, 480, 0, 480, 0},   {300, 480, 0, 960, 480},
                                 {0, 480, 1, 480, 480}};
    for (const auto& c : cases)
    {
        ox_circbuf in{}, out{};
        uint64_t cap = 0, lat = 0;
        ASSERT_EQ(ox_circbuf_smartinit2(&in, &out, 4, 16, c[0], c[1], int32_t(c[2]), &cap, &lat),
                  0);
        EXPECT_TRUE(cap == c[3] && lat == c[4] && in.fill_count == 0 && out.fill_count == lat &&
                    out.read_pos == (lat ? cap - lat : 0))
            << c[0] << "/" << c[1];
        for (int k = 4; k < OX_CIRCBUF_MAXCHAN; ++k) EXPECT_EQ(in.chan[k], nullptr);
        ox_circbuf_destroy2(&in, &out);
    }
    // A ring of no channels only counts.
    ox_circbuf r{};
    ASSERT_TRUE(ox_circbuf_init(&r, 0, 8, 0) == 0 && r.chan[0] == nullptr);
    EXPECT_TRUE(ox_circbuf_pushN(&r, nullptr, 8) == 0 && ox_circbuf_pushN(&r, nullptr, 1) == 34);
    EXPECT_TRUE(ox_circbuf_popN(&r, nullptr, 8) == 0 && r.write_pos == 0u);
    ox_circbuf_destroy(&r);
    // Refusals (22 invalid, 12 no storage) change nothing and leak no live ring.
    ox_circbuf other{};
    float* p[OX_CIRCBUF_MAXCHAN];
    EXPECT_TRUE(ox_circbuf_init(nullptr, 1, 8, 0) == 22 && ox_circbuf_init(&r, 1, 0, 0) == 22 &&
                ox_circbuf_init(&r, 21, 8, 0) == 22 && ox_circbuf_init(&r, 1, 8, 9) == 22);
    EXPECT_TRUE(ox_circbuf_init(&r, 2, uint64_t(1) << 62, 0) == 12 && is_zeroed(r));
    // Counts: a null argument is 0 samples, never an error number.
    EXPECT_TRUE(ox_circbuf_readN(nullptr, p) == 0 && ox_circbuf_writeN(&r, nullptr) == 0);
    EXPECT_EQ(ox_circbuf_writeN(&r, p), 0); // never set up
    EXPECT_TRUE(ox_circbuf_pushN(nullptr, nullptr, 1) == 22 &&
                ox_circbuf_popN(nullptr, nullptr, 1) == 22);
    EXPECT_TRUE(ox_circbuf_pushN(&r, nullptr, 0) == 22 && ox_circbuf_popN(&r, nullptr, 0) == 22);
    ASSERT_EQ(ox_circbuf_init(&r, 2, 8, 0), 0);
    float a[4] = {1, 2, 3, 4};
    const float* src[2] = {a, nullptr};
    EXPECT_TRUE(ox_circbuf_pushN(&r, src, 4) == 22 && r.fill_count == 0u); // nothing moves
    ASSERT_TRUE(ox_circbuf_init(&r, 3, 16, 4) == 0 && r.fill_count == 4u); // replaces storage
    // A failed init leaves the live ring as it was.
    EXPECT_TRUE(ox_circbuf_init(&r, 2, uint64_t(1) << 62, 0) == 12 && r.capacity == 16u);
    // smartinit2 refusals leave both rings zeroed, results unwritten.
    uint64_t cap = 99, lat = 99;
    const uint64_t bad[][5] = {{2, 2, 512, 0, 1},    {2, 2, 512, 0, 0},
                               {2, 2, 0, 480, 0},    {21, 2, 512, 480, 1},
                               {2, 21, 512, 480, 1}, {2, 2, 1ull << 40, 480, 1}};
    for (const auto& c : bad)
        EXPECT_TRUE(ox_circbuf_smartinit2(&r, &other, c[0], c[1], c[2], c[3], int32_t(c[4]), &cap,
                                          &lat) == 22 &&
                    is_zeroed(r) && is_zeroed(other) && cap == 99u && lat == 99u)
            << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
    EXPECT_TRUE(ox_circbuf_smartinit2(nullptr, &other, 2, 2, 512, 480, 1, &cap, &lat) == 22 &&
                ox_circbuf_smartinit2(&r, nullptr, 2, 2, 512, 480, 1, &cap, &lat) == 22 &&
                is_zeroed(r) && is_zeroed(other));
    ox_circbuf_destroy2(nullptr, nullptr);
}
