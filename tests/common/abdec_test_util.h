// Driving a whole decoder in tests: build, run in host blocks, encode plane waves.
#ifndef ABDEC_TEST_UTIL_H
#define ABDEC_TEST_UTIL_H

#include "ox_abdec.h"
#include "ox_test_util.h"

namespace oxtest
{

// Output menu indices used by the tests.
constexpr int kMenuStereo = 1, kMenuQuadItu = 2, kMenu51Itu = 3, kMenu71Itu = 4, kMenu714Itu = 9,
              kMenuQuadFilm = 10, kMenu51Film = 11, kMenu71Film = 12, kMenu714Film = 17,
              kMenuCube = 18, kMenuCubeCSB = 21, kMenuHoa2 = 22, kMenuHoa3 = 23, kMenuFuma = 24,
              kMenuAmbix = 25, kMenuAformat = 26;

using Signal = std::vector<std::vector<float>>;

struct Decoder
{
    ox_abdec_setup setup{};
    ox_abdec_config config{};
    ox_abdec_handle h = nullptr;

    Decoder(int input, int output, float fs = 48000.0f, int binaural = 0, int block = 480,
            float spacing = 0.0f)
    {
        ox_abdec_defaultconfig(&setup, &config);
        setup.input_format = input;
        setup.output_format = output;
        setup.sample_rate = fs;
        setup.binaural = binaural;
        setup.block_size = block;
        setup.mic_spacing = spacing;
    }
    int build() { return ox_abdec_init(&h, &setup, &config); }
    ~Decoder() { ox_abdec_done(h); }

    // Runs the whole signal through in blocks of the given lengths (cycled), in place when asked,
    // building the decoder first if need be; `before` is called with each block's start.
    Signal run(const Signal& in, const std::vector<int>& blocks, bool inplace = false,
               const std::function<void(size_t)>& before = {});
    Signal run(const Signal& in) { return run(in, {setup.block_size}); }
};

// Channels of independent uniform noise, seeds seed, seed + 1, ...
Signal noise_signal(int channels, size_t n, uint32_t seed, float amp);

// The signal s scaled by each gain in turn, one channel a gain.
Signal scaled(const std::vector<float>& s, const std::vector<double>& gains);

// FuMa B-format (W at -3 dB) of s from az (degrees, left positive) and el (up positive).
Signal fuma_wave(const std::vector<float>& s, float az, float el);
// The plane wave as the decoder's input menu entry takes it, A-format from coincident capsules.
Signal wave_input(int input, const std::vector<float>& s, float az, float el);

// Energy of every channel from sample `from` on.
std::vector<double> energies(const Signal& x, size_t from = 0);
bool all_finite(const Signal& x, size_t from = 0);

// Output channel of the layout fed by speaker k, -1 if none.
int channel_of(const ox_abdec_speakerlayout* L, int k);

// Whether a menu entry is a loudspeaker layout (the ambisonic and first-order outputs are not).
inline bool has_speakers(int menu)
{
    return menu != kMenuHoa2 && menu != kMenuHoa3 && (menu < kMenuFuma || menu > kMenuAformat);
}

// Gain group of a speaker's flags: centre, front, front height, surround, surround height, rear;
// 6 for none. The group's gain word in a config.
int group_of(int flags);
float& group_gain(ox_abdec_config& c, int group);

} // namespace oxtest

#endif
