// The frame of the program's windows: the longest the thread goes without
// serving them (a download's loop, a wait for a retry, the walk of a list).
#pragma once

constexpr unsigned long kFrameMs = 30;
