// The band-gain interpolation of ox_perc_scalebands as a template, so that callers with other
// per-bin arithmetic (several spectra and gains in one pass) share the exact ramps: every gain
// source walks the same segments with the same additions. Internal to the library.
#ifndef OX_PERC_INTERNAL_H
#define OX_PERC_INTERNAL_H

#include <stdint.h>

namespace oxperc
{

// Bins k0 .. k1 - 1 of one ramp: the gain steps once per bin, then scales the bin. A gain source
// with its own ramp(out, in, k0, k1, g, step), which must take the same steps, runs that one
// instead (to scale several bins at a time).
template <class G, class V>
auto ramp(const G& gains, float* out, const float* in, int32_t k0, int32_t k1, V g, V step, int)
    -> decltype(gains.ramp(out, in, k0, k1, g, step), void())
{
    gains.ramp(out, in, k0, k1, g, step);
}

template <class G, class V>
void ramp(const G& gains, float* out, const float* in, int32_t k0, int32_t k1, V g, V step, long)
{
    for (int32_t k = k0; k < k1; ++k)
    {
        g = G::add(g, step);
        gains.apply(out, in, k, g);
    }
}

// A gain source G provides band_gain(j) (band j's gain, of value type V), static add(V, V) and
// slope(V a, V b, float w) = (b - a) * w, put_real(out, slot, x, V) for the two real values of
// pair 0, and apply(out, in, k, V) for complex bin k.
// Band gains interpolated linearly between band centres and applied bin by
// bin. Pair 0 holds two real values (DC and half rate): each takes only the
// real part of its band's gain, never a complex product.
template <class G>
void scale_bands(float* out, const float* in, const G& gains, int32_t nbands, const int32_t* edges,
                 const float* weights)
{
    const int32_t last = nbands - 1;
    const float dc = in[0], nyq = in[1];
    gains.put_real(out, 0, dc, gains.band_gain(0));

    int32_t cp; // centre of the previous band, in bins
    int32_t j;  // first band to ramp into
    if (edges[0] == 1)
    {
        // Leading run of one-bin bands: each bin takes its own band's gain.
        j = 1;
        while (j < nbands && edges[j] - edges[j - 1] == 1)
        {
            gains.apply(out, in, j, gains.band_gain(j));
            ++j;
        }
        cp = edges[j - 1];
    }
    else
    {
        cp = edges[0] / 2;
        const auto g0 = gains.band_gain(0);
        for (int32_t k = 1; k < cp; ++k) gains.apply(out, in, k, g0);
        j = 1;
    }

    for (; j < nbands; ++j)
    {
        const int32_t cj = (edges[j - 1] + edges[j]) / 2;
        if (cp >= cj) continue;
        auto g = gains.band_gain(j - 1);
        const auto step = G::slope(g, gains.band_gain(j), weights[j]);
        ramp(gains, out, in, cp, cj, g, step, 0);
        cp = cj;
    }

    const auto gl = gains.band_gain(last);
    for (int32_t k = cp < 1 ? 1 : cp; k < edges[last]; ++k) gains.apply(out, in, k, gl);
    gains.put_real(out, 1, nyq, gl);
}

} // namespace oxperc

#endif
