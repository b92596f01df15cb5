// Small helpers shared by the spectral blocks of the decoder (internal, C++ only).
#ifndef OX_BLOCKUTIL_H
#define OX_BLOCKUTIL_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "ox_util.h"

namespace oxblk
{

// First bin of band b: band 0 starts at bin 1 (bin 0 carries DC and Nyquist),
// every other band at the previous band's edge.
inline int32_t band_first_bin(const int32_t* edges, int32_t b)
{
    return b == 0 ? 1 : edges[b - 1];
}

// Smoothing factor per frame of a time constant: min(1, frame_ms / tc). A time
// constant of 0 or below means no smoothing (1); a non-finite one takes def_ms.
inline float smoothing_factor(float frame_ms, float tc_ms, float def_ms)
{
    if (!ox_isfinitef(tc_ms)) tc_ms = def_ms;
    if (!(tc_ms > 0.0f)) return 1.0f;
    const float f = frame_ms / tc_ms;
    return f < 1.0f ? f : 1.0f;
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

// Frees every array named in slots and sets it to null.
inline void free_arrays(float** const* slots, int n)
{
    for (int i = 0; i < n; ++i)
    {
        free(*slots[i]);
        *slots[i] = nullptr;
    }
}

// Allocates zeroed float arrays: *slots[i] gets counts[i] floats. Returns 0, or
// -2 after freeing all of them when one allocation fails.
inline int alloc_arrays(float** const* slots, const int32_t* counts, int n)
{
    for (int i = 0; i < n; ++i) *slots[i] = nullptr;
    for (int i = 0; i < n; ++i)
    {
        *slots[i] = static_cast<float*>(calloc(static_cast<size_t>(counts[i]), sizeof(float)));
        if (!*slots[i])
        {
            free_arrays(slots, n);
            return -2;
        }
    }
    return 0;
}

// Argument checks of the blocks' alloc: -7 for a sample rate that is not
// positive, -3 for a size below 1 (a negative size must never reach calloc) or
// one whose complex arrays (two floats per entry) cannot be counted in int32.
inline int check_alloc_args(int32_t framesize, int32_t specsize, int32_t num_bands,
                            float sample_rate)
{
    if (!(sample_rate > 0.0f)) return -7;
    if (framesize < 1 || specsize < 1 || num_bands < 1) return -3;
    if (specsize > INT32_MAX / 2 || num_bands > INT32_MAX / 2) return -3;
    return 0;
}

// Stores the frame and band header that the blocks' records share.
template <class Params>
void store_header(Params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                  const int32_t* band_edges, float sample_rate)
{
    p->num_outputs = 4;
    p->sample_rate = sample_rate;
    p->framesize = framesize;
    p->specsize = specsize;
    p->num_bands = num_bands;
    p->band_edges = band_edges;
}

// Size checks shared by the blocks' init: prints the message of the first size
// below 1 and returns -3, else 0.
inline int check_sizes(int32_t framesize, int32_t specsize, int32_t num_bands)
{
    if (framesize < 1)
    {
        fprintf(stderr, "Invalid framesize (%d)\n", framesize);
        return -3;
    }
    if (specsize < 1)
    {
        fprintf(stderr, "Invalid specsize (%d)\n", specsize);
        return -3;
    }
    if (num_bands < 1)
    {
        fprintf(stderr, "Invalid npart (%d)\n", num_bands);
        return -3;
    }
    return 0;
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

// Argument checks of the blocks' init, after alloc filled p: -7 outside
// 8000..192000 Hz; -3 for a size below 1 (with its message), for sizes other
// than those the arrays were allocated with, or for edges that would lead a
// band sum out of the spectrum.
template <class Params>
int check_init_args(const Params* p, int32_t framesize, int32_t specsize, int32_t num_bands,
                    const int32_t* band_edges, float sample_rate)
{
    if (!(sample_rate >= 8000.0f && sample_rate <= 192000.0f)) return -7;
    const int rc = check_sizes(framesize, specsize, num_bands);
    if (rc) return rc;
    if (specsize != p->specsize || num_bands != p->num_bands ||
        !valid_edges(band_edges, num_bands, specsize))
        return -3;
    return 0;
}

} // namespace oxblk

#endif
