#include "fake_spreadsheet_app.h"

#include <algorithm>

namespace qf::testing {

namespace {

struct Query {
    std::string connection;
    std::string destination;
    std::vector<std::string> settings;  // "Name = value", in the order set
    std::string outcome = "not refreshed";
};

struct Sheet {
    std::string name;
    std::vector<std::shared_ptr<Query>> queries;
    std::string selected;
};

struct Book {
    std::string name;
    std::vector<std::shared_ptr<Sheet>> sheets;
    std::shared_ptr<Sheet> active;
    int nextSheet = 1;
};

struct App {
    SpreadsheetOptions options;
    std::shared_ptr<FakeLog> log;
    bool visible = false;
    bool alerts = true;
    int prompts = 0;  // alerts the user would have had to answer
    int queriesMade = 0;
    std::vector<std::shared_ptr<Book>> books;
};

using AppRef = std::shared_ptr<App>;

// A 1-based index argument, of any number type.
bool indexOf(VARIANT* v, long& out) {
    if (!v) return false;
    VARIANT n;
    VariantInit(&n);
    if (FAILED(VariantChangeType(&n, v, 0, VT_I4))) return false;
    out = n.lVal;
    return true;
}

HRESULT returnLong(VARIANT* r, long value) {
    if (r) {
        r->vt = VT_I4;
        r->lVal = value;
    }
    return S_OK;
}

HRESULT returnBool(VARIANT* r, bool value) {
    if (r) {
        r->vt = VT_BOOL;
        r->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

bool readBool(const VARIANT* v, bool& out) {
    VARIANT b;
    VariantInit(&b);
    if (!v || FAILED(VariantChangeType(&b, const_cast<VARIANT*>(v), 0, VT_BOOL))) return false;
    out = b.boolVal != VARIANT_FALSE;
    return true;
}

class SheetObject;
class RangeObject : public FakeObject {
public:
    RangeObject(const AppRef& app, std::shared_ptr<Sheet> sheet, std::shared_ptr<Book> book, std::string address)
        : FakeObject("Range(" + address + " on " + sheet->name + ")", app->log),
          sheet_(std::move(sheet)),
          address_(std::move(address)) {
        describe = [this] { return label(); };
        member(L"Select", 1, kMethod, {}, [this, book](FakeCall&, VARIANT*, EXCEPINFO* info) {
            if (book->active != sheet_) return raise(info, L"Select method of Range class failed");
            sheet_->selected = address_;
            return S_OK;
        });
    }
    std::shared_ptr<Sheet> sheet_;
    std::string address_;
};

FakeObject* newQueryTable(const AppRef& app, std::shared_ptr<Query> query, int number) {
    FakeObject* table = newFake("QueryTable(" + std::to_string(number) + ")", app->log);
    static const wchar_t* const kProperties[] = {L"Name",
                                                 L"FieldNames",
                                                 L"RowNumbers",
                                                 L"FillAdjacentFormulas",
                                                 L"PreserveFormatting",
                                                 L"RefreshOnFileOpen",
                                                 L"BackgroundQuery",
                                                 L"RefreshStyle",
                                                 L"SavePassword",
                                                 L"SaveData",
                                                 L"AdjustColumnWidth",
                                                 L"RefreshPeriod",
                                                 L"WebSelectionType",
                                                 L"WebFormatting",
                                                 L"WebPreFormattedTextToColumns",
                                                 L"WebConsecutiveDelimitersAsOne",
                                                 L"WebSingleBlockTextImport",
                                                 L"WebDisableDateRecognition",
                                                 L"WebDisableRedirections"};
    DISPID id = 10;
    for (const wchar_t* p : kProperties) {
        const std::string name = utf8(p, wcslen(p));
        table->member(p, id++, kGet | kPut, {}, [query, name](FakeCall& c, VARIANT* r, EXCEPINFO*) {
            if (c.value) {
                query->settings.push_back(name + " = " + render(*c.value));
                return S_OK;
            }
            return returnText(r, L"");
        });
    }
    table->member(L"Refresh", 2, kMethod, {L"BackgroundQuery"}, [query](FakeCall& c, VARIANT* r, EXCEPINFO* info) {
        bool background = true;
        if (c.params[0] && !readBool(c.params[0], background)) return DISP_E_TYPEMISMATCH;
        if (query->connection.find("unreadable") != std::string::npos) {
            query->outcome = "failed";
            return raise(info, L"The Internet site reports that the item you requested could not be found.");
        }
        query->outcome = background ? "refreshing in the background" : "refreshed";
        return returnBool(r, true);
    });
    return table;
}

FakeObject* newSheetObject(const AppRef& app, const std::shared_ptr<Book>& book, const std::shared_ptr<Sheet>& sheet);

FakeObject* newQueryTables(const AppRef& app, const std::shared_ptr<Book>& book, const std::shared_ptr<Sheet>& sheet) {
    FakeObject* tables = newFake("QueryTables(" + sheet->name + ")", app->log);
    tables->member(
        L"Add", 1, kMethod, {L"Connection", L"Destination", L"Sql"},
        [app, book, sheet](FakeCall& c, VARIANT* r, EXCEPINFO* info) {
            VARIANT* connection = c.params[0];
            VARIANT* destination = c.params[1];
            if (!connection || !destination) return DISP_E_PARAMNOTOPTIONAL;
            if (connection->vt != VT_BSTR || utf8(connection->bstrVal).rfind("URL;", 0) != 0)
                return raise(info, L"Invalid connection");
            auto* range = destination->vt == VT_DISPATCH
                              ? dynamic_cast<RangeObject*>(FakeObject::from(destination->pdispVal))
                              : nullptr;
            if (!range || range->sheet_ != sheet)
                return raise(
                    info,
                    L"The destination range is not on the same worksheet that the Query table is being created on.");
            if (utf8(connection->bstrVal).find("refused") != std::string::npos)
                return raise(info, L"The web query could not be added.");
            auto query = std::make_shared<Query>();
            query->connection = utf8(connection->bstrVal);
            query->destination = range->address_;
            sheet->queries.insert(sheet->queries.begin(), query);
            return returnObject(r, newQueryTable(app, query, ++app->queriesMade));
        });
    tables->member(L"Count", 2, kGet, {}, [sheet](FakeCall&, VARIANT* r, EXCEPINFO*) {
        return returnLong(r, static_cast<long>(sheet->queries.size()));
    });
    return tables;
}

FakeObject* newSheetObject(const AppRef& app, const std::shared_ptr<Book>& book, const std::shared_ptr<Sheet>& sheet) {
    FakeObject* ws = newFake("Worksheet(" + sheet->name + ")", app->log);
    ws->describe = [label = ws->label()] { return label; };
    ws->member(L"QueryTables", 1, kGet, {}, [app, book, sheet](FakeCall&, VARIANT* r, EXCEPINFO*) {
        return returnObject(r, newQueryTables(app, book, sheet));
    });
    ws->member(L"Range", 2, kGet, {L"Cell1", L"Cell2"}, [app, book, sheet](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        if (!c.params[0] || c.params[0]->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        return returnObject(r, new RangeObject(app, sheet, book, utf8(c.params[0]->bstrVal)));
    });
    ws->member(L"Delete", 3, kMethod, {}, [app, book, sheet](FakeCall&, VARIANT* r, EXCEPINFO* info) {
        auto& sheets = book->sheets;
        const auto at = std::find(sheets.begin(), sheets.end(), sheet);
        if (at == sheets.end() || sheets.size() == 1) return raise(info, L"Delete method of Worksheet class failed");
        if (app->alerts) ++app->prompts;  // the user would be asked to confirm
        const auto next = sheets.erase(at);
        if (book->active == sheet) book->active = next != sheets.end() ? *next : sheets.back();
        return returnBool(r, true);
    });
    ws->member(L"Name", 4, kGet, {},
               [sheet](FakeCall&, VARIANT* r, EXCEPINFO*) { return returnText(r, wideText(sheet->name)); });
    return ws;
}

std::shared_ptr<Sheet> newSheet(Book& book) {
    auto sheet = std::make_shared<Sheet>();
    sheet->name = "Sheet" + std::to_string(book.nextSheet++);
    return sheet;
}

FakeObject* newSheets(const AppRef& app, const std::shared_ptr<Book>& book) {
    FakeObject* sheets = newFake("Sheets", app->log);
    sheets->member(L"Count", 1, kGet, {}, [book](FakeCall&, VARIANT* r, EXCEPINFO*) {
        return returnLong(r, static_cast<long>(book->sheets.size()));
    });
    auto item = [app, book](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        long i = 0;
        if (!indexOf(c.params[0], i)) return DISP_E_TYPEMISMATCH;
        if (i < 1 || i > static_cast<long>(book->sheets.size())) return DISP_E_BADINDEX;
        return returnObject(r, newSheetObject(app, book, book->sheets[static_cast<std::size_t>(i - 1)]));
    };
    sheets->member(L"_Default", DISPID_VALUE, kGet | kMethod, {L"Index"}, item);
    sheets->member(L"Item", 2, kGet | kMethod, {L"Index"}, item);
    sheets->member(L"Add", 3, kMethod, {L"Before", L"After", L"Count", L"Type"},
                   [app, book](FakeCall& c, VARIANT* r, EXCEPINFO* info) {
                       auto& list = book->sheets;
                       auto at = std::find(list.begin(), list.end(), book->active);  // before the active one
                       for (std::size_t which : {0u, 1u}) {
                           VARIANT* v = c.params[which];
                           if (!v) continue;
                           FakeObject* fake = v->vt == VT_DISPATCH ? FakeObject::from(v->pdispVal) : nullptr;
                           auto found = list.end();
                           for (auto s = list.begin(); s != list.end(); ++s)
                               if (fake && fake->label() == "Worksheet(" + (*s)->name + ")") found = s;
                           if (found == list.end()) return raise(info, L"Add method of Sheets class failed");
                           at = which == 0 ? found : found + 1;
                       }
                       auto sheet = newSheet(*book);
                       list.insert(at, sheet);
                       book->active = sheet;
                       return returnObject(r, newSheetObject(app, book, sheet));
                   });
    return sheets;
}

FakeObject* newWorkbook(const AppRef& app, const std::shared_ptr<Book>& book) {
    FakeObject* wb = newFake("Workbook(" + book->name + ")", app->log);
    auto sheets = [app, book](FakeCall&, VARIANT* r, EXCEPINFO*) { return returnObject(r, newSheets(app, book)); };
    wb->member(L"Sheets", 1, kGet, {}, sheets);
    wb->member(L"Worksheets", 2, kGet, {}, sheets);
    wb->member(L"ActiveSheet", 3, kGet, {}, [app, book](FakeCall&, VARIANT* r, EXCEPINFO*) {
        return returnObject(r, newSheetObject(app, book, book->active));
    });
    return wb;
}

FakeObject* newWorkbooks(const AppRef& app) {
    FakeObject* books = newFake("Workbooks", app->log);
    books->member(L"Add", 1, kMethod, {L"Template"}, [app](FakeCall&, VARIANT* r, EXCEPINFO*) {
        auto book = std::make_shared<Book>();
        book->name = "Book" + std::to_string(app->books.size() + 1);
        for (int i = 0; i < app->options.sheetsInNewWorkbook; ++i) book->sheets.push_back(newSheet(*book));
        book->active = book->sheets.front();
        app->books.push_back(book);
        return returnObject(r, newWorkbook(app, book));
    });
    books->member(L"Count", 2, kGet, {}, [app](FakeCall&, VARIANT* r, EXCEPINFO*) {
        return returnLong(r, static_cast<long>(app->books.size()));
    });
    auto item = [app](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        long i = 0;
        if (!indexOf(c.params[0], i)) return DISP_E_TYPEMISMATCH;
        if (i < 1 || i > static_cast<long>(app->books.size())) return DISP_E_BADINDEX;
        return returnObject(r, newWorkbook(app, app->books[static_cast<std::size_t>(i - 1)]));
    };
    books->member(L"_Default", DISPID_VALUE, kGet | kMethod, {L"Index"}, item);
    books->member(L"Item", 3, kGet | kMethod, {L"Index"}, item);
    return books;
}

// Every application made in this process, for TestState.
std::vector<std::shared_ptr<App>>& allApps() {
    static std::vector<std::shared_ptr<App>> apps;
    return apps;
}

std::string describeState(const App& app) {
    std::string s = std::string("visible=") + (app.visible ? "1" : "0") + " alerts=" + (app.alerts ? "1" : "0") +
                    " prompts=" + std::to_string(app.prompts) + " books=" + std::to_string(app.books.size()) + "\n";
    for (const auto& book : app.books) {
        s += book->name + ":";
        for (const auto& sheet : book->sheets) s += " " + sheet->name + (sheet == book->active ? "*" : "");
        s += "\n";
        for (const auto& sheet : book->sheets) {
            s += sheet->name + " selected=" + sheet->selected + "\n";
            for (const auto& q : sheet->queries)
                s += "  " + q->connection + " at " + q->destination + ": " + q->outcome + "\n";
        }
    }
    return s;
}

}  // namespace

FakeObject* newSpreadsheetApp(const std::shared_ptr<FakeLog>& log, const SpreadsheetOptions& options) {
    auto app = std::make_shared<App>();
    app->options = options;
    app->log = log;
    allApps().push_back(app);
    FakeObject* application = newFake("Application", log);
    application->member(L"Workbooks", 1, kGet, {},
                        [app](FakeCall&, VARIANT* r, EXCEPINFO*) { return returnObject(r, newWorkbooks(app)); });
    application->member(L"DisplayAlerts", 2, kGet | kPut, {}, [app](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        if (c.value) return readBool(c.value, app->alerts) ? S_OK : DISP_E_TYPEMISMATCH;
        return returnBool(r, app->alerts);
    });
    application->member(L"Visible", 3, kGet | kPut, {}, [app](FakeCall& c, VARIANT* r, EXCEPINFO*) {
        if (c.value) return readBool(c.value, app->visible) ? S_OK : DISP_E_TYPEMISMATCH;
        return returnBool(r, app->visible);
    });
    auto name = [app](FakeCall&, VARIANT* r, EXCEPINFO*) { return returnText(r, app->options.name); };
    application->member(L"_Default", DISPID_VALUE, kGet, {}, name);
    application->member(L"Name", 4, kGet, {}, name);
    application->member(
        L"TestState", 100, kGet, {},
        [](FakeCall&, VARIANT* r, EXCEPINFO*) {
            std::string text;
            for (std::size_t i = 0; i < allApps().size(); ++i)
                text += "app" + std::to_string(i + 1) + " " + describeState(*allApps()[i]);
            return returnText(r, wideText(text));
        },
        false);
    application->member(
        L"TestAlive", 102, kGet, {},
        [](FakeCall&, VARIANT* r, EXCEPINFO*) { return returnLong(r, FakeObject::live()); }, false);
    application->member(
        L"TestLog", 101, kGet, {},
        [log](FakeCall&, VARIANT* r, EXCEPINFO*) {
            std::string text;
            for (const auto& line : log->lines) text += line + "\n";
            return returnText(r, wideText(text));
        },
        false);
    return application;
}

}  // namespace qf::testing
