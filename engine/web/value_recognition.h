#pragma once
// Reads a laid-out cell text as the number, date or time it stands for, under
// each of the conventions a page may be written in; which of them a page is
// written in is decided from the page (page_values.h). Surrounding spaces of
// every kind are ignored.
//
//   numbers     "42", "-1,234.5", "1.234,5", "1 234,5", "1’234.5", "12,34,567",
//               "+.5", "1.5e3", "−5" (U+2212), "(1,234.50)" (negative)
//   percent     "12%", "12,5 %", "%12,5"           the fraction
//   currency    "$1,234.50", "1.234,50 €", "R$ 1.234,56", "CHF-1’234.50"
//   dates       numeric in any order with / . - ("07.12.2026", "12/7/26",
//               "2026-12-07", "2026. 12. 07.", "2026年12月7日"), and with month
//               names of any language CLDR has, full or abbreviated, with or
//               without a weekday ("Dec 7, 2026", "7. Dezember 2026",
//               "21.dez.2018", "7 de diciembre de 2026", "Montag, 7. Dezember
//               2026")                            the 1900 date system's serial
//   times       "15:20", "3:20:05 PM", "오후 3:20", and where a page's locale
//               writes them so "15.20" and "15 h 20"   the fraction of a day
//   date+time   a date, the locale's words or a comma, a time ("1 mars 2019 à
//               15:20", "21.dez.2018 às 12h55", "21 Nov 2017, 7:42pm")
// Every value gets a format code that shows it as the page wrote it.
//
// Texts stay text where a value would lose part of them: a leading zero
// ("0022"), more than 15 significant digits, a mark with nothing after it
// ("3."), a day that does not exist, a weekday that is not the date's, any
// word that is not part of the form, and every text starting with "=".

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/workbook/cell.h"
#include "locale_conventions.h"

namespace qf::engine {

// A convention of writing values: the decimal and grouping marks, the order of
// a numeric date's parts, and whether "15.20" is a time of day. A set of them
// is a bit mask.
using Conventions = std::uint64_t;
inline constexpr unsigned kConventionCount = kNumberMarksCount * kDateOrderCount * 2;
inline constexpr Conventions kAllConventions =
    kConventionCount == 64 ? ~Conventions{0} : (Conventions{1} << (kConventionCount % 64)) - 1;

constexpr unsigned conventionIndex(NumberMarks marks, DateOrder order, bool timeWithPoint) {
    return (static_cast<unsigned>(marks) * kDateOrderCount + static_cast<unsigned>(order)) * 2 +
           (timeWithPoint ? 1 : 0);
}
inline Conventions conventionOf(const LocaleConventions& locale) {
    return Conventions{1} << conventionIndex(locale.marks, locale.dateOrder, locale.timeWithPoint);
}
// Every convention whose marks (a bit per NumberMarks) or order (a bit per
// DateOrder) is in the set.
Conventions withMarks(unsigned marksBits);
Conventions withOrders(unsigned orderBits);
Conventions withTimePoint(bool timeWithPoint);
// The marks and orders of the conventions in a set, as bits.
unsigned marksOf(Conventions set);
unsigned ordersOf(Conventions set);

// What a text means under each convention.
struct Reading {
    enum class Kind : std::uint8_t { Empty, Text, Value } kind = Kind::Text;
    struct Alternative {
        double number = 0.0;
        FormatId format = kGeneralFormat;
        Conventions readers = 0;
    };
    // A number that is NaN stands for "a date of another calendar": a
    // convention reading it so leaves the text as it is.
    std::array<Alternative, 4> alternatives{};
    std::uint8_t count = 0;
    // Its shape leaves no doubt that it is a value: with one alternative it
    // stands whatever the page's conventions are.
    bool plain = false;
    // What the text tells about the conventions of its column: the marks
    // (orders) that read it, when its shape is one only some of them read.
    std::uint8_t marksVote = 0;
    std::uint8_t orderVote = 0;
    bool amount = false;         // a currency sign, grouping or decimals
    bool parenthesised = false;  // negative by its parentheses, and no amount
    bool bareDollar = false;     // "$" and a whole number: money, or a shell's "$1"
    bool dollarWord = false;     // "$" before something that is no number ("$HOME", "$@")
    // Read with words none of the page's languages has (or left text for
    // them): the page's other texts may tell the language, so it is read
    // again once they have.
    bool readAgain = false;
};

// The value a reading has under the conventions in question: the one
// alternative they read, or a plain reading's only one; null when they read it
// differently, or not at all (it is text).
const Reading::Alternative* valueUnder(const Reading& reading, Conventions inQuestion);

class TextParser;

// Reads the texts of one page. Threads: one reader per page, on its thread.
class ValueReader {
public:
    // locales: those a page's texts may be written in (their words, month
    // names and currency signs are read); dates off leaves dates as text.
    ValueReader(std::vector<const LocaleConventions*> locales, bool dates);
    ~ValueReader();
    ValueReader(const ValueReader&) = delete;
    ValueReader& operator=(const ValueReader&) = delete;

    Reading read(std::string_view text);

    // The languages whose names (found among every language's) the texts read
    // so far used most, and taking their words in from now on: a page whose
    // language is not in question still writes in one.
    void adoptLanguagesUsed();

private:
    struct Word {
        DateWord meaning;
        const LocaleConventions* locale = nullptr;  // null: every language's words
        bool english = false;
        bool fromWorld = false;  // a name of a language none of the page's speaks
    };
    friend class TextParser;
    bool readNumber(std::string_view text, Reading& out);
    std::optional<Word> lookUp(std::string_view word, std::vector<const LocaleConventions*>& extra);
    bool isCurrencySign(std::string_view sign) const;
    FormatId format(std::string_view code);
    // The format of a number's shape by a key made from it; code() makes the
    // code when the key is new.
    template <class Code>
    FormatId formatOf(std::uint64_t key, Code&& code) {
        auto& recent = recentFormats_[(key * 0x9E3779B97F4A7C15u) >> 60];
        if (recent.first == key + 1) return recent.second;
        FormatId id;
        if (const auto it = shapeFormats_.find(key); it != shapeFormats_.end()) {
            id = it->second;
        } else {
            id = format(code());
            shapeFormats_.emplace(key, id);
        }
        recent = {key + 1, id};
        return id;
    }
    std::uint64_t signIndex(std::string_view sign);
    const LocaleConventions* worldLanguage(std::uint16_t index);

    std::vector<const LocaleConventions*> locales_;
    bool dates_;
    std::string text_;                    // the text being read, made plain
    bool unknownSign_ = false;            // the number before or after a sign none of the page's languages has
    std::unique_ptr<TextParser> parser_;  // made on first use
    bool hourMark_ = false;               // a locale of the page writes "15 h 20"
    const WorldWords* world_ = nullptr;
    std::unordered_map<std::uint16_t, const LocaleConventions*> worldLanguages_;
    std::unordered_map<std::uint16_t, unsigned> worldLanguagesUsed_;
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, FormatId, Hash, std::equal_to<>> formats_;
    std::unordered_map<std::uint64_t, FormatId> shapeFormats_;
    std::array<std::pair<std::uint64_t, FormatId>, 16> recentFormats_{};  // key + 1, by a hash of the key
    std::vector<std::string> signs_;  // the currency signs seen, by their index in shape keys
};

// The 1900 date system serial of a calendar date (1 is 1900-01-01; the system
// counts a 29 February 1900 that never was, so later dates are one higher);
// nothing for dates that do not exist or lie outside 1900..9999.
std::optional<double> dateSerial(int year, int month, int day);

}  // namespace qf::engine
