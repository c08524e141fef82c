// The input tests' world: the program's own window (InitWindow) on SDL's dummy driver, real SDL input events for
// it, virtual joysticks, and a tear-down that proves every DirectInput object was let go.
#pragma once

#include "app/app.h"
#include "input/input.h"
#include "platform/testing.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

class InputTest : public ::testing::Test {
protected:
    HWND window = nullptr;
    std::vector<int> joysticks;

    void SetUp() override {
        window = InitWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
        ASSERT_NE(window, nullptr);
        Pump();
    }

    // The window's destruction runs the program's own teardown of input (and of a display there is none of).
    void TearDown() override {
        if (window) DestroyWindow(window);
        for (int j : joysticks) TestDetachJoystick(j);
        TestLiveObjects live = TestGetLiveObjects();
        EXPECT_EQ(live.directInputs, 0);
        EXPECT_EQ(live.inputDevices, 0);
    }

    static void Pump() { TestPumpEvents(); }

    // Real joysticks on the machine would come first in the enumeration and spoil exact expectations.
    static bool RealJoysticksPresent() { return SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_NumJoysticks() > 0; }

    // A pad as SDL's virtual driver makes it: six axes, fifteen buttons, one hat.
    int AttachJoystick(int axes = 6, int buttons = 15, int hats = 1) {
        int j = TestAttachJoystick(axes, buttons, hats);
        EXPECT_GE(j, 0) << SDL_GetError();
        if (j >= 0) joysticks.push_back(j);
        return j;
    }
    void DetachJoystick(int j) {
        TestDetachJoystick(j);
        std::erase(joysticks, j);
    }

    static void Focus(bool gained) {
        TestPushWindowEvent(gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
        Pump();
    }

    static void Key(SDL_Scancode scancode, bool down) { TestPushKey(scancode, down); }

    static void MouseButton(Uint8 sdlButton, bool down) { TestPushMouseButton(sdlButton, down); }

    static void PushMotion(int dx, int dy) {
        SDL_Event event = {};
        event.type = SDL_MOUSEMOTION;
        event.motion.xrel = dx;
        event.motion.yrel = dy;
        SDL_PushEvent(&event);
    }
};
