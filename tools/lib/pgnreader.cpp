#include "tools/lib/pgnreader.h"
#include <cctype>
#include <cstring>
#include "board/game.h"
#include "board/notation.h"

// Longer tokens and tag values are cut: no sound game needs them.
constexpr size_t PGN_MAX_TOKEN = 255;

const std::string* PgnGame::tag(const char* name) const {
    for (const auto& t : tags)
        if (t.first == name) return &t.second;
    return nullptr;
}

namespace {

struct PgnScanner {
    std::istream& in;
    bool lineStart = true;

    int get() {
        int c = in.get();
        if (c == EOF) return EOF;
        lineStart = c == '\n';
        return c;
    }
    int peek() { return in.peek(); }
    void skipLine() {
        for (int c = get(); c != EOF && c != '\n'; c = get()) {
        }
    }
    void skipComment() {
        for (int c = get(); c != EOF && c != '}'; c = get()) {
        }
    }
    static void append(std::string& s, int c) {
        if (s.size() < PGN_MAX_TOKEN) s += char(c);
    }
    // After '[': name, quoted value (with \" and \\ escapes), up to ']' or the line end.
    void readTag(PgnGame& g) {
        std::string name, value;
        int c = get();
        while (c == ' ' || c == '\t') c = get();
        while (c != EOF && !std::isspace(c) && c != '"' && c != ']') {
            append(name, c);
            c = get();
        }
        while (c == ' ' || c == '\t') c = get();
        if (c == '"') {
            for (c = get(); c != EOF && c != '"' && c != '\n'; c = get()) {
                if (c == '\\' && (peek() == '"' || peek() == '\\')) c = get();
                append(value, c);
            }
            if (c == '"') c = get();
        }
        while (c != EOF && c != ']' && c != '\n') c = get();
        if (!name.empty()) g.tags.emplace_back(name, value);
    }
};

bool isResult(const std::string& t) { return t == "1-0" || t == "0-1" || t == "1/2-1/2" || t == "*" || t == "1/2"; }

bool onlyAnnotation(const std::string& t) {
    if (t.find_first_not_of("!?+#") == std::string::npos) return true;
    std::string lower;
    for (char c : t) lower += char(std::tolower((unsigned char)c));
    return lower == "e.p." || lower == "ep";
}

// "12." "12..." and "12.Nf3" carry a move number first; "0-0" is castling.
std::string withoutNumber(const std::string& t) {
    if (t.empty() || !std::isdigit((unsigned char)t[0]) || t[0] == '0') return t;
    size_t i = 0;
    while (i < t.size() && std::isdigit((unsigned char)t[i])) i++;
    if (i < t.size() && t[i] != '.') return t;  // not a number: leave it to the move reader
    while (i < t.size() && t[i] == '.') i++;
    return t.substr(i);
}

}  // namespace

bool readPgnGame(std::istream& in, PgnGame& out) {
    out = PgnGame{};
    PgnScanner s{in};
    bool any = false, inMoves = false;
    int depth = 0;  // variation nesting
    for (;;) {
        bool atLineStart = s.lineStart;
        int c = s.peek();
        if (c == EOF) return any;
        if (c == '%' && atLineStart) {
            s.skipLine();
            continue;
        }
        if (c == '[' && depth == 0) {
            if (inMoves) return true;  // the next game's tags: this game had no result
            s.get();
            s.readTag(out);
            any = true;
            continue;
        }
        s.get();
        if (c == ')') {
            if (depth > 0) depth--;
            continue;
        }
        if (std::isspace(c)) continue;
        if (c == '{') {
            s.skipComment();
            continue;
        }
        if (c == ';') {
            s.skipLine();
            continue;
        }
        if (c == '(') {
            depth++;
            continue;
        }
        std::string token(1, char(c));
        while ((c = s.peek()) != EOF && !std::isspace(c) && !std::strchr("{}()[];", c)) PgnScanner::append(token, s.get());
        if (depth > 0 || token[0] == '$') continue;
        any = true;
        if (isResult(token)) {
            out.result = token == "1/2" ? "1/2-1/2" : token;
            return true;
        }
        std::string move = withoutNumber(token);
        if (move.empty() || onlyAnnotation(move)) continue;
        inMoves = true;
        out.moves.push_back(move);
    }
}

int pgnResultPoints(const std::string& result, int side) {
    if (result == "1/2-1/2") return 1;
    if (result == "1-0") return side == 0 ? 2 : 0;
    if (result == "0-1") return side == 1 ? 2 : 0;
    return -1;
}

// The legal entry (with its castling, en-passant or promotion kind) that a
// parsed move names, or 0.
static uint32_t legalEntry(const uint32_t* legal, uint32_t m) {
    for (int i = 0; legal[i]; i++) {
        uint32_t e = legal[i] & 0x7FFF;
        if ((e & 0xFFF) != (m & 0xFFF)) continue;
        if (!isPromotion(e) || (e & 0x7FFF) == (m & 0x7FFF)) return e;
    }
    return 0;
}

bool isPgnFileName(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".pgn") == 0;
}

int replayPgnGame(Game& g, const PgnGame& pg, int maxPlies, const std::function<void(const Game&, uint32_t)>& visit,
                  std::string* error) {
    const std::string* fen = pg.tag("FEN");
    if (fen != nullptr) {
        if (setupFromFen(g, fen->c_str()) != 0) {
            if (error) *error = "position refused: " + *fen;
            return -1;
        }
    } else {
        newGame(g);
        listMoves(g);
    }
    int played = 0;
    for (const std::string& text : pg.moves) {
        if (played >= maxPlies || g.result != 0) break;
        // Only the truly legal moves: a pinned piece must not make a move
        // look ambiguous or legal.
        uint32_t legal[MAX_MOVES];
        int n = 0;
        for (int i = 0; g.legalMoves[i] && n < MAX_MOVES - 1; i++)
            if (!(g.legalMoves[i] & MOVE_ILLEGAL)) legal[n++] = g.legalMoves[i] & 0xFFFF;
        legal[n] = 0;
        char buffer[PGN_MAX_TOKEN + 1];
        std::strncpy(buffer, text.c_str(), PGN_MAX_TOKEN);
        buffer[PGN_MAX_TOKEN] = 0;
        Board b;
        copyToBoard(g, b);
        uint32_t m = parseSan(buffer, g.sideToMove, legal, b);
        uint32_t entry = m ? legalEntry(legal, m) : 0;
        if (entry == 0) {
            if (error) *error = "no legal move \"" + text + "\" at ply " + std::to_string(played + 1);
            break;
        }
        if (visit) visit(g, entry);
        int r = makeMove(g, entry);
        if (r < 0) {
            if (error) *error = "move \"" + text + "\" refused at ply " + std::to_string(played + 1);
            break;
        }
        played++;
    }
    return played;
}
