#pragma once
// The main window as the import run sees it, for tests: the URL list, the sheet
// option, and what the run tells it, recorded.

#include <string>
#include <vector>

#include "base/failure.h"
#include "import/import_run.h"

namespace qf::testing {

// Where the window's run and the web import of its entries report from.
inline const RunLocations kRunLocations{"in QuillfenApp2021/08/31.Form1.PushButton2_Click ",
                                        "in QuillfenApp2021/08/31.Excel1.ImportWeb "};

class ListHost : public ImportRunHost {
public:
    struct Started {
        int number;
        int count;
        std::string entry;
        bool operator==(const Started&) const = default;
    };

    std::vector<std::string> entries;
    bool option2 = false;
    mutable bool readPastEnd = false;
    bool stop = false;  // what stopRequested answers
    bool closingNow = false;

    std::vector<Started> started;
    std::vector<std::string> failed;  // "number entry: reason"
    std::vector<RunSummary> finished;
    bool showsWorkbook = true;                // what workbookWritten answers
    std::vector<std::string> workbooksShown;  // each path, and "busy" when the run was still busy
    const WindowServices* ui = nullptr;       // asked whether the run is busy, when set

    int entryCount() const override { return static_cast<int>(entries.size()); }
    std::string entryText(int position) const override {
        if (position < 1 || position > entryCount()) {
            readPastEnd = true;
            throw Failure(failure_text::kIndexOutOfBounds);
        }
        return entries[static_cast<std::size_t>(position - 1)];
    }
    SheetMode sheetMode() const override { return option2 ? SheetMode::SheetPerSite : SheetMode::OneSheet; }
    bool stopRequested() const override { return stop; }
    bool closing() const override { return closingNow; }
    void entryStarted(int number, int count, const std::string& entry) override {
        started.push_back({number, count, entry});
    }
    void entryFailed(int number, const std::string& entry, const std::string& reason) override {
        failed.push_back(std::to_string(number) + " " + entry + ": " + reason);
    }
    bool workbookWritten(const std::string& path) override {
        workbooksShown.push_back(path + (ui && ui->busy() ? " busy" : ""));
        return showsWorkbook;
    }
    void runFinished(const RunSummary& summary) override { finished.push_back(summary); }

    // The share of the list the window's progress bar shows for each entry started.
    std::vector<double> shares() const {
        std::vector<double> out;
        for (const Started& s : started) out.push_back(static_cast<double>(s.number) / s.count * 100.0);
        return out;
    }
};

}  // namespace qf::testing
