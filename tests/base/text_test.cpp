#include "base/text.h"

#include <gtest/gtest.h>

#include <iterator>
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
    // A prefix of whole characters: never a sequence cut in two.
    const std::size_t bytes[] = {0, 1, 3, 6, 10, 10};
    for (std::size_t count = 0; count < std::size(bytes); ++count)
        EXPECT_EQ(utf8Prefix(text, count), text.substr(0, bytes[count])) << count;
}

TEST(Trim, TakesEachCallersCharactersOffTheEnds) {
    struct Row {
        std::string_view text, set, both, end;
    };
    for (const Row& r :
         {Row{" \ta b\t ", " \t", "a b", " \ta b"}, Row{"\r\n text \r\n", "\r\n ", "text", "\r\n text"},
          Row{"\v x \v", " \t", "\v x \v", "\v x \v"}, Row{" \t ", " \t", "", ""}, Row{"", " ", "", ""}}) {
        EXPECT_EQ(trimAny(r.text, r.set), r.both) << r.text;
        EXPECT_EQ(trimEndAny(r.text, r.set), r.end) << r.text;
    }
    EXPECT_EQ(trimAsciiSpace("\v\f\r\n\t x y \v\f"), "x y");
    EXPECT_EQ(trimAsciiSpace("\x1c x \xa0"), "\x1c x \xa0");  // neither is ASCII white space
    EXPECT_TRUE(isAsciiControl('\0') && isAsciiControl('\x1f') && isAsciiControl('\x7f'));
    EXPECT_FALSE(isAsciiControl(' ') || isAsciiControl('~') || isAsciiControl('\x80'));
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
