#include "patch/move_retry.h"

namespace {

const unsigned kDelaysMs[] = {100, 200, 300, 500, 900};
const unsigned kRunBudgetMs = 10000;

} // namespace

unsigned MoveRetryDelayMs(std::size_t retry, unsigned waitedMs) {
    if (retry >= sizeof kDelaysMs / sizeof kDelaysMs[0] || waitedMs > kRunBudgetMs ||
        kDelaysMs[retry] > kRunBudgetMs - waitedMs)
        return 0;
    return kDelaysMs[retry];
}
