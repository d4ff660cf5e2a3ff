#pragma once
// What the record of a locale and the words of every language are made from:
// CLDR's names and patterns as ICU gives them, read into the forms pages write
// them in. Used while records are made (locale_conventions.cpp,
// world_words.cpp), never while values are read.

#include <unicode/datefmt.h>
#include <unicode/dtfmtsym.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <string>
#include <vector>

#include "locale_conventions.h"

namespace qf::engine::cldr {

// One word's meanings together; two different months (or weekdays, ...) make
// it ambiguous.
void merge(DateWord& w, const DateWord& other);

std::string utf8(const icu::UnicodeString& s);
bool isLetter(UChar32 c);
// Letters, or words of letters joined by hyphens ("segunda-feira").
bool oneWord(const icu::UnicodeString& s);

// The forms a page may write a name in: as given, lower-case, upper-case and
// capitalised, each once.
std::vector<std::string> caseForms(const icu::UnicodeString& name, const icu::Locale& locale);

// A day period by its letters only: "a. m." is "am".
icu::UnicodeString lettersOf(const icu::UnicodeString& s);

// Adds a month or weekday name (its period dropped) in every case form.
template <class Sink>
void addName(Sink& sink, icu::UnicodeString name, const icu::Locale& locale, const DateWord& meaning) {
    name.trim();
    if (name.endsWith(icu::UnicodeString(u'.'))) name.truncate(name.length() - 1);
    if (!oneWord(name)) return;  // "thg 12", "12月": not one word
    for (const std::string& form : caseForms(name, locale)) sink.add(form, meaning);
}

// The month, weekday and day period names of a locale.
template <class Sink>
void addNames(Sink& words, const icu::DateFormatSymbols& symbols, const icu::Locale& locale) {
    using S = icu::DateFormatSymbols;
    for (const auto context : {S::FORMAT, S::STANDALONE}) {
        for (const auto width : {S::WIDE, S::ABBREVIATED}) {
            int32_t count = 0;
            const icu::UnicodeString* months = symbols.getMonths(count, context, width);
            for (int32_t m = 0; m < count && m < 12; ++m) {
                DateWord w;
                w.month = static_cast<std::uint8_t>(m + 1);
                w.full = width == S::WIDE;
                w.abbreviated = !w.full;
                addName(words, months[m], locale, w);
            }
            const icu::UnicodeString* days = symbols.getWeekdays(count, context, width);
            for (int32_t d = 1; d < count && d <= 7; ++d) {
                DateWord w;
                w.weekday = static_cast<std::uint8_t>(d);
                w.full = width == S::WIDE;
                w.abbreviated = !w.full;
                addName(words, days[d], locale, w);
            }
        }
    }
    int32_t count = 0;
    const icu::UnicodeString* periods = symbols.getAmPmStrings(count);
    for (int32_t p = 0; p < count && p < 2; ++p) {
        DateWord w;
        w.dayPeriod = static_cast<std::uint8_t>(p + 1);
        const icu::UnicodeString letters = lettersOf(periods[p]);
        if (!letters.isEmpty())
            for (const std::string& form : caseForms(letters, locale)) words.add(form, w);
    }
}

// A date or time pattern of CLDR, read into its fields and literal texts.
struct PatternItem {
    char16_t field = 0;  // 0 for a literal
    int count = 0;
    icu::UnicodeString literal;
};
std::vector<PatternItem> parsePattern(const icu::UnicodeString& p);
icu::UnicodeString patternOf(const icu::DateFormat* format);

// Each run of letters of a literal text.
std::vector<icu::UnicodeString> wordsOf(const icu::UnicodeString& literal);

}  // namespace qf::engine::cldr
