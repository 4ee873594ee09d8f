#include "sim_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace simtest {
namespace {

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

int ExitCode(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

} // namespace

SimProcess::SimProcess(const std::vector<std::string>& args) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<std::string> all{CMT2300_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int rc = posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + all[0]);
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
        close(out_);
    if (err_ >= 0)
        close(err_);
}

// True once the process has ended; it stays a zombie for WaitForExit to collect.
bool SimProcess::Ended() {
    if (pid_ <= 0)
        return true;
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid_;
}

// Reads what both pipes hold, waiting up to `timeoutMs` for something to come.
void SimProcess::Drain(int timeoutMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0)
        return;
    char buf[4096];
    if (fds[0].revents) {
        const ssize_t n = read(out_, buf, sizeof buf);
        if (n > 0)
            outText_.append(buf, static_cast<std::size_t>(n));
    }
    if (fds[1].revents) {
        const ssize_t n = read(err_, buf, sizeof buf);
        if (n > 0)
            errText_.append(buf, static_cast<std::size_t>(n));
    }
}

std::string SimProcess::WaitForLine(const std::string& text, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::size_t start = 0;
        for (std::size_t end; (end = outText_.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string line = outText_.substr(start, end - start);
            if (line.find(text) != std::string::npos)
                return line;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return {};
        const bool ended = Ended(); // what it printed may still be in the pipe
        const std::size_t before = outText_.size() + errText_.size();
        Drain(std::min(left, 100));
        if (ended && outText_.size() + errText_.size() == before)
            return {};
    }
}

int SimProcess::CountLines(const std::string& text) {
    Drain(0);
    int count = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = outText_.find('\n', start)) != std::string::npos; start = end + 1)
        if (outText_.substr(start, end - start).find(text) != std::string::npos)
            ++count;
    return count;
}

std::string SimProcess::WaitUntilReady(int timeoutMs) {
    const std::string line = WaitForLine("module on COM", timeoutMs);
    const auto open = line.find('(');
    const auto close = line.find(')', open);
    if (open == std::string::npos || close == std::string::npos)
        return {};
    return line.substr(open + 1, close - open - 1);
}

int SimProcess::WaitForExit(int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_)
            break;
        if (MillisecondsLeft(deadline) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return -1;
        }
        Drain(20);
    }
    pid_ = -1;
    for (int i = 0; i < 50; ++i) { // the rest of its output, up to end of file
        const std::size_t before = outText_.size() + errText_.size();
        Drain(10);
        if (outText_.size() + errText_.size() == before)
            break;
    }
    return ExitCode(status);
}

int SimProcess::Stop(int sig, int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    kill(pid_, sig);
    return WaitForExit(timeoutMs);
}

std::string SimProcess::Output() {
    Drain(0);
    return outText_;
}

std::string SimProcess::ErrorOutput() {
    Drain(0);
    return errText_;
}

void SimClient::OnReceiveByte(unsigned char byte) {
    const auto now = Clock::now();
    std::lock_guard lock(mutex_);
    received_.push_back(byte);
    times_.push_back(now);
    arrived_.notify_all();
}

bool SimClient::WaitForBytes(std::size_t count, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return received_.size() >= count; });
}

std::size_t SimClient::WaitForQuiet(int quietMs) {
    std::unique_lock lock(mutex_);
    for (;;) {
        const std::size_t seen = received_.size();
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(quietMs),
                               [&] { return received_.size() != seen; }))
            return seen;
    }
}

std::vector<std::uint8_t> SimClient::Received() {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<Clock::time_point> SimClient::ArrivalTimes() {
    std::lock_guard lock(mutex_);
    return times_;
}

} // namespace simtest
