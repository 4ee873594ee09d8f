#include "sim_port.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <pty.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::optional<speed_t> BaudConstant(long baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return std::nullopt;
    }
}

// Whether a process other than this one has `path` open. Processes whose descriptors we
// may not see (other users') do not count; only the owner can open the slave anyway.
bool OtherProcessHolds(const std::string& path) {
    DIR* proc = opendir("/proc");
    if (!proc)
        return true; // cannot tell: assume someone is there rather than disturb them
    const std::string self = std::to_string(getpid());
    bool found = false;
    while (!found) {
        const dirent* entry = readdir(proc);
        if (!entry)
            break;
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9' || self == entry->d_name)
            continue;
        const std::string fdDir = std::string("/proc/") + entry->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds)
            continue;
        while (const dirent* fd = readdir(fds)) {
            char target[256];
            const ssize_t n = readlinkat(dirfd(fds), fd->d_name, target, sizeof target);
            if (n > 0 && static_cast<std::size_t>(n) == path.size() &&
                path.compare(0, path.size(), target, static_cast<std::size_t>(n)) == 0) {
                found = true;
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return found;
}

} // namespace

SimPort::~SimPort() {
    for (int f : {fd_, slaveFd_, watchFd_})
        if (f >= 0)
            close(f);
}

// The slave side stays open in the simulator, so that the master sees no hangup while no
// client holds the port. That descriptor also lets it clear the exclusive-use flag
// (TIOCEXCL) a client may leave behind: the master keeps the slave's terminal alive, so
// the flag outlives the client, and the kernel then refuses every later open but root's.
bool SimPort::OpenPty(std::string& error) {
    char name[256] = {};
    if (openpty(&fd_, &slaveFd_, name, nullptr, nullptr) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    path_ = name;
    fcntl(fd_, F_SETFD, FD_CLOEXEC);
    fcntl(slaveFd_, F_SETFD, FD_CLOEXEC);
    fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);

    termios tio{};
    if (tcgetattr(slaveFd_, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(slaveFd_, TCSANOW, &tio);
    }

    // Open and close notices may be merged by the kernel, so they only say "look again";
    // who holds the slave is found out from /proc each time.
    watchFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd_ < 0 || inotify_add_watch(watchFd_, name, IN_OPEN | IN_CLOSE) < 0) {
        error = std::string("cannot watch ") + name + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool SimPort::OpenDevice(const std::string& path, long baud, int parity, std::string& error) {
    const auto speed = BaudConstant(baud);
    if (!speed) {
        error = "unsupported --baud " + std::to_string(baud);
        return false;
    }
    path_ = path;
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        error = "cannot open " + path + ": " +
                (errno == EBUSY ? "it is in use by another program" : std::strerror(errno));
        return false;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error = "cannot open " + path + ": it is in use by another program";
        return false;
    }
    termios tio{};
    if (tcgetattr(fd_, &tio) != 0) {
        error = path + " is not a serial device: " + std::strerror(errno);
        return false;
    }
    ioctl(fd_, TIOCEXCL);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | CRTSCTS | PARENB | PARODD);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK);
    if (parity != 0) {
        tio.c_cflag |= PARENB | (parity == 1 ? PARODD : 0);
        tio.c_iflag |= INPCK;
    }
    cfsetispeed(&tio, *speed);
    cfsetospeed(&tio, *speed);
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) {
        error = "cannot set the line of " + path + ": " + std::strerror(errno);
        return false;
    }
    tcflush(fd_, TCIOFLUSH);
    return true;
}

SimPort::ClientChange SimPort::UpdateClients() {
    if (!IsPty())
        return ClientChange::None;
    alignas(inotify_event) char buf[4096];
    bool notified = false;
    while (read(watchFd_, buf, sizeof buf) > 0)
        notified = true;
    if (!notified)
        return ClientChange::None;

    const bool was = clientPresent_;
    clientPresent_ = OtherProcessHolds(path_);
    if (clientPresent_ == was)
        return ClientChange::None;
    if (!clientPresent_) {
        ioctl(slaveFd_, TIOCNXCL);
        tcflush(slaveFd_, TCIFLUSH);
        return ClientChange::Left;
    }
    return ClientChange::Arrived;
}
