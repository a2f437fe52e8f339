// The bitness: the real system under 64-bit Wine, and the decision for the
// systems no test machine has.
#include "launch/architecture_rules.h"
#include "launch/launch.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(Architecture, SixtyFourBitWineIsNative64BitAndTheDecisionTable) {
    EXPECT_TRUE(IsNative64Bit());
    const long kFailed = static_cast<long>(0x80004005); // E_FAIL
    struct Case {
        unsigned short architecture;
        GuestX64Answer guest; // export found, status, x86-64 guest supported
        bool expected;
    } cases[] = {
        {PROCESSOR_ARCHITECTURE_AMD64, {false, 0, false}, true},
        {PROCESSOR_ARCHITECTURE_AMD64, {true, kFailed, false}, true},
        {PROCESSOR_ARCHITECTURE_INTEL, {true, 0, false}, false},
        {PROCESSOR_ARCHITECTURE_ARM64, {true, 1, true}, true}, // emulates x86-64
        {PROCESSOR_ARCHITECTURE_ARM64, {true, 0, false}, false},
        {PROCESSOR_ARCHITECTURE_ARM64, {false, 0, true}, false},
        {PROCESSOR_ARCHITECTURE_ARM64, {true, kFailed, true}, false},
        {PROCESSOR_ARCHITECTURE_IA64, {false, 0, false}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideNative64Bit(c.architecture, c.guest), c.expected) << "case " << &c - cases;
}
