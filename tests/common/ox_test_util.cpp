#include "ox_test_util.h"

#include <random>

namespace oxtest
{

std::vector<float> noise(size_t n, uint32_t seed, float amp)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> d(-amp, amp);
    std::vector<float> v(n);
    for (auto& x : v) x = d(rng);
    return v;
}

std::vector<float> gauss(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<float> d(0.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& x : v) x = d(rng);
    return v;
}

std::vector<std::complex<double>> naive_dft(const std::vector<double>& x)
{
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n / 2 + 1);
    for (size_t k = 0; k <= n / 2; ++k)
    {
        std::complex<double> acc(0.0, 0.0);
        for (size_t i = 0; i < n; ++i)
        {
            // Reduce k·i modulo n first so the phase stays exact for large n.
            const double ph = -2.0 * M_PI * double((k * i) % n) / double(n);
            acc += x[i] * std::complex<double>(std::cos(ph), std::sin(ph));
        }
        out[k] = acc;
    }
    return out;
}

std::complex<double> dft_at(const std::vector<float>& x, double f, double fs)
{
    std::complex<double> acc(0.0, 0.0);
    for (size_t i = 0; i < x.size(); ++i)
        acc += double(x[i]) * std::polar(1.0, -2.0 * M_PI * f * double(i) / fs);
    return acc;
}

int xcorr_lag(const std::vector<float>& x, const std::vector<float>& y, int max_lag, size_t from)
{
    int best = 0;
    double best_v = -1e300;
    const int lo = std::max(int(from), max_lag);
    for (int lag = -max_lag; lag <= max_lag; ++lag)
    {
        double acc = 0.0;
        for (int i = lo; i + max_lag < (int)x.size(); ++i) acc += (double)x[i] * y[i + lag];
        if (acc > best_v) best_v = acc, best = lag;
    }
    return best;
}

double db(double x)
{
    return x == 0.0 ? -400.0 : 20.0 * std::log10(std::fabs(x));
}

double rms(const float* x, size_t n)
{
    double s = 0.0;
    for (size_t i = 0; i < n; ++i) s += double(x[i]) * x[i];
    return n ? std::sqrt(s / double(n)) : 0.0;
}

std::vector<float> sine(size_t n, double f, double fs, float amp)
{
    std::vector<float> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = amp * (float)std::sin(2 * M_PI * f * double(i) / fs);
    return s;
}

double rms_from(const std::vector<float>& x, size_t from)
{
    return rms(x.data() + from, x.size() - from);
}

int peak_at(const std::vector<float>& x)
{
    auto it = std::max_element(x.begin(), x.end(),
                               [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    return (int)(it - x.begin());
}

float peak(const std::vector<float>& x)
{
    return x.empty() ? 0.0f : std::fabs(x[size_t(peak_at(x))]);
}

std::vector<float> impulse(size_t n)
{
    std::vector<float> x(n, 0.0f);
    x[0] = 1.0f;
    return x;
}

bool all_finite(const std::vector<float>& x, size_t from)
{
    return std::all_of(x.begin() + long(std::min(from, x.size())), x.end(),
                       [](float v) { return std::isfinite(v); });
}

} // namespace oxtest
