// Serial ports and overlapped I/O on POSIX: termios, non-blocking descriptors and poll().
//
// An overlapped operation is a record in the port (one per kind) that points at the
// caller's OVERLAPPED and buffer. Every step of it is a non-blocking system call made under
// the port's lock; the steps are made when the operation starts, when a wait on its event
// finds the descriptor ready, and when GetOverlappedResult asks. Settling it stores the
// status and count in the OVERLAPPED and signals its event.
#include "com_map.h"
#include "kernel_objects_posix.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace win32_posix {

class Port : public KernelObject, public std::enable_shared_from_this<Port> {
public:
    explicit Port(int fd) : KernelObject(ObjectKind::Port), fd(fd) {
        state.DCBlength = sizeof(DCB);
    }
    ~Port() override { CloseDescriptor(); }

    void OnClose() override {
        std::lock_guard lock(mutex);
        for (Operation& op : ops) {
            if (op.ov != nullptr)
                Settle(op, ERROR_OPERATION_ABORTED);
        }
        CloseDescriptor();
    }

    struct Operation {
        OVERLAPPED* ov = nullptr;
        std::shared_ptr<Waitable> event;
        unsigned char* buffer = nullptr;
        DWORD size = 0;
        DWORD done = 0;
        DWORD* eventMask = nullptr;
    };

    Operation& Op(IoKind kind) { return ops[static_cast<int>(kind)]; }

    // Everything below is guarded by `mutex`.
    std::mutex mutex;
    int fd;
    bool gone = false;
    DCB state{};
    COMMTIMEOUTS timeouts{};
    DWORD eventMask = 0;
    DWORD inQueueSize = 0;
    DWORD outQueueSize = 0;
    std::array<Operation, 3> ops;

    void Settle(Operation& op, DWORD status) {
        op.ov->Internal = status;
        op.ov->InternalHigh = op.done;
        if (op.eventMask != nullptr && status != ERROR_SUCCESS)
            *op.eventMask = 0;
        if (op.event) {
            op.event->ClearWatch();
            op.event->Signal();
        }
        op = Operation{};
    }

    void MarkGone() { gone = true; }

    // Fails `op` after a system call error `err`.
    void Fail(Operation& op, int err) {
        if (err == EIO)
            MarkGone();
        Settle(op, ErrorFromErrno(err));
    }

    void Step(IoKind kind);

private:
    void CloseDescriptor() {
        if (fd < 0)
            return;
        ioctl(fd, TIOCNXCL);
        close(fd);
        fd = -1;
    }
};

namespace {

// A hung-up terminal refuses its ioctls with EIO; a live one answers them.
bool HungUp(int fd) {
    termios attributes;
    return tcgetattr(fd, &attributes) != 0 && errno == EIO;
}

bool WouldBlock(int err) {
    return err == EAGAIN || err == EWOULDBLOCK || err == EINTR;
}

} // namespace

void Port::Step(IoKind kind) {
    Operation& op = Op(kind);
    if (op.ov == nullptr || fd < 0)
        return;
    switch (kind) {
    case IoKind::Read: {
        if (op.done == op.size) {
            Settle(op, ERROR_SUCCESS);
            return;
        }
        ssize_t n = read(fd, op.buffer + op.done, op.size - op.done);
        if (n > 0) {
            op.done += static_cast<DWORD>(n);
            if (op.done == op.size)
                Settle(op, ERROR_SUCCESS);
        } else if (n == 0) {
            // A terminal without input answers EAGAIN here; 0 bytes means it hung up
            // (or has its minimum read count at 0, which then leaves the read under way).
            if (HungUp(fd)) {
                MarkGone();
                Settle(op, ERROR_DEVICE_NOT_CONNECTED);
            }
        } else if (!WouldBlock(errno)) {
            Fail(op, errno);
        }
        return;
    }
    case IoKind::Write: {
        if (op.done == op.size) {
            Settle(op, ERROR_SUCCESS);
            return;
        }
        ssize_t n = write(fd, op.buffer + op.done, op.size - op.done);
        if (n > 0) {
            op.done += static_cast<DWORD>(n);
            if (op.done == op.size)
                Settle(op, ERROR_SUCCESS);
        } else if (n < 0 && !WouldBlock(errno)) {
            Fail(op, errno);
        }
        return;
    }
    case IoKind::CommWait: {
        const bool wantInput = (eventMask & EV_RXCHAR) != 0;
        // Input already queued completes the wait at once, with one system call: a reader
        // that keeps up with a busy line never needs the poll() below.
        if (int queued = 0; wantInput && ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) {
            *op.eventMask = EV_RXCHAR;
            Settle(op, ERROR_SUCCESS);
            return;
        }
        pollfd p{fd, static_cast<short>(wantInput ? POLLIN : 0), 0};
        if (poll(&p, 1, 0) < 0)
            p.revents = 0;
        if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkGone();
            Settle(op, ERROR_DEVICE_NOT_CONNECTED);
            return;
        }
        int queued = 0;
        if (ioctl(fd, FIONREAD, &queued) != 0) {
            Fail(op, errno);
            return;
        }
        if (wantInput && queued > 0) {
            *op.eventMask = EV_RXCHAR;
            Settle(op, ERROR_SUCCESS);
        } else if ((p.revents & POLLIN) && queued == 0) {
            // Readable with nothing to read: the device is gone. Waiting on would spin.
            MarkGone();
            Settle(op, ERROR_DEVICE_NOT_CONNECTED);
        }
        return;
    }
    }
}

bool PortPollRequest(Port& port, IoKind kind, int& fd, short& events) {
    std::lock_guard lock(port.mutex);
    if (port.fd < 0 || port.Op(kind).ov == nullptr)
        return false;
    fd = port.fd;
    switch (kind) {
    case IoKind::Read:
        events = POLLIN;
        break;
    case IoKind::Write:
        events = POLLOUT;
        break;
    case IoKind::CommWait:
        events = (port.eventMask & EV_RXCHAR) ? POLLIN : 0;
        break;
    }
    return true;
}

void PortProgress(Port& port, IoKind kind) {
    std::lock_guard lock(port.mutex);
    port.Step(kind);
}

namespace {

std::shared_ptr<Port> LookupPort(HANDLE handle) {
    auto port = Lookup<Port>(handle, ObjectKind::Port);
    if (!port)
        SetLastError(ERROR_INVALID_HANDLE);
    return port;
}

// Starts an overlapped operation and makes its first step.
BOOL StartOperation(HANDLE hFile, IoKind kind, LPOVERLAPPED ov, unsigned char* buffer, DWORD size,
                    LPDWORD eventMask, LPDWORD transferred) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (ov == nullptr || (kind == IoKind::CommWait && eventMask == nullptr) ||
        (buffer == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::shared_ptr<Waitable> event;
    if (ov->hEvent != nullptr) {
        event = Lookup<Waitable>(ov->hEvent, ObjectKind::Event);
        if (!event) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
    }
    std::lock_guard lock(port->mutex);
    if (port->fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (port->gone) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    Port::Operation& op = port->Op(kind);
    if (op.ov != nullptr) {
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    if (event)
        event->Reset();
    ov->Internal = STATUS_PENDING;
    ov->InternalHigh = 0;
    op = Port::Operation{ov, event, buffer, size, 0, eventMask};
    port->Step(kind);

    if (op.ov == nullptr) {
        if (transferred != nullptr)
            *transferred = static_cast<DWORD>(ov->InternalHigh);
        if (ov->Internal == ERROR_SUCCESS)
            return TRUE;
        SetLastError(static_cast<DWORD>(ov->Internal));
        return FALSE;
    }
    if (event)
        event->SetWatch(port, kind);
    if (transferred != nullptr)
        *transferred = 0;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

bool ToSpeed(DWORD baud, speed_t& speed) {
    struct Rate {
        DWORD baud;
        speed_t speed;
    };
    static constexpr Rate rates[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Rate& rate : rates) {
        if (rate.baud == baud) {
            speed = rate.speed;
            return true;
        }
    }
    return false;
}

bool SupportedState(const DCB& dcb) {
    return dcb.fBinary == 1 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= EVENPARITY &&
           (dcb.StopBits == ONESTOPBIT || dcb.StopBits == TWOSTOPBITS) && !dcb.fOutxCtsFlow &&
           !dcb.fOutxDsrFlow && !dcb.fDsrSensitivity && !dcb.fOutX && !dcb.fInX &&
           !dcb.fErrorChar && !dcb.fNull && dcb.fDtrControl != DTR_CONTROL_HANDSHAKE &&
           (dcb.fRtsControl == RTS_CONTROL_DISABLE || dcb.fRtsControl == RTS_CONTROL_ENABLE);
}

// Sets or drops one modem line. Terminals without modem lines (pseudo-terminals) refuse
// the request, which is fine: there is no line to hold.
bool SetModemLine(int fd, int line, bool on) {
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    return errno != EIO;
}

} // namespace
} // namespace win32_posix

using namespace win32_posix;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING || dwShareMode != 0 ||
        (dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    unsigned number = ParseComName(lpFileName);
    std::string path = number != 0 ? ResolveComPort(number) : std::string();
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    int fd;
    do {
        fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        // A terminal whose other side is gone refuses to open with EIO: no such device.
        if (errno == EIO)
            SetLastError(ERROR_FILE_NOT_FOUND);
        else
            SetLastErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    if (!isatty(fd)) {
        close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // The lock keeps every other opener out, root included; TIOCEXCL also keeps out
    // programs that open the device without taking the lock (root excepted).
    int locked;
    do {
        locked = flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        int err = errno;
        close(fd);
        SetLastError(err == EWOULDBLOCK ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    if (ioctl(fd, TIOCEXCL) != 0 && errno == EIO) {
        close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    std::shared_ptr<Port> port;
    try {
        port = std::make_shared<Port>(fd);
    } catch (const std::bad_alloc&) {
        ioctl(fd, TIOCNXCL);
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return RegisterObject(std::move(port));
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    std::lock_guard lock(port->mutex);
    if (dwFlags & PURGE_TXABORT) {
        if (auto& op = port->Op(IoKind::Write); op.ov != nullptr)
            port->Settle(op, ERROR_OPERATION_ABORTED);
    }
    if (dwFlags & PURGE_RXABORT) {
        for (IoKind kind : {IoKind::Read, IoKind::CommWait}) {
            if (auto& op = port->Op(kind); op.ov != nullptr)
                port->Settle(op, ERROR_OPERATION_ABORTED);
        }
    }
    int queues = -1;
    if ((dwFlags & PURGE_TXCLEAR) && (dwFlags & PURGE_RXCLEAR))
        queues = TCIOFLUSH;
    else if (dwFlags & PURGE_TXCLEAR)
        queues = TCOFLUSH;
    else if (dwFlags & PURGE_RXCLEAR)
        queues = TCIFLUSH;
    if (queues != -1 && tcflush(port->fd, queues) != 0) {
        if (errno == EIO)
            port->MarkGone();
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    std::lock_guard lock(port->mutex);
    port->eventMask = dwEvtMask;
    // A comm-event wait under way ends at once, reporting no event.
    if (auto& op = port->Op(IoKind::CommWait); op.ov != nullptr) {
        *op.eventMask = 0;
        port->Settle(op, ERROR_SUCCESS);
    }
    return TRUE;
}

BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpEvtMask == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(port->mutex);
    *lpEvtMask = port->eventMask;
    return TRUE;
}

BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped) {
    return StartOperation(hFile, IoKind::CommWait, lpOverlapped, nullptr, 0, lpEvtMask, nullptr);
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpCommTimeouts == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(port->mutex);
    port->timeouts = *lpCommTimeouts;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpCommTimeouts == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(port->mutex);
    *lpCommTimeouts = port->timeouts;
    return TRUE;
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    speed_t speed;
    if (lpDCB == nullptr || !SupportedState(*lpDCB) || !ToSpeed(lpDCB->BaudRate, speed)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DCB& dcb = *lpDCB;
    std::lock_guard lock(port->mutex);
    const int fd = port->fd;
    termios previous;
    if (tcgetattr(fd, &previous) != 0) {
        if (errno == EIO)
            port->MarkGone();
        SetLastErrorFromErrno(errno);
        return FALSE;
    }

    termios t = previous;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR | IMAXBEL | IUCLC);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dcb.ByteSize - 5] | CREAD | CLOCAL;
    if (dcb.StopBits == TWOSTOPBITS)
        t.c_cflag |= CSTOPB;
    if (dcb.Parity != NOPARITY) {
        t.c_cflag |= PARENB;
        if (dcb.Parity == ODDPARITY)
            t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    }
    // A read returns as soon as one byte is there (the descriptor never blocks anyway).
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        if (errno == EIO)
            port->MarkGone();
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    // tcsetattr succeeds when any part was taken; a driver that cannot do the rate keeps
    // another. That is a refusal, and the old settings are put back.
    termios applied;
    if (tcgetattr(fd, &applied) != 0 || cfgetospeed(&applied) != speed) {
        tcsetattr(fd, TCSANOW, &previous);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!SetModemLine(fd, TIOCM_DTR, dcb.fDtrControl == DTR_CONTROL_ENABLE) ||
        !SetModemLine(fd, TIOCM_RTS, dcb.fRtsControl == RTS_CONTROL_ENABLE)) {
        port->MarkGone();
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    port->state = dcb;
    return TRUE;
}

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpDCB == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(port->mutex);
    *lpDCB = port->state;
    return TRUE;
}

BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    std::lock_guard lock(port->mutex);
    port->inQueueSize = dwInQueue;
    port->outQueueSize = dwOutQueue;
    return TRUE;
}

BOOL ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    std::lock_guard lock(port->mutex);
    int in = 0;
    int out = 0;
    if (ioctl(port->fd, FIONREAD, &in) != 0 || ioctl(port->fd, TIOCOUTQ, &out) != 0) {
        if (errno == EIO)
            port->MarkGone();
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (lpErrors != nullptr)
        *lpErrors = 0;
    if (lpStat != nullptr) {
        *lpStat = COMSTAT{};
        lpStat->cbInQue = static_cast<DWORD>(in);
        lpStat->cbOutQue = static_cast<DWORD>(out);
    }
    return TRUE;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    return StartOperation(hFile, IoKind::Read, lpOverlapped, static_cast<unsigned char*>(lpBuffer),
                          nNumberOfBytesToRead, nullptr, lpNumberOfBytesRead);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    // The buffer is only ever read from.
    auto* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(lpBuffer));
    return StartOperation(hFile, IoKind::Write, lpOverlapped, bytes, nNumberOfBytesToWrite, nullptr,
                          lpNumberOfBytesWritten);
}

BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    auto port = LookupPort(hFile);
    if (!port)
        return FALSE;
    if (lpOverlapped == nullptr || lpNumberOfBytesTransferred == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (;;) {
        HANDLE event = nullptr;
        int fd = -1;
        short events = 0;
        {
            std::lock_guard lock(port->mutex);
            Port::Operation* pending = nullptr;
            for (IoKind kind : {IoKind::Read, IoKind::Write, IoKind::CommWait}) {
                if (port->Op(kind).ov == lpOverlapped) {
                    port->Step(kind);
                    if (port->Op(kind).ov == lpOverlapped) {
                        pending = &port->Op(kind);
                        fd = port->fd;
                        events = kind == IoKind::Write ? POLLOUT : POLLIN;
                    }
                    break;
                }
            }
            if (pending == nullptr) {
                *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
                if (lpOverlapped->Internal == ERROR_SUCCESS)
                    return TRUE;
                SetLastError(static_cast<DWORD>(lpOverlapped->Internal));
                return FALSE;
            }
            if (!bWait) {
                *lpNumberOfBytesTransferred = pending->done;
                SetLastError(ERROR_IO_INCOMPLETE);
                return FALSE;
            }
            event = lpOverlapped->hEvent;
        }
        if (event != nullptr) {
            if (WaitForSingleObject(event, INFINITE) == WAIT_FAILED)
                return FALSE;
        } else {
            pollfd p{fd, events, 0};
            poll(&p, 1, -1);
        }
    }
}
