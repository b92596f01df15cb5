// Multichannel ring buffers of float samples with one read and one write
// position shared by all channels. Used to adapt host blocks of any length to
// fixed processing frames; frames can be processed in place through
// ox_circbuf_readN / ox_circbuf_writeN without copying.
//
// Result codes are positive error numbers: 0 success, 12 (ENOMEM) allocation
// failed, 22 (EINVAL) bad argument, 34 (ERANGE) not enough free space or not
// enough samples.
#ifndef OX_CIRCBUF_H
#define OX_CIRCBUF_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_CIRCBUF_MAXCHAN 20

// Ring descriptor, owned by the caller and zeroed before first use.
// Invariants: free_count + fill_count = capacity;
// write_pos = (read_pos + fill_count) mod capacity.
typedef struct ox_circbuf
{
    uint64_t channels;               // 0..20
    uint64_t capacity;               // samples per channel
    uint64_t write_pos;              // next sample to be written, 0..capacity-1
    uint64_t read_pos;               // oldest readable sample, 0..capacity-1
    uint64_t free_count;             // samples per channel that can still be written
    uint64_t fill_count;             // samples per channel that can be read
    float* chan[OX_CIRCBUF_MAXCHAN]; // channel storage; chan[0] owns the one allocation
} ox_circbuf;

// Sets up `ring` with `channels` channels of `capacity` samples, starting with
// `latency` readable samples of silence. A descriptor that already holds
// storage releases it once the new storage is in place. Returns 0; 22 for a
// null ring, capacity 0, latency > capacity or more than 20 channels; 12 when
// the allocation fails (the descriptor is then left as it was).
int32_t ox_circbuf_init(ox_circbuf* ring, uint64_t channels, uint64_t capacity, uint64_t latency);

// Sizes and sets up an input ring (nin channels, empty) and an output ring
// (nout channels, pre-filled with the latency as silence) with one capacity,
// for host blocks of up to `block` samples and frames of `frame` samples
// (fixedframe != 0: the latency is one frame). On success stores the capacity
// and latency through the non-null pointers and returns 0; otherwise both rings
// are left zeroed without storage and 22 (null ring, frame 0, capacity 0, more
// than 20 channels, sizes of 2^32 or more) or 12 (no memory) is returned.
int32_t ox_circbuf_smartinit2(ox_circbuf* in, ox_circbuf* out, uint64_t nin, uint64_t nout,
                              uint64_t block, uint64_t frame, int32_t fixedframe,
                              uint64_t* capacity_out, uint64_t* latency_out);

// Frees the storage and zeroes the descriptor (null ignored).
void ox_circbuf_destroy(ox_circbuf* ring);

// ox_circbuf_destroy of each non-null ring.
void ox_circbuf_destroy2(ox_circbuf* in, ox_circbuf* out);

// Appends n samples to every channel from src[channels] (or, with src null,
// commits n samples already written in place through ox_circbuf_writeN).
// Returns 0; 22 for a null or unset ring or a null channel pointer in src;
// 34 when fewer than n samples are free (ring unchanged).
int32_t ox_circbuf_pushN(ox_circbuf* ring, const float* const* src, uint64_t n);

// Removes the n oldest samples of every channel into dst[channels] (or, with
// dst null, discards them). Returns 0; 22 for a null or unset ring or a null
// channel pointer in dst; 34 when fewer than n samples are readable (unchanged).
int32_t ox_circbuf_popN(ox_circbuf* ring, float* const* dst, uint64_t n);

// Sets ptrs[k] to channel k's oldest readable sample and returns how many
// samples can be read there in one contiguous piece; 0 for null arguments.
int32_t ox_circbuf_readN(ox_circbuf* ring, float** ptrs);

// Sets ptrs[k] to channel k's next free sample and returns how many samples
// can be written there in one contiguous piece; 0 for null arguments.
int32_t ox_circbuf_writeN(ox_circbuf* ring, float** ptrs);

#ifdef __cplusplus
}
#endif

#endif
