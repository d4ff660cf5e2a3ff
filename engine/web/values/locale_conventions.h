#pragma once
// How the pages of a locale write numbers, dates and times: taken from CLDR
// through ICU once per locale, then kept unchanged for the program's life. The
// readers of cell values (number_reader.h, date_time_reader.h, and their
// lexicon.h) use these records as their data and never call ICU themselves.
//
// Threads: any thread may ask for a record; records never change or go away.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qf::engine {

// A locale's decimal mark, and the kind of mark it groups thousands with.
enum class NumberMarks : std::uint8_t {
    PointComma,       // 1,234.5   en, ja, zh, es-MX, ...
    CommaPoint,       // 1.234,5   de, es, it, nl, pt-BR, tr, ...
    CommaSpace,       // 1 234,5   fr, ru, pl, cs, sv, fi, nb, pt-PT, ... (any kind of space)
    PointSpace,       // 1 234.5
    PointApostrophe,  // 1’234.5   de-CH, it-CH, ...
    CommaApostrophe,  // 1’234,5
    PointOther,       // grouped with a mark not read here: ungrouped numbers only
    CommaOther,
};
inline constexpr unsigned kNumberMarksCount = 8;

// The order of the parts of a numeric date. Month first is only ever written
// with slashes (CLDR has no locale writing 12.7.2026 for 7 December). A locale
// whose dates are of another calendar than the Gregorian (th, fa, ar-SA) has
// none: its numeric dates and its month names are not read as dates.
enum class DateOrder : std::uint8_t { DayMonthYear, MonthDayYear, YearMonthDay, OtherCalendar };
inline constexpr unsigned kDateOrderCount = 4;

// What a word of a date or a time means in a language. A word may mean
// several things ("mar" a month and a filler): each meaning is kept.
struct DateWord {
    static constexpr std::uint8_t kAmbiguous = 0xff;  // two different months or weekdays
    std::uint8_t month = 0;                           // 1..12
    std::uint8_t weekday = 0;                         // 1 Sunday .. 7 Saturday
    std::uint8_t dayPeriod = 0;                       // 1 before noon, 2 after
    std::uint8_t marker = 0;   // right after a number: 1 it is the year, 2 the month, 3 the day ("年")
    bool full = false;         // the name written out
    bool abbreviated = false;  // the name abbreviated (a short name may be both)
    bool filler = false;       // stands inside a date or after a time ("de", "den", "г", "Uhr")
    bool glue = false;         // stands between a date and its time ("at", "um", "à")
    bool hourMark = false;     // between hours and minutes ("15 h 20")
};

// A language's words in the forms pages write them: as CLDR gives them,
// lower-case, capitalised and upper-case; abbreviations without their period.
// Day periods ("a. m.") are kept by their letters only ("am").
class DateWords {
public:
    const DateWord* find(std::string_view word) const {
        const auto it = words_.find(word);
        return it == words_.end() ? nullptr : &it->second;
    }
    void add(const std::string& word, const DateWord& meaning);
    std::size_t size() const { return words_.size(); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, DateWord, Hash, std::equal_to<>> words_;
};

struct LocaleConventions {
    std::string tag;       // language-Region as resolved: "de-DE", "zh-Hans-CN"
    std::string language;  // "de"
    NumberMarks marks = NumberMarks::PointComma;
    bool indianGrouping = false;  // 12,34,567
    DateOrder dateOrder = DateOrder::MonthDayYear;
    bool timeWithPoint = false;     // 15.20
    bool timeWithHourMark = false;  // 15 h 20
    // The Windows locale id that shows this language's month and weekday names
    // in a format code ("[$-407]"); 0 when there is none.
    std::uint32_t lcid = 0;
    std::vector<std::string> currencySigns;  // its currency's symbol and ISO code
    DateWords words;
};

// A language tag resolved to its record. A tag without a region takes the
// region CLDR finds likeliest ("de" is read as de-DE, "pt" as pt-BR).
struct ResolvedLocale {
    const LocaleConventions* record = nullptr;  // null: CLDR has no such language
    bool regionGiven = false;                   // the tag named its region
};
ResolvedLocale resolveLocale(std::string_view tag);

// The words of every language CLDR has (month, weekday and day period names)
// and the currency signs of every currency, for texts in a language none of a
// page's locales speaks. A name that means different things in different
// languages is left out. Made on first use (about a tenth of a second).
class WorldWords {
public:
    struct Entry {
        DateWord meaning;
        std::vector<std::uint16_t> languages;  // indexes into languageTags()
    };
    const Entry* find(std::string_view word) const {
        const auto it = words_.find(word);
        return it == words_.end() ? nullptr : &it->second;
    }
    bool isCurrencySign(std::string_view sign) const { return signs_.find(sign) != signs_.end(); }
    const std::vector<std::string>& languageTags() const { return languages_; }

private:
    friend const WorldWords& worldWords();
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    std::unordered_map<std::string, Entry, Hash, std::equal_to<>> words_;
    std::unordered_map<std::string, bool, Hash, std::equal_to<>> signs_;
    std::vector<std::string> languages_;
};
const WorldWords& worldWords();

}  // namespace qf::engine
