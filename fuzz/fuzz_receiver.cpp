// Fuzz target: the answer receiver, fed an arbitrary interleaving of received bytes and
// timer ticks, compared after every step with a plain model of what it must do.
//
// The input is a program of operations; the first byte of each decides what it is:
//   0x00-0x7F  receive the next (op & 0x7F) + 1 input bytes, one OnReceiveByte each
//   0x80-0xBF  (op & 0x3F) + 1 timer ticks
//   0xC0-0xDF  the next input byte n: the next n input bytes arrive during the next delivery
//              (they are received from inside the window's message handler)
//   0xE0-0xFF  a flood: ((op & 0x1F) + 1) * 64 copies of the next input byte
//
// Checked after every step: IdleCount in -1..3, RecvLen in 0..1024, RecvBuf holding the
// answer collected so far (its first 1024 bytes), nothing pending exactly when IdleCount is
// -1; and at every delivery: the fourth tick after the last byte delivers, once, with the
// command byte of the answer (0 when shorter than 13 bytes) while RecvBuf still holds that
// answer, and bytes received during the delivery start the next answer. Out-of-bounds
// writes are for the address sanitizer to find.
#include "RZSerial.h"
#include "win32_user.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what, long expected, long actual) {
    std::fprintf(stderr, "receiver invariant broken: %s (expected %ld, got %ld)\n", what,
                 expected, actual);
    std::abort();
}

void Check(bool ok, const char* what, long expected, long actual) {
    if (!ok)
        Fail(what, expected, actual);
}

// What the receiver must hold: the answer so far (only its first 1024 bytes are kept) and
// the ticks counted since its last byte.
struct Model {
    std::vector<std::uint8_t> answer;
    int idle = -1;

    void Receive(std::uint8_t byte) {
        if (answer.size() < RZSerial::RECV_BUF_SIZE)
            answer.push_back(byte);
        idle = 0;
    }
};

void CheckState(const RZSerial& serial, const Model& model) {
    Check(serial.IdleCount >= -1 && serial.IdleCount <= RZSerial::QUIET_TICKS, "IdleCount range",
          model.idle, serial.IdleCount);
    Check(serial.RecvLen >= 0 && serial.RecvLen <= RZSerial::RECV_BUF_SIZE, "RecvLen range",
          static_cast<long>(model.answer.size()), serial.RecvLen);
    Check(serial.IdleCount == model.idle, "IdleCount", model.idle, serial.IdleCount);
    Check(serial.RecvLen == static_cast<std::int32_t>(model.answer.size()), "RecvLen",
          static_cast<long>(model.answer.size()), serial.RecvLen);
    Check((serial.IdleCount == -1) == (serial.RecvLen == 0), "nothing pending iff IdleCount -1",
          serial.IdleCount == -1, serial.RecvLen == 0);
    Check(model.answer.empty() ||
              std::memcmp(serial.RecvBuf, model.answer.data(), model.answer.size()) == 0,
          "RecvBuf holds the answer", 1, 0);
}

// The main window's part: takes the delivery, checks it against the model, and receives
// the bytes that the input wants to arrive meanwhile.
class Window : public WindowMessageTarget {
public:
    RZSerial* serial = nullptr;
    Model* model = nullptr;
    UINT msgId = 0;
    std::vector<std::uint8_t> duringDelivery;
    bool expectDelivery = false;
    int deliveries = 0;

    LRESULT HandleWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        Check(msg == msgId, "message id", msgId, msg);
        Check(expectDelivery, "delivered only on the fourth quiet tick", 0, 1);
        Check(lParam == 0, "lParam", 0, static_cast<long>(lParam));
        ++deliveries;
        const std::vector<std::uint8_t>& answer = model->answer;
        const long command = answer.size() >= 13 ? answer[6] : 0; // short: a failure
        Check(static_cast<long>(wParam) == command, "command byte", command,
              static_cast<long>(wParam));
        // While the handler runs, the receiver holds exactly the answer being delivered.
        Check(serial->RecvLen == static_cast<std::int32_t>(answer.size()),
              "RecvLen during delivery", static_cast<long>(answer.size()), serial->RecvLen);
        Check(std::memcmp(serial->RecvBuf, answer.data(), answer.size()) == 0,
              "RecvBuf during delivery", 1, 0);
        Check(serial->IdleCount == -1, "IdleCount at delivery", -1, serial->IdleCount);

        // Bytes arriving now must not disturb the answer the handler reads.
        for (std::uint8_t byte : duringDelivery)
            serial->OnReceiveByte(byte);
        if (!duringDelivery.empty()) {
            Check(serial->RecvLen == static_cast<std::int32_t>(answer.size()),
                  "RecvLen after bytes during delivery", static_cast<long>(answer.size()),
                  serial->RecvLen);
            Check(std::memcmp(serial->RecvBuf, answer.data(), answer.size()) == 0,
                  "RecvBuf after bytes during delivery", 1, 0);
        }
        return 0;
    }
};

struct Harness {
    Window window;
    HWND hwnd = nullptr;
    UINT msgId = 0;

    Harness() {
        msgId = RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1");
        hwnd = CreateMessageWindow(&window);
        window.msgId = msgId;
    }
};

Harness& GetHarness() {
    static Harness* harness = new Harness; // lives as long as the process
    return *harness;
}

void Tick(RZSerial& serial, Model& model, Window& window, HWND hwnd, UINT msgId) {
    const int seen = model.idle;
    const bool delivers = seen >= RZSerial::QUIET_TICKS;
    window.expectDelivery = delivers;
    const int before = window.deliveries;
    serial.OnTimerTick(hwnd, msgId);
    window.expectDelivery = false;
    Check(window.deliveries - before == (delivers ? 1 : 0), "deliveries in one tick",
          delivers ? 1 : 0, window.deliveries - before);

    if (seen < 0)
        return;
    model.idle = seen + 1;
    if (!delivers)
        return;
    // Delivered: bytes that came during the delivery are the next answer.
    model.answer.clear();
    model.idle = -1;
    for (std::uint8_t byte : window.duringDelivery)
        model.Receive(byte);
    window.duringDelivery.clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Harness& harness = GetHarness();
    RZSerial serial;
    Model model;
    Window& window = harness.window;
    window.serial = &serial;
    window.model = &model;
    window.duringDelivery.clear();
    CheckState(serial, model);

    std::size_t i = 0;
    while (i < size) {
        const std::uint8_t op = data[i++];
        if (op < 0x80) {
            const std::size_t count = (op & 0x7Fu) + 1u;
            for (std::size_t k = 0; k < count && i < size; ++k) {
                serial.OnReceiveByte(data[i]);
                model.Receive(data[i++]);
                CheckState(serial, model);
            }
        } else if (op < 0xC0) {
            const int ticks = (op & 0x3F) + 1;
            for (int k = 0; k < ticks; ++k) {
                Tick(serial, model, window, harness.hwnd, harness.msgId);
                CheckState(serial, model);
            }
        } else if (op < 0xE0) {
            if (i >= size)
                break;
            const std::size_t count = data[i++];
            window.duringDelivery.assign(data + i, data + i + (count < size - i ? count : size - i));
            i += window.duringDelivery.size();
        } else {
            if (i >= size)
                break;
            const std::size_t count = static_cast<std::size_t>((op & 0x1F) + 1) * 64;
            const std::uint8_t byte = data[i++];
            for (std::size_t k = 0; k < count; ++k) {
                serial.OnReceiveByte(byte);
                model.Receive(byte);
            }
            CheckState(serial, model);
        }
    }
    // Whatever is pending is delivered by the fourth tick, and then nothing is.
    for (int k = 0; k < 2 * (RZSerial::QUIET_TICKS + 1); ++k) {
        Tick(serial, model, window, harness.hwnd, harness.msgId);
        CheckState(serial, model);
    }
    Check(serial.IdleCount == -1 && serial.RecvLen == 0, "idle at the end", 1, 0);
    window.serial = nullptr;
    window.model = nullptr;
    return 0;
}
