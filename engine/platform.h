// The few operating-system services the engine needs, in one place.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

bool startThread(void (*fn)(void*), void* arg, size_t stackBytes);
void sleepMs(int ms);
void lockOutput();
void unlockOutput();
uint32_t tickCount();
std::string exeDirectory();  // ends with '/', empty when unknown
bool localDate(int& year, int& month, int& day);
// Interfaces on Unix interrupt engines with SIGINT before sending a move
// (unless told otherwise); the engine reads its commands instead.
void ignoreInterrupts();
