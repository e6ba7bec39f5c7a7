// Move notation: coordinate text and standard algebraic notation.
#pragma once
#include <cstdint>
#include <string>
#include "board/types.h"

void moveToText(uint32_t m, char* buffer);  // buffer of at least 6 chars
uint32_t parseMove(char* text, int side);
uint32_t parseSan(char* text, int side, const uint32_t* list, const Board& b);
void formatSan(std::string& out, uint32_t m, int type, int capture, char disambiguation);
void moveToSan(std::string& out, uint32_t m, const uint32_t* list, const Board& b);
// sequence: 0-terminated words (score << 16 | move), at most 59 used
void formatLine(std::string& out, const uint32_t* sequence, int first, int side,
                const uint32_t* list, const Board& b, int annotation);
void formatLineCoordinates(std::string& out, const uint32_t* sequence, int annotation);
