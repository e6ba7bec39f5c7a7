#include "engine/epdsuite.h"
#include <cctype>
#include <cstdlib>
#include <cstring>
#include "board/game.h"
#include "board/notation.h"
#include "book/book.h"
#include "engine/report.h"
#include "engine/searchthread.h"
#include "engine/textline.h"
#include "platform/platform.h"
#include "search/driver.h"
#include "search/worker.h"

namespace {

bool isNumber(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit((unsigned char)c)) return false;
    return true;
}

// Splits the operations part of a line: "bm Nf3 Qd2; id \"a; b\";" gives
// {"bm", "Nf3", "Qd2"} and {"id", "a; b"}. false on an unterminated string.
bool splitOperations(const char* p, std::vector<std::vector<std::string>>& ops) {
    std::vector<std::string> current;
    for (;;) {
        while (*p == ' ' || *p == '\t') p++;
        if (*p == 0 || *p == ';') {
            if (!current.empty()) ops.push_back(current);
            current.clear();
            if (*p == 0) return true;
            p++;
            continue;
        }
        std::string token;
        if (*p == '"') {
            const char* end = std::strchr(p + 1, '"');
            if (end == nullptr) return false;
            token.assign(p + 1, end);
            p = end + 1;
        } else {
            while (*p != 0 && *p != ';' && *p != ' ' && *p != '\t') token += *p++;
        }
        current.push_back(token);
    }
}

}  // namespace

EpdLineKind parseEpdLine(const std::string& raw, EpdPosition& out, std::string* error) {
    out = EpdPosition();
    std::string line = raw;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#' || line[start] == ';') return EPD_SKIP;
    const char* p = line.c_str() + start;
    std::vector<std::string> fields;
    // Four position fields, then two move counters when the line is a full FEN.
    while (fields.size() < 6) {
        while (*p == ' ' || *p == '\t') p++;
        if (*p == 0) break;
        const char* q = p;
        while (*q != 0 && *q != ' ' && *q != '\t' && *q != ';') q++;
        std::string field(p, q);
        if (fields.size() >= 4 && !isNumber(field)) break;
        fields.push_back(field);
        p = q;
    }
    if (fields.size() < 4) {
        if (error) *error = "fewer than four position fields";
        return EPD_BAD;
    }
    if (fields.size() == 5) {  // a lone number is an operation's business, not a counter
        p -= fields.back().size();
        fields.pop_back();
    }
    for (size_t i = 0; i < fields.size(); i++) out.fen += (i ? " " : "") + fields[i];
    std::vector<std::vector<std::string>> ops;
    if (!splitOperations(p, ops)) {
        if (error) *error = "a string without its closing quote";
        return EPD_BAD;
    }
    for (const auto& op : ops) {
        const std::string& code = op[0];
        std::vector<std::string> args(op.begin() + 1, op.end());
        if (code == "bm") out.bestMoves.insert(out.bestMoves.end(), args.begin(), args.end());
        else if (code == "am") out.avoidMoves.insert(out.avoidMoves.end(), args.begin(), args.end());
        else if (code == "id" && !args.empty()) out.id = args[0];
    }
    return EPD_POSITION;
}

uint32_t moveFromText(const Game& g, const std::string& text) {
    std::string t = text;
    while (!t.empty() && std::strchr("+#!?", t.back()) != nullptr) t.pop_back();
    if (t.empty() || t.size() > 15) return 0;
    char buffer[16];
    // Coordinates first, then SAN.
    std::strcpy(buffer, t.c_str());
    uint32_t m = parseMove(buffer, g.sideToMove);
    if (m == 0) {
        std::strcpy(buffer, t.c_str());
        m = parseSan(buffer, g.sideToMove, g.legalMoves, g.board);
    }
    if (m == 0) return 0;
    for (int i = 0; g.legalMoves[i]; i++) {
        uint32_t l = g.legalMoves[i];
        if ((l & MOVE_ILLEGAL) || (l & 0xFFF) != (m & 0xFFF)) continue;
        if (isPromotion(l) && (l & 0x7FFF) != (m & 0x7FFF)) continue;  // the piece must be named
        return l & 0x7FFF;
    }
    return 0;
}

bool epdSolved(const Game&, uint32_t move, const std::vector<uint32_t>& best, const std::vector<uint32_t>& avoid) {
    move &= 0x7FFF;
    if (move == 0) return false;
    for (uint32_t a : avoid)
        if (a == move) return false;
    if (best.empty()) return true;
    for (uint32_t b : best)
        if (b == move) return true;
    return false;
}

namespace {

std::string sanOf(const Game& g, uint32_t move) {
    std::string san;
    moveToSan(san, move, g.legalMoves, g.board);
    while (!san.empty() && san.back() == ' ') san.pop_back();
    if (san.empty()) {
        char text[8];
        moveToText(move, text);
        san = text;
    }
    return san;
}

std::string joined(const char* code, const std::vector<std::string>& moves) {
    if (moves.empty()) return "";
    std::string s = std::string(" ") + code;
    for (const std::string& m : moves) s += " " + m;
    return s;
}

// Resolves the operations' moves; false (with the reason) when one names no
// legal move or there is nothing to check.
bool resolveMoves(const Game& g, const std::vector<std::string>& texts, std::vector<uint32_t>& out,
                  std::string& reason) {
    for (const std::string& t : texts) {
        uint32_t m = moveFromText(g, t);
        if (m == 0) {
            reason = "\"" + t + "\" is not a legal move here";
            return false;
        }
        out.push_back(m);
    }
    return true;
}

}  // namespace

bool runEpdSuite(const std::string& path, const TimeBudget& budget, FILE* out, EpdSummary* summary) {
    FILE* in = openRegularFile(path.c_str(), "r");
    if (in == nullptr) return false;
    EpdSummary s;
    int savedBook = useBook, savedPost = postThinking;
    // A suite tests the search: a book move would answer for it.
    useBook = 0;
    postThinking = 0;
    std::string line;
    int lineNumber = 0;
    while (readTextLine(in, line)) {
        lineNumber++;
        EpdPosition pos;
        std::string reason;
        EpdLineKind kind = parseEpdLine(line, pos, &reason);
        if (kind == EPD_SKIP) continue;
        std::vector<uint32_t> best, avoid;
        if (kind == EPD_POSITION) {
            int code = setupFromFen(game, pos.fen.c_str());
            if (code != 0) reason = "illegal position " + std::to_string(code);
            else if (pos.bestMoves.empty() && pos.avoidMoves.empty()) reason = "no bm or am operation";
            else if (resolveMoves(game, pos.bestMoves, best, reason) &&
                     resolveMoves(game, pos.avoidMoves, avoid, reason))
                reason.clear();
            else if (reason.empty()) reason = "bad move";
        }
        if (kind == EPD_BAD || !reason.empty()) {
            s.skipped++;
            std::fprintf(out, "line %d skipped: %s\n", lineNumber, reason.c_str());
            std::fflush(out);
            continue;
        }
        refillBookMisses();
        searchWorker.signals.abortSearch = 0;
        PonderState ponder;
        uint32_t result = think(game, budget, ponder);
        uint32_t move = result == 0xFFFFFFFFu ? 0 : (result & 0xFFFF);
        bool solved = epdSolved(game, move, best, avoid);
        s.total++;
        if (solved) s.solved++;
        std::string id = pos.id.empty() ? "line " + std::to_string(lineNumber) : pos.id;
        std::string found = move ? sanOf(game, move) : "(none)";
        std::fprintf(out, "%d %s %s %s%s%s\n", s.total, id.c_str(), solved ? "solved" : "missed", found.c_str(),
                     joined("bm", pos.bestMoves).c_str(), joined("am", pos.avoidMoves).c_str());
        std::fflush(out);
    }
    std::fclose(in);
    useBook = savedBook;
    postThinking = savedPost;
    std::fprintf(out, "solved %d of %d\n", s.solved, s.total);
    std::fflush(out);
    if (summary) *summary = s;
    return true;
}

void epdTestCommand(const std::string& line) {
    cancelSearch();
    // "EPDTEST file [time S | depth D]"; the file name keeps its case.
    std::string rest = line.size() > 8 ? line.substr(8) : "";
    std::string file, limit;
    long value = 0;
    size_t space = rest.find_last_of(" \t");
    size_t before = space == std::string::npos ? std::string::npos : rest.find_last_of(" \t", space - 1);
    if (before != std::string::npos && isNumber(rest.substr(space + 1))) {
        limit = rest.substr(before + 1, space - before - 1);
        for (char& c : limit) c = char(std::tolower((unsigned char)c));
        if (limit == "time" || limit == "depth") {
            value = std::strtol(rest.c_str() + space + 1, nullptr, 10);
            rest.resize(before);
        } else {
            limit.clear();
        }
    }
    file = rest;
    while (!file.empty() && (file.back() == ' ' || file.back() == '\t')) file.pop_back();
    TimeBudget budget = moveTimeBudget(6000);
    if (limit == "time" && value > 0) budget = moveTimeBudget(value * 1000);
    if (limit == "depth" && value > 0) {
        budget = unlimitedBudget();
        budget.maxDepth = int(value);
    }
    GameSnapshot* saved = saveGame(game);
    if (!runEpdSuite(file, budget, stdout)) {
        std::printf("Error (cannot open): %s\n", file.c_str());
        std::fflush(stdout);
    }
    restoreGame(game, saved);
    refillBookMisses();
}
