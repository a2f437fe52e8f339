// The operating system's bitness and the start of the game.
#pragma once

// True when the operating system can run x86-64 programs.
bool IsNative64Bit();

// Makes sure the runtime files are there, starts the game and posts the quit message.
void LaunchGame();
