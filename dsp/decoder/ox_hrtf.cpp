#include "ox_hrtf.h"

#include "ox_blockutil.h"
#include "ox_util.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace
{

constexpr float kPi = 3.1415927f;
constexpr float kDegToRad = 0.017453292f;
constexpr float kRadToDeg = 180.0f / kPi;

// Speed of sound (m/s) of the spherical-head delay model.
constexpr float kSoundSpeed = 340.0f;
// Design frequencies stay below this fraction of the sample rate: at 32 kHz and
// below several equaliser sections would otherwise sit on half the sample rate.
constexpr float kMaxDesignFraction = 0.45f;
// Gain of a source that the panning mode spreads over both ears.
constexpr float kPanCentre = 0.71f;
// Written into the current delays before the first update, so that the
// hysteresis cannot hold any delay: every one is rounded afresh.
constexpr int32_t kUnsetDelay = 10000;

// Defaults, also taken by fields that arrive non-finite.
constexpr float kSpectralAmount = 1.0f;
constexpr float kHeadSize = 140.0f;
constexpr float kEarDistance = 210.0f;
constexpr float kLowFreq = 105.0f;
constexpr float kLowGain = -6.0f;
constexpr float kHighFreq = 2500.0f;
constexpr float kHighGain = 1.8f;

// 4th-order Lagrange interpolation weights: row f + 10 reads the signal at
// position 2 + f/10 between the five taps (row 10 is the pure 2-sample delay).
struct FracTable
{
    float tap[21][OX_HRTF_FRAC_TAPS];
};

constexpr FracTable make_frac_table()
{
    FracTable t{};
    for (int f = -10; f <= 10; ++f)
    {
        const double p = 2.0 + f / 10.0;
        for (int k = 0; k < OX_HRTF_FRAC_TAPS; ++k)
        {
            double w = 1.0;
            for (int j = 0; j < OX_HRTF_FRAC_TAPS; ++j)
                if (j != k) w *= (p - j) / (k - j);
            t.tap[f + 10][k] = (float)w;
        }
    }
    return t;
}

constexpr FracTable kFrac = make_frac_table();

using oxblk::finite_or_zero;

// Into -180..180 by a remainder (a loop of ±360 would never end for a huge
// angle); a non-finite angle counts as 0.
float wrap180(float a)
{
    return std::remainder(finite_or_zero(a), 360.0f);
}

bool valid_rate(float fs)
{
    return std::isfinite(fs) && fs > 0.0f && fs <= OX_HRTF_MAX_SAMPLE_RATE;
}

// Largest whole delay that the history of a renderer at this rate holds.
int32_t max_delay_for(float fs)
{
    const int32_t d = (int32_t)std::ceil((double)fs * OX_HRTF_MAX_DELAY_MS / 1000.0);
    return d > OX_HRTF_MIN_MAX_DELAY ? d : OX_HRTF_MIN_MAX_DELAY;
}

// Azimuth warp with exponent q: stretches or squeezes the front-side and the
// side-back quadrants while 0, ±90 and ±180 stay where they are. Mirror
// symmetric: warp(-a) == -warp(a) exactly.
float warp_azimuth(float a, double q)
{
    if (a > 0.0f && a < 90.0f) return (float)(90.0 * std::pow(a / 90.0, q));
    if (a < 0.0f && a > -90.0f) return (float)(-90.0 * std::pow(a / -90.0, q));
    if (a > 90.0f && a < 180.0f) return (float)(180.0 - 90.0 * std::pow((180.0 - a) / 90.0, q));
    if (a < -90.0f && a > -180.0f) return (float)(-180.0 + 90.0 * std::pow((a + 180.0) / 90.0, q));
    return a;
}

float design_freq(float f, float fs)
{
    const float fmax = kMaxDesignFraction * fs;
    return f < fmax ? f : fmax;
}

// The azimuth-dependent family for angle phi (0..180) with amount A; a negated
// amount gives the inverse family (used for the reference).
void design_azimuth_family(ox_biquad_coeffs* c, float phi, float A, float fs)
{
    const float d120 = phi - 120.0f, d150 = phi - 150.0f, d90 = phi - 90.0f, d180 = phi - 180.0f;
    ox_biquad_lfshelving2(&c[0], design_freq(1000.0f, fs), (3.0f - 0.000208f * d120 * d120) * A,
                          fs);
    ox_biquad_peaking(&c[1], design_freq(4000.0f - 0.1f * d150 * d150, fs),
                      (0.000222f * d150 * d150 - 5.0f) * A, 2.5f - 0.01f * phi, fs);
    ox_biquad_peaking(&c[2], design_freq(6000.0f + 15.0f * phi, fs),
                      (9.0f - 0.00111f * d90 * d90) * A, 2.0f + 0.025f * phi, fs);
    ox_biquad_peaking(&c[3], design_freq(16000.0f - 0.25f * d180 * d180, fs),
                      (0.000246f * d180 * d180 - 8.0f) * A, 1.4f + 0.0006f * (180.0f - phi), fs);
    ox_biquad_hfshelving2(&c[4], design_freq(16000.0f + 20.0f * phi, fs),
                          (2.0f - 0.000246f * d90 * d90) * A, fs);
}

// The elevation-dependent family for warped elevation eps (-90..90), front/back
// weight P (+1 in front, -1 behind, 0 at the sides) and amount A. Every gain is
// exactly 0 at elevation 0 (the constants 1/18 and 1/22.5 are kept exact).
void design_elevation_family(ox_biquad_coeffs* c, float eps, float P, float A, float fs)
{
    const float eta = 90.0f * P + eps;
    const float pe = P * eta;
    const float up = eps + 90.0f;
    ox_biquad_peaking(&c[0], design_freq(800.0f, fs), -0.0018f * eps * eps * A, 2.0f - 0.005f * eps,
                      fs);
    ox_biquad_peaking(&c[1], design_freq(800.0f, fs), 0.002f * eps * eps * A, 4.0f, fs);
    ox_biquad_peaking(&c[2], design_freq(5000.0f + 15.0f * pe, fs), (up / 18.0f - 5.0f) * A * P,
                      2.0f, fs);
    ox_biquad_peaking(&c[3], design_freq(7500.0f + 25.0f * pe, fs), (4.0f - up / 22.5f) * A * P,
                      2.0f - 0.005f * pe, fs);
    ox_biquad_hfshelving2(&c[4], design_freq(10000.0f + 50.0f * pe, fs),
                          (up / 22.5f - 4.0f) * A * P, fs);
}

// First-order head-shadow shelf g·(w0 + alpha·s)/(w0 + s), bilinear with the
// corner prewarped: gain g at 0 Hz, g·alpha towards high frequencies.
ox_iir_cf1 shadow_section(double w0, double K, double alpha, double g)
{
    ox_iir_cf1 c;
    c.b0 = (float)(g * (w0 + alpha * K) / (w0 + K));
    c.b1 = (float)(g * (w0 - alpha * K) / (w0 + K));
    c.a1 = (float)((w0 - K) / (w0 + K));
    return c;
}

// Whole delay with hysteresis: it only follows the exact delay once that is a
// full sample away, so slow head movements do not toggle it. Returns the
// fraction left over, in tenths of a sample.
int32_t follow_delay(float exact, int32_t* cur, int32_t* delay)
{
    if (std::fabs((float)*cur - exact) >= 1.0f) *cur = (int32_t)std::lround(exact);
    *delay = *cur;
    return ox_clampi((int32_t)std::lround((exact - (float)*delay) * 10.0f), -10, 10);
}

// Samples i0 .. i0 + len − 1 of one source delayed by d samples (history before
// x[0]), through the fractional-delay row `frac` when fractional is set, into
// out[0 .. len − 1].
void delayed_span(const float* hist, int32_t H, const float* x, int32_t i0, int32_t len, int32_t d,
                  int fractional, int32_t frac, float* out)
{
    if (!fractional)
    {
        for (int32_t i = 0; i < len; ++i)
        {
            const int32_t m = i0 + i - d;
            out[i] = m >= 0 ? x[m] : hist[H + m];
        }
        return;
    }
    const float* tap = kFrac.tap[ox_clampi(frac, -10, 10) + 10];
    for (int32_t i = 0; i < len; ++i)
    {
        const int32_t m = i0 + i - d; // newest tap reads x[m]
        float y = 0.0f;
        if (m >= OX_HRTF_FRAC_TAPS - 1)
        {
            for (int k = 0; k < OX_HRTF_FRAC_TAPS; ++k) y += tap[k] * x[m - k];
        }
        else
        {
            for (int k = 0; k < OX_HRTF_FRAC_TAPS; ++k)
            {
                const int32_t idx = m - k;
                y += tap[k] * (idx >= 0 ? x[idx] : hist[H + idx]);
            }
        }
        out[i] = y;
    }
}

// Keeps the last H samples of the stream: the history followed by x.
void push_history(float* hist, int32_t H, const float* x, int32_t n)
{
    if (n >= H)
    {
        std::memcpy(hist, x + (n - H), sizeof(float) * (size_t)H);
        return;
    }
    std::memmove(hist, hist + n, sizeof(float) * (size_t)(H - n));
    std::memcpy(hist + (H - n), x, sizeof(float) * (size_t)n);
}

void clear_memories(ox_hrtf_state* s)
{
    std::memset(s->shadow_mem_left, 0, sizeof s->shadow_mem_left);
    std::memset(s->shadow_mem_right, 0, sizeof s->shadow_mem_right);
    std::memset(s->eq_mem_reference, 0, sizeof s->eq_mem_reference);
    std::memset(s->eq_mem_azimuth, 0, sizeof s->eq_mem_azimuth);
    std::memset(s->eq_mem_elevation, 0, sizeof s->eq_mem_elevation);
    std::memset(s->tone_mem, 0, sizeof s->tone_mem);
    if (s->history && s->history_len > 0)
        std::memset(s->history, 0,
                    sizeof(float) * (size_t)s->history_len * (size_t)OX_HRTF_MAX_SOURCES);
}

void copy_delays(const ox_hrtf_params* p, ox_hrtf_state* s)
{
    std::memcpy(s->cur_delay_left, p->delay_left, sizeof s->cur_delay_left);
    std::memcpy(s->cur_delay_right, p->delay_right, sizeof s->cur_delay_right);
}

// ---- Spectral equaliser, four sources at a time ----------------------------
//
// Each source runs 15 second-order sections in series. Filtering them section
// by section waits on the latency of every recursion in turn; instead four
// sources share one vector (one source per lane) and every sample passes all
// 15 sections before the next, so the sections of one sample overlap with the
// recursions of the neighbouring ones. Each lane does exactly the scalar
// direct-form-I arithmetic (same operations in the same order, no
// contraction), so the output is bit-identical to filtering section by
// section; so is the non-finite reset of a section's memory at the end of the
// frame.

typedef float v4f __attribute__((vector_size(16)));
constexpr int kLanes = 4;
constexpr int kEqTotal = 3 * OX_HRTF_EQ_SECTIONS;
constexpr int32_t kEqChunk = 64; // samples transposed per pass (stack buffer)

struct LaneSection
{
    v4f b0, b1, b2, a1, a2, x1, x2, y1, y2;
};

// One sample through sections sec[0 .. count-1] in turn (direct form I, the
// sum in the order of ox_biquad_filter).
inline v4f cascade(LaneSection* sec, int count, v4f v)
{
    for (int k = 0; k < count; ++k)
    {
        LaneSection& q = sec[k];
        const v4f y = q.b0 * v + q.b1 * q.x1 + q.b2 * q.x2 - q.a1 * q.y1 - q.a2 * q.y2;
        q.x2 = q.x1;
        q.x1 = v;
        q.y2 = q.y1;
        q.y1 = y;
        v = y;
    }
    return v;
}

// Lane l of q takes the coefficients c and the memory st.
void load_lane(LaneSection& q, int l, const ox_biquad_coeffs& c, const ox_biquad_state& st)
{
    q.b0[l] = c.b0;
    q.b1[l] = c.b1;
    q.b2[l] = c.b2;
    q.a1[l] = c.a1;
    q.a2[l] = c.a2;
    q.x1[l] = st.x1;
    q.x2[l] = st.x2;
    q.y1[l] = st.y1;
    q.y2[l] = st.y2;
}

// The memory of lane l back into st, cleared when it has turned non-finite
// (as ox_biquad_filter does).
void store_lane(const LaneSection& q, int l, ox_biquad_state& st)
{
    const float x1 = q.x1[l], x2 = q.x2[l], y1 = q.y1[l], y2 = q.y2[l];
    const bool ok =
        std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y1) && std::isfinite(y2);
    st = ok ? ox_biquad_state{x1, x2, y1, y2} : ox_biquad_state{0.0f, 0.0f, 0.0f, 0.0f};
}

// Section k of source j: azimuth family, elevation family, then the reference.
const ox_biquad_coeffs& eq_coeffs(const ox_hrtf_params* p, int32_t j, int k)
{
    if (k < OX_HRTF_EQ_SECTIONS) return p->azimuth_eq[j][k];
    if (k < 2 * OX_HRTF_EQ_SECTIONS) return p->elevation_eq[j][k - OX_HRTF_EQ_SECTIONS];
    return p->reference_eq[k - 2 * OX_HRTF_EQ_SECTIONS];
}

ox_biquad_state& eq_memory(ox_hrtf_state* s, int32_t j, int k)
{
    if (k < OX_HRTF_EQ_SECTIONS) return s->eq_mem_azimuth[j][k];
    if (k < 2 * OX_HRTF_EQ_SECTIONS) return s->eq_mem_elevation[j][k - OX_HRTF_EQ_SECTIONS];
    return s->eq_mem_reference[j][k - 2 * OX_HRTF_EQ_SECTIONS];
}

// Equalises in place the m (1..4) sources listed in src.
void equalise_group(const ox_hrtf_params* p, ox_hrtf_state* s, float* const* in, const int32_t* src,
                    int m, int32_t n)
{
    LaneSection sec[kEqTotal];
    std::memset(sec, 0, sizeof sec); // idle lanes: zero coefficients, zero signal
    for (int k = 0; k < kEqTotal; ++k)
        for (int l = 0; l < m; ++l)
            load_lane(sec[k], l, eq_coeffs(p, src[l], k), eq_memory(s, src[l], k));

    v4f buf[kEqChunk];
    for (int32_t i0 = 0; i0 < n; i0 += kEqChunk)
    {
        const int32_t len = n - i0 < kEqChunk ? n - i0 : kEqChunk;
        std::memset(buf, 0, sizeof buf);
        for (int l = 0; l < m; ++l)
        {
            const float* x = in[src[l]] + i0;
            for (int32_t i = 0; i < len; ++i) buf[i][l] = x[i];
        }
        // Four samples per pass through the sections: each section's
        // coefficients and memory are loaded and stored once for all four.
        int32_t i = 0;
        for (; i + 4 <= len; i += 4)
        {
            v4f v0 = buf[i], v1 = buf[i + 1], v2 = buf[i + 2], v3 = buf[i + 3];
            for (int k = 0; k < kEqTotal; ++k)
            {
                LaneSection& q = sec[k];
                const v4f b0 = q.b0, b1 = q.b1, b2 = q.b2, a1 = q.a1, a2 = q.a2;
                const v4f u0 = b0 * v0 + b1 * q.x1 + b2 * q.x2 - a1 * q.y1 - a2 * q.y2;
                const v4f u1 = b0 * v1 + b1 * v0 + b2 * q.x1 - a1 * u0 - a2 * q.y1;
                const v4f u2 = b0 * v2 + b1 * v1 + b2 * v0 - a1 * u1 - a2 * u0;
                const v4f u3 = b0 * v3 + b1 * v2 + b2 * v1 - a1 * u2 - a2 * u1;
                q.x2 = v2;
                q.x1 = v3;
                q.y2 = u2;
                q.y1 = u3;
                v0 = u0;
                v1 = u1;
                v2 = u2;
                v3 = u3;
            }
            buf[i] = v0;
            buf[i + 1] = v1;
            buf[i + 2] = v2;
            buf[i + 3] = v3;
        }
        for (; i < len; ++i)
        {
            buf[i] = cascade(sec, kEqTotal, buf[i]);
        }
        for (int l = 0; l < m; ++l)
        {
            float* x = in[src[l]] + i0;
            for (int32_t i = 0; i < len; ++i) x[i] = buf[i][l];
        }
    }

    for (int k = 0; k < kEqTotal; ++k)
        for (int l = 0; l < m; ++l) store_lane(sec[k], l, eq_memory(s, src[l], k));
}

// Equalises every present source in place, four at a time.
void equalise(const ox_hrtf_params* p, ox_hrtf_state* s, float* const* in, int32_t ns, int32_t n)
{
    int32_t src[kLanes];
    int m = 0;
    for (int32_t j = 0; j < ns; ++j)
    {
        if (!in[j]) continue;
        src[m++] = j;
        if (m == kLanes)
        {
            equalise_group(p, s, in, src, m, n);
            m = 0;
        }
    }
    if (m > 0) equalise_group(p, s, in, src, m, n);
}

// ---- Ears, four (source, ear) pairs at a time ------------------------------
//
// The head-shadow shelf is a first-order recursion per source and ear; as with
// the equaliser, four of them share one vector. The pairs are taken in the
// order source 0 left, source 0 right, source 1 left, ... and added to the ear
// signals in that order, so every ear sums its sources in ascending order.

struct EarLane
{
    int32_t source;
    int ear;
};

void render_group(const ox_hrtf_params* p, ox_hrtf_state* s, float* const* in, float* const* out,
                  const EarLane* lane, int m, int32_t n, int32_t max_delay)
{
    const int32_t H = s->history_len;
    v4f b0 = {}, b1 = {}, a1 = {}, x1 = {}, y1 = {};
    for (int l = 0; l < m; ++l)
    {
        const int32_t j = lane[l].source;
        const ox_iir_cf1& c = lane[l].ear == 0 ? p->shadow_left[j] : p->shadow_right[j];
        const float* st = lane[l].ear == 0 ? s->shadow_mem_left[j] : s->shadow_mem_right[j];
        b0[l] = c.b0;
        b1[l] = c.b1;
        a1[l] = c.a1;
        x1[l] = st[0];
        y1[l] = st[1];
    }

    float span[kEqChunk];
    v4f buf[kEqChunk];
    for (int32_t i0 = 0; i0 < n; i0 += kEqChunk)
    {
        const int32_t len = n - i0 < kEqChunk ? n - i0 : kEqChunk;
        std::memset(buf, 0, sizeof buf);
        for (int l = 0; l < m; ++l)
        {
            const int32_t j = lane[l].source;
            const int ear = lane[l].ear;
            const int32_t d =
                ox_clampi(ear == 0 ? p->delay_left[j] : p->delay_right[j], 0, max_delay);
            const int32_t frac = ear == 0 ? p->frac_left[j] : p->frac_right[j];
            delayed_span(s->history + (size_t)j * (size_t)H, H, in[j], i0, len, d,
                         p->fractional_delay, frac, span);
            for (int32_t i = 0; i < len; ++i) buf[i][l] = span[i];
        }
        for (int32_t i = 0; i < len; ++i)
        {
            const v4f x = buf[i];
            const v4f y = b0 * x + b1 * x1 - a1 * y1;
            x1 = x;
            y1 = y;
            buf[i] = y;
        }
        for (int32_t i = 0; i < len; ++i)
            for (int l = 0; l < m; ++l) out[lane[l].ear][i0 + i] += buf[i][l];
    }

    for (int l = 0; l < m; ++l)
    {
        const int32_t j = lane[l].source;
        float* st = lane[l].ear == 0 ? s->shadow_mem_left[j] : s->shadow_mem_right[j];
        const bool ok = std::isfinite(x1[l]) && std::isfinite(y1[l]);
        st[0] = ok ? x1[l] : 0.0f;
        st[1] = ok ? y1[l] : 0.0f;
    }
}

void render_ears(const ox_hrtf_params* p, ox_hrtf_state* s, float* const* in, float* const* out,
                 int32_t ns, int32_t n, int32_t max_delay)
{
    EarLane lane[kLanes];
    int m = 0;
    for (int32_t j = 0; j < ns; ++j)
    {
        if (!in[j]) continue;
        for (int ear = 0; ear < 2; ++ear)
        {
            const int skip = ear == 0 ? OX_HRTF_MODE_NO_LEFT : OX_HRTF_MODE_NO_RIGHT;
            if ((p->mode & skip) || !out[ear]) continue;
            lane[m++] = {j, ear};
            if (m == kLanes)
            {
                render_group(p, s, in, out, lane, m, n, max_delay);
                m = 0;
            }
        }
    }
    if (m > 0) render_group(p, s, in, out, lane, m, n, max_delay);
}

// The low and high tone shelves of both ears in one pass: lanes (left low,
// right low) and (left high, right high) of two sections run as a cascade,
// sample by sample. Same arithmetic per lane as ox_biquad_filter, including
// the reset of a memory that turned non-finite: bit-identical.
void tone_shelves(const ox_hrtf_params* p, ox_hrtf_state* s, float* const* out, int32_t n)
{
    LaneSection sec[2];
    std::memset(sec, 0, sizeof sec);
    for (int k = 0; k < 2; ++k)
        for (int ear = 0; ear < 2; ++ear)
            load_lane(sec[k], ear, k == 0 ? p->tone_low : p->tone_high, s->tone_mem[2 * ear + k]);
    float* l = out[0];
    float* r = out[1];
    for (int32_t i = 0; i < n; ++i)
    {
        const v4f v = cascade(sec, 2, v4f{l[i], r[i], 0.0f, 0.0f});
        l[i] = v[0];
        r[i] = v[1];
    }
    for (int k = 0; k < 2; ++k)
        for (int ear = 0; ear < 2; ++ear) store_lane(sec[k], ear, s->tone_mem[2 * ear + k]);
}

void pan(const ox_hrtf_params* p, float* const* in, float* const* out, int32_t ns, int32_t n)
{
    for (int32_t j = 0; j < ns; ++j)
    {
        const float* x = in[j];
        if (!x) continue;
        const float u = p->source_azimuth[j];
        float gl = kPanCentre, gr = kPanCentre;
        if (u < -170.0f || u > 170.0f)
        {
        }
        else if (u > 10.0f)
        {
            gl = 1.0f;
            gr = 0.0f;
        }
        else if (u < -10.0f)
        {
            gl = 0.0f;
            gr = 1.0f;
        }
        if (out[0] && gl != 0.0f)
            for (int32_t i = 0; i < n; ++i) out[0][i] += gl * x[i];
        if (out[1] && gr != 0.0f)
            for (int32_t i = 0; i < n; ++i) out[1][i] += gr * x[i];
    }
}

} // namespace

extern "C" {

void ox_hrtf_default_uparams(ox_hrtf_uparams* u)
{
    if (!u) return;
    std::memset(u, 0, sizeof *u);
    u->num_sources = 2;
    u->spectral_amount = kSpectralAmount;
    u->head_size = kHeadSize;
    u->ear_distance = kEarDistance;
    u->azimuth_warp = 1.0f;
    u->elevation_warp = 1.0f;
    u->low_freq = kLowFreq;
    u->low_gain = kLowGain;
    u->high_freq = kHighFreq;
    u->high_gain = kHighGain;
}

int ox_hrtf_init(ox_hrtf_params* params, ox_hrtf_state* state, const ox_hrtf_uparams* uparams)
{
    if (!params || !state || !uparams) return -3;
    const float fs = uparams->sample_rate;
    if (!valid_rate(fs)) return -7;
    if (oxblk::check_size("framesize", uparams->framesize)) return -3;
    const int32_t max_delay = max_delay_for(fs);
    const int32_t H = max_delay + OX_HRTF_FRAC_TAPS - 1;
    float* scratch = (float*)calloc((size_t)uparams->framesize, sizeof(float));
    float* history = (float*)calloc((size_t)H * OX_HRTF_MAX_SOURCES, sizeof(float));
    if (!scratch || !history)
    {
        free(scratch);
        free(history);
        return -2;
    }
    std::memset(params, 0, sizeof *params);
    params->sample_rate = fs;
    params->framesize = uparams->framesize;
    params->num_sources = ox_clampi(uparams->num_sources, 0, OX_HRTF_MAX_SOURCES);
    params->max_delay = max_delay;

    state->scratch = scratch;
    state->history = history;
    state->history_len = H;
    for (int j = 0; j < OX_HRTF_MAX_SOURCES; ++j)
        state->cur_delay_left[j] = state->cur_delay_right[j] = kUnsetDelay;
    ox_hrtf_update(uparams, params, state);
    copy_delays(params, state);
    clear_memories(state);
    return 0;
}

int ox_hrtf_update(const ox_hrtf_uparams* u, ox_hrtf_params* p, ox_hrtf_state* s)
{
    if (!u || !p || !s) return -3;
    const float fs = p->sample_rate;
    if (!valid_rate(fs) || p->max_delay < 1) return -7;
    const float max_delay = (float)p->max_delay;

    p->mode = u->mode;
    p->fractional_delay = u->fractional_delay;

    const float amount = ox_clampf(u->spectral_amount, -100.0f, 100.0f, kSpectralAmount);
    const double az_warp = ox_clampf(u->azimuth_warp, 0.01f, 100.0f, 1.0f);
    const double el_warp = ox_clampf(u->elevation_warp, 0.01f, 100.0f, 1.0f);
    const float rotation = wrap180(wrap180(u->rotation) + wrap180(u->rotation2));
    const float tilt = (wrap180(u->tilt) + wrap180(u->tilt2)) * kDegToRad;
    const float ct = std::cos(tilt), st = std::sin(tilt);

    // Head shadow: corner from the head size, kept below 0.45·fs so that the
    // prewarping tan() stays on its first branch at low sample rates.
    const float head = ox_clampf(u->head_size, 10.0f, 1.0e6f, kHeadSize);
    double w0 = 2.0 * 680.0 / (head * 0.001 * 2.5);
    const double w0max = 2.0 * 3.141592653589793 * kMaxDesignFraction * fs;
    if (w0 > w0max) w0 = w0max;
    const double K = w0 / std::tan(0.5 * w0 / fs);

    // Interaural delay of a source on the axis, in samples.
    const float r = ox_clampf(u->ear_distance, 0.0f, 1.0e6f, kEarDistance) * 0.001f * 0.5f;
    const float axis_delay = r / kSoundSpeed * 1000.0f * (0.001f * fs);

    // The reference family cancels the azimuth family of a source straight at
    // the reference angle, so the equaliser is flat there.
    design_azimuth_family(p->reference_eq, std::fabs(wrap180(u->reference_angle)), -amount, fs);

    const int32_t ns = ox_clampi(u->num_sources, 0, OX_HRTF_MAX_SOURCES);
    for (int32_t j = 0; j < ns; ++j)
    {
        // Elevations beyond ±90° are directions over the top: the same as the
        // opposite azimuth at 180° − elevation.
        float e = wrap180(u->elevation[j]);
        float a = wrap180(u->azimuth[j]);
        if (e > 90.0f || e < -90.0f)
        {
            e = (e > 0.0f ? 180.0f : -180.0f) - e;
            a = wrap180(a + 180.0f);
        }
        p->source_azimuth[j] = a;
        a = wrap180(a + rotation);

        // Direction after warping and head tilt about the interaural axis.
        const float aw = warp_azimuth(a, az_warp) * kDegToRad;
        const float er = e * kDegToRad;
        const float x = std::cos(aw) * std::cos(er);
        const float y = std::sin(aw) * std::cos(er);
        const float z = std::sin(er);
        const float xt = x * ct - z * st;
        const float zt = z * ct + x * st;
        const float a2 = std::atan2(y, xt);
        const float e2 = 90.0f - std::acos(ox_clampf(zt, -1.0f, 1.0f, 0.0f)) * kRadToDeg;
        const float S = e2 > 0.0f ? 90.0f : -90.0f;
        const float ew = e2 == 0.0f ? 0.0f : (float)(S * std::pow(e2 / S, el_warp));
        // Sine of the lateral angle acos(cos(a2 − 90°)·cos e2) + 90°, which is
        // the lateral direction component sin a2·cos e2 (+1 at the left ear).
        // Taken directly, mirrored sources get exactly mirrored ears.
        const float lat = ox_clampf(std::sin(a2) * std::cos(e2 * kDegToRad), -1.0f, 1.0f, 0.0f);

        const double g = std::pow(10.0, 0.05 * ox_clampf(u->gain[j], -200.0f, 60.0f, 0.0f));
        const double sigma = (u->mode & OX_HRTF_MODE_NO_SHADOW) ? 0.0 : lat;
        const double nrm =
            std::sqrt(2.0 / ((1.0 - sigma) * (1.0 - sigma) + (1.0 + sigma) * (1.0 + sigma)));
        p->shadow_left[j] = shadow_section(w0, K, (1.0 + sigma) * nrm, g);
        p->shadow_right[j] = shadow_section(w0, K, (1.0 - sigma) * nrm, g);

        float dl = 0.0f, dr = 0.0f;
        if (!(u->mode & OX_HRTF_MODE_NO_DELAY))
        {
            dl = ox_clampf((1.0f - lat) * axis_delay, 0.0f, max_delay, 0.0f);
            dr = ox_clampf((1.0f + lat) * axis_delay, 0.0f, max_delay, 0.0f);
        }
        p->frac_left[j] = follow_delay(dl, &s->cur_delay_left[j], &p->delay_left[j]);
        p->frac_right[j] = follow_delay(dr, &s->cur_delay_right[j], &p->delay_right[j]);

        design_azimuth_family(p->azimuth_eq[j], std::fabs(a), amount * std::cos(ew * kDegToRad),
                              fs);
        const float ca = std::cos(a * kDegToRad);
        const float P = (ca > 0.0f ? 1.0f : (ca < 0.0f ? -1.0f : 0.0f)) *
                        (float)std::pow((double)std::fabs(ca), 0.25);
        design_elevation_family(p->elevation_eq[j], ew, P, amount, fs);
    }

    ox_biquad_lfshelving2(&p->tone_low,
                          design_freq(ox_clampf(u->low_freq, 1.0f, 1.0e6f, kLowFreq), fs),
                          ox_clampf(u->low_gain, -60.0f, 60.0f, kLowGain), fs);
    ox_biquad_hfshelving2(&p->tone_high,
                          design_freq(ox_clampf(u->high_freq, 1.0f, 1.0e6f, kHighFreq), fs),
                          ox_clampf(u->high_gain, -60.0f, 60.0f, kHighGain), fs);
    return 0;
}

void ox_hrtf_reset(const ox_hrtf_params* params, ox_hrtf_state* state)
{
    if (!params || !state) return;
    copy_delays(params, state);
    clear_memories(state);
}

void ox_hrtf_process(const ox_hrtf_params* p, ox_hrtf_state* s, float* const* in, float* const* out)
{
    if (!p || !s || !in || !out || !s->scratch || !s->history) return;
    const int32_t n = p->framesize;
    const int32_t H = s->history_len;
    const int32_t ns = ox_clampi(p->num_sources, 0, OX_HRTF_MAX_SOURCES);
    const int32_t max_delay = H - (OX_HRTF_FRAC_TAPS - 1);
    if (n < 1 || max_delay < 0) return;

    if (p->mode & OX_HRTF_MODE_PANNING)
    {
        pan(p, in, out, ns, n);
        return;
    }

    if (!(p->mode & OX_HRTF_MODE_NO_SPECTRAL)) equalise(p, s, in, ns, n);

    render_ears(p, s, in, out, ns, n, max_delay);
    for (int32_t j = 0; j < ns; ++j)
        if (in[j]) push_history(s->history + (size_t)j * (size_t)H, H, in[j], n);

    if (p->mode & OX_HRTF_MODE_TONE)
    {
        if (out[0] && out[1])
            tone_shelves(p, s, out, n);
        else
            for (int ear = 0; ear < 2; ++ear)
            {
                if (!out[ear]) continue;
                ox_biquad_filter(&s->tone_mem[2 * ear], out[ear], out[ear], n, p->tone_low);
                ox_biquad_filter(&s->tone_mem[2 * ear + 1], out[ear], out[ear], n, p->tone_high);
            }
    }
}

void ox_hrtf_done(ox_hrtf_params* params, ox_hrtf_state* state)
{
    (void)params;
    if (!state) return;
    free(state->scratch);
    free(state->history);
    state->scratch = nullptr;
    state->history = nullptr;
    state->history_len = 0;
}

} // extern "C"
