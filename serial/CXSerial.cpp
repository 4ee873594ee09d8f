#include "CXSerial.h"

#include <cstring>

namespace {

constexpr DWORD EventMask = EV_RXCHAR | EV_CTS | EV_RLSD | EV_BREAK;
constexpr DWORD PurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD QueueSize = 1024;
constexpr DWORD ChunkSize = 1024;
constexpr DWORD ReadBufferSize = 1024;
constexpr DWORD OperationWaitMs = 1000;
// Write gives up when the port has taken no byte for this long.
constexpr DWORD WriteStallLimitMs = 3000;

constexpr DWORD ReaderNoPort = static_cast<DWORD>(-1);
constexpr DWORD ReaderWaitFailed = 4;
constexpr DWORD ReaderStopped = 5;
constexpr DWORD ReaderDeviceGone = 6;

bool ValidHandle(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

void ReleaseHandle(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

void FillLineSettings(DCB& dcb, int baud, int parity) {
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = 2;
    dcb.XoffLim = 4;
    dcb.ByteSize = 8;
    dcb.Parity = static_cast<BYTE>(parity & 0xFF);
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x13;
    dcb.XoffChar = 0x19;
}

DWORD ReaderEndFor(DWORD error) {
    return error == ERROR_DEVICE_NOT_CONNECTED ? ReaderDeviceGone : ReaderWaitFailed;
}

} // namespace

void FormPortName(int port, char (&name)[PortNameSize]) {
    if (static_cast<unsigned>(port) <= 9)
        wsprintfA(name, "COM%d", port);
    else
        wsprintfA(name, "\\\\.\\COM%d", port);
}

int PortExists(DWORD n) {
    char name[PortNameSize];
    FormPortName(static_cast<int>(n), name);
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (!ValidHandle(handle))
        return 0;
    CloseHandle(handle);
    return 1;
}

CXSerial::CXSerial()
    : WriteOverlapped{}, ReadOverlapped{}, ReaderThread(nullptr), StopEvent(nullptr),
      ReadEnableEvent(nullptr), PortNumber(1), PortBaud(9600), PortParity(0), PortHandle(nullptr) {
    InitializeCriticalSection(&WriteLock);
}

CXSerial::~CXSerial() {
    Close();
    DeleteCriticalSection(&WriteLock);
}

int CXSerial::IsOpen() const {
    return ValidHandle(PortHandle) ? 1 : 0;
}

int CXSerial::Configure(int port, int baud, int parity) {
    if (IsOpen() && port == PortNumber)
        return ApplyLineSettings(baud, parity);
    return Open(port, baud, parity);
}

int CXSerial::Open(int port, int baud, int parity) {
    Close();
    PortNumber = port;
    PortBaud = baud;
    PortParity = parity;

    char name[PortNameSize];
    FormPortName(port, name);
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (!ValidHandle(handle))
        return 0;

    DCB dcb;
    FillLineSettings(dcb, baud, parity);
    PurgeComm(handle, PurgeAll);
    COMMTIMEOUTS noTimeouts{};
    // A port that cannot be set up is released again rather than left half open.
    if (!SetCommMask(handle, EventMask) || !SetCommTimeouts(handle, &noTimeouts) ||
        !SetCommState(handle, &dcb) || !SetupComm(handle, QueueSize, QueueSize)) {
        CloseHandle(handle);
        return 0;
    }

    // Writers on other threads see the port only once it is set up.
    EnterCriticalSection(&WriteLock);
    PortHandle = handle;
    LeaveCriticalSection(&WriteLock);

    if (!StartReader()) {
        Close();
        return 0;
    }
    return 1;
}

int CXSerial::ApplyLineSettings(int baud, int parity) {
    if (!IsOpen())
        return 0;
    PortParity = parity;
    DCB dcb;
    FillLineSettings(dcb, baud, parity);
    return SetCommState(PortHandle, &dcb) ? 1 : 0;
}

int CXSerial::Close() {
    if (!IsOpen()) {
        PortHandle = nullptr;
        return 1;
    }
    StopReader();
    // A Write on another thread finishes (within its bound) before the port goes.
    EnterCriticalSection(&WriteLock);
    CloseHandle(PortHandle);
    PortHandle = nullptr;
    LeaveCriticalSection(&WriteLock);
    return 1;
}

int CXSerial::Write(const void* data, unsigned int length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    EnterCriticalSection(&WriteLock);
    int result = 0;
    if (ValidHandle(PortHandle) && WriteOverlapped.hEvent != nullptr &&
        (bytes != nullptr || length == 0)) {
        DWORD total = 0;
        DWORD lastProgress = GetTickCount();
        for (;;) {
            DWORD errors = 0;
            COMSTAT status{};
            ClearCommError(PortHandle, &errors, &status);

            const DWORD chunk = length - total < ChunkSize ? length - total : ChunkSize;
            DWORD count = 0;
            bool deviceGone = false;
            bool waited = false;
            if (WriteFile(PortHandle, bytes + total, chunk, &count, &WriteOverlapped)) {
                total += count;
            } else if (GetLastError() == ERROR_IO_PENDING) {
                waited = true;
                if (WaitForSingleObject(WriteOverlapped.hEvent, OperationWaitMs) != WAIT_OBJECT_0) {
                    // Stop the rest of this chunk; what the port already took stays taken
                    // and counted, so no byte goes out twice.
                    PurgeComm(PortHandle, PURGE_TXABORT);
                }
                if (!GetOverlappedResult(PortHandle, &WriteOverlapped, &count, FALSE))
                    deviceGone = GetLastError() == ERROR_DEVICE_NOT_CONNECTED;
                total += count;
            } else {
                deviceGone = GetLastError() == ERROR_DEVICE_NOT_CONNECTED;
                total += count;
            }

            if (count > 0)
                lastProgress = GetTickCount();
            if (total >= length) {
                result = 1;
                break;
            }
            if (deviceGone || GetTickCount() - lastProgress >= WriteStallLimitMs)
                break;
            if (!waited)
                Sleep(10);
        }
    }
    LeaveCriticalSection(&WriteLock);
    return result;
}

int CXSerial::StartReader() {
    if (!IsOpen())
        return 0;
    StopReader();

    StopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ReadEnableEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::memset(&ReadOverlapped, 0, sizeof ReadOverlapped);
    ReadOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EnterCriticalSection(&WriteLock);
    std::memset(&WriteOverlapped, 0, sizeof WriteOverlapped);
    WriteOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    LeaveCriticalSection(&WriteLock);
    if (StopEvent == nullptr || ReadEnableEvent == nullptr || ReadOverlapped.hEvent == nullptr ||
        WriteOverlapped.hEvent == nullptr) {
        StopReader();
        return 0;
    }

    // The reader's opening purge happens here, before the caller can write: done on the
    // new thread it could discard or abort the caller's first write.
    PurgeComm(PortHandle, PurgeAll);

    ReaderThread = CreateThread(nullptr, 0, ReaderThreadProc, this, 0, nullptr);
    if (!ValidHandle(ReaderThread)) {
        ReaderThread = nullptr;
        StopReader();
        return 0;
    }
    return 1;
}

int CXSerial::StopReader() {
    if (StopEvent != nullptr)
        SetEvent(StopEvent);
    if (ReaderThread != nullptr) {
        // The reader sees the stop request at its next wait, or after the byte batch it is
        // delivering; its events stay until it has left.
        WaitForSingleObject(ReaderThread, INFINITE);
        ReleaseHandle(ReaderThread);
    }
    ReleaseHandle(ReadEnableEvent);
    ReleaseHandle(ReadOverlapped.hEvent);
    EnterCriticalSection(&WriteLock);
    ReleaseHandle(WriteOverlapped.hEvent);
    LeaveCriticalSection(&WriteLock);
    ReleaseHandle(StopEvent);
    return 1;
}

DWORD WINAPI CXSerial::ReaderThreadProc(LPVOID param) {
    auto* self = static_cast<CXSerial*>(param);
    const HANDLE port = self->PortHandle;
    if (!ValidHandle(port))
        return ReaderNoPort;

    const HANDLE inputOrStop[2] = {self->StopEvent, self->ReadEnableEvent};
    const HANDLE readOrStop[2] = {self->StopEvent, self->ReadOverlapped.hEvent};
    OVERLAPPED inputWait{};
    inputWait.hEvent = self->ReadEnableEvent;
    unsigned char buffer[ReadBufferSize];

    // Bytes known to be queued and not yet taken: what the last look at the queue found,
    // less the batches read since. While the port is open nobody else reads or purges its
    // input, so the queue only grows meanwhile, and those bytes are taken without another
    // wait or look (on a busy line most batches cost one read).
    DWORD knownQueued = 0;
    // Set after a batch was taken: more input is likely, so the queue is looked at before
    // any wait is started (a wait is only started once the queue was found empty).
    bool lookFirst = false;
    for (;;) {
        // Sleep until the port has input or the stop request comes: one blocking wait.
        DWORD events = 0;
        if (knownQueued == 0 && !lookFirst && !WaitCommEvent(port, &events, &inputWait)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return ReaderEndFor(GetLastError());
            DWORD woke = WaitForMultipleObjects(2, inputOrStop, FALSE, INFINITE);
            if (woke != WAIT_OBJECT_0 + 1) {
                // Settle the wait before its record goes out of scope.
                PurgeComm(port, PURGE_RXABORT);
                DWORD unused;
                GetOverlappedResult(port, &inputWait, &unused, FALSE);
                return woke == WAIT_OBJECT_0 ? ReaderStopped : ReaderWaitFailed;
            }
            DWORD unused;
            if (!GetOverlappedResult(port, &inputWait, &unused, FALSE))
                return ReaderEndFor(GetLastError());
        }
        // A stop request wins over input that keeps coming.
        if (WaitForSingleObject(self->StopEvent, 0) == WAIT_OBJECT_0)
            return ReaderStopped;

        if (knownQueued == 0) {
            DWORD errors = 0;
            COMSTAT status{};
            if (!ClearCommError(port, &errors, &status))
                return ReaderEndFor(GetLastError());
            if (status.cbInQue == 0) {
                lookFirst = false;
                continue;
            }
            knownQueued = status.cbInQue;
        }
        lookFirst = true;

        const DWORD wanted = knownQueued < ReadBufferSize ? knownQueued : ReadBufferSize;
        knownQueued -= wanted;
        DWORD count = 0;
        bool stop = false;
        if (!ReadFile(port, buffer, wanted, &count, &self->ReadOverlapped)) {
            // Whatever happens below, the queue is looked at afresh next time.
            knownQueued = 0;
            if (GetLastError() != ERROR_IO_PENDING)
                return ReaderEndFor(GetLastError());
            // Never expected (no more is asked for than is there); settled before the
            // record is used again, and whatever it read is delivered.
            DWORD woke = WaitForMultipleObjects(2, readOrStop, FALSE, OperationWaitMs);
            if (woke != WAIT_OBJECT_0 + 1)
                PurgeComm(port, PURGE_RXABORT);
            if (!GetOverlappedResult(port, &self->ReadOverlapped, &count, FALSE) &&
                GetLastError() == ERROR_DEVICE_NOT_CONNECTED)
                stop = true;
            if (woke == WAIT_OBJECT_0)
                stop = true;
        }
        for (DWORD i = 0; i < count; ++i)
            self->OnReceiveByte(buffer[i]);
        if (stop)
            return WaitForSingleObject(self->StopEvent, 0) == WAIT_OBJECT_0 ? ReaderStopped
                                                                            : ReaderDeviceGone;
    }
}
