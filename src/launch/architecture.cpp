// Asking the system whether it runs x86-64 programs, although this process
// may be a 32-bit one.
#include "launch/architecture_rules.h"
#include "launch/launch.h"

#include <windows.h>

static_assert(kArchitectureAmd64 == PROCESSOR_ARCHITECTURE_AMD64, "x86-64 architecture value");

namespace {

// Missing before Windows 10 1709.
GuestX64Answer AskGuestX64() {
    GuestX64Answer answer;
    using GuestSupportedFn = HRESULT(WINAPI*)(USHORT, BOOL*);
    auto ask = reinterpret_cast<GuestSupportedFn>(Kernel32Export("IsWow64GuestMachineSupported"));
    if (!ask)
        return answer;
    answer.exportFound = true;
    BOOL supported = FALSE;
    answer.status = ask(IMAGE_FILE_MACHINE_AMD64, &supported);
    answer.supported = supported != FALSE;
    return answer;
}

} // namespace

bool IsNative64Bit() {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    // An x86-64 system needs no further question.
    if (DecideNative64Bit(info.wProcessorArchitecture, GuestX64Answer{}))
        return true;
    return DecideNative64Bit(info.wProcessorArchitecture, AskGuestX64());
}
