#include "base/text.h"

#include <gtest/gtest.h>

#include <string>

namespace qf {
namespace {

TEST(Utf8, ValidationRefusesMalformedSequencesWhereverTheyStand) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
    for (const std::string bad : {"\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                                  "\xF5\x80\x80\x80", "\xE2\x82", "\xFF"}) {
        EXPECT_FALSE(isValidUtf8(bad)) << bad.size();
        // Behind a long ASCII run, at each place the block-wise scan can leave it.
        for (std::size_t lead : {31u, 32u, 33u, 63u, 64u}) {
            const std::string text = std::string(lead, 'a') + bad + std::string(40, 'b');
            EXPECT_FALSE(isValidUtf8(text)) << lead;
        }
    }
    // A sequence cut by the end of the text after a long ASCII run.
    EXPECT_FALSE(isValidUtf8(std::string(32, 'a') + "\xF0\x9F\x98"));
    EXPECT_TRUE(isValidUtf8(std::string(32, 'a') + "\xF0\x9F\x98\x80" + std::string(32, 'a')));
}

TEST(Utf8, CountsCharactersAndUtf16Units) {
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a, e acute, euro sign, an emoji
    EXPECT_EQ(utf8CharacterCount(text), 4u);
    EXPECT_EQ(utf16Units(text), 5u);
    EXPECT_EQ(utf8CharacterCount(""), 0u);
}

TEST(AsciiCase, ComparesLettersInAnyCaseAndNothingElse) {
    EXPECT_TRUE(sameIgnoringAsciiCase("Quillfen.List", "QUILLFEN.list"));
    EXPECT_FALSE(sameIgnoringAsciiCase("List", "List "));
    EXPECT_FALSE(sameIgnoringAsciiCase("[", "{"));                // not letters, though 32 apart
    EXPECT_FALSE(sameIgnoringAsciiCase("\xC3\xA9", "\xC3\x89"));  // non-ASCII letters keep their case

    EXPECT_TRUE(startsWithIgnoringAsciiCase("http://a.example", "HTTP://"));
    EXPECT_TRUE(startsWithIgnoringAsciiCase("HTTP://", "HTTP://"));
    EXPECT_FALSE(startsWithIgnoringAsciiCase("HTTP:/", "HTTP://"));  // shorter than the prefix
    EXPECT_FALSE(startsWithIgnoringAsciiCase("{rl;", "[RL;"));
    EXPECT_EQ(asciiLower('Q'), 'q');
    EXPECT_EQ(asciiLower('@'), '@');  // just before 'A'
    EXPECT_EQ(asciiLower('['), '[');  // just after 'Z'
}

}  // namespace
}  // namespace qf
