#include "search/timecontrol.h"
#include <algorithm>
#include "engine/platform.h"
#include "search/search.h"
#include "search/worker.h"

uint32_t nodeLimit = 0;

int startClock(SearchClock& c, int soft, int hard, int capMs) {
    c.softTimeReached = 0;
    c.softTime = soft;
    c.hardTime = hard;
    c.softTimeMs = uint64_t(soft > 0 ? soft : 0) * 100;
    c.hardTimeMs = uint64_t(hard > 0 ? hard : 0) * 100;
    if (capMs > 0) {
        c.softTimeMs = std::min(c.softTimeMs, uint64_t(capMs));
        c.hardTimeMs = std::min(c.hardTimeMs, uint64_t(capMs));
    }
    c.timeStartTick = tickCount();
    // About 25 nodes per millisecond of the hard time, between 2500 and 250000.
    int64_t interval = int64_t(c.hardTimeMs) * 25;
    c.pollInterval = uint32_t(std::clamp<int64_t>(interval, 2500, 250000));
    // A node limit is read at the clock check: check at least that often.
    if (nodeLimit != 0) c.pollInterval = std::min(c.pollInterval, std::max<uint32_t>(nodeLimit, 100));
    return 0;
}

void checkClock(SearchWorker& w) {
    SearchClock& c = w.clock;
    // Unsigned difference: right across a wrap of the tick counter.
    uint64_t elapsed = uint32_t(tickCount() - c.timeStartTick);
    if (elapsed >= c.softTimeMs) c.softTimeReached = 1;
    if (c.softTimeReached && c.failHighFlag == 0) w.signals.abortSearch = 1;
    if (elapsed >= c.hardTimeMs) w.signals.abortSearch = 1;
    if (nodeLimit != 0 && w.counters.nodeCount >= nodeLimit) w.signals.abortSearch = 1;
}

int stopAfterIteration(const SearchWorker& w, int change, int /*depth*/) {
    if (w.signals.abortSearch) return 1;
    if (!w.clock.softTimeReached) return 0;
    // A score that fell by a third of a pawn or more buys one more iteration.
    return change >= -159 ? 1 : 0;
}
