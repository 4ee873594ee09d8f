// The main window under faults: the device unplugged while the window is open (idle, while
// an answer is being collected, during a write), a port locked by another process, and a
// module that floods the line. The window must not crash or hang, must keep answering to
// clicks, and must recover. Waits are bounded generously.
#include "main_window_fixture.h"
#include "Unit1.h"
#include "frames.h"
#include "pty_port.h"
#include "qt_test_app.h"

#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

Bytes ReadRequest() {
    const Frame frame = BuildReadFrame();
    return Bytes(frame.begin(), frame.end());
}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class WindowReliability : public MainWindowFixture {
protected:
    static std::vector<std::string> ListedPorts() {
        std::vector<std::string> listed;
        for (int i = 0; i < Form1->suiComboBox_PcPort->Items->Count; ++i)
            listed.push_back(Form1->suiComboBox_PcPort->Items->Strings[i].Utf8());
        return listed;
    }

    static void SelectPort(const std::string& name) {
        const std::vector<std::string> listed = ListedPorts();
        for (std::size_t i = 0; i < listed.size(); ++i)
            if (listed[i] == name)
                Form1->suiComboBox_PcPort->ItemIndex = static_cast<int>(i);
        ASSERT_EQ(Form1->suiComboBox_PcPort->Text.get().Utf8(), name);
    }

    // The window still answers: a read click returns and shows progress, and the event loop
    // still runs timers.
    static void ExpectResponsive() {
        Form1->SetStatusText("", 1);
        Click(Form1->suiButton2);
        EXPECT_EQ(Panel(1), ".....");
        bool fired = false;
        QTimer::singleShot(10, [&] { fired = true; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return fired; }, 5000)) << "the event loop is stuck";
    }

    // After a fault on the open port: the close click closes it, and another port opens and
    // carries a request.
    void ExpectRecoveryOn(testsupport::PtyPort& other, const std::string& otherName) {
        Click(Form1->suiButton_OpenPort);
        ExpectClosedState();
        EXPECT_EQ(Panel(1), " ");
        SelectPort(otherName);
        Click(Form1->suiButton_OpenPort);
        ASSERT_TRUE(Form1->Serial->IsOpen());
        EXPECT_EQ(Panel(0), "Opened");
        Click(Form1->suiButton2);
        EXPECT_EQ(other.MasterRead(FRAME_LENGTH), ReadRequest());
    }
};

TEST_F(WindowReliability, UnplugWhileIdleLeavesTheWindowWorking) {
    testsupport::PtyPort& com3 = Map(3);
    testsupport::PtyPort& com4 = Map(4);
    CreateWindow();
    SelectPort("COM3");
    Click(Form1->suiButton_OpenPort);
    ASSERT_TRUE(Form1->Serial->IsOpen());

    com3.Unplug();
    QTest::qWait(300); // the reader sees the hangup
    // The window goes by what the channel reports: the port is still held until closed.
    EXPECT_EQ(Panel(0), "Opened");
    ExpectResponsive();
    ExpectRecoveryOn(com4, "COM4");
}

TEST_F(WindowReliability, UnplugWhileAnAnswerIsCollectedStillDeliversIt) {
    testsupport::PtyPort& com3 = Map(3);
    testsupport::PtyPort& com4 = Map(4);
    CreateWindow();
    SelectPort("COM3");
    Click(Form1->suiButton_OpenPort);
    ASSERT_TRUE(Form1->Serial->IsOpen());
    const Frame answer = BuildWriteFrame({1, 2, 3, 1, 1});
    Form1->SetStatusText("", 1);

    // Half an answer, then the device is gone before the line could fall quiet.
    // The reader takes the bytes within a millisecond or so; the quiet time is 300 ms.
    ASSERT_TRUE(com3.MasterWrite(answer.data(), 7));
    QTest::qWait(150);
    com3.Unplug();

    // What came is delivered after the quiet time, as the too-short answer it is.
    EXPECT_TRUE(QTest::qWaitFor([] { return Panel(1) == "Fail!"; }, 5000)) << Panel(1);
    ExpectResponsive();
    ExpectRecoveryOn(com4, "COM4");
}

TEST_F(WindowReliability, UnplugDuringAWriteEndsTheClickAndLeavesTheWindowWorking) {
    testsupport::PtyPort& com3 = Map(3);
    testsupport::PtyPort& com4 = Map(4);
    CreateWindow();
    SelectPort("COM3");
    Click(Form1->suiButton_OpenPort);
    ASSERT_TRUE(Form1->Serial->IsOpen());

    // The module reads nothing: fill the line until it takes no more (the channel gives up
    // on such a write after its stall limit).
    const std::vector<unsigned char> block(256 * 1024, 0x55);
    ASSERT_EQ(Form1->Serial->Write(block.data(), static_cast<unsigned>(block.size())), 0);

    // Now a write click stalls; the device goes away meanwhile.
    std::thread unplug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        com3.Unplug();
    });
    const auto start = Clock::now();
    Click(Form1->suiButton1);
    const long long clickMs = MillisecondsSince(start);
    unplug.join();
    EXPECT_EQ(Panel(1), ".....");
    // Ended by the unplug, not by the stall limit (about 3 s).
    EXPECT_LT(clickMs, 2500) << "the click waited " << clickMs << " ms";

    ExpectResponsive();
    ExpectRecoveryOn(com4, "COM4");
}

TEST_F(WindowReliability, APortHeldByAnotherProcessIsNotListedAndDoesNotOpen) {
    testsupport::PtyPort& com3 = Map(3);
    Map(4);
    {
        // Held at start-up: not listed.
        testsupport::OtherProcessHolder holder(3);
        ASSERT_TRUE(holder.Holding());
        CreateWindow();
        EXPECT_EQ(ListedPorts(), std::vector<std::string>{"COM4"});
    }
    delete Form1;
    Form1 = nullptr;

    // Free at start-up, taken by another process before the open click.
    CreateWindow();
    ASSERT_EQ(ListedPorts(), (std::vector<std::string>{"COM3", "COM4"}));
    SelectPort("COM3");
    testsupport::OtherProcessHolder holder(3);
    ASSERT_TRUE(holder.Holding());
    Form1->SetStatusText("Fail!", 1);
    Click(Form1->suiButton_OpenPort);
    ExpectClosedState();
    EXPECT_EQ(Panel(1), " ");

    holder.Release();
    Click(Form1->suiButton_OpenPort);
    EXPECT_TRUE(Form1->Serial->IsOpen());
    Click(Form1->suiButton2);
    EXPECT_EQ(com3.MasterRead(FRAME_LENGTH), ReadRequest());
}

TEST_F(WindowReliability, AFloodingModuleLeavesTheWindowResponsiveAndMemoryFlat) {
    testsupport::PtyPort& com3 = Map(3);
    CreateWindow();
    SelectPort("COM3");
    Click(Form1->suiButton_OpenPort);
    ASSERT_TRUE(Form1->Serial->IsOpen());

    // A pattern whose position 6 is no success command byte.
    Bytes pattern(199);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<unsigned char>(0x30 + i % 64);
    std::atomic<bool> stop{false};
    std::atomic<long long> sent{0};
    std::thread module([&] {
        while (!stop.load()) {
            if (com3.MasterWrite(pattern.data(), pattern.size(), 1000))
                sent += static_cast<long long>(pattern.size());
        }
    });

    Form1->SetStatusText("", 1);
    QTest::qWait(1000);
    const long residentEarly = ResidentKiB();
    const long long sentEarly = sent.load();
    // Meanwhile the window answers to clicks, and nothing is delivered: the line never
    // falls quiet.
    for (int i = 0; i < 10; ++i) {
        const auto start = Clock::now();
        Click(Form1->suiButton2);
        EXPECT_EQ(Panel(1), ".....");
        QTest::qWait(300);
        EXPECT_LT(MillisecondsSince(start), 5000) << "the window is not responsive";
    }
    const long residentLate = ResidentKiB();
    stop = true;
    module.join();
    EXPECT_GT(sent.load() - sentEarly, 64 * 1024) << "the flood did not go on";
    EXPECT_LT(residentLate - residentEarly, 4 * 1024)
        << "resident memory grew from " << residentEarly << " KiB to " << residentLate << " KiB";
    EXPECT_EQ(Panel(1), ".....");

    // Once the line is quiet, the flood's first bytes are delivered once, as an answer.
    EXPECT_TRUE(QTest::qWaitFor([] { return Panel(1) == "Fail!"; }, 5000)) << Panel(1);
    Click(Form1->suiButton_OpenPort);
    ExpectClosedState();
}

} // namespace
