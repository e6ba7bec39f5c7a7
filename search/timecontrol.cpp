#include "search/timecontrol.h"
#include <algorithm>
#include "engine/platform.h"
#include "search/search.h"
#include "search/worker.h"

uint32_t timeStartTick = 0;
int softTime = 0, hardTime = 0;
uint64_t softTimeMs = 0, hardTimeMs = 0;
int softTimeReached = 0;
int failHighFlag = 0;
uint32_t nodeLimit = 0;
uint32_t pollInterval = 250000;

int startClock(int soft, int hard, int capMs) {
    softTimeReached = 0;
    softTime = soft;
    hardTime = hard;
    softTimeMs = uint64_t(soft > 0 ? soft : 0) * 100;
    hardTimeMs = uint64_t(hard > 0 ? hard : 0) * 100;
    if (capMs > 0) {
        softTimeMs = std::min(softTimeMs, uint64_t(capMs));
        hardTimeMs = std::min(hardTimeMs, uint64_t(capMs));
    }
    timeStartTick = tickCount();
    // About 25 nodes per millisecond of the hard time, between 2500 and 250000.
    int64_t interval = int64_t(hardTimeMs) * 25;
    pollInterval = uint32_t(std::clamp<int64_t>(interval, 2500, 250000));
    // A node limit is read at the clock check: check at least that often.
    if (nodeLimit != 0) pollInterval = std::min(pollInterval, std::max<uint32_t>(nodeLimit, 100));
    return 0;
}

void checkClock(SearchWorker& w) {
    // Unsigned difference: right across a wrap of the tick counter.
    uint64_t elapsed = uint32_t(tickCount() - timeStartTick);
    if (elapsed >= softTimeMs) softTimeReached = 1;
    if (softTimeReached && failHighFlag == 0) w.signals.abortSearch = 1;
    if (elapsed >= hardTimeMs) w.signals.abortSearch = 1;
    if (nodeLimit != 0 && w.counters.nodeCount >= nodeLimit) w.signals.abortSearch = 1;
}

int stopAfterIteration(const SearchWorker& w, int change, int /*depth*/) {
    if (w.signals.abortSearch) return 1;
    if (!softTimeReached) return 0;
    // A score that fell by a third of a pawn or more buys one more iteration.
    return change >= -159 ? 1 : 0;
}
