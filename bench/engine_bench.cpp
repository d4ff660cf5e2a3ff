// The spreadsheet engine's own costs, each phase in a child process so that its
// peak memory is its own:
//   1. 1,000,000 cells (half text, half numbers) on 10 sheets, placed page by
//      page at A1 as an import places them and written as .xlsx; against a
//      minimal program writing the same cells straight with libxlsxwriter. Peak
//      memory against the cells' text size.
//   2. 1,000 blocks of 100 x 5 cells placed at A1 of one sheet, against the
//      same blocks each on a sheet of its own.
//
//     engine_bench <scratch folder>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/failure.h"
#include "engine/workbook/workbook.h"
#include "engine/workbook/xlsx_output.h"

namespace fs = std::filesystem;
using qf::engine::CellValue;
using qf::engine::PageGrid;
using qf::engine::Workbook;

namespace {

constexpr int kSheets = 10;
constexpr int kColumns = 10;           // 5 text, 5 numbers
constexpr int kRowsPerSheet = 10'000;  // 100,000 cells a sheet
constexpr int kRowsPerPage = 100;      // a page of 1,000 cells
constexpr int kBlocks = 1000;
constexpr int kBlockRows = 100;
constexpr int kBlockColumns = 5;

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

long peakKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The cells of the written workbook, the same for both writers.
std::string textAt(int sheet, int row, int column) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "s%d row %d col %d", sheet, row, column);
    return std::string(buf, static_cast<std::size_t>(n));
}
double numberAt(int sheet, int row, int column) { return sheet * 1e6 + row * 10 + column + 0.25; }
bool isText(int column) { return column % 2 == 0; }

// The bytes the cells' texts take, numbers counted as the text they show.
std::size_t cellTextBytes() {
    std::size_t total = 0;
    char buf[32];
    for (int s = 0; s < kSheets; ++s)
        for (int r = 0; r < kRowsPerSheet; ++r)
            for (int c = 0; c < kColumns; ++c)
                total += isText(c)
                             ? textAt(s, r, c).size()
                             : static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%.10g", numberAt(s, r, c)));
    return total;
}

// A page made up on the fly: rows of the sheet's cells from the first one on.
PageGrid generated(int sheet, int first, int rows, int columns) {
    PageGrid grid;
    grid.rows.resize(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        auto& row = grid.rows[static_cast<std::size_t>(r)];
        row.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c)
            row.push_back(isText(c) ? CellValue::makeText(textAt(sheet, first + r, c))
                                    : CellValue::makeNumber(numberAt(sheet, first + r, c)));
    }
    return grid;
}

// The engine's workbook, which pages go into as an import puts them: at A1 of
// the active sheet, above what it holds, its columns widened.
struct EngineBook {
    Workbook book{1};
    void importAtA1(PageGrid page) { book.activeSheet()->place({0, 0}, 0, page, true); }
};

// Phase 1, through the engine. Pages are imported at A1, so the last rows go in
// first and the sheet ends up in row order.
void writeThroughEngine(const fs::path& folder) {
    EngineBook engine;
    for (int s = 0; s < kSheets; ++s) {
        if (s > 0) engine.book.addSheet(engine.book.sheets().size());
        for (int first = kRowsPerSheet - kRowsPerPage; first >= 0; first -= kRowsPerPage)
            engine.importAtA1(generated(s, first, kRowsPerPage, kColumns));
    }
    saveAsNewFile(engine.book, folder.string());
}

// Phase 1, straight: the smallest program that writes the same cells.
void writeDirect(const fs::path& folder) {
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* wb = workbook_new_opt((folder / "direct.xlsx").c_str(), &options);
    for (int s = 0; s < kSheets; ++s) {
        lxw_worksheet* ws = workbook_add_worksheet(wb, ("Sheet" + std::to_string(s + 1)).c_str());
        for (int c = 0; c < kColumns; ++c)
            worksheet_set_column(ws, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), isText(c) ? 21 : 12,
                                 nullptr);
        for (int r = 0; r < kRowsPerSheet; ++r)
            for (int c = 0; c < kColumns; ++c) {
                if (isText(c))
                    worksheet_write_string(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c),
                                           textAt(s, r, c).c_str(), nullptr);
                else
                    worksheet_write_number(ws, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), numberAt(s, r, c),
                                           nullptr);
            }
    }
    if (workbook_close(wb) != LXW_NO_ERROR) throw qf::Failure("the direct write failed");
}

PageGrid blockPage(int block) { return generated(0, block * kBlockRows, kBlockRows, kBlockColumns); }

// Phase 2: every block at A1 of the one sheet.
void blocksOnOneSheet(const fs::path&) {
    EngineBook engine;
    for (int b = 0; b < kBlocks; ++b) engine.importAtA1(blockPage(b));
}

// Phase 2: every block at A1 of a sheet of its own.
void blocksOnOwnSheets(const fs::path&) {
    EngineBook engine;
    for (int b = 0; b < kBlocks; ++b) {
        if (b > 0) engine.book.addSheet(engine.book.sheets().size());
        engine.importAtA1(blockPage(b));
    }
}

struct Result {
    double seconds = 0;
    long peakKb = 0;
};

// Runs a phase in a child process; gives its time and peak memory.
Result inChild(const std::function<void()>& phase) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) throw qf::Failure("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFd[0]);
        Result r;
        const auto start = std::chrono::steady_clock::now();
        try {
            phase();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "phase failed: %s\n", e.what());
            ::_exit(1);
        }
        r.seconds = seconds(std::chrono::steady_clock::now() - start);
        r.peakKb = peakKb();
        if (::write(pipeFd[1], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) ::_exit(1);
        ::_exit(0);
    }
    ::close(pipeFd[1]);
    Result r;
    const bool got = ::read(pipeFd[0], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    ::close(pipeFd[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) throw qf::Failure("a benchmark phase failed");
    return r;
}

// The best of a few runs, alternating the two sides so that both see the same machine.
std::pair<Result, Result> bestOf(int runs, const std::function<void()>& a, const std::function<void()>& b) {
    Result bestA{1e9, 0}, bestB{1e9, 0};
    for (int i = 0; i < runs; ++i) {
        const Result ra = inChild(a), rb = inChild(b);
        if (ra.seconds < bestA.seconds) bestA = ra;
        if (rb.seconds < bestB.seconds) bestB = rb;
    }
    return {bestA, bestB};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: engine_bench <scratch folder> [runs]\n");
        return 2;
    }
    const fs::path folder = fs::path(argv[1]) / "engine-bench";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    fs::remove_all(folder);
    fs::create_directories(folder);
    auto clean = [&] {
        for (const auto& entry : fs::directory_iterator(folder)) fs::remove(entry.path());
    };

    const Result idle = inChild([] {});
    const auto [engine, direct] = bestOf(
        runs,
        [&] {
            writeThroughEngine(folder);
            clean();
        },
        [&] {
            writeDirect(folder);
            clean();
        });
    const double textMb = static_cast<double>(cellTextBytes()) / (1 << 20);
    const double engineMb = static_cast<double>(engine.peakKb) / 1024;
    const double idleMb = static_cast<double>(idle.peakKb) / 1024;

    std::printf("1,000,000 cells on %d sheets to .xlsx (best of %d)\n", kSheets, runs);
    std::printf("  engine (imports + write)  : %7.3f s   peak %7.1f MB\n", engine.seconds, engineMb);
    std::printf("  direct libxlsxwriter:       %7.3f s   peak %7.1f MB\n", direct.seconds,
                static_cast<double>(direct.peakKb) / 1024);
    std::printf("  time ratio engine/direct:   %7.2f   (target <= 1.5)\n", engine.seconds / direct.seconds);
    std::printf("  cell text size:             %7.1f MB; process at rest %.1f MB\n", textMb, idleMb);
    std::printf("  peak above rest / text size: %6.2f   (target <= 2)\n", (engineMb - idleMb) / textMb);

    const auto [oneSheet, ownSheets] = bestOf(
        runs, [&] { blocksOnOneSheet(folder); }, [&] { blocksOnOwnSheets(folder); });
    std::printf("%d blocks of %d x %d cells imported at A1 (best of %d)\n", kBlocks, kBlockRows, kBlockColumns, runs);
    std::printf("  one sheet:         %7.3f s   peak %7.1f MB\n", oneSheet.seconds,
                static_cast<double>(oneSheet.peakKb) / 1024);
    std::printf("  a sheet per block: %7.3f s   peak %7.1f MB\n", ownSheets.seconds,
                static_cast<double>(ownSheets.peakKb) / 1024);
    std::printf("  time ratio one/separate: %5.2f   (target <= 1.3)\n", oneSheet.seconds / ownSheets.seconds);
    fs::remove_all(folder);
    return 0;
}
