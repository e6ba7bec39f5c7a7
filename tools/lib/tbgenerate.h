// Our own tablebase generator: a retrograde solver for small classes and
// writers of the plain and compressed file forms the reader expects.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TbSolvedClass {
    int cls = 0;
    std::vector<int8_t> bytes[2];  // stored bytes, white to move and black to move
};
typedef std::map<int, TbSolvedClass> TbSolvedSet;

// Class number of a name such as "krk"; 0 when unknown.
int tbClassByName(const std::string& name);
// Solves the class and, first, the classes its captures and promotions reach
// (those already in the set are reused). False with a message on failure.
bool tbSolveClass(int cls, TbSolvedSet& solved, std::string& error);
// Writes <dir>/<name>.nbw and .nbb, or the compressed <dir>/<name>.nbw.emd
// and .nbb.emd.
bool tbWritePlain(const std::string& dir, const TbSolvedClass& t, std::string& error);
bool tbWriteCompressed(const std::string& dir, const TbSolvedClass& t, std::string& error);
// The compressed form of one table in memory (for tests).
bool tbCompressTable(const std::vector<int8_t>& table, std::vector<uint8_t>& out, std::string& error);
// Samples legal positions of a registered table (initialised beforehand) and
// checks that each stored value is the best of its successors' values, read
// from the registered files (successors in classes without files are
// skipped). A wrong index function shows at once as disagreement.
bool tbVerifySample(int cls, int side, int samples, uint32_t seed, uint64_t& agree, uint64_t& checked,
                    std::string& error);
// Stored byte of a win or loss in plies from the side to move's view.
int8_t tbStoredByte(int state, int plies);
