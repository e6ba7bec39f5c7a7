#include "engine/config.h"
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include "book/book.h"
#include "egtb/tablebase.h"
#include "platform/platform.h"
#include "engine/session.h"
#include "engine/textline.h"
#include "search/driver.h"
#include "search/searchpool.h"

int startThreads = 1;
int hashLog = 0;
int logEnabled = 0;

int hashLogForSize(long n) {
    if (n <= 1) return 0;
    if (n - 1 > CFG_HASH_LOG_MAX) return CFG_HASH_LOG_MAX;
    return int(n - 1);
}

uint64_t hashBudgetBytes(int log) {
    if (log < 0) log = 0;
    if (log > CFG_HASH_LOG_MAX) log = CFG_HASH_LOG_MAX;
    return uint64_t(24) << log;
}

std::string defaultTbPath() {
    std::string dir = exeDirectory();
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

static void refusePath(const std::string& path) {
    std::fprintf(stderr, "tablebase path refused: the list would pass %u characters: %.60s...\n",
                 unsigned(CFG_TB_PATH_LIMIT), path.c_str());
}

bool appendTbPath(std::string& list, const std::string& dir) {
    bool separator = !list.empty() && !dir.empty() && (unsigned char)dir[0] > ' ';
    if (list.size() + (separator ? 1 : 0) + dir.size() > CFG_TB_PATH_LIMIT) {
        refusePath(dir);
        return false;
    }
    if (separator) list += ';';
    list += dir;
    return true;
}

bool replaceTbPath(std::string& list, const std::string& path) {
    if (path.size() > CFG_TB_PATH_LIMIT) {
        refusePath(path);
        return false;
    }
    list = path;
    return true;
}

namespace {

bool keyIs(const char* line, const char* key) {
    return strncasecmp(line, key, std::strlen(key)) == 0;
}

// The integer a value starts with (blanks first); false when it has none.
// Values beyond the int range are taken as the nearest end of it.
bool readInteger(const char* text, long& value, const char* key) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (end == text) {
        std::fprintf(stderr, "%s: %s needs a number, line ignored\n", CFG_FILE_NAME, key);
        return false;
    }
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    value = v;
    return true;
}

}  // namespace

void applyConfigLine(const std::string& raw, int& log, std::string& paths, uint64_t& cacheBytes) {
    const char* line = raw.c_str();
    while (*line == ' ' || *line == '\t') line++;
    if (*line == ';' || *line == 0) return;
    const char* eq = std::strchr(line, '=');
    if (eq == nullptr) return;
    const char* value = eq + 1;
    long n = 0;
    if (keyIs(line, "HASHTABLE")) {
        if (readInteger(value, n, "HASHTABLE") && n >= 1) log = hashLogForSize(n);
    } else if (keyIs(line, "TABLEBASE")) {
        while (*value == ' ' || *value == '\t') value++;
        std::string dir(value);
        // Editors leave carriage returns and trailing blanks that no directory means.
        while (!dir.empty() && (dir.back() == '\r' || dir.back() == '\n' || dir.back() == ' ' || dir.back() == '\t'))
            dir.pop_back();
        appendTbPath(paths, dir);
    } else if (keyIs(line, "NULLEVAL")) {
        // recognised for old files; it no longer changes anything
    } else if (keyIs(line, "TB_CACHE_SIZE")) {
        if (readInteger(value, n, "TB_CACHE_SIZE")) {
            if (n < 0) n = 0;
            if (n > CFG_CACHE_MIB_MAX) n = CFG_CACHE_MIB_MAX;
            cacheBytes = uint64_t(n) << 20;
        }
    } else if (keyIs(line, "USE_BOOK")) {
        if (readInteger(value, n, "USE_BOOK")) useBook = n != 0;
    } else if (keyIs(line, "RESIGN")) {
        if (readInteger(value, n, "RESIGN")) resignEnabled = n != 0;
    } else if (keyIs(line, "THREADS")) {
        if (readInteger(value, n, "THREADS")) startThreads = int(std::clamp<long>(n, 1, POOL_MAX_THREADS));
    } else if (keyIs(line, "LOGFILE")) {
        if (readInteger(value, n, "LOGFILE")) logEnabled = n != 0;
    } else if (keyIs(line, "BOOK_FILE")) {
        while (*value == ' ' || *value == '\t') value++;
        std::string path(value);
        while (!path.empty() && (path.back() == '\r' || path.back() == ' ' || path.back() == '\t')) path.pop_back();
        // The file lies beside the configuration unless the path says otherwise.
        if (!path.empty() && path[0] != '/') path = exeDirectory() + path;
        setBookFile(path);
    }
}

bool readConfig(const char* fileName, int& log, std::string& paths, uint64_t& cacheBytes) {
    // A FIFO of that name must not stall the start-up, nor a directory
    // pass for an empty file.
    bool notRegular = false;
    FILE* f = openRegularFile(fileName, "r", &notRegular);
    if (f == nullptr) {
        if (notRegular) std::fprintf(stderr, "%s: not a regular file, ignored\n", CFG_FILE_NAME);
        return false;
    }
    std::string line;
    bool cut = false;
    while (readTextLine(f, line, &cut)) {
        if (cut) {
            std::fprintf(stderr, "%s: overlong line ignored\n", CFG_FILE_NAME);
            continue;
        }
        applyConfigLine(line, log, paths, cacheBytes);
    }
    std::fclose(f);
    return true;
}

void readConfig() {
    std::string dir = exeDirectory();
    if (dir.empty()) return;
    readConfig((dir + CFG_FILE_NAME).c_str(), hashLog, tbPath, tbCacheBytes);
}
