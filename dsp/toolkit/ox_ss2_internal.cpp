#include "ox_ss2_internal.h"

#include <cmath>
#include <initializer_list>

namespace
{

const oxss2::Set kPassThrough = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

// Smallest distance between the two poles of the modal forms. Their output vectors grow as
// 1/distance, and the output is their difference: with poles too close together, float
// rounding of the large terms swamps the result. Moving the poles apart instead changes the
// response by about (distance / (2·(1 − |p|)))², so near the unit circle the distance is
// kept proportional to 1 − |p|, which balances the two errors. 1e-3 (a discriminant of 1e-6)
// is the largest distance used, and the one kept for poles on or outside the circle; 1e-5
// keeps the two stored float poles clearly apart.
const double kSplitMax = 1e-3;
const double kSplitMin = 1e-5;
const double kSplitPerMargin = 1e-2;

double min_discriminant(double a1)
{
    const double margin = 1.0 - 0.5 * std::fabs(a1); // 1 − |p| of the (near-)double pole
    double split = kSplitMax;
    if (margin > 0.0) split = std::fmin(kSplitMax, std::fmax(kSplitMin, kSplitPerMargin * margin));
    return split * split;
}

// Input gain that normalises a real mode p; poles on or outside the unit circle have no such
// gain and keep 1 (any non-zero gain realises the section exactly, the output gain divides by
// it).
double mode_gain(double p)
{
    const double g = 1.0 - p * p;
    return g > 0.0 ? std::sqrt(g) : 1.0;
}

bool finite(const oxss2::Set& s)
{
    const float w[9] = {s.A11, s.A12, s.A21, s.A22, s.B1, s.B2, s.C1, s.C2, s.D};
    for (float x : w)
        if (!std::isfinite(x)) return false;
    return true;
}

// 2×2 matrices in double, row by row.
struct M2
{
    double a, b, c, d;
};

M2 mul(const M2& x, const M2& y)
{
    return {x.a * y.a + x.b * y.c, x.a * y.b + x.b * y.d, x.c * y.a + x.d * y.c,
            x.c * y.b + x.d * y.d};
}

double det(const M2& x)
{
    return x.a * x.d - x.b * x.c;
}

M2 inverse(const M2& x)
{
    const double k = 1.0 / det(x);
    return {x.d * k, -x.b * k, -x.c * k, x.a * k};
}

// Observability matrix: rows C and C·A.
M2 observability(const oxss2::Set& s)
{
    const double c1 = s.C1, c2 = s.C2;
    return {c1, c2, c1 * s.A11 + c2 * s.A21, c1 * s.A12 + c2 * s.A22};
}

// An observability matrix too close to singular to invert in single-precision terms: its
// determinant is negligible against the size of its entries.
bool singular(const M2& o)
{
    const double scale = o.a * o.a + o.b * o.b + o.c * o.c + o.d * o.d;
    const double dt = det(o);
    return !std::isfinite(dt) || !(std::fabs(dt) > 1e-9 * scale);
}

} // namespace

namespace oxss2
{

Set realise(double b0, double e1, double e2, double a1, double a2)
{
    for (double v : {b0, e1, e2, a1, a2})
        if (!std::isfinite(v)) return kPassThrough;
    double q = a1 * a1 - 4.0 * a2;
    const double qmin = min_discriminant(a1);
    if (std::fabs(q) < qmin) q = qmin;

    Set r;
    if (q > 0.0)
    {
        // Two real modes, each with its residue split between B and C. The poles are rounded
        // first, so that the residues belong to the poles actually stored.
        const double rq = std::sqrt(q);
        const double p1 = float((rq - a1) * 0.5), p2 = float((-a1 - rq) * 0.5);
        const double g1 = mode_gain(p1), g2 = mode_gain(p2);
        r.A11 = float(p1);
        r.A12 = 0.0f;
        r.A21 = 0.0f;
        r.A22 = float(p2);
        r.B1 = float(g1);
        r.B2 = float(g2);
        r.C1 = float((e1 * p1 + e2) / ((p1 - p2) * g1));
        r.C2 = float((e1 * p2 + e2) / ((p2 - p1) * g2));
    }
    else
    {
        // A conjugate pair re ± j·im as a scaled rotation.
        const double re = -a1 * 0.5, im = std::sqrt(-q) * 0.5;
        const double m = 1.0 - re * re;
        const double u = m - im * im; // 1 − |p|²
        const double v = im * im + m, w = -2.0 * re * im;
        double g1 = 1.0, g2 = 1.0;
        if (u > 0.0)
        {
            const double t = (std::sqrt(v * v + w * w) + w) / v;
            g1 = std::sqrt(2.0 * t * t * u / (t * t + 1.0));
            g2 = std::sqrt(2.0 * u / (t * t + 1.0));
        }
        const double k = (g1 * g1 + g2 * g2) * im;
        r.A11 = float(re);
        r.A12 = float(im);
        r.A21 = float(-im);
        r.A22 = float(re);
        r.B1 = float(g1);
        r.B2 = float(g2);
        r.C1 = float((g2 * e2 + im * e1 * g1 + re * g2 * e1) / k);
        r.C2 = float((g2 * e1 * im - e1 * g1 * re - g1 * e2) / k);
    }
    r.D = float(b0);
    return finite(r) ? r : kPassThrough;
}

bool take_over(const Set& old, Set* nw)
{
    const M2 oo = observability(old), on = observability(*nw);
    if (singular(oo) || singular(on)) return false;
    const M2 t = mul(inverse(oo), on);
    const M2 ti = mul(inverse(on), oo);
    const M2 a = mul(mul(t, {nw->A11, nw->A12, nw->A21, nw->A22}), ti);
    const double b1 = nw->B1, b2 = nw->B2;
    Set r;
    r.A11 = float(a.a);
    r.A12 = float(a.b);
    r.A21 = float(a.c);
    r.A22 = float(a.d);
    r.B1 = float(t.a * b1 + t.b * b2);
    r.B2 = float(t.c * b1 + t.d * b2);
    r.C1 = old.C1;
    r.C2 = old.C2;
    r.D = nw->D;
    if (!finite(r)) return false;
    *nw = r;
    return true;
}

} // namespace oxss2
