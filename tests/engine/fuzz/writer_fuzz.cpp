// Feeds arbitrary bytes through everything between a download and the file the
// user opens: charset decoding, layout, value recognition, the sheet's storage
// and the .xlsx writer. Every XML part of the written package must then pass a
// strict XML parser, and every cell must read back as the sheet holds it. The
// first byte picks the settings, as in the layout's fuzzer.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/failure.h"
#include "engine/web/html_layout.h"
#include "engine/workbook/workbook.h"
#include "engine/workbook/xlsx_output.h"
#include "engine/workbook/xml_text.h"
#include "fuzz_page.h"
#include "tests/engine/xlsx_strict_reader.h"

namespace {

using namespace qf::engine;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "writer fuzz: %s\n", what.c_str());
    __builtin_trap();
}

const std::string& outputPath() {
    static const std::string path = [] {
        const char* shm = "/dev/shm";
        const std::string folder = ::access(shm, W_OK) == 0 ? shm : "/tmp";
        return folder + "/quillfen-writer-fuzz-" + std::to_string(::getpid()) + ".xlsx";
    }();
    return path;
}

// "A" for column 0, "AA" for 26.
std::string columnName(std::int32_t column) {
    std::string name;
    for (std::int32_t c = column + 1; c > 0; c = (c - 1) / 26)
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    return name;
}

// A cell reads back as the sheet holds it; a text whose escapes do not fit the
// cell has U+FFFD for the characters the file cannot hold.
void compareCells(const Worksheet& sheet, const testing::StrictSheet& read) {
    std::size_t cells = 0;
    sheet.cells().forEachCell([&](std::int64_t row, std::int32_t column, const CellView& cell) {
        ++cells;
        const std::string ref = columnName(column) + std::to_string(row + 1);
        const auto it = read.cells.find(ref);
        if (it == read.cells.end()) fail("the cell " + ref + " is missing");
        if (cell.kind == CellValue::Kind::Text) {
            if (it->second != cell.text && it->second != withoutForbiddenXml(cell.text))
                fail("the cell " + ref + " reads back as another text");
        } else {
            const double number = std::strtod(it->second.c_str(), nullptr);
            if (std::fabs(number - cell.number) > 1e-14 * std::fabs(cell.number))
                fail("the number in " + ref + " reads back as " + it->second);
        }
    });
    if (cells != read.cells.size()) fail("the file holds other cells than the sheet");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto page = fuzz::fuzzPage(data, size);
    PageGrid grid;
    try {
        grid = page.html ? layoutHtml(page.text, page.options) : layoutText(page.text, page.options);
    } catch (const PageRefused&) {
        return 0;
    }

    const auto book = std::make_shared<Workbook>(1);
    Worksheet& sheet = *book->activeSheet();
    try {
        sheet.cells().insertRows(0, 0, grid);
    } catch (const qf::Failure& failure) {
        fail(std::string("a page the layout accepted does not fit: ") + failure.what());
    }
    try {
        writeXlsx(*book, outputPath());
    } catch (const qf::Failure& failure) {
        fail(std::string("the workbook was not written: ") + failure.what());
    }
    try {
        const testing::StrictWorkbook read = testing::readStrictly(outputPath());
        if (read.sheets.size() != 1 || read.sheets[0].name != sheet.name())
            fail("the sheet's name \"" + sheet.name() + "\" reads back otherwise");
        compareCells(sheet, read.sheets[0]);
    } catch (const testing::RefusedWorkbook& refused) {
        fail(std::string("a strict reader refuses the workbook: ") + refused.what());
    }
    ::unlink(outputPath().c_str());
    return 0;
}
