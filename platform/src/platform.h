// What the layer's service files share with one another; the program never includes it. Calls run one way, from the
// window's event pump down to the presenter: platform/README.md draws the floors.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <dinput.h>

#include <SDL.h>

#include "platform/src/objects.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// --- system.cpp: SDL's start-up, once per process; false after SDL's reason on standard error ---
bool SystemInitVideo();
bool SystemInitJoystick();
bool SystemTakeHangUp();       // once, after SIGHUP: the terminal that started the program has gone
bool SystemRenderNodeOpens();  // whether a GPU render node opens (or the tests' answer)
// The backends SDL is to try, in order, as SDL_VIDEODRIVER's default ("" leaves SDL's own order), and why.
struct SystemVideoBackend {
    std::string drivers;
    std::string why;
};
SystemVideoBackend SystemChooseVideoBackend(const char* waylandDisplay, const char* xDisplay, bool renderNode,
                                            const char* videoDriver);
// The monotonic clock in nanoseconds (or the tests'), and a sleep until a time on it.
uint64_t SystemNowNs();
void SystemSleepUntilNs(uint64_t deadline);
// A paced flip leaves the wait for its refresh owed (0: none): the program's next Sleep rests until then at least,
// and the next flip takes what no Sleep has.
void SystemOweRest(uint64_t untilNs);
uint64_t SystemTakeOwedRest();

// --- x11.cpp: what SDL does not say about an X server; false for a window on any other display ---
bool X11WindowManagerRuns(SDL_Window* window);
bool X11OffersExtension(SDL_Window* window, const char* name);
void X11Watch(SDL_Window* window);   // a lost connection ends the process; the window's end elsewhere is noted
void X11Follow(SDL_Window* window);  // after the presenter made a renderer or got a new framebuffer
void X11Forget(SDL_Window* window);  // just before SDL destroys the window
void X11Settle();                    // just after
void X11OnEvent(const SDL_Event& event);
bool X11TakeWindowGone();       // once, after another client destroyed the watched window
bool X11TakeWindowRecreated();  // once, after SDL made the window anew on another X window
// The window manager's frame around the window: asked for before the window shows framed, read as left, right, top,
// bottom, and news once when the window manager says it.
void X11RequestFrameExtents(SDL_Window* window);
bool X11FrameExtents(SDL_Window* window, int extents[4]);
bool X11TakeFrameChanged();

// --- keys.cpp: one row per physical key, for the window messages and DirectInput's keyboard alike ---
struct KeyRow {
    SDL_Scancode scancode;
    BYTE virtualKey;  // a key that types a letter takes the letter's instead (KeyVirtualKey)
    BYTE scan;
    bool extended;
    BYTE dik;  // DirectInput's code: the scan code with the extended bit as 0x80, but for Pause and Num Lock
};
const KeyRow* KeyFind(SDL_Scancode scancode);  // null for a key that neither service reports
BYTE KeyVirtualKey(const KeyRow& key, SDL_Keycode layoutKey);

// --- window.cpp: the program's window as the other services see it ---
struct HWND__ {
    SDL_Window* sdlWindow;
    Uint32 sdlWindowId;
    WNDPROC procedure;
    HCURSOR classCursor;
    bool visible;
    bool minimised;
    bool focused;  // has the keyboard: DirectInput's foreground devices read only then
    bool destroying;
};
// The Linux entry point's --window: the window starts as a window instead of in full screen.
void WindowStartInWindow(bool windowed);
// The Linux entry point's --display N, numbered from 1 in SDL's order: the window starts on that monitor. Missing: the
// monitor is not there, and one line on standard error named those there are; NoVideo: SDL's video did not start.
enum class WindowDisplayAnswer { There, Missing, NoVideo };
WindowDisplayAnswer WindowStartOnDisplay(int number);

// --- dinput.cpp: DirectInput's devices, fed by the window's pump ---
void InputBeforePump();  // looks for sticks plugged in or pulled out, a few times a second
void InputOnEvent(const SDL_Event& event);

// --- dinput_formats.cpp: the predefined data formats, which SetDataFormat holds a format against ---
bool FormatsFit(const DIDATAFORMAT* format, const DIDATAFORMAT& own);

// --- joystick.cpp: SDL's joysticks as DirectInput's joystick devices read them ---
constexpr int kJoystickAxes = 8;  // lX, lY, lZ, lRx, lRy, lRz and the two sliders
struct JoystickAxis {
    LONG min = 0;  // DirectInput's own default range
    LONG max = 65535;
    DWORD deadZone = 0;  // 0..10000 of the way from the centre to either end
};
struct JoystickInfo {
    SDL_JoystickID instance;
    int index;
    SDL_JoystickGUID product;
    const char* name;
};
std::vector<JoystickInfo> JoystickList();      // the attached joysticks in SDL's index order
int JoystickIndexOf(SDL_JoystickID instance);  // -1 when it is not attached
SDL_Joystick* JoystickOpen(SDL_JoystickID instance);
void JoystickRead(SDL_Joystick* joystick, const JoystickAxis* axes, DIJOYSTATE* state);

// --- ddraw.cpp: the DirectDraw objects, which own surface loss; the window's pump and DestroyWindow feed them ---
void DirectDrawOnEvent(const SDL_Event& event);
void DirectDrawOnWindowDestroyed(HWND window);

// --- palette.cpp: DirectDraw palettes, for the DirectDraw object and the surfaces they are attached to ---
IDirectDrawPalette* PaletteCreate(const PALETTEENTRY* entries, DWORD flags);
bool PaletteIsLive(IDirectDrawPalette* palette);
const PALETTEENTRY* PaletteEntries(IDirectDrawPalette* palette);
void PaletteAddRef(IDirectDrawPalette* palette);
void PaletteRelease(IDirectDrawPalette* palette);  // the layer's own references, kept out of the release log

// --- blit.cpp: the row copies and the fill behind BltFast and Blt ---
void BlitCopy(BYTE* dest, LONG destPitch, const BYTE* source, LONG sourcePitch, int width, int height);
// Leaves the destination where the source pixel lies in low..low + span, a step of pixels at a time.
constexpr int kBlitKeyedStep = 16;
void BlitCopyKeyed(BYTE* dest, LONG destPitch, const BYTE* source, LONG sourcePitch, int width, int height, BYTE low,
                   BYTE span);
void BlitFill(BYTE* dest, LONG pitch, int width, int height, BYTE value);

// --- surface_memory.cpp: a surface's pixels and what is known of them without reading them ---
struct RowSpan {
    int left, right;  // columns left..right - 1; empty when left >= right
};
// Each of rows 0..height - 1 that area covers takes in its columns, within 0..width.
inline void RowsWiden(RowSpan* rows, int width, int height, const RECT& area) {
    const int left = std::max(int(area.left), 0), right = std::min(int(area.right), width);
    for (int y = std::max(int(area.top), 0); y < std::min(int(area.bottom), height); ++y) {
        rows[y] = {std::min(rows[y].left, left), std::max(rows[y].right, right)};
    }
}
// One write since a whole fill, as much as is known of it: two pages filled alike and written by equal steps in the
// same order hold the same pixels wherever no unequal step wrote.
struct DrawStep {
    enum class Kind : uint8_t { Unknown, Fill, Copy, KeyedCopy };
    Kind kind = Kind::Unknown;  // Unknown: a lock, a DC's drawing, a copy within the surface
    BYTE value = 0;             // Fill: the value; KeyedCopy: the key's low end
    BYTE span = 0;              // KeyedCopy: the key's range above its low end
    const void* source = nullptr;
    uint64_t sourceGeneration = 0;  // what the source held, for as long as it holds it
    RECT from = {};
    RECT to = {};  // what the step may have written
    bool operator==(const DrawStep& other) const {
        return kind == other.kind && kind != Kind::Unknown && value == other.value && span == other.span &&
               source == other.source && sourceGeneration == other.sourceGeneration && Same(from, other.from) &&
               Same(to, other.to);
    }
    static bool Same(const RECT& a, const RECT& b) {
        return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
    }
};
// Since the last fill of the whole surface, or opaque copy onto all of it, every byte outside each row's span is as
// that step left it, and `steps` wrote the rest (all of them unless `stepsKnown` is false: there were too many).
struct WrittenSince {
    bool known = false;  // false: nothing is known
    DrawStep base;       // the fill or copy of the whole surface
    std::vector<RowSpan> rows;
    std::vector<DrawStep> steps;
    bool stepsKnown = true;
};
// Where in each row of a source its colour key lets pixels through, for as long as the source stays as it was: every
// such pixel lies in one of the row's runs.
struct KeyedRuns {
    uint64_t generation = 0;
    BYTE low = 0, span = 0;
    int uses = 0;
    std::vector<uint32_t> rowFirst;  // row y's runs are runs[rowFirst[y]] .. runs[rowFirst[y + 1] - 1]
    std::vector<RowSpan> runs;
};
// The page whose writes wait for a step that differs is made right first: anything that reads or writes pixels
// directly goes through here (pixels() does).
void MemoryCatchUp();
struct SurfaceMemory {
    int width = 0;
    int height = 0;
    LONG pitch = 0;
    std::vector<BYTE> bytes;
    uint64_t generation = 0;  // new with every write, never the same for two writes anywhere
    WrittenSince written;
    mutable KeyedRuns keyedRuns;

    BYTE* pixels() {
        MemoryCatchUp();
        return bytes.data();
    }
    const BYTE* pixels() const {
        MemoryCatchUp();
        return bytes.data();
    }
};
void MemoryMake(SurfaceMemory& memory, int width, int height);  // zeroed
// Every write the memory does not make itself goes through here first: locks and GDI's drawing.
void MemoryWrote(SurfaceMemory& memory, const RECT& area);
void MemoryZero(SurfaceMemory& memory);
void MemoryExchange(SurfaceMemory& one, SurfaceMemory& other);  // a flip's pages changing hands
void MemoryFree(SurfaceMemory& memory);                         // before the surface goes
void MemoryFill(SurfaceMemory& memory, const RECT& area, BYTE value);
// BltFast's copy: keyed leaves the destination where the source pixel lies in low..low + span.
void MemoryCopy(SurfaceMemory& dest, int x, int y, const SurfaceMemory& source, const RECT& rect, bool keyed, BYTE low,
                BYTE span);

// --- present.cpp: the flip chain's picture in the window; it only receives calls, all from ddraw.cpp ---
bool PresentAttach(SDL_Window* window);  // the exclusive level's window
void PresentDetach();
// Every Flip; what is known of the picture (null: nothing) spares the comparison with the last one.
bool PresentFrame(const BYTE* pixels, LONG pitch, const PALETTEENTRY* palette, const WrittenSince* written = nullptr);
void PresentReset(bool deviceLost);  // the renderer lost its targets, or its whole device
void PresentExpose();                // the window lost pixels to another window: the next frame sends it whole
// The pieces of the renderer path's present, apart for the benchmarks: the 256-entry index -> XRGB table and the
// 640 x 480 conversion through it into the streaming texture; and the rectangle the picture takes in a window.
void PresentBuildTable(const PALETTEENTRY* palette, uint32_t* table);
void PresentConvertFrame(const BYTE* pixels, LONG pitch, const uint32_t* table, uint32_t* argb, int argbPitch);
SDL_Rect PresentDestination(int windowWidth, int windowHeight);

// --- damage.cpp: what differs between the picture shown last and the next, for the presenter ---
struct DamageBand {
    int top, bottom;  // picture rows top..bottom - 1
    int left, right;  // the columns any of them changed in, left..right - 1
};
constexpr int kDamageMaxBands = 16;
// Takes the picture as the one shown and writes the bands that differ from the last (0: nothing); the whole picture
// as one band after DamageForget, which the presenter calls whenever the window may not show the last picture.
int DamageFind(const BYTE* pixels, LONG pitch, const WrittenSince* written, DamageBand* bands);
void DamageForget();
// The tests' reference frames: every present sends the whole picture, every whole fill writes every byte and every
// keyed copy looks at every pixel, as before anything was known of the pictures.
bool WholeFrames();

// --- GDI objects (gdi.cpp, bitmap.cpp, text.cpp) ---
// A DIB section. Pixels are kept top-down whatever the source's row order: palettised depths as one index byte per
// pixel into `colours`, deeper ones as 0x00RRGGBB words, so StretchBlt converts either by colour.
struct HBITMAP__ {
    int width;
    int height;
    int bitsPerPixel;  // as the source declared it, for GetObjectA
    std::vector<BYTE> indices;
    std::vector<uint32_t> rgb;
    RGBQUAD colours[256];
    int colourCount;
    HDC selectedInto;
};

struct FontSize;  // fonts.cpp: one height of one resolved face
struct HFONT__ {
    LOGFONTA logFont;
    FontSize* size;  // lives as long as the process; the font only points at it
};

struct HDC__ {
    IDirectDrawSurface7* surface;  // the surface a surface DC draws into; null for a memory DC
    BYTE* pixels;                  // surface DC: 8-bit display-palette indices
    LONG pitch;
    int width;
    int height;
    PALETTEENTRY palette[256];  // surface DC: the display palette when the DC was made, which colours convert by
    HBITMAP bitmap;             // memory DC: the selected bitmap, which StretchBlt reads
    HFONT font;                 // selected font, null for the default
    COLORREF textColor;
    int bkMode;
    RECT drawn;  // surface DC: what its drawing has touched, for the surface to count as written
};

// gdi.cpp. The one colour rule: the nearest palette entry by squared RGB distance, the lowest index on ties.
BYTE GdiNearestPaletteIndex(const PALETTEENTRY* palette, COLORREF colour);
// IDirectDrawSurface7::GetDC and ReleaseDC: a DC over the surface's pixels that converts by the display palette.
HDC GdiCreateSurfaceDC(IDirectDrawSurface7* surface, BYTE* pixels, LONG pitch, int width, int height,
                       const PALETTEENTRY* palette);
void GdiDeleteSurfaceDC(HDC dc);
// What the surface DC's drawing has written; empty when nothing.
RECT GdiSurfaceDCDrawn(HDC dc);
void GdiDrew(HDC dc, int64_t left, int64_t top, int64_t right, int64_t bottom);  // for text.cpp

// bitmap.cpp: the bitmap reader behind LoadImageA, a whole .bmp file or a packed DIB as resources hold it. Null for
// anything malformed or unsupported; never reads outside [data, data + size).
HBITMAP BitmapRead(const uint8_t* data, size_t size, bool withFileHeader);

// --- codepage.cpp: the bytes of a font's character set as Unicode ---
bool CodePageKnown(BYTE charSet);            // false for a set no code page here reads (symbol, Macintosh, unassigned)
const char* CodePageLanguage(BYTE charSet);  // fontconfig's language a face needs for it; null: any face
uint32_t CodePageNext(BYTE charSet, const uint8_t* bytes, size_t length, size_t& at);  // moves `at` past it
std::string CodePageToUtf8(BYTE charSet, const char* bytes, size_t length);

// --- fonts.cpp: fontconfig picks the face, FreeType draws its glyphs ---
struct FontGlyph {
    int left;  // ink's left edge, from the pen position
    int top;   // rows of ink above the baseline
    int width;
    int rows;
    int pitch;
    int advance;
    std::vector<uint8_t> bits;  // one bit a pixel, most significant first, rows top-down
};
struct FontMetrics {
    LONG height;  // lfHeight, clamped: positive a cell height, negative a character height
    int ascent;   // the baseline's distance from the cell's top
    int cellHeight;
};
bool FontsStart();                                // false, after one line on standard error, when text cannot be drawn
FontSize* FontsSizeFor(const LOGFONTA& logFont);  // null when no face answers
const FontMetrics& FontsMetrics(const FontSize* size);
const FontGlyph& FontsGlyph(FontSize* size, uint32_t codePoint);
void FontsKeepWithinBudget();  // called before each line: drops the glyph caches once they grow too large

// --- resources.cpp: the bitmap resources compiled into the executable (the table is generated by the build) ---
struct EmbeddedResource {
    const char* name;
    unsigned short language;
    const unsigned char* data;
    unsigned int size;
};
extern const EmbeddedResource kEmbeddedResources[];
extern const unsigned int kEmbeddedResourceCount;
bool ResourceFindBitmap(const char* name, const uint8_t** data, uint32_t* size);

// --- icon.cpp: the desktop icon's pixels as the window's icon (the pixels are generated by the build) ---
extern const int kWindowIconSize;           // 0 where the build had no icon to give
extern const uint32_t kWindowIconPixels[];  // 0xAARRGGBB, rows top to bottom
void IconGive(SDL_Window* window);
