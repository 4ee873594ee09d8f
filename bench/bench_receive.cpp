// The receive path on a pseudo-terminal, each figure beside a plain poll()/read() loop on
// the same pseudo-terminal (the floor the kernel sets on this machine):
//   - byte hand-over: from a byte written on the device side to its OnReceiveByte call,
//     one byte at a time with the reader back in its wait each time (goal: p99 < 2 ms);
//   - receive throughput: bytes per second from the device side through CXSerial into the
//     receiver's OnReceiveByte, against the plain loop handing each byte to the same
//     OnReceiveByte (goal: at least 0.8 of the plain loop's).
// Usage: bench_receive [--bytes N] [--megabytes N] [--rounds N]
#include "RZSerial.h"
#include "bench_report.h"
#include "pty_port.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using bench::Clock;

// Where a byte sink notes arrivals: the count, and when timing single bytes, the time.
struct Arrivals {
    std::atomic<long long> last{0};
    std::atomic<long long> count{0};
    std::atomic<bool> timed{true};
    // Called by one thread only (the reader), so the count needs no read-modify-write.
    void Record(long long n = 1) {
        if (timed.load(std::memory_order_relaxed))
            last.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
        count.store(count.load(std::memory_order_relaxed) + n, std::memory_order_release);
    }
    void Reset(bool timing) {
        last = 0;
        count = 0;
        timed = timing;
    }
};

// The product's receiver, with every byte noted on its way in.
class TimedReceiver : public RZSerial {
public:
    ~TimedReceiver() { Close(); }
    void OnReceiveByte(unsigned char byte) override {
        RZSerial::OnReceiveByte(byte);
        arrivals.Record();
    }
    Arrivals arrivals;
};

// The channel alone, with a sink that only counts: what the channel costs without the
// receiver's per-byte work (a detail for finding where time goes).
class CountingSerial : public CXSerial {
public:
    ~CountingSerial() override { Close(); }
    void OnReceiveByte(unsigned char) override { arrivals.Record(); }
    Arrivals arrivals;
};

// The reference: one thread in poll() on the slave, reading what is there and, like the
// channel, handing each byte to a receiver's OnReceiveByte (an unopened RZSerial), unless
// `sink` is off (then it only counts, a detail).
class PlainReader {
public:
    explicit PlainReader(const std::string& slavePath, bool sink = true, std::size_t chunk = 4096)
        : sink_(sink), chunk_(chunk) {
        fd_ = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
        if (fd_ < 0 || pipe2(stop_, O_CLOEXEC) != 0)
            std::abort();
        thread_ = std::thread([this] {
            unsigned char buffer[4096];
            for (;;) {
                pollfd fds[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
                poll(fds, 2, -1);
                if (fds[1].revents)
                    return;
                const ssize_t n = read(fd_, buffer, chunk_);
                if (n <= 0)
                    continue;
                if (sink_) {
                    for (ssize_t i = 0; i < n; ++i) {
                        receiver_.OnReceiveByte(buffer[i]);
                        arrivals.Record();
                    }
                } else {
                    arrivals.Record(n);
                }
            }
        });
    }
    ~PlainReader() {
        [[maybe_unused]] ssize_t n = write(stop_[1], "x", 1);
        thread_.join();
        close(stop_[0]);
        close(stop_[1]);
        close(fd_);
    }
    Arrivals arrivals;

private:
    bool sink_;
    std::size_t chunk_;
    RZSerial receiver_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

// Microseconds from each single byte written to its arrival.
std::vector<double> HandOver(testsupport::PtyPort& port, Arrivals& arrivals, unsigned bytes) {
    std::vector<double> latencies;
    std::mt19937 random(7);
    for (unsigned i = 0; i < bytes; ++i) {
        const long long before = arrivals.count.load(std::memory_order_acquire);
        const unsigned char byte = static_cast<unsigned char>(i);
        const auto sent = Clock::now();
        if (!port.MasterWrite(&byte, 1))
            return {};
        const auto deadline = sent + std::chrono::seconds(2);
        while (arrivals.count.load(std::memory_order_acquire) == before) {
            if (Clock::now() > deadline)
                return {};
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        const Clock::time_point arrived{Clock::duration(arrivals.last.load())};
        latencies.push_back(std::chrono::duration<double, std::micro>(arrived - sent).count());
        // A pause of 1 to 3 ms: the reader is back in its wait for the next byte.
        std::this_thread::sleep_for(std::chrono::microseconds(1000 + random() % 2000));
    }
    return latencies;
}

// Bytes per second from the device side to the sink, for `total` bytes.
// The end is seen by polling the count every 100 us; no clock is read per byte.
double Throughput(testsupport::PtyPort& port, Arrivals& arrivals, long long total) {
    arrivals.Reset(false);
    std::vector<unsigned char> block(4096);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<unsigned char>(i * 13);
    const auto start = Clock::now();
    std::thread device([&] {
        for (long long sent = 0; sent < total;) {
            const std::size_t n =
                static_cast<std::size_t>(std::min<long long>(total - sent, block.size()));
            if (!port.MasterWrite(block.data(), n, 10000))
                return;
            sent += static_cast<long long>(n);
        }
    });
    const auto deadline = start + std::chrono::seconds(120);
    while (arrivals.count.load(std::memory_order_acquire) < total && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    const auto end = Clock::now();
    device.join();
    if (arrivals.count.load() < total)
        return 0;
    return static_cast<double>(total) / std::chrono::duration<double>(end - start).count();
}

} // namespace

int main(int argc, char** argv) {
    unsigned bytes = 1000;
    long long megabytes = 16;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--bytes") == 0)
            bytes = static_cast<unsigned>(std::max(10, std::atoi(argv[i + 1])));
        else if (std::strcmp(argv[i], "--megabytes") == 0)
            megabytes = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[i + 1]));
    }

    testsupport::DosDevices devices;
    testsupport::PtyPort device(devices, 1);

    // Byte hand-over, the product's receiver first, then the plain loop on the same line.
    std::vector<double> ours, plain;
    {
        TimedReceiver receiver;
        if (receiver.Open(1, 115200, 0) != 1) {
            std::fprintf(stderr, "bench_receive: cannot open the pseudo-terminal as COM1\n");
            return 1;
        }
        ours = HandOver(device, receiver.arrivals, bytes);
    }
    {
        PlainReader reader(device.SlavePath());
        plain = HandOver(device, reader.arrivals, bytes);
    }
    if (ours.empty() || plain.empty()) {
        std::fprintf(stderr, "bench_receive: a byte never arrived\n");
        return 1;
    }
    const double p99 = bench::Percentile(ours, 0.99);
    const double p99Plain = bench::Percentile(plain, 0.99);
    std::printf("hand-over (%u bytes): median %.1f us, p99 %.1f us, max %.1f us; "
                "plain loop: median %.1f us, p99 %.1f us, max %.1f us\n",
                bytes, bench::Median(ours), p99, *std::max_element(ours.begin(), ours.end()),
                bench::Median(plain), p99Plain, *std::max_element(plain.begin(), plain.end()));
    bench::Report("byte hand-over p99 (write -> OnReceiveByte)", bench::Format("%.3f ms", p99 / 1e3),
                  bench::Format("%.3f ms", p99Plain / 1e3), bench::Format("%.2f", p99 / p99Plain),
                  "< 2 ms", p99 < 2000);

    // Throughput, alternating the two readers on the same line; the median of each.
    const long long total = megabytes * 1024 * 1024;
    std::vector<double> oursRate, plainRate, channelRate, plainCountRate;
    for (int round = 0; round < rounds; ++round) {
        {
            TimedReceiver receiver;
            if (receiver.Open(1, 115200, 0) != 1)
                return 1;
            oursRate.push_back(Throughput(device, receiver.arrivals, total));
        }
        {
            PlainReader reader(device.SlavePath());
            plainRate.push_back(Throughput(device, reader.arrivals, total));
        }
        {
            CountingSerial channel;
            if (channel.Open(1, 115200, 0) != 1)
                return 1;
            channelRate.push_back(Throughput(device, channel.arrivals, total));
        }
        {
            PlainReader reader(device.SlavePath(), false);
            plainCountRate.push_back(Throughput(device, reader.arrivals, total));
        }
        std::printf("throughput round %d (%lld MiB), both into RZSerial::OnReceiveByte: "
                    "CXSerial %.1f MB/s, plain loop %.1f MB/s; with a counting sink instead: "
                    "CXSerial %.1f MB/s, plain loop %.1f MB/s\n",
                    round + 1, megabytes, oursRate.back() / 1e6, plainRate.back() / 1e6,
                    channelRate.back() / 1e6, plainCountRate.back() / 1e6);
    }
    const double rate = bench::Median(oursRate);
    const double plainMedian = bench::Median(plainRate);
    const double ratio = plainMedian > 0 ? rate / plainMedian : 0;
    bench::Report("receive throughput (CXSerial -> OnReceiveByte)", bench::Format("%.1f MB/s", rate / 1e6),
                  bench::Format("%.1f MB/s", plainMedian / 1e6), bench::Format("%.2f", ratio),
                  ">= 0.8", ratio >= 0.8);
    return 0;
}
