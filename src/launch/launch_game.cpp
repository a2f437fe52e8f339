// Starting the game.
#include "launch/launch.h"

#include <windows.h>

void LaunchGame() {
    PostQuitMessage(0);
}
