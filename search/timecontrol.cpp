#include "search/timecontrol.h"
#include <algorithm>
#include <climits>
#include "platform/platform.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/worker.h"

int startClock(SearchClock& c, int soft, int hard, int capMs, int overheadMs) {
    c.softTimeReached = 0;
    c.softTime = soft;
    c.hardTime = hard;
    c.softTimeMs = uint64_t(soft > 0 ? soft : 0) * 100;
    c.hardTimeMs = uint64_t(hard > 0 ? hard : 0) * 100;
    if (capMs > 0) {
        c.softTimeMs = std::min(c.softTimeMs, uint64_t(capMs));
        c.hardTimeMs = std::min(c.hardTimeMs, uint64_t(capMs));
    }
    if (overheadMs > 0) {
        const uint64_t overhead = uint64_t(overheadMs);
        c.softTimeMs = c.softTimeMs > overhead ? c.softTimeMs - overhead : 1;
        c.hardTimeMs = c.hardTimeMs > overhead ? c.hardTimeMs - overhead : 1;
    }
    c.timeStartTick = tickCount();
    // About 25 nodes per millisecond of the hard time, between 2500 and 250000.
    int64_t interval = int64_t(c.hardTimeMs) * 25;
    c.pollInterval = uint32_t(std::clamp<int64_t>(interval, 2500, 250000));
    // A node limit is read at the clock check: check at least that often.
    if (c.nodeLimit != 0) c.pollInterval = std::min(c.pollInterval, std::max<uint32_t>(c.nodeLimit, 100));
    return 0;
}

int startClock(SearchClock& c, const TimeBudget& budget) {
    c.nodeLimit = budget.nodeLimit;
    return startClock(c, budget.targetTenths, budget.hardTenths, budget.capMs, budget.overheadMs);
}

void checkClock(SearchWorker& w) {
    SearchClock& c = w.clock;
    // Unsigned difference: right across a wrap of the tick counter.
    uint64_t elapsed = uint32_t(tickCount() - c.timeStartTick);
    if (elapsed >= c.softTimeMs) c.softTimeReached = 1;
    if (c.softTimeReached && c.failHighFlag == 0) w.signals.abortSearch = 1;
    if (elapsed >= c.hardTimeMs) w.signals.abortSearch = 1;
    if (c.nodeLimit != 0 && searchNodeTotal(w) >= c.nodeLimit) w.signals.abortSearch = 1;
}

int stopAfterIteration(const SearchWorker& w, int change, int /*depth*/) {
    if (w.signals.abortSearch) return 1;
    if (!w.clock.softTimeReached) return 0;
    // A score that fell by a third of a pawn or more buys one more iteration.
    return change >= -159 ? 1 : 0;
}

namespace {

// The settings come from the protocol; the sums below are made in 64 bits so
// that no setting, however large, can overflow them.
int clampToInt(int64_t v) { return int(std::clamp<int64_t>(v, 1, INT_MAX)); }

}  // namespace

TimeBudget allocateTime(const Clocks& clocks, int ply, bool analyse) {
    if (analyse) return unlimitedBudget();
    TimeBudget budget;
    const int64_t T = clocks.engineTenths, P = clocks.movesPerPeriod, B = clocks.baseSeconds,
                  I = clocks.incrementTenths;
    int left = 0;  // moves to the time control, 0 for none
    int64_t target, limit;
    if (P >= 1) {
        int64_t played = (ply / 2) % P;
        if (played < 0) played = 0;
        left = int(P - played);
        int64_t cap = 2 * ((B * 10) / P);
        int64_t t = std::max<int64_t>((T - 20) / left, 1);
        t = std::max<int64_t>(std::min(t, cap), 1);
        target = limit = t;
        if (left > 1) limit = t + (t >> 1);
    } else if (I == 0 && B <= 420) {
        int64_t t = std::max<int64_t>(T / 30, 1);
        target = limit = t;
        if (T > 59) limit = 2 * t;
        if (limit >= T) limit = std::max<int64_t>(T, 1);
    } else {
        int64_t r = T - 20;
        int64_t t = std::max<int64_t>(r / 30, 1) + I;
        target = t;
        if (r > 2 * t) {
            limit = 2 * t;
        } else {
            target = limit = std::max<int64_t>(r, 1);
        }
        if (I < T && T <= 20) target = limit = std::max<int64_t>(I, 1);
    }
    budget.targetTenths = clampToInt(target);
    budget.hardTenths = clampToInt(limit);
    budget.capMs = shortClockCapMs(clocks, budget.targetTenths, budget.hardTenths, left);
    budget.overheadMs = std::clamp(clocks.overheadMs, 0, TC_MAX_OVERHEAD_MS);
    return budget;
}

TimeBudget moveTimeBudget(long ms) {
    TimeBudget budget;
    ms = std::clamp<long>(ms, 1, INT_MAX);
    budget.targetTenths = budget.hardTenths = std::max(int(ms / 100), 1);
    // Under a tenth the budget would round up past the time asked for.
    budget.capMs = int(ms);
    return budget;
}

TimeBudget unlimitedBudget() {
    TimeBudget budget;
    budget.targetTenths = budget.hardTenths = TC_UNLIMITED_TENTHS;
    return budget;
}

int shortClockCapMs(const Clocks& clocks, int targetTenths, int hardTenths, int movesLeft) {
    // The budgets above never fall under one tenth, which a clock of a second
    // or less cannot pay move after move: there the search gets a share of
    // what is left, in milliseconds, as a longer clock would.
    const int64_t clockMs = clocks.engineMs;
    if (clockMs < 0 || targetTenths > 1) return 0;
    const int64_t incrementMs = int64_t(clocks.incrementTenths) * 100;
    int64_t share;
    if (movesLeft >= 1) share = clockMs / (int64_t(movesLeft) + 1);
    else share = clockMs / 30 + (incrementMs < clockMs / 2 ? incrementMs : 0);
    share = std::max<int64_t>(share, 1);
    return share < int64_t(hardTenths) * 100 ? int(share) : 0;
}
