// The engine driven the way the import drives it: only through the late-bound
// interface, with named arguments and member names in any letter case.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/failure.h"
#include "engine/engine_objects.h"
#include "engine/engine_provider.h"
#include "engine/application.h"
#include "scripted_source.h"
#include "xlsx_strict_reader.h"

namespace qf::engine {
namespace {

namespace fs = std::filesystem;
namespace ft = failure_text;
using automation::Object;
using automation::Variant;
using automation::VarType;
using testing::PageScript;
using testing::textGrid;

// Runs f and gives the description it failed with ("" when it did not fail).
template <class F>
std::string failureOf(F&& f) {
    try {
        f();
    } catch (const Failure& failure) {
        return failure.what();
    }
    return {};
}

class EngineAutomation : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() / ("quillfen-engine-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        script->pages["URL;http://www.one.example"] = textGrid({{"One", "1a"}, {"one end"}});
        script->pages["URL;http://www.two.example"] = textGrid({{"Two"}, {"two b"}, {"two end"}});
        script->pages["URL;http://www.three.example"] = textGrid({{"Three"}});
    }
    void TearDown() override { fs::remove_all(folder); }

    EngineProvider provider(int sheetsInNewWorkbook = 1) {
        EngineSettings settings;
        settings.documentsFolder = folder.string();
        settings.openWorkbook = [this](const std::string& path) {
            opened.push_back(path);
            EXPECT_EQ(testing::strictReadFailure(path), "");
        };
        settings.pageSourceFactory = testing::scriptedFactory(script);
        settings.sheetsInNewWorkbook = sheetsInNewWorkbook;
        return EngineProvider(std::move(settings));
    }

    // What importWeb does for one address on the workbook's active sheet; false
    // when the refresh failed.
    static bool importPage(const Object& book, const std::string& address) {
        const Object sheet = book.obj("ActiveSheet");
        const Object query =
            sheet.obj("QueryTables")
                .callObj("Add", {{"Connection", "URL;" + address}, {"Destination", sheet.callObj("Range", {"A1"})}});
        query.put("name", "?ocid=iehp");
        query.put("FieldNames", true);
        query.put("RowNumbers", false);
        query.put("FillAdjacentFormulas", false);
        query.put("PreserveFormatting", true);
        query.put("RefreshOnFileOpen", false);
        query.put("BackgroundQuery", true);
        query.put("RefreshStyle", std::int32_t{1});
        query.put("SavePassword", false);
        query.put("SaveData", true);
        query.put("AdjustColumnWidth", true);
        query.put("RefreshPeriod", std::int16_t{0});
        query.put("WebSelectionType", std::int32_t{1});
        query.put("WebFormatting", std::int32_t{3});
        query.put("WebPreFormattedTextToColumns", true);
        query.put("WebConsecutiveDelimitersAsOne", true);
        query.put("WebSingleBlockTextImport", false);
        query.put("WebDisableDateRecognition", false);
        query.put("WebDisableRedirections", false);
        try {
            query.call("Refresh", {{"BackgroundQuery", false}});
            return true;
        } catch (const Failure&) {
            return false;
        }
    }

    // The import run's calls on the spreadsheet, for a list of addresses.
    Object importRun(EngineProvider& p, const std::vector<std::string>& addresses, bool separateSheets) {
        Object app = p.create("Excel.Application");
        app.obj("Workbooks").call("add");
        app.put("DisplayAlerts", false);
        const Object books = app.obj("Workbooks");
        Object book = books.obj("", {books.get("count")});
        if (separateSheets && book.obj("Sheets").get("count").toInt32() > 1)
            for (std::int32_t i = book.obj("Sheets").get("count").toInt32(); i >= 2; --i)
                book.obj("Sheets", {i}).call("Delete");
        for (const auto& address : addresses) {
            failed.push_back(!importPage(book, address));
            if (separateSheets) {
                const Object sheets = book.obj("Sheets");
                sheets.call("add", {{"After", book.obj("Sheets", {sheets.get("count")})}});
            }
        }
        if (separateSheets) book.obj("ActiveSheet").call("Delete");
        book.obj("ActiveSheet").callObj("Range", {"A1"}).call("Select");
        app.put("Visible", true);
        app.put("DisplayAlerts", true);
        return book;
    }

    static std::vector<std::string> sheetNames(const Object& book) {
        std::vector<std::string> names;
        const Object sheets = book.obj("Sheets");
        for (std::int32_t i = 1; i <= sheets.get("Count").toInt32(); ++i)
            names.push_back(sheets.obj("Item", {i}).get("Name").toText());
        return names;
    }
    static std::string cellText(const Object& sheet, const char* reference) {
        return sheet.callObj("Range", {reference}).get("Value").toText();
    }

    std::shared_ptr<PageScript> script = std::make_shared<PageScript>();
    fs::path folder;
    std::vector<std::string> opened;
    std::vector<bool> failed;
};

TEST_F(EngineAutomation, ProviderMakesIndependentInvisibleInstancesAndHasNoRunningOne) {
    EngineProvider p = provider();
    const Object a = p.create("excel.application");
    const Object b = p.create("Excel.Application");
    EXPECT_EQ(a.value(), Variant(std::string(kEngineName)));
    EXPECT_EQ(a.get("Visible"), Variant(false));
    a.obj("Workbooks").call("Add");
    EXPECT_EQ(a.obj("Workbooks").get("Count"), Variant(std::int32_t{1}));
    EXPECT_EQ(b.obj("Workbooks").get("Count"), Variant(std::int32_t{0}));

    EXPECT_EQ(failureOf([&] { p.create("Word.Application"); }), ft::kCannotCreateObject);
    EXPECT_EQ(failureOf([&] { p.getRunning("Excel.Application"); }), ft::kCannotCreateObject);
    EXPECT_EQ(script->sourcesMade, 0);  // the page source is made only when a page is loaded
}

TEST_F(EngineAutomation, TheImportCallsWorkEndToEnd) {
    EngineProvider p = provider();
    Object app = p.create("Excel.Application");
    const Object added = app.obj("Workbooks").callObj("Add");
    EXPECT_EQ(added.get("Name"), Variant(std::string("Book1")));
    app.put("displayalerts", false);
    EXPECT_EQ(app.get("DISPLAYALERTS"), Variant(false));
    const Object book = app.obj("Workbooks", {app.obj("Workbooks").get("Count")});
    EXPECT_EQ(book.get("Name"), Variant(std::string("Book1")));
    EXPECT_EQ(book.obj("Sheets").get("Count"), Variant(std::int32_t{1}));
    EXPECT_EQ(book.obj("ActiveSheet").get("Name"), Variant(std::string("Sheet1")));

    ASSERT_TRUE(importPage(book, "http://www.one.example"));
    const Object sheet = book.obj("ActiveSheet");
    const Object query = sheet.obj("QueryTables", {1});
    EXPECT_EQ(cellText(sheet, "A1"), "One");
    EXPECT_EQ(cellText(sheet, "b1"), "1a");
    EXPECT_EQ(cellText(sheet, "$A$2"), "one end");

    // Every property reads back what was set, with its own type.
    EXPECT_EQ(query.get("Name"), Variant(std::string("?ocid=iehp")));
    EXPECT_EQ(query.get("fieldnames"), Variant(true));
    EXPECT_EQ(query.get("RowNumbers"), Variant(false));
    EXPECT_EQ(query.get("RefreshStyle"), Variant(std::int32_t{1}));
    EXPECT_EQ(query.get("RefreshPeriod"), Variant(std::int16_t{0}));
    EXPECT_EQ(query.get("WebFormatting"), Variant(std::int32_t{3}));
    EXPECT_EQ(query.get("WebDisableRedirections"), Variant(false));
    EXPECT_EQ(query.get("Connection"), Variant(std::string("URL;http://www.one.example")));
    EXPECT_EQ(query.obj("Destination").get("Address"), Variant(std::string("$A$1")));

    // The page source was given the query's web options.
    ASSERT_EQ(script->options.size(), 1u);
    EXPECT_EQ(script->options[0].webFormatting, 3);
    EXPECT_TRUE(script->options[0].preFormattedTextToColumns);
    EXPECT_FALSE(script->options[0].disableRedirections);

    // A second sheet after the last one becomes active; deleting it activates its neighbour.
    const Object sheets = book.obj("Sheets");
    const Object second = sheets.callObj("Add", {{"after", book.obj("Sheets", {sheets.get("Count")})}});
    EXPECT_EQ(second.get("Name"), Variant(std::string("Sheet2")));
    EXPECT_EQ(book.obj("ActiveSheet").get("Index"), Variant(std::int32_t{2}));
    book.obj("ActiveSheet").call("Delete");
    EXPECT_EQ(sheetNames(book), std::vector<std::string>{"Sheet1"});
    EXPECT_EQ(book.obj("ActiveSheet").get("Name"), Variant(std::string("Sheet1")));

    book.obj("ActiveSheet").callObj("Range", {"A1"}).call("Select");
    EXPECT_TRUE(opened.empty());
    app.put("Visible", true);
    EXPECT_EQ(app.get("Visible"), Variant(true));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], (folder / "Book1.xlsx").string());
    EXPECT_TRUE(fs::is_regular_file(opened[0]));
    app.put("Visible", true);  // already shown: not written twice
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(EngineAutomation, EachPageIsInsertedAtA1AboveTheEarlierOnes) {
    EngineProvider p = provider();
    const Object book = importRun(p, {"http://www.one.example", "http://www.two.example"}, false);
    const Object sheet = book.obj("Sheets", {1});
    EXPECT_EQ(cellText(sheet, "A1"), "Two");
    EXPECT_EQ(cellText(sheet, "A3"), "two end");
    EXPECT_EQ(cellText(sheet, "A4"), "One");
    EXPECT_EQ(cellText(sheet, "B4"), "1a");
    EXPECT_EQ(cellText(sheet, "A5"), "one end");
    EXPECT_TRUE(sheet.callObj("Range", {"A6"}).get("Value").isEmpty());

    // The earlier query's result moved down with its rows; refreshing it again
    // replaces its rows instead of adding a copy.
    const Object first = sheet.obj("QueryTables", {1});
    EXPECT_EQ(first.obj("Destination").get("Address"), Variant(std::string("$A$4")));
    script->pages["URL;http://www.one.example"] = textGrid({{"One again"}});
    first.call("Refresh");
    EXPECT_EQ(cellText(sheet, "A4"), "One again");
    EXPECT_TRUE(sheet.callObj("Range", {"A5"}).get("Value").isEmpty());
    EXPECT_EQ(cellText(sheet, "A1"), "Two");
}

TEST_F(EngineAutomation, AFailedRefreshRaisesTheSourceDescriptionAndPlacesNothing) {
    EngineProvider p = provider();
    const Object app = p.create("Excel.Application");
    const Object book = app.obj("Workbooks").callObj("Add");
    ASSERT_TRUE(importPage(book, "http://www.one.example"));
    const Object sheet = book.obj("ActiveSheet");
    const Object query = sheet.obj("QueryTables")
                             .callObj("Add", {{"Connection", "URL;http://www.missing.example"},
                                              {"Destination", sheet.callObj("Range", {"A1"})}});
    EXPECT_EQ(failureOf([&] {
                  query.call("Refresh", {{"BackgroundQuery", false}});
              }),
              "Unable to open http://www.missing.example.");
    EXPECT_EQ(sheet.obj("QueryTables").get("Count"), Variant(std::int32_t{2}));
    EXPECT_EQ(cellText(sheet, "A1"), "One");
}

TEST_F(EngineAutomation, SeparateSheetsGiveOneSheetPerEntryInListOrderFailuresIncluded) {
    EngineProvider p = provider();
    const Object book =
        importRun(p, {"http://www.one.example", "http://www.missing.example", "http://www.three.example"}, true);
    EXPECT_EQ(failed, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"Sheet1", "Sheet2", "Sheet3"}));
    EXPECT_EQ(cellText(book.obj("Sheets", {1}), "A1"), "One");
    EXPECT_TRUE(book.obj("Sheets", {2}).callObj("Range", {"A1"}).get("Value").isEmpty());
    EXPECT_EQ(book.obj("Sheets", {2}).obj("QueryTables").get("Count"), Variant(std::int32_t{1}));
    EXPECT_EQ(cellText(book.obj("Sheets", {"sheet3"}), "A1"), "Three");
    // The sheet added after the last entry was deleted; the one before it is active.
    EXPECT_EQ(book.obj("ActiveSheet").get("Name"), Variant(std::string("Sheet3")));
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(EngineAutomation, AWorkbookMadeWithThreeSheetsIsCutToOneInSeparateModeAndKeptInOneSheetMode) {
    EngineProvider three = provider(3);
    const Object separate = importRun(three, {"http://www.one.example", "http://www.two.example"}, true);
    // New sheets take the next number not used yet in this workbook.
    EXPECT_EQ(sheetNames(separate), (std::vector<std::string>{"Sheet1", "Sheet4"}));
    EXPECT_EQ(cellText(separate.obj("Sheets", {1}), "A1"), "One");
    EXPECT_EQ(cellText(separate.obj("Sheets", {2}), "A1"), "Two");

    const Object single = importRun(three, {"http://www.one.example", "http://www.two.example"}, false);
    EXPECT_EQ(sheetNames(single), (std::vector<std::string>{"Sheet1", "Sheet2", "Sheet3"}));
    EXPECT_EQ(cellText(single.obj("Sheets", {1}), "A1"), "Two");
    EXPECT_EQ(cellText(single.obj("Sheets", {1}), "A4"), "One");
    EXPECT_TRUE(single.obj("Sheets", {2}).callObj("Range", {"A1"}).get("Value").isEmpty());

    // The application's own setting works the same way.
    EngineProvider one = provider();
    const Object app = one.create("Excel.Application");
    app.put("SheetsInNewWorkbook", std::int16_t{2});
    EXPECT_EQ(app.obj("Workbooks").callObj("Add").obj("Sheets").get("Count"), Variant(std::int32_t{2}));
    EXPECT_FALSE(failureOf([&] { app.put("SheetsInNewWorkbook", std::int32_t{0}); }).empty());
}

TEST_F(EngineAutomation, SheetsAddAndDeleteKeepOrderNamesAndTheActiveSheet) {
    EngineProvider p = provider();
    const Object book = p.create("Excel.Application").obj("Workbooks").callObj("Add");
    const Object sheets = book.obj("Worksheets");
    sheets.call("Add");  // before the active sheet
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"Sheet2", "Sheet1"}));
    sheets.call("Add", {{"Before", book.obj("Sheets", {"Sheet1"})}, {"Count", std::int32_t{2}}});
    EXPECT_EQ(sheetNames(book), (std::vector<std::string>{"Sheet2", "Sheet3", "Sheet4", "Sheet1"}));
    EXPECT_EQ(book.obj("ActiveSheet").get("Name"), Variant(std::string("Sheet4")));

    // Deleting the active sheet activates the one to its right, or to its left at the end.
    book.obj("ActiveSheet").call("Delete");
    EXPECT_EQ(book.obj("ActiveSheet").get("Name"), Variant(std::string("Sheet1")));
    book.obj("ActiveSheet").call("Delete");
    EXPECT_EQ(book.obj("ActiveSheet").get("Name"), Variant(std::string("Sheet3")));
    sheets.obj("Item", {1}).call("Activate");
    book.obj("Sheets", {2}).call("Delete");
    EXPECT_EQ(sheetNames(book), std::vector<std::string>{"Sheet2"});

    // The last sheet stays, with a clear reason.
    EXPECT_EQ(failureOf([&] { book.obj("ActiveSheet").call("Delete"); }),
              "The sheet \"Sheet2\" cannot be deleted: a workbook must keep at least one sheet.");
    EXPECT_EQ(sheets.get("Count"), Variant(std::int32_t{1}));

    // Renaming checks the name.
    const Object sheet = book.obj("ActiveSheet");
    sheet.put("Name", "Prices");
    EXPECT_EQ(sheets.obj("Item", {"PRICES"}).get("Name"), Variant(std::string("Prices")));
    EXPECT_FALSE(failureOf([&] { sheet.put("Name", "a/b"); }).empty());
    sheets.call("Add");
    EXPECT_EQ(failureOf([&] { book.obj("ActiveSheet").put("Name", "prices"); }),
              "The sheet name \"prices\" is already taken.");
}

TEST_F(EngineAutomation, BadCallsFailWithTheRuntimeDescriptions) {
    EngineProvider p = provider();
    const Object app = p.create("Excel.Application");
    const Object book = app.obj("Workbooks").callObj("Add");
    const Object sheet = book.obj("ActiveSheet");
    const Object query = sheet.obj("QueryTables")
                             .callObj("Add", {{"Connection", "URL;http://www.one.example"},
                                              {"Destination", sheet.callObj("Range", {"A1"})}});

    EXPECT_EQ(failureOf([&] { app.call("Quit"); }), ft::kNotSupported);
    EXPECT_EQ(failureOf([&] { query.put("NoSuchProperty", true); }), ft::kNotSupported);
    EXPECT_EQ(failureOf([&] { book.obj("Sheets", {std::int32_t{0}}); }), ft::kSubscriptOutOfRange);
    EXPECT_EQ(failureOf([&] { book.obj("Sheets", {std::int32_t{2}}); }), ft::kSubscriptOutOfRange);
    EXPECT_EQ(failureOf([&] { book.obj("Sheets", {"Nope"}); }), ft::kSubscriptOutOfRange);
    EXPECT_EQ(failureOf([&] { app.obj("Workbooks", {std::int32_t{2}}); }), ft::kSubscriptOutOfRange);
    EXPECT_EQ(failureOf([&] { query.put("FieldNames", "maybe"); }), ft::kTypeMismatch);
    EXPECT_EQ(
        failureOf([&] { query.put("RefreshStyle", Variant(std::shared_ptr<automation::Dispatch>(sheet.dispatch()))); }),
        ft::kTypeMismatch);
    EXPECT_EQ(failureOf([&] { query.put("RefreshPeriod", std::int32_t{40000}); }), "Overflow");
    EXPECT_EQ(failureOf([&] { query.put("RefreshPeriod", std::int16_t{-1}); }), ft::kInvalidArgument);
    EXPECT_EQ(failureOf([&] { query.put("WebFormatting", std::int32_t{7}); }), ft::kInvalidArgument);
    EXPECT_FALSE(failureOf([&] { query.put("RefreshStyle", std::int32_t{0}); }).empty());
    EXPECT_EQ(query.get("RefreshStyle"), Variant(std::int32_t{1}));  // a refused value leaves the old one
    EXPECT_EQ(failureOf([&] { query.put("Connection", "ODBC;DSN=x"); }),
              "Only web queries can be added: the connection must begin with \"URL;\".");
    // Values that convert are accepted, as late binding converts them.
    query.put("FieldNames", "False");
    EXPECT_EQ(query.get("FieldNames"), Variant(false));
    query.put("WebSelectionType", 2.0);
    EXPECT_EQ(query.get("WebSelectionType"), Variant(std::int32_t{2}));

    EXPECT_EQ(failureOf([&] {
                  sheet.obj("QueryTables").call("Add", {{"Connection", "URL;x"}});
              }),
              ft::kArgumentNotOptional);
    EXPECT_EQ(failureOf([&] {
                  sheet.obj("QueryTables").call("Add", {{"Connection", "URL;x"}, {"Destination", "A1"}});
              }),
              ft::kTypeMismatch);
    EXPECT_EQ(failureOf([&] { query.call("Refresh", {{"Background", false}}); }), "Named argument not found");
    EXPECT_EQ(failureOf([&] { sheet.call("Range", {"A0"}); }),
              "\"A0\" is not a cell reference such as \"A1\" or \"A1:C3\".");
    EXPECT_FALSE(failureOf([&] { sheet.call("Range", {"XFE1"}); }).empty());
    EXPECT_EQ(sheet.callObj("Range", {"XFD1048576"}).get("Address"), Variant(std::string("$XFD$1048576")));
    EXPECT_EQ(failureOf([&] { app.put("Workbooks", true); }), ft::kNotSupported);

    // A destination on another sheet is refused.
    const Object other = book.obj("Sheets").callObj("Add");
    EXPECT_EQ(failureOf([&] {
                  sheet.obj("QueryTables")
                      .call("Add", {{"Connection", "URL;x"}, {"Destination", other.callObj("Range", {"A1"})}});
              }),
              "The destination must be a cell of the sheet that the query table is added to.");
    // Selecting on a sheet that is not active is refused.
    EXPECT_FALSE(failureOf([&] { sheet.callObj("Range", {"A1"}).call("Select"); }).empty());

    Object released = app;
    released.release();
    EXPECT_EQ(failureOf([&] { released.get("Visible"); }), ft::kObjectNotSet);
}

TEST_F(EngineAutomation, ObjectsOfADeletedSheetFailClearlyAndTheInstanceLivesWhileReferenced) {
    EngineProvider p = provider();
    Object app = p.create("Excel.Application");
    std::weak_ptr<Application> model = applicationOf(app);
    Object book = app.obj("Workbooks").callObj("Add");
    const Object first = book.obj("ActiveSheet");
    const Object range = first.callObj("Range", {"A1"});
    const Object query =
        first.obj("QueryTables").callObj("Add", {{"Connection", "URL;http://www.one.example"}, {"Destination", range}});
    const Object tables = first.obj("QueryTables");
    book.obj("Sheets").call("Add");
    first.call("Delete");

    const std::string deleted = "The sheet has been deleted";
    EXPECT_EQ(failureOf([&] { first.get("Name"); }), deleted);
    EXPECT_EQ(failureOf([&] { range.get("Value"); }), deleted);
    EXPECT_EQ(failureOf([&] { query.call("Refresh"); }), deleted);
    EXPECT_EQ(failureOf([&] { tables.get("Count"); }), deleted);
    EXPECT_EQ(failureOf([&] { book.obj("Sheets").call("Add", {{"After", first}}); }), deleted);
    EXPECT_TRUE(script->loads.empty());

    // The application goes when its last object goes, whichever that is.
    app.release();
    book.release();
    EXPECT_FALSE(model.expired());  // the sheet, range and query objects still hold it
    EXPECT_EQ(failureOf([&] { first.get("Name"); }), deleted);
}

TEST_F(EngineAutomation, ReleasingEveryObjectFreesTheInstance) {
    EngineProvider p = provider();
    std::weak_ptr<Application> model;
    {
        Object app = p.create("Excel.Application");
        model = applicationOf(app);
        const Object book = app.obj("Workbooks").callObj("Add");
        ASSERT_TRUE(importPage(book, "http://www.one.example"));
        app.release();
        EXPECT_FALSE(model.expired());
    }
    EXPECT_TRUE(model.expired());
    EXPECT_TRUE(opened.empty());  // never shown, never written
}

TEST_F(EngineAutomation, MakingTheInstanceVisibleFailsClearlyWhenTheFolderCannotBeMade) {
    fs::create_directories(folder);
    std::ofstream(folder / "plain-file") << "x";
    EngineSettings settings;
    settings.documentsFolder = (folder / "plain-file" / "Documents").string();
    settings.openWorkbook = [this](const std::string& path) { opened.push_back(path); };
    settings.pageSourceFactory = testing::scriptedFactory(script);
    EngineProvider p(std::move(settings));
    const Object app = p.create("Excel.Application");
    app.obj("Workbooks").call("Add");
    const std::string failure = failureOf([&] { app.put("Visible", true); });
    EXPECT_EQ(failure.rfind("Cannot create the folder " + (folder / "plain-file" / "Documents").string() + ": ", 0), 0u)
        << failure;
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(app.get("Visible"), Variant(false));
}

}  // namespace
}  // namespace qf::engine
