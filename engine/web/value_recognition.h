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

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/web/values/conventions.h"
#include "engine/web/values/format_codes.h"
#include "engine/web/values/lexicon.h"
#include "engine/web/values/locale_conventions.h"
#include "engine/web/values/number_reader.h"

namespace qf::engine {

class DateTimeReader;

// Reads the texts of one page: a number first (number_reader.h), then a date
// or a time (date_time_reader.h), both with the page's words (lexicon.h); the
// format codes they give are interned in the workbook's table. Threads: one
// reader per page, on its thread.
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
    // language is not in question still writes in one. False when that adds
    // no words: every text reads as it did.
    bool adoptLanguagesUsed();
    // The questions the last read asked of the page's words; a text whose
    // questions the adopted languages answer as before reads as it did.
    std::string_view questions() const { return questions_; }
    bool readsOtherwise(std::string_view questions) const { return lexicon_.answersOtherwise(questions); }

private:
    bool dates_;
    Lexicon lexicon_;
    FormatCodes codes_;
    NumberReader numberReader_;
    std::unique_ptr<DateTimeReader> dateTimeReader_;  // made on first use
    std::string text_;                                // the text being read, made plain
    std::string questions_;                           // the last read's (Lexicon::logQuestions)
};

}  // namespace qf::engine
