// The program's single AppState instance, alive from process start to exit.
#include "state/app_state.h"

AppState app;
