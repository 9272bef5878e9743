#include "../logic/text_format.h"

#include <gtest/gtest.h>

#include <climits>

namespace kestro {
namespace {

TEST(HexTest, UpperCaseNoLeadingZerosNegativeAsTwosComplement) {
    const struct {
        int32_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {2, "2"},
        {-1, "FFFFFFFF"},
        {0x05A0, "5A0"},
        {255, "FF"},
        {INT32_MAX, "7FFFFFFF"},
        {INT32_MIN, "80000000"},
        {-6, "FFFFFFFA"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(c.value), c.text) << c.value;
    }
}

TEST(ErrorReportTest, TwoBlanksBeforeANonNegativeNumberOneBeforeANegative) {
    EXPECT_EQ(ErrorReportText(RunTimeError(6, "Overflow")), "Overflow  6");
    EXPECT_EQ(ErrorReportText(RunTimeError(0, "Nothing")), "Nothing  0");
    EXPECT_EQ(ErrorReportText(RunTimeError(-5, "Odd")), "Odd -5");
}

TEST(ErrorReportTest, RunTimeErrorMessageNamesNumberAndDescription) {
    EXPECT_EQ(RunTimeErrorMessage(RunTimeError(53, "File not found: kestro.dll")),
              "Run-time error '53':\r\n\r\nFile not found: kestro.dll");
}

TEST(UpperTail6Test, LastSixCharactersInUpperCase) {
    EXPECT_EQ(UpperTail6("USB/HID IDTECH"), "IDTECH");
    EXPECT_EQ(UpperTail6("usb/hid magtek"), "MAGTEK");
    EXPECT_EQ(UpperTail6("USB/KB"), "USB/KB");
    EXPECT_EQ(UpperTail6("kb"), "KB");
    EXPECT_EQ(UpperTail6(""), "");
}

}  // namespace
}  // namespace kestro
