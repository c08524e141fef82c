// The walk scene in the running program: entry, walking by key and stick, leaving the field, failed blits.
#include "tests/program_harness.h"

#include "scenes/scenes.h"

#include "png_write.h"

#include <algorithm>
#include <memory>

namespace {

// Frame 1 sets up the input-test scene; Space pressed after it is seen in frame 2, which asks for the walk
// scene; frame 3 is the walk scene's first frame.
constexpr int kFirstWalkFrame = 3;

struct WalkRecord {
    int walkFrame;  // 1 for the frame that entered the scene
    LONG shownX;    // the sprite position the picture matched, or -1
    LONG playerX;   // app.playerX after the frame
    BYTE sceneAfter;
    const TestFrame* picture;  // valid only inside the callback
};

// Finds the sprite position a picture shows by matching the composed walk picture near the expected place.
LONG ShownSpriteX(const WalkPainter& painter, const TestFrame& picture, LONG around) {
    for (LONG x : {around, around + 1, around - 1, around + 2, around - 2}) {
        if (Difference(painter.At(x), picture).empty()) return x;
    }
    return -1;
}

// Runs the program into the walk scene; `hold` is pressed (and Space released) between frame 2 and the walk
// scene's first frame, `each` sees every walk-scene frame and says whether to go on.
int RunWalk(const std::vector<SDL_Scancode>& hold, const std::function<bool(const WalkRecord&)>& each,
            bool keepSpace = false) {
    std::unique_ptr<WalkPainter> painter;
    return RunProgram([&](const ProgramFrame& frame) {
        if (frame.number == 1) {
            PressKey(SDL_SCANCODE_SPACE);
            return true;
        }
        if (frame.number == 2) {
            EXPECT_EQ(frame.sceneAfter, SCENE_GAME_INIT);
            if (!keepSpace) ReleaseKey(SDL_SCANCODE_SPACE);
            for (SDL_Scancode key : hold) PressKey(key);
            return true;
        }
        if (!painter) painter = std::make_unique<WalkPainter>();
        int walkFrame = frame.number - kFirstWalkFrame + 1;
        WalkRecord record{walkFrame, ShownSpriteX(*painter, frame.picture, app.playerX), app.playerX, frame.sceneAfter,
                          &frame.picture};
        return each(record);
    });
}

TEST(WalkScene, HoldingLeftLeavesInTheFrame236WithTheLastPictureAt151) {
    std::vector<WalkRecord> records;
    int status = RunWalk({SDL_SCANCODE_LEFT}, [&](const WalkRecord& r) {
        records.push_back(r);
        return r.sceneAfter == SCENE_GAME;
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(records.size(), 236u);
    EXPECT_EQ(records.front().shownX, 386) << "the entry frame already shows the sprite";
    for (const WalkRecord& r : records) {
        ASSERT_EQ(r.shownX, 386 - (r.walkFrame - 1)) << "walk frame " << r.walkFrame;
    }
    EXPECT_EQ(records.back().shownX, 151);
    EXPECT_EQ(records.back().playerX, 150) << "the position that failed the test is kept";
    EXPECT_EQ(records.back().sceneAfter, SCENE_TITLE_INIT);
}

TEST(WalkScene, HoldingRightLeavesInTheFrame208AndTheNextFrameIsTheInputTestScene) {
    std::vector<WalkRecord> records;
    int corner = -1;
    RunWalk({SDL_SCANCODE_RIGHT}, [&](const WalkRecord& r) {
        records.push_back(r);
        corner = r.picture->at(639, 479);
        return r.sceneAfter == SCENE_GAME || r.sceneAfter == SCENE_TITLE_INIT;
    });
    ASSERT_EQ(records.size(), 209u);
    const WalkRecord& last = records[207];
    EXPECT_EQ(last.shownX, 593);
    EXPECT_EQ(last.playerX, 594);
    EXPECT_EQ(last.sceneAfter, SCENE_TITLE_INIT);
    EXPECT_EQ(records[208].sceneAfter, SCENE_TITLE);
    EXPECT_EQ(corner, kTitleClearIndex) << "the input-test scene's clear colour";
}

TEST(WalkScene, LeftAndRightTogetherCancel) {
    std::vector<WalkRecord> records;
    RunWalk({SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT}, [&](const WalkRecord& r) {
        records.push_back(r);
        return r.walkFrame < 30;
    });
    ASSERT_EQ(records.size(), 30u);
    for (const WalkRecord& r : records) {
        EXPECT_EQ(r.shownX, 386);
        EXPECT_EQ(r.playerX, 386);
    }
}

TEST(WalkScene, UpDownAndOtherKeysDoNotMoveTheSprite) {
    std::vector<WalkRecord> records;
    RunWalk({SDL_SCANCODE_UP, SDL_SCANCODE_DOWN, SDL_SCANCODE_A}, [&](const WalkRecord& r) {
        records.push_back(r);
        return r.walkFrame < 10;
    });
    ASSERT_EQ(records.size(), 10u);
    EXPECT_EQ(records.back().playerX, 386);
    EXPECT_EQ(records.back().sceneAfter, SCENE_GAME);
}

class WalkWithStick : public ::testing::Test {
protected:
    int stick = -1;
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        stick = TestAttachJoystick(2, 10, 0);
        ASSERT_GE(stick, 0) << SDL_GetError();
    }
    void TearDown() override { TestDetachJoystick(stick); }

    // Walks ten frames with the stick at `axisX` and the given keys held; returns the position after them.
    LONG WalkTen(int16_t axisX, const std::vector<SDL_Scancode>& keys) {
        TestSetJoystickAxis(stick, 0, axisX);
        LONG after = -1;
        RunWalk(keys, [&](const WalkRecord& r) {
            after = r.playerX;
            return r.walkFrame < 10;
        });
        return after;
    }
};

TEST_F(WalkWithStick, TheStickAloneWalks) { EXPECT_EQ(WalkTen(-32768, {}), 376); }

TEST_F(WalkWithStick, KeyAndStickTogetherStepOnePixel) {
    EXPECT_EQ(WalkTen(-32768, {SDL_SCANCODE_LEFT}), 376);
    std::vector<std::string> lines = ProgramDebugLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Joypad Not Found\n"), 0) << "the stick was found";
}

TEST_F(WalkWithStick, LeftKeyWithTheStickPushedRightCancel) { EXPECT_EQ(WalkTen(32767, {SDL_SCANCODE_LEFT}), 386); }

TEST(WalkScene, SpaceStillHeldWhenTheSpriteLeavesRestartsTheWalkTheFrameAfter) {
    std::vector<WalkRecord> records;
    RunWalk(
        {SDL_SCANCODE_RIGHT},
        [&](const WalkRecord& r) {
            records.push_back(r);
            return r.walkFrame < 211;
        },
        true);
    ASSERT_EQ(records.size(), 211u);
    EXPECT_EQ(records[207].sceneAfter, SCENE_TITLE_INIT);
    EXPECT_EQ(records[208].sceneAfter, SCENE_GAME_INIT) << "the input-test scene sees Space at once";
    EXPECT_EQ(records[209].shownX, 386) << "the walk starts over";
    EXPECT_EQ(records[209].playerX, 387);
    EXPECT_EQ(records[209].sceneAfter, SCENE_GAME);
}

TEST(WalkScene, AFailedBackgroundBlitNeitherDrawsNorMovesTheSprite) {
    std::vector<TestFrame> pictures;
    std::vector<WalkRecord> records;
    int backBufferBlits = -1;
    RunWalk({SDL_SCANCODE_LEFT}, [&](const WalkRecord& r) {
        records.push_back(r);
        pictures.push_back(*r.picture);
        if (r.walkFrame == 5) {
            TestResetSurfaceCallCounts();
            TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::BltFast, DDERR_INVALIDRECT, 1);
        }
        if (r.walkFrame == 6) backBufferBlits = TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast);
        return r.walkFrame < 8;
    });
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[4].playerX, 381);
    EXPECT_EQ(records[5].playerX, 381) << "no input was read in the failed frame";
    EXPECT_EQ(records[5].sceneAfter, SCENE_GAME);
    EXPECT_EQ(backBufferBlits, 1) << "the sprite blit was not made";
    EXPECT_EQ(Difference(Image{640, 480, pictures[3].indices}, pictures[5]), "")
        << "the failed frame shows the back buffer as the flip before last left it";
    EXPECT_EQ(records[6].shownX, 381);
    EXPECT_EQ(records[6].playerX, 380);
}

// The walk scene as a person sees it, counter included, saved scaled x2 with the palette applied
// (docs/walk.png is this picture).
TEST(WalkScene, ScreenAsPresented) {
    TestFrame shown;
    std::string difference = "not reached";
    RunWalk({SDL_SCANCODE_RIGHT}, [&](const WalkRecord& r) {
        if (r.walkFrame == 59) TestAdvanceClock(1000);
        if (r.walkFrame < 60) return true;
        EXPECT_STREQ(app.fpsText, "0062 FPS");
        Image expected = WalkPainter().At(386 + 59);
        PasteCounter(expected, "0062 FPS");
        difference = Difference(expected, *r.picture);
        shown = *r.picture;
        return false;
    });
    EXPECT_EQ(difference, "");
    ASSERT_EQ(shown.indices.size(), 640u * 480u);
    std::vector<uint32_t> xrgb(1280 * 960);
    for (int y = 0; y < 960; ++y) {
        for (int x = 0; x < 1280; ++x) {
            const PALETTEENTRY& colour = shown.palette[shown.at(x / 2, y / 2)];
            xrgb[size_t(y) * 1280 + size_t(x)] =
                uint32_t(colour.peRed) << 16 | uint32_t(colour.peGreen) << 8 | colour.peBlue;
        }
    }
    EXPECT_TRUE(WritePng(DITESSARY_BINARY_DIR "/walk.png", 1280, 960, xrgb.data()));
}

}  // namespace
