// Real FFT of power-of-two size and the short-time FFT built on it.
//
// Spectra use the packed half-spectrum format: for FFT size N, N/2 complex
// values as interleaved (re, im) float pairs, N floats in all. Pair 0 holds the
// DC value in its real part and the value at half the sample rate (bin N/2) in
// its imaginary part; pair k (1 <= k < N/2) holds bin k. Pair 0 is two real
// numbers, not one complex value: never multiply it as a complex number.
// The forward transform is unscaled, the inverse scales by 1/N.
#ifndef OX_FFT_H
#define OX_FFT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Frame parameters, in samples: hop H, FFT size N (a power of two, 4..2^24)
// and analysis window length W (even, H <= W <= N).
typedef struct ox_fft_frameparams
{
    int32_t hop;
    int32_t fftsize;
    int32_t window;
} ox_fft_frameparams;

// FFT state: sizes and the tables computed once by ox_fft_init.
typedef struct ox_fft_setup
{
    int32_t hop;     // H
    int32_t fftsize; // N
    int32_t winlen;  // W
    int32_t offset;  // (N - W) / 2: zeros placed before the windowed frame
    float* window;   // W/2 floats: first half of the window (second half is its mirror)
    int32_t* bitrev; // N ints: bit-reversal table
    float* twiddle;  // 5N/4 floats: cos(2*pi*i/N); twiddle[i + N/4] = -sin(2*pi*i/N)
} ox_fft_setup;

// 1 when the frame parameters are usable: N a power of two in 4..2^24,
// W even with 2 <= W <= N, 1 <= H <= W. Otherwise 0.
int32_t ox_fft_validframe(ox_fft_frameparams fp);

// Allocates the zeroed tables for these frame parameters (does not store the
// sizes). fft must be zeroed or released: tables it holds are not freed here.
// Returns 0; -1 for a null fft or invalid frame parameters; -2 when an
// allocation fails (all tables then freed and null).
int32_t ox_fft_alloc(ox_fft_setup* fft, ox_fft_frameparams fp);

// Stores H, N, W and the offset, fills the twiddle and bit-reversal tables and,
// when makewindow is 1, the window. The tables must come from ox_fft_alloc with
// the same frame parameters. Returns 0; -1 for a null fft or invalid frame
// parameters; -2 when the tables are missing. Nothing is changed on failure.
int32_t ox_fft_init(ox_fft_setup* fft, ox_fft_frameparams fp, int32_t makewindow);

// Frees the three tables and sets their pointers to null (null fft ignored).
void ox_fft_release(ox_fft_setup* fft);

// Real forward FFT: n floats `in` into n/2 packed complex values `out`
// (n floats). `in` is only read and must not overlap `out`. twiddle and bitrev
// are the tables of an FFT of size n. Does nothing for null pointers or an n
// that is not a power of two of at least 4.
void ox_fft(const float* in, float* out, int32_t n, const float* twiddle, const int32_t* bitrev);

// Inverse of ox_fft: n/2 packed complex values `in` (only read, must not
// overlap `out`) into n real floats `out`, scaled by 1/n. Same checks as ox_fft.
void ox_ifft(const float* in, float* out, int32_t n, const float* twiddle, const int32_t* bitrev);

// Analysis of one frame: `frame` holds the newest W input samples; they are
// windowed, centred in a zero-padded buffer of N and transformed into
// `spectrum` (N floats, packed). `work` is scratch of N floats.
void ox_stfft(const float* frame, float* spectrum, float* work, ox_fft_setup fft);

// Synthesis of one frame: inverse transform of `spectrum` (N floats, packed),
// windowed and overlap-added onto `olabuf` (W floats): its first W - H samples
// are accumulated, the last H overwritten. Afterwards olabuf[0 .. H-1] is
// final output; moving the tail to the front before the next frame is the
// caller's part. `work` is scratch of N floats.
void ox_istfft(const float* spectrum, float* olabuf, float* work, ox_fft_setup fft);

#ifdef __cplusplus
}
#endif

#endif
