#pragma once
// The conventions of writing values as bits, and what a text means under each
// of them: what the readers give (number_reader.h, date_time_reader.h) and the
// page's decision takes (page_values.h).

#include <array>
#include <cstdint>

#include "format_codes.h"
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

// The conventions of each marks, each order and each way of writing times.
struct ConventionTables {
    std::array<Conventions, kNumberMarksCount> marks{};
    std::array<Conventions, kDateOrderCount> orders{};
    std::array<Conventions, 2> timePoint{};
    constexpr ConventionTables() {
        for (unsigned m = 0; m < kNumberMarksCount; ++m)
            for (unsigned o = 0; o < kDateOrderCount; ++o)
                for (unsigned t = 0; t < 2; ++t) {
                    const Conventions bit = Conventions{1} << conventionIndex(static_cast<NumberMarks>(m),
                                                                              static_cast<DateOrder>(o), t == 1);
                    marks[m] |= bit;
                    orders[o] |= bit;
                    timePoint[t] |= bit;
                }
    }
};
inline constexpr ConventionTables kConventionTables{};

// Every convention whose marks (a bit per NumberMarks) or order (a bit per
// DateOrder) is in the set.
constexpr Conventions withMarks(unsigned marksBits) {
    Conventions out = 0;
    for (unsigned m = 0; m < kNumberMarksCount; ++m)
        if (marksBits & (1u << m)) out |= kConventionTables.marks[m];
    return out;
}
constexpr Conventions withOrders(unsigned orderBits) {
    Conventions out = 0;
    for (unsigned o = 0; o < kDateOrderCount; ++o)
        if (orderBits & (1u << o)) out |= kConventionTables.orders[o];
    return out;
}
constexpr Conventions withTimePoint(bool timeWithPoint) { return kConventionTables.timePoint[timeWithPoint ? 1 : 0]; }

// The marks and orders of the conventions in a set, as bits.
constexpr unsigned marksOf(Conventions set) {
    unsigned out = 0;
    for (unsigned m = 0; m < kNumberMarksCount; ++m)
        if (set & kConventionTables.marks[m]) out |= 1u << m;
    return out;
}
constexpr unsigned ordersOf(Conventions set) {
    unsigned out = 0;
    for (unsigned o = 0; o < kDateOrderCount; ++o)
        if (set & kConventionTables.orders[o]) out |= 1u << o;
    return out;
}

// What a text means under each convention.
struct Reading {
    enum class Kind : std::uint8_t { Empty, Text, Value } kind = Kind::Text;
    struct Alternative {
        double number = 0.0;
        FormatId format = 0;  // General
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

}  // namespace qf::engine
