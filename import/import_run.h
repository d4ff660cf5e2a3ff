#pragma once
// The import run: "Start Importing" over the whole URL list.

#include <string>

#include "base/window_services.h"
#include "automation/object.h"

namespace qf {

// What the run needs of the main window.
class ImportRunHost {
public:
    virtual ~ImportRunHost() = default;
    virtual int entryCount() const = 0;
    virtual std::string entryText(int position) const = 0;  // 1-based, UTF-8
    virtual bool separateSheets() const = 0;                // a sheet per entry is chosen
    virtual void setProgressValue(double value) = 0;        // 0 to 100, fraction kept
    virtual void setProgressText(const std::string& text) = 0;
    // Asked after each entry: true stops the run after the entry in hand; the
    // run still writes and shows what it imported.
    virtual bool stopRequested() const { return false; }
    // The program is ending: a run that stops for it writes what it imported and
    // shows no closing box.
    virtual bool closing() const { return false; }
    // Told of each entry whose page could not be read, with the reason the
    // spreadsheet gave.
    virtual void entryFailed(int /*position*/, const std::string& /*entry*/, const std::string& /*reason*/) {}
};

// The import run behind "Start Importing": every entry of the list into a new
// workbook, one sheet for all or a sheet per entry.
// Runs on the window's thread; where a page is awaited, the window's events
// keep being processed.
void runImport(ImportRunHost& host, WindowServices& ui, automation::Provider& provider);

}  // namespace qf
