#include "book/book.h"
#include <cstdlib>
#include <cstring>
#include <vector>
#include "board/game.h"
#include "engine/platform.h"

static std::string bookFileOverride;

void setBookFile(const std::string& path) { bookFileOverride = path; }

static void putWord(unsigned char* p, uint16_t v) {
    p[0] = uint8_t(v & 0xFF);
    p[1] = uint8_t(v >> 8);
}

static uint16_t getWord(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }

void encodeRecord(const BookRecord& r, unsigned char* bytes) {
    std::memset(bytes, 0, BOOK_RECORD_SIZE);
    size_t n = strnlen(r.key, BOOK_MAX_KEY);
    std::memcpy(bytes, r.key, n);
    for (int i = 0; i < BOOK_ENTRIES; i++) {
        unsigned char* e = bytes + BOOK_ENTRY_OFFSET + i * BOOK_ENTRY_SIZE;
        putWord(e, r.entries[i].count);
        putWord(e + 2, r.entries[i].points);
        putWord(e + 4, r.entries[i].move);
    }
}

void decodeRecord(const unsigned char* bytes, BookRecord& r) {
    std::memcpy(r.key, bytes, BOOK_KEY_SIZE);
    for (int i = 0; i < BOOK_ENTRIES; i++) {
        const unsigned char* e = bytes + BOOK_ENTRY_OFFSET + i * BOOK_ENTRY_SIZE;
        r.entries[i].count = getWord(e);
        r.entries[i].points = getWord(e + 2);
        r.entries[i].move = getWord(e + 4);
    }
}

void clearRecord(BookRecord& r, const char* key) {
    std::memset(&r, 0, sizeof r);
    std::memcpy(r.key, key, strnlen(key, BOOK_MAX_KEY));
}

// A stored key matches only when it ends within its 70 bytes; an unterminated
// key is damage and never matches.
static bool keyMatches(const unsigned char* stored, const char* key, size_t keyLength) {
    const void* end = std::memchr(stored, 0, BOOK_KEY_SIZE);
    if (end == nullptr) return false;
    size_t n = size_t(static_cast<const unsigned char*>(end) - stored);
    return n == keyLength && std::memcmp(stored, key, n) == 0;
}

int bookLookup(FILE* f, const char* key, BookRecord& r) {
    clearRecord(r, key);
    size_t keyLength = std::strlen(key);
    if (keyLength > size_t(BOOK_MAX_KEY)) {
        // No well-formed record holds such a key: the scan would be futile.
        std::printf("too long\n");
        std::fflush(stdout);
        return 0;
    }
    if (std::fseek(f, 0, SEEK_SET) != 0) return 0;
    // Whole records only: a truncated last record is never looked at.
    constexpr size_t kChunkRecords = 1024;
    std::vector<unsigned char> buffer(kChunkRecords * BOOK_RECORD_SIZE);
    for (;;) {
        size_t got = std::fread(buffer.data(), 1, buffer.size(), f);
        size_t records = got / BOOK_RECORD_SIZE;
        for (size_t i = 0; i < records; i++) {
            const unsigned char* bytes = buffer.data() + i * BOOK_RECORD_SIZE;
            if (keyMatches(bytes, key, keyLength)) {
                decodeRecord(bytes, r);
                return 1;
            }
        }
        if (got < buffer.size()) return 0;
    }
}

int entrySlots(const BookEntry& e) {
    float percent = 50.0f;
    if (e.count != 0) percent = float(e.points) * 0.5f / float(e.count) * 100.0f;
    // Points above twice the count are damage; they must not outweigh a
    // perfect score.
    if (percent > 100.0f) percent = 100.0f;
    if (percent < 0.0f) percent = 0.0f;
    return int(percent / 10.0f) + 1;
}

uint32_t weightedChoice(const BookRecord& r) {
    int n = 0;
    while (n < BOOK_ENTRIES && r.entries[n].move != 0) n++;
    if (n == 0) return 0;
    int slots[BOOK_ENTRIES];
    int total = 0;
    for (int i = 0; i < n; i++) total += slots[i] = entrySlots(r.entries[i]);
    int pick = std::rand() % total;
    for (int i = 0; i < n; i++) {
        if (pick < slots[i]) return r.entries[i].move;
        pick -= slots[i];
    }
    return r.entries[n - 1].move;
}

FILE* openBook() {
    if (!bookFileOverride.empty()) return std::fopen(bookFileOverride.c_str(), "rb");
    // Without a known executable directory only the working directory's book counts.
    std::string dir = exeDirectory();
    FILE* f = dir.empty() ? nullptr : std::fopen((dir + "Velmora.bo2").c_str(), "rb");
    if (f == nullptr) f = std::fopen("Mini.bo2", "rb");
    return f;
}

uint32_t bookProbe() {
    FILE* f = openBook();
    if (f == nullptr) return 0;
    char key[128];
    positionText(game, key);
    BookRecord r;
    uint32_t move = 0;
    if (bookLookup(f, key, r)) {
        if (std::strncmp(key, BOOK_INITIAL_PLACEMENT, BOOK_INITIAL_LENGTH) == 0)
            move = std::rand() % 100 < BOOK_E2E4_PERCENT ? BOOK_MOVE_E2E4 : BOOK_MOVE_D2D4;
        else
            move = weightedChoice(r);
    }
    std::fclose(f);
    return move;
}

// The legal list entry the book move names: same squares, and the same
// promotion piece when the book gives one; -1 when the move is not legal.
static int legalIndex(const uint32_t* moves, uint32_t bookMove) {
    int first = -1;
    for (int i = 0; moves[i]; i++) {
        uint32_t m = moves[i];
        if ((m & MOVE_ILLEGAL) || (m & 0xFFF) != (bookMove & 0xFFF)) continue;
        if (isPromotion(m) && isPromotion(bookMove) && (m & 0x7FFF) == (bookMove & 0x7FFF)) return i;
        if (first < 0) first = i;
    }
    return first;
}

int bookMoveForSearch(uint32_t* moves) {
    if (bookMissCounter <= 0) return 0;
    uint32_t bookMove = bookProbe();
    if (bookMove == 0) {
        bookMissCounter--;
        return 0;
    }
    int i = legalIndex(moves, bookMove);
    if (i < 0) return 0;
    uint32_t chosen = moves[i];
    moves[i] = moves[0];
    moves[0] = chosen;
    return 1;
}
