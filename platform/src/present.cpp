// Presentation of the flip chain in the program's SDL window: palette applied, scaled, letterboxed. It only receives
// calls, all from the DirectDraw objects.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;

struct Presenter {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    uint32_t table[256] = {};
    PALETTEENTRY tablePalette[256] = {};  // what the table was built from
    bool tableBuilt = false;
    SDL_Rect lastDestination = {};
    uint32_t presents = 0;

    bool captureFrames = false;
    bool haveFrame = false;
    std::vector<BYTE> frame;
    PALETTEENTRY framePalette[256] = {};

    bool captureWindow = false;
    std::vector<uint32_t> windowPixels;
    int windowWidth = 0;
    int windowHeight = 0;
};
Presenter presenter;

// The texture takes the window's own layout when that is XRGB, as X11 and the dummy driver give: a software
// renderer then copies or stretches it into the window as it stands instead of converting every pixel, which
// made up half the cost of a frame. The table's 0xFFRRGGBB entries read the same in either layout.
Uint32 TextureFormat() {
    return SDL_GetWindowPixelFormat(presenter.window) == SDL_PIXELFORMAT_RGB888 ? SDL_PIXELFORMAT_RGB888
                                                                                : SDL_PIXELFORMAT_ARGB8888;
}

bool CreateTexture() {
    SDL_SetHintWithPriority(SDL_HINT_RENDER_SCALE_QUALITY, "nearest", SDL_HINT_DEFAULT);
    presenter.texture =
        SDL_CreateTexture(presenter.renderer, TextureFormat(), SDL_TEXTUREACCESS_STREAMING, kFrameWidth, kFrameHeight);
    if (!presenter.texture) {
        std::fprintf(stderr, "SDL_CreateTexture: %s\n", SDL_GetError());
        return false;
    }
    SDL_SetTextureScaleMode(presenter.texture, SDL_ScaleModeNearest);
    presenter.tableBuilt = false;
    return true;
}

bool CreateRenderer() {
    // Vsync by default; SDL_RENDER_VSYNC in the environment still wins, since a default-priority hint
    // never overrides it.
    SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "1", SDL_HINT_DEFAULT);
    presenter.renderer = SDL_CreateRenderer(presenter.window, -1, 0);
    if (!presenter.renderer) {
        std::fprintf(stderr, "SDL_CreateRenderer: %s\n", SDL_GetError());
        return false;
    }
    return CreateTexture();
}

void DestroyRenderer() {
    if (presenter.texture) SDL_DestroyTexture(presenter.texture);
    if (presenter.renderer) SDL_DestroyRenderer(presenter.renderer);
    presenter.texture = nullptr;
    presenter.renderer = nullptr;
}

void CaptureFrame(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette) {
    presenter.frame.resize(size_t(kFrameWidth) * kFrameHeight);
    for (int row = 0; row < kFrameHeight; ++row) {
        std::memcpy(&presenter.frame[size_t(row) * kFrameWidth], pixels + ptrdiff_t(row) * pitch, kFrameWidth);
    }
    std::memcpy(presenter.framePalette, palette, sizeof(presenter.framePalette));
    presenter.haveFrame = true;
}

void CaptureWindow(int width, int height) {
    presenter.windowPixels.assign(size_t(width) * size_t(height), 0);
    if (SDL_RenderReadPixels(presenter.renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, presenter.windowPixels.data(),
                             width * 4) != 0) {
        presenter.windowPixels.clear();
        width = height = 0;
    }
    presenter.windowWidth = width;
    presenter.windowHeight = height;
}

}  // namespace

void PresentBuildTable(const PALETTEENTRY* palette, uint32_t* table) {
    for (int i = 0; i < 256; ++i) {
        table[i] = 0xFF000000u | uint32_t(palette[i].peRed) << 16 | uint32_t(palette[i].peGreen) << 8 |
                   uint32_t(palette[i].peBlue);
    }
}

void PresentConvertFrame(const BYTE* pixels, LONG pitch, const uint32_t* table, uint32_t* argb, int argbPitch) {
    for (int row = 0; row < kFrameHeight; ++row) {
        const BYTE* from = pixels + ptrdiff_t(row) * pitch;
        uint32_t* to = reinterpret_cast<uint32_t*>(reinterpret_cast<BYTE*>(argb) + ptrdiff_t(row) * argbPitch);
        for (int x = 0; x < kFrameWidth; x += 4) {
            to[x] = table[from[x]];
            to[x + 1] = table[from[x + 1]];
            to[x + 2] = table[from[x + 2]];
            to[x + 3] = table[from[x + 3]];
        }
    }
}

SDL_Rect PresentDestination(int windowWidth, int windowHeight) {
    if (windowWidth <= 0 || windowHeight <= 0) return {0, 0, 0, 0};
    const int factor = std::min(windowWidth / kFrameWidth, windowHeight / kFrameHeight);
    int width = 0;
    int height = 0;
    if (factor >= 2) {
        width = kFrameWidth * factor;
        height = kFrameHeight * factor;
    } else if (int64_t(windowWidth) * kFrameHeight <= int64_t(windowHeight) * kFrameWidth) {
        // Below twice the size whole-number steps would waste most of the screen, so the picture is fitted.
        width = windowWidth;
        height = int(int64_t(windowWidth) * kFrameHeight / kFrameWidth);
    } else {
        height = windowHeight;
        width = int(int64_t(windowHeight) * kFrameWidth / kFrameHeight);
    }
    return {(windowWidth - width) / 2, (windowHeight - height) / 2, width, height};
}

// SetCooperativeLevel calls this for the exclusive level's window; a second call for the same window keeps
// the renderer it has.
bool PresentAttach(SDL_Window* window) {
    if (presenter.window == window && presenter.renderer && presenter.texture) return true;
    PresentDetach();
    presenter.window = window;
    if (CreateRenderer()) return true;
    PresentDetach();
    return false;
}

void PresentDetach() {
    DestroyRenderer();
    presenter.window = nullptr;
}

bool PresentUpload(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette) {
    if (!presenter.texture) return false;
    // A kilobyte compared per frame costs less than tracking every way the display palette can change.
    if (!presenter.tableBuilt || std::memcmp(palette, presenter.tablePalette, sizeof presenter.tablePalette) != 0) {
        std::memcpy(presenter.tablePalette, palette, sizeof presenter.tablePalette);
        PresentBuildTable(palette, presenter.table);
        presenter.tableBuilt = true;
    }
    void* texels = nullptr;
    int texelPitch = 0;
    if (SDL_LockTexture(presenter.texture, nullptr, &texels, &texelPitch) != 0) return false;
    PresentConvertFrame(pixels, pitch, presenter.table, static_cast<uint32_t*>(texels), texelPitch);
    SDL_UnlockTexture(presenter.texture);
    return true;
}

// Flip calls this with the new front buffer and the display palette.
bool PresentFrame(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette) {
    if (!PresentUpload(pixels, pitch, palette)) return false;
    int width = 0;
    int height = 0;
    if (SDL_GetRendererOutputSize(presenter.renderer, &width, &height) != 0) return false;
    const SDL_Rect destination = PresentDestination(width, height);
    // Only bars need the black; a picture that covers the whole window paints every pixel itself.
    if (destination.x > 0 || destination.y > 0 || destination.w < width || destination.h < height) {
        SDL_SetRenderDrawColor(presenter.renderer, 0, 0, 0, 255);
        SDL_RenderClear(presenter.renderer);
    }
    SDL_RenderCopy(presenter.renderer, presenter.texture, nullptr, &destination);
    if (presenter.captureWindow) CaptureWindow(width, height);
    SDL_RenderPresent(presenter.renderer);
    presenter.lastDestination = destination;
    ++presenter.presents;
    if (presenter.captureFrames) CaptureFrame(pixels, pitch, palette);
    return true;
}

// The renderer's textures went with its targets, or the renderer with its device: made again for the next frame.
void PresentReset(bool deviceLost) {
    if (!presenter.window) return;
    if (deviceLost) {
        DestroyRenderer();
        CreateRenderer();
        return;
    }
    if (presenter.texture) SDL_DestroyTexture(presenter.texture);
    presenter.texture = nullptr;
    if (presenter.renderer) CreateTexture();
}

// Test hooks

void TestCaptureFrames(bool capture) {
    presenter.captureFrames = capture;
    presenter.haveFrame = false;
    if (!capture) presenter.frame.clear();
}

bool TestLastFrame(TestFrame* frame) {
    if (!frame || !presenter.haveFrame) return false;
    frame->indices = presenter.frame;
    std::memcpy(frame->palette, presenter.framePalette, sizeof(frame->palette));
    return true;
}

uint32_t TestPresentCount() { return presenter.presents; }

RECT TestPresentDestination(int windowWidth, int windowHeight) {
    const SDL_Rect r = PresentDestination(windowWidth, windowHeight);
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

RECT TestLastPresentDestination() {
    const SDL_Rect& r = presenter.lastDestination;
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

void TestCaptureWindow(bool capture) {
    presenter.captureWindow = capture;
    presenter.windowPixels.clear();
    presenter.windowWidth = presenter.windowHeight = 0;
}

bool TestLastWindowPixels(std::vector<uint32_t>* argb, int* width, int* height) {
    if (!argb || !width || !height || presenter.windowPixels.empty()) return false;
    *argb = presenter.windowPixels;
    *width = presenter.windowWidth;
    *height = presenter.windowHeight;
    return true;
}
