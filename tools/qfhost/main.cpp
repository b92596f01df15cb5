// qfhost: a console host for the Quillfield VST3 bundle.
//
//   qfhost info BUNDLE                         buses, latency, tail and the parameters with texts
//   qfhost circle OUT.wav [SECONDS] [TURN]     A-format of noise circling the array
//   qfhost decode BUNDLE IN.wav OUT.wav [id=text ...]
//                                              decodes through the plug-in (latency removed)
//   qfhost levels IN.wav [WINDOW] [NAMES]      per-channel RMS in dBFS over time windows
//   qfhost screenshot BUNDLE OUT.png [IN.wav]  the editor in a window (needs a display)
//
// Every failure prints one line on stderr that names the file or argument and says why, and
// exits with 1 (2 for a command line of the wrong shape). Nothing is written then: outputs go to
// a temporary file renamed over the output only once complete, so an existing file stays whole.
#include "AudioFiles.h"
#include "Display.h"
#include "HostedPlugin.h"
#include "TestSignals.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <new>
#include <optional>

namespace
{
constexpr double defaultRate = 48000.0;
constexpr int hostBlock = 480;

int fail(const juce::String& message)
{
    std::cerr << "qfhost: " << message << "\n";
    return 1;
}

int fail(const juce::String& what, const juce::String& reason)
{
    return fail(what + ": " + reason);
}

juce::File fileArgument(const juce::String& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile(path);
}

// A number as a user types it: the whole text, finite.
std::optional<double> parseNumber(const juce::String& text)
{
    const auto s = text.trim().toStdString();
    char* end = nullptr;
    const double value = std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::unique_ptr<qfhost::HostedPlugin> loadBundle(const juce::String& path, double rate)
{
    juce::String error;
    auto hosted = qfhost::HostedPlugin::load(fileArgument(path), rate, hostBlock, error);
    if (hosted == nullptr) fail(path, error.isNotEmpty() ? error : "cannot be loaded");
    return hosted;
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
    const auto out = fileArgument(args[0]);
    if (const auto e = qfhost::checkOutputPath(out); e.isNotEmpty()) return fail(args[0], e);
    const auto seconds = args.size() > 1 ? parseNumber(args[1]) : 8.0;
    const auto turn = args.size() > 2 ? parseNumber(args[2]) : 4.0;
    // At least one sample each; the file a plain WAV file, whose byte count has 32 bits.
    const double maxSeconds = (double)qfhost::maxWavFrames(4) / defaultRate;
    if (!seconds || *seconds * defaultRate < 1.0 || *seconds > maxSeconds)
        return fail("seconds \"" + args[1] + "\"",
                    "must be a number from 1/48000 to " + juce::String(maxSeconds, 1));
    if (!turn || *turn * defaultRate < 1.0)
        return fail("turn \"" + args[2] + "\"", "must be a number of seconds, at least 1/48000");
    const auto audio = qfhost::circlingAFormat(defaultRate, *seconds, *turn);
    if (const auto e = qfhost::writeWav(out, audio, defaultRate); e.isNotEmpty())
        return fail(args[0], e);
    return 0;
}

struct Setting
{
    juce::String argument, id, text;
};

// `id=text` arguments; an argument without `=` is named in `bad`.
std::optional<std::vector<Setting>> parseSettings(const juce::StringArray& args, int first,
                                                  juce::String& bad)
{
    std::vector<Setting> settings;
    for (int i = first; i < args.size(); ++i)
    {
        const auto id = args[i].upToFirstOccurrenceOf("=", false, false).trim();
        if (!args[i].containsChar('=') || id.isEmpty())
        {
            bad = args[i];
            return std::nullopt;
        }
        settings.push_back({args[i], id, args[i].fromFirstOccurrenceOf("=", false, false)});
    }
    return settings;
}

// Sets the parameters and shows each as the plug-in took it: a text that is none of a menu's
// entries, or a number past the range, is read otherwise, and the user sees it before using the
// file. The first unknown identifier is named in `bad`.
bool applySettings(qfhost::HostedPlugin& hosted, const std::vector<Setting>& settings,
                   juce::String& bad)
{
    for (const auto& s : settings)
        if (!hosted.setParameterText(s.id, s.text))
        {
            bad = s.argument;
            return false;
        }
    for (const auto& s : settings) std::cout << s.id << " = " << hosted.parameterText(s.id) << "\n";
    return true;
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
    // What the user typed is checked before any work.
    juce::String bad;
    const auto settings = parseSettings(args, 3, bad);
    if (!settings) return fail(bad, "a parameter is given as id=text, for example rotation=90");
    const auto out = fileArgument(args[2]);
    if (const auto e = qfhost::checkOutputPath(out); e.isNotEmpty()) return fail(args[2], e);
    juce::AudioBuffer<float> input;
    double rate = 0.0;
    if (const auto e = qfhost::readWav(fileArgument(args[1]), input, rate); e.isNotEmpty())
        return fail(args[1], e);

    auto hosted = loadBundle(args[0], rate);
    if (hosted == nullptr) return 1;
    auto& p = hosted->plugin();
    // Offline, the plug-in finishes a rebuild that a parameter asks for before the block that
    // follows it, instead of keeping its outputs silent meanwhile: every setting applies from
    // the first sample, on every run alike.
    p.setNonRealtime(true);
    hosted->prepare(rate, hostBlock);
    const auto notDecoded = "the plug-in does not decode at " + juce::String((juce::int64)rate) +
                            " Hz, the file's sample rate";
    if (!hosted->decodes()) return fail(args[1], notDecoded);
    if (!applySettings(*hosted, *settings, bad))
        return fail(bad, "no such parameter (qfhost info lists them)");

    const int latency = p.getLatencySamples();
    auto io = hosted->ioBuffer(input, latency);
    hosted->process(io, {hostBlock});
    if (!hosted->decodes()) return fail(args[1], notDecoded + " with these parameters");

    // Silence is a result too: then the whole output bus is written.
    const int used = usedChannels(io);
    juce::AudioBuffer<float> output(used > 0 ? used : p.getTotalNumOutputChannels(),
                                    input.getNumSamples());
    for (int c = 0; c < output.getNumChannels(); ++c)
        output.copyFrom(c, 0, io, c, latency, input.getNumSamples());
    std::cout << "decoded " << input.getNumChannels() << " -> " << output.getNumChannels()
              << " channels, latency " << latency << " samples removed\n";
    if (used == 0) std::cout << "the output is silent\n";
    if (const auto e = qfhost::writeWav(out, output, rate); e.isNotEmpty()) return fail(args[2], e);
    return 0;
}

int levels(const juce::StringArray& args)
{
    juce::AudioBuffer<float> audio;
    double rate = 0.0;
    if (const auto e = qfhost::readWav(fileArgument(args[0]), audio, rate); e.isNotEmpty())
        return fail(args[0], e);
    const auto windowText = args.size() > 1 ? args[1] : juce::String("0.5");
    const auto window = parseNumber(windowText);
    if (!window || *window * rate < 1.0 || *window * rate > audio.getNumSamples())
        return fail("window \"" + windowText + "\"",
                    "must be a number of seconds from one sample to the file's length (" +
                        juce::String(audio.getNumSamples() / rate, 3) + " s)");
    const int step = (int)(*window * rate);
    const auto names =
        juce::StringArray::fromTokens(args.size() > 2 ? args[2] : juce::String(), false);

    std::cout << "  time";
    for (int c = 0; c < audio.getNumChannels(); ++c)
        std::cout
            << juce::String(c < names.size() ? names[c] : juce::String(c + 1)).paddedLeft(' ', 6);
    std::cout << "   (RMS dBFS)\n";
    for (int start = 0; start <= audio.getNumSamples() - step; start += step)
    {
        std::cout << juce::String(start / rate, 2).paddedLeft(' ', 6);
        int loudest = 0;
        for (int c = 0; c < audio.getNumChannels(); ++c)
        {
            const float rms = audio.getRMSLevel(c, start, step);
            loudest = rms > audio.getRMSLevel(loudest, start, step) ? c : loudest;
            // A float file may hold infinities or NaNs, which have no level in dB.
            const auto dB = juce::Decibels::gainToDecibels(rms, -99.0f);
            std::cout << (std::isfinite(dB) ? juce::String(juce::roundToInt(dB))
                                            : juce::String(rms))
                             .paddedLeft(' ', 6);
        }
        std::cout << "   loudest: "
                  << (loudest < names.size() ? names[loudest] : juce::String(loudest + 1)) << "\n";
    }
    return 0;
}

int screenshot(const juce::StringArray& args);

int run(const juce::String& command, const juce::StringArray& args)
{
    const int n = args.size();
    if (command == "info" && n == 1) return info(args);
    if (command == "circle" && n >= 1 && n <= 3) return circle(args);
    if (command == "decode" && n >= 3) return decode(args);
    if (command == "levels" && n >= 1 && n <= 3) return levels(args);
    if (command == "screenshot" && (n == 2 || n == 3)) return screenshot(args);
    const juce::StringArray forms{"info BUNDLE", "circle OUT.wav [SECONDS] [TURN]",
                                  "decode BUNDLE IN.wav OUT.wav [id=text ...]",
                                  "levels IN.wav [WINDOW] [NAMES]",
                                  "screenshot BUNDLE OUT.png [IN.wav]"};
    juce::String usage = "info|circle|decode|levels|screenshot ...";
    for (const auto& form : forms)
        if (form.upToFirstOccurrenceOf(" ", false, false) == command) usage = form;
    std::cerr << "qfhost: usage: qfhost " << usage << "\n";
    return 2;
}
} // namespace

int main(int argc, char* argv[])
{
    const bool wantsDisplay = argc > 1 && juce::String(argv[1]) == "screenshot";
    if (wantsDisplay) qfhost::prepareDisplayForThreads();
    juce::ScopedJuceInitialiser_GUI framework;
    juce::StringArray args;
    for (int i = 2; i < argc; ++i) args.add(argv[i]);
    int status = 1;
    try
    {
        status = run(argc > 1 ? argv[1] : "", args);
    }
    catch (const std::bad_alloc&)
    {
        status = fail("out of memory");
    }
    return status;
}

namespace
{
// Opens the editor while the plug-in decodes IN.wav (or silence), lets it settle, and writes
// what the screen shows of it.
int screenshot(const juce::StringArray& args)
{
    const auto out = fileArgument(args[1]);
    if (const auto e = qfhost::checkOutputPath(out); e.isNotEmpty()) return fail(args[1], e);
    juce::AudioBuffer<float> input(4, (int)defaultRate);
    double rate = defaultRate;
    input.clear();
    if (args.size() > 2)
        if (const auto e = qfhost::readWav(fileArgument(args[2]), input, rate); e.isNotEmpty())
            return fail(args[2], e);
    if (!qfhost::displayAvailable()) return fail("no X display (set DISPLAY, e.g. under Xvfb)");
    auto hosted = loadBundle(args[0], defaultRate);
    if (hosted == nullptr) return 1;
    hosted->prepare(defaultRate, hostBlock);
    if (!hosted->openEditor()) return fail(args[0], "the plug-in has no editor");

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
    const auto e = qfhost::replaceFile(out, [&](juce::OutputStream& stream) {
        juce::PNGImageFormat png;
        return png.writeImageToStream(image, stream);
    });
    return e.isEmpty() ? 0 : fail(args[1], e);
}
} // namespace
