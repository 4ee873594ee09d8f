// The simulated module's request recognition and answers, without any I/O.
#include "module.h"
#include "request_parser.h"
#include "value_lists.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const Frame& f) {
    return Bytes(f.begin(), f.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes WithByte(Bytes frame, std::size_t pos, std::uint8_t value) {
    frame[pos] = value;
    return frame;
}

// A frame whose checksum is right for its other bytes, whatever they are.
Bytes Resummed(Bytes frame) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < 13; ++i)
        sum = static_cast<std::uint8_t>(sum + frame[i]);
    frame[13] = sum;
    return frame;
}

const ModuleParams kWritten{0x02, 0x0F, 0x06, 0x01, 0x03};
const Bytes kWrite = ToBytes(BuildWriteFrame(kWritten));
const Bytes kRead = ToBytes(BuildReadFrame());

struct ParseResult {
    std::vector<Frame> requests;
    std::size_t skipped = 0;
    std::size_t pending = 0;
};

ParseResult Parse(const Bytes& stream) {
    RequestParser parser;
    ParseResult result;
    for (std::uint8_t b : stream) {
        if (auto request = parser.Feed(b)) {
            EXPECT_EQ(request->Command, request->Bytes[6]);
            EXPECT_EQ(request->Params.RadioChannel, request->Bytes[9]);
            result.requests.push_back(request->Bytes);
        }
        result.skipped += parser.TakeSkipped().size();
    }
    result.pending = parser.Pending();
    return result;
}

struct ParseCase {
    const char* name;
    Bytes stream;
    std::vector<Bytes> expected;
    std::size_t skipped;
    std::size_t pending;
};

class RequestParserTest : public testing::TestWithParam<ParseCase> {};

TEST_P(RequestParserTest, FindsExactlyTheValidRequests) {
    const ParseCase& c = GetParam();
    const ParseResult r = Parse(c.stream);
    std::vector<Bytes> found;
    for (const Frame& f : r.requests)
        found.push_back(ToBytes(f));
    EXPECT_EQ(found, c.expected);
    EXPECT_EQ(r.skipped, c.skipped);
    EXPECT_EQ(r.pending, c.pending);
    // Every byte is accounted for exactly once: in a request, given up, or still held.
    EXPECT_EQ(found.size() * FRAME_LENGTH + r.skipped + r.pending, c.stream.size());
}

const ParseCase kParseCases[] = {
    {"write", kWrite, {kWrite}, 0, 0},
    {"read", kRead, {kRead}, 0, 0},
    {"back_to_back", Concat({kWrite, kRead, kWrite}), {kWrite, kRead, kWrite}, 0, 0},
    {"garbage_before", Concat({{0x11, 0x22, 0x0D, 0x0A, 0xAF}, kRead}), {kRead}, 5, 0},
    // A spare header byte overlaps the real start: only the one byte may be given up.
    {"extra_header_byte", Concat({{0xAF}, kWrite}), {kWrite}, 1, 0},
    {"header_fragment", Concat({{0xAF, 0xAF, 0x00, 0x00, 0xAF}, kWrite}), {kWrite}, 5, 0},
    {"bad_checksum_not_taken",
     Concat({WithByte(kWrite, 13, kWrite[13] + 1), kRead}),
     {kRead},
     16,
     0},
    {"command_03_not_a_request",
     Concat({Resummed(WithByte(kWrite, 6, 0x03)), kRead}),
     {kRead},
     16,
     0},
    {"count_not_5", Concat({Resummed(WithByte(kRead, 7, 0x04)), kRead}), {kRead}, 16, 0},
    {"bad_terminator", Concat({WithByte(kRead, 15, 0x0B), kWrite}), {kWrite}, 16, 0},
    {"truncated_then_whole",
     Concat({Bytes(kWrite.begin(), kWrite.begin() + 11), kRead}),
     {kRead},
     11,
     0},
    {"incomplete_is_held", Bytes(kWrite.begin(), kWrite.begin() + 15), {}, 0, 15},
    {"garbage_after_is_held_or_skipped", Concat({kRead, {0xAF, 0xAF, 0x01}}), {kRead}, 3, 0},
};

INSTANTIATE_TEST_SUITE_P(Streams, RequestParserTest, testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RequestParser, FindsEveryRequestHiddenInRandomNoise) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> byte(0, 255), gap(0, 40), pick(0, 2);
    // Noise rich in the header's own bytes, so that false starts are common.
    const std::uint8_t lookalikes[] = {0xAF, 0x00, 0x80, 0x05, 0x0D, 0x0A, 0x01, 0x02};
    Bytes stream;
    std::vector<Bytes> hidden;
    for (int i = 0; i < 300; ++i) {
        for (int n = gap(random); n > 0; --n)
            stream.push_back(pick(random) ? lookalikes[byte(random) % 8]
                                          : static_cast<std::uint8_t>(byte(random)));
        ModuleParams p{
            static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
            static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
            static_cast<std::uint8_t>(byte(random))};
        hidden.push_back(i % 3 == 0 ? kRead : ToBytes(BuildWriteFrame(p)));
        stream.insert(stream.end(), hidden.back().begin(), hidden.back().end());
    }
    const ParseResult r = Parse(stream);
    std::vector<Bytes> found;
    for (const Frame& f : r.requests)
        found.push_back(ToBytes(f));
    EXPECT_EQ(found, hidden);
}

TEST(ModuleAnswer, HasTheRequestLayoutWithItsOwnChecksum) {
    EXPECT_EQ(BuildAnswer(CMD_WRITE_CONFIG, kWritten), BuildWriteFrame(kWritten));
    EXPECT_EQ(BuildAnswer(CMD_READ_CONFIG, ModuleParams{}), BuildReadFrame());
    const Frame read = BuildAnswer(CMD_READ_CONFIG, kWritten);
    EXPECT_EQ(ToBytes(read), (Bytes{0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x02, 0x05, 0x02, 0x0F,
                                    0x06, 0x01, 0x03, 0xAF, 0x0D, 0x0A}));
    EXPECT_TRUE(IsRequestPrefix(read.data(), read.size()));
}

TEST(ModuleAnswer, OutOfRangeIsJustPastEachList) {
    const ModuleParams p = OutOfRangeParams();
    EXPECT_EQ(p.WorkMode, WorkModeList.Items.size());
    EXPECT_EQ(p.RadioChannel, RadioChannelList.Items.size());
    EXPECT_EQ(p.SerialRate, SerialRateList.Items.size());
    EXPECT_EQ(p.SerialParity, SerialParityList.Items.size());
    EXPECT_EQ(p.SleepTime, SleepTimeList.Items.size());
}

Request Parsed(const Bytes& frame) {
    RequestParser parser;
    std::optional<Request> request;
    for (std::uint8_t b : frame)
        request = parser.Feed(b);
    EXPECT_TRUE(request.has_value());
    return request.value_or(Request{});
}

const ModuleParams kStart{0x00, 0x00, 0x03, 0x00, 0x00};

struct FaultCase {
    AnswerFault fault;
    std::size_t length;      // of each answer
    bool wellFormed;         // a valid frame in the request layout
    int command;             // expected command byte of the read's answer, -1: not 01/02
    ModuleParams readAnswer; // indices in the read's answer (when wellFormed)
    ModuleParams heldAfter;  // what the module holds after the write
};

class ModuleFaultTest : public testing::TestWithParam<FaultCase> {};

TEST_P(ModuleFaultTest, WriteThenReadAnswersAsTheModeSays) {
    const FaultCase& c = GetParam();
    SimulatedModule module(kStart, c.fault, 7);
    const Bytes writeAnswer = module.Handle(Parsed(kWrite));
    const Bytes readAnswer = module.Handle(Parsed(kRead));

    ASSERT_EQ(writeAnswer.size(), c.length);
    ASSERT_EQ(readAnswer.size(), c.length);
    EXPECT_EQ(ToBytes(BuildWriteFrame(module.Params())), ToBytes(BuildWriteFrame(c.heldAfter)));
    if (c.length == 0)
        return;

    const Bytes proper = ToBytes(BuildAnswer(CMD_READ_CONFIG, c.heldAfter));
    if (c.length < ANSWER_MIN_LENGTH) {
        EXPECT_EQ(readAnswer, Bytes(proper.begin(), proper.begin() + c.length));
        return;
    }
    EXPECT_EQ(IsRequestPrefix(readAnswer.data(), readAnswer.size()), c.wellFormed);
    if (c.command < 0) {
        EXPECT_FALSE(IsSuccess(ClassifyAnswer(readAnswer[ANSWER_COMMAND_POS])));
        EXPECT_FALSE(IsSuccess(ClassifyAnswer(writeAnswer[ANSWER_COMMAND_POS])));
        return;
    }
    EXPECT_EQ(readAnswer[ANSWER_COMMAND_POS], c.command);
    EXPECT_EQ(ToBytes(BuildWriteFrame(ParamsFromAnswer(readAnswer.data()))),
              ToBytes(BuildWriteFrame(c.readAnswer)));
    if (c.wellFormed) { // a write is answered with command 01
        EXPECT_EQ(writeAnswer[ANSWER_COMMAND_POS], CMD_WRITE_CONFIG);
    }
}

const FaultCase kFaultCases[] = {
    {AnswerFault::None, 16, true, CMD_READ_CONFIG, kWritten, kWritten},
    {AnswerFault::Silent, 0, false, -1, {}, kWritten},
    {AnswerFault::Fail, 16, false, 0x03, kStart, kStart},
    {AnswerFault::Short, 6, false, -1, {}, kWritten},
    {AnswerFault::Garbage, 16, false, -1, {}, kWritten},
    {AnswerFault::OutOfRange, 16, true, CMD_READ_CONFIG, OutOfRangeParams(), kWritten},
};

INSTANTIATE_TEST_SUITE_P(Modes, ModuleFaultTest, testing::ValuesIn(kFaultCases),
                         [](const auto& info) {
                             std::string name(FaultName(info.param.fault));
                             for (char& ch : name)
                                 if (ch == '-')
                                     ch = '_';
                             return name;
                         });

TEST(ModuleAnswer, GarbageNeverPassesForSuccess) {
    SimulatedModule module(kStart, AnswerFault::Garbage, 1);
    const Request read = Parsed(kRead);
    for (int i = 0; i < 2000; ++i) {
        const Bytes answer = module.Handle(read);
        ASSERT_EQ(answer.size(), 16u);
        ASSERT_FALSE(IsSuccess(ClassifyAnswer(answer[ANSWER_COMMAND_POS])));
    }
}

TEST(PlanAnswer, SplitsIntoTwoHalvesOnlyWhenAsked) {
    using std::chrono::milliseconds;
    const Bytes answer = ToBytes(BuildAnswer(CMD_READ_CONFIG, kStart));

    const auto whole = PlanAnswer(answer, milliseconds(20), milliseconds(-1));
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].wait, milliseconds(20));
    EXPECT_EQ(whole[0].bytes, answer);

    const auto split = PlanAnswer(answer, milliseconds(20), milliseconds(150));
    ASSERT_EQ(split.size(), 2u);
    EXPECT_EQ(split[0].wait, milliseconds(20));
    EXPECT_EQ(split[1].wait, milliseconds(150));
    EXPECT_EQ(Concat({split[0].bytes, split[1].bytes}), answer);
    EXPECT_EQ(split[0].bytes.size(), 8u);

    EXPECT_TRUE(PlanAnswer({}, milliseconds(20), milliseconds(150)).empty());
}

} // namespace
