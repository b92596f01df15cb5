// qfhost: a console host for the Quillfield VST3 bundle.
//
//   qfhost info BUNDLE                         buses, latency, tail and the parameters with texts
//   qfhost circle OUT.wav [SECONDS] [TURN]     A-format of noise circling the array
//   qfhost decode BUNDLE IN.wav OUT.wav [id=text ...]
//                                              decodes through the plug-in (latency removed)
//   qfhost levels IN.wav [WINDOW] [NAMES]      per-channel RMS in dBFS over time windows
//   qfhost screenshot BUNDLE OUT.png [IN.wav]  the editor in a window (needs a display)
#include "Display.h"
#include "HostedPlugin.h"
#include "TestSignals.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <iostream>

namespace
{
constexpr double defaultRate = 48000.0;
constexpr int hostBlock = 480;

int fail(const juce::String& message)
{
    std::cerr << "qfhost: " << message << "\n";
    return 1;
}

std::unique_ptr<qfhost::HostedPlugin> loadBundle(const juce::String& path, double rate)
{
    juce::String error;
    auto hosted = qfhost::HostedPlugin::load(
        juce::File::getCurrentWorkingDirectory().getChildFile(path), rate, hostBlock, error);
    if (hosted == nullptr) fail(error);
    return hosted;
}

bool readWav(const juce::File& file, juce::AudioBuffer<float>& audio, double& rate)
{
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatReader> reader(
        wav.createReaderFor(file.createInputStream().release(), true));
    if (reader == nullptr) return false;
    audio.setSize((int)reader->numChannels, (int)reader->lengthInSamples);
    reader->read(&audio, 0, audio.getNumSamples(), 0, true, true);
    rate = reader->sampleRate;
    return true;
}

bool writeWav(const juce::File& file, const juce::AudioBuffer<float>& audio, double rate)
{
    file.deleteFile();
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer(wav.createWriterFor(
        file.createOutputStream().release(), rate, (unsigned)audio.getNumChannels(), 24, {}, 0));
    return writer != nullptr && writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples());
}

int info(const juce::StringArray& args)
{
    auto hosted = loadBundle(args[0], defaultRate);
    if (hosted == nullptr) return 1;
    hosted->prepare(defaultRate, hostBlock);
    auto& p = hosted->plugin();
    std::cout << p.getName() << ": input " << p.getChannelLayoutOfBus(true, 0).getDescription()
              << ", output " << p.getChannelLayoutOfBus(false, 0).getDescription() << ", latency "
              << p.getLatencySamples() << " samples, tail " << p.getTailLengthSeconds() << " s\n";
    for (auto* param : p.getParameters())
        std::cout << "  " << param->getParameterIndex() << "  " << param->getName(64) << " = "
                  << param->getText(param->getValue(), 64) << "\n";
    return 0;
}

int circle(const juce::StringArray& args)
{
    const double seconds = args.size() > 1 ? args[1].getDoubleValue() : 8.0;
    const double turn = args.size() > 2 ? args[2].getDoubleValue() : 4.0;
    if (seconds <= 0.0 || turn <= 0.0) return fail("seconds and turn must be positive");
    const auto audio = qfhost::circlingAFormat(defaultRate, seconds, turn);
    return writeWav(juce::File::getCurrentWorkingDirectory().getChildFile(args[0]), audio,
                    defaultRate)
               ? 0
               : fail("cannot write " + args[0]);
}

// The last channel that carries any signal: the bus is wider than the decoded layout.
int usedChannels(const juce::AudioBuffer<float>& audio)
{
    int used = 0;
    for (int c = 0; c < audio.getNumChannels(); ++c)
        if (audio.getMagnitude(c, 0, audio.getNumSamples()) > 0.0f) used = c + 1;
    return used;
}

int decode(const juce::StringArray& args)
{
    juce::AudioBuffer<float> input;
    double rate = 0.0;
    const auto cwd = juce::File::getCurrentWorkingDirectory();
    if (!readWav(cwd.getChildFile(args[1]), input, rate)) return fail("cannot read " + args[1]);
    auto hosted = loadBundle(args[0], rate);
    if (hosted == nullptr) return 1;
    hosted->prepare(rate, hostBlock);
    for (int i = 3; i < args.size(); ++i)
        if (!hosted->setParameterText(args[i].upToFirstOccurrenceOf("=", false, false),
                                      args[i].fromFirstOccurrenceOf("=", false, false)))
            return fail("no parameter " + args[i]);

    auto& p = hosted->plugin();
    const int latency = p.getLatencySamples();
    auto io = hosted->ioBuffer(input, latency);
    hosted->process(io, {hostBlock});

    juce::AudioBuffer<float> output(usedChannels(io), input.getNumSamples());
    for (int c = 0; c < output.getNumChannels(); ++c)
        output.copyFrom(c, 0, io, c, latency, input.getNumSamples());
    std::cout << "decoded " << input.getNumChannels() << " -> " << output.getNumChannels()
              << " channels, latency " << latency << " samples removed\n";
    return writeWav(cwd.getChildFile(args[2]), output, rate) ? 0 : fail("cannot write " + args[2]);
}

int levels(const juce::StringArray& args)
{
    juce::AudioBuffer<float> audio;
    double rate = 0.0;
    if (!readWav(juce::File::getCurrentWorkingDirectory().getChildFile(args[0]), audio, rate))
        return fail("cannot read " + args[0]);
    const double window = args.size() > 1 ? args[1].getDoubleValue() : 0.5;
    const auto names =
        juce::StringArray::fromTokens(args.size() > 2 ? args[2] : juce::String(), false);
    const int step = juce::jmax(1, (int)(rate * window));

    std::cout << "  time";
    for (int c = 0; c < audio.getNumChannels(); ++c)
        std::cout
            << juce::String(c < names.size() ? names[c] : juce::String(c + 1)).paddedLeft(' ', 6);
    std::cout << "   (RMS dBFS)\n";
    for (int start = 0; start + step <= audio.getNumSamples(); start += step)
    {
        std::cout << juce::String(start / rate, 2).paddedLeft(' ', 6);
        int loudest = 0;
        for (int c = 0; c < audio.getNumChannels(); ++c)
        {
            const float rms = audio.getRMSLevel(c, start, step);
            loudest = rms > audio.getRMSLevel(loudest, start, step) ? c : loudest;
            std::cout << juce::String(juce::roundToInt(juce::Decibels::gainToDecibels(rms, -99.0f)))
                             .paddedLeft(' ', 6);
        }
        std::cout << "   loudest: "
                  << (loudest < names.size() ? names[loudest] : juce::String(loudest + 1)) << "\n";
    }
    return 0;
}

int screenshot(const juce::StringArray& args);
} // namespace

int main(int argc, char* argv[])
{
    const bool wantsDisplay = argc > 1 && juce::String(argv[1]) == "screenshot";
    if (wantsDisplay) qfhost::prepareDisplayForThreads();
    juce::ScopedJuceInitialiser_GUI framework;
    juce::StringArray args;
    for (int i = 2; i < argc; ++i) args.add(argv[i]);
    const juce::String command = argc > 1 ? argv[1] : "";
    if (command == "info" && args.size() == 1) return info(args);
    if (command == "circle" && args.size() >= 1) return circle(args);
    if (command == "decode" && args.size() >= 3) return decode(args);
    if (command == "levels" && args.size() >= 1) return levels(args);
    if (command == "screenshot" && args.size() >= 2) return screenshot(args);
    std::cerr
        << "usage: qfhost info|circle|decode|levels|screenshot ... (see the source's header)\n";
    return 2;
}

namespace
{
// Opens the editor while the plug-in decodes IN.wav (or silence), lets it settle, and writes
// what the screen shows of it.
int screenshot(const juce::StringArray& args)
{
    if (!qfhost::displayAvailable()) return fail("no X display (set DISPLAY, e.g. under Xvfb)");
    auto hosted = loadBundle(args[0], defaultRate);
    if (hosted == nullptr) return 1;
    hosted->prepare(defaultRate, hostBlock);
    juce::AudioBuffer<float> input(4, (int)defaultRate);
    double rate = defaultRate;
    input.clear();
    if (args.size() > 2 &&
        !readWav(juce::File::getCurrentWorkingDirectory().getChildFile(args[2]), input, rate))
        return fail("cannot read " + args[2]);
    if (!hosted->openEditor()) return fail("the plug-in has no editor");

    auto& p = hosted->plugin();
    juce::AudioBuffer<float> block(juce::jmax(16, p.getTotalNumOutputChannels()), hostBlock);
    for (int start = 0; start + hostBlock <= input.getNumSamples(); start += hostBlock)
    {
        block.clear();
        for (int c = 0; c < juce::jmin(4, input.getNumChannels()); ++c)
            block.copyFrom(c, 0, input, c, start, hostBlock);
        hosted->process(block, {hostBlock});
        juce::MessageManager::getInstance()->runDispatchLoopUntil(hostBlock * 1000 /
                                                                  (int)defaultRate);
    }
    juce::MessageManager::getInstance()->runDispatchLoopUntil(500);
    const auto image = qfhost::grabScreen(hosted->editorScreenBounds());
    hosted->closeEditor();
    if (!image.isValid()) return fail("cannot read the screen");
    const auto file = juce::File::getCurrentWorkingDirectory().getChildFile(args[1]);
    file.deleteFile();
    juce::FileOutputStream out(file);
    juce::PNGImageFormat png;
    return out.openedOk() && png.writeImageToStream(image, out) ? 0
                                                                : fail("cannot write " + args[1]);
}
} // namespace
