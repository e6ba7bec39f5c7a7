// Fuzz input handed to readers that open a file by name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

inline std::string writeFuzzFile(const uint8_t* data, size_t size) {
    static std::string path = "/tmp/velmora_fuzz_" + std::to_string(getpid());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}
