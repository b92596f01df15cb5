// Every input format to every output format, binaural off and on, at several sample rates: the
// decoder builds, runs noise, stays finite and frees everything (LeakSanitizer checks the last).
#include <gtest/gtest.h>

#include <cmath>

#include "abdec_test_util.h"
#include "ox_abdec.h"
#include "ox_test_util.h"

using namespace oxtest;

namespace
{

void run_case(int input, int output, float fs, int binaural, float seconds, int block)
{
    Decoder d(input, output, fs, binaural, block, input == 0 || input == 5 ? 24.0f : 0.0f);
    ASSERT_EQ(d.build(), 0) << input << " " << output << " " << fs << " " << binaural;
    ox_abdec_formatinfo info;
    ox_abdec_getformatinfo(&info, input, 0);
    EXPECT_EQ(d.setup.num_inputs, info.num_channels);
    const ox_abdec_speakerlayout* L = ox_abdec_getlayout(output);
    EXPECT_EQ(d.setup.num_outputs, binaural ? 2 : L->num_channels);
    EXPECT_EQ(d.setup.num_beams, L->num_speakers);
    const int n = (int)(fs * seconds);
    Signal in;
    for (int c = 0; c < d.setup.num_inputs; ++c) in.push_back(noise((size_t)n, 100 + c, 0.5f));
    Signal out = d.run(in);
    for (auto& ch : out)
        for (float v : ch)
            ASSERT_TRUE(std::isfinite(v)) << input << " " << output << " " << fs << " " << binaural;
}

} // namespace

void all_formats(float fs)
{
    for (int input = 0; input < 7; ++input)
        for (int output = 0; output < 30; ++output)
            for (int binaural : {0, 1}) run_case(input, output, fs, binaural, 0.1f, 480);
}

// One test per rate, so that CTest runs them side by side.
TEST(AbdecSweep, AllFormatsAt44k1)
{
    all_formats(44100.0f);
}
TEST(AbdecSweep, AllFormatsAt48k)
{
    all_formats(48000.0f);
}
TEST(AbdecSweep, AllFormatsAt96k)
{
    all_formats(96000.0f);
}

// At the ends of the rate range every block's rate-dependent design (bands, beams, filters,
// delays) still puts a source on the left into the left speaker.
TEST(AbdecSweep, RepresentativeFormatsAtTheExtremeRates)
{
    for (float fs : {11025.0f, 192000.0f})
        for (int input : {0, 1, 3, 5})
            for (int output : {kMenuStereo, kMenu714Itu, kMenuCubeCSB, kMenuHoa3, kMenuAformat})
                for (int binaural : {0, 1}) run_case(input, output, fs, binaural, 0.1f, 512);
    for (float fs : {11025.0f, 192000.0f})
        for (int input : {0, 1})
            for (int output : {kMenuStereo, kMenu714Itu})
            {
                Decoder d(input, output, fs);
                ASSERT_EQ(d.build(), 0);
                const std::vector<float> s = noise(size_t(fs / 5), 9, 0.25f);
                const std::vector<double> e = energies(
                    d.run(input == 0 ? aformat_wave(s, 60.0f, 0.0f) : fuma_wave(s, 60.0f, 0.0f)),
                    s.size() / 2);
                EXPECT_GT(e[0], 4.0 * e[1]) << fs << " " << input << " " << output;
            }
}
