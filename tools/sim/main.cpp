// cmt2300-sim: a radio module on a pseudo-terminal (or a real serial line) that answers
// the configuration tool's requests, with fault modes for testing the tool.
#include "com_link.h"
#include "module.h"
#include "request_parser.h"
#include "sim_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <getopt.h>
#include <optional>
#include <poll.h>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr const char* kProgram = "cmt2300-sim";

struct Options {
    int com = 200;
    bool comGiven = false;
    std::string device;
    ModuleParams params{0x00, 0x00, 0x03, 0x00, 0x00};
    long delayMs = 20;
    long splitMs = -1;
    AnswerFault fault = AnswerFault::None;
    long baud = 9600;
    bool baudGiven = false;
    int parity = 0; // 0 none, 1 odd, 2 even
    bool parityGiven = false;
};

void PrintUsage(FILE* to) {
    std::fprintf(to,
                 "Usage: %s [options]\n"
                 "A simulated radio module for cmt2300-config. It serves a pseudo-terminal\n"
                 "reachable as COM port N through the dosdevices folder\n"
                 "($XDG_CONFIG_HOME/cmt2300-config/dosdevices/comN, default ~/.config), or a\n"
                 "real serial device, and answers write and read configuration requests.\n"
                 "\n"
                 "  --com N            COM number of the link to create, 1-255 (default 200)\n"
                 "  --device PATH      serve this serial device instead of a pseudo-terminal\n"
                 "  --baud N           line rate with --device (default 9600)\n"
                 "  --parity P         none, odd or even, with --device (default none)\n"
                 "  --params \"a b c d e\"  the five parameter indices held at start, in hex\n"
                 "                     (default \"00 00 03 00 00\")\n"
                 "  --delay MS         answer MS milliseconds after a request (default 20)\n"
                 "  --split MS         send each answer in two halves, MS milliseconds apart\n"
                 "Fault modes (at most one):\n"
                 "  --silent           never answer\n"
                 "  --fail             answer with command 03 (a write is not applied)\n"
                 "  --short            answer with 6 bytes only\n"
                 "  --garbage          answer with 16 random bytes (command position never 01/02)\n"
                 "  --out-of-range     answer with each index one past the end of its list\n"
                 "  --help             show this text\n"
                 "\n"
                 "Every frame received or sent is printed with a time stamp. Ctrl-C or SIGTERM\n"
                 "stops the simulator and removes its link.\n",
                 kProgram);
}

bool ParseNumber(const char* text, long low, long high, long& value) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high)
        return false;
    value = v;
    return true;
}

bool ParseParams(const char* text, ModuleParams& out) {
    std::uint8_t values[5];
    std::size_t count = 0;
    const char* p = text;
    while (*p) {
        if (*p == ' ' || *p == '\t' || *p == ',' || *p == ':') {
            ++p;
            continue;
        }
        char* end = nullptr;
        errno = 0;
        const unsigned long v = std::strtoul(p, &end, 16);
        if (end == p || errno != 0 || v > 0xFF || end - p > 2 || count == 5)
            return false;
        values[count++] = static_cast<std::uint8_t>(v);
        p = end;
    }
    if (count != 5)
        return false;
    out = ModuleParams{values[0], values[1], values[2], values[3], values[4]};
    return true;
}

// 0: go on; 1: stop with exit code 0 (help shown); 2: bad command line (message shown).
int ParseOptions(int argc, char** argv, Options& opt) {
    enum { kCom = 256, kDevice, kParams, kDelay, kSplit, kBaud, kParity, kHelp, kFault };
    static const option longOptions[] = {
        {"com", required_argument, nullptr, kCom},
        {"device", required_argument, nullptr, kDevice},
        {"params", required_argument, nullptr, kParams},
        {"delay", required_argument, nullptr, kDelay},
        {"split", required_argument, nullptr, kSplit},
        {"baud", required_argument, nullptr, kBaud},
        {"parity", required_argument, nullptr, kParity},
        {"silent", no_argument, nullptr, kFault + static_cast<int>(AnswerFault::Silent)},
        {"fail", no_argument, nullptr, kFault + static_cast<int>(AnswerFault::Fail)},
        {"short", no_argument, nullptr, kFault + static_cast<int>(AnswerFault::Short)},
        {"garbage", no_argument, nullptr, kFault + static_cast<int>(AnswerFault::Garbage)},
        {"out-of-range", no_argument, nullptr, kFault + static_cast<int>(AnswerFault::OutOfRange)},
        {"help", no_argument, nullptr, kHelp},
        {nullptr, 0, nullptr, 0},
    };
    auto bad = [](const std::string& message) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", kProgram, message.c_str(), kProgram);
        return 2;
    };

    opterr = 0;
    optind = 1;
    int c;
    while ((c = getopt_long(argc, argv, ":", longOptions, nullptr)) != -1) {
        long value = 0;
        const std::string arg = optarg ? optarg : "";
        switch (c) {
        case kCom:
            if (!ParseNumber(optarg, 1, 255, value))
                return bad("--com wants a COM number from 1 to 255, not '" + arg + "'");
            opt.com = static_cast<int>(value);
            opt.comGiven = true;
            break;
        case kDevice:
            if (arg.empty())
                return bad("--device wants a device path");
            opt.device = arg;
            break;
        case kParams:
            if (!ParseParams(optarg, opt.params))
                return bad("--params wants five hex bytes such as \"00 00 03 00 00\", not '" + arg +
                           "'");
            break;
        case kDelay:
            if (!ParseNumber(optarg, 0, 600000, opt.delayMs))
                return bad("--delay wants milliseconds from 0 to 600000, not '" + arg + "'");
            break;
        case kSplit:
            if (!ParseNumber(optarg, 0, 600000, opt.splitMs))
                return bad("--split wants milliseconds from 0 to 600000, not '" + arg + "'");
            break;
        case kBaud:
            if (!ParseNumber(optarg, 1, 4000000, opt.baud))
                return bad("--baud wants a rate in bits per second, not '" + arg + "'");
            opt.baudGiven = true;
            break;
        case kParity:
            if (arg == "none")
                opt.parity = 0;
            else if (arg == "odd")
                opt.parity = 1;
            else if (arg == "even")
                opt.parity = 2;
            else
                return bad("--parity wants none, odd or even, not '" + arg + "'");
            opt.parityGiven = true;
            break;
        case kHelp:
            PrintUsage(stdout);
            return 1;
        case ':':
            return bad(std::string("option '") + argv[optind - 1] + "' wants a value");
        case '?':
            return bad(std::string("unknown option '") + argv[optind - 1] + "'");
        default: {
            const auto fault = static_cast<AnswerFault>(c - kFault);
            if (opt.fault != AnswerFault::None && opt.fault != fault)
                return bad("choose one fault mode, not --" + std::string(FaultName(opt.fault)) +
                           " and --" + std::string(FaultName(fault)));
            opt.fault = fault;
            break;
        }
        }
    }
    if (optind < argc)
        return bad(std::string("unexpected argument '") + argv[optind] + "'");
    if (!opt.device.empty() && opt.comGiven)
        return bad("--com and --device exclude each other");
    if (opt.device.empty() && (opt.baudGiven || opt.parityGiven))
        return bad("--baud and --parity apply only with --device");
    if (opt.fault == AnswerFault::Silent && opt.splitMs >= 0)
        return bad("--split has nothing to split with --silent");
    return 0;
}

std::string TimeStamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03ld", local.tm_hour, local.tm_min,
                  local.tm_sec, now.tv_nsec / 1000000);
    return buf;
}

std::string Hex(const std::uint8_t* data, std::size_t length) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < length; ++i) {
        if (i)
            s += ' ';
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

void Log(const char* tag, const std::string& text) {
    std::printf("%s %s %s\n", TimeStamp().c_str(), tag, text.c_str());
}

int signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &b, 1);
    errno = saved;
}

bool InstallSignals(std::string& error) {
    if (pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        sigaction(sig, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void LogSkipped(RequestParser& parser) {
    const std::vector<std::uint8_t> skipped = parser.TakeSkipped();
    if (!skipped.empty())
        Log("--", "skipped " + std::to_string(skipped.size()) +
                      " byte(s): " + Hex(skipped.data(), skipped.size()));
}

struct PendingAnswer {
    std::vector<AnswerPiece> pieces;
    std::size_t next = 0;
    Clock::time_point due;
};

int Run(const Options& opt) {
    std::string error;
    if (!InstallSignals(error)) {
        std::fprintf(stderr, "%s: error: %s\n", kProgram, error.c_str());
        return 1;
    }

    SimPort port;
    ComLink link;
    const bool pty = opt.device.empty();
    if (pty ? !port.OpenPty(error) : !port.OpenDevice(opt.device, opt.baud, opt.parity, error)) {
        std::fprintf(stderr, "%s: error: %s\n", kProgram, error.c_str());
        return 1;
    }
    if (pty) {
        std::string note;
        if (!link.Create(opt.com, port.Path(), error, note)) {
            std::fprintf(stderr, "%s: error: %s\n", kProgram, error.c_str());
            return 1;
        }
        if (!note.empty())
            std::printf("%s: %s\n", kProgram, note.c_str());
        std::printf("%s: module on COM%d (%s)\n", kProgram, opt.com, port.Path().c_str());
        std::printf("%s: link %s\n", kProgram, link.Path().c_str());
    } else {
        static const char* parities[] = {"none", "odd", "even"};
        std::printf("%s: module on %s (%ld baud, parity %s)\n", kProgram, opt.device.c_str(),
                    opt.baud, parities[opt.parity]);
    }
    {
        const std::uint8_t held[5] = {opt.params.WorkMode, opt.params.RadioChannel,
                                      opt.params.SerialRate, opt.params.SerialParity,
                                      opt.params.SleepTime};
        const std::string split =
            opt.splitMs >= 0 ? ", split " + std::to_string(opt.splitMs) + " ms" : "";
        std::printf("%s: parameters %s, answer delay %ld ms%s, fault mode %s\n", kProgram,
                    Hex(held, 5).c_str(), opt.delayMs, split.c_str(),
                    std::string(FaultName(opt.fault)).c_str());
    }
    std::fflush(stdout);

    SimulatedModule module(opt.params, opt.fault, std::random_device{}());
    RequestParser parser;
    std::deque<PendingAnswer> outbox;
    std::vector<std::uint8_t> unsent; // accepted by us, not yet taken by the line
    int stopSignal = 0;

    while (!stopSignal) {
        int timeout = -1;
        if (!outbox.empty()) {
            const auto wait = std::chrono::ceil<milliseconds>(outbox.front().due - Clock::now());
            timeout = static_cast<int>(std::clamp<long long>(wait.count(), 0, 600000));
        }
        pollfd fds[3] = {
            {port.Fd(), static_cast<short>(POLLIN | (unsent.empty() ? 0 : POLLOUT)), 0},
            {signalPipe[0], POLLIN, 0},
            {port.WatchFd(), POLLIN, 0},
        };
        const nfds_t count = port.IsPty() ? 3 : 2;
        if (poll(fds, count, timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "%s: error: poll: %s\n", kProgram, std::strerror(errno));
            return 1;
        }

        if (fds[1].revents & POLLIN) {
            unsigned char sig = 0;
            if (read(signalPipe[0], &sig, 1) == 1)
                stopSignal = sig;
        }

        // Clients are looked for before their bytes are read, so that a request from a
        // client that has just opened the port finds it present when its answer is due.
        if (port.IsPty() && (fds[2].revents & POLLIN)) {
            switch (port.UpdateClients()) {
            case SimPort::ClientChange::Arrived:
                Log("--", "port opened by a client");
                break;
            case SimPort::ClientChange::Left:
                Log("--", "port closed by the last client");
                break;
            case SimPort::ClientChange::None:
                break;
            }
        }

        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            std::uint8_t buf[4096];
            const ssize_t n = read(port.Fd(), buf, sizeof buf);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                std::fprintf(stderr, "%s: error: %s is gone (%s)\n", kProgram, port.Path().c_str(),
                             n == 0 ? "end of file" : std::strerror(errno));
                return 1;
            }
            for (ssize_t i = 0; i < n; ++i) {
                std::optional<Request> request = parser.Feed(buf[i]);
                if (!request)
                    continue;
                LogSkipped(parser);
                Log("RX", Hex(request->Bytes.data(), request->Bytes.size()));
                PendingAnswer answer;
                answer.pieces = PlanAnswer(module.Handle(*request), milliseconds(opt.delayMs),
                                           milliseconds(opt.splitMs));
                if (answer.pieces.empty()) {
                    Log("--", "no answer (silent)");
                    continue;
                }
                answer.due = Clock::now() + answer.pieces.front().wait;
                outbox.push_back(std::move(answer));
            }
            LogSkipped(parser);
        }

        while (!outbox.empty() && outbox.front().due <= Clock::now()) {
            PendingAnswer& answer = outbox.front();
            const std::vector<std::uint8_t>& bytes = answer.pieces[answer.next].bytes;
            std::string text = Hex(bytes.data(), bytes.size());
            if (answer.pieces.size() > 1)
                text += " [part " + std::to_string(answer.next + 1) + " of " +
                        std::to_string(answer.pieces.size()) + "]";
            if (opt.fault != AnswerFault::None)
                text += " [" + std::string(FaultName(opt.fault)) + "]";
            if (!port.ClientPresent()) {
                Log("--", "not sent, nobody has the port open: " + text);
                outbox.pop_front();
                continue;
            }
            if (unsent.size() > 65536) {
                Log("--", "not sent, the line takes no bytes: " + text);
                outbox.pop_front();
                continue;
            }
            Log("TX", text);
            unsent.insert(unsent.end(), bytes.begin(), bytes.end());
            if (++answer.next < answer.pieces.size())
                answer.due = Clock::now() + answer.pieces[answer.next].wait;
            else
                outbox.pop_front();
        }

        if (!unsent.empty()) {
            const ssize_t n = write(port.Fd(), unsent.data(), unsent.size());
            if (n > 0)
                unsent.erase(unsent.begin(), unsent.begin() + n);
            else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                std::fprintf(stderr, "%s: error: writing to %s: %s\n", kProgram,
                             port.Path().c_str(), std::strerror(errno));
                return 1;
            }
        }
        std::fflush(stdout);
    }

    link.Remove();
    std::printf("%s: stopped by %s%s\n", kProgram, strsignal(stopSignal),
                pty ? ", link removed" : "");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    Options opt;
    const int parsed = ParseOptions(argc, argv, opt);
    if (parsed != 0)
        return parsed == 1 ? 0 : 2;
    return Run(opt);
}
