// The entry function, the update window, the ending of running game copies
// and the installation's lock.
#pragma once

#include "patch/patch.h"
#include "scoped_win.h"

#include <windows.h>

#include <string>
#include <vector>

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

// Letter case folded the way the file system compares names.
std::wstring FoldPathCase(const std::wstring& text);
// The working directory as a full long path, case folded; empty when it
// cannot be told.
std::wstring FoldedWorkingDirectory();

// This installation's lock, not yet taken (Acquire takes it); empty when the
// mutex cannot be made. Named after the working directory, so every copy of
// the program started in this folder, in whatever spelling, shares it.
ScopedMutex CreateInstallationLock();

// Ends every running copy of the named executable, ignoring case.
void TerminateProcessesByName(const std::wstring& name);

// While the update runs, the update window's close box does nothing: the
// walk and the launch must not be cut short, and a destroyed window would
// post a quit that ends the message boxes that may follow.
void SetUpdateWindowClosable(bool closable);

// Places every entry of the list under the update window, moving its bar and
// label, and ends with the label on the outcome; why each entry failed (None
// for those placed).
std::vector<PlaceFailure> WalkPatchList(HWND window, const PatchList& list, bool resumed);

// "Update incomplete: N of M files failed" and, in brackets, the reason most
// of the failed entries share.
std::wstring IncompleteUpdateText(const std::vector<PlaceFailure>& failures);
