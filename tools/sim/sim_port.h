// The line the simulator talks on: a pseudo-terminal whose slave side clients open, or a
// real serial device.
#pragma once

#include <string>

class SimPort {
public:
    SimPort() = default;
    ~SimPort();
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    // A new pseudo-terminal, slave side raw. False with `error` set on failure.
    bool OpenPty(std::string& error);
    // `path` for exclusive use (flock and TIOCEXCL), raw, 8 data bits, one stop bit, no
    // flow control, the given rate and parity (0 none, 1 odd, 2 even).
    bool OpenDevice(const std::string& path, long baud, int parity, std::string& error);

    // The descriptor to read requests from and write answers to (non-blocking).
    int Fd() const { return fd_; }
    // Pty only: readable when clients opened or closed the slave; -1 for a device.
    int WatchFd() const { return watchFd_; }
    // The device clients open (the pty's slave) or the device served.
    const std::string& Path() const { return path_; }

    bool IsPty() const { return watchFd_ >= 0; }
    // Pty: whether some other process has the slave open, as of the last UpdateClients.
    // A device: always true.
    bool ClientPresent() const { return clientPresent_ || !IsPty(); }

    enum class ClientChange { None, Arrived, Left };
    // Pty: takes the open and close notices and finds out whether a client holds the slave
    // now. When the last one has left, clears the exclusive-use flag it may have left on
    // the slave and discards what it did not read.
    ClientChange UpdateClients();

private:
    int fd_ = -1;
    int slaveFd_ = -1;
    int watchFd_ = -1;
    std::string path_;
    bool clientPresent_ = false;
};
