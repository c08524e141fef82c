// Display set-up: its eleven steps and their lines, a failure at each step, the fatal report and the teardown.
#include "tests/program_harness.h"

#include "display/display.h"

#include <algorithm>
#include <iterator>
#include <tuple>

namespace {

using Lines = std::vector<std::string>;

const Lines kSuccessLines = {
    "DirectDrawCreateEx OK\n",   "SetCooperativeLevel OK\n", "SetDisplayMode OK\n",     "CreateSurface OK\n",
    "GetAttachedSurface OK\n",   "DDLoadPalette OK\n",       "SetPalette OK\n",         "DDLoadBitmap BackImage OK\n",
    "DDLoadBitmap Strings OK\n", "DDLoadBitmap Title OK\n",  "DDLoadBitmap Chara OK\n",
};

// How many of the display fields of `app` are set; the back buffer is the primary's, not counted.
int FieldsSet() {
    int set = 0;
    for (const void* field :
         {(void*)app.directDraw, (void*)app.primarySurface, (void*)app.palette, (void*)app.backgroundSurface,
          (void*)app.glyphSurface, (void*)app.titleSurface, (void*)app.charaSurface})
        set += field != nullptr;
    return set;
}

// A message box's caption, text and owner.
std::tuple<std::string, std::string, HWND> Box(const TestMessageBox& box) {
    return {box.caption, box.text, box.window};
}
std::tuple<std::string, std::string, HWND> Box(const std::string& text, HWND owner) {
    return {"Plinth Tessary", text, owner};
}

// A shown window with debug lines and message boxes captured.
HWND StartWindow() {
    HWND window = InitWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    EXPECT_NE(window, nullptr);
    TestCaptureDebugOutput(true);
    TestCaptureMessageBoxes(true);
    return window;
}

TEST(DisplaySetup, SuccessWritesTheElevenLinesInOrderAndKeysTheSurfaces) {
    HWND window = StartWindow();
    EXPECT_EQ(InitDirectDraw(window), DD_OK);
    EXPECT_EQ(TestTakeDebugOutput(), kSuccessLines);
    EXPECT_TRUE(TestTakeMessageBoxes().empty());
    EXPECT_EQ(FieldsSet(), 7);
    EXPECT_NE(app.backBuffer, nullptr);
    EXPECT_EQ(HarnessLeaks(), "directDraws=1 surfaces=6 palettes=1 windows=1");

    const DWORD keyGreenIndex = 145;
    EXPECT_EQ(SourceKey(app.glyphSurface), keyGreenIndex);
    EXPECT_EQ(SourceKey(app.titleSurface), keyGreenIndex);
    EXPECT_EQ(SourceKey(app.charaSurface), SurfaceImage(app.charaSurface).at(0, 0));
    EXPECT_EQ(SourceKey(app.backgroundSurface), 0xFFFFFFFFu) << "the background has no key";

    DestroyWindow(window);
    EXPECT_EQ(HarnessLeaks(), "") << "the window's destruction releases the display";
}

// The steps in order, so a step's index is the number of success lines written before it fails.
struct FailingStep {
    const char* name;
    const char* hiddenResource;  // or, when null, the DirectDraw call that fails with `error`
    TestDirectDrawOp op;
    HRESULT error;
    HRESULT result;  // what InitDirectDraw hands back
};

const FailingStep kSteps[] = {
    {"DirectDrawCreateEx", nullptr, TestDirectDrawOp::DirectDrawCreateEx, DDERR_INVALIDPARAMS, DDERR_INVALIDPARAMS},
    {"SetCooperativeLevel", nullptr, TestDirectDrawOp::SetCooperativeLevel, DDERR_NOEXCLUSIVEMODE,
     DDERR_NOEXCLUSIVEMODE},
    {"SetDisplayMode", nullptr, TestDirectDrawOp::SetDisplayMode, DDERR_INVALIDMODE, DDERR_INVALIDMODE},
    {"CreateSurface", nullptr, TestDirectDrawOp::CreateSurface, DDERR_OUTOFMEMORY, DDERR_OUTOFMEMORY},
    {"GetAttachedSurface", nullptr, TestDirectDrawOp::GetAttachedSurface, DDERR_NOTFOUND, DDERR_NOTFOUND},
    {"DDLoadPalette", nullptr, TestDirectDrawOp::CreatePalette, DDERR_OUTOFMEMORY, E_FAIL},
    {"SetPalette", nullptr, TestDirectDrawOp::SetPalette, DDERR_INVALIDOBJECT, DDERR_INVALIDOBJECT},
    {"DDLoadBitmap BackImage", "BACKIMG", {}, 0, E_FAIL},
    {"DDLoadBitmap Strings", "STRINGS", {}, 0, E_FAIL},
    {"DDLoadBitmap Title", "TITLE", {}, 0, E_FAIL},
    {"DDLoadBitmap Chara", "CHARA", {}, 0, E_FAIL},
};

class DisplaySetupFailure : public ::testing::TestWithParam<size_t> {
protected:
    const FailingStep& step = kSteps[GetParam()];
    std::string Text() const { return std::string(step.name) + " FAILED"; }
    void Inject() const {
        if (step.hiddenResource)
            TestHideResource(step.hiddenResource);
        else
            TestFailDirectDrawOp(step.op, step.error, 1, 0);
    }
};

TEST_P(DisplaySetupFailure, ShowsItsTextOnceReleasesWhatWasMadeAndDestroysTheWindow) {
    HWND window = StartWindow();
    Inject();
    EXPECT_EQ(InitDirectDraw(window), step.result);
    EXPECT_EQ(TestTakeDebugOutput(), Lines(kSuccessLines.begin(), kSuccessLines.begin() + long(GetParam())));
    std::vector<TestMessageBox> boxes = TestTakeMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(Box(boxes[0]), Box(Text(), window));
    EXPECT_EQ(boxes[0].type, UINT(MB_OK));
    // ReportFatal releases the display before the box and the window after; the window's destruction releases
    // the display again, and each object goes once.
    EXPECT_EQ(HarnessLeaks(boxes[0].liveAtCall), "windows=1");
    EXPECT_EQ(HarnessLeaks(), "");
    EXPECT_EQ(FieldsSet(), 0);
}

TEST_P(DisplaySetupFailure, EndsTheProgramWithStatusOneAndNoFrame) {
    Inject();
    EXPECT_EQ(RunProgram([](const ProgramFrame&) { return false; }), 1);
    EXPECT_EQ(ProgramFrames(), 0);
    ASSERT_EQ(ProgramMessageBoxes().size(), 1u);
    EXPECT_EQ(ProgramMessageBoxes()[0].text, Text());
    EXPECT_EQ(HarnessLeaks(), "");
    EXPECT_EQ(TestGetLiveObjects().directInputs, 0) << "input is never set up after a display failure";
}

INSTANTIATE_TEST_SUITE_P(EachStep, DisplaySetupFailure, ::testing::Range(size_t(0), std::size(kSteps)),
                         [](const auto& info) {
                             std::string name = kSteps[info.param].name;
                             name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
                             return name;
                         });

}  // namespace
