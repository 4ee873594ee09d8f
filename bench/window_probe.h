// What the two window programs of the benchmarks (tool_window, bare_window) report, measured
// the same way in both, so that they can stand side by side:
//   shown <ns>          steady-clock time (CLOCK_MONOTONIC, comparable across processes) once
//                       the window has been shown and painted for the first time
//   idle_cpu_ns <ns>    process CPU time over the idle span (--idle-ms), which begins a
//                       second after the window was shown (and, in the tool, its port opened)
// Options: --exit-when-shown, --idle-ms N (then the program ends itself).
#pragma once

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>

namespace bench {

struct ProbeOptions {
    bool exitWhenShown = false;
    int idleMs = 0;
};

inline ProbeOptions ParseProbeOptions(int argc, char** argv) {
    ProbeOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exit-when-shown") == 0)
            options.exitWhenShown = true;
        else if (std::strcmp(argv[i], "--idle-ms") == 0 && i + 1 < argc)
            options.idleMs = std::atoi(argv[++i]);
    }
    return options;
}

inline long long ProcessCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Watches a top-level window for its first paint; once that paint is done, reports "shown"
// and calls `shown` (from the event loop).
class FirstPaint : public QObject {
public:
    FirstPaint(QWidget* window, std::function<void()> shown) : shown_(std::move(shown)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!done_ && event->type() == QEvent::Paint) {
            done_ = true;
            watched->removeEventFilter(this);
            // After the paint that is under way has finished.
            QTimer::singleShot(0, [this] {
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("shown %lld\n", static_cast<long long>(
                                                std::chrono::nanoseconds(now).count()));
                std::fflush(stdout);
                shown_();
            });
        }
        return false;
    }

private:
    std::function<void()> shown_;
    bool done_ = false;
};

// Lets what was just done settle (repaints, for one) for a second, then idles for `ms`,
// reports the CPU time spent in that span and calls `done`.
inline void IdleThen(int ms, std::function<void()> done) {
    QTimer::singleShot(1000, [ms, done = std::move(done)] {
        const long long start = ProcessCpuNs();
        QTimer::singleShot(ms, [start, done] {
            std::printf("idle_cpu_ns %lld\n", ProcessCpuNs() - start);
            std::fflush(stdout);
            done();
        });
    });
}

} // namespace bench
