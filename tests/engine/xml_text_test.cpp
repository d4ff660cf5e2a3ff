// Characters that XML 1.0 forbids, by every route a text takes into the
// workbook file: each written file is read back by a strict XML parser, and each
// text as a spreadsheet shows it.

#include <gtest/gtest.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <filesystem>

#include "base/failure.h"
#include "engine/web/charset.h"
#include "engine/web/html_layout.h"
#include "engine/workbook/workbook.h"
#include "engine/workbook/xlsx_output.h"
#include "engine/workbook/xml_text.h"
#include "xlsx_strict_reader.h"

namespace qf::engine {
namespace {

namespace fs = std::filesystem;
using Cells = std::map<std::string, std::string>;

class ValidXml : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("quillfen-xml-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Writes the workbook and reads it back strictly (a refused file fails the test
    // with the parser's words).
    testing::StrictWorkbook written(const Workbook& book) {
        return testing::readStrictly(saveAsNewFile(book, folder.string()));
    }

    // A page as the web page source reads it (decoding, layout) on a sheet of its
    // own, written and read back.
    Cells page(std::string bytes, std::string_view headerCharset = "", bool html = true) {
        WebQueryOptions options;
        options.disableDateRecognition = true;
        const std::string text = decodeToUtf8(std::move(bytes), headerCharset, html);
        auto book = std::make_shared<Workbook>(1);
        book->activeSheet()->cells().insertRows(0, 0, html ? layoutHtml(text, options) : layoutText(text, options));
        return written(*book).sheets.at(0).cells;
    }

    // Texts put on a sheet straight, one a row.
    Cells texts(const std::vector<std::string>& lines) {
        PageGrid grid;
        for (const auto& line : lines) grid.rows.push_back({CellValue::makeText(line)});
        auto book = std::make_shared<Workbook>(1);
        book->activeSheet()->cells().insertRows(0, 0, grid);
        return written(*book).sheets.at(0).cells;
    }

    fs::path folder;
};

const std::string kNonCharFFFE = "\xEF\xBF\xBE", kNonCharFFFF = "\xEF\xBF\xBF", kReplacement = "\xEF\xBF\xBD";

TEST_F(ValidXml, CharacterReferencesToForbiddenCharactersReadBackAsThoseCharacters) {
    const Cells cells = page(
        "<p>a&#xFFFE;b</p><p>c&#65535;d</p><p>e&#1;f&#x1F;g&#x0B;h</p><p>i&#xD800;j&#xDFFF;k</p><p>l&#0;m</p>"
        "<p>n&#x10FFFF;&#x1FFFE;&#xFDD0;&#x7F;o</p><p>p&#x85;q</p><table><tr><td>r&#xFFFF;</td></tr></table>");
    EXPECT_EQ(cells.at("A1"), "a" + kNonCharFFFE + "b");
    EXPECT_EQ(cells.at("A2"), "c" + kNonCharFFFF + "d");
    EXPECT_EQ(cells.at("A3"),
              "e\x01"
              "f\x1Fg\x0Bh");
    EXPECT_EQ(cells.at("A4"), "i" + kReplacement + "j" + kReplacement + "k") << "the parser reads surrogates as U+FFFD";
    EXPECT_EQ(cells.at("A5"), "l" + kReplacement + "m");
    EXPECT_EQ(cells.at("A6"), "n\xF4\x8F\xBF\xBF\xF0\x9F\xBF\xBE\xEF\xB7\x90\x7Fo") << "XML allows these as they are";
    EXPECT_EQ(cells.at("A7"), "p\xE2\x80\xA6q") << "a C1 reference means its Windows-1252 character";
    EXPECT_EQ(cells.at("A8"), "r" + kNonCharFFFF);
}

TEST_F(ValidXml, RawBytesInEveryDecodingReadBackAsTheirCharacters) {
    // The HTML parser reads raw control characters and noncharacters as U+FFFD.
    Cells html = page(
        "<p>a\x01"
        "b\x1F"
        "c" +
            kNonCharFFFE + "</p><p>d" + kNonCharFFFF + "\x7F</p>",
        "utf-8");
    EXPECT_EQ(html.at("A1"), "a" + kReplacement + "b" + kReplacement + "c" + kReplacement);
    EXPECT_EQ(html.at("A2"), "d" + kReplacement + kReplacement);

    // A text page keeps them.
    Cells text = page("x\x02y\n" + kNonCharFFFF + "\nz\x0Cw", "", false);
    EXPECT_EQ(text.at("A1"), "x\x02y");
    EXPECT_EQ(text.at("A2"), kNonCharFFFF);
    EXPECT_EQ(text.at("A3"), "z\x0Cw");

    // UTF-16 and a single-byte charset decode to the same characters first.
    const std::string utf16 = std::string(
        "\xFF\xFE"
        "a\0\xFE\xFF"
        "b\0\x01\0c\0\x00\xD8"
        "d\0",
        16);
    EXPECT_EQ(page(utf16, "", false).at("A1"), "a" + kNonCharFFFE +
                                                   "b\x01"
                                                   "c" +
                                                   kReplacement + "d")
        << "an unpaired surrogate becomes U+FFFD: UTF-8 has no form for it";
    EXPECT_EQ(page("caf\xE9\x10\x81", "windows-1252", false).at("A1"), "caf\xC3\xA9\x10" + kReplacement);
    EXPECT_EQ(page(std::string("\xFF\xFE<\0p\0>\0a\0\xFE\xFF", 12)).at("A1"), "a" + kReplacement);
}

TEST_F(ValidXml, ACellTextKeepsItsCarriageReturnsAndLiteralEscapes) {
    const Cells cells =
        texts({"line\r\nnext", "_x0041_ and _xFFFE_", "tab\tand\nfeed", "_x0001" + kNonCharFFFE, "_x0041\r"});
    EXPECT_EQ(cells.at("A1"), "line\r\nnext") << "a bare carriage return in XML would read as a line feed";
    EXPECT_EQ(cells.at("A2"), "_x0041_ and _xFFFE_");
    EXPECT_EQ(cells.at("A3"), "tab\tand\nfeed");
    // The escape of the character after "_xHHHH" begins with an underscore: the
    // two must not read back as one escaped character.
    EXPECT_EQ(cells.at("A4"), "_x0001" + kNonCharFFFE);
    EXPECT_EQ(cells.at("A5"), "_x0041\r");
}

TEST_F(ValidXml, AFullCellWithoutRoomForEscapesGetsReplacementCharacters) {
    const std::string full = std::string(kMaxWrittenCellChars - 3, 'a') + "\x01" + kNonCharFFFF;
    EXPECT_EQ(texts({full}).at("A1"), std::string(kMaxWrittenCellChars - 3, 'a') + kReplacement + kReplacement);
    const std::string roomy = std::string(kMaxWrittenCellChars - 8, 'a') + "\x01";
    EXPECT_EQ(texts({roomy}).at("A1"), roomy) << "one escape fits";
}

TEST(StrictReader, RefusesTheFileTheLibraryWritesAloneAndReadsEscapes) {
    // The check must be able to fail: the file library on its own puts U+FFFF raw
    // into the sheet's XML.
    const fs::path file = fs::temp_directory_path() / ("quillfen-strict-" + std::to_string(::getpid()) + ".xlsx");
    lxw_workbook* wb = workbook_new(file.c_str());
    ASSERT_NE(wb, nullptr);
    worksheet_write_string(workbook_add_worksheet(wb, nullptr), 0, 0, "a\xEF\xBF\xBF", nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    const std::string failure = testing::strictReadFailure(file.string());
    fs::remove(file);
    EXPECT_EQ(failure, "xl/sharedStrings.xml: PCDATA invalid Char value 65535 (line 2)");

    EXPECT_EQ(testing::readEscapes("a_x0001_b_xD83D__xDE00_c_x005F_x0041__x00zz_"),
              "a\x01"
              "b\xF0\x9F\x98\x80"
              "c_x0041__x00zz_");
}

}  // namespace
}  // namespace qf::engine
