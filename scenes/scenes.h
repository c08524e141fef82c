// The two scenes the frame driver dispatches to: the input-test scene and the walk scene.
#pragma once

#include "state/app_state.h"

void TitleInit();
void TitleFrame();
void DrawKeyLine();
void DrawJoyLine();
void DrawMouseLine();

void GameInit();
void GameFrame();
