// Small helpers shared by the decoder's blocks: band sums over packed half
// spectra, smoothing factors, argument checks and the allocation of the state
// arrays. Internal to the library (C++ only, not exported).
//
// A packed spectrum of `specsize` complex bins keeps DC in the real part of
// pair 0 and the value at half the sample rate in its imaginary part. Band b
// covers the bins from edges[b - 1] (bin 1 for band 0) up to edges[b] - 1;
// band 0 also takes DC and the last band the half-rate value, each as a real
// number.
#ifndef OX_BLOCKUTIL_H
#define OX_BLOCKUTIL_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <cmath>

#include "ox_vec_internal.h"

namespace oxblk
{

// ---- Values

// A smoothed statistic that has gone non-finite (a NaN or Inf input) would
// stay so for ever; it restarts from 0 instead.
inline float finite_or_zero(float x)
{
    return std::isfinite(x) ? x : 0.0f;
}

// fminf, fmaxf, ox_clampf and ox_clampd without the library calls, which cost
// far more than the comparisons in per-band loops. Same results: a NaN operand
// yields the other one; a non-finite x of a clamp yields def.
inline float fmin(float a, float b)
{
    return (a < b || b != b) ? a : b;
}

inline float fmax(float a, float b)
{
    return (a > b || b != b) ? a : b;
}

inline float clampf(float x, float lo, float hi, float def)
{
    if (!std::isfinite(x)) return def;
    return x < lo ? lo : (x > hi ? hi : x);
}

inline double clampd(double x, double lo, double hi, double def)
{
    if (!std::isfinite(x)) return def;
    return x < lo ? lo : (x > hi ? hi : x);
}

// pow(x, y) in double for a float x, without the library call for the usual
// exponents 1 and 2: x and x * x are exact there (x has 24 significant bits),
// so they equal what pow returns.
inline double pow_of_float(float x, double y)
{
    const double d = x;
    if (y == 1.0) return d;
    if (y == 2.0) return d * d;
    return std::pow(d, y);
}

// Length of one frame (hop) of a block's record in ms.
template <class Params> float frame_ms(const Params* p)
{
    return float(p->framesize) * 1000.0f / p->sample_rate;
}

// Smoothing factor per frame of a time constant: min(1, frame_ms / tc). A time
// constant of 0 or below means no smoothing (1); a non-finite one takes def_ms.
inline float smoothing_factor(float frame_ms, float tc_ms, float def_ms)
{
    if (!std::isfinite(tc_ms)) tc_ms = def_ms;
    if (!(tc_ms > 0.0f)) return 1.0f;
    const float f = frame_ms / tc_ms;
    return f < 1.0f ? f : 1.0f;
}

// ---- Four-float vectors (see ox_vec_internal.h).
using oxvec::load4;
using oxvec::store4;
using oxvec::v4f;

// ---- Band sums

// Bins [*lo, *hi) of band b (1 <= lo <= hi <= specsize). Edges beyond the
// spectrum are clamped to it, so a band table that does not match the
// spectrum can never index outside it.
inline void band_bins(int32_t b, const int32_t* edges, int32_t specsize, int32_t* lo, int32_t* hi)
{
    int32_t l = b == 0 ? 1 : edges[b - 1];
    int32_t h = edges[b];
    l = l < 1 ? 1 : (l > specsize ? specsize : l);
    h = h < l ? l : (h > specsize ? specsize : h);
    *lo = l;
    *hi = h;
}

// Band b's sums over N spectra s[0 .. N-1] in one pass: the energies
// e[c] = sum |s_c|^2 and the cross sums sum s_0 * conj(s_c) for c = 1 .. N-1
// (real part into xr[c - 1], imaginary part into xi[c - 1]). DC (band 0) and
// the half-rate value (last band) come first and add their real products to
// e and xr only. Every sum runs over the bins in ascending order; keeping the
// sums in one loop lets their additions overlap instead of each pass waiting
// on its own chain.
template <int N>
inline void band_sums(const float* const* s, int32_t b, int32_t nb, const int32_t* edges,
                      int32_t specsize, float* e, float* xr, float* xi)
{
    int32_t lo, hi;
    band_bins(b, edges, specsize, &lo, &hi);
    float E[N], R[N > 1 ? N - 1 : 1], I[N > 1 ? N - 1 : 1];
    for (int c = 0; c < N; ++c) E[c] = 0.0f;
    for (int c = 0; c + 1 < N; ++c) R[c] = I[c] = 0.0f;
    for (int h = 0; h < 2; ++h)
    {
        if (h == 0 ? b != 0 : b != nb - 1) continue;
        for (int c = 0; c < N; ++c) E[c] += s[c][h] * s[c][h];
        for (int c = 1; c < N; ++c) R[c - 1] += s[0][h] * s[c][h];
    }
    for (int32_t k = lo; k < hi; ++k)
    {
        const float ar = s[0][2 * k], ai = s[0][2 * k + 1];
        for (int c = 0; c < N; ++c)
            E[c] += s[c][2 * k] * s[c][2 * k] + s[c][2 * k + 1] * s[c][2 * k + 1];
        for (int c = 1; c < N; ++c)
        {
            const float cr = s[c][2 * k], ci = s[c][2 * k + 1];
            R[c - 1] += ar * cr + ai * ci;
            I[c - 1] += ai * cr - ar * ci;
        }
    }
    for (int c = 0; c < N; ++c) e[c] = E[c];
    for (int c = 0; c + 1 < N; ++c)
    {
        xr[c] = R[c];
        if (xi) xi[c] = I[c];
    }
}

// Four spectra of specsize complex bins rewritten in place by a real 4 x 4
// matrix: out_i = sum_j m[i][j] * in_j. Every float (real and imaginary parts,
// DC and Nyquist alike) is a real value here, so the loop runs over all of them.
inline void matrix4_inplace(float* const* s, const float m[4][4], int32_t specsize)
{
    float* s0 = s[0];
    float* s1 = s[1];
    float* s2 = s[2];
    float* s3 = s[3];
    const int32_t n = 2 * specsize;
    for (int32_t i = 0; i < n; ++i)
    {
        const float a0 = s0[i], a1 = s1[i], a2 = s2[i], a3 = s3[i];
        s0[i] = m[0][0] * a0 + m[0][1] * a1 + m[0][2] * a2 + m[0][3] * a3;
        s1[i] = m[1][0] * a0 + m[1][1] * a1 + m[1][2] * a2 + m[1][3] * a3;
        s2[i] = m[2][0] * a0 + m[2][1] * a1 + m[2][2] * a2 + m[2][3] * a3;
        s3[i] = m[3][0] * a0 + m[3][1] * a1 + m[3][2] * a2 + m[3][3] * a3;
    }
}

// ---- State arrays

// Frees every array named in slots and sets it to null.
inline void free_arrays(float** const* slots, int n)
{
    for (int i = 0; i < n; ++i)
    {
        free(*slots[i]);
        *slots[i] = nullptr;
    }
}

// Allocates zeroed float arrays: *slots[i] gets count_of(i) floats. Returns 0,
// or -2 after freeing all of them when one allocation fails.
template <class CountOf> int alloc_arrays_by(float** const* slots, int n, CountOf count_of)
{
    for (int i = 0; i < n; ++i) *slots[i] = nullptr;
    for (int i = 0; i < n; ++i)
    {
        *slots[i] = static_cast<float*>(calloc(count_of(i), sizeof(float)));
        if (!*slots[i])
        {
            free_arrays(slots, n);
            return -2;
        }
    }
    return 0;
}

// Each array with its own length.
inline int alloc_arrays(float** const* slots, const int32_t* counts, int n)
{
    return alloc_arrays_by(slots, n, [counts](int i) { return static_cast<size_t>(counts[i]); });
}

// Every array with the same length.
inline int alloc_arrays(float** const* slots, int n, size_t count)
{
    return alloc_arrays_by(slots, n, [count](int) { return count; });
}

// ---- Records and argument checks

// Stores the frame and band fields that the blocks' records share; every
// block sets its own channel counts.
template <class Params>
void store_header(Params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                  const int32_t* band_edges, float sample_rate)
{
    p->sample_rate = sample_rate;
    p->framesize = framesize;
    p->specsize = specsize;
    p->num_bands = num_bands;
    p->band_edges = band_edges;
}

// Argument checks of the blocks' alloc: -7 for a sample rate that is not
// positive, -3 for a size below 1 (a negative size must never reach calloc).
inline int check_alloc_args(int32_t framesize, int32_t specsize, int32_t num_bands,
                            float sample_rate)
{
    if (!(sample_rate > 0.0f)) return -7;
    if (framesize < 1 || specsize < 1 || num_bands < 1) return -3;
    return 0;
}

// The same, and -3 for sizes whose complex arrays (two floats per entry)
// cannot be counted in int32: for the blocks that keep such counts in int32.
inline int check_alloc_args_int32(int32_t framesize, int32_t specsize, int32_t num_bands,
                                  float sample_rate)
{
    const int rc = check_alloc_args(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    if (specsize > INT32_MAX / 2 || num_bands > INT32_MAX / 2) return -3;
    return 0;
}

// The start of the spectral blocks' alloc that own everything their records
// point to: null and size checks, then both records cleared (so that a failed
// allocation can free whatever is set) and the shared header stored.
template <class Params, class State>
int begin_alloc(Params* p, State* s, int32_t framesize, int32_t specsize, int32_t num_bands,
                const int32_t* band_edges, float sample_rate)
{
    if (!p || !s) return -3;
    const int rc = check_alloc_args(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    memset(p, 0, sizeof(*p));
    memset(s, 0, sizeof(*s));
    store_header(p, framesize, specsize, num_bands, band_edges, sample_rate);
    return 0;
}

// 1 when a block's init accepts the sample rate: 8000..192000 Hz (not NaN).
inline bool init_rate_ok(float sample_rate)
{
    return sample_rate >= 8000.0f && sample_rate <= 192000.0f;
}

// A size below 1 is reported on stderr as "Invalid <what> (<value>)" and
// gives -3; else 0.
inline int check_size(const char* what, int32_t value)
{
    if (value >= 1) return 0;
    fprintf(stderr, "Invalid %s (%d)\n", what, static_cast<int>(value));
    return -3;
}

// Size checks shared by the blocks' init: the message of the first size below
// 1 and -3, else 0.
inline int check_sizes(int32_t framesize, int32_t specsize, int32_t num_bands)
{
    int rc = check_size("framesize", framesize);
    if (!rc) rc = check_size("specsize", specsize);
    if (!rc) rc = check_size("npart", num_bands);
    return rc;
}

// Argument checks at the start of the blocks' init: -7 outside 8000..192000 Hz,
// then the size checks.
inline int check_init_sizes(int32_t framesize, int32_t specsize, int32_t num_bands,
                            float sample_rate)
{
    if (!init_rate_ok(sample_rate)) return -7;
    return check_sizes(framesize, specsize, num_bands);
}

// 1 when the band edges ascend strictly from at least 1 up to at most specsize,
// so every band sum stays inside the spectrum.
inline int valid_edges(const int32_t* edges, int32_t num_bands, int32_t specsize)
{
    if (!edges) return 0;
    int32_t prev = 0;
    for (int32_t b = 0; b < num_bands; ++b)
    {
        if (edges[b] <= prev || edges[b] > specsize) return 0;
        prev = edges[b];
    }
    return 1;
}

// Argument checks of the init of the blocks whose arrays were allocated for
// exactly one spectrum and band count: the checks of check_init_sizes, then
// -3 for sizes other than those the arrays were allocated with or for edges
// that would lead a band sum out of the spectrum.
template <class Params>
int check_init_args(const Params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                    const int32_t* band_edges, float sample_rate)
{
    const int rc = check_init_sizes(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    if (specsize != p->specsize || num_bands != p->num_bands ||
        !valid_edges(band_edges, num_bands, specsize))
        return -3;
    return 0;
}

} // namespace oxblk

#endif
