// The walk scene in the running program: entry, walking by key and stick, standing still, leaving the field.
#include "tests/program_harness.h"

#include "scenes/scenes.h"

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
    BYTE corner;  // the picture's bottom-right pixel
};

// Finds the sprite position a picture shows by matching the composed walk picture near the expected place.
LONG ShownSpriteX(const WalkPainter& painter, const TestFrame& picture, LONG around) {
    for (LONG x : {around, around + 1, around - 1, around + 2, around - 2}) {
        if (Difference(painter.At(x), picture).empty()) return x;
    }
    return -1;
}

// The records of the walk frames 1 to `last`: the program run into the walk scene, `hold` pressed (and Space
// released, unless kept) between frame 2 and the walk scene's first frame.
std::vector<WalkRecord> Walk(const std::vector<SDL_Scancode>& hold, int last, bool keepSpace = false) {
    std::vector<WalkRecord> records;
    std::unique_ptr<WalkPainter> painter;
    RunProgram([&](const ProgramFrame& frame) {
        if (frame.number == 1) PressKey(SDL_SCANCODE_SPACE);
        if (frame.number == 2) {
            EXPECT_EQ(frame.sceneAfter, SCENE_GAME_INIT);
            if (!keepSpace) ReleaseKey(SDL_SCANCODE_SPACE);
            for (SDL_Scancode key : hold) PressKey(key);
        }
        if (frame.number < kFirstWalkFrame) return true;
        if (!painter) painter = std::make_unique<WalkPainter>();
        records.push_back({frame.number - kFirstWalkFrame + 1, ShownSpriteX(*painter, frame.picture, app.playerX),
                           app.playerX, frame.sceneAfter, frame.picture.at(639, 479)});
        return records.back().walkFrame < last;
    });
    return records;
}

TEST(WalkScene, HoldingLeftLeavesInTheFrame236WithTheLastPictureAt151) {
    std::vector<WalkRecord> records = Walk({SDL_SCANCODE_LEFT}, 236);
    ASSERT_EQ(records.size(), 236u);
    for (const WalkRecord& r : records) {
        ASSERT_EQ(r.shownX, 386 - (r.walkFrame - 1)) << "walk frame " << r.walkFrame;
        ASSERT_EQ(r.sceneAfter, r.walkFrame < 236 ? SCENE_GAME : SCENE_TITLE_INIT) << "walk frame " << r.walkFrame;
    }
    EXPECT_EQ(records.back().shownX, 151);
    EXPECT_EQ(records.back().playerX, 150) << "the position that failed the test is kept";
}

TEST(WalkScene, HoldingRightLeavesInTheFrame208AndTheNextFrameIsTheInputTestScene) {
    std::vector<WalkRecord> records = Walk({SDL_SCANCODE_RIGHT}, 209);
    ASSERT_EQ(records.size(), 209u);
    EXPECT_EQ(records[206].sceneAfter, SCENE_GAME);
    EXPECT_EQ(records[207].shownX, 593);
    EXPECT_EQ(records[207].playerX, 594);
    EXPECT_EQ(records[207].sceneAfter, SCENE_TITLE_INIT);
    EXPECT_EQ(records[208].sceneAfter, SCENE_TITLE);
    EXPECT_EQ(records[208].corner, kTitleClearIndex) << "the input-test scene's clear colour";
}

// Left and Right together cancel; Up, Down and other keys do not move the sprite. The stick alone walks; key and
// stick together step one pixel; Left with the stick pushed right cancel.
struct Steps {
    const char* name;
    std::vector<SDL_Scancode> keys;
    bool stick;
    int16_t axisX;
    LONG step;  // pixels a frame
};

void PrintTo(const Steps& c, std::ostream* out) { *out << c.name; }

class WalkSteps : public ::testing::TestWithParam<Steps> {};

TEST_P(WalkSteps, TwentyFramesOneStepEach) {
    const Steps& c = GetParam();
    const int stick = c.stick ? TestAttachJoystick(2, 10, 0) : -1;
    ASSERT_EQ(stick >= 0, c.stick) << SDL_GetError();
    if (c.stick) TestSetJoystickAxis(stick, 0, c.axisX);
    std::vector<WalkRecord> records = Walk(c.keys, 20);
    ASSERT_EQ(records.size(), 20u);
    for (const WalkRecord& r : records) {
        EXPECT_EQ(r.shownX, 386 + c.step * (r.walkFrame - 1)) << "walk frame " << r.walkFrame;
        EXPECT_EQ(r.playerX, 386 + c.step * r.walkFrame) << "walk frame " << r.walkFrame;
        EXPECT_EQ(r.sceneAfter, SCENE_GAME);
    }
    if (stick >= 0) TestDetachJoystick(stick);
}

INSTANTIATE_TEST_SUITE_P(
    KeysAndStick, WalkSteps,
    ::testing::Values(Steps{"LeftAndRight", {SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT}, false, 0, 0},
                      Steps{"UpDownAndA", {SDL_SCANCODE_UP, SDL_SCANCODE_DOWN, SDL_SCANCODE_A}, false, 0, 0},
                      Steps{"StickAlone", {}, true, -32768, -1},
                      Steps{"KeyAndStickOnePixel", {SDL_SCANCODE_LEFT}, true, -32768, -1},
                      Steps{"LeftKeyStickRightCancel", {SDL_SCANCODE_LEFT}, true, 32767, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WalkScene, SpaceStillHeldWhenTheSpriteLeavesRestartsTheWalkTheFrameAfter) {
    std::vector<WalkRecord> records = Walk({SDL_SCANCODE_RIGHT}, 211, true);
    ASSERT_EQ(records.size(), 211u);
    EXPECT_EQ(records[207].sceneAfter, SCENE_TITLE_INIT);
    EXPECT_EQ(records[208].sceneAfter, SCENE_GAME_INIT) << "the input-test scene sees Space at once";
    EXPECT_EQ(records[209].shownX, 386) << "the walk starts over";
    EXPECT_EQ(records[209].playerX, 387);
    EXPECT_EQ(records[209].sceneAfter, SCENE_GAME);
}

}  // namespace
