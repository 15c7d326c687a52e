#include "sys.h"
#include <gtest/gtest.h>
TEST(Text, AnsiRoundTrip) {
    std::string ansi;
    ASSERT_TRUE(Utf8ToAnsi("K\xC3\xB6ln \xE2\x82\xAC", ansi));
    EXPECT_EQ(ansi, "K\xF6ln \x80");
    EXPECT_EQ(AnsiToUtf8(ansi), "K\xC3\xB6ln \xE2\x82\xAC");
}
