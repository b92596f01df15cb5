// The direct-form-I recursion of one second-order section, shared by the IIR and biquad
// filters (not exported).
#ifndef OX_DF1_INTERNAL_H
#define OX_DF1_INTERNAL_H

#include <cmath>

namespace oxdf1
{

// Runs y = b0·x + b1·x1 + b2·x2 − a1·y1 − a2·y2 (summed in this order, in float) over n ≥ 1
// samples read from in[i·stride] and written to out[i·stride] (in place allowed). s holds
// {x1, x2, y1, y2} on entry and the new state on return: all zeros when it turned non-finite,
// since a NaN or Inf that entered the recursion would otherwise stay there for good. Coeffs
// is any record with float fields b0, b1, b2, a1, a2.
template <typename Coeffs>
inline void run(float s[4], const float* in, float* out, int n, int stride, const Coeffs& c)
{
    float x1 = s[0], x2 = s[1], y1 = s[2], y2 = s[3];
    for (int i = 0; i < n; ++i)
    {
        const float x = in[(long)i * stride];
        const float y = c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[(long)i * stride] = y;
    }
    const bool ok =
        std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y1) && std::isfinite(y2);
    s[0] = ok ? x1 : 0.0f;
    s[1] = ok ? x2 : 0.0f;
    s[2] = ok ? y1 : 0.0f;
    s[3] = ok ? y2 : 0.0f;
}

} // namespace oxdf1

#endif
