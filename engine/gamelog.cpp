#include "engine/gamelog.h"
#include <cstdio>
#include <cstdlib>
#include "board/notation.h"
#include "platform/platform.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/session.h"
#include "search/driver.h"
#include "search/worker.h"

namespace {

FILE* logFile = nullptr;
uint32_t lastVariation[LOG_VARIATION_WORDS + 1] = {0};

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

void logResult(const char* text) {
    OutputLock lock;
    writeLocked(std::string(text) + "\n");
}

void logInternalError(int code) {
    char text[32];
    std::snprintf(text, sizeof text, "QZ code %d\n", code);
    OutputLock lock;
    writeLocked(text);
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
        // A refused move is no part of the game.
        if (san.empty()) return;
        text += san;
    }
    text += "({";
    if (variation && !sameVariation(variation)) {
        char scoreText[32];
        formatScore(scoreText, score);
        text += scoreText;
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

namespace {
// The search thread's engine moves carry the driver's score and variation.
// By the time the thread logs, the ponder set-up has dropped the engine's
// move and the expected reply from the front of the published variation
// (the reply is kept as the expected one): put them back so that the entry
// shows the line from the move played.
void logSearchMove(Game& g, uint32_t move, int withVariation, uint32_t expectedReply) {
    if (!withVariation) {
        logMove(g, move);
        return;
    }
    uint32_t line[LOG_VARIATION_WORDS + 1] = {0};
    OutputLock lock;
    const uint32_t* shown = searchWorker.variations.displayed;
    int n = 0;
    if ((shown[0] & 0xFFFF) != (move & 0xFFFF) && (move & 0xFFFF) != 0) {
        line[n++] = move & 0xFFFF;
        if (expectedReply & 0xFFFF) line[n++] = expectedReply & 0xFFFF;
    }
    for (int i = 0; n < LOG_VARIATION_WORDS && i < LOG_VARIATION_WORDS && (shown[i] & 0xFFFF); i++)
        line[n++] = shown[i];
    line[n] = 0;
    logMove(g, move, line, searchWorker.bestScore);
}
}  // namespace

void installLogWriters() {
    moveLogger = logSearchMove;
    newGameLogger = logNewGame;
    resultLogger = logResult;
    reportInternalError = logInternalError;
}
