// Static exchange evaluation on workBoard: what a capture wins or loses once
// both sides have recaptured on its square with their cheapest men for as
// long as that pays.
#pragma once
#include <cstdint>

// The material balance of capture m for its mover, in evaluation units
// (a pawn is 480). Pins are not seen; a king takes only when no enemy man
// is left to take it back.
int staticExchange(uint32_t m);
