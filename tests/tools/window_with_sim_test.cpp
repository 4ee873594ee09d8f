// The real main window against the simulator program on COM200: what a newcomer without
// a module sees on the first run, and each fault mode as the window shows it.
#include "Unit1.h"
#include "frames.h"
#include "pty_port.h"
#include "qt_test_app.h"
#include "sim_process.h"

#include <gtest/gtest.h>

#include <QTest>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

namespace {

using simtest::SimProcess;
constexpr int kDeliveryTimeoutMs = 10000;

class WindowWithSimulator : public testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        Application->Initialize();
    }

    void TearDown() override {
        delete Form1;
        Form1 = nullptr;
        if (sim_) {
            EXPECT_EQ(sim_->Stop(SIGTERM), 0) << sim_->Output() << sim_->ErrorOutput();
        }
    }

    void StartSimulator(std::vector<std::string> args) {
        args.insert(args.begin(), {"--com", "200"});
        sim_ = std::make_unique<SimProcess>(args);
        ASSERT_FALSE(sim_->WaitUntilReady().empty()) << sim_->ErrorOutput();
    }

    void CreateWindowAndOpen() {
        Application->CreateForm(classid<TForm1>, &Form1);
        ASSERT_NE(Form1, nullptr);
        Form1->Show();
        ASSERT_EQ(Form1->suiComboBox_PcPort->Text, "COM200");
        Click(Form1->suiButton_OpenPort);
        ASSERT_TRUE(Form1->Serial->IsOpen());
    }

    static std::string Panel(int index) {
        return Form1->suiStatusBar1->Panels->Items[index]->Text.get().Utf8();
    }
    static void Click(TsuiButton* button) { QTest::mouseClick(button->Widget(), Qt::LeftButton); }
    static bool WaitForPanel1(const std::string& text) {
        return QTest::qWaitFor([&] { return Panel(1) == text; }, kDeliveryTimeoutMs);
    }
    // The five parameter selectors in frame order.
    static std::vector<int> Params() {
        return {Form1->suiComboBox2->ItemIndex, Form1->suiComboBox1->ItemIndex,
                Form1->suiComboBox3->ItemIndex, Form1->suiComboBox4->ItemIndex,
                Form1->suiComboBox5->ItemIndex};
    }
    static void SetParams(const std::vector<int>& p) {
        Form1->suiComboBox2->ItemIndex = p[0];
        Form1->suiComboBox1->ItemIndex = p[1];
        Form1->suiComboBox3->ItemIndex = p[2];
        Form1->suiComboBox4->ItemIndex = p[3];
        Form1->suiComboBox5->ItemIndex = p[4];
    }

    testsupport::DosDevices devices_;
    std::unique_ptr<SimProcess> sim_;
};

TEST_F(WindowWithSimulator, PortListHoldsCom200AndWriteAndReadWorkAtOnce) {
    StartSimulator({});
    CreateWindowAndOpen();
    EXPECT_EQ(Form1->suiComboBox_PcPort->Items->Count, 1);
    EXPECT_EQ(Panel(0), "Opened");

    Form1->suiComboBox1->ItemIndex = 7; // "8ch"
    Form1->suiComboBox5->ItemIndex = 2; // "4s"
    Click(Form1->suiButton1);
    ASSERT_TRUE(WaitForPanel1("Successful")) << sim_->Output();

    SetParams({0, 0, 0, 0, 0});
    Form1->SetStatusText("", 1);
    Click(Form1->suiButton2);
    ASSERT_TRUE(WaitForPanel1("Successful")) << sim_->Output();
    EXPECT_EQ(Params(), (std::vector<int>{0, 7, 3, 0, 2}));
}

TEST_F(WindowWithSimulator, ARealAdapterWithALowerNumberComesFirstAndIsSelected) {
    testsupport::PtyPort adapter(devices_, 1); // stands for /dev/ttyUSB0
    StartSimulator({});
    Application->CreateForm(classid<TForm1>, &Form1);
    TsuiComboBox* list = Form1->suiComboBox_PcPort;
    ASSERT_EQ(list->Items->Count, 2);
    EXPECT_EQ(list->Items->Strings[0], "COM1");
    EXPECT_EQ(list->Items->Strings[1], "COM200");
    EXPECT_EQ(list->Text, "COM1");
}

struct WindowFaultCase {
    const char* name;
    std::vector<std::string> args;
    const char* status;           // panel 1 after a read
    std::vector<int> paramsAfter; // the selectors after it
};

class WindowFaults : public WindowWithSimulator,
                     public testing::WithParamInterface<WindowFaultCase> {};

TEST_P(WindowFaults, ReadShowsWhatTheModeDeserves) {
    const WindowFaultCase& c = GetParam();
    StartSimulator(c.args);
    CreateWindowAndOpen();
    SetParams({1, 4, 2, 1, 1});
    Click(Form1->suiButton2);
    if (std::string(c.status) == ".....") {
        ASSERT_NE(sim_->WaitForLine("no answer"), "") << sim_->Output();
        QTest::qWait(1000); // four quiet ticks and then some
        EXPECT_EQ(Panel(1), ".....");
    } else {
        ASSERT_TRUE(WaitForPanel1(c.status)) << Panel(1) << "\n" << sim_->Output();
        QTest::qWait(600); // nothing later changes the verdict
        EXPECT_EQ(Panel(1), c.status);
    }
    EXPECT_EQ(Params(), c.paramsAfter);
}

const std::vector<int> kUntouched{1, 4, 2, 1, 1};
const std::vector<int> kModuleStart{0, 0, 3, 0, 0};

const WindowFaultCase kWindowFaults[] = {
    {"normal", {}, "Successful", kModuleStart},
    {"silent", {"--silent"}, ".....", kUntouched},
    {"fail", {"--fail"}, "Fail!", kUntouched},
    {"short", {"--short"}, "Fail!", kUntouched},
    {"garbage", {"--garbage"}, "Fail!", kUntouched},
    // Indices past the lists' ends leave every selector without an entry.
    {"out_of_range", {"--out-of-range"}, "Successful", {-1, -1, -1, -1, -1}},
    // Halves closer than the window's quiet time make one answer ...
    {"split_short_gap", {"--split", "100"}, "Successful", kModuleStart},
    // ... halves far apart make two answers, each too short to pass.
    {"split_long_gap", {"--split", "1500"}, "Fail!", kUntouched},
};

INSTANTIATE_TEST_SUITE_P(Modes, WindowFaults, testing::ValuesIn(kWindowFaults),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
