// The look at a page before its parse: how deep its elements go, whatever the
// case of their names, leaving out raw text, comments and the elements that
// add no depth.

#include <gtest/gtest.h>

#include <string>

#include "engine/web/html_parse_budget.h"

namespace qf::engine {
namespace {

std::string times(int n, const std::string& piece) {
    std::string out;
    for (int i = 0; i < n; ++i) out += piece;
    return out;
}

TEST(ParseBudget, OnlyElementsThatNestCountTowardsIt) {
    const struct {
        std::string page;
        bool within;
    } table[] = {
        {times(30000, "<div>"), false},
        {times(30000, "<DiV class=a>"), false},
        {times(30000, "<abcdefghi>"), false},  // a name longer than any that adds no depth
        {times(30000, "<div/>"), true},
        {times(30000, "<div></div>"), true},
        {times(30000, "<p>") + times(30000, "<TD>") + times(30000, "<optgroup>") + times(30000, "<BaseFont>"), true},
        {"<script>" + times(30000, "<div>") + "</SCRIPT><p>", true},
        {"<Title>" + times(30000, "<div>") + "</title>", true},
        {"<!--" + times(30000, "<div>") + "-->", true},
        {"<xmp>" + times(30000, "<div>") + "</xm>" + times(30000, "<div>"), true},  // never closed: raw to the end
        {"<textarea></textarea>" + times(30000, "<div>"), false},
    };
    for (const auto& row : table) EXPECT_EQ(withinParseBudget(row.page), row.within) << row.page.substr(0, 40);
}

}  // namespace
}  // namespace qf::engine
