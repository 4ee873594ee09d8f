// Reliability of the serial channel and the receiver over long use and under abuse: many
// open/close cycles, a port locked by another program, and a module that never stops
// sending.
#include "RZSerial.h"
#include "pty_port.h"
#include "test_serial.h"
#include "win32_user.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::DosDevices;
using testsupport::PtyPort;

namespace {

using Clock = std::chrono::steady_clock;

int EntriesIn(const char* folder) {
    DIR* dir = opendir(folder);
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        if (entry->d_name[0] != '.')
            ++count;
    closedir(dir);
    return count - 1; // the descriptor opendir holds while counting /proc/self/fd
}

int OpenDescriptors() { return EntriesIn("/proc/self/fd"); }

// What each open descriptor names, for the failure message.
std::string DescribeDescriptors() {
    std::string out;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return out;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        char target[256] = {};
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(path.c_str(), target, sizeof target - 1) > 0)
            out += std::string(entry->d_name) + " -> " + target + "\n";
    }
    closedir(dir);
    return out;
}
int Threads() { return EntriesIn("/proc/self/task") + 1; }

std::string DescribeThreads() {
    std::string out;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return out;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        out += std::string(entry->d_name) + " " + name + "\n";
    }
    closedir(dir);
    return out;
}

// A reader thread signals its end and then leaves, and the descriptor behind its handle
// goes with it: counts settle a moment after Close. The settled value, waiting up to
// `limit` for `count` to reach `expected`.
template <typename Count>
int Settled(Count count, int expected, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = Clock::now() + limit;
    int now = count();
    while (now != expected && Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        now = count();
    }
    return now;
}

// The lowest value `count` shows over a short while: the count with nothing going away.
template <typename Count>
int Baseline(Count count) {
    int lowest = count();
    for (int i = 0; i < 30; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        lowest = std::min(lowest, count());
    }
    return lowest;
}

// Resident set size of this process, in KiB.
long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// A process that takes an advisory exclusive lock on a device and nothing else (no
// exclusive-use flag on the terminal), as other serial programs do; it holds the lock until
// this object goes. Create it while no other thread runs (fork).
class FlockHolder {
public:
    explicit FlockHolder(const std::string& path) {
        int ready[2];
        if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release_, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        child_ = fork();
        if (child_ == 0) {
            close(ready[0]);
            close(release_[1]);
            const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
            [[maybe_unused]] ssize_t n = write(ready[1], &ok, 1);
            char ignored;
            while (read(release_[0], &ignored, 1) < 0 && errno == EINTR) {
            }
            _exit(0);
        }
        close(ready[1]);
        close(release_[0]);
        char ok = '0';
        holding_ = read(ready[0], &ok, 1) == 1 && ok == '1';
        close(ready[0]);
    }
    ~FlockHolder() { Release(); }
    bool Holding() const { return holding_; }
    void Release() {
        if (child_ > 0) {
            close(release_[1]);
            waitpid(child_, nullptr, 0);
            child_ = -1;
        }
    }

private:
    pid_t child_ = -1;
    int release_[2] = {-1, -1};
    bool holding_ = false;
};

class Reliability : public ::testing::Test {
protected:
    DosDevices devices;
};

TEST_F(Reliability, AThousandOpenCloseCyclesLeaveDescriptorsAndThreadsAsTheyWere) {
    PtyPort com5(devices, 5);
    TestSerial serial;
    // One cycle first, so that anything the layers set up once per process is there.
    ASSERT_EQ(serial.Open(5, 9600, 0), 1);
    serial.Close();
    const int descriptors = Baseline(OpenDescriptors);
    const int threads = Baseline(Threads);
    ASSERT_GT(descriptors, 0);

    std::size_t expected = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        ASSERT_EQ(serial.Open(5, cycle % 2 ? 115200 : 9600, cycle % 3), 1) << "cycle " << cycle;
        if (cycle % 50 == 0) {
            // Now and then with traffic both ways, so that cycles also end a reader that
            // has worked.
            const unsigned char byte = static_cast<unsigned char>(cycle);
            ASSERT_EQ(serial.Write(&byte, 1), 1);
            ASSERT_EQ(com5.MasterRead(1), std::vector<unsigned char>{byte});
            ASSERT_TRUE(com5.MasterWrite(&byte, 1));
            ASSERT_TRUE(serial.WaitForBytes(++expected)) << "cycle " << cycle;
        }
        ASSERT_EQ(serial.Close(), 1);
        ASSERT_TRUE(serial.AllHandlesZero());
        if (cycle % 100 == 99) {
            ASSERT_EQ(Settled(OpenDescriptors, descriptors), descriptors)
                << "after " << cycle + 1 << " cycles:\n" << DescribeDescriptors();
            ASSERT_EQ(Settled(Threads, threads), threads)
                << "after " << cycle + 1 << " cycles:\n" << DescribeThreads();
        }
    }
    EXPECT_EQ(Settled(OpenDescriptors, descriptors), descriptors);
    EXPECT_EQ(Settled(Threads, threads), threads);
}

TEST_F(Reliability, APortLockedByAnotherProgramIsNotListedAndDoesNotOpen) {
    PtyPort com6(devices, 6);
    FlockHolder holder(com6.SlavePath());
    ASSERT_TRUE(holder.Holding());
    const int descriptors = Baseline(OpenDescriptors);

    EXPECT_EQ(PortExists(6), 0);
    TestSerial serial;
    for (int attempt = 0; attempt < 20; ++attempt) {
        EXPECT_EQ(serial.Open(6, 9600, 0), 0);
        EXPECT_EQ(serial.Configure(6, 9600, 0), 0);
    }
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_TRUE(serial.AllHandlesZero());
    EXPECT_EQ(Settled(OpenDescriptors, descriptors), descriptors)
        << "a refused open leaves a descriptor behind:\n" << DescribeDescriptors();

    holder.Release();
    EXPECT_EQ(PortExists(6), 1);
    ASSERT_EQ(serial.Open(6, 9600, 0), 1);
    const unsigned char byte = 0x5A;
    ASSERT_TRUE(com6.MasterWrite(&byte, 1));
    EXPECT_TRUE(serial.WaitForBytes(1));
}

// The window's side of the receiver: counts deliveries and keeps the length and first bytes
// of each answer as the receiver holds them during the delivery.
class DeliveryLog : public WindowMessageTarget {
public:
    RZSerial* serial = nullptr;
    std::vector<std::int32_t> lengths;
    std::vector<std::vector<std::uint8_t>> answers;

    LRESULT HandleWindowMessage(UINT, WPARAM, LPARAM) override {
        lengths.push_back(serial->RecvLen);
        const std::int32_t n = serial->RecvLen < RZSerial::RECV_BUF_SIZE ? serial->RecvLen
                                                                         : RZSerial::RECV_BUF_SIZE;
        answers.emplace_back(serial->RecvBuf, serial->RecvBuf + (n > 0 ? n : 0));
        return 0;
    }
};

TEST_F(Reliability, AModuleFloodingTheLineKeepsMemoryFlatAndAnswersWithinTheBuffer) {
    PtyPort com7(devices, 7);
    RZSerial serial;
    DeliveryLog log;
    log.serial = &serial;
    const HWND window = CreateMessageWindow(&log);
    const UINT msgId = RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1");
    ASSERT_EQ(serial.Open(7, 115200, 0), 1);

    // The module sends a repeating 251-byte pattern without a pause.
    std::vector<unsigned char> pattern(251);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<unsigned char>(i * 7 + 3);
    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread module([&] {
        while (!stop.load()) {
            if (!com7.MasterWrite(pattern.data(), pattern.size(), 1000))
                continue; // the reader is slower than the module: keep pushing
            sent += static_cast<long long>(pattern.size());
        }
    });

    // This thread plays the window: a tick every 100 ms, as the window's timer gives.
    auto tickFor = [&](std::chrono::milliseconds span) {
        const auto end = Clock::now() + span;
        while (Clock::now() < end) {
            serial.OnTimerTick(window, msgId);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    tickFor(std::chrono::milliseconds(1000));
    const long residentEarly = ResidentKiB();
    const long long sentEarly = sent.load();
    tickFor(std::chrono::milliseconds(4000));
    const long residentLate = ResidentKiB();
    const long long sentLate = sent.load();
    stop = true;
    module.join();

    ASSERT_GT(sentEarly, 0);
    EXPECT_GT(sentLate - sentEarly, 64 * 1024) << "the flood did not go on";
    EXPECT_LT(residentLate - residentEarly, 4 * 1024)
        << "resident memory grew from " << residentEarly << " KiB to " << residentLate << " KiB";
    EXPECT_TRUE(log.lengths.empty()) << "an answer was delivered while the line never paused";

    // Once the line is quiet, the flood is delivered as one answer of at most 1024 bytes:
    // its first bytes, as they came.
    tickFor(std::chrono::milliseconds(1000));
    serial.Close();
    DestroyMessageWindow(window);
    ASSERT_EQ(log.lengths.size(), 1u);
    EXPECT_EQ(log.lengths[0], RZSerial::RECV_BUF_SIZE);
    ASSERT_EQ(log.answers[0].size(), static_cast<std::size_t>(RZSerial::RECV_BUF_SIZE));
    for (std::size_t i = 0; i < log.answers[0].size(); ++i)
        ASSERT_EQ(log.answers[0][i], pattern[i % pattern.size()]) << "position " << i;
    EXPECT_EQ(serial.IdleCount, -1);
    EXPECT_EQ(serial.RecvLen, 0);
}

} // namespace
