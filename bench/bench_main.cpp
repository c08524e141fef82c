// The benchmark runner's entry: headless and without vsync unless the environment says otherwise.
#include <benchmark/benchmark.h>

#include "bench/rig.h"

#include <cstdlib>

int main(int argc, char** argv) {
    // SDL's own variables; a value already in the environment wins.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_RENDER_VSYNC", "0", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    BenchRigClose();
    benchmark::Shutdown();
    return 0;
}
