// Decoder interface: set-up, errors, host blocks, clamping, format conversions, beam queries.
#include "abdec_test_util.h"

#include <random>

using namespace oxtest;

// Any host blocking, in place or not, with beam queries between blocks, gives the same output.
TEST(AbdecBlocks, AnyHostBlockingIsBitIdentical)
{
    std::mt19937 rng(5);
    ox_abdec_beamid ids[20];
    ox_abdec_beamresponse r[20];
    for (int input : {0, 1, 6})
        for (int output : {kMenu71Itu, kMenuHoa2})
        {
            SCOPED_TRACE(testing::Message() << input << " to " << output);
            Decoder ref(input, output, 44100, 0, 441);
            ASSERT_EQ(ref.build(), 0);
            const Signal in = noise_signal(ref.setup.num_inputs, 44100 / 2, 10, 0.3f);
            const Signal want = ref.run(in);
            for (int mode : {0, 1, 2})
            {
                Decoder d(input, output, 44100, 0, mode == 2 ? 64 : 700);
                std::vector<int> blocks(64);
                for (int& b : blocks) b = 1 + int(rng() % 700);
                if (mode == 2) blocks = {1000, 3000}; // past the announced 64: cut
                const auto query = [&](size_t pos) {
                    ox_abdec_beamids(d.h, &d.setup, &d.config, ids);
                    ox_abdec_beamresponses(d.h, nullptr, nullptr, r, float(pos));
                };
                EXPECT_EQ(d.run(in, blocks, mode == 1, query), want) << mode;
            }
        }
}

// Bad set-ups get error codes; non-finite and out-of-range words are clamped once; below -19.9 dB
// a group mutes and stays muted.
TEST(AbdecInterface, ErrorsClampsAndMuteRule)
{
    // input, menu, rate, block, code. A failure leaves a null handle and no leak (LeakSanitizer).
    const float bad[][5] = {{0, kMenu71Itu, 8000, 480, -7},  {0, kMenu71Itu, NAN, 480, -7},
                            {7, kMenu71Itu, 48000, 480, -8}, {0, 30, 48000, 480, -8},
                            {0, -1, 48000, 480, -8},         {0, kMenu71Itu, 48000, 0, -3}};
    for (const auto& c : bad)
    {
        Decoder d((int)c[0], (int)c[1], c[2], 0, (int)c[3]);
        d.h = reinterpret_cast<ox_abdec_handle>(&d);
        EXPECT_EQ(d.build(), int(c[4])) << c[0] << " " << c[1];
        EXPECT_EQ(d.h, nullptr);
    }
    // Null handles are ignored everywhere.
    ox_abdec_process_var(nullptr, 10, nullptr, nullptr);
    ox_abdec_channel_test(nullptr);
    ox_abdec_done(nullptr);
    ox_abdec_beamid ids[20];
    EXPECT_EQ(ox_abdec_beamids(nullptr, nullptr, nullptr, ids), 0);

    Decoder d(1, kMenuStereo);
    ASSERT_EQ(d.build(), 0);
    ox_abdec_config& c = d.config;
    ox_abdec_config before = c;
    ASSERT_EQ(ox_abdec_updateconfig(d.h, &c), 0);
    EXPECT_EQ(memcmp(&before, &c, sizeof c), 0);
    // Float words of every kind: angles, gains, frequencies, times, equaliser, expert.
    const int floats[] = {1, 2, 4, 5, 10, 23, 35, 36, 37, 41, 43, 45, 47, 48, 50, 89, 139, 151};
    ox_abdec_word* w = reinterpret_cast<ox_abdec_word*>(&c);
    const float specials[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f};
    for (size_t i = 0; i < std::size(floats); ++i) w[floats[i]].f = specials[i % 5];
    c.front.gain = -20.0f;
    c.surround.gain = -19.9f;
    c.xover_order = -1;
    ASSERT_EQ(ox_abdec_updateconfig(d.h, &c), 0);
    for (int i : floats) EXPECT_LE(std::fabs(w[i].f), 20000.0f) << i; // NaN fails too
    EXPECT_EQ(std::vector<float>({c.front.gain, float(c.front.muted), c.surround.gain,
                                  float(c.surround.muted), float(c.xover_order)}),
              std::vector<float>({-180.0f, 1.0f, -19.9f, 0.0f, 0.0f}));
    before = c;
    ASSERT_EQ(ox_abdec_updateconfig(d.h, &c), 0);
    EXPECT_EQ(c.front.muted, 1); // -180 clamps to -120: still muted
    c.front.gain = before.front.gain;
    EXPECT_EQ(memcmp(&before, &c, sizeof c), 0);
}

// FuMa, AmbiX (SN3D, ACN) and A-format conversions by their definitions, delayed by the latency.
TEST(AbdecFormats, ConversionsFollowTheStandardDefinitions)
{
    const int n = 24000, menu[3] = {kMenuAformat, kMenuFuma, kMenuAmbix};
    const std::vector<float> s = noise(n, 3, 0.5f);
    // input, output as the input of its format (0 A-format, 1 FuMa, 2 AmbiX), relative RMS error
    const double cases[][3] = {
        {1, 1, 1e-6}, {1, 2, 1e-4}, {2, 1, 1e-4}, {0, 0, 1e-4}, {0, 1, 0.01}};
    for (const auto& c : cases)
    {
        Decoder d((int)c[0], menu[(int)c[1]]);
        const Signal got = d.run(wave_input((int)c[0], s, 30.0f, 20.0f));
        const Signal want = wave_input((int)c[1], s, 30.0f, 20.0f);
        double err = 0, ref = 0;
        for (int ch = 0; ch < 4; ++ch)
            for (int i = d.setup.latency + 4800; i < n; ++i)
            {
                err += std::pow(got[ch][i] - want[ch][i - d.setup.latency], 2);
                ref += std::pow(want[ch][i - d.setup.latency], 2);
            }
        EXPECT_LT(std::sqrt(err / ref), c[2]) << c[0] << " to " << c[1];
    }
}

TEST(AbdecBeams, IdsAndResponses)
{
    // Cube + Center: sorting the beams by elevation reorders them.
    Decoder s(1, kMenu714Itu), cube(1, kMenuCube + 1);
    ASSERT_TRUE(s.build() == 0 && cube.build() == 0);
    // Beams sorted by elevation, each with its own speaker's; flags and focus in layout order.
    const ox_abdec_speakerlayout* C = ox_abdec_getlayout(kMenuCube + 1);
    ox_abdec_beamid ids[20];
    ASSERT_EQ(ox_abdec_beamids(cube.h, &cube.setup, &cube.config, ids), 9);
    for (int k = 0; k < 9; ++k)
        EXPECT_TRUE(std::abs(ids[k].elevation - C->elevation[ids[k].beam]) <= 1 &&
                    (k == 0 || ids[k].elevation >= ids[k - 1].elevation))
            << k;
    EXPECT_EQ(ids[2].flags, 2);
    EXPECT_EQ(ids[0].focus, 150); // focus 50 % x 0.03

    // Responses point along each beam and turn with rotation; their horizontal size follows the
    // beam's own group gain: 0.75 at 0 dB, +0.025 a dB, 0.01 muted (-30 dB mutes).
    const float want_az[11] = {-45, 45, 0, -135, 135, -150, 150, -45, 45, -135, 135};
    const float gains[6] = {-4, -30, 6, 2, 8, -8};
    const ox_abdec_speakerlayout* L = ox_abdec_getlayout(kMenu714Itu);
    ox_abdec_beamresponse r[20];
    for (float rot : {0.0f, 90.0f})
    {
        s.config.rotation = rot;
        for (int g = 0; g < 6; ++g) group_gain(s.config, g) = rot == 0.0f ? 0.0f : gains[g];
        ASSERT_EQ(ox_abdec_updateconfig(s.h, &s.config), 0);
        ASSERT_EQ(ox_abdec_beamresponses(s.h, nullptr, nullptr, r, 0.0f), 11);
        for (int k = 0; k < 11; ++k)
        {
            const float az = std::atan2(r[k].y, r[k].x) * 180.0f / (float)M_PI;
            const float G = rot == 0.0f ? 0.0f : gains[group_of(L->flags[k])];
            EXPECT_NEAR(std::remainder(az - want_az[k] - rot, 360.0f), 0.0f, 0.01f) << k;
            EXPECT_NEAR(std::hypot(r[k].x, r[k].y) / std::sqrt(1.0f - r[k].z * r[k].z),
                        G < -20.0f ? 0.01f : 0.75f + 0.025f * G, 1e-5f)
                << k;
        }
    }
}

// Builds a decoder, checks its counts against the format tables and runs noise: all finite. On
// stereo and 7.1.4, every rate-dependent design of every input puts a left source on the left.
static void sweep_case(int input, int output, float fs, int binaural, int block)
{
    SCOPED_TRACE(testing::Message() << input << " " << output << " " << fs << " " << binaural);
    Decoder d(input, output, fs, binaural, block, input == 0 || input == 5 ? 24.0f : 0.0f);
    ASSERT_EQ(d.build(), 0);
    ox_abdec_formatinfo info;
    ox_abdec_getformatinfo(&info, input, 0);
    const ox_abdec_speakerlayout* L = ox_abdec_getlayout(output);
    EXPECT_EQ(
        std::vector<int>({d.setup.num_inputs, d.setup.num_outputs, d.setup.num_beams}),
        std::vector<int>({info.num_channels, binaural ? 2 : L->num_channels, L->num_speakers}));
    ASSERT_TRUE(all_finite(d.run(noise_signal(d.setup.num_inputs, size_t(fs / 10), 100, 0.5f))));
    if (binaural || (output != kMenuStereo && output != kMenu714Itu)) return;
    const std::vector<float> s = noise(size_t(fs / 5), 9, 0.25f);
    const auto e = energies(d.run(wave_input(input, s, 60.0f, 0.0f)), s.size() / 2);
    EXPECT_GT(e[0], 4.0 * e[1]);
}

// One test per rate, so that CTest runs them side by side.
class AbdecSweep : public testing::TestWithParam<float>
{
};
TEST_P(AbdecSweep, AllFormats)
{
    // Hop 10 ms, FFT size, latency two hops, tail 200 ms, 36 histogram directions.
    const int fs = int(GetParam()), hop = fs / 100;
    Decoder d(1, kMenu71Itu, float(fs));
    ASSERT_EQ(d.build(), 0);
    const ox_abdec_setup& s = d.setup;
    EXPECT_EQ(std::vector<int>({s.hop, s.fft_size, s.latency, s.tail, s.num_directions}),
              std::vector<int>({hop, fs > 48000 ? 2048 : 1024, 2 * hop, 20 * hop, 36}));
    for (int input = 0; input < 7; ++input)
        for (int output = 0; output < 30; ++output)
            for (int binaural : {0, 1}) sweep_case(input, output, GetParam(), binaural, 480);
}
INSTANTIATE_TEST_SUITE_P(Rates, AbdecSweep, testing::Values(44100.0f, 48000.0f, 96000.0f));

TEST(AbdecSweepExtremes, RepresentativeFormats)
{
    for (float fs : {11025.0f, 192000.0f})
        for (int input : {0, 1, 3, 5})
            for (int output : {kMenuStereo, kMenu714Itu, kMenuCubeCSB, kMenuHoa3, kMenuAformat})
                for (int binaural : {0, 1}) sweep_case(input, output, fs, binaural, 512);
}
