// The simulator program against the tool's serial channel, on pseudo-terminals reached
// through a temporary dosdevices folder.
#include "module.h"
#include "pty_port.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using simtest::Clock;
using simtest::SimClient;
using simtest::SimProcess;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

Bytes ToBytes(const Frame& f) {
    return Bytes(f.begin(), f.end());
}
Bytes Slice(const Bytes& b, std::size_t from, std::size_t length) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(from + length));
}
Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

const ModuleParams kStart{0x00, 0x00, 0x03, 0x00, 0x00};
const ModuleParams kWritten{0x01, 0x07, 0x05, 0x02, 0x03};
const Bytes kWrite = ToBytes(BuildWriteFrame(kWritten));
const Bytes kRead = ToBytes(BuildReadFrame());

std::string ReadLink(const std::string& path) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

class Simulator : public testing::Test {
protected:
    std::string LinkPath(int com) const { return devices_.Folder() + "/com" + std::to_string(com); }
    std::string MarkerPath(int com) const {
        return devices_.Folder() + "/.com" + std::to_string(com) + ".cmt2300-sim";
    }

    testsupport::DosDevices devices_;
};

TEST_F(Simulator, WriteThenReadReturnsTheWrittenParameters) {
    SimProcess sim({"--com", "200"});
    ASSERT_FALSE(sim.WaitUntilReady().empty()) << sim.ErrorOutput();
    SimClient client;
    ASSERT_EQ(client.Open(200, 9600, 0), 1);

    ASSERT_TRUE(client.Send(kRead));
    ASSERT_TRUE(client.WaitForBytes(16)) << sim.Output();
    ASSERT_TRUE(client.Send(kWrite));
    ASSERT_TRUE(client.WaitForBytes(32)) << sim.Output();
    ASSERT_TRUE(client.Send(kRead));
    ASSERT_TRUE(client.WaitForBytes(48)) << sim.Output();

    const Bytes got = client.Received();
    EXPECT_EQ(Slice(got, 0, 16), ToBytes(BuildAnswer(CMD_READ_CONFIG, kStart)));
    EXPECT_EQ(Slice(got, 16, 16), ToBytes(BuildAnswer(CMD_WRITE_CONFIG, kWritten)));
    EXPECT_EQ(Slice(got, 32, 16), ToBytes(BuildAnswer(CMD_READ_CONFIG, kWritten)));
    EXPECT_EQ(client.WaitForQuiet(200), 48u);
    EXPECT_EQ(sim.CountLines(" RX "), 3);
    EXPECT_EQ(sim.CountLines(" TX "), 3);
}

TEST_F(Simulator, StartParametersComeFromTheCommandLine) {
    SimProcess sim({"--com", "201", "--params", "02 0f 06 01 03"});
    ASSERT_FALSE(sim.WaitUntilReady().empty()) << sim.ErrorOutput();
    SimClient client;
    ASSERT_EQ(client.Open(201, 9600, 0), 1);
    ASSERT_TRUE(client.Send(kRead));
    ASSERT_TRUE(client.WaitForBytes(16));
    EXPECT_EQ(client.Received(),
              ToBytes(BuildAnswer(CMD_READ_CONFIG, ModuleParams{0x02, 0x0F, 0x06, 0x01, 0x03})));
}

TEST_F(Simulator, GarbageBeforeARequestIsSkipped) {
    SimProcess sim({"--com", "202"});
    ASSERT_FALSE(sim.WaitUntilReady().empty()) << sim.ErrorOutput();
    SimClient client;
    ASSERT_EQ(client.Open(202, 9600, 0), 1);
    ASSERT_TRUE(client.Send(Concat({0x00, 0xAF, 0xAF, 0x13, 0xAF}, kWrite)));
    ASSERT_TRUE(client.WaitForBytes(16)) << sim.Output();
    EXPECT_EQ(client.Received(), ToBytes(BuildAnswer(CMD_WRITE_CONFIG, kWritten)));
    EXPECT_EQ(client.WaitForQuiet(200), 16u);
    EXPECT_NE(sim.WaitForLine("skipped 5 byte(s): 00 AF AF 13 AF", 2000), "") << sim.Output();
}

TEST_F(Simulator, RequestWithABadChecksumIsNotAnsweredNorApplied) {
    SimProcess sim({"--com", "203"});
    ASSERT_FALSE(sim.WaitUntilReady().empty()) << sim.ErrorOutput();
    SimClient client;
    ASSERT_EQ(client.Open(203, 9600, 0), 1);
    Bytes bad = kWrite;
    bad[13] ^= 0x01;
    ASSERT_TRUE(client.Send(Concat(bad, kRead)));
    ASSERT_TRUE(client.WaitForBytes(16)) << sim.Output();
    // Answers go out in request order: had the bad write been taken, its answer would come
    // first, and the read would show its parameters.
    EXPECT_EQ(client.Received(), ToBytes(BuildAnswer(CMD_READ_CONFIG, kStart)));
    EXPECT_EQ(client.WaitForQuiet(300), 16u);
    EXPECT_EQ(sim.CountLines("skipped 16 byte(s)"), 1) << sim.Output();
}

TEST_F(Simulator, RequestArrivingInTwoPiecesIsAnswered) {
    SimProcess sim({"--com", "204"});
    ASSERT_FALSE(sim.WaitUntilReady().empty()) << sim.ErrorOutput();
    SimClient client;
    ASSERT_EQ(client.Open(204, 9600, 0), 1);
    ASSERT_TRUE(client.Send(Slice(kWrite, 0, 7)));
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_TRUE(client.Send(Slice(kWrite, 7, 9)));
    ASSERT_TRUE(client.WaitForBytes(16)) << sim.Output();
    EXPECT_EQ(client.Received(), ToBytes(BuildAnswer(CMD_WRITE_CONFIG, kWritten)));
}

// Each fault mode, driven by a write of kWritten followed by a read.
struct FaultCase {
    const char* name;
    std::vector<std::string> args;
    std::size_t length;      // of each answer; 0: none comes
    int writeCommand;        // command byte of the write's answer; -1: none that passes
    int readCommand;         // same for the read's answer
    ModuleParams readParams; // indices in the read's answer, when it passes
    int splitGapMs;          // > 0: the answer comes as two halves at least this far apart
    int minDelayMs;          // the answer comes no sooner than this after the request
};

class SimulatorFaults : public Simulator, public testing::WithParamInterface<FaultCase> {};

TEST_P(SimulatorFaults, AnswersAsTheModeSays) {
    const FaultCase& c = GetParam();
    std::vector<std::string> args{"--com", "210"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SimProcess sim(args);
    ASSERT_FALSE(sim.WaitUntilReady().empty()) << sim.ErrorOutput();
    SimClient client;
    ASSERT_EQ(client.Open(210, 9600, 0), 1);

    const auto sent = Clock::now();
    ASSERT_TRUE(client.Send(kWrite));
    if (c.length == 0) {
        ASSERT_NE(sim.WaitForLine("no answer"), "") << sim.Output();
        ASSERT_TRUE(client.Send(kRead));
        ASSERT_NE(sim.WaitForLine("RX AF AF 00 00 AF 80 02"), "") << sim.Output();
        EXPECT_EQ(client.WaitForQuiet(500), 0u) << sim.Output();
        EXPECT_EQ(sim.CountLines("no answer"), 2);
        EXPECT_EQ(sim.CountLines(" TX "), 0);
        return;
    }
    ASSERT_TRUE(client.WaitForBytes(c.length)) << sim.Output();
    ASSERT_TRUE(client.Send(kRead));
    ASSERT_TRUE(client.WaitForBytes(2 * c.length)) << sim.Output();
    EXPECT_EQ(client.WaitForQuiet(300), 2 * c.length) << sim.Output();

    const Bytes got = client.Received();
    const auto times = client.ArrivalTimes();
    const Bytes writeAnswer = Slice(got, 0, c.length);
    const Bytes readAnswer = Slice(got, c.length, c.length);

    if (c.length < ANSWER_MIN_LENGTH) {
        const Bytes proper = ToBytes(BuildAnswer(CMD_READ_CONFIG, kWritten));
        EXPECT_EQ(readAnswer, Slice(proper, 0, c.length));
    } else {
        for (const auto& [answer, command] :
             {std::pair{writeAnswer, c.writeCommand}, std::pair{readAnswer, c.readCommand}}) {
            const AnswerKind kind = ClassifyAnswer(answer[ANSWER_COMMAND_POS]);
            if (command < 0) {
                EXPECT_FALSE(IsSuccess(kind));
            } else {
                EXPECT_EQ(answer[ANSWER_COMMAND_POS], command);
            }
        }
        if (c.readCommand == CMD_READ_CONFIG) {
            EXPECT_EQ(readAnswer, ToBytes(BuildAnswer(CMD_READ_CONFIG, c.readParams)));
        }
        if (c.readCommand == 0x03) { // a failed write is not applied
            EXPECT_EQ(ToBytes(BuildWriteFrame(ParamsFromAnswer(readAnswer.data()))),
                      ToBytes(BuildWriteFrame(c.readParams)));
        }
    }

    if (c.minDelayMs > 0) {
        EXPECT_GE(times[0] - sent, milliseconds(c.minDelayMs));
    }
    if (c.splitGapMs > 0) {
        const std::size_t half = c.length / 2;
        for (std::size_t first : {std::size_t{0}, c.length}) {
            EXPECT_GE(times[first + half] - times[first + half - 1], milliseconds(c.splitGapMs))
                << "answer at " << first;
            EXPECT_LT(times[first + half - 1] - times[first], milliseconds(c.splitGapMs))
                << "answer at " << first;
        }
    }
}

const FaultCase kFaultCases[] = {
    {"normal", {}, 16, CMD_WRITE_CONFIG, CMD_READ_CONFIG, kWritten, 0, 0},
    {"silent", {"--silent"}, 0, -1, -1, {}, 0, 0},
    {"fail", {"--fail"}, 16, 0x03, 0x03, kStart, 0, 0},
    {"short", {"--short"}, 6, -1, -1, {}, 0, 0},
    {"garbage", {"--garbage"}, 16, -1, -1, {}, 0, 0},
    {"split", {"--split", "400"}, 16, CMD_WRITE_CONFIG, CMD_READ_CONFIG, kWritten, 200, 0},
    {"out_of_range",
     {"--out-of-range"},
     16,
     CMD_WRITE_CONFIG,
     CMD_READ_CONFIG,
     OutOfRangeParams(),
     0,
     0},
    {"delay", {"--delay", "400"}, 16, CMD_WRITE_CONFIG, CMD_READ_CONFIG, kWritten, 0, 400},
    {"short_split", {"--short", "--split", "400"}, 6, -1, -1, {}, 200, 0},
};

INSTANTIATE_TEST_SUITE_P(Modes, SimulatorFaults, testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

class SimulatorStops : public Simulator, public testing::WithParamInterface<int> {};

TEST_P(SimulatorStops, LinkExistsWhileRunningAndIsGoneAfterTheSignal) {
    SimProcess sim({"--com", "220"});
    const std::string pty = sim.WaitUntilReady();
    ASSERT_FALSE(pty.empty()) << sim.ErrorOutput();
    EXPECT_EQ(ReadLink(LinkPath(220)), pty);
    EXPECT_TRUE(Exists(MarkerPath(220)));
    // The tool's port probe finds the port and leaves it free.
    EXPECT_EQ(PortExists(220), 1);
    EXPECT_EQ(PortExists(220), 1);
    {
        SimClient client; // a client still holding the port does not keep the link alive
        ASSERT_EQ(client.Open(220, 9600, 0), 1);
        EXPECT_EQ(sim.Stop(GetParam()), 0) << sim.Output() << sim.ErrorOutput();
    }
    EXPECT_FALSE(Exists(LinkPath(220)));
    EXPECT_FALSE(Exists(MarkerPath(220)));
    EXPECT_EQ(PortExists(220), 0);
    EXPECT_NE(sim.Output().find("link removed"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, SimulatorStops, testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(Simulator, CreatesTheDosdevicesFolderWhenMissing) {
    std::filesystem::remove_all(devices_.ConfigHome() + "/cmt2300-config");
    SimProcess sim({"--com", "221"});
    const std::string pty = sim.WaitUntilReady();
    ASSERT_FALSE(pty.empty()) << sim.ErrorOutput();
    EXPECT_EQ(ReadLink(LinkPath(221)), pty);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_FALSE(Exists(LinkPath(221)));
}

TEST_F(Simulator, LeavesALinkItDidNotMakeAlone) {
    devices_.Link(222, "/dev/null");
    SimProcess sim({"--com", "222"});
    EXPECT_EQ(sim.WaitForExit(), 1);
    EXPECT_NE(sim.ErrorOutput().find("already exists"), std::string::npos) << sim.ErrorOutput();
    EXPECT_EQ(ReadLink(LinkPath(222)), "/dev/null");
}

TEST_F(Simulator, RefusesAComServedByAnotherSimulatorAndReplacesALeftover) {
    SimProcess first({"--com", "223"});
    const std::string firstPty = first.WaitUntilReady();
    ASSERT_FALSE(firstPty.empty()) << first.ErrorOutput();

    SimProcess second({"--com", "223"});
    EXPECT_EQ(second.WaitForExit(), 1);
    EXPECT_NE(second.ErrorOutput().find("served by another simulator"), std::string::npos)
        << second.ErrorOutput();
    EXPECT_EQ(ReadLink(LinkPath(223)), firstPty);

    // Killed without a chance to clean up: its link stays behind, and the next simulator
    // on that number takes it over.
    EXPECT_EQ(first.Stop(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(ReadLink(LinkPath(223)), firstPty);
    SimProcess third({"--com", "223"});
    const std::string thirdPty = third.WaitUntilReady();
    ASSERT_FALSE(thirdPty.empty()) << third.ErrorOutput();
    EXPECT_NE(third.Output().find("replaced"), std::string::npos);
    EXPECT_EQ(ReadLink(LinkPath(223)), thirdPty);
    SimClient client;
    ASSERT_EQ(client.Open(223, 9600, 0), 1);
    ASSERT_TRUE(client.Send(kRead));
    EXPECT_TRUE(client.WaitForBytes(16));
    EXPECT_EQ(third.Stop(SIGTERM), 0);
    EXPECT_FALSE(Exists(LinkPath(223)));
}

// A client that sets exclusive use and goes away without undoing it (as a crashed program
// would) must not lock later clients out: on a pseudo-terminal the flag outlives the
// client, and only root may open a terminal that carries it.
TEST_F(Simulator, ExclusiveUseEndsWhenTheLastClientCloses) {
    SimProcess sim({"--com", "224"});
    const std::string pty = sim.WaitUntilReady();
    ASSERT_FALSE(pty.empty()) << sim.ErrorOutput();

    const int holder = open(LinkPath(224).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
    ASSERT_NE(sim.WaitForLine("port opened by a client"), "");
    if (geteuid() == 0) {
        // Root gets past the flag: a second client comes and goes while the first holds
        // the port, and the flag must stay.
        const int other = open(pty.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(other, 0);
        close(other);
    }
    int exclusive = 0;
    ASSERT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    close(holder);
    ASSERT_NE(sim.WaitForLine("port closed by the last client", 3000), "") << sim.Output();

    const int next = open(LinkPath(224).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(next, 0) << "a later client is locked out: " << std::strerror(errno);
    ASSERT_EQ(ioctl(next, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    close(next);

    SimClient client; // and the tool opens it again and is answered
    ASSERT_EQ(client.Open(224, 9600, 0), 1);
    ASSERT_TRUE(client.Send(kRead));
    EXPECT_TRUE(client.WaitForBytes(16));
}

TEST_F(Simulator, ServesARealSerialDevice) {
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    close(slave);
    SimProcess sim({"--device", name, "--baud", "19200", "--parity", "even"});
    ASSERT_NE(sim.WaitForLine("module on " + std::string(name)), "") << sim.ErrorOutput();
    EXPECT_FALSE(Exists(devices_.Folder() + "/com200"));

    SimProcess second({"--device", name});
    EXPECT_EQ(second.WaitForExit(), 1);
    EXPECT_NE(second.ErrorOutput().find("in use"), std::string::npos) << second.ErrorOutput();

    ASSERT_EQ(write(master, kRead.data(), kRead.size()), 16);
    Bytes got;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (got.size() < 16 && Clock::now() < deadline) {
        std::uint8_t buf[64];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0)
            got.insert(got.end(), buf, buf + n);
        else
            std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(got, ToBytes(BuildAnswer(CMD_READ_CONFIG, kStart)));
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    close(master);
}

struct BadCommandLine {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* message;
};

class SimulatorCommandLine : public Simulator,
                             public testing::WithParamInterface<BadCommandLine> {};

TEST_P(SimulatorCommandLine, ExitsWithAClearMessage) {
    const BadCommandLine& c = GetParam();
    SimProcess sim(c.args);
    EXPECT_EQ(sim.WaitForExit(), c.exitCode);
    const std::string said = c.exitCode == 0 ? sim.Output() : sim.ErrorOutput();
    EXPECT_NE(said.find(c.message), std::string::npos) << said;
    EXPECT_FALSE(Exists(LinkPath(200)));
}

const BadCommandLine kCommandLines[] = {
    {"help", {"--help"}, 0, "Usage: cmt2300-sim"},
    {"com_zero", {"--com", "0"}, 2, "--com wants a COM number from 1 to 255, not '0'"},
    {"com_too_big", {"--com", "256"}, 2, "not '256'"},
    {"com_not_a_number", {"--com", "2x"}, 2, "not '2x'"},
    {"com_missing_value", {"--com"}, 2, "option '--com' wants a value"},
    {"params_too_few", {"--params", "00 00 03"}, 2, "--params wants five hex bytes"},
    {"params_too_wide", {"--params", "00 100 03 00 00"}, 2, "--params wants five hex bytes"},
    {"delay_negative", {"--delay", "-1"}, 2, "--delay wants milliseconds"},
    {"split_not_a_number", {"--split", "soon"}, 2, "--split wants milliseconds"},
    {"two_faults", {"--fail", "--garbage"}, 2, "choose one fault mode"},
    {"unknown_option", {"--loud"}, 2, "unknown option '--loud'"},
    {"stray_argument", {"200"}, 2, "unexpected argument '200'"},
    {"com_and_device", {"--com", "5", "--device", "/dev/null"}, 2, "exclude each other"},
    {"baud_without_device", {"--baud", "9600"}, 2, "only with --device"},
    {"missing_device",
     {"--device", "/dev/cmt2300-no-such-port"},
     1,
     "cannot open /dev/cmt2300-no-such-port"},
    {"not_a_serial_device", {"--device", "/dev/null"}, 1, "not a serial device"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimulatorCommandLine, testing::ValuesIn(kCommandLines),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
