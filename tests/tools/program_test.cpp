// The console program run as a user runs it: its exit status, its messages and the files it
// leaves, for good and bad command lines.
#include "AudioFiles.h"
#include "Bundle.h"
#include "TestSignals.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

extern char** environ;

namespace
{
struct Outcome
{
    int status = -1; // the exit code, or -1 when the program did not exit by itself
    juce::String out, err;
};

juce::String bundlePath()
{
    return juce::File(QF_BUNDLE_BINARY_DIR)
        .getParentDirectory()
        .getParentDirectory()
        .getFullPathName();
}

// Runs the program in `folder` (files are named as a user types them) with its output and
// messages in files; the exit code, or -1 when it did not exit by itself.
//
// The leak checker is off in the program: in a sanitizer build, gcc 12's checker follows a
// garbage dynamic thread-local entry at the exit of a program that hosted the bundle, and
// crashes or not with the heap's layout. The address and undefined-behaviour checks stay on;
// the in-process bundle tests check the hosting code for leaks.
int spawn(const juce::StringArray& args, const juce::File& folder, const juce::File& out,
          const juce::File& err)
{
    std::vector<std::string> words{QF_HOST_PROGRAM}, variables;
    for (const auto& a : args) words.push_back(a.toStdString());
    for (char** v = environ; *v != nullptr; ++v)
        if (std::strncmp(*v, "ASAN_OPTIONS=", 13) != 0) variables.push_back(*v);
    const char* asan = std::getenv("ASAN_OPTIONS");
    variables.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                        ":detect_leaks=0");
    std::vector<char*> argv, envp;
    for (auto& w : words) argv.push_back(w.data());
    for (auto& v : variables) envp.push_back(v.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addchdir_np(&files, folder.getFullPathName().toRawUTF8());
    for (const auto& [fd, file] : {std::pair{1, out}, {2, err}})
        posix_spawn_file_actions_addopen(&files, fd, file.getFullPathName().toRawUTF8(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    int status = 0;
    const bool exited =
        posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), envp.data()) == 0 &&
        waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    posix_spawn_file_actions_destroy(&files);
    return exited ? WEXITSTATUS(status) : -1;
}

class Program : public testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.createDirectory());
        ASSERT_TRUE(dir.getChildFile("out.wav").replaceWithText("a file of the user's"));
        input = qfhost::planeWaveAFormat(12000, 30.0f, 0.0f);
        writeWav("in.wav", input, 48000.0);
    }
    void TearDown() override { dir.deleteRecursively(); }

    Outcome qfhost(const juce::StringArray& args) const
    {
        juce::TemporaryFile out, err;
        Outcome run;
        run.status = spawn(args, dir, out.getFile(), err.getFile());
        run.out = out.getFile().loadFileAsString();
        run.err = err.getFile().loadFileAsString();
        return run;
    }

    void writeWav(const juce::String& name, const juce::AudioBuffer<float>& audio, double rate)
    {
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer(
            wav.createWriterFor(new juce::FileOutputStream(dir.getChildFile(name)), rate,
                                (unsigned)audio.getNumChannels(), 32, {}, 0));
        ASSERT_TRUE(writer != nullptr &&
                    writer->writeFromAudioSampleBuffer(audio, 0, audio.getNumSamples()));
    }

    juce::AudioBuffer<float> readWav(const juce::String& name, double& rate) const
    {
        juce::AudioBuffer<float> audio;
        EXPECT_EQ(qfhost::readWav(dir.getChildFile(name), audio, rate), "") << name;
        return audio;
    }

    // Every file in the folder, hidden ones too, with its contents (not a pipe's, which would
    // wait for a writer).
    std::map<std::string, std::string> folder() const
    {
        std::map<std::string, std::string> files;
        for (const auto& f : dir.findChildFiles(juce::File::findFilesAndDirectories, false, "*"))
        {
            const auto path = f.getFullPathName().toStdString();
            auto& content = files[path];
            struct stat info = {};
            if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            std::ifstream in(path, std::ios::binary);
            content.assign(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    // The program refused the command line on one line that names `named`, with exit status
    // `status`, and left every file as it was.
    void expectRefused(const juce::StringArray& args, const juce::String& named, int status = 1)
    {
        const auto before = folder();
        const auto run = qfhost(args);
        EXPECT_EQ(run.status, status) << args.joinIntoString(" ") << "\n" << run.err;
        EXPECT_TRUE(run.err.startsWith("qfhost: ") && run.err.contains(named) &&
                    run.err.trimEnd().indexOfChar('\n') < 0)
            << args.joinIntoString(" ") << "\n"
            << run.err;
        EXPECT_TRUE(folder() == before) << args.joinIntoString(" ");
    }

    const juce::File dir = juce::File::createTempFile("qfhost-test");
    juce::AudioBuffer<float> input;
};
} // namespace

TEST_F(Program, DecodeRefusesBadInputsParametersAndOutputsAndLeavesEveryFileAsItWas)
{
    ASSERT_TRUE(dir.getChildFile("folder").createDirectory());
    ASSERT_TRUE(dir.getChildFile("notes.wav").replaceWithText("not a sound"));
    writeWav("empty.wav", juce::AudioBuffer<float>(4, 0), 48000.0);
    writeWav("8k.wav", input, 8000.0); // rates the decoder does not run at
    writeWav("384k.wav", input, 384000.0);
    const auto b = bundlePath();
    for (const auto& out : {"out.wav", "new.wav"})
    {
        expectRefused({"decode", b, "missing.wav", out}, "missing.wav: no such file");
        expectRefused({"decode", b, "folder", out}, "folder: is a folder");
        expectRefused({"decode", b, "notes.wav", out}, "notes.wav: is not a WAV file");
        expectRefused({"decode", b, "empty.wav", out}, "empty.wav: holds no audio frames");
        expectRefused({"decode", b, "8k.wav", out}, "does not decode at 8000 Hz");
        expectRefused({"decode", b, "384k.wav", out}, "does not decode at 384000 Hz");
        expectRefused({"decode", b, "in.wav", out, "rotation"}, "rotation");
        expectRefused({"decode", b, "in.wav", out, "rotation=9", "bogus=3"}, "bogus=3");
        expectRefused({"decode", "no-bundle", "in.wav", out}, "no-bundle");
    }
    expectRefused({"decode", b, "in.wav", "folder"}, "folder: is a folder");
    expectRefused({"decode", b, "in.wav", "nowhere/out.wav"}, "does not exist");
    // A pipe (or a device) would be replaced by a renamed file, not written to.
    ASSERT_EQ(mkfifo(dir.getChildFile("pipe").getFullPathName().toRawUTF8(), 0644), 0);
    expectRefused({"decode", b, "in.wav", "pipe"}, "pipe: is not a regular file");
    expectRefused({"decode", b, "in.wav"}, "usage: qfhost decode BUNDLE", 2);
}

// Silence in gives a decode that carries no sound: still a valid file of the input's length.
TEST_F(Program, DecodeOfSilenceWritesASilentFileOfTheInputsLength)
{
    juce::AudioBuffer<float> silence(4, 12000);
    silence.clear();
    writeWav("silence.wav", silence, 48000.0);
    const auto run = qfhost({"decode", bundlePath(), "silence.wav", "out.wav"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.contains("the output is silent")) << run.out;
    double rate = 0.0;
    const auto out = readWav("out.wav", rate);
    EXPECT_TRUE(rate == 48000.0 && out.getNumChannels() >= 1 && out.getNumSamples() == 12000);
    for (int c = 0; c < out.getNumChannels(); ++c)
        EXPECT_EQ(out.getMagnitude(c, 0, out.getNumSamples()), 0.0f);
    EXPECT_EQ(folder().size(), 3u); // no temporary file left beside it
}

// The default decode is the bundle's output with its latency removed (up to the file's 24-bit
// steps); a format given on the command line holds from the first sample, every run alike, and
// a text that is none of the menu's entries is shown as the entry the plug-in took.
TEST_F(Program, DecodeIsTheBundlesOutputAndCommandLineParametersHoldFromTheFirstSample)
{
    auto hosted = bundle::load();
    ASSERT_NE(hosted, nullptr);
    const int latency = hosted->plugin().getLatencySamples();
    auto io = hosted->ioBuffer(input, latency);
    hosted->process(io, {480});
    ASSERT_EQ(qfhost({"decode", bundlePath(), "in.wav", "out.wav"}).status, 0);
    double rate = 0.0;
    const auto decoded = readWav("out.wav", rate);
    ASSERT_TRUE(decoded.getNumChannels() == 8 && decoded.getNumSamples() == input.getNumSamples());
    for (int c = 0; c < 8; ++c)
        for (int i = 0; i < decoded.getNumSamples(); ++i)
            ASSERT_NEAR(decoded.getSample(c, i), io.getSample(c, i + latency), 1.5 / 8388607.0)
                << c << ", " << i;

    juce::MemoryBlock first;
    for (const auto* format : {"formatout=Mono", "formatout=Mono", "formatout=7.1"})
    {
        const auto run = qfhost({"decode", bundlePath(), "in.wav", "mono.wav", format});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(run.out.startsWith("formatout = Mono\n")) << run.out;
        const auto mono = readWav("mono.wav", rate);
        EXPECT_TRUE(mono.getNumChannels() == 1 && mono.getMagnitude(0, 0, 480) > 0.01f);
        juce::MemoryBlock bytes;
        dir.getChildFile("mono.wav").loadFileAsData(bytes);
        if (first.isEmpty()) first = bytes;
        EXPECT_TRUE(bytes == first) << format;
    }
}

TEST_F(Program, CircleAndLevelsRefuseNumbersOutOfTheirRange)
{
    for (const auto* seconds : {"0", "-1", "nan", "inf", "abc", "1e-9", "50000"})
        expectRefused({"circle", "out.wav", seconds}, juce::String("seconds \"") + seconds);
    for (const auto* turn : {"0", "-2", "nan", "1e-300"})
        expectRefused({"circle", "new.wav", "1", turn}, juce::String("turn \"") + turn);
    expectRefused({"circle", "nowhere/c.wav"}, "nowhere/c.wav");
    expectRefused({"circle"}, "usage: qfhost circle", 2);
    const auto circled = qfhost({"circle", "c.wav", "0.01"});
    double rate = 0.0;
    const auto c = readWav("c.wav", rate);
    EXPECT_TRUE(circled.status == 0 && c.getNumChannels() == 4 && c.getNumSamples() == 480);

    for (const auto* window : {"0", "-1", "nan", "1e-9", "10"})
        expectRefused({"levels", "in.wav", window}, juce::String("window \"") + window);
    expectRefused({"levels", "missing.wav"}, "missing.wav: no such file");
    expectRefused({"levels", "in.wav", "0.1", "W X Y Z", "more"}, "usage: qfhost levels", 2);
    const auto levels = qfhost({"levels", "in.wav", "0.05"});
    EXPECT_EQ(levels.status, 0);
    EXPECT_EQ(juce::StringArray::fromLines(levels.out.trimEnd()).size(), 1 + 5) << levels.out;
}
