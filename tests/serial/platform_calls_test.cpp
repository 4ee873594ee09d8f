// What the channel asks of the platform: the calls are observed by wrapping them at link
// time (-Wl,--wrap), and passed on unchanged to the real ones.
#include "pty_port.h"
#include "test_serial.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::DosDevices;
using testsupport::PtyPort;

namespace {

struct CallLog {
    std::mutex mutex;
    std::vector<std::string> createNames;
    std::vector<DWORD> writeSizes;
    std::vector<DWORD> readSizes;
    int commWaits = 0;
    int clearErrors = 0;

    void Clear() {
        std::lock_guard lock(mutex);
        createNames.clear();
        writeSizes.clear();
        readSizes.clear();
        commWaits = 0;
        clearErrors = 0;
    }
};

CallLog& Log() {
    static CallLog log;
    return log;
}

} // namespace

extern "C" {
HANDLE __real_CreateFileA(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
BOOL __real_WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL __real_ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
BOOL __real_WaitCommEvent(HANDLE, LPDWORD, LPOVERLAPPED);
BOOL __real_ClearCommError(HANDLE, LPDWORD, LPCOMSTAT);

HANDLE __wrap_CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    {
        std::lock_guard lock(Log().mutex);
        Log().createNames.emplace_back(name);
    }
    return __real_CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL __wrap_WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, LPOVERLAPPED ov) {
    {
        std::lock_guard lock(Log().mutex);
        Log().writeSizes.push_back(size);
    }
    return __real_WriteFile(file, buffer, size, written, ov);
}

BOOL __wrap_ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED ov) {
    {
        std::lock_guard lock(Log().mutex);
        Log().readSizes.push_back(size);
    }
    return __real_ReadFile(file, buffer, size, read, ov);
}

BOOL __wrap_WaitCommEvent(HANDLE file, LPDWORD mask, LPOVERLAPPED ov) {
    {
        std::lock_guard lock(Log().mutex);
        ++Log().commWaits;
    }
    return __real_WaitCommEvent(file, mask, ov);
}

BOOL __wrap_ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT stat) {
    {
        std::lock_guard lock(Log().mutex);
        ++Log().clearErrors;
    }
    return __real_ClearCommError(file, errors, stat);
}
}

namespace {

class PlatformCalls : public ::testing::Test {
protected:
    void SetUp() override { Log().Clear(); }
    DosDevices devices;
};

TEST_F(PlatformCalls, PortNumbersBecomeTheirDeviceNames) {
    PtyPort com9(devices, 9);
    PtyPort com10(devices, 10);
    TestSerial serial;
    ASSERT_EQ(serial.Open(9, 9600, 0), 1);
    ASSERT_EQ(serial.Open(10, 9600, 0), 1);
    serial.Close();
    EXPECT_EQ(PortExists(9), 1);
    EXPECT_EQ(PortExists(10), 1);
    EXPECT_EQ(PortExists(0), 0);
    std::lock_guard lock(Log().mutex);
    EXPECT_EQ(Log().createNames,
              (std::vector<std::string>{"COM9", "\\\\.\\COM10", "COM9", "\\\\.\\COM10", "COM0"}));
}

TEST_F(PlatformCalls, WritesGoOutInChunksOfAtMost1024) {
    PtyPort com2(devices, 2);
    TestSerial serial;
    ASSERT_EQ(serial.Write("abc", 3), 0);
    {
        std::lock_guard lock(Log().mutex);
        EXPECT_TRUE(Log().writeSizes.empty()) << "a closed channel touches no port";
    }

    ASSERT_EQ(serial.Open(2, 115200, 0), 1);
    std::vector<unsigned char> data(2500, 0x5A);
    std::vector<unsigned char> arrived;
    // The pseudo-terminal takes each chunk whole while its peer keeps reading.
    std::thread peer([&] { arrived = com2.MasterRead(data.size()); });
    ASSERT_EQ(serial.Write(data.data(), static_cast<unsigned>(data.size())), 1);
    peer.join();
    EXPECT_EQ(arrived.size(), data.size());
    ASSERT_EQ(serial.Write(data.data(), 0), 1);

    std::lock_guard lock(Log().mutex);
    EXPECT_EQ(Log().writeSizes, (std::vector<DWORD>{1024, 1024, 452, 0}));
}

TEST_F(PlatformCalls, ReadsAskForAtMost1024AndNoMoreThanIsWaiting) {
    PtyPort com3(devices, 3);
    TestSerial serial;
    ASSERT_EQ(serial.Open(3, 115200, 0), 1);
    std::vector<unsigned char> burst(3000);
    for (std::size_t i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<unsigned char>(i * 7);
    ASSERT_TRUE(com3.MasterWrite(burst.data(), burst.size()));
    ASSERT_TRUE(serial.WaitForBytes(burst.size()));
    serial.Close();
    EXPECT_EQ(serial.Received(), burst);

    std::lock_guard lock(Log().mutex);
    DWORD total = 0;
    for (DWORD size : Log().readSizes) {
        EXPECT_GT(size, 0u);
        EXPECT_LE(size, 1024u);
        total += size;
    }
    EXPECT_EQ(total, 3000u) << "every read completed with what it asked for";
}

TEST_F(PlatformCalls, AnIdleReaderWaitsInsteadOfPolling) {
    PtyPort com4(devices, 4);
    TestSerial serial;
    ASSERT_EQ(serial.Open(4, 9600, 0), 1);
    usleep(100 * 1000);
    int waitsBefore;
    int clearsBefore;
    {
        std::lock_guard lock(Log().mutex);
        waitsBefore = Log().commWaits;
        clearsBefore = Log().clearErrors;
    }
    usleep(500 * 1000);
    {
        std::lock_guard lock(Log().mutex);
        EXPECT_EQ(Log().commWaits, waitsBefore);
        EXPECT_EQ(Log().clearErrors, clearsBefore);
    }
    // Still awake for input.
    ASSERT_TRUE(com4.MasterWrite("\x33", 1));
    EXPECT_TRUE(serial.WaitForBytes(1));
}

} // namespace
