// The bitness of the real system: 64-bit Wine is a 64-bit Windows. The
// decision for other systems is in tests/pure/.
#include "launch/launch.h"

#include <gtest/gtest.h>

TEST(Architecture, SixtyFourBitWineIsNative64Bit) {
    EXPECT_TRUE(IsNative64Bit());
}
