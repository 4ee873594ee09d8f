// The string type's operations and the time-of-day formatting.
#include "qt_test_app.h"
#include "vcl_string.h"
#include "vcl_sysutils.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QTime>

#include <climits>
#include <cstring>

namespace {

TEST(AnsiString, ConstructsFromLiteralCharacterAndIntegers) {
    EXPECT_EQ(AnsiString("COM").Utf8(), "COM");
    EXPECT_EQ(AnsiString('M').Utf8(), "M");
    EXPECT_EQ(AnsiString(12).Utf8(), "12");
    EXPECT_EQ(AnsiString(-7).Utf8(), "-7");
    EXPECT_EQ(AnsiString(255u).Utf8(), "255");
    EXPECT_EQ(AnsiString(INT_MIN).Utf8(), "-2147483648");
    EXPECT_EQ(AnsiString(static_cast<const char*>(nullptr)).Utf8(), "");
    EXPECT_EQ("COM" + AnsiString(3), AnsiString("COM3"));
    AnsiString s = "打开";
    s = "关闭";
    EXPECT_EQ(s, "关闭");
}

TEST(AnsiString, CStrIsNeverNullAndZeroTerminated) {
    const AnsiString empty;
    ASSERT_NE(empty.c_str(), nullptr);
    EXPECT_STREQ(empty.c_str(), "");
    const AnsiString text = "COM12";
    EXPECT_EQ(std::strlen(text.c_str()), 5u);
}

TEST(AnsiString, LengthCountsCharacters) {
    EXPECT_EQ(AnsiString().Length(), 0);
    EXPECT_EQ(AnsiString("COM255").Length(), 6);
    EXPECT_EQ(AnsiString("串     口：").Length(), 8);
}

TEST(AnsiString, PosIsOneBasedAndZeroWhenAbsent) {
    struct Case {
        const char* text;
        const char* sub;
        int pos;
    } cases[] = {
        {"COM12", "M", 3}, {"COM12", "C", 1},  {"COM12", "2", 5},
        {"COM12", "X", 0}, {"MOM", "M", 1},    {"", "M", 0},
        {"COM", "", 0},    {"COM", "COMX", 0}, {"串口COM3", "M", 5}, // after two Chinese characters
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnsiString(c.text).Pos(c.sub), c.pos) << c.text << " / " << c.sub;
}

TEST(AnsiString, SubStringClipsToTheText) {
    struct Case {
        const char* text;
        int start;
        int count;
        const char* result;
    } cases[] = {
        {"COM12", 4, 2, "12"},      {"COM12", 4, 100, "12"}, {"COM12", 4, INT_MAX, "12"},
        {"COM12", 1, 3, "COM"},     {"COM12", 6, 1, ""},     {"COM12", 9, 1, ""},
        {"COM12", 0, 2, "CO"},      {"COM12", -3, 2, "CO"},  {"COM12", 2, 0, ""},
        {"COM12", 2, -1, ""},       {"", 1, 5, ""},          {"打开串口", 2, 2, "开串"},
        {"打开串口", 3, 9, "串口"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnsiString(c.text).SubString(c.start, c.count), c.result)
            << c.text << " " << c.start << " " << c.count;
}

TEST(FormatDateTime, ShortTimeIsHoursAndMinutesInTheUserLocale) {
    TestApplication();
    // 13:07:42 on some date.
    const TDateTime value{45000.0 + (13 * 3600 + 7 * 60 + 42) / 86400.0};
    // C's short format carries seconds; "t" leaves them out in every locale.
    const char* locales[] = {"C", "de_DE", "en_US", "zh_CN", "ja_JP"};
    for (const char* name : locales) {
        const QLocale locale(name);
        QLocale::setDefault(locale);
        const QString got = QString::fromStdString(FormatDateTime("t", value).Utf8());
        EXPECT_FALSE(got.contains("42")) << name << ": " << got.toStdString();
        EXPECT_TRUE(got.contains("07")) << name << ": " << got.toStdString();
        EXPECT_TRUE(got.contains("13") || got.contains("1:")) << name << ": " << got.toStdString();
    }
    QLocale::setDefault(QLocale::system());
    const QString now = QString::fromStdString(FormatDateTime("t", Time()).Utf8());
    EXPECT_FALSE(now.isEmpty());
    EXPECT_EQ(FormatDateTime("tt", TDateTime{0.75}).Utf8(),
              QLocale::system().toString(QTime(18, 0), QLocale::LongFormat).toStdString());
}

TEST(FormatDateTime, RefusesFormatsItDoesNotKnow) {
    EXPECT_THROW(FormatDateTime("yyyy", Time()), Exception);
}

TEST(FormatDateTime, TimeHasNoDatePart) {
    const TDateTime now = Time();
    EXPECT_GE(now.Val, 0.0);
    EXPECT_LT(now.Val, 1.0);
}

} // namespace
