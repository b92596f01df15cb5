#include "ox_peq.h"

#include <cmath>
#include <cstring>

namespace
{

// Delay-line length for a sample rate: 150 ms, never shorter than the 48 kHz line, so every
// delay the decoder offers (up to 100 ms plus one frame) fits at any supported rate.
int32_t ring_length(float sample_rate)
{
    double len = std::ceil(0.15 * double(sample_rate));
    if (len < OX_PEQ_BASE_RING) len = OX_PEQ_BASE_RING;
    if (len > OX_PEQ_MAX_RING) len = OX_PEQ_MAX_RING;
    return int32_t(len);
}

bool in_range(float x, float lo, float hi)
{
    return x >= lo && x <= hi;
} // false for NaN

enum Kind
{
    kNone,
    kLowPass,
    kHighPass,
    kLowShelf,
    kHighShelf,
    kAllPass1,
    kLinkRileyLow,
    kLinkRileyHigh,
    kPeak,
    kAllPass2
};

enum Check
{
    kFreq = 1,
    kGain = 2,
    kQ = 4
};

struct TypeInfo
{
    Kind kind;
    unsigned order;
    int checks; // what the type validates besides the channel gain
};

const TypeInfo kTypes[OX_PEQ_NUM_TYPES] = {{kNone, 0, 0},
                                           {kLowPass, 1, kFreq},
                                           {kHighPass, 1, kFreq},
                                           {kLowShelf, 1, kFreq | kGain},
                                           {kHighShelf, 1, kFreq | kGain},
                                           {kAllPass1, 1, kFreq},
                                           {kLowPass, 2, kFreq},
                                           {kHighPass, 2, kFreq},
                                           {kLinkRileyLow, 2, kFreq},
                                           {kLinkRileyHigh, 2, kFreq},
                                           {kLowShelf, 2, kFreq | kGain},
                                           {kHighShelf, 2, kFreq | kGain},
                                           {kPeak, 2, kFreq | kGain | kQ},
                                           {kAllPass2, 2, kFreq | kQ},
                                           {kLowPass, 3, kFreq},
                                           {kHighPass, 3, kFreq},
                                           {kLowShelf, 3, kFreq | kGain},
                                           {kHighShelf, 3, kFreq | kGain},
                                           {kLowPass, 4, kFreq},
                                           {kHighPass, 4, kFreq},
                                           {kLinkRileyLow, 4, kFreq},
                                           {kLinkRileyHigh, 4, kFreq},
                                           {kLowShelf, 4, kFreq | kGain},
                                           {kHighShelf, 4, kFreq | kGain}};

void design(ox_iir_cfNf* rec, const ox_peq_section& s, float fs)
{
    const TypeInfo& t = kTypes[s.type];
    switch (t.kind)
    {
    case kNone:
        std::memset(rec, 0, sizeof(*rec));
        break;
    case kLowPass:
        ox_iir_lpbutterf(rec, t.order, s.freq, fs);
        break;
    case kHighPass:
        ox_iir_hpbutterf(rec, t.order, s.freq, fs);
        break;
    case kLowShelf:
        ox_iir_lpshelvingf(rec, t.order, s.freq, s.gain, fs);
        break;
    case kHighShelf:
        ox_iir_hpshelvingf(rec, t.order, s.freq, s.gain, fs);
        break;
    case kLinkRileyLow:
        ox_iir_lplinkrileyf(rec, t.order, s.freq, fs);
        break;
    case kLinkRileyHigh:
        ox_iir_hplinkrileyf(rec, t.order, s.freq, fs);
        break;
    case kAllPass1:
    {
        // (a + z^-1)/(1 + a·z^-1) as a first-order section.
        ox_iir_cf2 ap;
        ox_iir_allpass1(&ap, s.freq, fs);
        std::memset(rec, 0, sizeof(*rec));
        rec->order = 1;
        rec->first.b0 = ap.b0;
        rec->first.b1 = 1.0f;
        rec->first.a1 = ap.b0;
        break;
    }
    case kPeak:
    case kAllPass2:
    {
        ox_iir_cf2 c;
        if (t.kind == kPeak)
            ox_iir_peaking(&c, s.freq, s.gain, s.q, fs);
        else
            ox_iir_allpass2(&c, s.freq, s.q, fs);
        std::memset(rec, 0, sizeof(*rec));
        rec->order = 2;
        rec->sec[0] = c;
        break;
    }
    }
}

int32_t max_delay(const ox_peq_header* h)
{
    return h->ring_len - h->framesize;
}

// Delay in samples for a delay in ms, rounded and limited to what the line holds.
int32_t delay_samples(const ox_peq_header* h, float delay_ms)
{
    if (!std::isfinite(delay_ms) || delay_ms <= 0.0f) return 0;
    const float d = float(double(h->sample_rate) * double(delay_ms) * 0.001);
    const int32_t lim = max_delay(h);
    if (!(d < float(lim))) return lim;
    return int32_t(std::lround(d));
}

void clear_channel(ox_peq_state* st)
{
    std::memset(st, 0, sizeof(*st));
    st->fade = 1.0f;
}

} // namespace

extern "C" {

int ox_peq_init(ox_peq_header* header, ox_peq_params* params, ox_peq_state* state,
                int32_t num_channels, int32_t num_sections, int32_t framesize, int32_t offset,
                float sample_rate)
{
    if (!header || !params || !state) return -3;
    if (!std::isfinite(sample_rate) || !(sample_rate > 0.0f)) return -7;
    if (num_channels < 1) return -5;
    const int32_t ring = ring_length(sample_rate);
    if (num_sections < 1 || num_sections > OX_PEQ_MAX_SECTIONS || framesize < 1 ||
        framesize >= ring || offset < 0)
        return -3;
    header->num_channels = num_channels;
    header->num_sections = num_sections;
    header->sample_rate = sample_rate;
    header->framesize = framesize;
    header->offset = offset;
    header->ring_len = ring;
    for (int32_t c = 0; c < num_channels; ++c)
    {
        std::memset(params[c].sections, 0, sizeof(params[c].sections));
        params[c].gain = 1.0f;
        params[c].delay = 0;
        clear_channel(&state[c]);
    }
    return 0;
}

int ox_peq_update(const ox_peq_header* header, ox_peq_params* params, ox_peq_state* state,
                  int32_t index, ox_peq_section section, int32_t invert, float channel_gain,
                  float delay)
{
    (void)state; // the frame processing starts the fade: see ox_peq_processframe
    if (!header || !params || index < 0 || index >= header->num_sections || section.type < 0 ||
        section.type >= OX_PEQ_NUM_TYPES || !in_range(channel_gain, -10.0f, 10.0f))
        return -3;
    const int checks = kTypes[section.type].checks;
    if (((checks & kFreq) && !in_range(section.freq, 20.0f, 24000.0f)) ||
        ((checks & kGain) && !in_range(section.gain, -24.0f, 24.0f)) ||
        ((checks & kQ) && !in_range(section.q, 0.1f, 100.0f)))
        return -3;

    design(&params->sections[index], section, header->sample_rate);
    float g = float(std::pow(10.0, 0.05 * double(channel_gain)));
    params->gain = invert ? -g : g;
    params->delay = delay_samples(header, delay);
    return 0;
}

void ox_peq_processframe(const ox_peq_header* header, const ox_peq_params* params,
                         ox_peq_state* state, int32_t bypass, float* const* in, float* const* out)
{
    if (!header || !params || !state || !in || !out) return;
    const int32_t n = header->framesize;
    const int32_t len = header->ring_len;
    const int32_t lim = max_delay(header);
    for (int32_t c = 0; c < header->num_channels; ++c)
    {
        const ox_peq_params& p = params[c];
        ox_peq_state& st = state[c];
        if (!in[c] || !out[c]) continue;
        const float* x = in[c] + header->offset;
        float* y = out[c] + header->offset;
        const float g = bypass ? 1.0f : p.gain;
        int32_t target = p.delay < 0 ? 0 : (p.delay > lim ? lim : p.delay);

        // The line may hold a stale write position only if the record was damaged.
        int32_t wp = st.write_pos;
        if (wp < 0 || wp >= len) wp = 0;

        // Copy the input first: with a delay of 0 the output reads what was just written.
        int32_t first = len - wp < n ? len - wp : n;
        std::memcpy(st.ring + wp, x, size_t(first) * sizeof(float));
        std::memcpy(st.ring, x + first, size_t(n - first) * sizeof(float));

        // A fresh line jumps to its target: it holds nothing that a fade could protect.
        if (!st.primed)
        {
            st.cur_delay = st.prev_delay = target;
            st.fade = 1.0f;
            st.primed = 1;
        }
        // A change that arrives while a fade runs waits until that fade has settled.
        if (st.cur_delay != target && st.fade > 0.99f)
        {
            st.fade = 1.0f - st.fade;
            st.prev_delay = st.cur_delay;
            st.cur_delay = target;
        }
        int32_t rnew = bypass ? wp : wp - st.cur_delay;
        int32_t rold = bypass ? wp : wp - st.prev_delay;
        if (rnew < 0) rnew += len;
        if (rold < 0) rold += len;

        // The weight of the new tap ramps per sample from the previous frame's value to
        // 0.9·fade + 0.1 at the frame end, so a delay change never steps at a frame edge.
        const float f0 = st.fade;
        const float f1 = 0.9f * f0 + 0.1f;
        const float step = (f1 - f0) / float(n);
        if (rnew == rold)
        {
            // Both taps coincide: no blend, so an undelayed channel passes bit-exactly.
            for (int32_t k = 0; k < n; ++k)
            {
                y[k] = g * st.ring[rnew];
                if (++rnew == len) rnew = 0;
            }
        }
        else
        {
            for (int32_t k = 0; k < n; ++k)
            {
                const float w = k == n - 1 ? f1 : f0 + step * float(k + 1);
                y[k] = g * (w * st.ring[rnew] + (1.0f - w) * st.ring[rold]);
                if (++rnew == len) rnew = 0;
                if (++rold == len) rold = 0;
            }
        }
        st.fade = f1;

        if (!bypass)
        {
            for (int32_t s = 0; s < header->num_sections; ++s)
            {
                if (p.sections[s].order != 0) ox_iir_filterNf(st.memory[s], y, y, n, p.sections[s]);
            }
        }
        wp += n;
        st.write_pos = wp >= len ? wp - len : wp;
    }
}

void ox_peq_reset(const ox_peq_header* header, ox_peq_state* state)
{
    if (!header || !state) return;
    for (int32_t c = 0; c < header->num_channels; ++c) clear_channel(&state[c]);
}

} // extern "C"
