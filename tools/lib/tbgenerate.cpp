#include "tools/lib/tbgenerate.h"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <queue>
#include "egtb/tbdecode.h"
#include "egtb/tbindex.h"
#include "egtb/tbregistry.h"

namespace {

enum { ST_UNKNOWN = 0, ST_WIN = 1, ST_LOSS = 2, ST_DRAW = 3, ST_UNUSED = 4 };

struct Man {
    int colour, group, sq;
};
struct Pos {
    Man men[6];
    int count;
    int ep;
};

// The outcome of a successor that leaves the class, for the side then to move.
struct Succ {
    bool inClass;
    int state, plies;
};

Pos fromPlacement(const TbPlacement& p) {
    Pos pos;
    pos.count = 0;
    pos.ep = p.epSquare;
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < TB_LIST_LEN; ++i) {
            int s = p.list[c][i];
            if (s < 0 || s >= 64) continue;
            int g = 0;
            for (int k = 5; k >= 0; --k)
                if (i >= TB_LIST_START[k]) { g = k; break; }
            pos.men[pos.count++] = Man{c, g, s};
        }
    return pos;
}

void toLists(const Pos& pos, int lists[2][TB_LIST_LEN]) {
    int fill[2][6] = {};
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < TB_LIST_LEN; ++i) lists[c][i] = -1;
    for (int g = 0; g < 6; ++g)
        for (int i = 0; i < pos.count; ++i) {
            const Man& m = pos.men[i];
            if (m.group == g && fill[m.colour][g] < TB_LIST_SIZE[g])
                lists[m.colour][TB_LIST_START[g] + fill[m.colour][g]++] = m.sq;
        }
}

uint64_t occupancy(const Pos& p) {
    uint64_t o = 0;
    for (int i = 0; i < p.count; ++i) o |= 1ull << p.men[i].sq;
    return o;
}

bool kingAttacked(const Pos& p, int colour) {
    int k = -1;
    for (int i = 0; i < p.count; ++i)
        if (p.men[i].colour == colour && p.men[i].group == 0) k = p.men[i].sq;
    uint64_t occ = occupancy(p);
    for (int i = 0; i < p.count; ++i)
        if (p.men[i].colour != colour && tbAttacks(p.men[i].group, p.men[i].colour, p.men[i].sq, k, occ)) return true;
    return false;
}

int manAt(const Pos& p, int sq) {
    for (int i = 0; i < p.count; ++i)
        if (p.men[i].sq == sq) return i;
    return -1;
}

// Legal successors of the side to move, as positions with the other side to move.
void generate(const Pos& p, int side, std::vector<Pos>& out) {
    out.clear();
    static const int KING_STEPS[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    static const int KNIGHT_STEPS[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
    auto emit = [&](int mover, int to, int promoteTo, int capturedAt, int newEp) {
        Pos q = p;
        if (capturedAt >= 0) {
            int v = manAt(q, capturedAt);
            if (v < 0 || q.men[v].group == 0) return;
            q.men[v] = q.men[--q.count];
            if (mover == q.count) mover = v;
        }
        q.men[mover].sq = to;
        if (promoteTo) q.men[mover].group = promoteTo;
        q.ep = newEp;
        if (!kingAttacked(q, side)) out.push_back(q);
    };
    for (int i = 0; i < p.count; ++i) {
        const Man& m = p.men[i];
        if (m.colour != side) continue;
        int f = m.sq & 7, r = m.sq >> 3;
        auto target = [&](int to) {
            int o = manAt(p, to);
            if (o < 0) emit(i, to, 0, -1, -1);
            else if (p.men[o].colour != side) emit(i, to, 0, to, -1);
            return o < 0;
        };
        if (m.group == 0 || m.group == 4) {
            const int (*steps)[2] = m.group == 0 ? KING_STEPS : KNIGHT_STEPS;
            for (int k = 0; k < 8; ++k) {
                int nf = f + steps[k][0], nr = r + steps[k][1];
                if (nf >= 0 && nf < 8 && nr >= 0 && nr < 8) target(nr * 8 + nf);
            }
        } else if (m.group <= 3) {
            for (int k = 0; k < 8; ++k) {
                bool diagonal = k >= 4;
                if ((m.group == 2 && diagonal) || (m.group == 3 && !diagonal)) continue;
                for (int nf = f + KING_STEPS[k][0], nr = r + KING_STEPS[k][1]; nf >= 0 && nf < 8 && nr >= 0 && nr < 8;
                     nf += KING_STEPS[k][0], nr += KING_STEPS[k][1])
                    if (!target(nr * 8 + nf)) break;
            }
        } else {
            int dir = side == 0 ? 8 : -8;
            int lastRank = side == 0 ? 7 : 0, startRank = side == 0 ? 1 : 6;
            int to = m.sq + dir;
            auto pawnTo = [&](int dest, int capturedAt, int newEp) {
                if ((dest >> 3) == lastRank)
                    for (int g = 1; g <= 4; ++g) emit(i, dest, g, capturedAt, -1);
                else
                    emit(i, dest, 0, capturedAt, newEp);
            };
            if (manAt(p, to) < 0) {
                pawnTo(to, -1, -1);
                int two = to + dir;
                if (r == startRank && manAt(p, two) < 0) {
                    // The other side may take en passant when its pawn stands beside.
                    int ep = -1;
                    for (int df = -1; df <= 1; df += 2) {
                        int nf = (two & 7) + df;
                        if (nf < 0 || nf > 7) continue;
                        int o = manAt(p, two + df);
                        if (o >= 0 && p.men[o].colour != side && p.men[o].group == 5) ep = to;
                    }
                    emit(i, two, 0, -1, ep);
                }
            }
            for (int df = -1; df <= 1; df += 2) {
                if (f + df < 0 || f + df > 7) continue;
                int dest = to + df;
                int o = manAt(p, dest);
                if (o >= 0 && p.men[o].colour != side) pawnTo(dest, dest, -1);
                if (o < 0 && dest == p.ep) emit(i, dest, 0, dest - dir, -1);
            }
        }
    }
}

void outcomeOfByte(int8_t b, int& state, int& plies) {
    if (b == 0 || b == 127 || b < -126) state = ST_DRAW, plies = 0;
    else if (b > 0) state = ST_WIN, plies = 2 * (127 - b) - 1;
    else state = ST_LOSS, plies = 2 * (b + 126);
}

// The successor's outcome when it leaves the class.
// Reads the stored outcome of an entry: (class, side, index) -> state, plies.
typedef std::function<bool(int, int, uint32_t, int&, int&)> OutcomeLookup;

bool outcomeOf(const Pos& q, int side, const OutcomeLookup& lookup, Succ& s, std::string& error) {
    int key[10] = {};
    static const int KEY_OF_GROUP[6] = {-1, 4, 3, 2, 1, 0};
    int men = 0;
    for (int i = 0; i < q.count; ++i)
        if (q.men[i].group) key[q.men[i].colour * 5 + KEY_OF_GROUP[q.men[i].group]]++, ++men;
    s.inClass = false;
    if (men == 0) {
        s.state = ST_DRAW, s.plies = 0;
        return true;
    }
    int c = tbClassOfKey(key);
    if (c == 0) {
        error = "no class for a successor";
        return false;
    }
    int lists[2][TB_LIST_LEN];
    toLists(q, lists);
    uint32_t index;
    int tableSide = side;
    if (c > 0) {
        index = tbIndex(c, side, lists[0], lists[1], q.ep, 0);
    } else {
        c = -c;
        tableSide = 1 - side;
        index = tbIndex(c, tableSide, lists[1], lists[0], q.ep, 1);
    }
    if (!lookup(c, tableSide, index, s.state, s.plies)) {
        error = std::string("successor table ") + tbClassName(c) + " missing or index out of range";
        return false;
    }
    return true;
}

// Classes reached by captures and promotions from a class.
std::vector<int> dependencies(int cls) {
    const TbMaterial& m = tbClassMaterial(cls);
    std::vector<int> out;
    auto add = [&](int count[2][6]) {
        int key[10] = {};
        static const int KEY_OF_GROUP[6] = {-1, 4, 3, 2, 1, 0};
        int men = 0;
        for (int c = 0; c < 2; ++c)
            for (int g = 1; g <= 5; ++g) key[c * 5 + KEY_OF_GROUP[g]] += count[c][g], men += count[c][g];
        int k = tbClassOfKey(key);
        if (men && k && std::find(out.begin(), out.end(), std::abs(k)) == out.end()) out.push_back(std::abs(k));
    };
    for (int c = 0; c < 2; ++c)
        for (int g = 1; g <= 5; ++g) {
            if (!m.count[c][g]) continue;
            int cnt[2][6];
            std::memcpy(cnt, m.count, sizeof cnt);
            cnt[c][g]--;
            add(cnt);  // captured
            if (g == 5)
                for (int p = 1; p <= 4; ++p) {
                    cnt[c][p]++;
                    add(cnt);  // promoted
                    cnt[c][p]--;
                }
        }
    return out;
}

}  // namespace

int8_t tbStoredByte(int state, int plies) {
    if (state == ST_WIN) return int8_t(127 - std::min((plies + 1) / 2, 126));
    if (state == ST_LOSS) return int8_t(std::min(plies / 2, 126) - 126);
    if (state == ST_UNUSED) return 127;
    return 0;
}

int tbClassByName(const std::string& name) {
    buildClassTable();
    for (int c = 1; c < TB_CLASS_COUNT; ++c)
        if (name == tbClassName(c)) return c;
    return 0;
}

bool tbSolveClass(int cls, TbSolvedSet& solved, std::string& error) {
    buildClassTable();
    if (cls < 1 || cls >= TB_CLASS_COUNT) return error = "unknown class", false;
    if (solved.count(cls)) return true;
    for (int d : dependencies(cls))
        if (d != cls && !tbSolveClass(d, solved, error)) return false;
    const TbMaterial& material = tbClassMaterial(cls);
    uint32_t size[2] = {tbClasses[cls].size[0], tbClasses[cls].size[1]};
    const uint16_t NONE = 0xFFFF;
    std::vector<uint8_t> state[2];
    std::vector<uint16_t> plies[2];
    std::vector<uint32_t> canonical[2];  // index of the entry that holds each position's value
    std::vector<uint32_t> start[2];      // in-class successors, compressed rows
    std::vector<uint32_t> succ[2];
    // Successors leaving the class, summed up: the fastest loss they leave
    // the opponent, the slowest win, and whether any is a draw.
    std::vector<uint16_t> exitLost[2], exitWon[2];
    std::vector<uint8_t> exitDrawn[2];
    std::vector<Pos> moves;
    int longestExit = 0;
    OutcomeLookup fromSolved = [&](int c, int side, uint32_t index, int& st, int& pl) {
        auto it = solved.find(c);
        if (it == solved.end() || index >= it->second.bytes[side].size()) return false;
        outcomeOfByte(it->second.bytes[side][index], st, pl);
        return true;
    };
    for (int side = 0; side < 2; ++side) {
        state[side].assign(size[side], ST_UNUSED);
        plies[side].assign(size[side], 0);
        canonical[side].assign(size[side], TB_INDEX_NONE);
        start[side].assign(size[side] + 1, 0);
        exitLost[side].assign(size[side], NONE);
        exitWon[side].assign(size[side], 0);
        exitDrawn[side].assign(size[side], 0);
        for (uint32_t i = 0; i < size[side]; ++i) {
            start[side][i] = uint32_t(succ[side].size());
            TbPlacement pl;
            if (!tbDecode(cls, side, i, pl) || !tbPlacementLegal(pl, side)) continue;
            uint32_t own = tbIndex(cls, side, pl.list[0], pl.list[1], pl.epSquare, 0);
            canonical[side][i] = own;
            if (own != i) continue;
            Pos p = fromPlacement(pl);
            generate(p, side, moves);
            for (const Pos& q : moves) {
                int cnt[2][6] = {};
                for (int k = 0; k < q.count; ++k) cnt[q.men[k].colour][q.men[k].group]++;
                bool same = true;
                for (int c = 0; c < 2; ++c)
                    for (int g = 1; g <= 5; ++g) same = same && cnt[c][g] == material.count[c][g];
                if (same) {
                    int lists[2][TB_LIST_LEN];
                    toLists(q, lists);
                    uint32_t index = tbIndex(cls, 1 - side, lists[0], lists[1], q.ep, 0);
                    if (index >= size[1 - side]) return error = "successor index out of range", false;
                    succ[side].push_back(index);
                    continue;
                }
                Succ s{};
                if (!outcomeOf(q, 1 - side, fromSolved, s, error)) return false;
                longestExit = std::max(longestExit, s.plies);
                if (s.state == ST_LOSS) exitLost[side][i] = std::min<uint16_t>(exitLost[side][i], uint16_t(s.plies));
                else if (s.state == ST_WIN) exitWon[side][i] = std::max<uint16_t>(exitWon[side][i], uint16_t(s.plies));
                else exitDrawn[side][i] = 1;
            }
            if (moves.empty()) {
                state[side][i] = kingAttacked(p, side) ? ST_LOSS : ST_DRAW;
                plies[side][i] = 0;
            } else {
                state[side][i] = ST_UNKNOWN;
            }
        }
        start[side][size[side]] = uint32_t(succ[side].size());
    }
    // Ply by ply: a win in n needs a successor lost in n - 1; a loss in n
    // needs every successor won in fewer than n plies.
    for (int n = 1;; ++n) {
        bool changed = false;
        for (int side = 0; side < 2; ++side) {
            const std::vector<uint8_t>& st = state[1 - side];
            const std::vector<uint16_t>& pl = plies[1 - side];
            for (uint32_t i = 0; i < size[side]; ++i) {
                if (state[side][i] != ST_UNKNOWN) continue;
                bool win = exitLost[side][i] == n - 1;
                bool allWon = !exitDrawn[side][i] && exitLost[side][i] == NONE && exitWon[side][i] <= n - 1;
                for (uint32_t k = start[side][i]; k < start[side][i + 1] && !win; ++k) {
                    uint32_t j = succ[side][k];
                    // Entries settled in this pass carry n plies and do not count yet.
                    if (st[j] == ST_LOSS && pl[j] == n - 1) win = true;
                    if (st[j] != ST_WIN || pl[j] > n - 1) allWon = false;
                }
                if (win) state[side][i] = ST_WIN, plies[side][i] = uint16_t(n), changed = true;
                else if (allWon) state[side][i] = ST_LOSS, plies[side][i] = uint16_t(n), changed = true;
            }
        }
        if (!changed && n > longestExit + 2) break;
        if (n > 1000) return error = "no convergence", false;
    }
    TbSolvedClass& out = solved[cls];
    out.cls = cls;
    for (int side = 0; side < 2; ++side) {
        out.bytes[side].assign(size[side], 127);
        for (uint32_t i = 0; i < size[side]; ++i) {
            uint32_t c = canonical[side][i];
            if (c >= size[side]) continue;
            int st = state[side][c] == ST_UNKNOWN ? int(ST_DRAW) : int(state[side][c]);
            out.bytes[side][i] = tbStoredByte(st, plies[side][c]);
        }
    }
    return true;
}

namespace {

std::string tablePath(const std::string& dir, int cls, int side, bool compressed) {
    std::string base = dir.empty() ? std::string() : dir + "/";
    return base + tbClassName(cls) + (side ? ".nbb" : ".nbw") + (compressed ? ".emd" : "");
}

bool writeFile(const std::string& path, const void* data, size_t bytes, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return error = "cannot create " + path, false;
    bool ok = std::fwrite(data, 1, bytes, f) == bytes;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) error = "cannot write " + path;
    return ok;
}

// Huffman code lengths (at most 31 bits) for the frequencies.
void codeLengths(const std::vector<uint64_t>& freq, std::vector<uint8_t>& len) {
    size_t n = freq.size();
    len.assign(n, 0);
    std::vector<uint64_t> f = freq;
    for (;;) {
        std::vector<int> used;
        for (size_t s = 0; s < n; ++s)
            if (f[s]) used.push_back(int(s));
        if (used.empty()) return;
        if (used.size() == 1) {
            len[size_t(used[0])] = 1;
            return;
        }
        typedef std::pair<uint64_t, int> Item;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
        std::vector<int> parent(used.size() * 2, -1);
        int next = int(used.size());
        for (size_t i = 0; i < used.size(); ++i) heap.push(Item(f[size_t(used[i])], int(i)));
        while (heap.size() > 1) {
            Item a = heap.top();
            heap.pop();
            Item b = heap.top();
            heap.pop();
            parent[size_t(a.second)] = parent[size_t(b.second)] = next;
            heap.push(Item(a.first + b.first, next++));
        }
        int longest = 0;
        for (size_t i = 0; i < used.size(); ++i) {
            int d = 0;
            for (int k = int(i); parent[size_t(k)] >= 0; k = parent[size_t(k)]) ++d;
            len[size_t(used[i])] = uint8_t(std::min(d, 255));
            longest = std::max(longest, d);
        }
        if (longest <= TB_MAX_CODE_LENGTH) return;
        for (auto& x : f) x = x ? (x + 1) / 2 : 0;  // flatten and retry
    }
}

void canonicalCodes(const std::vector<uint8_t>& len, std::vector<uint32_t>& code) {
    code.assign(len.size(), 0);
    uint32_t count[TB_MAX_CODE_LENGTH + 2] = {}, next[TB_MAX_CODE_LENGTH + 2] = {};
    for (uint8_t l : len)
        if (l) count[l]++;
    uint32_t c = 0;
    for (int l = 1; l <= TB_MAX_CODE_LENGTH; ++l) {
        c = (c + count[l - 1]) << 1;
        next[l] = c;
    }
    for (size_t s = 0; s < len.size(); ++s)
        if (len[s]) code[s] = next[len[s]]++;
}

struct BitWriter {
    std::vector<uint8_t> bytes;
    uint64_t bits = 0;
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i) {
            if ((bits & 7) == 0) bytes.push_back(0);
            if ((v >> i) & 1) bytes.back() |= uint8_t(0x80 >> (bits & 7));
            ++bits;
        }
    }
    void align() { bits = (bits + 7) & ~uint64_t(7); }
};

const uint32_t DISTANCES[TB_MATCH_DISTANCES] = {1,  2,  3,  4,  5,   6,   7,   8,    16,   24,   32,   48,
                                                60, 61, 62, 63, 64,  96,  128, 256,  512,  1024, 2048, 4096};

struct Token {
    uint16_t symbol;
    uint8_t extraBits;
    uint32_t extra;
};

void tokenise(const uint8_t* data, uint32_t n, std::vector<Token>& out) {
    out.clear();
    for (uint32_t p = 0; p < n;) {
        uint32_t bestLen = 0, bestSlot = 0;
        for (uint32_t slot = 0; slot < TB_MATCH_DISTANCES; ++slot) {
            uint32_t d = DISTANCES[slot];
            if (d > p) continue;
            uint32_t l = 0;
            while (p + l < n && data[p + l] == data[p + l - d]) ++l;
            if (l > bestLen) bestLen = l, bestSlot = slot;
        }
        if (bestLen < 3) {
            out.push_back(Token{data[p], 0, 0});
            ++p;
            continue;
        }
        Token t;
        if (bestLen <= 15) {
            t = Token{uint16_t(256 + bestSlot * 32 + (bestLen - 1)), 0, 0};
        } else {
            int e = 1;
            while ((1u << (e + 1)) + 14 <= bestLen && e < 17) ++e;
            uint32_t maxLen = (1u << e) + (1u << e) - 1 + 14;
            if (bestLen > maxLen) bestLen = maxLen;
            t = Token{uint16_t(256 + bestSlot * 32 + 14 + e), uint8_t(e), bestLen - (1u << e) - 14};
        }
        out.push_back(t);
        p += bestLen;
    }
}

}  // namespace

bool tbCompressTable(const std::vector<int8_t>& table, std::vector<uint8_t>& out, std::string& error) {
    const uint8_t* data = reinterpret_cast<const uint8_t*>(table.data());
    uint32_t n = uint32_t(table.size());
    if (n == 0) return error = "empty table", false;
    uint32_t blocks = (n + TB_BLOCK_BYTES - 1) / TB_BLOCK_BYTES;
    std::vector<std::vector<Token>> tokens(blocks);
    std::vector<uint64_t> freq(TB_ALPHABET, 0);
    for (uint32_t b = 0; b < blocks; ++b) {
        uint32_t len = std::min<uint32_t>(TB_BLOCK_BYTES, n - b * TB_BLOCK_BYTES);
        tokenise(data + uint64_t(b) * TB_BLOCK_BYTES, len, tokens[b]);
        for (const Token& t : tokens[b]) freq[t.symbol]++;
    }
    std::vector<uint8_t> len;
    std::vector<uint32_t> code;
    codeLengths(freq, len);
    canonicalCodes(len, code);
    bool single = std::count_if(len.begin(), len.end(), [](uint8_t l) { return l != 0; }) == 1;
    std::vector<std::vector<uint8_t>> packed(blocks);
    for (uint32_t b = 0; b < blocks; ++b) {
        BitWriter w;
        for (const Token& t : tokens[b]) {
            if (!single) w.put(code[t.symbol], len[t.symbol]);
            w.put(t.extra, t.extraBits);
        }
        if (w.bytes.empty()) w.bytes.push_back(0);  // a stored size of 0 would mean 8192
        if (w.bytes.size() > TB_BLOCK_BYTES) return error = "a block does not compress", false;
        packed[b] = w.bytes;
    }
    // Code lengths: runs of equal lengths through codes A (lengths, repeat
    // markers) and B (repeat counts).
    struct LenToken {
        int a, b, nb;
        uint32_t e;
    };
    std::vector<LenToken> lt;
    for (int i = 0; i < TB_ALPHABET;) {
        int r = 1;
        while (i + r < TB_ALPHABET && len[size_t(i + r)] == len[size_t(i)]) ++r;
        int v = len[size_t(i)];
        i += r;
        while (r > 0) {
            if (r < 2) {
                lt.push_back({v, -1, 0, 0});
                --r;
            } else if (r <= 33) {
                lt.push_back({32 + v, r - 2, 0, 0});
                r = 0;
            } else {
                int nb = 0;
                while ((1 << (nb + 1)) <= r - 33) ++nb;
                lt.push_back({32 + v, 32 + nb, nb, uint32_t(r - 33 - (1 << nb))});
                r = 0;
            }
        }
    }
    std::vector<uint64_t> fa(64, 0), fb(64, 0);
    for (const LenToken& t : lt) {
        fa[size_t(t.a)]++;
        if (t.b >= 0) fb[size_t(t.b)]++;
    }
    std::vector<uint8_t> la, lb;
    std::vector<uint32_t> ca, cb;
    codeLengths(fa, la);
    codeLengths(fb, lb);
    canonicalCodes(la, ca);
    canonicalCodes(lb, cb);
    bool singleA = std::count_if(la.begin(), la.end(), [](uint8_t l) { return l != 0; }) == 1;
    bool singleB = std::count_if(lb.begin(), lb.end(), [](uint8_t l) { return l != 0; }) <= 1;
    BitWriter h;
    for (int i = 0; i < 80; ++i) h.put(0, 8);
    for (uint32_t b = 0; b < blocks; ++b) {
        uint32_t len0 = std::min<uint32_t>(TB_BLOCK_BYTES, n - b * TB_BLOCK_BYTES);
        uint32_t c1 = headerCheck(packed[b].data(), packed[b].size());
        uint32_t c2 = headerCheck(data + uint64_t(b) * TB_BLOCK_BYTES, len0);
        h.put(c1, 32);
        h.put(c2, 32);
    }
    for (uint32_t b = 0; b < blocks; ++b) h.put(uint32_t(packed[b].size()) & 8191, 13);
    uint32_t last = n - (blocks - 1) * TB_BLOCK_BYTES;
    h.put(last & 8191, 13);
    for (uint32_t d : DISTANCES) h.put(d, 13);
    h.align();
    h.put(0, 1);  // lengths follow
    h.put(0, 1);  // the inner level is not all zero
    uint8_t inner[128] = {};
    for (int i = 0; i < 64; ++i) inner[i] = la[size_t(i)], inner[64 + i] = lb[size_t(i)];
    h.put(5, 5);
    for (int i = 0; i < 128;) {
        h.put(inner[i], 5);
        if (inner[i++] == 0) {
            int r = 0;
            while (r < 15 && i + r < 128 && inner[i + r] == 0) ++r;
            h.put(uint32_t(r), 4);
            i += r;
        }
    }
    for (const LenToken& t : lt) {
        if (!singleA) h.put(ca[size_t(t.a)], la[size_t(t.a)]);
        if (t.b >= 0) {
            if (!singleB) h.put(cb[size_t(t.b)], lb[size_t(t.b)]);
            h.put(t.e, t.nb);
        }
    }
    h.align();
    std::vector<uint8_t> header = h.bytes;
    header.resize(header.size() + 4, 0);
    uint32_t S = uint32_t(header.size());
    std::memcpy(header.data(), TB_BANNER, 64);
    auto be = [&](size_t at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) header[at + size_t(i)] = uint8_t(v >> (8 * (bytes - 1 - i)));
    };
    be(64, S, 4);
    be(68, 0, 2);
    header[70] = 13;
    header[71] = 24;
    be(72, blocks, 4);
    be(76, TB_HEADER_MAGIC, 4);
    be(S - 4, headerCheck(header.data(), S - 4), 4);
    out = header;
    for (auto& p : packed) out.insert(out.end(), p.begin(), p.end());
    return true;
}

bool tbWritePlain(const std::string& dir, const TbSolvedClass& t, std::string& error) {
    for (int side = 0; side < 2; ++side)
        if (!writeFile(tablePath(dir, t.cls, side, false), t.bytes[side].data(), t.bytes[side].size(), error))
            return false;
    return true;
}

bool tbWriteCompressed(const std::string& dir, const TbSolvedClass& t, std::string& error) {
    for (int side = 0; side < 2; ++side) {
        std::vector<uint8_t> packed;
        if (!tbCompressTable(t.bytes[side], packed, error) ||
            !writeFile(tablePath(dir, t.cls, side, true), packed.data(), packed.size(), error))
            return false;
    }
    return true;
}

namespace {

bool outcomeOfValue(int v, int& state, int& plies) {
    if (v == 0) return state = ST_DRAW, plies = 0, true;
    if (v > 32640 && v < 32767) return state = ST_WIN, plies = 2 * (32767 - v) - 1, true;
    if (v < -32640 && v >= -32766) return state = ST_LOSS, plies = 2 * (v + 32766), true;
    return false;
}

}  // namespace

bool tbVerifySample(int cls, int side, int samples, uint32_t seed, uint64_t& agree, uint64_t& checked,
                    std::string& error) {
    buildClassTable();
    agree = checked = 0;
    uint32_t size = tbClasses[cls].size[side];
    if (!tbClasses[cls].side[side].path || !size) return error = "no table", false;
    OutcomeLookup fromFiles = [](int c, int s, uint32_t index, int& st, int& pl) {
        if (index == TB_INDEX_NONE || !tbClasses[c].side[s].path) return false;
        return outcomeOfValue(tablebaseValue(c, s, index), st, pl);
    };
    std::mt19937 rng(seed);
    std::vector<Pos> moves;
    for (int k = 0; k < samples * 20 && int(checked) < samples; ++k) {
        uint32_t i = uint32_t(rng() % size);
        TbPlacement pl;
        if (!tbDecode(cls, side, i, pl) || !tbPlacementLegal(pl, side)) continue;
        int storedState, storedPlies;
        if (!outcomeOfValue(tablebaseValue(cls, side, i), storedState, storedPlies)) continue;
        Pos p = fromPlacement(pl);
        generate(p, side, moves);
        int expect = ST_DRAW, expectPlies = 0;
        bool known = true, anyLost = false, allWon = !moves.empty();
        int fastest = 1 << 30, slowest = 0;
        for (const Pos& q : moves) {
            Succ s{};
            std::string ignored;
            if (!outcomeOf(q, 1 - side, fromFiles, s, ignored)) {
                known = false;
                break;
            }
            if (s.state == ST_LOSS) anyLost = true, fastest = std::min(fastest, s.plies);
            if (s.state == ST_WIN) slowest = std::max(slowest, s.plies);
            else allWon = false;
        }
        if (!known) continue;  // a successor's table is not present
        if (moves.empty()) expect = kingAttacked(p, side) ? ST_LOSS : ST_DRAW;
        else if (anyLost) expect = ST_WIN, expectPlies = fastest + 1;
        else if (allWon) expect = ST_LOSS, expectPlies = slowest + 1;
        ++checked;
        // Stored distances stop at 126 moves; compare in moves.
        bool same = expect == storedState &&
                    (expect == ST_DRAW || (expectPlies + 1) / 2 == (storedPlies + 1) / 2 ||
                     (expectPlies > 250 && storedPlies > 250));
        agree += same;
    }
    return true;
}
