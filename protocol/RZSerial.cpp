#include "RZSerial.h"

#include "frames.h"

#include <cstring>

RZSerial::RZSerial() : RecvLen(0), IdleCount(-1) {
    std::memset(RecvBuf, 0, sizeof RecvBuf);
    std::memset(AsideBuf, 0, sizeof AsideBuf);
}

RZSerial::~RZSerial() {
    // The reader calls OnReceiveByte, which uses this object's members: it must be gone
    // before they are, which the base destructor would be too late for.
    Close();
}

void RZSerial::OnReceiveByte(unsigned char byte) {
    std::lock_guard<std::mutex> guard(RecvLock);
    if (Delivering) {
        if (AsideLen < RECV_BUF_SIZE)
            AsideBuf[AsideLen++] = byte;
    } else if (RecvLen < RECV_BUF_SIZE) {
        RecvBuf[RecvLen++] = byte;
    }
    IdleCount = 0;
}

void RZSerial::OnTimerTick(HWND window, UINT msgId) {
    WPARAM command;
    {
        std::lock_guard<std::mutex> guard(RecvLock);
        const std::int32_t seen = IdleCount;
        if (seen < 0)
            return;
        IdleCount = seen + 1;
        if (seen < QUIET_TICKS)
            return;
        IdleCount = -1;
        Delivering = true;
        command = RecvLen >= static_cast<std::int32_t>(ANSWER_MIN_LENGTH)
                      ? RecvBuf[ANSWER_COMMAND_POS]
                      : 0;
    }

    // Not under the lock: the handler reads RecvBuf and the reader must not wait on it.
    SendMessageA(window, msgId, command, 0);

    std::lock_guard<std::mutex> guard(RecvLock);
    Delivering = false;
    std::memcpy(RecvBuf, AsideBuf, static_cast<std::size_t>(AsideLen));
    RecvLen = AsideLen;
    AsideLen = 0;
    // Bytes that came during delivery start the next answer with a fresh quiet time;
    // IdleCount was already set to 0 by the last of them.
}
