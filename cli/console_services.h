#pragma once
// The window services of a run without a window: every message box becomes
// lines on standard error and takes its default answer, an input box its
// default text, the file dialog is cancelled, and documents are opened with
// the program the desktop associates with them. Owned by the main thread.

#include <cstdio>
#include <functional>
#include <string>
#include <utility>

#include "base/window_services.h"
#include "import/import_run.h"

namespace qf::cli {

class ConsoleServices : public WindowServices {
public:
    // run: the locations the import run's error reports name, which the
    // failures are told by.
    explicit ConsoleServices(std::FILE* out = stderr, RunLocations run = {}) : out_(out), run_(std::move(run)) {}

    MessageAnswer messageBox(const std::string& text, MessageButtons buttons, MessageIcon icon,
                             const std::string& caption = {}) override;
    std::string inputBox(const std::string& prompt, const std::string& caption = {},
                         const std::string& defaultText = {}) override;
    std::string openFileDialog(const FileDialogRequest& request) override;
    void processPendingEvents() override;
    bool openDocument(const std::string& path) override;
    // A failure in the command line's words: "quillfen: ", the step that
    // failed and why, on one line; nothing of the window's error report.
    void reportFailure(const std::string& description, const std::string& location, int line) override;

    // Called before a message is written (a progress line clears itself).
    void setBeforeMessage(std::function<void()> hook) { beforeMessage_ = std::move(hook); }

private:
    std::FILE* out_;
    RunLocations run_;
    std::function<void()> beforeMessage_;
};

// What a numbered statement of the import run (or of its web import) does, in
// the command line's words ("writing the workbook"); empty for a statement the
// command line never runs, and for another location.
std::string stepName(const RunLocations& run, const std::string& location, int line);

// A character as it may be written to a terminal: a control character is '?'.
char printableChar(char c);

// The answer a message box gives when nobody clicks: its default, first button.
MessageAnswer defaultAnswer(MessageButtons buttons);

// A message's text as lines for a terminal: CR LF, lone CR and lone LF each end
// a line, and the text ends with one line end. Other control characters but the
// tab become '?'.
std::string asLines(const std::string& text);

}  // namespace qf::cli
