// The workbook file the user gets: what a spreadsheet reader finds in it, and
// how it is put in place without ever overwriting or half-writing a file.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "base/failure.h"
#include "base/trap.h"
#include "engine/engine_spreadsheet.h"
#include "engine/web/html_layout.h"
#include "engine/workbook/workbook.h"
#include "engine/workbook/xlsx_output.h"
#include "platform/platform.h"
#include "scripted_source.h"
#include "support/scripted_services.h"
#include "xlsx_strict_reader.h"

namespace qf::engine {
namespace {

namespace fs = std::filesystem;
using testing::textGrid;

// Reads a workbook with openpyxl and prints one line a fact, tab-separated:
//   sheet <name> / active <name> / cell <sheet> <ref> <type> <value> <number format> / width <sheet> <col> <width>
constexpr const char* kDumpScript = R"(
import sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
for ws in wb.worksheets:
    print('sheet\t' + ws.title)
print('active\t' + wb.active.title)
for ws in wb.worksheets:
    for row in ws.iter_rows():
        for c in row:
            if c.value is not None:
                v = c.value.isoformat() if hasattr(c.value, 'isoformat') else repr(c.value)
                print('\t'.join(['cell', ws.title, c.coordinate, c.data_type, v, c.number_format]))
    for letter, dim in sorted(ws.column_dimensions.items()):
        if dim.customWidth:
            print('\t'.join(['width', ws.title, letter, '%.2f' % dim.width]))
    print('\t'.join(['selection', ws.title, ws.sheet_view.selection[0].sqref or '']))
)";

struct Dump {
    std::vector<std::string> sheets;
    std::string active;
    std::map<std::string, std::vector<std::string>> cells;  // "Sheet!A1" -> type, value, format
    std::map<std::string, double> widths;                   // "Sheet!A" -> width
    std::map<std::string, std::string> selections;
};

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> parts;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, '\t')) parts.push_back(part);
    return parts;
}

Dump readBack(const fs::path& file) {
    EXPECT_EQ(testing::strictReadFailure(file.string()), "");
    const fs::path script = file.parent_path() / "dump.py";
    std::ofstream(script) << kDumpScript;
    // The system's interpreter, which has the distribution's openpyxl, before any other on PATH.
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string command = python + " '" + script.string() + "' '" + file.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buf[4096];
    for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;) output.append(buf, n);
    const int status = pipe ? ::pclose(pipe) : -1;
    fs::remove(script);
    EXPECT_EQ(status, 0) << output;
    Dump dump;
    std::stringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto p = split(line);
        if (p.empty()) continue;
        if (p[0] == "sheet") dump.sheets.push_back(p.at(1));
        if (p[0] == "active") dump.active = p.at(1);
        if (p[0] == "cell") dump.cells[p.at(1) + "!" + p.at(2)] = {p.at(3), p.at(4), p.size() > 5 ? p[5] : ""};
        if (p[0] == "width") dump.widths[p.at(1) + "!" + p.at(2)] = std::stod(p.at(3));
        if (p[0] == "selection") dump.selections[p.at(1)] = p.size() > 2 ? p[2] : "";
    }
    return dump;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class XlsxOutput : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("quillfen-xlsx-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    // Every workbook the test wrote (not the stand-ins for other programs' files)
    // is read back strictly, not only the ones whose cells the test looks at;
    // every file the writer opened is closed again, also a sheet's without rows
    // and those of a write that failed.
    void TearDown() override {
        EXPECT_EQ(openFiles(), openAtStart);
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            const std::string path = entry.path().string();
            if (entry.path().extension() == ".xlsx" && slurp(path).rfind("PK", 0) == 0) {
                EXPECT_EQ(testing::strictReadFailure(path), "") << path;
            }
        }
        fs::remove_all(folder);
    }

    std::string slurp(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static std::shared_ptr<Workbook> addWorkbook() { return std::make_shared<Workbook>(1); }
    static std::multiset<std::string> openFiles() {
        std::multiset<std::string> open;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd"))
            open.insert(fs::read_symlink(entry.path()).string());
        return open;
    }
    const std::multiset<std::string> openAtStart = openFiles();

    fs::path folder;
};

TEST_F(XlsxOutput, AReaderFindsTheSheetsInOrderWithTypedValuesFormatsAndFittedWidths) {
    auto book = addWorkbook();
    auto first = book->activeSheet();
    PageGrid grid;
    grid.rows.push_back({CellValue::makeText("Name"), CellValue::makeText("Share"), CellValue::makeText("Price"),
                         CellValue::makeText("Day"), CellValue::makeText("At"), CellValue::makeText("Count")});
    grid.rows.push_back({CellValue::makeText("Tea & \"biscuits\" <b>"),
                         CellValue::makeNumber(0.125, internFormat("0.0%")),
                         CellValue::makeNumber(1234.5, internFormat("$#,##0.00")),
                         CellValue::makeNumber(45000, internFormat("yyyy-mm-dd")),
                         CellValue::makeNumber(0.5, internFormat("hh:mm:ss")), CellValue::makeNumber(42)});
    grid.rows.push_back({CellValue::makeText(std::string(200, 'w')), CellValue::makeNumber(0.25, internFormat("0%")),
                         CellValue::makeText("tab\tbell\x07 \xE2\x82\xAC"),
                         CellValue::makeText(std::string("NUL\0kept", 8)),
                         CellValue::makeText("literal _x0041_ and _x00zz_")});
    grid.rows.push_back({CellValue::makeText(std::string(kMaxCellChars - 7, 'a') + "_x0041_")});
    // The codes that show values as pages write them, quotes, locale tags and
    // sections included; a code beyond the 62 a cell's tag holds as well.
    std::vector<std::string> codes = {"#,##0.00\" \xE2\x82\xAC\"",
                                      "\"R$ \"#,##0.00",
                                      "[$-407]dddd, d. mmmm yyyy",
                                      "dd.mm.yyyy",
                                      "h\" h \"mm",
                                      "#,##0;(#,##0)"};
    for (std::size_t i = 1; i <= 70; ++i) internFormat("0." + std::string(i, '0') + "\"x\"");
    codes.push_back("0." + std::string(70, '0') + "\"x\"");
    std::vector<CellValue> formatted;
    for (const std::string& code : codes) formatted.push_back(CellValue::makeNumber(46363.5, internFormat(code)));
    grid.rows.push_back(formatted);
    first->place({0, 0}, 0, grid, true);
    auto third = book->addSheet(1);
    PageGrid lower = textGrid({{"Heading", "wider text in B"}, {"x"}});
    third->place({4, 1}, 0, lower, true);  // at B5
    book->addSheet(1);                     // between them, and active

    const std::string path = saveAsNewFile(*book, folder.string());
    EXPECT_EQ(path, (folder / "Book1.xlsx").string());
    const Dump dump = readBack(path);
    EXPECT_EQ(dump.sheets, (std::vector<std::string>{"Sheet1", "Sheet3", "Sheet2"}));
    EXPECT_EQ(dump.active, "Sheet3");

    using Cell = std::vector<std::string>;
    EXPECT_EQ(dump.cells.at("Sheet1!A1"), (Cell{"s", "'Name'", "General"}));
    EXPECT_EQ(dump.cells.at("Sheet1!A2"), (Cell{"s", "'Tea & \"biscuits\" <b>'", "General"}));
    EXPECT_EQ(dump.cells.at("Sheet1!B2"), (Cell{"n", "0.125", "0.0%"}));
    EXPECT_EQ(dump.cells.at("Sheet1!B3"), (Cell{"n", "0.25", "0%"}));
    EXPECT_EQ(dump.cells.at("Sheet1!C2"), (Cell{"n", "1234.5", "$#,##0.00"}));
    EXPECT_EQ(dump.cells.at("Sheet1!D2"), (Cell{"d", "2023-03-15T00:00:00", "yyyy-mm-dd"}));
    EXPECT_EQ(dump.cells.at("Sheet1!E2").at(2), "hh:mm:ss");
    EXPECT_EQ(dump.cells.at("Sheet1!F2"), (Cell{"n", "42", "General"}));
    // A control character cannot stand in the file's XML: it is stored in the
    // format's escaped form (which this reader leaves as it is); the file stays valid.
    EXPECT_EQ(dump.cells.at("Sheet1!C3"), (Cell{"s", "'tab\\tbell_x0007_ \xE2\x82\xAC'", "General"}));
    EXPECT_EQ(dump.cells.at("Sheet1!D3"), (Cell{"s", "'NUL\xEF\xBF\xBDkept'", "General"}))
        << "the text goes on after a NUL";
    // Written on the page, an escape-like sequence gets its underscore escaped, so
    // that it reads back as it stood.
    EXPECT_EQ(dump.cells.at("Sheet1!E3"), (Cell{"s", "'literal _x005F_x0041_ and _x00zz_'", "General"}));
    EXPECT_EQ(dump.cells.at("Sheet1!A4").at(1), "'" + std::string(kMaxCellChars - 7, 'a') + "_x0041_'")
        << "a full cell has no room for the escape and is stored as it is";
    for (std::size_t c = 0; c < codes.size(); ++c)
        EXPECT_EQ(dump.cells.at("Sheet1!" + std::string(1, static_cast<char>('A' + c)) + "5").at(2), codes[c]);
    EXPECT_EQ(dump.cells.at("Sheet2!B5"), (Cell{"s", "'Heading'", "General"}));
    EXPECT_EQ(dump.cells.at("Sheet2!B6"), (Cell{"s", "'x'", "General"}));
    EXPECT_EQ(dump.cells.at("Sheet2!C5"), (Cell{"s", "'wider text in B'", "General"}));
    EXPECT_EQ(dump.cells.count("Sheet3!A1"), 0u);

    // Widths follow the longest text of each column, up to the cap. The file
    // stores a width with the cell margins added (0.71 for the default font).
    const double margins = 0.71;
    EXPECT_NEAR(dump.widths.at("Sheet1!A"), kMaxFittedColumnWidth + margins, 0.01);
    EXPECT_NEAR(dump.widths.at("Sheet2!B"), 8.0 + margins, 0.01);   // "Heading" and one more
    EXPECT_NEAR(dump.widths.at("Sheet2!C"), 16.0 + margins, 0.01);  // "wider text in B" and one more
    EXPECT_GT(dump.widths.at("Sheet1!C"), dump.widths.at("Sheet1!F"));
    EXPECT_EQ(dump.widths.count("Sheet2!A"), 0u);
}

TEST_F(XlsxOutput, ATextLongerThanACellReadsBackWholeFromTheCellsBelowIt) {
    // 32,767 units and a character of two at the cut.
    const std::string text = std::string(32767, 'b') + "\xF0\x9F\x98\x80";
    PageGrid grid = layoutText(text + "\nafter", {});
    auto book = addWorkbook();
    book->activeSheet()->place({0, 0}, 0, grid, true);
    const Dump dump = readBack(saveAsNewFile(*book, folder.string()));
    auto stored = [&](const char* cell) {
        const std::string value = dump.cells.at(cell).at(1);
        return value.substr(1, value.size() - 2);  // without the reader's quotes
    };
    EXPECT_TRUE(stored("Sheet1!A1") + stored("Sheet1!A2") == text);
    EXPECT_EQ(stored("Sheet1!A3"), "after");
}

TEST_F(XlsxOutput, TheSelectionIsKeptAndAnEmptyWorkbookIsStillAValidFile) {
    auto book = addWorkbook();
    book->activeSheet()->selectionFirst = {2, 1};
    book->activeSheet()->selectionLast = {2, 1};
    const Dump dump = readBack(saveAsNewFile(*book, folder.string()));
    EXPECT_EQ(dump.sheets, std::vector<std::string>{"Sheet1"});
    EXPECT_TRUE(dump.cells.empty());
    EXPECT_EQ(dump.selections.at("Sheet1"), "B3");
}

TEST_F(XlsxOutput, MoreSheetsThanTheProcessMayOpenFilesAreStillWritten) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    auto book = addWorkbook();
    for (std::size_t i = 1; i < 200; ++i) book->addSheet(i)->cells().insertRows(0, 0, textGrid({{"page"}}));
    std::string path, failure;
    try {
        path = saveAsNewFile(*book, folder.string());
    } catch (const Failure& f) {
        failure = f.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_EQ(failure, "");
    const Dump dump = readBack(path);
    EXPECT_EQ(dump.sheets.size(), 200u);
    EXPECT_EQ(dump.cells.at("Sheet200!A1").at(1), "'page'");
}

// The writer's temporary files may go to a folder in memory: the file must be
// the same wherever they go, and a folder that fails costs the user nothing but
// the time of a second write.
TEST_F(XlsxOutput, WhereTheTemporaryFilesGoChangesNothingAndAFailingFolderFallsBackToTheSystems) {
    auto book = addWorkbook();
    book->activeSheet()->cells().insertRows(0, 0, textGrid({{"a & b", "c"}, {"d"}}));
    book->addSheet(1)->cells().insertRows(3, 2, textGrid({{"second"}}));
    const fs::path own = folder / "temporary";
    fs::create_directories(own);
    auto written = [&](const std::string& name, const std::optional<std::string>& temporary) {
        const std::string path = (folder / name).string();
        writeXlsxWithTemporaryFolder(*book, path, temporary);
        auto parts = testing::unpackParts(path);
        parts.erase("docProps/core.xml");  // holds the time of writing
        return parts;
    };
    const auto systems = written("system.xlsx", std::nullopt);
    EXPECT_EQ(written("own.xlsx", own.string()), systems);
    EXPECT_EQ(written("fallen-back.xlsx", (folder / "no such folder").string()), systems);
    EXPECT_THROW(writeXlsx(*book, (folder / "no such folder" / "x.xlsx").string()), Failure);
    EXPECT_TRUE(fs::is_empty(own)) << "a temporary file stayed";
    EXPECT_EQ(readBack(folder / "fallen-back.xlsx").cells.at("Sheet2!C4").at(1), "'second'");
}

// Whether the temporary files may go to memory is decided by their most; the
// texts that grow the most as XML must stay under it.
TEST_F(XlsxOutput, TheTemporaryFilesStayUnderTheirMostForTextsThatGrowTheMost) {
    auto fill = [](const CellValue& value, std::size_t rows, std::size_t columns) {
        PageGrid grid;
        grid.rows.assign(rows, std::vector<CellValue>(columns, value));
        return grid;
    };
    const std::pair<CellPosition, PageGrid> pages[] = {
        {{0, 0}, fill(CellValue::makeText("\x01"), 1000, 100)},
        {{0, 0}, fill(CellValue::makeText("&"), 1000, 100)},
        {{0, 0}, fill(CellValue::makeText("_x0041_"), 1000, 100)},
        {{0, 16'300}, fill(CellValue::makeNumber(-1.2345678901234567e-300), 1000, 80)},
        {{0, 16'383}, fill(CellValue::makeText(" "), 40'000, 1)},
        {{1'000'000, 0}, fill(CellValue::makeText("x"), 40'000, 1)},
    };
    for (std::size_t i = 0; i < std::size(pages); ++i) {
        auto book = addWorkbook();
        PageGrid page = pages[i].second;
        book->activeSheet()->place(pages[i].first, 0, page, true);
        const std::string path = (folder / ("most" + std::to_string(i) + ".xlsx")).string();
        writeXlsx(*book, path);
        const std::uint64_t sheetXml = testing::unpackParts(path).at("xl/worksheets/sheet1.xml").size();
        EXPECT_LE(2 * sheetXml, mostTemporaryBytes(*book)) << "page " << i << ": its rows, then the sheet once more";
    }
}

TEST_F(XlsxOutput, AnExistingBookIsNeverOverwrittenAndNoTemporaryFileStays) {
    std::ofstream(folder / "Book1.xlsx") << "the user's own file";
    std::ofstream(folder / "Book3.xlsx") << "another";
    auto book = addWorkbook();
    EXPECT_EQ(saveAsNewFile(*book, folder.string()), (folder / "Book2.xlsx").string());
    EXPECT_EQ(saveAsNewFile(*book, folder.string()), (folder / "Book4.xlsx").string());
    EXPECT_EQ(slurp(folder / "Book1.xlsx"), "the user's own file");
    EXPECT_EQ(slurp(folder / "Book3.xlsx"), "another");
    EXPECT_EQ(filesIn(folder), (std::vector<std::string>{"Book1.xlsx", "Book2.xlsx", "Book3.xlsx", "Book4.xlsx"}));
}

TEST_F(XlsxOutput, ANameTakenWhileTheFileIsBeingWrittenIsLeftToItsWriter) {
    auto book = addWorkbook();
    // Another program creates Book1.xlsx while ours is still being written.
    const WorkbookFileWriter racing = [&](const Workbook& b, const std::string& path) {
        std::ofstream(folder / "Book1.xlsx") << "written meanwhile";
        writeXlsx(b, path);
    };
    EXPECT_EQ(saveAsNewFile(*book, folder.string(), racing), (folder / "Book2.xlsx").string());
    EXPECT_EQ(slurp(folder / "Book1.xlsx"), "written meanwhile");
    EXPECT_EQ(readBack(folder / "Book2.xlsx").sheets, std::vector<std::string>{"Sheet1"});
}

TEST_F(XlsxOutput, AFailingWriteNamesThePathAndTheReasonAndLeavesNoFile) {
    auto book = addWorkbook();
    const WorkbookFileWriter diskFull = [](const Workbook&, const std::string& path) {
        std::ofstream(path) << "PK half a zip";
        throw Failure("No space left on device");
    };
    try {
        saveAsNewFile(*book, folder.string(), diskFull);
        FAIL() << "the failed write was reported as success";
    } catch (const Failure& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "Cannot write the workbook file " + (folder / "Book1.xlsx").string() + ": No space left on device");
    }
    EXPECT_TRUE(filesIn(folder).empty());
}

TEST_F(XlsxOutput, AFolderThatCannotBeWrittenFailsWithoutLeavingAFile) {
    auto book = addWorkbook();
    if (::geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        const std::string failure = [&] {
            try {
                saveAsNewFile(*book, folder.string());
            } catch (const Failure& f) {
                return std::string(f.what());
            }
            return std::string();
        }();
        fs::permissions(folder, fs::perms::owner_all);
        EXPECT_EQ(failure,
                  "Cannot write the workbook file " + (folder / "Book1.xlsx").string() + ": Permission denied");
    }
    // A folder path that runs through a plain file cannot be made, for any user.
    std::ofstream(folder / "file") << "x";
    EXPECT_THROW(saveAsNewFile(*book, (folder / "file" / "sub").string()), Failure);
    EXPECT_EQ(filesIn(folder), std::vector<std::string>{"file"});
}

TEST_F(XlsxOutput, TheDocumentsFolderComesFromTheUserDirectoriesOrDefaultsToDocuments) {
    const fs::path home = folder / "home";
    fs::create_directories(home / ".config");
    const std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    ::setenv("HOME", home.c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");

    EXPECT_EQ(platform::documentsFolder(), (home / "Documents").string());
    std::ofstream(home / ".config" / "user-dirs.dirs")
        << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papiere\"\n";
    EXPECT_EQ(platform::documentsFolder(), (home / "Papiere").string());
    std::ofstream(home / ".config" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/\"\n";  // disabled
    EXPECT_EQ(platform::documentsFolder(), (home / "Documents").string());

    fs::create_directories(folder / "cfg");
    std::ofstream(folder / "cfg" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"/srv/papers\"\n";
    ::setenv("XDG_CONFIG_HOME", (folder / "cfg").c_str(), 1);
    EXPECT_EQ(platform::documentsFolder(), "/srv/papers");
    ::unsetenv("XDG_CONFIG_HOME");

    // Finished with no folder configured: the documents folder is made and used.
    fs::remove(home / ".config" / "user-dirs.dirs");
    qf::testing::ScriptedServices ui;
    Trap run(ui, "run ");
    EngineSpreadsheet spreadsheet;
    const auto workbook = spreadsheet.newWorkbook();
    workbook->startWorkbook(run);
    EXPECT_EQ(workbook->finish(run), (home / "Documents" / "Book1.xlsx").string());
    EXPECT_TRUE(fs::is_regular_file(home / "Documents" / "Book1.xlsx"));
    EXPECT_TRUE(ui.boxes.empty());

    ::setenv("HOME", oldHome.c_str(), 1);
    if (oldConfig) ::setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
}

}  // namespace
}  // namespace qf::engine
