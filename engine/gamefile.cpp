#include "engine/gamefile.h"
#include <cctype>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include "board/notation.h"
#include "book/book.h"
#include "platform/platform.h"

namespace {

constexpr size_t GF_TOKEN_KEEP = 64;   // longer words are never moves
constexpr size_t GF_TAG_KEEP = 4096;   // a FEN needs fewer than 100
constexpr int GF_NOT_A_MOVE = 1000;    // internal: the word ends its line
constexpr int GF_END_OF_GAME = 1001;   // internal: a result word

bool isFileLetter(char c) { return c >= 'a' && c <= 'h'; }
bool isRankDigit(char c) { return c >= '1' && c <= '8'; }

bool equalsNoCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

bool isResult(const std::string& t) { return t == "1-0" || t == "0-1" || t == "1/2-1/2" || t == "*"; }

// Words such as "!", "?!", "+-" or "=" that annotate the move before them.
bool isAnnotation(const std::string& t) {
    if (t == "--") return false;  // a null move, which no game here can hold
    return t.find_first_not_of("!?+-=#") == std::string::npos;
}

// Removes check and mate signs, "!"/"?" and "e.p." written after a move, in any order.
void stripSuffixes(std::string& t) {
    for (bool again = true; again;) {
        again = false;
        while (!t.empty() && std::strchr("+#!?", t.back())) {
            t.pop_back();
            again = true;
        }
        if (t.size() > 4 && (equalsNoCase(t.substr(t.size() - 4), "e.p."))) {
            t.resize(t.size() - 4);
            again = true;
        }
    }
}

// "e2-e4", "Ng1-f3", "Ng1f3", "e7xd8=Q": the coordinate text, or "" for other words.
std::string longAlgebraic(const std::string& t) {
    size_t i = 0, n = t.size();
    if (i < n && std::strchr("KQRBN", t[i])) i++;
    if (i + 1 >= n || !isFileLetter(t[i]) || !isRankDigit(t[i + 1])) return "";
    std::string coord = t.substr(i, 2);
    i += 2;
    if (i < n && (t[i] == '-' || t[i] == 'x' || t[i] == ':')) i++;
    if (i + 1 >= n || !isFileLetter(t[i]) || !isRankDigit(t[i + 1])) return "";
    coord += t.substr(i, 2);
    i += 2;
    if (i < n && t[i] == '=') i++;
    if (i < n && std::strchr("QRBNqrbn", t[i])) coord += t[i++];
    return i == n ? coord : "";
}

// The shape of a move in algebraic notation: a piece letter or a file, only
// move characters, and a destination square. Such a word that matches no
// legal move is a refused move, not the end of the move text.
bool looksLikeSan(const std::string& t) {
    if (t.empty() || !(std::strchr("KQRBN", t[0]) || isFileLetter(t[0]))) return false;
    if (t.find_first_not_of("KQRBNabcdefgh12345678x=") != std::string::npos) return false;
    for (size_t i = 0; i + 1 < t.size(); i++)
        if (isFileLetter(t[i]) && isRankDigit(t[i + 1])) return true;
    return false;
}

class GameFileReader {
public:
    GameFileReader(FILE* f, Game& g, const char* path, std::string* message)
        : f_(f), g_(g), path_(path), message_(message) {}

    int run() {
        bool moveText = false;   // the first game's move text has begun
        bool skipLine = false;   // a word that is no move ended this line
        bool lineStart = true;
        skipByteOrderMark();
        for (;;) {
            int c = get();
            if (c == EOF) return 0;
            if (c == '\n') {
                skipLine = false;
                lineStart = true;
                continue;
            }
            if (isBlank(c)) continue;
            bool first = lineStart;
            lineStart = false;
            if ((c == '%' && first) || c == ';') {
                skipToEndOfLine();
            } else if (c == '{' || c == '(') {
                // Past a line end inside, a new line has begun.
                int line = line_;
                if (c == '{') skipComment();
                else skipVariation();
                if (line_ != line) skipLine = false;
            } else if (c == ')' || c == '}' || c == ']') {
                // a closer without its opener: nothing to skip
            } else if (c == '[') {
                if (moveText) return 0;  // the next game's tags
                int code = readTag();
                if (code != 0) return code;
            } else if (c == '$') {
                readWord(get());  // numeric annotation glyph
            } else {
                std::string word = readWord(c);
                int code = readMoveWord(word, skipLine, moveText);
                if (code == GF_NOT_A_MOVE) skipLine = true;
                else if (code == GF_END_OF_GAME) return 0;
                else if (code != 0) return code;
            }
        }
    }

private:
    FILE* f_;
    Game& g_;
    const char* path_;
    std::string* message_;
    int line_ = 1;
    bool longWord_ = false;

    int get() {
        int c = std::fgetc(f_);
        if (c == '\n') line_++;
        return c;
    }
    void unget(int c) {
        if (c == EOF) return;
        if (c == '\n') line_--;
        std::ungetc(c, f_);
    }
    static bool isBlank(int c) { return (c >= 0 && c <= ' ') || c == 127; }
    static bool isDelimiter(int c) { return c == EOF || isBlank(c) || std::strchr("{}()[];$", c) != nullptr; }

    void skipByteOrderMark() {
        int c = std::fgetc(f_);
        if (c == 0xEF) {
            int c2 = std::fgetc(f_), c3 = std::fgetc(f_);
            if (c2 == 0xBB && c3 == 0xBF) return;
            std::fseek(f_, 0, SEEK_SET);
            return;
        }
        unget(c);
    }

    // Leaves the newline for the caller, which ends the line on it.
    void skipToEndOfLine() {
        int c;
        while ((c = get()) != EOF && c != '\n') {
        }
        unget(c);
    }

    void skipComment() {
        int c;
        while ((c = get()) != EOF && c != '}') {
        }
    }

    void skipVariation() {
        int depth = 1, c;
        while (depth > 0 && (c = get()) != EOF) {
            if (c == '(') depth++;
            else if (c == ')') depth--;
            else if (c == '{') skipComment();
            else if (c == ';') skipToEndOfLine();
        }
    }

    std::string readWord(int c) {
        std::string word;
        longWord_ = false;
        while (!isDelimiter(c)) {
            if (word.size() < GF_TOKEN_KEEP) word.push_back(char(c));
            else longWord_ = true;
            c = get();
        }
        unget(c);
        return word;
    }

    // A tag pair up to its closing bracket (outside the quoted value) or the
    // end of its line. Only the set-up position matters.
    int readTag() {
        std::string tag;
        bool quoted = false, escaped = false;
        int c;
        while ((c = get()) != EOF && c != '\n') {
            if (!quoted && c == ']') break;
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') quoted = !quoted;
            if (tag.size() < GF_TAG_KEEP) tag.push_back(char(c));
        }
        if (c == '\n') unget(c);
        if (tag.compare(0, 3, "FEN") != 0 || (tag.size() > 3 && std::isalnum((unsigned char)tag[3]))) return 0;
        size_t p = 3;
        if (p < tag.size() && tag[p] == ':') p++;
        while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t')) p++;
        std::string fen;
        if (p < tag.size() && tag[p] == '"') {
            size_t close = tag.find('"', p + 1);
            fen = tag.substr(p + 1, close == std::string::npos ? std::string::npos : close - p - 1);
        } else {
            fen = tag.substr(p);
        }
        int code = setupFromFen(g_, fen.c_str());
        if (code == 0) return 0;
        report("FEN tag refused (set-up code " + std::to_string(code) + ")");
        return GF_CANNOT_LOAD;
    }

    // 0 when the word was read (or is to be passed over), GF_NOT_A_MOVE,
    // GF_END_OF_GAME, or the code that stops the load.
    int readMoveWord(std::string word, bool skipLine, bool& moveText) {
        if (isResult(word)) return GF_END_OF_GAME;
        if (skipLine) return 0;
        if (std::isdigit((unsigned char)word[0]) && word.compare(0, 3, "0-0") != 0) {
            size_t digits = word.find_first_not_of("0123456789");
            moveText = true;
            if (digits == std::string::npos) return 0;  // a number without its dot
            if (word[digits] != '.') return GF_NOT_A_MOVE;
            word.erase(0, digits);
        }
        size_t dots = word.find_first_not_of('.');
        if (dots == std::string::npos) return 0;
        word.erase(0, dots);
        if (isAnnotation(word) || equalsNoCase(word, "e.p.") || equalsNoCase(word, "ep")) return 0;
        if (longWord_) return GF_NOT_A_MOVE;
        int code = playWord(word);
        if (code != GF_NOT_A_MOVE) moveText = true;
        return code;
    }

    int playWord(const std::string& word) {
        char text[GF_TOKEN_KEEP + 8];
        std::snprintf(text, sizeof text, "%s", word.c_str());
        uint32_t m = parseMove(text, g_.sideToMove);
        std::string plain = word;
        stripSuffixes(plain);
        if (m == 0) {
            std::string coord = longAlgebraic(plain);
            if (!coord.empty()) {
                std::snprintf(text, sizeof text, "%s", coord.c_str());
                m = parseMove(text, g_.sideToMove);
            }
        }
        if (m == 0) {
            if (!looksLikeSan(plain)) return GF_NOT_A_MOVE;
            // "e8Q": the promotion piece without its equals sign
            if (plain.size() >= 3 && std::strchr("QRBN", plain.back()) && isRankDigit(plain[plain.size() - 2]))
                plain.insert(plain.size() - 1, "=");
            uint32_t legal[MAX_MOVES];
            int n = 0;
            for (int i = 0; g_.legalMoves[i] && n < MAX_MOVES - 1; i++)
                if (!(g_.legalMoves[i] & MOVE_ILLEGAL)) legal[n++] = g_.legalMoves[i] & 0xFFFF;
            legal[n] = 0;
            std::snprintf(text, sizeof text, "%s", plain.c_str());
            m = parseSan(text, g_.sideToMove, legal, g_.board);
            if (m == 0) return refuse(word, "no single legal move matches it", -1);
        }
        int code = makeMove(g_, m);
        switch (code) {
        case 0:
        case 4:
        case 5:
        case 6:
            // A draw that may be claimed does not end a game that went on.
            return 0;
        case 2:
        case 3:
            return code;
        case 1:
            return refuse(word, "the promotion piece is missing", code);
        default:
            return refuse(word, "illegal move", code);
        }
    }

    int refuse(const std::string& word, const char* reason, int code) {
        char number[24];
        std::snprintf(number, sizeof number, "%d%s", (g_.ply + 1) / 2 + 1, g_.sideToMove ? "..." : ".");
        report(std::string("move ") + number + " " + word + " refused: " + reason);
        return code;
    }

    void report(const std::string& what) {
        if (message_) *message_ = std::string(path_) + ", line " + std::to_string(line_) + ": " + what;
    }
};

}  // namespace

int loadGameFile(Game& g, const char* path, std::string* message) {
    // A directory would read as an empty game and a FIFO would hang: only a
    // regular file is a game file.
    FILE* f = openRegularFile(path, "r");
    if (f == nullptr) {
        if (message) *message = std::string("cannot open game file ") + path;
        return GF_CANNOT_LOAD;
    }
    newGame(g);
    refillBookMisses();
    listMoves(g);
    GameFileReader reader(f, g, path, message);
    int code = reader.run();
    std::fclose(f);
    return code;
}
