// Command-line probe the Windows check and the comparison scripts use to read screens, dumps and the counter.
//
//   frameprobe check SHOT.xwd COND...                 exit 0 when every condition holds on the dump
//   frameprobe wait TIMEOUT_MS COND...                polls the X display ($DISPLAY) until they hold
//   frameprobe launch TIMEOUT_MS COND... -- CMD...    starts CMD, polls; prints "<ms from start> <pid>" (CMD's
//                                                     output goes to the probe's standard error)
//   frameprobe counter SHOT.xwd STRINGS.bmp           prints the frame-rate counter's number
//   frameprobe compare OUT.ppm --screen NAME A.xwd B.xwd [--mask L,T,R,B]...
//   frameprobe screen-counter L,T,SCALE STRINGS.bmp    the counter of a picture at (L, T) on the live screen, scaled
//                                                     by SCALE: read from its corner alone, so the X server's cost
//                                                     of the reading stays negligible
//   frameprobe wiggle SECONDS                          relative pointer motions through XTest every 8 ms, to and fro
//   frameprobe latency MOTIONS [SEED]                  input to screen: relative pointer motions through XTest, each
//                                                     timed until the input-test screen's cursor square moves;
//                                                     prints every time, then "p50 p95 max" in milliseconds
//
// A condition is R,G,B@L,T,R,B>=N (or <=N): how many pixels of that colour the rectangle holds.
#include "tools/frameprobe/frame_image.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint32_t kKeyGreen = 0x158D5B;  // RGB(21, 141, 91), the glyph strip's transparent colour
const FrameRect kTextLines = {200, 50, 460, 80};
const FrameRect kCounter = {0, 0, 64, 16};

struct Condition {
    uint32_t colour = 0;
    FrameRect rect;
    bool atLeast = true;
    long bound = 0;
};

int Fail(const std::string& message) {
    std::fprintf(stderr, "frameprobe: %s\n", message.c_str());
    return 2;
}

bool ReadFile(const char* path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool LoadDump(const char* path, FrameImage& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!ReadFile(path, bytes)) {
        error = std::string("cannot read ") + path;
        return false;
    }
    if (!ReadXwd(bytes, image, error)) {
        error = std::string(path) + ": " + error;
        return false;
    }
    return true;
}

bool ParseRect(const char* text, FrameRect& rect) {
    char tail = 0;
    return std::sscanf(text, "%d,%d,%d,%d%c", &rect.left, &rect.top, &rect.right, &rect.bottom, &tail) == 4 &&
           rect.left < rect.right && rect.top < rect.bottom;
}

bool ParseCondition(const char* text, Condition& condition) {
    int r, g, b, consumed = 0;
    char op[3] = {};
    if (std::sscanf(text, "%d,%d,%d@%d,%d,%d,%d%2[<>=]%ld%n", &r, &g, &b, &condition.rect.left, &condition.rect.top,
                    &condition.rect.right, &condition.rect.bottom, op, &condition.bound, &consumed) != 9 ||
        text[consumed] != 0) {
        return false;
    }
    condition.colour = FrameRgb(r, g, b);
    condition.atLeast = std::strcmp(op, ">=") == 0;
    return condition.atLeast || std::strcmp(op, "<=") == 0;
}

bool Holds(const Condition& condition, long count) {
    return condition.atLeast ? count >= condition.bound : count <= condition.bound;
}

// Parses conditions from argv[first] up to "--" or the end; returns the index after them, or -1 on a bad one.
int ParseConditions(int argc, char** argv, int first, std::vector<Condition>& conditions) {
    int i = first;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        Condition condition;
        if (!ParseCondition(argv[i], condition)) {
            std::fprintf(stderr, "frameprobe: bad condition %s (want R,G,B@L,T,R,B>=N)\n", argv[i]);
            return -1;
        }
        conditions.push_back(condition);
    }
    return conditions.empty() ? -1 : i;
}

int Check(int argc, char** argv) {
    std::vector<Condition> conditions;
    if (argc < 4 || ParseConditions(argc, argv, 3, conditions) != argc) return Fail("usage: check SHOT.xwd COND...");
    FrameImage shot;
    std::string error;
    if (!LoadDump(argv[2], shot, error)) return Fail(error);
    bool all = true;
    for (size_t i = 0; i < conditions.size(); ++i) {
        long count = CountColour(shot, conditions[i].colour, conditions[i].rect);
        std::printf("%s: %ld\n", argv[3 + i], count);
        all = all && Holds(conditions[i], count);
    }
    return all ? 0 : 1;
}

// Reads each condition's rectangle straight from the root window: a few small requests, well under a millisecond.
class ScreenPoller {
public:
    bool Open() {
        display_ = XOpenDisplay(nullptr);
        return display_ != nullptr;
    }
    ~ScreenPoller() {
        if (display_) XCloseDisplay(display_);
    }
    bool AllHold(const std::vector<Condition>& conditions) {
        Window root = DefaultRootWindow(display_);
        XWindowAttributes attributes;
        XGetWindowAttributes(display_, root, &attributes);
        for (const Condition& condition : conditions) {
            FrameRect r = condition.rect;
            r.right = std::min(r.right, attributes.width);
            r.bottom = std::min(r.bottom, attributes.height);
            long count = 0;
            if (r.left < r.right && r.top < r.bottom) {
                XImage* image = XGetImage(display_, root, r.left, r.top, unsigned(r.right - r.left),
                                          unsigned(r.bottom - r.top), AllPlanes, ZPixmap);
                if (!image) return false;
                for (int y = 0; y < image->height; ++y) {
                    for (int x = 0; x < image->width; ++x) {
                        unsigned long p = XGetPixel(image, x, y);
                        uint32_t rgb = FrameRgb(int(frame_detail::Channel(uint32_t(p), uint32_t(image->red_mask))),
                                                int(frame_detail::Channel(uint32_t(p), uint32_t(image->green_mask))),
                                                int(frame_detail::Channel(uint32_t(p), uint32_t(image->blue_mask))));
                        count += rgb == condition.colour;
                    }
                }
                XDestroyImage(image);
            }
            if (!Holds(condition, count)) return false;
        }
        return true;
    }

private:
    Display* display_ = nullptr;
};

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Polls every millisecond; the answer is late by at most one poll plus one round of requests.
bool PollUntil(const std::vector<Condition>& conditions, long timeoutMs, Clock::time_point start) {
    ScreenPoller poller;
    while (!poller.Open()) {
        if (MillisecondsSince(start) > double(timeoutMs)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    while (!poller.AllHold(conditions)) {
        if (MillisecondsSince(start) > double(timeoutMs)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int Wait(int argc, char** argv) {
    std::vector<Condition> conditions;
    if (argc < 4 || ParseConditions(argc, argv, 3, conditions) != argc) return Fail("usage: wait TIMEOUT_MS COND...");
    Clock::time_point start = Clock::now();
    if (!PollUntil(conditions, std::atol(argv[2]), start)) {
        std::fprintf(stderr, "frameprobe: the screen did not show that within %s ms\n", argv[2]);
        return 1;
    }
    std::printf("%.1f\n", MillisecondsSince(start));
    return 0;
}

int Launch(int argc, char** argv) {
    std::vector<Condition> conditions;
    int dash = argc < 4 ? -1 : ParseConditions(argc, argv, 3, conditions);
    if (dash < 0 || dash + 1 >= argc) return Fail("usage: launch TIMEOUT_MS COND... -- CMD [ARG...]");
    std::fflush(nullptr);
    Clock::time_point start = Clock::now();
    pid_t child = fork();
    if (child < 0) return Fail(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        // The caller reads the probe's standard output through a pipe that the program must not hold open.
        dup2(STDERR_FILENO, STDOUT_FILENO);
        execvp(argv[dash + 1], argv + dash + 1);
        std::fprintf(stderr, "frameprobe: cannot start %s: %s\n", argv[dash + 1], std::strerror(errno));
        _exit(127);
    }
    // The program keeps running after this probe exits; the caller ends it by the pid printed here.
    if (!PollUntil(conditions, std::atol(argv[2]), start)) {
        std::printf("timeout %d\n", int(child));
        return 1;
    }
    std::printf("%.1f %d\n", MillisecondsSince(start), int(child));
    return 0;
}

int Counter(int argc, char** argv) {
    if (argc != 4) return Fail("usage: counter SHOT.xwd STRINGS.bmp");
    FrameImage shot;
    std::string error;
    if (!LoadDump(argv[2], shot, error)) return Fail(error);
    std::vector<uint8_t> bytes;
    IndexedImage strip;
    if (!ReadFile(argv[3], bytes) || !ReadIndexedBmp(bytes, strip, error))
        return Fail(std::string(argv[3]) + ": " + error);
    std::string text;
    long value = ReadFrameCounter(shot, CutGlyphs(strip, "0123456789 FPS", kKeyGreen), &text);
    if (value < 0) {
        std::fprintf(stderr, "frameprobe: the counter reads \"%s\"\n", text.c_str());
        return 1;
    }
    std::printf("%ld\n", value);
    return 0;
}

struct Screen {
    std::string name;
    FrameImage native, wine;
    std::vector<FrameRect> masks;
};

int Compare(int argc, char** argv) {
    if (argc < 3) return Fail("usage: compare OUT.ppm --screen NAME A.xwd B.xwd [--mask L,T,R,B]...");
    std::vector<Screen> screens;
    for (int i = 3; i < argc; ++i) {
        std::string error;
        if (std::strcmp(argv[i], "--screen") == 0 && i + 3 < argc) {
            Screen screen;
            screen.name = argv[i + 1];
            if (!LoadDump(argv[i + 2], screen.native, error) || !LoadDump(argv[i + 3], screen.wine, error)) {
                return Fail(error);
            }
            screen.masks = {kTextLines, kCounter};
            screens.push_back(std::move(screen));
            i += 3;
        } else if (std::strcmp(argv[i], "--mask") == 0 && i + 1 < argc && !screens.empty()) {
            FrameRect rect;
            if (!ParseRect(argv[++i], rect)) return Fail(std::string("bad mask ") + argv[i]);
            screens.back().masks.push_back(rect);
        } else {
            return Fail(std::string("unexpected argument ") + argv[i]);
        }
    }
    if (screens.empty()) return Fail("no screen to compare");
    std::vector<FrameImage> differences;
    differences.reserve(screens.size());
    std::vector<std::vector<const FrameImage*>> rows;
    long worst = 0;
    for (const Screen& screen : screens) {
        FrameDiff diff = DiffFrames(screen.native, screen.wine, screen.masks);
        if (diff.outside < 0) return Fail(screen.name + ": the two screens differ in size");
        std::printf("%-12s outside the text: %ld   text lines: %ld   counter: %ld", screen.name.c_str(), diff.outside,
                    diff.inMask[0], diff.inMask[1]);
        for (size_t m = 2; m < screen.masks.size(); ++m) {
            const FrameRect& r = screen.masks[m];
            std::printf("   (%d,%d)-(%d,%d): %ld", r.left, r.top, r.right, r.bottom, diff.inMask[m]);
        }
        std::printf("\n");
        worst = std::max(worst, diff.outside);
        differences.push_back(DifferencePicture(screen.native, screen.wine, screen.masks));
        rows.push_back({&screen.native, &screen.wine, &differences.back()});
    }
    std::vector<uint8_t> ppm = EncodePpm(Tile(rows, 8));
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(ppm.data()), std::streamsize(ppm.size()));
    if (!out) return Fail(std::string("cannot write ") + argv[2]);
    return worst == 0 ? 0 : 1;
}

int ScreenCounter(int argc, char** argv) {
    int left = 0, top = 0, scale = 0;
    if (argc != 4 || std::sscanf(argv[2], "%d,%d,%d", &left, &top, &scale) != 3 || scale < 1)
        return Fail("usage: screen-counter L,T,SCALE STRINGS.bmp");
    std::vector<uint8_t> bytes;
    IndexedImage strip;
    std::string error;
    if (!ReadFile(argv[3], bytes) || !ReadIndexedBmp(bytes, strip, error))
        return Fail(std::string(argv[3]) + ": " + error);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return Fail("cannot open the display");
    FrameImage corner;
    corner.width = 128;
    corner.height = 16;
    XImage* image = XGetImage(display, DefaultRootWindow(display), left, top, unsigned(corner.width * scale),
                              unsigned(corner.height * scale), AllPlanes, ZPixmap);
    if (!image) return Fail("cannot read the screen there");
    for (int y = 0; y < corner.height; ++y) {
        for (int x = 0; x < corner.width; ++x) {
            const uint32_t p = uint32_t(XGetPixel(image, x * scale, y * scale));
            corner.pixels.push_back(FrameRgb(int(frame_detail::Channel(p, uint32_t(image->red_mask))),
                                             int(frame_detail::Channel(p, uint32_t(image->green_mask))),
                                             int(frame_detail::Channel(p, uint32_t(image->blue_mask)))));
        }
    }
    XDestroyImage(image);
    XCloseDisplay(display);
    std::string text;
    const long value = ReadFrameCounter(corner, CutGlyphs(strip, "0123456789 FPS", kKeyGreen), &text);
    if (value < 0) return Fail("the counter reads \"" + text + "\"");
    std::printf("%ld\n", value);
    return 0;
}

// A hand on the mouse that never rests: 4 counts one way then the other, every 8 ms.
int Wiggle(int argc, char** argv) {
    if (argc != 3) return Fail("usage: wiggle SECONDS");
    Display* display = XOpenDisplay(nullptr);
    if (!display) return Fail("cannot open the display");
    const Clock::time_point start = Clock::now();
    int step = 4;
    for (int i = 0; MillisecondsSince(start) < std::atof(argv[2]) * 1000; ++i) {
        XTestFakeRelativeMotionEvent(display, step, i % 2 ? step : 0, CurrentTime);
        XFlush(display);
        if (i % 8 == 7) step = -step;
        std::this_thread::sleep_for(std::chrono::milliseconds(8));
    }
    XCloseDisplay(display);
    return 0;
}

// The input-test screen's cursor: a white square of 20 x 20 picture pixels, found as the tallest stack of rows that
// each hold a white run at least 15 pixels long over the same columns (a scaled glyph's bar can be that long, but only
// a row or two high). Empty when none.
FrameRect FindCursor(XImage* image, int left, int top) {
    FrameRect best = {0, 0, 0, 0}, stack = {0, 0, 0, 0};
    for (int y = 0; y <= image->height; ++y) {
        int run = 0, from = -1, to = -1;
        for (int x = 0; y < image->height && x < image->width && to < 0; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            const bool white = (p & image->red_mask) == image->red_mask &&
                               (p & image->green_mask) == image->green_mask &&
                               (p & image->blue_mask) == image->blue_mask;
            run = white ? run + 1 : 0;
            if (run == 15) from = x - 14;
            if (from >= 0 && (!white || x + 1 == image->width)) to = white ? x + 1 : x;
        }
        const bool continues =
            from >= 0 && stack.bottom == top + y && from < stack.right - left && to > stack.left - left;
        if (continues) {
            stack.bottom = top + y + 1;
            continue;
        }
        if (stack.bottom - stack.top > best.bottom - best.top) best = stack;
        stack = from >= 0 ? FrameRect{left + from, top + y, left + to, top + y + 1} : FrameRect{0, 0, 0, 0};
    }
    return best;
}

FrameRect CursorIn(Display* display, FrameRect area) {
    Window root = DefaultRootWindow(display);
    XImage* image = XGetImage(display, root, area.left, area.top, unsigned(area.right - area.left),
                              unsigned(area.bottom - area.top), AllPlanes, ZPixmap);
    if (!image) return {0, 0, 0, 0};
    const FrameRect found = FindCursor(image, area.left, area.top);
    XDestroyImage(image);
    return found;
}

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[at];
}

// Each motion goes after a random pause (50 to 100 ms, plus up to a whole refresh at 60 Hz, so motions land anywhere
// within a refresh); the time runs from just before the motion is sent until a poll of the area around the cursor
// finds the square elsewhere. Polls read a few kilobytes and come every quarter of a millisecond.
int Latency(int argc, char** argv) {
    if (argc < 3 || argc > 4) return Fail("usage: latency MOTIONS [SEED]");
    const int motions = std::atoi(argv[2]);
    std::mt19937 random(argc > 3 ? unsigned(std::atol(argv[3])) : 1u);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return Fail("cannot open the display");
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) return Fail("the X server has no XTest");
    XWindowAttributes root;
    XGetWindowAttributes(display, DefaultRootWindow(display), &root);
    const FrameRect screen = {0, 0, root.width, root.height};
    FrameRect cursor = CursorIn(display, screen);
    if (cursor.right == 0) return Fail("no cursor square on the screen");
    const int size = cursor.right - cursor.left;
    std::vector<double> times;
    int step = 4;
    bool retried = false;
    for (int i = 0; i < motions; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(50000 + random() % 50000 + random() % 16667));
        // Around where it was last: a whole screen read would keep the X server busy just before the motion.
        const FrameRect near = {std::max(0, cursor.left - 3 * size), std::max(0, cursor.top - 3 * size),
                                std::min(root.width, cursor.right + 3 * size),
                                std::min(root.height, cursor.bottom + 3 * size)};
        FrameRect before = CursorIn(display, near);
        if (before.right == 0) before = CursorIn(display, screen);
        if (before.right == 0) return Fail("the cursor square went away");
        cursor = before;
        FrameRect watch = {std::max(0, before.left - 2 * size), std::max(0, before.top - size),
                           std::min(root.width, before.right + 2 * size), std::min(root.height, before.bottom + size)};
        const Clock::time_point start = Clock::now();
        XTestFakeRelativeMotionEvent(display, step, 0, CurrentTime);
        XFlush(display);
        bool moved = false;
        while (MillisecondsSince(start) < 500) {
            const FrameRect now = CursorIn(display, watch);
            if (now.right != 0 && (now.left != before.left || now.top != before.top)) {
                moved = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(250));
        }
        if (!moved && !retried) {
            // Held at the edge of its field: the other way, and this motion again.
            retried = true;
            step = -step;
            --i;
            continue;
        }
        if (!moved) return Fail("the cursor square did not move within 500 ms of motion " + std::to_string(i + 1));
        retried = false;
        times.push_back(MillisecondsSince(start));
        std::printf("%.2f\n", times.back());
        step = -step;
    }
    XCloseDisplay(display);
    std::printf("p50 %.2f p95 %.2f max %.2f\n", Percentile(times, 0.5), Percentile(times, 0.95),
                *std::max_element(times.begin(), times.end()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "check") return Check(argc, argv);
    if (command == "wait") return Wait(argc, argv);
    if (command == "launch") return Launch(argc, argv);
    if (command == "counter") return Counter(argc, argv);
    if (command == "compare") return Compare(argc, argv);
    if (command == "latency") return Latency(argc, argv);
    if (command == "screen-counter") return ScreenCounter(argc, argv);
    if (command == "wiggle") return Wiggle(argc, argv);
    return Fail("usage: frameprobe check|wait|launch|counter|compare|latency|screen-counter|wiggle ...");
}
