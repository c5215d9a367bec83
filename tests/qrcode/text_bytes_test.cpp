// (Shift_JIS, and GBK's refusal, are checked through zarvex-qr: ToolTest.)
#include "qrcode/text_bytes.h"

#include <gtest/gtest.h>

using namespace zarvex::qrcode;
using Bytes = std::vector<uint8_t>;

TEST(TextBytes, CodePageBytesOrTheOffendingCharacter)
{
    const struct {
        std::string text;
        TextEncoding encoding;
        Bytes bytes;
        std::string refusal = ""; // in the message when refused
    } cases[] = {
        {"A你好", TextEncoding::Utf8, {'A', 0xE4, 0xBD, 0xA0, 0xE5, 0xA5, 0xBD}},
        {"A你好", TextEncoding::Gbk, {'A', 0xC4, 0xE3, 0xBA, 0xC3}},
        {"", TextEncoding::Gbk, {}},
        {"\xE4\xBD", TextEncoding::Utf8, {}, "not valid UTF-8 at byte 0"},
        {"a\xFFz", TextEncoding::Utf8, {}, "not valid UTF-8 at byte 1"},
        {"a\xFFz", TextEncoding::ShiftJis, {}, "\"\xFF\" at byte 1"},
        {"ab€", TextEncoding::ShiftJis, {}, "\"€\" at byte 2"},
    };
    for (const auto& c : cases) {
        try {
            EXPECT_EQ(TextToBytes(c.text, c.encoding), c.bytes) << c.text;
            EXPECT_EQ(c.refusal, "") << c.text << " was not refused";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(c.refusal, "") << e.what();
            EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
        }
    }
    for (const char* name : {"utf-8", "UTF8", "gbk", "cp936", "shift-jis", "Shift_JIS"})
        EXPECT_TRUE(ParseTextEncoding(name)) << name;
    EXPECT_EQ(ParseTextEncoding("Shift_JIS"), TextEncoding::ShiftJis);
    EXPECT_FALSE(ParseTextEncoding("latin1"));
}
