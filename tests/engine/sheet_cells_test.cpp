// The sheet's cell storage: blocks inserted and replaced anywhere, the sheet's
// limits, and what a cell keeps of its text.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <thread>

#include "base/failure.h"
#include "engine/workbook/sheet_cells.h"
#include "engine/workbook/workbook.h"
#include "scripted_source.h"

namespace qf::engine {
namespace {

using testing::textGrid;
using Rows = std::vector<std::vector<CellValue>>;

// The whole sheet as rows of cells, read through forEachCell.
Rows contents(const SheetCells& cells) {
    Rows rows(static_cast<std::size_t>(cells.lastUsedRow()));
    cells.forEachCell([&](std::int64_t row, std::int32_t column, const CellView& view) {
        auto& r = rows.at(static_cast<std::size_t>(row));
        if (r.size() <= static_cast<std::size_t>(column)) r.resize(static_cast<std::size_t>(column) + 1);
        r[static_cast<std::size_t>(column)] = view.kind == CellValue::Kind::Number
                                                  ? CellValue::makeNumber(view.number, view.format)
                                                  : CellValue::makeText(std::string(view.text));
    });
    return rows;
}

std::string text(const SheetCells& cells, std::int64_t row, std::int32_t column) {
    return cells.cell(row, column).text;
}

TEST(SheetCells, BlocksInsertedAtTheTopStackNewestFirstAndStayWhole) {
    SheetCells cells;
    cells.insertRows(0, 0, textGrid({{"old 1", "old 1b"}, {"old 2"}}));
    cells.insertRows(0, 0, textGrid({{"new 1"}, {nullptr, "new 2b"}, {"new 3"}}));
    EXPECT_EQ(cells.rowCount(), 5);
    EXPECT_EQ(text(cells, 0, 0), "new 1");
    EXPECT_TRUE(cells.cell(1, 0).empty());
    EXPECT_EQ(text(cells, 1, 1), "new 2b");
    EXPECT_EQ(text(cells, 2, 0), "new 3");
    EXPECT_EQ(text(cells, 3, 0), "old 1");
    EXPECT_EQ(text(cells, 3, 1), "old 1b");
    EXPECT_EQ(text(cells, 4, 0), "old 2");

    // A block in the middle, starting in column C, pushes only what lies below it.
    cells.insertRows(3, 2, textGrid({{"mid"}}));
    EXPECT_EQ(text(cells, 2, 0), "new 3");
    EXPECT_EQ(text(cells, 3, 2), "mid");
    EXPECT_TRUE(cells.cell(3, 0).empty());
    EXPECT_EQ(text(cells, 4, 0), "old 1");
    EXPECT_EQ(cells.lastUsedRow(), 6);

    // Below the last row: the rows in between stay empty.
    cells.insertRows(9, 0, textGrid({{"far"}}));
    EXPECT_EQ(cells.rowCount(), 10);
    EXPECT_EQ(text(cells, 9, 0), "far");
    EXPECT_TRUE(cells.cell(7, 0).empty());
}

TEST(SheetCells, NumbersKeepTheirFormatAndUnusableNumbersBecomeText) {
    SheetCells cells;
    PageGrid grid;
    grid.rows.push_back({CellValue::makeNumber(0.125, internFormat("0.0%")),
                         CellValue::makeNumber(45000, internFormat("yyyy-mm-dd")), CellValue::makeNumber(std::nan("")),
                         CellValue::makeNumber(-1e300 * 1e10)});
    cells.insertRows(0, 0, grid);
    EXPECT_EQ(cells.cell(0, 0), CellValue::makeNumber(0.125, internFormat("0.0%")));
    EXPECT_EQ(cells.cell(0, 1), CellValue::makeNumber(45000, internFormat("yyyy-mm-dd")));
    EXPECT_EQ(cells.cell(0, 2), CellValue::makeText("#NUM!"));
    EXPECT_EQ(cells.cell(0, 3), CellValue::makeText("#NUM!"));
}

// Format codes live once in the process: the same code gets the same id from
// any thread, an id past what a cell's tag byte holds survives the sheet's
// encoding, and a column is as wide as the value shows.
TEST(NumberFormats, OneIdPerCodeFromEveryThreadKeptByTheSheetAndSizingItsColumn) {
    std::vector<std::string> codes;
    for (int i = 0; i < 200; ++i)
        codes.push_back("0." + std::string(static_cast<std::size_t>(i % 40 + 1), '0') + "\"" + std::to_string(i) +
                        "\"");
    std::vector<std::vector<FormatId>> ids(4);
    std::vector<std::thread> threads;
    for (auto& mine : ids)
        threads.emplace_back([&codes, &mine] {
            for (const std::string& code : codes) mine.push_back(internFormat(code));
        });
    for (std::thread& t : threads) t.join();
    for (std::size_t k = 0; k < codes.size(); ++k) {
        for (const auto& other : ids) EXPECT_EQ(other[k], ids[0][k]) << codes[k];
        EXPECT_EQ(formatCode(ids[0][k]), codes[k]);
    }
    EXPECT_EQ(internFormat(""), kGeneralFormat);
    EXPECT_EQ(internFormat("General"), kGeneralFormat);

    SheetCells cells;
    PageGrid grid;
    grid.rows.push_back({CellValue::makeNumber(1.5, ids[0].back()), CellValue::makeText("after")});
    cells.insertRows(0, 3, grid);
    EXPECT_EQ(cells.cell(0, 3), CellValue::makeNumber(1.5, ids[0].back()));
    EXPECT_EQ(cells.cell(0, 4), CellValue::makeText("after"));

    const std::pair<double, const char*> widths[] = {
        {1234567.5, "#,##0.00"}, {-0.125, "0.0%"},       {1234.5, "\"R$ \"#,##0.00"},
        {46363, "dd.mm.yyyy"},   {46363, "d mmmm yyyy"}, {0.5, "h:mm AM/PM"},
        {42, "General"}};
    const std::size_t shown[] = {
        sizeof("1,234,567.50") - 1,      sizeof("-12.5%") - 1,   sizeof("R$ 1,234.50") - 1, sizeof("07.12.2026") - 1,
        sizeof("27 September 2026") - 1, sizeof("12:00 PM") - 1, sizeof("42") - 1};
    for (std::size_t k = 0; k < std::size(widths); ++k)
        EXPECT_EQ(displayWidth(CellValue::makeNumber(widths[k].first, internFormat(widths[k].second))),
                  static_cast<double>(shown[k] + 1))
            << widths[k].second;
}

TEST(SheetCells, ReplacingABlockResizesItAndMovesWhatIsBelow) {
    SheetCells cells;
    cells.insertRows(0, 0, textGrid({{"below 1"}, {"below 2"}}));
    cells.insertRows(0, 0, textGrid({{"a"}, {"b"}, {"c"}}));
    cells.replaceRows(0, 3, 0, textGrid({{"x"}}));
    ASSERT_EQ(contents(cells),
              Rows({{CellValue::makeText("x")}, {CellValue::makeText("below 1")}, {CellValue::makeText("below 2")}}));
    cells.replaceRows(0, 1, 0, textGrid({{"p"}, {"q"}, {"r"}, {"s"}}));
    EXPECT_EQ(text(cells, 3, 0), "s");
    EXPECT_EQ(text(cells, 4, 0), "below 1");
    EXPECT_EQ(cells.rowCount(), 6);
}

// Many random inserts and replacements against a plain list of rows: the chunk
// splitting and joining must never lose, repeat or misplace a row.
TEST(SheetCells, AgreesWithAPlainListOfRowsOverManyRandomEdits) {
    std::mt19937 random(12345);
    SheetCells cells;
    std::vector<std::vector<CellValue>> model;  // whole rows, cells from column 0
    int serial = 0;
    for (int step = 0; step < 600; ++step) {
        const auto height = static_cast<std::size_t>(random() % (step % 50 == 0 ? 5000 : 40)) + 1;
        const std::int32_t column = static_cast<std::int32_t>(random() % 3);
        PageGrid grid;
        for (std::size_t r = 0; r < height; ++r) {
            grid.rows.emplace_back();
            if (random() % 7 == 0) continue;  // empty row
            for (std::size_t c = 0, n = random() % 4 + 1; c < n; ++c)
                grid.rows.back().push_back(random() % 2 ? CellValue::makeText("t" + std::to_string(++serial))
                                                        : CellValue::makeNumber(++serial));
        }
        const std::size_t at = model.empty() ? 0 : random() % (model.size() + 1);
        const std::size_t replaced = random() % 4 == 0 ? std::min<std::size_t>(random() % 30, model.size() - at) : 0;
        cells.replaceRows(static_cast<std::int64_t>(at), static_cast<std::int64_t>(replaced), column, grid);

        std::vector<std::vector<CellValue>> placed;
        for (auto& row : grid.rows) {
            std::vector<CellValue> shifted(row.empty() ? 0 : static_cast<std::size_t>(column));
            shifted.insert(shifted.end(), row.begin(), row.end());
            placed.push_back(std::move(shifted));
        }
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(at),
                    model.begin() + static_cast<std::ptrdiff_t>(at + replaced));
        model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), placed.begin(), placed.end());
    }
    ASSERT_EQ(cells.rowCount(), static_cast<std::int64_t>(model.size()));
    while (!model.empty() && model.back().empty()) model.pop_back();
    EXPECT_EQ(contents(cells), model);
    // Joining keeps the number of chunks far below the number of blocks.
    EXPECT_LT(cells.chunkCount(), 400u);
}

TEST(SheetCells, ABlockThatWouldPushCellsPastTheLastRowFailsAndChangesNothing) {
    SheetCells cells;
    PageGrid tall;
    tall.rows.resize(static_cast<std::size_t>(kMaxRows - 10));
    tall.rows.back() = {CellValue::makeText("bottom")};
    cells.insertRows(0, 0, tall);
    ASSERT_EQ(cells.lastUsedRow(), kMaxRows - 10);

    PageGrid eleven;
    eleven.rows.assign(11, {CellValue::makeText("x")});
    try {
        cells.insertRows(0, 0, eleven);
        FAIL() << "an insert past the last row was accepted";
    } catch (const Failure& failure) {
        EXPECT_STREQ(
            failure.what(),
            "The data does not fit on the sheet: cells would be pushed past its last row. Nothing was changed.");
    }
    EXPECT_EQ(cells.lastUsedRow(), kMaxRows - 10);
    EXPECT_EQ(text(cells, kMaxRows - 11, 0), "bottom");
    EXPECT_TRUE(cells.cell(0, 0).empty());

    // Exactly to the last row fits.
    eleven.rows.pop_back();
    cells.insertRows(0, 0, eleven);
    EXPECT_EQ(cells.lastUsedRow(), kMaxRows);
    EXPECT_EQ(text(cells, kMaxRows - 1, 0), "bottom");
    EXPECT_EQ(text(cells, 0, 0), "x");

    // A block whose own cells end below the last row fails too.
    SheetCells other;
    EXPECT_THROW(other.insertRows(kMaxRows - 1, 0, textGrid({{"a"}, {"b"}})), Failure);
    other.insertRows(kMaxRows - 1, 0, textGrid({{"a"}}));
    EXPECT_EQ(other.lastUsedRow(), kMaxRows);
}

TEST(SheetCells, EmptyRowsPushedPastTheLastRowAreDropped) {
    SheetCells cells;
    PageGrid mostlyEmpty;
    mostlyEmpty.rows.resize(static_cast<std::size_t>(kMaxRows));
    mostlyEmpty.rows.front() = {CellValue::makeText("top")};
    cells.insertRows(0, 0, mostlyEmpty);
    cells.insertRows(0, 0, textGrid({{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(cells.rowCount(), kMaxRows);
    EXPECT_EQ(text(cells, 3, 0), "top");
}

TEST(SheetCells, ABlockPastTheLastColumnFailsAndChangesNothing) {
    SheetCells cells;
    cells.insertRows(0, 0, textGrid({{"keep"}}));
    const PageGrid wide = textGrid({{"a", "b", "c", "d", "e"}});
    EXPECT_THROW(cells.insertRows(0, kMaxColumns - 4, wide), Failure);
    EXPECT_EQ(cells.rowCount(), 1);
    EXPECT_EQ(text(cells, 0, 0), "keep");
    cells.insertRows(0, kMaxColumns - 5, wide);
    EXPECT_EQ(text(cells, 0, kMaxColumns - 1), "e");
    // Empty trailing cells of a row do not count.
    PageGrid trailing = textGrid({{"a"}});
    trailing.rows[0].resize(100);
    cells.insertRows(0, kMaxColumns - 1, trailing);
    EXPECT_EQ(text(cells, 0, kMaxColumns - 1), "a");
}

TEST(SheetCells, TextIsCutAtTheCellLimitByCharactersAndInvalidBytesAreReplaced) {
    // 32,767 characters of two bytes each, and one more.
    std::string longText;
    for (std::size_t i = 0; i <= kMaxCellChars; ++i) longText += "\xC3\xA9";  // é
    const std::string cut = cellText(longText);
    EXPECT_EQ(cut.size(), kMaxCellChars * 2);
    EXPECT_EQ(cut.substr(0, 4), "\xC3\xA9\xC3\xA9");

    EXPECT_EQ(cellText(std::string(kMaxCellChars, 'a')).size(), kMaxCellChars);
    // Characters beyond U+FFFF count twice, as the file format counts them; none is split.
    std::string emoji;
    for (std::size_t i = 0; i < kMaxCellChars / 2 + 1; ++i) emoji += "\xF0\x9F\x98\x80";
    EXPECT_EQ(cellText(emoji).size(), (kMaxCellChars / 2) * 4);
    EXPECT_EQ(cellText("a" + emoji).size(), 1 + (kMaxCellChars / 2) * 4);
    EXPECT_EQ(cellText("ok \xFF\xC3 end"), "ok \xEF\xBF\xBD\xEF\xBF\xBD end");
    EXPECT_EQ(cellText("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a lone surrogate is not text
    EXPECT_EQ(cellText(std::string("a\0b", 3)),
              "a\xEF\xBF\xBD"
              "b")
        << "a NUL would end the text in the file";

    SheetCells cells;
    PageGrid grid;
    grid.rows.push_back({CellValue::makeText(longText), CellValue::makeText("")});
    cells.insertRows(0, 0, grid);
    EXPECT_EQ(cells.cell(0, 0).text, cut);
    EXPECT_TRUE(cells.cell(0, 1).empty());  // an empty text is an empty cell
}

// Rows encoded ahead (as the page loader does on its own threads, always for
// column A) must give the sheet exactly what placing the grid gives, wherever
// they land: other columns, including ones whose numbers take more bytes, in
// place of earlier rows, and not at all when they would not fit.
TEST(EncodedRows, PlaceExactlyWhatTheirGridPlacesWhereverTheyLand) {
    std::mt19937 random(777);
    SheetCells plain, ahead;
    int serial = 0;
    const std::int32_t columns[] = {0, 0, 3, 127, 128, 300, 20000, kMaxColumns - 2};
    for (int step = 0; step < 300; ++step) {
        PageGrid grid;
        for (std::size_t r = 0, height = random() % 60 + (step % 40 == 0 ? 5000 : 1); r < height; ++r) {
            grid.rows.emplace_back(random() % 3);  // leading empty cells
            if (random() % 5 == 0) continue;
            for (std::size_t c = 0, n = random() % 5 + 1; c < n; ++c)
                grid.rows.back().push_back(random() % 2 ? CellValue::makeText("t" + std::to_string(++serial) + "\xFF")
                                                        : CellValue::makeNumber(++serial, internFormat("0.0%")));
        }
        const auto at = static_cast<std::int64_t>(random() % static_cast<std::uint32_t>(plain.rowCount() + 1));
        const auto replaced = static_cast<std::int64_t>(random() % 4 == 0 ? random() % 20 : 0);
        const std::int32_t column = columns[random() % std::size(columns)];
        EncodedRows rows(grid, random() % 4 == 0 ? 200 : 0);
        std::string plainFailure, aheadFailure;
        try {
            plain.replaceRows(at, replaced, column, grid);
        } catch (const Failure& f) {
            plainFailure = f.what();
        }
        try {
            ahead.replaceRows(at, replaced, column, std::move(rows));
        } catch (const Failure& f) {
            aheadFailure = f.what();
            EXPECT_EQ(rows.rowCount(), static_cast<std::int64_t>(grid.rows.size())) << "refused rows are kept whole";
        }
        ASSERT_EQ(aheadFailure, plainFailure) << "step " << step;
        ASSERT_EQ(ahead.rowCount(), plain.rowCount()) << "step " << step;
        ASSERT_EQ(ahead.lastUsedRow(), plain.lastUsedRow()) << "step " << step;
    }
    EXPECT_EQ(contents(ahead), contents(plain));
    EXPECT_GT(plain.lastUsedRow(), 5000);
}

TEST(EncodedRows, ARefusedPageCanStillBePlacedAndSharedRowsStayWithTheirOtherOwner) {
    PageGrid grid = textGrid({{"a", "b", "c"}, {}, {"d"}});
    grid.encoded = std::make_shared<EncodedRows>(grid, 0);
    grid.rows.clear();
    const std::shared_ptr<EncodedRows> other = grid.encoded;  // a second holder: its rows are copied, not taken

    SheetCells cells;
    cells.insertRows(0, 0, textGrid({{"keep"}}));
    EXPECT_THROW(placeGrid(cells, 0, 0, kMaxColumns - 2, grid), Failure);
    EXPECT_EQ(contents(cells), Rows({{CellValue::makeText("keep")}}));

    EXPECT_EQ(placeGrid(cells, 0, 0, 1, grid), 3);
    EXPECT_EQ(placeGrid(cells, 0, 0, 0, grid), 3);
    EXPECT_EQ(other->rowCount(), 3);
    EXPECT_EQ(text(cells, 0, 2), "c");
    EXPECT_EQ(text(cells, 5, 1), "d");
    EXPECT_EQ(text(cells, 6, 0), "keep");

    // Sole owner: the rows move into the sheet.
    grid.encoded = std::make_shared<EncodedRows>(*other);
    EXPECT_EQ(placeGrid(cells, 7, 0, 4, grid), 3);
    EXPECT_EQ(grid.encoded->rowCount(), 0);
    EXPECT_EQ(text(cells, 7, 4), "a");
    EXPECT_EQ(cells.lastUsedRow(), 10);
}

// A page as the page loader hands it out: the rows encoded for column A, the
// widths worked out, the cells themselves gone.
PageGrid encodedAhead(PageGrid grid) {
    grid.columnWidths = fittedWidths(grid);
    grid.encoded = std::make_shared<EncodedRows>(grid, 0);
    grid.rows.clear();
    return grid;
}

// One sheet, pages stacked at A1, one placed at C3, one placed over the rows of
// the top one and one refused for the sheet's last column: encoded ahead or
// not, the sheet ends with the same cells and widths.
TEST(EncodedRows, AWorksheetGetsTheSameResultsFromPagesEncodedAhead) {
    const PageGrid a = textGrid({{"Heading", "wider text in B"}, {"x"}});
    const PageGrid b = textGrid({{"1", "2", "3"}, {nullptr, "a much wider text than the rest"}});
    const PageGrid wide = textGrid({{"w", "i", "d", "e"}});
    Workbook plainBook(1), aheadBook(1);
    for (Workbook* book : {&plainBook, &aheadBook}) {
        Worksheet& sheet = *book->activeSheet();
        auto place = [&](const PageGrid& page, CellPosition at, std::int64_t oldRows) {
            PageGrid grid = book == &aheadBook ? encodedAhead(page) : page;
            return sheet.place(at, oldRows, grid, true);
        };
        std::int64_t top = 0;
        for (const PageGrid* page : {&a, &b, &a}) top = place(*page, {0, 0}, 0);
        place(b, {2, 2}, 0);
        place(b, {0, 0}, top);
        EXPECT_THROW(place(wide, {0, kMaxColumns - 3}, 0), Failure);
    }
    const Worksheet& plain = *plainBook.activeSheet();
    const Worksheet& ahead = *aheadBook.activeSheet();
    EXPECT_EQ(contents(ahead.cells()), contents(plain.cells()));
    EXPECT_EQ(ahead.cells().rowCount(), plain.cells().rowCount());
    EXPECT_EQ(ahead.columnWidths(), plain.columnWidths());
    EXPECT_EQ(plain.columnWidths().size(), 5u);
    EXPECT_EQ(text(plain.cells(), 0, 0), "1") << "the top page replaced";
    EXPECT_EQ(text(plain.cells(), 2, 2), "1") << "the page placed at C3";
}

}  // namespace
}  // namespace qf::engine
