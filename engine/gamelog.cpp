#include "engine/gamelog.h"
#include <cstdio>
#include <cstdlib>
#include "board/notation.h"
#include "engine/platform.h"

namespace {

FILE* logFile = nullptr;
uint32_t lastVariation[LOG_VARIATION_WORDS + 1] = {0};

// Holds the output lock for one scope.
struct OutputLock {
    OutputLock() { lockOutput(); }
    ~OutputLock() { unlockOutput(); }
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
};

void writeLocked(const std::string& text) {
    if (logFile == nullptr) return;
    std::fputs(text.c_str(), logFile);
    std::fflush(logFile);
}

// Compares up to the terminator: words after it are leftovers of longer lines.
bool sameVariation(const uint32_t* v) {
    for (int i = 0; i < LOG_VARIATION_WORDS; i++) {
        uint32_t a = v[i] & 0xFFFF, b = lastVariation[i];
        if (a != b) return false;
        if (a == 0) return true;
    }
    return true;
}

void rememberVariation(const uint32_t* v) {
    int i = 0;
    for (; i < LOG_VARIATION_WORDS && (v[i] & 0xFFFF) != 0; i++) lastVariation[i] = v[i] & 0xFFFF;
    lastVariation[i] = 0;
}

}  // namespace

bool openLog(const char* fileName) {
    OutputLock lock;
    if (logFile) std::fclose(logFile);
    logFile = std::fopen(fileName, "a+");
    lastVariation[0] = 0;
    return logFile != nullptr;
}

void closeLog() {
    OutputLock lock;
    if (logFile) std::fclose(logFile);
    logFile = nullptr;
}

bool logIsOpen() {
    OutputLock lock;
    return logFile != nullptr;
}

void logNewGame() {
    OutputLock lock;
    std::string text = "[Event \"Computer chess game\"]\n";
    int y, m, d;
    if (localDate(y, m, d)) {
        char date[48];
        std::snprintf(date, sizeof date, "[Date \"%d.%02d.%02d\"]\n", y, m, d);
        text += date;
    }
    writeLocked(text);
}

void logResultLine(const std::string& commandLine) {
    size_t blank = commandLine.find(' ');
    if (blank == std::string::npos) return;
    OutputLock lock;
    writeLocked(commandLine.substr(blank + 1) + "\n");
}

void logInternalError(int code) {
    char text[32];
    std::snprintf(text, sizeof text, "QZ code %d\n", code);
    OutputLock lock;
    writeLocked(text);
}

void formatScore(std::string& out, int score) {
    char text[32];
    int magnitude = std::abs(score);
    if (score == LOG_NO_SCORE) std::snprintf(text, sizeof text, " ");
    else if (magnitude == 32767) std::snprintf(text, sizeof text, "%cINF ", score > 0 ? '+' : '-');
    else if (magnitude > 32000)
        std::snprintf(text, sizeof text, "%cMAT%d ", score > 0 ? '+' : '-', (32700 - magnitude + 1) / 2);
    else std::snprintf(text, sizeof text, "%+4.2f ", score / 480.0);
    out += text;
}

void logMove(const Game& g, Move m, const uint32_t* variation, int score) {
    OutputLock lock;
    if (logFile == nullptr) return;
    char number[24];
    std::snprintf(number, sizeof number, "%d%s ", (g.ply + 1) / 2 + 1, g.sideToMove ? "..." : ".  ");
    std::string text = number;
    if (m & 0xFFFF) {
        std::string san;
        moveToSan(san, m & 0xFFFF, g.legalMoves, g.board);
        while (!san.empty() && san.back() == ' ') san.pop_back();
        text += san;
    }
    text += "({";
    if (variation && !sameVariation(variation)) {
        formatScore(text, score);
        for (int i = 0; i < LOG_VARIATION_WORDS && (variation[i] & 0xFFFF) != 0; i++) {
            char coord[8];
            moveToText(variation[i] & 0x7FFF, coord);
            text += coord;
            text += ' ';
        }
        rememberVariation(variation);
    }
    text += "})\n";
    writeLocked(text);
}
