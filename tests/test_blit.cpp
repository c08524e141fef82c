// The program's blit, flip and recovery: lost surfaces repaired once, busy results retried, restore
// failures reported or not as the recovery order makes them, lost flips shown as nothing.
#include "tests/harness.h"

#include "display/display.h"

namespace {

class Recovery : public HarnessTest {
protected:
    HarnessOptions Options() const override {
        HarnessOptions options;
        options.loadBitmaps = true;
        return options;
    }

    void SetUp() override {
        HarnessTest::SetUp();
        TestCaptureDebugOutput(true);
        for (LPDIRECTDRAWSURFACE7 s : Bitmaps()) {
            DDSURFACEDESC2 description = {};
            description.dwSize = sizeof(description);
            ASSERT_EQ(s->GetSurfaceDesc(&description), DD_OK);
            widths.push_back(int(description.dwWidth));
            loaded.push_back(HarnessReadPixels(s));
            ASSERT_NE(loaded.back(), std::vector<BYTE>(loaded.back().size(), 0));
        }
    }

    void TearDown() override {
        TestCaptureDebugOutput(false);
        HarnessTest::TearDown();
    }

    std::vector<LPDIRECTDRAWSURFACE7> Bitmaps() const {
        return {app.backgroundSurface, app.glyphSurface, app.titleSurface, app.charaSurface};
    }
    int Restores(LPDIRECTDRAWSURFACE7 s) const { return TestSurfaceCallCount(s, TestSurfaceOp::Restore); }

    void Fill(BYTE value) {
        DDBLTFX fx = {};
        fx.dwSize = sizeof(fx);
        fx.dwFillColor = value;
        app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    }

    // The back buffer as it must be after a keyed copy of rect of the title surface (as loaded) to (x, y).
    void ExpectTitleAt(std::vector<BYTE>* screen, RECT rect, int x, int y) const {
        DDCOLORKEY key = {};
        ASSERT_EQ(app.titleSurface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        for (int row = rect.top; row < rect.bottom; ++row) {
            for (int column = rect.left; column < rect.right; ++column) {
                const BYTE p = loaded[2][size_t(row) * widths[2] + column];
                if (p != key.dwColorSpaceLowValue)
                    (*screen)[size_t(y + row - rect.top) * 640 + x + column - rect.left] = p;
            }
        }
    }

    std::vector<std::vector<BYTE>> loaded;  // background, glyph, title, chara as set-up filled them
    std::vector<int> widths;
};

TEST_F(Recovery, ALostSurfaceIsRepairedOnceAndItsRectangleIsMissingFromThatFrame) {
    RECT logo = {0, 0, 640, 100}, prompt = {0, 100, 640, 135};  // as the input-test scene draws them
    TestLoseAllSurfaces();
    TestResetSurfaceCallCounts();
    const uint32_t presents = TestPresentCount();

    Fill(128);  // the clear meets the loss too, and its result is not looked at
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 100, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY), DD_OK);
    EXPECT_EQ(TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast), 1);
    EXPECT_EQ(Restores(app.primarySurface), 1);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(Restores(Bitmaps()[i]), 2) << i;  // the recovery's, then the refill's own
        EXPECT_EQ(HarnessReadPixels(Bitmaps()[i]), loaded[i]) << "surface " << i << " refilled";
    }
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 350, app.titleSurface, &prompt, DDBLTFAST_SRCCOLORKEY), DD_OK);
    FlipPage();
    ASSERT_EQ(TestPresentCount(), presents + 1);
    std::vector<BYTE> expected(640 * 480, 0);  // restored memory, no clear, no logo
    ExpectTitleAt(&expected, prompt, 0, 350);
    EXPECT_EQ(HarnessLastFrame().indices, expected);

    Fill(128);
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 100, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY), DD_OK);
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 350, app.titleSurface, &prompt, DDBLTFAST_SRCCOLORKEY), DD_OK);
    FlipPage();
    expected.assign(640 * 480, 128);
    ExpectTitleAt(&expected, logo, 0, 100);
    ExpectTitleAt(&expected, prompt, 0, 350);
    EXPECT_EQ(HarnessLastFrame().indices, expected);
    EXPECT_EQ(Restores(app.primarySurface), 1);
    EXPECT_EQ(TestTakeDebugOutput(), std::vector<std::string>{});
}

TEST_F(Recovery, BusyBlitsAndFlipsAreRetriedUntilTheyClear) {
    RECT logo = {0, 0, 640, 100};
    TestResetSurfaceCallCounts();
    ASSERT_TRUE(TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::BltFast, DDERR_WASSTILLDRAWING, 7));
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 9, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY), DD_OK);
    EXPECT_EQ(TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast), 8);

    const uint32_t presents = TestPresentCount();
    ASSERT_TRUE(TestFailSurfaceOp(app.primarySurface, TestSurfaceOp::Flip, DDERR_WASSTILLDRAWING, 3));
    FlipPage();
    EXPECT_EQ(TestSurfaceCallCount(app.primarySurface, TestSurfaceOp::Flip), 4);
    EXPECT_EQ(TestPresentCount(), presents + 1);
    std::vector<BYTE> expected(640 * 480, 0);
    ExpectTitleAt(&expected, logo, 0, 9);
    EXPECT_EQ(HarnessLastFrame().indices, expected);
    EXPECT_EQ(Restores(app.primarySurface), 0);
}

TEST_F(Recovery, OtherResultsComeBackUnchangedWithoutARepair) {
    RECT beyond = {0, 0, widths[2] + 1, 16};
    TestResetSurfaceCallCounts();
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 0, app.titleSurface, &beyond, DDBLTFAST_SRCCOLORKEY), DDERR_INVALIDRECT);
    ASSERT_TRUE(TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::BltFast, DDERR_SURFACEBUSY));
    RECT logo = {0, 0, 640, 100};
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 0, app.titleSurface, &logo, 0), DDERR_SURFACEBUSY);
    EXPECT_EQ(TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast), 2);
    EXPECT_EQ(Restores(app.primarySurface), 0);

    ASSERT_TRUE(TestFailSurfaceOp(app.primarySurface, TestSurfaceOp::Flip, DDERR_GENERIC));
    const uint32_t presents = TestPresentCount();
    FlipPage();
    EXPECT_EQ(TestSurfaceCallCount(app.primarySurface, TestSurfaceOp::Flip), 1);
    EXPECT_EQ(TestPresentCount(), presents);
}

TEST_F(Recovery, AFailedCharaRestoreIsReportedAlthoughTheOthersWereRefilled) {
    ASSERT_TRUE(TestFailSurfaceOp(app.charaSurface, TestSurfaceOp::Restore, DDERR_OUTOFMEMORY));
    TestLoseAllSurfaces();
    RECT all = {0, 0, 64, 48};
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 0, app.backgroundSurface, &all, 0), DDERR_OUTOFMEMORY);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(HarnessReadPixels(Bitmaps()[i]), loaded[i]) << i;
    EXPECT_EQ(app.charaSurface->IsLost(), DDERR_SURFACELOST);
}

TEST_F(Recovery, AFailedBackgroundRestoreIsNotReportedAndLeavesItUnfilled) {
    ASSERT_TRUE(TestFailSurfaceOp(app.backgroundSurface, TestSurfaceOp::Restore, DDERR_OUTOFMEMORY));
    TestLoseAllSurfaces();
    RECT all = {0, 0, 64, 48};
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 0, app.backgroundSurface, &all, 0), DD_OK);
    EXPECT_EQ(app.backgroundSurface->IsLost(), DDERR_SURFACELOST);
    for (size_t i = 1; i < 4; ++i) EXPECT_EQ(HarnessReadPixels(Bitmaps()[i]), loaded[i]) << i;

    // The next blit from it meets the loss again and repairs it, this time with a refill; still not drawn.
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 0, app.backgroundSurface, &all, 0), DD_OK);
    EXPECT_EQ(HarnessReadPixels(app.backgroundSurface), loaded[0]);
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 0, app.backgroundSurface, &all, 0), DD_OK);
    const std::vector<BYTE> screen = HarnessReadPixels(app.backBuffer);
    EXPECT_EQ(screen[0], loaded[0][0]);
    EXPECT_EQ(screen[47 * 640 + 63], loaded[0][size_t(47) * widths[0] + 63]);
}

TEST_F(Recovery, APrimaryThatCannotBeRestoredStopsEveryBlitUntilItCan) {
    TestSetDisplayMinimised(true);
    TestResetSurfaceCallCounts();
    RECT logo = {0, 0, 640, 100};
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 100, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY),
                  DDERR_WRONGMODE);
    }
    EXPECT_EQ(Restores(app.primarySurface), 3);
    for (LPDIRECTDRAWSURFACE7 s : Bitmaps()) EXPECT_EQ(Restores(s), 0);

    TestSetDisplayMinimised(false);
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 100, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY), DD_OK);
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(HarnessReadPixels(Bitmaps()[i]), loaded[i]) << i;
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(BltFastRetry(app.backBuffer, 0, 100, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY), DD_OK);
    std::vector<BYTE> expected(640 * 480, 0);
    ExpectTitleAt(&expected, logo, 0, 100);
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), expected);
}

TEST_F(Recovery, ALostFlipRestoresThePrimaryAndShowsNothingThatFrame) {
    TestResetSurfaceCallCounts();
    const uint32_t presents = TestPresentCount();
    TestLoseAllSurfaces();
    FlipPage();
    EXPECT_EQ(TestPresentCount(), presents);
    EXPECT_EQ(Restores(app.primarySurface), 1);
    EXPECT_EQ(app.primarySurface->IsLost(), DD_OK);
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
