#pragma once
// Ending the program, once the window is closed or start-up finds no
// spreadsheet. The settings are already on disk (each write is flushed).

#include <functional>
#include <string>

namespace qf {

class WindowServices;

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // When it returns, the caller returns to the event loop, which ends.
    virtual void now() = 0;
    // The program is about to end (the window was closed during a run): a
    // workbook written meanwhile is not opened any more.
    void announce() { announced_ = true; }
    bool announced() const { return announced_; }

private:
    bool announced_ = false;
};

// The real program's end. With the window idle, the event loop ends and main()
// returns, so every object of the program is destroyed in order. While a
// command is waiting (letting the window work, or showing a box) the rest of it
// must not run, so the process exits at once.
class ProcessEnd : public ProgramEnd {
public:
    explicit ProcessEnd(std::function<bool()> commandWaiting) : commandWaiting_(std::move(commandWaiting)) {}
    void now() override;

private:
    std::function<bool()> commandWaiting_;
};

// What becomes of a workbook the spreadsheet has just written: it is opened on
// the desktop, or, when that fails or the program is ending, its path is
// written to standard error. Tells whether it was opened.
std::function<bool(const std::string& path)> workbookOpener(WindowServices& ui, const ProgramEnd& end);

}  // namespace qf
