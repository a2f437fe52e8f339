// How long a refused move waits, for one file and for a whole run.
#include "patch/move_retry.h"

#include <gtest/gtest.h>

// Files refused for good: the first five wait their two seconds, then a run
// has waited its ten and the sixth gives up at once.
TEST(MoveRetry, TwoSecondsAFileTenARun) {
    EXPECT_EQ(MoveRetryDelayMs(0, 0), 100u);
    EXPECT_EQ(MoveRetryDelayMs(3, 9500), 500u); // the run's rest, not the file's
    EXPECT_EQ(MoveRetryDelayMs(0, 20000), 0u);
    unsigned waited = 0;
    for (int file = 0; file < 6; ++file) {
        unsigned thisFile = 0;
        for (std::size_t retry = 0; unsigned delay = MoveRetryDelayMs(retry, waited); ++retry) {
            waited += delay;
            thisFile += delay;
        }
        EXPECT_EQ(thisFile, file < 5 ? 2000u : 0u) << file;
    }
}
