// Fuzz target: the main window's answer handling, on the real window (offscreen), with
// arbitrary answers and arbitrary selector states.
//
// Input:
//   byte 0      bit 0 clear: the answer's bytes are received and delivered by the window's
//               own timer handler (four ticks); bit 0 set: they are received, and then
//               the receive-notification message is sent directly with the wParam below
//   bytes 1-5   the five parameter selectors' indices before the answer, each taken
//               modulo (entries + 1) and less one: -1 (nothing selected) .. last entry
//   bytes 6-9   direct mode only: wParam, little endian
//   the rest    the answer's bytes, as the serial line would deliver them
//
// Checked: the outcome text (panel 1) is "Successful" exactly for command byte 1 or 2 and
// "Fail!" otherwise; a success moves each selector to its answered index, or to no entry
// when the index is past the end of its list; a failure moves nothing; panels 0 and 2 and
// the port are left alone; three quiet ticks deliver nothing, the fourth delivers.
#include "Unit1.h"
#include "frames.h"
#include "pty_port.h"

#include <QApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "answer handling broken: %s\n", what.c_str());
    std::abort();
}

std::string Panel(int index) { return Form1->suiStatusBar1->Panels->Items[index]->Text.get().Utf8(); }

// The five parameter selectors in frame order.
TsuiComboBox* Selector(int i) {
    TsuiComboBox* selectors[5] = {Form1->suiComboBox2, Form1->suiComboBox1, Form1->suiComboBox3,
                                  Form1->suiComboBox4, Form1->suiComboBox5};
    return selectors[i];
}

void Quiesce() {
    // Nothing may be pending from an earlier input.
    for (int k = 0; k < 4 && Form1->Serial->IdleCount >= 0; ++k)
        Form1->Timer1Timer(nullptr);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_answer";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv); // kept for the process's life
    (void)app;
    // An empty port folder: start-up probes no device of this machine.
    static testsupport::DosDevices devices;
    Application->Initialize();
    Application->CreateForm(classid<TForm1>, &Form1);
    if (!Form1 || Form1->RecvMsgId == 0)
        Fail("the window did not come up");
    // The window goes before the toolkit's own globals do at exit.
    std::atexit([] {
        delete Form1;
        Form1 = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    const bool direct = data[0] & 1;
    Quiesce();
    std::size_t pos = 1;
    int before[5];
    for (int i = 0; i < 5; ++i) {
        const int count = Selector(i)->Items->Count;
        before[i] = data[pos++] % (count + 1) - 1;
        Selector(i)->ItemIndex = before[i];
        if (Selector(i)->ItemIndex != before[i])
            Fail("a selector did not take index " + std::to_string(before[i]));
    }
    std::uint32_t wParam = 0;
    if (direct) {
        for (int k = 0; k < 4; ++k)
            wParam |= static_cast<std::uint32_t>(pos < size ? data[pos++] : 0) << (8 * k);
    }
    const std::uint8_t* answer = data + (pos < size ? pos : size);
    const std::size_t length = size - (pos < size ? pos : size);

    // A known buffer behind the answer, so that every input runs the same way.
    std::memset(Form1->Serial->RecvBuf, 0, sizeof Form1->Serial->RecvBuf);
    const std::string panel0 = Panel(0);
    const std::string panel2 = Panel(2);
    Form1->SetStatusText("sentinel", 1);

    for (std::size_t k = 0; k < length; ++k)
        Form1->Serial->OnReceiveByte(answer[k]);

    // What the handler must apply: the command byte, and positions 8 to 12 as they stand.
    std::uint8_t params[5];
    std::memcpy(params, Form1->Serial->RecvBuf + ANSWER_PARAMS_POS, 5);
    bool success;
    if (direct) {
        success = wParam == CMD_WRITE_CONFIG || wParam == CMD_READ_CONFIG;
        SendMessageA(Form1->Handle, Form1->RecvMsgId, wParam, 0);
    } else {
        success = length >= ANSWER_MIN_LENGTH &&
                  (answer[ANSWER_COMMAND_POS] == CMD_WRITE_CONFIG ||
                   answer[ANSWER_COMMAND_POS] == CMD_READ_CONFIG);
        if (length > 0) {
            for (int k = 0; k < 3; ++k) {
                Form1->Timer1Timer(nullptr);
                if (Panel(1) != "sentinel")
                    Fail("delivered after " + std::to_string(k + 1) + " quiet ticks");
            }
            Form1->Timer1Timer(nullptr);
        } else {
            // Nothing received: no tick delivers anything.
            for (int k = 0; k < 4; ++k)
                Form1->Timer1Timer(nullptr);
            if (Panel(1) != "sentinel")
                Fail("a delivery without any byte received");
            return 0;
        }
    }

    const std::string outcome = Panel(1);
    if (outcome != (success ? "Successful" : "Fail!"))
        Fail("outcome \"" + outcome + "\", expected " + (success ? "Successful" : "Fail!"));
    for (int i = 0; i < 5; ++i) {
        const int count = Selector(i)->Items->Count;
        const int expected = !success ? before[i] : params[i] < count ? params[i] : -1;
        if (Selector(i)->ItemIndex != expected)
            Fail("selector " + std::to_string(i) + " at " +
                 std::to_string(Selector(i)->ItemIndex) + ", expected " +
                 std::to_string(expected));
    }
    if (Panel(0) != panel0 || Panel(2) != panel2)
        Fail("the answer changed the port state or the start time");
    if (Form1->Serial->IsOpen())
        Fail("the answer opened a port");
    return 0;
}
