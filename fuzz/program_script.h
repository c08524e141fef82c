// The whole program run under a script of desktop events decoded from bytes, with what must hold after every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// What the scripts run so far in this process did, for the long run's report.
struct ScriptTotals {
    long runs = 0;
    long events = 0;  // script steps other than frames
    long frames = 0;  // frames the program drew
    long presented = 0;
    long faults = 0;        // injected display and input faults, losses and minimisations among the events
    long closedEarly = 0;   // runs the script itself closed (close request, signals, Escape or F12)
    long walks = 0;         // frames of the walk scene
    long walksEnded = 0;    // walks that ended with the sprite leaving the field
    std::string startLive;  // the live objects after the last run's start-up
};

// Once per process, before the first script: SDL's variables and a first run of the program, whose surfaces give
// the pictures every frame is held against.
void ScriptSetUp();
// One run of the program from a clean start: WinMain under the script these bytes make, then Escape. A broken
// invariant prints one line saying which and aborts. The fuzzer keeps runs short; the long run lifts the limit.
constexpr int kScriptFrameBudget = 250;
void RunScript(const uint8_t* data, size_t size, int frameBudget = kScriptFrameBudget);
const ScriptTotals& ScriptTotalsSoFar();
// Called with the message just before the abort, so a caller can keep what reproduces it.
void ScriptOnFailure(std::function<void(const std::string&)> handler);

// A script's first byte picks where the clock starts (its low two bits) and the window's first shape (the next two:
// full screen, a 640 x 480 window, a 160 x 120 one, a 320 x 200 one; the small ones make the frames cheap). The opcodes
// of the script's byte code, for corpus writers and the long run's generator: each opcode byte is taken modulo
// kScriptOps, and the steps' arguments follow it.
enum ScriptOp : uint8_t {
    kOpFrame,        // one frame (while minimised: one pass of the loop)
    kOpFrames,       // n: 1 + n frames
    kOpKeyDown,      // key
    kOpKeyUp,        // key
    kOpKeyRepeat,    // key
    kOpMotion,       // dx, dy: signed bytes
    kOpFarMotion,    // dx, dy: signed 32-bit
    kOpButton,       // b: SDL button 1 + b % 5, down when b has 0x80
    kOpWheel,        // signed byte; flipped when the next byte is odd
    kOpStickAttach,  // axes, buttons, hats, product
    kOpStickDetach,  // which
    kOpStickReplug,  // which: out, and the same make back in
    kOpStickAxis,    // which, axis, value (signed 16-bit)
    kOpStickButton,  // which, button, down
    kOpStickHat,     // which, hat, value
    kOpFocusLost,
    kOpFocusGained,
    kOpMinimise,
    kOpRestore,
    kOpAltEnter,
    kOpWindowSize,  // width, height: each two bytes, a power of two and a fraction
    kOpExpose,
    kOpSurfaceLoss,  // kind, skip
    kOpRestoreFail,  // count, which surface
    kOpBusy,         // count, which operation
    kOpBlitFail,     // skip
    kOpReadFail,     // device, result, count
    kOpClock,        // which jump
    kOpText,         // kind: text input, drop file, drop text, clipboard
    kOpClose,        // kind: window close, quit, SIGHUP, SIGTERM; only when the byte is 0xC0 or more
    kScriptOps
};
// A key argument: below 240 the scancode itself, else ((byte - 240) x 256 + the next byte) modulo 512.
constexpr uint8_t kScriptKeySpace = 44, kScriptKeyRight = 79, kScriptKeyLeft = 80, kScriptKeyDown = 81,
                  kScriptKeyUp = 82;
