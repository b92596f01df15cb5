#include "TestSignals.h"

#include <cmath>

namespace qfhost
{

std::array<float, 4> aFormatGains(float azimuthDegrees, float elevationDegrees)
{
    // Capsule corners LF, RF, LB, RB of the tetrahedron (x front, y left, z up).
    static const float corners[4][3] = {{1, 1, 1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
    const double az = juce::degreesToRadians((double)azimuthDegrees);
    const double el = juce::degreesToRadians((double)elevationDegrees);
    const double d[3] = {std::cos(el) * std::cos(az), std::cos(el) * std::sin(az), std::sin(el)};
    std::array<float, 4> gains{};
    for (int c = 0; c < 4; ++c)
    {
        const double dot =
            (corners[c][0] * d[0] + corners[c][1] * d[1] + corners[c][2] * d[2]) / std::sqrt(3.0);
        gains[(size_t)c] = (float)(0.5 * (1.0 + dot));
    }
    return gains;
}

namespace
{
// Noise from a direction that may move: azimuthAt (sample index) gives the azimuth.
template <typename AzimuthAt>
juce::AudioBuffer<float> noiseFrom(int numSamples, AzimuthAt azimuthAt, float elevationDegrees,
                                   float level, juce::int64 seed)
{
    juce::Random random(seed);
    juce::AudioBuffer<float> out(4, juce::jmax(0, numSamples));
    for (int i = 0; i < out.getNumSamples(); ++i)
    {
        const auto gains = aFormatGains(azimuthAt(i), elevationDegrees);
        const float s = level * (2.0f * random.nextFloat() - 1.0f);
        for (int c = 0; c < 4; ++c) out.setSample(c, i, gains[(size_t)c] * s);
    }
    return out;
}
} // namespace

juce::AudioBuffer<float> planeWaveAFormat(int numSamples, float azimuthDegrees,
                                          float elevationDegrees, float level, juce::int64 seed)
{
    return noiseFrom(
        numSamples, [=](int) { return azimuthDegrees; }, elevationDegrees, level, seed);
}

juce::AudioBuffer<float> circlingAFormat(double sampleRate, double seconds, double secondsPerTurn,
                                         float level)
{
    const auto azimuthAt = [=](int i) {
        const double turns = (double)i / (sampleRate * secondsPerTurn);
        return (float)(360.0 * (turns - std::floor(turns)));
    };
    return noiseFrom((int)(sampleRate * seconds), azimuthAt, 0.0f, level, 7);
}

} // namespace qfhost
