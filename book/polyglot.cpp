#include "book/polyglot.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include "board/game.h"

void encodePolyglotEntry(const PolyglotEntry& e, unsigned char* bytes) {
    for (int i = 0; i < 8; i++) bytes[i] = uint8_t(e.key >> (56 - 8 * i));
    bytes[8] = uint8_t(e.move >> 8);
    bytes[9] = uint8_t(e.move);
    bytes[10] = uint8_t(e.weight >> 8);
    bytes[11] = uint8_t(e.weight);
    for (int i = 0; i < 4; i++) bytes[12 + i] = uint8_t(e.learn >> (24 - 8 * i));
}

void decodePolyglotEntry(const unsigned char* bytes, PolyglotEntry& e) {
    e.key = 0;
    for (int i = 0; i < 8; i++) e.key = (e.key << 8) | bytes[i];
    e.move = uint16_t((bytes[8] << 8) | bytes[9]);
    e.weight = uint16_t((bytes[10] << 8) | bytes[11]);
    e.learn = 0;
    for (int i = 0; i < 4; i++) e.learn = (e.learn << 8) | bytes[12 + i];
}

// The format numbers the pieces black pawn 0, white pawn 1, black knight 2,
// ..., white king 11, each with 64 numbers from a1.
static int pieceKind(int slot, int type) {
    int black = slot >= 16 ? 1 : 0;
    int order;  // pawn 0, knight 1, bishop 2, rook 3, queen 4, king 5
    switch (type) {
    case WHITE_PAWN:
    case BLACK_PAWN: order = 0; break;
    case KNIGHT: order = 1; break;
    case BISHOP: order = 2; break;
    case ROOK: order = 3; break;
    case QUEEN: order = 4; break;
    default: order = 5; break;
    }
    return 2 * order + (1 - black);
}

uint64_t polyglotKey(const Game& g) {
    uint64_t key = 0;
    for (int sq = 0; sq < 64; sq++) {
        int slot = g.squareSlot[sq];
        if (slot == SLOT_EMPTY) continue;
        key ^= POLYGLOT_RANDOM[64 * pieceKind(slot, g.slotType[slot]) + sq];
    }
    if (g.castle[CS_WHITE_KING] == 0) key ^= POLYGLOT_RANDOM[POLYGLOT_CASTLE_RANDOM + 0];
    if (g.castle[CS_WHITE_QUEEN] == 0) key ^= POLYGLOT_RANDOM[POLYGLOT_CASTLE_RANDOM + 1];
    if (g.castle[CS_BLACK_KING] == 0) key ^= POLYGLOT_RANDOM[POLYGLOT_CASTLE_RANDOM + 2];
    if (g.castle[CS_BLACK_QUEEN] == 0) key ^= POLYGLOT_RANDOM[POLYGLOT_CASTLE_RANDOM + 3];
    if (g.epSquare > 0 && g.epSquare < 64) {
        // The square behind a pawn that just moved two: it counts only when a
        // pawn of the side to move could take it, legal or not.
        int side = g.sideToMove;
        int pawnSq = g.epSquare + (side == WHITE ? -8 : 8);
        int ourPawn = side == WHITE ? WHITE_PAWN : BLACK_PAWN;
        bool capturable = false;
        for (int d : {-1, 1}) {
            int f = fileOf(pawnSq) + d;
            if (f < 0 || f > 7) continue;
            int s = g.squareSlot[pawnSq + d];
            if (s != SLOT_EMPTY && (s >> 4) == side && g.slotType[s] == ourPawn) capturable = true;
        }
        if (capturable) key ^= POLYGLOT_RANDOM[POLYGLOT_EN_PASSANT_RANDOM + fileOf(g.epSquare)];
    }
    if (g.sideToMove == WHITE) key ^= POLYGLOT_RANDOM[POLYGLOT_TURN_RANDOM];
    return key;
}

static uint16_t squarePair(int from, int to) {
    return uint16_t(fileOf(to) | (rankOf(to) << 3) | (fileOf(from) << 6) | (rankOf(from) << 9));
}

uint16_t toPolyglotMove(uint32_t move) {
    int from = moveFrom(move), to = moveTo(move);
    switch (moveKind(move)) {
    case MK_CASTLE_KING: return squarePair(from, from + 3);
    case MK_CASTLE_QUEEN: return squarePair(from, from - 4);
    case MK_PROMO_KNIGHT: return uint16_t(squarePair(from, to) | (1 << 12));
    case MK_PROMO_BISHOP: return uint16_t(squarePair(from, to) | (2 << 12));
    case MK_PROMO_ROOK: return uint16_t(squarePair(from, to) | (3 << 12));
    case MK_PROMO_QUEEN: return uint16_t(squarePair(from, to) | (4 << 12));
    default: return squarePair(from, to);
    }
}

uint32_t fromPolyglotMove(const Game& g, uint16_t move) {
    // Matching the legal list in the format's own terms covers castling and
    // promotions, and never yields a move that cannot be played.
    for (int i = 0; g.legalMoves[i]; i++) {
        uint32_t m = g.legalMoves[i];
        if (m & MOVE_ILLEGAL) continue;
        if (toPolyglotMove(m) == move) return m & 0x7FFF;
    }
    return 0;
}

static bool hasExtension(const std::string& path, const char* ext) {
    size_t n = std::strlen(ext);
    return path.size() >= n && strcasecmp(path.c_str() + path.size() - n, ext) == 0;
}

bool isPolyglotBook(const std::string& path, FILE* f) {
    if (hasExtension(path, ".bin")) return true;
    if (hasExtension(path, ".bo2")) return false;
    // Our records open with a position text: placement letters, digits and
    // slashes, then a zero byte within the key field.
    unsigned char head[BOOK_KEY_SIZE];
    if (std::fseek(f, 0, SEEK_SET) != 0) return false;
    size_t n = std::fread(head, 1, sizeof head, f);
    size_t i = 0;
    while (i < n && head[i] != 0 && (std::strchr("kqrbnpKQRBNP12345678/ w-abcdefgh", head[i]) != nullptr)) i++;
    bool ours = i > 0 && i < n && head[i] == 0;
    return !ours;
}

void PolyglotBook::reset(const BookFileStamp& stamp) {
    fileStamp = stamp;
    entries = stamp.size / POLYGLOT_ENTRY_SIZE;
    checked = 0;
    lastKey = 0;
    // A cut-off entry means the file is not what it claims to be.
    broken = stamp.size == 0 || stamp.size % POLYGLOT_ENTRY_SIZE != 0;
}

bool PolyglotBook::readEntry(FILE* f, uint64_t index, PolyglotEntry& e) {
    unsigned char bytes[POLYGLOT_ENTRY_SIZE];
    if (std::fseek(f, long(index * POLYGLOT_ENTRY_SIZE), SEEK_SET) != 0) return false;
    if (std::fread(bytes, 1, sizeof bytes, f) != sizeof bytes) return false;
    decodePolyglotEntry(bytes, e);
    return true;
}

// Entries read per slice of the check; the stop check runs between slices.
constexpr size_t POLYGLOT_SLICE_ENTRIES = 4096;

bool PolyglotBook::check(FILE* f, BookStopCheck stop) {
    std::vector<unsigned char> buffer;
    while (checked < entries && !broken) {
        size_t count = size_t(std::min<uint64_t>(POLYGLOT_SLICE_ENTRIES, entries - checked));
        buffer.resize(count * POLYGLOT_ENTRY_SIZE);
        if (std::fseek(f, long(checked * POLYGLOT_ENTRY_SIZE), SEEK_SET) != 0 ||
            std::fread(buffer.data(), POLYGLOT_ENTRY_SIZE, count, f) != count) {
            broken = true;
            break;
        }
        for (size_t i = 0; i < count; i++) {
            PolyglotEntry e;
            decodePolyglotEntry(&buffer[i * POLYGLOT_ENTRY_SIZE], e);
            if (checked + i > 0 && e.key < lastKey) {
                broken = true;
                break;
            }
            lastKey = e.key;
        }
        checked += count;
        if (checked < entries && stop != nullptr && stop()) return false;
    }
    return checked == entries;
}

int PolyglotBook::find(FILE* f, uint64_t key, std::vector<PolyglotEntry>& out, BookStopCheck stop) {
    out.clear();
    if (!broken && !check(f, stop) && !broken) return -1;
    if (broken) return 0;
    // The first entry of the key: a binary search over the sorted file.
    uint64_t lo = 0, hi = entries;
    while (lo < hi) {
        uint64_t mid = lo + (hi - lo) / 2;
        PolyglotEntry e;
        if (!readEntry(f, mid, e)) return 0;
        if (e.key < key) lo = mid + 1;
        else hi = mid;
    }
    for (uint64_t i = lo; i < entries && out.size() < POLYGLOT_MAX_POSITION_ENTRIES; i++) {
        PolyglotEntry e;
        if (!readEntry(f, i, e)) return 0;  // the file shrank under us
        if (e.key != key) break;
        out.push_back(e);
    }
    return out.empty() ? 0 : 1;
}

int polyglotMoves(PolyglotBook& book, FILE* f, const Game& g, std::vector<PolyglotMove>& out, BookStopCheck stop) {
    out.clear();
    std::vector<PolyglotEntry> found;
    int code = book.find(f, polyglotKey(g), found, stop);
    if (code != 1) return code;
    for (const PolyglotEntry& e : found) {
        if (e.weight == 0) continue;
        uint32_t m = fromPolyglotMove(g, e.move);
        if (m == 0) continue;
        // A move stored twice counts once, with its first weight.
        bool seen = false;
        for (const PolyglotMove& p : out) seen = seen || p.move == m;
        if (!seen) out.push_back({m, e.weight});
    }
    return out.empty() ? 0 : 1;
}

uint32_t polyglotWeightedChoice(const std::vector<PolyglotMove>& moves) {
    uint32_t total = 0;
    for (const PolyglotMove& m : moves) total += m.weight;
    if (total == 0) return 0;
    // rand() promises only 15 bits; two draws cover any total of 256 weights.
    uint32_t draw = (uint32_t(std::rand() & 0x7FFF) << 15) | uint32_t(std::rand() & 0x7FFF);
    uint32_t pick = draw % total;
    for (const PolyglotMove& m : moves) {
        if (pick < m.weight) return m.move;
        pick -= m.weight;
    }
    return moves.back().move;
}
