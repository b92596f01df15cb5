// Decoder interface: set-up figures, errors, block adaption, configuration clamping, first-order
// format conversions and beam queries.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "abdec_test_util.h"
#include "ox_abdec.h"
#include "ox_test_util.h"

using namespace oxtest;

TEST(AbdecSetup, FiguresAndErrors)
{
    const struct
    {
        int input, menu;
        float fs;
        int binaural, hop, fft, inputs, outputs, beams;
    } cases[] = {{1, kMenu71Itu, 48000, 0, 480, 1024, 4, 8, 7},
                 {1, kMenu71Itu, 44100, 0, 441, 1024, 4, 8, 7},
                 {1, kMenu71Itu, 96000, 0, 960, 2048, 4, 8, 7},
                 {6, kMenuHoa3, 48000, 0, 480, 1024, 3, 16, 20},
                 {5, kMenu714Itu, 48000, 1, 480, 1024, 5, 2, 11}};
    for (const auto& c : cases)
    {
        Decoder d(c.input, c.menu, c.fs, c.binaural);
        ASSERT_EQ(d.build(), 0);
        const ox_abdec_setup& s = d.setup;
        EXPECT_EQ(s.hop, c.hop);
        EXPECT_EQ(s.fft_size, c.fft);
        EXPECT_EQ(s.latency, 2 * c.hop); // two hops
        EXPECT_EQ(s.tail, 20 * c.hop);   // 200 ms
        EXPECT_EQ(s.num_inputs, c.inputs);
        EXPECT_EQ(s.num_outputs, c.outputs);
        EXPECT_EQ(s.num_beams, c.beams);
        EXPECT_EQ(s.num_directions, 36);
    }
    // Every failure leaves a null handle and nothing allocated (LeakSanitizer checks the latter).
    const struct
    {
        int input, menu;
        float fs;
        int block, code;
    } bad[] = {{0, kMenu71Itu, 8000, 480, -7},  {0, kMenu71Itu, NAN, 480, -7},
               {7, kMenu71Itu, 48000, 480, -8}, {0, 30, 48000, 480, -8},
               {0, -1, 48000, 480, -8},         {0, kMenu71Itu, 48000, 0, -3}};
    for (const auto& c : bad)
    {
        Decoder d(c.input, c.menu, c.fs, 0, c.block);
        d.h = reinterpret_cast<ox_abdec_handle>(&d);
        EXPECT_EQ(ox_abdec_init(&d.h, &d.setup, &d.config), c.code) << c.input << " " << c.menu;
        EXPECT_EQ(d.h, nullptr);
    }
    // Null handles are ignored everywhere.
    ox_abdec_process_var(nullptr, 10, nullptr, nullptr);
    ox_abdec_channel_test(nullptr);
    ox_abdec_done(nullptr);
    ox_abdec_beamid ids[20];
    EXPECT_EQ(ox_abdec_beamids(nullptr, nullptr, nullptr, ids), 0);
}

TEST(AbdecBlocks, AnyHostBlockingIsBitIdentical)
{
    std::mt19937 rng(5);
    for (int input : {0, 1, 6})
        for (int output : {kMenu71Itu, kMenuHoa2})
        {
            Decoder ref(input, output, 44100, 0, 441);
            ASSERT_EQ(ref.build(), 0);
            const int n = 44100 / 2;
            Signal in;
            for (int c = 0; c < ref.setup.num_inputs; ++c) in.push_back(noise(n, 10 + c, 0.3f));
            Signal want = ref.run(in);
            for (bool inplace : {false, true})
            {
                Decoder d(input, output, 44100, 0, 700);
                ASSERT_EQ(d.build(), 0);
                std::vector<int> blocks;
                for (int k = 0; k < 64; ++k) blocks.push_back(1 + (int)(rng() % 700));
                Signal got = d.run(in, blocks, inplace);
                for (size_t c = 0; c < want.size(); ++c)
                    ASSERT_EQ(got[c], want[c]) << input << " " << output << " ch " << c;
            }
            // Longer blocks than announced are cut into pieces.
            Decoder small(input, output, 44100, 0, 64);
            ASSERT_EQ(small.build(), 0);
            Signal got = small.run(in, {1000, 3000});
            for (size_t c = 0; c < want.size(); ++c) ASSERT_EQ(got[c], want[c]);
        }
}

TEST(AbdecBlocks, SilenceGivesExactZeros)
{
    for (int bin : {0, 1})
    {
        Decoder d(0, kMenu714Itu, 48000, bin);
        d.config.spectral_option = 1.0f;
        d.config.xover_on = 1;
        ASSERT_EQ(d.build(), 0);
        Signal in(4, std::vector<float>(48000 / 2, 0.0f));
        Signal out = d.run(in);
        for (auto& ch : out)
            for (float v : ch) ASSERT_EQ(v, 0.0f);
    }
}

// The defaults are in range and mute nothing; out-of-range and non-finite words are clamped in
// place to finite values, and a second update leaves them alone; a group gain below -19.9 dB
// mutes the group (-180 dB, still muted after the next clamp).
TEST(AbdecConfig, ClampsAndMuteRule)
{
    ox_abdec_setup s;
    ox_abdec_config c;
    ox_abdec_defaultconfig(&s, &c);
    s.output_format = kMenuStereo;
    ox_abdec_handle h = nullptr;
    ASSERT_EQ(ox_abdec_init(&h, &s, &c), 0);
    ox_abdec_config before = c;
    ASSERT_EQ(ox_abdec_updateconfig(h, &c), 0);
    EXPECT_EQ(memcmp(&before, &c, sizeof c), 0);

    float* f[] = {&c.rotation,        &c.elevation,
                  &c.input_gain,      &c.center.focus,
                  &c.front.angle,     &c.rear.elevation,
                  &c.back_delay,      &c.back_HS_freq,
                  &c.back_HS_gain,    &c.lfe_freq,
                  &c.beam_gain,       &c.diffdecorr,
                  &c.compressor_gain, &c.compressor_threshold,
                  &c.limiter_ceiling, &c.xover_freq,
                  &c.extra_eq[7],     &c.expert[151 - 142].f};
    const float specials[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f};
    for (size_t i = 0; i < sizeof f / sizeof f[0]; ++i) *f[i] = specials[i % 5];
    c.front.gain = -20.0f;
    c.surround.gain = -19.9f;
    c.xover_order = -1;
    ASSERT_EQ(ox_abdec_updateconfig(h, &c), 0);
    for (size_t i = 0; i < sizeof f / sizeof f[0]; ++i) EXPECT_TRUE(std::isfinite(*f[i])) << i;
    EXPECT_EQ(c.front.gain, -180.0f);
    EXPECT_EQ(c.front.muted, 1);
    EXPECT_EQ(c.surround.gain, -19.9f);
    EXPECT_EQ(c.surround.muted, 0);
    EXPECT_EQ(c.xover_order, 0);
    before = c;
    ASSERT_EQ(ox_abdec_updateconfig(h, &c), 0);
    EXPECT_EQ(c.front.muted, 1); // -180 clamps to -120: still muted
    c.front.gain = before.front.gain;
    EXPECT_EQ(memcmp(&before, &c, sizeof c), 0);
    ox_abdec_done(h);
}

// Format conversions against the standard definitions: FuMa through unchanged, FuMa to AmbiX (SN3D,
// ACN order W Y Z X, W without the -3 dB) and back, A-format through "A-Format" output, and
// coincident A-format to FuMa, each the input delayed by the latency.
TEST(AbdecFormats, ConversionsFollowTheStandardDefinitions)
{
    const int n = 24000;
    const std::vector<float> s = noise(n, 3, 0.5f);
    const Signal fuma = fuma_wave(s, 30.0f, 20.0f), aformat = aformat_wave(s, 30.0f, 20.0f);
    Signal ambix = {fuma[0], fuma[2], fuma[3], fuma[1]};
    for (float& v : ambix[0]) v *= std::sqrt(2.0f);
    const struct
    {
        int input, menu;
        const Signal &in, &want;
        double tolerance; // relative RMS error
    } cases[] = {{1, kMenuFuma, fuma, fuma, 1e-6},
                 {1, kMenuAmbix, fuma, ambix, 1e-4},
                 {2, kMenuFuma, ambix, fuma, 1e-4},
                 {0, kMenuAformat, aformat, aformat, 1e-4},
                 {0, kMenuFuma, aformat, fuma, 0.01}};
    for (const auto& c : cases)
    {
        Decoder d(c.input, c.menu);
        ASSERT_EQ(d.build(), 0);
        const Signal got = d.run(c.in);
        const int lat = d.setup.latency;
        double err = 0, ref = 0;
        for (int ch = 0; ch < 4; ++ch)
            for (int i = lat + 4800; i < n; ++i)
            {
                const double e = got[ch][i] - c.want[ch][i - lat];
                err += e * e;
                ref += (double)c.want[ch][i - lat] * c.want[ch][i - lat];
            }
        EXPECT_LT(std::sqrt(err / ref), c.tolerance) << c.input << " to " << c.menu;
    }
}

TEST(AbdecBeams, IdsAndResponses)
{
    Decoder d(1, kMenu51Itu);
    ASSERT_EQ(d.build(), 0);
    ox_abdec_beamid ids[20];
    ASSERT_EQ(ox_abdec_beamids(d.h, &d.setup, &d.config, ids), 5);
    for (int k = 0; k < 5; ++k)
    {
        EXPECT_EQ(ids[k].beam, k);
        EXPECT_EQ(ids[k].elevation, 0);
    }
    EXPECT_EQ(ids[2].flags, 2);
    EXPECT_EQ(ids[0].focus, 150); // focus 50 % x 0.03

    Decoder cube(1, kMenuCube);
    ASSERT_EQ(cube.build(), 0);
    ASSERT_EQ(ox_abdec_beamids(cube.h, nullptr, nullptr, ids), 8);
    for (int k = 0; k < 8; ++k) EXPECT_NEAR(ids[k].elevation, k < 4 ? -35 : 35, 1) << k;
    for (int k = 4; k < 8; ++k) EXPECT_GE(ids[k].beam, 4); // the upper layer points up

    // Responses at angle 0 point along each beam: left speakers to negative y.
    Decoder s71(1, kMenu71Itu);
    ASSERT_EQ(s71.build(), 0);
    ox_abdec_beamresponse r[20];
    ASSERT_EQ(ox_abdec_beamresponses(s71.h, nullptr, nullptr, r, 0.0f), 7);
    const float want_az[7] = {-45, 45, 0, -135, 135, -150, 150};
    for (int k = 0; k < 7; ++k)
    {
        float az = std::atan2(r[k].y, r[k].x) * 180.0f / (float)M_PI;
        EXPECT_NEAR(az, want_az[k], 0.01f) << k;
        EXPECT_NEAR(std::hypot(r[k].x, r[k].y), 0.75f, 1e-5f); // 0 dB: scale 0.75
    }
    // Rotation turns every beam; a muted group shrinks to 0.01.
    s71.config.rotation = 90.0f;
    s71.config.front.gain = -30.0f;
    ASSERT_EQ(ox_abdec_updateconfig(s71.h, &s71.config), 0);
    ASSERT_EQ(ox_abdec_beamresponses(s71.h, nullptr, nullptr, r, 0.0f), 7);
    for (int k = 0; k < 7; ++k)
    {
        float az = std::atan2(r[k].y, r[k].x) * 180.0f / (float)M_PI;
        float want = std::remainder(want_az[k] + 90.0f, 360.0f);
        EXPECT_NEAR(std::remainder(az - want, 360.0f), 0.0f, 0.01f) << k;
    }
    EXPECT_NEAR(std::hypot(r[0].x, r[0].y), 0.01f, 1e-6f);
}

TEST(AbdecBeams, QueriesLeaveTheAudioUntouched)
{
    Decoder a(1, kMenu714Itu), b(1, kMenu714Itu);
    ASSERT_EQ(a.build(), 0);
    ASSERT_EQ(b.build(), 0);
    Signal in;
    for (int c = 0; c < 4; ++c) in.push_back(noise(480 * 40, 50 + c, 0.3f));
    Signal want = a.run(in);
    Signal got(12, std::vector<float>(in[0].size()));
    ox_abdec_beamid ids[20];
    ox_abdec_beamresponse r[20];
    for (size_t pos = 0; pos < in[0].size(); pos += 480)
    {
        EXPECT_EQ(ox_abdec_beamids(b.h, &b.setup, &b.config, ids), 11);
        EXPECT_EQ(ox_abdec_beamresponses(b.h, &b.setup, &b.config, r, (float)pos), 11);
        const float* ip[4];
        float* op[12];
        for (int c = 0; c < 4; ++c) ip[c] = in[c].data() + pos;
        for (int c = 0; c < 12; ++c) op[c] = got[c].data() + pos;
        ox_abdec_process_var(b.h, 480, ip, op);
    }
    for (int c = 0; c < 12; ++c) ASSERT_EQ(got[c], want[c]);
}
