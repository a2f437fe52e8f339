// How long a refused move waits, for one file and for a whole run.
#include "patch/move_retry.h"

#include <gtest/gtest.h>

TEST(MoveRetry, TwoSecondsAFileTenARun) {
    struct Case {
        std::size_t retry;
        unsigned waitedMs, delayMs;
    } cases[] = {
        {0, 0, 100},    {4, 0, 900},  {5, 0, 0}, // one file: 2 s, then give up
        {0, 9900, 100}, {0, 9901, 0}, {3, 9500, 500}, {4, 9500, 0}, {0, 20000, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MoveRetryDelayMs(c.retry, c.waitedMs), c.delayMs) << c.retry << " " << c.waitedMs;
    // Files that are refused for good: the first five wait their two seconds,
    // the sixth gives up at once.
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
