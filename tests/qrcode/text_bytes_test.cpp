#include "qrcode/text_bytes.h"

#include <gtest/gtest.h>

using namespace zarvex::qrcode;
using Bytes = std::vector<uint8_t>;

TEST(TextBytes, CodePagesGiveTheirOwnBytes)
{
    EXPECT_EQ(TextToBytes("A你好", TextEncoding::Utf8), (Bytes{'A', 0xE4, 0xBD, 0xA0, 0xE5, 0xA5, 0xBD}));
    EXPECT_EQ(TextToBytes("A你好", TextEncoding::Gbk), (Bytes{'A', 0xC4, 0xE3, 0xBA, 0xC3}));
    // 点 is 0x935F in Shift_JIS, a Kanji-mode pair.
    EXPECT_EQ(TextToBytes("点", TextEncoding::ShiftJis), (Bytes{0x93, 0x5F}));
    EXPECT_EQ(TextToBytes("", TextEncoding::Gbk), Bytes{});
    // Long input grows the output buffer.
    std::string many;
    for (int i = 0; i < 5000; ++i)
        many += "监";
    EXPECT_EQ(TextToBytes(many, TextEncoding::Gbk).size(), 10000u);
}

TEST(TextBytes, UnrepresentableOrMalformedTextIsRefused)
{
    EXPECT_THROW((void)TextToBytes("smile \xF0\x9F\x98\x80", TextEncoding::Gbk), std::invalid_argument);
    EXPECT_THROW((void)TextToBytes("\xE4\xBD", TextEncoding::Utf8), std::invalid_argument);
    EXPECT_THROW((void)TextToBytes("a\xFFz", TextEncoding::ShiftJis), std::invalid_argument);
    try {
        (void)TextToBytes("ab€", TextEncoding::ShiftJis);
        FAIL() << "the euro sign has no Shift_JIS code";
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("€"), std::string::npos) << e.what();
    }
}

TEST(TextBytes, EncodingNames)
{
    EXPECT_EQ(ParseTextEncoding("utf-8"), TextEncoding::Utf8);
    EXPECT_EQ(ParseTextEncoding("UTF8"), TextEncoding::Utf8);
    EXPECT_EQ(ParseTextEncoding("gbk"), TextEncoding::Gbk);
    EXPECT_EQ(ParseTextEncoding("cp936"), TextEncoding::Gbk);
    EXPECT_EQ(ParseTextEncoding("shift-jis"), TextEncoding::ShiftJis);
    EXPECT_EQ(ParseTextEncoding("Shift_JIS"), TextEncoding::ShiftJis);
    EXPECT_FALSE(ParseTextEncoding("latin1"));
}
