#include "frames.h"
#include "value_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const Frame& f) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (i)
            s += ' ';
        s += digits[f[i] >> 4];
        s += digits[f[i] & 15];
    }
    return s;
}

struct FrameCase {
    const char* name;
    ModuleParams params;
    const char* expected;
};

const FrameCase kWriteFrames[] = {
    {"defaults", {0x00, 0x00, 0x03, 0x00, 0x00}, "AF AF 00 00 AF 80 01 05 00 00 03 00 00 96 0D 0A"},
    {"channel_8ch", {0x00, 0x07, 0x03, 0x00, 0x00}, "AF AF 00 00 AF 80 01 05 00 07 03 00 00 9D 0D 0A"},
    {"highest_indices", {0x02, 0x0F, 0x06, 0x02, 0x03}, "AF AF 00 00 AF 80 01 05 02 0F 06 02 03 AF 0D 0A"},
    {"nothing_selected", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, "AF AF 00 00 AF 80 01 05 FF FF FF FF FF 8E 0D 0A"},
    // 0x93 + 0x6D = 0x100: the sum wraps to exactly zero.
    {"sum_wraps_to_zero", {0x6D, 0x00, 0x00, 0x00, 0x00}, "AF AF 00 00 AF 80 01 05 6D 00 00 00 00 00 0D 0A"},
    // 0x93 + 0x80 + 0x01 = 0x114.
    {"sum_wraps_past_zero", {0x80, 0x00, 0x00, 0x01, 0x00}, "AF AF 00 00 AF 80 01 05 80 00 00 01 00 14 0D 0A"},
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class WriteFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(WriteFrameTest, BuildsExactBytes) {
    EXPECT_EQ(Hex(BuildWriteFrame(GetParam().params)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, WriteFrameTest, ::testing::ValuesIn(kWriteFrames),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadFrameTest, IsOneConstantFrame) {
    EXPECT_EQ(Hex(BuildReadFrame()), "AF AF 00 00 AF 80 02 05 00 00 00 00 00 94 0D 0A");
}

TEST(WriteFrameChecksumTest, IsSumOfThirteenBytesForEveryParameterValue) {
    // The checksum is the plain 8-bit sum of positions 0..12, whichever byte varies.
    for (int field = 0; field < 5; ++field) {
        for (int v = 0; v < 256; ++v) {
            ModuleParams p;
            std::uint8_t* bytes[] = {&p.WorkMode, &p.RadioChannel, &p.SerialRate, &p.SerialParity,
                                     &p.SleepTime};
            *bytes[field] = static_cast<std::uint8_t>(v);
            const Frame f = BuildWriteFrame(p);
            EXPECT_EQ(f[8 + field], v);
            EXPECT_EQ(f[13], static_cast<std::uint8_t>(0x93 + v)) << "field " << field;
        }
    }
}

TEST(AnswerClassificationTest, OnlyCommandBytesOneAndTwoSucceed) {
    for (int b = 0; b < 256; ++b) {
        const AnswerKind kind = ClassifyAnswer(static_cast<std::uint8_t>(b));
        const AnswerKind expected = b == 1   ? AnswerKind::WriteAcknowledged
                                    : b == 2 ? AnswerKind::ReadAnswered
                                             : AnswerKind::Failure;
        EXPECT_EQ(kind, expected) << "command byte " << b;
        EXPECT_EQ(IsSuccess(kind), b == 1 || b == 2) << "command byte " << b;
    }
}

TEST(AnswerClassificationTest, ParametersComeFromPositionsEightToTwelve) {
    const std::uint8_t answer[16] = {0xAF, 0xAF, 0, 0, 0xAF, 0x80, 0x02, 0x05,
                                     0x01, 0x0F, 0x06, 0x02, 0x03, 0xAF, 0x0D, 0x0A};
    const ModuleParams p = ParamsFromAnswer(answer);
    EXPECT_EQ(p.WorkMode, 0x01);
    EXPECT_EQ(p.RadioChannel, 0x0F);
    EXPECT_EQ(p.SerialRate, 0x06);
    EXPECT_EQ(p.SerialParity, 0x02);
    EXPECT_EQ(p.SleepTime, 0x03);
}

TEST(ValueListsTest, TextsAndDefaultsInOrder) {
    struct ListCase {
        const char* name;
        const ValueList& list;
        std::vector<std::string_view> texts;
        int defaultIndex;
    };
    const ListCase cases[] = {
        {"WorkMode", WorkModeList, {"正常模式", "中心模式", "节点模式"}, 0},
        {"RadioChannel",
         RadioChannelList,
         {"1ch", "2ch", "3ch", "4ch", "5ch", "6ch", "7ch", "8ch", "9ch", "10ch", "11ch", "12ch",
          "13ch", "14ch", "15ch", "16ch"},
         0},
        {"SerialRate", SerialRateList, {"1200", "2400", "4800", "9600", "19200", "38400", "57600"}, 3},
        {"SerialParity", SerialParityList, {"NO", "ODD", "EVEN"}, 0},
        {"SleepTime", SleepTimeList, {"2s", "3s", "4s", "5s"}, 0},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::vector<std::string_view>(c.list.Items.begin(), c.list.Items.end()), c.texts);
        EXPECT_EQ(c.list.DefaultIndex, c.defaultIndex);
    }
}

TEST(ValueListsTest, DefaultsBuildTheDefaultFrame) {
    const ModuleParams p{static_cast<std::uint8_t>(WorkModeList.DefaultIndex),
                         static_cast<std::uint8_t>(RadioChannelList.DefaultIndex),
                         static_cast<std::uint8_t>(SerialRateList.DefaultIndex),
                         static_cast<std::uint8_t>(SerialParityList.DefaultIndex),
                         static_cast<std::uint8_t>(SleepTimeList.DefaultIndex)};
    EXPECT_EQ(Hex(BuildWriteFrame(p)), "AF AF 00 00 AF 80 01 05 00 00 03 00 00 96 0D 0A");
}

} // namespace
