// The serial channel end to end on pseudo-terminals mapped as COM numbers.
#include "pty_port.h"
#include "test_serial.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <unistd.h>

using testsupport::DosDevices;
using testsupport::OtherProcessHolder;
using testsupport::PtyPort;

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::vector<unsigned char> Pattern(std::size_t length, unsigned seed = 1) {
    std::vector<unsigned char> bytes(length);
    unsigned state = seed;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<unsigned char>(state >> 16);
    }
    return bytes;
}

bool ThreadRunning(HANDLE thread) {
    DWORD code = 0;
    return GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

class SerialChannel : public ::testing::Test {
protected:
    DosDevices devices;
};

// ---- Port names ---------------------------------------------------------------------------

struct NameCase {
    int port;
    const char* name;
};

class PortNameRule : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNameRule, FormsTheDeviceName) {
    char name[PortNameSize];
    FormPortName(GetParam().port, name);
    EXPECT_STREQ(name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Ports, PortNameRule,
                         ::testing::Values(NameCase{0, "COM0"}, NameCase{1, "COM1"},
                                           NameCase{9, "COM9"}, NameCase{10, "\\\\.\\COM10"},
                                           NameCase{255, "\\\\.\\COM255"},
                                           NameCase{-1, "\\\\.\\COM-1"}),
                         [](const ::testing::TestParamInfo<NameCase>& info) {
                             return "Port" + std::to_string(info.index);
                         });

TEST_F(SerialChannel, BothNameFormsResolveThroughTheFolderAndZeroNamesNoDevice) {
    PtyPort com9(devices, 9);
    PtyPort com10(devices, 10);
    PtyPort com0(devices, 0); // an entry "com0" must not make COM0 a device
    TestSerial serial;

    EXPECT_EQ(PortExists(9), 1);
    EXPECT_EQ(PortExists(10), 1);
    EXPECT_EQ(PortExists(0), 0);

    for (PtyPort* port : {&com9, &com10}) {
        ASSERT_EQ(serial.Open(static_cast<int>(port->Com()), 9600, 0), 1) << port->Com();
        const unsigned char byte = static_cast<unsigned char>(port->Com());
        ASSERT_EQ(serial.Write(&byte, 1), 1);
        EXPECT_EQ(port->MasterRead(1), std::vector<unsigned char>{byte}) << port->Com();
    }
    EXPECT_EQ(serial.Open(0, 9600, 0), 0);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_TRUE(serial.AllHandlesZero());
}

// ---- Lifecycle ----------------------------------------------------------------------------

TEST_F(SerialChannel, CloseReleasesEverythingAndReopenStartsAFreshReader) {
    PtyPort com3(devices, 3);
    TestSerial serial;
    EXPECT_TRUE(serial.AllHandlesZero());

    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(serial.Open(3, 9600, 0), 1);
        EXPECT_EQ(serial.IsOpen(), 1);
        ASSERT_TRUE(serial.AllHandlesPresent());
        EXPECT_TRUE(ThreadRunning(serial.ReaderThread));
        EXPECT_EQ(WaitForSingleObject(serial.StopEvent, 0), WAIT_TIMEOUT);
        EXPECT_EQ(PortExists(3), 0) << "the open port is held";

        const unsigned char byte = static_cast<unsigned char>(0xA0 + round);
        ASSERT_TRUE(com3.MasterWrite(&byte, 1));
        ASSERT_TRUE(serial.WaitForBytes(static_cast<std::size_t>(round) + 1));

        HANDLE oldThread = serial.ReaderThread;
        EXPECT_EQ(serial.Close(), 1);
        EXPECT_EQ(serial.IsOpen(), 0);
        EXPECT_TRUE(serial.AllHandlesZero());
        // The released handles name nothing any more.
        EXPECT_EQ(CloseHandle(oldThread), FALSE);
        EXPECT_EQ(PortExists(3), 1) << "a closed port is free";
    }
    EXPECT_EQ(serial.Received(), (std::vector<unsigned char>{0xA0, 0xA1, 0xA2}));
}

TEST_F(SerialChannel, CloseOnAClosedChannelReturnsOne) {
    TestSerial serial;
    EXPECT_EQ(serial.Close(), 1);
    EXPECT_EQ(serial.Close(), 1);
    EXPECT_TRUE(serial.AllHandlesZero());
    EXPECT_EQ(serial.ApplyLineSettings(9600, 0), 0);
    EXPECT_EQ(serial.StartReader(), 0);
    EXPECT_TRUE(serial.AllHandlesZero());
}

TEST_F(SerialChannel, ConfigureOnTheSamePortOnlyChangesLineSettings) {
    PtyPort com4(devices, 4);
    TestSerial serial;
    ASSERT_EQ(serial.Configure(4, 9600, 0), 1);
    const HANDLE port = serial.PortHandle;
    const HANDLE thread = serial.ReaderThread;
    const HANDLE stop = serial.StopEvent;
    const HANDLE readEnable = serial.ReadEnableEvent;
    const HANDLE readEvent = serial.ReadOverlapped.hEvent;
    const HANDLE writeEvent = serial.WriteOverlapped.hEvent;

    ASSERT_EQ(serial.Configure(4, 57600, 2), 1);
    EXPECT_EQ(serial.PortHandle, port);
    EXPECT_EQ(serial.ReaderThread, thread);
    EXPECT_EQ(serial.StopEvent, stop);
    EXPECT_EQ(serial.ReadEnableEvent, readEnable);
    EXPECT_EQ(serial.ReadOverlapped.hEvent, readEvent);
    EXPECT_EQ(serial.WriteOverlapped.hEvent, writeEvent);
    EXPECT_TRUE(ThreadRunning(thread));
    EXPECT_EQ(serial.PortParity, 2);

    termios settings{};
    ASSERT_TRUE(com4.ReadSlaveTermios(settings));
    EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
    DCB dcb{};
    ASSERT_TRUE(GetCommState(serial.PortHandle, &dcb));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.Parity, EVENPARITY);

    // The reader kept running through the change.
    ASSERT_TRUE(com4.MasterWrite("\x55", 1));
    EXPECT_TRUE(serial.WaitForBytes(1));
}

TEST_F(SerialChannel, ConfigureOnAnotherPortClosesTheOldOneFirst) {
    PtyPort com5(devices, 5);
    PtyPort com6(devices, 6);
    TestSerial serial;
    ASSERT_EQ(serial.Configure(5, 9600, 0), 1);
    ASSERT_EQ(PortExists(5), 0);

    ASSERT_EQ(serial.Configure(6, 19200, 1), 1);
    EXPECT_EQ(serial.PortNumber, 6);
    EXPECT_EQ(PortExists(5), 1) << "the old port was released";
    EXPECT_EQ(PortExists(6), 0);

    // Only the new port is read.
    ASSERT_TRUE(com5.MasterWrite("\x05", 1));
    ASSERT_TRUE(com6.MasterWrite("\x06", 1));
    ASSERT_TRUE(serial.WaitForBytes(1));
    usleep(100 * 1000);
    EXPECT_EQ(serial.Received(), std::vector<unsigned char>{0x06});
}

// The reader is stopped cooperatively: when Close returns, no delivery is under way and
// none comes afterwards, even when Close arrives in the middle of a batch.
class SlowSerial : public TestSerial {
public:
    std::atomic<bool> inside{false};
    std::atomic<int> calls{0};
    void OnReceiveByte(unsigned char byte) override {
        inside = true;
        ++calls;
        usleep(2000);
        TestSerial::OnReceiveByte(byte);
        inside = false;
    }
};

TEST_F(SerialChannel, CloseWaitsForTheReaderToLeave) {
    PtyPort com7(devices, 7);
    SlowSerial serial;
    ASSERT_EQ(serial.Open(7, 115200, 0), 1);
    const auto burst = Pattern(500);
    ASSERT_TRUE(com7.MasterWrite(burst.data(), burst.size()));
    ASSERT_TRUE(serial.WaitForBytes(5));

    ASSERT_EQ(serial.Close(), 1);
    EXPECT_FALSE(serial.inside.load());
    const int callsAtClose = serial.calls.load();
    usleep(50 * 1000);
    EXPECT_EQ(serial.calls.load(), callsAtClose);
    // What was delivered is an unbroken prefix of what was sent.
    auto received = serial.Received();
    ASSERT_LE(received.size(), burst.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end(), burst.begin()));
}

TEST_F(SerialChannel, DestructorClosesAnOpenChannel) {
    PtyPort com8(devices, 8);
    {
        TestSerial serial;
        ASSERT_EQ(serial.Open(8, 9600, 0), 1);
        ASSERT_EQ(PortExists(8), 0);
    }
    EXPECT_EQ(PortExists(8), 1);
}

// ---- Line settings ------------------------------------------------------------------------

struct LineCase {
    int baud;
    speed_t speed;
    int parity;
};

class LineSettings : public ::testing::TestWithParam<LineCase> {
protected:
    DosDevices devices;
};

TEST_P(LineSettings, ReadBackFromTheSlave) {
    const LineCase c = GetParam();
    PtyPort com11(devices, 11);
    TestSerial serial;
    ASSERT_EQ(serial.Open(11, c.baud, c.parity), 1);

    termios t{};
    ASSERT_TRUE(com11.ReadSlaveTermios(t));
    EXPECT_EQ(cfgetospeed(&t), c.speed);
    EXPECT_EQ(cfgetispeed(&t), c.speed);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u) << "one stop bit";
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u) << "no hardware flow control";
    EXPECT_EQ(t.c_cflag & CMSPAR, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u) << "no software flow control";
    // Raw: no line editing, echo, signals, translation or output processing.
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    // A pseudo-terminal drops PARENB; PARODD and INPCK show what was asked for.
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parity == ODDPARITY);
    EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity != NOPARITY);

    DCB dcb{};
    ASSERT_TRUE(GetCommState(serial.PortHandle, &dcb));
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(c.baud));
    EXPECT_EQ(dcb.Parity, c.parity);
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(dcb.fOutxCtsFlow | dcb.fOutxDsrFlow | dcb.fOutX | dcb.fInX, 0u);
    EXPECT_EQ(dcb.XonLim, 2);
    EXPECT_EQ(dcb.XoffLim, 4);
    EXPECT_EQ(dcb.XonChar, 0x13);
    EXPECT_EQ(dcb.XoffChar, 0x19);
}

std::vector<LineCase> AllLineCases() {
    const std::pair<int, speed_t> rates[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                             {9600, B9600},   {19200, B19200},  {38400, B38400},
                                             {57600, B57600}, {115200, B115200}};
    std::vector<LineCase> cases;
    for (auto [baud, speed] : rates) {
        for (int parity = 0; parity <= 2; ++parity)
            cases.push_back({baud, speed, parity});
    }
    return cases;
}

std::string LineCaseName(const ::testing::TestParamInfo<LineCase>& info) {
    static const char* const parityNames[] = {"None", "Odd", "Even"};
    return std::to_string(info.param.baud) + parityNames[info.param.parity];
}

INSTANTIATE_TEST_SUITE_P(BaudAndParity, LineSettings, ::testing::ValuesIn(AllLineCases()),
                         LineCaseName);

struct RefusedCase {
    int baud;
    int parity;
};

class RefusedSettings : public ::testing::TestWithParam<RefusedCase> {
protected:
    DosDevices devices;
};

TEST_P(RefusedSettings, OpenReleasesThePortAndReportsFailure) {
    PtyPort com12(devices, 12);
    TestSerial serial;
    EXPECT_EQ(serial.Open(12, GetParam().baud, GetParam().parity), 0);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_TRUE(serial.AllHandlesZero());
    EXPECT_EQ(PortExists(12), 1) << "the port was released";
    EXPECT_EQ(serial.Open(12, 9600, 0), 1);
}

TEST_P(RefusedSettings, ApplyLineSettingsKeepsThePortAndItsSettings) {
    PtyPort com12(devices, 12);
    TestSerial serial;
    ASSERT_EQ(serial.Open(12, 4800, 1), 1);
    EXPECT_EQ(serial.ApplyLineSettings(GetParam().baud, GetParam().parity), 0);
    EXPECT_EQ(serial.IsOpen(), 1);
    termios t{};
    ASSERT_TRUE(com12.ReadSlaveTermios(t));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
    EXPECT_NE(t.c_cflag & PARODD, 0u);
    ASSERT_TRUE(com12.MasterWrite("\x42", 1));
    EXPECT_TRUE(serial.WaitForBytes(1)) << "the reader keeps running";
}

std::string RefusedCaseName(const ::testing::TestParamInfo<RefusedCase>& info) {
    const int baud = info.param.baud;
    return (baud < 0 ? "Minus" + std::to_string(-baud) : std::to_string(baud)) + "Parity" +
           std::to_string(info.param.parity);
}

INSTANTIATE_TEST_SUITE_P(Values, RefusedSettings,
                         ::testing::Values(RefusedCase{14400, 0}, RefusedCase{12345, 0},
                                           RefusedCase{0, 0}, RefusedCase{-9600, 0},
                                           RefusedCase{9600, 3}, RefusedCase{9600, 4}),
                         RefusedCaseName);

// ---- Exclusive access ---------------------------------------------------------------------

TEST_F(SerialChannel, AHeldPortCannotBeOpenedAgainInThisProcess) {
    PtyPort com13(devices, 13);
    TestSerial first;
    TestSerial second;
    ASSERT_EQ(first.Open(13, 9600, 0), 1);
    EXPECT_EQ(second.Open(13, 9600, 0), 0);
    EXPECT_EQ(second.IsOpen(), 0);
    EXPECT_TRUE(second.AllHandlesZero());
    EXPECT_EQ(PortExists(13), 0);
    first.Close();
    EXPECT_EQ(second.Open(13, 9600, 0), 1);
}

TEST_F(SerialChannel, AHeldPortCannotBeOpenedWhenAnotherProcessHoldsIt) {
    // Running as root matters: root passes the terminal's own exclusive flag, so only the
    // lock keeps it out.
    RecordProperty("root", getuid() == 0 ? "yes" : "no");
    PtyPort com14(devices, 14);
    OtherProcessHolder holder(14);
    ASSERT_TRUE(holder.Holding());

    TestSerial serial;
    EXPECT_EQ(serial.Open(14, 9600, 0), 0);
    EXPECT_EQ(serial.IsOpen(), 0);
    EXPECT_EQ(PortExists(14), 0);

    holder.Release();
    EXPECT_EQ(PortExists(14), 1);
    EXPECT_EQ(serial.Open(14, 9600, 0), 1);
}

TEST_F(SerialChannel, AnotherProcessCannotTakeAPortThisProcessHolds) {
    PtyPort com15(devices, 15);
    TestSerial serial;
    ASSERT_EQ(serial.Open(15, 9600, 0), 1);
    // Only the main thread runs while forking: the reader is stopped, the port stays open.
    serial.StopReader();
    OtherProcessHolder other(15);
    EXPECT_FALSE(other.Holding());
}

TEST_F(SerialChannel, PortExistsLeavesAFreePortFree) {
    PtyPort com16(devices, 16);
    termios before{};
    ASSERT_TRUE(com16.ReadSlaveTermios(before));
    EXPECT_EQ(PortExists(16), 1);
    EXPECT_EQ(PortExists(16), 1);
    EXPECT_EQ(PortExists(17), 0) << "no entry, no port";
    termios after{};
    ASSERT_TRUE(com16.ReadSlaveTermios(after));
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0) << "the probe changes no setting";
    TestSerial serial;
    EXPECT_EQ(serial.Open(16, 9600, 0), 1);
}

// ---- Write --------------------------------------------------------------------------------

TEST_F(SerialChannel, WriteSendsEveryByteOnceAndZeroBytesSucceeds) {
    PtyPort com18(devices, 18);
    TestSerial serial;
    ASSERT_EQ(serial.Open(18, 115200, 0), 1);

    const auto data = Pattern(2500);
    // The master is read meanwhile: a pseudo-terminal buffers only a few kilobytes.
    std::vector<unsigned char> arrived;
    std::thread reader([&] { arrived = com18.MasterRead(data.size()); });
    EXPECT_EQ(serial.Write(data.data(), static_cast<unsigned>(data.size())), 1);
    reader.join();
    EXPECT_EQ(arrived, data);

    EXPECT_EQ(serial.Write(data.data(), 0), 1);
    EXPECT_EQ(serial.Write(nullptr, 0), 1);
    EXPECT_TRUE(com18.MasterReadUntilQuiet(100).empty());
}

TEST_F(SerialChannel, WriteOnAClosedChannelReturnsZeroAndSendsNothing) {
    PtyPort com19(devices, 19);
    TestSerial serial;
    EXPECT_EQ(serial.Write("abc", 3), 0);
    ASSERT_EQ(serial.Open(19, 9600, 0), 1);
    serial.Close();
    EXPECT_EQ(serial.Write("abc", 3), 0);
    EXPECT_EQ(serial.Write("", 0), 0);
    ASSERT_EQ(serial.Open(19, 9600, 0), 1);
    EXPECT_TRUE(com19.MasterReadUntilQuiet(100).empty());
}

TEST_F(SerialChannel, AllByteValuesPassUnchangedInBothDirections) {
    PtyPort com20(devices, 20);
    for (int parity = 0; parity <= 2; ++parity) {
        SCOPED_TRACE(parity);
        TestSerial serial;
        ASSERT_EQ(serial.Open(20, 9600, parity), 1);
        std::vector<unsigned char> all(256);
        std::iota(all.begin(), all.end(), 0);
        all.insert(all.end(), {0x11, 0x13, 0x0D, 0x0A, 0x03, 0x1A, 0x7F, 0xFF, 0x00, 0x04});

        ASSERT_EQ(serial.Write(all.data(), static_cast<unsigned>(all.size())), 1);
        EXPECT_EQ(com20.MasterRead(all.size()), all);

        ASSERT_TRUE(com20.MasterWrite(all.data(), all.size()));
        ASSERT_TRUE(serial.WaitForBytes(all.size()));
        usleep(50 * 1000);
        EXPECT_EQ(serial.Received(), all);
    }
}

TEST_F(SerialChannel, WriteGivesUpWhenThePortStopsTakingBytesAndNeverRepeatsOne) {
    PtyPort com21(devices, 21);
    TestSerial serial;
    ASSERT_EQ(serial.Open(21, 115200, 0), 1);
    // Nobody reads the master: the pseudo-terminal fills up and takes no more.
    const auto data = Pattern(256 * 1024, 7);
    const auto start = Clock::now();
    EXPECT_EQ(serial.Write(data.data(), static_cast<unsigned>(data.size())), 0);
    EXPECT_LT(MillisecondsSince(start), 20000) << "Write must give up within its bound";

    const auto arrived = com21.MasterReadUntilQuiet(300);
    ASSERT_LT(arrived.size(), data.size());
    EXPECT_TRUE(std::equal(arrived.begin(), arrived.end(), data.begin()))
        << "what went out is exactly the start of the data, nothing repeated";

    // The channel still works once the peer reads again.
    ASSERT_EQ(serial.Write("ok", 2), 1);
    EXPECT_EQ(com21.MasterRead(2), (std::vector<unsigned char>{'o', 'k'}));
}

// ---- Reader -------------------------------------------------------------------------------

TEST_F(SerialChannel, ABurstArrivesByteByByteInOrder) {
    PtyPort com22(devices, 22);
    TestSerial serial;
    ASSERT_EQ(serial.Open(22, 115200, 0), 1);
    const auto burst = Pattern(3000, 3);
    ASSERT_TRUE(com22.MasterWrite(burst.data(), burst.size()));
    ASSERT_TRUE(serial.WaitForBytes(burst.size()));
    usleep(100 * 1000);
    EXPECT_EQ(serial.Received(), burst);
}

TEST_F(SerialChannel, BytesWrittenRightAfterOpenAreNotPurged) {
    PtyPort com23(devices, 23);
    for (int round = 0; round < 20; ++round) {
        TestSerial serial;
        ASSERT_EQ(serial.Open(23, 9600, 0), 1);
        ASSERT_EQ(serial.Write("\x10\x20", 2), 1);
        ASSERT_EQ(com23.MasterRead(2), (std::vector<unsigned char>{0x10, 0x20})) << round;
    }
}

// ---- Unplug -------------------------------------------------------------------------------

TEST_F(SerialChannel, UnplugEndsTheReaderAndTheChannelRecovers) {
    PtyPort com24(devices, 24);
    PtyPort com25(devices, 25);
    TestSerial serial;
    ASSERT_EQ(serial.Open(24, 9600, 0), 1);
    ASSERT_TRUE(com24.MasterWrite("\x01", 1));
    ASSERT_TRUE(serial.WaitForBytes(1));

    com24.Unplug();
    // The reader ends by itself (it does not keep waking up on the dead port).
    ASSERT_EQ(WaitForSingleObject(serial.ReaderThread, 100), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(serial.ReaderThread, &code));
    EXPECT_EQ(code, 6u);

    const auto start = Clock::now();
    EXPECT_EQ(serial.Write("xyz", 3), 0);
    EXPECT_LT(MillisecondsSince(start), 5000);

    EXPECT_EQ(serial.IsOpen(), 1) << "the port stays open until closed";
    EXPECT_EQ(serial.Close(), 1);
    EXPECT_TRUE(serial.AllHandlesZero());
    EXPECT_EQ(PortExists(24), 0) << "the device is gone";
    EXPECT_EQ(serial.Open(24, 9600, 0), 0);

    ASSERT_EQ(serial.Open(25, 9600, 0), 1);
    ASSERT_TRUE(com25.MasterWrite("\x02", 1));
    ASSERT_TRUE(serial.WaitForBytes(2));
    EXPECT_EQ(serial.Received(), (std::vector<unsigned char>{0x01, 0x02}));
}

TEST_F(SerialChannel, UnplugDuringAStalledWriteEndsItPromptly) {
    PtyPort com26(devices, 26);
    TestSerial serial;
    ASSERT_EQ(serial.Open(26, 115200, 0), 1);
    const auto data = Pattern(256 * 1024, 9);
    std::atomic<int> result{-1};
    std::atomic<long long> finishedAt{0};
    const auto start = Clock::now();
    std::thread writer([&] {
        result = serial.Write(data.data(), static_cast<unsigned>(data.size()));
        finishedAt = MillisecondsSince(start);
    });
    usleep(300 * 1000);
    const long long unpluggedAt = MillisecondsSince(start);
    com26.Unplug();
    writer.join();
    EXPECT_EQ(result.load(), 0);
    // Well before the 3 s no-progress bound: the write stops on the hang-up itself.
    EXPECT_LT(finishedAt.load() - unpluggedAt, 2000);
    EXPECT_EQ(serial.Close(), 1);
}

} // namespace
