// The live-object counters every service keeps, and the test hooks that only read them.
#include "platform/testing.h"

#include "platform/src/platform.h"

#include <utility>

LiveCounts liveObjects = {};

namespace {
std::vector<std::string> releaseLog;
}

void RecordRelease(const char* what) { releaseLog.emplace_back(what); }

std::vector<std::string> TestTakeReleaseLog() { return std::exchange(releaseLog, {}); }

TestLiveObjects TestGetLiveObjects() { return liveObjects; }

void TestPumpEvents() { PlatformPumpEvents(); }
