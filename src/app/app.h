// The entry function, the update window, the ending of running game copies
// and the progress popup.
#pragma once

#include <windows.h>

#include <string>

extern HWND g_statusLabel;
extern HWND g_progressBar;

// The program's entry, with the platform's wide GUI entry signature.
int UpdaterMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int showCommand);

LRESULT CALLBACK UpdateWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
ATOM RegisterUpdateWindowClass(HINSTANCE instance);
// The hidden 300 x 120 update window; its creation sets the two control handles.
HWND CreateUpdateWindow(HINSTANCE instance);

// True when the full command line (program name first, split as
// CommandLineToArgvW splits) holds an argument that is exactly "--log".
bool HasLogSwitch(const wchar_t* fullCommandLine);

// Ends every running copy of the named executable, ignoring case.
void TerminateProcessesByName(const std::wstring& name);
