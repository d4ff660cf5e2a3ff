#pragma once
// The calendar's arithmetic: days of the proleptic Gregorian calendar, the
// weekday of a date, and the 1900 date system's serials the sheet keeps.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace qf::engine {

// A year written with two digits: 00..29 are 2000..2029, 30..99 1930..1999.
inline int expandYear(int y, std::size_t digitCount) {
    if (digitCount > 2) return y;
    return y < 30 ? 2000 + y : 1900 + y;
}

inline std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

inline bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

inline int daysInMonth(int y, int m) {
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[static_cast<std::size_t>(m - 1)];
}

// 1 Sunday .. 7 Saturday, as CLDR counts weekdays.
inline int weekdayOf(int y, int m, int d) {
    const std::int64_t days = daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));  // 0: a Thursday
    return static_cast<int>(((days % 7) + 7 + 4) % 7) + 1;
}

// The 1900 date system serial of a calendar date (1 is 1900-01-01; the system
// counts a 29 February 1900 that never was, so later dates are one higher);
// nothing for dates that do not exist or lie outside 1900..9999.
inline std::optional<double> dateSerial(int year, int month, int day) {
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return std::nullopt;
    std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    bool beforeMarch1900 = year == 1900 && month <= 2;
    std::int64_t epoch = beforeMarch1900 ? daysFromCivil(1899, 12, 31) : daysFromCivil(1899, 12, 30);
    return static_cast<double>(days - epoch);
}

}  // namespace qf::engine
