#include "tools/lib/openings.h"
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>
#include "tools/lib/pgnreader.h"
#include "tools/lib/referee.h"

static bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit((unsigned char)c)) return false;
    return true;
}

// The number after an EPD operation code ("hmvc 12;"), or "".
static std::string operand(const std::string& ops, const char* code) {
    std::istringstream in(ops);
    std::string word;
    while (in >> word) {
        if (word != code) continue;
        std::string value;
        if (!(in >> value)) return "";
        if (!value.empty() && value.back() == ';') value.pop_back();
        return allDigits(value) ? value : "";
    }
    return "";
}

std::string fenFromEpd(const std::string& line) {
    std::istringstream in(line);
    std::string field[4];
    for (std::string& f : field)
        if (!(in >> f)) return "";
    std::string rest;
    std::getline(in, rest);
    std::istringstream tail(rest);
    std::string half, full;
    tail >> half >> full;
    if (!allDigits(half) || !allDigits(full)) {
        half = operand(rest, "hmvc");
        full = operand(rest, "fmvn");
    }
    if (half.empty()) half = "0";
    if (full.empty()) full = "1";
    return field[0] + " " + field[1] + " " + field[2] + " " + field[3] + " " + half + " " + full;
}

static bool loadEpd(std::istream& in, const std::string& path, std::vector<Opening>& out, std::string* error) {
    Referee referee;
    std::string line;
    for (int number = 1; std::getline(in, line); number++) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        std::string fen = fenFromEpd(line);
        if (fen.empty() || !referee.setup(fen)) {
            if (error) *error = path + ":" + std::to_string(number) + ": position refused";
            return false;
        }
        out.push_back(Opening{fen, {}});
    }
    return true;
}

static bool loadPgn(std::istream& in, const std::string& path, std::vector<Opening>& out, std::string* error) {
    Referee referee;
    PgnGame pg;
    for (int number = 1; readPgnGame(in, pg); number++) {
        Opening o;
        const std::string* fen = pg.tag("FEN");
        if (fen) o.fen = *fen;
        bool ok = referee.setup(o.fen);
        for (size_t i = 0; ok && i < pg.moves.size() && referee.end() == GameEnd::NONE; i++) {
            ok = referee.play(pg.moves[i], nullptr, true);
            if (ok) o.moves.push_back(referee.lastMoveText());
        }
        if (!ok || referee.end() != GameEnd::NONE) {
            if (error)
                *error =
                    path + ": game " + std::to_string(number) + (ok ? ": already over" : ": position or move refused");
            return false;
        }
        out.push_back(o);
        pg = PgnGame{};
    }
    return true;
}

bool loadOpenings(const std::string& path, std::vector<Opening>& out, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error) *error = path + ": cannot be read";
        return false;
    }
    bool pgn = isPgnFileName(path);
    return pgn ? loadPgn(in, path, out, error) : loadEpd(in, path, out, error);
}

Opening extendOpening(const Opening& o, int plies, uint64_t seed) {
    std::mt19937_64 rng(seed);
    // A line that ends the game (mate, stalemate, bare kings) is drawn again;
    // the few positions where every line does keep the opening as it is.
    for (int attempt = 0; attempt < 20; attempt++) {
        Referee r;
        if (!r.setup(o.fen)) return o;
        for (const std::string& m : o.moves) r.play(m);
        Opening out = o;
        for (int i = 0; i < plies; i++) {
            std::vector<std::string> legal = r.legalMoves();
            if (legal.empty()) break;
            const std::string& m = legal[size_t(rng() % legal.size())];
            r.play(m);
            out.moves.push_back(m);
        }
        if (r.end() == GameEnd::NONE && int(out.moves.size()) == int(o.moves.size()) + plies) return out;
    }
    return o;
}
