// The whole-program runner: WinMain driven frame by frame through the Sleep that follows every frame.
#include "tests/program_harness.h"

#include "display/display.h"
#include "input/input.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int framesDrawn = 0;
std::vector<std::string> debugLines;
std::vector<TestMessageBox> messageBoxes;
std::vector<ProgramMessage> messages;
HWND programWindow = nullptr;

// Frames the program may still draw after Escape before the run is declared stuck.
constexpr int kFramesToClose = 10;

}  // namespace

int RunProgram(const std::function<bool(const ProgramFrame&)>& script, DWORD clockStart) {
    TestSetClock(clockStart);
    TestCaptureDebugOutput(true);
    TestCaptureMessageBoxes(true);
    TestCaptureFrames(true);
    framesDrawn = 0;
    messages.clear();
    programWindow = nullptr;
    TestSetMessageObserver([](HWND window, UINT message, bool returned) {
        if (programWindow == nullptr) programWindow = window;
        messages.push_back({message, returned, TestGetLiveObjects()});
    });

    bool closing = false;
    int framesSinceEscape = 0;
    uint32_t presents = TestPresentCount();
    TestSetSleepHook([&](DWORD) {
        ++framesDrawn;
        ProgramFrame frame{framesDrawn, TestPresentCount() != presents, app.scene, {}};
        presents = TestPresentCount();
        TestLastFrame(&frame.picture);
        if (closing) {
            ++framesSinceEscape;
            if (framesSinceEscape == kFramesToClose) {
                ADD_FAILURE() << "Escape did not close the program";
                TestPushQuit();
            } else if (framesSinceEscape > 10 * kFramesToClose) {
                std::fprintf(stderr, "the program does not close\n");
                std::abort();
            }
            return;
        }
        if (!script(frame)) {
            closing = true;
            TapKey(SDL_SCANCODE_ESCAPE);
        }
    });

    int status = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);

    TestSetSleepHook(nullptr);
    TestSetMessageObserver(nullptr);
    debugLines = TestTakeDebugOutput();
    messageBoxes = TestTakeMessageBoxes();
    TestCaptureDebugOutput(false);
    TestCaptureMessageBoxes(false);
    return status;
}

int ProgramFrames() { return framesDrawn; }

std::vector<std::string> ProgramDebugLines() { return debugLines; }

std::vector<TestMessageBox> ProgramMessageBoxes() { return messageBoxes; }

std::vector<ProgramMessage> ProgramMessages() { return messages; }

void ProgramCleanUp() {
    ReleaseInput();
    ReleaseDisplay();
    if (programWindow != nullptr) DestroyWindow(programWindow);
    programWindow = nullptr;
    TestClearDisplayHooks();
}

void PressKey(SDL_Scancode key) { TestPushKey(key, true); }

void ReleaseKey(SDL_Scancode key) { TestPushKey(key, false); }

void TapKey(SDL_Scancode key) {
    PressKey(key);
    ReleaseKey(key);
}

Image SurfaceImage(LPDIRECTDRAWSURFACE7 surface) {
    Image image;
    if (surface == nullptr) return image;
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_HEIGHT | DDSD_WIDTH;
    if (surface->GetSurfaceDesc(&description) != DD_OK) return image;
    image.width = int(description.dwWidth);
    image.height = int(description.dwHeight);
    image.pixels = HarnessReadPixels(surface);
    if (image.pixels.size() != size_t(image.width) * size_t(image.height)) image = {};
    return image;
}

DWORD SourceKey(LPDIRECTDRAWSURFACE7 surface) {
    DDCOLORKEY key = {};
    if (surface == nullptr || surface->GetColorKey(DDCKEY_SRCBLT, &key) != DD_OK) return 0xFFFFFFFFu;
    return key.dwColorSpaceLowValue;
}

void Paste(Image& destination, int x, int y, const Image& source, const RECT& rect, bool keyed, DWORD key) {
    for (int row = rect.top; row < rect.bottom; ++row) {
        for (int column = rect.left; column < rect.right; ++column) {
            if (column < 0 || row < 0 || column >= source.width || row >= source.height) continue;
            int toX = x + column - rect.left;
            int toY = y + row - rect.top;
            if (toX < 0 || toY < 0 || toX >= destination.width || toY >= destination.height) continue;
            BYTE pixel = source.at(column, row);
            if (keyed && pixel == key) continue;
            destination.pixels[size_t(toY) * size_t(destination.width) + size_t(toX)] = pixel;
        }
    }
}

WalkPainter::WalkPainter()
    : background{640, 480, std::vector<BYTE>(640 * 480, 0)},
      chara(SurfaceImage(app.charaSurface)),
      charaKey(SourceKey(app.charaSurface)) {
    Paste(background, 0, 0, SurfaceImage(app.backgroundSurface), RECT{0, 0, 640, 480}, false, 0);
}

Image WalkPainter::At(LONG spriteX) const {
    Image picture = background;
    Paste(picture, spriteX, 400, chara, RECT{36, 96, 72, 144}, true, charaKey);
    return picture;
}

void PasteCounter(Image& picture, const char* text) {
    Image glyphs = SurfaceImage(app.glyphSurface);
    DWORD key = SourceKey(app.glyphSurface);
    for (int i = 0; text[i] != '\0'; ++i) {
        int left = (int(static_cast<signed char>(text[i])) - 32) * 8;
        Paste(picture, i * 8, 0, glyphs, RECT{left, 0, left + 8, 16}, true, key);
    }
}

std::string Difference(const Image& expected, const TestFrame& frame) {
    if (frame.indices.size() != 640u * 480u) return "no frame";
    if (expected.width != 640 || expected.height != 480) return "no picture to compare";
    const BYTE* wanted = expected.pixels.data();
    const BYTE* shown = frame.indices.data();
    const size_t count = frame.indices.size();
    if (std::memcmp(wanted, shown, count) == 0) return "";
    size_t at = 0;
    while (wanted[at] == shown[at]) ++at;
    char where[96];
    std::snprintf(where, sizeof(where), "(%d, %d): expected %d, shown %d", int(at % 640), int(at / 640), wanted[at],
                  shown[at]);
    return where;
}
