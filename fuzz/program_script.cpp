// The whole program under a script of desktop events decoded from bytes, and what must hold after every frame it draws.
#include "fuzz/program_script.h"

#include "platform/src/platform.h"
#include "tests/program_harness.h"

#include <SDL.h>

#include <algorithm>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// Passes of the loop a minimised program may spin after Escape before it counts as stuck.
constexpr long kPassesToClose = 100000;
// Frames the program may still draw after Escape or a close request; it closes at the next message.
constexpr int kFramesToClose = 2;
constexpr size_t kMaxSticks = 3;
constexpr int64_t kStickDeadZone = 2500;  // what InitJoystick asks for, in ten-thousandths of the half range
constexpr LONG kWalkStart = 386;
const RECT kCursorCell = {400, 0, 420, 20};
const RECT kSpriteCell = {36, 96, 72, 144};
const RECT kTextBand = {200, 50, 640, 80};  // where the three read-out lines draw, each 10 pixels high

// The pictures every frame is held against, read once from the program's surfaces in its first frame.
struct Pictures {
    bool ready = false;
    Image title;       // the clear colour with the keyed logo and prompt
    Image background;  // the walk scene's top 640 x 480
    Image chara;
    BYTE charaKey = 0;
    Image glyphs;
    BYTE glyphKey = 0;
    PALETTEENTRY palette[256] = {};
    BYTE white = 255;  // the index white text takes
};
Pictures pictures;

struct Stick {
    int id;
    int axes, buttons, hats;
    uint16_t product;
    int16_t axis[2] = {};
    bool button[10] = {};
};

// One run of the program and what the script knows of the desktop around it.
struct Run {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    int frameBudget = kScriptFrameBudget;
    int framesToRun = 0;   // frames (or passes) still to come before the next step
    bool ended = false;    // no step left: Escape follows
    bool closing = false;  // the script asked the desktop to close the program
    bool escape = false;
    int framesAtEscape = 0;
    long passesAfterEnd = 0;
    int framesAfterClose = 0;

    int frame = 0;
    DWORD clockStart = kProgramClockStart;
    POINT startSize = {0, 0};  // a small window the script starts with, made before the first frame
    bool focused = true;
    bool held[256] = {};     // by DirectInput code: the last key event said down, and no focus loss since
    bool pending[256] = {};  // pressed since a read last delivered keys
    bool heldButton[4] = {};
    bool pendingButton[4] = {};
    bool motion = false;  // motion or wheel since a read last delivered the mouse
    std::vector<Stick> sticks;
    int deviceProduct = -1;  // the make of the stick the program's device was made for, -1 for none
    int relaxUntil = 0;      // frames up to this one may show what a fault leaves of a picture
    int strikeAtCall = 0;    // the back buffer's BltFast call an armed failure or loss strikes at, 0 for none

    BYTE sceneBefore = SCENE_TITLE_INIT;
    LONG playerX = 0;
    DWORD lastFpsMs = 0;
    std::string fpsText;
    int framesSinceCount = 0;
    TestLiveObjects startLive = {};
    int keyboardReads = 0, mouseReads = 0, joystickReads = 0;
    Image expected{kWidth, kHeight, std::vector<BYTE>(size_t(kWidth) * kHeight)};
    std::vector<BYTE> previous[2];  // the last two pictures presented: what a back buffer can still hold
};
Run* run = nullptr;
ScriptTotals totals;
std::function<void(const std::string&)> failureHandler;

[[noreturn]] __attribute__((format(printf, 1, 2))) void Fail(const char* format, ...) {
    char text[600];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    const std::string message =
        "program invariant broken at frame " + std::to_string(run ? run->frame : 0) + ": " + text;
    std::fprintf(stderr, "%s\n", message.c_str());
    if (failureHandler) failureHandler(message);
    std::abort();
}

std::string Describe(const TestLiveObjects& l) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "directDraws=%d surfaces=%d palettes=%d dcs=%d bitmaps=%d fonts=%d directInputs=%d "
                  "inputDevices=%d windows=%d files=%d",
                  l.directDraws, l.surfaces, l.palettes, l.dcs, l.bitmaps, l.fonts, l.directInputs, l.inputDevices,
                  l.windows, l.files);
    return text;
}

bool SameLive(const TestLiveObjects& a, const TestLiveObjects& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// --- the script's bytes ---

uint8_t Byte() { return run->at < run->size ? run->data[run->at++] : 0; }
uint16_t Word() { return uint16_t(Byte() | Byte() << 8); }
int32_t Long() { return int32_t(uint32_t(Word()) | uint32_t(Word()) << 16); }

int Key() {
    const uint8_t b = Byte();
    return b < 240 ? b : ((b - 240) * 256 + Byte()) % 512;
}

// A window side from 1 to 16384 pixels, spread evenly over the powers of two: every size is reachable, and the
// largest windows, whose frames cost a gigabyte each, stay rare.
int Side() {
    const int exponent = Byte() % 15;
    return std::clamp(((256 + Byte()) << exponent) >> 8, 1, 16384);
}

void Relax(int frames) { run->relaxUntil = std::max(run->relaxUntil, run->frame + frames); }

// --- the steps ---

// A fault armed on the back buffer's BltFast strikes after `skip` calls go through, which may be frames later: every
// frame until then may show it. A failure and a loss are armed apart, so the later of the two counts.
void ArmedAfter(int skip) {
    run->strikeAtCall =
        std::max(run->strikeAtCall, TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast) + skip + 1);
}

void PushKey(int scancode, bool down, bool repeat = false) {
    TestPushKey(scancode, down, repeat);
    const KeyRow* row = KeyFind(SDL_Scancode(scancode));
    if (row == nullptr) return;
    run->held[row->dik] = down;
    if (down) run->pending[row->dik] = true;
}

int DeviceButton(int sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT:
            return 0;
        case SDL_BUTTON_RIGHT:
            return 1;
        case SDL_BUTTON_MIDDLE:
            return 2;
        case SDL_BUTTON_X1:
            return 3;
        default:
            return -1;
    }
}

void Push(SDL_Event& event) {
    event.common.timestamp = SDL_GetTicks();
    SDL_PushEvent(&event);
}

void PushText(uint8_t kind) {
    SDL_Event event{};
    char text[32] = {};
    const size_t length = Byte() % sizeof text;
    for (size_t i = 0; i < length; ++i) text[i] = char(Byte() | 1);
    switch (kind % 6) {
        case 0:
            event.type = SDL_TEXTINPUT;
            std::memcpy(event.text.text, text, sizeof event.text.text);
            break;
        case 1:
            event.type = SDL_TEXTEDITING;
            std::memcpy(event.edit.text, text, sizeof event.edit.text);
            event.edit.start = Byte();
            event.edit.length = Byte();
            break;
        case 2:
            event.type = SDL_DROPFILE;
            event.drop.file = SDL_strdup(text);
            break;
        case 3:
            event.type = SDL_DROPTEXT;
            event.drop.file = SDL_strdup(text);
            break;
        case 4:
            event.type = Byte() % 2 ? SDL_DROPBEGIN : SDL_DROPCOMPLETE;
            break;
        default:
            event.type = SDL_CLIPBOARDUPDATE;
            break;
    }
    Push(event);
}

Stick* ChooseStick() { return run->sticks.empty() ? nullptr : &run->sticks[Byte() % run->sticks.size()]; }

void AttachStick(int axes, int buttons, int hats, uint16_t product) {
    const int id = TestAttachJoystickOfProduct(axes, buttons, hats, product);
    if (id >= 0) run->sticks.push_back({id, axes, buttons, hats, product});
}

void DetachStick(Stick* stick, bool again) {
    if (stick == nullptr) return;
    const Stick old = *stick;
    TestDetachJoystick(old.id);
    run->sticks.erase(run->sticks.begin() + (stick - run->sticks.data()));
    if (again) AttachStick(old.axes, old.buttons, old.hats, old.product);
}

void Close(uint8_t b) {
    if (b < 0xC0) return;
    struct sigaction action = {};
    switch (b % 4) {
        case 0:
            TestPushWindowEvent(SDL_WINDOWEVENT_CLOSE);
            break;
        case 1:
            TestPushQuit();
            break;
        case 2:
            // The layer's handler stands once the video has started; a hang-up nobody handles would end the process.
            if (sigaction(SIGHUP, nullptr, &action) != 0 || action.sa_handler == SIG_DFL ||
                action.sa_handler == SIG_IGN)
                return;
            raise(SIGHUP);
            break;
        default:
            // SDL's handler turns it into a quit; where SDL did not take the signal it would end the process.
            if (sigaction(SIGTERM, nullptr, &action) != 0 || action.sa_handler == SIG_DFL ||
                action.sa_handler == SIG_IGN)
                return;
            raise(SIGTERM);
            break;
    }
    run->closing = true;
}

void Step(uint8_t op) {
    Run& r = *run;
    switch (op) {
        case kOpKeyDown:
        case kOpKeyUp:
        case kOpKeyRepeat:
            PushKey(Key(), op != kOpKeyUp, op == kOpKeyRepeat);
            break;
        case kOpMotion:
        case kOpFarMotion: {
            const int dx = op == kOpMotion ? int8_t(Byte()) : Long();
            const int dy = op == kOpMotion ? int8_t(Byte()) : Long();
            TestPushMouseMotion(dx, dy);
            r.motion = true;
            break;
        }
        case kOpButton: {
            const uint8_t b = Byte();
            const int button = 1 + b % 5;
            const bool down = (b & 0x80) != 0;
            TestPushMouseButton(button, down);
            if (const int n = DeviceButton(button); n >= 0) {
                r.heldButton[n] = down;
                if (down) r.pendingButton[n] = true;
            }
            break;
        }
        case kOpWheel: {
            SDL_Event event{};
            event.type = SDL_MOUSEWHEEL;
            event.wheel.y = int8_t(Byte());
            event.wheel.x = int8_t(Byte());
            event.wheel.direction = Byte() % 2 ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
            Push(event);
            r.motion = true;
            break;
        }
        case kOpStickAttach: {
            const int axes = Byte() % 9, buttons = Byte() % 17, hats = Byte() % 3;
            const uint16_t product = Byte() % 3;
            if (r.sticks.size() < kMaxSticks) AttachStick(axes, buttons, hats, product);
            break;
        }
        case kOpStickDetach:
        case kOpStickReplug:
            DetachStick(ChooseStick(), op == kOpStickReplug);
            break;
        case kOpStickAxis: {
            Stick* s = ChooseStick();
            const int axis = Byte() % 8;
            const int16_t value = int16_t(Word());
            if (s == nullptr || axis >= s->axes) break;
            TestSetJoystickAxis(s->id, axis, value);
            if (axis < 2) s->axis[axis] = value;
            break;
        }
        case kOpStickButton: {
            Stick* s = ChooseStick();
            const int button = Byte() % 17;
            const bool down = Byte() % 2;
            if (s == nullptr || button >= s->buttons) break;
            TestSetJoystickButton(s->id, button, down);
            if (button < 10) s->button[button] = down;
            break;
        }
        case kOpStickHat: {
            Stick* s = ChooseStick();
            const int hat = Byte() % 3;
            const uint8_t value = Byte() & 0x0F;
            if (s != nullptr && hat < s->hats) TestSetJoystickHat(s->id, hat, value);
            break;
        }
        case kOpFocusLost:
            TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
            // Before start-up the event names no window: only the keys and buttons are forgotten.
            if (TestGetLiveObjects().windows > 0) r.focused = false;
            std::fill(std::begin(r.held), std::end(r.held), false);
            std::fill(std::begin(r.pending), std::end(r.pending), false);
            std::fill(std::begin(r.heldButton), std::end(r.heldButton), false);
            std::fill(std::begin(r.pendingButton), std::end(r.pendingButton), false);
            r.motion = false;
            break;
        case kOpFocusGained:
            TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
            if (TestGetLiveObjects().windows > 0) r.focused = true;
            break;
        case kOpMinimise:
        case kOpRestore:
            TestPushWindowEvent(op == kOpMinimise ? SDL_WINDOWEVENT_MINIMIZED : SDL_WINDOWEVENT_RESTORED);
            Relax(3);
            ++totals.faults;
            break;
        case kOpAltEnter:
            PushKey(SDL_SCANCODE_LALT, true);
            SDL_SetModState(KMOD_LALT);
            PushKey(SDL_SCANCODE_RETURN, true);
            PushKey(SDL_SCANCODE_RETURN, false);
            SDL_SetModState(KMOD_NONE);
            PushKey(SDL_SCANCODE_LALT, false);
            break;
        case kOpWindowSize: {
            const int width = Side();
            const int height = Side();
            TestSetWindowSize(width, height);
            break;
        }
        case kOpExpose:
            TestPushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
            break;
        case kOpSurfaceLoss: {
            const uint8_t kind = Byte(), skip = Byte();
            if (kind % 4 == 0) {
                TestLoseAllSurfaces();
            } else if (kind % 4 == 3) {
                if (app.backBuffer && TestLoseAllSurfacesAt(app.backBuffer, TestSurfaceOp::BltFast, skip % 12))
                    ArmedAfter(skip % 12);
            } else {
                SDL_Event event{};
                event.type = kind % 4 == 1 ? SDL_RENDER_TARGETS_RESET : SDL_RENDER_DEVICE_RESET;
                Push(event);
            }
            Relax(3);
            ++totals.faults;
            break;
        }
        case kOpRestoreFail: {
            const int count = 1 + Byte() % 4;
            LPDIRECTDRAWSURFACE7 surfaces[] = {app.primarySurface, app.backgroundSurface, app.glyphSurface,
                                               app.titleSurface, app.charaSurface};
            LPDIRECTDRAWSURFACE7 surface = surfaces[Byte() % 5];
            TestLoseAllSurfaces();
            if (surface) TestFailSurfaceOp(surface, TestSurfaceOp::Restore, DDERR_GENERIC, count);
            Relax(count + 3);
            ++totals.faults;
            break;
        }
        case kOpBusy: {
            const int count = 1 + Byte() % 4;
            const bool flip = Byte() % 2;
            LPDIRECTDRAWSURFACE7 surface = flip ? app.primarySurface : app.backBuffer;
            if (surface) {
                TestFailSurfaceOp(surface, flip ? TestSurfaceOp::Flip : TestSurfaceOp::BltFast, DDERR_WASSTILLDRAWING,
                                  count);
            }
            ++totals.faults;
            break;
        }
        case kOpBlitFail: {
            const int skip = Byte() % 12;
            if (app.backBuffer &&
                TestFailSurfaceOpAfter(app.backBuffer, TestSurfaceOp::BltFast, DDERR_GENERIC, 1, skip))
                ArmedAfter(skip);
            Relax(2);
            ++totals.faults;
            break;
        }
        case kOpReadFail: {
            const TestInputObject devices[] = {TestInputObject::Keyboard, TestInputObject::Mouse,
                                               TestInputObject::Joystick};
            const HRESULT results[] = {DIERR_INPUTLOST, DIERR_NOTACQUIRED, E_FAIL};
            const TestInputObject device = devices[Byte() % 3];
            const HRESULT result = results[Byte() % 3];
            TestFailInputOp(device, TestInputOp::GetDeviceState, result, 1 + Byte() % 4);
            ++totals.faults;
            break;
        }
        case kOpClock: {
            const DWORD jumps[] = {1, 16, 999, 1000, 1001, 65536, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFC17u, 0xFFFFFFFFu};
            TestAdvanceClock(jumps[Byte() % 10]);
            break;
        }
        case kOpText:
            PushText(Byte());
            break;
        case kOpClose:
            Close(Byte());
            break;
        default:
            break;
    }
}

// Steps up to the next frame. False when the script has no step left.
void Batch() {
    Run& r = *run;
    while (!r.ended && !r.closing) {
        if (r.at >= r.size || r.frameBudget <= 0) {
            r.ended = true;
            return;
        }
        const uint8_t op = Byte() % kScriptOps;
        if (op == kOpFrame) {
            --r.frameBudget;
            return;
        }
        if (op == kOpFrames) {
            const int frames = std::min(1 + int(Byte()), r.frameBudget);
            r.frameBudget -= frames;
            r.framesToRun = frames - 1;
            return;
        }
        Step(op);
        ++totals.events;
    }
}

// --- what must hold ---

void ReadPictures(const ProgramFrame& frame) {
    Pictures& p = pictures;
    const BYTE titleKey = BYTE(SourceKey(app.titleSurface));
    const Image title = SurfaceImage(app.titleSurface);
    p.title = Image{kWidth, kHeight, std::vector<BYTE>(size_t(kWidth) * kHeight, kTitleClearIndex)};
    Paste(p.title, 0, 100, title, RECT{0, 0, 640, 100}, titleKey, titleKey);
    Paste(p.title, 0, 350, title, RECT{0, 100, 640, 135}, titleKey, titleKey);
    const WalkPainter painter;
    p.background = painter.background;
    p.chara = painter.chara;
    p.charaKey = BYTE(painter.charaKey);
    p.glyphs = SurfaceImage(app.glyphSurface);
    p.glyphKey = BYTE(SourceKey(app.glyphSurface));
    std::memcpy(p.palette, frame.picture.palette, sizeof p.palette);
    // GDI's colour rule: the nearest entry, the lowest index on ties.
    int best = -1;
    for (int i = 0; i < 256; ++i) {
        const int dr = 255 - p.palette[i].peRed, dg = 255 - p.palette[i].peGreen, db = 255 - p.palette[i].peBlue;
        const int distance = dr * dr + dg * dg + db * db;
        if (best < 0 || distance < best) {
            best = distance;
            p.white = BYTE(i);
        }
    }
    if (p.title.pixels.empty() || p.background.pixels.empty() || p.chara.pixels.empty() || p.glyphs.pixels.empty())
        Fail("the program's surfaces could not be read in its first frame");
    p.ready = true;
}

// The opaque pixel of the cursor or sprite at (x, y) when drawn at `at`, or -1.
int CellPixel(const RECT& cell, POINT at, int x, int y) {
    const int column = x - at.x, row = y - at.y;
    if (column < 0 || row < 0 || column >= cell.right - cell.left || row >= cell.bottom - cell.top) return -1;
    const BYTE pixel = pictures.chara.at(cell.left + column, cell.top + row);
    return pixel == pictures.charaKey ? -1 : pixel;
}

int GlyphPixel(const char* text, int x, int y) {
    if (y >= 16 || x >= int(std::strlen(text)) * 8) return -1;
    const int left = (int(static_cast<signed char>(text[x / 8])) - 32) * 8 + x % 8;
    if (left < 0 || left >= pictures.glyphs.width) return -1;
    const BYTE pixel = pictures.glyphs.at(left, y);
    return pixel == pictures.glyphKey ? -1 : pixel;
}

bool InBand(int x, int y) {
    return x >= kTextBand.left && x < kTextBand.right && y >= kTextBand.top && y < kTextBand.bottom;
}

// A back buffer a fault left undrawn still holds the sprite of the last frames, presented or not.
bool SpriteNearby(LONG shownX, int x, int y, BYTE shown) {
    for (LONG at = shownX - 8; at <= shownX + 8; ++at)
        if (CellPixel(kSpriteCell, POINT{at, 400}, x, y) == shown) return true;
    return false;
}

// ... and the counter as an earlier frame drew it, with other digits.
bool AnyCounterGlyph(int x, int y, BYTE shown) {
    if (y >= 16 || x >= 12 * 8) return false;
    for (char c : std::string("0123456789 FPS")) {
        const char text[2] = {c, '\0'};
        if (GlyphPixel(text, x % 8, y) == shown) return true;
    }
    return false;
}

// ... and, the frame after a scene changed, the other scene's picture as a frame drew it without showing it.
bool OtherScene(bool walk, int x, int y, BYTE shown) {
    const size_t at = size_t(y) * kWidth + size_t(x);
    if (!walk) return shown == pictures.background.pixels[at] || SpriteNearby(kWalkStart, x, y, shown);
    if (shown == pictures.title.pixels[at] || shown == kTitleClearIndex) return true;
    if (InBand(x, y) && shown == pictures.white) return true;
    for (int row = kCursorCell.top; row < kCursorCell.bottom; ++row)
        for (int column = kCursorCell.left; column < kCursorCell.right; ++column)
            if (pictures.chara.at(column, row) == shown && shown != pictures.charaKey) return true;
    return false;
}

// The presented picture is the scene's, exactly: the title's fixed parts with the cursor and white read-out text
// only in the text band, or the walk's background with the sprite where it stood; the counter over either. In the
// frames a fault reaches, a pixel may also be what the fault leaves: memory cleared by a loss, an element missing,
// or what the back buffer held from an earlier picture.
void CheckPicture(const TestFrame& picture, bool walk, LONG shownX) {
    Run& r = *run;
    if (std::memcmp(picture.palette, pictures.palette, sizeof pictures.palette) != 0)
        Fail("a frame was presented with a palette other than the program's");
    const Image& base = walk ? pictures.background : pictures.title;
    const RECT& cell = walk ? kSpriteCell : kCursorCell;
    const POINT at = walk ? POINT{shownX, 400} : POINT{app.cursorX, app.cursorY};
    r.expected.pixels = base.pixels;
    Paste(r.expected, at.x, at.y, pictures.chara, cell, pictures.charaKey, pictures.charaKey);
    for (int i = 0; app.fpsText[i] != '\0'; ++i) {
        const int left = (int(static_cast<signed char>(app.fpsText[i])) - 32) * 8;
        Paste(r.expected, i * 8, 0, pictures.glyphs, RECT{left, 0, left + 8, 16}, pictures.glyphKey, pictures.glyphKey);
    }
    const bool relaxed = r.frame <= r.relaxUntil;
    for (int y = 0; y < kHeight; ++y) {
        const size_t row = size_t(y) * kWidth;
        if (std::memcmp(&picture.indices[row], &r.expected.pixels[row], kWidth) == 0) continue;
        for (int x = 0; x < kWidth; ++x) {
            const BYTE shown = picture.indices[row + x];
            if (shown == r.expected.pixels[row + x]) continue;
            const int element = CellPixel(cell, at, x, y), glyph = GlyphPixel(app.fpsText, x, y);
            if (!walk && InBand(x, y) && shown == pictures.white && (relaxed || (element < 0 && glyph < 0))) continue;
            if (relaxed &&
                (shown == 0 || shown == base.pixels[row + x] || shown == element || shown == glyph ||
                 (!walk && shown == kTitleClearIndex) || (!r.previous[0].empty() && shown == r.previous[0][row + x]) ||
                 (!r.previous[1].empty() && shown == r.previous[1][row + x])))
                continue;
            if (relaxed && walk && SpriteNearby(shownX, x, y, shown)) continue;
            if (relaxed && AnyCounterGlyph(x, y, shown)) continue;
            if (relaxed && OtherScene(walk, x, y, shown)) continue;
            Fail("the %s scene's picture differs at (%d, %d): expected index %d, shown %d%s",
                 walk ? "walk" : "input-test", x, y, r.expected.pixels[row + x], shown,
                 relaxed ? ", even allowing for the fault" : "");
        }
    }
    std::swap(r.previous[0], r.previous[1]);
    r.previous[0] = picture.indices;
}

// The frame-rate text changes only with a new count, reads digits and " FPS", and never counts more frames than
// were drawn since it last changed.
void CheckCounter() {
    Run& r = *run;
    ++r.framesSinceCount;
    if (app.lastFpsMs == r.lastFpsMs) {
        if (r.fpsText != app.fpsText) Fail("the counter changed to \"%s\" without a new count", app.fpsText);
        return;
    }
    const size_t length = std::strlen(app.fpsText);
    bool digits = length >= 8 && std::strcmp(app.fpsText + length - 4, " FPS") == 0;
    for (size_t i = 0; digits && i + 4 < length; ++i) digits = app.fpsText[i] >= '0' && app.fpsText[i] <= '9';
    if (!digits) Fail("the counter reads \"%s\"", app.fpsText);
    const long value = std::atol(app.fpsText);
    if (value > r.framesSinceCount)
        Fail("the counter reads %ld with %d frames drawn since it last changed", value, r.framesSinceCount);
    r.framesSinceCount = 0;
    r.lastFpsMs = app.lastFpsMs;
    r.fpsText = app.fpsText;
}

DWORD StickBits(const Stick& s) {
    auto beyond = [](int16_t value, bool negative) {
        const int64_t magnitude = negative ? -int64_t(value) : int64_t(value);
        return magnitude > 0 && magnitude * 10000 > kStickDeadZone * (negative ? 32768 : 32767);
    };
    DWORD bits = 0;
    if (s.axes > 0 && beyond(s.axis[0], true)) bits |= JOY_LEFT;
    if (s.axes > 0 && beyond(s.axis[0], false)) bits |= JOY_RIGHT;
    if (s.axes > 1 && beyond(s.axis[1], true)) bits |= JOY_UP;
    if (s.axes > 1 && beyond(s.axis[1], false)) bits |= JOY_DOWN;
    for (int n = 0; n < std::min(s.buttons, 10); ++n)
        if (s.button[n]) bits |= JOY_BUTTON0 << n;
    return bits;
}

// What a device read this frame: nothing while the window is in the background; otherwise only keys and buttons
// held, or pressed since the last read that delivered, motion only when there was some, and the stick only what a
// stick of its make still plugged in gives.
void CheckInput() {
    Run& r = *run;
    const int keyboard = TestInputCalls(TestInputObject::Keyboard, TestInputOp::GetDeviceState);
    const int mouse = TestInputCalls(TestInputObject::Mouse, TestInputOp::GetDeviceState);
    const int joystick = TestInputCalls(TestInputObject::Joystick, TestInputOp::GetDeviceState);
    if (keyboard != r.keyboardReads) {
        bool any = false;
        for (int dik = 0; dik < 256; ++dik) {
            if ((app.keys[dik] & 0x80) == 0) continue;
            any = true;
            if (!r.focused) Fail("key 0x%02X reads as held after the window lost the focus", dik);
            if (!r.held[dik] && !r.pending[dik]) Fail("key 0x%02X reads as held; it was released", dik);
        }
        if (any) std::fill(std::begin(r.pending), std::end(r.pending), false);
    }
    if (mouse != r.mouseReads) {
        const DIMOUSESTATE& m = app.mouseState;
        bool any = m.lX != 0 || m.lY != 0 || m.lZ != 0;
        if (any && !r.focused)
            Fail("the mouse reads motion (%ld, %ld, %ld) after focus loss", long(m.lX), long(m.lY), long(m.lZ));
        if (any && !r.motion)
            Fail("the mouse reads motion (%ld, %ld, %ld) nobody made", long(m.lX), long(m.lY), long(m.lZ));
        for (int n = 0; n < 4; ++n) {
            if ((m.rgbButtons[n] & 0x80) == 0) continue;
            any = true;
            if (!r.focused) Fail("mouse button %d reads as held after focus loss", n);
            if (!r.heldButton[n] && !r.pendingButton[n]) Fail("mouse button %d reads as held; it was released", n);
        }
        if (any) {
            r.motion = false;
            std::fill(std::begin(r.pendingButton), std::end(r.pendingButton), false);
        }
    }
    if (joystick != r.joystickReads && app.joystickDevice != nullptr) {
        if (app.joyBits != 0 && !r.focused)
            Fail("the joystick reads 0x%04lX after focus loss", (unsigned long)app.joyBits);
        DWORD possible = 0;
        for (const Stick& s : r.sticks)
            if (s.product == r.deviceProduct) possible |= StickBits(s);
        if ((app.joyBits & ~possible) != 0)
            Fail("the joystick reads 0x%04lX; the sticks of its make still plugged in give at most 0x%04lX",
                 (unsigned long)app.joyBits, (unsigned long)possible);
    }
    r.keyboardReads = keyboard;
    r.mouseReads = mouse;
    r.joystickReads = joystick;
}

void CheckFrame(const ProgramFrame& frame) {
    Run& r = *run;
    ++r.frame;
    ++totals.frames;
    totals.presented += frame.presented;
    if (!pictures.ready) ReadPictures(frame);
    if (TestWindowMinimised()) Fail("a frame was drawn while the window was minimised");
    const BYTE scene = app.scene;
    if (scene != SCENE_TITLE_INIT && scene != SCENE_TITLE && scene != SCENE_GAME_INIT && scene != SCENE_GAME)
        Fail("the scene number is %d, neither scene's", scene);
    const TestLiveObjects live = TestGetLiveObjects();
    if (r.frame == 1) {
        r.startLive = live;
        totals.startLive = Describe(live);
    }
    if (!SameLive(live, r.startLive))
        Fail("live objects changed from start-up's %s to %s", Describe(r.startLive).c_str(), Describe(live).c_str());
    if (app.cursorX < 10 || app.cursorX > 610 || app.cursorY < 10 || app.cursorY > 450)
        Fail("the cursor is at (%ld, %ld), outside (10..610, 10..450)", long(app.cursorX), long(app.cursorY));
    CheckCounter();
    CheckInput();
    const bool walk = r.sceneBefore == SCENE_GAME_INIT || r.sceneBefore == SCENE_GAME;
    const LONG shownX = r.sceneBefore == SCENE_GAME_INIT ? kWalkStart : r.playerX;
    if (walk) {
        ++totals.walks;
        totals.walksEnded += scene == SCENE_TITLE_INIT;
        if (std::abs(app.playerX - shownX) > 1)
            Fail("the sprite moved from %ld to %ld in one frame", long(shownX), long(app.playerX));
        if (!(150 < app.playerX && app.playerX < 594) && scene != SCENE_TITLE_INIT)
            Fail("the sprite is at %ld, outside the field, and the walk goes on", long(app.playerX));
        if (shownX <= 150 || shownX >= 594) Fail("the sprite was drawn at %ld, outside the field", long(shownX));
    }
    if (r.strikeAtCall > 0) {
        Relax(0);
        if (TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast) >= r.strikeAtCall) r.strikeAtCall = 0;
    }
    if (frame.presented) CheckPicture(frame.picture, walk, shownX);
    if (!frame.presented && r.frame > r.relaxUntil) Fail("a frame no fault reached was not shown");
    // A surface still lost (a bitmap the other scene does not draw, a restore that failed) is repaired by the next
    // blit that meets it, and that rectangle is missing from the next frame.
    for (LPDIRECTDRAWSURFACE7 surface :
         {app.primarySurface, app.backgroundSurface, app.glyphSurface, app.titleSurface, app.charaSurface})
        if (surface != nullptr && surface->IsLost() == DDERR_SURFACELOST) Relax(1);
    r.sceneBefore = scene;
    r.playerX = app.playerX;
}

void EscapeAtEnd() {
    SDL_SetModState(KMOD_NONE);
    run->escape = true;
    run->framesAtEscape = ProgramFrames();
}

bool AfterFrame(const ProgramFrame& frame) {
    Run& r = *run;
    CheckFrame(frame);
    if (r.closing) {
        if (++r.framesAfterClose > kFramesToClose) Fail("a close request did not close the program");
        return true;
    }
    if (r.framesToRun > 0) {
        --r.framesToRun;
        return true;
    }
    Batch();
    if (r.ended && !r.closing) {
        EscapeAtEnd();
        return false;
    }
    return true;
}

// While minimised the loop draws nothing, so the script goes on from the pump: a frame step is one pass.
void OnPump() {
    if (run == nullptr) return;
    Run& r = *run;
    if (r.startSize.x > 0 && TestGetLiveObjects().windows > 0) {
        TestSetWindowSize(r.startSize.x, r.startSize.y);
        r.startSize = {0, 0};
    }
    if (r.escape && ProgramFrames() > r.framesAtEscape + kFramesToClose)
        Fail("Escape did not close the program: %d frames after it", ProgramFrames() - r.framesAtEscape);
    if (app.active || TestGetLiveObjects().windows == 0) return;
    if (r.escape || r.closing) {
        if (++r.passesAfterEnd > kPassesToClose) Fail("the minimised program did not close");
        return;
    }
    if (r.framesToRun > 0) {
        --r.framesToRun;
        return;
    }
    Batch();
    if (r.ended && !r.closing) {
        EscapeAtEnd();
        TapKey(SDL_SCANCODE_ESCAPE);
    }
}

}  // namespace

void ScriptSetUp() {
    // SDL's own variables: its dummy driver, and frames paced by the presenter's test clock instead of by sleeping.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    RunScript(nullptr, 0);
    // SDL took SIGINT along with SIGTERM when its video started; an interrupt should still stop the whole process.
    signal(SIGINT, SIG_DFL);
}

void RunScript(const uint8_t* data, size_t size, int frameBudget) {
    Run state;
    run = &state;
    state.data = data;
    state.size = size;
    state.frameBudget = frameBudget;

    // A clean program in a clean layer: the record as the process starts it, no window class, no hook armed.
    app = AppState{};
    TestForgetWindowClasses();
    TestClearInputHooks();
    TestClearDisplayHooks();
    TestUsePacingClock(true);
    TestTakeReleaseLog();
    SDL_SetModState(KMOD_NONE);

    // The first byte: where the clock starts (near its wrap or not), and whether the window starts as a window.
    const uint8_t start = Byte();
    const DWORD starts[] = {kProgramClockStart, 0xFFFFF000u, 0xFFFFFFFFu, 0};
    state.clockStart = starts[start % 4];
    const int shape = (start >> 2) % 4;
    WindowStartInWindow(shape != 0);
    if (shape >= 2) state.startSize = shape == 2 ? POINT{160, 120} : POINT{320, 200};
    state.lastFpsMs = state.clockStart;
    // The steps before the first frame come before start-up: sticks plugged in, keys already held.
    Batch();
    state.deviceProduct = state.sticks.empty() ? -1 : state.sticks.front().product;

    TestSetPumpHook(OnPump);
    const int status = RunProgram(AfterFrame, state.clockStart);
    TestSetPumpHook(nullptr);
    if (status != 0) Fail("the program ended with status %d", status);
    const TestLiveObjects live = TestGetLiveObjects();
    if (!SameLive(live, TestLiveObjects{})) Fail("alive after the program ended: %s", Describe(live).c_str());

    ++totals.runs;
    totals.closedEarly += !state.escape;
    for (const Stick& stick : state.sticks) TestDetachJoystick(stick.id);
    // What the run left pending (a hang-up, unplugged sticks, events for the gone window) goes before the next.
    TestPumpEvents();
    TestTakeReleaseLog();
    run = nullptr;
}

const ScriptTotals& ScriptTotalsSoFar() { return totals; }

void ScriptOnFailure(std::function<void(const std::string&)> handler) { failureHandler = std::move(handler); }
