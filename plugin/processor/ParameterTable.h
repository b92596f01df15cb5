#pragma once
// The 35 host parameters: identifiers and display names (read by the processor and the
// editor), and for the processor each one's range, text conversions and decoder target.
#include <juce_core/juce_core.h>

#include "ox_abdec.h"

#include <cstddef>

struct ParameterInfo
{
    juce::String id, name, label;
};

constexpr int numParameters = 35;

// Host order.
extern const ParameterInfo parameterTable[numParameters];

// The rows of the table, in that order.
// clang-format off
enum ParameterRow
{
    formatinRow = 0, formatoutRow, micspacingRow, rotationRow, elevationRow,
    centerFocusRow, frontFocusRow, surroundFocusRow, rearFocusRow, frontHFocusRow, surroundHFocusRow,
    frontAngleRow, surroundAngleRow, rearAngleRow, frontHAngleRow, surroundHAngleRow,
    diffgainRow, diffdecorrRow,
    centerGainRow, frontGainRow, surroundGainRow, rearGainRow, frontHGainRow, surroundHGainRow,
    lfeGainRow, backDelShRow, backDelayRow, backHSFreqRow, backHSGainRow, binauralRow,
    xoverOnRow, xoverGainRow, xoverFreqRow, xoverOrderRow, xoverInvRow
};
// clang-format on
static_assert(xoverInvRow + 1 == numParameters, "one row per parameter");

// Input formats (0-based) with rules of their own: the spaced capsules of the A-format arrays,
// and the five-channel A.1 format, which decodes as A-format on a host of four inputs or fewer.
constexpr int aFormatInput = 0, aDotOneFormatInput = 5;

namespace parameterrules
{
// How a value is shown to the host; the way typed text is read back follows from it.
enum class TextKind
{
    plain,           // shortest form: 45, -180, 2.5
    oneDecimal,      // rounded to a tenth first: -4, -3.5
    fixedOneDecimal, // always one decimal: 20.0
    yesNo,           // "no" below 0.5, else "yes"; only "yes" reads as 1
    inputFormat,     // name of the 1-based input format
    outputFormat     // name of the 1-based output format
};

// Where a value goes in the decoder. Setup targets need a rebuild; configuration targets
// are applied to the running decoder.
enum class Target
{
    inputFormat,  // setup.input_format = value - 1
    outputFormat, // setup.output_format = value - 1
    micSpacing,   // setup.mic_spacing = spacing of choice value - 1
    binaural,     // setup.binaural (8-bit flag)
    configFloat,  // a float word of the configuration
    configFlag,   // an 8-bit flag word of the configuration
    configInt     // a 32-bit integer word of the configuration
};

struct ParameterRule
{
    float start, end, interval, skew;
    TextKind text;
    Target target;
    size_t offset; // into ox_abdec_config for the configuration targets
    bool sendsChangeMessage;
};

extern const ParameterRule rules[numParameters];

inline bool needsRebuild(Target t) noexcept
{
    return t == Target::inputFormat || t == Target::outputFormat || t == Target::micSpacing ||
           t == Target::binaural;
}

// The parameter's default, read from the decoder's own defaults.
float defaultValue(int index, const ox_abdec_setup& setup, const ox_abdec_config& config);

// Writes one parameter value into its decoder target.
void applyValue(int index, float value, ox_abdec_setup& setup, ox_abdec_config& config);

juce::String valueToText(TextKind kind, float value);
float textToValue(TextKind kind, const juce::String& text);
} // namespace parameterrules
