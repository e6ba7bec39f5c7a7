// Start-up settings: the configuration file beside the executable.
#pragma once
#include <cstdint>
#include <string>

// The table allocator stops at 2^31 buckets; larger requests mean the same.
constexpr int CFG_HASH_LOG_MAX = 31;
// The tablebase directory list holds at most this many characters.
constexpr size_t CFG_TB_PATH_LIMIT = 300;
constexpr const char* CFG_FILE_NAME = "velmora.cfg";
// Largest TB_CACHE_SIZE taken as it is (MiB); the tablebase set-up clamps further.
constexpr long CFG_CACHE_MIB_MAX = 1L << 20;

// Search threads asked for by THREADS=n or -Tn (1..256); started once the
// switches are read.
extern int startThreads;
extern int hashLog;     // the table gets a budget of 24 << hashLog bytes
extern int logEnabled;  // 1: the command loop keeps the log file

// hashLog for a size n given as HASHTABLE=n or -hn: n - 1, within 0..CFG_HASH_LOG_MAX.
int hashLogForSize(long n);
// 24 << log with log clamped first, so no shift ever leaves 64 bits.
uint64_t hashBudgetBytes(int log);

// The executable's directory without its trailing '/', empty when unknown.
std::string defaultTbPath();
// Adds a directory to the list ("-d" replaces it instead). A result longer
// than CFG_TB_PATH_LIMIT is refused with a message on stderr; the list stays.
bool appendTbPath(std::string& list, const std::string& dir);
bool replaceTbPath(std::string& list, const std::string& path);

// Acts on one configuration line.
void applyConfigLine(const std::string& line, int& log, std::string& paths, uint64_t& cacheBytes);
// Reads a configuration file line by line; false when it cannot be opened
// (the settings keep what they had).
bool readConfig(const char* fileName, int& log, std::string& paths, uint64_t& cacheBytes);
// "velmora.cfg" beside the executable, into hashLog, tbPath and tbCacheBytes.
void readConfig();
