// A channel for tests: records every received byte and opens its fields to the test.
#pragma once

#include "CXSerial.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

class TestSerial : public CXSerial {
public:
    using CXSerial::PortBaud;
    using CXSerial::PortHandle;
    using CXSerial::PortNumber;
    using CXSerial::PortParity;
    using CXSerial::ReadEnableEvent;
    using CXSerial::ReaderThread;
    using CXSerial::ReadOverlapped;
    using CXSerial::StopEvent;
    using CXSerial::WriteOverlapped;

    ~TestSerial() override { Close(); }

    void OnReceiveByte(unsigned char byte) override {
        std::lock_guard lock(mutex_);
        received_.push_back(byte);
        arrived_.notify_all();
    }

    // Waits until at least `count` bytes came in total; false after `timeoutMs`.
    bool WaitForBytes(std::size_t count, int timeoutMs = 5000) {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return received_.size() >= count; });
    }

    std::vector<unsigned char> Received() {
        std::lock_guard lock(mutex_);
        return received_;
    }

    // The four events and the thread: all zero, or all present.
    bool AllHandlesZero() const {
        return PortHandle == nullptr && ReaderThread == nullptr && StopEvent == nullptr &&
               ReadEnableEvent == nullptr && ReadOverlapped.hEvent == nullptr &&
               WriteOverlapped.hEvent == nullptr;
    }
    bool AllHandlesPresent() const {
        return PortHandle != nullptr && ReaderThread != nullptr && StopEvent != nullptr &&
               ReadEnableEvent != nullptr && ReadOverlapped.hEvent != nullptr &&
               WriteOverlapped.hEvent != nullptr;
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<unsigned char> received_;
};
