// Band sums over packed half spectra and life-cycle helpers, shared by the
// analysis blocks (direction histogram, beam processing, decorrelation).
// Internal to the library: not exported.
//
// A packed spectrum of `specsize` complex bins keeps DC in the real part of
// pair 0 and the value at half the sample rate in its imaginary part. Band b
// covers the bins from edges[b - 1] (bin 1 for band 0) up to edges[b] - 1;
// band 0 also takes DC and the last band the half-rate value, each as a real
// number. Edges beyond the spectrum are clamped to it, so a band table that
// does not match the spectrum can never index outside it.
#ifndef OX_BANDSUM_H
#define OX_BANDSUM_H

#include <cmath>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

namespace oxband
{

// Bins [*lo, *hi) of band b (1 <= lo <= hi <= specsize).
inline void bins(int32_t b, const int32_t* edges, int32_t specsize, int32_t* lo, int32_t* hi)
{
    int32_t l = b == 0 ? 1 : edges[b - 1];
    int32_t h = edges[b];
    l = l < 1 ? 1 : (l > specsize ? specsize : l);
    h = h < l ? l : (h > specsize ? specsize : h);
    *lo = l;
    *hi = h;
}

// Sum over band b of a * conj(c): real part into *re, imaginary part into *im.
// DC (band 0) and the half-rate value (last band) add their real products to
// *re only.
inline void cross(const float* a, const float* c, int32_t b, int32_t nb, const int32_t* edges,
                  int32_t specsize, float* re, float* im)
{
    int32_t lo, hi;
    bins(b, edges, specsize, &lo, &hi);
    float sr = 0.0f, si = 0.0f;
    if (b == 0) sr += a[0] * c[0];
    if (b == nb - 1) sr += a[1] * c[1];
    for (int32_t k = lo; k < hi; ++k)
    {
        const float ar = a[2 * k], ai = a[2 * k + 1], cr = c[2 * k], ci = c[2 * k + 1];
        sr += ar * cr + ai * ci;
        si += ai * cr - ar * ci;
    }
    *re = sr;
    *im = si;
}

// Energy of band b: sum of |a|^2 over its bins.
inline float energy(const float* a, int32_t b, int32_t nb, const int32_t* edges, int32_t specsize)
{
    int32_t lo, hi;
    bins(b, edges, specsize, &lo, &hi);
    float s = 0.0f;
    if (b == 0) s += a[0] * a[0];
    if (b == nb - 1) s += a[1] * a[1];
    for (int32_t k = lo; k < hi; ++k) s += a[2 * k] * a[2 * k] + a[2 * k + 1] * a[2 * k + 1];
    return s;
}

// Frame length in ms turned into a smoothing factor min(1, frame_ms / time_ms).
// A time constant of 0 or below means "follow at once" (1); a non-finite one
// takes def_ms.
inline float factor(float frame_ms, float time_ms, float def_ms)
{
    if (!std::isfinite(time_ms)) time_ms = def_ms;
    if (time_ms <= frame_ms) return 1.0f;
    return frame_ms / time_ms;
}

// Size checks of an alloc call: -7 for a sample rate that is not above 0, -3
// for a size below 1, else 0.
inline int32_t check_alloc(float sample_rate, int32_t framesize, int32_t specsize,
                           int32_t num_bands)
{
    if (!(sample_rate > 0.0f)) return -7;
    if (framesize < 1 || specsize < 1 || num_bands < 1) return -3;
    return 0;
}

// Size checks of an init call: -7 outside 8000..192000 Hz (NaN included);
// -3 with a message on stderr for the first size below 1.
inline int32_t check_init(float sample_rate, int32_t framesize, int32_t specsize, int32_t num_bands)
{
    if (!(sample_rate >= 8000.0f && sample_rate <= 192000.0f)) return -7;
    const char* what = framesize < 1 ? "framesize" : specsize < 1 ? "specsize" : "npart";
    const int32_t value = framesize < 1 ? framesize : specsize < 1 ? specsize : num_bands;
    if (value >= 1) return 0;
    fprintf(stderr, "Invalid %s (%d)\n", what, value);
    return -3;
}

// Allocates `count` zeroed floats for each of the n pointers; false when any
// allocation fails (the caller then frees them all).
inline bool alloc_all(float** const* arrays, int n, size_t count)
{
    bool ok = true;
    for (int i = 0; i < n; ++i)
    {
        *arrays[i] = static_cast<float*>(calloc(count, sizeof(float)));
        ok = ok && *arrays[i];
    }
    return ok;
}

// Frees each of the n arrays and clears its pointer.
inline void free_all(float** const* arrays, int n)
{
    for (int i = 0; i < n; ++i)
    {
        free(*arrays[i]);
        *arrays[i] = nullptr;
    }
}

} // namespace oxband

#endif
