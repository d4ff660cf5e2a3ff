#include "console_services.h"

#include "platform/platform.h"

namespace qf::cli {

namespace {

bool isShownControl(char c) { return c == '\n' || c == '\t'; }

}  // namespace

char printableChar(char c) {
    // No control character reaches the terminal: an escape sequence could take it over.
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
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

std::string stepName(const std::string& location, int line) {
    if (location.find(".ImportWeb ") != std::string::npos) return "importing a page";
    if (location.find(".PushButton2_Click ") == std::string::npos) return {};
    if (line >= 110 && line <= 116) return "starting the workbook";
    if (line >= 120 && line <= 126) return "removing all sheets but the first";
    if (line >= 130 && line <= 152) return "importing an entry";
    if (line == 156) return "adding a sheet";
    if (line == 164) return "deleting the empty last sheet";
    if (line == 166) return "selecting the first cell";
    if (line == 168) return "writing the workbook";
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
    const std::string step = stepName(location, line);
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
