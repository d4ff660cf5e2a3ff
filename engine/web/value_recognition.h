#pragma once
// Turns a laid-out cell text into the value a person typing it into a sheet
// would get, read as in an en-US locale.
//
// Recognised (surrounding spaces and non-breaking spaces ignored):
//   numbers    "42", "-1,234.5", "+.5", "(12)" (negative), "1.5e3", "007" (7)
//   percent    "12%", "-3.5 %"            fraction, NumberFormat::Percent
//   currency   "$1,234.50", "-$5", "($5)" NumberFormat::Currency
//   dates      "12/7/2026", "12/7/26", "2026-12-07", "Dec 7, 2026",
//              "December 7, 2026", "7-Dec-2026", "7-Dec-26"
//                                         1900 date system serial, NumberFormat::Date
//   times      "3:30", "15:30:05", "3:30 PM", "3:30:05am"
//                                         fraction of a day, NumberFormat::Time
//   date+time  "12/7/2026 3:30 PM"        NumberFormat::DateTime
// Anything else, and every text starting with "=", stays text. With dates off,
// texts that read as dates (with or without a time) stay text.

#include <optional>
#include <string_view>

#include "engine/workbook/cell.h"

namespace qf::engine {

// The cell value for a text; an empty (or all-space) text gives an empty cell.
CellValue recognizeValue(std::string_view text, bool recognizeDates);

// The 1900 date system serial of a calendar date (1 is 1900-01-01; the system
// counts a 29 February 1900 that never was, so later dates are one higher);
// nothing for dates that do not exist or lie outside 1900..9999.
std::optional<double> dateSerial(int year, int month, int day);

}  // namespace qf::engine
