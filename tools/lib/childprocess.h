// A child program on pipes, read line by line without blocking: an engine
// under test. It runs in a process group of its own, so that killing it also
// ends whatever it started (an adapter's engine), and it dies with us.
#pragma once
#include <deque>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess() { kill(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // argv[0] is looked up in PATH; dir "" keeps ours. Its standard error
    // goes to errorFile ("" : /dev/null). False when it cannot be started
    // (a program that is not found exits at once with status 127).
    bool start(const std::vector<std::string>& argv, const std::string& dir, const std::string& errorFile = "");
    bool running() const { return pid_ > 0; }
    int outputFd() const { return out_; }
    // False when the line could not be written (the child has closed its input).
    bool send(const std::string& line);
    // Reads what is there; false once the output has ended.
    bool readAvailable();
    bool nextLine(std::string& line);
    bool outputEnded() const { return eof_; }
    // Waits up to waitMs for the child's end and says how it ended ("exited
    // with status 0", "killed by signal 11"); kills it when it is still there.
    std::string reap(int waitMs);
    bool crashed() const { return signalled_; }
    // Kills the whole group at once and reaps the child: no zombies.
    void kill();

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    bool eof_ = false, signalled_ = false;
    std::string partial_;
    std::deque<std::string> lines_;
    void closePipes();
};
