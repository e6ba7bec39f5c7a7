#include "egtb/tablebase.h"
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "egtb/tbregistry.h"

int tbMaxPieces = 0;
int tbLoaded = 0;
uint64_t tbCacheBytes = 4194304;
std::string tbPath;

namespace {

struct ClassSize {
    int number;
    const char* name;
    uint32_t white, black;
};
// Table sizes (positions, one byte each) with white and with black to move.
const ClassSize CLASS_SIZES[TB_CLASS_COUNT - 1] = {
    {1, "kpk", 81664, 84012},
    {2, "knk", 26282, 28644},
    {3, "kbk", 27243, 28644},
    {4, "krk", 27030, 28644},
    {5, "kqk", 25629, 28644},
    {6, "kpkp", 3863492, 3863492},
    {7, "knkp", 4931904, 4981504},
    {8, "knkn", 1603202, 1603202},
    {9, "kbkp", 5112000, 4981504},
    {10, "kbkn", 1661823, 1603202},
    {11, "kbkb", 1661823, 1661823},
    {12, "krkp", 5072736, 4981504},
    {13, "krkn", 1649196, 1603202},
    {14, "krkb", 1649196, 1661823},
    {15, "krkr", 1649196, 1649196},
    {16, "kqkp", 4810080, 4981504},
    {17, "kqkn", 1563735, 1603202},
    {18, "kqkb", 1563735, 1661823},
    {19, "kqkr", 1563735, 1649196},
    {20, "kqkq", 1563735, 1563735},
    {21, "kppk", 1806671, 1912372},
    {22, "knpk", 4648581, 5374656},
    {23, "knnk", 735304, 873642},
    {24, "kbpk", 4817128, 5374656},
    {25, "kbnk", 1550620, 1747284},
    {26, "kbbk", 789885, 873642},
    {27, "krpk", 4779530, 5374656},
    {28, "krnk", 1538479, 1747284},
    {29, "krbk", 1594560, 1747284},
    {30, "krrk", 777300, 873642},
    {31, "kqpk", 4533490, 5374656},
    {32, "kqnk", 1459616, 1747284},
    {33, "kqbk", 1512507, 1747284},
    {34, "kqrk", 1500276, 1747284},
    {35, "kqqk", 698739, 873642},
    {36, "kppkp", 84219361, 89391280},
    {37, "kppkn", 108400260, 115899744},
    {38, "kppkb", 108400260, 120132000},
    {39, "kppkr", 108400260, 119209296},
    {40, "kppkq", 108400260, 113036880},
    {41, "knpkp", 219949779, 235597160},
    {42, "knpkn", 278914860, 300846144},
    {43, "knpkb", 278914860, 311832000},
    {44, "knpkr", 278914860, 309442752},
    {45, "knpkq", 278914860, 293420736},
    {46, "knnkp", 137991648, 149445120},
    {47, "knnkn", 44118240, 48096060},
    {48, "knnkb", 44118240, 49854690},
    {49, "knnkr", 44118240, 49475880},
    {50, "knnkq", 44118240, 46912050},
    {51, "kbpkp", 227871488, 235597160},
    {52, "kbpkn", 289027680, 300846144},
    {53, "kbpkb", 289027680, 311832000},
    {54, "kbpkr", 289027680, 309442752},
    {55, "kbpkq", 289027680, 293420736},
    {56, "kbnkp", 290989584, 298890240},
    {57, "kbnkn", 93037200, 96192120},
    {58, "kbnkb", 93037200, 99709380},
    {59, "kbnkr", 93037200, 98951760},
    {60, "kbnkq", 93037200, 93824100},
    {61, "kbbkp", 148223520, 149445120},
    {62, "kbbkn", 47393100, 48096060},
    {63, "kbbkb", 47393100, 49854690},
    {64, "kbbkr", 47393100, 49475880},
    {65, "kbbkq", 47393100, 46912050},
    {66, "krpkp", 226108797, 235597160},
    {67, "krpkn", 286777440, 300846144},
    {68, "krpkb", 286777440, 311832000},
    {69, "krpkr", 286777440, 309442752},
    {70, "krpkq", 286777440, 293420736},
    {71, "krnkp", 288692928, 298890240},
    {72, "krnkn", 92308740, 96192120},
    {73, "krnkb", 92308740, 99709380},
    {74, "krnkr", 92308740, 98951760},
    {75, "krnkq", 92308740, 93824100},
    {76, "krbkp", 299203200, 298890240},
    {77, "krbkn", 95673600, 96192120},
    {78, "krbkb", 95673600, 99709380},
    {79, "krbkr", 95673600, 98951760},
    {80, "krbkq", 95673600, 93824100},
    {81, "krrkp", 145901232, 149445120},
    {82, "krrkn", 46658340, 48096060},
    {83, "krrkb", 46658340, 49854690},
    {84, "krrkr", 46658340, 49475880},
    {85, "krrkq", 46658340, 46912050},
    {86, "kqpkp", 214544917, 235597160},
    {87, "kqpkn", 272015040, 300846144},
    {88, "kqpkb", 272015040, 311832000},
    {89, "kqpkr", 272015040, 309442752},
    {90, "kqpkq", 272015040, 293420736},
    {91, "kqnkp", 273904512, 298890240},
    {92, "kqnkn", 87576960, 96192120},
    {93, "kqnkb", 87576960, 99709380},
    {94, "kqnkr", 87576960, 98951760},
    {95, "kqnkq", 87576960, 93824100},
    {96, "kqbkp", 283818240, 298890240},
    {97, "kqbkn", 90750420, 96192120},
    {98, "kqbkb", 90750420, 99709380},
    {99, "kqbkr", 90750420, 98951760},
    {100, "kqbkq", 90750420, 93824100},
    {101, "kqrkp", 281568240, 298890240},
    {102, "kqrkn", 90038460, 96192120},
    {103, "kqrkb", 90038460, 99709380},
    {104, "kqrkr", 90038460, 98951760},
    {105, "kqrkq", 90038460, 93824100},
    {106, "kqqkp", 131170128, 149445120},
    {107, "kqqkn", 41944320, 48096060},
    {108, "kqqkb", 41944320, 49854690},
    {109, "kqqkr", 41944320, 49475880},
    {110, "kqqkq", 41944320, 46912050},
};

// Material trie: ten levels (white P N B R Q, black P N B R Q); every node
// holds its largest count and one child per count, leaves the signed class.
struct TrieNode {
    int maxCount;
    std::vector<int> child;  // node numbers, or class values at the last level
};
std::vector<TrieNode> trie;
bool classTableBuilt = false;

// Scratch of one probe (countMen and fillPieceLists fill it, probeTablebase
// reads it): one per thread, as every search worker probes.
thread_local int materialKey[10];
thread_local int pieceList[2][TB_LIST_LEN];
void* cacheArea = nullptr;

void trieInsert(const int* key, int value) {
    int node = 0;
    for (int level = 0; level < 10; ++level) {
        TrieNode& n = trie[node];
        if (key[level] > n.maxCount) {
            n.maxCount = key[level];
            n.child.resize(size_t(key[level] + 1), level == 9 ? 0 : -1);
        }
        int& next = trie[node].child[size_t(key[level])];
        if (level == 9) {
            if (next == 0) next = value;  // a class equal to its exchange keeps +n
            return;
        }
        if (next < 0) {
            next = int(trie.size());
            trie.push_back(TrieNode{-1, {}});
        }
        node = next;
    }
}

}  // namespace

TbClassRow tbClasses[TB_CLASS_COUNT];

void tbKeyOfClass(int cls, int* key, bool exchanged) {
    const TbMaterial& m = tbClassMaterial(cls);
    static const int GROUP_OF_KEY[5] = {5, 4, 3, 2, 1};  // pawns, knights, bishops, rooks, queens
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 5; ++i) key[c * 5 + i] = m.count[exchanged ? 1 - c : c][GROUP_OF_KEY[i]];
}

int tbClassOfKey(const int* key) {
    if (trie.empty()) return 0;
    int node = 0;
    for (int level = 0; level < 10; ++level) {
        const TrieNode& n = trie[size_t(node)];
        if (key[level] < 0 || key[level] > n.maxCount) return 0;
        node = n.child[size_t(key[level])];
        if (level == 9) return node;
        if (node < 0) return 0;
    }
    return 0;
}

void buildClassTable() {
    if (classTableBuilt) return;
    buildIndexTables();
    std::memset(tbClasses, 0, sizeof tbClasses);
    std::strcpy(tbClasses[0].name, "kk");
    for (int i = 1; i < TB_CLASS_COUNT; ++i) {
        TbClassRow& row = tbClasses[i];
        const ClassSize& s = CLASS_SIZES[i - 1];
        row.number = uint64_t(s.number);
        row.index[0] = tbIndexMember(i, 0);
        row.index[1] = tbIndexMember(i, 1);
        std::strncpy(row.name, s.name, sizeof row.name - 1);
        row.size[0] = s.white;
        row.size[1] = s.black;
    }
    trie.assign(1, TrieNode{-1, {}});
    int key[10];
    for (int i = 1; i < TB_CLASS_COUNT; ++i) {
        tbKeyOfClass(i, key, false);
        trieInsert(key, i);
    }
    for (int i = 1; i < TB_CLASS_COUNT; ++i) {
        tbKeyOfClass(i, key, true);
        trieInsert(key, -i);
    }
    classTableBuilt = true;
}

int initTablebases(const char* paths, uint64_t cacheBytes) {
    // Only the first load is the start-up; later ones come during a game.
    tbFatalFileFaults = tbLoaded == 0;
    closeTablebases();  // idempotent, so also safe on the first call
    buildClassTable();
    forgetTableFiles();
    releaseDecodeState();
    // Sizes return to the table's own (a registration records the file's).
    for (int i = 1; i < TB_CLASS_COUNT; ++i) {
        tbClasses[i].size[0] = CLASS_SIZES[i - 1].white;
        tbClasses[i].size[1] = CLASS_SIZES[i - 1].black;
    }
    std::string list = paths ? paths : "";
    int largest = 0;
    size_t start = 0;
    while (true) {
        size_t end = list.find_first_of(",;", start);
        std::string dir = list.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (int cls = 1; cls < TB_CLASS_COUNT; ++cls)
            for (int side = 0; side < 2; ++side)
                if (registerTableFile(dir.c_str(), cls, side) && cls > largest) largest = cls;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    tbMaxPieces = largest > 35 ? 5 : largest > 5 ? 4 : largest >= 1 ? 3 : 0;
    if (tbCompressedCount) allocateDecodeState();
    std::fprintf(stderr, "TbPath=<%s>\n", list.c_str());
    std::fprintf(stderr, "InitTb=%d\n", tbMaxPieces);
    uint64_t bytes = std::clamp(cacheBytes, TB_CACHE_MIN_BYTES, TB_CACHE_MAX_BYTES);
    cacheArea = std::malloc(size_t(bytes));
    if (!cacheArea) {
        std::printf("*** Cannot allocate %d bytes of memory\n", int(bytes));
        std::fflush(stdout);
        std::exit(1);
    }
    setupBlockCache(cacheArea, bytes);
    tbLoaded = 1;
    return tbMaxPieces;
}

int reinitTablebases() { return initTablebases(tbPath.c_str(), tbCacheBytes); }

void closeTablebases() {
    // Safe to call twice: a fatal exit during re-registration runs it again.
    closeTableFiles();
    setupBlockCache(nullptr, 0);
    std::free(cacheArea);
    cacheArea = nullptr;
}

int countMen(const WorkBoard& b) {
    std::memset(materialKey, 0, sizeof materialKey);
    int men = 0;
    for (int slot = 1; slot < 32; ++slot) {
        if (slot == 16 || b.slotSquare[slot] >= 64) continue;
        int base = slot < 16 ? 0 : 5;
        switch (b.slotType[slot]) {
        case WHITE_PAWN:
        case BLACK_PAWN: ++materialKey[base]; break;
        case KNIGHT: ++materialKey[base + 1]; break;
        case BISHOP: ++materialKey[base + 2]; break;
        case ROOK: ++materialKey[base + 3]; break;
        case QUEEN: ++materialKey[base + 4]; break;
        default: continue;
        }
        ++men;
    }
    return men;
}

void fillPieceLists(const WorkBoard& b) {
    for (int c = 0; c < 2; ++c) {
        int fill[6] = {};
        for (int i = 0; i < TB_LIST_LEN; ++i) pieceList[c][i] = -1;
        for (int slot = c * 16; slot < c * 16 + 16; ++slot) {
            int s = b.slotSquare[slot];
            if (s >= 64) continue;
            int t = b.slotType[slot];
            int group = t == KING ? 0 : t == QUEEN ? 1 : t == ROOK ? 2 : t == BISHOP ? 3 : t == KNIGHT ? 4 : 5;
            if (t > BLACK_PAWN) continue;
            if (group == 0 && slot != c * 16) continue;
            if (fill[group] < TB_LIST_SIZE[group]) pieceList[c][TB_LIST_START[group] + fill[group]++] = s;
        }
    }
}

int probeTablebase(int side, int epSquare) {
    int c = tbClassOfKey(materialKey);
    if (c == 0) return TB_NO_VALUE;
    const int* first = pieceList[0];
    const int* second = pieceList[1];
    int invert = 0;
    if (c < 0) {
        c = -c;
        std::swap(first, second);
        invert = 1;
        side = 1 - side;
    }
    TbClassRow& row = tbClasses[c];
    if (!row.side[side].path || !row.index[side]) return TB_NO_VALUE;
    uint32_t index = row.index[side](first, second, epSquare, invert);
    if (index == TB_INDEX_NONE) return TB_NO_VALUE;
    return tablebaseValue(c, side, index);
}
