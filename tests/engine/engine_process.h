// Runs the engine binary as a child with pipes, the way an interface does.
#pragma once
#include <chrono>
#include <csignal>
#include <string>
#include <vector>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

class EngineProcess {
public:
    EngineProcess() {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid = fork();
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            int devnull = open("/dev/null", O_WRONLY);
            if (devnull >= 0) dup2(devnull, 2);
            close(in[1]);
            close(out[0]);
            execl(VELMORA_BINARY, VELMORA_BINARY, (char*)nullptr);
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toEngine = in[1];
        fromEngine = out[0];
    }
    ~EngineProcess() {
        if (toEngine >= 0) close(toEngine);
        if (pid > 0 && !reaped) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (fromEngine >= 0) close(fromEngine);
    }
    void send(const std::string& line) {
        std::string l = line + "\n";
        if (write(toEngine, l.data(), l.size()) < 0) {
        }
    }
    void closeInput() {
        close(toEngine);
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
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
            if (left <= 0) return false;
            pollfd p{fromEngine, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) continue;
            char tmp[4096];
            ssize_t n = read(fromEngine, tmp, sizeof tmp);
            if (n <= 0) return false;
            buffer.append(tmp, size_t(n));
        }
    }
    // Reads until a line starting with prefix; returns it ("" on timeout).
    std::string waitFor(const std::string& prefix, int timeoutMs) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
            if (!readLine(line, left)) break;
            if (line.compare(0, prefix.size(), prefix) == 0) return line;
        }
        return "";
    }
    // Exit status once the process ends within the timeout, else -1.
    int waitExit(int timeoutMs) {
        for (int waited = 0; waited <= timeoutMs; waited += 5) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(5000);
        }
        return -1;
    }
    std::vector<std::string> lines;

private:
    pid_t pid = -1;
    int toEngine = -1, fromEngine = -1;
    bool reaped = false;
    std::string buffer;
};
