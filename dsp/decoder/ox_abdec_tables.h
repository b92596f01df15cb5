// Format and speaker-layout tables of the decoder: the seven input formats, the
// thirty output formats of the menu (thirty-four layout records in all), the
// cross-over types and the microphone spacings, with the queries the plug-in
// uses to fill its menus. All tables are constant; texts are static and never
// freed by the caller.
#ifndef OX_ABDEC_TABLES_H
#define OX_ABDEC_TABLES_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OX_ABDEC_MAX_SPEAKERS 20       // speakers (beams) and channels per layout record
#define OX_ABDEC_NUM_INPUT_FORMATS 7   // input menu entries
#define OX_ABDEC_NUM_OUTPUT_FORMATS 30 // output menu entries
#define OX_ABDEC_NUM_LAYOUTS 34        // layout records (some are in no menu entry)
#define OX_ABDEC_NUM_XOVER_TYPES 3
#define OX_ABDEC_NUM_MIC_SPACINGS 21

// Speaker-class flags of a layout speaker.
#define OX_SPK_CENTER 2
#define OX_SPK_FRONT 4
#define OX_SPK_SURROUND 8
#define OX_SPK_REAR 16
#define OX_SPK_BACKCENTER 32
#define OX_SPK_UPPER 64
#define OX_SPK_LOWER 128
#define OX_SPK_MAINPAIR 256
#define OX_SPK_AFORMAT 512
#define OX_SPK_W 1024
#define OX_SPK_X 2048
#define OX_SPK_Y 4096
#define OX_SPK_Z 8192

// Channel-map entries other than a speaker index.
#define OX_CHMAP_LFE (-1)
#define OX_CHMAP_SILENT (-2)

// Answer of a format query: format name, channel-order text, channel count.
typedef struct ox_abdec_formatinfo
{
    const char* name;
    const char* channels;
    int32_t num_channels;
} ox_abdec_formatinfo;

// One microphone-spacing choice: menu label and spacing in millimetres.
typedef struct ox_abdec_micspacinginfo
{
    const char* label;
    float spacing_mm;
} ox_abdec_micspacinginfo;

// One output layout. Azimuth in degrees (negative to the left, 0 ahead),
// elevation in degrees (positive up), flags OX_SPK_*, per speaker. channel_map
// gives per output channel the feeding speaker, OX_CHMAP_LFE or
// OX_CHMAP_SILENT; in the ambisonic records it lists all speakers 0..n-1 and is
// longer than the channel count. Entries past the speakers and the map are 0.
typedef struct ox_abdec_speakerlayout
{
    int32_t mode; // 1 for stereo and the ITU/SMPTE and film loudspeaker layouts
    int32_t num_speakers;
    int32_t num_channels;
    float azimuth[OX_ABDEC_MAX_SPEAKERS];
    float elevation[OX_ABDEC_MAX_SPEAKERS];
    int32_t flags[OX_ABDEC_MAX_SPEAKERS];
    int32_t channel_map[OX_ABDEC_MAX_SPEAKERS];
} ox_abdec_speakerlayout;

// Input side, indexed by the input menu index 0..6.
extern const char* const formatNameIn[OX_ABDEC_NUM_INPUT_FORMATS];
extern const char* const channelOrderIn[OX_ABDEC_NUM_INPUT_FORMATS];
extern const int32_t formatNchanIn[OX_ABDEC_NUM_INPUT_FORMATS];
// Engine input format: 0 A-format, 1 FuMa, 2 AmbiX, 3 double MS, 4 Schoeps
// triple MS, 5 Dolby triple MS, 6 A.1-format.
extern const int32_t formatIndexIn[OX_ABDEC_NUM_INPUT_FORMATS];

// Cross-over type names; the filter order is the index + 2.
extern const char* const xoverOrder[OX_ABDEC_NUM_XOVER_TYPES];

// Microphone-spacing labels and spacings (mm), indexed by spacing choice 0..20.
extern const char* const micSpacingString[OX_ABDEC_NUM_MIC_SPACINGS];
extern const float micSpacingValue[OX_ABDEC_NUM_MIC_SPACINGS];

// Output side, indexed by layout record 0..33.
extern const char* const output_formats_names[OX_ABDEC_NUM_LAYOUTS];
extern const char* const output_formats_channels[OX_ABDEC_NUM_LAYOUTS];
extern const ox_abdec_speakerlayout output_formats_layouts[OX_ABDEC_NUM_LAYOUTS];
// Output menu index 0..29 -> layout record.
extern const int32_t output_formats_menu[OX_ABDEC_NUM_OUTPUT_FORMATS];

// Fills info for input format index (is_output 0, index 0..6) or output menu
// index (is_output non-zero, index 0..29) and returns info (NULL for a NULL
// info). An index out of range gives empty texts and a channel count of 0.
ox_abdec_formatinfo* ox_abdec_getformatinfo(ox_abdec_formatinfo* info, int32_t index,
                                            int32_t is_output);

// Output menu index 0..29: name into info->name and the channel-order text into
// *channels_out (either pointer may be NULL). Returns 0, or -8 for an index out
// of range (texts then empty).
int32_t abdec_getformatinfo(int32_t index, ox_abdec_formatinfo* info, const char** channels_out);

// Layout record of output menu index 0..29, NULL for an index out of range.
const ox_abdec_speakerlayout* ox_abdec_getlayout(int32_t index);

// Name of cross-over type 0..2; empty text for an index out of range.
const char* ox_abdec_getxoverinfo(int32_t index);

// Spacing choice 0..20; out of range: empty label and 0 mm.
ox_abdec_micspacinginfo ox_abdec_getmicspacinginfo(int32_t index);

#ifdef __cplusplus
}
#endif

#endif
