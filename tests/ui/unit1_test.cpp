// The main window end to end: start-up, opening and closing a port, the write and read
// commands on the wire, and the module's answers, with a module peer on the master side of
// pseudo-terminals mapped as COM ports. Answers are delivered by the window's own 100 ms
// timer; waits are bounded generously.
#include "main_window_fixture.h"
#include "Unit1.h"
#include "frames.h"
#include "pty_port.h"
#include "qt_test_app.h"

#include <gtest/gtest.h>

#include <QTest>

#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
constexpr int kDeliveryTimeoutMs = 10000;

Bytes ToBytes(const Frame& frame) {
    return Bytes(frame.begin(), frame.end());
}

// The module's side of the line: reads requests and answers them.
class ModulePeer {
public:
    explicit ModulePeer(testsupport::PtyPort& port) : Port(port) {}

    Bytes ReadRequest() { return Port.MasterRead(FRAME_LENGTH); }
    // Everything the window sent, once the line has been quiet for a while.
    Bytes ReadAll() { return Port.MasterReadUntilQuiet(300); }

    // A 16-byte answer in the request layout with `command` and the five indices.
    void Answer(std::uint8_t command, const Bytes& params) {
        Bytes answer = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, command, 0x05};
        answer.insert(answer.end(), params.begin(), params.end());
        std::uint8_t sum = 0;
        for (unsigned char b : answer)
            sum = static_cast<std::uint8_t>(sum + b);
        answer.push_back(sum);
        answer.push_back(0x0D);
        answer.push_back(0x0A);
        Send(answer);
    }

    void Send(const Bytes& bytes) { ASSERT_TRUE(Port.MasterWrite(bytes.data(), bytes.size())); }

private:
    testsupport::PtyPort& Port;
};

class MainWindow : public MainWindowFixture {
protected:
    static bool WaitForPanel1(const std::string& text) {
        return QTest::qWaitFor([&] { return Panel(1) == text; }, kDeliveryTimeoutMs);
    }

    // The five parameter selectors in frame order.
    static std::vector<int> Params() {
        return {Form1->suiComboBox2->ItemIndex, Form1->suiComboBox1->ItemIndex,
                Form1->suiComboBox3->ItemIndex, Form1->suiComboBox4->ItemIndex,
                Form1->suiComboBox5->ItemIndex};
    }

    static void ExpectOpenState() {
        EXPECT_EQ(Panel(0), "Opened");
        EXPECT_FALSE(Form1->suiComboBox_PcPort->Enabled);
        EXPECT_FALSE(Form1->suiComboBox_PcBaudRate->Enabled);
        EXPECT_FALSE(Form1->suiComboBox_PcParity->Enabled);
        EXPECT_EQ(Form1->suiButton_OpenPort->Caption, "关闭");
        EXPECT_FALSE(Form1->Image1->Visible);
        EXPECT_TRUE(Form1->Image2->Visible);
        EXPECT_TRUE(Form1->Serial->IsOpen());
    }

    // Opens the port selected in the list and checks the window shows it open.
    void OpenSelectedPort() {
        Click(Form1->suiButton_OpenPort);
        ASSERT_TRUE(Form1->Serial->IsOpen());
    }
};

TEST_F(MainWindow, StartUpListsTheMappedPortsAscendingAndShowsTheClosedState) {
    Map(12);
    Map(3);
    devices.Link(7, "/nonexistent/device"); // an entry without a device is not listed
    const QString before = QString::fromStdString(FormatDateTime("t", Time()).Utf8());
    CreateWindow();
    const QString after = QString::fromStdString(FormatDateTime("t", Time()).Utf8());

    TsuiComboBox* list = Form1->suiComboBox_PcPort;
    ASSERT_EQ(list->Items->Count, 2);
    EXPECT_EQ(list->Items->Strings[0], "COM3");
    EXPECT_EQ(list->Items->Strings[1], "COM12");
    EXPECT_EQ(list->ItemIndex, 0);
    EXPECT_EQ(list->Text, "COM3");

    ExpectClosedState();
    EXPECT_EQ(Panel(1), "");
    const QString started = QString::fromStdString(Panel(2));
    EXPECT_TRUE(started == before || started == after) << Panel(2);

    // The designed selections.
    EXPECT_EQ(Form1->suiComboBox_PcBaudRate->Text, "9600");
    EXPECT_EQ(Form1->suiComboBox_PcParity->Text, "NO");
    EXPECT_EQ(Form1->suiComboBox1->Text, "1ch");
    EXPECT_EQ(Form1->suiComboBox2->Text, "正常模式");
    EXPECT_EQ(Form1->suiComboBox3->Text, "9600");
    EXPECT_EQ(Form1->suiComboBox4->Text, "NO");
    EXPECT_FALSE(Form1->suiComboBox4->Enabled);
    EXPECT_EQ(Form1->suiComboBox5->Text, "2s");
    EXPECT_EQ(Params(), (std::vector<int>{0, 0, 3, 0, 0}));
}

TEST_F(MainWindow, WithoutAnyPortTheListIsEmptyAndOpeningFails) {
    CreateWindow();
    EXPECT_EQ(Form1->suiComboBox_PcPort->Items->Count, 0);
    EXPECT_EQ(Form1->suiComboBox_PcPort->ItemIndex, -1);
    EXPECT_EQ(Form1->suiComboBox_PcPort->Text, "");
    ExpectClosedState();

    Click(Form1->suiButton_OpenPort); // port number 0: no such port
    ExpectClosedState();
    EXPECT_EQ(Panel(1), " ");
}

TEST_F(MainWindow, OpeningAndClosingShowTheStateTheChannelReports) {
    Map(3);
    testsupport::PtyPort& com12 = Map(12);
    CreateWindow();
    Form1->suiComboBox_PcPort->ItemIndex = 1; // COM12
    Form1->SetStatusText("Fail!", 1);

    OpenSelectedPort();
    ExpectOpenState();
    EXPECT_EQ(Panel(1), "Fail!"); // an open leaves panel 1 alone
    EXPECT_EQ(PortExists(12), 0); // held by the window now
    EXPECT_EQ(PortExists(3), 1);
    Click(Form1->suiButton2); // and it is COM12 that carries the requests
    EXPECT_EQ(ModulePeer(com12).ReadRequest(), ToBytes(BuildReadFrame()));

    Click(Form1->suiButton_OpenPort);
    ExpectClosedState();
    EXPECT_EQ(Panel(1), " ");
    EXPECT_EQ(PortExists(12), 1);
}

TEST_F(MainWindow, AnOpenFailingBecauseThePortIsHeldShowsTheClosedState) {
    Map(3);
    CreateWindow();
    RZSerial elsewhere;
    ASSERT_EQ(elsewhere.Open(3, 9600, 0), 1);
    Click(Form1->suiButton_OpenPort);
    ExpectClosedState();
    EXPECT_EQ(Panel(1), " ");
}

TEST_F(MainWindow, OpeningPassesTheChosenBaudRateAndParityToThePort) {
    testsupport::PtyPort& com3 = Map(3);
    CreateWindow();
    struct Case {
        int baudIndex;
        const char* baudText;
        speed_t speed;
        int parityIndex;
        bool parityChecked; // INPCK: parity on
        bool odd;           // PARODD
    } cases[] = {
        {7, "115200", B115200, 2, true, false}, // EVEN
        {0, "1200", B1200, 1, true, true},      // ODD
        {3, "9600", B9600, 0, false, false},    // NO
    };
    for (const Case& c : cases) {
        Form1->suiComboBox_PcBaudRate->ItemIndex = c.baudIndex;
        Form1->suiComboBox_PcParity->ItemIndex = c.parityIndex;
        ASSERT_EQ(Form1->suiComboBox_PcBaudRate->Text, c.baudText);
        OpenSelectedPort();
        termios settings{};
        ASSERT_TRUE(com3.ReadSlaveTermios(settings));
        EXPECT_EQ(cfgetospeed(&settings), c.speed) << c.baudText;
        EXPECT_EQ((settings.c_iflag & INPCK) != 0, c.parityChecked) << c.parityIndex;
        EXPECT_EQ((settings.c_cflag & PARODD) != 0, c.odd) << c.parityIndex;
        EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        Click(Form1->suiButton_OpenPort); // close again
        ASSERT_FALSE(Form1->Serial->IsOpen());
    }
}

TEST_F(MainWindow, TheWriteClickSendsExactlyTheSelectedParameters) {
    ModulePeer peer(Map(3));
    CreateWindow();
    OpenSelectedPort();

    Click(Form1->suiButton1); // the designed selections: 00 00 03 00 00
    EXPECT_EQ(peer.ReadAll(), ToBytes(BuildWriteFrame({0, 0, 3, 0, 0})));
    EXPECT_EQ(Panel(1), ".....");

    Form1->SetStatusText("", 1);
    Form1->suiComboBox1->ItemIndex = 7; // "8ch"
    ASSERT_EQ(Form1->suiComboBox1->Text, "8ch");
    Click(Form1->suiButton1);
    const Bytes expected = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x01, 0x05,
                            0x00, 0x07, 0x03, 0x00, 0x00, 0x9D, 0x0D, 0x0A};
    EXPECT_EQ(peer.ReadAll(), expected);
    EXPECT_EQ(Panel(1), ".....");
}

TEST_F(MainWindow, TheReadClickSendsTheReadRequestWhateverTheSelectorsShow) {
    ModulePeer peer(Map(3));
    CreateWindow();
    OpenSelectedPort();
    Form1->suiComboBox2->ItemIndex = 2;
    Form1->suiComboBox1->ItemIndex = 15;
    Form1->suiComboBox5->ItemIndex = -1;
    Click(Form1->suiButton2);
    const Bytes expected = {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x02, 0x05,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x94, 0x0D, 0x0A};
    EXPECT_EQ(peer.ReadAll(), expected);
    EXPECT_EQ(Panel(1), ".....");
}

TEST_F(MainWindow, CommandsWithThePortClosedSendNothingAndStillShowProgress) {
    ModulePeer peer(Map(3));
    CreateWindow();
    for (TsuiButton* button : {Form1->suiButton1, Form1->suiButton2}) {
        Form1->SetStatusText("", 1);
        Click(button);
        EXPECT_EQ(Panel(1), ".....");
    }
    EXPECT_TRUE(peer.ReadAll().empty());
}

TEST_F(MainWindow, ASuccessfulAnswerMovesTheFiveSelectors) {
    ModulePeer peer(Map(3));
    CreateWindow();
    OpenSelectedPort();
    for (std::uint8_t command : {CMD_READ_CONFIG, CMD_WRITE_CONFIG}) {
        Form1->suiComboBox2->ItemIndex = 0;
        Form1->suiComboBox1->ItemIndex = 0;
        Form1->suiComboBox3->ItemIndex = 0;
        Form1->suiComboBox4->ItemIndex = 0;
        Form1->suiComboBox5->ItemIndex = 0;
        Click(Form1->suiButton2);
        peer.ReadRequest();
        peer.Answer(command, {0x01, 0x0F, 0x06, 0x02, 0x03});
        ASSERT_TRUE(WaitForPanel1("Successful")) << int(command);
        EXPECT_EQ(Params(), (std::vector<int>{1, 15, 6, 2, 3})) << int(command);
        EXPECT_EQ(Form1->suiComboBox2->Text, "中心模式");
        EXPECT_EQ(Form1->suiComboBox1->Text, "16ch");
        EXPECT_EQ(Form1->suiComboBox4->Text, "EVEN");
        EXPECT_FALSE(Form1->suiComboBox4->Enabled); // moved, yet still disabled
    }
}

TEST_F(MainWindow, AFailingAnswerMovesNothing) {
    ModulePeer peer(Map(3));
    CreateWindow();
    OpenSelectedPort();
    for (std::uint8_t command : {std::uint8_t{0}, std::uint8_t{3}}) {
        const std::vector<int> before = Params();
        Click(Form1->suiButton2);
        peer.ReadRequest();
        peer.Answer(command, {0x01, 0x0F, 0x06, 0x02, 0x03});
        ASSERT_TRUE(WaitForPanel1("Fail!")) << int(command);
        EXPECT_EQ(Params(), before) << int(command);
    }
}

TEST_F(MainWindow, AnIndexPastTheListLeavesTheSelectorEmptyAndIsWrittenAsFF) {
    ModulePeer peer(Map(3));
    CreateWindow();
    OpenSelectedPort();
    peer.Answer(CMD_READ_CONFIG, {0x05, 0x07, 0x03, 0x00, 0x01}); // WorkMode has 3 entries
    ASSERT_TRUE(WaitForPanel1("Successful"));
    EXPECT_EQ(Form1->suiComboBox2->ItemIndex, -1);
    EXPECT_EQ(Form1->suiComboBox2->Text, "");
    EXPECT_EQ(Form1->suiComboBox1->ItemIndex, 7);

    Click(Form1->suiButton1);
    EXPECT_EQ(peer.ReadAll(), ToBytes(BuildWriteFrame({0xFF, 0x07, 0x03, 0x00, 0x01})));
}

TEST_F(MainWindow, AShortAnswerAfterASuccessFailsAndAppliesNothingLeftOver) {
    ModulePeer peer(Map(3));
    CreateWindow();
    OpenSelectedPort();
    peer.Answer(CMD_READ_CONFIG, {0x01, 0x0F, 0x06, 0x02, 0x03});
    ASSERT_TRUE(WaitForPanel1("Successful"));
    Form1->suiComboBox1->ItemIndex = 4;

    peer.Send({0x02}); // the earlier answer's bytes are still behind it in the buffer
    ASSERT_TRUE(WaitForPanel1("Fail!"));
    EXPECT_EQ(Params(), (std::vector<int>{1, 4, 6, 2, 3}));
}

TEST_F(MainWindow, OnlyTheRegisteredMessageReachesTheAnswerHandling) {
    CreateWindow();
    ASSERT_NE(Form1->RecvMsgId, 0u);
    EXPECT_EQ(Form1->RecvMsgId, RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1"));
    struct Case {
        UINT msg;
        WPARAM command;
        const char* panel;
    } cases[] = {
        {0, CMD_READ_CONFIG, "unchanged"},
        {Form1->RecvMsgId + 1, CMD_READ_CONFIG, "unchanged"},
        {Form1->RecvMsgId, 3, "Fail!"},
        {Form1->RecvMsgId, 0x100 + CMD_READ_CONFIG, "Fail!"}, // not a command byte
        {Form1->RecvMsgId, CMD_WRITE_CONFIG, "Successful"},
    };
    for (const Case& c : cases) {
        Form1->SetStatusText("unchanged", 1);
        SendMessageA(Form1->Handle, c.msg, c.command, 0);
        EXPECT_EQ(Panel(1), c.panel) << c.msg << " " << c.command;
    }

    // Registration failed: the receiver still delivers, as message 0, which must never be
    // taken for an answer.
    Form1->RecvMsgId = 0;
    Form1->SetStatusText("unchanged", 1);
    const std::vector<int> before = Params();
    SendMessageA(Form1->Handle, 0, CMD_READ_CONFIG, 0);
    const std::uint8_t answer[16] = {0xAF, 0xAF, 0, 0, 0xAF, 0x80, CMD_READ_CONFIG, 5,
                                     1, 1, 1, 1, 1, 0x99, 0x0D, 0x0A};
    for (std::uint8_t b : answer)
        Form1->Serial->OnReceiveByte(b);
    for (int i = 0; i < 4; ++i)
        Form1->Timer1Timer(nullptr);
    EXPECT_EQ(Form1->Serial->RecvLen, 0); // delivered
    EXPECT_EQ(Panel(1), "unchanged");
    EXPECT_EQ(Params(), before);
}

TEST_F(MainWindow, SetStatusTextTakesOnlyTheThreePanels) {
    CreateWindow();
    const std::string panels[] = {Panel(0), Panel(1), Panel(2)};
    for (int index : {3, -1, 100})
        Form1->SetStatusText("x", index);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(Panel(i), panels[i]) << i;
    Form1->SetStatusText("y", 2);
    EXPECT_EQ(Panel(2), "y");
}

TEST_F(MainWindow, FieldsPointAtTheControlsNamedInTheDescription) {
    CreateWindow();
    const std::pair<TComponent*, const char*> fields[] = {
        {Form1->suiForm1, "suiForm1"},
        {Form1->suiGroupBox1, "suiGroupBox1"},
        {Form1->Label1, "Label1"},
        {Form1->Label2, "Label2"},
        {Form1->Label3, "Label3"},
        {Form1->Image1, "Image1"},
        {Form1->Image2, "Image2"},
        {Form1->suiButton_OpenPort, "suiButton_OpenPort"},
        {Form1->suiComboBox_PcPort, "suiComboBox_PcPort"},
        {Form1->suiComboBox_PcBaudRate, "suiComboBox_PcBaudRate"},
        {Form1->suiComboBox_PcParity, "suiComboBox_PcParity"},
        {Form1->suiStatusBar1, "suiStatusBar1"},
        {Form1->suiGroupBox2, "suiGroupBox2"},
        {Form1->Label4, "Label4"},
        {Form1->suiComboBox1, "suiComboBox1"},
        {Form1->suiComboBox2, "suiComboBox2"},
        {Form1->Label5, "Label5"},
        {Form1->Label6, "Label6"},
        {Form1->suiComboBox3, "suiComboBox3"},
        {Form1->Label7, "Label7"},
        {Form1->suiComboBox4, "suiComboBox4"},
        {Form1->suiButton1, "suiButton1"},
        {Form1->suiButton2, "suiButton2"},
        {Form1->Timer1, "Timer1"},
        {Form1->Label8, "Label8"},
        {Form1->suiComboBox5, "suiComboBox5"},
    };
    EXPECT_EQ(Form1->ComponentCount, static_cast<int>(std::size(fields)));
    for (const auto& [field, name] : fields) {
        ASSERT_NE(field, nullptr) << name;
        EXPECT_EQ(field->Name, name);
        EXPECT_EQ(Form1->FindComponent(name), field) << name;
        EXPECT_EQ(field->Owner, Form1) << name;
    }
    EXPECT_NE(Form1->Serial, nullptr);
}

TEST_F(MainWindow, ClosingTheWindowReleasesAnOpenPort) {
    Map(3);
    CreateWindow();
    OpenSelectedPort();
    EXPECT_EQ(PortExists(3), 0);
    delete Form1;
    Form1 = nullptr;
    EXPECT_EQ(PortExists(3), 1);
}

TEST(IntegerFromText, FollowsTheIntegerRule) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"115200", 115200},
        {"  9600", 9600},
        {"\t+12", 12},
        {"-7", -7},
        {"12ab", 12},
        {"", 0},
        {"COM3", 0},
        {"+", 0},
        {"- 5", 0},
        {"00012", 12},
        {"2147483647", 2147483647},
        {"99999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntegerFromText(c.text), c.value) << '"' << c.text << '"';
}

} // namespace
