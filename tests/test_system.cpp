// The system services: debug output, the two clocks, wsprintfA, message boxes, stock handles and the pointer.
#include <gtest/gtest.h>

#include <SDL.h>

#include <windows.h>
#include <mmsystem.h>

#include "platform/testing.h"

#include <string>
#include <tuple>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

TEST(DebugOutput, CaptureSplitsIntoLinesThatKeepTheirLineFeeds) {
    TestCaptureDebugOutput(true);
    OutputDebugStringA("Set");
    OutputDebugStringA("DisplayMode OK\nCreateSurface OK\n");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("tail");
    EXPECT_EQ(TestTakeDebugOutput(), (Lines{"SetDisplayMode OK\n", "CreateSurface OK\n", "tail"}));
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});
    TestCaptureDebugOutput(false);
    testing::internal::CaptureStderr();
    OutputDebugStringA("Joypad Not Found\n");
    OutputDebugStringA("a\tb");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Joypad Not Found\na\tb") << "uncaptured goes to stderr";
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});
}

TEST(Clock, FrozenValuesWrapAsUnsigned32BitAndTheMultimediaSkewAppliesToTimeGetTimeOnly) {
    TestSetClock(0xFFFFFFF0u);
    EXPECT_EQ(GetTickCount(), 0xFFFFFFF0u);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFF0u);
    TestAdvanceClock(0x20);
    EXPECT_EQ(GetTickCount(), 0x10u);
    TestSetMultimediaClockSkew(DWORD(-5));
    EXPECT_EQ(timeGetTime(), 0x0Bu);
    EXPECT_EQ(GetTickCount(), 0x10u);
}

TEST(Clock, RunsOnFromTheFrozenValueAndSleepGoesToTheHook) {
    TestSetClock(5000);
    TestRunClock();
    DWORD first = GetTickCount();
    SDL_Delay(20);
    EXPECT_GE(first, 5000u);
    EXPECT_LT(first, 5020u);
    EXPECT_GE(GetTickCount() - first, 19u);
    std::vector<DWORD> slept;
    TestSetSleepHook([&](DWORD ms) { slept.push_back(ms); });
    Sleep(1);
    Sleep(250);
    TestSetSleepHook(nullptr);
    EXPECT_EQ(slept, (std::vector<DWORD>{1, 250}));
}

TEST(Wsprintf, FormatsTheWindowsSubsetAndStopsAt1023Characters) {
    char buffer[1024];
    EXPECT_EQ(wsprintfA(buffer, "%04d FPS", 60), 8);
    EXPECT_STREQ(buffer, "0060 FPS");
    EXPECT_EQ(wsprintfA(buffer, "%04d FPS", 123456), 10);
    EXPECT_STREQ(buffer, "123456 FPS");
    wsprintfA(buffer, "%d|%u|%x|%X|%s|%c|%ld|%lu|%%", -7, 4000000000u, 0xbeef, 0xbeef, "Joy", 'Z', long(-1),
              (unsigned long)(12));
    EXPECT_STREQ(buffer, "-7|4000000000|beef|BEEF|Joy|Z|-1|12|%");
    wsprintfA(buffer, "[%-5d][%5s][%.2s][%+d][%08X]", 42, "ab", "abcdef", 3, 0x1F);
    EXPECT_STREQ(buffer, "[42   ][   ab][ab][+3][0000001F]");

    std::vector<char> big(3000, '#');
    EXPECT_EQ(wsprintfA(big.data(), "%s", std::string(2000, 'x').c_str()), 1023);
    EXPECT_EQ(std::string(big.data()), std::string(1023, 'x'));
    EXPECT_EQ(big[1024], '#') << "nothing is written past the 1024 bytes";
}

TEST(MessageBox, CapturedCallsKeepWindowTextCaptionAndType) {
    TestCaptureMessageBoxes(true);
    HWND owner = reinterpret_cast<HWND>(0x1234);
    EXPECT_EQ(MessageBoxA(owner, "SetDisplayMode FAILED", "Plinth Tessary", MB_OK), IDOK);
    std::vector<TestMessageBox> boxes = TestTakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(std::tie(boxes[0].window, boxes[0].text, boxes[0].caption, boxes[0].type),
              std::make_tuple(owner, std::string("SetDisplayMode FAILED"), std::string("Plinth Tessary"), UINT(MB_OK)));
    EXPECT_TRUE(TestTakeMessageBoxes().empty());
}

TEST(MessageBox, WithoutADisplayWritesCaptionAndTextToStandardError) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "CreateSurface FAILED", "Plinth Tessary", MB_OK), IDOK);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);  // the dummy driver is no display either
    EXPECT_EQ(MessageBoxA(nullptr, "DDLoadPalette FAILED", "Plinth Tessary", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Plinth Tessary: CreateSurface FAILED\nPlinth Tessary: DDLoadPalette FAILED\n");
}

TEST(Handles, ModuleIconCursorAndStockBrushes) {
    EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(GetModuleHandleA("user32.dll"), nullptr);
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    EXPECT_NE(icon, nullptr);
    EXPECT_NE(static_cast<void*>(icon), static_cast<void*>(LoadCursorA(nullptr, IDC_ARROW)));
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    ASSERT_NE(white, nullptr);
    EXPECT_NE(white, GetStockObject(BLACK_BRUSH));
    EXPECT_EQ(GetStockObject(1000), nullptr);
}

TEST(Pointer, SetCursorNullHidesThePointerAndReturnsThePreviousCursor) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    EXPECT_TRUE(TestPointerShown());
    EXPECT_EQ(SetCursor(arrow), nullptr);
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_EQ(TestCurrentCursor(), nullptr);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    SetCursor(arrow);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

}  // namespace
