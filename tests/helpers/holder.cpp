// Holds files the way other programs on a player's PC do, until it is ended:
//   holder MODE EVENT PATH...
// MODE: library (loaded as a DLL is: an overlay, a crash reporter), shared
// (open with delete sharing: a scanner, an indexer), exclusive (open sharing
// nothing: a writer), locked (open for everyone, its first bytes locked). Sets
// the named event once it holds every file; exits 2 when it cannot.
#include <windows.h>

#include <cwchar>

namespace {

bool Hold(const wchar_t* mode, const wchar_t* path) {
    if (std::wcscmp(mode, L"library") == 0) // mapped as an image, its code never run
        return LoadLibraryExW(path, nullptr, DONT_RESOLVE_DLL_REFERENCES) != nullptr;
    const bool exclusive = std::wcscmp(mode, L"exclusive") == 0;
    const DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    return file != INVALID_HANDLE_VALUE &&
           (std::wcscmp(mode, L"locked") != 0 || LockFile(file, 0, 0, 4, 0));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    HANDLE ready = argc > 3 ? OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]) : nullptr;
    for (int i = 3; i < argc; ++i)
        if (!Hold(argv[1], argv[i]))
            return 2;
    if (!ready)
        return 2;
    SetEvent(ready);
    Sleep(INFINITE);
    return 0;
}
