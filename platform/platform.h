// The few operating-system services the engine needs, in one place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// On a function that counts bits: compiled twice by the compiler, once with
// the processor's population-count instruction, picked at load time; the
// plain build calls a library routine for every count. Not under the
// sanitizers: their run-time starts after the load-time choice is made.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) && \
    !defined(__SANITIZE_ADDRESS__)
#define PLATFORM_POPCOUNT_CLONES __attribute__((target_clones("popcnt", "default")))
#else
#define PLATFORM_POPCOUNT_CLONES
#endif

bool startThread(void (*fn)(void*), void* arg, size_t stackBytes);
void sleepMs(int ms);
// Holds the output lock for a scope: a protocol line and what it reads from
// the search are written whole, and an early return cannot leave it locked.
class OutputLock {
public:
    OutputLock();
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
};
uint32_t tickCount();
std::string exeDirectory();  // ends with '/', empty when unknown
bool localDate(int& year, int& month, int& day);
// Interfaces on Unix interrupt engines with SIGINT before sending a move
// (unless told otherwise); the engine reads its commands instead.
void ignoreInterrupts();
// Opens a file for reading only when it is a regular file: a directory, a
// FIFO or a device named like a data file would otherwise hang or feed
// garbage. The check is made on the opened descriptor (no race with a rename)
// and opening never blocks. nullptr when the path does not name a readable
// regular file; *notRegular (when given) tells that case apart.
std::FILE* openRegularFile(const char* path, const char* mode, bool* notRegular = nullptr);
// Waits until the stream's descriptor has input (or its writer has gone), for
// a non-blocking input that has nothing yet. False when the stream has no
// descriptor to wait on.
bool waitForInput(std::FILE* in);
