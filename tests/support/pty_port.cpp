#include "pty_port.h"

#include "win32.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void SaveVariable(const char* name, std::string& saved, bool& had) {
    const char* value = std::getenv(name);
    had = value != nullptr;
    if (had)
        saved = value;
}

void RestoreVariable(const char* name, const std::string& saved, bool had) {
    if (had)
        setenv(name, saved.c_str(), 1);
    else
        unsetenv(name);
}

} // namespace

DosDevices::DosDevices() {
    std::string pattern = std::filesystem::temp_directory_path() / "cmt2300-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    configHome_ = pattern;
    folder_ = configHome_ + "/cmt2300-config/dosdevices";
    std::filesystem::create_directories(folder_);

    SaveVariable("XDG_CONFIG_HOME", savedConfigHome_, hadConfigHome_);
    SaveVariable("CMT2300_DOSDEVICES_ONLY", savedOnly_, hadOnly_);
    setenv("XDG_CONFIG_HOME", configHome_.c_str(), 1);
    setenv("CMT2300_DOSDEVICES_ONLY", "1", 1);
}

DosDevices::~DosDevices() {
    RestoreVariable("XDG_CONFIG_HOME", savedConfigHome_, hadConfigHome_);
    RestoreVariable("CMT2300_DOSDEVICES_ONLY", savedOnly_, hadOnly_);
    std::error_code ignored;
    std::filesystem::remove_all(configHome_, ignored);
}

void DosDevices::Link(unsigned com, const std::string& target) {
    Unlink(com);
    std::filesystem::create_symlink(target, folder_ + "/com" + std::to_string(com));
}

void DosDevices::Unlink(unsigned com) {
    std::error_code ignored;
    std::filesystem::remove(folder_ + "/com" + std::to_string(com), ignored);
}

PtyPort::PtyPort(DosDevices& devices, unsigned com) : com_(com) {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = name;
    // Non-blocking master; close-on-exec for both, so that nothing started by a test keeps
    // the pseudo-terminal alive.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    devices.Link(com, slavePath_);
}

PtyPort::~PtyPort() {
    Unplug();
    if (slave_ >= 0)
        close(slave_);
}

bool PtyPort::ReadSlaveTermios(termios& settings) const {
    return slave_ >= 0 && tcgetattr(slave_, &settings) == 0;
}

bool PtyPort::MasterWrite(const void* data, std::size_t length, int timeoutMs) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t done = 0;
    while (done < length) {
        if (master_ < 0)
            return false;
        ssize_t n = write(master_, bytes + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        int left = MillisecondsLeft(deadline);
        if (left == 0)
            return false;
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, left);
    }
    return true;
}

std::vector<unsigned char> PtyPort::MasterRead(std::size_t length, int timeoutMs) {
    std::vector<unsigned char> received;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    unsigned char buffer[4096];
    while (received.size() < length && master_ >= 0) {
        std::size_t want = std::min(sizeof buffer, length - received.size());
        ssize_t n = read(master_, buffer, want);
        if (n > 0) {
            received.insert(received.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        int left = MillisecondsLeft(deadline);
        if (left == 0)
            break;
        pollfd p{master_, POLLIN, 0};
        poll(&p, 1, left);
    }
    return received;
}

std::vector<unsigned char> PtyPort::MasterReadUntilQuiet(int quietMs) {
    std::vector<unsigned char> received;
    unsigned char buffer[4096];
    while (master_ >= 0) {
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) {
            received.insert(received.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, quietMs) == 0)
            break;
    }
    return received;
}

void PtyPort::Unplug() {
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

OtherProcessHolder::OtherProcessHolder(unsigned com) {
    int ready[2];
    int release[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    if (pipe2(release, O_CLOEXEC) != 0) {
        close(ready[0]);
        close(ready[1]);
        throw std::runtime_error("pipe failed");
    }
    child_ = fork();
    if (child_ == 0) {
        close(ready[0]);
        close(release[1]);
        char name[32];
        wsprintfA(name, "\\\\.\\COM%u", com);
        HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr);
        char answer = port != INVALID_HANDLE_VALUE ? '1' : '0';
        [[maybe_unused]] ssize_t n = write(ready[1], &answer, 1);
        // Hold the port until the parent closes its end (or goes away).
        char ignored;
        while (read(release[0], &ignored, 1) < 0 && errno == EINTR) {
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    if (child_ < 0) {
        close(ready[0]);
        close(release[1]);
        throw std::runtime_error("fork failed");
    }
    release_ = release[1];
    char answer = '0';
    while (read(ready[0], &answer, 1) < 0 && errno == EINTR) {
    }
    close(ready[0]);
    holding_ = answer == '1';
}

OtherProcessHolder::~OtherProcessHolder() {
    Release();
}

void OtherProcessHolder::Release() {
    if (release_ >= 0) {
        close(release_);
        release_ = -1;
    }
    if (child_ > 0) {
        int status;
        while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
        child_ = -1;
    }
    holding_ = false;
}

} // namespace testsupport
