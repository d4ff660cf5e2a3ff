// Which cell texts become values, and which value and format, in the
// conventions a page is decided to be written in.

#include <gtest/gtest.h>

#include <cstdio>

#include "engine/web/html_layout.h"
#include "reading_locales.h"

namespace qf::engine {
namespace {

// A cell as the tests write it: a text as it is, a number as "#<value>" and
// its format code after a space unless it is General.
std::string show(const CellValue& c) {
    if (c.kind != CellValue::Kind::Number) return c.text;
    char buf[64];
    std::snprintf(buf, sizeof buf, "#%.15g", c.number);
    std::string out = buf;
    if (c.format != kGeneralFormat) out += " " + std::string(formatCode(c.format));
    return out;
}

using Cells = std::vector<std::string>;

// The first column of a page's cells.
Cells firstColumn(const std::string& page, const Locales& locales) {
    Cells out;
    for (const auto& row : layoutHtml(page, reading(locales)).rows) out.push_back(row.empty() ? "" : show(row[0]));
    return out;
}

std::string table(const Cells& texts, const std::string& attributes = "") {
    std::string t = "<table" + attributes + ">";
    for (const std::string& text : texts) t += "<tr><td>" + text + "</td></tr>";
    return t + "</table>";
}

std::string page(const std::string& lang, const std::string& body) {
    return (lang.empty() ? "<html><body>" : "<html lang='" + lang + "'><body>") + body;
}

struct Case {
    std::string text, lang, shown;
};

// Each text alone on a page of its language, read by an en-US user.
void expectEach(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(firstColumn(page(c.lang, table({c.text})), {"", "en-US"}), Cells{c.shown})
            << '"' << c.text << "\" lang " << c.lang;
}

// The format shows what the page wrote: a month or weekday name in full where
// it was written in full (also where its short form is spelled the same), and
// a number with an exponent in scientific form.
TEST(Values, FullNamesAndExponentsAreShownAsWritten) {
    expectEach({{"1. Juli 2025", "de", "#45839 [$-407]d. mmmm yyyy"},
                {"3. M\xC3\xA4rz 2025", "de", "#45719 [$-407]d. mmmm yyyy"},
                {"3. M\xC3\xA4r. 2025", "de", "#45719 [$-407]d. mmm. yyyy"},
                {"1 mai 2025", "fr", "#45778 [$-40C]d mmmm yyyy"},
                {"Mo., 3. M\xC3\xA4rz 2025", "de", "#45719 [$-407]ddd., d. mmmm yyyy"},
                {"1e5", "", "#100000 0e-0"},
                {"12e3", "", "#12000 00e-0"},
                {"1.25E+10", "", "#12500000000 0.00E+00"},
                {"-6.02e-23", "", "#-6.02e-23 0.00e-00"},
                {"3.0E003", "", "#3000 0.0E-000"},
                {"12.5", "", "#12.5"}});  // without an exponent: the spreadsheet's own format
}

TEST(Values, TheFormsReadBeforeStillReadOnEnglishPagesAndShowAsWritten) {
    expectEach({{"42", "", "#42"},
                {"-1,234.5", "", "#-1234.5 #,##0.0"},
                {"+.5", "", "#0.5"},
                {"1,234,567", "en", "#1234567 #,##0"},
                {"1.5e3", "", "#1500 0.0e-0"},  // in scientific form, as the page wrote it
                {"2E-2", "", "#0.02 0E-0"},
                {"- 4", "", "#-4"},
                {"\xC2\xA0"
                 "17\xC2\xA0",
                 "", "#17"},
                {"1.50", "", "#1.5 0.00"},
                {"12%", "", "#0.12 0%"},
                {"-3.5 %", "", "#-0.035 0.0 %"},
                {"$1,234.50", "", "#1234.5 $#,##0.00"},
                {"-$5", "", "#-5 $0"},
                {"$-5", "", "#-5 $0"},
                {"($5.25)", "", "#-5.25 $0.00;($0.00)"},
                {"12/7/2026", "", "#46363 mm/d/yyyy"},
                {"12/07/26", "", "#46363 mm/dd/yy"},
                {"2026-12-07", "", "#46363 yyyy-mm-dd"},
                {"Dec 7, 2026", "", "#46363 mmm d, yyyy"},
                {"December 7 2026", "", "#46363 mmmm d yyyy"},
                {"7-dec-26", "", "#46363 d-mmm-yy"},
                {"1/1/1900", "", "#1 m/d/yyyy"},
                {"2/28/1900", "", "#59 m/dd/yyyy"},
                {"3/1/1900", "", "#61 m/d/yyyy"},
                {"1/1/30", "", "#10959 m/d/yy"},
                {"12/31/29", "", "#47483 mm/dd/yy"},
                {"2/29/2024", "", "#45351 m/dd/yyyy"},
                {"12/31/9999", "", "#2958465 mm/dd/yyyy"},
                {"1.2.2026", "", "#46054 d.m.yyyy"},
                {"3:30", "", "#0.145833333333333 h:mm"},
                {"15:30:36", "", "#0.64625 hh:mm:ss"},
                {"3:30 PM", "", "#0.645833333333333 h:mm AM/PM"},
                {"12:00am", "", "#0 hh:mmam/pm"},
                {"12/7/2026 6:00 PM", "", "#46363.75 mm/d/yyyy h:mm AM/PM"},
                {"11-26-02 22:30", "", "#37586.9375 mm-dd-yy hh:mm"}});
    // Still text, on an English page: what is no number or date there.
    for (const char* text :
         {"1,23",       "12,3456", ",123",        "1,,234",    "1.2.3",       "1e",         "--5",
          "(-5)",       "5-",      "12abc",       "0x1F",      "1 234",       "inf",        "$",
          "$$5",        "12%%",    "2/29/2023",   "2/29/1900", "0/1/2026",    "1/32/2026",  "12/31/1899",
          "2026-13-01", "12/7",    "12/7/202",    "Dec 2026",  "Foo 7, 2026", "7-Dex-2026", "12/7/2026 extra",
          "24:00",      "3:60",    "3:5",         "13:00 PM",  "0:30 AM",     "=1+2",       "=5",
          "May",        "2.10.12", "4096 Dec 19", "18 Jul 10"})
        expectEach({{text, "", text}});
    // A name CLDR gives in other English locales (and in other languages).
    EXPECT_EQ(layoutHtml("<p>Sept 1, 2026</p>", {}).rows.at(0).at(0).number, 46266);
}

TEST(Values, NothingThePageWroteIsLost) {
    expectEach({{"0022", "", "0022"},
                {"02134", "", "02134"},
                {"-007", "", "-007"},
                {"0", "", "#0"},
                {"0.25", "", "#0.25"},
                {"123456789012345", "", "#123456789012345 0"},
                {"1234567890123456", "", "1234567890123456"},
                {"1,234,567,890,123,456", "", "1,234,567,890,123,456"},
                {"0.1234567890123456", "", "0.1234567890123456"},
                {"3.", "", "3."},
                {"12,", "de", "12,"},
                {"(2018)", "", "(2018)"},
                {"(12)", "", "(12)"},
                {"( 3.5 )", "", "#-3.5 0.0;(0.0)"},
                {"Montag, 7. Dezember 2026", "de", "#46363 [$-407]dddd, d. mmmm yyyy"},
                {"Dienstag, 7. Dezember 2026", "de", "Dienstag, 7. Dezember 2026"}});
    // Parentheses in a column of amounts mean a negative amount; "$1" among a
    // shell's parameters is no money.
    EXPECT_EQ(firstColumn(table({"1,234.50", "(250)", "(2018)"}), {}),
              (Cells{"#1234.5 #,##0.00", "#-250 0;(0)", "#-2018 0;(0)"}));
    // Notes "(2,4)" are no amount where a comma is no decimal mark.
    EXPECT_EQ(firstColumn(page("en", table({"(1)", "(2,4)"})), {}), (Cells{"(1)", "(2,4)"}));
    EXPECT_EQ(firstColumn(table({"$1", "$@", "$#", "$HOME"}), {}), (Cells{"$1", "$@", "$#", "$HOME"}));
    EXPECT_EQ(firstColumn(table({"$1", "$25"}), {}), (Cells{"#1 $0", "#25 $0"}));
}

TEST(Values, PagesInOtherLanguagesReadInTheirOwnConventions) {
    expectEach({{"1.500", "de", "#1500 #,##0"},
                {"1.234", "de", "#1234 #,##0"},
                {"1,234", "de", "#1.234"},
                {"3.000.000", "de", "#3000000 #,##0"},
                {"2,75", "de", "#2.75"},
                {"0,99", "de", "#0.99"},
                {"1.234,50 \xE2\x82\xAC", "de", "#1234.5 #,##0.00\" \xE2\x82\xAC\""},
                {"12,5 %", "de", "#0.125 0.0 %"},
                {"-1.234,56", "de", "#-1234.56 #,##0.00"},
                {"07.12.2026", "de", "#46363 dd.mm.yyyy"},
                {"07.12.26", "de", "#46363 dd.mm.yy"},
                {"08.04.2015 12:46", "de", "#42102.5319444444 dd.mm.yyyy hh:mm"},
                {"7. Dezember 2026 um 15:20", "de", "#46363.6388888889 [$-407]d. mmmm yyyy\" um \"hh:mm"},
                {"1\xE2\x80\x99"
                 "234.50",
                 "de-CH", "#1234.5 #,##0.00"},
                {"CHF-1\xE2\x80\x99"
                 "234.50",
                 "de-CH", "#-1234.5 \"CHF\"#,##0.00"},
                {"67\xE2\x80\xAF"
                 "390\xE2\x80\xAF"
                 "000",
                 "fr", "#67390000 #,##0"},
                {"1 234,5", "fr", "#1234.5 #,##0.0"},
                {"07/12/2026", "fr", "#46363 dd/mm/yyyy"},
                {"1 mars 2019 \xC3\xA0 15:20", "fr", "#43525.6388888889 [$-40C]d mmmm yyyy\" \xC3\xA0 \"hh:mm"},
                {"15 h 45", "fr-CA", "#0.65625 hh\" h \"mm"},
                {"21.dez.2018 \xC3\xA0s 12h55", "pt", "#43455.5381944444 [$-416]dd.mmm.yyyy\" \xC3\xA0s \"hh\"h\"mm"},
                {"R$ 1.234,56", "pt-BR", "#1234.56 \"R$ \"#,##0.00"},
                {"7 de diciembre de 2026", "es", "#46363 [$-C0A]d\" de \"mmmm\" de \"yyyy"},
                {"%12,5", "tr", "#0.125 %0.0"},
                {"2026\xE5\xB9\xB4"
                 "12\xE6\x9C\x88"
                 "7\xE6\x97\xA5",
                 "ja", "#46363 yyyy\"\xE5\xB9\xB4\"mm\"\xE6\x9C\x88\"d\"\xE6\x97\xA5\""},
                {"15.20", "fi", "#0.638888888888889 hh\".\"mm"},
                {"15.20", "", "#15.2 0.00"},
                {"12,34,567.50", "en-IN", "#1234567.5 #,##0.00"},
                {"25 Mar 2021", "en", "#44280 dd mmm yyyy"},
                {"24 July 2015", "en", "#42209 dd mmmm yyyy"},
                {"21 Nov 2017, 7:42pm", "en", "#43060.8208333333 dd mmm yyyy, h:mmam/pm"},
                {"7 December 2026", "en-GB", "#46363 d mmmm yyyy"},
                {"07/12/2026", "en-GB", "#46363 dd/mm/yyyy"}});
}

// A page that declares no language still writes in one: its month names tell
// which, and a text that asked for a word that language has ("um") is read
// again in it; the others stay as they were read.
TEST(Values, TextsWaitingForThePagesLanguageAreReadInIt) {
    EXPECT_EQ(firstColumn(page("", table({"Dienstag, 8. Dezember 2026", "25.12.2026 um 15:20", "15:20 Uhr",
                                          "Zimmer 12 von 14", "12 Tage"})),
                          {"", "en-US"}),
              (Cells{"#46364 [$-407]dddd, d. mmmm yyyy", "#46381.6388888889 dd.mm.yyyy\" um \"hh:mm", "15:20 Uhr",
                     "Zimmer 12 von 14", "12 Tage"}));
}

// A page's columns, tables and language decide together.
TEST(Values, TheShapesDecideBeforeTheLanguageAndTheLanguageBeforeTheUser) {
    const Locales enUs{"", "en-US"}, de{"", "de-DE"}, enGb{"", "en-GB"};
    struct PageCase {
        std::string page;
        Locales locales;
        Cells shown;
    };
    const std::vector<PageCase> cases = {
        // The shapes outrank the declared language, column first.
        {page("de", table({"1,234.56", "1.500"})), enUs, {"#1234.56 #,##0.00", "#1.5 0.000"}},
        // A page without a language: the user's locale and en-US are in question.
        {page("", table({"1.500", "12/7/2026", "1,234"})), enUs, {"#1.5 0.000", "#46363 mm/d/yyyy", "#1234 #,##0"}},
        {page("", table({"1.500"}) + table({"12/7/2026"}) + table({"1,234"})), de, {"1.500", "12/7/2026", "1,234"}},
        // ... and the shapes of the page settle it: a table by its own,
        // another by the page's.
        {page("", table({"1.500", "3.000.000"}) + table({"1.234"})),
         de,
         {"#1500 #,##0", "#3000000 #,##0", "#1234 #,##0"}},
        {page("", table({"12/7/2026", "25/12/2026"})), enUs, {"#46215 dd/m/yyyy", "#46381 dd/mm/yyyy"}},
        // Each axis on its own: the marks do not settle the order of a
        // date's parts, and another table's dates put theirs in question.
        {page("", table({"07/12/2026"}) + table({"1,234.56"})), de, {"07/12/2026", "#1234.56 #,##0.00"}},
        {page("", table({"07/12/2026"}) + table({"25/12/2026"})), enUs, {"07/12/2026", "#46381 dd/mm/yyyy"}},
        {page("", table({"07/12/2026"}) + table({"25/12/2026", "1.234,5"})),
         de,
         {"#46363 dd/mm/yyyy", "#46381 dd/mm/yyyy", "#1234.5 #,##0.0"}},
        // One German price on an English page puts its conventions in
        // question beside the page's own: what they read differently is text.
        {page("", table({"1.234,56"}) + table({"1,000", "2.5"})), enUs, {"#1234.56 #,##0.00", "1,000", "#2.5"}},
        // A page mixing conventions by table.
        {page("", table({"1.234,56", "1.500"}) + table({"1,234.56", "1.500"})),
         de,
         {"#1234.56 #,##0.00", "#1500 #,##0", "#1234.56 #,##0.00", "#1.5 0.000"}},
        // Texts of one column that disagree: only what reads alike is a value.
        {page("", table({"1.234,56", "1,234.56", "1.500", "7"})),
         enUs,
         {"#1234.56 #,##0.00", "#1234.56 #,##0.00", "1.500", "#7"}},
        // A tag without a region: CLDR's likeliest region, and the user's when
        // the user speaks the language.
        {page("en", table({"07/12/2026", "1,500"})), enGb, {"07/12/2026", "#1500 #,##0"}},
        {page("en-GB", table({"07/12/2026"})), enUs, {"#46363 dd/mm/yyyy"}},
        // The lang of an element, a meta element, and an unknown language.
        {page("en", table({"1.500"}, " lang='de'") + table({"1.500"})), enUs, {"#1500 #,##0", "#1.5 0.000"}},
        {"<html><head><meta http-equiv='Content-Language' content='de'></head>" + table({"1.500"}),
         enUs,
         {"#1500 #,##0"}},
        {page("xx", table({"1.500"})), de, {"1.500"}},
        // Columns of one table decided apart; a <pre> block is a table of its own.
        {page("",
              "<table><tr><td>1.234,56</td><td>1,234.56</td></tr><tr><td>1.500</td><td>1.500</td></tr></table>"
              "<pre>2,50  x\n1.500  y</pre>"),
         enUs,
         {"#1234.56 #,##0.00", "#1500 #,##0", "#2.5 0.00", "1.500"}},
        // A reply in two languages puts both in question.
        {"<html><head><meta http-equiv='Content-Language' content='de, en'></head>" + table({"1.500", "7"}),
         enUs,
         {"1.500", "#7"}},
        // A name two languages give two months is a month only in a page of one of them.
        {page("", table({"7 listopad 2026"})), enUs, {"7 listopad 2026"}},
        {page("cs", table({"7 listopad 2026"})), enUs, {"#46333 [$-405]d mmmm yyyy"}},
        {page("hr", table({"7 listopad 2026"})), enUs, {"#46302 [$-41A]d mmmm yyyy"}},
        // A forced locale reads every page in its conventions.
        {page("en", table({"1.500", "12/7/2026"})), {"de-DE", "en-US"}, {"#1500 #,##0", "#46215 dd/m/yyyy"}},
    };
    for (const PageCase& c : cases) EXPECT_EQ(firstColumn(c.page, c.locales), c.shown) << c.page;
}

// A forced locale never reads one column two ways: where a column's own
// unambiguous texts go against it, the texts the two read differently stay
// text, and the page's grid says which columns did not fit.
TEST(Values, AForcedLocaleNeverReadsAColumnTwoWays) {
    struct ForcedCase {
        Cells a, b;  // the texts of a table's two columns
        std::string locale;
        Cells shownA, shownB;
        std::vector<std::string> notes;
    };
    const std::string notFit = " not fit the locale de-DE: the texts de-DE reads otherwise than the page stay text";
    const std::vector<ForcedCase> cases = {
        {{"1.500", "1,234.56"}, {}, "de-DE", {"1.500", "#1234.56 #,##0.00"}, {}, {"column A does" + notFit}},
        {{"03/04/2025", "12/31/2025"},
         {},
         "de-DE",
         {"03/04/2025", "#46022 mm/dd/yyyy"},
         {},
         {"column A does" + notFit}},
        {{"1.500", "1.234,56"}, {}, "de-DE", {"#1500 #,##0", "#1234.56 #,##0.00"}, {}, {}},  // it fits
        {{"1.500", "12/7/2026"}, {}, "de-DE", {"#1500 #,##0", "#46215 dd/m/yyyy"}, {}, {}},  // nothing against it
        {{"1.234,56", "1.500"},
         {"1,234.56", "1.500"},
         "de-DE",
         {"#1234.56 #,##0.00", "#1500 #,##0"},
         {"#1234.56 #,##0.00", "1.500"},
         {"column B does" + notFit}},
        {{"1,234.56", "2.5"},
         {"31/12/2025", "03/04/2025"},
         "de-DE",
         {"#1234.56 #,##0.00", "#2.5"},  // de reads no number in "2.5"
         {"#46022 dd/mm/yyyy", "#45750 dd/mm/yyyy"},
         {"column A does" + notFit}},
        {{"1.234,56", "1.500"},
         {},
         "en-US",
         {"#1234.56 #,##0.00", "1.500"},
         {},
         {"column A does not fit the locale en-US: the texts en-US reads otherwise than the page stay text"}},
    };
    for (const ForcedCase& c : cases) {
        std::string rows;
        for (std::size_t r = 0; r < c.a.size(); ++r)
            rows += "<tr><td>" + c.a[r] + "</td>" + (c.b.empty() ? "" : "<td>" + c.b[r] + "</td>") + "</tr>";
        const std::string html = page("en", "<table>" + rows + "</table>");
        SCOPED_TRACE(html);
        const PageGrid grid = layoutHtml(html, reading({c.locale, "en-US"}));
        Cells shownA, shownB;
        for (const auto& row : grid.rows) {
            shownA.push_back(row.empty() ? "" : show(row[0]));
            if (!c.b.empty()) shownB.push_back(row.size() < 2 ? "" : show(row[1]));
        }
        EXPECT_EQ(shownA, c.shownA);
        EXPECT_EQ(shownB, c.shownB);
        EXPECT_EQ(grid.notes, c.notes);
    }
}

}  // namespace
}  // namespace qf::engine
