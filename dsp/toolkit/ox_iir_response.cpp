#include "ox_iir_response.h"
#include "ox_iir_internal.h"

#include <cmath>

namespace
{

const float kTwoPiF = 6.2831855f;
const float kPiF = 3.1415927f;

// A polynomial Σ c_k·z^-k evaluated on the unit circle, with Σ k·c_k·z^-k for its group delay.
struct PolyAt
{
    float re = 0.0f, im = 0.0f;   // Σ c_k·e^(−jkω)
    float kre = 0.0f, kim = 0.0f; // Σ k·c_k·cos kω, Σ k·c_k·sin kω

    PolyAt(const float* c, int n, float w)
    {
        for (int k = 0; k < n; ++k)
        {
            const float kw = (float)k * w;
            const float cs = std::cos(kw), sn = std::sin(kw);
            re += c[k] * cs;
            im -= c[k] * sn;
            kre += (float)k * c[k] * cs;
            kim += (float)k * c[k] * sn;
        }
    }
    float mag2() const { return re * re + im * im; }
    float phase() const { return std::atan2(im, re); }
    float delay() const { return (kre * re + kim * -im) / mag2(); }
};

// Numerator and denominator of one transfer function at ω.
struct Response
{
    PolyAt b, a;
    Response(const float* bc, int nb, const float* ac, int na, float w) : b(bc, nb, w), a(ac, na, w)
    {
    }
    float mag() const { return std::sqrt(b.mag2() / a.mag2()); }
    float phase() const { return b.phase() - a.phase(); }
    float delay() const { return b.delay() - a.delay(); }
};

float omega(float fs, float f)
{
    return f * kTwoPiF / fs;
}

Response resp2(const ox_iir_cf2& c, float w)
{
    const float b[3] = {c.b0, c.b1, c.b2}, a[3] = {1.0f, c.a1, c.a2};
    return Response(b, 3, a, 3, w);
}

Response resp1(const ox_iir_cf1& c, float w)
{
    const float b[2] = {c.b0, c.b1}, a[2] = {1.0f, c.a1};
    return Response(b, 2, a, 2, w);
}

Response respN(const ox_iir_cfN& c, float w)
{
    const unsigned N = c.order > 9 ? 9 : c.order;
    float a[10] = {1.0f};
    for (unsigned k = 1; k <= N; ++k) a[k] = c.a[k - 1];
    return Response(c.b, (int)N + 1, a, (int)N + 1, w);
}

// Combines the sections of a cascade: magnitudes multiplied, phases and delays added.
enum class What
{
    Mag,
    Phase,
    Delay
};

float value(const Response& r, What what)
{
    return what == What::Mag ? r.mag() : (what == What::Phase ? r.phase() : r.delay());
}

float cascade(const ox_iir_cfNf& c, float fs, float f, What what)
{
    const unsigned N = c.order > 9 ? 9 : c.order;
    const float w = omega(fs, f);
    float acc = what == What::Mag ? 1.0f : 0.0f;
    auto combine = [&](float v) { acc = what == What::Mag ? acc * v : acc + v; };
    if (N & 1u) combine(value(resp1(c.first, w), what));
    for (unsigned k = 0; k < N / 2; ++k) combine(value(resp2(c.sec[k], w), what));
    return acc;
}

// x^(2m) in double, for the analog prototypes (which overflow float for high orders).
double pow2m(double x, int m)
{
    return std::pow(x, 2.0 * m);
}

// Power ratio v of a shelf at x = f/fc: G2 below the corner for the low shelf, above it for
// the high shelf, blending over the order-m Butterworth transition.
float shelf(int m, float fc, float gain, float f, bool high)
{
    const double G2 = std::pow(10.0, std::fabs((double)gain) / 10.0);
    double v = G2;
    if (m > 0)
    {
        const double y = pow2m((double)f / ((double)fc + 1e-20), m); // (f/fc)^(2m)
        if (std::isinf(y))
            v = high ? G2 : 1.0;
        else
            v = high ? (1.0 + G2 * y) / (1.0 + y) : (G2 + y) / (1.0 + y);
    }
    return (float)(gain >= 0.0f ? std::sqrt(v) : 1.0 / std::sqrt(v));
}

} // namespace

float ox_iir_freqresponse2(ox_iir_cf2 c, float fs, float f)
{
    return resp2(c, omega(fs, f)).mag();
}

float ox_iir_phaseresponse2(ox_iir_cf2 c, float fs, float f)
{
    return resp2(c, omega(fs, f)).phase();
}

float ox_iir_groupdelay2(ox_iir_cf2 c, float fs, float f)
{
    return resp2(c, omega(fs, f)).delay();
}

float ox_iir_freqresponseN(ox_iir_cfN c, float fs, float f)
{
    return respN(c, omega(fs, f)).mag();
}

float ox_iir_phaseresponseN(ox_iir_cfN c, float fs, float f)
{
    return respN(c, omega(fs, f)).phase();
}

float ox_iir_groupdelayN(ox_iir_cfN c, float fs, float f)
{
    return respN(c, omega(fs, f)).delay();
}

float ox_iir_freqresponseNf(ox_iir_cfNf c, float fs, float f)
{
    return cascade(c, fs, f, What::Mag);
}

float ox_iir_phaseresponseNf(ox_iir_cfNf c, float fs, float f)
{
    return cascade(c, fs, f, What::Phase);
}

float ox_iir_groupdelayNf(ox_iir_cfNf c, float fs, float f)
{
    return cascade(c, fs, f, What::Delay);
}

float ox_iir_analoglowpassresponse(int m, float fc, float f)
{
    if (m <= 0) return 1.0f;
    return (float)(1.0 / std::sqrt(1.0 + pow2m((double)f / ((double)fc + 1e-20), m)));
}

float ox_iir_analoghighpassresponse(int m, float fc, float f)
{
    if (m <= 0) return 1.0f;
    return (float)(1.0 / std::sqrt(1.0 + pow2m((double)fc / ((double)f + 1e-20), m)));
}

float ox_iir_analoglowshelvingresponse(int m, float fc, float gain, float f)
{
    return shelf(m, fc, gain, f, false);
}

float ox_iir_analoghighshelvingresponse(int m, float fc, float gain, float f)
{
    return shelf(m, fc, gain, f, true);
}

float ox_iir_analogpeakingresponse(float fc, float gain, float Q, float f)
{
    const double G2 = std::pow(10.0, std::fabs((double)gain) / 10.0);
    const double q2 = (double)Q * Q + 1e-20;
    // v is unchanged by x → 1/x, so x ≤ 1 keeps x⁴ from overflowing far from the centre.
    double x = (double)f / ((double)fc + 1e-20);
    if (x > 1.0) x = 1.0 / x;
    const double x2 = x * x;
    const double v =
        (1.0 + x2 * x2 + x2 * (G2 / q2 - 2.0)) / (1.0 + x2 * x2 + x2 * (1.0 / q2 - 2.0));
    return (float)(gain >= 0.0f ? std::sqrt(v) : 1.0 / std::sqrt(v));
}

// ---- Root finding -----------------------------------------------------------------------------

namespace
{

// Magnitude of a with the sign of b, sign(0) = +1.
double sign_of(double a, double b)
{
    return b >= 0.0 ? std::fabs(a) : -std::fabs(a);
}

// True when x is negligible against s at single precision (the roots need no more).
bool negligible(double x, double s)
{
    return (float)(x + s) == (float)s;
}

// Balances the matrix a[1..n][1..n] by powers of 2 so that rows and columns have similar norms.
void balance(double a[10][10], int n)
{
    const double radix = 2.0, sqrdx = radix * radix;
    for (int sweep = 0; sweep < 100; ++sweep)
    {
        bool done = true;
        for (int i = 1; i <= n; ++i)
        {
            double r = 0.0, c = 0.0;
            for (int j = 1; j <= n; ++j)
                if (j != i)
                {
                    c += std::fabs(a[j][i]);
                    r += std::fabs(a[i][j]);
                }
            if (c == 0.0 || r == 0.0) continue;
            double g = r / radix, f = 1.0;
            const double s = c + r;
            while (c < g)
            {
                f *= radix;
                c *= sqrdx;
            }
            g = r * radix;
            while (c > g)
            {
                f /= radix;
                c /= sqrdx;
            }
            if ((c + r) / f < 0.95 * s)
            {
                done = false;
                for (int j = 1; j <= n; ++j) a[i][j] /= f;
                for (int j = 1; j <= n; ++j) a[j][i] *= f;
            }
        }
        if (done) break;
    }
}

// Eigenvalues of the upper Hessenberg matrix a[1..n][1..n] by the shifted QR iteration
// (Francis double shift) into wr/wi[1..n]. Returns false when a split takes more than
// kMaxIts iterations.
// Row l of the trailing unreduced block ending at row nn: the lowest negligible sub-diagonal
// entry above it is set to 0 (l = 1 when there is none).
int unreduced_start(double a[10][10], int nn, double anorm)
{
    int l;
    for (l = nn; l >= 2; --l)
    {
        double s = std::fabs(a[l - 1][l - 1]) + std::fabs(a[l][l]);
        if (s == 0.0) s = anorm;
        if (negligible(std::fabs(a[l][l - 1]), s))
        {
            a[l][l - 1] = 0.0;
            break;
        }
    }
    return l;
}

// Takes one eigenvalue (l == nn) or the pair of the trailing 2 x 2 block (l == nn - 1) off the
// bottom; t is the shift accumulated so far.
void deflate(double a[10][10], int l, int* nn, double t, double* wr, double* wi)
{
    const int n = *nn;
    double x = a[n][n];
    if (l == n)
    {
        wr[n] = x + t;
        wi[n] = 0.0;
        *nn = n - 1;
        return;
    }
    const double y = a[n - 1][n - 1];
    const double w = a[n][n - 1] * a[n - 1][n];
    const double p = 0.5 * (y - x), q = p * p + w;
    double z = std::sqrt(std::fabs(q));
    x += t;
    if (q >= 0.0)
    {
        z = p + sign_of(z, p);
        wr[n - 1] = wr[n] = x + z;
        // z = 0 only for a double root at x (p = q = 0).
        if (z != 0.0) wr[n] = x - w / z;
        wi[n - 1] = wi[n] = 0.0;
    }
    else
    {
        wr[n - 1] = wr[n] = x + p;
        wi[n - 1] = -(wi[n] = z);
    }
    *nn = n - 2;
}

// Start of a double-shift QR step with shifts from x, y, w: the row m at which the step begins
// (two consecutive small sub-diagonal entries) and the first column (p, q, r) of the shifted
// matrix there, scaled.
int francis_start(const double a[10][10], int l, int nn, double x, double y, double w, double* p,
                  double* q, double* r)
{
    int m;
    for (m = nn - 2; m >= l; --m)
    {
        const double z = a[m][m];
        *r = x - z;
        double s = y - z;
        *p = (*r * s - w) / a[m + 1][m] + a[m][m + 1];
        *q = a[m + 1][m + 1] - z - *r - s;
        *r = a[m + 2][m + 1];
        s = std::fabs(*p) + std::fabs(*q) + std::fabs(*r);
        *p /= s;
        *q /= s;
        *r /= s;
        if (m == l) break;
        const double u = std::fabs(a[m][m - 1]) * (std::fabs(*q) + std::fabs(*r));
        const double v = std::fabs(*p) *
                         (std::fabs(a[m - 1][m - 1]) + std::fabs(z) + std::fabs(a[m + 1][m + 1]));
        if (negligible(u, v)) break;
    }
    return m;
}

// The double-shift QR step itself: Householder reflections chase the bulge from row m down to nn.
void francis_sweep(double a[10][10], int l, int m, int nn, double p, double q, double r)
{
    for (int i = m + 2; i <= nn; ++i)
    {
        a[i][i - 2] = 0.0;
        if (i != m + 2) a[i][i - 3] = 0.0;
    }
    double x = 0.0, y, z;
    for (int k = m; k <= nn - 1; ++k)
    {
        if (k != m)
        {
            p = a[k][k - 1];
            q = a[k + 1][k - 1];
            r = 0.0;
            if (k != nn - 1) r = a[k + 2][k - 1];
            if ((x = std::fabs(p) + std::fabs(q) + std::fabs(r)) != 0.0)
            {
                p /= x;
                q /= x;
                r /= x;
            }
        }
        const double s = sign_of(std::sqrt(p * p + q * q + r * r), p);
        if (s == 0.0) continue;
        if (k == m)
        {
            if (l != m) a[k][k - 1] = -a[k][k - 1];
        }
        else
            a[k][k - 1] = -s * x;
        p += s;
        x = p / s;
        y = q / s;
        z = r / s;
        q /= p;
        r /= p;
        for (int j = k; j <= nn; ++j)
        {
            p = a[k][j] + q * a[k + 1][j];
            if (k != nn - 1)
            {
                p += r * a[k + 2][j];
                a[k + 2][j] -= p * z;
            }
            a[k + 1][j] -= p * y;
            a[k][j] -= p * x;
        }
        const int mmin = nn < k + 3 ? nn : k + 3;
        for (int i = l; i <= mmin; ++i)
        {
            p = x * a[i][k] + y * a[i][k + 1];
            if (k != nn - 1)
            {
                p += z * a[i][k + 2];
                a[i][k + 2] -= p * r;
            }
            a[i][k + 1] -= p * q;
            a[i][k] -= p;
        }
    }
}

bool hessenberg_qr(double a[10][10], int n, double* wr, double* wi)
{
    const int kMaxIts = 60;
    double anorm = 0.0;
    for (int i = 1; i <= n; ++i)
        for (int j = (i > 1 ? i - 1 : 1); j <= n; ++j) anorm += std::fabs(a[i][j]);
    int nn = n, l = 1;
    double t = 0.0;
    while (nn >= 1)
    {
        int its = 0;
        do
        {
            l = unreduced_start(a, nn, anorm);
            if (l >= nn - 1)
            {
                deflate(a, l, &nn, t, wr, wi);
                continue;
            }
            if (its == kMaxIts) return false;
            double x = a[nn][nn], y = a[nn - 1][nn - 1], w = a[nn][nn - 1] * a[nn - 1][nn];
            if (its == 10 || its == 20)
            {
                // Exceptional shift, to break a cycle.
                t += x;
                for (int i = 1; i <= nn; ++i) a[i][i] -= x;
                const double s = std::fabs(a[nn][nn - 1]) + std::fabs(a[nn - 1][nn - 2]);
                y = x = 0.75 * s;
                w = -0.4375 * s * s;
            }
            ++its;
            double p = 0.0, q = 0.0, r = 0.0;
            const int m = francis_start(a, l, nn, x, y, w, &p, &q, &r);
            francis_sweep(a, l, m, nn, p, q, r);
        } while (l < nn - 1);
    }
    return true;
}

} // namespace

namespace oxiir
{

int polyroots(const double* q, int N, double* re, double* im)
{
    if (N < 1 || N > 9) return -1;
    for (int k = 0; k <= N; ++k)
        if (!std::isfinite(q[k])) return -1;
    // Companion matrix, 1-based: its eigenvalues are the roots.
    double a[10][10] = {};
    for (int j = 1; j <= N; ++j) a[1][j] = q[N] != 0.0 ? -q[N - j] / q[N] : 0.0;
    for (int i = 2; i <= N; ++i) a[i][i - 1] = 1.0;
    balance(a, N);
    double wr[10], wi[10];
    if (!hessenberg_qr(a, N, wr, wi)) return -1;
    // Real roots first, by ascending magnitude (stable), then the conjugate pairs in the
    // order found (each pair stays adjacent).
    int n = 0;
    for (int i = 1; i <= N; ++i)
    {
        if (!std::isfinite(wr[i]) || !std::isfinite(wi[i])) return -1;
        if (wi[i] != 0.0) continue;
        int j = n++;
        while (j > 0 && std::fabs(re[j - 1]) > std::fabs(wr[i]))
        {
            re[j] = re[j - 1];
            im[j] = 0.0;
            --j;
        }
        re[j] = wr[i];
        im[j] = 0.0;
    }
    for (int i = 1; i <= N; ++i)
        if (wi[i] != 0.0)
        {
            re[n] = wr[i];
            im[n++] = wi[i];
        }
    return 0;
}

} // namespace oxiir

// ---- Factorisation ----------------------------------------------------------------------------

namespace
{

// A root of a section polynomial; `inf` marks a root at infinity (a numerator whose leading
// coefficients vanish, i.e. a pure delay factor).
struct Root
{
    double re = 0.0, im = 0.0;
    bool inf = false;
};

// Roots of c0·z^N + c1·z^(N−1) + … + cN in factorisation order; roots at infinity (leading
// zeros) follow the finite real roots. Returns false when the root finder fails.
bool section_roots(const double* c, int N, Root* out, double& gain)
{
    int L = 0;
    while (L <= N && c[L] == 0.0) ++L;
    gain = L <= N ? c[L] : 0.0;
    const int deg = L <= N ? N - L : 0;
    double q[10], re[9] = {}, im[9] = {};
    for (int k = 0; k <= deg; ++k) q[k] = c[N - k]; // q[k]: coefficient of z^k
    if (deg > 0 && oxiir::polyroots(q, deg, re, im) != 0) return false;
    int n = 0, r = 0;
    for (; r < deg && im[r] == 0.0; ++r, ++n) out[n].re = re[r];
    for (int k = deg; k < N; ++k) out[n++].inf = true;
    for (; r < deg; ++r, ++n)
    {
        out[n].re = re[r];
        out[n].im = im[r];
    }
    return true;
}

// Second-order factor (z − r1)(z − r2) as {1, c1, c2}, or the reduced factor for roots at
// infinity.
void pair_poly(const Root& r1, const Root& r2, double out[3])
{
    if (r1.inf || r2.inf)
    {
        // z^-2, or z^-1·(1 − r·z^-1) for one finite root r.
        const Root& r = r1.inf ? r2 : r1;
        out[0] = 0.0;
        out[1] = r.inf ? 0.0 : 1.0;
        out[2] = r.inf ? 1.0 : -r.re;
        return;
    }
    const double m = 0.5 * (r1.re + r2.re), d = 0.5 * (r1.im - r2.im);
    out[0] = 1.0;
    out[1] = -2.0 * m;
    // Two real roots give their product; a conjugate pair x ± jy gives x² + y².
    out[2] = (r1.im == 0.0 && r2.im == 0.0) ? r1.re * r2.re : m * m + d * d;
}

} // namespace

int ox_iir_factorization(const ox_iir_cfN* in, ox_iir_cfNf* out)
{
    if (!in || !out) return -3;
    const int N = in->order > 9 ? 9 : (int)in->order;
    double num[10], den[10];
    num[0] = in->b[0];
    den[0] = 1.0;
    for (int k = 1; k <= N; ++k)
    {
        num[k] = in->b[k];
        den[k] = in->a[k - 1];
    }
    for (int k = 0; k <= N; ++k)
        if (!std::isfinite(num[k]) || !std::isfinite(den[k])) return -3;
    Root zeros[9], poles[9];
    double g = 1.0, one = 1.0;
    if (N > 0 && (!section_roots(num, N, zeros, g) || !section_roots(den, N, poles, one)))
        return -3;
    out->order = (uint32_t)N;
    int j = 0;
    if (N & 1)
    {
        const Root &z0 = zeros[0], &p0 = poles[0];
        const double c[3] = {z0.inf ? 0.0 : g, z0.inf ? g : -z0.re * g, -p0.re};
        oxiir::round_cf1(&out->first, c);
        j = 1;
    }
    for (int k = 0; k < N / 2; ++k, j += 2)
    {
        double b[3], a[3];
        pair_poly(zeros[j], zeros[j + 1], b);
        pair_poly(poles[j], poles[j + 1], a);
        if (k == 0 && !(N & 1))
            for (double& v : b) v *= g;
        const double c[5] = {b[0], b[1], b[2], a[1], a[2]};
        oxiir::round_cf2(&out->sec[k], c);
    }
    return 0;
}

// ---- Phase unwrapping -------------------------------------------------------------------------

void ox_iir_unwrapphase(float* phase, int count)
{
    if (!phase || count < 2) return;
    float prev = phase[0], offset = 0.0f;
    for (int i = 0; i + 1 < count; ++i)
    {
        const float cur = phase[i + 1];
        const float d = cur - prev;
        float e = (d + kPiF) - std::floor((d + kPiF) / kTwoPiF) * kTwoPiF - kPiF;
        if (e == -kPiF && d > 0.0f) e = kPiF;
        // Jumps below π are real phase changes; a non-finite one is left alone so that it
        // cannot spoil the rest of the curve.
        if (std::fabs(d) >= kPiF && std::isfinite(d)) offset += e - d;
        prev = cur;
        phase[i + 1] = cur + offset;
    }
}
