// The program's own small files, written whole and flushed, and read whole.
#include "patch/patch.h"
#include "long_path.h"
#include "scoped_win.h"

bool WriteFileDurably(const std::wstring& path, const std::string& bytes, unsigned long& error) {
    ScopedHandle file(CreateFileW(FileSystemPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.valid() ||
        !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        error = GetLastError();
        return false;
    }
    if (written != bytes.size()) {
        error = ERROR_WRITE_FAULT;
        return false;
    }
    if (!FlushFileBuffers(file.get())) {
        error = GetLastError();
        return false;
    }
    return true;
}

bool ReplaceFileDurably(const std::wstring& path, const std::string& bytes, unsigned long& error) {
    const std::wstring temporary = path + L".tmp";
    if (WriteFileDurably(temporary, bytes, error) && MoveFileReplacing(temporary, path, error))
        return true;
    DeleteFileW(FileSystemPath(temporary).c_str());
    return false;
}

bool ReadSmallFile(const std::wstring& path, std::size_t limit, std::string& bytes) {
    ScopedHandle file(CreateFileW(FileSystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file.valid() || !GetFileSizeEx(file.get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) > limit)
        return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    return bytes.empty() ||
           (ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr) &&
            got == bytes.size());
}
