#include "ox_beq.h"

#include "ox_blockutil.h"
#include "ox_util.h"

#include <cmath>

namespace
{

constexpr float kEps = 1e-20f;
constexpr float kPi = 3.1415927f;
constexpr float kDegToRad = 0.017453292f;
constexpr float kSteer = 0.35355338f; // first-order beam: 0.5 * W + 0.5 * (u . XYZ) / sqrt(2)
constexpr float kEqFreq[OX_BEQ_EQ_BANDS] = {125.0f,  250.0f,  500.0f,  1000.0f,
                                            2000.0f, 4000.0f, 8000.0f, 16000.0f};

float power_ratio(float db)
{
    return (float)std::pow(10.0, db / 10.0);
}

// Smoothing factor per frame of a time constant in ms (the configuration
// keeps it within 1..2000 ms); 1 before the record holds a usable frame.
float time_factor(const ox_beq_params* p, float ms)
{
    if (!(p->sample_rate > 0.0f) || p->framesize < 1) return 1.0f;
    return oxblk::smoothing_factor(oxblk::frame_ms(p), ms, ms);
}

void store_header(ox_beq_params* p, int32_t framesize, int32_t specsize, int32_t num_beams,
                  int32_t num_bands, const int32_t* band_edges, float sample_rate)
{
    p->num_inputs = 4;
    p->num_outputs = 4;
    oxblk::store_header(p, framesize, specsize, num_bands, band_edges, sample_rate);
    p->num_beams = num_beams;
}

// The state arrays of num_beams beams: energies and gains of W, X, Y, Z, then
// four arrays per beam. Returns their number.
int state_arrays(ox_beq_state* s, int num_beams, float** out[8 + 4 * OX_BEQ_MAX_BEAMS])
{
    int n = 0;
    for (int c = 0; c < 4; c++)
    {
        out[n++] = &s->energy[c];
        out[n++] = &s->gain[c];
    }
    for (int i = 0; i < num_beams; i++)
    {
        out[n++] = &s->front_power[i];
        out[n++] = &s->back_power[i];
        out[n++] = &s->cross[i];
        out[n++] = &s->direct[i];
    }
    return n;
}

// Every array processing needs, for the stored band and beam counts.
bool arrays_ready(const ox_beq_params* p, const ox_beq_state* s)
{
    if (p->num_beams < 1 || p->num_beams > OX_BEQ_MAX_BEAMS || p->num_bands < 1) return false;
    for (int c = 0; c < 4; c++)
        if (!s->energy[c] || !s->gain[c]) return false;
    for (int i = 0; i < p->num_beams; i++)
        if (!s->front_power[i] || !s->back_power[i] || !s->cross[i] || !s->direct[i]) return false;
    return true;
}

// Ascending edges inside the spectrum, so every band reads only existing bins.
// Unlike oxblk::valid_edges, equal neighbours (an empty band) are accepted.
bool edges_valid(const int32_t* edges, int32_t nbands, int32_t specsize)
{
    int32_t prev = 1;
    for (int32_t b = 0; b < nbands; b++)
    {
        if (edges[b] < prev || edges[b] > specsize) return false;
        prev = edges[b];
    }
    return true;
}

// Index of the equaliser frequency nearest to f (a tie keeps the lower one).
int nearest_eq(const float* eq_freq, float f, float sample_rate)
{
    float best_d = std::fabs(f - eq_freq[0]);
    if (best_d > sample_rate) best_d = sample_rate;
    int best = 0;
    for (int k = 1; k < OX_BEQ_EQ_BANDS; k++)
    {
        const float d = std::fabs(f - eq_freq[k]);
        if (d < best_d)
        {
            best_d = d;
            best = k;
        }
    }
    return best;
}

// Direct-sound power of one beam in one band from the smoothed powers of the
// beam (p1) and of the opposite beam (p2) and their cross-power (p12).
// Worked in double: the products of band powers reach far beyond float's
// comfortable range and the eigen-decomposition subtracts close values.
double direct_power(const ox_beq_params* prm, int i, double p1, double p2, double p12)
{
    const double eps = kEps;
    const double p = prm->diffuse_coherence[i];
    const double q = 1.0 - p * p;

    const double r12 = std::sqrt(p1 * p2) + eps;
    double k12 = p12 < r12 ? p12 : r12;
    const double pmin = p * (p1 < p2 ? p1 : p2);
    if (k12 < pmin) k12 = pmin;

    // Diffuse power x: the smaller root of q*x^2 + beta*x + det = 0, the
    // largest diffuse power (coherence p between the beams) that leaves a fully
    // coherent remainder. Written as 2*det / (-beta + sqrt(disc)) rather than
    // (-beta - sqrt(disc)) / (2q): the same root, without the cancellation
    // that makes the textbook form blow up as q goes to 0 (coherence near 1).
    const double det = p1 * p2 - k12 * k12;
    const double beta = 2.0 * p * k12 - p1 - p2;
    const double disc = beta * beta - 4.0 * q * det;
    double x = 2.0 * det / (-beta + std::sqrt(disc > 0.0 ? disc : 0.0) + eps);
    x *= prm->diffuse_gain[i];
    x = x > 0.0 ? x : 0.0;
    x = x < p1 ? x : p1;
    x = x < p2 ? x : p2;

    // Regularised inverse of [[p1, k12], [k12, p2]]: the smaller eigenvalue is
    // kept at least eigen_floor times the larger one.
    const double half = (p1 + p2) * 0.5;
    const double dd = half * half - det;
    const double d = std::sqrt(dd > eps ? dd : eps);
    const double l1 = half + d;
    double l2 = half - d;
    if (l2 < l1 * prm->eigen_floor) l2 = l1 * prm->eigen_floor;
    const double theta = 0.5 * std::atan2(2.0 * k12 * p2 + 2.0 * k12 * p1, p1 * p1 - p2 * p2);
    const double c = std::cos(theta), s = std::sin(theta);
    const double r00 = c * c / l1 + s * s / l2;
    const double r01 = s * c * (1.0 / l1 - 1.0 / l2);
    const double r11 = s * s / l1 + c * c / l2;

    // Reduction of the remainder towards the beam's focus.
    const double u = p1 - x;
    const double v = std::sqrt((p2 - x) * u);
    double k = u / (v + eps);
    if (k > prm->focus[i]) k = prm->focus[i];
    double g = 1.0 - (v / (u + eps)) * k;
    if (g < prm->gain_floor) g = prm->gain_floor;
    if (g > 1.0) g = 1.0;

    const double nn = prm->gain_floor * x + u * g;
    const double dn = g * v;
    return (nn * (r00 * p1 + r01 * p2) + dn * (r01 * p1 + r11 * p2)) * prm->beam_gain[i];
}

// Steering of each beam and of its opposite beam, and the squared direction cosines that share
// the beam's direct sound among W, X, Y, Z.
struct Steering
{
    float front[OX_BEQ_MAX_BEAMS][4], back[OX_BEQ_MAX_BEAMS][4], dirw[OX_BEQ_MAX_BEAMS][4];
};

void steer(const ox_beq_params* params, Steering* st)
{
    for (int i = 0; i < params->num_beams; i++)
    {
        const float a = params->azimuth[i], e = params->elevation[i];
        const float ce = std::cos(e), se = std::sin(e);
        const float cx = std::cos(a) * ce, cy = std::sin(a) * ce;
        st->front[i][0] = 0.5f;
        st->front[i][1] = kSteer * cx;
        st->front[i][2] = kSteer * cy;
        st->front[i][3] = kSteer * se;
        st->back[i][0] = 0.5f;
        st->back[i][1] = kSteer * std::cos(a + kPi) * ce;
        st->back[i][2] = kSteer * std::sin(a + kPi) * ce;
        st->back[i][3] = -kSteer * se;
        st->dirw[i][0] = 0.5f;
        st->dirw[i][1] = cx * cx;
        st->dirw[i][2] = cy * cy;
        st->dirw[i][3] = se * se;
    }
}

// Raw statistics of one band: channel energies, the powers of each beam and of its opposite
// beam, and their cross term.
struct BandStats
{
    float en[4] = {0, 0, 0, 0};
    float pf[OX_BEQ_MAX_BEAMS] = {}, pb[OX_BEQ_MAX_BEAMS] = {}, cfb[OX_BEQ_MAX_BEAMS] = {};

    void add(const Steering& st, int nbeams, float wr, float wi, float xr, float xi, float yr,
             float yi, float zr, float zi)
    {
        en[0] += wr * wr + wi * wi;
        en[1] += xr * xr + xi * xi;
        en[2] += yr * yr + yi * yi;
        en[3] += zr * zr + zi * zi;
        for (int i = 0; i < nbeams; i++)
        {
            const float* f = st.front[i];
            const float* k = st.back[i];
            const float fr = f[0] * wr + f[1] * xr + f[2] * yr + f[3] * zr;
            const float fi = f[0] * wi + f[1] * xi + f[2] * yi + f[3] * zi;
            const float br = k[0] * wr + k[1] * xr + k[2] * yr + k[3] * zr;
            const float bi = k[0] * wi + k[1] * xi + k[2] * yi + k[3] * zi;
            pf[i] += fr * fr + fi * fi;
            pb[i] += br * br + bi * bi;
            cfb[i] += fr * br + fi * bi;
        }
    }
};

// Statistics of band b over bins lo..hi-1; DC joins band 0 and the half-rate value the last band,
// both real.
BandStats band_stats(const ox_beq_params* params, const Steering& st, const float* const* sp,
                     int32_t b, int32_t lo, int32_t hi)
{
    BandStats t;
    const int nb = params->num_beams;
    const float *sw = sp[0], *sx = sp[1], *sy = sp[2], *sz = sp[3];
    if (b == 0) t.add(st, nb, sw[0], 0, sx[0], 0, sy[0], 0, sz[0], 0);
    for (int32_t k = lo; k < hi; k++)
        t.add(st, nb, sw[2 * k], sw[2 * k + 1], sx[2 * k], sx[2 * k + 1], sy[2 * k], sy[2 * k + 1],
              sz[2 * k], sz[2 * k + 1]);
    if (b == params->num_bands - 1) t.add(st, nb, sw[1], 0, sx[1], 0, sy[1], 0, sz[1], 0);
    return t;
}

// Smoothing, adaptive unless fixed by the mode: the step grows with the relative change of the W
// energy. A band with a non-finite value keeps its statistics, so one bad frame cannot poison
// them for good.
void smooth_stats(const ox_beq_params* params, ox_beq_state* state, int32_t b, const BandStats& t)
{
    const int nbeams = params->num_beams;
    float check = t.en[0] + t.en[1] + t.en[2] + t.en[3];
    for (int i = 0; i < nbeams; i++) check += t.pf[i] + t.pb[i] + t.cfb[i];
    if (!std::isfinite(check)) return;
    float s = params->stats_factor;
    if (!(params->mode & OX_BEQ_FIXED_STATS))
    {
        const float old = state->energy[0][b];
        const float den = old > t.en[0] + kEps ? old : t.en[0] + kEps;
        const float rel = std::fabs(t.en[0] - old) / den;
        s *= rel < 1.0f ? rel : 1.0f;
    }
    auto smooth = [s](float& y, float raw) { y = s * raw + (1.0f - s) * y; };
    for (int c = 0; c < 4; c++) smooth(state->energy[c][b], t.en[c]);
    for (int i = 0; i < nbeams; i++)
    {
        smooth(state->front_power[i][b], t.pf[i]);
        smooth(state->back_power[i][b], t.pb[i]);
        smooth(state->cross[i][b], t.cfb[i]);
    }
}

// Band b's channel gains: the direct parts take the equaliser, the rest stays.
void band_gains(const ox_beq_params* params, ox_beq_state* state, int32_t b, const Steering& st)
{
    const int nbeams = params->num_beams;
    // A power cannot be negative; the estimate can dip below 0 with extreme coherence,
    // eigen-floor or diffuse-gain settings, and a strong equaliser boost would then turn it into
    // a polarity-inverting gain.
    for (int i = 0; i < nbeams; i++)
    {
        const double d = direct_power(params, i, state->front_power[i][b], state->back_power[i][b],
                                      state->cross[i][b]);
        state->direct[i][b] = d > 0.0 ? (float)d : 0.0f;
    }
    const float f =
        (float)params->band_edges[b] * 0.5f * params->sample_rate / (float)params->specsize;
    const int keq = nearest_eq(params->eq_freq, f, params->sample_rate);
    for (int c = 0; c < 4; c++)
    {
        float a = kEps, h = kEps;
        for (int i = 0; i < nbeams; i++)
        {
            const float dpart = state->direct[i][b] * st.dirw[i][c];
            a += dpart;
            h += dpart * params->eq_gain[i] * params->eq[i][keq];
        }
        float rest = state->energy[c][b] - a;
        rest = rest > kEps ? rest : kEps;
        float t = (h + rest) / (rest + a);
        if (params->mode & OX_BEQ_LEVEL) t *= params->level;

        const float old = state->gain[c][b];
        if (!std::isfinite(t)) continue; // keep the last good gain
        const float at = std::fabs(t), ao = std::fabs(old);
        const float den = at + kEps > ao ? at + kEps : ao;
        float rel = std::fabs(at - ao) / den;
        rel = rel > 0.0f ? (rel < 1.0f ? rel : 1.0f) : 0.0f;
        const float w = params->gain_factor * rel;
        state->gain[c][b] = (1.0f - w) * old + w * t;
    }
}

} // namespace

extern "C" {

void ox_beq_done(ox_beq_params* params, ox_beq_state* state)
{
    (void)params;
    if (!state) return;
    float** arrays[8 + 4 * OX_BEQ_MAX_BEAMS];
    oxblk::free_arrays(arrays, state_arrays(state, OX_BEQ_MAX_BEAMS, arrays));
}

int ox_beq_alloc(ox_beq_params* params, ox_beq_state* state, int32_t framesize, int32_t specsize,
                 int32_t num_beams, int32_t num_bands, const int32_t* band_edges, float sample_rate)
{
    if (!params || !state) return -3;
    const int rc = oxblk::check_alloc_args(framesize, specsize, num_bands, sample_rate);
    if (rc) return rc;
    if (num_beams < 1 || num_beams > OX_BEQ_MAX_BEAMS) return -3;
    store_header(params, framesize, specsize, num_beams, num_bands, band_edges, sample_rate);

    *state = ox_beq_state{};
    float** arrays[8 + 4 * OX_BEQ_MAX_BEAMS];
    const int n = state_arrays(state, num_beams, arrays);
    return oxblk::alloc_arrays(arrays, n, (size_t)num_bands);
}

void ox_beq_default_cfg(ox_beq_cfg* cfg)
{
    if (!cfg) return;
    *cfg = ox_beq_cfg{};
    cfg->focus = 1.0f;
    cfg->gain_floor = -60.0f;
    cfg->eigen_floor = -20.0f;
    cfg->diffuse_coherence = 0.5f;
    cfg->stats_time = 20.0f;
    cfg->gain_time = 20.0f;
    cfg->level = -10.0f;
}

int ox_beq_init(ox_beq_params* params, ox_beq_state* state, ox_beq_cfg* cfgs, int32_t framesize,
                int32_t specsize, int32_t num_beams, int32_t num_bands, const int32_t* band_edges,
                float sample_rate)
{
    if (!params || !state || !cfgs) return -3;
    if (!oxblk::init_rate_ok(sample_rate)) return -7;
    if (oxblk::check_size("framesize", framesize) || oxblk::check_size("npart", num_bands))
        return -3;
    // The state was sized by alloc for the counts now in params; a failed
    // init leaves them alone, so a later process call stays inside it.
    if (specsize < 1 || num_beams < 1 || num_beams > OX_BEQ_MAX_BEAMS ||
        num_bands > params->num_bands || num_beams > params->num_beams || !band_edges ||
        !edges_valid(band_edges, num_bands, specsize) || !arrays_ready(params, state))
        return -3;
    store_header(params, framesize, specsize, num_beams, num_bands, band_edges, sample_rate);

    for (int k = 0; k < OX_BEQ_EQ_BANDS; k++) params->eq_freq[k] = kEqFreq[k];
    for (int32_t i = 0; i < num_beams; i++) ox_beq_update_cfg(params, &cfgs[i], i);
    ox_beq_reset(params, state);
    return 0;
}

int ox_beq_update_cfg(ox_beq_params* params, ox_beq_cfg* cfg, int32_t index)
{
    if (!params || !cfg) return -3;
    if (index < 0 || index >= OX_BEQ_MAX_BEAMS) return -8;

    cfg->focus = ox_clampf(cfg->focus, 0.0f, 2.0f, 1.0f);
    cfg->azimuth = ox_clampf(cfg->azimuth, -180.0f, 180.0f, 0.0f);
    cfg->elevation = ox_clampf(cfg->elevation, -90.0f, 90.0f, 0.0f);
    cfg->gain_floor = ox_clampf(cfg->gain_floor, -180.0f, 0.0f, -60.0f);
    cfg->eigen_floor = ox_clampf(cfg->eigen_floor, -180.0f, 0.0f, -20.0f);
    cfg->diffuse_coherence = ox_clampf(cfg->diffuse_coherence, 0.0f, 1.0f, 0.5f);
    cfg->diffuse_gain = ox_clampf(cfg->diffuse_gain, -20.0f, 20.0f, 0.0f);
    cfg->stats_time = ox_clampf(cfg->stats_time, 1.0f, 2000.0f, 20.0f);
    cfg->gain_time = ox_clampf(cfg->gain_time, 1.0f, 2000.0f, 20.0f);
    cfg->beam_gain = ox_clampf(cfg->beam_gain, -20.0f, 20.0f, 0.0f);
    for (float& e : cfg->eq) e = ox_clampf(e, -40.0f, 40.0f, 0.0f);
    cfg->eq_gain = ox_clampf(cfg->eq_gain, -20.0f, 20.0f, 0.0f);
    cfg->level = ox_clampf(cfg->level, -180.0f, 0.0f, -10.0f);

    // Block-wide fields.
    params->mode = cfg->mode;
    params->gain_floor = (float)std::pow(10.0, cfg->gain_floor / 20.0);
    params->eigen_floor = power_ratio(cfg->eigen_floor);
    params->stats_factor = time_factor(params, cfg->stats_time);
    params->gain_factor = time_factor(params, cfg->gain_time);
    params->level = power_ratio(cfg->level);

    // Fields of this beam.
    params->focus[index] = cfg->focus;
    params->azimuth[index] = -cfg->azimuth * kDegToRad;
    params->elevation[index] = cfg->elevation * kDegToRad;
    params->diffuse_coherence[index] = cfg->diffuse_coherence;
    params->diffuse_gain[index] = power_ratio(cfg->diffuse_gain);
    params->beam_gain[index] = power_ratio(cfg->beam_gain);
    for (int k = 0; k < OX_BEQ_EQ_BANDS; k++) params->eq[index][k] = power_ratio(cfg->eq[k]);
    params->eq_gain[index] = power_ratio(cfg->eq_gain);
    return 0;
}

void ox_beq_reset(const ox_beq_params* params, ox_beq_state* state)
{
    if (!params || !state || !arrays_ready(params, state)) return;
    const int32_t n = params->num_bands;
    for (int32_t b = 0; b < n; b++)
    {
        for (int c = 0; c < 4; c++)
        {
            state->energy[c][b] = 0.0f;
            state->gain[c][b] = 1.0f;
        }
        for (int i = 0; i < params->num_beams; i++)
        {
            state->front_power[i][b] = 0.0f;
            state->back_power[i][b] = 0.0f;
            state->cross[i][b] = 0.0f;
            state->direct[i][b] = 0.0f;
        }
    }
}

void ox_beq_process_frame(const ox_beq_params* params, ox_beq_state* state,
                          const float* const* spectra)
{
    if (!params || !state || !spectra || !arrays_ready(params, state) || !params->band_edges)
        return;
    for (int c = 0; c < 4; c++)
        if (!spectra[c]) return;
    Steering st;
    steer(params, &st);
    for (int32_t b = 0; b < params->num_bands; b++)
    {
        int32_t lo, hi;
        oxblk::band_bins(b, params->band_edges, params->specsize, &lo, &hi);
        smooth_stats(params, state, b, band_stats(params, st, spectra, b, lo, hi));
        band_gains(params, state, b, st);
    }
}

} // extern "C"
