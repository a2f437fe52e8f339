// The bitness decision, kept free of <windows.h> so it can be compiled
// natively and fed architectures no test machine has.
#pragma once

#include <cstdint>

constexpr unsigned short kArchitectureAmd64 = 9; // PROCESSOR_ARCHITECTURE_AMD64

// What the system said about running x86-64 code as a guest:
// IsWow64GuestMachineSupported was found or not, its status, and its flag.
// The status is an HRESULT, 32 bits wherever this is compiled (a long is 64
// bits off Windows, where a failure would read as success).
struct GuestX64Answer {
    bool exportFound = false;
    std::int32_t status = 0;
    bool supported = false;
};

// True for a native x86-64 system, and for any other one whose guest answer
// says, successfully, that it runs x86-64 code.
bool DecideNative64Bit(unsigned short architecture, const GuestX64Answer& guest);
