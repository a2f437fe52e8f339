// The operating system's bitness and the start of the game.
#pragma once

// True when the operating system can run x86-64 programs.
bool IsNative64Bit();

// The address of a kernel32 function that older systems lack, looked up at
// run time; null when this system has none.
void* Kernel32Export(const char* name);

// Makes sure the runtime files are there, starts the game and posts the quit message.
void LaunchGame();
