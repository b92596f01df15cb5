// Perceptual (ERB-rate) frequency bands over a packed half spectrum.
//
// Bands are described by their edges: edges[j] is the exclusive upper bin of
// band j, band j covers bins edges[j-1] .. edges[j]-1 (edges[-1] = 0), and the
// last edge is N/2 for FFT size N; bin N/2 (half the sample rate) belongs to the
// last band. Weights are the reciprocals of the distances in bins between the
// centres of neighbouring bands, used to interpolate band gains over bins
// without a division per bin. Spectra are packed half spectra (see ox_fft.h).
#ifndef OX_PERC_H
#define OX_PERC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// ERB rate of frequency f (Hz) and its inverse.
float ox_perc_freq2erb(float f);
float ox_perc_erb2freq(float e);

// Builds bands one `step` of ERB rate wide (never narrower than the band below
// nor than `minbins` bins) for FFT size n and sample rate fs (Hz), starting at
// `flow` Hz (0 for none). Writes up to maxbands edges and weights and the band
// count through nbands_out. Returns 0; -3 for null pointers or a sample rate,
// step or flow that is not finite, or fs <= 0, step <= 0; -4 when more than
// maxbands bands would be needed (count then not stored). n <= 1 gives 0 bands.
int32_t ox_perc_makepercbands(int32_t n, int32_t maxbands, int32_t* nbands_out, int32_t* edges,
                              float* weights, int32_t minbins, float fs, float step, float flow);

// Band index of frequency f (Hz): the first band whose upper edge is at or
// above its bin position n*f/fs, at most nbands-1; nbands when f lies above
// the last edge (callers treat the result as an exclusive bound). 0 when there
// are no bands.
int32_t ox_perc_freq2band(int32_t n, int32_t nbands, const int32_t* edges, float f, float fs);

// Nearest bin of frequency f (Hz) for FFT size n: lround(f*n/fs); 0 when that
// is not finite, limited to +-2^30.
int32_t ox_perc_freq2bin(int32_t n, float f, float fs);

// Spreads one value per band to the bins 0 .. edges[nbands-1] (N/2 + 1 entries),
// the last bin taking the last band's value.
void ox_perc_parts2bins(float* binvalues, const float* bandvalues, int32_t nbands,
                        const int32_t* edges);

// out = in scaled by real per-band gains[nbands], interpolated linearly
// between band centres. out and in are packed spectra of 2*edges[nbands-1]
// floats; in-place allowed. Does nothing for null pointers or nbands < 1.
void ox_perc_scalebands(float* out, const float* in, const float* gains, int32_t nbands,
                        const int32_t* edges, const float* weights);

// Two spectra scaled as by ox_perc_scalebands, a by gains ga and b by gains gb,
// and summed: out = a·ga + b·gb, each product rounded before the sum, so the
// result equals two ox_perc_scalebands calls followed by their sum. One pass
// instead of three. out may be a or b. Does nothing for null pointers or
// nbands < 1.
void ox_perc_scalebands_pair(float* out, const float* a, const float* ga, const float* b,
                             const float* gb, int32_t nbands, const int32_t* edges,
                             const float* weights);

// As ox_perc_scalebands with one complex gain per band (gains holds nbands
// (re, im) pairs), applied by complex multiplication; DC and the half-rate
// value take the real part of the first and last gain.
void ox_perc_scalebands_cplx(float* out, const float* in, const float* gains, int32_t nbands,
                             const int32_t* edges, const float* weights);

// As ox_perc_scalebands_cplx with band j's gain first multiplied by eq[j].
void ox_perc_scalebands_cplx_eq(float* out, const float* in, const float* gains, const float* eq,
                                int32_t nbands, const int32_t* edges, const float* weights);

// In-place valley smoothing of n floats: each value becomes the smaller of
// itself and the mean of its (up to four) neighbours, all taken from before
// the call. Fewer than 3 values are left unchanged.
void ox_perc_freqsmooth(float* x, int32_t n);

// In-place fractional-octave smoothing of n floats over `width` octaves,
// tmp being scratch of n floats. mode 0: mean of the values; mode 1: root of
// the mean of the squares; any other mode, or width <= 0, leaves x unchanged.
void ox_perc_octave_smoothing(float* x, float* tmp, int32_t n, float width, float mode);

#ifdef __cplusplus
}
#endif

#endif
