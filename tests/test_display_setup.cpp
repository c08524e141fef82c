// Display set-up: its eleven steps and their lines, a failure at each step, the fatal report and the teardown.
#include "tests/program_harness.h"

#include "display/display.h"

#include <functional>

namespace {

using Lines = std::vector<std::string>;

const Lines kSuccessLines = {
    "DirectDrawCreateEx OK\n",   "SetCooperativeLevel OK\n", "SetDisplayMode OK\n",     "CreateSurface OK\n",
    "GetAttachedSurface OK\n",   "DDLoadPalette OK\n",       "SetPalette OK\n",         "DDLoadBitmap BackImage OK\n",
    "DDLoadBitmap Strings OK\n", "DDLoadBitmap Title OK\n",  "DDLoadBitmap Chara OK\n",
};

// Display, GDI and window objects alive, as one line, so a failure names what is left.
std::string Alive(const TestLiveObjects& l) {
    return "directDraws=" + std::to_string(l.directDraws) + " surfaces=" + std::to_string(l.surfaces) +
           " palettes=" + std::to_string(l.palettes) + " dcs=" + std::to_string(l.dcs) +
           " bitmaps=" + std::to_string(l.bitmaps) + " windows=" + std::to_string(l.windows);
}

const std::string kNothingAlive = "directDraws=0 surfaces=0 palettes=0 dcs=0 bitmaps=0 windows=0";

HWND StartWindow() {
    HWND window = InitWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    EXPECT_NE(window, nullptr);
    return window;
}

TEST(DisplaySetup, SuccessWritesTheElevenLinesInOrderAndKeysTheSurfaces) {
    HWND window = StartWindow();
    TestCaptureDebugOutput(true);
    TestCaptureMessageBoxes(true);
    EXPECT_EQ(InitDirectDraw(window), DD_OK);
    EXPECT_EQ(TestTakeDebugOutput(), kSuccessLines);
    EXPECT_TRUE(TestTakeMessageBoxes().empty());
    for (void* field :
         {(void*)app.directDraw, (void*)app.primarySurface, (void*)app.backBuffer, (void*)app.palette,
          (void*)app.backgroundSurface, (void*)app.glyphSurface, (void*)app.titleSurface, (void*)app.charaSurface}) {
        EXPECT_NE(field, nullptr);
    }
    EXPECT_EQ(Alive(TestGetLiveObjects()), "directDraws=1 surfaces=6 palettes=1 dcs=0 bitmaps=0 windows=1");

    const DWORD keyGreenIndex = 145;
    EXPECT_EQ(SourceKey(app.glyphSurface), keyGreenIndex);
    EXPECT_EQ(SourceKey(app.titleSurface), keyGreenIndex);
    EXPECT_EQ(SourceKey(app.charaSurface), SurfaceImage(app.charaSurface).at(0, 0));
    EXPECT_EQ(SourceKey(app.backgroundSurface), 0xFFFFFFFFu) << "the background has no key";

    DestroyWindow(window);
    EXPECT_EQ(Alive(TestGetLiveObjects()), kNothingAlive);
}

TEST(DisplaySetup, ReleasingTwiceReleasesEachObjectOnce) {
    HWND window = StartWindow();
    ASSERT_EQ(InitDirectDraw(window), DD_OK);
    ReleaseDisplay();
    EXPECT_EQ(app.directDraw, nullptr);
    EXPECT_EQ(app.primarySurface, nullptr);
    EXPECT_EQ(app.palette, nullptr);
    EXPECT_EQ(app.charaSurface, nullptr);
    TestLiveObjects once = TestGetLiveObjects();
    ReleaseDisplay();
    EXPECT_EQ(Alive(TestGetLiveObjects()), Alive(once));
    EXPECT_EQ(Alive(once), "directDraws=0 surfaces=0 palettes=0 dcs=0 bitmaps=0 windows=1");
    DestroyWindow(window);
}

TEST(DisplaySetup, ReportFatalReleasesShowsOneBoxThenDestroysTheWindowAndHandsBackTheResult) {
    HWND window = StartWindow();
    ASSERT_EQ(InitDirectDraw(window), DD_OK);
    TestCaptureMessageBoxes(true);
    std::vector<UINT> seen;
    TestSetMessageObserver([&](HWND, UINT message, bool returned) {
        if (!returned) seen.push_back(message);
    });
    std::string longText(200, 'x');
    EXPECT_EQ(ReportFatal(window, DDERR_INVALIDMODE, "%s", longText.c_str()), DDERR_INVALIDMODE);
    TestSetMessageObserver(nullptr);
    std::vector<TestMessageBox> boxes = TestTakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, std::string(127, 'x')) << "the text fits 128 bytes with its terminator";
    EXPECT_EQ(boxes[0].caption, "Plinth Tessary");
    EXPECT_EQ(boxes[0].type, UINT(MB_OK));
    EXPECT_EQ(boxes[0].window, window);
    EXPECT_EQ(Alive(boxes[0].liveAtCall), "directDraws=0 surfaces=0 palettes=0 dcs=0 bitmaps=0 windows=1")
        << "the display is gone before the box, the window after it";
    EXPECT_EQ(seen, std::vector<UINT>{WM_DESTROY});
    EXPECT_EQ(Alive(TestGetLiveObjects()), kNothingAlive);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(quit.message, UINT(WM_QUIT));
    EXPECT_EQ(quit.wParam, WPARAM(0));
}

struct FailingStep {
    const char* name;
    std::function<void()> inject;
    HRESULT result;      // what InitDirectDraw hands back
    size_t linesBefore;  // success lines written before the failure
};

void PrintTo(const FailingStep& step, std::ostream* out) { *out << step.name; }

void FailOp(TestDirectDrawOp op, HRESULT result) { TestFailDirectDrawOp(op, result, 1, 0); }

const FailingStep kSteps[] = {
    {"DirectDrawCreateEx", [] { FailOp(TestDirectDrawOp::DirectDrawCreateEx, DDERR_INVALIDPARAMS); },
     DDERR_INVALIDPARAMS, 0},
    {"SetCooperativeLevel", [] { FailOp(TestDirectDrawOp::SetCooperativeLevel, DDERR_NOEXCLUSIVEMODE); },
     DDERR_NOEXCLUSIVEMODE, 1},
    {"SetDisplayMode", [] { FailOp(TestDirectDrawOp::SetDisplayMode, DDERR_INVALIDMODE); }, DDERR_INVALIDMODE, 2},
    {"CreateSurface", [] { FailOp(TestDirectDrawOp::CreateSurface, DDERR_OUTOFMEMORY); }, DDERR_OUTOFMEMORY, 3},
    {"GetAttachedSurface", [] { FailOp(TestDirectDrawOp::GetAttachedSurface, DDERR_NOTFOUND); }, DDERR_NOTFOUND, 4},
    {"DDLoadPalette", [] { FailOp(TestDirectDrawOp::CreatePalette, DDERR_OUTOFMEMORY); }, E_FAIL, 5},
    {"SetPalette", [] { FailOp(TestDirectDrawOp::SetPalette, DDERR_INVALIDOBJECT); }, DDERR_INVALIDOBJECT, 6},
    {"DDLoadBitmap BackImage", [] { TestHideResource("BACKIMG"); }, E_FAIL, 7},
    {"DDLoadBitmap Strings", [] { TestHideResource("STRINGS"); }, E_FAIL, 8},
    {"DDLoadBitmap Title", [] { TestHideResource("TITLE"); }, E_FAIL, 9},
    {"DDLoadBitmap Chara", [] { TestHideResource("CHARA"); }, E_FAIL, 10},
};

class DisplaySetupFailure : public ::testing::TestWithParam<FailingStep> {};

TEST_P(DisplaySetupFailure, ShowsItsTextOnceReleasesWhatWasMadeAndDestroysTheWindow) {
    const FailingStep& step = GetParam();
    HWND window = StartWindow();
    TestCaptureDebugOutput(true);
    TestCaptureMessageBoxes(true);
    step.inject();
    EXPECT_EQ(InitDirectDraw(window), step.result);
    EXPECT_EQ(TestTakeDebugOutput(), Lines(kSuccessLines.begin(), kSuccessLines.begin() + step.linesBefore));
    std::vector<TestMessageBox> boxes = TestTakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, std::string(step.name) + " FAILED");
    EXPECT_EQ(boxes[0].caption, "Plinth Tessary");
    EXPECT_EQ(boxes[0].window, window);
    EXPECT_EQ(Alive(TestGetLiveObjects()), kNothingAlive);
    EXPECT_EQ(app.directDraw, nullptr);
    EXPECT_EQ(app.primarySurface, nullptr);
    EXPECT_EQ(app.palette, nullptr);
    EXPECT_EQ(app.backgroundSurface, nullptr);
    EXPECT_EQ(app.glyphSurface, nullptr);
    EXPECT_EQ(app.titleSurface, nullptr);
    EXPECT_EQ(app.charaSurface, nullptr);
}

TEST_P(DisplaySetupFailure, EndsTheProgramWithStatusOneAndNoFrame) {
    GetParam().inject();
    EXPECT_EQ(RunProgram([](const ProgramFrame&) { return false; }), 1);
    EXPECT_EQ(ProgramFrames(), 0);
    ASSERT_EQ(ProgramMessageBoxes().size(), 1u);
    EXPECT_EQ(ProgramMessageBoxes()[0].text, std::string(GetParam().name) + " FAILED");
    EXPECT_EQ(Alive(TestGetLiveObjects()), kNothingAlive);
    EXPECT_EQ(TestGetLiveObjects().directInputs, 0) << "input is never set up after a display failure";
}

std::string StepName(const ::testing::TestParamInfo<FailingStep>& info) {
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c) {
        if (*c != ' ') name += *c;
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(EachStep, DisplaySetupFailure, ::testing::ValuesIn(kSteps), StepName);

}  // namespace
