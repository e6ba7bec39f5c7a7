// Helpers the book tests share: temporary book files and move words.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>
#include <gtest/gtest.h>
#include "board/game.h"
#include "book/book.h"

namespace booktest {

inline uint32_t sq(const char* s) { return uint32_t((s[0] - 'a') + 8 * (s[1] - '1')); }
inline uint16_t mv(const char* s) { return uint16_t(sq(s) | (sq(s + 2) << 6)); }

inline std::string tempPath(const char* name) {
    return "/tmp/velmora_book_" + std::to_string(getpid()) + "_" + name;
}

inline BookRecord record(const char* key, std::vector<BookEntry> entries) {
    BookRecord r;
    clearRecord(r, key);
    for (size_t i = 0; i < entries.size() && i < size_t(BOOK_ENTRIES); i++) r.entries[i] = entries[i];
    return r;
}

inline std::vector<unsigned char> bytesOf(const std::vector<BookRecord>& records) {
    std::vector<unsigned char> out(records.size() * BOOK_RECORD_SIZE);
    for (size_t i = 0; i < records.size(); i++) encodeRecord(records[i], out.data() + i * BOOK_RECORD_SIZE);
    return out;
}

inline void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// Every test starts from a new game with the book pointed at its own file.
class BookFixture : public ::testing::Test {
protected:
    std::string path = tempPath("book.bo2");
    void SetUp() override {
        selectEnglishLetters();
        newGame(game);
        listMoves(game);
        refillBookMisses();
        setBookFile(path);
    }
    void TearDown() override {
        setBookFile("");
        std::remove(path.c_str());
    }
    static std::string currentKey() {
        char key[128];
        positionText(game, key);
        return key;
    }
};

}  // namespace booktest
