#include "engine/words.h"
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool startsWithNoCase(const std::string& s, const char* word) {
    size_t n = std::strlen(word);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (std::toupper((unsigned char)s[i]) != std::toupper((unsigned char)word[i])) return false;
    return true;
}

bool hasPrefix(const std::string& s, const char* word) { return s.compare(0, std::strlen(word), word) == 0; }

void reply(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
}

bool intAfter(const std::string& s, size_t pos, long& value) {
    const char* p = s.c_str() + std::min(pos, s.size());
    char* end = nullptr;
    value = std::strtol(p, &end, 10);
    return end != p;
}

bool fieldAfter(const std::string& line, const char* key, long& value) {
    size_t p = line.find(key);
    if (p == std::string::npos) return false;
    value = 0;
    intAfter(line, p + std::strlen(key), value);
    return true;
}

long clampLong(long v, long lo, long hi) { return std::clamp(v, lo, hi); }

bool scanInteger(const char*& p, long& value) {
    char* end = nullptr;
    value = std::strtol(p, &end, 10);
    if (end == p) return false;
    p = end;
    return true;
}

std::string stripDelimiters(std::string s) {
    static const char *const OPEN = "\"'{[(<", *const CLOSE = "\"'}])>";
    if (!s.empty() && std::strchr(OPEN, s[0])) s.erase(0, 1);
    if (!s.empty() && std::strchr(CLOSE, s.back())) s.pop_back();
    return s;
}
