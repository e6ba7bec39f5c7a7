#include "search/timecontrol.h"
#include <algorithm>
#include <climits>
#include "platform/platform.h"
#include "search/search.h"
#include "search/searchpool.h"
#include "search/worker.h"

int startClock(SearchClock& c, int soft, int hard, int capMs, int overheadMs) {
    return startClockMs(c, uint64_t(soft > 0 ? soft : 0) * 100, uint64_t(hard > 0 ? hard : 0) * 100, capMs, overheadMs);
}

int startClockMs(SearchClock& c, uint64_t softMs, uint64_t hardMs, int capMs, int overheadMs) {
    c.softTimeReached = 0;
    c.softTime = int(std::min<uint64_t>(softMs / 100, INT_MAX));
    c.hardTime = int(std::min<uint64_t>(hardMs / 100, INT_MAX));
    c.softTimeMs = softMs;
    c.hardTimeMs = hardMs;
    if (capMs > 0) {
        c.softTimeMs = std::min(c.softTimeMs, uint64_t(capMs));
        c.hardTimeMs = std::min(c.hardTimeMs, uint64_t(capMs));
    }
    if (overheadMs > 0) {
        const uint64_t overhead = uint64_t(overheadMs);
        c.softTimeMs = c.softTimeMs > overhead ? c.softTimeMs - overhead : 1;
        c.hardTimeMs = c.hardTimeMs > overhead ? c.hardTimeMs - overhead : 1;
    }
    // A fixed time (soft as long as hard) is spent as given; a clock budget
    // is shared out after each iteration.
    c.allocatedSoftMs = c.softTimeMs < c.hardTimeMs ? c.softTimeMs : 0;
    c.instability = 0;
    c.lastBestMove = 0;
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
    if (budget.targetMs > 0 && budget.hardMs > 0)
        return startClockMs(c, uint64_t(budget.targetMs), uint64_t(budget.hardMs), budget.capMs, budget.overheadMs);
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

int stopAfterIteration(SearchWorker& w, int change, uint32_t bestMove) {
    if (w.signals.abortSearch) return 1;
    SearchClock& c = w.clock;
    if (c.allocatedSoftMs == 0) {
        if (!c.softTimeReached) return 0;
        // A score that fell by a third of a pawn or more buys one more iteration.
        return change >= -159 ? 1 : 0;
    }
    // A best move that keeps changing needs more time to settle; one that
    // has held for several iterations is likely to hold.
    bestMove &= 0xFFFF;
    c.instability = c.instability / 2 + (c.lastBestMove != 0 && bestMove != c.lastBestMove ? 64 : 0);
    c.lastBestMove = bestMove;
    int64_t percent = 65 + int64_t(c.instability) * 110 / 64;
    // A falling score asks for more, up to three fifths more for a pawn.
    if (change < 0) percent += std::min(-int64_t(change), int64_t(480)) * 60 / 480;
    percent = std::min<int64_t>(percent, 200);
    c.softTimeMs = std::min(c.allocatedSoftMs * uint64_t(percent) / 100, c.hardTimeMs);
    const uint64_t elapsed = uint32_t(tickCount() - c.timeStartTick);
    c.softTimeReached = elapsed >= c.softTimeMs;
    // The next iteration takes about as long as all before it: past a bit
    // over half the share it would only be cut off.
    return elapsed >= c.softTimeMs * 55 / 100 ? 1 : 0;
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
    } else {
        // A clock with or without an increment, in milliseconds: a share of
        // what is left beyond a small reserve, plus most of the increment.
        // The hard limit leaves the clock most of itself.
        const int64_t timeMs =
            clocks.engineMs >= 0 && clocks.engineMs / 100 == clocks.engineTenths ? clocks.engineMs : T * 100;
        const int64_t incMs = clocks.incrementMs >= 0 ? clocks.incrementMs : I * 100;
        const int64_t r = std::max<int64_t>(timeMs - std::min<int64_t>(timeMs / 20, 1000), 1);
        int64_t soft = r / (incMs > 0 ? 20 : 25) + incMs * 3 / 4;
        int64_t cap = r * 3 / 10;
        if (incMs > 0) cap = std::max(cap, std::min(incMs * 3 / 4, r / 2));
        int64_t hard = std::max<int64_t>(std::min(soft * 4, cap), 1);
        soft = std::max<int64_t>(std::min(soft, hard), 1);
        budget.targetMs = int(std::min<int64_t>(soft, INT_MAX));
        budget.hardMs = int(std::min<int64_t>(hard, INT_MAX));
        target = std::max<int64_t>(soft / 100, 1);
        limit = std::max<int64_t>(hard / 100, 1);
    }
    budget.targetTenths = clampToInt(target);
    budget.hardTenths = clampToInt(limit);
    // Budgets in milliseconds need no cap; tenths under a period's clock do.
    if (budget.targetMs == 0) budget.capMs = shortClockCapMs(clocks, budget.targetTenths, budget.hardTenths, left);
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
