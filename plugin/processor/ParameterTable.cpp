#include "ParameterTable.h"

#include <cfloat>
#include <cmath>
#include <cstring>

const ParameterInfo parameterTable[numParameters] = {
    {"formatin", "Input format", ""},
    {"formatout", "Output format", ""},
    {"micspacing", "Microphone Distance", ""},
    {"rotation", "Rotation", ""},
    {"elevation", "Elevation", ""},
    {"center_focus", "Center", ""},
    {"front_focus", "Front", ""},
    {"surround_focus", "Surround", ""},
    {"rear_focus", "Rear", ""},
    {"frontH_focus", "Front elevated", ""},
    {"surroundH_focus", "Surround elevated", ""},
    {"front_angle", "Front", ""},
    {"surround_angle", "Surround", ""},
    {"rear_angle", "Rear", ""},
    {"frontH_angle", "Front elevated", ""},
    {"surroundH_angle", "Surround elevated", ""},
    {"diffgain", "Diffuse gain", ""},
    {"diffdecorr", "Diffuse de-correlation", ""},
    {"center_gain", "Center", ""},
    {"front_gain", "Front", ""},
    {"surround_gain", "Surround", ""},
    {"rear_gain", "Rear", ""},
    {"frontH_gain", "Front elevated", ""},
    {"surroundH_gain", "Surround elevated", ""},
    {"lfe_gain", "LFE", ""},
    {"back_del_sh", "Back delay and shelving", ""},
    {"back_delay", "Back delay", ""},
    {"back_HS_freq", "Back shelving frequency", ""},
    {"back_HS_gain", "Back shelving gain", ""},
    {"binaural", "Binaural output", ""},
    {"xover_on", "Cross-over", ""},
    {"xover_gain", "Gain", ""},
    {"xover_freq", "Frequency", ""},
    {"xover_order", "Order", ""},
    {"xover_inv", "Invert Bass", ""},
};

namespace parameterrules
{
namespace
{
constexpr float tenth = 0.1f;
using T = TextKind;
using G = Target;
#define OX_CFG(field) offsetof(ox_abdec_config, field)
} // namespace

const ParameterRule rules[numParameters] = {
    {1, 7, 1, 1, T::inputFormat, G::inputFormat, 0, true},
    {1, 30, 1, 1, T::outputFormat, G::outputFormat, 0, true},
    {1, 21, 1, 1, T::plain, G::micSpacing, 0, false},
    {-180, 180, 1, 1, T::plain, G::configFloat, OX_CFG(rotation), false},
    {-90, 90, 1, 1, T::plain, G::configFloat, OX_CFG(elevation), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(center.focus), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(front.focus), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(surround.focus), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(rear.focus), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(frontH.focus), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(surroundH.focus), false},
    {0, 90, 1, 1, T::plain, G::configFloat, OX_CFG(front.angle), false},
    {90, 180, 1, 1, T::plain, G::configFloat, OX_CFG(surround.angle), false},
    {90, 180, 1, 1, T::plain, G::configFloat, OX_CFG(rear.angle), false},
    {0, 90, 1, 1, T::plain, G::configFloat, OX_CFG(frontH.angle), false},
    {90, 180, 1, 1, T::plain, G::configFloat, OX_CFG(surroundH.angle), false},
    {-6, 6, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(diffgain), false},
    {0, 100, 1, 1, T::plain, G::configFloat, OX_CFG(diffdecorr), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(center.gain), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(front.gain), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(surround.gain), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(rear.gain), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(frontH.gain), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(surroundH.gain), false},
    {-20, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(lfe_gain), false},
    {0, 1, 1, 1, T::yesNo, G::configFlag, OX_CFG(back_del_sh), true},
    {0, 100, tenth, 1, T::fixedOneDecimal, G::configFloat, OX_CFG(back_delay), false},
    {2, 20, tenth, 0.5f, T::oneDecimal, G::configFloat, OX_CFG(back_HS_freq), false},
    {-20, 0, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(back_HS_gain), false},
    {0, 1, 1, 1, T::yesNo, G::binaural, 0, false},
    {0, 1, 1, 1, T::yesNo, G::configFlag, OX_CFG(xover_on), true},
    {-10, 10, tenth, 1, T::oneDecimal, G::configFloat, OX_CFG(xover_gain), false},
    {20, 200, 1, 1, T::plain, G::configFloat, OX_CFG(xover_freq), false},
    {0, 2, 1, 1, T::plain, G::configInt, OX_CFG(xover_order), false},
    {0, 1, 1, 1, T::yesNo, G::configFlag, OX_CFG(xover_inv), true},
};
#undef OX_CFG

namespace
{
// The configuration is a plain record of 32-bit words: a target is read and written
// through its byte offset.
template <typename Word> Word readWord(const ox_abdec_config& config, size_t offset)
{
    Word w;
    std::memcpy(&w, reinterpret_cast<const char*>(&config) + offset, sizeof w);
    return w;
}

template <typename Word> void writeWord(ox_abdec_config& config, size_t offset, Word w)
{
    std::memcpy(reinterpret_cast<char*>(&config) + offset, &w, sizeof w);
}

float spacingOfChoice(int choice)
{
    return ox_abdec_getmicspacinginfo((int32_t)choice).spacing_mm;
}

juce::String formatName(float value, int32_t isOutput)
{
    ox_abdec_formatinfo info{};
    ox_abdec_getformatinfo(&info, (int32_t)(value + 0.5f) - 1, isOutput);
    return info.name != nullptr ? juce::String(juce::CharPointer_UTF8(info.name)) : juce::String();
}

float formatIndex(const juce::String& text, int32_t isOutput, int count)
{
    for (int i = 0; i < count; ++i)
    {
        ox_abdec_formatinfo info{};
        ox_abdec_getformatinfo(&info, i, isOutput);
        if (info.name != nullptr && text == juce::String(juce::CharPointer_UTF8(info.name)))
            return (float)(i + 1);
    }
    return 1.0f;
}
} // namespace

float defaultValue(int index, const ox_abdec_setup& setup, const ox_abdec_config& config)
{
    const auto& s = rules[index];
    switch (s.target)
    {
    case Target::inputFormat:
        return (float)(setup.input_format + 1);
    case Target::outputFormat:
        return (float)(setup.output_format + 1);
    case Target::micSpacing:
        return 1.0f; // the smallest spacing choice
    case Target::binaural:
        return (setup.binaural & 0xff) != 0 ? 1.0f : 0.0f;
    case Target::configFloat:
        return readWord<float>(config, s.offset);
    case Target::configFlag:
        return (readWord<int32_t>(config, s.offset) & 0xff) != 0 ? 1.0f : 0.0f;
    case Target::configInt:
        return (float)readWord<int32_t>(config, s.offset);
    }
    return s.start;
}

void applyValue(int index, float value, ox_abdec_setup& setup, ox_abdec_config& config)
{
    const auto& s = rules[index];
    const auto asInt = (int32_t)value;
    const int32_t asFlag = value >= 0.5f ? 1 : 0;
    switch (s.target)
    {
    case Target::inputFormat:
        setup.input_format = asInt - 1;
        break;
    case Target::outputFormat:
        setup.output_format = asInt - 1;
        break;
    case Target::micSpacing:
        setup.mic_spacing = spacingOfChoice(asInt - 1);
        break;
    case Target::binaural:
        setup.binaural = asFlag;
        break;
    case Target::configFloat:
        writeWord<float>(config, s.offset, value);
        break;
    case Target::configFlag:
        writeWord<int32_t>(config, s.offset, asFlag);
        break;
    case Target::configInt:
        writeWord<int32_t>(config, s.offset, asInt);
        break;
    }
}

juce::String valueToText(TextKind kind, float value)
{
    switch (kind)
    {
    case TextKind::plain:
        return juce::String(value);
    case TextKind::oneDecimal:
        return juce::String(std::round(value * 10.0f) / 10.0f);
    case TextKind::fixedOneDecimal:
        return juce::String(value, 1);
    case TextKind::yesNo:
        return value < 0.5f ? "no" : "yes";
    case TextKind::inputFormat:
        return formatName(value, 0);
    case TextKind::outputFormat:
        return formatName(value, 1);
    }
    return {};
}

float textToValue(TextKind kind, const juce::String& text)
{
    switch (kind)
    {
    case TextKind::yesNo:
        return text == "yes" ? 1.0f : 0.0f;
    case TextKind::inputFormat:
        return formatIndex(text, 0, OX_ABDEC_NUM_INPUT_FORMATS);
    case TextKind::outputFormat:
        return formatIndex(text, 1, OX_ABDEC_NUM_OUTPUT_FORMATS);
    default:
    {
        // Read in double, so an overflowing number or a typed infinity lands on the range's
        // nearer end (the parameter limits the value) rather than going non-finite; NaN has
        // no nearer end and reads as 0, like text that is no number.
        const double v = text.getDoubleValue();
        if (std::isnan(v)) return 0.0f;
        return (float)juce::jlimit(-(double)FLT_MAX, (double)FLT_MAX, v);
    }
    }
}
} // namespace parameterrules
