#include "com_spreadsheet.h"

#include <cstdint>
#include <exception>
#include <vector>

#include "com/automation/object.h"
#include "base/failure.h"

namespace qf::com {

namespace {

using automation::Object;
using automation::Variant;

// A member of a collection by its 1-based index: the collection's default member.
Object item(const Object& collection, const Variant& index) { return Object(collection.get("", {index})); }

// One property of the web query, the value every query gets, and the number
// of the web import's statement that sets it.
struct QueryProperty {
    int line;
    const char* name;
    Variant value;
};

const std::vector<QueryProperty>& queryProperties() {
    static const std::vector<QueryProperty> properties = {
        {102, "name", Variant("?ocid=iehp")},
        {104, "FieldNames", Variant(true)},
        {106, "RowNumbers", Variant(false)},
        {108, "FillAdjacentFormulas", Variant(false)},
        {110, "PreserveFormatting", Variant(true)},
        {112, "RefreshOnFileOpen", Variant(false)},
        {114, "BackgroundQuery", Variant(true)},
        {116, "RefreshStyle", Variant(std::int32_t{1})},  // insert cells for the new data
        {118, "SavePassword", Variant(false)},
        {120, "SaveData", Variant(true)},
        {122, "AdjustColumnWidth", Variant(true)},
        {124, "RefreshPeriod", Variant(std::int16_t{0})},
        {126, "WebSelectionType", Variant(std::int32_t{1})},  // the entire page
        {128, "WebFormatting", Variant(std::int32_t{3})},     // no formatting
        {130, "WebPreFormattedTextToColumns", Variant(true)},
        {132, "WebConsecutiveDelimitersAsOne", Variant(true)},
        {134, "WebSingleBlockTextImport", Variant(false)},
        {136, "WebDisableDateRecognition", Variant(false)},
        {138, "WebDisableRedirections", Variant(false)},
    };
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
        run.step(110, [&] { app_ = provider_.create(progId_); });
        run.step(112, [&] { app_.obj("Workbooks").call("add"); });
        run.step(114, [&] { app_.put("DisplayAlerts", false); });
        run.step(116, [&] {
            const Object books = app_.obj("Workbooks");
            workbook_ = item(books, books.get("count"));
        });
    }

    void keepFirstSheetOnly(Trap& run) override {
        if (!run.when(120, [&] { return workbook_.obj("Sheets").get("count").toInt32() > 1; })) return;
        std::int32_t last = 0;
        if (!run.step(122, [&] { last = workbook_.obj("Sheets").get("count").toInt32(); })) return;
        for (std::int32_t i = last; i >= 2; --i)
            run.step(124, [&] { item(workbook_.obj("Sheets"), i).call("Delete"); });
    }

    // A web query whose connection is "URL;" and the address, at A1 of the
    // active sheet, with its fixed settings, refreshed synchronously.
    bool importPage(const std::string& address, Trap& webImport, std::string* reason) override {
        Object table;
        webImport.step(100, [&] {
            const Object tables = workbook_.obj("ActiveSheet").obj("QueryTables");
            const Object destination = workbook_.obj("ActiveSheet").obj("Range", {"A1"});
            table = tables.callObj("add", {{"Connection", "URL;" + address}, {"Destination", destination}});
        });
        for (const QueryProperty& p : queryProperties()) webImport.step(p.line, [&] { table.put(p.name, p.value); });

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
        run.step(166, [&] { workbook_.obj("ActiveSheet").obj("Range", {"A1"}).call("Select"); });
        run.step(168, [&] { app_.put("Visible", true); });
        run.step(170, [&] { app_.put("DisplayAlerts", true); });
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
    void startWorkbook(Trap& run) override { run.report(110, failure_text::kCannotCreateObject); }
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
