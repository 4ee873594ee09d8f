// Test fixtures for serial code: a temporary dosdevices folder, pseudo-terminals mapped as
// COM numbers in it, and a port held by another process.
//
// Typical use:
//   testsupport::DosDevices devices;            // XDG_CONFIG_HOME -> a temp dir
//   testsupport::PtyPort port(devices, 7);      // COM7 is now a pseudo-terminal
//   channel.Open(7, 9600, 0);                   // opens the slave side
//   port.MasterWrite("\x01\x02", 2);            // bytes from the "device"
//   auto sent = port.MasterRead(16);            // bytes the channel wrote
//   port.Unplug();                              // the device goes away
//
// The master side is the device: the fixtures never change its settings (on a pseudo-
// terminal that would change the slave too). Create and destroy these objects on the
// test's main thread while no other thread opens ports: they change the environment.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <termios.h>
#include <vector>

namespace testsupport {

// A temporary configuration folder with an empty dosdevices folder in it. While it lives,
// XDG_CONFIG_HOME points at it and CMT2300_DOSDEVICES_ONLY=1 keeps the built-in COM table
// out, so ports resolve through this folder alone; both are restored afterwards and the
// folder is removed.
class DosDevices {
public:
    DosDevices();
    ~DosDevices();
    DosDevices(const DosDevices&) = delete;
    DosDevices& operator=(const DosDevices&) = delete;

    const std::string& ConfigHome() const { return configHome_; }
    // <ConfigHome>/cmt2300-config/dosdevices
    const std::string& Folder() const { return folder_; }
    // Makes comN a symlink to `target`, replacing an earlier entry.
    void Link(unsigned com, const std::string& target);
    void Unlink(unsigned com);

private:
    std::string configHome_;
    std::string folder_;
    std::string savedConfigHome_;
    std::string savedOnly_;
    bool hadConfigHome_ = false;
    bool hadOnly_ = false;
};

// A pseudo-terminal whose slave side is mapped as COM<com> in `devices`. The fixture keeps
// a descriptor of the slave for reading its settings back; it never reads data from it.
class PtyPort {
public:
    PtyPort(DosDevices& devices, unsigned com);
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    unsigned Com() const { return com_; }
    // The device end, non-blocking; -1 after Unplug.
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

    // The slave's terminal settings as the port's user left them. False when they cannot be
    // read (after Unplug, for instance).
    bool ReadSlaveTermios(termios& settings) const;

    // Writes every byte to the master, waiting for room up to `timeoutMs`. False on time-out
    // or error.
    bool MasterWrite(const void* data, std::size_t length, int timeoutMs = 5000);
    // Reads until `length` bytes came or `timeoutMs` passed; returns what came.
    std::vector<unsigned char> MasterRead(std::size_t length, int timeoutMs = 5000);
    // Reads until nothing more comes for `quietMs`.
    std::vector<unsigned char> MasterReadUntilQuiet(int quietMs = 200);

    // Closes the master: the slave hangs up as when a USB adapter is pulled. The comN entry
    // stays and names a device that no longer exists.
    void Unplug();

private:
    unsigned com_;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// Another process that opens COM<com> through the Win32 layer and holds it until this object
// is destroyed. Fork happens in the constructor: create it while the test process runs no
// other threads.
class OtherProcessHolder {
public:
    explicit OtherProcessHolder(unsigned com);
    ~OtherProcessHolder();
    OtherProcessHolder(const OtherProcessHolder&) = delete;
    OtherProcessHolder& operator=(const OtherProcessHolder&) = delete;

    // True when the other process managed to open the port and holds it now.
    bool Holding() const { return holding_; }
    // Ends the other process (the port is free again when this returns).
    void Release();

private:
    pid_t child_ = -1;
    int release_ = -1;
    bool holding_ = false;
};

} // namespace testsupport
