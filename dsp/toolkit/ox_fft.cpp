#include "ox_fft.h"

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
// forward transform, sign = -1 its conjugate for the inverse.
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

// Full window value w(i) for 0 <= i < W from its stored first half.
inline float window_at(const ox_fft_setup& fft, int32_t i)
{
    return i < fft.winlen / 2 ? fft.window[i] : fft.window[fft.winlen - 1 - i];
}

} // namespace

extern "C"
{

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
        for (int32_t k = 0; k < m; ++k)
        {
            out[2 * k] = in[bitrev[k]];
            out[2 * k + 1] = in[bitrev[k] + 1];
        }
        radix2_stages(out, n, twiddle, 1.0f);

        // Split the n/2-point complex result into the real spectrum.
        const float z0r = out[0], z0i = out[1];
        out[0] = z0r + z0i;
        out[1] = z0r - z0i;
        out[2 * q + 1] = -out[2 * q + 1];
        for (int32_t k = 1; k < q; ++k)
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

    void ox_ifft(const float* in, float* out, int32_t n, const float* twiddle,
                 const int32_t* bitrev)
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
        for (int32_t k = 1; k < q; ++k)
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
        radix2_stages(out, n, twiddle, -1.0f);

        const float scale = 1.0f / (float)n;
        for (int32_t i = 0; i < n; ++i) out[i] *= scale;
    }

    void ox_stfft(const float* frame, float* spectrum, float* work, ox_fft_setup fft)
    {
        if (!frame || !spectrum || !work || !setup_ready(fft)) return;
        const int32_t w = fft.winlen, off = fft.offset;
        memset(work, 0, sizeof(float) * (size_t)off);
        for (int32_t i = 0; i < w; ++i) work[off + i] = frame[i] * window_at(fft, i);
        memset(work + off + w, 0, sizeof(float) * (size_t)(fft.fftsize - off - w));
        ox_fft(work, spectrum, fft.fftsize, fft.twiddle, fft.bitrev);
    }

    void ox_istfft(const float* spectrum, float* olabuf, float* work, ox_fft_setup fft)
    {
        if (!spectrum || !olabuf || !work || !setup_ready(fft)) return;
        const int32_t w = fft.winlen, off = fft.offset, tail = fft.winlen - fft.hop;
        ox_ifft(spectrum, work, fft.fftsize, fft.twiddle, fft.bitrev);
        for (int32_t i = 0; i < tail; ++i) olabuf[i] += work[off + i] * window_at(fft, i);
        for (int32_t i = tail; i < w; ++i) olabuf[i] = work[off + i] * window_at(fft, i);
    }

} // extern "C"
