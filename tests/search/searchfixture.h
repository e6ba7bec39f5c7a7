// What a search test starts from: empty tables, no book, no abort pending,
// and a budget that only the depth ends.
#pragma once
#include <cstdint>
#include "eval/pawnhash.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/timecontrol.h"
#include "search/transtable.h"
#include "search/worker.h"

inline void freshSearchState() {
    if (ttBucketCount() == 0) allocateTransTable(uint64_t(8) << 20);
    clearTransTable();
    clearPawnHash();
    clearHistory();
    useBook = 0;
    searchWorker.signals.abortSearch = 0;
}

inline TimeBudget depthBudget(int depth) {
    TimeBudget budget;
    budget.targetTenths = budget.hardTenths = 1 << 28;
    budget.maxDepth = depth;
    return budget;
}
