// Hooks the tests use to drive the platform layer, inject faults and read back what it did.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <dinput.h>

#include <cstdint>
#include <string>
#include <vector>

// Live objects of each kind the layer has handed out and not yet taken back.
struct TestLiveObjects {
    int directDraws;
    int surfaces;
    int palettes;
    int dcs;
    int bitmaps;
    int fonts;
    int directInputs;
    int inputDevices;
    int windows;
};
TestLiveObjects TestGetLiveObjects();

// Debug output (system): lines written by OutputDebugStringA while capturing, in order.
void TestCaptureDebugOutput(bool capture);
std::vector<std::string> TestTakeDebugOutput();

// Events: hand every pending SDL event to the layer, as the message pump does.
void TestPumpEvents();

// --- display (ddraw, present) ---

// --- gdi ---

// CreateCompatibleDC returns null for the next `count` calls.
void TestFailNextCompatibleDCs(int count);

// --- resources ---

// --- input ---

// --- text ---

// --- window and messages ---
