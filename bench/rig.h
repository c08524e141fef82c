// The program as its start-up leaves it, for the benchmarks: the program's own window and display set-up
// (InitWindow, InitDirectDraw) made once per process, as its window class registers once, and its input set-up
// (InitDirectInput, InitKeyboard, InitJoystick on a virtual pad when asked, InitMouse) made for each benchmark.
#pragma once

#include "state/app_state.h"

class BenchRig {
public:
    explicit BenchRig(bool withPad);
    ~BenchRig();  // releases the input and detaches the pad; the display stays for the next benchmark
    BenchRig(const BenchRig&) = delete;
    BenchRig& operator=(const BenchRig&) = delete;
    bool ok() const { return up_; }
    int pad() const { return pad_; }

private:
    bool up_ = false;
    int pad_ = -1;
};

// After the last benchmark: destroys the window, whose procedure releases input and display as on a close.
void BenchRigClose();
