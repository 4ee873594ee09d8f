// The Win32 kernel subset on POSIX: records, waits, threads, locks, formatting, and the
// serial calls on pseudo-terminals mapped through the dosdevices folder.
#include "com_map.h"
#include "pty_port.h"
#include "win32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using testsupport::DosDevices;
using testsupport::PtyPort;

namespace {

// ---- DCB layout ---------------------------------------------------------------------------

struct BitCase {
    const char* field;
    std::function<void(DCB&)> set;
    DWORD bits; // expected flag word (offset 8)
};

class DcbLayout : public ::testing::TestWithParam<BitCase> {};

TEST_P(DcbLayout, FlagBitsSitWhereTheRecordDocumentsThem) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    GetParam().set(dcb);
    DWORD flags;
    std::memcpy(&flags, reinterpret_cast<const unsigned char*>(&dcb) + 8, sizeof flags);
    EXPECT_EQ(flags, GetParam().bits) << GetParam().field;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, DcbLayout,
    ::testing::Values(BitCase{"fBinary", [](DCB& d) { d.fBinary = 1; }, 1u << 0},
                      BitCase{"fParity", [](DCB& d) { d.fParity = 1; }, 1u << 1},
                      BitCase{"fOutxCtsFlow", [](DCB& d) { d.fOutxCtsFlow = 1; }, 1u << 2},
                      BitCase{"fOutxDsrFlow", [](DCB& d) { d.fOutxDsrFlow = 1; }, 1u << 3},
                      BitCase{"fDtrControl", [](DCB& d) { d.fDtrControl = 3; }, 3u << 4},
                      BitCase{"fDsrSensitivity", [](DCB& d) { d.fDsrSensitivity = 1; }, 1u << 6},
                      BitCase{"fTXContinueOnXoff", [](DCB& d) { d.fTXContinueOnXoff = 1; },
                              1u << 7},
                      BitCase{"fOutX", [](DCB& d) { d.fOutX = 1; }, 1u << 8},
                      BitCase{"fInX", [](DCB& d) { d.fInX = 1; }, 1u << 9},
                      BitCase{"fErrorChar", [](DCB& d) { d.fErrorChar = 1; }, 1u << 10},
                      BitCase{"fNull", [](DCB& d) { d.fNull = 1; }, 1u << 11},
                      BitCase{"fRtsControl", [](DCB& d) { d.fRtsControl = 3; }, 3u << 12},
                      BitCase{"fAbortOnError", [](DCB& d) { d.fAbortOnError = 1; }, 1u << 14},
                      BitCase{"fDummy2", [](DCB& d) { d.fDummy2 = 0x1FFFF; }, 0x1FFFFu << 15}),
    [](const ::testing::TestParamInfo<BitCase>& info) { return std::string(info.param.field); });

TEST(DcbLayout, BytesFollowTheFlagWordInOrder) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 0x01020304;
    dcb.XonLim = 0x1122;
    dcb.XoffLim = 0x3344;
    dcb.ByteSize = 8;
    dcb.Parity = 2;
    dcb.StopBits = 1;
    dcb.XonChar = 0x13;
    dcb.XoffChar = 0x19;
    dcb.wReserved1 = 0x5566;
    const unsigned char expected[28] = {28, 0,    0,    0, 0x04, 0x03, 0x02, 0x01, 0, 0,
                                        0,  0,    0,    0, 0x22, 0x11, 0x44, 0x33, 8, 2,
                                        1,  0x13, 0x19, 0, 0,    0,    0x66, 0x55};
    EXPECT_EQ(std::memcmp(&dcb, expected, sizeof expected), 0);
    EXPECT_EQ(sizeof(COMMTIMEOUTS), 20u);
    EXPECT_EQ(sizeof(COMSTAT), 12u);
}

// ---- Events and waits ---------------------------------------------------------------------

struct EventCase {
    BOOL manualReset;
    BOOL initial;
    DWORD firstWait;
    DWORD secondWait;
};

class EventSemantics : public ::testing::TestWithParam<EventCase> {};

TEST_P(EventSemantics, ResetRule) {
    const EventCase c = GetParam();
    HANDLE event = CreateEventA(nullptr, c.manualReset, c.initial, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.firstWait);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.secondWait);
    ASSERT_TRUE(SetEvent(event));
    ASSERT_TRUE(SetEvent(event)) << "setting a set event changes nothing";
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.manualReset ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    ASSERT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EventSemantics,
                         ::testing::Values(EventCase{TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
                                           EventCase{TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},
                                           EventCase{FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
                                           EventCase{FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT}));

TEST(Waits, AnyOfSeveralReportsTheLowestSignalledIndex) {
    HANDLE events[3];
    for (HANDLE& event : events)
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 10), WAIT_TIMEOUT);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 2);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, INFINITE), WAIT_OBJECT_0);
    for (HANDLE event : events)
        CloseHandle(event);
}

TEST(Waits, ASetFromAnotherThreadWakesABlockedWait) {
    HANDLE events[2] = {CreateEventA(nullptr, TRUE, FALSE, nullptr),
                        CreateEventA(nullptr, FALSE, FALSE, nullptr)};
    std::thread setter([&] {
        usleep(50 * 1000);
        SetEvent(events[1]);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, events, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();
    EXPECT_EQ(WaitForSingleObject(events[1], 0), WAIT_TIMEOUT) << "auto-reset consumed";
    CloseHandle(events[0]);
    CloseHandle(events[1]);
}

TEST(Waits, BadArgumentsFail) {
    HANDLE event = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE bogus = reinterpret_cast<HANDLE>(0x1234);
    HANDLE withBogus[2] = {event, bogus};
    EXPECT_EQ(WaitForMultipleObjects(2, withBogus, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(WaitForMultipleObjects(1, &event, TRUE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(WaitForMultipleObjects(0, &event, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "named"), nullptr);

    EXPECT_TRUE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(event)) << "a handle is released once";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

// ---- Threads ------------------------------------------------------------------------------

DWORD WINAPI WaitThenReturn(LPVOID param) {
    WaitForSingleObject(static_cast<HANDLE>(param), INFINITE);
    return 42;
}

TEST(Threads, AThreadHandleIsSignalledWhenTheThreadEnds) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WaitThenReturn, go, 0, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);

    SetEvent(go);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "stays signalled";
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 42u);
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_TRUE(CloseHandle(go));
}

TEST(Threads, ClosingTheHandleOfARunningThreadLetsItFinish) {
    static std::atomic<bool> finished{false};
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID param) -> DWORD {
            WaitForSingleObject(static_cast<HANDLE>(param), INFINITE);
            finished = true;
            return 0;
        },
        go, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(go);
    for (int i = 0; i < 500 && !finished; ++i)
        Sleep(10);
    EXPECT_TRUE(finished.load());
    CloseHandle(go);
}

// ---- Critical sections --------------------------------------------------------------------

TEST(CriticalSections, RecursiveAndMutuallyExclusive) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long counter = 0; // guarded by section, deliberately not atomic
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&section);
            EnterCriticalSection(&section);
            ++counter;
            LeaveCriticalSection(&section);
            LeaveCriticalSection(&section);
        }
    };
    std::thread a(work);
    std::thread b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
    DeleteCriticalSection(&section);
}

// ---- Formatting ---------------------------------------------------------------------------

TEST(Formatting, PortNamesAndTheOutputLimit) {
    char out[2048];
    EXPECT_EQ(wsprintfA(out, "COM%d", 7), 4);
    EXPECT_STREQ(out, "COM7");
    EXPECT_EQ(wsprintfA(out, "\\\\.\\COM%d", 128), 10);
    EXPECT_STREQ(out, "\\\\.\\COM128");
    std::string longText(1500, 'x');
    EXPECT_EQ(wsprintfA(out, "%s", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(out), 1023u);
}

// ---- COM names and the map ----------------------------------------------------------------

struct ParseCase {
    const char* name;
    unsigned number;
};

class ComNames : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ComNames, Parse) {
    EXPECT_EQ(win32_posix::ParseComName(GetParam().name), GetParam().number) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, ComNames,
    ::testing::Values(ParseCase{"COM1", 1}, ParseCase{"COM9", 9}, ParseCase{"com3", 3},
                      ParseCase{"COM0", 0}, ParseCase{"COM10", 0}, ParseCase{"\\\\.\\COM10", 10},
                      ParseCase{"\\\\.\\COM1", 1}, ParseCase{"\\\\.\\COM255", 255},
                      ParseCase{"\\\\.\\COM0", 0}, ParseCase{"\\\\.\\COM01", 0},
                      ParseCase{"\\\\.\\COM-1", 0}, ParseCase{"COM", 0}, ParseCase{"COM1x", 0},
                      ParseCase{"LPT1", 0}, ParseCase{"/dev/ttyS0", 0},
                      ParseCase{"\\\\.\\COM99999999999", 0}));

// Resolution never opens anything, so the built-in table can be checked on any machine.
class ComMap : public ::testing::Test {
protected:
    void AllowBuiltInTable() { unsetenv("CMT2300_DOSDEVICES_ONLY"); }
    DosDevices devices; // restores the environment afterwards
};

TEST_F(ComMap, BuiltInTableCoversComOneTo128) {
    AllowBuiltInTable();
    const std::pair<unsigned, const char*> cases[] = {{1, "/dev/ttyUSB0"},
                                                      {32, "/dev/ttyUSB31"},
                                                      {33, "/dev/ttyACM0"},
                                                      {64, "/dev/ttyACM31"},
                                                      {65, "/dev/ttyS0"},
                                                      {96, "/dev/ttyS31"},
                                                      {97, "/dev/ttyAMA0"},
                                                      {128, "/dev/ttyAMA31"},
                                                      {129, ""},
                                                      {255, ""},
                                                      {0, ""}};
    for (auto [number, path] : cases)
        EXPECT_EQ(win32_posix::ResolveComPort(number), path) << number;
}

TEST_F(ComMap, TheFolderComesFirstAndCanStandAlone) {
    devices.Link(65, "/nonexistent/device");
    AllowBuiltInTable();
    // An entry wins even when it names nothing: the table is not consulted for it.
    EXPECT_EQ(win32_posix::ResolveComPort(65), devices.Folder() + "/com65");
    EXPECT_EQ(win32_posix::ResolveComPort(66), "/dev/ttyS1");
    setenv("CMT2300_DOSDEVICES_ONLY", "1", 1);
    EXPECT_EQ(win32_posix::ResolveComPort(66), "");
    EXPECT_EQ(win32_posix::ResolveComPort(65), devices.Folder() + "/com65");
}

TEST_F(ComMap, FolderDefaultsToHomeConfig) {
    const char* savedHome = std::getenv("HOME");
    std::string home = savedHome ? savedHome : "";
    setenv("HOME", "/home/someone", 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(win32_posix::DosDevicesFolder(), "/home/someone/.config/cmt2300-config/dosdevices");
    setenv("XDG_CONFIG_HOME", "relative/path", 1);
    EXPECT_EQ(win32_posix::DosDevicesFolder(), "/home/someone/.config/cmt2300-config/dosdevices");
    setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(win32_posix::DosDevicesFolder(), "/xdg/cmt2300-config/dosdevices");
    if (savedHome)
        setenv("HOME", home.c_str(), 1);
    else
        unsetenv("HOME");
}

// ---- Opening ports ------------------------------------------------------------------------

HANDLE OpenCom(const char* name, DWORD share = 0) {
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
}

class Ports : public ::testing::Test {
protected:
    DosDevices devices;
};

TEST_F(Ports, OpenFailuresCarryTheirReason) {
    PtyPort com3(devices, 3);
    PtyPort com10(devices, 10);
    devices.Link(4, "/dev/null");
    devices.Link(5, devices.Folder() + "/nothing-here");

    struct Case {
        const char* name;
        DWORD share;
        DWORD error;
    };
    const Case cases[] = {
        {"COM2", 0, ERROR_FILE_NOT_FOUND},  // no entry, and the table is off
        {"COM4", 0, ERROR_FILE_NOT_FOUND},  // not a terminal
        {"COM5", 0, ERROR_FILE_NOT_FOUND},  // entry names nothing
        {"COM10", 0, ERROR_FILE_NOT_FOUND}, // above 9 only the long form names a port
        {"COM0", 0, ERROR_FILE_NOT_FOUND},
        {"COM3", 1, ERROR_INVALID_PARAMETER}, // shared use is not offered
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(OpenCom(c.name, c.share), INVALID_HANDLE_VALUE) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }

    HANDLE held = OpenCom("\\\\.\\COM10");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenCom("\\\\.\\COM10"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(held));
    held = OpenCom("\\\\.\\COM10");
    EXPECT_NE(held, INVALID_HANDLE_VALUE) << "closing released the port";
    CloseHandle(held);
}

// A port opened and set to raw 9600 8N1, with its pseudo-terminal.
class OpenPort : public ::testing::Test {
protected:
    void SetUp() override {
        port = OpenCom("COM1");
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        DCB dcb;
        std::memset(&dcb, 0, sizeof dcb);
        dcb.DCBlength = sizeof dcb;
        dcb.BaudRate = 9600;
        dcb.fBinary = 1;
        dcb.ByteSize = 8;
        ASSERT_TRUE(SetCommState(port, &dcb));
        ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        if (port != INVALID_HANDLE_VALUE)
            CloseHandle(port);
        CloseHandle(event);
        CloseHandle(stop);
    }

    DosDevices devices;
    PtyPort com1{devices, 1};
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    HANDLE stop = nullptr;
};

struct StateCase {
    const char* what;
    std::function<void(DCB&)> change;
};

class RefusedState : public OpenPort, public ::testing::WithParamInterface<StateCase> {};

TEST_P(RefusedState, IsRefusedAndChangesNothing) {
    termios before{};
    ASSERT_TRUE(com1.ReadSlaveTermios(before));
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 19200;
    dcb.fBinary = 1;
    dcb.ByteSize = 8;
    dcb.Parity = ODDPARITY;
    GetParam().change(dcb);
    EXPECT_FALSE(SetCommState(port, &dcb)) << GetParam().what;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    termios after{};
    ASSERT_TRUE(com1.ReadSlaveTermios(after));
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << GetParam().what;
    DCB kept{};
    ASSERT_TRUE(GetCommState(port, &kept));
    EXPECT_EQ(kept.BaudRate, 9600u);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RefusedState,
    ::testing::Values(
        StateCase{"unknown rate", [](DCB& d) { d.BaudRate = 14400; }},
        StateCase{"zero rate", [](DCB& d) { d.BaudRate = 0; }},
        StateCase{"CTS flow", [](DCB& d) { d.fOutxCtsFlow = 1; }},
        StateCase{"DSR flow", [](DCB& d) { d.fOutxDsrFlow = 1; }},
        StateCase{"XON/XOFF out", [](DCB& d) { d.fOutX = 1; }},
        StateCase{"XON/XOFF in", [](DCB& d) { d.fInX = 1; }},
        StateCase{"RTS handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }},
        StateCase{"DTR handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }},
        StateCase{"mark parity", [](DCB& d) { d.Parity = MARKPARITY; }},
        StateCase{"1.5 stop bits", [](DCB& d) { d.StopBits = ONE5STOPBITS; }},
        StateCase{"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
        StateCase{"text mode", [](DCB& d) { d.fBinary = 0; }}),
    [](const ::testing::TestParamInfo<StateCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST_F(OpenPort, ACommEventWaitSleepsUntilInputOrStop) {
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD mask = 0xFFFF;
    ASSERT_FALSE(WaitCommEvent(port, &mask, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    HANDLE both[2] = {stop, event};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 50), WAIT_TIMEOUT);

    std::thread device([&] {
        usleep(30 * 1000);
        com1.MasterWrite("\x7E", 1);
    });
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    device.join();
    DWORD unused = 0;
    EXPECT_TRUE(GetOverlappedResult(port, &ov, &unused, FALSE));
    EXPECT_EQ(mask, EV_RXCHAR);

    // With input waiting, the next wait completes at once.
    mask = 0;
    EXPECT_TRUE(WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(mask, EV_RXCHAR);
    COMSTAT status{};
    ASSERT_TRUE(ClearCommError(port, nullptr, &status));
    EXPECT_EQ(status.cbInQue, 1u);

    // A new mask ends a wait under way with no event.
    ASSERT_TRUE(PurgeComm(port, PURGE_RXCLEAR));
    mask = 0xFFFF;
    ASSERT_FALSE(WaitCommEvent(port, &mask, &ov));
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR));
    EXPECT_EQ(WaitForSingleObject(event, 1000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(port, &ov, &unused, FALSE));
    EXPECT_EQ(mask, 0u);
}

TEST_F(OpenPort, AReadForMoreThanIsThereCompletesWhenTheRestArrives) {
    ASSERT_TRUE(com1.MasterWrite("abc", 3));
    usleep(20 * 1000);
    OVERLAPPED ov{};
    ov.hEvent = event;
    char buffer[6] = {};
    DWORD count = 99;
    ASSERT_FALSE(ReadFile(port, buffer, 6, &count, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    EXPECT_EQ(count, 3u) << "bytes moved so far";

    ASSERT_TRUE(com1.MasterWrite("def", 3));
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetOverlappedResult(port, &ov, &count, FALSE));
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");

    // One read and one write may be under way at a time each.
    ASSERT_FALSE(ReadFile(port, buffer, 1, &count, &ov));
    OVERLAPPED second{};
    EXPECT_FALSE(ReadFile(port, buffer, 1, &count, &second));
    EXPECT_EQ(GetLastError(), ERROR_BUSY);
    ASSERT_TRUE(PurgeComm(port, PURGE_RXABORT));
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_EQ(count, 0u);
}

TEST_F(OpenPort, AnAbortedWriteReportsWhatItMovedAndNothingMore) {
    // Nobody reads the master, so the port stops taking bytes.
    std::vector<unsigned char> data(256 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 31 + i / 256);
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD count = 0;
    ASSERT_FALSE(WriteFile(port, data.data(), static_cast<DWORD>(data.size()), &count, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

    ASSERT_TRUE(PurgeComm(port, PURGE_TXABORT));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, data.size());

    const auto arrived = com1.MasterReadUntilQuiet(200);
    ASSERT_EQ(arrived.size(), count);
    EXPECT_TRUE(std::equal(arrived.begin(), arrived.end(), data.begin()));
}

TEST_F(OpenPort, HangUpFailsEveryCallAndEndsAWaitUnderWay) {
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(port, &mask, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    std::thread unplug([&] {
        usleep(30 * 1000);
        com1.Unplug();
    });
    HANDLE both[2] = {stop, event};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 5000), WAIT_OBJECT_0 + 1);
    unplug.join();
    DWORD count = 0;
    EXPECT_FALSE(GetOverlappedResult(port, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);

    char buffer[4];
    OVERLAPPED io{};
    EXPECT_FALSE(ReadFile(port, buffer, 1, &count, &io));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(WriteFile(port, "x", 1, &count, &io));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(WaitCommEvent(port, &mask, &ov));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    COMSTAT status{};
    EXPECT_FALSE(ClearCommError(port, nullptr, &status));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;
}

TEST_F(OpenPort, ClosingAPortAbortsWhatIsUnderWayAndFreesItAtOnce) {
    OVERLAPPED ov{};
    ov.hEvent = event;
    char buffer[8];
    DWORD count = 0;
    ASSERT_FALSE(ReadFile(port, buffer, sizeof buffer, &count, &ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    ASSERT_TRUE(CloseHandle(port));
    port = INVALID_HANDLE_VALUE;
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ov.Internal, ERROR_OPERATION_ABORTED);

    port = OpenCom("COM1");
    EXPECT_NE(port, INVALID_HANDLE_VALUE);
}

} // namespace
