// The objects behind kernel handles on POSIX. Internal to platform_win32.
#pragma once

#include "win32_kernel.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace win32_posix {

enum class ObjectKind { Event, Thread, Port };

class KernelObject {
public:
    explicit KernelObject(ObjectKind kind) : kind_(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    ObjectKind Kind() const { return kind_; }
    // Called once by CloseHandle, after the handle stopped naming the object. The object
    // itself lives on while a call still uses it.
    virtual void OnClose() {}

private:
    const ObjectKind kind_;
};

// Handle table. A handle is the address of its object; the table keeps the object alive
// and lets every call reject handles that name nothing.
HANDLE RegisterObject(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupObject(HANDLE handle);
std::shared_ptr<KernelObject> UnregisterObject(HANDLE handle);

template <class T> std::shared_ptr<T> Lookup(HANDLE handle, ObjectKind kind) {
    auto object = LookupObject(handle);
    if (!object || object->Kind() != kind)
        return nullptr;
    return std::static_pointer_cast<T>(object);
}

class Port;
enum class IoKind { Read, Write, CommWait };

// Something a wait can be satisfied by: an event, or a thread (signalled when it ends).
// The signalled state lives in `signalled_` under `mutex_` (this is also what orders
// memory between signaller and waiter). An eventfd mirrors it so that poll() can sleep
// on several objects at once, but only while some waiter is armed on it: signalling and
// resetting an object nobody sleeps on costs no system call (the reader's per-batch
// events are set and reset without anybody waiting, most of the time).
class Waitable : public KernelObject {
public:
    Waitable(ObjectKind kind, bool manualReset, bool initialState);
    ~Waitable() override;

    bool Valid() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Signal();
    void Reset();
    // True when signalled; an auto-reset object is reset by a successful call.
    bool TryConsume();
    // Before a poll() on Fd(): false (and nothing armed) when the object is signalled
    // already; otherwise the eventfd mirrors every signal until Disarm().
    bool Arm();
    void Disarm();

    // The overlapped operation whose completion this event reports. A wait on the event
    // also sleeps on the port's descriptor and moves the operation on when it is ready.
    void SetWatch(const std::shared_ptr<Port>& port, IoKind kind);
    void ClearWatch();
    bool GetWatch(std::shared_ptr<Port>& port, IoKind& kind);

private:
    void SetFd();
    void ClearFd();
    std::mutex mutex_;
    int fd_ = -1;
    bool manualReset_;
    bool signalled_ = false;
    // Waiters between Arm() and Disarm(), and whether the eventfd counter is set. The
    // counter is only ever set while `signalled_` is.
    unsigned armed_ = 0;
    bool fdSet_ = false;
    std::weak_ptr<Port> watchPort_;
    IoKind watchKind_ = IoKind::Read;
};

// The descriptor and poll() events that move the operation of `kind` on `port`, while it
// is under way. False when no such operation is under way.
bool PortPollRequest(Port& port, IoKind kind, int& fd, short& events);
// Makes what progress the operation of `kind` can make without blocking.
void PortProgress(Port& port, IoKind kind);

// The Win32 error for a system call error, and the same stored as the last error.
DWORD ErrorFromErrno(int err);
void SetLastErrorFromErrno(int err);

} // namespace win32_posix
