#include <cerrno>
#include <csignal>
#include "platform/platform.h"
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

namespace {
struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};
void* threadMain(void* p) {
    ThreadStart s = *static_cast<ThreadStart*>(p);
    delete static_cast<ThreadStart*>(p);
    s.fn(s.arg);
    return nullptr;
}
std::recursive_mutex& outputMutex() {
    static std::recursive_mutex lock;
    return lock;
}
}  // namespace

bool startThread(void (*fn)(void*), void* arg, size_t stackBytes) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setstacksize(&attr, stackBytes);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t t;
    ThreadStart* s = new ThreadStart{fn, arg};
    int rc = pthread_create(&t, &attr, threadMain, s);
    pthread_attr_destroy(&attr);
    if (rc != 0) delete s;
    return rc == 0;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
OutputLock::OutputLock() { outputMutex().lock(); }
OutputLock::~OutputLock() { outputMutex().unlock(); }

uint32_t tickCount() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string exeDirectory() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "";
    std::string path(buf, size_t(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool localDate(int& year, int& month, int& day) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    if (localtime_r(&now, &tm) == nullptr) return false;
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
    return true;
}

void ignoreInterrupts() { std::signal(SIGINT, SIG_IGN); }

std::FILE* openRegularFile(const char* path, const char* mode, bool* notRegular) {
    if (notRegular) *notRegular = false;
    // Non-blocking so that a FIFO with no writer does not stall the open.
    int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (notRegular) *notRegular = true;
        ::close(fd);
        return nullptr;
    }
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, mode);
    if (f == nullptr) ::close(fd);
    return f;
}

bool waitForInput(std::FILE* in) {
    int fd = ::fileno(in);
    if (fd < 0) return false;
    pollfd p{fd, POLLIN, 0};
    for (;;) {
        int n = ::poll(&p, 1, -1);
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}
