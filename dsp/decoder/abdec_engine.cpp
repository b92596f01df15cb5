// Decoder engine: set-up, parameter updates and frame processing.
#include "abdec_engine.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "ox_perc_internal.h"
#include "ox_util.h"
#include "ox_vec_internal.h"

namespace
{

const float kSqrt2 = 1.4142135f;
const float kInvSqrt2 = 0.70710677f;

float db2lin(float db)
{
    return powf(10.0f, db * 0.05f);
}

// Design frequencies are limited to what the equaliser accepts (20 Hz .. 24 kHz) and to below half
// the sample rate, so that no setting is refused and no design meets the Nyquist singularity.
float eq_freq(float f, float fs)
{
    float hi = 0.45f * fs;
    if (hi > 24000.0f) hi = 24000.0f;
    return ox_clampf(f, 20.0f, hi, 20.0f);
}

// Some blocks take their parameters without const although processing only reads them.
template <class T> T* mut(const T* p)
{
    return const_cast<T*>(p);
}

bool is_ambisonic(int32_t record)
{
    return record == 29 || record == 30;
}

// Sets one section of a single-channel equaliser; the running state is not touched (the audio
// thread takes up a new delay at its next frame).
void eq_set(abdec_eq* eq, int32_t index, int32_t type, float freq, float gain, float q,
            int32_t invert, float channel_gain, float delay_ms)
{
    ox_peq_section sec;
    sec.type = type;
    sec.freq = freq;
    sec.gain = gain;
    sec.q = q;
    ox_peq_update(&eq->hdr, &eq->prm, NULL, index, sec, invert, channel_gain, delay_ms);
}

int eq_init(abdec_eq* eq, ox_peq_state* st, int32_t sections, int32_t hop, int32_t offset, float fs)
{
    return ox_peq_init(&eq->hdr, &eq->prm, st, 1, sections, hop, offset, fs);
}

void eq_run(const abdec_eq* eq, ox_peq_state* st, float* buf)
{
    float* b[1] = {buf};
    ox_peq_processframe(&eq->hdr, &eq->prm, st, 0, b, b);
}

// Linear gain of a speaker by its class flags.
float class_gain(const abdec_params* p, int32_t flags)
{
    if (flags & OX_SPK_CENTER) return p->gain_center;
    if (flags & OX_SPK_FRONT) return (flags & OX_SPK_UPPER) ? p->gain_frontH : p->gain_front;
    if (flags & OX_SPK_SURROUND)
        return (flags & OX_SPK_UPPER) ? p->gain_surroundH : p->gain_surround;
    if (flags & OX_SPK_REAR) return p->gain_rear;
    return 1.0f;
}

void scale(float* x, int32_t n, float g)
{
    for (int32_t i = 0; i < n; ++i) x[i] *= g;
}

// One speaker's spectrum from its pair of virtual microphones a and b in one pass over the bins:
// direct part a * w1 + b * w2, diffuse part a * w3 + b * w4 (times the band's decorrelation filter
// when DECORR), out = (direct + mix * diffuse) * gain. The four weights ramp in one vector and the
// filter's real and imaginary parts in another; each lane takes the same additions and every bin
// the same products and sums, in the same order, as the separate passes of ox_perc_scalebands_pair,
// ox_perc_scalebands_cplx and the mix, so the result is the same to the bit.
template <bool DECORR> struct BeamGains
{
    typedef oxvec::v4f v4f;
    const float* w1;
    const float* w2;
    const float* w3;
    const float* w4;
    const float* filter; // (re, im) per band; read only when DECORR
    const float* b;
    float mix;
    float gain;
    struct V
    {
        v4f g; // w1, w2, w3, w4
        v4f d; // filter re, im, 0, 0
    };
    V band_gain(int32_t j) const
    {
        V v;
        v.g = v4f{w1[j], w2[j], w3[j], w4[j]};
        v.d = DECORR ? v4f{filter[2 * j], filter[2 * j + 1], 0.0f, 0.0f}
                     : v4f{0.0f, 0.0f, 0.0f, 0.0f};
        return v;
    }
    static V add(V x, V y) { return {x.g + y.g, x.d + y.d}; }
    static V slope(V x, V y, float w) { return {(y.g - x.g) * w, (y.d - x.d) * w}; }
    void put_real(float* out, int slot, float x, V v) const
    {
        const float y = b[slot];
        const float direct = x * v.g[0] + y * v.g[1];
        float diffuse = x * v.g[2] + y * v.g[3];
        if (DECORR) diffuse = diffuse * v.d[0];
        out[slot] = (direct + mix * diffuse) * gain;
    }
    void apply(float* out, const float* in, int32_t k, V v) const
    {
        // Lanes: (direct re, direct im, diffuse re, diffuse im).
        const v4f xa = {in[2 * k], in[2 * k + 1], in[2 * k], in[2 * k + 1]};
        const v4f xb = {b[2 * k], b[2 * k + 1], b[2 * k], b[2 * k + 1]};
        const v4f ga = __builtin_shufflevector(v.g, v.g, 0, 0, 2, 2);
        const v4f gb = __builtin_shufflevector(v.g, v.g, 1, 1, 3, 3);
        const v4f t = xa * ga + xb * gb;
        float dre = t[2], dim = t[3];
        if (DECORR)
        {
            const float hr = v.d[0], hi = v.d[1];
            const float r = dre * hr - dim * hi;
            dim = dre * hi + dim * hr;
            dre = r;
        }
        out[2 * k] = (t[0] + mix * dre) * gain;
        out[2 * k + 1] = (t[1] + mix * dim) * gain;
    }
    // Two bins to a vector: lanes (re, im) of bin k and of bin k + 1.
    void ramp(float* out, const float* in, int32_t k0, int32_t k1, V g, V step) const
    {
        int32_t k = k0;
        for (; k + 1 < k1; k += 2)
        {
            const V g0 = add(g, step);
            g = add(g0, step);
            const v4f xa = oxvec::load4(in + 2 * k), xb = oxvec::load4(b + 2 * k);
            const v4f direct = xa * __builtin_shufflevector(g0.g, g.g, 0, 0, 4, 4) +
                               xb * __builtin_shufflevector(g0.g, g.g, 1, 1, 5, 5);
            v4f diffuse = xa * __builtin_shufflevector(g0.g, g.g, 2, 2, 6, 6) +
                          xb * __builtin_shufflevector(g0.g, g.g, 3, 3, 7, 7);
            if (DECORR)
            {
                // (re hr - im hi, re hi + im hr); the subtraction as the sum of the negated
                // product, which rounds the same.
                const v4f hr = __builtin_shufflevector(g0.d, g.d, 0, 0, 4, 4);
                const v4f hi = __builtin_shufflevector(g0.d, g.d, 1, 1, 5, 5);
                const v4f swapped = __builtin_shufflevector(diffuse, diffuse, 1, 0, 3, 2);
                diffuse = diffuse * hr + swapped * hi * v4f{-1.0f, 1.0f, -1.0f, 1.0f};
            }
            oxvec::store4(out + 2 * k, (direct + mix * diffuse) * gain);
        }
        if (k < k1) apply(out, in, k, add(g, step));
    }
};

// Set-up stages, in the order abdec_init runs them. Each returns 0 or the code abdec_init passes
// on.

// Sample rate, formats and the layout's channel counts. Returns 0, -7 or -8.
int setup_layout(abdec_params* p, const abdec_ioparams* io)
{
    const float fs = io->sample_rate;
    p->sample_rate = fs;
    if (!(fs >= 11025.0f && fs <= 192000.0f)) return -7;
    if (io->output_format < 0 || io->output_format >= OX_ABDEC_NUM_OUTPUT_FORMATS ||
        io->input_format < 0 || io->input_format > 6)
        return -8;
    p->input_tag = io->input_tag;
    p->output_tag = io->output_tag;
    p->input_format = io->input_format;
    p->num_inputs = io->input_format == 3 ? 3 : (io->input_format == 6 ? 5 : 4);
    p->num_bformat = 4;
    p->layout_index = output_formats_menu[io->output_format];
    p->layout = &output_formats_layouts[p->layout_index];
    p->layout_mode = p->layout->mode;
    p->num_channels = p->layout->num_channels;
    p->num_speakers = p->layout->num_speakers;
    p->num_binaural = (io->binaural & 0xff) ? 2 : 0;
    p->num_buffers = p->num_channels > p->num_speakers ? p->num_channels : p->num_speakers;
    return 0;
}

// Hop, window and spectrum size. Returns 0 or -1.
int setup_frame(abdec_params* p, const abdec_frameparams* frame)
{
    const int32_t hop = frame->hop, N = frame->fftsize, W = frame->window;
    if (hop < 1 || N < 4 || (N & (N - 1)) != 0 || W < 2 || (W & 1) || W % hop != 0 || W > N)
        return -1;
    p->hop = hop;
    p->window = W;
    p->specsize = N / 2;
    p->window_minus_hop = W - hop;
    p->overlap = (W / hop - 1) * hop;
    return 0;
}

// The perceptual band table: kept in the state, the parameters and the blocks point at it.
int setup_bands(abdec_params* p, abdec_state* s)
{
    int32_t nb = 0;
    int r = ox_perc_makepercbands(2 * p->specsize, ABDEC_MAX_BANDS, &nb, s->band_edges,
                                  s->band_weights, 1, p->sample_rate, 1.0f, 0.0f);
    if (r != 0) return r;
    p->num_bands = nb;
    p->band_edges = s->band_edges;
    p->band_weights = s->band_weights;
    return 0;
}

bool alloc_floats(float** at, int32_t n)
{
    return (*at = (float*)calloc((size_t)n, sizeof(float))) != NULL;
}

// Input histories, overlap buffers, the binaural pair and the frame's spectra. Returns 0 or -2.
int setup_buffers(const abdec_params* p, abdec_state* s, abdec_smallstate* ss)
{
    const int32_t W = p->window, N = 2 * p->specsize;
    for (int k = 0; k < p->num_inputs; ++k)
        if (!alloc_floats(&s->in_hist[k], W)) return -2;
    for (int k = 0; k < p->num_buffers; ++k)
        if (!alloc_floats(&s->out_buf[k], W)) return -2;
    for (int k = 0; k < p->num_binaural; ++k)
        if (!alloc_floats(&s->binaural[k], p->hop)) return -2;
    for (int k = 0; k < 4; ++k)
        if (!alloc_floats(&ss->bspec[k], N)) return -2;
    for (int k = 0; k < p->num_speakers; ++k)
        if (!alloc_floats(&ss->spk[k], N)) return -2;
    for (int k = 0; k < 4; ++k)
        if (!alloc_floats(&ss->scratch[k], N)) return -2;
    if (!alloc_floats(&ss->work, N + 2)) return -2;
    return 0;
}

int setup_fft(abdec_params* p)
{
    ox_fft_frameparams fp = {p->hop, 2 * p->specsize, p->window};
    int r = ox_fft_alloc(&p->fft, fp);
    if (r != 0) return r;
    return ox_fft_init(&p->fft, fp, 1);
}

// Counts the speakers of each equalised group first: each equaliser carries a delay line of its
// own, so only the ones the layout uses are allocated.
void count_equalised_groups(abdec_params* p)
{
    const ox_abdec_speakerlayout* L = p->layout;
    for (int k = 0; k < L->num_speakers; ++k)
    {
        int32_t f = L->flags[k];
        if (!(f & (OX_SPK_SURROUND | OX_SPK_REAR))) continue;
        if (f & OX_SPK_UPPER)
            p->num_height++;
        else if (f & OX_SPK_SURROUND)
            p->num_surround++;
        else
            p->num_rear++;
    }
}

// Every single-channel equaliser, their states cut from one allocation. Returns 0, -2 or the
// equaliser's code.
int setup_equalisers(abdec_params* p, abdec_state* s)
{
    count_equalised_groups(p);
    const int32_t neq = 2 + p->num_surround + p->num_rear + p->num_height + 1 + p->num_buffers + 2;
    if (!(s->eq_states = (ox_peq_state*)calloc((size_t)neq, sizeof(ox_peq_state)))) return -2;
    ox_peq_state* next = s->eq_states;
    auto take = [&](int32_t n) {
        ox_peq_state* at = next;
        next += n;
        return at;
    };
    s->eq_input = take(2);
    s->eq_surround = take(p->num_surround);
    s->eq_rear = take(p->num_rear);
    s->eq_height = take(p->num_height);
    s->eq_low = take(1);
    s->eq_high = take(p->num_buffers);
    s->eq_lfe = take(2);

    const int32_t hop = p->hop, W = p->window;
    const float fs = p->sample_rate;
    int r = 0;
    for (int k = 0; k < 2 && r == 0; ++k)
        r = eq_init(&p->eq_input[k], &s->eq_input[k], 2, hop, W - hop, fs);
    for (int k = 0; k < p->num_surround && r == 0; ++k)
        r = eq_init(&p->eq_surround[k], &s->eq_surround[k], 1, hop, 0, fs);
    for (int k = 0; k < p->num_rear && r == 0; ++k)
        r = eq_init(&p->eq_rear[k], &s->eq_rear[k], 1, hop, 0, fs);
    for (int k = 0; k < p->num_height && r == 0; ++k)
        r = eq_init(&p->eq_height[k], &s->eq_height[k], 1, hop, 0, fs);
    if (r == 0) r = eq_init(&p->eq_low, s->eq_low, 1, hop, 0, fs);
    for (int k = 0; k < p->num_buffers && r == 0; ++k)
        r = eq_init(&p->eq_high[k], &s->eq_high[k], 1, hop, 0, fs);
    for (int k = 0; k < 2 && r == 0; ++k) r = eq_init(&p->eq_lfe[k], &s->eq_lfe[k], 1, hop, 0, fs);
    return r;
}

// The spectral blocks ahead of the beams: capsule conversion, mid-side, direction histogram and
// virtual microphones.
int setup_input_blocks(abdec_params* p, abdec_state* s, abdec_apiparams* api,
                       float direction_resolution)
{
    const int32_t hop = p->hop, S = p->specsize, nb = p->num_bands;
    const int32_t* edges = p->band_edges;
    const float fs = p->sample_rate;
    int r;
    if ((r = ox_a2b_alloc(&p->a2b, &s->a2b, hop, S, nb, s->band_edges, s->band_weights, fs)))
        return r;
    if ((r = ox_a2b_init(&p->a2b, &s->a2b, &api->a2b, hop, S, nb, fs, edges, p->band_weights)))
        return r;
    p->slot_max_phase = p->a2b.max_phase;
    if ((r = ox_ms2b_alloc(&p->ms2b, &s->ms2b, hop, S, nb, edges, fs))) return r;
    if ((r = ox_ms2b_init(&p->ms2b, &s->ms2b, &api->ms2b, hop, S, nb, edges, fs))) return r;
    if ((r = ox_bhist_alloc(&p->bhist, &s->bhist, hop, S, nb, edges, fs, direction_resolution)))
        return r;
    if ((r = ox_bhist_init(&p->bhist, &s->bhist, &api->bhist, hop, S, nb, edges, fs))) return r;
    if ((r = ox_b2a_alloc(&p->b2a, &s->b2a, hop, S, fs))) return r;
    return ox_b2a_init(&p->b2a, &s->b2a, &api->b2a, hop, S, fs);
}

// The beam blocks: one beamformer per speaker, the beam equaliser and the decorrelator.
int setup_beam_blocks(abdec_params* p, abdec_state* s, abdec_apiparams* api)
{
    const int32_t hop = p->hop, S = p->specsize, nb = p->num_bands;
    const int32_t* edges = p->band_edges;
    const float fs = p->sample_rate;
    int r;
    for (int k = 0; k < p->num_speakers; ++k)
        if ((r = ox_bf_alloc(&p->bf[k], &s->bf[k], hop, S, nb, edges, fs))) return r;
    for (int k = 0; k < p->num_speakers; ++k)
    {
        if ((r = ox_bf_init(&p->bf[k], &s->bf[k], &api->bf, hop, S, nb, edges, fs))) return r;
        p->slot_coherence[k] = p->bf[k].band_coherence;
    }
    if ((r = ox_beq_alloc(&p->beq, &s->beq, hop, S, 5, nb, edges, fs))) return r;
    if ((r = ox_beq_init(&p->beq, &s->beq, api->beq, hop, S, 5, nb, edges, fs))) return r;
    if ((r = ox_decorr_alloc(&p->decorr, &s->decorr, hop, S, nb, edges, fs))) return r;
    if ((r = ox_decorr_init(&p->decorr, &s->decorr, &api->decorr))) return r;
    // Beam k takes filter k: the filters beyond the speaker count are never read.
    p->decorr.num_filters =
        p->num_speakers < OX_DECORR_FILTERS ? p->num_speakers : OX_DECORR_FILTERS;
    return 0;
}

// The time-domain output blocks: ambisonic encoder, binaural renderer and compressor-limiter.
int setup_output_blocks(abdec_params* p, abdec_state* s, abdec_apiparams* api)
{
    const int32_t hop = p->hop;
    int r;
    // Only the ambisonic layouts have the 12 or 20 virtual speakers the encoder takes.
    if (is_ambisonic(p->layout_index))
    {
        const int32_t order = p->layout_index == 30 ? 3 : 2, mics = p->num_speakers;
        if ((r = ox_hoa_alloc(&p->hoa, &s->hoa, mics, hop, order))) return r;
        if ((r = ox_hoa_init(&p->hoa, &s->hoa, &api->hoa, mics, hop, order))) return r;
    }
    api->hrtf.sample_rate = p->sample_rate;
    api->hrtf.framesize = hop;
    api->hrtf.num_sources = p->num_channels;
    if ((r = ox_hrtf_init(&p->hrtf, &s->hrtf, &api->hrtf))) return r;
    return ox_complim_init(&p->complim, &s->complim, &api->complim, p->sample_rate);
}

// Parameter-update stages, in the order abdec_updateparams runs them.

// B-format input needs no capsule reference; "A-Format" output keeps the capsule spectra.
void update_a2b_flags(const abdec_params* p, abdec_apiparams* api)
{
    if (p->input_format == 1 || p->input_format == 2)
        api->a2b.flags &= ~0x8;
    else
        api->a2b.flags |= 0x8;
    if (p->layout_index == 0)
        api->a2b.flags |= 0x4;
    else
        api->a2b.flags &= ~0x4;
}

// Mode word, linear gains, and every speaker's beam direction and focus.
void update_gains_and_beams(abdec_params* p, const abdec_apiparams* api)
{
    p->mode = api->mode;
    p->input_gain = db2lin(api->input_gain);
    p->output_gain = db2lin(api->output_gain);
    p->gain_center = db2lin(api->center.gain);
    p->gain_front = db2lin(api->front.gain);
    p->gain_surround = db2lin(api->surround.gain);
    p->gain_frontH = db2lin(api->frontH.gain);
    p->gain_surroundH = db2lin(api->surroundH.gain);
    p->gain_rear = db2lin(api->rear.gain);
    p->gain_lfe = db2lin(api->lfe_gain);
    p->gain_xover = db2lin(api->xover_gain);

    const ox_abdec_speakerlayout* L = p->layout;
    for (int k = 0; k < L->num_speakers; ++k)
        abdec_speakerbeam(p, api, L->mode, L->flags[k], L->azimuth[k], L->elevation[k],
                          &p->beam_azimuth[k], &p->beam_elevation[k], &p->nominal_azimuth[k],
                          &p->binaural_elevation[k]);
    abdec_speakergains(p, api, L->flags, p->focus);
}

// The time-domain equalisers: double mid-side input, the back groups' shelves and delays, the
// bass cross-over and the LFE low-pass.
void update_equalisers(abdec_params* p, const abdec_apiparams* api)
{
    const float fs = p->sample_rate;
    for (int k = 0; k < 2; ++k)
    {
        eq_set(&p->eq_input[k], 0, 19, 100.0f, 0.0f, 0.0f, 0, 0.0f, 0.0f);
        eq_set(&p->eq_input[k], 1, 12, 100.0f, 6.0f, 1.0f, 0, 0.0f, 0.0f);
    }
    const int32_t m = api->mode;
    struct
    {
        abdec_eq* eq;
        int32_t n;
        int32_t set;
        int32_t shelf_bit;
        int32_t delay_bit;
    } groups[3] = {
        {p->eq_surround, p->num_surround, 0, ABDEC_MODE_SURR_SHELF, ABDEC_MODE_SURR_DELAY},
        {p->eq_rear, p->num_rear, 1, ABDEC_MODE_REAR_SHELF, ABDEC_MODE_REAR_DELAY},
        {p->eq_height, p->num_height, 2, ABDEC_MODE_HEIGHT_SHELF, ABDEC_MODE_HEIGHT_DELAY},
    };
    for (auto& g : groups)
    {
        const abdec_shelfapi& sh = api->back_shelf[g.set];
        int32_t type = (m & g.shelf_bit) ? 11 : 0;
        float delay = (m & g.delay_bit) ? sh.delay : 0.0f;
        for (int k = 0; k < g.n; ++k)
            eq_set(&g.eq[k], 0, type, eq_freq(sh.freq, fs), sh.gain, 0.0f, 0, 0.0f, delay);
    }
    static const int32_t low_types[3] = {8, 14, 20}, high_types[3] = {9, 15, 21};
    int32_t oi = ox_clampi(api->xover_order, 2, 4) - 2;
    float xf = eq_freq(api->xover_freq, fs);
    // The low band's gain is applied as a plain linear gain when it is mixed in: the
    // equaliser's channel gain covers only -10..10 dB.
    eq_set(&p->eq_low, 0, low_types[oi], xf, 0.0f, 0.0f, (m & ABDEC_MODE_XOVER_INV) ? 1 : 0, 0.0f,
           0.0f);
    for (int k = 0; k < p->num_buffers; ++k)
        eq_set(&p->eq_high[k], 0, high_types[oi], xf, 0.0f, 0.0f, 0, 0.0f, 0.0f);
    static const int32_t lfe_types[5] = {0, 1, 6, 14, 18};
    int32_t lt = (api->lfe_order >= 1 && api->lfe_order <= 4) ? lfe_types[api->lfe_order] : 0;
    for (int k = 0; k < 2; ++k)
        eq_set(&p->eq_lfe[k], 0, lt, eq_freq(api->lfe_freq, fs), 0.0f, 0.0f, 0, 0.0f, 0.0f);
}

// The spectral blocks' configurations; the ambisonic layouts fix the beamformer's floors and the
// encoder's mode.
void update_spectral_blocks(abdec_params* p, abdec_apiparams* api)
{
    const bool ambisonic = is_ambisonic(p->layout_index);
    ox_a2b_update_cfg(&p->a2b, &api->a2b);
    ox_ms2b_update_cfg(&p->ms2b, &api->ms2b);
    ox_bhist_update_cfg(&p->bhist, &api->bhist);
    ox_b2a_update_cfg(&p->b2a, &api->b2a);
    if (ambisonic)
    {
        api->bf.diffuse_level = -40.0f;
        api->bf.gain_floor = -40.0f;
        api->bf.eigen_floor = -40.0f;
        api->bf.direct_floor = -20.0f;
    }
    for (int k = 0; k < p->num_speakers; ++k) ox_bf_update_cfg(&p->bf[k], &api->bf);
    for (int k = 0; k < 5; ++k) ox_beq_update_cfg(&p->beq, &api->beq[k], k);
    if (ambisonic)
    {
        api->hoa.mode |= 0x2 | 0x8;
        ox_hoa_update_cfg(&p->hoa, &api->hoa);
    }
}

// The binaural renderer's sources: one per layout channel at its speaker's nominal direction.
void update_binaural(abdec_params* p, abdec_state* s, abdec_apiparams* api)
{
    const ox_abdec_speakerlayout* L = p->layout;
    ox_hrtf_uparams* u = &api->hrtf;
    u->num_sources = p->num_channels;
    for (int i = 0; i < p->num_channels && i < 32; ++i)
    {
        int32_t m = L->channel_map[i];
        if (m < 0 || m >= L->num_speakers)
        {
            u->azimuth[i] = 0.0f;
            u->elevation[i] = 0.0f;
            u->gain[i] = -6.0f;
        }
        else
        {
            u->azimuth[i] = -p->nominal_azimuth[m];
            u->elevation[i] = p->binaural_elevation[m];
            u->gain[i] = (L->flags[m] & (OX_SPK_CENTER | OX_SPK_FRONT)) ? -4.5f : -6.0f;
        }
    }
    // Tone-shelf corners stay below half the sample rate.
    u->low_freq = eq_freq(u->low_freq, p->sample_rate);
    u->high_freq = eq_freq(u->high_freq, p->sample_rate);
    // The update reads and writes the whole-sample delays it rounded last time; keep that
    // bookkeeping in scratch so the renderer's running state is not written.
    ox_hrtf_state* hs = &s->hrtf_update;
    hs->history_len = s->hrtf.history_len; // fixed by init
    memcpy(hs->cur_delay_left, p->hrtf.delay_left, sizeof hs->cur_delay_left);
    memcpy(hs->cur_delay_right, p->hrtf.delay_right, sizeof hs->cur_delay_right);
    ox_hrtf_update(u, &p->hrtf, hs);
}

// Frame stages, in the order abdec_audioprocess runs them.

// Input conversion: the newest hop of each input, gained, at the end of its history.
// Non-finite samples become silence and absurd levels are bounded, so that no smoothed statistic
// downstream can be poisoned for good. Double mid-side input then gets the high-pass and low boost
// of its figure-of-eight channel.
void frame_inputs(const abdec_params* p, abdec_state* s, const float* const* in)
{
    const int32_t H = p->hop, WH = p->window_minus_hop;
    for (int k = 0; k < p->num_inputs; ++k)
    {
        float* h = s->in_hist[k];
        memmove(h, h + H, (size_t)WH * sizeof(float));
        const float* x = in[k];
        const float g = p->input_gain;
        for (int32_t i = 0; i < H; ++i)
        {
            float v = x[i] * g;
            if (!(fabsf(v) <= 1.0e4f)) v = ox_isfinitef(v) ? copysignf(1.0e4f, v) : 0.0f;
            h[WH + i] = v;
        }
    }
    if (p->input_format == 3) eq_run(&p->eq_input[0], &s->eq_input[0], s->in_hist[1]);
}

// Analysis: the spectra of up to four input histories (a missing fourth is silence).
void frame_analysis(const abdec_params* p, float* const* in_hist, float** B, float* work)
{
    const int nana = p->num_inputs < 4 ? p->num_inputs : 4;
    for (int k = 0; k < nana; ++k) ox_stfft(in_hist[k], B[k], work, p->fft);
    if (nana < 4) memset(B[3], 0, (size_t)(2 * p->specsize) * sizeof(float));
}

// Conversion of the input spectra to internal B-format, in place.
void frame_bformat(const abdec_params* p, abdec_state* s, float** B, float* scratch)
{
    const int32_t N = 2 * p->specsize;
    ox_a2b_process1_frame(mut(&p->a2b), &s->a2b, B);
    switch (p->input_format)
    {
    case 0:
    case 6:
        ox_a2b_process2_frame(mut(&p->a2b), &s->a2b, B);
        break;
    case 2:
        for (int32_t i = 0; i < N; ++i) B[0][i] *= kInvSqrt2;
        memcpy(scratch, B[1], (size_t)N * sizeof(float)); // Y
        memcpy(B[1], B[3], (size_t)N * sizeof(float));
        memcpy(B[3], B[2], (size_t)N * sizeof(float));
        memcpy(B[2], scratch, (size_t)N * sizeof(float));
        break;
    case 3:
    case 4:
        ox_ms2b_process_frame(mut(&p->ms2b), &s->ms2b, B);
        break;
    case 5:
        for (int32_t i = 0; i < N; ++i)
        {
            float mf = B[0][i], sd = B[1][i], mr = B[2][i], z = B[3][i];
            B[0][i] = mf + mr;
            B[1][i] = kSqrt2 * (mf - mr);
            B[2][i] = 1.9228343f * sd;
            B[3][i] = 1.8856181f * z - 0.47140452f * (mf + mr);
        }
        break;
    default:
        break;
    }
}

// Field analysis: the direction histogram, then the beam equalisers' band gains on B-format.
void frame_field(const abdec_params* p, abdec_state* s, float** B)
{
    ox_bhist_process_frame(&p->bhist, &s->bhist, B);
    if (!(p->mode & ABDEC_MODE_BEQ)) return;
    ox_beq_process_frame(&p->beq, &s->beq, B);
    for (int c = 0; c < 4; ++c)
        ox_perc_scalebands(B[c], B[c], s->beq.gain[c], p->num_bands, p->band_edges,
                           p->band_weights);
}

// Beam k's spectrum from its forward and backward cardioid (sc[0], sc[1]) and its beamformer's
// band weights.
void beam_spectrum(const abdec_params* p, abdec_state* s, float** B, float** sc, int k, float* spk)
{
    const int32_t rec = p->layout_index, nb = p->num_bands, N = 2 * p->specsize;
    const ox_bf_params* bp = &p->bf[k];
    ox_bf_state* bs = &s->bf[k];
    ox_b2a_params* vm = &s->vmics;
    vm->azimuth[0] = -p->beam_azimuth[k];
    vm->elevation[0] = p->beam_elevation[k];
    vm->pattern[0] = 0.5f;
    vm->azimuth[1] = 3.1415927f - p->beam_azimuth[k];
    vm->elevation[1] = -p->beam_elevation[k];
    vm->pattern[1] = 0.5f;
    ox_b2a_process_frame(vm, &s->b2a, B, sc, 2);
    float shape = rec == 29 ? -2.0f : (rec == 30 ? -3.0f : p->focus[k]);
    float* pair[2] = {sc[0], sc[1]};
    ox_bf_process_frame(bp, bs, pair, s->a2b.smoothing, s->a2b.coherence, shape);
    if (bp->mode & 0x20000000)
    {
        // Direct part only.
        ox_perc_scalebands_pair(spk, sc[0], bs->weight1, sc[1], bs->weight2, nb, p->band_edges,
                                p->band_weights);
        scale(spk, N, bp->beam_gain);
        return;
    }
    float d = rec == 29 ? 0.2f : (rec == 30 ? 0.1429f : bp->diffuse_mix);
    if (bp->mode & 0x2) d /= sqrtf(p->focus[k] + 1.0f);
    if (rec >= 4)
    {
        const BeamGains<true> g = {bs->weight1,         bs->weight2, bs->weight3, bs->weight4,
                                   s->decorr.filter[k], sc[1],       d,           bp->beam_gain};
        oxperc::scale_bands(spk, sc[0], g, nb, p->band_edges, p->band_weights);
    }
    else
    {
        const BeamGains<false> g = {bs->weight1, bs->weight2, bs->weight3, bs->weight4,
                                    nullptr,     sc[1],       d,           bp->beam_gain};
        oxperc::scale_bands(spk, sc[0], g, nb, p->band_edges, p->band_weights);
    }
}

// Beams: one spectrum per speaker. The B-format and A-format outputs pass the field through,
// the beam path runs a beamformer per speaker, the virtual-microphone path one cardioid family.
void frame_beams(const abdec_params* p, abdec_state* s, abdec_smallstate* ss)
{
    const int32_t rec = p->layout_index, N = 2 * p->specsize;
    float** B = ss->bspec;
    ox_b2a_params* vm = &s->vmics;
    if (rec == 0 || rec == 1 || rec == 2)
    {
        for (int c = 0; c < 4; ++c) memcpy(ss->spk[c], B[c], (size_t)N * sizeof(float));
        if (rec == 2) scale(ss->spk[0], N, kSqrt2);
        return;
    }
    if (p->mode & ABDEC_MODE_BEAMS)
    {
        ox_decorr_filters(&p->decorr, &s->decorr, B[0]);
        memcpy(vm, &p->b2a, sizeof *vm);
        for (int k = 0; k < p->num_speakers; ++k)
            beam_spectrum(p, s, B, ss->scratch, k, ss->spk[k]);
        return;
    }
    memcpy(vm, &p->b2a, sizeof *vm);
    for (int k = 0; k < p->num_speakers; ++k)
    {
        vm->azimuth[k] = -p->beam_azimuth[k];
        vm->elevation[k] = p->beam_elevation[k];
        vm->pattern[k] = ox_clampf(p->focus[k], 0.0f, 1.0f, 0.5f);
    }
    ox_b2a_process_frame(vm, &s->b2a, B, ss->spk, p->num_speakers);
}

// Channels the speaker pass walks: the ambisonic layouts render their virtual speakers.
int32_t speaker_pass_count(const abdec_params* p)
{
    return is_ambisonic(p->layout_index) ? p->num_speakers : p->num_channels;
}

// Next unused equaliser of each group while the speaker pass walks the channels in order.
struct GroupCursor
{
    int32_t lfe, surround, rear, height;
};

// A surround, rear or height speaker's back shelf and delay.
void back_equaliser(const abdec_params* p, abdec_state* s, int32_t f, GroupCursor* n, float* buf)
{
    const bool upper = (f & OX_SPK_UPPER) != 0;
    if (f & OX_SPK_SURROUND)
    {
        if (upper && n->height < p->num_height)
            eq_run(&p->eq_height[n->height], &s->eq_height[n->height], buf), n->height++;
        else if (!upper && n->surround < p->num_surround)
            eq_run(&p->eq_surround[n->surround], &s->eq_surround[n->surround], buf), n->surround++;
    }
    if (f & OX_SPK_REAR)
    {
        if (upper && n->height < p->num_height)
            eq_run(&p->eq_height[n->height], &s->eq_height[n->height], buf), n->height++;
        else if (!upper && n->rear < p->num_rear)
            eq_run(&p->eq_rear[n->rear], &s->eq_rear[n->rear], buf), n->rear++;
    }
}

// Speaker pass: each output channel's hop from its speaker's spectrum (or W low-passed for an
// LFE channel), with class gain, centre spread, back equaliser and the bass cross-over; low is the
// cross-over's low band, null when the cross-over is off.
void frame_speakers(const abdec_params* p, abdec_state* s, const abdec_smallstate* ss,
                    const float* low)
{
    const int32_t H = p->hop, W = p->window, rec = p->layout_index;
    const ox_abdec_speakerlayout* L = p->layout;
    const int32_t nloop = speaker_pass_count(p);
    const bool spread = (p->mode & ABDEC_MODE_CENTRESPREAD) && (rec == 7 || rec == 9);
    GroupCursor n = {0, 0, 0, 0};
    for (int32_t i = 0; i < nloop; ++i)
    {
        float* buf = s->out_buf[i];
        const int32_t m = L->channel_map[i];
        if (m == OX_CHMAP_LFE && (p->mode & ABDEC_MODE_LFE))
        {
            ox_istfft(ss->bspec[0], buf, ss->work, p->fft);
            scale(buf, H, p->gain_lfe);
            int32_t li = n.lfe < 1 ? n.lfe : 1;
            eq_run(&p->eq_lfe[li], &s->eq_lfe[li], buf);
            n.lfe++;
            continue;
        }
        if (m < 0 || m >= p->num_speakers)
        {
            memset(buf, 0, (size_t)W * sizeof(float));
            continue;
        }
        const int32_t f = L->flags[m];
        ox_istfft(ss->spk[m], buf, ss->work, p->fft);
        scale(buf, H, class_gain(p, f));
        if (spread)
        {
            if (f & OX_SPK_CENTER)
                scale(buf, H, 0.8912509f);
            else if ((f & OX_SPK_SURROUND) && i > 2)
                for (int32_t j = 0; j < H; ++j) buf[j] += 0.35481337f * s->out_buf[2][j];
        }
        back_equaliser(p, s, f, &n, buf);
        if (low)
        {
            eq_run(&p->eq_high[i], &s->eq_high[i], buf);
            if (f & OX_SPK_MAINPAIR)
                for (int32_t j = 0; j < H; ++j) buf[j] += p->gain_xover * low[j];
        }
    }
}

// Time-domain output: ambisonic encoding or binaural rendering, one compressor-limiter gain for
// all outputs, the output gain, and the overlap tails moved to the front.
void frame_output(const abdec_params* p, abdec_state* s, float* const* out)
{
    const int32_t H = p->hop, WH = p->window_minus_hop;
    const bool ambisonic = is_ambisonic(p->layout_index);
    float* const* final_bufs = s->out_buf;
    int32_t nfinal = speaker_pass_count(p);
    if (ambisonic) ox_hoa_process_frame(&p->hoa, &s->hoa, NULL, s->out_buf);
    if (p->num_binaural)
    {
        for (int c = 0; c < 2; ++c) memset(s->binaural[c], 0, (size_t)H * sizeof(float));
        if (!ambisonic) ox_hrtf_process(&p->hrtf, &s->hrtf, s->out_buf, s->binaural);
        final_bufs = s->binaural;
        nfinal = 2;
    }
    ox_complim_process(&p->complim, &s->complim, final_bufs, final_bufs, H, 0, nfinal,
                       p->limiter_flags);
    const int32_t nout = p->num_binaural ? 2 : p->num_channels;
    for (int32_t c = 0; c < nout; ++c)
    {
        const float* src = final_bufs[c];
        float* dst = out[c];
        const float g = p->output_gain;
        for (int32_t j = 0; j < H; ++j) dst[j] = src[j] * g;
    }
    for (int32_t c = 0; c < p->num_buffers; ++c)
        memmove(s->out_buf[c], s->out_buf[c] + H, (size_t)WH * sizeof(float));
}

} // namespace

extern "C" {

float fsgnf(float x)
{
    return x < 0.0f ? -1.0f : (x > 0.0f ? 1.0f : 0.0f);
}

int abdec_defaultframeparams(abdec_frameparams* frame, int32_t hop, int32_t fftsize,
                             float sample_rate)
{
    memset(frame, 0, sizeof *frame);
    if (hop < 1)
    {
        float h = sample_rate * 10.0f * 0.001f;
        frame->hop = (int32_t)h;
        frame->fftsize = (int32_t)(2.0 * exp2(ceil(log2((double)h))));
        frame->window = 2 * frame->hop;
    }
    else
    {
        frame->hop = hop;
        frame->window = 2 * hop;
        double x = fftsize < 1 ? 2.0 * hop : (double)fftsize;
        frame->fftsize = (int32_t)exp2(ceil(log2(x)));
    }
    return 0;
}

int abdec_defaultapiparams(abdec_apiparams* api, abdec_ioparams* io, int32_t index)
{
    if (index > 31) return -8;
    memset(api, 0, sizeof *api);
    api->mode = 0;
    abdec_groupapi g = {0.5f, 0.0f, 0.0f};
    api->center = api->front = api->surround = api->frontH = api->surroundH = api->rear = g;
    api->front_angle = 45.0f;
    api->surround_angle = 135.0f;
    api->frontH_angle = 45.0f;
    api->surroundH_angle = 135.0f;
    api->rear_angle = 150.0f;
    for (int k = 0; k < 3; ++k)
    {
        api->back_shelf[k].delay = 0.0f;
        api->back_shelf[k].gain = 0.0f;
        api->back_shelf[k].freq = 6000.0f;
    }
    api->lfe_order = 2;
    api->lfe_freq = 120.0f;
    api->xover_order = 2;
    api->xover_gain = -6.0f;
    api->xover_freq = 50.0f;
    ox_a2b_default_cfg(&api->a2b);
    ox_ms2b_default_cfg(&api->ms2b);
    ox_bhist_default_cfg(&api->bhist);
    ox_b2a_default_cfg(&api->b2a);
    ox_bf_default_cfg(&api->bf);
    for (int k = 0; k < 5; ++k) ox_beq_default_cfg(&api->beq[k]);
    ox_hoa_default_cfg(&api->hoa);
    ox_hrtf_default_uparams(&api->hrtf);
    api->hrtf.reference_angle = 40.0f;
    api->hrtf.fractional_delay = 0;
    ox_decorr_default_cfg(&api->decorr);
    ox_complim_default_cfg(&api->complim);
    api->limiter_flags = 0;
    if (io)
    {
        memset(io, 0, sizeof *io);
        io->sample_rate = 48000.0f;
        io->max_inputs = 4;
        io->max_speakers = 20;
        io->input_tag = 65;
        io->output_tag = 65;
        io->direction_resolution = 15.0f;
        io->reserved = 10;
    }
    return 0;
}

int abdec_init(abdec_params* p, abdec_state* s, abdec_smallstate* ss,
               const abdec_frameparams* frame, abdec_apiparams* api, const abdec_ioparams* io)
{
    memset(p, 0, sizeof *p);
    memset(s, 0, sizeof *s);
    memset(ss, 0, sizeof *ss);
    int r;
    if ((r = setup_layout(p, io))) return r;
    if ((r = setup_frame(p, frame))) return r;
    if ((r = setup_bands(p, s))) return r;
    if ((r = setup_buffers(p, s, ss))) return r;
    if ((r = setup_fft(p))) return r;
    if ((r = setup_equalisers(p, s))) return r;
    if ((r = setup_input_blocks(p, s, api, io->direction_resolution))) return r;
    if ((r = setup_beam_blocks(p, s, api))) return r;
    if ((r = setup_output_blocks(p, s, api))) return r;
    abdec_updateparams(p, s, api);
    abdec_audioreset(p, s);
    return 0;
}

int abdec_allocparams(abdec_params* copy, const abdec_params* built)
{
    memset(copy, 0, sizeof *copy);
    copy->is_copy = 1;
    if (built->slot_max_phase)
    {
        copy->slot_max_phase = (float*)calloc((size_t)built->num_bands, sizeof(float));
        if (!copy->slot_max_phase) return -2;
    }
    for (int k = 0; k < built->num_speakers; ++k)
    {
        if (!built->slot_coherence[k]) continue;
        copy->slot_coherence[k] = (float*)calloc((size_t)built->num_bands, sizeof(float));
        if (!copy->slot_coherence[k]) return -2;
    }
    abdec_copyparams(copy, built);
    return 0;
}

void abdec_copyparams(abdec_params* dst, const abdec_params* src)
{
    if (dst == src) return;
    int32_t is_copy = dst->is_copy;
    float* max_phase = dst->slot_max_phase;
    float* coherence[ABDEC_MAX_SPEAKERS];
    memcpy(coherence, dst->slot_coherence, sizeof coherence);
    memcpy(dst, src, sizeof *dst);
    dst->is_copy = is_copy;
    dst->slot_max_phase = max_phase;
    memcpy(dst->slot_coherence, coherence, sizeof coherence);
    const size_t nb = (size_t)src->num_bands;
    dst->a2b.max_phase = max_phase;
    if (max_phase && src->a2b.max_phase) memcpy(max_phase, src->a2b.max_phase, nb * sizeof(float));
    for (int k = 0; k < src->num_speakers; ++k)
    {
        dst->bf[k].band_coherence = coherence[k];
        if (coherence[k] && src->bf[k].band_coherence)
            memcpy(coherence[k], src->bf[k].band_coherence, nb * sizeof(float));
    }
}

void abdec_freeparams(abdec_params* copy)
{
    if (!copy || !copy->is_copy) return;
    free(copy->slot_max_phase);
    copy->slot_max_phase = NULL;
    for (int k = 0; k < ABDEC_MAX_SPEAKERS; ++k)
    {
        free(copy->slot_coherence[k]);
        copy->slot_coherence[k] = NULL;
    }
}

int abdec_updateparams(abdec_params* p, abdec_state* s, abdec_apiparams* api)
{
    update_a2b_flags(p, api);
    update_gains_and_beams(p, api);
    update_equalisers(p, api);
    update_spectral_blocks(p, api);
    update_binaural(p, s, api);
    ox_decorr_update_cfg(&p->decorr, &s->decorr, &api->decorr);
    ox_complim_update_cfg(&p->complim, &api->complim);
    p->limiter_flags = api->limiter_flags;
    return 0;
}

int abdec_audioreset(abdec_params* p, abdec_state* s)
{
    s->frame_count = 0;
    for (int k = 0; k < p->num_inputs; ++k)
        if (s->in_hist[k]) memset(s->in_hist[k], 0, (size_t)p->window * sizeof(float));
    for (int k = 0; k < p->num_buffers; ++k)
        if (s->out_buf[k]) memset(s->out_buf[k], 0, (size_t)p->window * sizeof(float));
    for (int k = 0; k < p->num_binaural; ++k)
        if (s->binaural[k]) memset(s->binaural[k], 0, (size_t)p->hop * sizeof(float));
    for (int k = 0; k < 2; ++k) ox_peq_reset(&p->eq_input[k].hdr, &s->eq_input[k]);
    for (int k = 0; k < p->num_surround; ++k)
        ox_peq_reset(&p->eq_surround[k].hdr, &s->eq_surround[k]);
    for (int k = 0; k < p->num_rear; ++k) ox_peq_reset(&p->eq_rear[k].hdr, &s->eq_rear[k]);
    for (int k = 0; k < p->num_height; ++k) ox_peq_reset(&p->eq_height[k].hdr, &s->eq_height[k]);
    for (int k = 0; k < 2; ++k) ox_peq_reset(&p->eq_lfe[k].hdr, &s->eq_lfe[k]);
    ox_a2b_reset(&p->a2b, &s->a2b);
    ox_ms2b_reset(&p->ms2b, &s->ms2b);
    ox_bhist_reset(&p->bhist, &s->bhist);
    ox_b2a_reset(&p->b2a, &s->b2a);
    for (int k = 0; k < p->num_speakers; ++k) ox_bf_reset(&p->bf[k], &s->bf[k]);
    ox_beq_reset(&p->beq, &s->beq);
    ox_hrtf_reset(&p->hrtf, &s->hrtf);
    ox_decorr_reset(&p->decorr, &s->decorr);
    ox_complim_reset(&p->complim, &s->complim);
    return 0;
}

void abdec_done(abdec_params* p, abdec_state* s, abdec_smallstate* ss)
{
    if (p) ox_fft_release(&p->fft);
    if (s)
    {
        for (auto& b : s->in_hist) free(b), b = NULL;
        for (auto& b : s->out_buf) free(b), b = NULL;
        for (auto& b : s->binaural) free(b), b = NULL;
        free(s->eq_states);
        s->eq_states = NULL;
    }
    if (ss)
    {
        for (auto& b : ss->bspec) free(b), b = NULL;
        for (auto& b : ss->spk) free(b), b = NULL;
        for (auto& b : ss->scratch) free(b), b = NULL;
        free(ss->work);
        ss->work = NULL;
    }
    if (!p || !s) return;
    if (p->slot_max_phase) p->a2b.max_phase = p->slot_max_phase;
    ox_a2b_done(&p->a2b, &s->a2b);
    p->slot_max_phase = NULL;
    ox_ms2b_done(&p->ms2b, &s->ms2b);
    ox_bhist_done(&p->bhist, &s->bhist);
    ox_b2a_done(&p->b2a, &s->b2a);
    for (int k = 0; k < ABDEC_MAX_SPEAKERS; ++k)
    {
        if (p->slot_coherence[k]) p->bf[k].band_coherence = p->slot_coherence[k];
        ox_bf_done(&p->bf[k], &s->bf[k]);
        p->slot_coherence[k] = NULL;
    }
    ox_beq_done(&p->beq, &s->beq);
    ox_hoa_done(&p->hoa, &s->hoa);
    ox_hrtf_done(&p->hrtf, &s->hrtf);
    ox_decorr_done(&p->decorr, &s->decorr);
}

void abdec_audioprocess(const abdec_params* p, abdec_state* s, abdec_smallstate* ss,
                        const float* const* in, float* const* out)
{
    frame_inputs(p, s, in);
    frame_analysis(p, s->in_hist, ss->bspec, ss->work);
    frame_bformat(p, s, ss->bspec, ss->scratch[0]);
    frame_field(p, s, ss->bspec);
    frame_beams(p, s, ss);
    // The bass cross-over's low band: the oldest hop of the history is the one this frame outputs.
    float* low = NULL;
    if (p->mode & ABDEC_MODE_XOVER)
    {
        low = s->in_hist[p->input_format == 6 ? 4 : 0];
        eq_run(&p->eq_low, s->eq_low, low);
    }
    frame_speakers(p, s, ss, low);
    frame_output(p, s, out);
    s->frame_count++;
}

} // extern "C"
