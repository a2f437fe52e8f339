// The bitness question: the real system under 64-bit Wine, and the decision
// for the systems no test machine has.
#include "launch/architecture_rules.h"
#include "launch/launch.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(Architecture, SixtyFourBitWineIsNative64Bit) {
    SYSTEM_INFO info = {};
    GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    EXPECT_TRUE(IsNative64Bit());
    EXPECT_TRUE(IsNative64Bit()); // asks again, same answer
}

TEST(Architecture, DecisionPerArchitectureAndGuestAnswer) {
    const long kOk = 0;
    const long kFailed = static_cast<long>(0x80004005); // E_FAIL
    const GuestX64Answer noExport = {false, 0, false};
    struct Case {
        const char* what;
        unsigned short architecture;
        GuestX64Answer guest;
        bool expected;
    } cases[] = {
        {"x86-64, no export", PROCESSOR_ARCHITECTURE_AMD64, noExport, true},
        {"x86-64, failing call", PROCESSOR_ARCHITECTURE_AMD64, {true, kFailed, false}, true},
        {"x86, no export", PROCESSOR_ARCHITECTURE_INTEL, noExport, false},
        {"x86, no x86-64 guest", PROCESSOR_ARCHITECTURE_INTEL, {true, kOk, false}, false},
        {"ARM64 emulating x86-64", PROCESSOR_ARCHITECTURE_ARM64, {true, kOk, true}, true},
        {"ARM64, positive success status", PROCESSOR_ARCHITECTURE_ARM64, {true, 1, true}, true},
        {"ARM64 without emulation", PROCESSOR_ARCHITECTURE_ARM64, {true, kOk, false}, false},
        {"ARM64, no export", PROCESSOR_ARCHITECTURE_ARM64, noExport, false},
        {"ARM64, failing call with flag set",
         PROCESSOR_ARCHITECTURE_ARM64,
         {true, kFailed, true},
         false},
        {"Itanium, no export", PROCESSOR_ARCHITECTURE_IA64, noExport, false},
        {"Itanium, no x86-64 guest", PROCESSOR_ARCHITECTURE_IA64, {true, kOk, false}, false},
        {"unknown architecture", PROCESSOR_ARCHITECTURE_UNKNOWN, noExport, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideNative64Bit(c.architecture, c.guest), c.expected) << c.what;
}
