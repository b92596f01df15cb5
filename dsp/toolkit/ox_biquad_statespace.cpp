#include "ox_biquad_statespace.h"

#include "ox_ss2_internal.h"
#include "ox_util.h"

#include <cmath>
#include <type_traits>

static_assert(std::is_standard_layout<ox_biquad_sspair>::value && sizeof(ox_biquad_ss) == 36 &&
                  sizeof(ox_biquad_sspair) == 76,
              "nine floats per realisation, then the selector");

void ox_biquad_sstransform(ox_biquad_ss* ss, ox_biquad_coeffs c)
{
    if (!ss) return;
    // Direct part removed: H(z) − b0 = (e1·z + e2) / (z² + a1·z + a2), e1 and e2 in single
    // precision.
    const float e1 = c.b1 - c.b0 * c.a1, e2 = c.b2 - c.b0 * c.a2;
    oxss2::to(oxss2::realise(c.b0, e1, e2, c.a1, c.a2), ss);
}

void ox_biquad_filter_ss(ox_biquad_ssstate* state, const float* in, float* out, int32_t n,
                         ox_biquad_ss ss)
{
    if (!state || !in || !out || n < 1) return;
    float s1 = state->s1, s2 = state->s2;
    for (int32_t i = 0; i < n; ++i)
    {
        const float x = in[i];
        out[i] = ss.C1 * s1 + ss.D * x + ss.C2 * s2;
        const float t1 = ss.A11 * s1 + ss.A12 * s2 + ss.B1 * x;
        const float t2 = ss.A21 * s1 + ss.A22 * s2 + ss.B2 * x;
        s1 = t1;
        s2 = t2;
    }
    // A NaN or Inf that entered the recursion would stay there for good.
    if (!ox_isfinitef(s1) || !ox_isfinitef(s2)) s1 = s2 = 0.0f;
    state->s1 = s1;
    state->s2 = s2;
}

void ox_biquad_filter_ss2(const ox_biquad_sspair* pair, ox_biquad_ssstate* state, const float* in,
                          float* out, int32_t n)
{
    if (!pair) return;
    ox_biquad_filter_ss(state, in, out, n, pair->select == 0 ? pair->first : pair->second);
}

void ox_biquad_ssswitch(const ox_biquad_ss* old, ox_biquad_ss* nw)
{
    if (!old || !nw) return;
    oxss2::Set r = oxss2::from(*nw);
    if (oxss2::take_over(oxss2::from(*old), &r)) oxss2::to(r, nw);
}
