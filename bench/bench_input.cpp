// One per-frame read of each input device through the program's read functions, each beside a memcpy
// of the same record bytes.
#include <benchmark/benchmark.h>

#include "bench/floors.h"
#include "bench/rig.h"
#include "input/input.h"

namespace {

template <void (*Read)()>
void ReadDevice(benchmark::State& state, size_t bytes) {
    BenchRig rig(true);  // the program's input as start-up leaves it, with a virtual pad
    if (!rig.ok()) {
        state.SkipWithError("no input devices");
        return;
    }
    for (auto _ : state) {
        Read();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

void BM_ReadKeyboard(benchmark::State& state) { ReadDevice<ReadKeyboard>(state, sizeof(app.keys)); }
BENCHMARK(BM_ReadKeyboard);
void BM_MemcpyKeyboardRecord(benchmark::State& state) { MemcpyFloor(state, sizeof(app.keys)); }
BENCHMARK(BM_MemcpyKeyboardRecord);

void BM_ReadMouse(benchmark::State& state) { ReadDevice<ReadMouse>(state, sizeof(DIMOUSESTATE)); }
BENCHMARK(BM_ReadMouse);
void BM_MemcpyMouseRecord(benchmark::State& state) { MemcpyFloor(state, sizeof(DIMOUSESTATE)); }
BENCHMARK(BM_MemcpyMouseRecord);

// Poll included, as the program makes it before every joystick read.
void BM_ReadJoystick(benchmark::State& state) { ReadDevice<ReadJoystick>(state, sizeof(DIJOYSTATE)); }
BENCHMARK(BM_ReadJoystick);
// The read alone, without the Poll that refreshes SDL's joysticks: where the joystick's time goes.
void BM_JoystickStateOnly(benchmark::State& state) {
    BenchRig rig(true);
    if (!rig.ok()) {
        state.SkipWithError("no input devices");
        return;
    }
    DIJOYSTATE record;
    for (auto _ : state) {
        app.joystickDevice->GetDeviceState(sizeof(record), &record);
        benchmark::DoNotOptimize(&record);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sizeof(record)));
}
BENCHMARK(BM_JoystickStateOnly);
void BM_MemcpyJoystickRecord(benchmark::State& state) { MemcpyFloor(state, sizeof(DIJOYSTATE)); }
BENCHMARK(BM_MemcpyJoystickRecord);

}  // namespace
