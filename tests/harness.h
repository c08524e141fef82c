// A headless run of the program's display: its own window and display set-up (InitWindow, InitDirectDraw) on
// SDL's dummy driver, its own teardown through the window's destruction, and every presented frame read back
// as palette indices.
#pragma once

#include "state/app_state.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Start-up's window and display, as WinMain makes them; with `palette`, its 256 entries are then set on the
// display palette (entries 0 and 255 stay black and white, as the program's palette keeps them). False with the
// failing step in HarnessError(). Frame capture is on. The program's window class registers once per process,
// so a process starts the harness once.
bool HarnessStart(const PALETTEENTRY* palette = nullptr);
// Destroys the window: the program's window procedure releases input and display and posts the quit, which is
// taken from the queue here; then the display hooks are cleared.
void HarnessStop();
const std::string& HarnessError();
HWND HarnessWindow();
// The kinds of object alive (now, or when `live` was taken), as "surfaces=2 dcs=1"; empty when none is.
std::string HarnessLeaks(const TestLiveObjects& live = TestGetLiveObjects());
// The last presented frame; an empty frame (no indices) when none was presented since start.
TestFrame HarnessLastFrame();

// A zeroed surface description of the right size with these flags and caps.
DDSURFACEDESC2 HarnessDescription(DWORD flags = 0, DWORD caps = 0);
// Off-screen surfaces for tests, and their pixels read and written through Lock, rows top-down.
LPDIRECTDRAWSURFACE7 HarnessMakeSurface(int width, int height, const std::vector<BYTE>& pixels);
std::vector<BYTE> HarnessReadPixels(LPDIRECTDRAWSURFACE7 surface);
bool HarnessWritePixels(LPDIRECTDRAWSURFACE7 surface, const std::vector<BYTE>& pixels);
// The low end of a surface's source key, 0xFFFFFFFF for none.
DWORD SourceKey(LPDIRECTDRAWSURFACE7 surface);

// An 8-bit picture: a surface's pixels, or one composed independently to hold a frame against.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<BYTE> pixels;
    BYTE at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Image SurfaceImage(LPDIRECTDRAWSURFACE7 surface);
// Copies rect of source to (x, y) of destination, leaving out source pixels in low..high (no key by default);
// what falls outside either picture is skipped.
void Paste(Image& destination, int x, int y, const Image& source, const RECT& rect, DWORD low = 256, DWORD high = 256);
// "" when the frame shows exactly the picture, else where and how it first differs.
std::string Difference(const Image& expected, const TestFrame& frame);

// A test whose body runs with the display up; tear-down fails the test if anything was left alive.
class HarnessTest : public ::testing::Test {
protected:
    virtual const PALETTEENTRY* Palette() const { return nullptr; }
    void SetUp() override;
    void TearDown() override;
};
