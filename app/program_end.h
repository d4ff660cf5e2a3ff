#pragma once
// Ending the program at once: no further event handler of any window runs, and
// the process exits. The settings are already on disk (each write is flushed).

#include <functional>
#include <string>

namespace qf {

class WindowServices;

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Does not return in the real program.
    virtual void now() = 0;
    // The program is about to end (the window was closed during a run): a
    // workbook written meanwhile is not opened any more.
    void announce() { announced_ = true; }
    bool announced() const { return announced_; }

private:
    bool announced_ = false;
};

class ProcessEnd : public ProgramEnd {
public:
    [[noreturn]] void now() override;
};

// What becomes of a workbook the spreadsheet has just written: it is opened on
// the desktop, or, when that fails or the program is ending, its path is
// written to standard error.
std::function<void(const std::string& path)> workbookOpener(WindowServices& ui, const ProgramEnd& end);

}  // namespace qf
