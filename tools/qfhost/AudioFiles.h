#pragma once
// The console host's files: whole WAV files read with every way they can be wrong named, and
// outputs written so that a failure never leaves a user's file half-written or emptied.
// Each function answers an empty string when it succeeded, else the reason in a few words, for
// a message that names the file as the user typed it.
#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <functional>

namespace qfhost
{

// Reads every frame of a WAV file. Refuses a missing file, a folder, a file that cannot be
// opened, one that is not a WAV file, and one that holds no frames. A header that claims more
// frames than the file holds is read for what it holds.
juce::String readWav(const juce::File& file, juce::AudioBuffer<float>& audio, double& sampleRate);

// Whether a file may be written there, checked before any work: not a folder, in a folder that
// exists and can be written.
juce::String checkOutputPath(const juce::File& file);

// Writes the file through a temporary file beside it, renamed over it only when every byte was
// written; otherwise the temporary file is removed and an existing file stays as it was.
juce::String replaceFile(const juce::File& file,
                         const std::function<bool(juce::OutputStream&)>& writeContent);

// 24-bit WAV through replaceFile.
juce::String writeWav(const juce::File& file, const juce::AudioBuffer<float>& audio,
                      double sampleRate);

// The most frames of `numChannels` 24-bit channels a plain WAV file holds: it counts its bytes
// in 32 bits.
juce::int64 maxWavFrames(int numChannels);

} // namespace qfhost
