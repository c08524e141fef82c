// A headless run of the program's display: its window on SDL's dummy driver, DirectDraw brought up into
// `app` as the program's set-up does, and every presented frame read back as palette indices.
#pragma once

#include "state/app_state.h"
#include "platform/testing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct HarnessOptions {
    // The display palette: these 256 entries, or (null) DDLoadPalette(directDraw, "BACKIMG") as the program.
    const PALETTEENTRY* palette = nullptr;
    // The four bitmap surfaces with their colour keys, loaded as the program's set-up loads them.
    bool loadBitmaps = false;
};

// Brings the window and the display up; false with the failing step in HarnessError(). Frame capture is on.
bool HarnessStart(const HarnessOptions& options = {});
// Releases the display objects in the program's order, destroys the window and clears the display hooks.
void HarnessStop();
const std::string& HarnessError();
HWND HarnessWindow();
// The kinds of object still alive, as "surfaces=2 dcs=1"; empty when nothing leaked.
std::string HarnessLeaks();

// The last presented frame; an empty frame (no indices) when none was presented since start.
TestFrame HarnessLastFrame();

// A zeroed surface description of the right size with these flags and caps.
DDSURFACEDESC2 HarnessDescription(DWORD flags = 0, DWORD caps = 0);
// Off-screen surfaces for tests, and their pixels read and written through Lock, rows top-down.
LPDIRECTDRAWSURFACE7 HarnessMakeSurface(int width, int height, const std::vector<BYTE>& pixels);
std::vector<BYTE> HarnessReadPixels(LPDIRECTDRAWSURFACE7 surface);
bool HarnessWritePixels(LPDIRECTDRAWSURFACE7 surface, const std::vector<BYTE>& pixels);
bool HarnessSetSourceKey(LPDIRECTDRAWSURFACE7 surface, DWORD low, DWORD high);

// A test whose body runs with the display up; tear-down fails the test if anything was left alive.
class HarnessTest : public ::testing::Test {
protected:
    virtual HarnessOptions Options() const { return {}; }
    void SetUp() override;
    void TearDown() override;
};
