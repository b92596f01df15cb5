#include "AudioFiles.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <limits>
#include <sys/stat.h>

namespace qfhost
{

juce::String readWav(const juce::File& file, juce::AudioBuffer<float>& audio, double& sampleRate)
{
    if (file.isDirectory()) return "is a folder, not a WAV file";
    if (!file.existsAsFile()) return "no such file";
    auto stream = std::make_unique<juce::FileInputStream>(file);
    if (stream->failedToOpen())
        return "cannot be opened (" + stream->getStatus().getErrorMessage() + ")";
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(wav.createReaderFor(stream.release(), true));
    if (reader == nullptr) return "is not a WAV file";

    // The header's frame count comes from the file and may be damaged: past the file's end
    // there is nothing to read, and the samples start after 44 bytes of headers at least.
    const auto bytesPerFrame =
        juce::jmax<juce::int64>(1, (juce::int64)reader->numChannels * reader->bitsPerSample / 8);
    const auto frames = juce::jmin(reader->lengthInSamples,
                                   juce::jmax<juce::int64>(0, file.getSize() - 44) / bytesPerFrame);
    if (frames <= 0) return "holds no audio frames";
    if (frames > std::numeric_limits<int>::max()) return "is too long (more than 2^31 frames)";
    audio.setSize((int)reader->numChannels, (int)frames);
    if (!reader->read(&audio, 0, (int)frames, 0, true, true)) return "cannot be read";
    sampleRate = reader->sampleRate;
    return {};
}

juce::String checkOutputPath(const juce::File& file)
{
    if (file.isDirectory()) return "is a folder";
    // A device or a pipe (or a link to one) would be replaced by the renamed file, not written.
    struct stat info
    {
    };
    if (stat(file.getFullPathName().toRawUTF8(), &info) == 0 && !S_ISREG(info.st_mode))
        return "is not a regular file";
    const auto folder = file.getParentDirectory();
    if (!folder.isDirectory()) return "its folder " + folder.getFullPathName() + " does not exist";
    if (!folder.hasWriteAccess()) return "its folder " + folder.getFullPathName() + " is read-only";
    return {};
}

juce::String replaceFile(const juce::File& file,
                         const std::function<bool(juce::OutputStream&)>& writeContent)
{
    // A link is replaced where it points, so the link stays.
    const auto target = file.isSymbolicLink() ? file.getLinkedTarget() : file;
    // The temporary file is hidden and removed when this returns, whatever happened.
    juce::TemporaryFile temporary(target, juce::TemporaryFile::useHiddenFile);
    {
        juce::FileOutputStream out(temporary.getFile());
        if (out.failedToOpen())
            return "cannot be written (" + out.getStatus().getErrorMessage() + ")";
        const bool written = writeContent(out);
        out.flush();
        if (!written || out.getStatus().failed())
            return "cannot be written (" +
                   (out.getStatus().failed() ? out.getStatus().getErrorMessage()
                                             : juce::String("the writer failed")) +
                   ")";
    }
    return temporary.overwriteTargetFileWithTemporary() ? juce::String()
                                                        : juce::String("cannot be replaced");
}

namespace
{
// The framework's writer deletes the stream it is given; this one lends it ours, whose status
// can then be read after the writer has finished the header.
class LentStream : public juce::OutputStream
{
  public:
    explicit LentStream(juce::OutputStream& s) : target(s) {}
    void flush() override { target.flush(); }
    bool setPosition(juce::int64 position) override { return target.setPosition(position); }
    juce::int64 getPosition() override { return target.getPosition(); }
    bool write(const void* data, size_t size) override { return target.write(data, size); }

  private:
    juce::OutputStream& target;
};

constexpr int bytesPerSample = 3;
constexpr juce::int64 wavHeaderBytes = 128; // the writer's header, its channel mask included
} // namespace

juce::String writeWav(const juce::File& file, const juce::AudioBuffer<float>& audio,
                      double sampleRate)
{
    return replaceFile(file, [&](juce::OutputStream& out) {
        juce::WavAudioFormat wav;
        auto lent = std::make_unique<LentStream>(out);
        std::unique_ptr<juce::AudioFormatWriter> writer(wav.createWriterFor(
            lent.get(), sampleRate, (unsigned)audio.getNumChannels(), 8 * bytesPerSample, {}, 0));
        if (writer == nullptr) return false; // the stream is still ours
        lent.release();
        const bool written = writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples());
        writer.reset(); // writes the final header
        return written;
    });
}

juce::int64 maxWavFrames(int numChannels)
{
    const juce::int64 riffBytes = 0xffffffffLL;
    return (riffBytes - wavHeaderBytes) /
           (juce::int64)(bytesPerSample * juce::jmax(1, numChannels));
}

} // namespace qfhost
