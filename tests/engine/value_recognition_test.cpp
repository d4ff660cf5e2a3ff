// Which cell texts become values, and which value.

#include <gtest/gtest.h>

#include "engine/web/value_recognition.h"

namespace qf::engine {
namespace {

struct Case {
    const char* text;
    double number;
    NumberFormat format;
};

void expectValues(std::initializer_list<Case> cases, bool dates = true) {
    for (const Case& c : cases) {
        CellValue v = recognizeValue(c.text, dates);
        EXPECT_EQ(v.kind, CellValue::Kind::Number) << '"' << c.text << '"';
        EXPECT_DOUBLE_EQ(v.number, c.number) << '"' << c.text << '"';
        EXPECT_EQ(v.format, c.format) << '"' << c.text << '"';
    }
}

void expectText(std::initializer_list<const char*> texts, bool dates = true) {
    for (const char* t : texts) EXPECT_EQ(recognizeValue(t, dates), CellValue::makeText(t)) << '"' << t << '"';
}

constexpr NumberFormat G = NumberFormat::General;

TEST(ValueRecognition, Numbers) {
    expectValues({{"42", 42, G},
                  {"007", 7, G},
                  {"-1,234.5", -1234.5, G},
                  {"+.5", 0.5, G},
                  {"1,234,567", 1234567, G},
                  {"(12)", -12, G},
                  {"( 3.5 )", -3.5, G},
                  {"1.5e3", 1500, G},
                  {"2E-2", 0.02, G},
                  {"  17  ", 17, G},
                  {"\xC2\xA0"
                   "17\xC2\xA0",
                   17, G},
                  {"- 4", -4, G}});
    expectText({"1,23", "12,3456", ",123", "1,,234", "1.2.3", "1e", "e5", "--5", "(-5)", "5-", "12abc", "0x1F", "1 234",
                "inf", "nan", "+", ".", "1,234e5x"});
}

TEST(ValueRecognition, PercentAndCurrency) {
    expectValues({{"12%", 0.12, NumberFormat::Percent},
                  {"-3.5 %", -0.035, NumberFormat::Percent},
                  {"$1,234.50", 1234.5, NumberFormat::Currency},
                  {"-$5", -5, NumberFormat::Currency},
                  {"$-5", -5, NumberFormat::Currency},
                  {"($5.25)", -5.25, NumberFormat::Currency},
                  {"$\xC2\xA0"
                   "10",
                   10, NumberFormat::Currency}});
    expectText({"$", "%", "$5%", "5$", "$$5", "12%%", "€5"});
}

TEST(ValueRecognition, DatesInThe1900System) {
    const NumberFormat D = NumberFormat::Date;
    expectValues({{"12/7/2026", 46363, D},
                  {"12/07/26", 46363, D},
                  {"2026-12-07", 46363, D},
                  {"Dec 7, 2026", 46363, D},
                  {"December 7 2026", 46363, D},
                  {"7-Dec-2026", 46363, D},
                  {"7-dec-26", 46363, D},
                  {"Sept 1, 2026", 46266, D},
                  {"1/1/1900", 1, D},
                  {"2/28/1900", 59, D},
                  {"3/1/1900", 61, D},
                  {"1/1/30", 10959, D},
                  {"12/31/29", 47483, D},
                  {"2/29/2024", 45351, D},
                  {"12/31/9999", 2958465, D}});
    expectText({"2/29/2023", "2/29/1900", "13/1/2026", "0/1/2026", "1/32/2026", "12/31/1899", "2026-13-01", "12/7",
                "12/7/202", "Dec 2026", "Foo 7, 2026", "7-Dex-2026", "12/7/2026 extra"});
}

TEST(ValueRecognition, TimesAndDateTimes) {
    const NumberFormat T = NumberFormat::Time;
    expectValues({{"3:30", 3.5 / 24, T},
                  {"15:30:36", (15 * 3600 + 30 * 60 + 36) / 86400.0, T},
                  {"3:30 PM", 15.5 / 24, T},
                  {"12:00am", 0, T},
                  {"12:15 pm", 12.25 / 24, T},
                  {"0:00", 0, T}});
    expectValues({{"12/7/2026 6:00 PM", 46363.75, NumberFormat::DateTime}});
    expectText({"24:00", "3:60", "3:5", "13:00 PM", "0:30 AM", "3:30 XM", "3:30:"});
}

TEST(ValueRecognition, TurningDatesOffKeepsDatesAsTextButNotNumbersOrTimes) {
    expectText({"12/7/2026", "2026-12-07", "Dec 7, 2026", "12/7/2026 6:00 PM"}, false);
    expectValues({{"1,000", 1000, G}, {"3:30", 3.5 / 24, NumberFormat::Time}}, false);
}

TEST(ValueRecognition, FormulasWordsAndBlanks) {
    expectText({"=1+2", "=SUM(A1:A3)", " =5", "Total", "May", "Mar 2026",
                "a long text that is long enough to pass "
                "the length at which values stop"});
    EXPECT_TRUE(recognizeValue("", true).empty());
    EXPECT_TRUE(recognizeValue(" \xC2\xA0 ", true).empty());
}

}  // namespace
}  // namespace qf::engine
