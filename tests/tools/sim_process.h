// The simulator program run as a child process, and a serial channel that talks to it.
#pragma once

#include "CXSerial.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace simtest {

using Clock = std::chrono::steady_clock;

// cmt2300-sim started with `args` in the current environment (so with the test's
// XDG_CONFIG_HOME). Its standard output is collected line by line.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess(); // kills the process if it is still running
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Waits until a line of its standard output contains `text`; the line, or "" after
    // `timeoutMs` or when the process ended without printing it.
    std::string WaitForLine(const std::string& text, int timeoutMs = 10000);
    // Lines printed so far that contain `text`.
    int CountLines(const std::string& text);
    // The pseudo-terminal named in the "module on COMn (path)" line; "" when not ready.
    std::string WaitUntilReady(int timeoutMs = 10000);

    // Sends `sig` and waits for the end. The exit code, 128 + signal when killed by one,
    // -1 when it did not end within `timeoutMs` (it is then killed).
    int Stop(int sig, int timeoutMs = 10000);
    // Waits for the end without sending anything; as Stop.
    int WaitForExit(int timeoutMs = 10000);

    std::string Output();      // standard output so far
    std::string ErrorOutput(); // standard error so far
    pid_t Pid() const { return pid_; }

private:
    void Drain(int timeoutMs);
    bool Ended();

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outText_;
    std::string errText_;
};

// A serial channel of the tool that records what it receives, with arrival times.
class SimClient : public CXSerial {
public:
    ~SimClient() override { Close(); }
    void OnReceiveByte(unsigned char byte) override;

    bool Send(const std::vector<std::uint8_t>& bytes) {
        return Write(bytes.data(), static_cast<unsigned>(bytes.size())) == 1;
    }
    // Waits until `count` bytes came in total; false after `timeoutMs`.
    bool WaitForBytes(std::size_t count, int timeoutMs = 5000);
    // Waits until no byte arrived for `quietMs`; returns the total count.
    std::size_t WaitForQuiet(int quietMs);
    std::vector<std::uint8_t> Received();
    std::vector<Clock::time_point> ArrivalTimes();

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::uint8_t> received_;
    std::vector<Clock::time_point> times_;
};

} // namespace simtest
