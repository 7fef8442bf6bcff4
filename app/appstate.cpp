#include "app/appstate.h"

AppStateRecord AppState;
InputStateRecord InputState;
float SceneClock = 0.0f;
