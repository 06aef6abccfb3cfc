#include <gtest/gtest.h>

#include <clocale>
#include <cstring>

#include "core/text_codec.h"

using namespace orvix;

namespace {

// Runs a test body under a UTF-8 locale and puts the previous one back.
class Utf8Locale : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::setlocale(LC_ALL, nullptr);
        if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) GTEST_SKIP() << "no C.UTF-8 locale";
    }
    void TearDown() override { std::setlocale(LC_ALL, previous_.c_str()); }
    std::string previous_;
};

}  // namespace

TEST_F(Utf8Locale, NarrowAndBack) {
    EXPECT_EQ(toNarrow(u"caf\u00e9"), "caf\xc3\xa9");
    EXPECT_EQ(fromNarrow("caf\xc3\xa9"), u"caf\u00e9");
    EXPECT_EQ(toNarrow(u"\U0001F600"), "\xf0\x9f\x98\x80");
    EXPECT_EQ(fromNarrow(std::string_view("\xf0\x9f\x98\x80")), u"\U0001F600");
}

TEST_F(Utf8Locale, FieldCutNeverSplitsACharacter) {
    char field[6];
    // "aaaa" + e-acute (2 bytes) would need 7 bytes with the NUL.
    EXPECT_EQ(toNarrowField(u"aaaa\u00e9", field, sizeof field), 4u);
    EXPECT_STREQ(field, "aaaa");
    EXPECT_EQ(toNarrowField(u"aaa\u00e9", field, sizeof field), 5u);
    EXPECT_STREQ(field, "aaa\xc3\xa9");
    EXPECT_EQ(toNarrowField(u"", field, sizeof field), 0u);
    EXPECT_EQ(std::memcmp(field, "\0\0\0\0\0\0", 6), 0);
}

TEST_F(Utf8Locale, InvalidNarrowBytesBecomeReplacement) {
    EXPECT_EQ(fromNarrow(std::string_view("a\xff" "b")), u"a\ufffdb");
    // Stops at the first NUL and at the given length.
    EXPECT_EQ(fromNarrow("ab\0cd", 5), u"ab");
    EXPECT_EQ(fromNarrow("abcd", 2), u"ab");
}

TEST(TextCodec, CLocaleReplacesWhatItCannotRepresent) {
    std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(toNarrow(u"a\u00e9b"), "a?b");
    std::setlocale(LC_ALL, previous.c_str());
}

TEST(TextCodec, Utf8RoundTripAndMalformedInput) {
    const std::u16string text = u"K\u00f6ln \uc624\uc804 \U0001F600";
    EXPECT_EQ(fromUtf8(toUtf8(text)), text);
    EXPECT_EQ(fromUtf8("\xc3"), u"\ufffd");          // truncated
    EXPECT_EQ(fromUtf8("\xc0\xaf"), u"\ufffd\ufffd");  // overlong
    EXPECT_EQ(toUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");  // lone surrogate
}
