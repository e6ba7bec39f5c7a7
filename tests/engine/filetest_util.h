// Temporary directories and engine runs for the file and switch tests.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include "engine_process.h"

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/velmora_filesXXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream f(file(name), std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const {
        struct stat st;
        return stat(file(name).c_str(), &st) == 0;
    }
    // A copy of the engine, so that it finds its configuration here.
    std::string copyEngine() const {
        std::string to = file("velmora");
        std::system(("cp '" + std::string(VELMORA_BINARY) + "' '" + to + "'").c_str());
        return to;
    }
};

// Runs a program (the engine or a copy) in dir, arguments quoted as for the
// shell, with a script on its standard input.
inline EngineResult runProgram(const TempDir& dir, const std::string& program, const std::string& args,
                               const std::string& script = "quit\n") {
    return runEngine(script, args, dir.path, program);
}
