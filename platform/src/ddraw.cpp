// DirectDraw 7 on software surfaces of 8-bit palette indices: the flip chain, off-screen surfaces, and their loss
// when the display goes away.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstring>
#include <vector>

const GUID IID_IDirectDraw7 = {0x15e65ec0, 0x3b9c, 0x11d2, {0xb9, 0x2f, 0x00, 0x60, 0x97, 0x97, 0xea, 0x5b}};

namespace {

constexpr int kModeWidth = 640;
constexpr int kModeHeight = 480;
constexpr int kModeBits = 8;
// Off-screen surfaces are bounded so that a width and height from outside cannot ask for absurd memory.
constexpr LONG kMaxSide = 16384;
constexpr int64_t kMaxPixels = 64 * 1024 * 1024;

constexpr int kSurfaceOps = int(TestSurfaceOp::Count);
constexpr int kDirectDrawOps = int(TestDirectDrawOp::Count);

struct Surface : IDirectDrawSurface7 {
    ULONG refs = 1;
    int width = 0;
    int height = 0;
    SurfaceMemory memory;  // changes hands with the other page at a flip
    DWORD caps = 0;
    bool lost = false;
    bool locked = false;
    HDC dc = nullptr;
    bool hasSrcKey = false;
    DDCOLORKEY srcKey = {};
    bool hasDestKey = false;
    DDCOLORKEY destKey = {};
    IDirectDrawPalette* palette = nullptr;
    Surface* backBuffer = nullptr;  // on the primary of a flip chain
    Surface* chainFront = nullptr;  // on that chain's back buffer
    FaultSite faults[kSurfaceOps];

    BYTE* pixels() { return memory.pixels(); }
    LONG pitch() const { return memory.pitch; }
    bool busy() const { return locked || dc != nullptr; }
};

struct DirectDraw : IDirectDraw7 {
    ULONG refs = 1;
    DWORD level = 0;  // the cooperative level's flags, 0 until one is set
};

// A loss that strikes in the middle of a frame (TestLoseAllSurfacesAt): armed on one surface's operation.
struct LossTrigger {
    const void* surface = nullptr;
    TestSurfaceOp op = TestSurfaceOp::Count;
    int skip = 0;
};

struct Display {
    Surface* primary = nullptr;            // only one primary surface exists at a time
    DirectDraw* exclusiveOwner = nullptr;  // the object whose exclusive level drives presentation
    SDL_Window* window = nullptr;          // the exclusive level's window while the presenter has it
    bool available = true;                 // false while that window is minimised: Restore fails
    FaultSite directDrawFaults[kDirectDrawOps];
    LossTrigger lossTrigger;
};
Display display;

bool DirectDrawFault(TestDirectDrawOp op, HRESULT* result) { return display.directDrawFaults[int(op)].Strike(result); }

Surface* FindSurface(IDirectDrawSurface7* surface) { return ObjectsFind<Surface>(ObjectKind::Surface, surface); }
DirectDraw* FindDirectDraw(IDirectDraw7* directDraw) {
    return ObjectsFind<DirectDraw>(ObjectKind::DirectDraw, directDraw);
}

const PALETTEENTRY* DefaultPalette() {
    static PALETTEENTRY defaults[256];
    static bool made = false;
    if (!made) {
        for (int i = 0; i < 256; ++i) {
            defaults[i] = {BYTE(((i >> 5) & 7) * 255 / 7), BYTE(((i >> 2) & 7) * 255 / 7), BYTE((i & 3) * 255 / 3), 0};
        }
        made = true;
    }
    return defaults;
}

// What GDI converts colours by and the presenter shows the pages with: the primary's palette, or the 3-3-2 default
// while none is attached.
const PALETTEENTRY* DisplayPalette() {
    const PALETTEENTRY* attached = display.primary ? PaletteEntries(display.primary->palette) : nullptr;
    return attached ? attached : DefaultPalette();
}

// Every surface loses its pixels and reports DDERR_SURFACELOST until restored.
void LoseSurfaces() {
    ObjectsEach<Surface>(ObjectKind::Surface, [](Surface* surface) {
        surface->lost = true;
        MemoryZero(surface->memory);
    });
}

void LeaveExclusive() {
    display.exclusiveOwner = nullptr;
    display.window = nullptr;
    PresentDetach();
}

// Surfaces

Surface* NewSurface(int width, int height, DWORD caps) {
    Surface* surface = new Surface;
    surface->width = width;
    surface->height = height;
    MemoryMake(surface->memory, width, height);
    surface->caps = caps;
    ObjectsAdd(ObjectKind::Surface, surface);
    return surface;
}

void DestroySurface(Surface* surface) {
    if (display.lossTrigger.surface == surface) display.lossTrigger = {};
    if (surface->dc) GdiDeleteSurfaceDC(surface->dc);
    if (surface->palette) PaletteRelease(surface->palette);
    if (surface == display.primary) display.primary = nullptr;
    MemoryFree(surface->memory);
    ObjectsRemove(ObjectKind::Surface, surface);
    delete surface;
}

ULONG SurfaceRelease(Surface* surface) {
    // The back buffer belongs to its chain: releasing the references handed out never ends it on its own.
    if (surface->chainFront) {
        if (surface->refs > 0) --surface->refs;
        return surface->refs;
    }
    if (--surface->refs > 0) return surface->refs;
    if (surface->backBuffer) DestroySurface(surface->backBuffer);
    DestroySurface(surface);
    return 0;
}

void FillDescription(const Surface* surface, DDSURFACEDESC2* description) {
    const DWORD size = description->dwSize;
    *description = {};
    description->dwSize = size;
    description->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_PIXELFORMAT;
    description->dwWidth = DWORD(surface->width);
    description->dwHeight = DWORD(surface->height);
    description->lPitch = surface->pitch();
    if (surface->backBuffer) {
        description->dwFlags |= DDSD_BACKBUFFERCOUNT;
        description->dwBackBufferCount = 1;
    }
    if (surface->hasSrcKey) {
        description->dwFlags |= DDSD_CKSRCBLT;
        description->ddckCKSrcBlt = surface->srcKey;
    }
    description->ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    description->ddpfPixelFormat.dwFlags = DDPF_PALETTEINDEXED8 | DDPF_RGB;
    description->ddpfPixelFormat.dwRGBBitCount = 8;
    description->ddsCaps.dwCaps = surface->caps;
}

bool RectInside(const RECT& rect, int width, int height) {
    return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom && rect.right <= width &&
           rect.bottom <= height;
}

HRESULT SurfaceBltFast(Surface* dest, DWORD x, DWORD y, IDirectDrawSurface7* sourceInterface, const RECT* sourceRect,
                       DWORD flags) {
    Surface* source = FindSurface(sourceInterface);
    if (!source) return DDERR_INVALIDPARAMS;
    if (flags & ~DWORD(DDBLTFAST_SRCCOLORKEY | DDBLTFAST_WAIT)) return DDERR_UNSUPPORTED;
    if (dest->lost || source->lost) return DDERR_SURFACELOST;
    if (dest->busy() || source->busy()) return DDERR_SURFACEBUSY;

    const RECT rect = sourceRect ? *sourceRect : RECT{0, 0, source->width, source->height};
    if (!RectInside(rect, source->width, source->height)) return DDERR_INVALIDRECT;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (int64_t(x) + width > dest->width || int64_t(y) + height > dest->height) return DDERR_INVALIDRECT;

    const bool keyed = (flags & DDBLTFAST_SRCCOLORKEY) && source->hasSrcKey;
    const DWORD low = keyed ? source->srcKey.dwColorSpaceLowValue : 0;
    const DWORD high = keyed ? std::min<DWORD>(source->srcKey.dwColorSpaceHighValue, 255) : 0;
    // A key range that no 8-bit pixel can fall in copies every pixel.
    MemoryCopy(dest->memory, int(x), int(y), source->memory, rect, keyed && low <= high, BYTE(low), BYTE(high - low));
    return DD_OK;
}

HRESULT SurfaceBlt(Surface* dest, const RECT* destRect, IDirectDrawSurface7* source, const RECT* sourceRect,
                   DWORD flags, const DDBLTFX* fx) {
    // Only the colour fill is offered: the program clears with it and copies with BltFast.
    if (!(flags & DDBLT_COLORFILL) || (flags & ~DWORD(DDBLT_COLORFILL | DDBLT_WAIT))) return DDERR_UNSUPPORTED;
    if (source || sourceRect || !fx || fx->dwSize != sizeof(DDBLTFX)) return DDERR_INVALIDPARAMS;
    if (dest->lost) return DDERR_SURFACELOST;
    if (dest->busy()) return DDERR_SURFACEBUSY;
    const RECT rect = destRect ? *destRect : RECT{0, 0, dest->width, dest->height};
    if (!RectInside(rect, dest->width, dest->height)) return DDERR_INVALIDRECT;
    MemoryFill(dest->memory, rect, BYTE(fx->dwFillColor));
    return DD_OK;
}

HRESULT SurfaceFlip(Surface* front, IDirectDrawSurface7* target, DWORD) {
    Surface* back = front->backBuffer;
    if (!back) return DDERR_NOTFLIPPABLE;
    if (target && FindSurface(target) != back) return DDERR_INVALIDPARAMS;
    if (front->lost || back->lost) return DDERR_SURFACELOST;
    if (front->busy() || back->busy()) return DDERR_SURFACEBUSY;
    // The storage changes hands; the interfaces keep their roles, so the back buffer stays the back buffer.
    MemoryExchange(front->memory, back->memory);
    if (!PresentFrame(front->pixels(), front->pitch(), DisplayPalette(), &front->memory.written)) {
        // The pages were exchanged but the picture could not reach the window (no renderer): a failure the
        // caller may ignore, as the program's page flip does.
        return DDERR_GENERIC;
    }
    return DD_OK;
}

HRESULT SurfaceRestore(Surface* surface) {
    if (!display.available) return DDERR_WRONGMODE;
    // The pixels went when the surface was lost; restoring gives back zeroed memory.
    surface->lost = false;
    if (surface->backBuffer) surface->backBuffer->lost = false;
    return DD_OK;
}

HRESULT SurfaceGetDC(Surface* surface, HDC* dc) {
    if (!dc) return DDERR_INVALIDPARAMS;
    *dc = nullptr;
    if (surface->lost) return DDERR_SURFACELOST;
    if (surface->dc) return DDERR_DCALREADYCREATED;
    if (surface->locked) return DDERR_SURFACEBUSY;
    surface->dc = GdiCreateSurfaceDC(surface, surface->pixels(), surface->pitch(), surface->width, surface->height,
                                     DisplayPalette());
    if (!surface->dc) return DDERR_CANTCREATEDC;
    *dc = surface->dc;
    return DD_OK;
}

HRESULT SurfaceReleaseDC(Surface* surface, HDC dc) {
    if (!surface->dc) return DDERR_NODC;
    if (dc != surface->dc) return DDERR_INVALIDPARAMS;
    MemoryWrote(surface->memory, GdiSurfaceDCDrawn(surface->dc));
    GdiDeleteSurfaceDC(surface->dc);
    surface->dc = nullptr;
    return DD_OK;
}

HRESULT SurfaceLock(Surface* surface, const RECT* rect, DDSURFACEDESC2* description) {
    if (!description || description->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    if (surface->lost) return DDERR_SURFACELOST;
    if (surface->busy()) return DDERR_SURFACEBUSY;
    const RECT area = rect ? *rect : RECT{0, 0, surface->width, surface->height};
    if (!RectInside(area, surface->width, surface->height)) return DDERR_INVALIDRECT;
    FillDescription(surface, description);
    description->dwFlags |= DDSD_LPSURFACE;
    description->lpSurface = surface->pixels() + ptrdiff_t(area.top) * surface->pitch() + area.left;
    // What the caller writes through the pointer is never seen; the whole area counts as written.
    MemoryWrote(surface->memory, area);
    surface->locked = true;
    return DD_OK;
}

HRESULT SurfaceUnlock(Surface* surface) {
    if (!surface->locked) return DDERR_NOTLOCKED;
    surface->locked = false;
    return DD_OK;
}

HRESULT SurfaceSetColorKey(Surface* surface, DWORD flags, const DDCOLORKEY* key) {
    const DWORD which = flags & ~DWORD(DDCKEY_COLORSPACE);
    if (which != DDCKEY_SRCBLT && which != DDCKEY_DESTBLT) return DDERR_INVALIDPARAMS;
    bool& has = which == DDCKEY_SRCBLT ? surface->hasSrcKey : surface->hasDestKey;
    DDCOLORKEY& stored = which == DDCKEY_SRCBLT ? surface->srcKey : surface->destKey;
    // A null key takes the key away, as DirectDraw does.
    has = key != nullptr;
    stored = key ? *key : DDCOLORKEY{};
    return DD_OK;
}

HRESULT SurfaceGetColorKey(Surface* surface, DWORD flags, DDCOLORKEY* key) {
    if (!key || (flags != DDCKEY_SRCBLT && flags != DDCKEY_DESTBLT)) return DDERR_INVALIDPARAMS;
    const bool has = flags == DDCKEY_SRCBLT ? surface->hasSrcKey : surface->hasDestKey;
    if (!has) return DDERR_NOCOLORKEY;
    *key = flags == DDCKEY_SRCBLT ? surface->srcKey : surface->destKey;
    return DD_OK;
}

HRESULT SurfaceGetAttachedSurface(Surface* surface, const DDSCAPS2* caps, IDirectDrawSurface7** attached) {
    if (!attached) return DDERR_INVALIDPARAMS;
    *attached = nullptr;
    if (!caps) return DDERR_INVALIDPARAMS;
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::GetAttachedSurface, &injected)) return injected;
    if (!surface->backBuffer || !(caps->dwCaps & DDSCAPS_BACKBUFFER)) return DDERR_NOTFOUND;
    ++surface->backBuffer->refs;
    *attached = surface->backBuffer;
    return DD_OK;
}

HRESULT SurfaceSetPalette(Surface* surface, IDirectDrawPalette* palette) {
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::SetPalette, &injected)) return injected;
    if (palette && !PaletteIsLive(palette)) return DDERR_INVALIDPARAMS;
    if (palette) PaletteAddRef(palette);
    if (surface->palette) PaletteRelease(surface->palette);
    surface->palette = palette;
    return DD_OK;
}

HRESULT SurfaceGetPalette(Surface* surface, IDirectDrawPalette** palette) {
    if (!palette) return DDERR_INVALIDPARAMS;
    *palette = nullptr;
    if (!surface->palette) return DDERR_NOPALETTEATTACHED;
    PaletteAddRef(surface->palette);
    *palette = surface->palette;
    return DD_OK;
}

// Every surface method goes through here: the interface is checked, the call counted, and an injected
// failure answered before the operation itself runs.
template <typename Body>
HRESULT OnSurface(IDirectDrawSurface7* self, TestSurfaceOp op, Body body) {
    Surface* surface = FindSurface(self);
    if (!surface) return DDERR_INVALIDOBJECT;
    LossTrigger& trigger = display.lossTrigger;
    if (trigger.surface == surface && trigger.op == op && trigger.skip-- == 0) {
        trigger = {};
        LoseSurfaces();
    }
    if (HRESULT injected; surface->faults[int(op)].Strike(&injected)) return injected;
    return body(surface);
}

// The DirectDraw object

ULONG DirectDrawRelease(DirectDraw* directDraw) {
    if (--directDraw->refs > 0) return directDraw->refs;
    if (display.exclusiveOwner == directDraw) LeaveExclusive();
    ObjectsRemove(ObjectKind::DirectDraw, directDraw);
    delete directDraw;
    return 0;
}

HRESULT DirectDrawSetCooperativeLevel(DirectDraw* directDraw, HWND window, DWORD flags) {
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::SetCooperativeLevel, &injected)) return injected;
    const bool exclusive = flags & DDSCL_EXCLUSIVE;
    const bool fullscreen = flags & DDSCL_FULLSCREEN;
    const bool normal = flags & DDSCL_NORMAL;
    if (exclusive != fullscreen || normal == exclusive) return DDERR_INVALIDPARAMS;
    // The normal level may name no window at all, but never one that is not alive.
    HWND__* live = ObjectsFind<HWND__>(ObjectKind::Window, window);
    if (window && !live) return DDERR_INVALIDPARAMS;
    if (exclusive) {
        if (!live) return DDERR_INVALIDPARAMS;
        if (!PresentAttach(live->sdlWindow)) return DDERR_GENERIC;
        display.exclusiveOwner = directDraw;
        display.window = live->sdlWindow;
    } else if (display.exclusiveOwner == directDraw) {
        LeaveExclusive();
    }
    directDraw->level = flags;
    return DD_OK;
}

HRESULT DirectDrawSetDisplayMode(DirectDraw* directDraw, DWORD width, DWORD height, DWORD bits, DWORD refresh,
                                 DWORD flags) {
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::SetDisplayMode, &injected)) return injected;
    if (!(directDraw->level & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
    if (width != kModeWidth || height != kModeHeight || bits != kModeBits || (refresh != 0 && refresh != 60) ||
        flags != 0) {
        return DDERR_INVALIDMODE;
    }
    return DD_OK;
}

HRESULT CreatePrimary(DirectDraw* directDraw, const DDSURFACEDESC2& description, IDirectDrawSurface7** out) {
    const DWORD caps = description.ddsCaps.dwCaps;
    if (description.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT)) return DDERR_INVALIDPARAMS;
    if (!directDraw->level) return DDERR_NOCOOPERATIVELEVELSET;
    Surface*& primary = display.primary;
    if (primary) return DDERR_PRIMARYSURFACEALREADYEXISTS;
    const bool chain = caps & DDSCAPS_FLIP;
    const bool counted = description.dwFlags & DDSD_BACKBUFFERCOUNT;
    if (!chain) {
        if ((caps & DDSCAPS_COMPLEX) || counted) return DDERR_INVALIDCAPS;
        primary = NewSurface(kModeWidth, kModeHeight, DDSCAPS_PRIMARYSURFACE | DDSCAPS_VIDEOMEMORY);
    } else {
        if (!(caps & DDSCAPS_COMPLEX)) return DDERR_INVALIDCAPS;
        if (!counted || description.dwBackBufferCount != 1) return DDERR_INVALIDPARAMS;
        if (!(directDraw->level & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
        const DWORD chainCaps = DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_VIDEOMEMORY;
        primary = NewSurface(kModeWidth, kModeHeight, chainCaps | DDSCAPS_PRIMARYSURFACE | DDSCAPS_FRONTBUFFER);
        Surface* back = NewSurface(kModeWidth, kModeHeight, chainCaps | DDSCAPS_BACKBUFFER);
        back->refs = 0;  // held by the chain; GetAttachedSurface hands out the references
        back->chainFront = primary;
        primary->backBuffer = back;
    }
    *out = primary;
    return DD_OK;
}

HRESULT CreateOffscreen(const DDSURFACEDESC2& description, IDirectDrawSurface7** out) {
    const DWORD caps = description.ddsCaps.dwCaps;
    if (caps & (DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_BACKBUFFER | DDSCAPS_FRONTBUFFER)) return DDERR_INVALIDCAPS;
    if ((description.dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) != (DDSD_WIDTH | DDSD_HEIGHT)) return DDERR_INVALIDPARAMS;
    const DWORD width = description.dwWidth;
    const DWORD height = description.dwHeight;
    if (width == 0 || height == 0 || width > DWORD(kMaxSide) || height > DWORD(kMaxSide) ||
        int64_t(width) * int64_t(height) > kMaxPixels) {
        return DDERR_INVALIDPARAMS;
    }
    if (description.dwFlags & DDSD_PIXELFORMAT) {
        const DDPIXELFORMAT& format = description.ddpfPixelFormat;
        if (!(format.dwFlags & DDPF_PALETTEINDEXED8) || format.dwRGBBitCount != 8) return DDERR_INVALIDPARAMS;
    }
    const DWORD memory = caps & (DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY);
    *out =
        NewSurface(int(width), int(height), DDSCAPS_OFFSCREENPLAIN | (memory ? memory : DWORD(DDSCAPS_SYSTEMMEMORY)));
    return DD_OK;
}

HRESULT DirectDrawCreateSurface(DirectDraw* directDraw, DDSURFACEDESC2* description, IDirectDrawSurface7** out,
                                IUnknown* outer) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!description || description->dwSize != sizeof(DDSURFACEDESC2) || outer) return DDERR_INVALIDPARAMS;
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::CreateSurface, &injected)) return injected;
    DDSURFACEDESC2 copy = *description;
    if (!(copy.dwFlags & DDSD_CAPS)) copy.ddsCaps = {};
    if (copy.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE) return CreatePrimary(directDraw, copy, out);
    return CreateOffscreen(copy, out);
}

HRESULT DirectDrawCreatePalette(DWORD flags, const PALETTEENTRY* entries, IDirectDrawPalette** out, IUnknown* outer) {
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (!entries || outer || !(flags & DDPCAPS_8BIT) || (flags & ~DWORD(DDPCAPS_8BIT | DDPCAPS_ALLOW256))) {
        return DDERR_INVALIDPARAMS;
    }
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::CreatePalette, &injected)) return injected;
    *out = PaletteCreate(entries, flags);
    return DD_OK;
}

}  // namespace

// The window's event pump hands every SDL event here first. Minimising the window takes the display away, as on
// Windows, and a renderer that lost its textures or its device loses the surfaces behind them.
void DirectDrawOnEvent(const SDL_Event& event) {
    if (!display.window) return;
    switch (event.type) {
        case SDL_WINDOWEVENT:
            if (event.window.windowID != SDL_GetWindowID(display.window)) return;
            if (event.window.event == SDL_WINDOWEVENT_MINIMIZED) {
                display.available = false;
                LoseSurfaces();
            } else if (event.window.event == SDL_WINDOWEVENT_RESTORED ||
                       event.window.event == SDL_WINDOWEVENT_MAXIMIZED || event.window.event == SDL_WINDOWEVENT_SHOWN) {
                display.available = true;
            } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
                PresentExpose();
            }
            return;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            LoseSurfaces();
            PresentReset(event.type == SDL_RENDER_DEVICE_RESET);
            return;
        default:
            return;
    }
}

// DestroyWindow calls this after WM_DESTROY and before the SDL window goes, so the presenter never outlives it.
void DirectDrawOnWindowDestroyed(HWND window) {
    if (window && window->sdlWindow == display.window) {
        PresentDetach();
        display.window = nullptr;
    }
}

HRESULT WINAPI DirectDrawCreateEx(GUID*, LPVOID* directDraw, REFIID iid, IUnknown* outer) {
    if (!directDraw) return DDERR_INVALIDPARAMS;
    *directDraw = nullptr;
    if (iid != IID_IDirectDraw7 || outer) return DDERR_INVALIDPARAMS;
    if (HRESULT injected; DirectDrawFault(TestDirectDrawOp::DirectDrawCreateEx, &injected)) return injected;
    DirectDraw* object = new DirectDraw;
    ObjectsAdd(ObjectKind::DirectDraw, object);
    *directDraw = static_cast<IDirectDraw7*>(object);
    return DD_OK;
}

// IDirectDraw7

ULONG IDirectDraw7::AddRef() {
    DirectDraw* self = FindDirectDraw(this);
    return self ? ++self->refs : 0;
}

ULONG IDirectDraw7::Release() {
    DirectDraw* self = FindDirectDraw(this);
    if (self == nullptr) return 0;
    ObjectsNoteRelease("DirectDraw");
    return DirectDrawRelease(self);
}

HRESULT IDirectDraw7::SetCooperativeLevel(HWND window, DWORD flags) {
    DirectDraw* self = FindDirectDraw(this);
    return self ? DirectDrawSetCooperativeLevel(self, window, flags) : DDERR_INVALIDOBJECT;
}

HRESULT IDirectDraw7::SetDisplayMode(DWORD width, DWORD height, DWORD bits, DWORD refresh, DWORD flags) {
    DirectDraw* self = FindDirectDraw(this);
    return self ? DirectDrawSetDisplayMode(self, width, height, bits, refresh, flags) : DDERR_INVALIDOBJECT;
}

// The mode is never really changed (the window covers the desktop), so there is nothing to put back.
HRESULT IDirectDraw7::RestoreDisplayMode() { return FindDirectDraw(this) ? DD_OK : DDERR_INVALIDOBJECT; }

HRESULT IDirectDraw7::CreateSurface(LPDDSURFACEDESC2 description, LPDIRECTDRAWSURFACE7* surface, IUnknown* outer) {
    DirectDraw* self = FindDirectDraw(this);
    return self ? DirectDrawCreateSurface(self, description, surface, outer) : DDERR_INVALIDOBJECT;
}

HRESULT IDirectDraw7::CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* palette,
                                    IUnknown* outer) {
    return FindDirectDraw(this) ? DirectDrawCreatePalette(flags, entries, palette, outer) : DDERR_INVALIDOBJECT;
}

// IDirectDrawSurface7

ULONG IDirectDrawSurface7::AddRef() {
    Surface* self = FindSurface(this);
    return self ? ++self->refs : 0;
}

ULONG IDirectDrawSurface7::Release() {
    Surface* self = FindSurface(this);
    if (self == nullptr) return 0;
    ObjectsNoteRelease("surface");
    return SurfaceRelease(self);
}

HRESULT IDirectDrawSurface7::BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags) {
    return OnSurface(this, TestSurfaceOp::BltFast,
                     [&](Surface* self) { return SurfaceBltFast(self, x, y, source, sourceRect, flags); });
}

HRESULT IDirectDrawSurface7::Blt(LPRECT destRect, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect, DWORD flags,
                                 LPDDBLTFX fx) {
    return OnSurface(this, TestSurfaceOp::Blt,
                     [&](Surface* self) { return SurfaceBlt(self, destRect, source, sourceRect, flags, fx); });
}

HRESULT IDirectDrawSurface7::Flip(LPDIRECTDRAWSURFACE7 target, DWORD flags) {
    return OnSurface(this, TestSurfaceOp::Flip, [&](Surface* self) { return SurfaceFlip(self, target, flags); });
}

HRESULT IDirectDrawSurface7::Restore() {
    return OnSurface(this, TestSurfaceOp::Restore, [&](Surface* self) { return SurfaceRestore(self); });
}

HRESULT IDirectDrawSurface7::IsLost() {
    return OnSurface(this, TestSurfaceOp::IsLost,
                     [&](Surface* self) { return self->lost ? DDERR_SURFACELOST : DD_OK; });
}

HRESULT IDirectDrawSurface7::GetDC(HDC* dc) {
    return OnSurface(this, TestSurfaceOp::GetDC, [&](Surface* self) { return SurfaceGetDC(self, dc); });
}

HRESULT IDirectDrawSurface7::ReleaseDC(HDC dc) {
    return OnSurface(this, TestSurfaceOp::ReleaseDC, [&](Surface* self) { return SurfaceReleaseDC(self, dc); });
}

HRESULT IDirectDrawSurface7::GetSurfaceDesc(LPDDSURFACEDESC2 description) {
    return OnSurface(this, TestSurfaceOp::GetSurfaceDesc, [&](Surface* self) {
        if (!description || description->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
        FillDescription(self, description);
        return DD_OK;
    });
}

HRESULT IDirectDrawSurface7::Lock(LPRECT rect, LPDDSURFACEDESC2 description, DWORD, HANDLE) {
    return OnSurface(this, TestSurfaceOp::Lock, [&](Surface* self) { return SurfaceLock(self, rect, description); });
}

HRESULT IDirectDrawSurface7::Unlock(LPRECT) {
    return OnSurface(this, TestSurfaceOp::Unlock, [&](Surface* self) { return SurfaceUnlock(self); });
}

HRESULT IDirectDrawSurface7::SetColorKey(DWORD flags, LPDDCOLORKEY key) {
    return OnSurface(this, TestSurfaceOp::SetColorKey,
                     [&](Surface* self) { return SurfaceSetColorKey(self, flags, key); });
}

HRESULT IDirectDrawSurface7::GetColorKey(DWORD flags, LPDDCOLORKEY key) {
    return OnSurface(this, TestSurfaceOp::GetColorKey,
                     [&](Surface* self) { return SurfaceGetColorKey(self, flags, key); });
}

HRESULT IDirectDrawSurface7::GetAttachedSurface(LPDDSCAPS2 caps, LPDIRECTDRAWSURFACE7* surface) {
    return OnSurface(this, TestSurfaceOp::GetAttachedSurface,
                     [&](Surface* self) { return SurfaceGetAttachedSurface(self, caps, surface); });
}

HRESULT IDirectDrawSurface7::SetPalette(LPDIRECTDRAWPALETTE palette) {
    return OnSurface(this, TestSurfaceOp::SetPalette, [&](Surface* self) { return SurfaceSetPalette(self, palette); });
}

HRESULT IDirectDrawSurface7::GetPalette(LPDIRECTDRAWPALETTE* palette) {
    return OnSurface(this, TestSurfaceOp::GetPalette, [&](Surface* self) { return SurfaceGetPalette(self, palette); });
}

// Test hooks

bool TestFailSurfaceOp(IDirectDrawSurface7* surfaceInterface, TestSurfaceOp op, HRESULT result, int times) {
    Surface* surface = FindSurface(surfaceInterface);
    if (!surface || op >= TestSurfaceOp::Count) return false;
    surface->faults[int(op)].Arm(result, times);
    return true;
}

bool TestFailSurfaceOpAfter(IDirectDrawSurface7* surfaceInterface, TestSurfaceOp op, HRESULT result, int times,
                            int skip) {
    Surface* surface = FindSurface(surfaceInterface);
    if (!surface || op >= TestSurfaceOp::Count || skip < 0) return false;
    surface->faults[int(op)].Arm(result, times, skip);
    return true;
}

bool TestLoseAllSurfacesAt(IDirectDrawSurface7* surfaceInterface, TestSurfaceOp op, int skip) {
    Surface* surface = FindSurface(surfaceInterface);
    if (!surface || op >= TestSurfaceOp::Count || skip < 0) return false;
    display.lossTrigger = {surface, op, skip};
    return true;
}

int TestSurfaceCallCount(IDirectDrawSurface7* surfaceInterface, TestSurfaceOp op) {
    Surface* surface = FindSurface(surfaceInterface);
    return surface && op < TestSurfaceOp::Count ? surface->faults[int(op)].calls : 0;
}

void TestResetSurfaceCallCounts() {
    ObjectsEach<Surface>(ObjectKind::Surface, [](Surface* surface) {
        for (FaultSite& site : surface->faults) site.calls = 0;
    });
}

void TestFailDirectDrawOp(TestDirectDrawOp op, HRESULT result, int times, int skip) {
    if (op < TestDirectDrawOp::Count) display.directDrawFaults[int(op)].Arm(result, times, skip);
}

int TestDirectDrawCallCount(TestDirectDrawOp op) {
    return op < TestDirectDrawOp::Count ? display.directDrawFaults[int(op)].calls : 0;
}

void TestLoseAllSurfaces() { LoseSurfaces(); }

void TestSetDisplayMinimised(bool minimised) {
    SDL_Event event = {};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = display.window ? SDL_GetWindowID(display.window) : 0;
    event.window.event = minimised ? SDL_WINDOWEVENT_MINIMIZED : SDL_WINDOWEVENT_RESTORED;
    DirectDrawOnEvent(event);
}

void TestClearDisplayHooks() {
    ObjectsEach<Surface>(ObjectKind::Surface, [](Surface* surface) {
        for (FaultSite& site : surface->faults) site = {};
    });
    std::fill(std::begin(display.directDrawFaults), std::end(display.directDrawFaults), FaultSite{});
    display.lossTrigger = {};
    display.available = true;
    TestCaptureFrames(false);
    TestCaptureWindow(false);
    TestPresentWholeFrames(false);
    TestRefusePresents(0);
}
