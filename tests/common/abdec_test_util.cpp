#include "abdec_test_util.h"

#include "ox_spatial_sim.h"

namespace oxtest
{

Signal Decoder::run(const Signal& in, const std::vector<int>& blocks, bool inplace,
                    const std::function<void(size_t)>& before)
{
    EXPECT_TRUE(h || build() == 0) << setup.input_format << " to " << setup.output_format;
    const size_t n = in.empty() ? 0 : in[0].size();
    // A decoder that failed to build gives silent channels, enough for any layout's checks.
    const int nin = h ? setup.num_inputs : 0, nout = h ? setup.num_outputs : 32;
    Signal out(nout, std::vector<float>(n, 0.0f)), work = in; // in place: work holds both
    work.resize(std::max<size_t>(work.size(), nout), std::vector<float>(n, 0.0f));
    std::vector<const float*> ip(nin);
    std::vector<float*> op(nout);
    Signal& dst = inplace ? work : out;
    for (size_t pos = 0, bi = 0, len; pos < n; pos += len)
    {
        len = std::min<size_t>((size_t)blocks[bi++ % blocks.size()], n - pos);
        for (int c = 0; c < nin; ++c) ip[c] = (inplace ? work[c] : in[c]).data() + pos;
        for (int c = 0; c < nout; ++c) op[c] = dst[c].data() + pos;
        if (before) before(pos);
        ox_abdec_process_var(h, (int)len, ip.data(), op.data());
    }
    if (inplace) std::copy(work.begin(), work.begin() + nout, out.begin());
    return out;
}

Signal noise_signal(int channels, size_t n, uint32_t seed, float amp)
{
    Signal x;
    for (int c = 0; c < channels; ++c) x.push_back(noise(n, seed + uint32_t(c), amp));
    return x;
}

Signal scaled(const std::vector<float>& s, const std::vector<double>& gains)
{
    Signal b(gains.size(), std::vector<float>(s.size()));
    for (size_t c = 0; c < gains.size(); ++c)
        for (size_t i = 0; i < s.size(); ++i) b[c][i] = (float)(gains[c] * s[i]);
    return b;
}

Signal fuma_wave(const std::vector<float>& s, float az, float el)
{
    double d[3];
    direction(az, el, d);
    return scaled(s, {std::sqrt(0.5), d[0], d[1], d[2]});
}

Signal wave_input(int input, const std::vector<float>& s, float az, float el)
{
    double d[3];
    direction(az, el, d);
    if (input == 1) return fuma_wave(s, az, el);
    if (input == 2) return scaled(s, {1.0, d[1], d[2], d[0]}); // AmbiX: SN3D, ACN order
    std::vector<double> g;
    if (input == 0 || input == 5) // cardioid capsules LF RF LB RB; A.1 adds an omni capsule
    {
        for (const auto& a : kCapsuleAxis)
            g.push_back(0.5 + 0.5 * (a[0] * d[0] + a[1] * d[1] + a[2] * d[2]) / std::sqrt(3.0));
        if (input == 5) g.push_back(1.0);
    }
    else // mid-side: MF and MR cardioids, S and Z eights of 0.7355 (x 1.9228 = FuMa at +3 dB)
        g = {0.5 + 0.5 * d[0], 0.7355 * d[1], 0.5 - 0.5 * d[0], 0.7355 * d[2]};
    if (input == 6) g.pop_back(); // double mid-side has no Z
    return scaled(s, g);
}

int group_of(int f)
{
    const bool up = (f & OX_SPK_UPPER) != 0;
    if (f & OX_SPK_CENTER) return 0;
    if (f & OX_SPK_FRONT) return up ? 2 : 1;
    if (f & OX_SPK_SURROUND) return up ? 4 : 3;
    return (f & OX_SPK_REAR) ? 5 : 6;
}

float& group_gain(ox_abdec_config& c, int group)
{
    float* gains[] = {&c.center.gain,   &c.front.gain,     &c.frontH.gain,
                      &c.surround.gain, &c.surroundH.gain, &c.rear.gain};
    return *gains[group];
}

int channel_of(const ox_abdec_speakerlayout* L, int k)
{
    for (int c = 0; c < L->num_channels; ++c)
        if (L->channel_map[c] == k) return c;
    return -1;
}

std::vector<double> energies(const Signal& x, size_t from)
{
    std::vector<double> e;
    for (const auto& ch : x)
        e.push_back(std::pow(rms_from(ch, from), 2) * double(ch.size() - from));
    return e;
}

bool all_finite(const Signal& x, size_t from)
{
    return std::all_of(x.begin(), x.end(), [&](const auto& ch) { return all_finite(ch, from); });
}

} // namespace oxtest
