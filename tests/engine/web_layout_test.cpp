// Laying pages out into cells: each case is a small page and the sheet it gives,
// written as rows of cell texts ("" for an empty cell).

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "base/text.h"
#include "engine/web/charset.h"
#include "engine/web/html_layout.h"

namespace qf::engine {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// The sheet as texts; numbers are shown as "#<value>" with their format letter.
Rows show(const PageGrid& grid) {
    Rows out;
    for (const auto& row : grid.rows) {
        std::vector<std::string> cells;
        for (const CellValue& c : row) {
            if (c.kind == CellValue::Kind::Number) {
                std::ostringstream s;
                s << '#' << c.number;
                if (c.format != kGeneralFormat) s << ' ' << formatCode(c.format);
                cells.push_back(s.str());
            } else {
                cells.push_back(c.text);
            }
        }
        out.push_back(cells);
    }
    return out;
}

Rows html(std::string_view page, WebQueryOptions options = {}) { return show(layoutHtml(page, options)); }

TEST(WebLayout, BlocksStartRowsInlineStaysAndWhiteSpaceCollapses) {
    EXPECT_EQ(html("<h1>Title</h1><p>One <b>two</b>\n\t  <a href='x'>three</a></p>"
                   "<ul><li>a</li><li><span>b</span> <em>c</em></li></ul>"
                   "<div>outer<div>inner</div>tail</div>"),
              (Rows{{"Title"}, {"One two three"}, {"a"}, {"b c"}, {"outer"}, {"inner"}, {"tail"}}));
    EXPECT_EQ(html("<p>a<b>b</b>c</p>"), (Rows{{"abc"}})) << "inline edges add no space";
}

TEST(WebLayout, BreaksStartRowsButNothingGivesSpacerRows) {
    EXPECT_EQ(html("<p>a<br>b<br><br><br>c</p><div></div><p> \n </p><hr><p>&nbsp;</p><p>d</p>"),
              (Rows{{"a"}, {"b"}, {"c"}, {"d"}}));
}

TEST(WebLayout, DroppedElementsLeaveNoTextButHiddenTextStays) {
    EXPECT_EQ(html("<html><head><title>T</title><style>p{}</style><script>var a='<p>x</p>';</script></head>"
                   "<body><noscript>enable js</noscript><template><p>tpl</p></template>"
                   "<p>kept<img alt='picture'><svg><text>vector</text></svg></p>"
                   "<iframe src='x'>frame</iframe><form><input value='v'><button>Go</button>"
                   "<select><option>opt</option></select><textarea>typed</textarea><label>Name</label></form>"
                   "<p style='display:none'>hidden</p><script>document.write('late')</script></body></html>"),
              (Rows{{"kept"}, {"Name"}, {"hidden"}}));
}

TEST(WebLayout, EntitiesDecodeAndNonBreakingSpacesStay) {
    EXPECT_EQ(html("<p>Fish &amp; chips &lt;3&gt; &copy;</p><p>a&nbsp;b&nbsp;</p><p>&nbsp;5&nbsp;</p>"),
              (Rows{{"Fish & chips <3> \xC2\xA9"},
                    {"a\xC2\xA0"
                     "b\xC2\xA0"},
                    {"#5"}}));
}

TEST(WebLayout, TablesGiveARowPerTrAndAColumnPerCellWithTextAroundInOrder) {
    EXPECT_EQ(html("before<table><caption>Cap</caption><thead><tr><th>Name</th><th>Qty</th></tr></thead>"
                   "<tbody><tr><td>Tea</td><td>3</td></tr><tr><td></td><td>x</td></tr></tbody></table>after"),
              (Rows{{"before"}, {"Cap"}, {"Name", "Qty"}, {"Tea", "#3"}, {"", "x"}, {"after"}}));
}

TEST(WebLayout, SpansReserveCellsWithTheTextTopLeft) {
    EXPECT_EQ(html("<table><tr><td rowspan=2>A</td><td colspan=2>B</td><td>C</td></tr>"
                   "<tr><td>D</td><td>E</td><td>F</td></tr>"
                   "<tr><td>G</td><td rowspan=0>H</td></tr><tr><td>I</td><td>J</td></tr></table>"),
              (Rows{{"A", "B", "", "C"}, {"", "D", "E", "F"}, {"G", "H"}, {"I", "", "J"}}));
}

TEST(WebLayout, NestedTablesAndBreaksInCellsWidenAndDeepenTheirCell) {
    EXPECT_EQ(html("<table><tr><td>x</td><td><table><tr><td>i1</td><td>i2</td></tr>"
                   "<tr><td>i3</td><td>i4</td></tr></table></td><td>y</td></tr>"
                   "<tr><td>a<br>b</td><td>c</td><td>d</td></tr><tr><td>z</td></tr></table>"),
              (Rows{{"x", "i1", "i2", "y"}, {"", "i3", "i4"}, {"a", "c", "", "d"}, {"b"}, {"z"}}));
    EXPECT_EQ(html("<table><tr><td>head<table><tr><td>in</td></tr></table>foot</td><td>r</td></tr></table>"),
              (Rows{{"head", "r"}, {"in"}, {"foot"}}));
}

TEST(WebLayout, TablesWithoutTextGiveNoRows) {
    EXPECT_EQ(html("<p>a</p><table><tr><td><img src=x></td></tr><tr><td> </td></tr></table><p>b</p>"),
              (Rows{{"a"}, {"b"}}));
}

TEST(WebLayout, PreformattedLinesSplitIntoColumns) {
    const char* page = "<pre>Name  Qty\tPrice\n  Apple  3\t\t1.5\n\n<b>Pear</b> 10    2</pre>";
    EXPECT_EQ(html(page), (Rows{{"Name", "Qty", "Price"}, {"Apple", "#3", "#1.5"}, {"Pear 10", "#2"}}));

    WebQueryOptions each;
    each.consecutiveDelimitersAsOne = false;
    EXPECT_EQ(html(page, each), (Rows{{"Name", "Qty", "Price"}, {"Apple", "#3", "", "#1.5"}, {"Pear 10", "#2"}}));

    WebQueryOptions whole;
    whole.preFormattedTextToColumns = false;
    EXPECT_EQ(html(page, whole), (Rows{{"Name  Qty\tPrice"}, {"Apple  3\t\t1.5"}, {"Pear 10    2"}}));
}

TEST(WebLayout, DateRecognitionCanBeTurnedOff) {
    WebQueryOptions noDates;
    noDates.disableDateRecognition = true;
    EXPECT_EQ(html("<p>12/7/2026</p><p>1,000</p><p>3:30</p>", noDates),
              (Rows{{"12/7/2026"}, {"#1000 #,##0"}, {"#0.145833 h:mm"}}));
    EXPECT_EQ(html("<p>12/7/2026</p>"), (Rows{{"#46363 mm/d/yyyy"}}));
}

// The reason a page is refused with ("" when it is laid out).
std::string refusal(const std::function<PageGrid()>& layout) {
    try {
        layout();
    } catch (const PageRefused& refused) {
        return refused.what();
    }
    return {};
}

TEST(WebLayout, HugeSpansCountAsTheMostBrowsersAllowAndDeepTablesKeepTheirText) {
    for (const char* span : {"1000", "99999999"}) {
        Rows wide = html(std::string("<table><tr><td colspan=") + span + ">a</td><td>b</td></tr></table>");
        ASSERT_EQ(wide.size(), 1u);
        ASSERT_EQ(wide[0].size(), 1001u) << "a cell spans at most 1000 columns";
        EXPECT_EQ(wide[0][1000], "b");
    }
    EXPECT_EQ(html("<table><tr><td rowspan=70000>a</td><td>b</td></tr><tr><td>c</td></tr></table><p>d</p>"),
              (Rows{{"a", "b"}, {"", "c"}, {"d"}}))
        << "a rowspan ends with its table's rows";

    std::string nested;
    for (int i = 0; i < 3000; ++i) nested += "<table><tr><td>";
    EXPECT_EQ(html(nested + "core"), (Rows{{"core"}}));
}

TEST(WebLayout, APageThatDoesNotFitOnASheetIsRefusedNeverCut) {
    auto row = [](int cells, const char* attributes = "") {
        std::string page = "<table><tr>";
        for (int i = 0; i < cells; ++i) page += std::string("<td") + attributes + ">c</td>";
        return page + "</tr></table>";
    };
    EXPECT_EQ(html(row(16384)).at(0).size(), 16384u) << "exactly the sheet's width fits";
    const std::string wide = "the page needs more columns than the 16,384 of a sheet";
    EXPECT_EQ(refusal([&] { return layoutHtml(row(16385), {}); }), wide);
    std::string spans = "<table><tr>";
    for (int i = 0; i < 20; ++i) spans += "<td colspan=1000>" + std::to_string(i) + "</td>";
    EXPECT_EQ(refusal([&] { return layoutHtml(spans, {}); }), wide) << "texts past the edge are not dropped";
    EXPECT_EQ(html("<table><tr><td>x</td>" + std::string(20000, ' ') + "<td colspan=20000></td></tr></table>").size(),
              1u)
        << "empty cells past the edge lose nothing";

    std::string lines;
    for (int i = 0; i < 1'048'576; ++i) lines += "a\n";
    EXPECT_EQ(layoutText(lines, {}).rows.size(), 1'048'576u) << "exactly the sheet's height fits";
    EXPECT_EQ(refusal([&] { return layoutText(lines + "b", {}); }),
              "the page needs more rows than the 1,048,576 of a sheet");
    EXPECT_EQ(refusal([&] { return layoutHtml("<pre>" + lines + "b</pre>", {}); }),
              "the page needs more rows than the 1,048,576 of a sheet");
}

TEST(WebLayout, ATextLongerThanACellHoldsGoesOnInTheCellsBelowItAndLosesNothing) {
    // Pieces of at most 32,767 UTF-16 units, each whole characters, that read
    // back as the text.
    std::string faces;
    for (int i = 0; i < 16384; ++i) faces += "\xF0\x9F\x98\x80";  // two units each: 32,768
    std::string tenMiB;
    for (std::size_t i = 0; tenMiB.size() < (std::size_t{10} << 20); ++i) tenMiB += i % 7 ? "text " : "\xC3\xA9 ";
    tenMiB.pop_back();  // a cell's text ends where its last word does
    const std::string exact(32767, 'a'), over(32768, 'b');
    for (const std::string* text : std::vector<const std::string*>{&exact, &over, &faces, &tenMiB}) {
        for (const bool asHtml : {false, true}) {
            const PageGrid grid =
                asHtml ? layoutHtml("<table><tr><td>" + *text + "</td><td>x</td></tr></table><p>after</p>", {})
                       : layoutText(*text + "\nafter", {});
            std::string joined;
            std::size_t row = 0;
            for (; row < grid.rows.size() && grid.rows[row].at(0).text != "after"; ++row) {
                const std::string& piece = grid.rows[row].at(0).text;
                EXPECT_LE(utf16Units(piece), 32767u);
                joined += piece;
            }
            EXPECT_TRUE(joined == *text) << text->size() << " bytes, html " << asHtml;
            EXPECT_EQ(row, (utf16Units(*text) + 32766) / 32767) << "the rows below move down";
            if (asHtml) {
                EXPECT_EQ(grid.rows.at(0).at(1).text, "x") << "the cell beside stays in the first row";
            }
        }
    }
}

TEST(WebLayout, PagesThatWouldTakeForeverAreRefusedAtOnce) {
    std::string deep;
    for (int i = 0; i < 50000; ++i) deep += "<div>";
    // Every column of the sheet kept busy by rowspans, then row after row whose
    // cell has to look past them all.
    std::string busy = "<table><tr>";
    for (int i = 0; i < 17; ++i) busy += "<td colspan=1000 rowspan=65534>x";
    for (int i = 0; i < 30000; ++i) busy += "<tr><td>y";
    for (const std::string& page : {deep, busy}) EXPECT_THROW(html(page), PageRefused);

    // A few hundred kilobytes whose rows each put one text 16,000 columns out
    // would need gigabytes of empty cells.
    std::string sparse = "<table>";
    for (int i = 0; i < 2000; ++i) {
        sparse += "<tr>";
        for (int k = 0; k < 16; ++k) sparse += "<td colspan=1000></td>";
        sparse += "<td>y</td></tr>";
    }
    EXPECT_THROW(html(sparse + "</table>"), PageRefused);
}

TEST(WebLayout, PlainTextGivesOneRowPerLine) {
    EXPECT_EQ(show(layoutText("first line\r\n\r\n  3.5%  \rlast", {})),
              (Rows{{"first line"}, {}, {"#0.035 0.0%"}, {"last"}}));
}

TEST(Charset, TheByteOrderMarkWinsThenTheHeaderThenTheMetaThenUtf8ThenWindows1252) {
    EXPECT_EQ(decodeToUtf8("\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F", "iso-8859-1", true), "gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(decodeToUtf8(std::string("\xFF\xFEh\0i\0", 6), "", true), "hi");
    EXPECT_EQ(decodeToUtf8(std::string("\xFE\xFF\0h\0i", 6), "", true), "hi");
    EXPECT_EQ(decodeToUtf8("\x80 caf\xE9", "ISO-8859-1", true), "\xE2\x82\xAC caf\xC3\xA9")
        << "ISO-8859-1 is read as Windows-1252";
    EXPECT_EQ(decodeToUtf8("<meta charset=\"windows-1251\"><p>\xCF\xF0\xE8</p>", "", true),
              "<meta charset=\"windows-1251\"><p>\xD0\x9F\xD1\x80\xD0\xB8</p>");
    EXPECT_EQ(decodeToUtf8("<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=ISO-8859-15'>\xA4", "", true),
              "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=ISO-8859-15'>\xE2\x82\xAC");
    EXPECT_EQ(decodeToUtf8("<?xml version='1.0' encoding='iso-8859-2'?><html>\xB1", "", true),
              "<?xml version='1.0' encoding='iso-8859-2'?><html>\xC4\x85");
    EXPECT_EQ(decodeToUtf8("<meta charset=utf-8>\xE9", "windows-1252", true), "<meta charset=utf-8>\xC3\xA9")
        << "the header outranks the page";
    EXPECT_EQ(decodeToUtf8("<meta charset=windows-1251>\xCF", "", false), "<meta charset=windows-1251>\xC3\x8F")
        << "a text page has no <meta>";
    EXPECT_EQ(decodeToUtf8("ok\xE9", "utf-8", true), "ok\xEF\xBF\xBD") << "bytes that do not decode become U+FFFD";
    EXPECT_EQ(decodeToUtf8("caf\xC3\xA9", "", true), "caf\xC3\xA9");
    EXPECT_EQ(decodeToUtf8("caf\xE9", "", true), "caf\xC3\xA9");
    EXPECT_EQ(decodeToUtf8("a\xC0\xAF"
                           "b\xED\xA0\x80",
                           "utf-8", true),
              "a\xEF\xBF\xBD\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD")
        << "overlong forms and surrogates are not UTF-8";
    EXPECT_EQ(decodeToUtf8("x\x81y", "", true), "x\xEF\xBF\xBDy") << "0x81 has no character in Windows-1252";
    EXPECT_EQ(decodeToUtf8("ok", "no-such-charset", true), "ok");
}

TEST(Charset, HeaderParameters) {
    EXPECT_EQ(charsetParameter("text/html; charset=\"UTF-8\""), "UTF-8");
    EXPECT_EQ(charsetParameter("text/html;charset=iso-8859-1;x=y"), "iso-8859-1");
    EXPECT_EQ(charsetParameter("text/html"), "");
}

}  // namespace
}  // namespace qf::engine
