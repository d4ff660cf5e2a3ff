// Pages written by CLDR itself: ICU's own formatters turn known values into the
// texts of many locales (numbers, percentages, money, dates and times in every
// style), the texts become pages of one table per shape, and every cell the
// layout gives must be the known value or the text as the page wrote it.

#include <gtest/gtest.h>
#include <unicode/calendar.h>
#include <unicode/datefmt.h>
#include <unicode/numfmt.h>
#include <unicode/timezone.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include "engine/web/html_layout.h"
#include "engine/web/values/locale_conventions.h"
#include "engine/web/values/calendar.h"
#include "reading_locales.h"

namespace qf::engine {
namespace {

struct Sample {
    std::string text;
    double value;      // as the sheet holds it: a percentage's fraction, a date's serial
    double tolerance;  // what the formatter's rounding may have taken off
};

// A way of writing values: a name and the samples ICU writes with it in a locale.
struct Shape {
    std::string name;
    std::function<std::vector<Sample>(const icu::Locale&)> samples;
};

std::string utf8(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

Shape numbers(std::string name, std::vector<double> values, int decimals,
              std::function<icu::NumberFormat*(const icu::Locale&, UErrorCode&)> make, double scale = 1) {
    return {std::move(name), [=](const icu::Locale& locale) {
                UErrorCode status = U_ZERO_ERROR;
                std::unique_ptr<icu::NumberFormat> f(make(locale, status));
                if (decimals >= 0) {
                    f->setMinimumFractionDigits(decimals);
                    f->setMaximumFractionDigits(decimals);
                }
                std::vector<Sample> out;
                for (double v : values) {
                    icu::UnicodeString text;
                    f->format(v, text);
                    const int shown = decimals >= 0 ? decimals : f->getMaximumFractionDigits();
                    out.push_back({utf8(text), v, 0.5 * std::pow(10.0, -shown) / scale + 1e-9});
                }
                return out;
            }};
}

struct When {
    int y, m, d, h, min, s;
};
// Days past 12 and below it, so that a column of them shows its order.
const std::vector<When> kWhens = {{2026, 12, 7, 15, 20, 5},  {2021, 3, 25, 7, 42, 0}, {2015, 7, 24, 12, 55, 30},
                                  {2017, 11, 21, 19, 42, 0}, {2019, 3, 1, 0, 5, 0},   {2015, 4, 8, 12, 46, 0},
                                  {2000, 1, 5, 23, 59, 59}};

double serialOf(const When& w, bool date, bool time) {
    return (date ? *dateSerial(w.y, w.m, w.d) : 0.0) + (time ? (w.h * 3600.0 + w.min * 60 + w.s) / 86400.0 : 0.0);
}

Shape moments(std::string name, int dateStyle, int timeStyle) {
    return {std::move(name), [=](const icu::Locale& locale) {
                using F = icu::DateFormat;
                std::unique_ptr<F> f(
                    dateStyle < 0   ? F::createTimeInstance(F::EStyle(timeStyle), locale)
                    : timeStyle < 0 ? F::createDateInstance(F::EStyle(dateStyle), locale)
                                    : F::createDateTimeInstance(F::EStyle(dateStyle), F::EStyle(timeStyle), locale));
                f->setTimeZone(*icu::TimeZone::getGMT());
                UErrorCode status = U_ZERO_ERROR;
                std::unique_ptr<icu::Calendar> calendar(
                    icu::Calendar::createInstance(*icu::TimeZone::getGMT(), icu::Locale::getUS(), status));
                std::vector<Sample> out;
                for (const When& w : kWhens) {
                    calendar->clear();
                    calendar->set(w.y, w.m - 1, w.d, w.h, w.min, w.s);
                    icu::UnicodeString text;
                    f->format(calendar->getTime(status), text);
                    // A short time shows no seconds.
                    const bool seconds = timeStyle != F::kShort;
                    When shown = w;
                    if (!seconds) shown.s = 0;
                    out.push_back({utf8(text), serialOf(shown, dateStyle >= 0, timeStyle >= 0), 1e-6});
                }
                return out;
            }};
}

const std::vector<Shape>& shapes() {
    using N = icu::NumberFormat;
    static const std::vector<Shape> all = {
        numbers("integer", {1500, 2000, 45000, 3000000, 67390000, 7, 999}, 0,
                [](const icu::Locale& l, UErrorCode& s) { return N::createInstance(l, s); }),
        numbers("3 decimals", {1.234, 12.345, 0.125, 2.5, 1234.567}, 3,
                [](const icu::Locale& l, UErrorCode& s) { return N::createInstance(l, s); }),
        numbers("2 decimals", {2.75, 0.99, 1234.5, 12.5, 1500000.25}, 2,
                [](const icu::Locale& l, UErrorCode& s) { return N::createInstance(l, s); }),
        numbers("negative", {-1234.56, -0.5, -42, -1500}, -1,
                [](const icu::Locale& l, UErrorCode& s) { return N::createInstance(l, s); }),
        numbers(
            "percent", {0.125, 0.5, 0.0725, 1.5}, 1,
            [](const icu::Locale& l, UErrorCode& s) { return N::createPercentInstance(l, s); }, 100),
        numbers("currency", {1234.5, 0.99, -12.25, 1500}, -1,
                [](const icu::Locale& l, UErrorCode& s) { return N::createCurrencyInstance(l, s); }),
        moments("short date", icu::DateFormat::kShort, -1),
        moments("medium date", icu::DateFormat::kMedium, -1),
        moments("long date", icu::DateFormat::kLong, -1),
        moments("full date", icu::DateFormat::kFull, -1),
        moments("short time", -1, icu::DateFormat::kShort),
        moments("medium time", -1, icu::DateFormat::kMedium),
        moments("medium date+time", icu::DateFormat::kMedium, icu::DateFormat::kShort),
        moments("long date+time", icu::DateFormat::kLong, icu::DateFormat::kShort),
    };
    return all;
}

const std::vector<std::string> kLocales = {"en-US", "en-GB", "en-IN", "de-DE", "de-CH", "fr-FR", "fr-CA",
                                           "es-ES", "es-MX", "it-IT", "pt-BR", "pt-PT", "nl-NL", "sv-SE",
                                           "pl-PL", "ru-RU", "cs-CZ", "da-DK", "fi-FI", "nb-NO", "tr-TR",
                                           "ja-JP", "ko-KR", "hu-HU", "zh-CN", "uk-UA", "el-GR", "id-ID"};

struct Tally {
    int typed = 0, text = 0, wrong = 0;
    int counted = 0, countedTyped = 0;  // the cells the share is asserted on
};

// Leaves cells out of the asserted share.
using Undecidable = std::function<bool(const std::string& text)>;

// "15.20", "15.20.05", "07.12.26": what a locale writing times with points
// (da, fi, id) writes as a time of day.
bool timeLike(const std::string& text) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '.')
            parts.emplace_back();
        else if (c >= '0' && c <= '9')
            parts.back() += c;
        else
            return false;
    }
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() || parts[0].size() > 2) return false;
    return std::all_of(parts.begin() + 1, parts.end(), [](const std::string& p) { return p.size() == 2; });
}

// Texts no shapes on a page tell the meaning of: those above, and dates of
// three short numbers, which a locale writing the year first (eu, eo) reads
// as another date.
bool undecidedByShapes(const std::string& text) {
    std::size_t parts = 0, longest = 0, run = 0;
    for (char c : text + ".") {
        if (c >= '0' && c <= '9') {
            ++run;
        } else if (c == '/' || c == '-' || c == '.' || c == ' ') {
            parts += run > 0;
            longest = std::max(longest, run);
            run = 0;
        } else {
            return false;
        }
    }
    return (parts == 3 && longest <= 2) || timeLike(text);
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '<' ? "&lt;" : c == '&' ? "&amp;" : std::string(1, c);
    return out;
}

// Lays a locale's page out (one table per shape; with the lang attribute when
// lang is set) and counts each shape's cells.
std::map<std::string, Tally> readPage(const std::string& tag, const std::string& lang, const Locales& locales,
                                      const Undecidable& undecidable) {
    const icu::Locale locale = icu::Locale::forLanguageTag(tag, *std::make_unique<UErrorCode>(U_ZERO_ERROR));
    std::string page = lang.empty() ? "<html><body>" : "<html lang='" + lang + "'><body>";
    std::vector<std::pair<const Shape*, std::vector<Sample>>> written;
    for (const Shape& shape : shapes()) {
        written.emplace_back(&shape, shape.samples(locale));
        page += "<h2>" + shape.name + "</h2><table>";
        for (const Sample& s : written.back().second) page += "<tr><td>" + escape(s.text) + "</td></tr>";
        page += "</table>";
    }
    const PageGrid grid = layoutHtml(page, reading(locales));
    std::map<std::string, Tally> tallies;
    std::size_t row = 0;
    for (const auto& [shape, samples] : written) {
        ++row;  // the heading
        for (const Sample& s : samples) {
            const CellValue& cell = grid.rows.at(row++).at(0);
            Tally& t = tallies[shape->name];
            const bool counts = !undecidable || !undecidable(s.text);
            t.counted += counts;
            if (cell.kind == CellValue::Kind::Text && cell.text == s.text) {
                ++t.text;
            } else if (cell.kind == CellValue::Kind::Number && std::fabs(cell.number - s.value) <= s.tolerance) {
                ++t.typed;
                t.countedTyped += counts;
            } else {
                ++t.wrong;
                ADD_FAILURE() << tag << " [" << lang << "] " << shape->name << ": \"" << s.text << "\" means "
                              << s.value << " but became "
                              << (cell.kind == CellValue::Kind::Number ? std::to_string(cell.number)
                                                                       : "\"" + cell.text + "\"");
            }
        }
    }
    return tallies;
}

// Runs every locale's page one way and prints the typed share per locale and
// shape; returns the share typed of the cells `undecidable` leaves in.
double survey(const std::string& title, const std::function<std::string(const std::string&)>& lang,
              const std::function<Locales(const std::string&)>& locales, const Undecidable& undecidable = {}) {
    std::printf("\n%s: typed cells of each shape, in %%\n%-7s", title.c_str(), "");
    for (const Shape& s : shapes()) std::printf(" %5.5s", s.name.c_str());
    std::printf("\n");
    int typed = 0, counted = 0, wrong = 0;
    for (const std::string& tag : kLocales) {
        const auto tallies = readPage(tag, lang(tag), locales(tag), undecidable);
        std::printf("%-7s", tag.c_str());
        for (const Shape& s : shapes()) {
            const Tally& t = tallies.at(s.name);
            std::printf(" %5.0f", 100.0 * t.typed / (t.typed + t.text + t.wrong));
            typed += t.countedTyped;
            counted += t.counted;
            wrong += t.wrong;
        }
        std::printf("\n");
    }
    std::printf("typed: %.1f%% of %d cells that have a value, %d wrong\n", 100.0 * typed / counted, counted, wrong);
    return static_cast<double>(typed) / counted;
}

TEST(CldrValues, PagesThatDeclareTheirLanguageAreReadRight) {
    const double share = survey(
        "lang declared, user en-US", [](const std::string& tag) { return tag; },
        [](const std::string&) {
            return Locales{"", "en-US"};
        });
    EXPECT_GE(share, 0.98);
}

TEST(CldrValues, PagesWithoutALanguageAreReadByTheirShapesOrTheUsersLocale) {
    // The user's own locale: the page is read as the user writes.
    const double own = survey(
        "no lang, the user's own locale", [](const std::string&) { return std::string(); },
        [](const std::string& tag) {
            return Locales{"", tag};
        });
    EXPECT_GE(own, 0.98);
    // A user elsewhere: the shapes decide. Nothing on a page shows whether
    // "15.20" or "07.12.26" is a time (written so in da, fi and id) or a number
    // or a date: those stay text, and are left out of the share.
    const double foreign = survey(
        "no lang, user en-US", [](const std::string&) { return std::string(); },
        [](const std::string&) {
            return Locales{"", "en-US"};
        },
        undecidedByShapes);
    EXPECT_GE(foreign, 0.98);
}

// Where the evidence is weaker, fewer cells are typed, and none wrong (each
// cell is checked as it is read).
TEST(CldrValues, WeakerEvidenceNeverGivesAWrongValue) {
    survey(
        "no lang, user de-DE", [](const std::string&) { return std::string(); },
        [](const std::string&) {
            return Locales{"", "de-DE"};
        });
    // "es" on a Mexican page is read as es-ES, "en" on a British page as en-US.
    survey(
        "lang without its region, user en-US", [](const std::string& tag) { return tag.substr(0, tag.find('-')); },
        [](const std::string&) {
            return Locales{"", "en-US"};
        });
}

// Every locale CLDR has, on a page that declares it: nothing read wrong.
TEST(CldrValues, EveryLocaleOfCldrIsReadRightOrLeftText) {
    int32_t count = 0;
    const icu::Locale* all = icu::Locale::getAvailableLocales(count);
    int typed = 0, cells = 0, wrong = 0;
    for (int32_t i = 0; i < count; ++i) {
        UErrorCode status = U_ZERO_ERROR;
        const std::string tag = all[i].toLanguageTag<std::string>(status);
        for (const auto& [shape, t] : readPage(tag, tag, {"", "en-US"}, {})) {
            typed += t.typed;
            cells += t.typed + t.text + t.wrong;
            wrong += t.wrong;
        }
    }
    std::printf("\n%d locales: %d of %d cells typed, %d wrong\n", count, typed, cells, wrong);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace qf::engine
