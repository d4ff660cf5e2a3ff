#include "recording_spreadsheet.h"

#include <algorithm>
#include <stdexcept>

#include "base/failure.h"

namespace qf::testing {

std::vector<std::string> RecordedWorkbook::names() const {
    std::vector<std::string> out;
    for (const auto& s : sheets) out.push_back(s.name);
    return out;
}

const RecordedSheet& RecordedWorkbook::sheet(const std::string& name) const {
    for (const auto& s : sheets)
        if (s.name == name) return s;
    throw std::out_of_range("no sheet " + name);
}

namespace {

class RecordingWorkbook final : public NewWorkbook, public ReadAhead {
public:
    RecordingWorkbook(RecordingSpreadsheet& owner, std::shared_ptr<RecordedWorkbook> book)
        : owner_(owner), book_(std::move(book)) {
        ++owner_.alive;
    }
    ~RecordingWorkbook() override { --owner_.alive; }
    RecordingWorkbook(const RecordingWorkbook&) = delete;
    RecordingWorkbook& operator=(const RecordingWorkbook&) = delete;

    // Each step of several statements reports at the number of its first one.
    void startWorkbook(Trap& run) override {
        run.step(run_statement::kStartSpreadsheet, [&] {
            owner_.step("startWorkbook");
            for (int i = 0; i < owner_.startingSheets; ++i) addSheet(book_->sheets.size());
            book_->active = 0;
            book_->started = true;
        });
    }
    void keepFirstSheetOnly(Trap& run) override {
        run.step(run_statement::kMoreThanOneSheet, [&] {
            owner_.step("keepFirstSheetOnly");
            started().sheets.resize(1);
            book_->active = 0;
        });
    }
    bool importPage(const std::string& address, Trap& webImport, std::string* reason) override {
        bool added = false;
        webImport.step(web_import_statement::kAddPageAtA1, [&] {
            owner_.step("importPage", address);
            started();
            added = true;
        });
        if (!added || !owner_.pageLoads(address)) {
            if (reason) *reason = added ? "Unable to open " + address + "." : failure_text::kObjectNotSet;
            return false;
        }
        auto& pages = book_->sheets[book_->active].pages;
        pages.insert(pages.begin(), address);
        return true;
    }
    void addSheetAfterLast() override {
        owner_.step("addSheetAfterLast");
        addSheet(started().sheets.size());
    }
    void deleteActiveSheet() override {
        owner_.step("deleteActiveSheet");
        auto& sheets = started().sheets;
        if (sheets.size() < 2) throw Failure("the last sheet cannot go");
        sheets.erase(sheets.begin() + static_cast<std::ptrdiff_t>(book_->active));
        book_->active = std::min(book_->active, sheets.size() - 1);
    }
    std::string finish(Trap& run) override {
        std::string path;
        run.step(run_statement::kSelectFirstCell, [&] {
            owner_.step("finish");
            started().finished = true;
            path = owner_.finishedPath;
        });
        return path;
    }

    int sheetsAddedForRoom() const override { return owner_.sheetsAddedForRoom; }
    std::vector<std::string> notes() const override { return owner_.notes; }

    ReadAhead* readAhead() override { return owner_.readAheadDepth ? this : nullptr; }
    std::size_t depth() const override { return *owner_.readAheadDepth; }
    void expect(const std::vector<UpcomingPage>& upcoming) override {
        std::string named;
        for (const auto& page : upcoming)
            named += (named.empty() ? "" : " ") + std::to_string(page.key) + ":" + page.address;
        owner_.step("expect", named);
    }
    void setWaitHook(std::function<void()> hook) override { owner_.waitHook = std::move(hook); }
    void stop() override { owner_.step("stopReadAhead"); }

private:
    RecordedWorkbook& started() {
        if (!book_->started) throw Failure(failure_text::kObjectNotSet);
        return *book_;
    }
    void addSheet(std::size_t at) {
        book_->sheets.insert(book_->sheets.begin() + static_cast<std::ptrdiff_t>(at),
                             {"Sheet" + std::to_string(++sheetNumber_), {}});
        book_->active = at;
    }

    RecordingSpreadsheet& owner_;
    std::shared_ptr<RecordedWorkbook> book_;
    int sheetNumber_ = 0;
};

}  // namespace

bool RecordingSpreadsheet::canStart() {
    log.push_back("canStart");
    return starts;
}

bool RecordingSpreadsheet::instanceRunning() {
    log.push_back("instanceRunning");
    return running;
}

std::unique_ptr<NewWorkbook> RecordingSpreadsheet::newWorkbook() {
    log.push_back("newWorkbook");
    workbooks.push_back(std::make_shared<RecordedWorkbook>());
    return std::make_unique<RecordingWorkbook>(*this, workbooks.back());
}

void RecordingSpreadsheet::step(const std::string& name, const std::string& detail) {
    log.push_back(detail.empty() ? name : name + " " + detail);
    if (const auto failure = failures.find(name); failure != failures.end()) throw Failure(failure->second);
}

std::vector<std::string> RecordingSpreadsheet::linesStartingWith(const std::string& text) const {
    std::vector<std::string> out;
    for (const auto& line : log)
        if (line.rfind(text, 0) == 0) out.push_back(line);
    return out;
}

}  // namespace qf::testing
