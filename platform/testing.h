// Hooks the tests use to drive the platform layer, inject faults and read back what it did.
#pragma once

#include <windows.h>
#include <ddraw.h>
#include <dinput.h>

#include <cstdint>
#include <functional>
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
    int files;  // opened with _lopen
};
TestLiveObjects TestGetLiveObjects();

// One name per Release call on an emulated interface, in call order, across display and input: "DirectDraw",
// "surface", "palette", "DirectInput", "keyboard", "mouse" or "joystick".
std::vector<std::string> TestTakeReleaseLog();

// Debug output (system): lines written by OutputDebugStringA while capturing, in order.
void TestCaptureDebugOutput(bool capture);
std::vector<std::string> TestTakeDebugOutput();  // complete lines keep their "\n"; a pending tail comes last

// Events: hand every pending SDL event to the layer, as the message pump does.
void TestPumpEvents();

// --- display (ddraw, present) ---
// The 256 entries a palette was created or last set with, before DirectDraw kept entries 0 and 255 black and white.
bool TestPaletteGivenEntries(IDirectDrawPalette* palette, PALETTEENTRY* entries);

// Surface operations that can be made to fail and whose calls are counted, per surface.
enum class TestSurfaceOp {
    BltFast,
    Blt,
    Flip,
    Restore,
    IsLost,
    GetDC,
    ReleaseDC,
    GetSurfaceDesc,
    Lock,
    Unlock,
    SetColorKey,
    GetColorKey,
    GetAttachedSurface,
    SetPalette,
    GetPalette,
    Count
};
// DirectDraw calls that can be made to fail on whatever object they are made on (set-up tests).
enum class TestDirectDrawOp {
    DirectDrawCreateEx,
    SetCooperativeLevel,
    SetDisplayMode,
    CreateSurface,
    CreatePalette,
    GetAttachedSurface,
    SetPalette,
    Count
};
constexpr int kTestUntilCleared = -1;

// The next `times` calls of op on surface (kTestUntilCleared: every call until cleared) return result and
// do nothing else; DDERR_SURFACELOST, DDERR_WASSTILLDRAWING or any failure. False for a dead surface.
bool TestFailSurfaceOp(IDirectDrawSurface7* surface, TestSurfaceOp op, HRESULT result, int times = 1);
// Calls of op made on surface since it was created or the counts were reset, injected failures included.
int TestSurfaceCallCount(IDirectDrawSurface7* surface, TestSurfaceOp op);
void TestResetSurfaceCallCounts();
// After `skip` calls that go through, the next `times` calls of op fail with result.
void TestFailDirectDrawOp(TestDirectDrawOp op, HRESULT result, int times = 1, int skip = 0);
int TestDirectDrawCallCount(TestDirectDrawOp op);
// One site of a frame: TestFailSurfaceOp after `skip` calls of op on surface have gone through.
bool TestFailSurfaceOpAfter(IDirectDrawSurface7* surface, TestSurfaceOp op, HRESULT result, int times, int skip);
// A loss in the middle of a frame: after `skip` calls of op on surface go through, the next one first loses
// every surface as TestLoseAllSurfaces does, then runs and meets the loss. False for a dead surface.
bool TestLoseAllSurfacesAt(IDirectDrawSurface7* surface, TestSurfaceOp op, int skip);

// Surface loss as the display causes it: every surface loses its pixels and reports DDERR_SURFACELOST.
// TestLoseAllSurfaces is a renderer reset (restorable at once); TestSetDisplayMinimised sends the window
// event of minimising (lost, and Restore fails with DDERR_WRONGMODE) or of restoring the window.
void TestLoseAllSurfaces();
void TestSetDisplayMinimised(bool minimised);

// Presented frames. Capture is off until turned on (it costs a copy per flip); the counter always runs.
struct TestFrame {
    std::vector<BYTE> indices;  // 640 x 480 palette indices, rows top-down
    PALETTEENTRY palette[256];  // the display palette the frame was presented with
    BYTE at(int x, int y) const { return indices[size_t(y) * 640 + size_t(x)]; }
};
void TestCaptureFrames(bool capture);
bool TestLastFrame(TestFrame* frame);  // false when no frame was presented while capturing
uint32_t TestPresentCount();
// Where the picture goes in a window of the given size (the scaling rule), and where it went last time.
RECT TestPresentDestination(int windowWidth, int windowHeight);
RECT TestLastPresentDestination();
// What the window showed at the last present, as ARGB rows; kept only while capturing the window.
void TestCaptureWindow(bool capture);
bool TestLastWindowPixels(std::vector<uint32_t>* argb, int* width, int* height);

// Pixels the presents converted and sent so far: window pixels on the framebuffer path, the picture's on the
// renderer's.
uint64_t TestPresentPixelsSent();
// The reference the shortcuts are compared against: every present converts and sends the whole picture, as if every
// pixel had changed; every fill of a whole surface writes every byte, and every keyed copy looks at every pixel.
void TestPresentWholeFrames(bool whole);
// The window rectangle the last present sent to the window: the picture alone, or the whole window when it was new
// or exposed (and always on the renderer path, whose present sends its whole target).
RECT TestLastPresentUpdate();
// The next `times` presents (kTestUntilCleared: every one until called with 0) fail as a window that refuses the
// picture does, with "a test refused it" as SDL's reason.
void TestRefusePresents(int times);

// The presentation path chosen when the display was attached: "renderer", "framebuffer", or "" before.
std::string TestPresentPath();
// While set (the display hooks' clearing leaves them), the automatic choice of path takes these answers instead of
// asking SDL, the X server and /dev/dri.
struct TestPathAnswers {
    std::string driver;                   // SDL's video driver: "x11", "wayland", "dummy", ...
    std::vector<std::string> extensions;  // those of "DRI3", "DRI2" and "NV-GLX" the X server offers
    bool renderNodeOpens = false;         // a /dev/dri/renderD* node opens
    int windowPixelBytes = 0;             // the window's bytes per pixel; 0: the real window's
};
void TestSetPathAnswers(const TestPathAnswers* answers);  // null: ask the real ones again
// Pacing of the framebuffer path: while the test clock is used, flips and Sleep read the time from it and, instead of
// sleeping, note how long they would have slept and move the clock on by that much. Using it starts the count anew.
void TestUsePacingClock(bool use);
void TestAdvancePacingClock(uint64_t nanoseconds);
std::vector<uint64_t> TestTakePacingWaits();
void TestUseNanosecondClock(bool use);  // the clock alone, without the presenter's count (system)

// Clears every display hook above: injected failures, call counts, captures and the minimised state.
void TestClearDisplayHooks();

// --- gdi ---

// CreateCompatibleDC returns null for the next `count` calls.
void TestFailNextCompatibleDCs(int count);

// --- resources ---

// Bitmap resources in front of the compiled-in table: a registered name is found with a copy of these
// bytes (the newest registration wins), a hidden name is found nowhere until registered again, and the
// reset goes back to the compiled-in table alone. Handles found earlier stay valid until the reset.
void TestRegisterBitmapResource(const char* name, const std::vector<uint8_t>& packedBitmap);
void TestHideResource(const char* name);
void TestResetResources();

// --- input ---
// The DirectInput objects a hook means, and the operations it counts or makes fail. Create is
// DirectInputCreateEx for the DirectInput object and CreateDeviceEx for a device kind; EnumCallback
// counts the enumeration's calls of the program's callback, per kind of device offered.
enum class TestInputObject { DirectInput, Keyboard, Mouse, Joystick, Count };
enum class TestInputOp {
    Create,
    EnumDevices,
    EnumCallback,
    SetDataFormat,
    SetCooperativeLevel,
    SetProperty,
    Acquire,
    Unacquire,
    Poll,
    GetDeviceState,
    Release,
    Count
};
int TestInputCalls(TestInputObject object, TestInputOp op);
void TestResetInputCalls();
// The next `count` calls of `op` on objects of that kind return `result` and do nothing else; count -1
// fails every call until the hook is called again with count 0. A read failed with DIERR_INPUTLOST
// also takes the device's acquisition away, as a real loss does.
void TestFailInputOp(TestInputObject object, TestInputOp op, HRESULT result, int count = 1);
// SetProperty of `property` on devices of that kind returns `result` and the device keeps its value;
// S_OK accepts the property again.
void TestRefuseInputProperty(TestInputObject object, const GUID& property, HRESULT result);
// CreateDeviceEx of the joystick at that SDL device index returns `result`; S_OK makes it creatable.
void TestMakeJoystickUncreatable(int sdlIndex, HRESULT result);
// Virtual joysticks on SDL's own virtual driver. Attach returns the joystick's SDL instance id (-1 on
// failure), which the other helpers take. Values reach the devices at the next Poll or event pump.
int TestAttachJoystick(int axes, int buttons, int hats);
void TestDetachJoystick(int joystick);
void TestSetJoystickAxis(int joystick, int axis, int16_t value);
void TestSetJoystickButton(int joystick, int button, bool down);
void TestSetJoystickHat(int joystick, int hat, uint8_t value);
// Whether the layer holds the pointer captured for an acquired mouse (SDL's relative mode requested).
bool TestMouseCaptured();
// A virtual joystick of another make: each product id gives its own SDL product GUID (TestAttachJoystick's pads all
// share one). Returns the instance id as TestAttachJoystick does.
int TestAttachJoystickOfProduct(int axes, int buttons, int hats, uint16_t product);
// Clears every input hook above (injected failures, refused properties, uncreatable joysticks) and forgets the keys
// and mouse buttons SDL last said were down, as a new process starts.
void TestClearInputHooks();

// --- text ---

// TextOutA calls while recording, in order: where, the bytes, the DC's colour and mode, the selected font.
struct TestTextCall {
    int x = 0;
    int y = 0;
    std::string text;
    COLORREF colour = 0;
    int bkMode = 0;
    std::string face;  // lfFaceName of the selected font, "" for the DC's default font
    LONG height = 0;
};
void TestRecordTextOut(bool record);
std::vector<TestTextCall> TestTakeTextOut();  // the calls recorded since the last take

// How often the text layer has gone to fontconfig and FreeType; its caches keep these from growing per call.
struct TestTextStats {
    int fontconfigMatches;
    int facesOpened;
    int glyphsRendered;
};
TestTextStats TestGetTextStats();
std::string TestFontFamily(HFONT font);  // family of the face a live font resolved to, "" for none
int TestFontAscent(HFONT font);          // the baseline's distance from the cell's top, -1 for no font
// Whether a text call has started fontconfig, which reads FONTCONFIG_FILE then and only then.
bool TestFontsStarted();

// --- window and messages ---

// Clock (system): GetTickCount and timeGetTime read a frozen value from TestSetClock until TestRunClock lets
// the real clock run on from there; TestAdvanceClock moves either. The skew is added to timeGetTime only.
void TestSetClock(DWORD milliseconds);
void TestAdvanceClock(DWORD milliseconds);
void TestRunClock();
void TestSetMultimediaClockSkew(DWORD milliseconds);

// Message boxes (system): while capturing, MessageBoxA records its call and returns IDOK without showing.
struct TestMessageBox {
    HWND window;
    std::string text;
    std::string caption;
    UINT type;
    TestLiveObjects liveAtCall;  // what was alive while the box was up
};
void TestCaptureMessageBoxes(bool capture);
std::vector<TestMessageBox> TestTakeMessageBoxes();

// Pointer (system): whether SetCursor last left the mouse pointer shown, and the cursor it set.
bool TestPointerShown();
HCURSOR TestCurrentCursor();

// Sleep (system): while a hook is set, Sleep hands it the milliseconds instead of sleeping, and leaves the wait a
// paced flip owes to the next flip. The main loop sleeps once after every frame, so a hook can script input between
// frames of the real loop.
void TestSetSleepHook(std::function<void(DWORD)> hook);

// Render node (system): 1 or 0 is the answer to whether a GPU render node opens; -1 asks the devices again.
void TestFakeRenderNode(int opens);

// Window (window): real SDL events for the program's window, as a person at the machine would cause them;
// they take effect at the next pump. Scancodes and window-event ids are SDL's; a key carries SDL_GetModState().
// sdlLayoutKey: the SDL keycode the keyboard layout makes of the key, 0 for what SDL itself maps it to.
void TestPushKey(int sdlScancode, bool down, bool repeat = false, int sdlLayoutKey = 0);
void TestPushWindowEvent(int sdlWindowEventId);
void TestPushMouseMotion(int dx, int dy);
void TestPushMouseButton(int sdlButton, bool down);
void TestPushQuit();
bool TestWindowMinimised();
// The window's shape: full screen, or (after Alt+Enter or --window) a window; and where a window's inside goes on a
// usable desktop, with a window manager's frame of those widths (left, top, right, bottom) around it, in the desktop's
// units at that scale of output pixels to a unit.
bool TestWindowFullScreen();
RECT TestWindowedInside(const RECT& usable, const RECT& frame = {0, 0, 0, 0}, int scale = 1);
// The window's inside made that size, as a person dragging its edge would; a full-screen window may keep its own.
void TestResizeWindow(int width, int height);
int TestQueuedMessageCount();
// The window's inside made this size, as a person dragging its edge or the desktop changing would; takes effect at
// once.
void TestSetWindowSize(int width, int height);
// Forgets every registered window class, so a process can run the program's start-up again after its window is gone.
void TestForgetWindowClasses();
// Called at the start of every pump (PeekMessageA and GetMessageA pump), before any event is taken.
void TestSetPumpHook(std::function<void()> hook);
// Called around every window-procedure call the layer makes, sent or dispatched: before with returned false,
// after with returned true.
void TestSetMessageObserver(std::function<void(HWND window, UINT message, bool returned)> observer);
