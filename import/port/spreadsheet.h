#pragma once
// The spreadsheet an import run makes its workbook in, as the run needs it:
// the handful of steps of a run, in types. The embedded engine (engine/)
// implements it, and on Windows the installed spreadsheet application (com/),
// which it reaches by late binding.
//
// Error reports. The run traps its statements (base/trap.h) and numbers them;
// a step of the spreadsheet that counts as several statements of the handler
// it runs in is given that handler's trap and runs each of its statements
// through it, with the statement's number, so that a failing one is reported
// and the next one still runs. The numbers are the handler's, named in
// statements.h: the import run's (startWorkbook, keepFirstSheetOnly, finish)
// and the web import's (importPage). A step of one statement is trapped by the
// run.
//
// Threads: every member is called on the thread that runs the import (the
// window's).

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/trap.h"
#include "base/upcoming_page.h"
#include "import/port/statements.h"

namespace qf {

// Where the entries go: every site onto one sheet, or each onto a sheet of its own.
enum class SheetMode { OneSheet, SheetPerSite };

// The optional read-ahead of a workbook's spreadsheet: loading the pages of
// later imports before they are asked for, and keeping the window answering
// while an import waits for its page.
class ReadAhead {
public:
    virtual ~ReadAhead() = default;
    // How many pages beyond the next one are worth naming (0: none).
    virtual std::size_t depth() const = 0;
    // The pages still to come, the next import's first. Replaces what was named
    // before: pages named before and no longer named (or named with another
    // address) are dropped, and a transfer of theirs is cancelled. An import
    // whose address is not the first named loads its page afresh.
    virtual void expect(const std::vector<UpcomingPage>& upcoming) = 0;
    // Called at least every 20 ms while an import waits for its page. It may
    // start another run (with a workbook of its own).
    virtual void setWaitHook(std::function<void()> hook) = 0;
    // Drops every page loaded ahead and cancels every transfer at once.
    virtual void stop() = 0;
};

// The new workbook of one import run. Nothing happens before startWorkbook.
class NewWorkbook {
public:
    virtual ~NewWorkbook() = default;

    // Starts the spreadsheet with a new workbook, whose first sheet is active.
    virtual void startWorkbook(Trap& run) = 0;
    // Cuts the new workbook down to its first sheet (a sheet per site starts
    // from it alone).
    virtual void keepFirstSheetOnly(Trap& run) = 0;
    // Imports the page at the address (as the list entry completes to, see
    // normalizeUrl) at cell A1 of the active sheet, above what the sheet holds,
    // and tells whether it could be read; when it could not, reason (if given)
    // receives why. A page that cannot be read is not reported: it is the result.
    virtual bool importPage(const std::string& address, Trap& webImport, std::string* reason) = 0;
    // Adds a sheet after the last one; it becomes the active sheet. Fails when it cannot.
    virtual void addSheetAfterLast() = 0;
    // Deletes the active sheet. Fails when it cannot.
    virtual void deleteActiveSheet() = 0;
    // Selects A1 of the active sheet and hands the workbook to the user: the
    // engine writes it and returns the file's path; the installed application
    // shows it (and there is no file yet: the path is empty).
    virtual std::string finish(Trap& run) = 0;

    // The sheets the spreadsheet added by itself, each after the sheet in use,
    // for a page that did not fit in the rows that sheet had left (all pages on
    // one sheet); the pages after it go on there.
    virtual int sheetsAddedForRoom() const { return 0; }

    // What the user is to be told of how the page imported last was read (a
    // line each), taken once.
    virtual std::vector<std::string> takePageNotes() { return {}; }

    // The read-ahead of this workbook's spreadsheet, or nullptr when it loads
    // each page only as its import asks for it.
    virtual ReadAhead* readAhead() { return nullptr; }

    // What the user should hear at the end of the run about how the pages
    // were read, a line each (pages built by scripts that no browser rendered,
    // and why); asked before finish. None by default.
    virtual std::vector<std::string> notes() const { return {}; }
};

class Spreadsheet {
public:
    virtual ~Spreadsheet() = default;
    // Whether the spreadsheet can be started on this machine at all (tried,
    // and let go at once). Never fails.
    virtual bool canStart() = 0;
    // Whether an instance of the spreadsheet that the user may be working in is
    // running already. Never fails.
    virtual bool instanceRunning() = 0;
    // The workbook of a new run. Never fails: its steps do.
    virtual std::unique_ptr<NewWorkbook> newWorkbook() = 0;
};

}  // namespace qf
