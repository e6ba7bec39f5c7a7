#include "book/book.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>
#include "board/game.h"
#include "book/polyglot.h"
#include "platform/platform.h"

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

// Stored keys compare as texts ending at their zero byte, or after all 70
// bytes when damage left them unterminated (such a key matches no probe).
static int compareKeys(const unsigned char* a, const unsigned char* b) {
    for (int i = 0; i < BOOK_KEY_SIZE; i++) {
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        if (a[i] == 0) return 0;
    }
    return 0;
}

static uint64_t hashBytes(uint64_t h, const unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

// Eight bytes a step: indexing a large book hashes every key of it.
static uint64_t hashKey(const unsigned char* key) {
    const void* end = std::memchr(key, 0, BOOK_KEY_SIZE);
    size_t n = end ? size_t(static_cast<const unsigned char*>(end) - key) : size_t(BOOK_KEY_SIZE);
    unsigned char padded[BOOK_KEY_SIZE + 8] = {};
    std::memcpy(padded, key, n);
    uint64_t h = n * 0x9E3779B97F4A7C15ull;
    for (size_t i = 0; i < n; i += 8) {
        uint64_t w;
        std::memcpy(&w, padded + i, sizeof w);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    return h ^ (h >> 29);
}

// Records read per slice of work; the stop check runs between slices.
constexpr size_t BOOK_SLICE_RECORDS = 1024;
// Hashed records sorted together: bounds the work done without a stop check.
constexpr size_t BOOK_RUN_ENTRIES = size_t(1) << 18;

static bool readRecords(FILE* f, uint64_t first, size_t count, unsigned char* bytes) {
    if (std::fseek(f, long(first * BOOK_RECORD_SIZE), SEEK_SET) != 0) return false;
    return std::fread(bytes, BOOK_RECORD_SIZE, count, f) == count;
}

bool stampBookFile(FILE* f, const std::string& path, BookFileStamp& stamp) {
    if (std::fseek(f, 0, SEEK_END) != 0) return false;
    long size = std::ftell(f);
    if (size < 0) return false;
    stamp.path = path;
    stamp.size = uint64_t(size);
    std::error_code error;
    auto modified = std::filesystem::last_write_time(path, error);
    stamp.modified = error ? 0 : int64_t(modified.time_since_epoch().count());
    // The write time may not change between two quick rewrites of a file:
    // its ends tell most such rewrites apart.
    unsigned char bytes[4096];
    size_t head = size_t(std::min<long>(size, long(sizeof bytes)));
    uint64_t h = 0xCBF29CE484222325ull;
    if (std::fseek(f, 0, SEEK_SET) != 0 || std::fread(bytes, 1, head, f) != head) return false;
    h = hashBytes(h, bytes, head);
    if (std::fseek(f, size - long(head), SEEK_SET) != 0 || std::fread(bytes, 1, head, f) != head) return false;
    stamp.ends = hashBytes(h, bytes, head);
    return true;
}

void BookIndex::reset(const BookFileStamp& stamp) {
    fileStamp = stamp;
    records = stamp.size / BOOK_RECORD_SIZE;  // a truncated last record is no record
    scanned = sortedEnd = 0;
    full = unreadable = false;
    recordBits = 1;
    while (recordBits < 63 && (uint64_t(1) << recordBits) <= records) recordBits++;
    std::vector<unsigned char>().swap(fences);
    std::vector<uint64_t>().swap(entries);
    std::vector<size_t>().swap(runEnds);
    runStart = 0;
}

void BookIndex::addRecord(const unsigned char* bytes) {
    if (sortedEnd == scanned && (scanned == 0 || compareKeys(lastKey, bytes) <= 0)) {
        if (scanned % BOOK_FENCE_SPACING == 0) {
            if (memoryUsed() + BOOK_KEY_SIZE > memoryLimit) {
                full = true;
                return;
            }
            fences.insert(fences.end(), bytes, bytes + BOOK_KEY_SIZE);
        }
        std::memcpy(lastKey, bytes, BOOK_KEY_SIZE);
        sortedEnd = ++scanned;
        return;
    }
    if (std::memchr(bytes, 0, BOOK_KEY_SIZE) != nullptr) {
        if (memoryUsed() + sizeof(uint64_t) > memoryLimit) {
            full = true;
            return;
        }
        if (entries.capacity() == 0)  // one allocation, not a doubling past the limit
            entries.reserve(size_t(std::min(records - scanned, memoryLimit / sizeof(uint64_t))));
        uint64_t mask = (uint64_t(1) << recordBits) - 1;
        entries.push_back((hashKey(bytes) & ~mask) | scanned);
    }
    scanned++;
}

// Hashes spread evenly: one counting pass on the top bits leaves buckets of a
// few entries each to sort.
static void sortHashes(uint64_t* run, size_t n) {
    constexpr int TOP_BITS = 16;
    if (n < (size_t(1) << TOP_BITS) / 16) {
        std::sort(run, run + n);
        return;
    }
    std::vector<uint32_t> next(size_t(1) << TOP_BITS, 0);
    for (size_t i = 0; i < n; i++) next[run[i] >> (64 - TOP_BITS)]++;
    uint32_t sum = 0;
    for (uint32_t& c : next) {
        uint32_t count = c;
        c = sum;
        sum += count;
    }
    std::vector<uint64_t> sorted(n);
    for (size_t i = 0; i < n; i++) sorted[next[run[i] >> (64 - TOP_BITS)]++] = run[i];
    uint32_t begin = 0;
    for (uint32_t end : next) {  // now each bucket's end
        if (end - begin > 1) std::sort(sorted.begin() + begin, sorted.begin() + end);
        begin = end;
    }
    std::copy(sorted.begin(), sorted.end(), run);
}

void BookIndex::closeRun() {
    if (entries.size() == runStart) return;
    sortHashes(entries.data() + runStart, entries.size() - runStart);
    runEnds.push_back(entries.size());
    runStart = entries.size();
}

bool BookIndex::extend(FILE* f, BookStopCheck stop) {
    std::vector<unsigned char> buffer;
    while (scanned < records && !full && !unreadable) {
        size_t count = size_t(std::min<uint64_t>(BOOK_SLICE_RECORDS, records - scanned));
        buffer.resize(count * BOOK_RECORD_SIZE);
        if (!readRecords(f, scanned, count, buffer.data())) {
            unreadable = true;
            break;
        }
        for (size_t i = 0; i < count && !full; i++) addRecord(buffer.data() + i * BOOK_RECORD_SIZE);
        if (entries.size() - runStart >= BOOK_RUN_ENTRIES) closeRun();
        if (stop != nullptr && stop()) break;
    }
    closeRun();
    return scanned == records;
}

// The first record of the target among those indexed, which is the file's
// first: every record before it is indexed too.
int BookIndex::findIndexed(FILE* f, const unsigned char* target, BookRecord& r) {
    std::vector<unsigned char> bytes;
    size_t fenceCount = fences.size() / BOOK_KEY_SIZE;
    if (fenceCount > 0) {
        // The key's first record lies after the last sampled key below it
        // and no later than the next sampled one.
        size_t lo = 0, hi = fenceCount;
        while (lo < hi) {
            size_t mid = (lo + hi) / 2;
            if (compareKeys(&fences[mid * BOOK_KEY_SIZE], target) < 0) lo = mid + 1;
            else hi = mid;
        }
        uint64_t first = lo == 0 ? 0 : (lo - 1) * BOOK_FENCE_SPACING;
        uint64_t end = std::min<uint64_t>(lo * BOOK_FENCE_SPACING + 1, sortedEnd);
        bytes.resize(size_t(end - first) * BOOK_RECORD_SIZE);
        if (!readRecords(f, first, size_t(end - first), bytes.data())) return -1;
        for (size_t i = 0; i < size_t(end - first); i++) {
            int c = compareKeys(&bytes[i * BOOK_RECORD_SIZE], target);
            if (c > 0) break;
            if (c == 0) {
                decodeRecord(&bytes[i * BOOK_RECORD_SIZE], r);
                return 1;
            }
        }
    }
    uint64_t mask = (uint64_t(1) << recordBits) - 1;
    uint64_t tag = hashKey(target) & ~mask;
    unsigned char record[BOOK_RECORD_SIZE];
    size_t begin = 0;
    for (size_t end : runEnds) {
        // Within a run equal hashes are in file order.
        auto it = std::lower_bound(entries.begin() + long(begin), entries.begin() + long(end), tag);
        for (; it != entries.begin() + long(end) && (*it & ~mask) == tag; ++it) {
            if (!readRecords(f, *it & mask, 1, record)) return -1;
            if (compareKeys(record, target) == 0) {
                decodeRecord(record, r);
                return 1;
            }
        }
        begin = end;
    }
    return 0;
}

// Past the memory limit: the part of the file left out is scanned.
int BookIndex::scanRest(FILE* f, const unsigned char* target, BookRecord& r, BookStopCheck stop) {
    std::vector<unsigned char> buffer;
    for (uint64_t at = scanned; at < records;) {
        size_t count = size_t(std::min<uint64_t>(BOOK_SLICE_RECORDS, records - at));
        buffer.resize(count * BOOK_RECORD_SIZE);
        if (!readRecords(f, at, count, buffer.data())) return -1;
        for (size_t i = 0; i < count; i++)
            if (compareKeys(&buffer[i * BOOK_RECORD_SIZE], target) == 0) {
                decodeRecord(&buffer[i * BOOK_RECORD_SIZE], r);
                return 1;
            }
        at += count;
        if (at < records && stop != nullptr && stop()) return -1;
    }
    return 0;
}

int BookIndex::find(FILE* f, const char* key, BookRecord& r, BookStopCheck stop) {
    unsigned char target[BOOK_KEY_SIZE] = {};
    std::memcpy(target, key, strnlen(key, BOOK_MAX_KEY));
    int found = findIndexed(f, target, r);
    if (found != 0) return found;
    if (scanned < records && !full) {
        extend(f, stop);
        found = findIndexed(f, target, r);
        if (found != 0) return found;
    }
    if (unreadable) return -1;
    if (scanned == records) return 0;
    return full ? scanRest(f, target, r, stop) : -1;
}

// Prints "too long" for a key no record can hold.
static bool keyFits(const char* key) {
    if (std::strlen(key) <= size_t(BOOK_MAX_KEY)) return true;
    std::printf("too long\n");
    std::fflush(stdout);
    return false;
}

int bookLookup(FILE* f, const char* key, BookRecord& r) {
    clearRecord(r, key);
    BookFileStamp stamp;
    if (!keyFits(key) || !stampBookFile(f, "", stamp)) return 0;
    BookIndex index;
    index.reset(stamp);
    return index.find(f, key, r, nullptr) == 1 ? 1 : 0;
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

FILE* openBook(std::string* path) {
    // Only regular files: a FIFO or a device named like the book would hang
    // the search or feed it without end.
    auto open = [path](const std::string& name) {
        FILE* f = openRegularFile(name.c_str(), "rb");
        if (f != nullptr && path != nullptr) *path = name;
        return f;
    };
    if (!bookFileOverride.empty()) return open(bookFileOverride);
    // Without a known executable directory only the working directory's book counts.
    std::string dir = exeDirectory();
    FILE* f = dir.empty() ? nullptr : open(dir + "Velmora.bo2");
    // An installed engine finds its book in the shared data folder beside bin/.
    if (f == nullptr && !dir.empty()) f = open(dir + BOOK_SHARE_DIRECTORY + "Velmora.bo2");
    if (f == nullptr) f = open("Mini.bo2");
    return f;
}

// The book in use, indexed once per version of its file.
static BookIndex bookIndex;
static PolyglotBook polyglotBook;

static uint32_t ownBookProbe(FILE* f, const std::string& path, const Game& g, BookStopCheck stop) {
    char key[128];
    positionText(g, key);
    BookRecord r;
    clearRecord(r, key);
    BookFileStamp stamp;
    uint32_t move = 0;
    if (keyFits(key) && stampBookFile(f, path, stamp)) {
        if (!(stamp == bookIndex.stamp()) || bookIndex.readFailed()) bookIndex.reset(stamp);
        if (bookIndex.find(f, key, r, stop) == 1) {
            if (std::strncmp(key, BOOK_INITIAL_PLACEMENT, BOOK_INITIAL_LENGTH) == 0)
                move = std::rand() % 100 < BOOK_E2E4_PERCENT ? BOOK_MOVE_E2E4 : BOOK_MOVE_D2D4;
            else
                move = weightedChoice(r);
        }
    }
    return move;
}

static uint32_t polyglotBookProbe(FILE* f, const std::string& path, const Game& g, BookStopCheck stop) {
    BookFileStamp stamp;
    if (!stampBookFile(f, path, stamp)) return 0;
    if (!(stamp == polyglotBook.stamp())) polyglotBook.reset(stamp);
    std::vector<PolyglotMove> moves;
    if (polyglotMoves(polyglotBook, f, g, moves, stop) != 1) return 0;
    return polyglotWeightedChoice(moves);
}

uint32_t bookProbe(const Game& g, BookStopCheck stop) {
    std::string path;
    FILE* f = openBook(&path);
    if (f == nullptr) return 0;
    // The file decides its format, whatever option named it.
    uint32_t move = isPolyglotBook(path, f) ? polyglotBookProbe(f, path, g, stop) : ownBookProbe(f, path, g, stop);
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

int32_t bookMissCounter = BOOK_MISS_LIMIT;

void refillBookMisses() { bookMissCounter = BOOK_MISS_LIMIT; }

void bookAfterTakeBack(const Game& g) {
    if (g.ply < BOOK_WAKE_PLIES) refillBookMisses();
}

int bookMoveForSearch(const Game& g, uint32_t* moves, BookStopCheck stop) {
    if (bookMissCounter <= 0) return 0;
    uint32_t bookMove = bookProbe(g, stop);
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
