// The module-answer receiver: a serial channel that collects every received byte into
// one answer and, driven by a 100 ms tick on the UI thread, delivers the answer to the
// main window once the line has been quiet for three full ticks.
#pragma once

#include "CXSerial.h"
#include "win32_user.h"

#include <cstdint>
#include <mutex>

class RZSerial : public CXSerial {
public:
    static constexpr int RECV_BUF_SIZE = 1024;
    // Ticks that only count; the tick that finds this many delivers.
    static constexpr int QUIET_TICKS = 3;

    // The answer being collected, from position 0. Never cleared: positions at and beyond
    // RecvLen hold what earlier answers left there (zeros before the first).
    std::uint8_t RecvBuf[RECV_BUF_SIZE];
    // Bytes collected so far (at most RECV_BUF_SIZE; further bytes of the same answer are
    // dropped). While an answer is being delivered, its length.
    std::int32_t RecvLen;
    // -1: nothing pending; 0..3: ticks handled since the last byte arrived.
    std::int32_t IdleCount;

    RZSerial();
    // Stops the reader before the receive state goes away.
    ~RZSerial();

    // Reader thread: appends one byte to the answer and restarts the quiet time.
    // Constant work, no allocation, never calls into the window.
    void OnReceiveByte(unsigned char byte) override;

    // UI thread, every 100 ms. On the fourth tick after the last byte, sends `msgId` to
    // `window` synchronously with wParam = the answer's command byte (position 6) and
    // lParam = 0, then starts a new answer. An answer too short to hold the command byte
    // and all five parameters (fewer than 13 bytes) is delivered with command byte 0, a
    // failure, so that nothing left over from an earlier answer is ever applied.
    //
    // While the message is handled, RecvBuf and RecvLen hold exactly the answer being
    // delivered: bytes that arrive meanwhile are kept aside and become the start of the
    // next answer once the handler has returned.
    void OnTimerTick(HWND window, UINT msgId);

private:
    std::mutex RecvLock;
    bool Delivering = false;
    std::uint8_t AsideBuf[RECV_BUF_SIZE];
    std::int32_t AsideLen = 0;
};
