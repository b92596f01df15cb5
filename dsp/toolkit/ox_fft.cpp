#include "ox_fft.h"
#include "ox_vec_internal.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

namespace
{

// Largest FFT size accepted: keeps 5N/4 and every index well inside int32.
constexpr int32_t kMaxFftSize = 1 << 24;

bool is_pow2(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

// Radix-2 decimation-in-time stages over m = n/2 complex values held
// interleaved in z, already in bit-reversed order. The twiddle of index t is
// (twiddle[t], sign * twiddle[t + n/4]): sign = 1 gives e^(-2*pi*i*t/n) for the
// forward transform, sign = -1 its conjugate for the inverse. Plain scalar
// code for the small sizes that the vector passes below do not cover.
void radix2_stages(float* z, int32_t n, const float* twiddle, float sign)
{
    const int32_t m = n / 2;
    const int32_t q = n / 4;
    // First stage: butterflies of neighbours, no twiddle.
    for (int32_t k = 0; k < m; k += 2)
    {
        float* a = z + 2 * k;
        const float ar = a[0], ai = a[1], br = a[2], bi = a[3];
        a[0] = ar + br;
        a[1] = ai + bi;
        a[2] = ar - br;
        a[3] = ai - bi;
    }
    for (int32_t s = 2, stride = n / 4; s < m; s *= 2, stride /= 2)
    {
        for (int32_t g = 0; g < m; g += 2 * s)
        {
            float* a = z + 2 * g;
            float* b = a + 2 * s;
            for (int32_t j = 0; j < s; ++j)
            {
                const float wr = twiddle[j * stride];
                const float wi = sign * twiddle[j * stride + q];
                const float br = b[2 * j] * wr - b[2 * j + 1] * wi;
                const float bi = b[2 * j] * wi + b[2 * j + 1] * wr;
                const float ar = a[2 * j], ai = a[2 * j + 1];
                a[2 * j] = ar + br;
                a[2 * j + 1] = ai + bi;
                b[2 * j] = ar - br;
                b[2 * j + 1] = ai - bi;
            }
        }
    }
}

// Sizes from which the vector passes are used (they need m >= 16 values).
constexpr int32_t kVectorMinSize = 32;

// Four floats: two interleaved complex values.
using oxvec::load4;
using oxvec::store4;
using oxvec::v4f;

// Two complex values from two places, each moved as one 64-bit piece.
inline v4f pair2(const float* a, const float* b)
{
    typedef double v2d __attribute__((vector_size(16)));
    double da, db;
    memcpy(&da, a, sizeof da);
    memcpy(&db, b, sizeof db);
    const v2d v = {da, db};
    v4f r;
    memcpy(&r, &v, sizeof r);
    return r;
}

// (re, im) -> (im, re) in both halves.
inline v4f swap_ri(v4f v)
{
    return __builtin_shufflevector(v, v, 1, 0, 3, 2);
}

// Two twiddle factors broadcast for two complex values: re = (c0, c0, c1, c1),
// ims = (-s0, s0, -s1, s1), so that b * w = b * re + swap_ri(b) * ims.
struct Tw
{
    v4f re, ims;
};

inline v4f cmul(v4f b, const Tw& w)
{
    return b * w.re + swap_ri(b) * w.ims;
}

// Twiddles of table indices t and t + dt, conjugated when sign = -1. Index 0
// is exactly 1: the first value of each group is never rotated.
inline Tw twiddle_pair(const float* tw, int32_t q, int32_t t, int32_t dt, float sign)
{
    const float c0 = tw[t], c1 = tw[t + dt];
    const float s0 = t == 0 ? 0.0f : sign * tw[t + q];
    const float s1 = sign * tw[t + dt + q];
    return {v4f{c0, c0, c1, c1}, v4f{-s0, s0, -s1, s1}};
}

// The first two stages (spans 1 and 2) on one block of four values: p holds
// values 0 and 2, qv values 1 and 3. Their only twiddle is -i (forward) or +i
// (inverse), a swap and a sign, held in rot as (1, -1, 1, -1) or
// (-1, 1, -1, 1). Results 0, 1 go to lo and 2, 3 to hi.
inline void block4(v4f p, v4f qv, v4f rot, v4f& lo, v4f& hi)
{
    const v4f s = p + qv; // y0, y2
    const v4f d = p - qv; // y1, y3
    const v4f u = __builtin_shufflevector(s, d, 0, 1, 4, 5);
    const v4f v = __builtin_shufflevector(s, d, 2, 3, 6, 7);
    const v4f vr = __builtin_shufflevector(v, swap_ri(v) * rot, 0, 1, 6, 7);
    lo = u + vr;
    hi = u - vr;
}

// Two radix-2 stages of spans s and 2s done in registers. The second stage's
// twiddle for offsets j + s is the one for j times -i (+i for the inverse),
// applied as a swap and a sign. The final pass also applies the scale.
template <bool Last>
void radix4_pass(float* z, int32_t n, int32_t s, const float* tw, float sign, v4f rot, v4f scale)
{
    const int32_t m = n / 2, q = n / 4, stride = n / (4 * s);
    for (int32_t j = 0; j < s; j += 2)
    {
        const Tw wa = twiddle_pair(tw, q, 2 * j * stride, 2 * stride, sign);
        const Tw wb = twiddle_pair(tw, q, j * stride, stride, sign);
        for (int32_t g = j; g < m; g += 4 * s)
        {
            float* p = z + 2 * g;
            const v4f x0 = load4(p), x1 = load4(p + 2 * s), x2 = load4(p + 4 * s),
                      x3 = load4(p + 6 * s);
            const v4f t1 = cmul(x1, wa), t3 = cmul(x3, wa);
            const v4f y0 = x0 + t1, y1 = x0 - t1, y2 = x2 + t3, y3 = x2 - t3;
            const v4f u2 = cmul(y2, wb);
            const v4f u3 = swap_ri(cmul(y3, wb)) * rot;
            v4f z0 = y0 + u2, z2 = y0 - u2, z1 = y1 + u3, z3 = y1 - u3;
            if (Last)
            {
                z0 *= scale;
                z1 *= scale;
                z2 *= scale;
                z3 *= scale;
            }
            store4(p, z0);
            store4(p + 2 * s, z1);
            store4(p + 4 * s, z2);
            store4(p + 6 * s, z3);
        }
    }
}

// The complex FFT of m = n/2 values (n >= kVectorMinSize) into z, in natural
// order. load(k, p, qv) delivers the bit-reversed input values k .. k+3 as
// block4 takes them. The first pass does the stages of span 1, 2 and, when the
// number of stages is odd, 4 as well; radix-4 passes do the rest, the last
// one multiplying by scale.
template <class Load>
void complex_fft(float* z, int32_t n, const float* tw, float sign, float scale, Load load)
{
    const int32_t m = n / 2, q = n / 4;
    const v4f rot = sign > 0.0f ? v4f{1.0f, -1.0f, 1.0f, -1.0f} : v4f{-1.0f, 1.0f, -1.0f, 1.0f};
    int32_t stages = 0;
    for (int32_t s = 1; s < m; s *= 2) ++stages;
    int32_t s;
    if (stages & 1)
    {
        const Tw w01 = twiddle_pair(tw, q, 0, n / 8, sign);
        const Tw w23 = twiddle_pair(tw, q, n / 4, n / 8, sign);
        for (int32_t k = 0; k < m; k += 8)
        {
            v4f p, qv, a0, a1, b0, b1;
            load(k, p, qv);
            block4(p, qv, rot, a0, a1);
            load(k + 4, p, qv);
            block4(p, qv, rot, b0, b1);
            b0 = cmul(b0, w01);
            b1 = cmul(b1, w23);
            store4(z + 2 * k, a0 + b0);
            store4(z + 2 * k + 4, a1 + b1);
            store4(z + 2 * k + 8, a0 - b0);
            store4(z + 2 * k + 12, a1 - b1);
        }
        s = 8;
    }
    else
    {
        for (int32_t k = 0; k < m; k += 4)
        {
            v4f p, qv, lo, hi;
            load(k, p, qv);
            block4(p, qv, rot, lo, hi);
            store4(z + 2 * k, lo);
            store4(z + 2 * k + 4, hi);
        }
        s = 4;
    }
    const v4f sc = {scale, scale, scale, scale};
    for (; s < m; s *= 4)
    {
        if (s * 4 < m)
            radix4_pass<false>(z, n, s, tw, sign, rot, sc);
        else
            radix4_pass<true>(z, n, s, tw, sign, rot, sc);
    }
}

// Four split-pass lanes k0 .. k0+3 and their mirrors m-k0 .. m-k0-3 as
// separate real and imaginary vectors.
struct SplitLanes
{
    v4f ar, ai, br, bi;
};

inline SplitLanes load_lanes(const float* z, int32_t m, int32_t k0)
{
    const v4f a0 = load4(z + 2 * k0), a1 = load4(z + 2 * k0 + 4);
    const v4f b0 = load4(z + 2 * (m - k0 - 3)), b1 = load4(z + 2 * (m - k0 - 1));
    return {
        __builtin_shufflevector(a0, a1, 0, 2, 4, 6), __builtin_shufflevector(a0, a1, 1, 3, 5, 7),
        __builtin_shufflevector(b1, b0, 2, 0, 6, 4), __builtin_shufflevector(b1, b0, 3, 1, 7, 5)};
}

bool transform_args_ok(const float* in, const float* out, int32_t n, const float* twiddle,
                       const int32_t* bitrev)
{
    return in && out && twiddle && bitrev && n >= 4 && n <= kMaxFftSize && is_pow2(n);
}

// The short-time functions take the setup by value: refuse one that was never
// initialised rather than index through null tables.
bool setup_ready(const ox_fft_setup& fft)
{
    const ox_fft_frameparams fp = {fft.hop, fft.fftsize, fft.winlen};
    return fft.window && fft.twiddle && fft.bitrev && ox_fft_validframe(fp) &&
           fft.offset == (fft.fftsize - fft.winlen) / 2;
}

// dst[i] = src[i] * w(i), or += with Add, for i0 <= i < i1, w being the full
// window: the stored first half, then its mirror. One loop per half keeps the
// branch out of the sample loop.
template <bool Add>
void apply_window(float* dst, const float* src, const ox_fft_setup& fft, int32_t i0, int32_t i1)
{
    const int32_t half = fft.winlen / 2, last = fft.winlen - 1;
    const int32_t mid = half < i0 ? i0 : (half > i1 ? i1 : half);
    const float* win = fft.window;
    for (int32_t i = i0; i < mid; ++i)
    {
        const float v = src[i] * win[i];
        dst[i] = Add ? dst[i] + v : v;
    }
    for (int32_t i = mid; i < i1; ++i)
    {
        const float v = src[i] * win[last - i];
        dst[i] = Add ? dst[i] + v : v;
    }
}

} // namespace

extern "C" {

int32_t ox_fft_validframe(ox_fft_frameparams fp)
{
    const int32_t n = fp.fftsize, w = fp.window, h = fp.hop;
    if (n < 4 || n > kMaxFftSize || !is_pow2(n)) return 0;
    if (w < 2 || w > n || (w & 1) != 0) return 0;
    return (h >= 1 && h <= w) ? 1 : 0;
}

int32_t ox_fft_alloc(ox_fft_setup* fft, ox_fft_frameparams fp)
{
    if (!fft || !ox_fft_validframe(fp)) return -1;
    const size_t n = (size_t)fp.fftsize;
    fft->window = (float*)calloc((size_t)fp.window / 2, sizeof(float));
    fft->bitrev = (int32_t*)calloc(n, sizeof(int32_t));
    fft->twiddle = (float*)calloc(n * 5 / 4, sizeof(float));
    if (!fft->window || !fft->bitrev || !fft->twiddle)
    {
        ox_fft_release(fft);
        return -2;
    }
    return 0;
}

int32_t ox_fft_init(ox_fft_setup* fft, ox_fft_frameparams fp, int32_t makewindow)
{
    if (!fft || !ox_fft_validframe(fp)) return -1;
    if (!fft->twiddle || !fft->bitrev || (makewindow == 1 && !fft->window)) return -2;
    const int32_t n = fp.fftsize, w = fp.window, h = fp.hop;
    fft->hop = h;
    fft->fftsize = n;
    fft->winlen = w;
    fft->offset = (n - w) / 2;

    // One and a quarter periods of the cosine, in single precision, so the
    // negated sine of index t is read at t + N/4.
    for (int32_t i = 0; i < n / 4 * 5; ++i)
        fft->twiddle[i] = cosf((float)i * 6.2831855f / (float)n);

    int32_t bits = 0;
    while ((1 << bits) < n) ++bits;
    for (int32_t k = 0; k < n; ++k)
    {
        int32_t r = 0;
        for (int32_t b = 0; b < bits; ++b)
            if (k & (1 << b)) r |= 1 << (bits - 1 - b);
        fft->bitrev[k] = r;
    }

    if (makewindow == 1)
    {
        if (2 * h <= w)
        {
            // Sine window; the factor makes the squared windows of frames one
            // hop apart sum to one (it is 1 for W = 2H).
            const double g = sqrt(2.0 * h / w);
            for (int32_t i = 0; i < w / 2; ++i)
                fft->window[i] = (float)(sin((i + 0.5) * M_PI / w) * g);
        }
        else
        {
            // Overlap shorter than half the window: quarter-sine edges of
            // R = W - H samples and a flat top.
            const int32_t r = w - h;
            for (int32_t i = 0; i < w / 2; ++i)
                fft->window[i] = i < r ? (float)sin((i + 0.5) * (M_PI / 2) / r) : 1.0f;
        }
    }
    return 0;
}

void ox_fft_release(ox_fft_setup* fft)
{
    if (!fft) return;
    free(fft->window);
    free(fft->bitrev);
    free(fft->twiddle);
    fft->window = nullptr;
    fft->bitrev = nullptr;
    fft->twiddle = nullptr;
}

void ox_fft(const float* in, float* out, int32_t n, const float* twiddle, const int32_t* bitrev)
{
    if (!transform_args_ok(in, out, n, twiddle, bitrev)) return;
    const int32_t m = n / 2;
    const int32_t q = n / 4;

    // Even samples become real parts, odd samples imaginary parts, loaded in
    // bit-reversed order.
    if (n < kVectorMinSize)
    {
        for (int32_t k = 0; k < m; ++k)
        {
            out[2 * k] = in[bitrev[k]];
            out[2 * k + 1] = in[bitrev[k] + 1];
        }
        radix2_stages(out, n, twiddle, 1.0f);
    }
    else
    {
        complex_fft(out, n, twiddle, 1.0f, 1.0f, [in, bitrev](int32_t k, v4f& p, v4f& qv) {
            p = pair2(in + bitrev[k], in + bitrev[k + 2]);
            qv = pair2(in + bitrev[k + 1], in + bitrev[k + 3]);
        });
    }

    // Split the n/2-point complex result into the real spectrum: four bins
    // and their mirrors at a time, the rest one by one.
    const float z0r = out[0], z0i = out[1];
    out[0] = z0r + z0i;
    out[1] = z0r - z0i;
    out[2 * q + 1] = -out[2 * q + 1];
    int32_t k = 1;
    const v4f half = {0.5f, 0.5f, 0.5f, 0.5f};
    for (; k + 3 < q; k += 4)
    {
        const SplitLanes l = load_lanes(out, m, k);
        const v4f cw = load4(twiddle + k), sw = load4(twiddle + k + q);
        const v4f isum = l.ai + l.bi, idif = l.ai - l.bi, rsum = l.ar + l.br;
        const v4f p = cw * isum + sw * (l.ar - l.br);
        const v4f qq = sw * isum + cw * (l.br - l.ar);
        const v4f xr = (rsum + p) * half, xi = (idif + qq) * half;
        const v4f yr = (rsum - p) * half, yi = -(idif - qq) * half;
        store4(out + 2 * k, __builtin_shufflevector(xr, xi, 0, 4, 1, 5));
        store4(out + 2 * k + 4, __builtin_shufflevector(xr, xi, 2, 6, 3, 7));
        store4(out + 2 * (m - k - 1), __builtin_shufflevector(yr, yi, 1, 5, 0, 4));
        store4(out + 2 * (m - k - 3), __builtin_shufflevector(yr, yi, 3, 7, 2, 6));
    }
    for (; k < q; ++k)
    {
        const int32_t mk = m - k;
        const float cw = twiddle[k], sw = twiddle[k + q];
        const float ar = out[2 * k], ai = out[2 * k + 1];
        const float br = out[2 * mk], bi = out[2 * mk + 1];
        const float p = cw * (ai + bi) + sw * (ar - br);
        const float qq = sw * (ai + bi) + cw * (br - ar);
        out[2 * k] = (ar + br + p) * 0.5f;
        out[2 * k + 1] = (ai - bi + qq) * 0.5f;
        out[2 * mk] = (ar + br - p) * 0.5f;
        out[2 * mk + 1] = -(ai - bi - qq) * 0.5f;
    }
}

void ox_ifft(const float* in, float* out, int32_t n, const float* twiddle, const int32_t* bitrev)
{
    if (!transform_args_ok(in, out, n, twiddle, bitrev)) return;
    const int32_t m = n / 2;
    const int32_t q = n / 4;

    // Undo the split, writing each complex value straight to its bit-reversed
    // position so the stages below see their usual input order.
    out[0] = in[0] + in[1];
    out[1] = in[0] - in[1];
    out[bitrev[q]] = 2.0f * in[2 * q];
    out[bitrev[q] + 1] = -2.0f * in[2 * q + 1];
    int32_t k = 1;
    if (n >= kVectorMinSize)
    {
        for (; k + 3 < q; k += 4)
        {
            const SplitLanes l = load_lanes(in, m, k);
            const v4f cw = load4(twiddle + k), sw = load4(twiddle + k + q);
            const v4f isum = l.ai + l.bi, idif = l.ai - l.bi, rsum = l.ar + l.br,
                      rdif = l.ar - l.br;
            const v4f p = cw * isum - sw * rdif;
            const v4f qq = sw * isum + cw * rdif;
            const v4f xr = rsum - p, xi = idif + qq;
            const v4f yr = rsum + p, yi = qq - idif;
            const v4f x01 = __builtin_shufflevector(xr, xi, 0, 4, 1, 5);
            const v4f x23 = __builtin_shufflevector(xr, xi, 2, 6, 3, 7);
            const v4f y01 = __builtin_shufflevector(yr, yi, 0, 4, 1, 5);
            const v4f y23 = __builtin_shufflevector(yr, yi, 2, 6, 3, 7);
            memcpy(out + bitrev[k], &x01, 8);
            memcpy(out + bitrev[k + 1], (const float*)&x01 + 2, 8);
            memcpy(out + bitrev[k + 2], &x23, 8);
            memcpy(out + bitrev[k + 3], (const float*)&x23 + 2, 8);
            memcpy(out + bitrev[m - k], &y01, 8);
            memcpy(out + bitrev[m - k - 1], (const float*)&y01 + 2, 8);
            memcpy(out + bitrev[m - k - 2], &y23, 8);
            memcpy(out + bitrev[m - k - 3], (const float*)&y23 + 2, 8);
        }
    }
    for (; k < q; ++k)
    {
        const int32_t mk = m - k;
        const float cw = twiddle[k], sw = twiddle[k + q];
        const float ar = in[2 * k], ai = in[2 * k + 1];
        const float br = in[2 * mk], bi = in[2 * mk + 1];
        const float p = cw * (ai + bi) - sw * (ar - br);
        const float qq = sw * (ai + bi) + cw * (ar - br);
        float* ok = out + bitrev[k];
        float* om = out + bitrev[mk];
        ok[0] = ar + br - p;
        ok[1] = ai - bi + qq;
        om[0] = ar + br + p;
        om[1] = qq - (ai - bi);
    }

    const float scale = 1.0f / (float)n;
    if (n < kVectorMinSize)
    {
        radix2_stages(out, n, twiddle, -1.0f);
        for (int32_t i = 0; i < n; ++i) out[i] *= scale;
        return;
    }
    complex_fft(out, n, twiddle, -1.0f, scale, [out](int32_t j, v4f& p, v4f& qv) {
        const v4f a = load4(out + 2 * j), b = load4(out + 2 * j + 4);
        p = __builtin_shufflevector(a, b, 0, 1, 4, 5);
        qv = __builtin_shufflevector(a, b, 2, 3, 6, 7);
    });
}

void ox_stfft(const float* frame, float* spectrum, float* work, ox_fft_setup fft)
{
    if (!frame || !spectrum || !work || !setup_ready(fft)) return;
    const int32_t w = fft.winlen, off = fft.offset;
    memset(work, 0, sizeof(float) * (size_t)off);
    apply_window<false>(work + off, frame, fft, 0, w);
    memset(work + off + w, 0, sizeof(float) * (size_t)(fft.fftsize - off - w));
    ox_fft(work, spectrum, fft.fftsize, fft.twiddle, fft.bitrev);
}

void ox_istfft(const float* spectrum, float* olabuf, float* work, ox_fft_setup fft)
{
    if (!spectrum || !olabuf || !work || !setup_ready(fft)) return;
    const int32_t w = fft.winlen, off = fft.offset, tail = fft.winlen - fft.hop;
    ox_ifft(spectrum, work, fft.fftsize, fft.twiddle, fft.bitrev);
    apply_window<true>(olabuf, work + off, fft, 0, tail);
    apply_window<false>(olabuf, work + off, fft, tail, w);
}

} // extern "C"
