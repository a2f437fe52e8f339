// Functions of kernel32 that older systems lack, found at run time.
#include "launch/launch.h"

void* Kernel32Export(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
}
