#include "ox_perc.h"
#include "ox_perc_internal.h"

#include <math.h>

namespace
{

// One complex band gain.
struct Cplx
{
    float re, im;
};

// Gain sources: band_gain(j) is band j's gain, apply(out, in, k, g) scales
// bin k. One interpolation routine serves the real, complex and complex-eq
// variants.
struct RealGains
{
    const float* g;
    float band_gain(int32_t j) const { return g[j]; }
    static void put_real(float* out, int slot, float x, float v) { out[slot] = x * v; }
    static float add(float a, float b) { return a + b; }
    static float slope(float a, float b, float w) { return (b - a) * w; }
    static void apply(float* out, const float* in, int32_t k, float v)
    {
        out[2 * k] = in[2 * k] * v;
        out[2 * k + 1] = in[2 * k + 1] * v;
    }
};

struct CplxGains
{
    const float* g;
    const float* eq; // optional real factor per band
    Cplx band_gain(int32_t j) const
    {
        Cplx c = {g[2 * j], g[2 * j + 1]};
        if (eq)
        {
            c.re *= eq[j];
            c.im *= eq[j];
        }
        return c;
    }
    static void put_real(float* out, int slot, float x, Cplx v) { out[slot] = x * v.re; }
    static Cplx add(Cplx a, Cplx b) { return {a.re + b.re, a.im + b.im}; }
    static Cplx slope(Cplx a, Cplx b, float w) { return {(b.re - a.re) * w, (b.im - a.im) * w}; }
    static void apply(float* out, const float* in, int32_t k, Cplx v)
    {
        const float re = in[2 * k], im = in[2 * k + 1];
        out[2 * k] = re * v.re - im * v.im;
        out[2 * k + 1] = re * v.im + im * v.re;
    }
};

// Two spectra, each with its own real band gains, summed: out = a * ga + b * gb
// bin by bin (b is the second spectrum; `in` of scale_bands is a).
struct PairGains
{
    const float* ga;
    const float* gb;
    const float* b;
    struct V
    {
        float a, b;
    };
    V band_gain(int32_t j) const { return {ga[j], gb[j]}; }
    static V add(V x, V y) { return {x.a + y.a, x.b + y.b}; }
    static V slope(V x, V y, float w) { return {(y.a - x.a) * w, (y.b - x.b) * w}; }
    void put_real(float* out, int slot, float x, V v) const { out[slot] = x * v.a + b[slot] * v.b; }
    void apply(float* out, const float* in, int32_t k, V v) const
    {
        out[2 * k] = in[2 * k] * v.a + b[2 * k] * v.b;
        out[2 * k + 1] = in[2 * k + 1] * v.a + b[2 * k + 1] * v.b;
    }
};

bool scale_args_ok(const float* out, const float* in, const float* gains, int32_t nbands,
                   const int32_t* edges, const float* weights)
{
    return out && in && gains && edges && weights && nbands >= 1 && edges[0] >= 1;
}

} // namespace

extern "C" {

float ox_perc_freq2erb(float f)
{
    return 21.4f * log10f(0.00437f * f + 1.0f);
}

float ox_perc_erb2freq(float e)
{
    const float p = (float)pow(10.0, (double)(e / 21.4f));
    return (p - 1.0f) / 0.00437f;
}

int32_t ox_perc_makepercbands(int32_t n, int32_t maxbands, int32_t* nbands_out, int32_t* edges,
                              float* weights, int32_t minbins, float fs, float step, float flow)
{
    if (!nbands_out || !edges || !weights) return -3;
    // A sample rate or step that is not a positive number would never let a
    // band reach its target frequency.
    if (!isfinite(fs) || !(fs > 0.0f) || !isfinite(step) || !(step > 0.0f) || !isfinite(flow))
        return -3;

    float e = step;
    if (flow > 0.0f)
    {
        const float ef = ox_perc_freq2erb(flow);
        e = ef > step ? ef : step;
    }
    if (n <= 1)
    {
        *nbands_out = 0;
        return 0;
    }

    const int32_t half = n / 2;
    int32_t k = 0, b = 0, w = 0;
    while (b < half)
    {
        const float fe = ox_perc_erb2freq(e);
        int32_t d = 0;
        // Grow the band to its target frequency. Once it reaches N/2 it is
        // cut there anyway, so growing further would change nothing (and
        // would not end for a target beyond any bin).
        do
        {
            ++b;
            ++d;
        } while (b < half && !(d >= w && d >= minbins && (float)b * fs / (float)n >= fe));

        int32_t pass = d;
        if (flow > 0.0f && k == 0) pass = (int32_t)lroundf(ox_perc_erb2freq(step) / fs * (float)n);
        if (k >= maxbands) return -4;
        edges[k] = b < half ? b : half;
        w = pass;
        e += step;
        ++k;
    }
    *nbands_out = k;

    // Weights: reciprocal distance to the previous band's centre. A leading
    // run of one-bin bands has weight 1 and the run's end is the next band's
    // previous centre.
    int32_t j = 1, cp;
    weights[0] = 1.0f;
    if (edges[0] == 1)
    {
        while (j < k && edges[j] - edges[j - 1] == 1) weights[j++] = 1.0f;
        cp = edges[j - 1];
    }
    else
        cp = edges[0] / 2;
    for (; j < k; ++j)
    {
        const int32_t c = (edges[j - 1] + edges[j]) / 2;
        weights[j] = c > cp ? 1.0f / (float)(c - cp) : 1.0f;
        cp = c;
    }
    return 0;
}

int32_t ox_perc_freq2band(int32_t n, int32_t nbands, const int32_t* edges, float f, float fs)
{
    if (!edges || nbands < 1) return 0;
    const float p = (float)n * f / fs;
    for (int32_t j = 0; j < nbands - 1; ++j)
        if (p <= (float)edges[j]) return j;
    return p > (float)edges[nbands - 1] ? nbands : nbands - 1;
}

int32_t ox_perc_freq2bin(int32_t n, float f, float fs)
{
    const float p = f * (float)n / fs;
    if (!isfinite(p)) return 0;
    const float lim = 1073741824.0f;
    return (int32_t)lroundf(p > lim ? lim : (p < -lim ? -lim : p));
}

void ox_perc_parts2bins(float* binvalues, const float* bandvalues, int32_t nbands,
                        const int32_t* edges)
{
    if (!binvalues || !bandvalues || !edges || nbands < 1) return;
    int32_t b = 0;
    for (int32_t j = 0; j < nbands; ++j)
        for (; b < edges[j]; ++b) binvalues[b] = bandvalues[j];
    binvalues[b] = bandvalues[nbands - 1];
}

void ox_perc_scalebands(float* out, const float* in, const float* gains, int32_t nbands,
                        const int32_t* edges, const float* weights)
{
    if (scale_args_ok(out, in, gains, nbands, edges, weights))
        oxperc::scale_bands(out, in, RealGains{gains}, nbands, edges, weights);
}

void ox_perc_scalebands_pair(float* out, const float* a, const float* ga, const float* b,
                             const float* gb, int32_t nbands, const int32_t* edges,
                             const float* weights)
{
    if (b && gb && scale_args_ok(out, a, ga, nbands, edges, weights))
        oxperc::scale_bands(out, a, PairGains{ga, gb, b}, nbands, edges, weights);
}

void ox_perc_scalebands_cplx(float* out, const float* in, const float* gains, int32_t nbands,
                             const int32_t* edges, const float* weights)
{
    if (scale_args_ok(out, in, gains, nbands, edges, weights))
        oxperc::scale_bands(out, in, CplxGains{gains, nullptr}, nbands, edges, weights);
}

void ox_perc_scalebands_cplx_eq(float* out, const float* in, const float* gains, const float* eq,
                                int32_t nbands, const int32_t* edges, const float* weights)
{
    if (eq && scale_args_ok(out, in, gains, nbands, edges, weights))
        oxperc::scale_bands(out, in, CplxGains{gains, eq}, nbands, edges, weights);
}

void ox_perc_freqsmooth(float* x, int32_t n)
{
    if (!x || n < 3) return;
    // Every mean is taken from the values before the call: the two values
    // left of i are kept here before they are overwritten.
    float xm2 = 0.0f, xm1 = x[0];
    for (int32_t i = 0; i < n; ++i)
    {
        const float xi = x[i];
        float a;
        if (n == 3 && i == 1)
            a = (xm1 + x[2]) * 0.5f;
        else if (i == 0)
            a = (x[1] + x[2]) * 0.5f;
        else if (i == n - 1)
            a = (xm2 + xm1) * 0.5f;
        else if (i == 1)
            a = (xm1 + 2.0f * x[2] + x[3]) * 0.25f;
        else if (i == n - 2)
            a = (xm2 + 2.0f * xm1 + x[n - 1]) * 0.25f;
        else
            a = (xm2 + xm1 + x[i + 1] + x[i + 2]) * 0.25f;
        x[i] = a < xi ? a : xi;
        xm2 = xm1;
        xm1 = xi;
    }
}

void ox_perc_octave_smoothing(float* x, float* tmp, int32_t n, float width, float mode)
{
    if (!x || !tmp || n < 1 || !(width > 0.0f) || !isfinite(width)) return;
    if (mode != 0.0f && mode != 1.0f) return;
    const float hi = (float)pow(2.0, width * 0.5);
    const float lo = (float)pow(2.0, -width * 0.5);
    for (int32_t i = 0; i < n; ++i) tmp[i] = mode == 0.0f ? x[i] : x[i] * x[i];
    for (int32_t i = 0; i < n; ++i)
    {
        const float k = (float)(i + 1);
        const float from_f = lo * k, to_f = k * hi;
        const int32_t from = from_f > 0.0f ? (int32_t)from_f : 0;
        const int32_t to = to_f >= (float)n ? n : (int32_t)to_f;
        // A width too small to span a bin leaves the value as it is.
        if (to <= from) continue;
        float s = 0.0f;
        for (int32_t m = from; m < to; ++m) s += tmp[m];
        const float mean = s / (float)(to - from);
        x[i] = mode == 0.0f ? mean : sqrtf(mean);
    }
}

} // extern "C"
