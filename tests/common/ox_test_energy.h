// Energy of a signal or packed spectrum, shared by the FFT and band suites.
#ifndef OX_TEST_ENERGY_H
#define OX_TEST_ENERGY_H

#include <vector>

namespace oxtest
{

// Sum of squares, in double precision.
inline double energy(const std::vector<float>& x)
{
    double e = 0.0;
    for (float v : x) e += double(v) * v;
    return e;
}

} // namespace oxtest

#endif
