// Small readers of words and numbers in protocol lines, and the one way a
// plain reply is written.
#pragma once
#include <climits>
#include <cstddef>
#include <string>

// Every number read from the protocol is brought into a range in which the
// time arithmetic cannot overflow: clocks of up to 24 days in milliseconds,
// bases and increments as long, periods of up to 100000 moves.
constexpr long PROTO_MS_MAX = INT_MAX;
constexpr long PROTO_SECONDS_MAX = INT_MAX / 1000;
constexpr long PROTO_TENTHS_MAX = INT_MAX / 100;
constexpr long PROTO_MOVES_MAX = 100000;

bool startsWithNoCase(const std::string& s, const char* word);
// s begins with word, case and all.
bool hasPrefix(const std::string& s, const char* word);
// Writes text to standard output at once.
void reply(const char* text);
// Integer after a word, false when there is none.
bool intAfter(const std::string& s, size_t pos, long& value);
// Integer after a keyword of the line; false when the keyword is absent.
bool fieldAfter(const std::string& line, const char* key, long& value);
long clampLong(long v, long lo, long hi);
// One integer as scanf's %d reads it (blanks, then a sign and digits), with
// no overflow: beyond the range of long it is the nearest end.
bool scanInteger(const char*& p, long& value);
// Drops one enclosing pair of quotes or brackets from a path. Only those:
// "/srv/tb" and "./tb" keep their first character, "tb/" its last.
std::string stripDelimiters(std::string s);
