// Fuzzes the whole program through its event loop: each input is a script of desktop events and faults between
// frames, run from a clean start to Escape, with the program's invariants checked after every frame.
#include "fuzz/program_script.h"

#include <sanitizer/lsan_interface.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Fontconfig's first configuration load keeps a few blocks it never frees; that load happens in this first run.
    __lsan_disable();
    ScriptSetUp();
    __lsan_enable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunScript(data, size);
    return 0;
}
