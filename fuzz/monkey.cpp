// The long seeded run of the whole program: scripts of desktop events made from one seed, run one after another from
// clean starts with every frame checked as the fuzzer checks it, and the figures of the whole run at the end.
// Usage: ditessary_monkey SEED EVENTS [FIRST_RUN]
#include "fuzz/program_script.h"

#include "platform/testing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Events in one run of the program; each run starts the program anew.
constexpr long kEventsPerRun = 20000;
// One step in this many is a whole walk to an edge, a few hundred frames.
constexpr int kWalkEvery = 3000;

long ResidentKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

// SplitMix64: each run's script comes from the seed and the run's number alone, so any run can be replayed by itself.
struct Random {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    int Below(int n) { return int(Next() % uint64_t(n)); }
    uint8_t Byte() { return uint8_t(Next()); }
};

// Steps by weight, per thousand: mostly frames, keys and the stick, so that the walk is started, walked and ended
// again and again, with the desktop's rarer events and the faults in between.
struct Weighted {
    ScriptOp op;
    int weight;
};
const Weighted kSteps[] = {
    {kOpFrame, 150},     {kOpFrames, 8},       {kOpKeyDown, 120},   {kOpKeyUp, 110},      {kOpKeyRepeat, 10},
    {kOpMotion, 60},     {kOpFarMotion, 5},    {kOpButton, 35},     {kOpWheel, 8},        {kOpStickAttach, 12},
    {kOpStickDetach, 6}, {kOpStickReplug, 6},  {kOpStickAxis, 80},  {kOpStickButton, 45}, {kOpStickHat, 8},
    {kOpFocusLost, 6},   {kOpFocusGained, 12}, {kOpMinimise, 3},    {kOpRestore, 8},      {kOpAltEnter, 3},
    {kOpWindowSize, 2},  {kOpExpose, 5},       {kOpSurfaceLoss, 6}, {kOpRestoreFail, 3},  {kOpBusy, 6},
    {kOpBlitFail, 4},    {kOpReadFail, 6},     {kOpClock, 6},       {kOpText, 6},         {kOpClose, 1},
};

// The bytes each step takes after its opcode, as the script reads them.
int ArgumentBytes(ScriptOp op) {
    switch (op) {
        case kOpMotion:
        case kOpSurfaceLoss:
        case kOpRestoreFail:
        case kOpBusy:
            return 2;
        case kOpFarMotion:
            return 8;
        case kOpButton:
        case kOpStickDetach:
        case kOpStickReplug:
        case kOpBlitFail:
        case kOpClock:
            return 1;
        case kOpWheel:
        case kOpStickHat:
        case kOpReadFail:
            return 3;
        case kOpStickAttach:
            return 4;
        default:
            return 0;
    }
}

void AppendKey(Random& random, std::vector<uint8_t>& out) {
    const uint8_t keys[] = {kScriptKeySpace, kScriptKeyLeft, kScriptKeyRight, kScriptKeyUp, kScriptKeyDown};
    if (random.Below(2) == 0) {
        out.push_back(keys[random.Below(5)]);
        return;
    }
    // Any key but Escape and F12, which would end the run; the fuzzer presses those.
    const int scancode = random.Below(512);
    if (scancode == 41 || scancode == 69) {
        out.push_back(kScriptKeySpace);
    } else if (scancode < 240) {
        out.push_back(uint8_t(scancode));
    } else {
        out.push_back(uint8_t(240 + scancode / 256));
        out.push_back(uint8_t(scancode % 256));
    }
}

// One run's script of `events` steps other than frames.
std::vector<uint8_t> MakeScript(uint64_t seed, long run, long events) {
    Random random{seed * 0x100000001B3u + uint64_t(run)};
    std::vector<uint8_t> out;
    // Mostly the small window, whose frames are cheap; now and then full screen or the 640 x 480 window.
    const uint8_t shapes[] = {2, 2, 2, 2, 2, 3, 1, 0};
    out.push_back(uint8_t(random.Below(4) | shapes[random.Below(8)] << 2));
    int total = 0;
    for (const Weighted& w : kSteps) total += w.weight;
    for (long made = 0; made < events;) {
        if (random.Below(kWalkEvery) == 0) {
            // A walk from the input-test scene to an edge: Space, then an arrow held past the 236 frames it takes.
            const uint8_t arrow = random.Below(2) ? kScriptKeyLeft : kScriptKeyRight;
            out.insert(out.end(), {kOpKeyDown, kScriptKeySpace, kOpFrame, kOpFrame, kOpKeyUp, kScriptKeySpace,
                                   kOpKeyDown, arrow, kOpFrames, 255, kOpFrames, 15, kOpKeyUp, arrow});
            made += 4;
            continue;
        }
        int pick = random.Below(total);
        size_t i = 0;
        while (pick >= kSteps[i].weight) pick -= kSteps[i++].weight;
        const ScriptOp op = kSteps[i].op;
        out.push_back(op);
        switch (op) {
            case kOpFrame:
                continue;
            case kOpFrames:
                out.push_back(uint8_t(random.Below(16)));
                continue;
            case kOpKeyDown:
            case kOpKeyUp:
            case kOpKeyRepeat:
                AppendKey(random, out);
                break;
            case kOpWindowSize:
                // Up to 8176 pixels a side, then a couple of frames and back to the small window: a gigabyte frame
                // on every step would make the long run days long, and the fuzzer reaches the largest sizes.
                for (int side = 0; side < 2; ++side) {
                    out.push_back(uint8_t(random.Below(13)));
                    out.push_back(random.Byte());
                }
                out.insert(out.end(), {kOpFrame, kOpFrame, kOpWindowSize, 7, 64, 6, 224});
                break;
            case kOpClose:
                out.push_back(uint8_t(random.Below(64) == 0 ? 0xC0 + random.Below(4) : 0));
                break;
            case kOpStickAxis: {
                out.push_back(random.Byte());
                out.push_back(uint8_t(random.Below(2)));
                const int16_t values[] = {0, 0, -32768, 32767, int16_t(random.Next())};
                const uint16_t value = uint16_t(values[random.Below(5)]);
                out.push_back(uint8_t(value));
                out.push_back(uint8_t(value >> 8));
                break;
            }
            case kOpStickButton:
                out.push_back(random.Byte());
                out.push_back(uint8_t(random.Below(2) == 0 ? 8 : random.Below(17)));
                out.push_back(uint8_t(random.Below(2)));
                break;
            case kOpText: {
                const uint8_t kind = random.Byte(), length = uint8_t(random.Below(12));
                out.push_back(kind);
                out.push_back(length);
                for (int k = 0; k < length + (kind % 6 == 1 ? 2 : kind % 6 == 4 ? 1 : 0); ++k)
                    out.push_back(random.Byte());
                break;
            }
            default:
                for (int k = 0; k < ArgumentBytes(op); ++k) out.push_back(random.Byte());
                break;
        }
        ++made;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 0;
    const long events = argc > 2 ? std::atol(argv[2]) : 0;
    const long firstRun = argc > 3 ? std::atol(argv[3]) : 0;
    if (argc < 3 || argc > 4 || events < 1 || firstRun < 0) {
        std::fprintf(stderr, "usage: %s SEED EVENTS [FIRST_RUN]\n", argv[0]);
        return 2;
    }
    std::printf("monkey: seed %llu, %ld events in runs of %ld from run %ld\n", (unsigned long long)seed, events,
                kEventsPerRun, firstRun);
    std::fflush(stdout);
    long run = firstRun;
    std::vector<uint8_t> script;
    ScriptOnFailure([&](const std::string&) {
        const std::string name = "monkey-" + std::to_string(seed) + "-" + std::to_string(run) + ".bin";
        if (FILE* file = std::fopen(name.c_str(), "wb")) {
            std::fwrite(script.data(), 1, script.size(), file);
            std::fclose(file);
        }
        std::fprintf(stderr,
                     "monkey: seed %llu, run %ld failed; replay it with make monkey SEED=%llu RUN=%ld (script in %s)\n",
                     (unsigned long long)seed, run, (unsigned long long)seed, run, name.c_str());
    });
    ScriptSetUp();

    const auto started = std::chrono::steady_clock::now();
    long done = 0, nextReport = events / 100;
    while (done < events) {
        const long now = std::min(kEventsPerRun, events - done);
        script = MakeScript(seed, run, now);
        const long before = ScriptTotalsSoFar().events;
        RunScript(script.data(), script.size(), 1 << 30);
        // A run the script closed early counts only the events it got to.
        done += std::max(1L, ScriptTotalsSoFar().events - before);
        ++run;
        if (done >= nextReport) {
            const ScriptTotals& t = ScriptTotalsSoFar();
            std::printf(
                "monkey: %ld events, %ld frames (%ld presented, %ld of the walk, %ld walks ended), %ld faults, "
                "%ld runs, peak resident %ld kB, %.0f s\n",
                t.events, t.frames, t.presented, t.walks, t.walksEnded, t.faults, t.runs - 1, ResidentKb("VmHWM:"),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            std::fflush(stdout);
            nextReport += events / 100;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const ScriptTotals& t = ScriptTotalsSoFar();
    const TestLiveObjects live = TestGetLiveObjects();
    const int alive = live.directDraws + live.surfaces + live.palettes + live.dcs + live.bitmaps + live.fonts +
                      live.directInputs + live.inputDevices + live.windows + live.files;
    std::printf(
        "monkey: seed %llu passed: %ld events, %ld frames (%ld presented, %ld of the walk, %ld walks ended), "
        "%ld faults, %ld runs (%ld closed by the script), %.0f s\n",
        (unsigned long long)seed, t.events, t.frames, t.presented, t.walks, t.walksEnded, t.faults, t.runs - 1,
        t.closedEarly, seconds);
    std::printf("monkey: live during every run: %s; after the last: %d; peak resident %ld kB\n", t.startLive.c_str(),
                alive, ResidentKb("VmHWM:"));
    return 0;
}
