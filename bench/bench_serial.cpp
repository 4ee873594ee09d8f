// Serial channel benchmarks on a pseudo-terminal:
//   1. CPU time the process spends while a channel sits open on an idle port.
//   2. Latency from a byte written on the device side to its OnReceiveByte call, beside the
//      same measured for a bare poll()/read() loop on another pseudo-terminal (the floor
//      that the kernel sets on this machine).
// Usage: bench_serial [--idle-seconds N] [--bytes N]
#include "CXSerial.h"
#include "pty_port.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// What a byte sink records: when the last byte came, and how many came.
struct Arrivals {
    std::atomic<long long> last{0};
    std::atomic<unsigned> count{0};
    void Record() {
        last.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        count.fetch_add(1, std::memory_order_release);
    }
};

class TimestampingSerial : public CXSerial {
public:
    ~TimestampingSerial() override { Close(); }
    void OnReceiveByte(unsigned char) override { arrivals.Record(); }
    Arrivals arrivals;
};

// The floor: a thread in poll() on the slave, reading with read().
class BareReader {
public:
    explicit BareReader(const std::string& slavePath) {
        fd_ = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t;
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        if (pipe(stop_) != 0)
            std::abort();
        thread_ = std::thread([this] {
            unsigned char buffer[1024];
            for (;;) {
                pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
                poll(fds, 2, -1);
                if (fds[1].revents)
                    return;
                ssize_t n = read(fd_, buffer, sizeof buffer);
                for (ssize_t i = 0; i < n; ++i)
                    arrivals.Record();
            }
        });
    }
    ~BareReader() {
        [[maybe_unused]] ssize_t n = write(stop_[1], "x", 1);
        thread_.join();
        close(stop_[0]);
        close(stop_[1]);
        close(fd_);
    }
    Arrivals arrivals;

private:
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

double ProcessCpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    std::size_t index =
        static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

} // namespace

int main(int argc, char** argv) {
    int idleSeconds = 10;
    unsigned byteCount = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--bytes") == 0)
            byteCount = static_cast<unsigned>(std::max(1, std::atoi(argv[i + 1])));
    }

    testsupport::DosDevices devices;
    testsupport::PtyPort device(devices, 1);
    TimestampingSerial serial;
    if (serial.Open(1, 115200, 0) != 1) {
        std::fprintf(stderr, "bench_serial: cannot open the pseudo-terminal as COM1\n");
        return 1;
    }

    // 1. Idle CPU.
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();
    std::printf("serial idle: %.3f ms CPU over %.1f s with the port open (%.4f %% of one core)\n",
                cpu * 1e3, wall, 100.0 * cpu / wall);

    // 2. Byte hand-over latency: one byte at a time, the reader back in its wait each time.
    auto measure = [&](testsupport::PtyPort& port, Arrivals& arrivals, const char* what) {
        std::vector<double> latencies;
        latencies.reserve(byteCount);
        for (unsigned i = 0; i < byteCount; ++i) {
            const unsigned before = arrivals.count.load(std::memory_order_acquire);
            const unsigned char byte = static_cast<unsigned char>(i);
            const auto sent = Clock::now();
            if (!port.MasterWrite(&byte, 1)) {
                std::fprintf(stderr, "bench_serial: write to the device side failed\n");
                return false;
            }
            const auto deadline = sent + std::chrono::seconds(2);
            while (arrivals.count.load(std::memory_order_acquire) == before) {
                if (Clock::now() > deadline) {
                    std::fprintf(stderr, "bench_serial: byte %u never arrived\n", i);
                    return false;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            const Clock::time_point arrived{
                Clock::duration(arrivals.last.load(std::memory_order_relaxed))};
            latencies.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::printf("%s (%u bytes): median %.1f us, p99 %.1f us, max %.1f us\n", what, byteCount,
                    Percentile(latencies, 0.5), Percentile(latencies, 0.99),
                    *std::max_element(latencies.begin(), latencies.end()));
        return true;
    };
    if (!measure(device, serial.arrivals, "serial latency, device write -> OnReceiveByte"))
        return 1;
    serial.Close();
    testsupport::PtyPort bareDevice(devices, 2);
    BareReader bare(bareDevice.SlavePath());
    if (!measure(bareDevice, bare.arrivals, "floor, device write -> bare poll()/read()"))
        return 1;
    return 0;
}
