#include <fcntl.h>
#include <pthread.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "base/failure.h"
#include "child_process.h"

extern char** environ;

namespace qf::platform {

struct ChildProcess::State {
    pid_t pid = -1;
    int toChild = -1;    // our end of the child's descriptor 3
    int fromChild = -1;  // our end of the child's descriptor 4
    std::mutex mutex;    // pid and reaping
    bool reaped = false;
};

namespace {

void closeIfOpen(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// A pipe whose two ends are closed when this process starts another program.
void makePipe(int fds[2]) {
    if (::pipe2(fds, O_CLOEXEC) != 0) throw Failure(std::string("a pipe could not be made: ") + std::strerror(errno));
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments)
    : state_(std::make_unique<State>()) {
    int down[2] = {-1, -1};  // we write, the child reads (its 3)
    int up[2] = {-1, -1};    // the child writes (its 4), we read
    makePipe(down);
    try {
        makePipe(up);
    } catch (...) {
        ::close(down[0]);
        ::close(down[1]);
        throw;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The child's 3 and 4 are dup2'ed from its ends, which dup2 leaves open
    // across the exec. Copies of its ends above 4 are used for that, so that
    // neither is 3 or 4 already (dup2 onto itself would keep close-on-exec) and
    // the first dup2 cannot overwrite the other before it is copied.
    const int three = ::fcntl(down[0], F_DUPFD_CLOEXEC, 5);
    const int four = three < 0 ? -1 : ::fcntl(up[1], F_DUPFD_CLOEXEC, 5);
    const int error = errno;
    ::close(down[0]);
    ::close(up[1]);
    if (four < 0) {
        for (int fd : {three, down[1], up[0]})
            if (fd >= 0) ::close(fd);
        throw Failure(std::string("a pipe could not be made: ") + std::strerror(error));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, three, 3);
    posix_spawn_file_actions_adddup2(&actions, four, 4);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own, so that kill ends what it started too; and the
    // default signal handling, whatever ours is.
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, static_cast<short>(POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(three);
    ::close(four);
    if (rc != 0) {
        ::close(down[1]);
        ::close(up[0]);
        throw Failure(program + " could not be started: " + std::strerror(rc));
    }
    state_->pid = pid;
    state_->toChild = down[1];
    state_->fromChild = up[0];
}

ChildProcess::~ChildProcess() {
    kill();
    closeIfOpen(state_->toChild);
    closeIfOpen(state_->fromChild);
}

bool ChildProcess::write(const char* data, std::size_t size) {
    // A child that has gone raises SIGPIPE, which would end this program: it is
    // blocked on this thread for the write, and one it raised is taken back.
    sigset_t pipeSignal, before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    bool written = true;
    while (size > 0) {
        const ssize_t n = ::write(state_->toChild, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            written = false;
            if (errno == EPIPE) {
                const timespec now{0, 0};
                while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {}
            }
            break;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return written;
}

std::ptrdiff_t ChildProcess::read(char* buffer, std::size_t capacity, std::chrono::milliseconds wait) {
    pollfd p{state_->fromChild, POLLIN, 0};
    // A negative or huge wait must not become poll's wait without end.
    const int ready =
        ::poll(&p, 1, static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, INT_MAX)));
    if (ready == 0 || (ready < 0 && errno == EINTR)) return 0;
    if (ready < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(state_->fromChild, buffer, capacity);
        if (n > 0) return n;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return 0;
        return -1;
    }
}

void ChildProcess::kill() noexcept {
    std::lock_guard lock(state_->mutex);
    if (state_->pid <= 0 || state_->reaped) return;
    ::kill(-state_->pid, SIGKILL);
    ::kill(state_->pid, SIGKILL);
    while (::waitpid(state_->pid, nullptr, 0) < 0 && errno == EINTR) {}
    state_->reaped = true;
}

bool ChildProcess::running() noexcept {
    std::lock_guard lock(state_->mutex);
    if (state_->pid <= 0 || state_->reaped) return false;
    const pid_t done = ::waitpid(state_->pid, nullptr, WNOHANG);
    if (done == state_->pid) {
        ::kill(-state_->pid, SIGKILL);  // what it left behind
        state_->reaped = true;
        return false;
    }
    return true;
}

bool runningAsAdministrator() noexcept { return ::geteuid() == 0; }

std::string registeredApplication(const std::string&) { return {}; }

}  // namespace qf::platform
