#include "ox_circbuf.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

namespace
{

constexpr int32_t kNoMem = 12;
constexpr int32_t kInval = 22;
constexpr int32_t kRange = 34;

// Host blocks and frames beyond this are not sample counts but garbage; the
// limit also keeps block + 2 * frame far from overflow.
constexpr uint64_t kMaxSize = (uint64_t)1 << 32;

// A ring that positions may be taken modulo its capacity and whose channel
// array may be indexed by its channel count.
bool usable(const ox_circbuf* ring)
{
    return ring && ring->capacity > 0 && ring->channels <= OX_CIRCBUF_MAXCHAN;
}

// Copies n samples per channel between the ring storage at position pos
// (wrapping at the end) and the caller's linear buffers.
void copy_in(ox_circbuf* ring, const float* const* src, uint64_t pos, uint64_t n)
{
    const uint64_t first = n < ring->capacity - pos ? n : ring->capacity - pos;
    for (uint64_t k = 0; k < ring->channels; ++k)
    {
        memcpy(ring->chan[k] + pos, src[k], sizeof(float) * first);
        memcpy(ring->chan[k], src[k] + first, sizeof(float) * (n - first));
    }
}

void copy_out(const ox_circbuf* ring, float* const* dst, uint64_t pos, uint64_t n)
{
    const uint64_t first = n < ring->capacity - pos ? n : ring->capacity - pos;
    for (uint64_t k = 0; k < ring->channels; ++k)
    {
        memcpy(dst[k], ring->chan[k] + pos, sizeof(float) * first);
        memcpy(dst[k] + first, ring->chan[k], sizeof(float) * (n - first));
    }
}

bool channel_ptrs_ok(const ox_circbuf* ring, const void* const* p)
{
    for (uint64_t k = 0; k < ring->channels; ++k)
        if (!p[k]) return false;
    return true;
}

int32_t contiguous(const ox_circbuf* ring, float** ptrs, uint64_t pos, uint64_t avail)
{
    for (uint64_t k = 0; k < ring->channels; ++k) ptrs[k] = ring->chan[k] + pos;
    const uint64_t run = ring->capacity - pos;
    const uint64_t n = avail < run ? avail : run;
    return n > (uint64_t)INT32_MAX ? INT32_MAX : (int32_t)n;
}

} // namespace

extern "C" {

int32_t ox_circbuf_init(ox_circbuf* ring, uint64_t channels, uint64_t capacity, uint64_t latency)
{
    if (!ring || capacity == 0 || capacity < latency || channels > OX_CIRCBUF_MAXCHAN)
        return kInval;
    float* store = nullptr;
    if (channels > 0)
    {
        if (capacity > SIZE_MAX / sizeof(float) / channels) return kNoMem;
        store = (float*)calloc(capacity * channels, sizeof(float));
        if (!store) return kNoMem;
    }
    // Only now that the new storage exists is the old one let go: a failed
    // init leaves a live ring usable, a successful one never leaks.
    free(ring->chan[0]);
    memset(ring, 0, sizeof(*ring));
    ring->channels = channels;
    ring->capacity = capacity;
    for (uint64_t k = 0; k < channels; ++k) ring->chan[k] = store + k * capacity;
    ring->fill_count = latency;
    ring->free_count = capacity - latency;
    ring->write_pos = 0;
    ring->read_pos = latency == 0 ? 0 : capacity - latency;
    return 0;
}

int32_t ox_circbuf_smartinit2(ox_circbuf* in, ox_circbuf* out, uint64_t nin, uint64_t nout,
                              uint64_t block, uint64_t frame, int32_t fixedframe,
                              uint64_t* capacity_out, uint64_t* latency_out)
{
    uint64_t capacity = 0, latency = 0;
    const bool sizes_ok = frame > 0 && frame < kMaxSize && block < kMaxSize;
    if (sizes_ok)
    {
        const bool frame_multiple = block > 0 && frame % block == 0;
        const bool block_multiple = block % frame == 0;
        if (fixedframe != 0 || (!frame_multiple && !block_multiple))
        {
            // Room for one host block on top of a frame being assembled.
            capacity = (block + frame + frame - 1) / frame * frame;
            latency = frame;
        }
        else if (frame_multiple)
        {
            capacity = frame;
            latency = frame - block;
        }
        else
        {
            capacity = block;
            latency = 0;
        }
    }

    // capacity 0 (no frame, or a block of 0) is refused by ox_circbuf_init.
    const int32_t rin = in ? ox_circbuf_init(in, nin, capacity, 0) : kInval;
    const int32_t rout =
        (out && capacity >= latency) ? ox_circbuf_init(out, nout, capacity, latency) : kInval;
    if (rin != 0 || rout != 0)
    {
        ox_circbuf_destroy2(in, out);
        return rin != 0 ? rin : rout;
    }
    if (capacity_out) *capacity_out = capacity;
    if (latency_out) *latency_out = latency;
    return 0;
}

void ox_circbuf_destroy(ox_circbuf* ring)
{
    if (!ring) return;
    free(ring->chan[0]);
    memset(ring, 0, sizeof(*ring));
}

void ox_circbuf_destroy2(ox_circbuf* in, ox_circbuf* out)
{
    ox_circbuf_destroy(in);
    ox_circbuf_destroy(out);
}

int32_t ox_circbuf_pushN(ox_circbuf* ring, const float* const* src, uint64_t n)
{
    if (!usable(ring) || (src && !channel_ptrs_ok(ring, (const void* const*)src))) return kInval;
    if (ring->free_count < n) return kRange;
    const uint64_t w = ring->write_pos;
    ring->write_pos = (w + n) % ring->capacity;
    ring->free_count -= n;
    if (src) copy_in(ring, src, w, n);
    ring->fill_count += n;
    return 0;
}

int32_t ox_circbuf_popN(ox_circbuf* ring, float* const* dst, uint64_t n)
{
    if (!usable(ring) || (dst && !channel_ptrs_ok(ring, (const void* const*)dst))) return kInval;
    if (ring->fill_count < n) return kRange;
    const uint64_t r = ring->read_pos;
    ring->read_pos = (r + n) % ring->capacity;
    ring->fill_count -= n;
    if (dst) copy_out(ring, dst, r, n);
    ring->free_count += n;
    return 0;
}

int32_t ox_circbuf_readN(ox_circbuf* ring, float** ptrs)
{
    if (!usable(ring) || !ptrs) return 0;
    return contiguous(ring, ptrs, ring->read_pos, ring->fill_count);
}

int32_t ox_circbuf_writeN(ox_circbuf* ring, float** ptrs)
{
    if (!usable(ring) || !ptrs) return 0;
    return contiguous(ring, ptrs, ring->write_pos, ring->free_count);
}

} // extern "C"
