// Events, waits, threads, critical sections and time on POSIX.
#include "kernel_objects_posix.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <limits>
#include <mutex>
#include <new>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace win32_posix {

Waitable::Waitable(ObjectKind kind, bool manualReset, bool initialState)
    : KernelObject(kind), manualReset_(manualReset) {
    fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd_ >= 0 && initialState)
        Signal();
}

Waitable::~Waitable() {
    if (fd_ >= 0)
        close(fd_);
}

void Waitable::Signal() {
    std::lock_guard lock(mutex_);
    if (signalled_)
        return;
    signalled_ = true;
    if (armed_ > 0)
        SetFd();
}

void Waitable::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
    ClearFd();
}

bool Waitable::TryConsume() {
    std::lock_guard lock(mutex_);
    if (!signalled_)
        return false;
    if (!manualReset_) {
        signalled_ = false;
        ClearFd();
    }
    return true;
}

bool Waitable::Arm() {
    std::lock_guard lock(mutex_);
    if (signalled_)
        return false;
    ++armed_;
    return true;
}

void Waitable::Disarm() {
    std::lock_guard lock(mutex_);
    --armed_;
}

// Both under `mutex_`.
void Waitable::SetFd() {
    if (fdSet_)
        return;
    fdSet_ = true;
    std::uint64_t one = 1;
    // The counter stays far below its limit (it only ever holds 0 or 1).
    [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
}

void Waitable::ClearFd() {
    if (!fdSet_)
        return;
    fdSet_ = false;
    std::uint64_t value;
    [[maybe_unused]] ssize_t n = read(fd_, &value, sizeof value);
}

void Waitable::SetWatch(const std::shared_ptr<Port>& port, IoKind kind) {
    std::lock_guard lock(mutex_);
    watchPort_ = port;
    watchKind_ = kind;
}

void Waitable::ClearWatch() {
    std::lock_guard lock(mutex_);
    watchPort_.reset();
}

bool Waitable::GetWatch(std::shared_ptr<Port>& port, IoKind& kind) {
    std::lock_guard lock(mutex_);
    port = watchPort_.lock();
    kind = watchKind_;
    return port != nullptr;
}

namespace {

class ThreadObject : public Waitable {
public:
    ThreadObject() : Waitable(ObjectKind::Thread, true, false) {}
    LPTHREAD_START_ROUTINE start = nullptr;
    LPVOID parameter = nullptr;
    std::atomic<DWORD> exitCode{STILL_ACTIVE};
};

std::shared_ptr<Waitable> LookupWaitable(HANDLE handle) {
    auto object = LookupObject(handle);
    if (!object || (object->Kind() != ObjectKind::Event && object->Kind() != ObjectKind::Thread))
        return nullptr;
    return std::static_pointer_cast<Waitable>(object);
}

void* ThreadTrampoline(void* arg) {
    // The thread owns one reference to its object until it has signalled its end.
    std::unique_ptr<std::shared_ptr<ThreadObject>> holder(
        static_cast<std::shared_ptr<ThreadObject>*>(arg));
    ThreadObject& thread = **holder;
    DWORD code = thread.start(thread.parameter);
    thread.exitCode.store(code);
    thread.Signal();
    return nullptr;
}

using Clock = std::chrono::steady_clock;

} // namespace
} // namespace win32_posix

using namespace win32_posix;

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    if (lpName != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Waitable> event;
    try {
        event = std::make_shared<Waitable>(ObjectKind::Event, bManualReset != FALSE,
                                           bInitialState != FALSE);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!event->Valid()) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    return RegisterObject(std::move(event));
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = Lookup<Waitable>(hEvent, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Signal();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = Lookup<Waitable>(hEvent, ObjectKind::Event);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr || bWaitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::array<std::shared_ptr<Waitable>, MAXIMUM_WAIT_OBJECTS> objects;
    for (DWORD i = 0; i < nCount; ++i) {
        objects[i] = LookupWaitable(lpHandles[i]);
        if (!objects[i]) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }

    const bool forever = dwMilliseconds == INFINITE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);

    struct Watch {
        std::shared_ptr<Port> port;
        IoKind kind;
    };
    std::array<pollfd, 2 * MAXIMUM_WAIT_OBJECTS> fds;
    std::array<Watch, 2 * MAXIMUM_WAIT_OBJECTS> watches;

    for (;;) {
        for (DWORD i = 0; i < nCount; ++i) {
            if (objects[i]->TryConsume())
                return WAIT_OBJECT_0 + i;
        }

        int timeout = -1;
        if (!forever) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0)
                left = std::chrono::milliseconds(0);
            timeout = static_cast<int>(
                std::min<long long>(left.count(), std::numeric_limits<int>::max()));
        }

        nfds_t count = 0;
        for (DWORD i = 0; i < nCount; ++i) {
            fds[count] = {objects[i]->Fd(), POLLIN, 0};
            watches[count].port.reset();
            ++count;
            std::shared_ptr<Port> port;
            IoKind kind;
            int portFd;
            short events;
            if (objects[i]->GetWatch(port, kind) && PortPollRequest(*port, kind, portFd, events)) {
                fds[count] = {portFd, events, 0};
                watches[count] = {std::move(port), kind};
                ++count;
            }
        }

        // Nothing to move on and no time to wait: the checks above were the answer.
        if (timeout == 0 && count == nCount)
            return WAIT_TIMEOUT;

        // From here each object's eventfd reflects its signals; one signalled since the
        // checks above is taken by the next round instead of a poll().
        DWORD armed = 0;
        while (armed < nCount && objects[armed]->Arm())
            ++armed;
        if (armed < nCount) {
            for (DWORD i = 0; i < armed; ++i)
                objects[i]->Disarm();
            for (nfds_t k = 0; k < count; ++k)
                watches[k].port.reset();
            continue;
        }
        int ready = poll(fds.data(), count, timeout);
        const int pollError = errno;
        for (DWORD i = 0; i < nCount; ++i)
            objects[i]->Disarm();
        if (ready < 0 && pollError != EINTR) {
            SetLastErrorFromErrno(pollError);
            return WAIT_FAILED;
        }
        for (nfds_t k = 0; ready > 0 && k < count; ++k) {
            if (fds[k].revents != 0 && watches[k].port)
                PortProgress(*watches[k].port, watches[k].kind);
        }
        for (nfds_t k = 0; k < count; ++k)
            watches[k].port.reset();

        if (!forever && ready == 0 && Clock::now() >= deadline) {
            for (DWORD i = 0; i < nCount; ++i) {
                if (objects[i]->TryConsume())
                    return WAIT_OBJECT_0 + i;
            }
            return WAIT_TIMEOUT;
        }
    }
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr || dwCreationFlags != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<ThreadObject> thread;
    std::shared_ptr<ThreadObject>* holder = nullptr;
    try {
        thread = std::make_shared<ThreadObject>();
        holder = new std::shared_ptr<ThreadObject>(thread);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!thread->Valid()) {
        delete holder;
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    thread->start = lpStartAddress;
    thread->parameter = lpParameter;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (dwStackSize != 0)
        pthread_attr_setstacksize(&attributes, std::max<SIZE_T>(dwStackSize, PTHREAD_STACK_MIN));
    pthread_t id;
    int err = pthread_create(&id, &attributes, ThreadTrampoline, holder);
    pthread_attr_destroy(&attributes);
    if (err != 0) {
        delete holder;
        SetLastError(err == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ERROR_GEN_FAILURE);
        return nullptr;
    }
    static std::atomic<DWORD> nextThreadId{1};
    if (lpThreadId != nullptr)
        *lpThreadId = nextThreadId.fetch_add(1);
    return RegisterObject(std::move(thread));
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    auto object = LookupObject(hThread);
    if (!object || object->Kind() != ObjectKind::Thread || lpExitCode == nullptr) {
        SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto& thread = static_cast<ThreadObject&>(*object);
    // Until its handle is signalled the thread counts as running, so that STILL_ACTIVE and
    // an unsignalled handle always agree. (Thread objects are manual-reset: checking does
    // not consume the signal.)
    *lpExitCode = thread.TryConsume() ? thread.exitCode.load() : STILL_ACTIVE;
    return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

DWORD GetTickCount() {
    auto since =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<DWORD>(since.count());
}

namespace {

using CriticalSectionLock = std::recursive_mutex;
static_assert(sizeof(CriticalSectionLock) <= sizeof(CRITICAL_SECTION::Opaque));
static_assert(alignof(CriticalSectionLock) <= alignof(CRITICAL_SECTION));

CriticalSectionLock& LockOf(LPCRITICAL_SECTION section) {
    return *std::launder(reinterpret_cast<CriticalSectionLock*>(section->Opaque));
}

} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    new (lpCriticalSection->Opaque) CriticalSectionLock();
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    LockOf(lpCriticalSection).lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    LockOf(lpCriticalSection).unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    LockOf(lpCriticalSection).~CriticalSectionLock();
}
