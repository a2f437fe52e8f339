// The run's choices: the bar's position, the lock's name, and the bitness for
// the systems no test machine has.
#include "app/update_rules.h"
#include "launch/architecture_rules.h"

#include <gtest/gtest.h>

// Within a point of k / n, never back, and full at the last entry.
TEST(UpdateRules, ProgressPositions) {
    for (size_t n : {1u, 3u, 100u, 200u, 7919u}) {
        for (size_t k = 1; k <= n; ++k) {
            const int exact = static_cast<int>(k * 100 / n), position = ProgressPosition(k, n);
            ASSERT_TRUE(position <= exact && position >= exact - 1) << k << " of " << n;
            ASSERT_LE(ProgressPosition(k - 1, n), position) << k << " of " << n;
        }
        EXPECT_EQ(ProgressPosition(n, n), 100) << n;
    }
}

// One short valid name per folder, whatever its path's length.
TEST(UpdateRules, InstallationLockName) {
    const std::wstring game = InstallationLockName(L"C:\\GAMES\\VELMORA");
    EXPECT_EQ(game.size(), 37u);
    EXPECT_EQ(InstallationLockName(L"\\\\?\\C:\\" + std::wstring(32000, L'A')).size(), 37u);
    EXPECT_EQ(InstallationLockName(L"C:\\GAMES\\VELMORA\\"), game);
    EXPECT_NE(InstallationLockName(L"C:\\GAMES\\VELMORA2"), game);
}

TEST(Architecture, DecisionTable) {
    const unsigned short kIntel = 0, kArm64 = 12;                        // PROCESSOR_ARCHITECTURE_*
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
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecideNative64Bit(c.architecture, c.guest), c.expected) << "case " << &c - cases;
}
