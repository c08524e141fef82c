// The program's blit, flip and recovery: lost surfaces repaired once, restore failures reported or not as the
// recovery order makes them, lost flips shown as nothing. The fault matrix retries the busy results.
#include "tests/harness.h"

#include "display/display.h"

namespace {

const RECT kLogo = {0, 0, 640, 100}, kPrompt = {0, 100, 640, 135};  // as the input-test scene draws them
const RECT kCorner = {0, 0, 64, 48};

class Recovery : public HarnessTest {
protected:
    void SetUp() override {
        HarnessTest::SetUp();
        TestCaptureDebugOutput(true);
        for (LPDIRECTDRAWSURFACE7 s : Bitmaps()) {
            loaded.push_back(SurfaceImage(s));
            ASSERT_NE(loaded.back().pixels, std::vector<BYTE>(loaded.back().pixels.size(), 0));
        }
        TestResetSurfaceCallCounts();
    }
    void TearDown() override {
        TestCaptureDebugOutput(false);
        HarnessTest::TearDown();
    }
    std::vector<LPDIRECTDRAWSURFACE7> Bitmaps() const {
        return {app.backgroundSurface, app.glyphSurface, app.titleSurface, app.charaSurface};
    }
    int Restores(LPDIRECTDRAWSURFACE7 s) const { return TestSurfaceCallCount(s, TestSurfaceOp::Restore); }
    // Every bitmap surface but `skip` holds its loaded pixels again.
    void ExpectRefilled(size_t skip = 4) const {
        for (size_t i = 0; i < 4; ++i)
            EXPECT_TRUE(i == skip || HarnessReadPixels(Bitmaps()[i]) == loaded[i].pixels) << "surface " << i;
    }
    HRESULT Title(int y, RECT rect, DWORD flags = DDBLTFAST_SRCCOLORKEY) {
        return BltFastRetry(app.backBuffer, 0, y, app.titleSurface, &rect, flags);
    }
    HRESULT Background() {
        RECT rect = kCorner;
        return BltFastRetry(app.backBuffer, 0, 0, app.backgroundSurface, &rect, 0);
    }
    void Fill(BYTE value) {
        DDBLTFX fx = {};
        fx.dwSize = sizeof(fx);
        fx.dwFillColor = value;
        app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    }
    // A screen of `fill` with keyed copies of these rectangles of the title surface (as loaded) at x 0 and y.
    std::vector<BYTE> Expected(BYTE fill, std::initializer_list<std::pair<RECT, int>> blits) const {
        Image screen{640, 480, std::vector<BYTE>(640 * 480, fill)};
        const DWORD key = SourceKey(app.titleSurface);
        for (const auto& [rect, y] : blits) Paste(screen, 0, y, loaded[2], rect, key, key);
        return screen.pixels;
    }
    std::vector<Image> loaded;  // background, glyph, title, chara as set-up filled them
};

TEST_F(Recovery, ALostSurfaceIsRepairedOnceAndItsRectangleIsMissingFromThatFrame) {
    TestLoseAllSurfaces();
    const uint32_t presents = TestPresentCount();
    Fill(128);  // the clear meets the loss too, and its result is not looked at
    EXPECT_EQ(Title(100, kLogo), DD_OK);
    EXPECT_EQ(TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast), 1);
    EXPECT_EQ(Restores(app.primarySurface), 1);
    for (LPDIRECTDRAWSURFACE7 s : Bitmaps()) EXPECT_EQ(Restores(s), 2);  // the recovery's, then the refill's own
    ExpectRefilled();
    EXPECT_EQ(Title(350, kPrompt), DD_OK);
    FlipPage();
    ASSERT_EQ(TestPresentCount(), presents + 1);
    EXPECT_EQ(HarnessLastFrame().indices, Expected(0, {{kPrompt, 350}}));  // restored memory, no clear, no logo

    Fill(128);
    EXPECT_EQ(Title(100, kLogo), DD_OK);
    EXPECT_EQ(Title(350, kPrompt), DD_OK);
    FlipPage();
    EXPECT_EQ(HarnessLastFrame().indices, Expected(128, {{kLogo, 100}, {kPrompt, 350}}));
    EXPECT_EQ(Restores(app.primarySurface), 1);
    EXPECT_EQ(TestTakeDebugOutput(), std::vector<std::string>{});
}

TEST_F(Recovery, AFailedCharaRestoreIsReportedAlthoughTheOthersWereRefilled) {
    ASSERT_TRUE(TestFailSurfaceOp(app.charaSurface, TestSurfaceOp::Restore, DDERR_OUTOFMEMORY));
    TestLoseAllSurfaces();
    EXPECT_EQ(Background(), DDERR_OUTOFMEMORY);
    ExpectRefilled(3);
    EXPECT_EQ(app.charaSurface->IsLost(), DDERR_SURFACELOST);
}

TEST_F(Recovery, AFailedBackgroundRestoreIsNotReportedAndLeavesItUnfilled) {
    ASSERT_TRUE(TestFailSurfaceOp(app.backgroundSurface, TestSurfaceOp::Restore, DDERR_OUTOFMEMORY));
    TestLoseAllSurfaces();
    EXPECT_EQ(Background(), DD_OK);
    EXPECT_EQ(app.backgroundSurface->IsLost(), DDERR_SURFACELOST);
    ExpectRefilled(0);
    // The next blit from it meets the loss again and repairs it, this time with a refill; still not drawn.
    EXPECT_EQ(Background(), DD_OK);
    EXPECT_EQ(HarnessReadPixels(app.backgroundSurface), loaded[0].pixels);
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(Background(), DD_OK);
    const std::vector<BYTE> screen = HarnessReadPixels(app.backBuffer);
    EXPECT_EQ(screen[0], loaded[0].at(0, 0));
    EXPECT_EQ(screen[47 * 640 + 63], loaded[0].at(63, 47));
}

TEST_F(Recovery, APrimaryThatCannotBeRestoredStopsEveryBlitUntilItCan) {
    TestSetDisplayMinimised(true);
    for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(Title(100, kLogo), DDERR_WRONGMODE);
    EXPECT_EQ(Restores(app.primarySurface), 3);
    for (LPDIRECTDRAWSURFACE7 s : Bitmaps()) EXPECT_EQ(Restores(s), 0);
    TestSetDisplayMinimised(false);
    EXPECT_EQ(Title(100, kLogo), DD_OK);
    ExpectRefilled();
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(Title(100, kLogo), DD_OK);
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), Expected(0, {{kLogo, 100}}));
}

TEST_F(Recovery, ALostFlipRestoresThePrimaryAndShowsNothingThatFrame) {
    const uint32_t presents = TestPresentCount();
    TestLoseAllSurfaces();
    FlipPage();
    EXPECT_EQ(TestPresentCount(), presents);
    EXPECT_EQ(Restores(app.primarySurface), 1);
    EXPECT_EQ(app.backBuffer->IsLost(), DD_OK);
    for (LPDIRECTDRAWSURFACE7 s : Bitmaps()) {
        EXPECT_EQ(Restores(s), 0);
        EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);  // left to the next blit that meets the loss
    }
    Fill(77);
    FlipPage();
    EXPECT_EQ(TestPresentCount(), presents + 1);
    EXPECT_EQ(HarnessLastFrame().indices, std::vector<BYTE>(640 * 480, 77));
}

}  // namespace
