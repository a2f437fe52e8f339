// When a replacing move that was refused tries again: kept apart from the
// system calls so it can be checked without a file that stays locked.
#pragma once

#include <cstddef>

// The pause before retry number retry (0 for the first) of one move, given
// the milliseconds this run has already waited for refused moves; 0 means
// give up. One file waits about two seconds in all; the whole run at most
// ten, so a folder that denies every write fails quickly instead of hanging
// for two seconds per file.
unsigned MoveRetryDelayMs(std::size_t retry, unsigned waitedMs);
