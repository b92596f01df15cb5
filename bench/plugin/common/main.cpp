// The plug-in benchmarks draw components and build processors: the framework is set up before
// the first benchmark and shut down after the last.
#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

int main(int argc, char** argv)
{
    juce::ScopedJuceInitialiser_GUI framework;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
