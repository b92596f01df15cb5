// Higher-order ambisonic encoder: re-encodes the signals of a virtual regular
// loudspeaker layout (12 icosahedron vertices for order 2, 20 dodecahedron
// vertices for order 3) into 9 or 16 ambisonic channels (SN3D, no
// Condon-Shortley phase), sample by sample and in place.
//
// The encoding matrix is the weighted least-squares encoder
// diag(w) * (Y^T Y)^-1 * Y^T of the layout's spherical harmonics Y; it is
// computed at compile time from that definition.
#ifndef OX_HOA_H
#define OX_HOA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Bits of `mode` / `flags`.
#define OX_HOA_COPY 0x1 // copy input 0 to every buffer instead of encoding
#define OX_HOA_ACN 0x2 // output order W Y Z X V T R S U Q O M K L N P (ACN) instead of W X Y Z R..Q

#define OX_HOA_MAX_MICS 32

typedef struct ox_hoa_cfg
{
    int32_t mode; // flag bits, copied into params->flags (default 0)
    float level;  // dB, clamped to -20..0 (default -6); does not change the encoding
} ox_hoa_cfg;

typedef struct ox_hoa_params
{
    int32_t num_mics;     // input signals: 12 for order 2, 20 for order 3
    int32_t num_channels; // ambisonic channels: 9 for order 2, 16 for order 3
    int32_t framesize;    // samples per process call
    int32_t order;        // 2 or 3
    int32_t flags;        // OX_HOA_* bits
} ox_hoa_params;

// The encoder keeps no running state; the record exists for the common life cycle.
typedef struct ox_hoa_state
{
    int32_t unused;
} ox_hoa_state;

// Stores the sizes (num_channels only for order 2 or 3). Returns -3 if any
// argument is below 1, else 0. Nothing is allocated.
int ox_hoa_alloc(ox_hoa_params* params, ox_hoa_state* state, int32_t num_mics, int32_t framesize,
                 int32_t order);

// mode 0, level -6 dB.
void ox_hoa_default_cfg(ox_hoa_cfg* cfg);

// Stores the sizes and flags and clamps cfg->level in place. Returns -3 (and
// processing then does nothing) unless order is 2 with 12 mics or 3 with 20
// mics and framesize >= 1; otherwise 0.
int ox_hoa_init(ox_hoa_params* params, ox_hoa_state* state, ox_hoa_cfg* cfg, int32_t num_mics,
                int32_t framesize, int32_t order);

// Clamps cfg->level in place and copies cfg->mode into the flags. Returns 0.
int ox_hoa_update_cfg(ox_hoa_params* params, ox_hoa_cfg* cfg);

// Nothing to reset or free.
void ox_hoa_reset(ox_hoa_params* params, ox_hoa_state* state);
void ox_hoa_done(ox_hoa_params* params, ox_hoa_state* state);

// bufs: at least num_mics channel pointers of framesize samples, holding the
// layout signals on entry and the ambisonic channels on return (the buffers
// beyond the last channel are zeroed). in: read only in copy mode (in[0]).
void ox_hoa_process_frame(const ox_hoa_params* params, ox_hoa_state* state, const float* const* in,
                          float* const* bufs);

#ifdef __cplusplus
}
#endif

#endif
