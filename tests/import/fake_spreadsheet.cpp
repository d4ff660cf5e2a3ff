#include "fake_spreadsheet.h"

#include <algorithm>

#include "base/failure.h"

namespace qf::testing {

using automation::Arg;
using automation::ArgReader;
using automation::CallKind;
using automation::Dispatch;
using automation::Object;
using automation::sameName;
using automation::Variant;

namespace {

class FakeObject : public Dispatch {
public:
    FakeObject(FakeSpreadsheet& fake, std::string type, std::string label)
        : fake_(fake), type_(std::move(type)), label_(std::move(label)) {}

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        fake_.record(label_, member, kind, args);
        fake_.failIfScripted(type_, member);
        return handle(member, kind, ArgReader(args));
    }
    const std::string& label() const { return label_; }

protected:
    virtual Variant handle(std::string_view member, CallKind kind, const ArgReader& args) = 0;
    template <class T, class... A>
    Variant give(A&&... a) {
        return Variant(fake_.handOut(std::make_shared<T>(fake_, std::forward<A>(a)...)).dispatch());
    }
    [[noreturn]] static void unsupported() { throw Failure(failure_text::kNotSupported); }
    FakeSpreadsheet& fake_;

private:
    std::string type_;
    std::string label_;
};

template <class T>
T* as(const Variant& v) {
    return v.type() == automation::VarType::Object ? dynamic_cast<T*>(v.toDispatch().get()) : nullptr;
}

// A collection's member by the 1-based index of a call.
template <class T>
const T& itemAt(const std::vector<T>& items, const ArgReader& args) {
    const auto i = args.required(0, "Index").toInt32();
    if (i < 1 || static_cast<std::size_t>(i) > items.size()) throw Failure(failure_text::kSubscriptOutOfRange);
    return items[static_cast<std::size_t>(i - 1)];
}

std::shared_ptr<FakeSheet> addSheet(FakeWorkbook& book, std::size_t at) {
    auto sheet = std::make_shared<FakeSheet>();
    sheet->name = "Sheet" + std::to_string(book.nextSheetNumber++);
    sheet->label = book.label + "." + sheet->name;
    book.sheets.insert(book.sheets.begin() + static_cast<std::ptrdiff_t>(at), sheet);
    book.active = sheet;
    return sheet;
}

std::shared_ptr<FakeWorkbook> addWorkbook(FakeApplication& app, int sheets) {
    auto book = std::make_shared<FakeWorkbook>();
    book->label = app.label + ".wb" + std::to_string(app.workbooks.size() + 1);
    for (int i = 0; i < sheets; ++i) addSheet(*book, book->sheets.size());
    book->active = book->sheets.front();
    app.workbooks.push_back(book);
    return book;
}

class RangeObject : public FakeObject {
public:
    RangeObject(FakeSpreadsheet& f, std::shared_ptr<FakeSheet> sheet, std::string address)
        : FakeObject(f, "Range", sheet->label + "!" + address),
          sheet_(std::move(sheet)),
          address_(std::move(address)) {}
    std::shared_ptr<FakeSheet> sheet_;
    std::string address_;

private:
    Variant handle(std::string_view member, CallKind, const ArgReader&) override {
        if (sheet_->deleted) throw Failure("Object required");
        if (!sameName(member, "Select")) unsupported();
        sheet_->selected = address_;
        return {};
    }
};

class QueryTableObject : public FakeObject {
public:
    QueryTableObject(FakeSpreadsheet& f, std::shared_ptr<FakeSheet> sheet, std::string connection)
        : FakeObject(f, "QueryTable", sheet->label + ".qt" + std::to_string(++sheet->queryTables)),
          sheet_(std::move(sheet)),
          connection_(std::move(connection)) {}

private:
    Variant handle(std::string_view member, CallKind kind, const ArgReader& args) override {
        static const char* const kProperties[] = {"name",
                                                  "FieldNames",
                                                  "RowNumbers",
                                                  "FillAdjacentFormulas",
                                                  "PreserveFormatting",
                                                  "RefreshOnFileOpen",
                                                  "BackgroundQuery",
                                                  "RefreshStyle",
                                                  "SavePassword",
                                                  "SaveData",
                                                  "AdjustColumnWidth",
                                                  "RefreshPeriod",
                                                  "WebSelectionType",
                                                  "WebFormatting",
                                                  "WebPreFormattedTextToColumns",
                                                  "WebConsecutiveDelimitersAsOne",
                                                  "WebSingleBlockTextImport",
                                                  "WebDisableDateRecognition",
                                                  "WebDisableRedirections"};
        if (kind == CallKind::Put && std::any_of(std::begin(kProperties), std::end(kProperties),
                                                 [&](const char* p) { return sameName(member, p); }))
            return {};
        if (!sameName(member, "Refresh")) unsupported();
        args.expectOnly(1, {"BackgroundQuery"});
        if (!fake_.pageLoads(connection_))
            throw Failure("Unable to open " + connection_.substr(4) +
                          ". Cannot download the information you requested.");
        sheet_->pages.insert(sheet_->pages.begin(), connection_);
        return {};
    }
    std::shared_ptr<FakeSheet> sheet_;
    std::string connection_;
};

class QueryTablesObject : public FakeObject {
public:
    QueryTablesObject(FakeSpreadsheet& f, std::shared_ptr<FakeSheet> sheet)
        : FakeObject(f, "QueryTables", sheet->label + ".QueryTables"), sheet_(std::move(sheet)) {}

private:
    Variant handle(std::string_view member, CallKind, const ArgReader& args) override {
        if (!sameName(member, "add")) unsupported();
        args.expectOnly(0, {"Connection", "Destination"});
        const std::string connection = args.required(0, "Connection").toText();
        auto* destination = as<RangeObject>(args.required(1, "Destination"));
        if (!destination || destination->sheet_ != sheet_) throw Failure(failure_text::kInvalidArgument);
        return give<QueryTableObject>(sheet_, connection);
    }
    std::shared_ptr<FakeSheet> sheet_;
};

class SheetObject : public FakeObject {
public:
    SheetObject(FakeSpreadsheet& f, std::shared_ptr<FakeWorkbook> book, std::shared_ptr<FakeSheet> sheet)
        : FakeObject(f, "Sheet", sheet->label), book_(std::move(book)), sheet_(std::move(sheet)) {}
    std::shared_ptr<FakeWorkbook> book_;
    std::shared_ptr<FakeSheet> sheet_;

private:
    Variant handle(std::string_view member, CallKind, const ArgReader& args) override {
        if (sheet_->deleted) throw Failure("Object required");
        if (sameName(member, "QueryTables")) return give<QueryTablesObject>(sheet_);
        if (sameName(member, "Range")) return give<RangeObject>(sheet_, args.required(0, "Cell1").toText());
        if (sameName(member, "Name")) return Variant(sheet_->name);
        if (!sameName(member, "Delete")) unsupported();
        auto& sheets = book_->sheets;
        if (sheets.size() == 1) throw Failure("Delete method of Worksheet class failed");
        const auto at = std::find(sheets.begin(), sheets.end(), sheet_);
        const std::size_t index = static_cast<std::size_t>(at - sheets.begin());
        sheets.erase(at);
        sheet_->deleted = true;
        if (book_->active == sheet_) book_->active = sheets[index > 0 ? index - 1 : 0];
        return {};
    }
};

class SheetsObject : public FakeObject {
public:
    SheetsObject(FakeSpreadsheet& f, std::shared_ptr<FakeWorkbook> book)
        : FakeObject(f, "Sheets", book->label + ".Sheets"), book_(std::move(book)) {}

private:
    Variant handle(std::string_view member, CallKind, const ArgReader& args) override {
        auto& sheets = book_->sheets;
        if (sameName(member, "count")) return Variant(static_cast<std::int32_t>(sheets.size()));
        if (member.empty() || sameName(member, "Item")) {
            return give<SheetObject>(book_, itemAt(sheets, args));
        }
        if (!sameName(member, "add")) unsupported();
        args.expectOnly(0, {"After"});
        auto* after = as<SheetObject>(args.required(0, "After"));
        if (!after || after->book_ != book_) throw Failure(failure_text::kInvalidArgument);
        const auto at = std::find(sheets.begin(), sheets.end(), after->sheet_);
        return give<SheetObject>(book_, addSheet(*book_, static_cast<std::size_t>(at - sheets.begin()) + 1));
    }
    std::shared_ptr<FakeWorkbook> book_;
};

class WorkbookObject : public FakeObject {
public:
    WorkbookObject(FakeSpreadsheet& f, std::shared_ptr<FakeWorkbook> book)
        : FakeObject(f, "Workbook", book->label), book_(std::move(book)) {}

private:
    Variant handle(std::string_view member, CallKind, const ArgReader&) override {
        if (sameName(member, "Sheets")) return give<SheetsObject>(book_);
        if (sameName(member, "ActiveSheet")) return give<SheetObject>(book_, book_->active);
        unsupported();
    }
    std::shared_ptr<FakeWorkbook> book_;
};

class WorkbooksObject : public FakeObject {
public:
    WorkbooksObject(FakeSpreadsheet& f, std::shared_ptr<FakeApplication> app)
        : FakeObject(f, "Workbooks", app->label + ".Workbooks"), app_(std::move(app)) {}

private:
    Variant handle(std::string_view member, CallKind, const ArgReader& args) override {
        auto& books = app_->workbooks;
        if (sameName(member, "add")) return give<WorkbookObject>(addWorkbook(*app_, fake_.sheetsInNewWorkbook));
        if (sameName(member, "count")) return Variant(static_cast<std::int32_t>(books.size()));
        if (!member.empty() && !sameName(member, "Item")) unsupported();
        return give<WorkbookObject>(itemAt(books, args));
    }
    std::shared_ptr<FakeApplication> app_;
};

class ApplicationObject : public FakeObject {
public:
    ApplicationObject(FakeSpreadsheet& f, std::shared_ptr<FakeApplication> app)
        : FakeObject(f, "Application", app->label), app_(std::move(app)) {}

private:
    Variant handle(std::string_view member, CallKind kind, const ArgReader& args) override {
        if (sameName(member, "Workbooks")) return give<WorkbooksObject>(app_);
        bool* flag = sameName(member, "Visible")         ? &app_->visible
                     : sameName(member, "DisplayAlerts") ? &app_->displayAlerts
                                                         : nullptr;
        if (!flag) unsupported();
        if (kind != CallKind::Put) return Variant(*flag);
        *flag = args.required(0, "").toBool();
        return {};
    }
    std::shared_ptr<FakeApplication> app_;
};

class RunningInstance : public FakeObject {
public:
    RunningInstance(FakeSpreadsheet& f, std::string name)
        : FakeObject(f, "Running", "running"), name_(std::move(name)) {}

private:
    Variant handle(std::string_view member, CallKind, const ArgReader&) override {
        if (!member.empty()) unsupported();
        return Variant(name_);
    }
    std::string name_;
};

std::shared_ptr<FakeApplication> newApplication(std::vector<std::shared_ptr<FakeApplication>>& apps) {
    auto app = std::make_shared<FakeApplication>();
    app->label = "app" + std::to_string(apps.size() + 1);
    apps.push_back(app);
    return app;
}

}  // namespace

std::vector<std::string> FakeWorkbook::sheetNames() const {
    std::vector<std::string> names;
    for (const auto& s : sheets) names.push_back(s->name);
    return names;
}

std::string describeValue(const Variant& value) {
    const std::string type = automation::typeName(value.type());
    if (value.type() != automation::VarType::Object) return type + ":" + value.toText();
    auto* object = dynamic_cast<FakeObject*>(value.toDispatch().get());
    return type + ":" + (object ? object->label() : "?");
}

Object FakeSpreadsheet::create(std::string_view progId) {
    log.push_back("provider.create(" + std::string(progId) + ")");
    failIfScripted("Application", "create");
    if (progId != "Excel.Application") throw Failure(failure_text::kCannotCreateObject);
    return handOut(std::make_shared<ApplicationObject>(*this, newApplication(applications)));
}

Object FakeSpreadsheet::getRunning(std::string_view progId) {
    log.push_back("provider.getRunning(" + std::string(progId) + ")");
    if (!runningInstanceName || progId != "Excel.Application") throw Failure(failure_text::kCannotCreateObject);
    return handOut(std::make_shared<RunningInstance>(*this, *runningInstanceName));
}

Object FakeSpreadsheet::newWorkbook() {
    auto app = newApplication(applications);
    return handOut(std::make_shared<WorkbookObject>(*this, addWorkbook(*app, sheetsInNewWorkbook)));
}

Object FakeSpreadsheet::handOut(std::shared_ptr<Dispatch> object) {
    handedOut_.push_back(object);
    return Object(std::move(object));
}

bool FakeSpreadsheet::allReleased() const {
    return std::all_of(handedOut_.begin(), handedOut_.end(), [](const auto& w) { return w.expired(); });
}

void FakeSpreadsheet::record(const std::string& label, std::string_view member, CallKind kind,
                             std::span<const Arg> args) {
    std::string line = label + "." + (member.empty() ? std::string("<default>") : std::string(member));
    line += kind == CallKind::Get ? " get(" : kind == CallKind::Put ? " put(" : " call(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i) line += ", ";
        if (!args[i].name.empty()) line += args[i].name + ":=";
        line += describeValue(args[i].value);
    }
    log.push_back(line + ")");
}

void FakeSpreadsheet::failIfScripted(const std::string& type, std::string_view member) const {
    for (const auto& [key, description] : failures) {
        const auto dot = key.find('.');
        if (key.substr(0, dot) == type && sameName(std::string_view(key).substr(dot + 1), member))
            throw Failure(description);
    }
}

std::vector<std::string> FakeSpreadsheet::logWithout(std::initializer_list<std::string_view> texts) const {
    std::vector<std::string> out;
    for (const auto& line : log)
        if (std::none_of(texts.begin(), texts.end(),
                         [&](std::string_view t) { return line.find(t) != std::string::npos; }))
            out.push_back(line);
    return out;
}

}  // namespace qf::testing

namespace qf::testing {

std::vector<std::string> FakeSpreadsheet::linesContaining(std::string_view text) const {
    std::vector<std::string> out;
    for (const auto& line : log)
        if (line.find(text) != std::string::npos) out.push_back(line);
    return out;
}

}  // namespace qf::testing
