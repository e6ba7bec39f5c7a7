// Temporary directories and engine runs for the file and switch tests.
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

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

struct EngineResult {
    int status;
    std::string out, err;
};

// Runs a program with arguments (already quoted as needed) and a script on stdin.
inline EngineResult runProgram(const TempDir& dir, const std::string& program, const std::string& args,
                               const std::string& script = "quit\n") {
    std::string in = dir.write("stdin.txt", script);
    std::string cmd = "cd '" + dir.path + "' && timeout 120 '" + program + "' " + args + " < '" + in + "' > '" +
                      dir.file("stdout.txt") + "' 2> '" + dir.file("stderr.txt") + "'";
    int rc = std::system(cmd.c_str());
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, dir.read("stdout.txt"), dir.read("stderr.txt")};
}
