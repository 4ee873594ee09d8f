#include "RZSerial.h"
#include "frames.h"
#include "win32_user.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Delivery {
    UINT msg;
    WPARAM command;
    std::vector<std::uint8_t> answer; // RecvBuf[0, RecvLen) as seen by the handler
};

// A window that records every message it gets, with the answer the receiver holds at
// that moment, the way the main window's answer handler would read it.
class RecordingWindow : public WindowMessageTarget {
public:
    explicit RecordingWindow(const RZSerial& serial) : serial_(serial) {
        hwnd = CreateMessageWindow(this);
    }
    ~RecordingWindow() { DestroyMessageWindow(hwnd); }

    LRESULT HandleWindowMessage(UINT msg, WPARAM wParam, LPARAM) override {
        deliveries.push_back(
            {msg, wParam, std::vector<std::uint8_t>(serial_.RecvBuf, serial_.RecvBuf + serial_.RecvLen)});
        if (during)
            during();
        return 0;
    }

    HWND hwnd;
    std::vector<Delivery> deliveries;
    std::function<void()> during;

private:
    const RZSerial& serial_;
};

class ReceiverTest : public ::testing::Test {
protected:
    void Feed(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes)
            serial.OnReceiveByte(b);
    }
    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i)
            serial.OnTimerTick(window.hwnd, msgId);
    }
    // A 16-byte answer in the request layout.
    static std::vector<std::uint8_t> Answer(std::uint8_t command, const std::array<std::uint8_t, 5>& p) {
        return {0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, command, 0x05,
                p[0], p[1], p[2], p[3], p[4], 0x00, 0x0D, 0x0A};
    }

    RZSerial serial;
    RecordingWindow window{serial};
    UINT msgId = RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1");
};

TEST_F(ReceiverTest, StartsIdleWithZeroedBuffer) {
    EXPECT_EQ(serial.RecvLen, 0);
    EXPECT_EQ(serial.IdleCount, -1);
    for (std::uint8_t b : serial.RecvBuf)
        ASSERT_EQ(b, 0);
}

// Each step: bytes to feed (may be none), then ticks; afterwards the number of deliveries.
struct TickStep {
    std::vector<std::uint8_t> bytes;
    int ticks;
    std::size_t deliveriesAfter;
};
struct TickCase {
    const char* name;
    std::vector<TickStep> steps;
    std::vector<std::vector<std::uint8_t>> answers; // what each delivery held
};

const std::vector<std::uint8_t> kA = {0xAF, 0xAF, 0, 0, 0xAF, 0x80, 0x02, 0x05, 1, 2, 3, 4, 5, 0x9E, 0x0D, 0x0A};
const std::vector<std::uint8_t> kB = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x03, 0x05, 9, 9, 9, 9, 9, 0x00};

std::vector<std::uint8_t> Cat(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const TickCase kTickCases[] = {
    {"idle_tick_does_nothing", {{{}, 10, 0}}, {}},
    {"delivered_on_fourth_tick_not_third", {{kA, 3, 0}, {{}, 1, 1}, {{}, 5, 1}}, {kA}},
    {"byte_restarts_count",
     {{{kA.begin(), kA.begin() + 8}, 3, 0}, {{kA.begin() + 8, kA.end()}, 3, 0}, {{}, 1, 1}},
     {kA}},
    {"answers_less_than_three_ticks_apart_are_one", {{kA, 2, 0}, {kB, 3, 0}, {{}, 1, 1}}, {Cat(kA, kB)}},
    {"gap_of_four_ticks_splits", {{kA, 4, 1}, {kB, 3, 1}, {{}, 1, 2}}, {kA, kB}},
};

class TickTableTest : public ReceiverTest, public ::testing::WithParamInterface<TickCase> {};

TEST_P(TickTableTest, DeliversAfterQuietTime) {
    const TickCase& c = GetParam();
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
        Feed(c.steps[i].bytes);
        Tick(c.steps[i].ticks);
        EXPECT_EQ(window.deliveries.size(), c.steps[i].deliveriesAfter) << "after step " << i;
    }
    ASSERT_EQ(window.deliveries.size(), c.answers.size());
    for (std::size_t i = 0; i < c.answers.size(); ++i) {
        EXPECT_EQ(window.deliveries[i].msg, msgId);
        EXPECT_EQ(window.deliveries[i].answer, c.answers[i]) << "delivery " << i;
        // The command byte is position 6 of each answer counted from its own first byte.
        EXPECT_EQ(window.deliveries[i].command, c.answers[i][6]) << "delivery " << i;
    }
    EXPECT_EQ(serial.RecvLen, 0);
    EXPECT_EQ(serial.IdleCount, -1);
}

void PrintTo(const TickCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Receiver, TickTableTest, ::testing::ValuesIn(kTickCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReceiverTest, BufferIsKeptAfterDelivery) {
    Feed(kA);
    Tick(4);
    ASSERT_EQ(window.deliveries.size(), 1u);
    EXPECT_EQ(serial.RecvLen, 0);
    EXPECT_TRUE(std::equal(kA.begin(), kA.end(), serial.RecvBuf));
}

TEST_F(ReceiverTest, ShortAnswersAreFailuresEvenAfterASuccess) {
    for (std::size_t len : {1u, 6u, 7u, 12u}) {
        SCOPED_TRACE(len);
        Feed(Answer(CMD_READ_CONFIG, {1, 2, 3, 4, 5})); // leaves a success in the buffer
        Tick(4);
        ASSERT_EQ(window.deliveries.back().command, CMD_READ_CONFIG);
        // A short answer whose own position 6 would read as success.
        std::vector<std::uint8_t> shortAnswer = Answer(CMD_WRITE_CONFIG, {7, 7, 7, 7, 7});
        shortAnswer.resize(len);
        Feed(shortAnswer);
        Tick(4);
        EXPECT_FALSE(IsSuccess(ClassifyAnswer(static_cast<std::uint8_t>(window.deliveries.back().command))));
        EXPECT_EQ(window.deliveries.back().answer.size(), len);
    }
}

TEST_F(ReceiverTest, ThirteenBytesIsTheShortestSuccess) {
    std::vector<std::uint8_t> a = Answer(CMD_WRITE_CONFIG, {1, 2, 3, 4, 5});
    a.resize(13);
    Feed(a);
    Tick(4);
    ASSERT_EQ(window.deliveries.size(), 1u);
    EXPECT_EQ(window.deliveries[0].command, CMD_WRITE_CONFIG);
}

TEST_F(ReceiverTest, OverlongAnswerKeepsItsStartAndStaysInsideTheBuffer) {
    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i * 7 + 3);
    Feed(big);
    EXPECT_EQ(serial.RecvLen, RZSerial::RECV_BUF_SIZE);
    Tick(4);
    ASSERT_EQ(window.deliveries.size(), 1u);
    const Delivery& d = window.deliveries[0];
    EXPECT_EQ(d.command, big[6]);
    ASSERT_EQ(d.answer.size(), static_cast<std::size_t>(RZSerial::RECV_BUF_SIZE));
    EXPECT_TRUE(std::equal(d.answer.begin(), d.answer.end(), big.begin()));
    Tick(10);
    EXPECT_EQ(window.deliveries.size(), 1u);
}

TEST_F(ReceiverTest, BytesArrivingDuringDeliveryStartTheNextAnswer) {
    Feed(kA);
    window.during = [&] {
        if (window.deliveries.size() != 1)
            return;
        Feed(kB); // the reader keeps going while the handler runs
        // The answer being delivered is still intact.
        EXPECT_TRUE(std::equal(kA.begin(), kA.end(), serial.RecvBuf));
        EXPECT_EQ(serial.RecvLen, static_cast<std::int32_t>(kA.size()));
    };
    Tick(4);
    ASSERT_EQ(window.deliveries.size(), 1u);
    EXPECT_EQ(serial.RecvLen, static_cast<std::int32_t>(kB.size()));
    Tick(3);
    EXPECT_EQ(window.deliveries.size(), 1u);
    Tick(1);
    ASSERT_EQ(window.deliveries.size(), 2u);
    EXPECT_EQ(window.deliveries[1].answer, kB);
    EXPECT_EQ(window.deliveries[1].command, kB[6]);
}

TEST(WindowMessageTest, RegistrationGivesStableDistinctIds) {
    const UINT a = RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1");
    const UINT b = RegisterWindowMessageA("cmt2300-test-other-name");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1"), a);
    EXPECT_EQ(RegisterWindowMessageA("rz40kserial_msg_recv_1"), a);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
    EXPECT_EQ(RegisterWindowMessageA(nullptr), 0u);
}

TEST(WindowMessageTest, SendReachesOnlyLiveWindows) {
    struct Echo : WindowMessageTarget {
        LRESULT HandleWindowMessage(UINT msg, WPARAM w, LPARAM l) override {
            return static_cast<LRESULT>(msg + w + static_cast<WPARAM>(l));
        }
    } echo;
    HWND h = CreateMessageWindow(&echo);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(IsWindow(h));
    EXPECT_EQ(SendMessageA(h, 0xC100, 2, 3), 0xC105);
    EXPECT_TRUE(DestroyMessageWindow(h));
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(SendMessageA(h, 0xC100, 2, 3), 0);
    HWND h2 = CreateMessageWindow(&echo);
    EXPECT_NE(h2, h); // a stale handle never names a newer window
    DestroyMessageWindow(h2);
}

// A stress run: a reader thread feeds a million bytes in random bursts with random pauses
// while another thread ticks. Each delivered answer, put end to end, must give back exactly
// the stream that was sent.
TEST(ReceiverStressTest, NothingLostDoubledOrMixed) {
    RZSerial serial;
    const UINT msgId = RegisterWindowMessageA("RZ40KSerial_MSG_RECV_1");
    std::vector<std::uint8_t> received;
    std::atomic<std::size_t> deliveredBytes{0};
    std::atomic<int> deliveries{0};

    struct Collector : WindowMessageTarget {
        RZSerial* serial;
        std::vector<std::uint8_t>* out;
        std::atomic<std::size_t>* count;
        std::atomic<int>* deliveries;
        LRESULT HandleWindowMessage(UINT, WPARAM, LPARAM) override {
            out->insert(out->end(), serial->RecvBuf, serial->RecvBuf + serial->RecvLen);
            count->store(out->size());
            deliveries->fetch_add(1);
            return 0;
        }
    } collector;
    collector.serial = &serial;
    collector.out = &received;
    collector.count = &deliveredBytes;
    collector.deliveries = &deliveries;
    HWND hwnd = CreateMessageWindow(&collector);

    constexpr std::size_t kTotal = 1'000'000;
    std::vector<std::uint8_t> sent(kTotal);
    std::mt19937 rng(12345);
    for (auto& b : sent)
        b = static_cast<std::uint8_t>(rng());

    std::atomic<bool> done{false};
    std::thread ticker([&] {
        while (!done.load()) {
            serial.OnTimerTick(hwnd, msgId);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread reader([&] {
        std::mt19937 r(777);
        std::size_t pos = 0;
        std::size_t sinceSplit = 0; // bytes that may still belong to one answer
        while (pos < kTotal) {
            std::size_t burst = std::min<std::size_t>(1 + r() % 400, kTotal - pos);
            if (sinceSplit + burst > RZSerial::RECV_BUF_SIZE) {
                // Wait until everything sent so far has been delivered, so no answer can
                // grow past the buffer (bytes past it are dropped by design).
                while (deliveredBytes.load() < pos)
                    std::this_thread::yield();
                sinceSplit = 0;
            }
            for (std::size_t i = 0; i < burst; ++i)
                serial.OnReceiveByte(sent[pos + i]);
            pos += burst;
            sinceSplit += burst;
            if (r() % 4 == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(r() % 2000));
        }
    });
    reader.join();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (deliveredBytes.load() < kTotal && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    done = true;
    ticker.join();
    DestroyMessageWindow(hwnd);

    ASSERT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent);
    EXPECT_GT(deliveries.load(), 1);
}

} // namespace
