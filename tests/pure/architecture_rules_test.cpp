// The bitness decision for the systems no test machine has.
#include "launch/architecture_rules.h"

#include <gtest/gtest.h>

TEST(Architecture, DecisionTable) {
    const unsigned short kIntel = 0, kIa64 = 6, kArm64 = 12;             // PROCESSOR_ARCHITECTURE_*
    const std::int32_t kFailed = static_cast<std::int32_t>(0x80004005u); // E_FAIL
    struct Case {
        unsigned short architecture;
        GuestX64Answer guest; // export found, status, x86-64 guest supported
        bool expected;
    } cases[] = {
        {kArchitectureAmd64, {true, kFailed, false}, true},
        {kIntel, {true, 0, false}, false},
        {kArm64, {true, 1, true}, true}, // emulates x86-64
        {kArm64, {true, 0, false}, false},
        {kArm64, {false, 0, true}, false},
        {kArm64, {true, kFailed, true}, false},
        {kIa64, {false, 0, false}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideNative64Bit(c.architecture, c.guest), c.expected) << "case " << &c - cases;
}
