#include "engine_spreadsheet.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "base/failure.h"
#include "engine/web/host_name.h"
#include "engine/web/values/locale_conventions.h"
#include "engine/workbook/workbook.h"
#include "engine/workbook/xlsx_output.h"
#include "import/port/statements.h"
#include "platform/platform.h"

namespace qf::engine {

namespace {

// The run's request settings, with a cookie store of its own and the cookie
// file's cookies in it.
std::shared_ptr<const RequestSettings> runRequest(const RequestSettings& settings) {
    if (const std::string problem = userAgentProblem(settings.userAgent); !problem.empty()) throw Failure(problem);
    auto request = std::make_shared<RequestSettings>(settings);
    request->cookies = std::make_shared<CookieStore>();
    if (!settings.cookieFile.empty()) request->cookies->add(readCookieFile(settings.cookieFile));
    return request;
}

// When the settings cannot be used: the default agent, no cookie file.
std::shared_ptr<const RequestSettings> fallbackRequest(const RequestSettings& settings) {
    auto request = std::make_shared<RequestSettings>(settings);
    request->userAgent = defaultUserAgent();
    request->cookieFile.clear();
    request->cookies = std::make_shared<CookieStore>();
    return request;
}

// The workbook of one run, and the page source its pages come from, which
// reads ahead. Lives on the thread that runs the import.
class EngineWorkbook final : public NewWorkbook, public ReadAhead {
public:
    explicit EngineWorkbook(std::shared_ptr<const EngineSettings> settings) : settings_(std::move(settings)) {}

    void startWorkbook(Trap& run) override {
        run.step(run_statement::kStartSpreadsheet, [&] {
            const int sheets = settings_->startingSheets;
            if (sheets < 1 || sheets > 255) throw Failure(failure_text::kInvalidArgument);
            book_ = std::make_unique<Workbook>(sheets);
        });
        run.step(run_statement::kStartSpreadsheet, [&] { request_ = runRequest(settings_->request); });
    }

    void keepFirstSheetOnly(Trap& run) override {
        run.step(run_statement::kDeleteSheet, [&] {
            Workbook& book = this->book();
            while (book.sheets().size() > 1) book.deleteSheet(*book.sheets().back());
        });
    }

    // Every page goes in at A1, above what the sheet holds, widening the
    // columns it fills.
    bool importPage(const std::string& address, Trap& webImport, std::string* reason) override {
        std::shared_ptr<Worksheet> sheet;
        webImport.step(web_import_statement::kAddPageAtA1, [&] { sheet = book().activeSheet(); });
        try {
            if (!sheet) throw Failure(failure_text::kObjectNotSet);
            PageSource& source = pageSource();
            PageGrid grid = source.load(asciiHostAddress(address));
            notes_ = std::move(grid.notes);
            try {
                sheet->place({0, 0}, 0, grid, true);
            } catch (const SheetFull&) {
                // Only the pages already there leave it no room: it goes onto a
                // new sheet after this one, where the next pages follow it.
                Workbook& book = this->book();
                const auto& sheets = book.sheets();
                const auto after = std::find(sheets.begin(), sheets.end(), sheet) - sheets.begin() + 1;
                book.addSheet(static_cast<std::size_t>(after))->place({0, 0}, 0, grid, true);
                ++sheetsAddedForRoom_;
            }
            return true;
        } catch (const std::exception& error) {
            if (reason) *reason = error.what();
        } catch (...) {
            if (reason) *reason = "the page could not be placed";
        }
        return false;
    }

    void addSheetAfterLast() override {
        Workbook& book = this->book();
        book.addSheet(book.sheets().size());
    }

    void deleteActiveSheet() override {
        Workbook& book = this->book();
        book.deleteSheet(*book.activeSheet());
    }

    std::string finish(Trap& run) override {
        run.step(run_statement::kSelectFirstCell, [&] {
            Worksheet& sheet = *book().activeSheet();
            sheet.selectionFirst = sheet.selectionLast = {0, 0};
        });
        std::string path;
        run.step(run_statement::kShowWorkbook, [&] { path = write(book()); });
        return path;
    }

    int sheetsAddedForRoom() const override { return sheetsAddedForRoom_; }
    std::vector<std::string> takePageNotes() override { return std::exchange(notes_, {}); }
    std::vector<std::string> notes() const override { return source_ ? source_->notes() : std::vector<std::string>(); }

    ReadAhead* readAhead() override { return this; }
    std::size_t depth() const override { return pageSource().readAheadDepth(); }
    void expect(const std::vector<UpcomingPage>& upcoming) override {
        std::vector<UpcomingPage> pages;  // with their hosts in ASCII
        pages.reserve(upcoming.size());
        for (const UpcomingPage& page : upcoming) pages.push_back({page.key, asciiHostAddress(page.address)});
        pageSource().expect(pages);
    }
    void setWaitHook(std::function<void()> hook) override { pageSource().setWaitHook(std::move(hook)); }
    void stop() override { pageSource().stopReadAhead(); }

private:
    Workbook& book() const {
        if (!book_) throw Failure(failure_text::kObjectNotSet);
        return *book_;
    }

    PageSource& pageSource() const {
        if (!source_) {
            source_ =
                settings_->pageSourceFactory
                    ? settings_->pageSourceFactory(settings_->pageOptions)
                    : makeWebPageSource(settings_->fetchLimits, settings_->loadLimits, settings_->pageOptions,
                                        settings_->render, request_ ? request_ : fallbackRequest(settings_->request));
            if (!source_) throw Failure("No page source is available to load web queries.");
        }
        return *source_;
    }

    std::string write(const Workbook& book) const {
        const EngineSettings& s = *settings_;
        if (!s.output.empty()) return saveToFile(book, s.output, s.replaceOutput);
        return saveAsNewFile(book, s.documentsFolder.empty() ? platform::documentsFolder() : s.documentsFolder);
    }

    std::shared_ptr<const EngineSettings> settings_;
    std::unique_ptr<Workbook> book_;
    int sheetsAddedForRoom_ = 0;
    std::vector<std::string> notes_;                  // of the page imported last
    std::shared_ptr<const RequestSettings> request_;  // the run's, with its cookie store
    mutable std::unique_ptr<PageSource> source_;      // made on first use
};

// An empty user's locale is the system's; empty headers are a browser's.
EngineSettings withUserLocale(EngineSettings settings) {
    WebQueryOptions& page = settings.pageOptions;
    if (page.userLocale.empty()) page.userLocale = platform::userLocale();
    const RequestSettings browser = browserLikeRequest(page.locale.empty() ? page.userLocale : page.locale);
    RequestSettings& request = settings.request;
    if (request.userAgent.empty()) request.userAgent = browser.userAgent;
    if (request.accept.empty()) request.accept = browser.accept;
    if (request.acceptLanguage.empty()) request.acceptLanguage = browser.acceptLanguage;
    request.cookies.reset();
    return settings;
}

}  // namespace

bool knownLocale(std::string_view tag) { return resolveLocale(tag).record != nullptr; }

EngineSpreadsheet::EngineSpreadsheet(EngineSettings settings)
    : settings_(std::make_shared<const EngineSettings>(withUserLocale(std::move(settings)))) {}

std::unique_ptr<NewWorkbook> EngineSpreadsheet::newWorkbook() { return std::make_unique<EngineWorkbook>(settings_); }

}  // namespace qf::engine
