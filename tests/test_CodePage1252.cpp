#include "platform/CodePage1252.h"

#include <gtest/gtest.h>

TEST(CodePage1252, MapsTheWindowsBlockAndReplacesTheRest)
{
    const std::pair<char16_t, unsigned char> cases[] = {
        {u'A', 0x41},      {u'\u20ac', 0x80},       {u'\u201a', 0x82}, {u'\u0192', 0x83},
        {u'\u2122', 0x99}, {u'\u0178', 0x9F},       {u'\u00a0', 0xA0}, {u'\u00e9', 0xE9},
        {u'\u00ff', 0xFF}, {u'\u0081', 0x81},       {u'\u009d', 0x9D}, {u'\u0100', '?'},
        {u'\u0416', '?'},  {char16_t(0xD800), '?'}, {u'\u0080', '?'},  {u'\u0000', 0x00},
    };
    for (const auto& [code, byte] : cases)
        EXPECT_EQ(static_cast<unsigned char>(platform::unicodeToCp1252(code)), byte) << int(code);
    for (int b = 0; b < 256; ++b) {
        const char16_t c = platform::cp1252ToUnicode(static_cast<unsigned char>(b));
        EXPECT_EQ(static_cast<unsigned char>(platform::unicodeToCp1252(c)), b) << b;
    }
    EXPECT_EQ(platform::toCp1252(u"\u20ac 5 \u2013 \u0416"), QByteArray("\x80 5 \x96 ?"));
    EXPECT_EQ(platform::fromCp1252("\x80\x93x\x94"), QString::fromUtf8("\u20ac\u201cx\u201d"));
}
