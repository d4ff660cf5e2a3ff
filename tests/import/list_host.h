#pragma once
// The main window as the import run sees it, for tests: the URL list, the sheet
// option and a progress bar that records what it is told.

#include <string>
#include <vector>

#include "base/failure.h"
#include "import/import_run.h"

namespace qf::testing {

class ListHost : public ImportRunHost {
public:
    std::vector<std::string> entries;
    bool option2 = false;
    std::vector<double> values;
    std::vector<std::string> texts;
    mutable bool readPastEnd = false;
    bool stop = false;  // what stopRequested answers
    bool closingNow = false;

    int entryCount() const override { return static_cast<int>(entries.size()); }
    std::string entryText(int position) const override {
        if (position < 1 || position > entryCount()) {
            readPastEnd = true;
            throw Failure(failure_text::kIndexOutOfBounds);
        }
        return entries[static_cast<std::size_t>(position - 1)];
    }
    bool separateSheets() const override { return option2; }
    void setProgressValue(double value) override { values.push_back(value); }
    void setProgressText(const std::string& text) override { texts.push_back(text); }
    bool stopRequested() const override { return stop; }
    bool closing() const override { return closingNow; }
};

}  // namespace qf::testing
