#include "tools/lib/childprocess.h"
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <chrono>
#include <thread>
#include <unistd.h>

bool ChildProcess::start(const std::vector<std::string>& argv, const std::string& dir, const std::string& errorFile) {
    kill();
    if (argv.empty()) return false;
    std::signal(SIGPIPE, SIG_IGN);  // an engine that has gone must not end the match
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        return false;
    }
    if (pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(126);  // the runner ended before we got here
        dup2(in[0], 0);
        dup2(out[1], 1);
        int err = open(errorFile.empty() ? "/dev/null" : errorFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (err >= 0) dup2(err, 2);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        std::signal(SIGPIPE, SIG_DFL);
        execvp(args[0], args.data());
        _exit(127);
    }
    setpgid(pid, pid);  // also from here, so that kill() finds the group at once
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
    fcntl(out_, F_SETFL, fcntl(out_, F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    eof_ = signalled_ = false;
    partial_.clear();
    lines_.clear();
    return true;
}

bool ChildProcess::send(const std::string& line) {
    if (in_ < 0) return false;
    std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(in_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

bool ChildProcess::readAvailable() {
    if (out_ < 0 || eof_) return false;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(out_, buffer, sizeof buffer);
        if (n > 0) {
            for (ssize_t i = 0; i < n; i++) {
                char c = buffer[i];
                if (c == '\n') {
                    if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
                    lines_.push_back(partial_);
                    partial_.clear();
                } else if (partial_.size() < 65536) {
                    partial_ += c;
                }
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        eof_ = true;  // end of output, or an error that ends it just as well
        if (!partial_.empty()) lines_.push_back(partial_);
        partial_.clear();
        return false;
    }
}

bool ChildProcess::nextLine(std::string& line) {
    if (lines_.empty()) return false;
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

void ChildProcess::closePipes() {
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
    in_ = out_ = -1;
}

std::string ChildProcess::reap(int waitMs) {
    if (pid_ <= 0) return "not running";
    int status = 0;
    pid_t r = 0;
    for (int waited = 0; (r = waitpid(pid_, &status, WNOHANG)) == 0 && waited < waitMs; waited += 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::string how;
    if (r == pid_) {
        if (WIFSIGNALED(status)) {
            signalled_ = true;
            how = "killed by signal " + std::to_string(WTERMSIG(status));
        } else {
            how = "exited with status " + std::to_string(WEXITSTATUS(status));
        }
        ::kill(-pid_, SIGKILL);  // anything it left behind in its group
        pid_ = -1;
    } else {
        how = "still running, killed";
        kill();
    }
    closePipes();
    return how;
}

void ChildProcess::kill() {
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {}
        pid_ = -1;
    }
    closePipes();
}
