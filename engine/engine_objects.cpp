#include "engine_objects.h"

#include <span>
#include <string_view>

#include "base/failure.h"
#include "base/text.h"
#include "application.h"

namespace qf::engine {

namespace {

using automation::Arg;
using automation::ArgReader;
using automation::CallKind;
using automation::Dispatch;
using automation::sameName;
using automation::Variant;
namespace ft = failure_text;

constexpr const char* kSheetDeleted = "The sheet has been deleted";
constexpr std::int32_t kWorksheetType = -4167;

Variant objectVariant(std::shared_ptr<Dispatch> object) { return Variant(std::move(object)); }

// One member call on an engine object, with the helpers every object needs.
class Call {
public:
    Call(std::string_view member, CallKind kind, std::span<const Arg> args)
        : member_(member), kind_(kind), args_(args) {}

    bool is(std::string_view name) const { return sameName(member_, name); }
    bool isDefault() const { return member_.empty(); }
    bool isPut() const { return kind_ == CallKind::Put; }
    std::span<const Arg> args() const { return args_; }

    // A value property: get gives the field, put converts and checks the value.
    template <class T, class Convert>
    Variant property(T& field, Convert convert) const {
        if (kind_ == CallKind::Put) {
            field = convert(putValue());
            return {};
        }
        noArgs();
        return Variant(field);
    }
    Variant readOnly(Variant value) const {
        if (kind_ == CallKind::Put) throw Failure(ft::kNotSupported);
        noArgs();
        return value;
    }
    // A property that gives an object; with arguments, they go to the object's
    // default member (Sheets(1) is the Sheets property, then its item 1).
    Variant objectProperty(const std::shared_ptr<Dispatch>& object) const {
        if (kind_ == CallKind::Put) throw Failure(ft::kNotSupported);
        if (args_.empty()) return objectVariant(object);
        return object->invoke({}, CallKind::Get, args_);
    }
    // A method: no put.
    ArgReader method() const {
        if (kind_ == CallKind::Put) throw Failure(ft::kNotSupported);
        return ArgReader(args_);
    }
    void noArgs() const {
        if (!args_.empty()) throw Failure(ft::kWrongArguments);
    }
    [[noreturn]] void unknown() const { throw Failure(ft::kNotSupported); }

private:
    const Variant& putValue() const {
        if (args_.size() != 1 || !args_[0].name.empty()) throw Failure(ft::kWrongArguments);
        return args_[0].value;
    }
    std::string_view member_;
    CallKind kind_;
    std::span<const Arg> args_;
};

bool toBool(const Variant& v) { return v.toBool(); }
std::string toText(const Variant& v) { return v.toText(); }

template <class T>
auto inRange(T lo, T hi) {
    return [lo, hi](const Variant& v) {
        const auto value = static_cast<T>(sizeof(T) == 2 ? v.toInt16() : v.toInt32());
        if (value < lo || value > hi) throw Failure(ft::kInvalidArgument);
        return value;
    };
}

// A variant that an optional argument left out (or passed empty).
const Variant* given(const Variant* v) { return v && !v->isEmpty() ? v : nullptr; }

// The 0-based position an index names: a 1-based number, or a name (any letter case).
template <class Items, class NameOf>
std::size_t itemIndex(const Variant& index, const Items& items, NameOf nameOf) {
    if (index.type() == automation::VarType::Text) {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (sameName(nameOf(*items[i]), index.toText())) return i;
        throw Failure(ft::kSubscriptOutOfRange);
    }
    const std::int32_t n = index.toInt32();
    if (n < 1 || static_cast<std::size_t>(n) > items.size()) throw Failure(ft::kSubscriptOutOfRange);
    return static_cast<std::size_t>(n - 1);
}

using AppPtr = std::shared_ptr<Application>;

// An automation object that views one part of the model; it keeps the whole
// application instance alive.
template <class Model>
class View : public Dispatch {
public:
    View(AppPtr app, std::shared_ptr<Model> model) : app_(std::move(app)), model_(std::move(model)) {}
    const std::shared_ptr<Model>& model() const { return model_; }

protected:
    AppPtr app_;
    std::shared_ptr<Model> model_;
};

// Count, and Item (also the default member) by 1-based number or by name.
template <class Items, class NameOf, class Make>
Variant collectionMember(const Call& c, const Items& items, NameOf nameOf, Make make) {
    if (c.is("Count")) return c.readOnly(static_cast<std::int32_t>(items.size()));
    const ArgReader r = c.method();
    r.expectOnly(1, {"Index"});
    return objectVariant(make(items[itemIndex(r.required(0, "Index"), items, nameOf)]));
}

std::shared_ptr<Dispatch> sheetObject(const AppPtr& app, std::shared_ptr<Worksheet> sheet);
std::shared_ptr<Dispatch> workbookObject(const AppPtr& app, std::shared_ptr<Workbook> book);
std::shared_ptr<Dispatch> queryTableObject(const AppPtr& app, std::shared_ptr<QueryTable> query);

// ---- Range ----

class RangeObject : public Dispatch {
public:
    RangeObject(AppPtr app, std::shared_ptr<Worksheet> sheet, CellPosition first, CellPosition last)
        : app_(std::move(app)), sheet_(std::move(sheet)), first_(first), last_(last) {}

    const std::shared_ptr<Worksheet>& sheet() const { return sheet_; }
    CellPosition first() const { return first_; }
    CellPosition last() const { return last_; }

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const Call c(member, kind, args);
        if (sheet_->deleted()) throw Failure(kSheetDeleted);
        if (c.is("Select")) {
            c.method().expectOnly(0, {});
            if (sheet_->workbook()->activeSheet() != sheet_)
                throw Failure("A range can only be selected on the active sheet.");
            sheet_->selectionFirst = first_;
            sheet_->selectionLast = last_;
            return Variant(true);
        }
        if (c.isDefault() || c.is("Value")) return c.readOnly(value());
        if (c.is("Address")) return c.readOnly(address());
        if (c.is("Row")) return c.readOnly(static_cast<std::int32_t>(first_.row + 1));
        if (c.is("Column")) return c.readOnly(first_.column + 1);
        if (c.is("Worksheet") || c.is("Parent")) return c.objectProperty(sheetObject(app_, sheet_));
        c.unknown();
    }

private:
    Variant value() const {
        if (!(first_ == last_)) throw Failure("A range of several cells has no single value.");
        const CellValue cell = sheet_->cells().cell(first_.row, first_.column);
        switch (cell.kind) {
            case CellValue::Kind::Empty: return {};
            case CellValue::Kind::Number: return Variant(cell.number);
            case CellValue::Kind::Text: return Variant(cell.text);
        }
        return {};
    }
    std::string address() const {
        auto one = [](CellPosition p) {
            std::string text(1, '$');
            text += columnName(p.column);
            text += '$';
            text += std::to_string(p.row + 1);
            return text;
        };
        return first_ == last_ ? one(first_) : one(first_) + ":" + one(last_);
    }

    AppPtr app_;
    std::shared_ptr<Worksheet> sheet_;
    CellPosition first_, last_;
};

// "A1", "A1:C3", or a range object of the same sheet.
void rangeCorners(const Variant& v, const Worksheet& sheet, CellPosition& first, CellPosition& last) {
    if (v.type() == automation::VarType::Object) {
        auto* range = dynamic_cast<RangeObject*>(v.toDispatch().get());
        if (!range) throw Failure(ft::kTypeMismatch);
        if (range->sheet().get() != &sheet) throw Failure("The range must be on the same sheet.");
        first = range->first();
        last = range->last();
        return;
    }
    const std::string text = v.toText();
    const std::size_t colon = text.find(':');
    const std::string_view a = std::string_view(text).substr(0, colon);
    const std::string_view b = colon == std::string::npos ? a : std::string_view(text).substr(colon + 1);
    CellPosition p, q;
    if (!parseCellReference(a, p) || !parseCellReference(b, q))
        throw Failure("\"" + text + "\" is not a cell reference such as \"A1\" or \"A1:C3\".");
    first = {std::min(p.row, q.row), std::min(p.column, q.column)};
    last = {std::max(p.row, q.row), std::max(p.column, q.column)};
}

// ---- QueryTable ----

class QueryTableObject : public View<QueryTable> {
public:
    using View::View;

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const auto sheet = model_->sheet();
        if (!sheet || sheet->deleted()) throw Failure(kSheetDeleted);
        const Call c(member, kind, args);
        QueryTableSettings& s = model_->settings;
        WebQueryOptions& web = s.web;
        if (c.is("Refresh")) {
            const ArgReader r = c.method();
            r.expectOnly(1, {"BackgroundQuery"});
            if (const Variant* background = given(r.find(0, "BackgroundQuery"))) background->toBool();
            app_->refresh(*model_);  // always synchronous
            return Variant(true);
        }
        if (c.is("Name")) return c.property(s.name, toText);
        if (c.is("FieldNames")) return c.property(s.fieldNames, toBool);
        if (c.is("RowNumbers")) return c.property(s.rowNumbers, toBool);
        if (c.is("FillAdjacentFormulas")) return c.property(s.fillAdjacentFormulas, toBool);
        if (c.is("PreserveFormatting")) return c.property(s.preserveFormatting, toBool);
        if (c.is("RefreshOnFileOpen")) return c.property(s.refreshOnFileOpen, toBool);
        if (c.is("BackgroundQuery")) return c.property(s.backgroundQuery, toBool);
        if (c.is("RefreshStyle")) return c.property(s.refreshStyle, refreshStyle);
        if (c.is("SavePassword")) return c.property(s.savePassword, toBool);
        if (c.is("SaveData")) return c.property(s.saveData, toBool);
        if (c.is("AdjustColumnWidth")) return c.property(s.adjustColumnWidth, toBool);
        if (c.is("RefreshPeriod")) return c.property(s.refreshPeriod, inRange<std::int16_t>(0, 32767));
        if (c.is("WebSelectionType")) return c.property(web.webSelectionType, inRange<std::int32_t>(1, 3));
        if (c.is("WebFormatting")) return c.property(web.webFormatting, inRange<std::int32_t>(1, 3));
        if (c.is("WebPreFormattedTextToColumns")) return c.property(web.preFormattedTextToColumns, toBool);
        if (c.is("WebConsecutiveDelimitersAsOne")) return c.property(web.consecutiveDelimitersAsOne, toBool);
        if (c.is("WebSingleBlockTextImport")) return c.property(web.singleBlockTextImport, toBool);
        if (c.is("WebDisableDateRecognition")) return c.property(web.disableDateRecognition, toBool);
        if (c.is("WebDisableRedirections")) return c.property(web.disableRedirections, toBool);
        if (c.is("Connection")) return c.property(model_->connection, webConnection);
        if (c.is("Destination")) {
            const CellPosition at = model_->destination;
            return c.objectProperty(std::make_shared<RangeObject>(app_, sheet, at, at));
        }
        if (c.is("Parent")) return c.objectProperty(sheetObject(app_, sheet));
        c.unknown();
    }

    static std::int32_t refreshStyle(const Variant& v) {
        const std::int32_t style = v.toInt32();
        if (style == kOverwriteCells)
            throw Failure(
                "Refresh style 0 (overwrite cells) is not available: query results are placed by inserting rows.");
        if (style != kInsertDeleteCells && style != kInsertEntireRows) throw Failure(ft::kInvalidArgument);
        return style;
    }
    static std::string webConnection(const Variant& v) {
        std::string text = v.toText();
        if (!startsWithIgnoringAsciiCase(text, "URL;"))
            throw Failure("Only web queries can be added: the connection must begin with \"URL;\".");
        return text;
    }
};

// ---- QueryTables ----

class QueryTablesObject : public View<Worksheet> {
public:
    using View::View;

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const auto& sheet = model_;
        if (sheet->deleted()) throw Failure(kSheetDeleted);
        const Call c(member, kind, args);
        const auto& tables = app_->queryTables(*sheet);
        if (c.is("Add")) {
            const ArgReader r = c.method();
            r.expectOnly(3, {"Connection", "Destination", "Sql"});
            std::string connection = QueryTableObject::webConnection(r.required(0, "Connection"));
            const Variant& destination = r.required(1, "Destination");
            if (destination.type() != automation::VarType::Object) throw Failure(ft::kTypeMismatch);
            auto* range = dynamic_cast<RangeObject*>(destination.toDispatch().get());
            if (!range) throw Failure(ft::kTypeMismatch);
            if (range->sheet() != sheet)
                throw Failure("The destination must be a cell of the sheet that the query table is added to.");
            if (const Variant* sql = given(r.find(2, "Sql")); sql && !sql->toText().empty())
                throw Failure("A web query takes no Sql argument.");
            return objectVariant(
                queryTableObject(app_, app_->addQueryTable(sheet, std::move(connection), range->first())));
        }
        if (c.is("Parent")) return c.objectProperty(sheetObject(app_, sheet));
        if (!c.is("Count") && !c.isDefault() && !c.is("Item")) c.unknown();
        return collectionMember(
            c, tables, [](const QueryTable& q) -> const std::string& { return q.settings.name; },
            [&](const auto& query) { return queryTableObject(app_, query); });
    }
};

// ---- Worksheet ----

class SheetObject : public View<Worksheet> {
public:
    using View::View;

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const auto& sheet = model_;
        if (sheet->deleted()) throw Failure(kSheetDeleted);
        const Call c(member, kind, args);
        Workbook& book = *sheet->workbook();
        if (c.is("Name")) {
            std::string name = sheet->name();
            Variant result = c.property(name, toText);
            if (name != sheet->name()) sheet->setName(name);
            return result;
        }
        if (c.is("Index")) return c.readOnly(book.indexOf(*sheet) + 1);
        if (c.is("Delete")) {
            c.method().expectOnly(0, {});
            app_->deleteSheet(book, *sheet);
            return Variant(true);
        }
        if (c.is("Activate") || c.is("Select")) {
            c.method().expectOnly(c.is("Select") ? 1 : 0, {"Replace"});
            book.activate(sheet);
            return Variant(true);
        }
        if (c.is("Range")) {
            const ArgReader r = c.method();
            r.expectOnly(2, {"Cell1", "Cell2"});
            CellPosition a, b, c2, d;
            rangeCorners(r.required(0, "Cell1"), *sheet, a, b);
            if (const Variant* cell2 = given(r.find(1, "Cell2"))) {
                rangeCorners(*cell2, *sheet, c2, d);
                a = {std::min(a.row, c2.row), std::min(a.column, c2.column)};
                b = {std::max(b.row, d.row), std::max(b.column, d.column)};
            }
            return objectVariant(std::make_shared<RangeObject>(app_, sheet, a, b));
        }
        if (c.is("QueryTables")) return c.objectProperty(std::make_shared<QueryTablesObject>(app_, sheet));
        if (c.is("Parent")) return c.objectProperty(workbookObject(app_, app_->workbooks()[workbookIndex(book)]));
        c.unknown();
    }

private:
    std::size_t workbookIndex(const Workbook& book) const {
        const auto& books = app_->workbooks();
        for (std::size_t i = 0; i < books.size(); ++i)
            if (books[i].get() == &book) return i;
        throw Failure(ft::kObjectNotSet);
    }
};

// ---- Sheets ----

class SheetsObject : public View<Workbook> {
public:
    using View::View;

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const Call c(member, kind, args);
        if (c.is("Add")) return add(c.method());
        if (!c.is("Count") && !c.isDefault() && !c.is("Item")) c.unknown();
        return collectionMember(
            c, model_->sheets(), [](const Worksheet& s) -> const std::string& { return s.name(); },
            [&](const auto& sheet) { return sheetObject(app_, sheet); });
    }

private:
    Variant add(const ArgReader& r) {
        r.expectOnly(4, {"Before", "After", "Count", "Type"});
        const Variant* before = given(r.find(0, "Before"));
        const Variant* after = given(r.find(1, "After"));
        const Variant* count = given(r.find(2, "Count"));
        const Variant* type = given(r.find(3, "Type"));
        if (before && after) throw Failure("Give either Before or After, not both.");
        std::size_t position = static_cast<std::size_t>(model_->indexOf(*model_->activeSheet()));
        if (before) position = positionOf(*before);
        if (after) position = positionOf(*after) + 1;
        const std::int32_t n = count ? count->toInt32() : 1;
        if (n < 1 || n > 255) throw Failure(ft::kInvalidArgument);
        if (type && type->toInt32() != kWorksheetType) throw Failure("Only worksheets can be added.");
        std::shared_ptr<Worksheet> sheet;
        for (std::int32_t i = 0; i < n; ++i) sheet = model_->addSheet(position + static_cast<std::size_t>(i));
        return objectVariant(sheetObject(app_, sheet));
    }

    std::size_t positionOf(const Variant& v) const {
        auto* object = dynamic_cast<SheetObject*>(v.toDispatch().get());
        if (!object) throw Failure(ft::kTypeMismatch);
        if (object->model()->deleted()) throw Failure(kSheetDeleted);
        const int index = model_->indexOf(*object->model());
        if (index < 0) throw Failure("The sheet given as Before or After belongs to another workbook.");
        return static_cast<std::size_t>(index);
    }
};

// ---- Workbook ----

class WorkbookObject : public View<Workbook> {
public:
    using View::View;

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const Call c(member, kind, args);
        if (c.is("Sheets") || c.is("Worksheets")) return c.objectProperty(std::make_shared<SheetsObject>(app_, model_));
        if (c.is("ActiveSheet")) return c.objectProperty(sheetObject(app_, model_->activeSheet()));
        if (c.isDefault() || c.is("Name")) return c.readOnly(model_->name());
        c.unknown();
    }
};

// ---- Workbooks ----

class WorkbooksObject : public Dispatch {
public:
    explicit WorkbooksObject(AppPtr app) : app_(std::move(app)) {}

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const Call c(member, kind, args);
        const auto& books = app_->workbooks();
        if (c.is("Add")) {
            const ArgReader r = c.method();
            r.expectOnly(1, {"Template"});
            if (given(r.find(0, "Template"))) throw Failure("New workbooks cannot be made from a template.");
            return objectVariant(workbookObject(app_, app_->addWorkbook()));
        }
        if (!c.is("Count") && !c.isDefault() && !c.is("Item")) c.unknown();
        return collectionMember(
            c, books, [](const Workbook& b) -> const std::string& { return b.name(); },
            [&](const auto& book) { return workbookObject(app_, book); });
    }

private:
    AppPtr app_;
};

// ---- Application ----

class ApplicationObject : public Dispatch {
public:
    explicit ApplicationObject(AppPtr app) : app_(std::move(app)) {}
    const AppPtr& application() const { return app_; }

    Variant invoke(std::string_view member, CallKind kind, std::span<const Arg> args) override {
        const Call c(member, kind, args);
        if (c.isDefault() || c.is("Name")) return c.readOnly(std::string(kEngineName));
        if (c.is("Workbooks")) return c.objectProperty(std::make_shared<WorkbooksObject>(app_));
        if (c.is("DisplayAlerts")) return c.property(app_->displayAlerts, toBool);
        if (c.is("Visible")) {
            bool visible = app_->visible();
            Variant result = c.property(visible, toBool);
            if (c.isPut()) app_->setVisible(visible);
            return result;
        }
        if (c.is("SheetsInNewWorkbook")) {
            std::int32_t count = app_->sheetsInNewWorkbook();
            Variant result = c.property(count, [](const Variant& v) { return v.toInt32(); });
            if (c.isPut()) app_->setSheetsInNewWorkbook(count);
            return result;
        }
        if (c.is("ActiveWorkbook")) return c.objectProperty(activeBook());
        if (c.is("ActiveSheet")) {
            const auto book = app_->activeWorkbook();
            if (!book) throw Failure(ft::kObjectNotSet);
            return c.objectProperty(sheetObject(app_, book->activeSheet()));
        }
        c.unknown();
    }

private:
    std::shared_ptr<Dispatch> activeBook() const {
        const auto book = app_->activeWorkbook();
        if (!book) throw Failure(ft::kObjectNotSet);
        return workbookObject(app_, book);
    }
    AppPtr app_;
};

std::shared_ptr<Dispatch> sheetObject(const AppPtr& app, std::shared_ptr<Worksheet> sheet) {
    return std::make_shared<SheetObject>(app, std::move(sheet));
}
std::shared_ptr<Dispatch> workbookObject(const AppPtr& app, std::shared_ptr<Workbook> book) {
    return std::make_shared<WorkbookObject>(app, std::move(book));
}
std::shared_ptr<Dispatch> queryTableObject(const AppPtr& app, std::shared_ptr<QueryTable> query) {
    return std::make_shared<QueryTableObject>(app, std::move(query));
}

}  // namespace

automation::Object makeApplicationObject(std::shared_ptr<const EngineSettings> settings) {
    return automation::Object(std::make_shared<ApplicationObject>(std::make_shared<Application>(std::move(settings))));
}

std::shared_ptr<Application> applicationOf(const automation::Object& object) {
    auto* app = dynamic_cast<ApplicationObject*>(object.dispatch().get());
    return app ? app->application() : nullptr;
}

}  // namespace qf::engine
