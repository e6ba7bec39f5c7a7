#include "tools/lib/referee.h"
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include "board/game.h"
#include "board/movegen.h"
#include "board/notation.h"

Referee::Referee() : game_(new Game()) { setup(""); }
Referee::~Referee() = default;

int Referee::sideToMove() const { return game_->sideToMove; }
int Referee::fiftyCount() const { return game_->board.fiftyCount; }

// The position as the repetition rule compares it: placement, side to move,
// castling rights and en-passant square.
std::string Referee::placementKey() const {
    char text[128];
    positionText(*game_, text);
    return text;
}

std::string Referee::fen() const {
    std::string key = placementKey();
    // The position text closes every rank with '/', a FEN only the first seven.
    size_t blank = key.find(' ');
    if (blank != std::string::npos && blank > 0 && key[blank - 1] == '/') key.erase(blank - 1, 1);
    return key + " " + std::to_string(fiftyCount()) + " " + std::to_string(fullMove_);
}

bool Referee::setup(const std::string& fen) {
    Game& g = *game_;
    fullMove_ = 1;
    if (fen.empty()) {
        newGame(g);
        listMoves(g);
    } else {
        if (setupFromFen(g, fen.c_str()) != 0) return false;
        std::istringstream fields(fen);
        std::string word;
        for (int i = 0; i < 6 && fields >> word; i++)
            if (i == 5) fullMove_ = std::max(1, std::atoi(word.c_str()));
    }
    end_ = GameEnd::NONE;
    last_.clear();
    since_.assign(1, placementKey());
    return g.result == 0;
}

static bool inCheck(const Game& g) {
    copyBoardToWork(g.board);
    int king = g.slotSquare[g.sideToMove ? 16 : 0];
    return g.sideToMove ? workAttackedByWhite(king) : workAttackedByBlack(king);
}

// The legal moves alone: pinned men must not make a move look ambiguous.
static void legalOnly(const Game& g, uint32_t* out) {
    int n = 0;
    for (int i = 0; g.legalMoves[i] && n < MAX_MOVES - 1; i++)
        if (!(g.legalMoves[i] & MOVE_ILLEGAL)) out[n++] = g.legalMoves[i] & 0xFFFF;
    out[n] = 0;
}

static uint32_t coordinateMove(const std::string& t) {
    if (t.size() < 4 || t.size() > 5) return 0;
    for (int i = 0; i < 4; i += 2)
        if (t[size_t(i)] < 'a' || t[size_t(i)] > 'h' || t[size_t(i) + 1] < '1' || t[size_t(i) + 1] > '8') return 0;
    uint32_t m = makeMoveWord((t[0] - 'a') + 8 * (t[1] - '1'), (t[2] - 'a') + 8 * (t[3] - '1'));
    if (t.size() == 4) return m;
    switch (std::tolower((unsigned char)t[4])) {
    case 'q': return m | MK_PROMO_QUEEN;
    case 'r': return m | MK_PROMO_ROOK;
    case 'b': return m | MK_PROMO_BISHOP;
    case 'n': return m | MK_PROMO_KNIGHT;
    default: return 0;
    }
}

// The notation code writes the active piece alphabet; PGN wants English.
static void englishLetters(std::string& san) {
    for (size_t i = 0; i < san.size(); i++) {
        bool pieceLetter = i == 0 || san[i - 1] == '=';
        if (!pieceLetter) continue;
        for (int t = 0; t < 5; t++)
            if (san[i] == pieceLetters[t]) {
                san[i] = "KQRBN"[t];
                break;
            }
    }
}

static std::string coordinateText(uint32_t entry) {
    std::string t = {char('a' + fileOf(moveFrom(entry))), char('1' + rankOf(moveFrom(entry))),
                     char('a' + fileOf(moveTo(entry))), char('1' + rankOf(moveTo(entry)))};
    if (isPromotion(entry)) t += "?qrbn"[promotedType(entry)];
    return t;
}

std::vector<std::string> Referee::legalMoves() const {
    std::vector<std::string> out;
    if (end_ != GameEnd::NONE) return out;
    uint32_t legal[MAX_MOVES];
    legalOnly(*game_, legal);
    for (int i = 0; legal[i]; i++) out.push_back(coordinateText(legal[i]));
    return out;
}

bool Referee::play(const std::string& text, std::string* san, bool loose) {
    Game& g = *game_;
    if (end_ != GameEnd::NONE) return false;
    uint32_t legal[MAX_MOVES];
    legalOnly(g, legal);
    uint32_t m = coordinateMove(text);
    if (m == 0 && loose && text.size() < 16) {
        char buffer[16];
        std::strcpy(buffer, text.c_str());
        m = parseSan(buffer, g.sideToMove, legal, g.board);
    }
    // The listed word carries the castling and en-passant kinds; a promotion
    // must name its piece.
    uint32_t entry = 0;
    for (int i = 0; m && legal[i]; i++)
        if ((legal[i] & 0xFFF) == (m & 0xFFF) && (!isPromotion(legal[i]) || legal[i] == m)) entry = legal[i];
    if (entry == 0) return false;
    std::string notation;
    moveToSan(notation, entry, legal, g.board);
    if (notation.compare(0, 2, "O-") != 0) englishLetters(notation);
    int code = makeMove(g, entry);
    if (code < 0 || code == 1) return false;  // cannot happen for a listed legal move
    // Coordinates as the protocols write them: promotion letters in lower
    // case and English whatever alphabet the notation code has active.
    last_ = coordinateText(entry);
    if (g.sideToMove == 0) fullMove_++;

    std::string key = placementKey();
    if (g.board.fiftyCount == 0) since_.clear();
    since_.push_back(key);
    int seen = 0;
    for (const std::string& k : since_) seen += k == key;

    if (code == 2) end_ = GameEnd::MATE;
    else if (code == 3) end_ = GameEnd::STALEMATE;
    else if (code == 6) end_ = GameEnd::NO_MATERIAL;
    else if (seen >= 3) end_ = GameEnd::REPETITION;
    else if (g.board.fiftyCount >= 100) end_ = GameEnd::FIFTY_MOVES;
    if (san) {
        while (!notation.empty() && notation.back() == ' ') notation.pop_back();
        if (end_ == GameEnd::MATE) notation += '#';
        else if (inCheck(g)) notation += '+';
        *san = notation;
    }
    return true;
}

const char* gameEndText(GameEnd e) {
    switch (e) {
    case GameEnd::MATE: return "mate";
    case GameEnd::STALEMATE: return "Draw by stalemate";
    case GameEnd::REPETITION: return "Draw by 3-fold repetition";
    case GameEnd::FIFTY_MOVES: return "Draw by fifty moves rule";
    case GameEnd::NO_MATERIAL: return "Draw by insufficient mating material";
    default: return "";
    }
}
