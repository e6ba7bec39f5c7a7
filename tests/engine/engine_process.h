// Runs the engine (or a copy of it) as a child with pipes, the way an
// interface does. Its standard error is kept: a sanitized engine reports
// there, and any such report fails the test. A child still running at the
// end is asked to quit and given time to exit (and to report) before it is
// killed.
#pragma once
#include <gtest/gtest.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class EngineProcess {
public:
    // args are quoted as for the shell (blanks separate, quotes group);
    // workDir "" keeps the test's directory.
    explicit EngineProcess(const std::string& args = "", const std::string& program = VELMORA_BINARY,
                           const std::string& workDir = "") {
        std::signal(SIGPIPE, SIG_IGN);  // a child that has ended must not end the test
        std::vector<std::string> words{program};
        splitWords(args, words);
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(&w[0]);
        argv.push_back(nullptr);
        int in[2], out[2], err[2];
        // Close-on-exec, so that no other child holds this one's input open.
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "no pipes for the engine";
            return;
        }
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err[1], 2);
            if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(126);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        toEngine = in[1];
        fromEngine = out[0];
        errors = err[0];
        // Writes never block: a long script is fed while the output is drained.
        fcntl(toEngine, F_SETFL, fcntl(toEngine, F_GETFL) | O_NONBLOCK);
    }
    ~EngineProcess() {
        if (pid > 0 && !reaped) {
            if (toEngine >= 0) send("quit");
            closeInput();
            if (waitExit(QUIT_WAIT_MS) == -1 && !reaped) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
                reaped = true;
                ADD_FAILURE() << "the engine did not end within " << QUIT_WAIT_MS << " ms of quit";
            }
        }
        closeInput();
        checkErrorOutput();
        if (fromEngine >= 0) close(fromEngine);
        if (errors >= 0) close(errors);
    }
    EngineProcess(const EngineProcess&) = delete;
    EngineProcess& operator=(const EngineProcess&) = delete;

    void send(const std::string& line) { write(line + "\n"); }
    // Raw text, fed whole while the child's output is read.
    void write(const std::string& text) {
        size_t done = 0;
        while (toEngine >= 0 && done < text.size()) {
            ssize_t n = ::write(toEngine, text.data() + done, text.size() - done);
            if (n > 0) {
                done += size_t(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollOnce(50, true);
            } else {
                return;  // the engine has gone
            }
        }
    }
    void closeInput() {
        if (toEngine >= 0) close(toEngine);
        toEngine = -1;
    }
    // Next line, or false after the timeout (milliseconds) or at end of output.
    bool readLine(std::string& line, int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            size_t nl = buffer.find('\n');
            if (nl != std::string::npos) {
                line = buffer.substr(0, nl);
                buffer.erase(0, nl + 1);
                lines.push_back(line);
                return true;
            }
            int left = msUntil(deadline);
            if (left <= 0 || fromEngine < 0) return false;
            pollOnce(left, false);
        }
    }
    // Reads until a line starting with prefix; returns it ("" on timeout).
    std::string waitFor(const std::string& prefix, int timeoutMs) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (readLine(line, msUntil(deadline)))
            if (line.compare(0, prefix.size(), prefix) == 0) return line;
        return "";
    }
    // Everything left on standard output up to its end (or the timeout).
    std::string readAll(int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (fromEngine >= 0 && msUntil(deadline) > 0) pollOnce(msUntil(deadline), false);
        std::string all;
        all.swap(buffer);
        return all;
    }
    // Exit status once the process ends within the timeout, else -1 (also
    // when a signal ended it).
    int waitExit(int timeoutMs) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status;
            if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
                reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            if (pid <= 0 || msUntil(deadline) <= 0) return -1;
            pollOnce(5, false);  // keep the pipes flowing while it winds down
        }
    }
    // The standard error so far; all of it once the process has been waited for.
    const std::string& errorOutput() {
        while (errors >= 0 && pollOnce(0, false)) {
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        if (reaped)
            while (errors >= 0 && msUntil(deadline) > 0) pollOnce(100, false);
        return errorText;
    }
    std::vector<std::string> lines;

private:
    static constexpr int QUIT_WAIT_MS = 10000;

    static void splitWords(const std::string& text, std::vector<std::string>& words) {
        std::string word;
        bool inWord = false;
        for (size_t i = 0; i < text.size(); i++) {
            char c = text[i];
            if (c == ' ' || c == '\t' || c == '\n') {
                if (inWord) words.push_back(word);
                word.clear();
                inWord = false;
                continue;
            }
            inWord = true;
            if (c == '\'') {
                while (++i < text.size() && text[i] != '\'') word += text[i];
            } else if (c == '"') {
                for (++i; i < text.size() && text[i] != '"'; i++) {
                    if (text[i] == '\\' && i + 1 < text.size() && std::strchr("\"\\$`", text[i + 1])) i++;
                    word += text[i];
                }
            } else if (c == '\\' && i + 1 < text.size()) {
                word += text[++i];
            } else {
                word += c;
            }
        }
        if (inWord) words.push_back(word);
    }

    static int msUntil(std::chrono::steady_clock::time_point t) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t - std::chrono::steady_clock::now());
        return int(std::max<long long>(0, left.count()));
    }
    // Reads what the outputs have; with forWriting, also returns once the
    // input can take more. True when anything happened.
    bool pollOnce(int timeoutMs, bool forWriting) {
        pollfd p[3] = {{fromEngine, POLLIN, 0}, {errors, POLLIN, 0}, {forWriting ? toEngine : -1, POLLOUT, 0}};
        if (poll(p, 3, timeoutMs) <= 0) return false;
        drain(p[0], fromEngine, buffer);
        drain(p[1], errors, errorText);
        return true;
    }
    static void drain(const pollfd& p, int& fd, std::string& to) {
        if (fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
        char tmp[4096];
        ssize_t n = read(fd, tmp, sizeof tmp);
        if (n > 0) {
            to.append(tmp, size_t(n));
        } else {
            close(fd);
            fd = -1;
        }
    }
    void checkErrorOutput() {
        const std::string& err = errorOutput();
        for (const char* mark : {"Sanitizer", "runtime error:"})
            if (err.find(mark) != std::string::npos) {
                ADD_FAILURE() << "sanitizer report from the engine:\n" << err.substr(0, 20000);
                return;
            }
    }

    pid_t pid = -1;
    int toEngine = -1, fromEngine = -1, errors = -1;
    bool reaped = false;
    std::string buffer, errorText;
};

struct EngineResult {
    int status;  // -1 when a signal ended it or it had to be killed
    std::string out, err;
};

// Runs the program with the script on its standard input to the end.
inline EngineResult runEngine(const std::string& script, const std::string& args = "",
                              const std::string& workDir = "", const std::string& program = VELMORA_BINARY,
                              int timeoutMs = 120000) {
    EngineProcess e(args, program, workDir);
    e.write(script);
    e.closeInput();
    EngineResult r;
    r.out = e.readAll(timeoutMs);
    r.status = e.waitExit(5000);
    r.err = e.errorOutput();
    return r;
}
