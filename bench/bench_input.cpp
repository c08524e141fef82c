// One per-frame read of each input device through the program's read functions, each beside a memcpy
// of the same record bytes.
#include <benchmark/benchmark.h>

#include "bench/floors.h"

#include "input/input.h"
#include "platform/testing.h"

#include <cstring>
#include <vector>

namespace {

// The program's input as start-up leaves it, on its own window and a virtual pad.
struct InputRig {
    HWND window = nullptr;
    int pad = -1;

    InputRig() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "DITessaryInputBench";
        static const bool registered = RegisterClassA(&windowClass) != 0;
        if (!registered) return;
        window = CreateWindowExA(0, "DITessaryInputBench", "bench", WS_POPUP, 0, 0, 640, 480, NULL, NULL,
                                 windowClass.hInstance, NULL);
        if (!window) return;
        ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(window);
        pad = TestAttachJoystick(6, 15, 1);
        if (!InitDirectInput(windowClass.hInstance) || !InitKeyboard(window) || !InitMouse(window)) return;
        InitJoystick(window);
    }
    ~InputRig() {
        ReleaseInput();
        if (pad >= 0) TestDetachJoystick(pad);
        if (window) DestroyWindow(window);
    }
    bool ok() const { return app.keyboardDevice && app.mouseDevice && app.joystickDevice; }
};

template <void (*Read)()>
void ReadDevice(benchmark::State& state, size_t bytes) {
    InputRig rig;
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
    InputRig rig;
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
