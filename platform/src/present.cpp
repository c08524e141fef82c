// Presentation of the flip chain in the program's SDL window: the palette applied, the picture scaled by the largest
// whole number (or fitted) between black bars, frames paced to the display. Two paths, chosen when the window is
// attached: an SDL renderer where a GPU draws, with vsync; else the window's own framebuffer, written in one pass.
// Only what changed since the last shown picture is converted and sent.
// It only receives calls, all from the DirectDraw objects.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kFrameWidth = 640;
constexpr int kFrameHeight = 480;
// What a flip waits for when the display's mode does not say its refresh rate.
constexpr int kDefaultRefreshHz = 60;

enum class Path { Unattached, Renderer, Framebuffer };

struct Presenter {
    SDL_Window* window = nullptr;
    Path path = Path::Unattached;

    // The renderer path: a streaming texture of the picture, stretched by the renderer.
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    Uint32 rendererFlags = 0;  // SDL_RENDERER_SOFTWARE where only SDL's software renderer draws the window's pixels

    // The framebuffer path: the window's own surface, SDL's; a new one comes after every change of size.
    SDL_Surface* surface = nullptr;
    void* surfacePixels = nullptr;
    int surfaceWidth = 0;
    int surfaceHeight = 0;
    // The picture on the window: each window row's and column's picture row and column (nearest sampling), and the
    // first window row and column of each picture row and column, one more for the picture's end.
    std::vector<int> sourceRows;
    std::vector<int> sourceColumns;
    std::vector<int> rowStart;
    std::vector<int> columnStart;

    // The palette as pixels of the target's format, rebuilt when the palette or the format changes.
    uint32_t table[256] = {};
    PALETTEENTRY tablePalette[256] = {};
    uint32_t tableFormat = SDL_PIXELFORMAT_UNKNOWN;

    // Pacing of the framebuffer path, as a flip with vsync paces the renderer's, and of either path while its presents
    // fail, since a failed present waits for nothing: the display's refreshes tick at secondNs + k * 1e9 / hz (to the
    // nanosecond, rounded down), k from 0 to hz, and nextTick is the first k a flip may still have.
    bool vsync = false;
    bool paced = false;
    bool ticking = false;  // false: the next flip starts the count
    int hz = kDefaultRefreshHz;
    uint64_t secondNs = 0;
    int nextTick = 0;

    // The window may not show the last picture (new, resized, palette changed, a present that failed): the next
    // present sends all of it.
    bool sendWhole = true;

    SDL_Rect lastDestination = {};
    SDL_Rect lastUpdate = {};  // what the last present sent to the window
    bool failing = false;      // the last present failed, and said so
    uint32_t presents = 0;
    uint64_t pixelsSent = 0;
    FaultSite refusals;

    bool captureFrames = false;
    bool haveFrame = false;
    std::vector<BYTE> frame;
    PALETTEENTRY framePalette[256] = {};

    bool captureWindow = false;
    std::vector<uint32_t> windowPixels;
    int windowWidth = 0;
    int windowHeight = 0;

    bool testAnswers = false;
    TestPathAnswers answers;
};
Presenter presenter;

// --- choosing the path ---

struct Choice {
    Path path;
    std::string why;
    Uint32 rendererFlags = 0;
};

std::string VideoDriver() {
    if (presenter.testAnswers) return presenter.answers.driver;
    return SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
}

bool OffersExtension(SDL_Window* window, const char* name) {
    if (!presenter.testAnswers) return X11OffersExtension(window, name);
    const std::vector<std::string>& offered = presenter.answers.extensions;
    return std::find(offered.begin(), offered.end(), name) != offered.end();
}

int WindowPixelBytes(SDL_Window* window) {
    if (presenter.testAnswers && presenter.answers.windowPixelBytes != 0) return presenter.answers.windowPixelBytes;
    return SDL_BYTESPERPIXEL(SDL_GetWindowPixelFormat(window));
}

Choice ChooseByServer(SDL_Window* window) {
    const std::string driver = VideoDriver();
    if (driver == "x11") {
        if (OffersExtension(window, "NV-GLX")) return {Path::Renderer, "the X server offers NVIDIA's OpenGL"};
        if (!OffersExtension(window, "DRI3") && !OffersExtension(window, "DRI2")) {
            return {Path::Framebuffer, "the X server offers no DRI, so OpenGL would be a software rasteriser"};
        }
        if (!SystemRenderNodeOpens()) return {Path::Framebuffer, "no GPU render node opens"};
        return {Path::Renderer, "the X server offers DRI and a GPU render node opens"};
    }
    if (driver == "wayland") {
        // SDL's Wayland backend has no framebuffer of its own: its windows are drawn through EGL, a GPU's or Mesa's.
        return {Path::Renderer, SystemRenderNodeOpens() ? "a GPU render node opens"
                                                        : "SDL's Wayland windows draw only through EGL, here Mesa's"};
    }
    if (driver == "dummy" || driver == "offscreen") {
        return {Path::Framebuffer, "SDL's " + driver + " driver has no GPU"};
    }
    return {Path::Renderer, "the " + driver + " driver draws through its own renderer"};
}

// Asking costs nothing that it avoids: OpenGL is never loaded to decide. An X server that offers DRI hands OpenGL to
// the GPU; without it (Xvfb, a VNC or RDP server, a virtual machine's) OpenGL would be Mesa's software rasteriser,
// whose LLVM alone weighs 55 MiB and whose frames cost a third of a core. The framebuffer is written as 2- or 4-byte
// pixels; a window of other pixels (an X server with packed 24-bit pixels) gets SDL's software renderer, which
// converts into any format SDL knows.
Choice ChoosePath(SDL_Window* window) {
    if (const char* named = SDL_getenv(SDL_HINT_RENDER_DRIVER); named != nullptr && *named != '\0') {
        return {Path::Renderer, std::string("SDL_RENDER_DRIVER names the ") + named + " renderer"};
    }
    Choice choice;
    if (const char* asked = SDL_getenv(SDL_HINT_FRAMEBUFFER_ACCELERATION); asked != nullptr && *asked != '\0') {
        choice = {Path::Framebuffer, std::string("SDL_FRAMEBUFFER_ACCELERATION is ") + asked};
    } else {
        choice = ChooseByServer(window);
    }
    const int bytes = WindowPixelBytes(window);
    if (choice.path == Path::Framebuffer && (bytes == 1 || bytes == 3)) {
        choice.path = Path::Renderer;
        choice.rendererFlags = SDL_RENDERER_SOFTWARE;
        choice.why +=
            ", and the window's pixels are " + std::to_string(bytes) + " bytes, which SDL's software renderer converts";
    }
    return choice;
}

// --- the renderer path ---

// The texture takes the window's own layout when that is XRGB, as X11 and the dummy driver give: a software renderer
// then copies or stretches it into the window as it stands instead of converting every pixel, which made up half the
// cost of a frame. The table's 0xFFRRGGBB entries read the same in either layout.
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
    presenter.tableFormat = SDL_PIXELFORMAT_UNKNOWN;
    presenter.sendWhole = true;
    return true;
}

// The window is made before the path is chosen and never for OpenGL, so the framebuffer path never loads it; SDL's
// OpenGL renderers then make the window anew on an X window with a visual of their own, and the watch follows.
bool CreateRenderer() {
    presenter.renderer = SDL_CreateRenderer(presenter.window, -1, presenter.rendererFlags);
    if (!presenter.renderer) {
        std::fprintf(stderr, "SDL_CreateRenderer: %s\n", SDL_GetError());
        return false;
    }
    X11Follow(presenter.window);
    return CreateTexture();
}

void DestroyRenderer() {
    if (presenter.texture) SDL_DestroyTexture(presenter.texture);
    if (presenter.renderer) SDL_DestroyRenderer(presenter.renderer);
    presenter.texture = nullptr;
    presenter.renderer = nullptr;
}

void CaptureRendererWindow(int width, int height) {
    presenter.windowPixels.assign(size_t(width) * size_t(height), 0);
    if (SDL_RenderReadPixels(presenter.renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, presenter.windowPixels.data(),
                             width * 4) != 0) {
        presenter.windowPixels.clear();
        width = height = 0;
    }
    presenter.windowWidth = width;
    presenter.windowHeight = height;
}

// Indices to 32 bits through the table, four at a time; widths are whole words of the picture.
void ConvertRect(const BYTE* pixels, LONG pitch, const uint32_t* table, BYTE* argb, int argbPitch, int width,
                 int height) {
    for (int row = 0; row < height; ++row) {
        const BYTE* from = pixels + ptrdiff_t(row) * pitch;
        uint32_t* to = reinterpret_cast<uint32_t*>(argb + ptrdiff_t(row) * argbPitch);
        for (int x = 0; x < width; x += 4) {
            to[x] = table[from[x]];
            to[x + 1] = table[from[x + 1]];
            to[x + 2] = table[from[x + 2]];
            to[x + 3] = table[from[x + 3]];
        }
    }
}

// The texture keeps the last picture, so only the changed bands are written into it.
bool Upload(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette, const WrittenSince* written) {
    if (!presenter.texture) return SDL_SetError("the renderer has no texture") == 0;
    // A kilobyte compared per frame costs less than tracking every way the display palette can change.
    if (presenter.tableFormat != SDL_PIXELFORMAT_ARGB8888 ||
        std::memcmp(palette, presenter.tablePalette, sizeof presenter.tablePalette) != 0) {
        std::memcpy(presenter.tablePalette, palette, sizeof presenter.tablePalette);
        PresentBuildTable(palette, presenter.table);
        presenter.tableFormat = SDL_PIXELFORMAT_ARGB8888;
        presenter.sendWhole = true;
    }
    if (presenter.sendWhole) DamageForget();
    presenter.sendWhole = false;
    DamageBand bands[kDamageMaxBands];
    const int count = DamageFind(pixels, pitch, written, bands);
    for (int i = 0; i < count; ++i) {
        const DamageBand& band = bands[i];
        const SDL_Rect rect = {band.left, band.top, band.right - band.left, band.bottom - band.top};
        void* texels = nullptr;
        int texelPitch = 0;
        if (SDL_LockTexture(presenter.texture, &rect, &texels, &texelPitch) != 0) {
            presenter.sendWhole = true;
            return false;
        }
        ConvertRect(pixels + ptrdiff_t(band.top) * pitch + band.left, pitch, presenter.table,
                    static_cast<BYTE*>(texels), texelPitch, rect.w, rect.h);
        SDL_UnlockTexture(presenter.texture);
        presenter.pixelsSent += uint64_t(rect.w) * uint64_t(rect.h);
    }
    return true;
}

bool PresentThroughRenderer(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette, const WrittenSince* written) {
    if (!Upload(pixels, pitch, palette, written)) return false;
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
    if (presenter.captureWindow) CaptureRendererWindow(width, height);
    // A renderer presents its whole target, so an exposed window is whole again by itself.
    SDL_RenderPresent(presenter.renderer);
    presenter.lastDestination = destination;
    presenter.lastUpdate = {0, 0, width, height};
    return true;
}

// --- the framebuffer path ---

// The palette as pixels of the surface's format, so that a frame is a lookup and a store per pixel.
void BuildSurfaceTable(const PALETTEENTRY* palette, const SDL_PixelFormat* format) {
    for (int i = 0; i < 256; ++i) {
        presenter.table[i] = SDL_MapRGB(format, palette[i].peRed, palette[i].peGreen, palette[i].peBlue);
    }
}

// Where the picture lies on the window, worked out once per size. Nearest sampling takes each window row and column
// from the picture row and column under its middle; at whole factors that is plain division.
void MapPicture(const SDL_Rect& to) {
    const auto map = [](int length, int source, std::vector<int>& sources, std::vector<int>& starts) {
        sources.resize(size_t(length));
        for (int i = 0; i < length; ++i)
            sources[size_t(i)] = int((int64_t(i) * 2 + 1) * source / (int64_t(length) * 2));
        starts.resize(size_t(source) + 1);
        int i = 0;
        for (int s = 0; s <= source; ++s) {
            while (i < length && sources[size_t(i)] < s) ++i;
            starts[size_t(s)] = i;
        }
    };
    map(std::max(to.w, 0), kFrameWidth, presenter.sourceColumns, presenter.columnStart);
    map(std::max(to.h, 0), kFrameHeight, presenter.sourceRows, presenter.rowStart);
}

// The window's rectangle that shows a band of the picture, relative to the picture's corner.
SDL_Rect BandOnWindow(const DamageBand& band) {
    const int x = presenter.columnStart[size_t(band.left)];
    const int y = presenter.rowStart[size_t(band.top)];
    return {x, y, presenter.columnStart[size_t(band.right)] - x, presenter.rowStart[size_t(band.bottom)] - y};
}

// Lookup and scaling in one pass: each picture row of the band is converted once into the first of its rows on the
// screen, and the rows it repeats into are copies of that one.
template <typename Pixel>
void DrawWhole(const BYTE* pixels, LONG pitch, const uint32_t* table, BYTE* out, int outPitch, int factor,
               const DamageBand& band) {
    const int width = band.right - band.left;
    const size_t rowBytes = size_t(width) * size_t(factor) * sizeof(Pixel);
    for (int y = band.top; y < band.bottom; ++y) {
        const BYTE* from = pixels + ptrdiff_t(y) * pitch + band.left;
        BYTE* first = out + ptrdiff_t(y) * factor * outPitch + ptrdiff_t(band.left) * factor * ptrdiff_t(sizeof(Pixel));
        Pixel* to = reinterpret_cast<Pixel*>(first);
        if (factor == 1) {
            for (int x = 0; x < width; ++x) to[x] = Pixel(table[from[x]]);
        } else if (factor == 2) {
            for (int x = 0; x < width; ++x) to[2 * x] = to[2 * x + 1] = Pixel(table[from[x]]);
        } else {
            for (int x = 0; x < width; ++x) std::fill_n(to + x * factor, factor, Pixel(table[from[x]]));
        }
        for (int k = 1; k < factor; ++k) std::memcpy(first + ptrdiff_t(k) * outPitch, first, rowBytes);
    }
}

// A picture fitted below twice its size: a window row that repeats the one above it is copied.
template <typename Pixel>
void DrawFitted(const BYTE* pixels, LONG pitch, const uint32_t* table, BYTE* out, int outPitch, const SDL_Rect& area) {
    const int* columns = presenter.sourceColumns.data();
    int previous = -1;
    for (int y = area.y; y < area.y + area.h; ++y) {
        const int sourceRow = presenter.sourceRows[size_t(y)];
        BYTE* row = out + ptrdiff_t(y) * outPitch + ptrdiff_t(area.x) * ptrdiff_t(sizeof(Pixel));
        if (sourceRow == previous) {
            std::memcpy(row, row - outPitch, size_t(area.w) * sizeof(Pixel));
            continue;
        }
        previous = sourceRow;
        const BYTE* from = pixels + ptrdiff_t(sourceRow) * pitch;
        Pixel* target = reinterpret_cast<Pixel*>(row);
        for (int x = 0; x < area.w; ++x) target[x] = Pixel(table[from[columns[area.x + x]]]);
    }
}

template <typename Pixel>
void DrawBand(const BYTE* pixels, LONG pitch, BYTE* out, int outPitch, const SDL_Rect& destination,
              const DamageBand& band, const SDL_Rect& area) {
    const int factor = destination.w / kFrameWidth;
    if (destination.w == kFrameWidth * factor && destination.h == kFrameHeight * factor) {
        DrawWhole<Pixel>(pixels, pitch, presenter.table, out, outPitch, factor, band);
    } else {
        DrawFitted<Pixel>(pixels, pitch, presenter.table, out, outPitch, area);
    }
}

void CaptureSurface(const SDL_Surface* surface) {
    presenter.windowWidth = surface->w;
    presenter.windowHeight = surface->h;
    presenter.windowPixels.resize(size_t(surface->w) * size_t(surface->h));
    SDL_ConvertPixels(surface->w, surface->h, surface->format->format, surface->pixels, surface->pitch,
                      SDL_PIXELFORMAT_ARGB8888, presenter.windowPixels.data(), surface->w * 4);
    uint32_t* pixels = presenter.windowPixels.data();
    for (size_t i = 0, n = presenter.windowPixels.size(); i < n; ++i) pixels[i] |= 0xFF000000u;
}

bool PresentToFramebuffer(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette, const WrittenSince* written) {
    SDL_Surface* surface = SDL_GetWindowSurface(presenter.window);
    if (surface == nullptr) return false;
    const int bytesPerPixel = surface->format->BytesPerPixel;
    if (bytesPerPixel != 4 && bytesPerPixel != 2) {
        return SDL_SetError("the window's %d-byte pixels are not drawn here", bytesPerPixel) == 0;
    }
    const SDL_Rect destination = PresentDestination(surface->w, surface->h);
    // A new surface (the window changed its size) starts with the bars, and shows whole once.
    const bool fresh = surface != presenter.surface || surface->pixels != presenter.surfacePixels ||
                       surface->w != presenter.surfaceWidth || surface->h != presenter.surfaceHeight;
    if (fresh) {
        X11Follow(presenter.window);
        presenter.surface = surface;
        presenter.surfacePixels = surface->pixels;
        presenter.surfaceWidth = surface->w;
        presenter.surfaceHeight = surface->h;
        MapPicture(destination);
        presenter.sendWhole = true;
    }
    if (presenter.tableFormat != surface->format->format ||
        std::memcmp(palette, presenter.tablePalette, sizeof presenter.tablePalette) != 0) {
        std::memcpy(presenter.tablePalette, palette, sizeof presenter.tablePalette);
        BuildSurfaceTable(palette, surface->format);
        presenter.tableFormat = surface->format->format;
        presenter.sendWhole = true;
    }
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    // Whatever the window may have lost (an expose takes the bars too) is drawn again from black.
    const bool whole = std::exchange(presenter.sendWhole, false);
    if (whole) {
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        DamageForget();
    }
    DamageBand bands[kDamageMaxBands];
    SDL_Rect changed[kDamageMaxBands];
    int rects = 0;
    const int count = DamageFind(pixels, pitch, written, bands);
    BYTE* out = static_cast<BYTE*>(surface->pixels) + ptrdiff_t(destination.y) * surface->pitch +
                ptrdiff_t(destination.x) * bytesPerPixel;
    SDL_Rect sent = {0, 0, 0, 0};
    for (int i = 0; i < count; ++i) {
        const SDL_Rect area = BandOnWindow(bands[i]);
        if (area.w <= 0 || area.h <= 0) continue;
        if (bytesPerPixel == 4) {
            DrawBand<uint32_t>(pixels, pitch, out, surface->pitch, destination, bands[i], area);
        } else {
            DrawBand<uint16_t>(pixels, pitch, out, surface->pitch, destination, bands[i], area);
        }
        changed[rects] = {destination.x + area.x, destination.y + area.y, area.w, area.h};
        SDL_UnionRect(&sent, &changed[rects], &sent);
        ++rects;
    }
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    if (presenter.captureWindow) CaptureSurface(surface);
    presenter.lastDestination = destination;
    int shown = 0;
    if (whole) {
        shown = SDL_UpdateWindowSurface(presenter.window);
        sent = {0, 0, surface->w, surface->h};
        presenter.pixelsSent += uint64_t(surface->w) * uint64_t(surface->h);
    } else if (rects > 0) {
        shown = SDL_UpdateWindowSurfaceRects(presenter.window, changed, rects);
        for (int i = 0; i < rects; ++i) presenter.pixelsSent += uint64_t(changed[i].w) * uint64_t(changed[i].h);
    }
    presenter.lastUpdate = sent;
    if (shown != 0) presenter.sendWhole = true;
    return shown == 0;
}

// --- pacing ---

uint64_t TickNs(int k) { return presenter.secondNs + uint64_t(k) * 1000000000u / uint64_t(presenter.hz); }

// The count stays within one second of ticks, whose last is exactly the next second's first.
void SetNextTick(int k) {
    presenter.nextTick = k;
    while (presenter.nextTick >= presenter.hz) {
        presenter.nextTick -= presenter.hz;
        presenter.secondNs += 1000000000u;
    }
}

// A flip takes the display's next refresh, as it does with vsync, so the frame rate reads the refresh rate. The
// refreshes keep their own beat from the first flip: a period of 1e9 / 60 ns is not whole, and rounding it once would
// let the frames drift off the display's ticks. A frame that missed its refresh has been sent at once, and takes the
// refresh it landed in, so the next frame is never sent within the same refresh and the frames after it keep the
// display's beat. The wait to the end of the refresh taken is owed, not slept here: the program's Sleep after its
// flip rests through it, or else the next flip waits it out before sending.
void Pace() {
    const uint64_t now = SystemNowNs();
    if (!presenter.ticking) {
        presenter.ticking = true;
        presenter.secondNs = now;
        SetNextTick(1);
        return;
    }
    const uint64_t tick = TickNs(presenter.nextTick);
    if (now <= tick) {
        SystemOweRest(tick);
        SetNextTick(presenter.nextTick + 1);
        return;
    }
    const uint64_t since = now - presenter.secondNs;
    presenter.secondNs += since / 1000000000u * 1000000000u;
    const uint64_t into = since % 1000000000u;
    const int landed = int((into * uint64_t(presenter.hz) + 999999999u) / 1000000000u);
    SystemOweRest(TickNs(landed));
    SetNextTick(landed + 1);
}

void StartPacing() {
    SDL_DisplayMode mode = {};
    const int display = SDL_GetWindowDisplayIndex(presenter.window);
    int hz = display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 ? mode.refresh_rate : 0;
    if (hz <= 0) hz = kDefaultRefreshHz;
    presenter.hz = hz;
    presenter.ticking = false;
    SystemOweRest(0);
    presenter.vsync = SDL_GetHintBoolean(SDL_HINT_RENDER_VSYNC, SDL_TRUE);
    presenter.paced = presenter.path == Path::Framebuffer && presenter.vsync;
}

void CaptureFrame(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette) {
    presenter.frame.resize(size_t(kFrameWidth) * kFrameHeight);
    for (int row = 0; row < kFrameHeight; ++row) {
        std::memcpy(&presenter.frame[size_t(row) * kFrameWidth], pixels + ptrdiff_t(row) * pitch, kFrameWidth);
    }
    std::memcpy(presenter.framePalette, palette, sizeof(presenter.framePalette));
    presenter.haveFrame = true;
}

}  // namespace

void PresentBuildTable(const PALETTEENTRY* palette, uint32_t* table) {
    for (int i = 0; i < 256; ++i) {
        table[i] = 0xFF000000u | uint32_t(palette[i].peRed) << 16 | uint32_t(palette[i].peGreen) << 8 |
                   uint32_t(palette[i].peBlue);
    }
}

void PresentConvertFrame(const BYTE* pixels, LONG pitch, const uint32_t* table, uint32_t* argb, int argbPitch) {
    ConvertRect(pixels, pitch, table, reinterpret_cast<BYTE*>(argb), argbPitch, kFrameWidth, kFrameHeight);
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

// SetCooperativeLevel calls this for the exclusive level's window; a second call for the same window keeps what it
// has. The path is chosen here, and said once on standard error.
bool PresentAttach(SDL_Window* window) {
    if (presenter.window == window && presenter.path != Path::Unattached) return true;
    PresentDetach();
    presenter.window = window;
    // Vsync by default in both paths; SDL_RENDER_VSYNC in the environment still wins, since a default-priority hint
    // never overrides it.
    SDL_SetHintWithPriority(SDL_HINT_RENDER_VSYNC, "1", SDL_HINT_DEFAULT);
    const Choice choice = ChoosePath(window);
    presenter.path = choice.path;
    presenter.rendererFlags = choice.rendererFlags;
    presenter.failing = false;
    presenter.sendWhole = true;
    const char* how = choice.path == Path::Framebuffer               ? "into the window's framebuffer"
                      : choice.rendererFlags & SDL_RENDERER_SOFTWARE ? "through SDL's software renderer"
                                                                     : "through an SDL renderer";
    std::fprintf(stderr, "present: %s, since %s\n", how, choice.why.c_str());
    if (choice.path == Path::Framebuffer) {
        // Unless told otherwise, SDL would make its own test OpenGL context to decide how to back the surface.
        SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
        presenter.surface = nullptr;
        presenter.tableFormat = SDL_PIXELFORMAT_UNKNOWN;
    } else if (!CreateRenderer()) {
        PresentDetach();
        return false;
    }
    StartPacing();
    return true;
}

void PresentDetach() {
    SystemOweRest(0);
    DestroyRenderer();
    presenter.surface = nullptr;
    presenter.path = Path::Unattached;
    presenter.window = nullptr;
}

// Flip calls this with the new front buffer and the display palette. A present that fails says why once, until one
// goes through again, and still waits out the refresh: the program flips as fast as its flips return, and a failure
// returned at once would spin a core and fill standard error.
bool PresentFrame(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette, const WrittenSince* written) {
    if (presenter.path == Path::Unattached) return false;
    SystemSleepUntilNs(SystemTakeOwedRest());  // the end of the refresh the last frame took, unless Sleep rested
    bool shown = false;
    if (HRESULT refused; presenter.refusals.Strike(&refused)) {
        SDL_SetError("a test refused it");
    } else if (presenter.path == Path::Renderer) {
        shown = PresentThroughRenderer(pixels, pitch, palette, written);
    } else {
        shown = PresentToFramebuffer(pixels, pitch, palette, written);
    }
    if (shown) {
        presenter.failing = false;
        ++presenter.presents;
        if (presenter.captureFrames) CaptureFrame(pixels, pitch, palette);
    } else if (!presenter.failing) {
        presenter.failing = true;
        std::fprintf(stderr, "present: the picture does not reach the window: %s\n", SDL_GetError());
    }
    if (presenter.paced || (!shown && presenter.vsync)) Pace();
    return shown;
}

// The window's pump hands this down when another window stopped covering part of the program's: those pixels are
// the window system's to forget, bars included.
void PresentExpose() {
    if (presenter.path == Path::Framebuffer) presenter.sendWhole = true;
}

// The renderer's textures went with its targets, or the renderer with its device: made again for the next frame.
void PresentReset(bool deviceLost) {
    if (presenter.path != Path::Renderer) return;
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

uint64_t TestPresentPixelsSent() { return presenter.pixelsSent; }

RECT TestPresentDestination(int windowWidth, int windowHeight) {
    const SDL_Rect r = PresentDestination(windowWidth, windowHeight);
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

RECT TestLastPresentDestination() {
    const SDL_Rect& r = presenter.lastDestination;
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

RECT TestLastPresentUpdate() {
    const SDL_Rect& r = presenter.lastUpdate;
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

void TestRefusePresents(int times) { presenter.refusals.Arm(E_FAIL, times); }

void TestSetPathAnswers(const TestPathAnswers* answers) {
    presenter.testAnswers = answers != nullptr;
    presenter.answers = answers != nullptr ? *answers : TestPathAnswers{};
    // The render node is the system's to probe, for the backend's choice too; its answer is set there.
    TestFakeRenderNode(answers != nullptr ? int(answers->renderNodeOpens) : -1);
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

std::string TestPresentPath() {
    switch (presenter.path) {
        case Path::Renderer:
            return "renderer";
        case Path::Framebuffer:
            return "framebuffer";
        default:
            return "";
    }
}

void TestUsePacingClock(bool use) {
    TestUseNanosecondClock(use);
    presenter.ticking = false;
}
