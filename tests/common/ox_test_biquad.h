// Oracles for biquad sections, shared by the biquad suites.
#ifndef OX_TEST_BIQUAD_H
#define OX_TEST_BIQUAD_H

#include "ox_biquad.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace oxtest
{

// H(e^{iω}) of the stored (float) coefficients, evaluated in double.
inline std::complex<double> biquad_response(const ox_biquad_coeffs& c, double w)
{
    const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
    return (double(c.b0) + double(c.b1) * z1 + double(c.b2) * z2) /
           (1.0 + double(c.a1) * z1 + double(c.a2) * z2);
}

// D + C·(zI − A)⁻¹·B at z = e^{iω} of a second-order state-space set (any record with the
// fields A11, A12, A21, A22, B1, B2, C1, C2, D), in double.
template <class S> std::complex<double> ss2_response(const S& s, double w)
{
    typedef std::complex<double> cd;
    const cd z = std::polar(1.0, w);
    const cd m11 = z - double(s.A11), m12 = -double(s.A12), m21 = -double(s.A21),
             m22 = z - double(s.A22);
    const cd dt = m11 * m22 - m12 * m21;
    const cd x1 = (m22 * double(s.B1) - m12 * double(s.B2)) / dt;
    const cd x2 = (-m21 * double(s.B1) + m11 * double(s.B2)) / dt;
    return double(s.D) + double(s.C1) * x1 + double(s.C2) * x2;
}

// x through the direct-form filter from a zero state.
inline std::vector<float> biquad_run(const ox_biquad_coeffs& c, const std::vector<float>& x)
{
    std::vector<float> y(x.size());
    ox_biquad_state st = {0, 0, 0, 0};
    ox_biquad_filter(&st, x.data(), y.data(), int32_t(x.size()), c);
    return y;
}

// Largest deviation of y from x run through the section in double precision (the stored
// coefficients without the float rounding of the recursion), relative to that output's RMS.
inline double biquad_rel_error(const ox_biquad_coeffs& c, const std::vector<float>& x,
                               const std::vector<float>& y)
{
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0, err = 0, pow = 0;
    for (size_t i = 0; i < x.size(); ++i)
    {
        const double v = double(c.b0) * x[i] + double(c.b1) * x1 + double(c.b2) * x2 -
                         double(c.a1) * y1 - double(c.a2) * y2;
        x2 = x1, x1 = x[i], y2 = y1, y1 = v;
        err = std::max(err, std::fabs(double(y[i]) - v));
        pow += v * v;
    }
    return err / std::sqrt(pow / double(x.size()));
}

} // namespace oxtest

#endif
