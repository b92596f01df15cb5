#include "abdec_test_util.h"

#include <algorithm>

#include "ox_test_util.h"

namespace oxtest
{

Signal Decoder::run(const Signal& in, const std::vector<int>& blocks, bool inplace)
{
    const size_t n = in.empty() ? 0 : in[0].size();
    const int nin = setup.num_inputs, nout = setup.num_outputs;
    const int nbuf = std::max(nin, nout);
    Signal out(nout, std::vector<float>(n, 0.0f));
    Signal work(nbuf, std::vector<float>(n, 0.0f));
    std::vector<const float*> ip(nin);
    std::vector<float*> op(nout);
    size_t pos = 0, bi = 0;
    while (pos < n)
    {
        size_t len = std::min<size_t>((size_t)blocks[bi++ % blocks.size()], n - pos);
        if (inplace)
        {
            for (int c = 0; c < nin; ++c)
                std::copy(in[c].begin() + pos, in[c].begin() + pos + len, work[c].begin() + pos);
            for (int c = 0; c < nin; ++c) ip[c] = work[c].data() + pos;
            for (int c = 0; c < nout; ++c) op[c] = work[c].data() + pos;
        }
        else
        {
            for (int c = 0; c < nin; ++c) ip[c] = in[c].data() + pos;
            for (int c = 0; c < nout; ++c) op[c] = out[c].data() + pos;
        }
        ox_abdec_process_var(h, (int)len, ip.data(), op.data());
        pos += len;
    }
    if (inplace)
        for (int c = 0; c < nout; ++c) out[c] = work[c];
    return out;
}

Signal fuma_wave(const std::vector<float>& s, float az, float el)
{
    const double a = az * M_PI / 180.0, e = el * M_PI / 180.0;
    const double g[4] = {std::sqrt(0.5), std::cos(a) * std::cos(e), std::sin(a) * std::cos(e),
                         std::sin(e)};
    Signal b(4, std::vector<float>(s.size()));
    for (int c = 0; c < 4; ++c)
        for (size_t i = 0; i < s.size(); ++i) b[c][i] = (float)(g[c] * s[i]);
    return b;
}

Signal aformat_wave(const std::vector<float>& s, float az, float el)
{
    const double a = az * M_PI / 180.0, e = el * M_PI / 180.0;
    const double d[3] = {std::cos(a) * std::cos(e), std::sin(a) * std::cos(e), std::sin(e)};
    static const double caps[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    Signal b(4, std::vector<float>(s.size()));
    for (int c = 0; c < 4; ++c)
    {
        double dot = (caps[c][0] * d[0] + caps[c][1] * d[1] + caps[c][2] * d[2]) / std::sqrt(3.0);
        double g = 0.5 + 0.5 * dot;
        for (size_t i = 0; i < s.size(); ++i) b[c][i] = (float)(g * s[i]);
    }
    return b;
}

Signal wave_input(int input, const std::vector<float>& s, float az, float el)
{
    return input == 0 ? aformat_wave(s, az, el) : fuma_wave(s, az, el);
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
    {
        double acc = 0;
        for (size_t i = from; i < ch.size(); ++i) acc += (double)ch[i] * ch[i];
        e.push_back(acc);
    }
    return e;
}

} // namespace oxtest
