#include "ox_util.h"

#include <cmath>

extern "C" {

int ox_isfinitef(float x)
{
    return std::isfinite(x) ? 1 : 0;
}

float ox_clampf(float x, float lo, float hi, float def)
{
    if (!std::isfinite(x)) return def;
    return x < lo ? lo : (x > hi ? hi : x);
}

double ox_clampd(double x, double lo, double hi, double def)
{
    if (!std::isfinite(x)) return def;
    return x < lo ? lo : (x > hi ? hi : x);
}

int32_t ox_clampi(int32_t x, int32_t lo, int32_t hi)
{
    return x < lo ? lo : (x > hi ? hi : x);
}

} // extern "C"
