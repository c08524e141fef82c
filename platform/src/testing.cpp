// The live-object counters every service keeps, and the test hooks that only read them.
#include "platform/testing.h"

#include "platform/src/platform.h"

LiveCounts liveObjects = {};

TestLiveObjects TestGetLiveObjects() {
    const LiveCounts& l = liveObjects;
    return {l.directDraws, l.surfaces,     l.palettes,     l.dcs,    l.bitmaps,
            l.fonts,       l.directInputs, l.inputDevices, l.windows};
}

void TestPumpEvents() { PlatformPumpEvents(); }
