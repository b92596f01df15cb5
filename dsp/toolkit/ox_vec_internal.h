// Four-float vectors for the hot loops of the toolkit and the decoder blocks: GCC and Clang
// vector extensions, so the same code maps onto SSE, NEON or plain scalars. Loads and stores
// go through memcpy, so no alignment is assumed. Internal to the library (not exported).
#ifndef OX_VEC_INTERNAL_H
#define OX_VEC_INTERNAL_H

#include <cstring>

namespace oxvec
{

typedef float v4f __attribute__((vector_size(16)));

inline v4f load4(const float* p)
{
    v4f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store4(float* p, v4f v)
{
    std::memcpy(p, &v, sizeof v);
}

} // namespace oxvec

#endif
