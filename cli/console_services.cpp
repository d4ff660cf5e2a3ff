#include "console_services.h"

#include "base/text.h"
#include "platform/platform.h"

namespace qf::cli {

namespace {

bool isShownControl(char c) { return c == '\n' || c == '\t'; }

}  // namespace

char printableChar(char c) {
    // No control character reaches the terminal: an escape sequence could take it over.
    return isAsciiControl(c) ? '?' : c;
}

MessageAnswer defaultAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
        case MessageButtons::OkCancel: return MessageAnswer::Ok;
        case MessageButtons::AbortRetryIgnore: return MessageAnswer::Abort;
        case MessageButtons::YesNoCancel:
        case MessageButtons::YesNo: return MessageAnswer::Yes;
        case MessageButtons::RetryCancel: return MessageAnswer::Retry;
    }
    return MessageAnswer::Ok;
}

std::string stepName(const RunLocations& run, const std::string& location, int line) {
    using namespace run_statement;
    if (location.empty()) return {};
    if (location == run.webImport) return "importing a page";
    if (location != run.run) return {};
    if (line >= kStartSpreadsheet && line <= kTakeNewWorkbook) return "starting the workbook";
    if (line >= kMoreThanOneSheet && line <= kDeleteSheet) return "removing all sheets but the first";
    if (line >= kCountEntries && line <= kNoteUnreadable) return "importing an entry";
    if (line == kAddSheet) return "adding a sheet";
    if (line == kDeleteEmptySheet) return "deleting the empty last sheet";
    if (line == kSelectFirstCell) return "selecting the first cell";
    if (line == kShowWorkbook) return "writing the workbook";
    return {};
}

std::string asLines(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += isShownControl(text[i]) ? text[i] : printableChar(text[i]);
        }
    }
    if (out.empty() || out.back() != '\n') out += '\n';
    return out;
}

MessageAnswer ConsoleServices::messageBox(const std::string& text, MessageButtons buttons, MessageIcon,
                                          const std::string&) {
    if (beforeMessage_) beforeMessage_();
    const std::string lines = asLines(text);
    std::fwrite(lines.data(), 1, lines.size(), out_);
    std::fflush(out_);
    return defaultAnswer(buttons);
}

void ConsoleServices::reportFailure(const std::string& description, const std::string& location, int line) {
    if (beforeMessage_) beforeMessage_();
    const std::string step = stepName(run_, location, line);
    std::string text = "quillfen: " + (step.empty() ? "" : step + " failed: ") + description;
    for (char& c : text) c = printableChar(c);
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

std::string ConsoleServices::inputBox(const std::string&, const std::string&, const std::string& defaultText) {
    return defaultText;
}

std::string ConsoleServices::openFileDialog(const FileDialogRequest&) { return {}; }

void ConsoleServices::processPendingEvents() {}

bool ConsoleServices::openDocument(const std::string& path) { return platform::openWithAssociatedProgram(path); }

}  // namespace qf::cli
