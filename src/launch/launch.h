// The launch: the runtime files checked and fetched under the progress popup,
// the operating system's bitness, and the start of the game.
#pragma once

#include "net/net.h"

#include <windows.h>

#include <string>
#include <vector>

// Makes sure the runtime files are there, starts the game and posts the quit message.
void LaunchGame();

// The eight runtime files of the game for a 64-bit or a 32-bit system, in
// order, and those for this system's bitness.
std::vector<std::wstring> RequiredSystemFiles(bool native64Bit);
std::vector<std::wstring> GetRequiredSystemFiles();

// Checks every runtime file and fetches the missing ones under the progress
// popup; false, after telling the user, when one cannot be had.
bool EnsureSystemFiles();

// What happened and what the player can do, in plain words; and the failure
// box's text: "Failed to download required file: " and the name, a blank
// line, then that.
std::wstring DownloadFailureReason(const DownloadFailure& failure);
std::wstring DownloadFailureText(const std::wstring& name, const DownloadFailure& failure);

// True when the operating system can run x86-64 programs.
bool IsNative64Bit();

// The address of a kernel32 function that older systems lack, looked up at
// run time; null when this system has none.
void* Kernel32Export(const char* name);

// The progress popup; null while none is shown.
extern HWND g_progressPopup;

// Draws the progress popup with the text and a bar filled to the percentage,
// creating it when none is shown, then dispatches the pending messages. From
// 100 on it closes a shown popup instead (without dispatching anything).
void ShowProgressPopup(const wchar_t* text, int percent);

// The program's message boxes ("Error", OK, the error icon, no owner). The
// popup stays above every other window, so it is closed first: a box under it
// could be neither seen nor answered.
void ShowErrorBox(const std::wstring& text);

// Dispatches the thread's pending messages without waiting, as each
// ShowProgressPopup call does; long work calls it so the windows answer.
void PumpThreadMessages();
