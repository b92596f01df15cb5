// Decoder levels and robustness: LFE, cross-over, binaural cues, fuzz, threads, allocation.
#include "abdec_test_util.h"

#include <atomic>
#include <random>
#include <thread>

using namespace oxtest;

// RMS of every 5.1 output (second half) for a frontal 0.5 FuMa sine under the configuration c.
static std::vector<double> levels_51(double f, const ox_abdec_config& c)
{
    const size_t n = 48000 / 2;
    Decoder d(1, kMenu51Itu);
    d.config = c;
    std::vector<double> r;
    for (const auto& ch : d.run(fuma_wave(sine(n, f, 48000, 0.5f), 0.0f, 0.0f)))
        r.push_back(rms_from(ch, n / 2));
    return r;
}

// The beam gain scales the speakers' beams; LFE silent without the spectral option, else W
// low-passed at its cut-off (120 Hz by default); the cross-over's low band is W on the main pair
// alone, at its gain.
TEST(AbdecLevels, BeamGainLfeAndCrossOver)
{
    ox_abdec_config c = Decoder(1, kMenu51Itu).config; // the defaults
    ox_abdec_config quieter = c;
    quieter.beam_gain = -6.0f;
    EXPECT_NEAR(db(levels_51(1000.0, quieter)[2]) - db(levels_51(1000.0, c)[2]), -6.0, 0.05);
    EXPECT_EQ(levels_51(60.0, c)[3], 0.0);
    c.spectral_option = 1.0f;
    const double l60 = levels_51(60.0, c)[3];
    EXPECT_NEAR(db(l60), db(0.25), 1.0);
    EXPECT_NEAR(db(levels_51(240.0, c)[3]) - db(l60), -12.3, 1.5); // an octave above the cut-off
    c.lfe_freq = 1000.0f;
    EXPECT_NEAR(db(levels_51(480.0, c)[3]), db(0.25), 1.0);
    c.xover_on = 1;
    c.xover_freq = 200.0f;
    const std::vector<double> low = levels_51(25.0, c);
    c.xover_gain = -40.0f;
    const std::vector<double> cut = levels_51(25.0, c);
    EXPECT_NEAR(db(low[0]), db(0.25), 1.5);
    EXPECT_LT(db(cut[0]) - db(low[0]), -35.0);
    EXPECT_LT(db(std::max(low[4], cut[4])) - db(low[0]), -30.0);
}

// Each word of the controls, beam equalisers, binaural renderer and dynamics, moved alone from its
// default (a switch turned off), changes the 7.1.4 or binaural decode of two sources in a diffuse
// field; words the design leaves idle (beam equaliser flags and level but the last's) are left out.
TEST(AbdecLevels, EveryControlWordReachesTheOutput)
{
    const size_t n = 48000 / 4;
    Signal in = noise_signal(4, n, 50, 0.05f);
    for (const Signal& direct :
         {fuma_wave(noise(n, 3, 0.3f), 30.0f, 10.0f), fuma_wave(noise(n, 4, 0.3f), -140.0f, 25.0f)})
        for (int c = 0; c < 4; ++c)
            for (size_t i = 0; i < n; ++i) in[c][i] += direct[c][i];
    // Loudspeakers with the LFE, cross-over, back equaliser and limiter on; or binaural with the
    // beam equalisers and the compressor on.
    auto decode = [&](bool binaural, size_t offset, float value, bool integer) {
        Decoder d(1, kMenu714Itu, 48000, binaural);
        d.config.spectral_option = 1.0f;
        d.config.xover_on = d.config.back_del_sh = d.config.limiter_on = !binaural;
        d.config.extra_on = d.config.compressor_on = binaural;
        d.config.extra_gain[0] = binaural ? -12.0f : 0.0f; // a beam equaliser that does something
        auto* w = reinterpret_cast<ox_abdec_word*>(reinterpret_cast<char*>(&d.config) + offset);
        integer ? (void)(w->i = (int32_t)value) : (void)(w->f = value);
        return d.run(in);
    };
#define W(field) offsetof(ox_abdec_config, field)
#define X(word) (W(expert) + 4 * ((word)-142)) // expert words
    // Per output, each word, its new value and whether that is an integer; expert 156 is the pair
    // focus, 158..164 the binaural renderer's.
    using Words = std::vector<std::tuple<size_t, float, int>>;
    // clang-format off
    const Words speakers = {
        {W(rotation), 40, 0},         {W(elevation), 20, 0},        {W(center.focus), 90, 0},
        {W(front.focus), 90, 0},      {W(surround.focus), 90, 0},   {W(rear.focus), 90, 0},
        {W(frontH.focus), 90, 0},     {W(surroundH.focus), 90, 0},  {W(front.angle), 60, 0},
        {W(surround.angle), 150, 0},  {W(rear.angle), 100, 0},      {W(frontH.angle), 20, 0},
        {W(surroundH.angle), 160, 0}, {W(diffgain), 4, 0},          {W(diffdecorr), 90, 0},
        {W(center.gain), -6, 0},      {W(front.gain), -6, 0},       {W(surround.gain), -6, 0},
        {W(rear.gain), -6, 0},        {W(frontH.gain), -6, 0},      {W(surroundH.gain), -6, 0},
        {W(lfe_gain), -6, 0},         {W(back_del_sh), 0, 1},       {W(back_delay), 40, 0},
        {W(back_HS_freq), 3, 0},      {W(back_HS_gain), -12, 0},    {W(xover_on), 0, 1},
        {W(xover_gain), -6, 0},       {W(xover_freq), 150, 0},      {W(xover_order), 0, 1},
        {W(xover_inv), 1, 1},         {W(limiter_ceiling), -20, 0}, {X(156), 1, 1},
    };
    const Words headphones = {
        {W(input_gain), 6, 0},             {W(extra_gain), 0, 0},     {W(compressor_gain), 6, 0},
        {W(compressor_threshold), -20, 0}, {W(extra_on), 0, 1},       {W(extra_azimuth), 90, 0},
        {W(extra_elevation), 40, 0},       {W(extra_focus), 90, 0},   {W(extra_pattern), 1, 0},
        {W(extra_gain2), 6, 0},            {W(extra_eq) + 20, 12, 0}, {W(extra_flag_b) + 16, 1, 1},
        {X(158), 0, 1},                    {X(159), 0.3, 0},          {X(160), 0, 1},
        {X(161), 0, 0},                    {X(162), 300, 0},          {X(163), -6, 0},
        {X(164), 6000, 0},
    };
    // clang-format on
    const Signal base[2] = {decode(0, W(rotation), 0.0f, false), // the default rotation
                            decode(1, W(rotation), 0.0f, false)};
#undef W
#undef X
    for (int bin : {0, 1})
        for (const auto& [offset, value, integer] : bin ? headphones : speakers)
        {
            const Signal moved = decode(bin, offset, value, integer);
            const Signal& was = base[bin];
            double most = 0.0; // largest change of a channel, relative to its energy
            for (size_t c = 0; c < was.size(); ++c)
            {
                double change = 0.0, energy = 1e-30;
                for (size_t i = n / 2; i < n; ++i)
                    change += std::pow(moved[c][i] - was[c][i], 2),
                        energy += std::pow(was[c][i], 2);
                most = std::max(most, change / energy);
            }
            EXPECT_GT(most, 1e-5) << "word " << offset / 4; // each moves one by -47 dB or more
        }
}

TEST(AbdecLevels, BinauralLeftSourceIsLouderAndEarlierLeft)
{
    const int n = 48000 / 2;
    Decoder d(1, kMenu71Itu, 48000, 1);
    Signal out = d.run(fuma_wave(noise(n, 9, 0.1f), 90.0f, 0.0f));
    // Energy above 2 kHz: first difference as a crude high-pass.
    for (auto& ch : out) std::adjacent_difference(ch.begin(), ch.end(), ch.begin());
    const auto e = energies(out, n / 2);
    EXPECT_GT(10 * std::log10(e[0] / e[1]), 3.0);
    EXPECT_GT(xcorr_lag(out[0], out[1], 60, n / 2), 0); // the right ear hears it later
}

// Silence gives exact zeros whatever the options, until the channel test is asked for: then
// channel 0 in the first second, channel 1 in the second, then silence.
TEST(AbdecLevels, SilenceAndChannelTest)
{
    for (int bin : {1, 0})
    {
        Decoder d(0, kMenu714Itu, 48000, bin);
        d.config.spectral_option = 1.0f;
        d.config.xover_on = 1;
        for (const auto& ch : d.run(Signal(4, std::vector<float>(48000 / 2))))
            EXPECT_EQ(peak(ch), 0);
        if (bin) continue;
        ox_abdec_channel_test(d.h);
        const Signal out = d.run(Signal(4, std::vector<float>(48000 * 5 / 2)));
        EXPECT_GT(rms(out[0].data(), 24000), 0.01);
        EXPECT_EQ(rms(out[1].data(), 24000), 0.0);
        EXPECT_GT(rms(out[1].data() + 50000, 24000), 0.01);
        EXPECT_EQ(rms_from(out[0], 50000) + rms_from(out[1], 100000), 0.0);
    }
}

TEST(AbdecRobustness, ParameterFuzzStaysFiniteAndClipped)
{
    std::mt19937 rng(11);
    const float specials[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, 0.0f, -1.0f, 1.0f};
    for (int output : {kMenu714Itu, kMenuHoa2, kMenuStereo})
        for (int binaural : {0, 1})
        {
            Decoder d(0, output, 48000, binaural, 480, 24.0f);
            ASSERT_EQ(d.build(), 0);
            Signal in = noise_signal(4, 480 * 30, 40, 4.0f);
            for (int round = 0; round < 12; ++round)
            {
                // Scramble every word with extremes and NaN; every other round the limiter on.
                ox_abdec_word* w = reinterpret_cast<ox_abdec_word*>(&d.config);
                for (int i = 0; i < 184; ++i)
                    if (rng() % 3 == 0)
                        w[i].f = specials[rng() % 8];
                    else if (rng() % 2)
                        w[i].i = (int32_t)(rng() % 3);
                if (round % 2 == 0) d.config.limiter_on = 1, d.config.compressor_on = 0;
                ASSERT_EQ(ox_abdec_updateconfig(d.h, &d.config), 0);
                const Signal out = d.run(in, {333, 480, 17});
                // The first hop still comes from frames run before this update.
                ASSERT_TRUE(all_finite(out, 480)) << output << " round " << round;
                for (const auto& ch : out)
                    ASSERT_TRUE(round % 2 || peak({ch.begin() + 480, ch.end()}) <= 1.0f) << round;
            }
            // A NaN input sample does not poison the decoder for good.
            in[1][100] = NAN;
            in[2][200] = INFINITY;
            ox_abdec_defaultconfig(nullptr, &d.config);
            ASSERT_EQ(ox_abdec_updateconfig(d.h, &d.config), 0);
            EXPECT_TRUE(all_finite(d.run(in))) << output << " " << binaural;
        }
}

// Allocations made while the calling thread counts them; only AddressSanitizer's hooks count.
static std::atomic<long> g_allocs{0};
static thread_local bool t_counted = false;
#if defined(__SANITIZE_ADDRESS__)
// The hooks are declared here: not every compiler ships the sanitizer's header.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
extern "C" void __sanitizer_print_stack_trace();
[[maybe_unused]] static const int g_hooked = __sanitizer_install_malloc_and_free_hooks(
    [](const volatile void*, size_t) {
        if (t_counted && g_allocs++ == 0) __sanitizer_print_stack_trace();
    },
    [](const volatile void*) {});
#endif

TEST(AbdecRobustness, UpdatesFromAnotherThreadWhileProcessing)
{
    Decoder d(0, kMenu714Itu, 48000, 0, 256, 24.0f);
    ASSERT_EQ(d.build(), 0);
    const Signal in = noise_signal(4, 48000, 70, 0.5f);
    std::atomic<bool> stop{false};
    std::thread updater([&] {
        ox_abdec_config c = d.config;
        ox_abdec_beamid ids[20];
        ox_abdec_beamresponse r[20];
        for (int k = 0; !stop.load(); ++k)
        {
            c.rotation = (float)(k % 360 - 180);
            c.xover_on = k & 1;
            c.back_del_sh = (k >> 1) & 1;
            c.back_delay = (float)(k % 100);
            c.spectral_option = (float)((k >> 2) & 1);
            t_counted = true; // updates and queries allocate nothing either
            ox_abdec_updateconfig(d.h, &c);
            if (k % 7 == 0) ox_abdec_channel_test(d.h);
            ox_abdec_beamids(d.h, nullptr, nullptr, ids);
            ox_abdec_beamresponses(d.h, nullptr, nullptr, r, (float)(k % 361));
            t_counted = false;
            std::this_thread::yield();
        }
    });
    // The block loop allocates nothing: counting starts at the first block.
    const Signal out = d.run(in, {256}, false, [](size_t) { t_counted = true; });
    t_counted = false;
    EXPECT_EQ(g_allocs.load(), 0);
    stop = true;
    updater.join();
    EXPECT_TRUE(all_finite(out));
}
