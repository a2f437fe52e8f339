// Replacing moves, shared by the placing of files and the kept patch list.
#pragma once

#include <windows.h>

#include <string>

// Moves from to to, replacing a file already there, copying across volumes and
// returning only once the data is on disk. A sharing violation, lock violation
// or access denial is tried again for about two seconds (ten at most in the
// whole run), since scanners and indexers hold a just-written file for a
// moment. On failure error holds the last move's code.
bool MoveFileReplacing(const std::wstring& from, const std::wstring& to, DWORD& error);
