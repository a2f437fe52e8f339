// The platform's wide GUI entry point.
#include "app/app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showCommand) {
    return UpdaterMain(instance, previous, commandLine, showCommand);
}
