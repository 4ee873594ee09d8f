#include "Unit1.h"

#include "Unit1_form.h"
#include "frames.h"

#include <cctype>
#include <climits>

TForm1* Form1 = nullptr;

const TPublishedMethod<TForm1> TForm1::PublishedMethods[5] = {
    {"FormCreate", &TForm1::FormCreate},
    {"suiButton_OpenPortClick", &TForm1::suiButton_OpenPortClick},
    {"suiButton1Click", &TForm1::suiButton1Click},
    {"suiButton2Click", &TForm1::suiButton2Click},
    {"Timer1Timer", &TForm1::Timer1Timer},
};

int IntegerFromText(const String& text) {
    const char* p = text.c_str();
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

TForm1::TForm1(TComponent* Owner)
    : TForm(Owner, Form1Description, TPublishedMethods<TForm1>(this, PublishedMethods)) {
    RecvMsgId = RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1");
    Serial = new RZSerial();
}

TForm1::~TForm1() {
    // The reader thread writes into the receiver: stop it before the receiver goes.
    Serial->Close();
    delete Serial;
}

void TForm1::Dispatch(void* Message) {
    auto* message = static_cast<TMessage*>(Message);
    if (message && message->Msg != 0 && message->Msg == RecvMsgId)
        OnFrameReceived(*message);
    else
        TForm::Dispatch(Message);
}

void TForm1::Timer1Timer(TObject*) {
    Serial->OnTimerTick(Handle, RecvMsgId);
}

void TForm1::FormCreate(TObject*) {
    for (DWORD n = 1; n <= 255; ++n) {
        if (PortExists(n))
            suiComboBox_PcPort->Items->Add("COM" + String(n));
    }
    if (suiComboBox_PcPort->Items->Count > 0)
        suiComboBox_PcPort->ItemIndex = 0;
    SetStatusText("Closed", 0);
    suiComboBox_PcPort->Enabled = true;
    suiComboBox_PcBaudRate->Enabled = true;
    suiComboBox_PcParity->Enabled = true;
    suiButton_OpenPort->Caption = "打开";
    ShowClosedIndicator();
    SetStatusText(FormatDateTime("t", Time()), 2);
}

void TForm1::suiButton_OpenPortClick(TObject*) {
    if (Serial->IsOpen()) {
        Serial->Close();
    } else {
        const String portText = suiComboBox_PcPort->Text;
        const int port =
            IntegerFromText(portText.SubString(portText.Pos("M") + 1, portText.Length()));
        const int baud = IntegerFromText(suiComboBox_PcBaudRate->Text);
        const int parity = suiComboBox_PcParity->ItemIndex;
        Serial->Configure(port, baud, parity);
    }

    if (Serial->IsOpen()) {
        SetStatusText("Opened", 0);
        suiComboBox_PcPort->Enabled = false;
        suiComboBox_PcBaudRate->Enabled = false;
        suiComboBox_PcParity->Enabled = false;
        suiButton_OpenPort->Caption = "关闭";
        ShowOpenedIndicator();
    } else {
        SetStatusText("Closed", 0);
        suiComboBox_PcPort->Enabled = true;
        suiComboBox_PcBaudRate->Enabled = true;
        suiComboBox_PcParity->Enabled = true;
        SetStatusText(" ", 1);
        suiButton_OpenPort->Caption = "打开";
        ShowClosedIndicator();
    }
}

void TForm1::suiButton1Click(TObject*) {
    // A selector with nothing selected (index -1) contributes 0xFF.
    ModuleParams params;
    params.WorkMode = static_cast<std::uint8_t>(suiComboBox2->ItemIndex);
    params.RadioChannel = static_cast<std::uint8_t>(suiComboBox1->ItemIndex);
    params.SerialRate = static_cast<std::uint8_t>(suiComboBox3->ItemIndex);
    params.SerialParity = static_cast<std::uint8_t>(suiComboBox4->ItemIndex);
    params.SleepTime = static_cast<std::uint8_t>(suiComboBox5->ItemIndex);
    const Frame request = BuildWriteFrame(params);
    Serial->Write(request.data(), static_cast<unsigned int>(request.size()));
    SetStatusText(".....", 1);
}

void TForm1::suiButton2Click(TObject*) {
    const Frame request = BuildReadFrame();
    Serial->Write(request.data(), static_cast<unsigned int>(request.size()));
    SetStatusText(".....", 1);
}

void TForm1::OnFrameReceived(TMessage& Message) {
    const bool success = Message.WParam <= 0xFF &&
                         IsSuccess(ClassifyAnswer(static_cast<std::uint8_t>(Message.WParam)));
    if (!success) {
        SetStatusText("Fail!", 1);
        return;
    }
    // The receiver holds the answer being delivered until this handler returns.
    const ModuleParams params = ParamsFromAnswer(Serial->RecvBuf);
    suiComboBox2->ItemIndex = params.WorkMode;
    suiComboBox1->ItemIndex = params.RadioChannel;
    suiComboBox3->ItemIndex = params.SerialRate;
    suiComboBox4->ItemIndex = params.SerialParity;
    suiComboBox5->ItemIndex = params.SleepTime;
    SetStatusText("Successful", 1);
}

void TForm1::SetStatusText(String text, int index) {
    if (index >= 0 && index <= 2)
        suiStatusBar1->Panels->Items[index]->Text = text;
}

void TForm1::ShowOpenedIndicator() {
    Image1->Visible = false;
    Image2->Visible = true;
}

void TForm1::ShowClosedIndicator() {
    Image1->Visible = true;
    Image2->Visible = false;
}
