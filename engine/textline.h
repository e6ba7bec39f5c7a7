// Whole-line reading for the engine's small text files.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

// More than any sensible line of a configuration or position file; the rest
// of a longer line is read and dropped so that it never becomes a line of its own.
constexpr size_t TEXT_LINE_KEEP = 4096;

// Reads one line without its newline (and without a carriage return before
// it). Returns false at end of file when nothing was read. cut, when given,
// tells whether characters beyond TEXT_LINE_KEEP were dropped.
bool readTextLine(FILE* f, std::string& line, bool* cut = nullptr);
