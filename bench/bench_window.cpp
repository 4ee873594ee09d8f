// The window's figures, each beside its reference in the same run (offscreen):
//   - start-up: process start to the window shown and painted, with all 255 port probes,
//     against a bare Qt window (tool_window and bare_window, alternately; medians);
//   - idle CPU: the tool with a port open on a pseudo-terminal against the bare window with
//     a 100 ms timer, both idling side by side for --idle-seconds;
//   - peak RSS of those two processes;
//   - answer delivery: from an answer's last byte written on the device side to the
//     window's handling of it (its Dispatch passing the message to OnFrameReceived), over
//     --trials answers, the real window and its own 100 ms timer in this process;
//   - close: a click on the close button of an open port until the closed state shows.
// Usage: bench_window [--idle-seconds N] [--trials N] [--starts N]
#include "Unit1.h"
#include "bench_report.h"
#include "frames.h"
#include "pty_port.h"
#include "vcl.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using bench::Clock;

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

std::filesystem::path Sibling(const char* name) {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / name;
}

// A program of the benchmark run as a child; its report lines are read when it ends.
class Child {
public:
    Child(const std::filesystem::path& program, std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> all{program.string()};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        started = NowNs();
        const int err = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (err != 0) {
            close(out[0]);
            throw std::runtime_error("cannot start " + program.string());
        }
        out_ = out[0];
    }

    // Waits for the end; false when the program failed.
    bool Finish() {
        char buffer[4096];
        ssize_t n;
        while ((n = read(out_, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                output.append(buffer, static_cast<std::size_t>(n));
        close(out_);
        int status = 0;
        rusage usage{};
        while (wait4(pid_, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        peakRssKiB = usage.ru_maxrss;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    long long Value(const std::string& key) const {
        const std::size_t at = output.find(key + " ");
        return at == std::string::npos ? -1 : std::atoll(output.c_str() + at + key.size() + 1);
    }

    long long started = 0;
    long peakRssKiB = 0;
    std::string output;

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// The real window, with the moment each answer reaches its handling noted.
class TimedForm : public TForm1 {
public:
    using TForm1::TForm1;
    void Dispatch(void* Message) override {
        const auto* message = static_cast<TMessage*>(Message);
        if (message && message->Msg != 0 && message->Msg == RecvMsgId) {
            delivered = NowNs();
            ++deliveries;
        }
        TForm1::Dispatch(Message);
    }
    long long delivered = 0;
    int deliveries = 0;
};

std::string Ms(double ms) { return bench::Format("%.1f ms", ms); }

} // namespace

int main(int argc, char** argv) {
    int idleSeconds = 20;
    int trials = 200;
    int starts = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--trials") == 0)
            trials = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--starts") == 0)
            starts = std::max(1, std::atoi(argv[i + 1]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // The ports: COM1 on a pseudo-terminal, nothing of this machine's (every one of the 255
    // probes still runs).
    testsupport::DosDevices devices;
    testsupport::PtyPort device(devices, 1);
    const auto tool = Sibling("tool_window");
    const auto bare = Sibling("bare_window");

    // Start-up, alternately, so that both see the same machine.
    std::vector<double> toolStart, bareStart;
    long toolStartRssKiB = 0, bareStartRssKiB = 0;
    for (int i = 0; i < starts; ++i) {
        for (const auto* program : {&tool, &bare}) {
            Child child(*program, {"--exit-when-shown"});
            if (!child.Finish() || child.Value("shown") < 0) {
                std::fprintf(stderr, "bench_window: %s failed\n%s", program->c_str(),
                             child.output.c_str());
                return 1;
            }
            const double ms = static_cast<double>(child.Value("shown") - child.started) / 1e6;
            (program == &tool ? toolStart : bareStart).push_back(ms);
            long& rss = program == &tool ? toolStartRssKiB : bareStartRssKiB;
            rss = std::max(rss, child.peakRssKiB);
        }
    }
    // A detail: the bare window with one line of text, for what text alone costs.
    std::vector<double> textStart;
    long textRssKiB = 0;
    for (int i = 0; i < starts; ++i) {
        Child child(bare, {"--exit-when-shown", "--with-text"});
        if (child.Finish() && child.Value("shown") >= 0)
            textStart.push_back(static_cast<double>(child.Value("shown") - child.started) / 1e6);
        textRssKiB = std::max(textRssKiB, child.peakRssKiB);
    }
    const double startTool = bench::Median(toolStart);
    const double startBare = bench::Median(bareStart);
    std::printf("start-up (%d starts each): tool median %.1f ms (min %.1f, max %.1f), bare window "
                "median %.1f ms (min %.1f, max %.1f)\n",
                starts, startTool, *std::min_element(toolStart.begin(), toolStart.end()),
                *std::max_element(toolStart.begin(), toolStart.end()), startBare,
                *std::min_element(bareStart.begin(), bareStart.end()),
                *std::max_element(bareStart.begin(), bareStart.end()));
    std::printf("detail: peak RSS up to the window shown: tool %.1f MiB, bare window %.1f MiB, "
                "bare window with one line of Latin and Chinese text %.1f MiB (start-up median "
                "%.1f ms)\n",
                static_cast<double>(toolStartRssKiB) / 1024,
                static_cast<double>(bareStartRssKiB) / 1024, static_cast<double>(textRssKiB) / 1024,
                bench::Median(textStart));
    bench::Report("start-up to window shown (255 probes)", Ms(startTool), Ms(startBare),
                  bench::Format("%.2f", startTool / startBare), "<= 1.3",
                  startTool / startBare <= 1.3);

    // Idle CPU and peak memory: both programs idle side by side.
    const std::string idleMs = std::to_string(idleSeconds * 1000);
    Child toolIdle(tool, {"--open-port", "--idle-ms", idleMs});
    Child bareIdle(bare, {"--idle-ms", idleMs});
    const bool toolOk = toolIdle.Finish();
    const bool bareOk = bareIdle.Finish();
    if (!toolOk || !bareOk || toolIdle.Value("idle_cpu_ns") < 0 ||
        bareIdle.Value("idle_cpu_ns") < 0) {
        std::fprintf(stderr, "bench_window: an idle run failed\n%s%s", toolIdle.output.c_str(),
                     bareIdle.output.c_str());
        return 1;
    }
    const double cpuTool = static_cast<double>(toolIdle.Value("idle_cpu_ns")) / 1e6;
    const double cpuBare = static_cast<double>(bareIdle.Value("idle_cpu_ns")) / 1e6;
    std::printf("idle %d s: tool with COM1 open %.1f ms CPU (%.3f %% of a core), bare window "
                "%.1f ms CPU\n",
                idleSeconds, cpuTool, cpuTool / (idleSeconds * 10.0), cpuBare);
    bench::Report("idle CPU, port open, " + std::to_string(idleSeconds) + " s", Ms(cpuTool),
                  Ms(cpuBare), bench::Format("%.2f", cpuTool / cpuBare), "<= 1.2",
                  cpuTool / cpuBare <= 1.2);
    const double rssTool = static_cast<double>(toolIdle.peakRssKiB) / 1024;
    const double rssBare = static_cast<double>(bareIdle.peakRssKiB) / 1024;
    bench::Report("peak RSS", bench::Format("%.1f MiB", rssTool), bench::Format("%.1f MiB", rssBare),
                  bench::Format("%.2f", rssTool / rssBare), "<= 1.3", rssTool / rssBare <= 1.3);

    // In this process: the real window, on COM1.
    static int qtArgc = 1;
    static char qtName[] = "bench_window";
    static char* qtArgv[] = {qtName, nullptr};
    QApplication app(qtArgc, qtArgv);
    Application->Initialize();
    TimedForm* form = nullptr;
    Application->CreateForm(classid<TimedForm>, &form);
    Form1 = form;
    form->Show();
    auto* openButton = qobject_cast<QAbstractButton*>(form->suiButton_OpenPort->Widget());
    auto click = [&] { openButton ? openButton->click() : form->suiButton_OpenPortClick(nullptr); };
    click();
    if (!form->Serial->IsOpen()) {
        std::fprintf(stderr, "bench_window: the window did not open COM1\n");
        return 1;
    }

    // Answer delivery. Each answer starts at a random phase of the timer.
    const Frame answer = BuildWriteFrame({1, 15, 6, 2, 3});
    std::mt19937 random(11);
    std::vector<double> delivery;
    for (int trial = 0; trial < trials; ++trial) {
        QTest::qWait(static_cast<int>(random() % 100));
        const int before = form->deliveries;
        // The answer's bytes are written at once; the last one is written when this returns.
        if (!device.MasterWrite(answer.data(), answer.size()))
            return 1;
        const long long lastByte = NowNs();
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (form->deliveries == before && Clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (form->deliveries == before) {
            std::fprintf(stderr, "bench_window: answer %d was never delivered\n", trial);
            return 1;
        }
        delivery.push_back(static_cast<double>(form->delivered - lastByte) / 1e6);
    }
    const double first = *std::min_element(delivery.begin(), delivery.end());
    const double last = *std::max_element(delivery.begin(), delivery.end());
    const long inside = std::count_if(delivery.begin(), delivery.end(),
                                      [](double ms) { return ms >= 300 && ms <= 410; });
    std::printf("answer delivery (%d answers): min %.1f ms, median %.1f ms, p99 %.1f ms, max "
                "%.1f ms; %ld within 300-410 ms\n",
                trials, first, bench::Median(delivery), bench::Percentile(delivery, 0.99), last,
                inside);
    bench::Report("answer delivery, last byte -> OnFrameReceived",
                  bench::Format("%.0f", first) + bench::Format("-%.0f ms", last),
                  "ticks 300-400 ms", "-", "all in 300-410 ms",
                  inside == static_cast<long>(delivery.size()));

    // Close: from the click on an open port to the closed state shown (painted).
    std::vector<double> closing;
    for (int trial = 0; trial < 20; ++trial) {
        if (!form->Serial->IsOpen())
            click();
        QTest::qWait(20);
        const long long start = NowNs();
        click();
        QCoreApplication::processEvents(); // the repaint the state change asked for
        const long long end = NowNs();
        if (form->Serial->IsOpen() ||
            form->suiStatusBar1->Panels->Items[0]->Text.get().Utf8() != "Closed") {
            std::fprintf(stderr, "bench_window: the close click did not close the port\n");
            return 1;
        }
        closing.push_back(static_cast<double>(end - start) / 1e6);
    }
    const double closeMax = *std::max_element(closing.begin(), closing.end());
    std::printf("close click (20 clicks): median %.2f ms, max %.2f ms\n", bench::Median(closing),
                closeMax);
    bench::Report("close click -> closed state shown (max of 20)", bench::Format("%.2f ms", closeMax),
                  "-", "-", "< 50 ms", closeMax < 50);

    delete form;
    Form1 = nullptr;
    return 0;
}
