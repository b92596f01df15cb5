// Small numeric helpers shared by the toolkit and the decoder.
//
// Every clamp here rejects NaN: a plain std::clamp or a pair of comparisons
// lets NaN through, and one NaN in a filter state lasts for ever. A value that
// is not finite takes the caller's default instead.
#ifndef OX_UTIL_H
#define OX_UTIL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// 1 when x is neither NaN nor infinite.
int ox_isfinitef(float x);

// x limited to [lo, hi]; a non-finite x becomes def (def itself is not clamped).
float ox_clampf(float x, float lo, float hi, float def);
double ox_clampd(double x, double lo, double hi, double def);

// x limited to [lo, hi].
int32_t ox_clampi(int32_t x, int32_t lo, int32_t hi);

#ifdef __cplusplus
}
#endif

#endif
