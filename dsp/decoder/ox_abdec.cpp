// Decoder interface: configuration clamping and translation, block adaption through ring buffers,
// the hand-over of new parameters to the audio thread, and the channel test.
#include "ox_abdec.h"

#include <atomic>
#include <math.h>
#include <mutex>
#include <new>
#include <stdlib.h>
#include <string.h>

#include "abdec_engine.h"
#include "ox_circbuf.h"
#include "ox_util.h"

#include "ox_chid.h"

static_assert(sizeof(ox_abdec_config) == 184 * 4, "configuration is 184 words");

namespace
{

// New parameters travel from the updating thread to the audio thread through three copies: the
// audio thread reads `front`, the updater fills `back`, and the two swap through `middle`, whose
// FRESH bit tells the audio thread that a newer copy is waiting. Nobody ever waits for anybody.
const int kFresh = 4;

} // namespace

struct ox_abdec_instance
{
    abdec_apiparams* api;
    abdec_params* params[3];
    abdec_state* state;
    abdec_smallstate* small;
    ox_circbuf* ring_in;
    ox_circbuf* ring_out;
    ox_chid_params chid_params;
    ox_chid_state chid_state;
    int32_t chid_ready;
    int32_t num_inputs;
    int32_t num_outputs;
    int32_t block_size;
    int32_t hop;

    int front;  // audio thread only
    int back;   // updater only
    int latest; // updater only: the copy published last
    std::atomic<int> middle;
    std::atomic<int> chid_restart;
    std::mutex writer; // serialises updaters and beam queries; the audio thread never takes it
};

namespace
{

enum WordKind
{
    kInt,   // int32 limited to 0..1
    kBool,  // 8-bit flag, not clamped
    kFloat, // float clamped to lo..hi; non-finite takes the default
    kOrder, // int32 limited to 0..2
};

struct WordRule
{
    int kind;
    float lo, hi, def;
};

struct Rules
{
    WordRule w[184];

    void set(int i, int kind, float lo, float hi, float def) { w[i] = {kind, lo, hi, def}; }
    void fl(int i, float lo, float hi, float def) { set(i, kFloat, lo, hi, def); }
    void in(int i, int def) { set(i, kInt, 0, 1, (float)def); }

    void group(int i, float alo, float ahi, float adef, float edef)
    {
        fl(i, 0, 100, 50);
        fl(i + 1, alo, ahi, adef);
        fl(i + 2, -120, 10, 0);
        in(i + 3, 0);
        fl(i + 4, -180, 180, edef);
    }

    Rules()
    {
        in(0, 1);
        fl(1, -180, 180, 0);
        fl(2, -180, 180, 0);
        in(3, 0);
        fl(4, -30, 30, 0);
        fl(5, 0, 100, 50);
        fl(6, -120, 10, 0);
        in(7, 0);
        fl(8, -180, 180, 0);
        group(9, 0, 90, 45, 0);
        group(14, 90, 180, 135, 0);
        group(19, 90, 180, 150, 0);
        group(24, 0, 90, 45, 35);
        group(29, 90, 180, 135, 35);
        set(34, kBool, 0, 0, 0);
        fl(35, 0, 100, 20);
        fl(36, 2, 20, 4);
        fl(37, -20, 0, -2);
        fl(38, 0, 1, 0);
        fl(39, -20, 20, 0);
        fl(40, 0, 4, 2);
        fl(41, 10, 1000, 120);
        in(42, 1);
        fl(43, -10, 10, 0);
        fl(44, -10, 10, -4);
        fl(45, 0, 100, 0);
        in(46, 0);
        fl(47, 0, 20, 0);
        fl(48, -30, 0, -6);
        in(49, 0);
        fl(50, -20, 0, -3);
        in(51, 0);
        for (int k = 0; k < 5; ++k)
        {
            fl(52 + k, -180, 180, 0);
            fl(57 + k, -90, 90, 0);
            fl(62 + k, 0, 100, 33);
            fl(67 + k, -20, 20, 0);
            fl(72 + k, 0, 1, 0.5f);
            fl(77 + k, -20, 20, 0);
            in(122 + k, 0);
            in(127 + k, 0);
            fl(132 + k, -120, 0, -10);
        }
        for (int k = 82; k < 122; ++k) fl(k, -120, 12, 0);
        set(137, kBool, 0, 0, 0);
        fl(138, -40, 10, 0);
        fl(139, 20, 1000, 50);
        set(140, kOrder, 0, 2, 2);
        set(141, kBool, 0, 0, 0);
        static const float expert[42][4] = {
            // kind (0 int, 1 float), lo, hi, default; words 142..183
            {0, 0, 1, 0},       {1, -120, 0, -30},  {1, -120, 0, -20},      {1, -120, 0, -10},
            {1, -120, 0, -60},  {0, 0, 1, 0},       {0, 0, 1, 0},           {1, -120, 0, -20},
            {0, 0, 1, 0},       {1, 0, 1, 0.5f},    {1, 0, 4, 1},           {0, 0, 1, 1},
            {1, 10, 100, 30},   {1, 1, 10, 3},      {0, 0, 1, 0},           {0, 0, 1, 0},
            {0, 0, 1, 1},       {1, 0, 1, 1},       {0, 0, 1, 1},           {1, -12, 12, -6},
            {1, 20, 1000, 105}, {1, -12, 12, 1.8f}, {1, 1000, 20000, 2400}, {0, 0, 1, 0},
            {0, 0, 1, 1},       {0, 0, 1, 1},       {0, 0, 1, 1},           {1, 1, 1000, 10},
            {1, 1, 1000, 10},   {0, 0, 1, 1},       {0, 0, 1, 0},           {1, 1, 1000, 10},
            {1, 1, 1000, 10},   {0, 0, 1, 1},       {0, 0, 1, 1},           {1, 0, 10, 1},
            {0, 0, 1, 1},       {1, 1, 1000, 10},   {1, 1, 1000, 10},       {0, 0, 1, 0},
            {1, 1, 1000, 10},   {1, 0, 10, 1},
        };
        for (int k = 0; k < 42; ++k)
            set(142 + k, expert[k][0] != 0.0f ? kFloat : kInt, expert[k][1], expert[k][2],
                expert[k][3]);
    }
};

const Rules& rules()
{
    static const Rules r;
    return r;
}

void to_words(const ox_abdec_config* c, ox_abdec_word* w)
{
    memcpy(w, c, sizeof *c);
}
void from_words(const ox_abdec_word* w, ox_abdec_config* c)
{
    memcpy(c, w, sizeof *c);
}

void clamp_words(ox_abdec_word* w)
{
    const Rules& r = rules();
    for (int i = 0; i < 184; ++i)
    {
        const WordRule& q = r.w[i];
        switch (q.kind)
        {
        case kInt:
            w[i].i = ox_clampi(w[i].i, 0, 1);
            break;
        case kOrder:
            w[i].i = ox_clampi(w[i].i, 0, 2);
            break;
        case kFloat:
            w[i].f = ox_clampf(w[i].f, q.lo, q.hi, q.def);
            break;
        default:
            break;
        }
    }
}

void default_words(ox_abdec_word* w)
{
    const Rules& r = rules();
    for (int i = 0; i < 184; ++i)
    {
        const WordRule& q = r.w[i];
        if (q.kind == kFloat)
            w[i].f = q.def;
        else
            w[i].i = (int32_t)q.def;
    }
}

bool flag8(int32_t w)
{
    return (w & 0xff) != 0;
}

void setbit(int32_t* word, int32_t bit, bool on)
{
    if (on)
        *word |= bit;
    else
        *word &= ~bit;
}

// The mute rule: a group gain below -19.9 dB mutes the group (-180 dB).
float mute_rule(float* gain, int32_t* muted)
{
    if (-19.9 > (double)*gain)
    {
        *gain = -180.0f;
        *muted = 1;
        return -180.0f;
    }
    *muted = 0;
    return *gain;
}

void group_to_api(abdec_groupapi* g, float focus, float* gain, int32_t* muted, float elevation,
                  bool beams)
{
    g->focus = beams ? focus * 0.03f : 1.0f - 0.01f * focus;
    g->gain = mute_rule(gain, muted);
    g->elevation = elevation;
}

// Configuration word n of the expert words (142..183), as a flag or a value.
bool expert_flag(const ox_abdec_config* c, int n)
{
    return c->expert[n - 142].i != 0;
}
float expert_value(const ox_abdec_config* c, int n)
{
    return c->expert[n - 142].f;
}

// Speaker groups (with the mute rule, which writes back into the configuration), angles, back
// shelves, LFE and cross-over.
void translate_groups(ox_abdec_config* c, abdec_apiparams* a)
{
    const bool beams = c->focus_mode != 0;
    a->rotation = c->rotation;
    a->elevation = c->elevation;
    a->input_gain = c->input_gain;
    group_to_api(&a->center, c->center.focus, &c->center.gain, &c->center.muted,
                 c->center.elevation, beams);
    group_to_api(&a->front, c->front.focus, &c->front.gain, &c->front.muted, c->front.elevation,
                 beams);
    group_to_api(&a->surround, c->surround.focus, &c->surround.gain, &c->surround.muted,
                 c->surround.elevation, beams);
    group_to_api(&a->rear, c->rear.focus, &c->rear.gain, &c->rear.muted, c->rear.elevation, beams);
    group_to_api(&a->frontH, c->frontH.focus, &c->frontH.gain, &c->frontH.muted,
                 c->frontH.elevation, beams);
    group_to_api(&a->surroundH, c->surroundH.focus, &c->surroundH.gain, &c->surroundH.muted,
                 c->surroundH.elevation, beams);
    a->front_angle = c->front.angle;
    a->surround_angle = c->surround.angle;
    a->frontH_angle = c->frontH.angle;
    a->surroundH_angle = c->surroundH.angle;
    a->rear_angle = c->rear.angle;
    for (int k = 0; k < 3; ++k)
    {
        a->back_shelf[k].delay = c->back_delay;
        a->back_shelf[k].gain = c->back_HS_gain;
        a->back_shelf[k].freq = c->back_HS_freq * 1000.0f;
    }
    a->lfe_gain = c->lfe_gain;
    a->lfe_order = (int32_t)c->lfe_order;
    a->lfe_freq = c->lfe_freq;
    a->xover_order = c->xover_order + 2;
    a->xover_gain = c->xover_gain;
    a->xover_freq = c->xover_freq;
}

// The engine's mode bits.
void translate_mode(const ox_abdec_config* c, abdec_apiparams* a)
{
    auto xi = [&](int n) { return expert_flag(c, n); };
    const bool beams = c->focus_mode != 0;
    int32_t m = a->mode;
    setbit(&m, ABDEC_MODE_BEAMS, beams);
    setbit(&m, ABDEC_MODE_GROUPELEV, c->elevation_mode != 0);
    setbit(&m, 0x3f0, flag8(c->back_del_sh));
    setbit(&m, ABDEC_MODE_LFE, c->spectral_option != 0.0f);
    setbit(&m, ABDEC_MODE_BEQ, c->extra_on != 0);
    setbit(&m, ABDEC_MODE_XOVER, flag8(c->xover_on));
    setbit(&m, ABDEC_MODE_XOVER_INV, flag8(c->xover_inv));
    setbit(&m, ABDEC_MODE_PAIRFOCUS, xi(156));
    setbit(&m, ABDEC_MODE_CENTRESPREAD, xi(165));
    a->mode = m;
}

// Capsule conversion, beamformer and decorrelator settings from the expert words.
void translate_spectral(const ox_abdec_config* c, abdec_apiparams* a)
{
    auto xi = [&](int n) { return expert_flag(c, n); };
    auto xf = [&](int n) { return expert_value(c, n); };
    setbit(&a->a2b.flags, 0x2, c->a2b_option != 0);
    setbit(&a->a2b.flags, 0x8, xi(176));
    setbit(&a->a2b.flags, 0x10, xi(178));
    setbit(&a->a2b.flags, 0x20, xi(178) && xi(181));
    a->a2b.attack_time = xf(179);
    a->a2b.release_time = xf(180);
    a->a2b.coherence_exponent = xf(183);
    a->a2b.coherence_time = xf(182);
    {
        ox_bf_cfg* b = &a->bf;
        setbit(&b->mode, 0x20000000, xi(142));
        setbit(&b->mode, 0x4, xi(150));
        setbit(&b->mode, 0x2, xi(157));
        setbit(&b->mode, 0x10, xi(168));
        setbit(&b->mode, 0x40, xi(172));
        setbit(&b->mode, 0x80, xi(175));
        setbit(&b->mode, 0x8, xi(167) && xi(166));
        setbit(&b->mode, 0x20, xi(171) && xi(166));
        b->beam_gain = c->beam_gain;
        b->diffuse_level = xf(143);
        b->gain_floor = xf(146);
        b->eigen_floor = xf(149);
        b->direct_floor = xi(147) ? -180.0f : xf(144);
        b->coherence = xf(151);
        b->diffuse_scale = xf(152);
        b->diffuse_out_level = xi(148) ? -180.0f : xf(145);
        b->diffuse_mix = c->diffgain;
        b->cross_attack_time = xf(169);
        b->cross_release_time = xf(170);
        b->weight_attack_time = xf(173);
        b->weight_release_time = xf(174);
        b->coherence_exponent = xf(177);
    }
    setbit(&a->decorr.mode, 0x2, xi(153));
    a->decorr.amount = c->diffdecorr;
    a->decorr.filter_time = xf(154);
    a->decorr.exponent = xf(155);
}

// Beam equalisers, binaural renderer and compressor-limiter.
void translate_output(const ox_abdec_config* c, abdec_apiparams* a)
{
    auto xi = [&](int n) { return expert_flag(c, n); };
    auto xf = [&](int n) { return expert_value(c, n); };
    for (int k = 0; k < 5; ++k)
    {
        ox_beq_cfg* q = &a->beq[k];
        setbit(&q->mode, 0x1, c->extra_flag_a[k] != 0);
        setbit(&q->mode, 0x2, c->extra_flag_b[k] != 0);
        q->focus = c->extra_focus[k] * 0.03f;
        q->azimuth = c->extra_azimuth[k];
        q->elevation = c->extra_elevation[k];
        q->diffuse_coherence = c->extra_pattern[k];
        q->beam_gain = c->extra_gain2[k];
        for (int j = 0; j < 8; ++j) q->eq[j] = c->extra_eq[8 * k + j];
        q->eq_gain = c->extra_gain[k];
        q->level = c->extra_level[k];
    }
    setbit(&a->hrtf.mode, 0x20, !xi(158));
    setbit(&a->hrtf.mode, 0x40, xi(160));
    a->hrtf.spectral_amount = xf(159);
    a->hrtf.low_freq = xf(162);
    a->hrtf.low_gain = xf(161);
    a->hrtf.high_freq = xf(164);
    a->hrtf.high_gain = xf(163);
    a->complim.gain = c->compressor_gain;
    a->complim.threshold = c->compressor_threshold;
    a->complim.ceiling = c->limiter_ceiling;
    setbit(&a->limiter_flags, 0x1, c->compressor_on != 0);
    setbit(&a->limiter_flags, 0x6, c->limiter_on != 0);
}

// Translates the clamped configuration into the API parameter block.
void translate(ox_abdec_config* c, abdec_apiparams* a)
{
    translate_groups(c, a);
    translate_mode(c, a);
    translate_spectral(c, a);
    translate_output(c, a);
}

// Prepares a new parameter copy from the API block and publishes it. Caller holds the writer lock.
int publish(ox_abdec_instance* h)
{
    abdec_params* dst = h->params[h->back];
    abdec_copyparams(dst, h->params[h->latest]);
    int r = abdec_updateparams(dst, h->state, h->api);
    h->latest = h->back;
    h->back = h->middle.exchange(h->back | kFresh, std::memory_order_acq_rel) & 3;
    return r;
}

// Audio thread, at a frame boundary: take over the newest parameters and a channel-test restart.
const abdec_params* frame_params(ox_abdec_instance* h)
{
    if (h->middle.load(std::memory_order_acquire) & kFresh)
        h->front = h->middle.exchange(h->front, std::memory_order_acq_rel) & 3;
    if (h->chid_restart.load(std::memory_order_relaxed) &&
        h->chid_restart.exchange(0, std::memory_order_acquire))
        ox_chid_reset(&h->chid_params, &h->chid_state);
    return h->params[h->front];
}

void run_frame(ox_abdec_instance* h, const float* const* in, float* const* out)
{
    const abdec_params* p = frame_params(h);
    abdec_audioprocess(p, h->state, h->small, in, out);
    if (h->chid_ready) ox_chid_process(&h->chid_params, &h->chid_state, out);
}

void free_all(ox_abdec_instance* h)
{
    if (!h) return;
    if (h->ring_in || h->ring_out) ox_circbuf_destroy2(h->ring_in, h->ring_out);
    if (h->params[0] && h->state && h->small)
        abdec_done(h->params[0], h->state, h->small);
    else if (h->params[0])
        ox_fft_release(&h->params[0]->fft);
    for (int k = 1; k < 3; ++k) abdec_freeparams(h->params[k]);
    for (auto& p : h->params) free(p);
    free(h->api);
    free(h->state);
    free(h->small);
    free(h->ring_in);
    free(h->ring_out);
    if (h->chid_ready) ox_chid_done(&h->chid_params, &h->chid_state);
    h->~ox_abdec_instance();
    free(h);
}

int build(ox_abdec_instance* h, ox_abdec_setup* setup, ox_abdec_config* config)
{
    if (!(h->api = (abdec_apiparams*)calloc(1, sizeof(abdec_apiparams)))) return -2;
    for (auto& p : h->params)
        if (!(p = (abdec_params*)calloc(1, sizeof(abdec_params)))) return -2;
    if (!(h->state = (abdec_state*)calloc(1, sizeof(abdec_state)))) return -2;
    if (!(h->small = (abdec_smallstate*)calloc(1, sizeof(abdec_smallstate)))) return -2;
    if (!(h->ring_in = (ox_circbuf*)calloc(1, sizeof(ox_circbuf)))) return -2;
    if (!(h->ring_out = (ox_circbuf*)calloc(1, sizeof(ox_circbuf)))) return -2;

    abdec_ioparams io;
    abdec_defaultapiparams(h->api, &io, 0);
    setup->hop = 0;
    setup->fft_size = 0;
    abdec_frameparams frame;
    abdec_defaultframeparams(&frame, 0, 0, setup->sample_rate);
    io.sample_rate = setup->sample_rate;
    io.max_inputs = 4;
    io.input_format = formatIndexIn[setup->input_format];
    io.output_format = setup->output_format;
    io.input_tag = 66;
    io.output_tag = 66;
    io.binaural = setup->binaural & 0xff;
    io.direction_resolution = setup->direction_resolution;

    h->api->a2b.spacing = setup->mic_spacing;
    h->api->bf.spacing = setup->mic_spacing;
    int r = abdec_init(h->params[0], h->state, h->small, &frame, h->api, &io);
    if (r != 0) return r;
    const abdec_params* p = h->params[0];
    for (int k = 1; k < 3; ++k)
        if ((r = abdec_allocparams(h->params[k], p)) != 0) return r;
    h->front = 0;
    h->middle.store(1);
    h->back = 2;
    h->latest = 0;

    setup->num_inputs = p->num_inputs;
    setup->num_outputs = p->num_binaural ? 2 : p->num_channels;
    setup->num_beams = p->num_speakers;
    setup->num_directions = p->bhist.num_bins_h;
    setup->fft_size = frame.fftsize;
    setup->hop = frame.hop;
    h->num_inputs = setup->num_inputs;
    h->num_outputs = setup->num_outputs;
    h->hop = frame.hop;
    h->block_size = setup->block_size;

    if ((r = ox_abdec_updateconfig(h, config)) != 0) return r;

    uint64_t latency = 0;
    r = ox_circbuf_smartinit2(h->ring_in, h->ring_out, (uint64_t)h->num_inputs,
                              (uint64_t)h->num_outputs, (uint64_t)setup->block_size,
                              (uint64_t)frame.hop, 1, NULL, &latency);
    if (r != 0) return r;
    setup->latency = (int32_t)latency + frame.hop;
    setup->tail = (int32_t)(200.0f * setup->sample_rate / 1000.0f);

    if ((r = ox_chid_init(&h->chid_params, &h->chid_state, frame.hop, h->num_outputs,
                          setup->sample_rate)) != 0)
        return r;
    h->chid_ready = 1;
    return 0;
}

} // namespace

extern "C" {

int ox_abdec_defaultconfig(ox_abdec_setup* setup, ox_abdec_config* config)
{
    if (setup)
    {
        memset(setup, 0, sizeof *setup);
        setup->sample_rate = 48000.0f;
        setup->mic_spacing = 24.0f;
        setup->direction_resolution = 10.0f;
        setup->input_format = 0;
        setup->output_format = 4;
        setup->binaural = 0;
        setup->block_size = 480;
    }
    if (config)
    {
        ox_abdec_word w[184];
        default_words(w);
        from_words(w, config);
    }
    return 0;
}

int ox_abdec_init(ox_abdec_handle* handle_out, ox_abdec_setup* setup, ox_abdec_config* config)
{
    if (!handle_out) return -1;
    *handle_out = NULL;
    if (!setup || !config) return -1;
    if (setup->input_format < 0 || setup->input_format >= OX_ABDEC_NUM_INPUT_FORMATS ||
        setup->output_format < 0 || setup->output_format >= OX_ABDEC_NUM_OUTPUT_FORMATS)
        return -8;
    if (!ox_isfinitef(setup->sample_rate)) return -7;
    if (setup->block_size < 1) return -3;
    setup->mic_spacing = ox_clampf(setup->mic_spacing, 0.0f, 100.0f, 0.0f);
    setup->direction_resolution = ox_clampf(setup->direction_resolution, 5.0f, 45.0f, 10.0f);

    void* mem = calloc(1, sizeof(ox_abdec_instance));
    if (!mem) return -1;
    ox_abdec_instance* h = new (mem) ox_abdec_instance();
    int r = build(h, setup, config);
    if (r != 0)
    {
        free_all(h);
        return r;
    }
    *handle_out = h;
    return 0;
}

int ox_abdec_updateconfig(ox_abdec_handle h, ox_abdec_config* config)
{
    if (!h || !config) return -1;
    std::lock_guard<std::mutex> lock(h->writer);
    ox_abdec_word w[184];
    to_words(config, w);
    clamp_words(w);
    from_words(w, config);
    translate(config, h->api);
    return publish(h);
}

void ox_abdec_process_var(ox_abdec_handle h, int nframes, const float* const* in, float* const* out)
{
    if (!h || !in || !out || nframes <= 0) return;
    const float* inp[ABDEC_MAX_INPUTS];
    float* outp[OX_ABDEC_MAX_SPEAKERS];
    float* rin[ABDEC_MAX_INPUTS];
    float* rout[OX_ABDEC_MAX_SPEAKERS];
    const uint64_t hop = (uint64_t)h->hop;
    int done = 0;
    // Longer host blocks than announced are cut into pieces the rings can hold.
    while (done < nframes)
    {
        int n = nframes - done;
        if (n > h->block_size) n = h->block_size;
        for (int c = 0; c < h->num_inputs; ++c) inp[c] = in[c] + done;
        for (int c = 0; c < h->num_outputs; ++c) outp[c] = out[c] + done;
        ox_circbuf_pushN(h->ring_in, inp, (uint64_t)n);
        while (ox_circbuf_readN(h->ring_in, rin) >= (int32_t)hop)
        {
            if (ox_circbuf_writeN(h->ring_out, rout) < (int32_t)hop) break;
            run_frame(h, rin, rout);
            ox_circbuf_popN(h->ring_in, NULL, hop);
            ox_circbuf_pushN(h->ring_out, NULL, hop);
        }
        ox_circbuf_popN(h->ring_out, outp, (uint64_t)n);
        done += n;
    }
}

void ox_abdec_process(ox_abdec_handle h, const float* const* in, float* const* out)
{
    if (!h || !in || !out) return;
    run_frame(h, in, out);
}

int ox_abdec_audioreset(ox_abdec_handle h)
{
    if (!h) return -1;
    return abdec_audioreset(h->params[h->front], h->state);
}

void ox_abdec_done(ox_abdec_handle h)
{
    free_all(h);
}

void ox_abdec_channel_test(ox_abdec_handle h)
{
    if (h) h->chid_restart.store(1, std::memory_order_release);
}

int ox_abdec_beamids(ox_abdec_handle h, const ox_abdec_setup* setup, const ox_abdec_config* config,
                     ox_abdec_beamid* out)
{
    (void)setup;
    (void)config;
    if (!h || !out) return 0;
    std::lock_guard<std::mutex> lock(h->writer);
    const abdec_params* p = h->params[h->latest];
    abdec_beamids(p, h->api, out);
    return p->num_speakers;
}

int ox_abdec_beamresponses(ox_abdec_handle h, const ox_abdec_setup* setup,
                           const ox_abdec_config* config, ox_abdec_beamresponse* out, float angle)
{
    (void)setup;
    (void)config;
    if (!h || !out) return 0;
    std::lock_guard<std::mutex> lock(h->writer);
    const abdec_params* p = h->params[h->latest];
    abdec_beamresponses(p, h->api, out, angle);
    return p->num_speakers;
}

} // extern "C"
