#pragma once
// Test signals for the decoder: the four capsule signals (LF RF LB RB) of an ideal tetrahedral
// array of cardioids hit by a plane wave. Directions use x to the front, y to the left and z up;
// azimuth counts from the front towards the left, elevation upwards, both in degrees.
#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

namespace qfhost
{

// Capsule gains for a plane wave from (azimuth, elevation): each capsule is a cardioid along its
// tetrahedron corner, so it picks up 0.5 (1 + cos of the angle between it and the source).
std::array<float, 4> aFormatGains(float azimuthDegrees, float elevationDegrees);

// White noise (fixed seed, amplitude `level`) arriving from one direction, as A-format.
juce::AudioBuffer<float> planeWaveAFormat(int numSamples, float azimuthDegrees,
                                          float elevationDegrees, float level = 0.25f,
                                          juce::int64 seed = 1);

// Noise circling the array in the horizontal plane, starting in front and turning towards the
// left (anticlockwise seen from above), one turn every `secondsPerTurn`.
juce::AudioBuffer<float> circlingAFormat(double sampleRate, double seconds, double secondsPerTurn,
                                         float level = 0.25f);

} // namespace qfhost
