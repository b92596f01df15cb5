#include "ox_chid.h"

#include <cmath>
#include <cstdlib>

namespace
{

const float kStartAmp = 4.0f;
const float kPif = 3.14159265f;

// Start of a channel's burst: silent sine phase, full amplitude.
void start_channel(ox_chid_state* s)
{
    s->count = 0;
    s->phase = 0.0f;
    s->amp = kStartAmp;
}

} // namespace

int ox_chid_init(ox_chid_params* p, ox_chid_state* s, int32_t framelen, int32_t nout, float fs)
{
    if (!p || !s) return -3;
    // A refused set-up leaves a silent generator that owns nothing.
    s->buf = nullptr;
    s->channel = 0;
    __atomic_store_n(&s->restart, 0, __ATOMIC_RELAXED);
    p->nout = 0;
    p->framelen = 0;
    if (framelen < 1 || nout < 1) return -3;
    if (!(fs >= 8000.0f && fs <= 192000.0f)) return -7;
    p->nout = nout;
    p->framelen = framelen;
    p->duration = int32_t(std::lround(fs));
    p->phasestep = 345.5752f / fs; // 2π · 55 Hz
    p->decay = std::exp(-1.0f / (0.1f * fs));
    ox_biquad_hpbutter2(&p->hp, 400.0f, fs);
    ox_biquad_lpbutter2(&p->lp, 3000.0f, fs);

    start_channel(s);
    s->hpstate = {0.0f, 0.0f, 0.0f, 0.0f};
    s->lpstate = {0.0f, 0.0f, 0.0f, 0.0f};
    s->channel = nout; // idle until the first reset
    s->buf = static_cast<float*>(std::calloc(size_t(framelen), sizeof(float)));
    return s->buf ? 0 : -2;
}

void ox_chid_reset(const ox_chid_params* p, ox_chid_state* s)
{
    (void)p;
    if (s) __atomic_store_n(&s->restart, 1, __ATOMIC_RELEASE);
}

void ox_chid_done(ox_chid_params* p, ox_chid_state* s)
{
    (void)p;
    if (!s) return;
    std::free(s->buf);
    s->buf = nullptr;
}

void ox_chid_process(const ox_chid_params* p, ox_chid_state* s, float* const* outputs)
{
    if (!p || !s || !s->buf) return;
    // A restart requested from another thread is taken up here, at a frame
    // boundary, so the frame never mixes old and new state.
    if (__atomic_exchange_n(&s->restart, 0, __ATOMIC_ACQ_REL))
    {
        start_channel(s);
        s->hpstate = {0.0f, 0.0f, 0.0f, 0.0f};
        s->lpstate = {0.0f, 0.0f, 0.0f, 0.0f};
        s->channel = 0;
    }
    if (s->channel < 0 || s->channel >= p->nout) return;

    const int32_t n = p->framelen;
    float* buf = s->buf;
    float phase = s->phase, amp = s->amp;
    for (int32_t i = 0; i < n; ++i)
    {
        // A rectified 55 Hz sine: a buzz with a 110 Hz fundamental.
        buf[i] = std::fabs(std::sin(phase)) * amp;
        phase += p->phasestep;
        // |sin| repeats every π; wrapping keeps the phase accurate over the
        // whole second.
        if (phase >= kPif) phase -= kPif;
        amp *= p->decay;
    }
    s->phase = phase;
    s->amp = amp;
    ox_biquad_filter(&s->hpstate, buf, buf, n, p->hp);
    ox_biquad_filter(&s->lpstate, buf, buf, n, p->lp);

    float* out = outputs ? outputs[s->channel] : nullptr;
    if (out)
        for (int32_t i = 0; i < n; ++i) out[i] += buf[i];

    s->count += n;
    if (s->count > p->duration)
    {
        // The filter memories carry on into the next channel.
        start_channel(s);
        s->channel += 1;
    }
}
