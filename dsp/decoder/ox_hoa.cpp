#include "ox_hoa.h"

#include "ox_blockutil.h"
#include "ox_util.h"

#include <cstdio>

namespace
{

constexpr int kMaxCh = 16;
constexpr int kMaxDirs = 20;

// Square root usable in constant expressions (Newton's method from above,
// which decreases monotonically until it stalls at the rounded root).
constexpr double cx_sqrt(double v)
{
    if (v <= 0.0) return 0.0;
    double x = v > 1.0 ? v : 1.0;
    for (int i = 0; i < 2000; i++)
    {
        const double next = 0.5 * (x + v / x);
        if (next >= x) break;
        x = next;
    }
    return x;
}

constexpr double cx_abs(double v)
{
    return v < 0.0 ? -v : v;
}

struct Encoder
{
    int rows = 0; // ambisonic channels
    int cols = 0; // layout directions
    float m[kMaxCh][kMaxDirs] = {};
};

// Appends every sign variant of the point v to u (from row n on) and returns
// the new count. The variants run + before -, the first non-zero coordinate
// changing slowest, which is the speaker order of the virtual layouts.
constexpr int put_signed(double u[kMaxDirs][3], int n, double x, double y, double z)
{
    const double v[3] = {x, y, z};
    int nonzero = 0;
    for (double c : v) nonzero += c != 0.0;
    for (int mask = 0; mask < (1 << nonzero); mask++, n++)
    {
        int bit = nonzero - 1;
        for (int k = 0; k < 3; k++)
            u[n][k] = v[k] == 0.0 ? 0.0 : ((mask >> bit--) & 1 ? -v[k] : v[k]);
    }
    return n;
}

// Layout directions (x front, y left, z up), in the speaker order of the
// decoder's virtual icosahedron (order 2) and dodecahedron (order 3) layouts.
constexpr int directions(int order, double u[kMaxDirs][3])
{
    const double phi = 0.5 * (1.0 + cx_sqrt(5.0));
    int n = 0;
    double p = 0.0, q = 0.0;
    if (order == 2)
    {
        // Icosahedron: the cyclic placements of (0, +-a, +-b).
        p = 1.0 / cx_sqrt(1.0 + phi * phi);
        q = phi * p;
    }
    else
    {
        // Dodecahedron: the cube (+-g, +-g, +-g), then the cyclic placements
        // of (0, +-d, +-e).
        const double g = 1.0 / cx_sqrt(3.0);
        n = put_signed(u, n, g, g, g);
        p = g / phi;
        q = g * phi;
    }
    n = put_signed(u, n, 0.0, p, q);
    n = put_signed(u, n, p, q, 0.0);
    n = put_signed(u, n, q, 0.0, p);
    return n;
}

// Real SN3D spherical harmonics without Condon-Shortley phase, rows in the
// order W X Y Z R S T U V K L M N O P Q.
constexpr void harmonics(double x, double y, double z, double h[kMaxCh])
{
    const double s3 = cx_sqrt(3.0);
    const double s15 = cx_sqrt(15.0);
    const double s38 = cx_sqrt(3.0 / 8.0);
    const double s58 = cx_sqrt(5.0 / 8.0);
    h[0] = 1.0;
    h[1] = x;
    h[2] = y;
    h[3] = z;
    h[4] = (3.0 * z * z - 1.0) / 2.0;
    h[5] = s3 * x * z;
    h[6] = s3 * y * z;
    h[7] = s3 / 2.0 * (x * x - y * y);
    h[8] = s3 * x * y;
    h[9] = z * (5.0 * z * z - 3.0) / 2.0;
    h[10] = s38 * x * (5.0 * z * z - 1.0);
    h[11] = s38 * y * (5.0 * z * z - 1.0);
    h[12] = s15 / 2.0 * z * (x * x - y * y);
    h[13] = s15 * x * y * z;
    h[14] = s58 * x * (x * x - 3.0 * y * y);
    h[15] = s58 * y * (3.0 * x * x - y * y);
}

constexpr int degree(int row)
{
    return row == 0 ? 0 : row < 4 ? 1 : row < 9 ? 2 : 3;
}

// diag(w) * (Y^T Y)^-1 * Y^T in double precision, rounded to float: the
// least-squares encoder with one weight per degree (so the matrix times Y is
// diag(w) exactly; equal layout signals give W = 3 at order 2, 4 at order 3).
constexpr Encoder make_encoder(int order)
{
    const double w2[4] = {3.0, 2.0, 6.0, 0.0};
    const double w3[4] = {4.0, 20.0 / 9.0, 4.0, 20.0};
    const double* w = order == 2 ? w2 : w3;

    Encoder enc;
    double u[kMaxDirs][3] = {};
    const int dirs = directions(order, u);
    const int ch = (order + 1) * (order + 1);
    enc.rows = ch;
    enc.cols = dirs;

    double y[kMaxDirs][kMaxCh] = {};
    for (int m = 0; m < dirs; m++) harmonics(u[m][0], u[m][1], u[m][2], y[m]);

    // Gram matrix augmented with the identity, inverted by Gauss-Jordan
    // elimination with partial pivoting.
    double a[kMaxCh][2 * kMaxCh] = {};
    for (int i = 0; i < ch; i++)
    {
        for (int j = 0; j < ch; j++)
            for (int m = 0; m < dirs; m++) a[i][j] += y[m][i] * y[m][j];
        a[i][ch + i] = 1.0;
    }
    for (int c = 0; c < ch; c++)
    {
        int piv = c;
        for (int r = c + 1; r < ch; r++)
            if (cx_abs(a[r][c]) > cx_abs(a[piv][c])) piv = r;
        for (int j = 0; j < 2 * ch; j++)
        {
            const double t = a[c][j];
            a[c][j] = a[piv][j];
            a[piv][j] = t;
        }
        const double inv = 1.0 / a[c][c];
        for (int j = 0; j < 2 * ch; j++) a[c][j] *= inv;
        for (int r = 0; r < ch; r++)
        {
            if (r == c) continue;
            const double f = a[r][c];
            for (int j = 0; j < 2 * ch; j++) a[r][j] -= f * a[c][j];
        }
    }

    for (int r = 0; r < ch; r++)
        for (int m = 0; m < dirs; m++)
        {
            double s = 0.0;
            for (int k = 0; k < ch; k++) s += a[r][ch + k] * y[m][k];
            enc.m[r][m] = (float)(w[degree(r)] * s);
        }
    return enc;
}

constexpr Encoder kOrder2 = make_encoder(2);
constexpr Encoder kOrder3 = make_encoder(3);
static_assert(kOrder2.rows == 9 && kOrder2.cols == 12, "icosahedron encoder is 9 x 12");
static_assert(kOrder3.rows == 16 && kOrder3.cols == 20, "dodecahedron encoder is 16 x 20");

// Output channel of each matrix row in ACN order (W Y Z X V T R S U Q O M K L N P).
constexpr int kAcnPosition[kMaxCh] = {0, 3, 1, 2, 6, 7, 5, 8, 4, 12, 13, 11, 14, 10, 15, 9};

// The encoder for a valid order and input count, else null.
const Encoder* encoder_for(const ox_hoa_params* p)
{
    if (p->order == 2 && p->num_mics == kOrder2.cols) return &kOrder2;
    if (p->order == 3 && p->num_mics == kOrder3.cols) return &kOrder3;
    return nullptr;
}

void apply_cfg(ox_hoa_params* params, ox_hoa_cfg* cfg)
{
    cfg->level = ox_clampf(cfg->level, -20.0f, 0.0f, -6.0f);
    params->flags = cfg->mode;
}

using oxblk::load4;
using oxblk::store4;
using oxblk::v4f;

} // namespace

extern "C" {

int ox_hoa_alloc(ox_hoa_params* params, ox_hoa_state* state, int32_t num_mics, int32_t framesize,
                 int32_t order)
{
    (void)state;
    if (!params || num_mics < 1 || framesize < 1 || order < 1) return -3;
    params->num_mics = num_mics;
    params->framesize = framesize;
    params->order = order;
    if (order == 2 || order == 3) params->num_channels = (order + 1) * (order + 1);
    return 0;
}

void ox_hoa_default_cfg(ox_hoa_cfg* cfg)
{
    if (!cfg) return;
    cfg->mode = 0;
    cfg->level = -6.0f;
}

int ox_hoa_init(ox_hoa_params* params, ox_hoa_state* state, ox_hoa_cfg* cfg, int32_t num_mics,
                int32_t framesize, int32_t order)
{
    (void)state;
    if (!params || !cfg) return -3;
    params->num_mics = num_mics;
    params->framesize = framesize;
    params->order = order;
    if (order != 2 && order != 3) return -3;
    params->num_channels = (order + 1) * (order + 1);
    if (oxblk::check_size("framesize", framesize)) return -3;
    if (num_mics > OX_HOA_MAX_MICS)
    {
        fprintf(stderr, "Invalid number of mics (%d) > %d\n", num_mics, OX_HOA_MAX_MICS);
        return -3;
    }
    // The matrix has one column per layout direction: any other input count
    // would read past the table or leave inputs out.
    const int32_t need = order == 2 ? kOrder2.cols : kOrder3.cols;
    if (num_mics != need)
    {
        fprintf(stderr, "Invalid number of mics (%d) != %d\n", num_mics, need);
        return -3;
    }
    apply_cfg(params, cfg);
    return 0;
}

int ox_hoa_update_cfg(ox_hoa_params* params, ox_hoa_cfg* cfg)
{
    if (params && cfg) apply_cfg(params, cfg);
    return 0;
}

void ox_hoa_reset(ox_hoa_params* params, ox_hoa_state* state)
{
    (void)params;
    (void)state;
}

void ox_hoa_done(ox_hoa_params* params, ox_hoa_state* state)
{
    (void)params;
    (void)state;
}

void ox_hoa_process_frame(const ox_hoa_params* params, ox_hoa_state* state, const float* const* in,
                          float* const* bufs)
{
    (void)state;
    if (!params || !bufs) return;
    const Encoder* enc = encoder_for(params);
    if (!enc) return;
    const int mics = enc->cols;
    for (int m = 0; m < mics; m++)
        if (!bufs[m]) return;
    const int32_t len = params->framesize;

    if (params->flags & OX_HOA_COPY)
    {
        if (!in || !in[0]) return;
        for (int k = 1; k < mics; k++)
            for (int32_t n = 0; n < len; n++) bufs[k][n] = in[0][n];
        return;
    }

    // Chunks of samples: the inputs are copied out first because the
    // outputs overwrite them in place; each output sample is still the sum
    // over the inputs in index order.
    const bool acn = (params->flags & OX_HOA_ACN) != 0;
    constexpr int32_t kChunk = 64;
    float v[kMaxDirs][kChunk];
    float acc[kChunk];
    for (int32_t start = 0; start < len; start += kChunk)
    {
        const int32_t n = len - start < kChunk ? len - start : kChunk;
        for (int m = 0; m < mics; m++)
            for (int32_t i = 0; i < n; i++)
            {
                v[m][i] = bufs[m][start + i];
                bufs[m][start + i] = 0.0f;
            }
        for (int r = 0; r < enc->rows; r++)
        {
            const float* e = enc->m[r];
            int32_t i = 0;
            // Sixteen samples at a time stay in registers over all inputs.
            for (; i + 16 <= n; i += 16)
            {
                v4f a0 = {}, a1 = {}, a2 = {}, a3 = {};
                for (int m = 0; m < mics; m++)
                {
                    const float* x = v[m] + i;
                    a0 += e[m] * load4(x);
                    a1 += e[m] * load4(x + 4);
                    a2 += e[m] * load4(x + 8);
                    a3 += e[m] * load4(x + 12);
                }
                store4(acc + i, a0);
                store4(acc + i + 4, a1);
                store4(acc + i + 8, a2);
                store4(acc + i + 12, a3);
            }
            for (; i < n; i++)
            {
                float a = 0.0f;
                for (int m = 0; m < mics; m++) a += e[m] * v[m][i];
                acc[i] = a;
            }
            float* out = bufs[acn ? kAcnPosition[r] : r] + start;
            for (int32_t k = 0; k < n; k++) out[k] = acc[k];
        }
    }
}

} // extern "C"
