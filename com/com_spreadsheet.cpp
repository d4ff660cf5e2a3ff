#include "com_spreadsheet.h"

#include <cstdint>
#include <exception>
#include <iterator>
#include <span>

#include "com/automation/object.h"
#include "base/failure.h"
#include "import/port/statements.h"

namespace qf::com {

namespace {

using automation::Object;
using automation::Variant;

// A member of a collection by its 1-based index: the collection's default member.
Object item(const Object& collection, const Variant& index) { return Object(collection.get("", {index})); }

// One property of the web query and the value every query gets. The web
// import sets them in this order, one statement each, numbered from
// kFirstSetting in steps of two.
struct QueryProperty {
    const char* name;
    Variant value;
};

std::span<const QueryProperty> queryProperties() {
    using namespace web_import_statement;
    static const QueryProperty properties[] = {
        {"name", Variant("?ocid=iehp")},
        {"FieldNames", Variant(true)},
        {"RowNumbers", Variant(false)},
        {"FillAdjacentFormulas", Variant(false)},
        {"PreserveFormatting", Variant(true)},
        {"RefreshOnFileOpen", Variant(false)},
        {"BackgroundQuery", Variant(true)},
        {"RefreshStyle", Variant(std::int32_t{1})},  // insert cells for the new data
        {"SavePassword", Variant(false)},
        {"SaveData", Variant(true)},
        {"AdjustColumnWidth", Variant(true)},
        {"RefreshPeriod", Variant(std::int16_t{0})},
        {"WebSelectionType", Variant(std::int32_t{1})},  // the entire page
        {"WebFormatting", Variant(std::int32_t{3})},     // no formatting
        {"WebPreFormattedTextToColumns", Variant(true)},
        {"WebConsecutiveDelimitersAsOne", Variant(true)},
        {"WebSingleBlockTextImport", Variant(false)},
        {"WebDisableDateRecognition", Variant(false)},
        {"WebDisableRedirections", Variant(false)},
    };
    static_assert(std::size(properties) == (kLastSetting - kFirstSetting) / 2 + 1);
    return properties;
}

// The workbook of one run in an application instance of its own. Every step
// goes to the application by name; a step the design counts as several
// statements runs each through the trap it is given, with its number.
class ComWorkbook final : public NewWorkbook {
public:
    ComWorkbook(ComProvider& provider, std::string progId) : provider_(provider), progId_(std::move(progId)) {}
    ~ComWorkbook() override { release(); }
    ComWorkbook(const ComWorkbook&) = delete;
    ComWorkbook& operator=(const ComWorkbook&) = delete;

    void startWorkbook(Trap& run) override {
        run.step(run_statement::kStartSpreadsheet, [&] { app_ = provider_.create(progId_); });
        run.step(run_statement::kAddWorkbook, [&] { app_.obj("Workbooks").call("add"); });
        run.step(run_statement::kAlertsOff, [&] { app_.put("DisplayAlerts", false); });
        run.step(run_statement::kTakeNewWorkbook, [&] {
            const Object books = app_.obj("Workbooks");
            workbook_ = item(books, books.get("count"));
        });
    }

    void keepFirstSheetOnly(Trap& run) override {
        if (!run.when(run_statement::kMoreThanOneSheet,
                      [&] { return workbook_.obj("Sheets").get("count").toInt32() > 1; }))
            return;
        std::int32_t last = 0;
        if (!run.step(run_statement::kCountSheets, [&] { last = workbook_.obj("Sheets").get("count").toInt32(); }))
            return;
        for (std::int32_t i = last; i >= 2; --i)
            run.step(run_statement::kDeleteSheet, [&] { item(workbook_.obj("Sheets"), i).call("Delete"); });
    }

    // A web query whose connection is "URL;" and the address, at A1 of the
    // active sheet, with its fixed settings, refreshed synchronously.
    bool importPage(const std::string& address, Trap& webImport, std::string* reason) override {
        Object table;
        webImport.step(web_import_statement::kAddPageAtA1, [&] {
            const Object tables = workbook_.obj("ActiveSheet").obj("QueryTables");
            const Object destination = workbook_.obj("ActiveSheet").obj("Range", {"A1"});
            table = tables.callObj("add", {{"Connection", "URL;" + address}, {"Destination", destination}});
        });
        int line = web_import_statement::kFirstSetting;
        for (const QueryProperty& p : queryProperties()) {
            webImport.step(line, [&] { table.put(p.name, p.value); });
            line += 2;
        }

        // The refresh is not reported: a page that cannot be read is the result false.
        bool refreshed = true;
        try {
            table.call("Refresh", {{"BackgroundQuery", false}});
        } catch (const std::exception& error) {
            refreshed = false;
            if (reason) *reason = error.what();
        } catch (...) {
            refreshed = false;
            if (reason) *reason = "the refresh failed";
        }
        table.release();
        return refreshed;
    }

    void addSheetAfterLast() override {
        const Object sheets = workbook_.obj("Sheets");
        const Object last = item(sheets, sheets.get("count"));
        sheets.call("add", {{"After", last}});
    }

    void deleteActiveSheet() override { workbook_.obj("ActiveSheet").call("Delete"); }

    // The application is left visible with the workbook, unsaved: there is no file.
    std::string finish(Trap& run) override {
        run.step(run_statement::kSelectFirstCell,
                 [&] { workbook_.obj("ActiveSheet").obj("Range", {"A1"}).call("Select"); });
        run.step(run_statement::kShowWorkbook, [&] { app_.put("Visible", true); });
        run.step(run_statement::kAlertsOn, [&] { app_.put("DisplayAlerts", true); });
        release();
        return {};
    }

private:
    // The application first, then the workbook; the instance lives on.
    void release() {
        app_.release();
        workbook_.release();
    }

    ComProvider& provider_;
    std::string progId_;
    Object app_;
    Object workbook_;
};

// Where COM cannot be entered and there is no other spreadsheet: nothing can
// be created, and every step of a run fails as creating it did.
class NoSpreadsheet final : public Spreadsheet {
public:
    bool canStart() override { return false; }
    bool instanceRunning() override { return false; }
    std::unique_ptr<NewWorkbook> newWorkbook() override;
};

class NoWorkbook final : public NewWorkbook {
public:
    void startWorkbook(Trap& run) override {
        run.report(run_statement::kStartSpreadsheet, failure_text::kCannotCreateObject);
    }
    void keepFirstSheetOnly(Trap&) override {}
    bool importPage(const std::string&, Trap&, std::string* reason) override {
        if (reason) *reason = failure_text::kCannotCreateObject;
        return false;
    }
    void addSheetAfterLast() override { throw Failure(failure_text::kObjectNotSet); }
    void deleteActiveSheet() override { throw Failure(failure_text::kObjectNotSet); }
    std::string finish(Trap&) override { return {}; }
};

std::unique_ptr<NewWorkbook> NoSpreadsheet::newWorkbook() { return std::make_unique<NoWorkbook>(); }

}  // namespace

ComSpreadsheet::ComSpreadsheet(std::string progId) : progId_(std::move(progId)) {}

bool ComSpreadsheet::canStart() {
    try {
        Object application = provider_.create(progId_);
        const bool created = !application.isNothing();
        application.release();
        return created;
    } catch (...) {
        return false;
    }
}

bool ComSpreadsheet::instanceRunning() {
    try {
        const Object running = provider_.getRunning(progId_);
        return running.value().toText() == "Microsoft Excel";
    } catch (...) {
        return false;
    }
}

std::unique_ptr<NewWorkbook> ComSpreadsheet::newWorkbook() { return std::make_unique<ComWorkbook>(provider_, progId_); }

Backend chooseBackend(std::string_view progId) { return isRegistered(progId) ? Backend::Com : Backend::Fallback; }

std::unique_ptr<Spreadsheet> makeSpreadsheet(const std::function<std::unique_ptr<Spreadsheet>()>& makeFallback,
                                             std::string_view progId) {
    if (chooseBackend(progId) == Backend::Com) {
        try {
            return std::make_unique<ComSpreadsheet>(std::string(progId));
        } catch (const Failure&) {
            // COM cannot be entered on this thread: the fallback is all there is.
        }
    }
    if (makeFallback) return makeFallback();
    return std::make_unique<NoSpreadsheet>();
}

}  // namespace qf::com
