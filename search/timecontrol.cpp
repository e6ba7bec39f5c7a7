#include "search/timecontrol.h"
#include "engine/platform.h"
#include "search/search.h"

uint32_t timeStartTick = 0;
int softTime = 0, hardTime = 0;
int softTimeReached = 0;
int failHighFlag = 0;
uint32_t nodeLimit = 0;

int startClock(int soft, int hard) {
    softTimeReached = 0;
    softTime = soft;
    hardTime = hard;
    timeStartTick = tickCount();
    return 0;
}

void checkClock() {
    // Unsigned difference: right across a wrap of the tick counter.
    uint32_t elapsed = (tickCount() - timeStartTick) / 100;
    if (elapsed >= uint32_t(softTime > 0 ? softTime : 0)) softTimeReached = 1;
    if (softTimeReached && failHighFlag == 0) abortSearch = 1;
    if (elapsed >= uint32_t(hardTime > 0 ? hardTime : 0)) abortSearch = 1;
    if (nodeLimit != 0 && nodeCount >= nodeLimit) abortSearch = 1;
}

int stopAfterIteration(int change, int /*depth*/) {
    if (abortSearch) return 1;
    if (!softTimeReached) return 0;
    // A score that fell by a third of a pawn or more buys one more iteration.
    return change >= -159 ? 1 : 0;
}
