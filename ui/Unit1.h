// The main window: lists the PC's serial ports, opens and closes the chosen one, sends the
// write- and read-configuration requests and shows the module's answers.
//
// Every control is created from the form description (Unit1_form.h) before the
// constructor body runs; the fields below are bound to them by name, in this order. All
// handlers run on the UI thread.
#pragma once

#include "RZSerial.h"
#include "vcl.h"

class TForm1 : public TForm {
public: // Published: bound by name from the form description.
    TsuiForm* suiForm1 = FindField<TsuiForm>("suiForm1");
    TsuiGroupBox* suiGroupBox1 = FindField<TsuiGroupBox>("suiGroupBox1");
    TLabel* Label1 = FindField<TLabel>("Label1");
    TLabel* Label2 = FindField<TLabel>("Label2");
    TLabel* Label3 = FindField<TLabel>("Label3");
    TImage* Image1 = FindField<TImage>("Image1"); // port-closed indicator
    TImage* Image2 = FindField<TImage>("Image2"); // port-opened indicator
    TsuiButton* suiButton_OpenPort = FindField<TsuiButton>("suiButton_OpenPort");
    TsuiComboBox* suiComboBox_PcPort = FindField<TsuiComboBox>("suiComboBox_PcPort");
    TsuiComboBox* suiComboBox_PcBaudRate = FindField<TsuiComboBox>("suiComboBox_PcBaudRate");
    TsuiComboBox* suiComboBox_PcParity = FindField<TsuiComboBox>("suiComboBox_PcParity");
    TsuiStatusBar* suiStatusBar1 = FindField<TsuiStatusBar>("suiStatusBar1");
    TsuiGroupBox* suiGroupBox2 = FindField<TsuiGroupBox>("suiGroupBox2");
    TLabel* Label4 = FindField<TLabel>("Label4");
    TsuiComboBox* suiComboBox1 = FindField<TsuiComboBox>("suiComboBox1"); // RadioChannel
    TsuiComboBox* suiComboBox2 = FindField<TsuiComboBox>("suiComboBox2"); // WorkMode
    TLabel* Label5 = FindField<TLabel>("Label5");
    TLabel* Label6 = FindField<TLabel>("Label6");
    TsuiComboBox* suiComboBox3 = FindField<TsuiComboBox>("suiComboBox3"); // SerialRate
    TLabel* Label7 = FindField<TLabel>("Label7");
    TsuiComboBox* suiComboBox4 = FindField<TsuiComboBox>("suiComboBox4"); // SerialParity
    TsuiButton* suiButton1 = FindField<TsuiButton>("suiButton1");         // write configuration
    TsuiButton* suiButton2 = FindField<TsuiButton>("suiButton2");         // read configuration
    TTimer* Timer1 = FindField<TTimer>("Timer1");
    TLabel* Label8 = FindField<TLabel>("Label8");
    TsuiComboBox* suiComboBox5 = FindField<TsuiComboBox>("suiComboBox5"); // SleepTime

    void FormCreate(TObject* Sender);
    void suiButton_OpenPortClick(TObject* Sender);
    void suiButton1Click(TObject* Sender);
    void suiButton2Click(TObject* Sender);
    // Every 100 ms: ages the receiver's quiet time and delivers a completed answer.
    void Timer1Timer(TObject* Sender);

public:
    // The receiver and its port; created by the constructor, never null, never replaced.
    RZSerial* Serial = nullptr;
    // Id of the registered receive-notification message; 0 when registration failed.
    DWORD RecvMsgId = 0;

    explicit TForm1(TComponent* Owner);
    // Closes the port (its reader stops first) and deletes the receiver, then the form
    // destroys its controls.
    ~TForm1() override;

    // Routes the receive-notification message to OnFrameReceived, everything else to the
    // platform.
    void Dispatch(void* Message) override;

    // Sets status panel `index` (0 port state, 1 outcome of the last command, 2 start
    // time); any other index changes nothing.
    void SetStatusText(String text, int index);
    void ShowOpenedIndicator();
    void ShowClosedIndicator();
    // A completed answer; Message.WParam is its command byte. Command 1 or 2 moves the five
    // parameter selectors to the answered indices and shows "Successful"; anything else
    // shows "Fail!".
    void OnFrameReceived(TMessage& Message);

    static const TPublishedMethod<TForm1> PublishedMethods[5];
};

extern TForm1* Form1;

// The integer rule for texts the user picked: leading white space skipped, one optional
// "+" or "-", then decimal digits up to the first other character. No digits give 0; a
// value beyond the int range is clamped to it.
int IntegerFromText(const String& text);
