// Ending running copies of the game before its files are replaced.
#include "app/app.h"

void TerminateProcessesByName(const std::wstring& name) {
    (void)name;
}
