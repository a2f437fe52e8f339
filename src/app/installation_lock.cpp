// One updater at a time in a game folder: two copies would write the same
// download and move the same files at once.
#include "app/app.h"
#include "app/update_rules.h"

ScopedMutex CreateInstallationLock() {
    const std::wstring directory = FoldedWorkingDirectory();
    if (directory.empty())
        return ScopedMutex();
    return ScopedMutex(CreateMutexW(nullptr, FALSE, InstallationLockName(directory).c_str()));
}
