#include "engine/commandloop.h"
#include <cstdlib>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include "board/game.h"
#include "egtb/tablebase.h"
#include "engine/bench.h"
#include "platform/platform.h"
#include "engine/epdsuite.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/uci.h"
#include "engine/words.h"
#include "engine/xboard.h"

namespace {

// A stream that keeps failing without reaching its end is given up as ended.
constexpr int READ_RETRIES = 100;

// Command words arrive in any case; file names and FEN text keep theirs.
void normalise(std::string& s) {
    if (startsWithNoCase(s, "SETBOARD")) s.replace(0, 8, "SETBOARD");
    else if (startsWithNoCase(s, "EGTPATH")) s.replace(0, 7, "EGTPATH");
    else if (startsWithNoCase(s, "POSITION")) s.replace(0, 8, "position");
    else if (startsWithNoCase(s, "setoption")) s.replace(0, 9, "setoption");
    else if (startsWithNoCase(s, "PARTIE ")) s.replace(0, 7, "PARTIE ");  // file names keep their case
    else if (startsWithNoCase(s, "EPDTEST ")) s.replace(0, 8, "EPDTEST ");
    else if (startsWithNoCase(s, "OPTION ")) s.replace(0, 7, "OPTION ");  // and so do option values
    else
        for (char& c : s) c = char(std::toupper((unsigned char)c));
}

void goCommand(const std::string& line) {
    // A thread that has announced its move may still be ending or
    // pondering: a GO sent on seeing that move is for a new search
    // and must not be lost. In UCI every go is owed a bestmove, so a
    // search still running gives its own first. In xboard a GO
    // during the engine's own search has nothing to add.
    if (searching && (resultAnnounced || session.uciMode)) {
        forgetPonderLine();
        cancelSearch();
    }
    if (!searching) {
        if (session.uciMode) uciGo(line);
        else go();
    }
}

// "bench [depth]"
void benchLine(const std::string& line) {
    long depth = BENCH_DEFAULT_DEPTH, n;
    if (intAfter(line, 5, n)) depth = n;
    benchCommand(int(clampLong(depth, 2, 99)));
}

enum CommandMatch { CM_EXACT, CM_PREFIX };

// One command: a line that is word (CM_EXACT), or word followed by its
// arguments (CM_PREFIX). Words match whole: GOODBYE is no GO.
// run returns false when the loop is to end.
struct Command {
    const char* word;
    CommandMatch match;
    bool uciOnly;  // outside UCI mode the line is read on as something else
    bool (*run)(const std::string& line, FILE* in);
};

// Tried in order; a line no entry takes is a move. Kept one entry a line.
// clang-format off
const Command COMMANDS[] = {
    {"GO", CM_PREFIX, false, [](const std::string& l, FILE*) { goCommand(l); return true; }},
    {"FORCE", CM_EXACT, false, [](const std::string&, FILE*) { cancelSearch(); session.forceMode = 1; return true; }},
    // Move now: the search announces its move.
    {"?", CM_EXACT, false, [](const std::string&, FILE*) { stopSearch(); return true; }},
    {"UNDO", CM_EXACT, false, [](const std::string&, FILE*) { undoCommand(); return true; }},
    {"REMOVE", CM_EXACT, false, [](const std::string&, FILE*) { removeCommand(); return true; }},
    {"LEVEL", CM_PREFIX, false, [](const std::string& l, FILE*) { setTimeControl(l); return true; }},
    {"ST", CM_PREFIX, false, [](const std::string& l, FILE*) { moveTimeCommand(l); return true; }},
    {"SD", CM_PREFIX, false, [](const std::string& l, FILE*) { depthLimitCommand(l); return true; }},
    {"NPS", CM_PREFIX, false, [](const std::string& l, FILE*) { nodeRateCommand(l); return true; }},
    {"TIME", CM_PREFIX, false, [](const std::string& l, FILE*) { clockCommand(l); return true; }},
    {"OTIM", CM_PREFIX, false, [](const std::string& l, FILE*) { clockCommand(l); return true; }},
    {"EXIT", CM_EXACT, false, [](const std::string&, FILE*) { cancelSearch(); analyseMode = 0; return true; }},
    {"WHITE", CM_EXACT, false, [](const std::string&, FILE*) { return true; }},
    {"BLACK", CM_EXACT, false, [](const std::string&, FILE*) { return true; }},
    {".", CM_EXACT, false, [](const std::string&, FILE*) { statusCommand(); return true; }},
    {"POST", CM_EXACT, false, [](const std::string&, FILE*) { postThinking = 1; return true; }},
    {"NOPOST", CM_EXACT, false, [](const std::string&, FILE*) { postThinking = 0; return true; }},
    {"HARD", CM_EXACT, false, [](const std::string&, FILE*) { ponderEnabled = 1; return true; }},
    {"EASY", CM_EXACT, false, [](const std::string&, FILE*) { ponderEnabled = 0; return true; }},
    {"QUIT", CM_EXACT, false, [](const std::string&, FILE*) { cancelSearch(); return false; }},
    {"NEW", CM_EXACT, false, [](const std::string&, FILE*) { newGameCommand(); return true; }},
    {"ANALYZE", CM_EXACT, false, [](const std::string&, FILE*) { analyzeCommand(); return true; }},
    {"EDIT", CM_EXACT, false, [](const std::string&, FILE* in) { cancelSearch(); return editMode(in); }},
    {"SETBOARD", CM_PREFIX, false, [](const std::string& l, FILE*) { setBoardCommand(l); return true; }},
    {"PRINT", CM_EXACT, false, [](const std::string&, FILE*) { printBoard(game); return true; }},
    {"PARTIE ", CM_PREFIX, false, [](const std::string& l, FILE*) { loadGameCommand(l); return true; }},
    {"EPDTEST ", CM_PREFIX, false, [](const std::string& l, FILE*) { epdTestCommand(l); return true; }},
    {"HINT", CM_EXACT, false, [](const std::string&, FILE*) { hintCommand(); return true; }},
    {"BK", CM_EXACT, false, [](const std::string&, FILE*) { bookCommand(); return true; }},
    {"DRAW", CM_EXACT, false, [](const std::string&, FILE*) { drawCommand(); return true; }},
    // The engine keeps no colour: it answers the next move.
    {"PLAYOTHER", CM_EXACT, false, [](const std::string&, FILE*) { session.forceMode = 0; return true; }},
    {"VARIANT", CM_PREFIX, false, [](const std::string& l, FILE*) { variantCommand(l); return true; }},
    // Announcements that need no answer.
    {"XBOARD", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"RESET", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"NAME", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"ACCEPTED", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"REJECTED", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"COMPUTER", CM_EXACT, false, [](const std::string&, FILE*) { return true; }},
    {"RATING", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"ICS", CM_PREFIX, false, [](const std::string&, FILE*) { return true; }},
    {"RANDOM", CM_EXACT, false, [](const std::string&, FILE*) { return true; }},
    {"PROTOVER 2", CM_PREFIX, false, [](const std::string&, FILE*) { protoverCommand(); return true; }},
    {"RESULT", CM_PREFIX, false, [](const std::string& l, FILE*) { resultCommand(l); return true; }},
    {"PING", CM_PREFIX, false, [](const std::string& l, FILE*) { pingCommand(l); return true; }},
    {"MEMORY", CM_PREFIX, false, [](const std::string& l, FILE*) { memoryCommand(l); return true; }},
    {"CORES", CM_PREFIX, false, [](const std::string& l, FILE*) { coresCommand(l); return true; }},
    {"EGTPATH", CM_PREFIX, false, [](const std::string& l, FILE*) { egtPathCommand(l); return true; }},
    {"OPTION", CM_PREFIX, false, [](const std::string& l, FILE*) { setOptions(l); return true; }},
    {"UCI", CM_EXACT, false, [](const std::string&, FILE*) { uciHandshake(); return true; }},
    {"ISREADY", CM_EXACT, true, [](const std::string&, FILE*) { isReadyCommand(); return true; }},
    {"position", CM_PREFIX, true, [](const std::string& l, FILE*) { positionCommand(l); return true; }},
    {"STOP", CM_EXACT, true, [](const std::string&, FILE*) { uciStop(); return true; }},
    {"PONDERHIT", CM_EXACT, true, [](const std::string&, FILE*) { ponderHit(); return true; }},
    {"setoption", CM_PREFIX, true, [](const std::string& l, FILE*) { setOptionCommand(l); return true; }},
    {"UCINEWGAME", CM_PREFIX, false, [](const std::string&, FILE*) { uciNewGame(); return true; }},
    // Nothing to act on: the engine has no debug output and needs no registration.
    {"DEBUG", CM_PREFIX, true, [](const std::string&, FILE*) { return true; }},
    {"REGISTER", CM_PREFIX, true, [](const std::string&, FILE*) { return true; }},
    {"BENCH", CM_PREFIX, false, [](const std::string& l, FILE*) { benchLine(l); return true; }},
};
// clang-format on

bool matches(const Command& c, const std::string& line) {
    if (c.uciOnly && !session.uciMode) return false;
    if (c.match == CM_EXACT) return line == c.word;
    const size_t n = std::strlen(c.word);
    if (!hasPrefix(line, c.word)) return false;
    // A word that ends in its separator ("PARTIE ") needs none after it.
    return line.size() == n || c.word[n - 1] == ' ' || line[n] == ' ' || line[n] == '\t';
}

}  // namespace

bool readCommandLine(FILE* in, std::string& line) {
    line.clear();
    int retries = 0;
    for (;;) {
        errno = 0;
        int c = std::fgetc(in);
        if (c == EOF) {
            if (std::ferror(in) && !std::feof(in)) {
                const int error = errno;
                std::clearerr(in);
                // A non-blocking input with nothing in it yet is no failure:
                // the interface has simply not written its next line.
                if ((error == EAGAIN || error == EWOULDBLOCK) && waitForInput(in)) continue;
                if (retries++ < READ_RETRIES) continue;
            }
            return !line.empty();
        }
        if (c == '\n') break;
        line.push_back(char(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

int runCommandLoop(FILE* in) {
    tbNoticeWriter = writeTablebaseNotice;
    std::string line;
    while (readCommandLine(in, line)) {
        normalise(line);
        const Command* command = nullptr;
        for (const Command& c : COMMANDS)
            if (matches(c, line)) {
                command = &c;
                break;
            }
        if (command == nullptr) userMove(line);
        else if (!command->run(line, in)) return 0;
    }
    cancelSearch();
    return 0;
}
