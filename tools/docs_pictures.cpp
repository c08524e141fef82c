// Writes docs/title.png and docs/walk.png: both screens as the program presents them, palette applied, scaled
// x2, from one headless run of the program scripted between frames through the platform's test hooks.
// Usage: docs_pictures FOLDER   (make docs)
#include "app/app.h"
#include "platform/testing.h"
#include "png_write.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool Save(const std::string& path) {
    TestFrame frame;
    if (!TestLastFrame(&frame)) return false;
    std::vector<uint32_t> xrgb(1280 * 960);
    for (size_t i = 0; i < xrgb.size(); ++i) {
        const PALETTEENTRY& colour = frame.palette[frame.at(int(i % 1280) / 2, int(i / 1280) / 2)];
        xrgb[i] = uint32_t(colour.peRed) << 16 | uint32_t(colour.peGreen) << 8 | colour.peBlue;
    }
    const bool written = WritePng(path.c_str(), 1280, 960, xrgb.data());
    std::printf("docs_pictures: %s %s\n", written ? "wrote" : "could not write", path.c_str());
    return written;
}

// The frame counter shows `frames` FPS in the next frame.
void CounterNextFrame(LONG frames) {
    app.frameCount = frames - 1;
    TestAdvanceClock(1000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL_RENDER_VSYNC", "0", 0);
    const std::string folder = argv[1];
    // Frame 2: the input-test scene with Left and Up held, the first button down, the cursor at (300, 200).
    // Space then starts the walk in frame 3 and Right walks the sprite from frame 4 on; frame 63, the walk's
    // sixtieth, shows it at 445.
    int frame = 0;
    bool saved = true;
    TestSetClock(500000);
    TestCaptureFrames(true);
    TestSetSleepHook([&](DWORD) {
        switch (++frame) {
            case 1:
                TestPushKey(SDL_SCANCODE_LEFT, true);
                TestPushKey(SDL_SCANCODE_UP, true);
                TestPushMouseButton(SDL_BUTTON_LEFT, true);
                TestPushMouseMotion(145, 95);
                CounterNextFrame(60);
                break;
            case 2:
                saved = Save(folder + "/title.png") && saved;
                TestPushKey(SDL_SCANCODE_LEFT, false);
                TestPushKey(SDL_SCANCODE_UP, false);
                TestPushMouseButton(SDL_BUTTON_LEFT, false);
                TestPushKey(SDL_SCANCODE_SPACE, true);
                break;
            case 3:
                TestPushKey(SDL_SCANCODE_SPACE, false);
                TestPushKey(SDL_SCANCODE_RIGHT, true);
                break;
            case 62:
                CounterNextFrame(62);
                break;
            case 63:
                saved = Save(folder + "/walk.png") && saved;
                TestPushKey(SDL_SCANCODE_RIGHT, false);
                TestPushKey(SDL_SCANCODE_ESCAPE, true);
                TestPushKey(SDL_SCANCODE_ESCAPE, false);
                break;
        }
    });
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
    TestSetSleepHook(nullptr);
    return status == 0 && saved && frame >= 63 ? 0 : 1;
}
